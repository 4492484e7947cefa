#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>


TEST(PrimitiveSolids, CubeAndBoxCornersComeFromTheirExtents) {
    LoadedText loaded;
    auto objects = Build(loaded, V2, "Box { size 4 1 2 } Box { }");
    ASSERT_EQ(objects.size(), 2u);
    const auto* box = static_cast<const trelBox*>(objects[0].object);
    EXPECT_THAT(box->GetCorner(0), NearPoint(-2, -0.5, -1));
    EXPECT_THAT(box->GetCorner(6), NearPoint(2, 0.5, 1));
    EXPECT_THAT(static_cast<const trelBox*>(objects[1].object)->GetCorner(2), NearPoint(1, 1, -1));

    objects = Build(loaded, V1, "Cube { width 3 } Scale { scaleFactor 2 2 2 } Cube { }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_THAT(static_cast<const trelBox*>(objects[0].object)->GetCorner(6), NearPoint(1.5, 1, 1));
    EXPECT_THAT(static_cast<const trelBox*>(objects[1].object)->GetCorner(0), NearPoint(-2, -2, -2));
}

TEST(PrimitiveSolids, ConePartsFollowTheirFlagsAndVersion) {
    const struct {
        const char* header;
        const char* node;
        size_t objects;
    } cases[] = {
        {V2, "Cone { }", 2},
        {V2, "Cone { side FALSE }", 1},
        {V2, "Cone { bottom FALSE }", 1},
        {V2, "Cone { side FALSE bottom FALSE }", 0},
        {V1, "Cone { bottom FALSE }", 2}, // VRML 1.0 always has the base
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.node);
        EXPECT_EQ(objects.size(), c.objects) << c.node;
    }
    LoadedText loaded;
    auto objects = Build(loaded, V2, "Cone { bottomRadius 2 height 4 }");
    ASSERT_EQ(objects.size(), 2u);
    const auto* cone = static_cast<const trelCone*>(objects[0].object);
    EXPECT_EQ(cone->GetHeight(), 4.0);
    EXPECT_EQ(cone->GetRadius(), 2.0);
    // Stands on the y axis between -2 and 2.
    trelBBox box = cone->GetBBox();
    EXPECT_NEAR(box.GetMin().y, -2.0, 1e-4);
    EXPECT_NEAR(box.GetMax().y, 2.0, 1e-4);
    EXPECT_EQ(objects[1].object->GetObjectType(), TREL_DISK);
}

TEST(PrimitiveSolids, DegenerateCylindersAreRefused) {
    const std::pair<const char*, size_t> cases[] = {
        {"Cylinder { radius 0 }", 0}, {"Cylinder { radius 0.0000005 }", 0}, {"Cylinder { radius 0.00001 }", 3},
        {"Cylinder { height 0 }", 0},
    };
    for (const auto& [node, count] : cases) {
        LoadedText loaded;
        EXPECT_EQ(Build(loaded, V2, node).size(), count) << node;
    }
}

TEST(PrimitiveSolids, CylinderCapsFollowScaleAndPartBinding) {
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         "Separator { MaterialBinding { value PER_PART } Material { diffuseColor [ 1 0 0, 0 1 0, 0 0 1 ] }"
                         " Cylinder { } }"
                         "Scale { scaleFactor 3 3 3 } DEF C Cylinder { radius 1 height 2 } USE C");
    ASSERT_EQ(objects.size(), 9u);
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), trelChroma(1, 0, 0));
    EXPECT_EQ(objects[1].props->front.GetDiffuse(), trelChroma(0, 1, 0));
    EXPECT_EQ(objects[2].props->front.GetDiffuse(), trelChroma(0, 0, 1));
    for (int i : {4, 5, 7, 8}) {
        const auto* cap = static_cast<const trelDisk*>(objects[static_cast<size_t>(i)].object);
        EXPECT_NEAR(cap->GetRadius(), 3.0, 1e-4);
    }
    EXPECT_EQ(objects[3].object->GetObjectName().GetString(), "C");
    // The far cap lies at the top of the scaled cylinder.
    trelBBox top = objects[5].object->GetBBox();
    EXPECT_NEAR(top.GetMin().y, 3.0, 1e-4);
    EXPECT_NEAR(top.GetMax().y, 3.0, 1e-4);
}

TEST(PrimitiveSolids, SphereIsPlacedByTheMatrixAlone) {
    LoadedText loaded;
    auto objects = Build(loaded, V1, "Translation { translation 1 2 3 } Sphere { radius 2 }");
    ASSERT_EQ(objects.size(), 1u);
    const auto* sphere = static_cast<const trelSphere*>(objects[0].object);
    EXPECT_EQ(sphere->GetRadius(), 2.0);
    EXPECT_EQ(sphere->GetXformation()(3, 1), 2.0f);
    trelBBox box = sphere->GetBBox();
    EXPECT_THAT(box.GetMax(), NearPoint(3, 4, 5));
}

TEST(PrimitiveSolids, AMissingBooleanPassesOverTheNextToken) {
    // "parts BOTTOM" in a cone: BOTTOM wants a truth value, so the reader
    // steps over the "}" after it and reads on to the next one.
    LoadedText loaded;
    auto objects = Build(loaded, V2, "Cone { parts BOTTOM } Box { } }");
    EXPECT_EQ(objects.size(), 2u); // the box's fields were read as the cone's
}
