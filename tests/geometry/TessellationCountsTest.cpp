// CountTessellation tells exactly what Tessellate writes, without writing it:
// on objects built to hit every way a triangle is dropped or a face traced,
// and on every object of the sample scenes and of the corpus.

#include "host/GeometryTestSupport.h"
#include "parser/VRMLParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace geometry_test;
namespace fs = std::filesystem;

namespace {

std::vector<trelTessellationOptions> OptionVariants() {
    trelTessellationOptions plain, fine;
    fine.segments = 7;
    fine.attributes = true;
    return {plain, fine};
}

// Returns whether they agreed, so that a sweep can stop at the first object
// that does not.
bool ExpectCountsMatch(const trelBaseObject& object, const std::string& what) {
    for (const trelTessellationOptions& options : OptionVariants()) {
        trelTessellation written;
        object.Tessellate(written, options);
        const trelTessellationCounts expected = written.GetCounts(), counted = object.CountTessellation(options);
        if (counted == expected)
            continue;
        ADD_FAILURE() << what << " (segments " << options.segments << ", attributes " << options.attributes
                      << "): counted " << counted.triangles << " triangles, " << counted.lineStrips << " strips of "
                      << counted.linePoints << " points, " << counted.points << " points; written "
                      << expected.triangles << ", " << expected.lineStrips << " of " << expected.linePoints << ", "
                      << expected.points;
        return false;
    }
    return true;
}

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

trelFloatPointArray PointsOf(const std::vector<trelFloatPoint>& list) {
    trelFloatPointArray points;
    for (const trelFloatPoint& p : list)
        points.Append(p);
    return points;
}

std::unique_ptr<trelBaseObject> Polyline(const std::vector<trelFloatPoint>& list, int closed, bool filled) {
    auto line = filled ? std::make_unique<C3DPolygon>() : std::make_unique<C3DPolyline>();
    line->SetPolyline(PointsOf(list), closed);
    return line;
}

std::unique_ptr<trelBaseObject> Grid(const std::vector<trelFloatPoint>& list, int rows, int columns, int closedRows,
                                     int closedColumns) {
    auto mesh = std::make_unique<C3DPolyMesh>();
    mesh->SetPoints(PointsOf(list), rows, columns, closedRows, closedColumns);
    return mesh;
}

std::unique_ptr<trelBaseObject> BoxOf(float width, float height, float depth, float shift = 0.0f) {
    const trelFloatPoint corners[8] = {
        {0, 0, 0},     {width, 0, 0},     {width, height, 0},     {shift, height, 0},
        {0, 0, depth}, {width, 0, depth}, {width, height, depth}, {shift, height, depth}};
    auto box = std::make_unique<trelBox>();
    box->SetBox(corners);
    return box;
}

// Curved solids count from their parts when no triangle can lose its area,
// and from their tessellation otherwise: both must agree at the border.
std::unique_ptr<trelBaseObject> Sphere(double radius, double latitudeStart, double latitudeEnd, double longitudeEnd,
                                       const trelFloatPoint& scale) {
    auto sphere = std::make_unique<trelSphere>();
    sphere->SetSphere({1, 2, 3}, {1, 0, 0}, {0, 0, 1}, radius, 0.0, longitudeEnd, latitudeStart, latitudeEnd);
    sphere->SetXformation(GetScaleMatrix(scale));
    return sphere;
}

std::unique_ptr<trelBaseObject> Frustum(double height, double bottom, double top, const trelFloatPoint& scale,
                                        double sweep = 6.283185307179586) {
    auto cylinder = std::make_unique<trelCylinder>();
    cylinder->SetCylinder(height, bottom, bottom != 0.0 ? top / bottom : 0.0, {1, 0, 0}, 0.0, sweep);
    cylinder->SetXformation(GetScaleMatrix(scale));
    return cylinder;
}

std::unique_ptr<trelBaseObject> Disk(double inner, double outer, const trelFloatPoint& scale, bool filled = true) {
    auto disk = std::make_unique<trelDisk>();
    disk->SetDisk(inner, outer, GetScaleMatrix(scale) * GetDisplacementMatrix({500, -3, 7}), filled);
    return disk;
}

TEST(TessellationCounts, CurvedSolidsEqualWhatTessellateWrites) {
    const double pi = 3.141592653589793;
    const trelFloatPoint unit{1, 1, 1}, flat{1, 1, 0}, thin{1, 1e-3f, 1}, thinner{1, 1e-5f, 1};
    const struct {
        const char* what;
        std::function<std::unique_ptr<trelBaseObject>()> make;
    } cases[] = {
        {"sphere", [&] { return Sphere(1, 0, pi, 2 * pi, unit); }},
        {"part of a sphere", [&] { return Sphere(2, 0.3, 2.0, 1.0, unit); }},
        {"sphere cut a hair off its pole", [&] { return Sphere(1, 1e-6, pi, 2 * pi, unit); }},
        {"sphere of a tiny sweep", [&] { return Sphere(1, 0, pi, 1e-6, unit); }},
        {"tiny sphere", [&] { return Sphere(1e-30, 0, pi, 2 * pi, unit); }},
        {"huge sphere", [&] { return Sphere(1e30, 0, pi, 2 * pi, unit); }},
        {"sphere squashed flat", [&] { return Sphere(1, 0, pi, 2 * pi, flat); }},
        {"sphere squashed thin", [&] { return Sphere(1, 0, pi, 2 * pi, thin); }},
        {"sphere squashed thinner", [&] { return Sphere(1, 0, pi, 2 * pi, thinner); }},
        {"cylinder", [&] { return Frustum(2, 1, 1, unit); }},
        {"cone", [&] { return Frustum(2, 1, 0, unit); }},
        {"frustum with a hair of a top", [&] { return Frustum(2, 1, 1e-7, unit); }},
        {"flat ring", [&] { return Frustum(0, 2, 1, unit); }},
        {"flat cylinder", [&] { return Frustum(0, 1, 1, unit); }},
        {"cylinder of a tiny sweep", [&] { return Frustum(2, 1, 1, unit, 1e-7); }},
        {"cylinder squashed flat", [&] { return Frustum(2, 1, 1, flat); }},
        {"cylinder squashed thin", [&] { return Frustum(2, 1, 1, thin); }},
        {"upside-down cone", [&] { return Frustum(-2, 1, 0, unit); }},
        {"disk", [&] { return Disk(0, 1, unit); }},
        {"ring", [&] { return Disk(-0.5, 1, unit); }},
        {"ring of a hair", [&] { return Disk(1, 1 + 1e-7, unit); }},
        {"ring round a pinhole", [&] { return Disk(1e-9, 1, unit); }},
        {"tiny disk far out", [&] { return Disk(0, 1e-5, unit); }},
        {"disk squashed to a line", [&] { return Disk(0, 1, flat); }},
        {"disk squashed thin", [&] { return Disk(0, 1, thinner); }},
        {"disk without area", [&] { return Disk(1, 1, unit); }},
        {"disk of no size", [&] { return Disk(0, NaN, unit); }},
        {"circles", [&] { return Disk(0.5, 1, unit, false); }},
        {"circle", [&] { return Disk(0, 1, unit, false); }},
    };
    for (const auto& c : cases)
        ExpectCountsMatch(*c.make(), c.what);
}

TEST(TessellationCounts, EqualWhatTessellateWritesOnEdgeCases) {
    const std::vector<trelFloatPoint> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<trelFloatPoint> straight = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    const struct {
        const char* what;
        std::function<std::unique_ptr<trelBaseObject>()> make;
    } cases[] = {
        {"empty polyline", [] { return Polyline({}, 0, false); }},
        {"polyline of one point",
         [] {
             return Polyline({{1, 2, 3}}, 1, false);
         }},
        {"closed polyline", [&] { return Polyline(square, 1, false); }},
        {"open polyline", [&] { return Polyline(square, 0, false); }},
        {"polygon", [&] { return Polyline(square, 0, true); }},
        {"polygon without area", [&] { return Polyline(straight, 1, true); }},
        {"polygon with a NaN corner",
         [] {
             return Polyline({{0, 0, 0}, {NaN, 0, 0}, {1, 1, 0}}, 1, true);
         }},
        {"polygon of one point",
         [] {
             return Polyline({{0, 0, 0}, {0, 0, 0}}, 1, true);
         }},
        {"box", [] { return BoxOf(1, 2, 3); }},
        {"flat box", [] { return BoxOf(1, 0, 3); }},
        {"box squashed to a line", [] { return BoxOf(1, 0, 0); }},
        {"skewed box", [] { return BoxOf(1, 2, 3, 1.0f); }},
        // Mirrored, so that every face is turned over, flat or folded onto itself.
        {"mirrored box", [] { return BoxOf(-1, 2, 3); }},
        {"mirrored flat box", [] { return BoxOf(-1, 0, 3, 0.5f); }},
        {"box folded by its skew", [] { return BoxOf(1, 2, 3, 2.5f); }},
        {"box with a NaN size", [] { return BoxOf(NaN, 1, 1); }},
        {"grid", [&] { return Grid(square, 2, 2, 0, 0); }},
        {"grid of one line", [&] { return Grid(straight, 1, 3, 0, 0); }},
        {"grid wrapped both ways",
         [] {
             std::vector<trelFloatPoint> ring;
             for (int r = 0; r < 3; ++r)
                 for (int c = 0; c < 4; ++c)
                     ring.push_back({static_cast<float>(c), static_cast<float>(r * r), static_cast<float>(c % 2)});
             return Grid(ring, 3, 4, 1, 1);
         }},
        {"grid with a NaN point",
         [] {
             return Grid({{0, 0, 0}, {1, 0, 0}, {NaN, 1, 0}, {0, 1, 0}}, 2, 2, 0, 0);
         }},
        {"grid announced larger than its points", [&] { return Grid(square, 5, 2, 1, 0); }},
    };
    for (const auto& c : cases)
        ExpectCountsMatch(*c.make(), c.what);
}

TEST(TessellationCounts, EqualWhatTessellateWritesOnScrambledFaces) {
    for (uint32_t seed = 1; seed <= 3000; ++seed) {
        ScrambledFaces faces(seed);
        trelFloatPointArray points;
        trelIntArray merged;
        faces.Make(points, merged);
        C3DPolyface polyface;
        polyface.SetPoints(points, merged);
        if (!ExpectCountsMatch(polyface, "scrambled faces, seed " + std::to_string(seed)))
            return;
    }
}

// Boxes whose corners take values that lose area or overflow: tiny and huge
// sides, infinities and NaN, where the count leaves out the corner checks.
TEST(TessellationCounts, EqualWhatTessellateWritesOnBoxesOfExtremeCorners) {
    constexpr float Infinity = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, -0.0f, 1.0f, -2.5f, 1e-30f, -1e-38f, 3e38f, -3e38f, Infinity, -Infinity, NaN};
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> pick(0, std::size(values) - 1);
    std::uniform_int_distribution<int> special(0, 3);
    for (int round = 0; round < 20000; ++round) {
        trelFloatPoint corners[8];
        for (trelFloatPoint& corner : corners) {
            // Mostly an ordinary box, with a few coordinates replaced.
            for (float* coordinate : {&corner.x, &corner.y, &corner.z})
                *coordinate = special(random) == 0 ? values[pick(random)] : static_cast<float>(random() % 5);
        }
        trelBox box;
        box.SetBox(corners);
        if (!ExpectCountsMatch(box, "box of round " + std::to_string(round)))
            return;
    }
}

