#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using geometry_test::Examine;
using geometry_test::kPi;

namespace {

const trelChroma kRed(1, 0, 0), kGreen(0, 1, 0), kBlue(0, 0, 1), kWhite(1, 1, 1), kBlack(0, 0, 0);

trelTessellation Tessellate(const trelBaseObject& object, bool attributes = true, int segments = 32) {
    trelTessellation t;
    trelTessellationOptions options;
    options.attributes = attributes;
    options.segments = segments;
    object.Tessellate(t, options);
    return t;
}

template <class T>
trelArray<T> ArrayOf(std::vector<T> items) {
    trelArray<T> array;
    array.Items() = std::move(items);
    return array;
}

trelVector Direction(double degrees) {
    const double a = degrees * kPi / 180.0;
    return trelVector(static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0.0f);
}

bool Near(const trelVector& a, const trelVector& b, double tolerance = 1e-5) {
    return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance && std::fabs(a.z - b.z) < tolerance;
}

bool Near(const trelTexCoord& a, const trelTexCoord& b, double tolerance = 1e-5) {
    return std::fabs(a.s - b.s) < tolerance && std::fabs(a.t - b.t) < tolerance;
}

bool Same(const trelFloatPoint& a, const trelFloatPoint& b) {
    return std::fabs(a.x - b.x) < 1e-6 && std::fabs(a.y - b.y) < 1e-6 && std::fabs(a.z - b.z) < 1e-6;
}

std::string Show(const trelVector& v) {
    return "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.z) + ")";
}

void ExpectAligned(const trelTessellation& t) {
    EXPECT_EQ(t.triangleColors.size(), t.triangleVertices.size());
    EXPECT_EQ(t.triangleTexCoords.size(), t.triangleVertices.size());
    EXPECT_EQ(t.pointColors.size(), t.points.size());
    ASSERT_EQ(t.lineColors.size(), t.lineStrips.size());
    for (size_t i = 0; i < t.lineStrips.size(); ++i)
        EXPECT_EQ(t.lineColors[i].size(), t.lineStrips[i].size());
}

// A unit square (points 0-3) and a triangle on its right edge (points 1, 4,
// 2): slots 1-4 of the merged list are the square's corners, 6-8 the
// triangle's.
std::unique_ptr<C3DPolyface> TwoFaces() {
    auto face = std::make_unique<C3DPolyface>();
    face->SetPoints(ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0.5f, 0}}),
                    ArrayOf<int>({4, 0, 1, 2, 3, 3, 1, 4, 2}));
    return face;
}

// The slot of the corner of face `face` (0: the square, 1: the triangle) at `p`.
int SlotOf(const trelFloatPoint& p) { return static_cast<int>(p.x + 0.5f) * 10 + static_cast<int>(p.y * 2 + 0.5f); }
int TwoFacesSlot(int face, const trelFloatPoint& p) {
    // Position key -> slot, per face: x * 10 + y * 2.
    const int key = SlotOf(p);
    if (face == 0)
        return key == 0 ? 1 : key == 10 ? 2 : key == 12 ? 3 : 4;
    return key == 10 ? 6 : key == 21 ? 7 : 8;
}

TEST(TessellationAttributes, ColoursFollowFacesOrCornersOfTheMergedList) {
    const trelChroma dim(0.5f, 0.25f, 0.125f);
    const struct {
        const char* name;
        bool perVertex;
        std::vector<trelChroma> colors;
        std::vector<int> colorIndex;
        std::vector<trelChroma> expectedBySlot; // slots 0 and 5 hold sizes
    } cases[] = {
        {"per face", false, {kRed, kGreen}, {}, {kRed, kRed, kRed, kRed, kRed, kGreen, kGreen, kGreen, kGreen}},
        {"per face, indexed",
         false,
         {kRed, kGreen},
         {1, 0},
         {{}, kGreen, kGreen, kGreen, kGreen, {}, kRed, kRed, kRed}},
        {"per vertex by slot",
         true,
         {kBlack, kRed, kGreen, kBlue, kWhite, kBlack, dim, kRed, kGreen},
         {},
         {{}, kRed, kGreen, kBlue, kWhite, {}, dim, kRed, kGreen}},
        // Point 1 is green in the square and blue in the triangle.
        {"per vertex, indexed",
         true,
         {kRed, kGreen, kBlue},
         {-1, 0, 1, 2, 0, -1, 2, 1, 0},
         {{}, kRed, kGreen, kBlue, kRed, {}, kBlue, kGreen, kRed}},
    };
    for (const auto& c : cases) {
        auto face = TwoFaces();
        auto block = std::make_shared<trelAttributes>();
        block->colors = ArrayOf(c.colors);
        block->colorIndex = ArrayOf(c.colorIndex);
        block->colorPerVertex = c.perVertex;
        face->SetAttributes(block);
        const trelTessellation t = Tessellate(*face);
        ExpectAligned(t);
        ASSERT_EQ(t.GetTriangleCount(), 3u) << c.name;
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            const int faceNumber = v < 6 ? 0 : 1;
            const int slot = TwoFacesSlot(faceNumber, t.triangleVertices[v]);
            EXPECT_EQ(t.triangleColors[v], c.expectedBySlot[static_cast<size_t>(slot)])
                << c.name << ", vertex " << v << " (slot " << slot << ")";
            EXPECT_TRUE(Near(t.triangleNormals[v], trelVector(0, 0, 1)));
        }
    }
}

