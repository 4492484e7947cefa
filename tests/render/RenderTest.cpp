// vrml render: pictures checked pixel by pixel against what the scene and
// the camera say they must hold.

#include "render/Render.h"
#include "TestScene.h"
#include "WorldTestSupport.h"
#include "export/ExportScene.h"

#include <stb_image.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>

using namespace vrml;

namespace {

using Rgb = std::array<int, 3>;

const trelChroma Black(0.0f, 0.0f, 0.0f);

// A scene drawn, with where its file's points went: the loader scales small worlds up.
struct Drawn : RenderResult {
    float scale = 1.0f;
    trelBBox bounds;
    trelMaterial material; // of the first object
};

Drawn Draw(const std::string& scene, RenderView view = RenderView::Front) {
    LoadedText loaded = LoadText(scene);
    EXPECT_EQ(loaded.result, 0);
    RenderOptions options;
    options.width = 160;
    options.height = 120;
    options.view = view;
    options.background = Black;
    Drawn drawn;
    static_cast<RenderResult&>(drawn) = RenderWorld(*loaded.world, options);
    drawn.scale = static_cast<float>(1.0 / UnitScaleToFile(loaded.parser->GetImageUnits()));
    drawn.bounds = FiniteBounds(*loaded.world, options.segments);
    if (loaded.world->GetNumObjects() > 0)
        drawn.material = loaded.world->GetObjectMatProps(0).front;
    return drawn;
}

Rgb At(const RenderedPicture& picture, int x, int y) {
    const unsigned char* p = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
    return {p[0], p[1], p[2]};
}

// The pixel a point of the file lands on.
std::array<int, 2> PixelOf(const Drawn& drawn, const trelFloatPoint& p) {
    const CameraPoint c = drawn.camera.ToCamera({p.x * drawn.scale, p.y * drawn.scale, p.z * drawn.scale});
    return {static_cast<int>(drawn.camera.ScreenX(c)), static_cast<int>(drawn.camera.ScreenY(c))};
}

// A surface square on to the camera: ambient + light × diffuse, as bytes.
Rgb Lit(const trelChroma& diffuse, const trelChroma& ambient) {
    const auto byte = [](float ambient, float diffuse) {
        return static_cast<int>(std::lround(std::min(1.0f, ambient + diffuse * HeadlightDirection[2]) * 255.0f));
    };
    return {byte(ambient.red, diffuse.red), byte(ambient.green, diffuse.green), byte(ambient.blue, diffuse.blue)};
}

// The same where a colour of the file stands in for the material's diffuse one.
Rgb Lit(const trelChroma& colour) {
    return Lit(colour, trelChroma(colour.red * AmbientShare, colour.green * AmbientShare, colour.blue * AmbientShare));
}

void ExpectNear(const Rgb& actual, const Rgb& expected, int tolerance = 1) {
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << "channel " << k;
}

size_t CountNot(const RenderedPicture& picture, const Rgb& background) {
    size_t count = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            count += At(picture, x, y) != background;
    return count;
}

// The area of the convex hull of points (monotone chain).
double HullArea(std::vector<std::array<double, 2>> points) {
    std::sort(points.begin(), points.end());
    const auto cross = [](const auto& o, const auto& a, const auto& b) {
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
    };
    std::vector<std::array<double, 2>> hull(2 * points.size());
    size_t k = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        while (k >= 2 && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    for (size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0)
            --k;
        hull[k++] = points[i];
    }
    double area = 0.0;
    for (size_t i = 0; i + 1 < k; ++i)
        area += hull[i][0] * hull[i + 1][1] - hull[i + 1][0] * hull[i][1];
    return std::fabs(area) / 2.0;
}

const std::string Cube = std::string(V2) + "Shape { appearance Appearance { material Material { diffuseColor 0.2 0.4 "
                                           "0.6 } } geometry Box { size 1 1 1 } }\n";

TEST(RenderTest, UnitCubeFillsItsExactSilhouetteInTheMiddleOfThePicture) {
    for (RenderView view : {RenderView::Front, RenderView::Iso, RenderView::Top, RenderView::Left}) {
        SCOPED_TRACE(static_cast<int>(view));
        const Drawn result = Draw(Cube, view);
        const RenderedPicture& picture = result.picture;
        ASSERT_EQ(result.triangles, 12u);
        for (const auto& [x, y] : {std::array<int, 2>{0, 0}, {159, 0}, {0, 119}, {159, 119}})
            EXPECT_EQ(At(picture, x, y), (Rgb{0, 0, 0}));
        std::vector<std::array<double, 2>> corners;
        const trelFloatPoint &low = result.bounds.GetMin(), &high = result.bounds.GetMax();
        for (int c = 0; c < 8; ++c) {
            const CameraPoint p =
                result.camera.ToCamera({c & 1 ? high.x : low.x, c & 2 ? high.y : low.y, c & 4 ? high.z : low.z});
            corners.push_back({result.camera.ScreenX(p), result.camera.ScreenY(p)});
        }
        const double exact = HullArea(corners);
        EXPECT_NEAR(static_cast<double>(CountNot(picture, {0, 0, 0})), exact, 0.02 * exact);
        // Fitted: the silhouette nearly spans the picture's height.
        double top = 1e9, bottom = -1e9;
        for (const auto& corner : corners) {
            top = std::min(top, corner[1]);
            bottom = std::max(bottom, corner[1]);
        }
        EXPECT_GT(bottom - top, 0.85 * picture.height);
        EXPECT_LT(bottom - top, picture.height);
        EXPECT_NE(At(picture, 80, 60), (Rgb{0, 0, 0}));
    }
    // Seen square on, the face towards the camera is lit by the headlight and its ambient colour.
    const Drawn front = Draw(Cube);
    ExpectNear(At(front.picture, 80, 60), Lit(trelChroma(0.2f, 0.4f, 0.6f), front.material.GetAmbient()));
}

TEST(RenderTest, TexturedSquareShowsItsPixelsWhereItsCoordinatesPutThem) {
    // A 2 x 2 picture: red, green along the bottom row, blue, white on top.
    // The square's right half has s from 1 to 2: repeated, it shows the
    // picture again; clamped, the picture's right column stretched.
    struct Row {
        const char* repeatS;
        trelFloatPoint point; // on the square, from (0, 0) to (2, 1)
        Rgb texel;
    };
    const Row rows[] = {
        {"TRUE", {0.25f, 0.25f, 0}, {255, 0, 0}},  {"TRUE", {0.75f, 0.25f, 0}, {0, 255, 0}},
        {"TRUE", {0.25f, 0.75f, 0}, {0, 0, 255}},  {"TRUE", {0.75f, 0.75f, 0}, {255, 255, 255}},
        {"TRUE", {1.25f, 0.25f, 0}, {255, 0, 0}},  {"TRUE", {1.75f, 0.75f, 0}, {255, 255, 255}},
        {"FALSE", {1.25f, 0.25f, 0}, {0, 255, 0}}, {"FALSE", {1.75f, 0.75f, 0}, {255, 255, 255}},
        {"FALSE", {0.25f, 0.75f, 0}, {0, 0, 255}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.repeatS) + " at " + std::to_string(row.point.x) + " " +
                     std::to_string(row.point.y));
        const Drawn result = Draw(std::string(V2) +
                                  "Shape { appearance Appearance { material Material {} texture PixelTexture "
                                  "{ image 2 2 3 0xFF0000 0x00FF00 0x0000FF 0xFFFFFF repeatS " +
                                  row.repeatS +
                                  " } }\n geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 2 0 0, "
                                  "2 1 0, 0 1 0] } texCoord TextureCoordinate { point [0 0, 2 0, 2 1, 0 1] }"
                                  " coordIndex [0 1 2 3 -1] } }\n");
        const auto [x, y] = PixelOf(result, row.point);
        ExpectNear(At(result.picture, x, y),
                   Lit(trelChroma(row.texel[0] / 255.0f, row.texel[1] / 255.0f, row.texel[2] / 255.0f)),
                   4); // the pixel's centre is a little off the texel's
    }
}

