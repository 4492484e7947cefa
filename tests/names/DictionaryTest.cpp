#include "TestScene.h"

#include "names/DictionaryEntries.h"
#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
std::vector<trelObjectTypes> TypesOf(const LoadedText& loaded) {
    std::vector<trelObjectTypes> types;
    for (const FoundObject& found : AllObjects(*loaded.world))
        types.push_back(found.object->GetObjectType());
    return types;
}
} // namespace

TEST(Dictionary, ALaterDefinitionReplacesTheEarlierOne) {
    LoadedText loaded = LoadText(std::string(V1) + "DEF A Cube { } DEF A Sphere { } USE A\n");
    EXPECT_EQ(TypesOf(loaded), (std::vector<trelObjectTypes>{TREL_BOX, TREL_SPHERE, TREL_SPHERE}));
    EXPECT_EQ(loaded.parser->GetObjectDictionary()->size(), 1u);
}

TEST(Dictionary, UnknownNamesAndOtherCaseFindNothing) {
    LoadedText loaded = LoadText(std::string(V1) + "USE A DEF a Cube { } USE A Cube { }\n");
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    EXPECT_EQ(TypesOf(loaded).size(), 2u);
}

TEST(Dictionary, NamedSeparatorReplaysItsWholeSubtreeWithoutLeakingState) {
    LoadedText loaded = LoadText(std::string(V1) +
                                 "DEF S Separator { Material { diffuseColor 1 0 0 } Cube { } }\n"
                                 "Separator { Translation { translation 5 0 0 } USE S Cube { } }\n");
    const C3DWorld& world = *loaded.world;
    ASSERT_EQ(world.GetNumGroups(), 2); // two groups named S
    ASSERT_EQ(world.GetNumObjects(), 1);
    const C3DGroup* defined = world.GetGroup(0);
    const C3DGroup* used = world.GetGroup(1);
    EXPECT_EQ(used->GetGroupName().GetString(), "S");
    ASSERT_EQ(used->GetNumObjects(), 1);
    EXPECT_EQ(used->GetObjectMatProps(0).front.GetDiffuse(), trelChroma(1, 0, 0));
    EXPECT_EQ(world.GetObjectMatProps(0).front.GetDiffuse(), trelChroma(1, 1, 1)); // the material stayed inside S
    EXPECT_GT(BoxCentre(used->GetObject(0)).x, BoxCentre(defined->GetObject(0)).x);
}

TEST(Dictionary, UseInsideANamedSeparatorIsLookedUpAgainAtReplay) {
    LoadedText loaded = LoadText(std::string(V1) +
                                 "DEF A Cube { }\n"
                                 "DEF S Separator { USE A }\n"
                                 "DEF A Sphere { }\n"
                                 "USE S\n");
    // The world's own objects come first, then the two groups named S.
    EXPECT_EQ(TypesOf(loaded), (std::vector<trelObjectTypes>{TREL_BOX, TREL_SPHERE, TREL_BOX, TREL_SPHERE}));
}

TEST(Dictionary, DefOfAUseNamesNothing) {
    LoadedText loaded = LoadText(std::string(V1) + "DEF A Cube { } DEF B USE A USE B\n");
    EXPECT_EQ(TypesOf(loaded).size(), 2u);
}

TEST(Dictionary, SelfUseIsCutOffAndEnds) {
    LoadedText loaded = LoadText(std::string(V1) + "DEF S Separator { Cube { } USE S } USE S USE S\n");
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    // Reading S builds its cube and one replay of it; each later USE builds
    // the cube and the recorded inner replay, which is cut off at once.
    EXPECT_EQ(TypesOf(loaded).size(), 4u);

    LoadedText mutual = LoadText(std::string(V1) +
                                 "DEF A Separator { Cube { } }\n"
                                 "DEF B Separator { USE A }\n"
                                 "DEF A Separator { USE B }\n"
                                 "USE A\n");
    EXPECT_EQ(mutual.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(Dictionary, ReplacingANameListedByAClosedSeparatorLeavesNoDanglingEntry) {
    // A is listed by S's entry; redefining A must not leave S pointing at a
    // destroyed entry. S still repeats what it held when it was read.
    LoadedText loaded = LoadText(std::string(V1) +
                                 "DEF S Separator { DEF A Cube { } }\n"
                                 "DEF A Sphere { }\n"
                                 "USE S USE A\n");
    // The world's own spheres first, then S as read and S replayed.
    EXPECT_EQ(TypesOf(loaded), (std::vector<trelObjectTypes>{TREL_SPHERE, TREL_SPHERE, TREL_BOX, TREL_BOX}));
}

TEST(Dictionary, InnerSeparatorOfTheSameNameTakesOverTheRecording) {
    LoadedText loaded = LoadText(std::string(V1) + "DEF S Separator { Cube { } DEF S Separator { Sphere { } } Cone { } }\n"
                                                    "USE S\n");
    // The outer entry is destroyed; the inner one records the sphere and then,
    // as the outer level's entry, the cone.
    auto types = TypesOf(loaded);
    ASSERT_GE(types.size(), 4u);
    EXPECT_EQ(std::count(types.begin(), types.end(), TREL_SPHERE), 2);
}

TEST(Dictionary, NamesOutliveAParse) {
    CVRMLParser parser;
    C3DWorld first, second;
    parser.Parse(&first, WriteTempFile("first.wrl", std::string(V1) + "DEF Shared Cube { width 30 }\n"));
    EXPECT_EQ(parser.Parse(&second, WriteTempFile("second.wrl", std::string(V1) + "USE Shared\n")), VRML_LOAD_SUCCESS);
    EXPECT_EQ(second.GetNumObjects(), 1);
}

TEST(Dictionary, EntriesCarryTheirCodesAndDefaults) {
    CVRMLConeEntry cone;
    EXPECT_EQ(cone.GetType(), VRML_ENTRY_CONE);
    EXPECT_EQ(cone.GetBottomRadius(), 1.0);
    EXPECT_EQ(cone.GetSide(), 1);
    CVRMLMaterialBindingEntry binding;
    EXPECT_EQ(binding.GetType(), VRML_ENTRY_MATERIAL_BINDING);
    CVRMLPointSetEntry points;
    EXPECT_EQ(points.GetNumPoints(), -1);
    CVRMLTransformEntry transform;
    EXPECT_EQ(transform.GetScaleFactor(), trelFloatPoint(1, 1, 1));
    EXPECT_EQ(transform.GetName(), "");
}

TEST(Dictionary, SkippedNodesLeaveNoEntry) {
    CVRMLParser parser;
    C3DWorld world;
    parser.SetWorld(&world);
    parser.DefineSeparator();
    parser.SetSkippingBlock(1);
    EXPECT_EQ(parser.AddDictionaryObject(new CVRMLCubeEntry), 0);
    EXPECT_TRUE(parser.GetObjectDictionary()->empty());
    EXPECT_EQ(parser.DefineUse("anything"), 1);
}