TEST(TessellationAttributes, GridCellsAreFacesAndGridPointsAreVertices) {
    // Rows along x, columns along z; cells numbered row by row.
    const int rows = 3, columns = 4;
    trelFloatPointArray grid;
    std::vector<trelTexCoord> coords;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            grid.Append({static_cast<float>(r), 0.0f, static_cast<float>(c)});
            coords.emplace_back(static_cast<float>(c) / 3, static_cast<float>(r) / 2);
        }
    std::vector<trelChroma> cellColors;
    for (int cell = 0; cell < (rows - 1) * (columns - 1); ++cell)
        cellColors.emplace_back(0.125f * static_cast<float>(cell), 0.0f, 1.0f);
    for (bool perVertex : {false, true}) {
        auto block = std::make_shared<trelAttributes>();
        block->texCoords = ArrayOf(coords);
        block->colorPerVertex = perVertex;
        // Per vertex, grid point k takes colour k of the same list.
        block->colors = ArrayOf(perVertex ? std::vector<trelChroma>(cellColors.begin(), cellColors.end()) : cellColors);
        if (perVertex)
            for (int k = static_cast<int>(cellColors.size()); k < rows * columns; ++k)
                block->colors.Append(trelChroma(0.0f, 0.0625f * static_cast<float>(k), 0.0f));
        C3DPolyMesh mesh;
        mesh.SetPoints(grid, rows, columns, 0, 0);
        mesh.SetAttributes(block);
        const trelTessellation t = Tessellate(mesh);
        ExpectAligned(t);
        ASSERT_EQ(t.GetTriangleCount(), 12u);
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            const trelFloatPoint& p = t.triangleVertices[v];
            const int point = static_cast<int>(p.x) * columns + static_cast<int>(p.z);
            const size_t cell = v / 6;
            EXPECT_EQ(t.triangleColors[v], perVertex ? block->colors[point] : cellColors[cell]) << "vertex " << v;
            EXPECT_EQ(t.triangleTexCoords[v], coords[static_cast<size_t>(point)]) << "vertex " << v;
            EXPECT_TRUE(Near(t.triangleNormals[v], trelVector(0, 1, 0)));
        }
    }
}

// A prism whose outline is a square with chamfered corners: its faces face
// 0, 20, 90, 110, 180, 200, 270 and 290 degrees about z, so neighbours meet
// at 20 and 70 degrees in turn. Vertex i lies between faces i - 1 and i.
const double kFaceAngles[8] = {0, 20, 90, 110, 180, 200, 270, 290};

std::vector<trelFloatPoint> RingOutline() {
    const auto line = [](int f, double& nx, double& ny, double& d) {
        const double a = kFaceAngles[(f + 8) % 8] * kPi / 180.0;
        nx = std::cos(a);
        ny = std::sin(a);
        d = (f % 2 == 0) ? 1.0 : 1.2; // the square's sides, then the chamfers
    };
    std::vector<trelFloatPoint> outline;
    for (int i = 0; i < 8; ++i) {
        double ax, ay, ad, bx, by, bd;
        line(i - 1, ax, ay, ad);
        line(i, bx, by, bd);
        const double det = ax * by - ay * bx;
        outline.emplace_back(static_cast<float>((ad * by - ay * bd) / det),
                             static_cast<float>((ax * bd - ad * bx) / det), 0.0f);
    }
    return outline;
}

