// Units and axes asked for at export (KiCad's 0.1 inch, a file drawn with Z
// up), and scenes joined into one object per material.

#include "WorldTestSupport.h"
#include "export/ExportScene.h"
#include "export/MergeByMaterial.h"

#include <gtest/gtest.h>

using namespace vrml;
using namespace test_worlds;

namespace {

ExportScene Export(const C3DWorld& world, const OutputFrame& frame, bool instancing = false) {
    ExportOptions options;
    options.frame = frame;
    options.instancing = instancing;
    return BuildExportScene(world, options);
}

trelVector Cross(const trelFloatPoint& a, const trelFloatPoint& b, const trelFloatPoint& c) {
    return CrossProduct(b - a, c - a);
}

float Dot(const trelVector& a, const trelVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Z up turns (x, y, z) into (x, z, -y): a rotation, so every face still
// winds counter-clockwise about its normal. A scale of 2 is exact in floats.
TEST(OutputFrame, ZUpTurnsPointsAndNormalsAndKeepsTheWinding) {
    const auto world = HandBuiltWorld();
    const ExportScene plain = Export(*world, OutputFrame());
    OutputFrame frame;
    frame.scale = 2.0;
    frame.zUp = true;
    const ExportScene turned = Export(*world, frame);
    ASSERT_EQ(turned.objects.size(), plain.objects.size());
    for (size_t o = 0; o < plain.objects.size(); ++o) {
        const ExportObject& a = plain.objects[o];
        const ExportObject& b = turned.objects[o];
        ASSERT_EQ(a.positions.size(), b.positions.size());
        ASSERT_EQ(a.triangles, b.triangles);
        for (size_t i = 0; i < a.positions.size(); ++i) {
            EXPECT_EQ(b.positions[i].x, 2 * a.positions[i].x);
            EXPECT_EQ(b.positions[i].y, 2 * a.positions[i].z);
            EXPECT_EQ(b.positions[i].z, -2 * a.positions[i].y);
            EXPECT_EQ(b.normals[i].x, a.normals[i].x);
            EXPECT_EQ(b.normals[i].y, a.normals[i].z);
            EXPECT_EQ(b.normals[i].z, -a.normals[i].y);
        }
        for (size_t t = 0; t + 2 < b.triangles.size(); t += 3) {
            const trelFloatPoint* p = b.positions.data();
            const trelVector face = Cross(p[b.triangles[t]], p[b.triangles[t + 1]], p[b.triangles[t + 2]]);
            EXPECT_GE(Dot(face, b.normals[b.triangles[t]]), 0.0f) << "object " << o << " triangle " << t / 3;
        }
        ASSERT_EQ(a.lineStrips.size(), b.lineStrips.size());
        for (size_t s = 0; s < a.lineStrips.size(); ++s)
            for (size_t k = 0; k < a.lineStrips[s].size(); ++k)
                EXPECT_EQ(b.lineStrips[s][k].y, 2 * a.lineStrips[s][k].z);
        ASSERT_EQ(a.points.size(), b.points.size());
        for (size_t k = 0; k < a.points.size(); ++k)
            EXPECT_EQ(b.points[k].z, -2 * a.points[k].y);
    }
    const trelBBox box = turned.GetBounds(), expected = frame.Box(plain.GetBounds());
    EXPECT_EQ(box.GetMin().y, expected.GetMin().y);
    EXPECT_EQ(box.GetMax().z, expected.GetMax().z);
}

// An instance's placement carries the frame: placed, it lies where the
// object's own geometry lies when nothing is shared.
TEST(OutputFrame, InstancesArePlacedInTheFrame) {
    const LoadedText loaded = LoadText(std::string(V2) + FarAnchor(V2) + R"(
        Transform { translation 1 2 3 rotation 0 1 0 0.5 children DEF Part Shape { geometry Box { size 1 2 3 } } }
        Transform { translation -4 0 7 scale 2 2 2 children USE Part })");
    ASSERT_EQ(loaded.result, 0);
    OutputFrame frame;
    frame.scale = KicadUnitInMetres;
    frame.zUp = true;
    const ExportScene own = Export(*loaded.world, frame, false);
    const ExportScene shared = Export(*loaded.world, frame, true);
    ASSERT_EQ(shared.shapes.size(), 1u);
    ASSERT_EQ(own.objects.size(), shared.objects.size());
    size_t instances = 0;
    for (size_t o = 0; o < own.objects.size(); ++o) {
        if (shared.objects[o].shape < 0)
            continue;
        ++instances;
        ExportGeometry placed;
        const ExportGeometry& geometry = WorldGeometryOf(shared, shared.objects[o], placed);
        trelBBox a, b;
        for (const trelFloatPoint& p : own.objects[o].positions)
            a.AddPoint(p);
        for (const trelFloatPoint& p : geometry.positions)
            b.AddPoint(p);
        EXPECT_THAT(b.GetMin(), NearPoint(a.GetMin().x, a.GetMin().y, a.GetMin().z));
        EXPECT_THAT(b.GetMax(), NearPoint(a.GetMax().x, a.GetMax().y, a.GetMax().z));
    }
    EXPECT_EQ(instances, 2u);
}

// The hand-built world has a red box and a red dot, a blue ball and a green
// line: three looks, in order of first use, each in one object of the root.
TEST(MergeByMaterial, OneObjectPerLookHoldsAllItsGeometry) {
    const auto world = HandBuiltWorld();
    const ExportScene scene = Export(*world, OutputFrame());
    const ExportScene merged = MergeByMaterial(Export(*world, OutputFrame()));
    ASSERT_EQ(merged.groups.size(), 1u);
    ASSERT_EQ(merged.objects.size(), 3u);
    EXPECT_EQ(merged.groups[0].objects, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(merged.objects[0].name, "material 0");
    EXPECT_EQ(merged.GetTriangleCount(), scene.GetTriangleCount());
    EXPECT_EQ(merged.GetLineStripCount(), scene.GetLineStripCount());
    EXPECT_EQ(merged.GetPointCount(), scene.GetPointCount());
    const ExportObject& red = merged.objects[0];
    EXPECT_EQ(red.material, scene.objects[0].material);
    EXPECT_EQ(red.GetTriangleCount(), scene.objects[0].GetTriangleCount());
    ASSERT_EQ(red.points.size(), 1u);
    EXPECT_THAT(red.points[0], NearPoint(0, 10, 0));
    const trelBBox box = merged.GetBounds(), expected = scene.GetBounds();
    EXPECT_THAT(box.GetMin(), NearPoint(expected.GetMin().x, expected.GetMin().y, expected.GetMin().z));
    EXPECT_THAT(box.GetMax(), NearPoint(expected.GetMax().x, expected.GetMax().y, expected.GetMax().z));
}

// A material with a texture, or with the file's colours, is a look apart;
// the joined colours keep their order: triangles', then strips', then points'.
TEST(MergeByMaterial, TexturesAndColoursSplitALookAndKeepTheirOrder) {
    const auto world = AttributeWorld();
    const ExportScene merged = MergeByMaterial(Export(*world, OutputFrame()));
    ASSERT_EQ(merged.objects.size(), 3u);
    EXPECT_EQ(merged.objects[0].name, "material 0"); // the coloured faces
    EXPECT_EQ(merged.objects[1].name, "material 1"); // the pictured square
    EXPECT_EQ(merged.objects[2].name, "material 1.2");
    EXPECT_EQ(merged.objects[1].texture, 0);
    EXPECT_TRUE(merged.objects[1].HasTexCoords());
    const ExportObject& lines = merged.objects[2];
    ASSERT_EQ(lines.lineStrips.size(), 1u);
    ASSERT_EQ(lines.points.size(), 2u);
    ASSERT_EQ(lines.colors.size(), 5u);
    EXPECT_EQ(lines.GetPointColorStart(), 3u);
    EXPECT_EQ(lines.colors[2].blue, 1.0f); // the strip's last point
    EXPECT_EQ(lines.colors[3].red, 1.0f);  // the first dot
    EXPECT_EQ(lines.colors[4].green, 1.0f);
}

} // namespace
