#include "TestScene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Transforms, CubesArePlacedByTheTransformsInForceWhereTheyStand) {
    const struct {
        const char* header;
        const char* nodes;
        std::vector<trelFloatPoint> centres;
    } cases[] = {
        // Translations accumulate and end with their separator.
        {V1,
         "Separator { Translation { translation 1 2 3 } Translation { translation 1 0 0 } Cube { } } Cube { }",
         {{2, 2, 3}, {0, 0, 0}}},
        {V1, "MatrixTransform { matrix 1 0 0 0  0 1 0 0  0 0 1 0  5 0 0 1 } Cube { }", {{5, 0, 0}}},
        // Wherever the field stands, it places the children; nothing leaks out.
        {V2,
         "Transform { children [ Box { } ] translation 0 3 0 } Transform { translation 0 0 7 children Box { } }"
         " Transform { children [] } Transform { translation 9 9 9 } Box { }",
         {{0, 3, 0}, {0, 0, 7}, {0, 0, 0}}},
        {V2, "Transform { center 1 0 0 rotation 0 0 1 3.14159265 children Box { } }", {{2, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nodes);
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_EQ(objects.size(), c.centres.size());
        for (size_t i = 0; i < objects.size(); ++i)
            EXPECT_THAT(BoxCentre(objects[i].object), NearPoint(c.centres[i].x, c.centres[i].y, c.centres[i].z));
    }
}

TEST(Transforms, ScalesActAboutTheirOwnOriginAndAxes) {
    LoadedText loaded;
    // The newer factor acts first; missing scale components keep 1.
    auto objects = Build(loaded, V1, "Translation { translation 1 0 0 } Scale { scaleFactor 2 } Cube { }");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_THAT(BoxCentre(objects[0].object), NearPoint(1, 0, 0));
    EXPECT_THAT(static_cast<const trelBox*>(objects[0].object)->GetCorner(6), NearPoint(3, 1, 1));

    // Scale by 2 along an axis turned 90 degrees about z: along y in the file.
    objects = Build(loaded, V2, "Transform { scale 2 1 1 scaleOrientation 0 0 1 1.5707963 children Box { } }");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_NEAR(objects[0].object->GetBBox().GetMax().x, 1.0, 1e-4);
    EXPECT_NEAR(objects[0].object->GetBBox().GetMax().y, 2.0, 1e-4);

    // Used again, a named Transform places exactly as it did, whether it holds
    // a rotation and scale orientation or leaves them as the identity.
    for (const char* fields : {"scale 2 1 1 scaleOrientation 0 0 1 1.5707963 rotation 1 0 0 0.5", "scale 2 1 1"}) {
        SCOPED_TRACE(fields);
        objects = Build(loaded, V2,
                        std::string("DEF T Transform { ") + fields + " children Box { } } Group { children USE T }");
        ASSERT_EQ(objects.size(), 2u);
        for (int corner = 0; corner < 8; ++corner) {
            const trelFloatPoint first = static_cast<const trelBox*>(objects[0].object)->GetCorner(corner);
            const trelFloatPoint again = static_cast<const trelBox*>(objects[1].object)->GetCorner(corner);
            EXPECT_EQ(std::memcmp(&first, &again, sizeof first), 0) << "corner " << corner;
        }
    }
}

TEST(Transforms, NamedTransformRecordsOneEntryAndReplaysUnderTheUse) {
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         "DEF T Transform { translation 0 1 0 children [ Box { } ] }"
                         " Transform { translation 10 0 0 children USE T }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].groupName, "T");
    EXPECT_THAT(BoxCentre(objects[0].object), NearPoint(0, 1, 0));
    EXPECT_EQ(objects[1].groupName, "T");
    EXPECT_THAT(BoxCentre(objects[1].object), NearPoint(10, 1, 0));
    EXPECT_EQ(loaded.world->GetNumGroups(), 2);
}