TEST(RenderTest, EachFaceShowsItsOwnColour) {
    const Drawn result =
        Draw(std::string(V2) + "Shape { appearance Appearance { material Material { diffuseColor 1 1 1 } }\n"
                               " geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 1 1 0, 0 1 "
                               "0, 2 0 0, 2 1 0] }\n color Color { color [0.8 0.1 0.1, 0.1 0.3 0.8] } "
                               "colorPerVertex FALSE coordIndex [0 1 2 3 -1, 1 4 5 2 -1] } }\n");
    const struct {
        trelFloatPoint point;
        Rgb expected;
    } faces[] = {{{0.5f, 0.5f, 0}, Lit(trelChroma(0.8f, 0.1f, 0.1f))},
                 {{1.5f, 0.5f, 0}, Lit(trelChroma(0.1f, 0.3f, 0.8f))}};
    for (const auto& face : faces) {
        const auto [x, y] = PixelOf(result, face.point);
        ExpectNear(At(result.picture, x, y), face.expected);
    }
}

TEST(RenderTest, TransparentObjectsBlendFarthestFirstWhateverTheirOrderInTheFile) {
    const auto square = [](const char* z, const char* emissive) {
        return std::string("Separator { Material { ambientColor 0 0 0 diffuseColor 0 0 0 transparency 0.5 "
                           "emissiveColor ") +
               emissive + " }\n Coordinate3 { point [-1 -1 " + z + ", 1 -1 " + z + ", 1 1 " + z + ", -1 1 " + z +
               "] }\n IndexedFaceSet { coordIndex [0, 1, 2, 3, -1] } }\n";
    };
    const std::string farGreen = square("-1", "0 1 0"), nearBlue = square("0", "0 0 1");
    for (const std::string& scene : {farGreen + nearBlue, nearBlue + farGreen}) {
        const Drawn drawn = Draw(std::string(V1) + scene);
        // Unlit from the side: emission and ambient. Over black, green at
        // half, then blue at half over that.
        const float a = drawn.material.GetAmbient().red;
        const auto byte = [](float value) { return static_cast<int>(std::lround(value * 255.0f)); };
        const Rgb expected{byte(0.25f * a + 0.5f * a), byte(0.25f + 0.5f * a), byte(0.25f * a + 0.5f)};
        ExpectNear(At(drawn.picture, 80, 60), expected);
    }
}

