#include "TestScene.h"

#include <gtest/gtest.h>

namespace {
std::string Repeat(const std::string& text, int times) {
    std::string out;
    out.reserve(text.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}
} // namespace

TEST(Limits, VeryDeepNestingGivesAResultInsteadOfOverflowingTheStack) {
    const int depth = 100000;
    LoadedText groups =
        LoadText(std::string(V2) + Repeat("Group { children [ ", depth) + "Box { }" + Repeat(" ] }", depth));
    EXPECT_EQ(groups.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
    LoadedText lists = LoadText(std::string(V2) + Repeat("[ ", depth) + Repeat("] ", depth) + "Box { }");
    EXPECT_EQ(lists.world->GetTotalObjectCount(), 1); // what follows the broken part still loads
    LoadedText separators =
        LoadText(std::string(V1) + Repeat("Separator { ", depth) + "Cube { }" + Repeat(" }", depth));
    EXPECT_EQ(separators.world->GetTotalObjectCount(), 1); // VRML 1.0 separators do not recurse
}

TEST(Limits, TheNestingLimitIsTheHostsToChange) {
    std::string text = std::string(V2) + Repeat("Group { children [ ", 20) + "Box { }" + Repeat(" ] }", 20);
    CVRMLParser parser;
    parser.SetMaxNestingDepth(10);
    C3DWorld shallow;
    parser.Parse(&shallow, WriteTempFile("limited.wrl", text));
    EXPECT_EQ(shallow.GetTotalObjectCount(), 0);
    LoadedText deep = LoadText(text);
    EXPECT_EQ(deep.world->GetTotalObjectCount(), 1);
}

TEST(Limits, SkippingNamedChildrenDoesNotReadThemAgainAtEveryLevel) {
    // Each Transform passes over its children once before reading them; if
    // passing over read the child, 60 levels would take 2^60 steps.
    const int depth = 60;
    LoadedText loaded = LoadText(std::string(V2) + Repeat("DEF T Transform { translation 1 0 0 children ", depth) +
                                 "Box { }" + Repeat(" }", depth));
    ASSERT_EQ(loaded.world->GetTotalObjectCount(), 1);
}

TEST(Limits, LongChainsOfUsesEnd) {
    std::string text = std::string(V1) + "DEF A0 Separator { Cube { } }\n";
    const int chain = 1000; // well past the replay limit
    for (int i = 1; i < chain; ++i)
        text += "DEF A" + std::to_string(i) + " Separator { USE A" + std::to_string(i - 1) + " }\n";
    text += "USE A" + std::to_string(chain - 1) + "\n";
    LoadedText loaded = LoadText(text);
    EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT);
}

TEST(Limits, FieldKeywordsThatNameTheirNodeDoNotLoopWithoutALevel) {
    // A surplus "}" closes the root level; nodes read after it must still end.
    for (const char* node : {"material Material { diffuseColor 1 0 0 }", "fontStyle FontStyle { size 2 }"}) {
        LoadedText loaded = LoadText(std::string(V2) + "} " + node + " Box { }\n");
        EXPECT_EQ(loaded.parser->GetCurrentTokenType(), VRML_END_OF_INPUT) << node;
    }
}

TEST(Limits, UsesThatDoubleAtEveryLevelStopAtTheReplayBudget) {
    std::string text = std::string(V1) + "DEF A0 Separator { Cube { } }\n";
    for (int i = 1; i <= 40; ++i)
        text += "DEF A" + std::to_string(i) + " Separator { USE A" + std::to_string(i - 1) + " USE A" +
                std::to_string(i - 1) + " }\n";
    CVRMLParser parser;
    parser.SetMaxReplayCount(10000);
    C3DWorld world;
    parser.Parse(&world, WriteTempFile("doubling.wrl", text));
    EXPECT_EQ(parser.GetCurrentTokenType(), VRML_END_OF_INPUT);
    // The budget adds one replay for each byte of the file.
    EXPECT_LE(world.GetTotalObjectCount(), 10000 + static_cast<int>(text.size()) + 1);
}

TEST(Limits, ReplayAndInstanceBudgetsGrowWithTheFile) {
    // Budgets of zero: every use and instance below is paid for by the bytes
    // of the file, so all of them load.
    std::string text =
        std::string(V2) + "PROTO Ball [ ] { Sphere { } }\nDEF G Group { children [ Box { } Box { } ] }\n";
    for (int i = 0; i < 50; ++i)
        text += "USE G Ball { }\n";
    CVRMLParser parser;
    parser.SetMaxReplayCount(0);
    parser.SetMaxInstanceCount(0);
    C3DWorld world;
    parser.Parse(&world, WriteTempFile("budgets.wrl", text));
    int boxes = 0, spheres = 0;
    for (const FoundObject& found : AllObjects(world))
        (found.object->GetObjectType() == TREL_BOX ? boxes : spheres) += 1;
    EXPECT_EQ(boxes, 2 + 50 * 2);
    EXPECT_EQ(spheres, 50);
}
