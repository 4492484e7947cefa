#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

using geometry_test::Examine;
using geometry_test::Facts;
using geometry_test::kPi;
using geometry_test::Tessellated;

namespace {

using Maker = std::function<std::unique_ptr<trelBaseObject>(const trelMatrix4x4&)>;

struct Shape {
    std::string name;
    bool closed;
    Maker make;
};

std::unique_ptr<trelBaseObject> Sphere(const trelMatrix4x4& m, double radius, trelFloatPoint center = {},
                                       double lon0 = 0, double lon1 = 2 * kPi, double lat0 = 0, double lat1 = kPi) {
    auto sphere = std::make_unique<trelSphere>();
    sphere->SetSphere(center, {1, 0, 0}, {0, 0, 1}, radius, lon0, lon1, lat0, lat1);
    sphere->SetXformation(m);
    return sphere;
}

std::unique_ptr<trelBaseObject> Cylinder(const trelMatrix4x4& m, double height, double radius, double ratio = 1.0,
                                         double start = 0.0, double sweep = 2 * kPi) {
    auto cylinder = std::make_unique<trelCylinder>();
    cylinder->SetCylinder(height, radius, ratio, {1, 0, 0}, start, sweep);
    cylinder->SetXformation(m);
    return cylinder;
}

std::unique_ptr<trelBaseObject> Cone(const trelMatrix4x4& m, double height, double bottom, double top = 0.0) {
    auto cone = std::make_unique<trelCone>();
    cone->SetCone(height, bottom, top);
    cone->SetXformation(m);
    return cone;
}

std::unique_ptr<trelBaseObject> Disk(const trelMatrix4x4& m, double inner, double outer) {
    auto disk = std::make_unique<trelDisk>();
    disk->SetDisk(inner, outer, m, true);
    return disk;
}

std::unique_ptr<trelBox> Cuboid(float a, float b, float c, const trelMatrix4x4& m) {
    trelFloatPoint corners[8] = {{-a, -b, -c}, {a, -b, -c}, {a, b, -c}, {-a, b, -c},
                                 {-a, -b, c},  {a, -b, c},  {a, b, c},  {-a, b, c}};
    for (trelFloatPoint& p : corners)
        p = p * m;
    auto box = std::make_unique<trelBox>();
    box->SetBox(corners);
    return box;
}

// The shapes exactly as the loader sets them up, with its float angle constants.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {"sphere", true,
         [](const trelMatrix4x4& m) {
             return Sphere(m, 1.5, {0.5f, -1, 0}, 0, 6.2831860, 0, 3.1415930);
         }},
        {"sphere part", false, [](const trelMatrix4x4& m) { return Sphere(m, 2, {}, 0.3, 2.5, 0.4, 2.0); }},
        {"cylinder", false, [](const trelMatrix4x4& m) { return Cylinder(m, 2, 1, 1.0, 0.0, 6.2831860); }},
        {"cylinder part", false, [](const trelMatrix4x4& m) { return Cylinder(m, 3, 1, 0.5, 1.0, 2.0); }},
        {"cone", false, [](const trelMatrix4x4& m) { return Cone(m, 2, 1); }},
        {"frustum", false, [](const trelMatrix4x4& m) { return Cone(m, -1.5, 1, 0.4); }},
        {"disk", false, [](const trelMatrix4x4& m) { return Disk(m, 0, 2); }},
        {"ring", false, [](const trelMatrix4x4& m) { return Disk(m, 1, 2); }},
        {"box", true, [](const trelMatrix4x4& m) { return Cuboid(1, 2, 3, m); }},
    };
    return shapes;
}

trelMatrix4x4 Sheared() {
    trelMatrix4x4 m = CreateRotationMatrixForNormalAngle({0, 1, 1}, 0.4);
    m(1, 0) += 0.5f;
    m(3, 2) = -2.0f;
    return m;
}

