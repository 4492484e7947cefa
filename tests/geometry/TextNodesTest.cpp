// Text and AsciiText as the loader reads them: built in the standard mode
// and when asked for, nowhere else; laid out by their fields and font
// style; repeated by USE; and never reading past their node.

#include "TestScene.h"
#include "host/text/Text.h"

#include <gtest/gtest.h>

namespace {

bool HaveFont() {
    trelTextMesh probe;
    return trelMakeText({U"x"}, trelTextLayout(), probe);
}

// The objects `nodes` build under a far anchor (left out), standard or with
// text asked for in the default mode.
std::vector<FoundObject> Build(LoadedText& loaded, const char* header, const std::string& nodes, bool standard,
                               bool text = false) {
    loaded = LoadedText();
    loaded.parser->SetStandardSemantics(standard ? 1 : 0);
    loaded.parser->SetBuildText(text ? 1 : 0);
    loaded.result = loaded.parser->Parse(loaded.world.get(),
                                         WriteTempFile("text.wrl", std::string(header) + FarAnchor(header) + nodes));
    auto objects = AllObjects(*loaded.world);
    if (!objects.empty())
        objects.erase(objects.begin());
    return objects;
}

trelBBox BoxOf(const std::vector<FoundObject>& objects) {
    trelBBox box;
    for (const FoundObject& found : objects)
        if (found.object->GetObjectType() == TREL_POLYFACE)
            box.AddBox(found.object->GetBBox());
    return box;
}

class TextNodes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveFont())
            GTEST_SKIP() << "no font found";
    }
};

const std::string Hello = "Shape { geometry Text { string \"Hello\" } } Shape { geometry Box { } }";

TEST_F(TextNodes, BuiltInTheStandardModeOrWhenAsked) {
    LoadedText loaded;
    EXPECT_EQ(TypesOf(Build(loaded, V2, Hello, false)), std::vector<trelObjectTypes>{TREL_BOX});
    EXPECT_EQ(TypesOf(Build(loaded, V2, Hello, true)), (std::vector<trelObjectTypes>{TREL_POLYFACE, TREL_BOX}));
    EXPECT_EQ(TypesOf(Build(loaded, V2, Hello, false, true)), (std::vector<trelObjectTypes>{TREL_POLYFACE, TREL_BOX}));
    const std::string ascii = "AsciiText { string \"Hello\" } Cube { }";
    EXPECT_EQ(TypesOf(Build(loaded, V1, ascii, false)), std::vector<trelObjectTypes>{TREL_BOX});
    EXPECT_EQ(TypesOf(Build(loaded, V1, ascii, true)), (std::vector<trelObjectTypes>{TREL_POLYFACE, TREL_BOX}));
}

TEST_F(TextNodes, FieldsAndFontStyleLayTheTextOut) {
    LoadedText loaded;
    // VRML 2.0's size 1: a capital's height is about 0.73; size 4 four times it.
    const trelBBox plain = BoxOf(Build(loaded, V2, "Shape { geometry Text { string \"H\" } }", true));
    EXPECT_NEAR(plain.GetMax().y, 0.73, 0.05);
    EXPECT_NEAR(plain.GetMin().y, 0.0, 1e-3);
    const trelBBox big = BoxOf(Build(
        loaded, V2, "Shape { geometry Text { string \"H\" fontStyle FontStyle { size 4 family \"SANS\" } } }", true));
    EXPECT_NEAR(big.GetMax().y, 4 * plain.GetMax().y, 0.1);
    // Centred both ways, and squeezed to maxExtent.
    const trelBBox centred = BoxOf(Build(loaded, V2,
                                         "Shape { geometry Text { string [\"Hello\" \"world\"] maxExtent 2 "
                                         "fontStyle FontStyle { justify [\"MIDDLE\" \"MIDDLE\"] } } }",
                                         true));
    EXPECT_NEAR(centred.GetMin().x + centred.GetMax().x, 0.0, 0.05);
    EXPECT_NEAR(centred.GetMin().y + centred.GetMax().y, 0.0, 0.3);
    EXPECT_LE(centred.GetMax().x - centred.GetMin().x, 2.0 + 1e-3);
    // A named FontStyle serves a later use; a transform places the text.
    const trelBBox used = BoxOf(
        Build(loaded, V2,
              "Shape { geometry Text { string \"H\" fontStyle DEF F FontStyle { size 4 } } } "
              "Transform { translation 10 0 0 children Shape { geometry Text { string \"H\" fontStyle USE F } } }",
              true));
    EXPECT_GT(used.GetMax().x, 12.0); // a size-4 H at x = 10 is over 2 wide
    EXPECT_NEAR(used.GetMax().y, big.GetMax().y, 0.2);
    // VRML 1.0: FontStyle is state (size 10 by default); spacing and justification.
    const trelBBox ascii = BoxOf(Build(loaded, V1,
                                       "Separator { FontStyle { size 2 } AsciiText { string [\"H\" \"H\"] spacing 3 "
                                       "justification RIGHT } }",
                                       true));
    EXPECT_NEAR(ascii.GetMin().y, -6.0, 0.05);
    EXPECT_NEAR(ascii.GetMax().y, 2 * plain.GetMax().y, 0.1);
    EXPECT_LE(ascii.GetMax().x, 1e-3);
    const trelBBox ten = BoxOf(Build(loaded, V1, "AsciiText { string \"H\" }", true));
    EXPECT_NEAR(ten.GetMax().y, 10 * plain.GetMax().y, 0.5);
}

