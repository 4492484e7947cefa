#include "GeometryTestSupport.h"

#include "host/geometry/Triangulation.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using geometry_test::Examine;
using geometry_test::Facts;
using geometry_test::kPi;
using geometry_test::Tessellated;

namespace {

// An outline and the plane it is laid into, so triangles can be read back in 2D.
struct Flat {
    double x, y;
};
struct Outline {
    std::string name;
    std::vector<Flat> corners;
};

const trelFloatPoint kOrigin(3, -2, 7);
const trelVector kAxisU(0.6f, 0.0f, 0.8f), kAxisV(0.0f, 1.0f, 0.0f);

trelFloatPoint Lay(const Flat& f) {
    return kOrigin + kAxisU * static_cast<float>(f.x) + kAxisV * static_cast<float>(f.y);
}

Flat Read(const trelFloatPoint& p) {
    const trelVector d(kOrigin, p);
    return {DotProduct(d, kAxisU), DotProduct(d, kAxisV)};
}

double ShoelaceArea(const std::vector<Flat>& c) {
    double twice = 0.0;
    for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++)
        twice += c[j].x * c[i].y - c[i].x * c[j].y;
    return twice / 2.0;
}

bool Inside(const std::vector<Flat>& c, Flat p) {
    bool inside = false;
    for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++)
        if ((c[i].y > p.y) != (c[j].y > p.y) && p.x < (c[j].x - c[i].x) * (p.y - c[i].y) / (c[j].y - c[i].y) + c[i].x)
            inside = !inside;
    return inside;
}

std::vector<Outline> Outlines() {
    std::vector<Flat> star;
    for (int i = 0; i < 10; ++i) {
        const double r = (i % 2) ? 0.4 : 1.0, a = 2 * kPi * i / 10;
        star.push_back({r * std::cos(a), r * std::sin(a)});
    }
    return {
        {"star", star},
        {"comb", {{0, 0}, {5, 0}, {5, 3}, {4, 3}, {4, 1}, {3, 1}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}}},
        {"clockwise L", {{0, 0}, {0, 3}, {1, 3}, {1, 1}, {3, 1}, {3, 0}}},
        {"spiral", {{0, 0}, {4, 0}, {4, 4}, {1, 4}, {1, 2}, {2, 2}, {2, 3}, {3, 3}, {3, 1}, {0, 1}}},
        // A 2 x 2 square given with midpoints, a doubled corner, a spike that
        // doubles back, and its first point repeated at the end.
        {"messy square",
         {{0, 0}, {1, 0}, {2, 0}, {2, 0}, {2, 1}, {3, 1}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {0, 0}}},
    };
}

template <class T>
trelArray<T> ArrayOf(std::vector<T> items) {
    trelArray<T> array;
    array.Items() = std::move(items);
    return array;
}

trelFloatPointArray Laid(const std::vector<Flat>& corners) {
    trelFloatPointArray points;
    for (const Flat& f : corners)
        points.Append(Lay(f));
    return points;
}

// Triangles must cover the outline exactly: same area, nothing outside.
void ExpectCovers(const trelTessellation& t, const std::vector<Flat>& corners) {
    const Facts facts = Examine(t);
    EXPECT_NEAR(facts.area, std::fabs(ShoelaceArea(corners)), 1e-4);
    EXPECT_TRUE(facts.windingFollowsNormals);
    EXPECT_TRUE(facts.unitNormals);
    const trelVector planeNormal = CrossProduct(kAxisU, kAxisV);
    for (size_t k = 0; k < t.GetTriangleCount(); ++k) {
        const Flat a = Read(t.triangleVertices[3 * k]), b = Read(t.triangleVertices[3 * k + 1]),
                   c = Read(t.triangleVertices[3 * k + 2]);
        EXPECT_TRUE(Inside(corners, {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3})) << "triangle " << k;
        EXPECT_NEAR(std::fabs(DotProduct(t.triangleNormals[3 * k], planeNormal)), 1.0, 1e-5);
    }
}

// A polyface's box holds exactly what its tessellation draws: the points its
// faces reach, by the same walk, as triangles or as traced outlines.
void ExpectBoxIsWhatIsDrawn(const trelBaseObject& object, const Facts& facts) {
    const trelBBox box = object.GetBBox();
    ASSERT_EQ(box.IsEmpty(), facts.covered.IsEmpty());
    if (!box.IsEmpty()) {
        EXPECT_EQ(box.GetMin(), facts.covered.GetMin());
        EXPECT_EQ(box.GetMax(), facts.covered.GetMax());
    }
}

} // namespace