const std::vector<trelMatrix4x4>& Placements() {
    static const std::vector<trelMatrix4x4> placements = {
        trelMatrix4x4(),
        GetScaleMatrix({1, 2, 0.5f}) * CreateRotationMatrixForNormalAngle({1, 2, 3}, 0.7) *
            GetDisplacementMatrix({3, -4, 5}),
        GetScaleMatrix({-1, 1, 1}) * CreateRotationMatrixForNormalAngle({0, 0, 1}, 0.3) *
            GetDisplacementMatrix({1, 1, 1}),
        Sheared(),
    };
    return placements;
}

// Corners within `tolerance` of the expected ones.
void ExpectBox(const trelBBox& box, const trelFloatPoint& low, const trelFloatPoint& high, double tolerance) {
    ASSERT_FALSE(box.IsEmpty());
    EXPECT_NEAR(trelVector(low, box.GetMin()).Length(), 0.0, tolerance);
    EXPECT_NEAR(trelVector(high, box.GetMax()).Length(), 0.0, tolerance);
}

} // namespace

TEST(GeometryObjects, SurfacesHaveSoundNormalsAndTheirExactBoxUnderAnyPlacement) {
    for (const Shape& shape : Shapes())
        for (size_t k = 0; k < Placements().size(); ++k) {
            SCOPED_TRACE(shape.name + " under placement " + std::to_string(k));
            const auto object = shape.make(Placements()[k]);
            const trelTessellation t = Tessellated(*object, 512);
            const Facts facts = Examine(t);
            EXPECT_GT(facts.triangles, 0u);
            EXPECT_TRUE(facts.finite);
            EXPECT_TRUE(facts.unitNormals);
            EXPECT_TRUE(facts.windingFollowsNormals);
            // Finely divided, a surface normal is nearly its triangle's normal.
            EXPECT_GT(facts.worstNormalAgreement, 0.98);
            // ... and the tessellation reaches the exact box.
            const trelBBox exact = object->GetBBox();
            ExpectBox(facts.box, exact.GetMin(), exact.GetMax(), 1e-4 * exact.GetLargestDimension());
            // A closed solid is convex here and centred in its box: it faces away from that centre.
            const trelFloatPoint center = exact.GetMin() + trelVector(exact.GetMin(), exact.GetMax()) * 0.5f;
            for (size_t i = 0; shape.closed && i < t.triangleVertices.size(); ++i)
                ASSERT_GT(DotProduct(t.triangleNormals[i], trelVector(center, t.triangleVertices[i])), 0.0);
        }
}

TEST(GeometryObjects, ExactBoxOfKnownPlacements) {
    ExpectBox(Sphere(trelMatrix4x4(), 1)->GetBBox(), {-1, -1, -1}, {1, 1, 1}, 1e-6);
    ExpectBox(Sphere(GetScaleMatrix({1, 2, 3}) * GetDisplacementMatrix({1, 1, 1}), 2)->GetBBox(), {-1, -3, -5},
              {3, 5, 7}, 1e-5);
    // A circle of radius 2 about (1, 2, 3) facing along (1, 0, 1) reaches
    // 2 * sqrt(1 - n_i^2) along axis i.
    const float reach = static_cast<float>(std::sqrt(2.0));
    ExpectBox(Disk(CreateMatrixFromPlane(trelPlane({1, 2, 3}, {1, 0, 1})), 0, 2)->GetBBox(), {1 - reach, 0, 3 - reach},
              {1 + reach, 4, 3 + reach}, 1e-5);
}

