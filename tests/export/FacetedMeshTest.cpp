// Faceted geometry loses its normals and its vertices split only by them;
// anything a viewer's own flat normals would shade differently keeps them.

#include "export/FacetedMesh.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vrml;

namespace {

// Two triangles of the unit square in the z = 0 plane, wound towards +z,
// split at the diagonal: six vertices, four positions.
ExportGeometry Square(const trelVector& normal) {
    ExportGeometry g;
    const trelFloatPoint corners[6] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (uint32_t i = 0; i < 6; ++i) {
        g.positions.push_back(corners[i]);
        g.normals.push_back(normal);
        g.triangles.push_back(i);
    }
    return g;
}

trelVector Tilted(double degrees) {
    const double a = degrees * 3.14159265358979 / 180.0;
    return trelVector(static_cast<float>(std::sin(a)), 0.0f, static_cast<float>(std::cos(a)));
}

} // namespace

TEST(FacetedMesh, OwnFaceNormalsGoAndSplitVerticesJoin) {
    FacetedMesh faceted;
    ASSERT_TRUE(MakeFacetedMesh(Square(trelVector(0, 0, 1)), faceted));
    EXPECT_EQ(faceted.positions.size(), 4u);
    EXPECT_EQ(faceted.triangles, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(faceted.positions[3], trelFloatPoint(0, 1, 0));
    // Within float noise of the face's direction, and of any length.
    EXPECT_TRUE(MakeFacetedMesh(Square(Tilted(0.001)), faceted));
    EXPECT_TRUE(MakeFacetedMesh(Square(trelVector(0, 0, 3)), faceted));
}

TEST(FacetedMesh, NormalsAViewerWouldNotComputeStay) {
    const struct {
        const char* what;
        ExportGeometry geometry;
    } cases[] = {
        {"tilted a tenth of a degree", Square(Tilted(0.1))},
        {"facing away (the other winding)", Square(trelVector(0, 0, -1))},
        {"no normal", Square(trelVector(0, 0, 0))},
        {"smooth: one corner differs",
         [] {
             ExportGeometry g = Square(trelVector(0, 0, 1));
             g.normals[4] = Tilted(20);
             return g;
         }()},
        {"a triangle without area",
         [] {
             ExportGeometry g = Square(trelVector(0, 0, 1));
             g.positions[1] = g.positions[0];
             return g;
         }()},
        {"no triangles", ExportGeometry()},
    };
    for (const auto& c : cases) {
        FacetedMesh faceted;
        EXPECT_FALSE(MakeFacetedMesh(c.geometry, faceted)) << c.what;
        EXPECT_TRUE(faceted.positions.empty() && faceted.triangles.empty()) << c.what;
    }
}
