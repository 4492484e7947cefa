#include "TestScene.h"

#include "parser/DictionaryEntries.h"
#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

namespace {

// Ten points along x: point i is (i, 0, 0).
const char* const TenPoints = "Coordinate3 { point [ 0 0 0, 1 0 0, 2 0 0, 3 0 0, 4 0 0, 5 0 0, 6 0 0, 7 0 0,"
                              " 8 0 0, 9 0 0 ] }\n";

std::vector<float> DotsX(const std::vector<FoundObject>& objects) {
    std::vector<float> xs;
    for (const auto& found : objects) {
        EXPECT_EQ(found.object->GetObjectType(), TREL_DOT);
        xs.push_back(static_cast<const trelDot*>(found.object)->GetPoint().x);
    }
    return xs;
}
} // namespace

TEST(PointSets, StartAndCountAreClampedToTheCoordinates) {
    const struct {
        const char* fields;
        std::vector<float> xs;
    } cases[] = {
        {"", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"startIndex 2 numPoints 3", {2, 3, 4}},
        {"startIndex 7.9", {7, 8, 9}},               // truncated
        {"numPoints -3 startIndex 6", {6, 7, 8, 9}}, // any negative count means all
        {"startIndex 3 numPoints 1e12", {3, 4, 5, 6, 7, 8, 9}},
        {"startIndex 1e12 numPoints 2147483647", {9}},
        {"startIndex -1e12 numPoints 1", {0}},
        {"numPoints foo 2", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}, // a non-number leaves the default
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, V1, std::string(TenPoints) + "PointSet { " + c.fields + " }");
        EXPECT_EQ(DotsX(objects), c.xs) << c.fields;
    }
}

// A zero count or a missing length list fails the node, and the statement
// after it is still read; without coordinates a set is empty, not failed.
TEST(PointAndStripSets, NoCountOrNoCoordinatesMakeNoObject) {
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         std::string(TenPoints) + "PointSet { numPoints 0 } TriangleStripSet { }"
                                                  " TriangleStripSet { numVertices [ ] } Cube { }");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].object->GetObjectType(), TREL_BOX);

    // A point set recorded without coordinates draws all points where it is used.
    objects = Build(loaded, V1, "DEF P PointSet { } Coordinate3 { point [ 1 1 1, 2 2 2 ] } USE P");
    EXPECT_EQ(objects.size(), 2u);

    PositionedParser p("x", V1);
    EXPECT_EQ(p.parser.DefinePointSet(0, -1), 1);
    EXPECT_EQ(p.parser.DefinePointSet(3, -7), 0);
    trelIntArray lengths;
    EXPECT_EQ(p.parser.DefineTriangleStripSet(lengths), 0);
    lengths.Append(3);
    EXPECT_EQ(p.parser.DefineTriangleStripSet(lengths), 1);
    EXPECT_EQ(p.world.GetNumObjects(), 0);
}

