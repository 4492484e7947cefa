// Which objects share a unit shape, and that the shape placed by the use's
// matrix is the object's own tessellation up to rounding.

#include "export/ShapeSharing.h"
#include "WorldTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vrml;

using namespace test_worlds;

namespace {

trelMatrix4x4 Turned(const trelFloatPoint& scale, double angle, const trelFloatPoint& move) {
    return GetScaleMatrix(scale) * CreateRotationMatrixForNormalAngle(trelVector(1, 2, 3), angle) *
           GetDisplacementMatrix(move);
}

trelMatrix4x4 Sheared() {
    trelMatrix4x4 m;
    m.m[1][0] = 0.5f;
    return m;
}

std::unique_ptr<trelBaseObject> PlacedBox(const trelMatrix4x4& m) {
    std::unique_ptr<trelBox> box(MakeBox({-1, -2, -3}, {1, 2, 3}));
    box->ApplyMatrixToGeometry(m, false);
    return box;
}

std::unique_ptr<trelBaseObject> PlacedCone(double radius, double height, double top, const trelMatrix4x4& m) {
    auto cone = std::make_unique<trelCone>();
    cone->SetCone(height, radius, top);
    cone->SetXformation(m);
    return cone;
}

std::unique_ptr<trelBaseObject> PlacedCylinder(double radius, double height, double topRatio, double start,
                                               double sweep, const trelMatrix4x4& m) {
    auto cylinder = std::make_unique<trelCylinder>();
    cylinder->SetCylinder(height, radius, topRatio, trelVector(1, 1, 5), start, sweep);
    cylinder->SetXformation(m);
    return cylinder;
}

std::unique_ptr<trelBaseObject> PlacedSphere(const trelFloatPoint& centre, double radius, double longitudeEnd,
                                             double latitudeStart, const trelMatrix4x4& m) {
    auto sphere = std::make_unique<trelSphere>();
    sphere->SetSphere(centre, trelVector(0, 1, 1), trelVector(1, 0, 0.5f), radius, 0.3, longitudeEnd, latitudeStart,
                      3.2);
    sphere->SetXformation(m);
    return sphere;
}

std::unique_ptr<trelBaseObject> PlacedDisk(double inner, double outer, bool filled, const trelMatrix4x4& m) {
    auto disk = std::make_unique<trelDisk>();
    disk->SetDisk(inner, outer, m, filled);
    return disk;
}

void ExpectNear(const trelFloatPoint& a, const trelFloatPoint& b, double tolerance, const char* what, size_t i) {
    EXPECT_NEAR(a.x, b.x, tolerance) << what << " vertex " << i;
    EXPECT_NEAR(a.y, b.y, tolerance) << what << " vertex " << i;
    EXPECT_NEAR(a.z, b.z, tolerance) << what << " vertex " << i;
}

TEST(ShapeSharing, SharedShapePlacedIsTheObjectsOwnTessellation) {
    const trelMatrix4x4 turned = Turned({2, 0.5f, 3}, 0.8, {100, -20, 7});
    struct Row {
        const char* name;
        std::unique_ptr<trelBaseObject> object;
        bool shared;
    };
    Row rows[] = {
        {"turned box", PlacedBox(turned), true},
        {"moved box", PlacedBox(GetDisplacementMatrix({5, 6, 7})), true},
        {"sheared box", PlacedBox(Sheared()), false},
        {"mirrored box", PlacedBox(GetScaleMatrix({-1, 1, 1})), false},
        {"flat box", PlacedBox(GetScaleMatrix({1, 0, 1})), false},
        {"turned cone", PlacedCone(2, 5, 0, turned), true},
        {"cut cone", PlacedCone(2, 5, 1, turned), true},
        {"cone without height", PlacedCone(2, 0, 0, turned), false},
        {"sheared cone", PlacedCone(2, 5, 0, Sheared()), false},
        {"turned cylinder", PlacedCylinder(2, 5, 1, 0, 7, turned), true},
        {"tapered part of a cylinder", PlacedCylinder(0.5, 40, 0.25, 1, 2.5, turned), true},
        {"cylinder without radius", PlacedCylinder(0, 5, 1, 0, 7, turned), false},
        {"cylinder of no top", PlacedCylinder(2, 5, std::nan(""), 0, 7, turned), false},
        {"sheared cylinder", PlacedCylinder(2, 5, 1, 0, 7, Sheared()), false},
        {"turned sphere off centre", PlacedSphere({3, -4, 5}, 2, 7, 0, turned), true},
        {"part of a sphere", PlacedSphere({0, 0, 0}, 7, 2, 0.5, turned), true},
        {"sphere of negative radius", PlacedSphere({1, 2, 3}, -2, 7, 0, turned), true},
        {"sphere without a centre", PlacedSphere({std::nanf(""), 0, 0}, 2, 7, 0, turned), false},
        {"mirrored sphere", PlacedSphere({0, 0, 0}, 2, 7, 0, GetScaleMatrix({1, -1, 1})), false},
        {"ring", PlacedDisk(1, 3, true, turned), true},
        {"ring with radii swapped", PlacedDisk(-3, 1, true, turned), true},
        {"circles of an unfilled ring", PlacedDisk(1, 3, false, turned), true},
        {"ring without a rim", PlacedDisk(1, std::nan(""), true, turned), false},
        {"cone of no top", PlacedCone(2, 5, std::nan(""), turned), false},
    };
    trelTessellationOptions options;
    options.segments = 12;
    for (Row& row : rows) {
        const ShapeUse use = FindShapeUse(*row.object);
        ASSERT_EQ(use.IsShared(), row.shared) << row.name;
        if (!use.IsShared())
            continue;
        trelTessellation own, shape;
        row.object->Tessellate(own, options);
        MakeShape(use)->Tessellate(shape, options);
        ASSERT_EQ(own.GetCounts(), shape.GetCounts()) << row.name;
        const double tolerance =
            1e-5 * std::max(1.0, static_cast<double>(row.object->GetBBox().GetLargestDimension()) + 200.0);
        // Normals go through the inverse transpose, as glTF's do.
        trelMatrix4x4 normals = GetInverseMatrix(use.placement);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < r; ++c)
                std::swap(normals.m[r][c], normals.m[c][r]);
        for (size_t i = 0; i < own.triangleVertices.size(); ++i) {
            ExpectNear(shape.triangleVertices[i] * use.placement, own.triangleVertices[i], tolerance, row.name, i);
            trelVector n = shape.triangleNormals[i] * normals;
            n.Normalize();
            const trelVector& expected = own.triangleNormals[i];
            ExpectNear({n.x, n.y, n.z}, {expected.x, expected.y, expected.z}, 1e-4, row.name, i);
        }
        for (size_t s = 0; s < own.lineStrips.size(); ++s)
            for (size_t i = 0; i < own.lineStrips[s].size(); ++i)
                ExpectNear(shape.lineStrips[s][i] * use.placement, own.lineStrips[s][i], tolerance, row.name, i);
    }
}

