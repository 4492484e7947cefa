// The shared export step: the group tree, indexed triangles, lines, points,
// materials and units that every exporter starts from.

#include "export/ExportScene.h"
#include "WorldTestSupport.h"
#include "inspect/LoadReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

// How far a tessellation with this many segments may stay inside the true
// shape, as a fraction of its size.
double TessellationTolerance(int segments) { return 2.0 * (1.0 - std::cos(3.14159265358979 / segments)) + 1e-5; }

MATCHER_P4(NearWithin, x, y, z, slack, "") {
    return std::fabs(arg.x - x) <= slack && std::fabs(arg.y - y) <= slack && std::fabs(arg.z - z) <= slack;
}

void ExpectBoxesMatch(const trelBBox& exported, const trelBBox& expected, double tolerance, const std::string& what) {
    ASSERT_EQ(exported.IsEmpty(), expected.IsEmpty()) << what;
    if (expected.IsEmpty())
        return;
    const double slack = tolerance * std::max(1e-30, static_cast<double>(expected.GetLargestDimension()));
    EXPECT_THAT(exported.GetMin(), NearWithin(expected.GetMin().x, expected.GetMin().y, expected.GetMin().z, slack))
        << what;
    EXPECT_THAT(exported.GetMax(), NearWithin(expected.GetMax().x, expected.GetMax().y, expected.GetMax().z, slack))
        << what;
}

TEST(ExportScene, KeepsTheGroupTreeNamesObjectPlacesAndMaterials) {
    auto world = HandBuiltWorld();
    const ExportScene scene = BuildExportScene(*world, ExportOptions());

    std::vector<std::tuple<std::string, int, int>> groups; // name, parent, depth
    for (const ExportGroup& group : scene.groups)
        groups.emplace_back(group.name, group.parent, group.depth);
    EXPECT_EQ(groups, (std::vector<std::tuple<std::string, int, int>>{
                          {"", -1, 0}, {"Body", 0, 1}, {"", 1, 2}, {"Empty", 0, 1}, {"", 0, 1}}));
    EXPECT_EQ(scene.groups[0].groups, (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(scene.groups[1].groups, (std::vector<int>{2}));

    // Objects with their names, types, groups and distinct materials, shared
    // in order of first use (the dot reuses the crate's red).
    std::vector<std::tuple<std::string, trelObjectTypes, int, int>> objects;
    for (const ExportObject& object : scene.objects)
        objects.emplace_back(object.name, object.type, object.group, object.material);
    EXPECT_EQ(
        objects,
        (std::vector<std::tuple<std::string, trelObjectTypes, int, int>>{
            {"Crate", TREL_BOX, 0, 0}, {"Ball", TREL_SPHERE, 1, 1}, {"", TREL_POLYLINE, 2, 2}, {"", TREL_DOT, 2, 0}}));
    ASSERT_EQ(scene.materials.size(), 3u);
    EXPECT_EQ(scene.materials[1].GetDiffuse().GetAlpha(), 0.5f);
}

TEST(ExportScene, TrianglesShareVerticesAndKeepUnitNormalsAndProgressRisesToAHundred) {
    auto world = HandBuiltWorld();
    ExportOptions options;
    options.tessellation.segments = 16;
    std::vector<int> seen;
    const ExportScene scene = BuildExportScene(*world, options, [&](int percent) { seen.push_back(percent); });
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(seen.back(), 100);

    for (const ExportObject& object : scene.objects) {
        ASSERT_EQ(object.positions.size(), object.normals.size());
        for (uint32_t index : object.triangles)
            ASSERT_LT(index, object.positions.size());
        for (const trelVector& n : object.normals)
            EXPECT_NEAR(n.Length(), 1.0, 1e-6);
    }
    // A box: 12 triangles over 24 corners (each face has its own normal).
    EXPECT_EQ(scene.objects[0].GetTriangleCount(), 12u);
    EXPECT_EQ(scene.objects[0].positions.size(), 24u);
    trelTessellation all;
    world->Tessellate(all, options.tessellation);
    EXPECT_EQ(scene.GetTriangleCount(), all.GetTriangleCount());
    EXPECT_LT(scene.objects[1].positions.size(), 3 * scene.objects[1].GetTriangleCount() / 2);
    EXPECT_EQ(scene.GetLineStripCount(), 1u);
    EXPECT_EQ(scene.objects[2].lineStrips[0].size(), 3u);
    EXPECT_EQ(scene.GetPointCount(), 1u);
}

TEST(ExportScene, ALargeFaceSetSharesVerticesAcrossThePartsOfItsTessellation) {
    // A flat grid of quads, large enough to come in several parts, with a
    // face that is only a line after every 1000 quads.
    const int rows = 100, columns = 120;
    trelFloatPointArray points;
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c)
            points.Append(trelFloatPoint(0.5f * c, 0.25f * r, 0.0f));
    trelIntArray indices;
    const auto at = [&](int r, int c) { return r * (columns + 1) + c; };
    int lines = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            for (int i : {4, at(r, c), at(r, c + 1), at(r + 1, c + 1), at(r + 1, c)})
                indices.Append(i);
            if ((r * columns + c) % 1000 == 999) {
                for (int i : {2, at(r, 0), at(r + 1, columns)})
                    indices.Append(i);
                ++lines;
            }
        }
    }
    auto* grid = new C3DPolyface;
    grid->SetPoints(points, indices);
    C3DWorld world;
    world.AddObject(grid, Material(Red), true);
    // One thread numbers the parts as they come; with two, another makes them.
    std::vector<ExportScene> scenes;
    for (int threads : {1, 2}) {
        ExportOptions options;
        options.threads = threads;
        scenes.push_back(BuildExportScene(world, options));
        const ExportObject& object = scenes.back().objects[0];
        EXPECT_EQ(object.GetTriangleCount(), size_t(2 * rows * columns));
        EXPECT_EQ(object.positions.size(), points.Items().size()); // one normal throughout: each point once
        EXPECT_EQ(object.lineStrips.size(), size_t(lines));
        for (const auto& strip : object.lineStrips)
            EXPECT_EQ(strip.size(), 3u); // closed: back to its start
        EXPECT_TRUE(object.points.empty());
    }
    EXPECT_EQ(scenes[0].objects[0].triangles, scenes[1].objects[0].triangles);
    EXPECT_EQ(scenes[0].objects[0].positions, scenes[1].objects[0].positions);
}