// The ring as each object that smooths across faces builds it: a polyface of
// quads, a grid closed around, and an open grid whose last column repeats its
// first (as an extrusion of a closed cross-section makes it).
std::vector<std::pair<std::string, std::unique_ptr<trelBaseObject>>> Rings() {
    const std::vector<trelFloatPoint> outline = RingOutline();
    std::vector<trelFloatPoint> bottomThenTop = outline;
    for (trelFloatPoint p : outline)
        bottomThenTop.emplace_back(p.x, p.y, 1.0f);
    std::vector<int> quads;
    for (int i = 0; i < 8; ++i)
        quads.insert(quads.end(), {4, i, (i + 1) % 8, 8 + (i + 1) % 8, 8 + i});
    auto face = std::make_unique<C3DPolyface>();
    face->SetPoints(ArrayOf(bottomThenTop), ArrayOf(quads));

    auto closed = std::make_unique<C3DPolyMesh>();
    closed->SetPoints(ArrayOf(bottomThenTop), 2, 8, 0, 1);

    std::vector<trelFloatPoint> seamed;
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i <= 8; ++i)
            seamed.emplace_back(outline[static_cast<size_t>(i % 8)].x, outline[static_cast<size_t>(i % 8)].y,
                                static_cast<float>(row));
    auto open = std::make_unique<C3DPolyMesh>();
    open->SetPoints(ArrayOf(seamed), 2, 9, 0, 0);

    std::vector<std::pair<std::string, std::unique_ptr<trelBaseObject>>> rings;
    rings.emplace_back("polyface", std::move(face));
    rings.emplace_back("closed grid", std::move(closed));
    rings.emplace_back("grid with a repeated seam", std::move(open));
    return rings;
}

TEST(TessellationAttributes, CreaseAngleSmoothsOnlyNeighboursWithinIt) {
    const std::vector<trelFloatPoint> outline = RingOutline();
    // The normal at vertex i of face f: its own face's when creased there,
    // else halfway between the two faces that meet there (both have a right
    // angle at the vertex, so weigh the same).
    const auto expected = [&](double crease, int face, int vertex) {
        const double before = kFaceAngles[(vertex + 7) % 8];
        double turn = kFaceAngles[vertex] - before;
        if (turn < 0)
            turn += 360;
        if (turn * kPi / 180.0 > crease)
            return Direction(kFaceAngles[face]);
        return Direction(before + turn / 2);
    };
    const struct {
        double crease;
        bool ccw;
    } cases[] = {{0.0, true}, {0.5, true}, {3.14, true}, {3.14, false}, {0.5, false}};
    for (const auto& c : cases)
        for (auto& [name, ring] : Rings()) {
            auto block = std::make_shared<trelAttributes>();
            block->creaseAngle = c.crease;
            block->ccw = c.ccw;
            ring->SetAttributes(block);
            const trelTessellation t = Tessellate(*ring);
            ExpectAligned(t);
            ASSERT_EQ(t.GetTriangleCount(), 16u) << name;
            // With ccw false the faces' front is inside: windings and normals turn over.
            const geometry_test::Facts facts = Examine(t);
            EXPECT_TRUE(facts.windingFollowsNormals) << name;
            for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
                const int face = static_cast<int>(v / 6);
                int vertex = 0;
                while (vertex < 8 &&
                       !(std::fabs(outline[static_cast<size_t>(vertex)].x - t.triangleVertices[v].x) < 1e-6 &&
                         std::fabs(outline[static_cast<size_t>(vertex)].y - t.triangleVertices[v].y) < 1e-6))
                    ++vertex;
                ASSERT_LT(vertex, 8);
                trelVector want = expected(c.crease, face, vertex);
                if (!c.ccw)
                    want = want * -1.0f;
                EXPECT_TRUE(Near(t.triangleNormals[v], want))
                    << name << ", crease " << c.crease << ", face " << face << ", vertex " << vertex << ": "
                    << Show(t.triangleNormals[v]) << " instead of " << Show(want);
            }
        }
}

