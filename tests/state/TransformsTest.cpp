#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

namespace {
std::vector<trelFloatPoint> CubeCentres(const std::string& text) {
    LoadedText loaded = LoadText(text);
    std::vector<trelFloatPoint> centres{trelFloatPoint()}; // stands for the anchor
    for (const FoundObject& found : AllObjects(*loaded.world))
        if (found.object->GetObjectType() == TREL_BOX)
            centres.push_back(BoxCentre(found.object));
    return centres;
}
} // namespace

TEST(Transforms, VrmlOneTranslationsAccumulateAndEndWithTheirSeparator) {
    auto centres = CubeCentres(std::string(V1) + FarAnchor(V1) +
                               "Separator { Translation { translation 1 2 3 } Translation { translation 1 0 0 } "
                               "Cube { } } Cube { }\n");
    ASSERT_EQ(centres.size(), 3u);
    EXPECT_THAT(centres[1], NearPoint(2, 2, 3));
    EXPECT_THAT(centres[2], NearPoint(0, 0, 0));
}

TEST(Transforms, TheNewerFactorActsFirst) {
    LoadedText loaded = LoadText(std::string(V1) + FarAnchor(V1) +
                                 "Translation { translation 1 0 0 } Scale { scaleFactor 2 } Cube { }\n");
    auto objects = AllObjects(*loaded.world);
    ASSERT_EQ(objects.size(), 2u);
    const auto* box = static_cast<const trelBox*>(objects[1].object);
    EXPECT_THAT(BoxCentre(box), NearPoint(1, 0, 0));
    // Scaled by (2, 1, 1) about its own origin: missing components keep 1.
    EXPECT_THAT(box->GetCorner(6), NearPoint(3, 1, 1));
}

TEST(Transforms, MatrixTransformRowsHoldTheTranslationLast) {
    auto centres = CubeCentres(std::string(V1) + FarAnchor(V1) +
                               "MatrixTransform { matrix 1 0 0 0  0 1 0 0  0 0 1 0  5 0 0 1 } Cube { }\n");
    ASSERT_EQ(centres.size(), 2u);
    EXPECT_THAT(centres[1], NearPoint(5, 0, 0));
}

TEST(Transforms, VrmlTwoTransformPlacesChildrenWhereverTheFieldStands) {
    auto centres = CubeCentres(std::string(V2) + FarAnchor(V2) +
                               "Transform { children [ Box { } ] translation 0 3 0 }\n"
                               "Transform { translation 0 0 7 children Box { } }\n"
                               "Transform { children [] } Transform { translation 9 9 9 }\n"
                               "Box { }\n");
    ASSERT_EQ(centres.size(), 4u);
    EXPECT_THAT(centres[1], NearPoint(0, 3, 0));
    EXPECT_THAT(centres[2], NearPoint(0, 0, 7));
    EXPECT_THAT(centres[3], NearPoint(0, 0, 0)); // no transform leaked out
}

TEST(Transforms, RotationAboutTheCentre) {
    auto centres = CubeCentres(std::string(V2) + FarAnchor(V2) +
                               "Transform { center 1 0 0 rotation 0 0 1 3.14159265 children Box { } }\n");
    ASSERT_EQ(centres.size(), 2u);
    EXPECT_THAT(centres[1], NearPoint(2, 0, 0));
}

TEST(Transforms, ScaleOrientationFollowsTheVrmlTwoDefinition) {
    // Scale by 2 along an axis turned 90 degrees about z: along y in the file.
    LoadedText loaded = LoadText(std::string(V2) + FarAnchor(V2) +
                                 "Transform { scale 2 1 1 scaleOrientation 0 0 1 1.5707963 children Box { } }\n");
    auto objects = AllObjects(*loaded.world);
    ASSERT_EQ(objects.size(), 2u);
    trelBBox box = objects[1].object->GetBBox();
    EXPECT_NEAR(box.GetMax().x, 1.0, 1e-4);
    EXPECT_NEAR(box.GetMax().y, 2.0, 1e-4);
}

TEST(Transforms, NamedTransformRecordsOneEntryAndReplaysUnderTheUse) {
    LoadedText loaded = LoadText(std::string(V2) + FarAnchor(V2) +
                                 "DEF T Transform { translation 0 1 0 children [ Box { } ] }\n"
                                 "Transform { translation 10 0 0 children USE T }\n");
    auto objects = AllObjects(*loaded.world);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[1].groupName, "T");
    EXPECT_THAT(BoxCentre(objects[1].object), NearPoint(0, 1, 0));
    EXPECT_EQ(objects[2].groupName, "T");
    EXPECT_THAT(BoxCentre(objects[2].object), NearPoint(10, 1, 0));
    ASSERT_EQ(loaded.world->GetNumGroups(), 2);
}
