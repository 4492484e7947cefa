#include "TestScene.h"

#include "parser/DictionaryEntries.h"
#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> Values(const trelIntArray& list) { return list.Items(); }

std::vector<trelFloatPoint> Points(const trelBaseObject* object) {
    if (object->GetObjectType() == TREL_POLYFACE)
        return static_cast<const C3DPolyface*>(object)->GetPoints().Items();
    return static_cast<const C3DPolyline*>(object)->GetPoints().Items();
}

trelFloatPointArray Square() {
    trelFloatPointArray points;
    for (const trelFloatPoint& p : {trelFloatPoint(0, 0, 0), trelFloatPoint(1, 0, 0), trelFloatPoint(1, 1, 0),
                                    trelFloatPoint(0, 1, 0), trelFloatPoint(5, 5, 5)})
        points.Append(p);
    return points;
}

const char* const FivePoints = "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0, 5 5 5 ] }\n";
const trelChroma Red(1, 0, 0), Green(0, 1, 0), Blue(0, 0, 1);
} // namespace

TEST(IndexedSets, MergeIndexListsPutsEachRunsSizeBeforeItsIndices) {
    const struct {
        std::vector<int> indices, counts, merged;
    } cases[] = {
        {{0, 1, 2, 0, 2, 3}, {3, 3}, {3, 0, 1, 2, 3, 0, 2, 3}},
        {{4, 5, 6}, {}, {3, 4, 5, 6}},  // no run sizes: one run of all indices
        {{}, {}, {0}},                  // one run of no indices
        {{7, 8}, {5}, {5, 7, 8}},       // a size beyond the indices gets no extra slots
        {{1, 2, 3}, {2}, {2, 1, 2, 0}}, // indices beyond the sizes leave their slots 0
        {{1, 2, 3, 4}, {1, 1}, {1, 1, 1, 2, 0, 0}},
    };
    CVRMLParser parser;
    for (auto c : cases) {
        trelIntArray merged;
        EXPECT_EQ(parser.MergeIndexLists(merged, c.indices, c.counts), 1);
        EXPECT_EQ(Values(merged), c.merged);
    }
}

TEST(IndexedSets, CompactPointsKeepsReferencedPointsInOrderAndRenumbers) {
    const struct {
        std::vector<int> merged;
        int changed;
        std::vector<int> renumbered;
        std::vector<float> keptX; // the x of each kept point of Square()
    } cases[] = {
        {{3, 0, 1, 2, 3, 0, 2, 3}, 1, {3, 0, 1, 2, 3, 0, 2, 3}, {0, 1, 1, 0}},
        {{2, 4, 1}, 1, {2, 1, 0}, {1, 5}},
        {{5, 4, 3, 2, 1, 0}, 0, {5, 4, 3, 2, 1, 0}, {0, 1, 1, 0, 5}}, // all used: nothing changes
        {{4, 4, -3, 9, 5}, 1, {4, 0, -3, 9, 5}, {5}},                 // bad indices stay bad
        {{2, 1, 3, -1, 0, 4}, 1, {2, 0, 1, -1, 0, 4}, {1, 0}},        // a negative size ends the walk
        {{9, 2, 3}, 1, {9, 0, 1}, {1, 0}},                            // a size past the end is cut
        {{}, 0, {}, {0, 1, 1, 0, 5}},
    };
    for (const auto& c : cases) {
        trelFloatPointArray points = Square();
        trelIntArray merged;
        merged.Items() = c.merged;
        EXPECT_EQ(CVRMLSeparator::CompactPoints(points, merged), c.changed);
        EXPECT_EQ(Values(merged), c.renumbered);
        std::vector<float> keptX;
        for (const trelFloatPoint& p : points.Items())
            keptX.push_back(p.x);
        EXPECT_EQ(keptX, c.keptX);
    }
    trelFloatPointArray none;
    trelIntArray merged;
    merged.Items() = {1, 0};
    EXPECT_EQ(CVRMLSeparator::CompactPoints(none, merged), 0);

    // Few indices into a long list take another way through the compaction,
    // with the same result: used points in list order, renumbered.
    trelFloatPointArray line(40), kept;
    for (int i = 0; i < 40; ++i)
        line[i] = trelFloatPoint(static_cast<float>(i), 0.0f, 0.0f);
    merged.Items() = {4, 30, 5, 41, 30};
    EXPECT_EQ(CVRMLSeparator::CompactInto(line, kept, merged), 1);
    EXPECT_EQ(Values(merged), (std::vector<int>{4, 1, 0, 41, 1}));
    ASSERT_EQ(kept.GetSize(), 2);
    EXPECT_EQ(kept[0].x, 5.0f);
    EXPECT_EQ(kept[1].x, 30.0f);
}