TEST(TessellationAttributes, ColoursAndCoordinatesFollowTheCornersOfAConcaveFace) {
    // An L: the ear clipper must cut it along its inner corner.
    const std::vector<trelFloatPoint> corners = {{0, 0, 0}, {3, 0, 0}, {3, 1, 0}, {1, 1, 0}, {1, 3, 0}, {0, 3, 0}};
    std::vector<trelChroma> colors;
    std::vector<trelTexCoord> coords;
    for (int i = 0; i < 7; ++i) {
        colors.emplace_back(0.1f * static_cast<float>(i), 0.5f, 1.0f - 0.1f * static_cast<float>(i));
        coords.emplace_back(static_cast<float>(i), -static_cast<float>(i));
    }
    auto face = std::make_unique<C3DPolyface>();
    face->SetPoints(ArrayOf(corners), ArrayOf<int>({6, 0, 1, 2, 3, 4, 5}));
    auto polygon = std::make_unique<C3DPolygon>();
    polygon->SetPolyline(ArrayOf(corners), 1);
    // The polyface numbers its corners by slot (1-6), the polygon by point (0-5).
    const struct {
        const char* name;
        trelBaseObject* object;
        int firstNumber;
    } cases[] = {{"polyface", face.get(), 1}, {"polygon", polygon.get(), 0}};
    for (const auto& c : cases) {
        auto block = std::make_shared<trelAttributes>();
        block->colors = ArrayOf(colors);
        block->texCoords = ArrayOf(coords);
        c.object->SetAttributes(block);
        const trelTessellation t = Tessellate(*c.object);
        ExpectAligned(t);
        const geometry_test::Facts facts = Examine(t);
        EXPECT_EQ(facts.triangles, 4u) << c.name;
        EXPECT_NEAR(facts.area, 5.0, 1e-9) << c.name;
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            size_t corner = 0;
            while (corner < corners.size() && !Same(corners[corner], t.triangleVertices[v]))
                ++corner;
            ASSERT_LT(corner, corners.size());
            const size_t number = corner + static_cast<size_t>(c.firstNumber);
            EXPECT_EQ(t.triangleColors[v], colors[number]) << c.name << ", corner " << corner;
            EXPECT_EQ(t.triangleTexCoords[v], coords[number]) << c.name << ", corner " << corner;
        }
    }
}

TEST(TessellationAttributes, TextureMatrixMapsGivenAndMadeCoordinates) {
    trelTexMatrix matrix;
    const float m[6] = {0.0f, -2.0f, 1.0f, 3.0f, 0.0f, 0.5f}; // s' = 1 - 2t, t' = 3s + 0.5
    std::copy(m, m + 6, matrix.m);
    auto block = std::make_shared<trelAttributes>();
    block->texMatrix = matrix;

    auto face = TwoFaces();
    auto given = std::make_shared<trelAttributes>(*block);
    std::vector<trelTexCoord> coords;
    for (int i = 0; i < 9; ++i)
        coords.emplace_back(0.125f * static_cast<float>(i), 0.25f);
    given->texCoords = ArrayOf(coords);
    face->SetAttributes(given);
    trelTessellation t = Tessellate(*face);
    for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
        const trelTexCoord& c = coords[static_cast<size_t>(TwoFacesSlot(v < 6 ? 0 : 1, t.triangleVertices[v]))];
        EXPECT_TRUE(Near(t.triangleTexCoords[v], trelTexCoord(1.0f - 2.0f * c.t, 3.0f * c.s + 0.5f)));
    }

    // The box's front face (+z) shows the image with s along x, t along y.
    const trelFloatPoint corners[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                       {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    trelBox box;
    box.SetBox(corners);
    box.SetAttributes(block);
    t = Tessellate(box);
    ExpectAligned(t);
    int front = 0;
    for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
        if (!Near(t.triangleNormals[v], trelVector(0, 0, 1)))
            continue;
        ++front;
        const float s = (t.triangleVertices[v].x + 1) / 2, tt = (t.triangleVertices[v].y + 1) / 2;
        EXPECT_TRUE(Near(t.triangleTexCoords[v], trelTexCoord(1.0f - 2.0f * tt, 3.0f * s + 0.5f)));
    }
    EXPECT_EQ(front, 6);
}