TEST(Triangulation, ConcaveOutlinesAreCoveredExactly) {
    for (const Outline& outline : Outlines()) {
        SCOPED_TRACE(outline.name);
        C3DPolygon polygon;
        polygon.SetPolyline(Laid(outline.corners), 1);
        const trelTessellation t = Tessellated(polygon);
        ExpectCovers(t, outline.corners);
        // No overlapping extras (fewer when clipping leaves corners straight).
        EXPECT_LE(t.GetTriangleCount(), outline.corners.size() - 2);
        // The face turns towards the side the outline runs counter-clockwise around.
        const double side = DotProduct(t.triangleNormals[0], CrossProduct(kAxisU, kAxisV));
        EXPECT_EQ(side > 0, ShoelaceArea(outline.corners) > 0);

        // The same outline as a polyface face over a reversed point list
        // with a stray point in front.
        const int n = static_cast<int>(outline.corners.size());
        trelFloatPointArray points = ArrayOf<trelFloatPoint>({{100, 100, 100}});
        trelIntArray indices = ArrayOf<int>({n});
        for (int i = 0; i < n; ++i) {
            points.Append(Lay(outline.corners[static_cast<size_t>(n - 1 - i)]));
            indices.Append(n - i);
        }
        C3DPolyface face;
        face.SetPoints(points, indices);
        ExpectCovers(Tessellated(face), outline.corners);
    }
}

TEST(Triangulation, CornerTriplesNameTheCornersOfTheWrittenTriangles) {
    // Each outline with a doubled corner and a corner at infinity inserted,
    // which the filler passes over: the triples must still name positions
    // in the outline as given.
    trelDetail::OutlineTriangulator triangulator;
    std::vector<std::array<int, 3>> triples;
    for (const Outline& outline : Outlines()) {
        SCOPED_TRACE(outline.name);
        std::vector<trelDetail::Vec3> corners;
        for (const Flat& f : outline.corners)
            corners.emplace_back(Lay(f));
        corners.insert(corners.begin() + 2, corners[1]);
        corners.insert(corners.begin() + 4, trelDetail::Vec3(INFINITY, 0.0, 0.0));
        trelTessellation written;
        const int made = triangulator.Fill(corners, written);
        ASSERT_EQ(triangulator.FillCorners(corners, triples), made);
        ASSERT_EQ(triples.size(), written.GetTriangleCount());
        for (size_t k = 0; k < triples.size(); ++k)
            for (int i = 0; i < 3; ++i) {
                const int at = triples[k][static_cast<size_t>(i)];
                ASSERT_GE(at, 0);
                ASSERT_LT(static_cast<size_t>(at), corners.size());
                EXPECT_EQ(corners[static_cast<size_t>(at)].ToPoint(),
                          written.triangleVertices[3 * k + static_cast<size_t>(i)]);
            }
        EXPECT_EQ(triangulator.GetNormal().ToVector(), written.triangleNormals[0]);
    }
}

TEST(Triangulation, MalformedFaceListsNeverReadOutside) {
    const trelFloatPointArray points =
        ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {50, 50, 50}});
    // The triangles come from the faces that remain well formed.
    const struct {
        std::string name;
        std::vector<int> merged;
        size_t triangles;
    } cases[] = {
        {"empty", {}, 0},
        {"repeated corner", {4, 0, 1, 1, 2}, 1},
        {"all one point", {3, 2, 2, 2}, 0},
        {"collinear", {3, 0, 1, 3}, 0},
        {"index past the points", {3, 0, 1, 99}, 0},
        {"index just past the points", {3, 0, 1, 5}, 0},
        {"bad index dropped, rest kept", {4, 0, 1, 99, 2}, 1},
        {"negative index", {3, -1, 0, 1, 3, 0, 1, 2}, 1},
        {"negative size ends the list", {3, 0, 1, 2, -3, 0, 1, 2, 3, 0, 1, 2}, 1},
        {"size past the end", {3, 0, 1, 2, 5, 0, 1}, 1},
        {"huge size", {INT_MAX, 0, 1, 2}, 0},
        {"empty face, then one reaching the far point", {0, 3, 0, 1, 4}, 1},
        {"two faces", {3, 0, 1, 2, 3, 1, 3, 2}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        C3DPolyface face;
        face.SetPoints(points, ArrayOf(c.merged));
        const Facts facts = Examine(Tessellated(face));
        EXPECT_EQ(facts.triangles, c.triangles);
        EXPECT_TRUE(facts.finite);
        ExpectBoxIsWhatIsDrawn(face, facts);
    }
}

TEST(Triangulation, ScrambledFaceListsStayFiniteAndConsistent) {
    // Points with duplicates and collinear runs, faces of random sizes with
    // random (often invalid) indices: nothing may crash or produce NaN.
    geometry_test::ScrambledFaces scrambled(12345);
    for (int round = 0; round < 300; ++round) {
        trelFloatPointArray points;
        trelIntArray merged;
        scrambled.Make(points, merged);
        C3DPolyface face;
        face.SetPoints(points, merged);
        const Facts facts = Examine(Tessellated(face));
        ASSERT_TRUE(facts.finite);
        ASSERT_TRUE(facts.unitNormals);
        ASSERT_TRUE(facts.windingFollowsNormals);
    }
}

