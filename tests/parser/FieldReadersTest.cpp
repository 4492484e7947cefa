#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

#include <climits>

// Every list reader is left on the last token it read: a list's "]", or
// the last number of a single value.
TEST(FieldReaders, ColorsSingleAndListFormsAndWhereTheyStop) {
    const struct {
        const char* input;
        int result, size; // the list held blue before
        trelChroma first;
        const char* leftOn;
    } cases[] = {
        {"1 0 0 next", 1, 1, trelChroma(1, 0, 0, 1), "0"},
        {"[ 1 0 0, 0 1 ] next", 1, 1, trelChroma(1, 0, 0, 1), "]"}, // the cut-short second colour is dropped
        {"[ ] next", 0, 1, trelChroma(0, 0, 1), "]"},               // the list is left untouched
        {"[ 1 0 0 0 1 0", 1, 2, trelChroma(1, 0, 0, 1), ""},        // cut short by the end of input
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        PositionedParser p(c.input);
        trelChromaArray colors;
        colors.Append(trelChroma(0, 0, 1));
        EXPECT_EQ(p.parser.ParseColorArray(colors), c.result);
        ASSERT_EQ(colors.GetSize(), c.size);
        EXPECT_EQ(colors[0], c.first);
        EXPECT_EQ(p.Current(), c.leftOn);
    }
}

TEST(FieldReaders, PointsStopAfterTheirBracketOrOnIt) {
    const struct {
        const char* input;
        int result, size;
        const char* leftOn;
    } cases[] = {
        {"{ 1 2 3 4 5 6 } next", 1, 2, "}"},
        {"[ 1 2 3 ] next", 1, 1, "next"},
        {"[ ] next", 0, 0, "next"}, // the "]" is consumed all the same
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        PositionedParser p(c.input);
        trelFloatPointArray points;
        EXPECT_EQ(p.parser.ParsePointArray(points), c.result);
        ASSERT_EQ(points.GetSize(), c.size);
        EXPECT_TRUE(c.size == 0 || points[0] == trelFloatPoint(1, 2, 3));
        EXPECT_EQ(p.Current(), c.leftOn);
    }
    PositionedParser p("7 8 word");
    trelFloatPoint point(0, 0, 9);
    EXPECT_EQ(p.parser.ParsePoint(point), 0);
    EXPECT_EQ(point, trelFloatPoint(7, 8, 9)); // x and y already written
}

TEST(FieldReaders, FloatListsGiveOneValuePerToken) {
    PositionedParser p("[ 0.5 word 2 ] diffuseColor 1 1 1");
    trelDoubleArray values;
    EXPECT_EQ(p.parser.ParseFloatArray(values), 1);
    EXPECT_EQ(values.Items(), (std::vector<double>{0.5, 0.0, 2.0}));
    EXPECT_EQ(p.Current(), "]");
    p.parser.Tokenize();
    EXPECT_EQ(p.parser.ParseFloatArray(values), 1); // a word: one value 0, and the reader stays on it
    EXPECT_EQ(values.Items(), std::vector<double>{0.0});
    EXPECT_EQ(p.Current(), "diffuseColor");
}

TEST(FieldReaders, IndexListsSplitRunsAndAppend) {
    PositionedParser p("[ 0 1 2 -1 3 4 5 6 -1 -1 7 8 9 ] [ -1 2.9 -0.5 -2 1e12 ]");
    std::vector<int> indices, counts;
    EXPECT_EQ(p.parser.ParseIndexArray(indices, counts), 1);
    EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(counts, (std::vector<int>{3, 4, 3}));
    EXPECT_EQ(p.Current(), "]");
    p.parser.Tokenize();
    EXPECT_EQ(p.parser.ParseIndexArray(indices, counts), 1);
    // Appended after the first list; 1e12 is clamped, not undefined.
    EXPECT_EQ(std::vector<int>(indices.begin() + 10, indices.end()), (std::vector<int>{2, 0, -2, INT_MAX}));
    EXPECT_EQ(counts.back(), 4);
}

TEST(FieldReaders, RotationsSkipLeadingBracketsAndStopAfterTheLastNumber) {
    PositionedParser p("{ 0 0 1 1.5 } 0 1 0 next");
    trelVector axis(5, 5, 5);
    double angle = 9.0;
    EXPECT_EQ(p.parser.ParseRotationVector(axis, angle), 1);
    EXPECT_EQ(axis, trelVector(0, 0, 1));
    EXPECT_EQ(angle, 1.5);
    EXPECT_EQ(p.Current(), "}");
    p.parser.Tokenize();
    EXPECT_EQ(p.parser.ParseRotationVector(axis, angle), 1); // the missing angle is 0
    EXPECT_EQ(axis, trelVector(0, 1, 0));
    EXPECT_EQ(angle, 0.0);

    // In a list, a word ends what cannot be read, and so does the end of input.
    trelVectorArray axes;
    trelDoubleArray angles;
    PositionedParser list("[ 0 1 0 1.5 word 0 0 1 2 ]");
    EXPECT_EQ(list.parser.ParseRotationVectorArray(axes, angles), 1);
    EXPECT_EQ(axes.GetSize(), 1);
    PositionedParser unfinished("[ 0 1 0 1.5");
    EXPECT_EQ(unfinished.parser.ParseRotationVectorArray(axes, angles), 1);
}

TEST(FieldReaders, RemoveQuotesStripsOnlyTheOuterQuotes) {
    std::string quoted = "\"wheel.wrl\"", plain = "wheel.wrl", single = "\"";
    std::string longName = "\"" + std::string(1000, 'a') + "\"";
    EXPECT_EQ(CVRMLParser::RemoveQuotes(quoted), 1);
    EXPECT_EQ(quoted, "wheel.wrl");
    EXPECT_EQ(CVRMLParser::RemoveQuotes(plain), 0);
    EXPECT_EQ(CVRMLParser::RemoveQuotes(single), 1);
    EXPECT_EQ(single, "");
    EXPECT_EQ(CVRMLParser::RemoveQuotes(longName), 1);
    EXPECT_EQ(longName.size(), 1000u);
}