TEST(TessellationAttributes, BoxFacesShowTheWholeImageUprightFromOutside) {
    // Half sizes 1, 2, 3 in the corner order the loader uses; then the same
    // box turned: the mapping follows the corners, not the world's axes.
    const float a = 1, b = 2, c = 3;
    const trelFloatPoint local[8] = {{-a, -b, -c}, {a, -b, -c}, {a, b, -c}, {-a, b, -c},
                                     {-a, -b, c},  {a, -b, c},  {a, b, c},  {-a, b, c}};
    const trelMatrix4x4 turns[2] = {trelMatrix4x4(), CreateRotationMatrixForNormalAngle(trelVector(1, 2, 3), 0.7) *
                                                         GetDisplacementMatrix(trelFloatPoint(5, -1, 2))};
    for (const trelMatrix4x4& turn : turns) {
        trelFloatPoint corners[8];
        for (int i = 0; i < 8; ++i)
            corners[i] = local[i] * turn;
        trelBox box;
        box.SetBox(corners);
        const trelTessellation t = Tessellate(box);
        ExpectAligned(t);
        ASSERT_EQ(t.GetTriangleCount(), 12u);
        const trelMatrix4x4 back = GetInverseMatrix(turn);
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            const trelFloatPoint p = t.triangleVertices[v] * back;
            const trelVector n = t.triangleNormals[v] * back;
            // Seen from outside with +y up; the top with -z up, the bottom with +z up.
            trelTexCoord want;
            if (n.z > 0.9f)
                want = {(p.x + a) / (2 * a), (p.y + b) / (2 * b)};
            else if (n.z < -0.9f)
                want = {(a - p.x) / (2 * a), (p.y + b) / (2 * b)};
            else if (n.x > 0.9f)
                want = {(c - p.z) / (2 * c), (p.y + b) / (2 * b)};
            else if (n.x < -0.9f)
                want = {(p.z + c) / (2 * c), (p.y + b) / (2 * b)};
            else if (n.y > 0.9f)
                want = {(p.x + a) / (2 * a), (c - p.z) / (2 * c)};
            else
                want = {(p.x + a) / (2 * a), (p.z + c) / (2 * c)};
            EXPECT_TRUE(Near(t.triangleTexCoords[v], want, 1e-5))
                << "vertex " << v << " normal " << Show(n) << ": " << t.triangleTexCoords[v].s << ", "
                << t.triangleTexCoords[v].t;
            EXPECT_EQ(t.triangleColors[v], kWhite);
        }
    }
}

TEST(TessellationAttributes, SphereWrapsFromTheBackAndRunsFromSouthToNorth) {
    // As the loader makes it: pole on z, a full turn given in float.
    trelSphere sphere;
    sphere.SetSphere(trelFloatPoint(0, 0, 0), trelVector(1, 0, 0), trelVector(0, 0, 1), 2.0, 0.0, 6.283185958862305,
                     0.0, 3.1415929794311523);
    const trelTessellation t = Tessellate(sphere);
    ExpectAligned(t);
    const geometry_test::Facts facts = Examine(t);
    EXPECT_TRUE(facts.windingFollowsNormals);
    EXPECT_NEAR(facts.area, 4 * kPi * 4, 4 * kPi * 4 * 0.02);
    int seen[4] = {0, 0, 0, 0}; // equator points at -z, -x, +z, +x
    for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
        const trelFloatPoint& p = t.triangleVertices[v];
        const trelTexCoord& c = t.triangleTexCoords[v];
        EXPECT_TRUE(Near(t.triangleNormals[v], trelVector(p.x / 2, p.y / 2, p.z / 2)));
        EXPECT_NEAR(c.t, 1.0 - std::acos(std::fmax(-1.0, std::fmin(1.0, p.y / 2.0))) / kPi, 1e-5);
        if (std::fabs(p.y) > 1.999f)
            continue; // a pole has no longitude
        double s = std::atan2(-p.x, -p.z) / (2 * kPi);
        if (s < 0)
            s += 1;
        // The seam at -z is s = 0 on one side and 1 on the other.
        const double apart = std::fabs(c.s - s);
        EXPECT_LT(std::fmin(apart, std::fabs(apart - 1.0)), 1e-5) << "at " << p.x << ", " << p.y << ", " << p.z;
        if (std::fabs(p.y) < 1e-6) {
            const trelTexCoord quarter[4] = {{0, 0.5f}, {0.25f, 0.5f}, {0.5f, 0.5f}, {0.75f, 0.5f}};
            const trelFloatPoint at[4] = {{0, 0, -2}, {-2, 0, 0}, {0, 0, 2}, {2, 0, 0}};
            for (int k = 0; k < 4; ++k)
                if (Same(p, at[k]) && (Near(c, quarter[k]) || (k == 0 && Near(c, trelTexCoord(1, 0.5f)))))
                    ++seen[k];
        }
    }
    for (int k = 0; k < 4; ++k)
        EXPECT_GT(seen[k], 0) << "equator point " << k;
}