TEST(IndexedSets, LineSetMakesOnePolylinePerRunUnderTheLevelMatrix) {
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         std::string("Separator { Translation { translation 0 0 2 }") + FivePoints +
                             "IndexedLineSet { coordIndex [ 0, 1, -1, 1, 2 ] } }");
    ASSERT_EQ(objects.size(), 2u);
    for (const auto& found : objects) {
        EXPECT_EQ(found.object->GetObjectType(), TREL_POLYLINE);
        EXPECT_EQ(static_cast<const C3DPolyline*>(found.object)->GetClosed(), 0);
    }
    EXPECT_THAT(Points(objects[0].object), testing::ElementsAre(NearPoint(0, 0, 2), NearPoint(1, 0, 2)));
    EXPECT_THAT(Points(objects[1].object), testing::ElementsAre(NearPoint(1, 0, 2), NearPoint(1, 1, 2)));
}

// Colours are found by run number and by position in the merged lists,
// where size entries count too.
TEST(IndexedSets, PerFaceAndPerVertexBindingsBuildOneObjectPerFace) {
    const struct {
        const char* binding;
        const char* materialIndex;
        std::vector<trelChroma> colours; // of the two faces
    } cases[] = {
        {"PER_FACE", "", {Red, Green}},
        // Merged material list 2, 1, 0: face 0 reads position 0 (the size, 2), face 1 position 1.
        {"PER_FACE_INDEXED", "materialIndex [ 1, 0 ]", {Blue, Green}},
        // Face 0 takes positions 1 to 3, face 1 positions 5 to 7 (beyond the three colours: black).
        {"PER_VERTEX", "", {trelChroma(0, 1.0f / 3, 1.0f / 3, 1), trelChroma(0, 0, 0)}},
        // Merged material list 3, 2, 2, 2, 3, 0, 0, 0: face 0 reads positions 1 to 3, face 1 positions 5 to 7.
        {"PER_VERTEX_INDEXED", "materialIndex [ 2, 2, 2, -1, 0, 0, 0 ]", {Blue, Red}},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects =
            Build(loaded, V1,
                  std::string("Separator {") + FivePoints +
                      "Material { diffuseColor [ 1 0 0, 0 1 0, 0 0 1 ] } MaterialBinding { value " + c.binding +
                      " } IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 0, 2, 3 ] " + c.materialIndex + " } }");
        ASSERT_EQ(objects.size(), 2u) << c.binding;
        for (size_t face = 0; face < 2; ++face) {
            EXPECT_EQ(objects[face].object->GetObjectType(), TREL_POLYGON);
            EXPECT_EQ(objects[face].props->front.GetDiffuse(), c.colours[face]) << c.binding << " face " << face;
        }
        EXPECT_THAT(Points(objects[1].object),
                    testing::ElementsAre(NearPoint(0, 0, 0), NearPoint(1, 1, 0), NearPoint(0, 1, 0)));
    }
}

TEST(IndexedSets, IndicesNamingNoPointArePassedOverWithoutMovingTheOthers) {
    LoadedText loaded;
    // Face 0 loses index 9, face 1 loses -5; face 2 names nothing and makes no object.
    auto objects = Build(loaded, V1,
                         std::string("Separator {") + FivePoints +
                             "Material { diffuseColor [ 1 0 0, 0 1 0, 0 0 1 ] } MaterialBinding { value PER_FACE }"
                             "IndexedFaceSet { coordIndex [ 0, 9, 1, 2, -1, -5, 2, 3, 0, -1, 7, -2 ] } }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_THAT(Points(objects[0].object),
                testing::ElementsAre(NearPoint(0, 0, 0), NearPoint(1, 0, 0), NearPoint(1, 1, 0)));
    EXPECT_THAT(Points(objects[1].object),
                testing::ElementsAre(NearPoint(1, 1, 0), NearPoint(0, 1, 0), NearPoint(0, 0, 0)));
    EXPECT_EQ(objects[1].props->front.GetDiffuse(), Green); // still face 1

    // In one polyface the bad indices stay bad after compaction, and the
    // faces still tessellate to their valid corners.
    objects = Build(loaded, V1,
                    std::string("Separator {") + FivePoints +
                        "IndexedFaceSet { coordIndex [ 0, 9, 1, 2, -1, -5, 2, 3, 0 ] } }");
    ASSERT_EQ(objects.size(), 1u);
    const auto* face = static_cast<const C3DPolyface*>(objects[0].object);
    EXPECT_EQ(Values(face->GetIndices()), (std::vector<int>{4, 0, 9, 1, 2, 4, -5, 2, 3, 0}));
    trelTessellation mesh;
    face->Tessellate(mesh, trelTessellationOptions());
    EXPECT_EQ(mesh.GetTriangleCount(), 2u);
}

