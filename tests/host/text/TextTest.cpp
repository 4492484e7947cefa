// Text as glyph geometry: real glyphs with their holes, laid out in lines
// as the layout asks, and UTF-8 decoded strictly. Needs a font: the tests
// skip where none is found (build.sh installs fonts-dejavu-core).

#include "host/text/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Extent {
    double low[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    double high[2] = {-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    double Width() const { return high[0] - low[0]; }
    double Height() const { return high[1] - low[1]; }
};

Extent ExtentOf(const trelTextMesh& mesh) {
    Extent e;
    for (int index : mesh.triangles) {
        const trelFloatPoint& p = mesh.points[static_cast<size_t>(index)];
        e.low[0] = std::min(e.low[0], double(p.x));
        e.low[1] = std::min(e.low[1], double(p.y));
        e.high[0] = std::max(e.high[0], double(p.x));
        e.high[1] = std::max(e.high[1], double(p.y));
    }
    return e;
}

// The area the triangles cover (each counted with its sign: counter-clockwise positive).
double Area(const trelTextMesh& mesh) {
    double sum = 0.0;
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        const trelFloatPoint& a = mesh.points[static_cast<size_t>(mesh.triangles[t])];
        const trelFloatPoint& b = mesh.points[static_cast<size_t>(mesh.triangles[t + 1])];
        const trelFloatPoint& c = mesh.points[static_cast<size_t>(mesh.triangles[t + 2])];
        sum += ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) / 2.0;
    }
    return sum;
}

// Whether any triangle covers the point.
bool Covers(const trelTextMesh& mesh, double x, double y) {
    for (size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
        const trelFloatPoint* c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = &mesh.points[static_cast<size_t>(mesh.triangles[t + static_cast<size_t>(k)])];
        double s[3];
        for (int k = 0; k < 3; ++k) {
            const trelFloatPoint& a = *c[k];
            const trelFloatPoint& b = *c[(k + 1) % 3];
            s[k] = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        }
        if (s[0] > 0 && s[1] > 0 && s[2] > 0)
            return true;
    }
    return false;
}

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        trelTextMesh probe;
        if (!trelMakeText({U"x"}, trelTextLayout(), probe))
            GTEST_SKIP() << "no font found";
    }
    static trelTextMesh Make(const std::vector<std::u32string>& lines, const trelTextLayout& layout = {}) {
        trelTextMesh mesh;
        EXPECT_TRUE(trelMakeText(lines, layout, mesh));
        return mesh;
    }
};

TEST_F(TextTest, GlyphsAreFilledWithTheirHoles) {
    const trelTextMesh o = Make({U"O"});
    ASSERT_FALSE(o.triangles.empty());
    const Extent e = ExtentOf(o);
    // Every triangle faces +z, and the ring leaves its middle open.
    for (size_t t = 0; t + 2 < o.triangles.size(); t += 3) {
        trelTextMesh one;
        one.points = o.points;
        one.triangles.assign(o.triangles.begin() + static_cast<long>(t),
                             o.triangles.begin() + static_cast<long>(t) + 3);
        EXPECT_GE(Area(one), -1e-9);
    }
    const double midX = (e.low[0] + e.high[0]) / 2, midY = (e.low[1] + e.high[1]) / 2;
    EXPECT_FALSE(Covers(o, midX, midY));
    EXPECT_TRUE(Covers(o, e.low[0] + 0.02 * e.Width() + 0.01, midY)); // the ring's left side
    // A ring covers less than its box but much of it.
    EXPECT_LT(Area(o), 0.7 * e.Width() * e.Height());
    EXPECT_GT(Area(o), 0.2 * e.Width() * e.Height());
    // B has two holes, 8 two, i none: all fill.
    for (const char32_t* s : {U"B", U"8", U"i", U"%"})
        EXPECT_GT(Area(Make({s})), 0.0);
}

