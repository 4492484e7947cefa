#include "TestScene.h"

#include <gtest/gtest.h>

namespace {
const std::vector<trelFloatPoint>& PointsOf(const trelBaseObject* object) {
    if (object->GetObjectType() == TREL_POLYMESH)
        return static_cast<const C3DPolyMesh*>(object)->GetPoints().Items();
    return static_cast<const C3DPolyline*>(object)->GetPoints().Items();
}

std::string Grid(const std::string& fields) { return "Shape { geometry ElevationGrid { " + fields + " } }\n"; }
} // namespace

// Heights run along x first; a mesh row holds one x, a wireframe has the
// lines along z, then those along x. A nested Color node's brace does not end
// the grid: the fields after it are read, and so is the box after the grid.
TEST(ElevationGrid, SolidGridIsOneMeshAndOtherwiseAWireframe) {
    using ::testing::ElementsAre;
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         Grid("color Color { color [ 1 0 0 ] } xDimension 2 zDimension 2 xSpacing 1"
                              " zSpacing 1 height [ 0 1 2 3 ]") +
                             "Shape { geometry Box { } }\n");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1].object->GetObjectType(), TREL_BOX);
    const auto* mesh = static_cast<const C3DPolyMesh*>(objects[0].object);
    ASSERT_EQ(mesh->GetObjectType(), TREL_POLYMESH);
    EXPECT_EQ(mesh->GetRows(), 2);
    EXPECT_EQ(mesh->GetColumns(), 2);
    EXPECT_THAT(PointsOf(mesh),
                ElementsAre(NearPoint(0, 0, 0), NearPoint(0, 2, 1), NearPoint(1, 1, 0), NearPoint(1, 3, 1)));

    objects = Build(loaded, V2, Grid("xDimension 3 zDimension 2 xSpacing 2 zSpacing 0.5 height [ 0 1 2 3 4 5 ]"));
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_THAT(PointsOf(objects[0].object)[5], NearPoint(4, 5, 0.5));

    objects = Build(loaded, V2, Grid("solid FALSE xDimension 2 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1 2 3 ]"));
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[3].object->GetObjectType(), TREL_POLYLINE);
    EXPECT_THAT(PointsOf(objects[0].object), ElementsAre(NearPoint(0, 0, 0), NearPoint(0, 2, 1)));
    EXPECT_THAT(PointsOf(objects[1].object), ElementsAre(NearPoint(1, 1, 0), NearPoint(1, 3, 1)));
    EXPECT_THAT(PointsOf(objects[2].object), ElementsAre(NearPoint(0, 0, 0), NearPoint(1, 1, 0)));
    EXPECT_THAT(PointsOf(objects[3].object), ElementsAre(NearPoint(0, 2, 1), NearPoint(1, 3, 1)));
}

TEST(ElevationGrid, MalformedGridsBuildNothingAndFail) {
    const char* cases[] = {
        "xDimension 2 zDimension 2 zSpacing 1 height [ 0 1 2 3 ]",                // spacing left at 0
        "xDimension 2 zDimension 2 xSpacing 1 zSpacing 1",                        // no heights
        "xDimension 2 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1 2 ]",       // one height short
        "xDimension 0.0000001 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1 ]", // degenerate dimension
        "xDimension 1e400 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1 ]",     // beyond double
        // 10^12 points: refused by its short height list before any allocation
        "xDimension 1000000 zDimension 1000000 xSpacing 1 zSpacing 1 height [ 0 1 2 3 ]",
        "solid FALSE xDimension 1000000 zDimension 1000000 xSpacing 1 zSpacing 1 height [ 0 1 2 3 ]",
    };
    for (const char* fields : cases) {
        PositionedParser positioned("DEF G ElevationGrid { " + std::string(fields) + " }");
        positioned.parser.ParseBlock();
        EXPECT_EQ(positioned.world.GetNumObjects(), 0) << fields;
        EXPECT_EQ(positioned.parser.FindObjectInDictionary("G"), nullptr) << fields; // refused, not recorded
        PositionedParser again("ElevationGrid { " + std::string(fields) + " }");
        EXPECT_EQ(again.parser.ParseElevationGrid(), 0) << fields;
    }
}

TEST(ElevationGrid, DimensionsBelowOneOrNegativeGiveNoPoints) {
    const std::pair<const char*, size_t> cases[] = {
        {"xDimension 0.5 zDimension 4 xSpacing 1 zSpacing 1 height [ 0 ]", 1}, // an empty mesh
        {"xDimension -3 zDimension -3 xSpacing 1 zSpacing 1 height [ 0 ]", 1},
        {"solid FALSE xDimension -3 zDimension 4 xSpacing 1 zSpacing 1 height [ 0 ]", 0},
    };
    for (const auto& [fields, count] : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, V2, Grid(fields));
        ASSERT_EQ(objects.size(), count) << fields;
        for (const auto& found : objects)
            EXPECT_TRUE(PointsOf(found.object).empty()) << fields;
    }
}

TEST(ElevationGrid, FractionalXDimensionKeepsItsFractionInHeightIndex) {
    // X = 2 columns, but heights are looked up at i + j * 2.7 and the point
    // list holds trunc(2.7 * 2) = 5 points.
    LoadedText loaded;
    auto objects = Build(loaded, V2, Grid("xDimension 2.7 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1 2 3 4 5 ]"));
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(static_cast<const C3DPolyMesh*>(objects[0].object)->GetRows(), 2);
    EXPECT_THAT(PointsOf(objects[0].object),
                ::testing::ElementsAre(NearPoint(0, 0, 0), NearPoint(0, 2, 1), NearPoint(1, 1, 0), NearPoint(1, 3, 1),
                                       NearPoint(0, 0, 0)));
}

// The far corner of the last line along x depends on every field the entry
// keeps: dimensions, spacings, heights and the wireframe flag.
TEST(ElevationGrid, UseReplaysTheGridUnderTheTransformOfItsPlace) {
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         "Transform { translation 0 5 0 children Shape { geometry DEF G ElevationGrid { solid FALSE"
                         " xDimension 2 zDimension 3 xSpacing 1 zSpacing 2 height [ 0 1 2 3 4 5 ] } } }\n"
                         "Transform { translation 10 0 0 children Shape { geometry USE G } }\n");
    ASSERT_EQ(objects.size(), 10u); // 2 + 3 lines, twice: the use's at the root, then the group G
    EXPECT_EQ(objects[5].object->GetObjectName().GetString(), "G");
    EXPECT_THAT(PointsOf(objects[9].object).back(), NearPoint(1, 10, 4)); // raised by the translation
    EXPECT_THAT(PointsOf(objects[4].object).back(), NearPoint(11, 5, 4));
}

TEST(ElevationGrid, HeightsBeyondTheFloatRangeReachNoObject) {
    LoadedText loaded;
    auto objects = Build(loaded, V2,
                         Grid("xDimension 2 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1e39 2 3 ]") +
                             Grid("solid FALSE xDimension 2 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 1e39 2 3 ]") +
                             Grid("xDimension 2 zDimension 2 xSpacing 1e300 zSpacing 1 height [ 0 1 2 3 ]"));
    // Only the two wireframe lines that do not pass through the huge height remain.
    ASSERT_EQ(objects.size(), 2u);
    for (const auto& found : objects)
        for (const trelFloatPoint& p : PointsOf(found.object))
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
}