TEST(RenderTest, LinesAreOnePixelWide) {
    const Drawn result =
        Draw(std::string(V2) + "Shape { appearance Appearance { material Material { emissiveColor 1 1 0 } }\n"
                               " geometry IndexedLineSet { coord Coordinate { point [-1 0 0, 1 0 0, 1 0.5 0] } "
                               "coordIndex [0 1 -1] } }\n");
    const int left = PixelOf(result, {-0.9f, 0, 0})[0], right = PixelOf(result, {0.9f, 0, 0})[0];
    for (int x = left; x <= right; ++x) {
        int lit = 0;
        for (int row = 0; row < result.picture.height; ++row)
            lit += At(result.picture, x, row) == Rgb{255, 255, 0};
        EXPECT_EQ(lit, 1) << "column " << x;
    }
}

TEST(RenderTest, WhatIsNotFiniteIsLeftOutAndTheRestDrawnAsWithoutIt) {
    using namespace test_worlds;
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    RenderOptions options;
    options.background = Black;
    C3DWorld alone, mixed;
    for (C3DWorld* world : {&alone, &mixed})
        world->AddObject(MakeBox({-1, -1, -1}, {1, 1, 1}), Material(Red), true);
    // Their finite points lie inside the box, so that the camera must not move.
    mixed.AddObject(MakeDot({inf, 0, 0}), Material(Red), true);
    auto* line = new C3DPolyline;
    line->SetPolyline(ArrayOf<trelFloatPoint>({{0, 0, 0}, {nan, 1, 1}}), 0);
    mixed.AddObject(line, Material(Red), true);
    auto* face = new C3DPolyface;
    face->SetPoints(ArrayOf<trelFloatPoint>({{0, 0, 0}, {-inf, 0, 0}, {0, 0.5f, 0}}), ArrayOf({3, 0, 1, 2}));
    mixed.AddObject(face, Material(Red), true);
    const RenderResult drawnAlone = RenderWorld(alone, options), drawnMixed = RenderWorld(mixed, options);
    EXPECT_EQ(drawnMixed.triangles, drawnAlone.triangles);
    EXPECT_EQ(drawnMixed.points, 0u);
    EXPECT_EQ(drawnMixed.picture.rgba, drawnAlone.picture.rgba);
    EXPECT_FALSE(drawnMixed.IsEmpty());
}