TEST(PointSets, DotsFollowTheLevelMatrixAndShareOneMaterial) {
    LoadedText loaded;
    auto objects =
        Build(loaded, V1,
              std::string("Separator { Translation { translation 0 0 3 } Material { diffuseColor [ 1 0 0, 0 1 0 ] }"
                          " MaterialBinding { value PER_VERTEX }") +
                  TenPoints + "PointSet { numPoints 2 } }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_THAT(static_cast<const trelDot*>(objects[1].object)->GetPoint(), NearPoint(1, 0, 3));
    EXPECT_EQ(objects[1].props->front.GetDiffuse(), trelChroma(1, 0, 0));
}

TEST(PointSets, UseRepeatsTheRecordedRangeWithTheCoordinatesInForceOrItsOwn) {
    LoadedText loaded;
    // VRML 1.0: the coordinates of the place of use.
    auto objects = Build(loaded, V1,
                         std::string(TenPoints) + "DEF P PointSet { startIndex 1 numPoints 2 }"
                                                  " Coordinate3 { point [ 0 5 0, 1 5 0, 2 5 0 ] } USE P");
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[0].object->GetObjectName().GetString(), "P");
    EXPECT_THAT(static_cast<const trelDot*>(objects[2].object)->GetPoint(), NearPoint(1, 5, 0));
    EXPECT_THAT(static_cast<const trelDot*>(objects[3].object)->GetPoint(), NearPoint(2, 5, 0));

    // VRML 2.0: a point set with its own coord brings its points along; the
    // nested names stay the nested nodes'.
    objects = Build(loaded, V2,
                    "Shape { geometry DEF P PointSet { coord DEF C Coordinate { point [ 1 0 0, 2 0 0, 3 0 0 ] }"
                    " color DEF K Color { color [ 0 0 1 ] } } }"
                    "Transform { translation 0 1 0 children Shape { geometry USE P } }");
    ASSERT_EQ(objects.size(), 6u);
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), trelChroma(0, 0, 1));
    EXPECT_EQ(loaded.parser->FindObjectInDictionary("C")->GetType(), VRML_ENTRY_COORDINATE3);
    EXPECT_EQ(objects[5].groupName, "P");
    EXPECT_EQ(objects[0].object->GetObjectName().GetString(), "P");
    EXPECT_THAT(static_cast<const trelDot*>(objects[5].object)->GetPoint(), NearPoint(3, 1, 0));
}

TEST(TriangleStripSets, OneObjectTakesAllPointsAndTheLengthsAsGiven) {
    const struct {
        const char* fields;
        std::vector<int> lengths;
    } cases[] = {
        {"numVertices [ 4 3 ]", {4, 3}},
        {"numVertices [ 4 -1 3 ]", {4, 3}},
        {"numVertices [ 2 ] numVertices [ 5, 2 ]", {5, 2}},
        {"numVertices 7", {7}},
        {"numVertices [ 100000000 -7 ]", {100000000, -7}}, // the library cuts what runs past the points
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, V1,
                             "Separator { Translation { translation 0 0 1 } Coordinate3 { point [ 0 0 0, 1 0 0,"
                             " 0 1 0, 1 1 0, 2 0 0, 2 1 0, 3 0 0 ] } TriangleStripSet { " +
                                 std::string(c.fields) + " } }");
        ASSERT_EQ(objects.size(), 1u) << c.fields;
        ASSERT_EQ(objects[0].object->GetObjectType(), TREL_TRIANGLE_STRIPS);
        const auto* strips = static_cast<const C3DMultipleTriangleStrip*>(objects[0].object);
        EXPECT_EQ(strips->GetLengths().Items(), c.lengths) << c.fields;
        ASSERT_EQ(strips->GetPoints().GetSize(), 7);
        EXPECT_THAT(strips->GetPoints()[6], NearPoint(3, 0, 1));
        trelTessellation mesh;
        strips->Tessellate(mesh, trelTessellationOptions());
        EXPECT_LE(mesh.GetTriangleCount(), 5u);
    }
}

// Nested nodes are read as nodes (their braces do not end the strip set) and
// their names stay theirs; the use brings the set's own coordinates along.
TEST(TriangleStripSets, DefinedStripSetIsRepeatedByUseWithItsOwnCoordinates) {
    LoadedText loaded;
    auto objects =
        Build(loaded, V2,
              "Shape { geometry DEF T TriangleStripSet { coord DEF C Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }"
              " normal Normal { vector [ 0 0 1 ] } numVertices [ 3 ] } }"
              "Transform { translation 5 0 0 children Shape { geometry USE T } }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].object->GetObjectName().GetString(), "T");
    EXPECT_EQ(objects[1].groupName, "T");
    EXPECT_THAT(static_cast<const C3DMultipleTriangleStrip*>(objects[1].object)->GetPoints()[1], NearPoint(6, 0, 0));
}