TEST(TessellationAttributes, DiskShowsTheInscribedCircleFromTheSideItFaces) {
    // A ring of radii 1 and 2 in a turned frame; read back in the frame.
    const trelMatrix4x4 frame =
        CreateRotationMatrixForNormalAngle(trelVector(1, 1, 0), 0.9) * GetDisplacementMatrix(trelFloatPoint(3, 0, -1));
    const trelMatrix4x4 back = GetInverseMatrix(frame);
    for (bool ccw : {true, false}) {
        trelDisk disk;
        disk.SetDisk(1, 2, frame, true);
        auto block = std::make_shared<trelAttributes>();
        block->ccw = ccw;
        disk.SetAttributes(block);
        const trelTessellation t = Tessellate(disk);
        ExpectAligned(t);
        EXPECT_TRUE(Examine(t).windingFollowsNormals);
        // Seen from -z (ccw false) the frame's x still runs to the right
        // when its -y is up.
        const float flip = ccw ? 1.0f : -1.0f;
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            const trelFloatPoint p = t.triangleVertices[v] * back;
            EXPECT_TRUE(Near(t.triangleNormals[v] * back, trelVector(0, 0, flip)));
            EXPECT_TRUE(Near(t.triangleTexCoords[v], trelTexCoord(0.5f + p.x / 4, 0.5f + flip * p.y / 4)))
                << p.x << ", " << p.y;
        }
    }
}

TEST(TessellationAttributes, UnusableAttributesAreDroppedForTheWholeObject) {
    const std::function<void(trelAttributes&)> breakages[] = {
        [](trelAttributes& a) {
            a.colorIndex = ArrayOf<int>({0, 0, 0, 0, 0, 0, 0, 0, 3});
        },
        [](trelAttributes& a) {
            a.colorIndex = ArrayOf<int>({0, 0, 0, 0, 0, 0, 0});
        }, // shorter than the slots
        [](trelAttributes& a) {
            a.colorIndex = ArrayOf<int>({0, 0, 0, -1, 0, 0, 0, 0, 0});
        },
        [](trelAttributes& a) { a.colors[1] = trelChroma(NAN, 0, 0); },
        [](trelAttributes& a) {
            a.normalIndex = ArrayOf<int>({0, 7});
        },
        [](trelAttributes& a) { a.normals[0] = trelVector(0, INFINITY, 0); },
        [](trelAttributes& a) {
            a.texCoordIndex = ArrayOf<int>({0, 0, 0, 0, 0, 0, 0, 0, 2});
        },
        [](trelAttributes& a) { a.texCoords[1] = trelTexCoord(NAN, 0); },
        [](trelAttributes& a) { a.texMatrix.m[4] = INFINITY; },
    };
    for (size_t k = 0; k < std::size(breakages); ++k) {
        auto block = std::make_shared<trelAttributes>();
        block->colors = ArrayOf<trelChroma>({kRed, kGreen});
        block->colorIndex = ArrayOf<int>({0, 1, 1, 1, 1, 0, 1, 1, 1});
        // Per face, pointing away from the faces' own normal (0, 0, 1).
        block->normals = ArrayOf<trelVector>({trelVector(1, 0, 0), trelVector(0, 1, 0)});
        block->normalPerVertex = false;
        block->texCoords = ArrayOf<trelTexCoord>({{0.5f, 0.25f}, {0.75f, 1}});
        block->texCoordIndex = ArrayOf<int>({0, 1, 1, 1, 1, 0, 1, 1, 1});
        const trelAttributes before = *block;
        breakages[k](*block);
        const std::string kind =
            before.colors == block->colors && before.colorIndex == block->colorIndex
                ? (before.normals == block->normals && before.normalIndex == block->normalIndex ? "texture coordinates"
                                                                                                : "normals")
                : "colours";
        auto face = TwoFaces();
        face->SetAttributes(block);
        const trelTessellation t = Tessellate(*face);
        ExpectAligned(t);
        ASSERT_EQ(t.GetTriangleCount(), 3u);
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            const trelVector given = v < 6 ? trelVector(1, 0, 0) : trelVector(0, 1, 0);
            EXPECT_EQ(t.triangleColors[v], kind == "colours" ? kWhite : kGreen) << "case " << k;
            EXPECT_TRUE(Near(t.triangleNormals[v], kind == "normals" ? trelVector(0, 0, 1) : given)) << "case " << k;
            EXPECT_EQ(t.triangleTexCoords[v], kind == "texture coordinates" ? trelTexCoord() : trelTexCoord(0.75f, 1))
                << "case " << k;
        }
    }
}