TEST(IndexedSets, FailedOrEmptyIndexFieldsDefineNothing) {
    const char* const sets[] = {
        "IndexedFaceSet { coordIndex [ ] }",
        "IndexedFaceSet { coordIndex [ -1, -1 ] }",
        "IndexedFaceSet { }",
        // A field node that is no node: a stray brace must not close the level.
        "IndexedFaceSet { coordIndex [ 0 1 2 ] coord }",
    };
    for (const char* set : sets) {
        LoadedText loaded;
        auto objects = Build(loaded, V1, std::string(FivePoints) + set + " Cube { }");
        ASSERT_EQ(objects.size(), 1u) << set;
        EXPECT_EQ(objects[0].object->GetObjectType(), TREL_BOX) << set;
    }
}

TEST(IndexedSets, VrmlTwoSetTakesItsCoordAndColorForItselfOnly) {
    LoadedText loaded;
    auto objects =
        Build(loaded, V2,
              "Shape { appearance Appearance { material Material { diffuseColor 0 0 1 } }"
              " geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 2 0 0, 2 2 0, 7 7 7 ] }"
              " color Color { color [ 1 0 0 ] } normal Normal { vector [ 0 0 1 ] } normalIndex [ 0 0 0 ]"
              " texCoord TextureCoordinate { point [ 0 0, 1 0, 1 1 ] } texCoordIndex [ 0 1 2 ]"
              " coordIndex [ 0 1 2 ] } }"
              "Transform { children [ Material { diffuseColor 0 0 1 } "
              " IndexedFaceSet { color Color { color [ 1 0 0 ] } coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }"
              " coordIndex [ 0 1 2 ] } Box { } ] }");
    ASSERT_EQ(objects.size(), 3u);
    const auto* face = static_cast<const C3DPolyface*>(objects[0].object);
    EXPECT_EQ(face->GetPoints().GetSize(), 3); // 7 7 7 is dropped
    EXPECT_THAT(face->GetPoints()[1], NearPoint(2, 0, 0));
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), Red);
    EXPECT_EQ(objects[1].props->front.GetDiffuse(), Red);
    EXPECT_EQ(objects[2].props->front.GetDiffuse(), Blue); // the colour ended with its set
}

TEST(IndexedSets, CoordinateNodesReplaceTheLevelPointsAndNormalNodesLeaveTheLevelNormalsAlone) {
    // (The USE test below shows a later list replacing an earlier one.)
    PositionedParser p("Normal { vector [ 0 0 1 ] } Coordinate3 { point 1 2 3 } Coordinate3 { } x", V1);
    // Normal is kept for the attribute blocks only: triangle strip sets,
    // which use the level's normals, draw as before.
    EXPECT_EQ(p.parser.ParseBlock(), 1);
    EXPECT_EQ(p.parser.GetCurrentSeparator()->GetNormals().GetSize(), 0);
    ASSERT_NE(p.parser.GetCurrentSeparator()->GetFileAttributes(), nullptr);
    EXPECT_EQ(p.parser.GetCurrentSeparator()->GetFileAttributes()->normals.GetSize(), 1);
    EXPECT_EQ(p.parser.ParseBlock(), 1);
    EXPECT_EQ(p.parser.ParseBlock(), 0); // no points: a failed node, the level keeps its list
    EXPECT_EQ(p.Current(), "x");
    ASSERT_EQ(p.parser.GetCurrentSeparator()->GetCoordinates().GetSize(), 1);
    EXPECT_THAT(p.parser.GetCurrentSeparator()->GetCoordinates()[0], NearPoint(1, 2, 3));

    // Numbers beyond float range keep the default 0 instead of turning the
    // placed geometry into NaN.
    LoadedText loaded;
    auto objects =
        Build(loaded, V1, "Rotation { rotation 0 0 1 0.5 } Coordinate3 { point [ 1e39 2 -1e400 ] } PointSet { }");
    ASSERT_EQ(objects.size(), 1u);
    const trelFloatPoint& dot = static_cast<const trelDot*>(objects[0].object)->GetPoint();
    EXPECT_TRUE(std::isfinite(dot.x) && std::isfinite(dot.y) && std::isfinite(dot.z));
    EXPECT_NEAR(trelVector(dot.x, dot.y, dot.z).Length(), 2.0, 1e-5);
}

