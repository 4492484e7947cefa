#include "TestScene.h"

#include "parser/DictionaryEntries.h"
#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

// The objects built, world's own first and then each group's (see AllObjects).
TEST(Dictionary, DefAndUseBuildWhatTheNameMeantWhenItWasUsed) {
    struct Case {
        const char* scene;
        std::vector<trelObjectTypes> types;
    };
    const Case cases[] = {
        // A later definition replaces the earlier one.
        {"DEF A Cube { } DEF A Sphere { } USE A", {TREL_BOX, TREL_SPHERE, TREL_SPHERE}},
        // Unknown names and names in another case find nothing.
        {"USE A DEF a Cube { } USE A Cube { }", {TREL_BOX, TREL_BOX}},
        // DEF of a USE names nothing.
        {"DEF A Cube { } DEF B USE A USE B", {TREL_BOX, TREL_BOX}},
        // A USE inside a named separator is looked up again at replay.
        {"DEF A Cube { } DEF S Separator { USE A } DEF A Sphere { } USE S",
         {TREL_BOX, TREL_SPHERE, TREL_BOX, TREL_SPHERE}},
        // Redefining a name a closed separator lists leaves no dangling entry:
        // S still repeats what it held when it was read.
        {"DEF S Separator { DEF A Cube { } } DEF A Sphere { } USE S USE A",
         {TREL_SPHERE, TREL_SPHERE, TREL_BOX, TREL_BOX}},
        // What a replay builds may define again the name of an entry the
        // replay has still to build: that entry is built all the same.
        {"PROTO Ball [ ] { DEF B Sphere { } } DEF S Separator { Ball { } DEF B Cube { } USE S }",
         {TREL_SPHERE, TREL_BOX, TREL_SPHERE, TREL_BOX}},
        // An inner separator of the same name takes over the recording: the
        // outer entry is destroyed, the inner one records the sphere and then,
        // as the outer level's entry, the cone (with its base disk); the cube
        // is not replayed.
        {"DEF S Separator { Cube { } DEF S Separator { Sphere { } } Cone { } } USE S",
         {TREL_BOX, TREL_CONE, TREL_DISK, TREL_SPHERE, TREL_SPHERE, TREL_CONE, TREL_DISK}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        LoadedText loaded = LoadText(std::string(V1) + c.scene + "\n");
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(TypesOf(loaded), c.types);
    }
}

TEST(Dictionary, NamedSeparatorReplaysItsWholeSubtreeWithoutLeakingState) {
    LoadedText loaded = LoadText(std::string(V1) + "DEF S Separator { Material { diffuseColor 1 0 0 } Cube { } }\n"
                                                   "Separator { Translation { translation 5 0 0 } USE S Cube { } }\n");
    const C3DWorld& world = *loaded.world;
    ASSERT_EQ(world.GetNumGroups(), 2); // two groups named S
    ASSERT_EQ(world.GetNumObjects(), 1);
    const C3DGroup* used = world.GetGroup(1);
    EXPECT_EQ(used->GetGroupName().GetString(), "S");
    ASSERT_EQ(used->GetNumObjects(), 1);
    EXPECT_EQ(used->GetObjectMatProps(0).front.GetDiffuse(), trelChroma(1, 0, 0));
    EXPECT_EQ(world.GetObjectMatProps(0).front.GetDiffuse(), trelChroma(1, 1, 1)); // the material stayed inside S
    EXPECT_GT(BoxCentre(used->GetObject(0)).x, BoxCentre(world.GetGroup(0)->GetObject(0)).x);
}

// The colours of a named material are shared between the level and the
// record: what the level is given afterwards must not reach the record.
TEST(Dictionary, NamedMaterialKeepsItsColoursWhenItsLevelChangesThem) {
    LoadedText loaded =
        LoadText(std::string(V1) + "DEF M Material { diffuseColor [ 1 0 0, 0 0 1 ] } Color { color 0 1 0 }\n"
                                   "Cube { } Separator { USE M Cube { } }\n");
    const C3DWorld& world = *loaded.world;
    ASSERT_EQ(world.GetNumObjects(), 2);
    EXPECT_EQ(world.GetObjectMatProps(0).front.GetDiffuse(), trelChroma(0, 1, 0));
    EXPECT_EQ(world.GetObjectMatProps(1).front.GetDiffuse(), trelChroma(1, 0, 0));
}

TEST(Dictionary, SelfUseIsCutOffAndEnds) {
    LoadedText loaded = LoadText(std::string(V1) + "DEF S Separator { Cube { } USE S } USE S USE S\n");
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    // Reading S builds its cube and one replay of it; each later USE builds
    // the cube and the recorded inner replay, which is cut off at once.
    EXPECT_EQ(TypesOf(loaded).size(), 4u);

    LoadedText mutual = LoadText(std::string(V1) + "DEF A Separator { Cube { } } DEF B Separator { USE A }\n"
                                                   "DEF A Separator { USE B } USE A\n");
    EXPECT_EQ(mutual.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(Dictionary, NamesAndPrototypesOutliveAParse) {
    CVRMLParser parser;
    C3DWorld first, second;
    parser.Parse(&first, WriteTempFile("first.wrl", std::string(V2) + "DEF Shared Box { size 30 30 30 }\n"
                                                                      "PROTO Big [ ] { Sphere { radius 30 } }\n"));
    EXPECT_EQ(parser.Parse(&second, WriteTempFile("second.wrl", std::string(V2) + "USE Shared Big { }\n")),
              VRML_LOAD_SUCCESS);
    EXPECT_EQ(second.GetNumObjects(), 2);
}

// A host may set the parser skipping: then nothing is recorded, declared or
// built. An unknown prototype builds nothing anyway.
TEST(Dictionary, WhileSkippingNothingIsRecordedDeclaredOrBuilt) {
    PositionedParser p("PROTO Ball [ ] { Sphere { } } PROTO Foo [ ] { }\n");
    ASSERT_EQ(p.parser.ParseBlock(), 1); // Ball is declared
    EXPECT_EQ(p.parser.DefineProtoUse("Nothing", nullptr, 0), 0);
    p.parser.SetSkippingBlock(1);
    EXPECT_EQ(p.parser.ParseProto(), 0);
    EXPECT_EQ(p.Current(), "PROTO");
    EXPECT_EQ(p.parser.FindPrototype("Foo"), nullptr);
    EXPECT_EQ(p.parser.DefineProtoUse("Ball", nullptr, 0), 0);
    EXPECT_EQ(p.parser.AddDictionaryObject(new CVRMLCubeEntry), 0);
    EXPECT_TRUE(p.parser.GetObjectDictionary()->empty());
    EXPECT_EQ(p.world.GetNumObjects(), 0);
}
