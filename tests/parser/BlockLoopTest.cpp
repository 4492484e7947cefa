#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

TEST(Parse, EmptyFileFailsAndAFileWithOneStatementSucceeds) {
    EXPECT_EQ(LoadText(V1).result, VRML_LOAD_FAILURE);
    EXPECT_EQ(LoadText(std::string(V1) + "Separator { }\n").result, VRML_LOAD_SUCCESS);
}

// Each text is read to its end with every level it opened closed again, and
// its one cube is built where a level holds it.
TEST(Parse, StatementsAreReadToTheEndWithEveryLevelClosed) {
    const struct {
        const char* header;
        const char* text;
        int objects;
    } cases[] = {
        // Nested braces, brackets and strings with braces inside unknown
        // blocks must not end the skip early.
        {V1, "Texture2 { filename \"a}b.rgb\" image [ 1 { 2 } ] } DEF T Texture2 { wrapS REPEAT Inner { } } Cube { }",
         1},
        {V2, "NULL Box { }", 1},
        {V1, "[ Separator { Cube { } } Separator { } ]", 1},
        {V1, "Separator { } } Cube { }", 0},         // the surplus brace closes the root level
        {V1, "Group { WWWAnchor { Cube { } } }", 1}, // in VRML 1.0 both open separator levels
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        LoadedText loaded = LoadText(std::string(c.header) + c.text + "\n");
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
        EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
        EXPECT_EQ(loaded.world->GetTotalObjectCount(), c.objects);
    }
}

TEST(Parse, NestedSeparatorsAreReadByOneBlockCall) {
    PositionedParser p("Separator { Separator { } Separator { } } Separator { }\n", V1);
    EXPECT_EQ(p.parser.ParseBlock(), 1);
    // The first statement is read whole: the second separator is now current.
    EXPECT_EQ(p.parser.GetCurrentTokenType(), VRML_SEPARATOR);
    EXPECT_EQ(p.parser.GetSeparatorStack()->size(), 1u);
    EXPECT_EQ(p.parser.ParseBlock(), 1);
    EXPECT_EQ(p.parser.GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(Parse, DefNameHoldsForItsStatementOnly) {
    PositionedParser p("DEF Name Unknown { } Separator { }\n", V1);
    p.parser.ParseBlock(); // DEF Name Unknown: the name is taken, the unknown type passed over
    EXPECT_EQ(p.parser.GetEntityName(), "Name");
    EXPECT_EQ(p.parser.GetDefinedEntity(), 1);
    p.parser.ParseBlock(); // the brace block of the unknown node
    EXPECT_EQ(p.parser.GetEntityName(), "");
    EXPECT_EQ(p.parser.GetDefinedEntity(), 0);
}

namespace {
std::vector<int> reported;
void Record(int percentage) { reported.push_back(percentage); }
std::string ManySeparators(int count) {
    std::string text = V1;
    for (int i = 0; i < count; ++i)
        text += "Separator { }\n";
    return text;
}
} // namespace

// Progress is only worked out again where the percentage can rise; every
// rise from 1 to 99 must be seen once and in order, also after the host
// lowers LastPercentage.
TEST(Progress, DenseTokensReportEveryPercentageBelowOneHundredAgainAfterAReset) {
    const std::string file = WriteTempFile("dense_progress.wrl", ManySeparators(1000));
    CVRMLParser parser;
    parser.SetLoaderPtr(&Record);
    for (int lastPercentage : {0, 99, 0, 50}) {
        parser.SetLastPercentage(lastPercentage);
        reported.clear();
        C3DWorld world;
        ASSERT_EQ(parser.Parse(&world, file), VRML_LOAD_SUCCESS);
        std::vector<int> expected;
        for (int p = lastPercentage + 1; p <= 99; ++p)
            expected.push_back(p);
        EXPECT_EQ(reported, expected) << "from " << lastPercentage;
    }
}

TEST(Progress, NothingIsReportedWhileABlockIsSkipped) {
    reported.clear();
    CVRMLParser parser;
    parser.SetLoaderPtr(&Record);
    parser.SetSkippingBlock(1);
    parser.GetIOManager()->SetFilename(WriteTempFile("skipping.wrl", ManySeparators(100)));
    ASSERT_EQ(parser.GetIOManager()->OpenFile(), VRML_LOAD_SUCCESS);
    while (parser.Tokenize()) {
    }
    EXPECT_TRUE(reported.empty());
}
namespace {
C3DWorld* WorldOfSize(float size) {
    auto* world = new C3DWorld;
    if (size > 0.0f) {
        trelFloatPoint corners[8];
        for (int i = 0; i < 8; ++i)
            corners[i] = trelFloatPoint(i & 1 ? size : 0.0f, i & 2 ? size / 2 : 0.0f, 0.0f);
        auto* box = new trelBox;
        box->SetBox(corners);
        world->AddObject(box, trelMatProps(), true);
    }
    return world;
}
} // namespace

TEST(DetermineUnits, SmallWorldsAreScaledByPowersOfTen) {
    const struct {
        float size;
        VRMLImageUnitsTypes units;
        float scaledSize;
    } cases[] = {
        {0.01f, VRML_UNITS_MICROMETRES, 10000.0f}, {0.2f, VRML_UNITS_MILLIMETRES, 200.0f},
        {0.25f, VRML_UNITS_CENTIMETRES, 25.0f},    {25.0f, VRML_UNITS_METRES, 25.0f},
        {0.0f, VRML_UNITS_MICROMETRES, 0.0f}, // an empty world
    };
    for (const auto& c : cases) {
        std::unique_ptr<C3DWorld> world(WorldOfSize(c.size));
        CVRMLParser parser;
        parser.SetWorld(world.get());
        parser.DetermineUnits();
        EXPECT_EQ(parser.GetImageUnits(), c.units) << c.size;
        EXPECT_NEAR(world->GetBBox().GetLargestDimension(), c.scaledSize, c.scaledSize * 1e-5) << c.size;
    }
}