TEST(TessellationAttributes, OffsetSelectsEachObjectsStretchOfASharedBlock) {
    auto shared = std::make_shared<trelAttributes>();
    shared->colors = ArrayOf<trelChroma>({kRed, kGreen, kBlue, kWhite, kBlack});
    const std::shared_ptr<const trelAttributes> block = shared;

    C3DPolyline first, second, third;
    first.SetPolyline(ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 0, 0}}), 0);
    first.SetAttributes(block, 0);
    second.SetPolyline(ArrayOf<trelFloatPoint>({{0, 1, 0}, {1, 1, 0}, {1, 2, 0}}), 1);
    second.SetAttributes(block, 2);
    third.SetPolyline(ArrayOf<trelFloatPoint>({{0, 1, 0}, {1, 1, 0}, {1, 2, 0}}), 0);
    third.SetAttributes(block, 3); // runs past the colours: none
    trelDot dot;
    dot.SetDot(trelFloatPoint(4, 4, 4));
    dot.SetAttributes(block, 1);

    trelTessellation t;
    trelTessellationOptions options;
    options.attributes = true;
    for (const trelBaseObject* object : std::initializer_list<const trelBaseObject*>{&first, &second, &third, &dot})
        object->Tessellate(t, options);
    ExpectAligned(t);
    ASSERT_EQ(t.lineColors.size(), 3u);
    EXPECT_EQ(t.lineColors[0], (std::vector<trelChroma>{kRed, kGreen}));
    EXPECT_EQ(t.lineColors[1], (std::vector<trelChroma>{kBlue, kWhite, kBlack, kBlue})); // closed
    EXPECT_EQ(t.lineColors[2], (std::vector<trelChroma>{kWhite, kWhite, kWhite}));
    EXPECT_EQ(t.pointColors, (std::vector<trelChroma>{kGreen}));

    // Faces are numbered from the offset too.
    auto face = TwoFaces();
    shared->colorPerVertex = false;
    face->SetAttributes(block, 3);
    const trelTessellation faces = Tessellate(*face);
    for (size_t v = 0; v < faces.triangleVertices.size(); ++v)
        EXPECT_EQ(faces.triangleColors[v], v < 6 ? kWhite : kBlack);
}

// One of each kind of object, with and without an attribute block.
std::vector<std::unique_ptr<trelBaseObject>> OneOfEach(bool withBlocks) {
    auto block = std::make_shared<trelAttributes>();
    block->colors = ArrayOf<trelChroma>(std::vector<trelChroma>(40, kGreen));
    block->creaseAngle = 1.0;
    block->ccw = false;
    std::vector<std::unique_ptr<trelBaseObject>> objects;
    objects.push_back(TwoFaces());
    for (auto& [name, ring] : Rings())
        objects.push_back(std::move(ring));
    auto polygon = std::make_unique<C3DPolygon>();
    polygon->SetPolyline(ArrayOf<trelFloatPoint>({{0, 0, 0}, {2, 0, 0}, {2, 2, 1}, {0, 2, 0}}), 1);
    objects.push_back(std::move(polygon));
    auto line = std::make_unique<C3DPolyline>();
    line->SetPolyline(ArrayOf<trelFloatPoint>({{0, 0, 0}, {2, 0, 0}, {2, 2, 1}}), 1);
    objects.push_back(std::move(line));
    auto flat = std::make_unique<C3DPolyface>(); // no area: drawn as its outline
    flat->SetPoints(ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}), ArrayOf<int>({3, 0, 1, 2, 1, 0}));
    objects.push_back(std::move(flat));
    auto strips = std::make_unique<C3DMultipleTriangleStrip>();
    strips->SetStrips(ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}), trelVectorArray(),
                      ArrayOf<int>({4}));
    objects.push_back(std::move(strips));
    const trelFloatPoint corners[8] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    auto box = std::make_unique<trelBox>();
    box->SetBox(corners);
    objects.push_back(std::move(box));
    const trelMatrix4x4 placement = CreateRotationMatrixForNormalAngle(trelVector(1, 0, 0), -1.5707965);
    auto cone = std::make_unique<trelCone>();
    cone->SetCone(2, 1, 0);
    cone->SetXformation(placement);
    objects.push_back(std::move(cone));
    auto cylinder = std::make_unique<trelCylinder>();
    cylinder->SetCylinder(2, 1, 1, trelVector(1, 0, 0), 0, 6.283185958862305);
    cylinder->SetXformation(placement);
    objects.push_back(std::move(cylinder));
    auto sphere = std::make_unique<trelSphere>();
    sphere->SetSphere(trelFloatPoint(), trelVector(1, 0, 0), trelVector(0, 0, 1), 1, 0, 6.283185958862305, 0,
                      3.1415929794311523);
    objects.push_back(std::move(sphere));
    auto disk = std::make_unique<trelDisk>();
    disk->SetDisk(0.5, 1, placement, true);
    objects.push_back(std::move(disk));
    auto circles = std::make_unique<trelDisk>();
    circles->SetDisk(0.5, 1, placement, false);
    objects.push_back(std::move(circles));
    auto dot = std::make_unique<trelDot>();
    dot->SetDot(trelFloatPoint(1, 2, 3));
    objects.push_back(std::move(dot));
    if (withBlocks)
        for (auto& object : objects)
            object->SetAttributes(block);
    return objects;
}