TEST(Triangulation, MeshCellsBecomeTwoTrianglesFacingUp) {
    // Rows along x, columns along z, as a height field lays them out.
    const int rows = 3, columns = 4;
    trelFloatPointArray grid;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            grid.Append({static_cast<float>(r), 0.0f, static_cast<float>(c)});
    C3DPolyMesh mesh;
    mesh.SetPoints(grid, rows, columns, 0, 0);
    const trelTessellation t = Tessellated(mesh);
    EXPECT_EQ(t.GetTriangleCount(), 2u * (rows - 1) * (columns - 1));
    EXPECT_NEAR(Examine(t).area, (rows - 1) * (columns - 1), 1e-6);
    for (const trelVector& n : t.triangleNormals)
        EXPECT_NEAR(n.y, 1.0, 1e-7);

    // More cells announced than points given: only complete rows are used.
    struct Case {
        int rows, columns;
        size_t triangles;
    };
    for (const Case& c : {Case{4, 4, 12}, Case{INT_MAX, 4, 12}, Case{-1, 4, 0}, Case{3, 0, 0}, Case{1, 12, 0}}) {
        C3DPolyMesh cut;
        cut.SetPoints(grid, c.rows, c.columns, 0, 0);
        EXPECT_EQ(Tessellated(cut).GetTriangleCount(), c.triangles) << c.rows << " x " << c.columns;
    }
}

TEST(Triangulation, StripsAlternateTheirWindingToFaceOneSide) {
    // A zigzag in the xy plane: even points along y = 1, odd ones along
    // y = 0, so a strip starting at an even point begins counter-clockwise
    // seen from +z.
    trelFloatPointArray points;
    trelVectorArray normals;
    for (int i = 0; i < 8; ++i) {
        points.Append({static_cast<float>(i / 2), static_cast<float>(1 - i % 2), 0.0f});
        normals.Append({0, 0, 1});
    }
    const struct {
        std::string name;
        std::vector<int> lengths;
        size_t triangles;
    } cases[] = {
        {"one strip", {8}, 6},           {"two strips", {4, 4}, 4},      {"past the end", {4, 10}, 4},
        {"negative length", {-2, 8}, 6}, {"too short", {2, 2, 2, 2}, 0},
    };
    for (const bool given : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + (given ? " with normals" : " without normals"));
            C3DMultipleTriangleStrip strips;
            strips.SetStrips(points, given ? normals : trelVectorArray(), ArrayOf(c.lengths));
            const trelTessellation t = Tessellated(strips);
            const Facts facts = Examine(t);
            EXPECT_EQ(facts.triangles, c.triangles);
            EXPECT_NEAR(facts.area, 0.5 * c.triangles, 1e-6);
            EXPECT_TRUE(facts.windingFollowsNormals);
            for (size_t k = 0; k < facts.triangles; ++k)
                EXPECT_GT(geometry_test::FaceNormal(t, k).z, 0.0f) << "triangle " << k;
        }
}

TEST(Triangulation, StripNormalsStayPerpendicularUnderShear) {
    const trelVector normal(0, 0, 2); // not unit: the output is
    C3DMultipleTriangleStrip strips;
    strips.SetStrips(ArrayOf<trelFloatPoint>({{0, 1, 0}, {0, 0, 0}, {1, 1, 0}, {1, 0, 0}}),
                     ArrayOf<trelVector>({normal, normal, normal, normal}), ArrayOf<int>({4}));
    // The shear lifts z by x: the flat strip tilts, and a normal carried
    // like a direction would no longer be perpendicular to it.
    trelMatrix4x4 shear;
    shear(0, 2) = 1.0f;
    strips.ApplyMatrixToGeometry(shear * CreateRotationMatrixForNormalAngle({1, 0, 0}, kPi / 3), true);
    const trelTessellation t = Tessellated(strips);
    const Facts facts = Examine(t);
    EXPECT_EQ(facts.triangles, 2u);
    EXPECT_GT(facts.worstNormalAgreement, 1.0 - 1e-6);
}

TEST(Triangulation, FacesWithoutAreaAreTracedSoTheTessellationCoversTheObject) {
    C3DPolyface face;
    // A collinear face and a one-point face.
    face.SetPoints(ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 0, 0}, {5, 0, 0}, {7, 7, 7}}),
                   ArrayOf<int>({3, 0, 1, 2, 1, 3}));
    const trelTessellation mesh = Tessellated(face);
    EXPECT_EQ(mesh.GetTriangleCount(), 0u);
    ASSERT_EQ(mesh.lineStrips.size(), 1u);
    EXPECT_EQ(mesh.lineStrips[0].size(), 4u); // closed: the first point again
    ASSERT_EQ(mesh.points.size(), 1u);
    EXPECT_EQ(mesh.points[0], trelFloatPoint(7, 7, 7));
    ExpectBoxIsWhatIsDrawn(face, Examine(mesh));
}
