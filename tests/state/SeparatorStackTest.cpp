#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

#include <utility>

namespace {
// A parser with its root level open over `world`, as Parse leaves it.
struct OpenParser {
    C3DWorld world;
    CVRMLParser parser;
    OpenParser() {
        parser.SetWorld(&world);
        parser.DefineSeparator();
    }
    void Open(const std::string& name) {
        parser.SetEntityName(name);
        parser.SetDefinedEntity(name.empty() ? 0 : 1);
        parser.DefineSeparator();
        parser.SetEntityName("");
        parser.SetDefinedEntity(0);
    }
    void AddDot() { parser.AddObjectToSeparator(new trelDot); }
};
} // namespace

// A named level becomes a group only once it receives something; a named
// level inside it nests its group there, an unnamed one adds to the group
// in force.
TEST(SeparatorStack, NamedLevelsNestTheirGroupsAndUnnamedLevelsBorrow) {
    OpenParser p;
    p.Open("A");
    p.Open("");
    p.AddDot();
    p.Open("B");
    p.AddDot();
    p.parser.PopSeparator();
    p.parser.PopSeparator();
    p.parser.PopSeparator();
    p.Open("Empty");
    p.parser.PopSeparator();
    ASSERT_EQ(p.world.GetNumGroups(), 1);
    C3DGroup* a = p.world.GetGroup(0);
    EXPECT_EQ(a->GetGroupName().GetString(), "A");
    EXPECT_EQ(a->GetNumObjects(), 1);
    ASSERT_EQ(a->GetNumGroups(), 1);
    EXPECT_EQ(a->GetGroup(0)->GetGroupName().GetString(), "B");
}

// Levels share the lists they inherit until one changes them: every change,
// through any getter or setter, must stay with the level that made it.
TEST(SeparatorStack, InheritedListsChangeOnlyInTheLevelThatChangesThem) {
    CVRMLSeparator outer;
    outer.GetCoordinates().Append(trelFloatPoint(1, 2, 3));
    outer.GetDiffuseColors().Append(trelChroma(1, 0, 0, 1));
    outer.GetShininess()[0] = 0.25;
    CVRMLSeparator middle, inner;
    middle = outer;
    inner = middle;

    inner.GetCoordinates()[0] = trelFloatPoint(9, 9, 9);
    middle.GetDiffuseColors().Append(trelChroma(0, 1, 0, 1));
    inner.ResetMaterial();
    outer.SetCoordinates(trelFloatPointArray(3));
    EXPECT_EQ(outer.GetCoordinates().GetSize(), 3);
    EXPECT_EQ(middle.GetCoordinates().GetSize(), 1);
    EXPECT_EQ(std::as_const(middle).GetCoordinates()[0], trelFloatPoint(1, 2, 3));
    EXPECT_EQ(inner.GetCoordinates()[0], trelFloatPoint(9, 9, 9));
    EXPECT_EQ(outer.GetDiffuseColors().GetSize(), 1);
    EXPECT_EQ(middle.GetDiffuseColors().GetSize(), 2);
    EXPECT_EQ(inner.GetDiffuseColors().GetSize(), 0);
    EXPECT_EQ(middle.GetShininess()[0], 0.25);
    EXPECT_EQ(inner.GetShininess()[0], 64.0);

    // The defaults of a new level are shared too, and stay the defaults.
    CVRMLSeparator changed;
    changed.GetShininess()[0] = 1.0;
    changed.GetTransparency().Append(0.5);
    const CVRMLSeparator fresh;
    ASSERT_EQ(fresh.GetShininess().GetSize(), 1);
    EXPECT_EQ(fresh.GetShininess()[0], 64.0);
    EXPECT_EQ(fresh.GetTransparency().GetSize(), 1);
    EXPECT_EQ(fresh.GetTransparency()[0], 0.0);
}

TEST(SeparatorStack, ObjectsBuiltWhileSkippingOrWithoutLevelAreDiscardedAsHandled) {
    OpenParser p;
    p.parser.SetSkippingBlock(1);
    EXPECT_EQ(p.parser.AddObjectToSeparator(new trelDot), 1);
    p.parser.SetSkippingBlock(0);
    p.parser.PopSeparator();
    EXPECT_EQ(p.parser.AddObjectToSeparator(new trelDot), 1);
    EXPECT_EQ(p.parser.AddObjectToSeparator(static_cast<trelBaseObject*>(nullptr)), 0);
    EXPECT_EQ(p.world.GetNumObjects(), 0);
    EXPECT_EQ(p.parser.PopSeparator(), 0); // nothing left to close
}

TEST(SeparatorStack, RenderCachingFieldsOpeningTheBodyAreSteppedOver) {
    LoadedText loaded =
        LoadText(std::string(V1) + "DEF S Separator { renderCaching ON renderCulling OFF Separator { } }\n");
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
    EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
}

TEST(SeparatorStack, AbandonedLevelsAreClearedWithTheGroupsTheyOwn) {
    auto p = std::make_unique<OpenParser>();
    p->Open("Unfinished");
    p->AddDot();
    p->parser.ClearSeparatorStack(); // under LeakSanitizer a leaked group would show
    EXPECT_EQ(p->parser.GetCurrentSeparator(), nullptr);
    EXPECT_EQ(p->world.GetNumGroups(), 0);
}