TEST(TessellationAttributes, WithoutTheOptionBlocksChangeNothing) {
    const auto plain = OneOfEach(false), attributed = OneOfEach(true);
    trelTessellation a, b;
    for (size_t i = 0; i < plain.size(); ++i) {
        plain[i]->Tessellate(a, trelTessellationOptions());
        attributed[i]->Tessellate(b, trelTessellationOptions());
    }
    EXPECT_GT(a.GetTriangleCount(), 100u);
    EXPECT_EQ(a.triangleVertices, b.triangleVertices);
    EXPECT_EQ(a.triangleNormals, b.triangleNormals);
    EXPECT_EQ(a.lineStrips, b.lineStrips);
    EXPECT_EQ(a.points, b.points);
    EXPECT_TRUE(b.triangleColors.empty() && b.triangleTexCoords.empty() && b.lineColors.empty() &&
                b.pointColors.empty());
}

TEST(TessellationAttributes, EveryObjectKeepsTheArraysAlignedInOneOutput) {
    for (bool withBlocks : {false, true}) {
        trelTessellation t;
        trelTessellationOptions options;
        options.attributes = true;
        for (const auto& object : OneOfEach(withBlocks))
            object->Tessellate(t, options);
        ExpectAligned(t);
        const geometry_test::Facts facts = Examine(t);
        EXPECT_TRUE(facts.finite);
        EXPECT_TRUE(facts.unitNormals);
        EXPECT_FALSE(t.lineStrips.empty());
        EXPECT_FALSE(t.points.empty());
    }
}

} // namespace

namespace {

TEST(TessellationAttributes, ScrambledFacesDrawTheSameShapeWithAttributes) {
    // Random faces with random (often invalid) indices, and a block of
    // random colour indices and a crease angle: the attributes never change
    // where the triangles, lines and points are, only what they carry.
    geometry_test::ScrambledFaces scrambled(777);
    const auto next = [&scrambled](int range) { return scrambled.Next(range); };
    for (int round = 0; round < 300; ++round) {
        trelFloatPointArray points;
        trelIntArray merged;
        scrambled.Make(points, merged);
        auto block = std::make_shared<trelAttributes>();
        for (int i = 0; i < 6; ++i)
            block->colors.Append(trelChroma(0.2f * static_cast<float>(i), 0, 0));
        for (int i = 0; i < next(45); ++i)
            block->colorIndex.Append(next(7) - 1);
        block->colorPerVertex = next(2) == 0;
        block->creaseAngle = 0.5 * next(8);
        C3DPolyface face;
        face.SetPoints(points, merged);
        const trelTessellation plain = Tessellate(face, false);
        face.SetAttributes(block, next(3));
        const trelTessellation t = Tessellate(face);
        ExpectAligned(t);
        ASSERT_EQ(t.triangleVertices, plain.triangleVertices) << "round " << round;
        ASSERT_EQ(t.lineStrips, plain.lineStrips) << "round " << round;
        ASSERT_EQ(t.points, plain.points) << "round " << round;
        const geometry_test::Facts facts = Examine(t);
        ASSERT_TRUE(facts.finite);
        ASSERT_TRUE(facts.unitNormals);
    }
}

} // namespace
