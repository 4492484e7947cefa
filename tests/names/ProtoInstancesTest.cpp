#include "TestScene.h"

#include "names/Prototypes.h"
#include "parser/DictionaryEntries.h"

#include <gtest/gtest.h>

namespace {

std::string AsString(const std::vector<char>& text) { return std::string(text.begin(), text.end()); }

// The radii of the world's spheres, in the order AllObjects lists them.
std::vector<double> SphereRadii(const LoadedText& loaded) {
    std::vector<double> radii;
    for (const FoundObject& found : AllObjects(*loaded.world))
        if (found.object->GetObjectType() == TREL_SPHERE)
            radii.push_back(static_cast<const trelSphere*>(found.object)->GetRadius());
    return radii;
}

size_t CountOf(const C3DWorld& world, trelObjectTypes type) {
    size_t count = 0;
    for (const FoundObject& found : AllObjects(world))
        count += found.object->GetObjectType() == type ? 1 : 0;
    return count;
}

const std::string BallProto = "PROTO Ball [ field SFFloat radius 1 ] { Sphere { radius IS radius } }\n";

} // namespace

TEST(ProtoInstances, InstanceTextsAreWrittenByteForByte) {
    struct Case {
        const char* declaration;
        const char* use; // null: no use-site text
        const char* instance;
    };
    const Case cases[] = {
        {"PROTO P [ field SFFloat radius 1 ] { Sphere { radius IS radius } }", "radius 2", "Sphere { radius 2 }"},
        {"PROTO P [ field SFFloat radius 1 ] { Sphere { radius IS radius } }", nullptr, "Sphere { radius 1 }"},
        // A field nothing took is appended as name and value.
        {"PROTO P [ field SFFloat radius 1 field SFFloat weight 5 ] { Sphere { radius IS radius } }", nullptr,
         "Sphere { radius 1 } weight 5"},
        // Tokens naming no declared field are passed over one by one.
        {"PROTO P [ field SFFloat radius 1 ] { Sphere { radius IS radius } }", "colour 1 0 0", "Sphere { radius 1 }"},
        // A value given but not referenced is appended once, from the use.
        {"PROTO P [ field SFFloat a 1 ] { Box { } }", "a 3", "Box { } a 3"},
        // An override of a type whose values are not captured: no text, and
        // the default is not used either.
        {"PROTO P [ field SFInt32 r 5 ] { Sphere { radius IS r } }", "r 7", "Sphere { radius  }"},
        // A substituted value is the use's own text of it, as the use laid it out.
        {"PROTO P [ field MFFloat h [ ] ] { Grid { height IS h } }", "h [ 1 2 3\n4 5 6 ]",
         "Grid { height [ 1 2 3\n4 5 6 ] }"},
        // IS naming no interface field leaves the field name without a value.
        {"PROTO P [ ] { Sphere { radius IS nothing } }", "radius 3", "Sphere { radius }"},
        // A field given twice keeps its first value.
        {"PROTO P [ field SFFloat radius 1 ] { Sphere { radius IS radius } }", "radius 2 radius 3",
         "Sphere { radius 2 }"},
        // The same field referenced twice, and an SFVec3f taken whole.
        {"PROTO P [ field SFVec3f s 1 1 1 ] { Box { size IS s } Box { size IS s } }", "s 2 3 4",
         "Box { size 2 3 4 } Box { size 2 3 4 }"},
        {"PROTO P [ field MFNode kids [ ] ] { Group { children IS kids } }", "kids [ Box { } USE X ]",
         "Group { children [ Box { } USE X ] }"},
        // Of two fields of one name the first is found; the second is unused.
        {"PROTO P [ field SFFloat r 1 field SFFloat r 2 ] { Sphere { radius IS r } }", nullptr,
         "Sphere { radius 1 } r 2"},
        // Field names compare case-sensitively, at the use and after IS.
        {"PROTO P [ field SFFloat r 1 ] { Sphere { radius IS R } }", "R 3", "Sphere { radius } r 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declaration + std::string(" / ") + (c.use ? c.use : "(none)"));
        LoadedText loaded = LoadText(std::string(V2) + c.declaration + "\n");
        CVRMLPrototype* prototype = loaded.parser->FindPrototype("P");
        ASSERT_NE(prototype, nullptr);
        std::vector<char> text;
        std::string use = c.use ? c.use : "";
        EXPECT_EQ(prototype->BuildInstanceText(c.use ? use.data() : nullptr, use.size(), text), 1);
        EXPECT_EQ(AsString(text), c.instance);
    }
}

// One prototype built again and again, with bodies whose edges the build
// must get right each time: what one build takes or leaves over must not
// leak into the next, and a new body must be read afresh.
TEST(ProtoInstances, RepeatedBuildsOfOnePrototypeGiveTheSameTexts) {
    struct Case {
        const char* declaration;
        std::vector<const char*> uses; // null: no use-site text
        std::vector<const char*> instances;
    };
    const Case cases[] = {
        // IS as the body's last token: it names nothing, and the field is left over.
        {"PROTO P [ field SFFloat r 1 ] { Sphere { radius 2 } radius IS }",
         {nullptr, "r 4"},
         {"Sphere { radius 2 } radius r 1", "Sphere { radius 2 } radius r 4"}},
        // IS of a name nobody declared, next to one that is declared.
        {"PROTO P [ field SFFloat r 1 ] { Sphere { radius IS q } Sphere { radius IS r } }",
         {"q 5 r 2", nullptr, "r 3 r 6"},
         {"Sphere { radius } Sphere { radius 2 }", "Sphere { radius } Sphere { radius 1 }",
          "Sphere { radius } Sphere { radius 3 }"}},
        // Declarations left over come first, then values given but not taken.
        {"PROTO P [ field SFFloat a 1 field SFFloat b 2 field SFFloat c 3 ] { Box { size IS c } }",
         {"a 5 a 7", "c 9", nullptr, "b 8 a 6"},
         {"Box { size 3 } b 2 a 5", "Box { size 9 } a 1 b 2", "Box { size 3 } a 1 b 2", "Box { size 3 } b 8 a 6"}},
        // IS right after IS takes the second IS as the name; the next token is kept.
        {"PROTO P [ field SFFloat r 1 ] { Sphere { radius IS IS r } }",
         {nullptr, "r 2"},
         {"Sphere { radius r } r 1", "Sphere { radius r } r 2"}},
        // A body that starts with IS keeps it as a plain token.
        {"PROTO P [ field SFFloat r 1 ] { IS r Sphere { radius IS r } }",
         {nullptr, "r 2"},
         {"IS r Sphere { radius 1 }", "IS r Sphere { radius 2 }"}},
        // A field without a default gives an empty value where it is taken.
        {"PROTO P [ field SFFloat r ] { Sphere { radius IS r } Sphere { radius IS r } }",
         {nullptr, "r 2"},
         {"Sphere { radius  } Sphere { radius  }", "Sphere { radius 2 } Sphere { radius 2 }"}},
        // A value taken at the very end of the body, and one of many tokens.
        {"PROTO P [ field MFFloat h [ 0 ] field SFFloat r 1 ] { Grid { } height IS h }",
         {"h [ 1 2 3 4 5 6 7 8 9 10 11 ]", nullptr},
         {"Grid { } height [ 1 2 3 4 5 6 7 8 9 10 11 ] r 1", "Grid { } height [ 0 ] r 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declaration);
        LoadedText loaded = LoadText(std::string(V2) + c.declaration + "\n");
        CVRMLPrototype* prototype = loaded.parser->FindPrototype("P");
        ASSERT_NE(prototype, nullptr);
        ASSERT_EQ(c.uses.size(), c.instances.size());
        for (int round = 0; round < 2; ++round) {
            for (size_t i = 0; i < c.uses.size(); ++i) {
                SCOPED_TRACE(c.uses[i] ? c.uses[i] : "(none)");
                std::vector<char> text;
                std::string use = c.uses[i] ? c.uses[i] : "";
                EXPECT_EQ(prototype->BuildInstanceText(c.uses[i] ? use.data() : nullptr, use.size(), text), 1);
                EXPECT_EQ(AsString(text), c.instances[i]);
            }
        }
    }
}

TEST(ProtoInstances, ANewBodyOrANewFieldIsBuiltAfresh) {
    LoadedText loaded = LoadText(std::string(V2) + BallProto);
    CVRMLPrototype* prototype = loaded.parser->FindPrototype("Ball");
    ASSERT_NE(prototype, nullptr);
    std::vector<char> text;
    const std::string use = "radius 2 size 5";
    ASSERT_EQ(prototype->BuildInstanceText(use.data(), use.size(), text), 1);
    EXPECT_EQ(AsString(text), "Sphere { radius 2 }");

    const std::string body = "Box { size IS size } Sphere { radius IS radius }";
    prototype->SetBody(std::vector<char>(body.begin(), body.end()));
    ASSERT_EQ(prototype->BuildInstanceText(use.data(), use.size(), text), 1);
    EXPECT_EQ(AsString(text), "Box { size } Sphere { radius 2 }");

    ASSERT_EQ(prototype->AddFieldDeclaration("size", "SFVec3f", std::vector<char>{'1'}), 1);
    ASSERT_EQ(prototype->BuildInstanceText(use.data(), use.size(), text), 1);
    EXPECT_EQ(AsString(text), "Box { size 5 } Sphere { radius 2 }");
    ASSERT_EQ(prototype->BuildInstanceText(nullptr, 0, text), 1);
    EXPECT_EQ(AsString(text), "Box { size 1 } Sphere { radius 1 }");
}

TEST(ProtoInstances, PrototypesWithoutBodyBuildNothing) {
    LoadedText loaded = LoadText(std::string(V2) + "PROTO Foo [ ] { }\nPROTO Empty [ field SFFloat a 1 ] { }\n"
                                                   "Foo { } Empty { a 2 } Box { }\n");
    EXPECT_TRUE(loaded.parser->FindPrototype("Foo")->GetFieldDeclarations().empty());
    std::vector<char> text;
    EXPECT_EQ(loaded.parser->FindPrototype("Empty")->BuildInstanceText(nullptr, 0, text), 0);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(AllObjects(*loaded.world).size(), 1u); // only the box
    EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(ProtoInstances, UsesBuildTheirValuesAndReadingGoesOnAfterThem) {
    const struct {
        std::string scene;
        std::vector<double> radii;
        size_t boxes;
    } cases[] = {
        // Given values, the defaults, and a named use built again by its USE.
        {BallProto + "Ball { radius 2 }\nBall { }\nDEF B Ball { radius 3 } USE B Box { }\n", {2, 1, 3, 3}, 1},
        // Undeclared fields are passed over; without a block the use gets the
        // defaults and the next node is read as a statement of its own.
        {BallProto + "Ball { colour 1 0 0 }\nBall Sphere { radius 7 }\n", {1, 1, 7}, 0},
        // A prototype used inside another is built while the outer text is read.
        {"PROTO Inner [ field SFFloat r 1 ] { Sphere { radius IS r } }\n"
         "PROTO Outer [ field SFFloat size 2 ] { Group { children [ Inner { r IS size } Inner { } ] } Box { } }\n"
         "Outer { size 5 } Outer { } Box { }\n",
         {5, 1, 2, 1},
         3},
        // A DEF inside a body is found by a USE inside it: built directly,
        // inside a named group, and by replays of that group.
        {"PROTO Two [ ] { Group { children [ DEF Part Sphere { radius 4 } "
         "Transform { translation 5 0 0 children USE Part } ] } }\n"
         "Two { }\nDEF S Group { children Two { } }\nUSE S USE S\n",
         std::vector<double>(8, 4.0), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        LoadedText loaded = LoadText(std::string(V2) + c.scene);
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(SphereRadii(loaded), c.radii);
        EXPECT_EQ(CountOf(*loaded.world, TREL_BOX), c.boxes);
        EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
    }
}

TEST(ProtoInstances, RecursivePrototypesAreCutOff) {
    struct Case {
        const char* scene;
        size_t spheres;
        size_t boxes;
    };
    const Case cases[] = {
        {"PROTO R [ ] { Sphere { } R { } }\nR { } Box { }\n", 1, 1},
        {"PROTO A [ ] { Sphere { } B { } }\nPROTO B [ ] { Box { } A { } }\nA { } B { }\n", 2, 2},
        // Through a USE of a named use of the prototype being built, and a
        // later replay of it.
        {"PROTO R [ ] { Sphere { } USE X }\nDEF X R { } USE X\n", 2, 0},
        // Inside a group named in the body: the group's use of itself
        // repeats the sphere once, the inner use is cut off.
        {"PROTO R [ ] { DEF G Group { children [ Sphere { } USE G R { } ] } }\nR { }\n", 2, 0},
        // A use given in a field value is no recursion, even of the same
        // prototype: joints among the children of joints are all built.
        {"PROTO J [ exposedField MFNode children [ ] ] { Transform { children IS children } }\n"
         "J { children [ J { children [ Sphere { } J { children Box { } } ] } J { children Sphere { } } ] }\n",
         2, 1},
        // A body that uses itself with other values ends once the values repeat.
        {"PROTO G [ field MFNode c [ ] ] { Group { children [ G { c [ Box { } G { } ] } ] } }\nG { } Sphere { }\n", 1,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        LoadedText loaded = LoadText(std::string(V2) + c.scene);
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
        EXPECT_EQ(CountOf(*loaded.world, TREL_SPHERE), c.spheres);
        EXPECT_EQ(CountOf(*loaded.world, TREL_BOX), c.boxes);
        EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
    }
}

TEST(ProtoInstances, InstanceDepthIsLimited) {
    std::string scene = V2;
    for (int i = 1; i <= 5; ++i)
        scene += "PROTO P" + std::to_string(i) + " [ ] { Sphere { } P" + std::to_string(i + 1) + " { } }\n";
    scene += "P1 { } Box { }\n";
    C3DWorld world;
    CVRMLParser parser;
    parser.SetMaxInstanceDepth(3);
    EXPECT_EQ(parser.Parse(&world, WriteTempFile("deep.wrl", scene)), VRML_LOAD_SUCCESS);
    EXPECT_EQ(CountOf(world, TREL_SPHERE), 3u);
    EXPECT_EQ(CountOf(world, TREL_BOX), 1u);
}

TEST(ProtoInstances, InstancesMultipliedByNestingAreBounded) {
    // Every level uses the one below twice: 2^40 boxes if nothing stopped it.
    std::string scene = std::string(V2) + "PROTO P0 [ ] { Box { } }\n";
    for (int i = 1; i <= 40; ++i)
        scene += "PROTO P" + std::to_string(i) + " [ ] { P" + std::to_string(i - 1) + " { } P" + std::to_string(i - 1) +
                 " { } }\n";
    scene += "P40 { }\n";
    C3DWorld world;
    CVRMLParser parser;
    parser.SetMaxInstanceCount(1000);
    EXPECT_EQ(parser.Parse(&world, WriteTempFile("doubling.wrl", scene)), VRML_LOAD_SUCCESS);
    // Boxes are built until the budget (the count plus one per byte of the
    // file) runs out; about half the instances are boxes.
    const int budget = 1000 + static_cast<int>(scene.size());
    EXPECT_GT(world.GetTotalObjectCount(), budget * 2 / 5);
    EXPECT_LT(world.GetTotalObjectCount(), budget);
    EXPECT_EQ(parser.GetCurrentTokenType(), VRML_END_OF_INPUT);
}

// A named use records one entry with its use-site text; the instance and the
// replay record nothing. A named group records the use, not what it built,
// so its replay builds each instance once.
TEST(ProtoInstances, NamedUsesAndGroupsRecordTheUseWithItsText) {
    LoadedText loaded = LoadText(std::string(V2) + BallProto + "Ball { radius 2 } DEF B Ball { radius 3 } USE B\n");
    ASSERT_EQ(loaded.parser->GetObjectDictionary()->size(), 1u);
    auto* entry = loaded.parser->FindObjectInDictionary("B");
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(entry->GetType(), VRML_ENTRY_PROTO_USE);
    EXPECT_EQ(static_cast<CVRMLProtoUseEntry*>(entry)->GetPrototypeName(), "Ball");
    EXPECT_EQ(AsString(static_cast<CVRMLProtoUseEntry*>(entry)->GetUseText()), "radius 3");

    loaded = LoadText(std::string(V2) + BallProto +
                      "DEF S Group { children [ Ball { radius 2 } Box { } ] }\nUSE S\nUSE S\n");
    EXPECT_EQ(SphereRadii(loaded), (std::vector<double>{2, 2, 2}));
    auto* group = static_cast<CVRMLSeparatorEntry*>(loaded.parser->FindObjectInDictionary("S"));
    ASSERT_NE(group, nullptr);
    std::vector<int> children;
    for (CVRMLDictionaryEntry* child : group->GetChildren())
        children.push_back(child->GetType());
    EXPECT_EQ(children, (std::vector<int>{VRML_ENTRY_PROTO_USE, VRML_ENTRY_CUBE}));
}

TEST(ProtoInstances, InstanceTextCannotCloseTheLevelItIsReadAt) {
    // The unreferenced MF value "[ 1 }" is appended to the instance text; its
    // "}" must not close the group around the use.
    LoadedText loaded = LoadText(std::string(V2) + "PROTO Odd [ field MFFloat v [ ] ] { Sphere { } }\n"
                                                   "DEF G Group { children [ Odd { v [ 1 } } Box { } ] }\nCone { }\n");
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    std::vector<std::pair<std::string, trelObjectTypes>> placed;
    for (const FoundObject& found : AllObjects(*loaded.world))
        placed.emplace_back(found.groupName, found.object->GetObjectType());
    // The cone and its base at the root, after the group.
    EXPECT_EQ(placed, (std::vector<std::pair<std::string, trelObjectTypes>>{
                          {"", TREL_CONE}, {"", TREL_DISK}, {"G", TREL_SPHERE}, {"G", TREL_BOX}}));
    EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
}