TEST(ExportScene, UnitsUndoTheLoadersScale) {
    const std::vector<std::pair<int, double>> units = {{4, 1.0}, {3, 0.01}, {2, 0.001}, {1, 1e-6}, {0, 1.0}};
    for (const auto& [imageUnits, factor] : units)
        EXPECT_DOUBLE_EQ(UnitScaleToFile(imageUnits), factor) << imageUnits;
    // That the scale reaches the coordinates is checked by the convert test of
    // units and by the corpus bounds below.
}

TEST(ExportScene, BoundsFollowTheWorldsBoxAtEveryResolution) {
    for (int segments : {8, 200}) {
        auto world = HandBuiltWorld();
        // Turned about a slanted axis, so that no tessellation vertex sits on the box by luck.
        world->ApplyMatrixToGeometry(CreateRotationMatrixForNormalAngle(trelVector(1, 2, 3), 0.7), true);
        world->RecursiveUpdateBBox();
        ExportOptions options;
        options.tessellation.segments = segments;
        const ExportScene scene = BuildExportScene(*world, options);
        ExpectBoxesMatch(scene.GetBounds(), world->GetBBox(), TessellationTolerance(segments),
                         std::to_string(segments) + " segments");
    }
}

TEST(ExportScene, NamesBecomeValidUtf8) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "plain"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},               // UTF-8 stays
        {"caf\xe9", "caf\xc3\xa9"},                   // Latin-1 é becomes UTF-8
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"}, // a surrogate is no UTF-8
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},             // nor an overlong form
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"\xe2\x82", "\xc3\xa2\xc2\x82"}, // cut short
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ToValidUtf8(in), out) << in;
}

// For every file of the corpus that loads, the exported geometry has the
// loaded world's box, brought back to the file's unit. The default
// tessellation is what users get; finer ones are checked above.
TEST(ExportScene, CorpusBoundsMatchTheLoadedWorlds) {
    const fs::path corpus(VRML_CORPUS_DIR);
    std::error_code error;
    if (!fs::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus at " << corpus;
    size_t compared = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || extension == ".md" || extension == ".tsv")
            continue;
        LoadedScene loaded = LoadScene(entry.path().string());
        if (loaded.result != 0)
            continue;
        ExportOptions options;
        options.frame.scale = UnitScaleToFile(loaded.imageUnits);
        const ExportScene scene = BuildExportScene(*loaded.world, options);
        loaded.world->RecursiveUpdateBBox();
        trelBBox expected;
        if (!loaded.world->GetBBox().IsEmpty()) {
            const trelFloatPoint& lo = loaded.world->GetBBox().GetMin();
            const trelFloatPoint& hi = loaded.world->GetBBox().GetMax();
            const float s = static_cast<float>(options.frame.scale);
            expected.AddPoint({lo.x * s, lo.y * s, lo.z * s});
            expected.AddPoint({hi.x * s, hi.y * s, hi.z * s});
        }
        ExpectBoxesMatch(scene.GetBounds(), expected, TessellationTolerance(options.tessellation.segments),
                         entry.path().string());
        ++compared;
    }
    EXPECT_GT(compared, 100u);
}

} // namespace