TEST(ShapeSharing, ObjectsWithAttributesKeepTheirOwnShape) {
    std::unique_ptr<trelBaseObject> box = PlacedBox(trelMatrix4x4());
    box->SetAttributes(std::make_shared<trelAttributes>());
    EXPECT_FALSE(FindShapeUse(*box).IsShared());
}

// Two primitives that differ in more than size and place must not become one shape.
TEST(ShapeSharing, PrimitivesOfDifferentShapeHaveDifferentKeys) {
    const trelMatrix4x4 moved = GetDisplacementMatrix({1, 2, 3});
    struct Row {
        const char* name;
        std::unique_ptr<trelBaseObject> a, b;
        bool same;
    };
    Row rows[] = {
        {"cylinders of other sizes", PlacedCylinder(1, 2, 1, 0, 7, moved),
         PlacedCylinder(3, 9, 1, 0, 7, trelMatrix4x4()), true},
        {"cylinders tapered apart", PlacedCylinder(1, 2, 1, 0, 7, moved), PlacedCylinder(1, 2, 0.5, 0, 7, moved),
         false},
        {"cylinders swept apart", PlacedCylinder(1, 2, 1, 0, 7, moved), PlacedCylinder(1, 2, 1, 0, 3, moved), false},
        {"cylinders started apart", PlacedCylinder(1, 2, 1, 0, 3, moved), PlacedCylinder(1, 2, 1, 1, 3, moved), false},
        {"spheres of other sizes", PlacedSphere({0, 0, 0}, 1, 7, 0, moved), PlacedSphere({5, 5, 5}, 4, 7, 0, moved),
         true},
        {"spheres of other longitudes", PlacedSphere({0, 0, 0}, 1, 7, 0, moved),
         PlacedSphere({0, 0, 0}, 1, 2, 0, moved), false},
        {"spheres of other latitudes", PlacedSphere({0, 0, 0}, 1, 7, 0, moved),
         PlacedSphere({0, 0, 0}, 1, 7, 0.5, moved), false},
        {"a sphere and a cylinder", PlacedSphere({0, 0, 0}, 1, 7, 0, moved), PlacedCylinder(1, 2, 1, 0, 7, moved),
         false},
    };
    for (const Row& row : rows) {
        const ShapeUse a = FindShapeUse(*row.a), b = FindShapeUse(*row.b);
        ASSERT_TRUE(a.IsShared() && b.IsShared()) << row.name;
        const bool same = !(a.key < b.key) && !(b.key < a.key);
        EXPECT_EQ(same, row.same) << row.name;
    }
}

} // namespace
