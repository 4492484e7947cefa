// A use of a shared face set counts the triangles its own placed points
// give, whether it takes its part's count or triangulates again.

#include "host/geometry/PlacedCount.h"
#include "host/geometry/Geometry.h"
#include "host/geometry/Triangulation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using trelDetail::Vec3;

// A star-shaped outline around the origin in the z = 0 plane (concave when
// the radii vary), lifted out of the plane by `lean` at every other corner.
std::vector<trelFloatPoint> Star(std::mt19937& random, int corners, double lean) {
    std::uniform_real_distribution<double> radius(0.3, 1.0);
    std::vector<trelFloatPoint> outline;
    for (int i = 0; i < corners; ++i) {
        const double angle = 2.0 * trelDetail::kPi * i / corners;
        const double r = radius(random);
        outline.emplace_back(static_cast<float>(r * std::cos(angle)), static_cast<float>(r * std::sin(angle)),
                             static_cast<float>(i % 2 ? lean : 0.0));
    }
    return outline;
}

// One face set of the given faces, each over points of its own.
std::shared_ptr<C3DPolyface> FaceSet(const std::vector<std::vector<trelFloatPoint>>& faces) {
    trelFloatPointArray points;
    trelIntArray indices;
    for (const auto& face : faces) {
        indices.Append(static_cast<int>(face.size()));
        for (const trelFloatPoint& p : face) {
            indices.Append(points.GetSize());
            points.Append(p);
        }
    }
    auto set = std::make_shared<C3DPolyface>();
    set->SetPoints(points, indices);
    return set;
}

trelMatrix4x4 Placement(std::mt19937& random, double scale, double shift, double stretch) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const trelVector axis(static_cast<float>(unit(random)), static_cast<float>(unit(random)), 1.0f);
    const trelFloatPoint along(static_cast<float>(shift * unit(random)), static_cast<float>(shift * unit(random)),
                               static_cast<float>(shift * unit(random)));
    return GetScaleMatrix(trelFloatPoint(static_cast<float>(scale * stretch), static_cast<float>(scale),
                                         static_cast<float>(scale))) *
           CreateRotationMatrixForNormalAngle(axis, 3.0 * unit(random)) * GetDisplacementMatrix(along);
}

trelDetail::PlacedCount CountOf(const C3DPolyface& set) {
    trelDetail::PlacedCount count;
    trelDetail::OutlineTriangulator triangulator;
    trelTessellationCounts counts;
    std::vector<Vec3> outline;
    const auto& points = set.GetPoints().Items();
    const auto& list = set.GetIndices().Items();
    for (size_t at = 0; at < list.size(); at += static_cast<size_t>(list[at]) + 1) {
        outline.clear();
        for (int k = 1; k <= list[at]; ++k)
            outline.emplace_back(points[static_cast<size_t>(list[at + static_cast<size_t>(k)])]);
        count.AddFace(outline);
        triangulator.CountOrTrace(outline, counts);
    }
    count.SetCounts(counts);
    return count;
}

} // namespace

TEST(PlacedCount, AUseCountsWhatItsOwnPointsGiveUnderAnyPlacement) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> corners(3, 12);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const trelTessellationOptions options;
    int taken = 0, cases = 0;
    for (int round = 0; round < 2000; ++round) {
        // Parts of plain, concave, leaning and nearly straight-cornered faces.
        std::vector<std::vector<trelFloatPoint>> faces;
        for (int f = 0; f < 4; ++f)
            faces.push_back(Star(random, corners(random), f == 1 ? 0.05 * unit(random) : 0.0));
        if (round % 3 == 0) { // a corner nearly on the line through its neighbours
            const auto bend = static_cast<float>(std::pow(10.0, -6.0 * unit(random)));
            faces.push_back({{0, 0, 0}, {1, bend, 0}, {2, 0, 0}, {1, 1, 0}});
        }
        const auto local = FaceSet(faces);
        const trelDetail::PlacedCount part = CountOf(*local);
        for (int placement = 0; placement < 6; ++placement) {
            const double scale = std::pow(10.0, 6.0 * unit(random) - 3.0);
            const double shift = scale * std::pow(10.0, 7.0 * unit(random) - 1.0);
            const double stretch = placement % 3 == 2 ? 1.0 + std::pow(10.0, -7.0 * unit(random)) : 1.0;
            const trelMatrix4x4 m = Placement(random, scale, shift, stretch);
            C3DPolyface use;
            use.SetSharedGeometry(local);
            use.ApplyMatrixToGeometry(m, trelBool(true));
            // The same points as a face set of their own, counted and drawn.
            C3DPolyface copy;
            copy.SetPoints(use.GetPoints(), use.GetIndices());
            trelTessellation drawn;
            copy.Tessellate(drawn, options);
            const trelTessellationCounts counted = use.CountTessellation(options);
            ASSERT_EQ(counted, copy.CountTessellation(options)) << "round " << round << ", placement " << placement;
            ASSERT_EQ(counted.triangles, drawn.triangleVertices.size() / 3);
            taken += part.Holds(m) ? 1 : 0;
            ++cases;
        }
    }
    // Both ways of counting are compared above. (With a bound some
    // hundred thousand times looser than PlacedCount's, this finds uses
    // whose count differs from their part's.)
    EXPECT_GT(taken, cases / 8);
    EXPECT_LT(taken, cases);
}

TEST(PlacedCount, OnlyPlacementsCloseToASimilarityOfWellShapedFacesTakeThePartsCount) {
    std::mt19937 random(11);
    const auto part = FaceSet({Star(random, 6, 0.0), Star(random, 9, 0.02), {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}}});
    const trelDetail::PlacedCount count = CountOf(*part);
    EXPECT_EQ(count.Counts().triangles, 4u + 7u + 1u);

    EXPECT_TRUE(count.Holds(trelMatrix4x4()));
    EXPECT_TRUE(count.Holds(Placement(random, 1.0, 100.0, 1.0)));
    EXPECT_TRUE(count.Holds(Placement(random, 1e-3, 0.1, 1.0)));
    EXPECT_TRUE(count.Holds(GetScaleMatrix(trelFloatPoint(-2, 2, 2)))); // a mirror keeps every count
    // Far from the origin against the part's size, placed points round too coarsely.
    EXPECT_FALSE(count.Holds(Placement(random, 1.0, 1e7, 1.0)));
    // Stretched, or projective: not a similarity.
    EXPECT_FALSE(count.Holds(GetScaleMatrix(trelFloatPoint(1, 1.01f, 1))));
    trelMatrix4x4 projective;
    projective.m[0][3] = 0.5f;
    EXPECT_FALSE(count.Holds(projective));
    trelMatrix4x4 flat = GetScaleMatrix(trelFloatPoint(1, 1, 0));
    EXPECT_FALSE(count.Holds(flat));

    // A corner on the line through its neighbours, a doubled point or a
    // point that is not finite: every placement is counted on its own.
    for (const std::vector<trelFloatPoint>& face :
         std::vector<std::vector<trelFloatPoint>>{{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}},
                                                  {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}},
                                                  {{0, 0, 0}, {1, 0, 0}, {INFINITY, 0, 0}, {1, 1, 0}}}) {
        EXPECT_FALSE(CountOf(*FaceSet({Star(random, 5, 0.0), face})).Holds(trelMatrix4x4()));
    }
}
