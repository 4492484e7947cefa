#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

TEST(PrimitiveSolids, CubeAndBoxCornersComeFromTheirExtents) {
    LoadedText loaded;
    auto objects = Build(loaded, V2, "Box { size 4 1 2 } Box { }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_THAT(static_cast<const trelBox*>(objects[0].object)->GetCorner(0), NearPoint(-2, -0.5, -1));
    EXPECT_THAT(static_cast<const trelBox*>(objects[0].object)->GetCorner(6), NearPoint(2, 0.5, 1));
    EXPECT_THAT(static_cast<const trelBox*>(objects[1].object)->GetCorner(2), NearPoint(1, 1, -1));

    objects = Build(loaded, V1, "Cube { width 3 } Scale { scaleFactor 2 2 2 } Cube { }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_THAT(static_cast<const trelBox*>(objects[0].object)->GetCorner(6), NearPoint(1.5, 1, 1));
    EXPECT_THAT(static_cast<const trelBox*>(objects[1].object)->GetCorner(0), NearPoint(-2, -2, -2));
}

TEST(PrimitiveSolids, PartsFollowTheirFlagsAndDegenerateSizesAreRefused) {
    const struct {
        const char* header;
        const char* nodes;
        size_t objects;
    } cases[] = {
        {V2, "Cone { }", 2},
        {V2, "Cone { side FALSE }", 1},
        {V2, "Cone { bottom FALSE }", 1},
        {V2, "Cone { side FALSE bottom FALSE }", 0},
        {V1, "Cone { bottom FALSE }", 2}, // VRML 1.0 always has the base
        {V2, "Cylinder { radius 0 }", 0},
        {V2, "Cylinder { radius 0.0000005 }", 0},
        {V2, "Cylinder { radius 0.00001 }", 3},
        {V2, "Cylinder { height 0 }", 0},
        // BOTTOM wants a truth value, so the reader steps over the "}" after
        // it: the box's fields are read as the cone's, up to the next "}".
        {V2, "Cone { parts BOTTOM } Box { } }", 2},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        EXPECT_EQ(Build(loaded, c.header, c.nodes).size(), c.objects) << c.nodes;
    }
    // A cone stands on the y axis, centred on its height.
    LoadedText loaded;
    auto objects = Build(loaded, V2, "Cone { bottomRadius 2 height 4 }");
    ASSERT_EQ(objects.size(), 2u);
    const trelBBox box = objects[0].object->GetBBox();
    EXPECT_THAT(box.GetMin(), NearPoint(-2, -2, -2));
    EXPECT_THAT(box.GetMax(), NearPoint(2, 2, 2));
    EXPECT_EQ(objects[1].object->GetObjectType(), TREL_DISK);
}

TEST(PrimitiveSolids, CylinderCapsFollowScaleAndPartBinding) {
    LoadedText loaded;
    auto objects =
        Build(loaded, V1,
              "Separator { MaterialBinding { value PER_PART } Material { diffuseColor [ 1 0 0, 0 1 0, 0 0 1 ] }"
              " Cylinder { } } Scale { scaleFactor 3 3 3 } DEF C Cylinder { radius 1 height 2 } USE C");
    ASSERT_EQ(objects.size(), 9u);
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), trelChroma(1, 0, 0));
    EXPECT_EQ(objects[1].props->front.GetDiffuse(), trelChroma(0, 1, 0));
    EXPECT_EQ(objects[2].props->front.GetDiffuse(), trelChroma(0, 0, 1));
    EXPECT_EQ(objects[3].object->GetObjectName().GetString(), "C");
    for (size_t i : {4, 5, 7, 8})
        EXPECT_NEAR(static_cast<const trelDisk*>(objects[i].object)->GetRadius(), 3.0, 1e-4);
    // The far cap lies at the top of the scaled cylinder.
    EXPECT_NEAR(objects[5].object->GetBBox().GetMin().y, 3.0, 1e-4);
    EXPECT_NEAR(objects[5].object->GetBBox().GetMax().y, 3.0, 1e-4);
}

TEST(PrimitiveSolids, SphereIsPlacedByTheMatrixAlone) {
    LoadedText loaded;
    auto objects = Build(loaded, V1, "Translation { translation 1 2 3 } Sphere { radius 2 }");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(static_cast<const trelSphere*>(objects[0].object)->GetRadius(), 2.0);
    EXPECT_THAT(objects[0].object->GetBBox().GetMax(), NearPoint(3, 4, 5));
}