TEST(RenderTest, PartsBehindTheEyeAreCutAtTheNearPlane) {
    // A triangle reaching from in front of the eye to behind it: without the
    // cut its far corner would land mirrored on the picture. What is drawn is
    // exactly where a ray from the eye meets the triangle in front of the near plane.
    RenderCamera camera;
    camera.focal = 50.0;
    camera.centreX = 50.0;
    camera.centreY = 50.0;
    camera.nearDepth = 1.0f;
    camera.forward[2] = 1.0; // the camera's axes are the world's
    Rasterizer raster(camera, 100, 100, Black);
    RasterVertex v[3];
    const CameraPoint corners[3] = {{-2.0f, -1.0f, 4.0f}, {2.0f, -1.0f, 4.0f}, {0.0f, 3.0f, -4.0f}};
    for (int k = 0; k < 3; ++k) {
        v[k].position = corners[k];
        v[k].add[0] = 1.0f;
    }
    raster.DrawTriangle(v[0], v[1], v[2], nullptr, Blending::Opaque);
    int wrong = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            // The ray (dx, dy, 1) meets the plane of the triangle (which
            // holds the x axis direction) where y / z falls on the line
            // through (y -1, z 4) and (y 3, z -4): y = 1 - z / 2 ... solved for z.
            const double dx = (x + 0.5 - 50.0) / 50.0, dy = (50.0 - y - 0.5) / 50.0;
            const double z = 1.0 / (dy + 0.5);              // y = dy z meets y = 1 - z / 2
            const double halfWidth = 2.0 * (z + 4.0) / 8.0; // the triangle's half-width at depth z
            const bool inside = dy > -0.5 && z >= 1.0 && z <= 4.0 && std::fabs(dx * z) <= halfWidth;
            const bool near = std::fabs(std::fabs(dx * z) - halfWidth) < 0.05 || std::fabs(z - 1.0) < 0.05 ||
                              std::fabs(z - 4.0) < 0.05;
            const bool drawn = raster.GetPicture().rgba[(y * 100 + x) * 4] == 255;
            wrong += drawn != inside && !near;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(RenderTest, SizesAndBackgroundsAreReadOrRefusedWithTheReason) {
    const struct {
        const char* text;
        int width, height; // 0: refused
        const char* reason;
    } sizes[] = {{"800x600", 800, 600, ""},      {"8192x8192", 8192, 8192, ""},  {"1X1", 1, 1, ""},
                 {"8193x10", 0, 0, "too large"}, {"10x9000", 0, 0, "too large"}, {"0x10", 0, 0, "not WIDTHxHEIGHT"},
                 {"10x", 0, 0, "not"},           {"-5x5", 0, 0, "not"},          {"4x4x4", 0, 0, "not"},
                 {"99999999999x1", 0, 0, "not"}};
    for (const auto& row : sizes) {
        int width = 0, height = 0;
        const std::string refused = ParseRenderSize(row.text, width, height);
        EXPECT_EQ(refused.find(row.reason) != std::string::npos, true) << row.text << ": " << refused;
        EXPECT_EQ(refused.empty(), row.width > 0) << row.text;
        if (refused.empty()) {
            EXPECT_EQ(width * 100000 + height, row.width * 100000 + row.height) << row.text;
        }
    }
    const struct {
        const char* text;
        bool read;
        trelChroma colour;
    } backgrounds[] = {{"#ff8000", true, {1.0f, 128 / 255.0f, 0.0f}},
                       {"0.5,0.25,1", true, {0.5f, 0.25f, 1.0f}},
                       {" 0 , 1 , 0", true, {0.0f, 1.0f, 0.0f}},
                       {"transparent", true, {0, 0, 0, 0}},
                       {"#ff80", false, {}},
                       {"1.5,0,0", false, {}},
                       {"0,0", false, {}},
                       {"red", false, {}},
                       {"0,0,0,", false, {}}};
    for (const auto& row : backgrounds) {
        trelChroma colour(0.3f, 0.3f, 0.3f, 0.3f);
        EXPECT_EQ(ParseBackground(row.text, colour).empty(), row.read) << row.text;
        if (row.read) {
            EXPECT_EQ(colour, row.colour) << row.text;
        }
    }
}

} // namespace

namespace {

// 138 unit cubes in one place, from nested uses.
const std::string StackedCubes = std::string(V1) + "Separator { DEF A Separator { Cube { } Cube { } } "
                                                   "DEF B Separator { USE A USE A USE A USE A } "
                                                   "DEF C Separator { USE B USE B USE B USE B } USE C USE C USE C }";

TEST(RenderTest, BudgetsBoundTheWorkOfAPicture) {
    LoadedText loaded = LoadText(StackedCubes);
    ASSERT_EQ(loaded.world->GetTotalObjectCount(), 2 + 8 + 32 + 3 * 32);
    RenderOptions options;
    options.width = 40;
    options.height = 30;
    options.maxPixelWork = 0;
    const RenderResult whole = RenderWorld(*loaded.world, options);
    EXPECT_EQ(whole.objectsLeftOut, 0u);

    // Past a few pictures' worth of pixels the cubes left are not drawn;
    // being where the first ones are, they would not have shown.
    options.maxPixelWork = 4;
    const RenderResult cut = RenderWorld(*loaded.world, options);
    EXPECT_GT(cut.objectsLeftOut, 100u);
    EXPECT_LT(cut.triangles, whole.triangles);
    EXPECT_EQ(cut.picture.rgba, whole.picture.rgba);

    // Over the triangle budget nothing is drawn, and the count says why.
    options.maxTriangles = 138 * 12 - 1;
    const RenderResult refused = RenderWorld(*loaded.world, options);
    EXPECT_TRUE(refused.IsOverBudget());
    EXPECT_EQ(refused.countedTriangles, 138u * 12);
    EXPECT_TRUE(refused.picture.rgba.empty());
    options.maxTriangles = 138 * 12;
    EXPECT_FALSE(RenderWorld(*loaded.world, options).IsOverBudget());
}

} // namespace