TEST_F(TextTest, SizeSpacingAndJustificationPlaceTheLines) {
    trelTextLayout layout;
    const Extent one = ExtentOf(Make({U"Hello"}, layout));
    EXPECT_NEAR(one.low[0], 0.0, 0.2);   // FIRST: the line starts at x = 0
    EXPECT_NEAR(one.low[1], 0.0, 0.05);  // on its baseline
    EXPECT_NEAR(one.high[1], 0.73, 0.1); // a capital's height in em
    layout.size = 3;
    const Extent big = ExtentOf(Make({U"Hello"}, layout));
    EXPECT_NEAR(big.Width(), 3 * one.Width(), 1e-4);
    EXPECT_NEAR(big.high[1], 3 * one.high[1], 1e-4);

    // Lines go down one spacing of sizes apart.
    layout.spacing = 2;
    const Extent two = ExtentOf(Make({U"Hello", U"Hello"}, layout));
    EXPECT_NEAR(two.low[1], -6.0, 0.1); // the second baseline 2 x 3 below the first

    layout = trelTextLayout();
    layout.major = trelTextJustify::End; // the line's end at 0: the last glyph's ink just before it
    const Extent end = ExtentOf(Make({U"Hello"}, layout));
    EXPECT_LE(end.high[0], 1e-4);
    EXPECT_GT(end.high[0], -0.2);
    EXPECT_NEAR(end.Width(), one.Width(), 1e-4);
    layout.major = trelTextJustify::Middle;
    const Extent middle = ExtentOf(Make({U"Hello"}, layout));
    EXPECT_NEAR(middle.low[0] + middle.high[0], 0.0, 0.2);
    // Minor BEGIN puts the top of the first line at 0, END the bottom of the last.
    layout = trelTextLayout();
    layout.minor = trelTextJustify::Begin;
    EXPECT_LE(ExtentOf(Make({U"Hello", U"there"}, layout)).high[1], 1e-6);
    layout.minor = trelTextJustify::End;
    EXPECT_GE(ExtentOf(Make({U"Hello", U"there"}, layout)).low[1], -1e-6);
}

TEST_F(TextTest, LengthAndMaxExtentSqueezeLines) {
    trelTextLayout layout;
    layout.lengths = {10.0};
    const Extent stretched = ExtentOf(Make({U"abc"}, layout));
    EXPECT_NEAR(stretched.high[0], 10.0, 0.5); // the advance of the last glyph reaches 10
    EXPECT_GT(stretched.Width(), 8.0);
    layout = trelTextLayout();
    layout.maxExtent = 1.0;
    const Extent squeezed = ExtentOf(Make({U"a long line", U"ab"}, layout));
    EXPECT_LE(squeezed.Width(), 1.0 + 1e-4);
    // Right to left and vertical text run the other way.
    layout = trelTextLayout();
    layout.leftToRight = false;
    EXPECT_LE(ExtentOf(Make({U"abc"}, layout)).high[0], 1e-4);
    layout = trelTextLayout();
    layout.horizontal = false;
    const Extent vertical = ExtentOf(Make({U"abc"}, layout));
    EXPECT_GT(vertical.Height(), 2.0);
    EXPECT_LT(vertical.Width(), 1.0);
    EXPECT_LE(vertical.high[1], 1e-4);
}

TEST_F(TextTest, EveryFamilyAndStyleGivesAFont) {
    for (trelFontFamily family : {trelFontFamily::Serif, trelFontFamily::Sans, trelFontFamily::Typewriter})
        for (bool bold : {false, true})
            for (bool italic : {false, true}) {
                trelTextLayout layout;
                layout.family = family;
                layout.bold = bold;
                layout.italic = italic;
                EXPECT_GT(Area(Make({U"Wg"}, layout)), 0.0);
            }
    // Typewriter glyphs all advance alike: a right-justified line of i's
    // starts where one of W's does, give or take the glyphs' sides.
    trelTextLayout mono;
    mono.family = trelFontFamily::Typewriter;
    mono.major = trelTextJustify::End;
    EXPECT_NEAR(ExtentOf(Make({U"iiii"}, mono)).low[0], ExtentOf(Make({U"WWWW"}, mono)).low[0], 0.3);
    trelTextLayout serif;
    serif.major = trelTextJustify::End;
    EXPECT_GT(ExtentOf(Make({U"iiii"}, serif)).low[0] - ExtentOf(Make({U"WWWW"}, serif)).low[0], 1.0);
    const trelTextMesh empty = Make({U"", U" "});
    EXPECT_TRUE(empty.triangles.empty());
}

TEST(Utf8, DecodesValidTextAndRefusesTheRest) {
    std::u32string text;
    EXPECT_TRUE(trelDecodeUtf8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", text));
    EXPECT_EQ(text, std::u32string(U"A\u00E9\u20AC\U0001F600"));
    for (const char* bad : {"\xC3", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF"}) {
        text = U"kept";
        EXPECT_FALSE(trelDecodeUtf8(bad, text)) << bad;
        EXPECT_EQ(text, U"kept");
    }
}

} // namespace