// Quads near the limits of the count's shortcut for clearly convex quads:
// corners pushed towards their neighbours' line by tiny amounts, folded,
// turned back, doubled or not finite, at sizes from denormal to huge and far
// from the origin, where rounding decides what the ear clipping does.
TEST(TessellationCounts, EqualWhatTessellateWritesOnQuadsNearTheirLimits) {
    constexpr float Infinity = std::numeric_limits<float>::infinity();
    const double scales[] = {1e-44, 1e-38, 1e-20, 1e-15, 1e-6, 1.0, 1e6, 1e15, 1e19, 1e30, 1e38};
    const double offsets[] = {0.0, 1.0, 1e4, 1e7, 1e15};
    const double nudges[] = {0.0, 1e-4, -1e-4, 1e-7, -1e-7, 1e-9, 1e-12, -1e-12, 1e-16};
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const auto pick = [&](const auto& list) { return list[random() % std::size(list)]; };
    for (int round = 0; round < 20000; ++round) {
        // A convex quad on a tilted ellipse, its corners in turning order.
        double angles[4];
        for (double& angle : angles)
            angle = (unit(random) + 1.0) * 3.14159265358979;
        std::sort(std::begin(angles), std::end(angles));
        const double scale = pick(scales), offset = pick(offsets) * (random() % 2 ? scale : 1.0);
        const double tilt = unit(random), stretch = 0.05 + (unit(random) + 1.0);
        double corners[4][3];
        for (int i = 0; i < 4; ++i) {
            const double x = std::cos(angles[i]) * stretch, y = std::sin(angles[i]);
            corners[i][0] = offset + scale * x;
            corners[i][1] = offset + scale * (y + tilt * x);
            corners[i][2] = offset + scale * (tilt * y);
        }
        const int corner = static_cast<int>(random() % 4);
        double(&moved)[3] = corners[corner];
        const double(&before)[3] = corners[(corner + 3) % 4];
        const double(&after)[3] = corners[(corner + 1) % 4];
        switch (random() % 6) {
        case 0: // onto its neighbours' line, then nudged off it
            for (int k = 0; k < 3; ++k)
                moved[k] = (before[k] + after[k]) / 2 + pick(nudges) * scale * (k == 2 ? 1.0 : unit(random));
            break;
        case 1: // folded out of the plane
            moved[2] += scale * unit(random) * (random() % 2 ? 1e-6 : 4.0);
            break;
        case 2: // turned back beyond its neighbours' line
            for (int k = 0; k < 3; ++k)
                moved[k] = before[k] + after[k] - moved[k];
            break;
        case 3: // on top of a neighbour
            std::copy(std::begin(after), std::end(after), std::begin(moved));
            break;
        case 4: // not finite
            moved[random() % 3] = pick(std::vector<double>{Infinity, -Infinity, NaN, 3.4e38});
            break;
        default: break;
        }
        trelFloatPointArray points;
        for (const auto& c : corners)
            points.Append({static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])});
        trelIntArray face;
        for (int index : {4, 0, 1, 2, 3})
            face.Append(index);
        C3DPolyface polyface;
        polyface.SetPoints(points, face);
        if (!ExpectCountsMatch(polyface, "quad of round " + std::to_string(round)))
            return;
    }
    // A corner a hair off its neighbours' line, the hair kept whole by a
    // coordinate near zero, where the random quads above lose it to float
    // rounding: below the clipping's straightness threshold (about 4e-14 of
    // the squared size here) the corner is dropped and one triangle is left.
    for (const double hair : {0.0, 1e-16, 1e-14, 3e-14, 1e-13, 1e-12, 1e-9, 1e-7}) {
        for (const float size : {1e-3f, 1.0f, 1e6f}) {
            const trelFloatPoint quad[4] = {
                {0, 0, 0}, {size, 0, 0}, {2 * size, static_cast<float>(hair * size), 0}, {0, size, 0}};
            for (int first = 0; first < 4; ++first) {
                trelFloatPointArray points;
                for (int i = 0; i < 4; ++i)
                    points.Append(quad[(first + i) % 4]);
                trelIntArray face;
                for (int index : {4, 0, 1, 2, 3})
                    face.Append(index);
                C3DPolyface polyface;
                polyface.SetPoints(points, face);
                if (!ExpectCountsMatch(polyface, "hair " + testing::PrintToString(hair) + ", size " +
                                                     testing::PrintToString(size)))
                    return;
            }
        }
    }
}