// The entry keeps the file's indices, so a USE under the same coordinates
// repeats the same faces although the first build compacted its points.
TEST(IndexedSets, UseOfAVrmlOneSetTakesTheCoordinatesWhereItStands) {
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         std::string(FivePoints) + "DEF F IndexedFaceSet { coordIndex [ 1, 2, 4 ] } USE F "
                                                   "Coordinate3 { point [ 9 9 9, 0 0 0, 0 0 1, 0 0 2, 0 0 3 ] } USE F");
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0].object->GetObjectName().GetString(), "F");
    EXPECT_THAT(Points(objects[1].object),
                testing::ElementsAre(NearPoint(1, 0, 0), NearPoint(1, 1, 0), NearPoint(5, 5, 5)));
    EXPECT_THAT(Points(objects[2].object),
                testing::ElementsAre(NearPoint(0, 0, 0), NearPoint(0, 0, 1), NearPoint(0, 0, 3)));
}

TEST(IndexedSets, NestedDefNamesNeverNameTheSetAndAVrmlTwoUseBringsItsCoordinates) {
    LoadedText loaded;
    auto objects =
        Build(loaded, V2,
              "Shape { geometry DEF F IndexedFaceSet { coord DEF C Coordinate { point [ 0 0 0, 3 0 0, 3 3 0, 8 8 8 ] }"
              " color DEF K Color { color [ 1 0 0 ] } coordIndex [ 0 1 2 ] } }"
              "Shape { geometry IndexedLineSet { coord USE C coordIndex [ 3 0 ] } }"
              "Transform { translation 0 0 1 children Shape { geometry USE F } }"
              "Shape { geometry IndexedFaceSet { coord DEF D Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }"
              " coordIndex [ 0 1 2 ] } }");
    // Depth first: the world's own objects, then the two groups named F.
    ASSERT_EQ(objects.size(), 4u);
    // C still names the coordinates.
    EXPECT_THAT(Points(objects[0].object), testing::ElementsAre(NearPoint(8, 8, 8), NearPoint(0, 0, 0)));
    // An unnamed set with a named coord node is not named after it.
    EXPECT_EQ(objects[1].object->GetObjectName().GetString(), "");
    ASSERT_NE(loaded.parser->FindObjectInDictionary("D"), nullptr);
    EXPECT_EQ(loaded.parser->FindObjectInDictionary("D")->GetType(), VRML_ENTRY_COORDINATE3);
    // A named Color node is recorded, for the attribute blocks of its uses.
    ASSERT_NE(loaded.parser->FindObjectInDictionary("K"), nullptr);
    EXPECT_EQ(loaded.parser->FindObjectInDictionary("K")->GetType(), VRML_ENTRY_COLOR);
    // The set keeps its own name; the geometry's DEF gives it a group of that name.
    EXPECT_EQ(objects[2].object->GetObjectName().GetString(), "F");
    EXPECT_EQ(objects[2].groupName, "F");
    // The use repeats the set with its own coordinates, in a group named like it.
    EXPECT_EQ(objects[3].groupName, "F");
    EXPECT_EQ(objects[3].object->GetObjectName().GetString(), "F");
    EXPECT_THAT(Points(objects[3].object),
                testing::ElementsAre(NearPoint(0, 0, 1), NearPoint(3, 0, 1), NearPoint(3, 3, 1)));
}

// Real faces are concave, repeat points and collapse to lines; every file of
// the shared corpus must still load into triangles, lines and points that
// are all finite, with unit normals.
TEST(IndexedSets, CorpusWorldsTessellateToFiniteGeometry) {
    const std::filesystem::path corpus(VRML_CORPUS_DIR);
    std::error_code error;
    if (!std::filesystem::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus";
    auto finite = [](const trelFloatPoint& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    };
    size_t loaded = 0, triangles = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".wrl" && extension != ".WRL" && extension != ".vrml"))
            continue;
        SCOPED_TRACE(entry.path().string());
        C3DWorld world;
        CVRMLParser parser;
        loaded += parser.Parse(&world, entry.path().string()) == VRML_LOAD_SUCCESS;
        for (const FoundObject& found : AllObjects(world)) {
            trelTessellation mesh;
            found.object->Tessellate(mesh, trelTessellationOptions());
            triangles += mesh.GetTriangleCount();
            std::vector<trelFloatPoint> all = mesh.triangleVertices;
            all.insert(all.end(), mesh.points.begin(), mesh.points.end());
            for (const auto& strip : mesh.lineStrips)
                all.insert(all.end(), strip.begin(), strip.end());
            for (const trelFloatPoint& p : all)
                ASSERT_TRUE(finite(p));
            for (const trelVector& n : mesh.triangleNormals)
                ASSERT_NEAR(trelVector(n).Length(), 1.0, 1e-3);
        }
    }
    EXPECT_GT(loaded, 0u);
    EXPECT_GT(triangles, 0u);
}