TEST_F(TextNodes, UsesRepeatTextAndItsFontStyle) {
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         "DEF T Shape { geometry Text { string \"Hi\" fontStyle FontStyle { size 2 } } } "
                         "Transform { translation 5 0 0 children USE T }",
                         true);
    ASSERT_EQ(objects.size(), 2u);
    const trelBBox a = objects[0].object->GetBBox(), b = objects[1].object->GetBBox();
    EXPECT_NEAR(b.GetMin().x - a.GetMin().x, 5.0, 1e-3);
    EXPECT_NEAR(b.GetMax().y, a.GetMax().y, 1e-3);
    // VRML 1.0: a named separator repeats its FontStyle with its text.
    objects = Build(loaded, V1,
                    "DEF S Separator { FontStyle { size 3 } AsciiText { string \"H\" } } "
                    "Translation { translation 20 0 0 } USE S",
                    true);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_NEAR(objects[1].object->GetBBox().GetMax().y, objects[0].object->GetBBox().GetMax().y, 1e-3);
}

TEST_F(TextNodes, BadValuesBuildNothingAndReadNoFurther) {
    LoadedText loaded;
    const struct {
        const char* header;
        std::string nodes;
        std::vector<trelObjectTypes> types;
    } cases[] = {
        // Not UTF-8: the node builds nothing, the rest loads.
        {V2, "Shape { geometry Text { string \"caf\xE9\" } } Shape { geometry Box { } }", {TREL_BOX}},
        // Values left out or of the wrong kind never take the node's brace.
        {V2, "Shape { geometry Text { string } } Shape { geometry Box { } }", {TREL_BOX}},
        {V2, "Shape { geometry Text { maxExtent } } Shape { geometry Box { } }", {TREL_BOX}},
        {V2,
         "Shape { geometry Text { string \"a\" fontStyle } } Shape { geometry Box { } }",
         {TREL_POLYFACE, TREL_BOX}},
        {V2,
         "Shape { geometry Text { string \"a\" fontStyle USE Nothing } } Shape { geometry Box { } }",
         {TREL_POLYFACE, TREL_BOX}},
        {V2, "Shape { geometry Text { string [\"a\" } } Shape { geometry Box { } }", {TREL_POLYFACE, TREL_BOX}},
        {V1, "AsciiText { justification } Cube { }", {TREL_BOX}},
        {V1, "FontStyle { style } AsciiText { string \"a\" } Cube { }", {TREL_POLYFACE, TREL_BOX}},
        // Empty strings and spaces build no object.
        {V2, "Shape { geometry Text { string [\"\" \" \"] } } Shape { geometry Box { } }", {TREL_BOX}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nodes);
        EXPECT_EQ(TypesOf(Build(loaded, c.header, c.nodes, true)), c.types);
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    }
}

} // namespace