// Every object of every scene that loads; returns the files loaded.
size_t ExpectCountsMatchInFolder(const fs::path& folder) {
    size_t loaded = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || extension == ".md" || extension == ".tsv" || extension == ".png" ||
            extension == ".jpg" || extension == ".cpp")
            continue;
        C3DWorld world;
        CVRMLParser parser;
        if (parser.Parse(&world, entry.path().string()) != VRML_LOAD_SUCCESS)
            continue;
        ++loaded;
        bool agreed = true;
        std::function<void(const trelBaseGroup&)> walk = [&](const trelBaseGroup& group) {
            for (int i = 0; agreed && i < group.GetNumObjects(); ++i)
                agreed =
                    ExpectCountsMatch(*group.GetObject(i), entry.path().string() + ", object " + std::to_string(i));
            for (int g = 0; agreed && g < group.GetNumGroups(); ++g)
                walk(*group.GetGroup(g));
        };
        walk(world);
    }
    return loaded;
}

TEST(TessellationCounts, EqualWhatTessellateWritesOnTheSampleScenes) {
    EXPECT_GT(ExpectCountsMatchInFolder(fs::path(VRML_SOURCE_DIR) / "examples"), 5u);
}

TEST(TessellationCounts, EqualWhatTessellateWritesOnTheCorpus) {
    const fs::path corpus(VRML_CORPUS_DIR);
    std::error_code error;
    if (!fs::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus at " << corpus;
    EXPECT_GT(ExpectCountsMatchInFolder(corpus), 100u);
}

} // namespace