TEST(GeometryObjects, TessellatedAreaApproachesTheTrueArea) {
    const trelMatrix4x4 identity;
    const trelMatrix4x4 turnedAndMirrored =
        GetScaleMatrix({-3, 3, 3}) * CreateRotationMatrixForNormalAngle({1, 1, 0}, 1);
    struct Case {
        std::string name;
        std::unique_ptr<trelBaseObject> object;
        double area;
    };
    Case cases[] = {
        {"sphere", Sphere(identity, 2), 4 * kPi * 4},
        {"scaled mirrored sphere", Sphere(turnedAndMirrored, 2), 4 * kPi * 36},
        {"hemisphere", Sphere(identity, 1, {}, 0, 2 * kPi, 0, kPi / 2), 2 * kPi},
        {"cylinder", Cylinder(identity, 3, 1.5), 2 * kPi * 1.5 * 3},
        {"half cylinder", Cylinder(identity, 3, 1.5, 1.0, 0.5, kPi), kPi * 1.5 * 3},
        {"cone", Cone(identity, 2, 1), kPi * std::sqrt(5.0)},
        {"frustum", Cone(identity, 1, 2, 1), kPi * 3 * std::sqrt(2.0)},
        {"upside-down cone", Cone(identity, 2, 0, 1), kPi * std::sqrt(5.0)},
        {"disk", Disk(identity, 0, 2), 4 * kPi},
        {"ring", Disk(identity, 1, 2), 3 * kPi},
        {"box", Cuboid(0.5f, 1, 1.5f, turnedAndMirrored), 9 * 2 * (1 * 2 + 2 * 3 + 3 * 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Facts facts = Examine(Tessellated(*c.object, 512));
        EXPECT_NEAR(facts.area, c.area, 1e-4 * c.area);
        EXPECT_TRUE(facts.windingFollowsNormals);
    }
}

TEST(GeometryObjects, PlacedSurfaceTakesNewMatricesAfterItsPlacement) {
    auto sphere = Sphere(GetDisplacementMatrix({1, 0, 0}), 1);
    sphere->ApplyMatrixToGeometry(GetScaleMatrix({2, 2, 2}), true);
    ExpectBox(sphere->GetBBox(), {0, -2, -2}, {4, 2, 2}, 1e-6);

    auto disk = Disk(GetDisplacementMatrix({1, 0, 0}), 0, 1);
    disk->ApplyMatrixToGeometry(GetScaleMatrix({2, 2, 2}), true);
    ExpectBox(disk->GetBBox(), {0, -2, 0}, {4, 2, 0}, 1e-6);
}

TEST(GeometryObjects, ClosedPolylineReturnsToItsStart) {
    trelFloatPointArray points;
    for (const trelFloatPoint& p : {trelFloatPoint(0, 0, 0), trelFloatPoint(1, 0, 0), trelFloatPoint(1, 1, 0)})
        points.Append(p);
    for (int closed : {0, 1}) {
        C3DPolyline line;
        line.SetPolyline(points, closed);
        const trelTessellation t = Tessellated(line);
        ASSERT_EQ(t.lineStrips.size(), 1u);
        EXPECT_EQ(t.lineStrips[0].size(), closed ? 4u : 3u);
        EXPECT_EQ(t.lineStrips[0].back(), closed ? points[0] : points[2]);
    }
}

TEST(GeometryObjects, SegmentOptionIsBounded) {
    for (int segments : {-5, 0, 2, 1 << 30}) {
        SCOPED_TRACE(segments);
        const Facts facts = Examine(Tessellated(*Cylinder(trelMatrix4x4(), 1, 1), segments));
        EXPECT_GE(facts.triangles, 6u);
        EXPECT_LE(facts.triangles, 2u * 4096u);
        EXPECT_TRUE(facts.finite);
    }
}

TEST(GeometryObjects, DegenerateSolidsGiveNoNaN) {
    const trelMatrix4x4 flattened = GetScaleMatrix({1, 0, 1});
    trelMatrix4x4 zero = GetScaleMatrix({0, 0, 0});
    std::unique_ptr<trelBaseObject> objects[] = {
        Sphere(trelMatrix4x4(), 0),
        Sphere(flattened, 1),
        Sphere(zero, 1),
        Cylinder(trelMatrix4x4(), 0, 1),
        Cylinder(flattened, 1, 1),
        Cone(trelMatrix4x4(), 0, 1),
        Cone(trelMatrix4x4(), 1, 0),
        Disk(zero, 0, 1),
        Disk(trelMatrix4x4(), 1, 1),
        Sphere(trelMatrix4x4(), 1, {}, 1, 1, 0, kPi),
        Cuboid(0, 0, 0, trelMatrix4x4()),
    };
    for (const auto& object : objects) {
        const Facts facts = Examine(Tessellated(*object));
        EXPECT_TRUE(facts.finite);
        EXPECT_TRUE(facts.unitNormals);
        const trelBBox box = object->GetBBox();
        EXPECT_TRUE(std::isfinite(box.GetLargestDimension()));
    }
}
