#include "TestScene.h"

#include "state/VRMLSeparator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The attribute blocks the loader hands its objects: what each drawn vertex
// of each object finds in its block, through the numbering of Attributes.h.

namespace {

const char* const Palette = "1 0 0, 0 1 0, 0 0 1, 1 1 0, 1 0.5 0, 0 1 1";
const trelChroma PaletteColors[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0.5f, 0}, {0, 1, 1}};

// Calls visit(vertex, face) for each vertex an object draws, in its own
// numbering (a polyface draws no index that names no point).
template <class Visit>
void ForEachVertex(const trelBaseObject& object, Visit visit) {
    switch (object.GetObjectType()) {
    case TREL_POLYFACE: {
        const auto& polyface = static_cast<const C3DPolyface&>(object);
        CVRMLSeparator::ForEachRun(polyface.GetIndices(), [&](int face, int first, int count) {
            for (int k = first; k < first + count; ++k)
                if (polyface.GetIndices()[k] >= 0 && polyface.GetIndices()[k] < polyface.GetPoints().GetSize())
                    visit(k, face);
        });
        break;
    }
    case TREL_POLYLINE:
    case TREL_POLYGON:
        for (int k = 0; k < static_cast<const C3DPolyline&>(object).GetPoints().GetSize(); ++k)
            visit(k, 0);
        break;
    case TREL_DOT: visit(0, 0); break;
    case TREL_POLYMESH: {
        const auto& mesh = static_cast<const C3DPolyMesh&>(object);
        const int rows = mesh.GetRows(), columns = mesh.GetColumns();
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < columns; ++j)
                visit(i * columns + j, i < rows - 1 && j < columns - 1 ? i * (columns - 1) + j : 0);
        break;
    }
    default: break;
    }
}

// The value a vertex or face takes through an index list; -1 for none.
int ValueOf(const trelBaseObject& object, const trelIntArray& index, int number, int valueCount) {
    number += object.GetAttributeOffset();
    if (!index.IsEmpty())
        number = number >= 0 && number < index.GetSize() ? index[number] : -1;
    return number >= 0 && number < valueCount ? number : -1;
}

char PaletteName(const trelChroma& color) {
    for (int i = 0; i < 6; ++i)
        if (PaletteColors[i] == color)
            return static_cast<char>('0' + i);
    return '?';
}

// Each object's vertex colours as palette digits, objects apart by a space;
// "-" for an object without colours, "!" for a colour outside the block.
std::string VertexColors(const std::vector<FoundObject>& objects) {
    std::string out;
    for (const FoundObject& found : objects) {
        if (!out.empty())
            out += ' ';
        const trelBaseObject& object = *found.object;
        const trelAttributes* block = object.GetAttributes();
        if (!block || !block->HasColors()) {
            out += '-';
            continue;
        }
        ForEachVertex(object, [&](int vertex, int face) {
            const int value =
                ValueOf(object, block->colorIndex, block->colorPerVertex ? vertex : face, block->colors.GetSize());
            out += value < 0 ? '!' : PaletteName(block->colors[value]);
        });
    }
    return out;
}

std::vector<trelVector> VertexNormals(const trelBaseObject& object) {
    std::vector<trelVector> normals;
    const trelAttributes* block = object.GetAttributes();
    if (!block || !block->HasNormals())
        return normals;
    ForEachVertex(object, [&](int vertex, int face) {
        const int value =
            ValueOf(object, block->normalIndex, block->normalPerVertex ? vertex : face, block->normals.GetSize());
        normals.push_back(value < 0 ? trelVector(9, 9, 9) : block->normals[value]);
    });
    return normals;
}

std::vector<trelTexCoord> VertexTexCoords(const trelBaseObject& object) {
    std::vector<trelTexCoord> coords;
    const trelAttributes* block = object.GetAttributes();
    if (!block || !block->HasTexCoords())
        return coords;
    ForEachVertex(object, [&](int vertex, int) {
        const int value = ValueOf(object, block->texCoordIndex, vertex, block->texCoords.GetSize());
        coords.push_back(value < 0 ? trelTexCoord(9, 9) : block->texCoords[value]);
    });
    return coords;
}

MATCHER_P3(NearVector, x, y, z, "") {
    return std::fabs(arg.x - x) < 1e-4 && std::fabs(arg.y - y) < 1e-4 && std::fabs(arg.z - z) < 1e-4;
}
MATCHER_P2(NearTexCoord, s, t, "") { return std::fabs(arg.s - s) < 1e-4 && std::fabs(arg.t - t) < 1e-4; }

// Two triangles over a square: 0 1 2 and 0 2 3.
const char* const SquareV2 = "coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }";
const char* const SquareV1 = "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] }";
const char* const TwoTriangles = "coordIndex [ 0 1 2 -1 0 2 3 -1 ]";

std::string FaceSetV2(const std::string& fields) {
    return std::string("Shape { geometry IndexedFaceSet { ") + SquareV2 + " " + TwoTriangles + " " + fields + " } }";
}
std::string ColoredFaceSetV2(const std::string& fields) {
    return FaceSetV2("color Color { color [ " + std::string(Palette) + " ] } " + fields);
}
std::string MaterialV1(const char* binding) {
    return std::string("Material { diffuseColor [ ") + Palette + " ] } MaterialBinding { value " + binding + " } " +
           SquareV1;
}
} // namespace

TEST(Attributes, ColoursBindPerFaceOrPerVertexInBothVersions) {
    const struct {
        const char* header;
        std::string nodes;
        const char* colors;
    } cases[] = {
        // VRML 2.0: a Color node with colorIndex, or faces / coordinates in order.
        {V2, ColoredFaceSetV2("colorPerVertex FALSE colorIndex [ 2 0 ]"), "222000"},
        {V2, ColoredFaceSetV2("colorPerVertex FALSE"), "000111"},
        {V2, ColoredFaceSetV2("colorIndex [ 0 1 2 -1 2 3 4 -1 ]"), "012234"},
        {V2, ColoredFaceSetV2(""), "012023"}, // colorIndex empty: the coordinate indices
        {V2, ColoredFaceSetV2("colorPerVertex FALSE colorIndex [ 4 4 ]"), "444444"}, // every face colour 4
        {V2, FaceSetV2(""), "-"},                                                    // no Color node, no block
        {V2,
         std::string("Shape { geometry IndexedLineSet { ") + SquareV2 +
             " coordIndex [ 0 1 -1 2 3 ] color Color { color [ " + Palette + " ] } colorPerVertex FALSE } }",
         "00 11"},
        {V2,
         std::string("Shape { geometry IndexedLineSet { ") + SquareV2 +
             " coordIndex [ 0 1 -1 2 3 ] colorIndex [ 3 2 -1 1 0 ] color Color { color [ " + Palette + " ] } } }",
         "32 10"},
        {V2,
         std::string("Shape { geometry PointSet { ") + SquareV2 + " color Color { color [ 5 5 5, " + Palette +
             " ] } } }",
         "? 0 1 2"},
        // VRML 1.0: the diffuse colours under per-face and per-vertex bindings
        // (a face set so bound is built face by face, as before).
        {V1, MaterialV1("PER_FACE") + " IndexedFaceSet { " + TwoTriangles + " }", "000 111"},
        {V1, MaterialV1("PER_FACE_INDEXED") + " IndexedFaceSet { " + TwoTriangles + " materialIndex [ 3 1 ] }",
         "333 111"},
        {V1, MaterialV1("PER_VERTEX") + " IndexedFaceSet { " + TwoTriangles + " }", "012 345"},
        {V1,
         MaterialV1("PER_VERTEX_INDEXED") + " IndexedFaceSet { " + TwoTriangles +
             " materialIndex [ 0 1 2 -1 2 3 4 -1 ] }",
         "012 234"},
        {V1, MaterialV1("PER_VERTEX_INDEXED") + " IndexedFaceSet { " + TwoTriangles + " }", "012 023"},
        {V1, MaterialV1("PER_FACE") + " IndexedLineSet { coordIndex [ 0 1 -1 2 3 ] }", "00 11"},
        {V1, MaterialV1("PER_VERTEX") + " PointSet { startIndex 1 }", "1 2 3"},
        {V1, MaterialV1("OVERALL") + " IndexedFaceSet { " + TwoTriangles + " }", "-"},
        {V1, MaterialV1("PER_PART") + " IndexedFaceSet { " + TwoTriangles + " }", "-"},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        EXPECT_EQ(VertexColors(Build(loaded, c.header, c.nodes)), c.colors) << c.nodes;
    }
}

// A face set coloured by its Color node keeps the material it had: colour 0
// of the node for the whole set, the block beside it.
TEST(Attributes, ColouredFaceSetKeepsItsMaterial) {
    LoadedText loaded;
    auto objects = Build(loaded, V2, ColoredFaceSetV2("colorPerVertex FALSE colorIndex [ 4 4 ]"));
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].props->front.GetDiffuse(), trelChroma(1, 0, 0));
}

TEST(Attributes, GivenNormalsBindLikeColoursAndFollowThePlacement) {
    const std::string quarterTurn = "Transform { rotation 0 1 0 1.5707963 children ";
    const struct {
        const char* header;
        std::string nodes;
        std::vector<trelVector> normals; // of each drawn vertex, in world space
    } cases[] = {
        {V2,
         FaceSetV2("normal Normal { vector [ 0 0 1, 0 1 0 ] } normalIndex [ 0 0 1 -1 1 1 0 -1 ]"),
         {{0, 0, 1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 0, 1}}},
        {V2,
         FaceSetV2("normal Normal { vector [ 0 0 1, 0 1 0 ] } normalPerVertex FALSE normalIndex [ 1 0 ]"),
         {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}}},
        {V2,
         quarterTurn + FaceSetV2("normal Normal { vector [ 0 0 1 ] } normalPerVertex FALSE normalIndex [ 0 0 ]") + " }",
         {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}}},
        // VRML 1.0: normalIndex, else the coordinate indices, unless a binding says otherwise.
        {V1,
         std::string("Normal { vector [ 0 0 1, 0 1 0, 1 0 0, 0 0 -1 ] } ") + SquareV1 + " IndexedFaceSet { " +
             TwoTriangles + " }",
         {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, -1}}},
        {V1,
         std::string("Normal { vector [ 0 0 1, 0 1 0 ] } NormalBinding { value PER_FACE } ") + SquareV1 +
             " IndexedFaceSet { " + TwoTriangles + " }",
         {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}}},
        {V1,
         std::string("Normal { vector [ 0 1 0 ] } NormalBinding { value OVERALL } ") + SquareV1 + " IndexedFaceSet { " +
             TwoTriangles + " }",
         {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}}},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_EQ(objects.size(), 1u) << c.nodes;
        std::vector<testing::Matcher<trelVector>> expected;
        for (const trelVector& n : c.normals)
            expected.push_back(NearVector(n.x, n.y, n.z));
        EXPECT_THAT(VertexNormals(*objects[0].object), testing::ElementsAreArray(expected)) << c.nodes;
    }
}

TEST(Attributes, TextureCoordinatesFollowTheirIndexOrTheVertices) {
    const std::string texCoordV2 = "texCoord TextureCoordinate { point [ 0 0, 1 0, 1 1, 0 1 ] } ";
    const std::string texCoordV1 = "TextureCoordinate2 { point [ 0 0, 1 0, 1 1, 0 1 ] } ";
    const struct {
        const char* header;
        std::string nodes;
        std::vector<std::pair<float, float>> coords;
    } cases[] = {
        {V2,
         FaceSetV2(texCoordV2 + "texCoordIndex [ 3 2 1 -1 0 0 0 -1 ]"),
         {{0, 1}, {1, 1}, {1, 0}, {0, 0}, {0, 0}, {0, 0}}},
        {V2, FaceSetV2(texCoordV2), {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}},
        {V1,
         texCoordV1 + SquareV1 + " IndexedFaceSet { " + TwoTriangles + " textureCoordIndex [ 1 1 1 -1 2 2 2 -1 ] }",
         {{1, 0}, {1, 0}, {1, 0}, {1, 1}, {1, 1}, {1, 1}}},
        {V1,
         texCoordV1 + SquareV1 + " IndexedFaceSet { " + TwoTriangles + " }",
         {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}}},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_EQ(objects.size(), 1u) << c.nodes;
        std::vector<testing::Matcher<trelTexCoord>> expected;
        for (auto [s, t] : c.coords)
            expected.push_back(NearTexCoord(s, t));
        EXPECT_THAT(VertexTexCoords(*objects[0].object), testing::ElementsAreArray(expected)) << c.nodes;
    }
}

TEST(Attributes, CreaseAngleAndWindingComeFromTheNodeOrTheShapeHints) {
    const struct {
        const char* header;
        std::string nodes;
        bool block;
        double creaseAngle;
        bool ccw;
    } cases[] = {
        {V2, FaceSetV2("creaseAngle 0.5"), true, 0.5, true},
        {V2, FaceSetV2("ccw FALSE"), true, 0.0, false},
        {V2, FaceSetV2("creaseAngle 0 ccw TRUE"), false, 0.0, true}, // the defaults need no block
        {V2,
         "Shape { geometry ElevationGrid { xDimension 2 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 0 0 0 ] "
         "creaseAngle 1.5 } }",
         true, 1.5, true},
        {V2,
         "Shape { geometry Extrusion { crossSection [ 0 0, 1 0, 1 1 ] spine [ 0 0 0, 0 1 0 ] creaseAngle 0.3 ccw FALSE"
         " beginCap FALSE endCap FALSE } }",
         true, 0.3, false},
        {V1,
         std::string("ShapeHints { vertexOrdering CLOCKWISE creaseAngle 1.2 } ") + SquareV1 + " IndexedFaceSet { " +
             TwoTriangles + " }",
         true, 1.2, false},
        {V1,
         std::string("ShapeHints { vertexOrdering COUNTERCLOCKWISE } ") + SquareV1 + " IndexedFaceSet { " +
             TwoTriangles + " }",
         true, 0.5, true},
        {V1,
         std::string("Separator { ShapeHints { creaseAngle 1 } } ") + SquareV1 + " IndexedFaceSet { " + TwoTriangles +
             " }",
         false, 0.0, true}, // the hints ended with their separator
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_EQ(objects.size(), 1u) << c.nodes;
        const trelAttributes* block = objects[0].object->GetAttributes();
        ASSERT_EQ(block != nullptr, c.block) << c.nodes;
        if (block) {
            EXPECT_DOUBLE_EQ(block->creaseAngle, c.creaseAngle) << c.nodes;
            EXPECT_EQ(block->ccw, c.ccw) << c.nodes;
        }
    }
}

// An ElevationGrid lists values x fastest; its mesh has a row for each x.
TEST(Attributes, ElevationGridValuesFindTheirGridPoints) {
    LoadedText loaded;
    auto objects = Build(
        loaded, V2,
        std::string("Shape { geometry ElevationGrid { xDimension 3 zDimension 2 xSpacing 1 zSpacing 1 "
                    "height [ 0 0 0 0 0 0 ] color Color { color [ ") +
            Palette +
            " ] } } }"
            "Shape { geometry ElevationGrid { xDimension 3 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 0 0 0 0 0 ]"
            " colorPerVertex FALSE color Color { color [ 1 0 0, 0 1 0 ] } } }"
            "Shape { geometry ElevationGrid { xDimension 3 zDimension 2 xSpacing 1 zSpacing 1"
            " height [ 0 0 0 0 0 0 ] solid FALSE color Color { color [ " +
            Palette + " ] } } }");
    ASSERT_EQ(objects.size(), 7u);
    const trelAttributes* vertices = objects[0].object->GetAttributes();
    ASSERT_NE(vertices, nullptr);
    const auto& mesh = static_cast<const C3DPolyMesh&>(*objects[0].object);
    ASSERT_EQ(mesh.GetRows(), 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j) {
            const int value = vertices->colorIndex[i * 2 + j];
            EXPECT_EQ(vertices->colors[value], PaletteColors[i + j * 3]) << i << " " << j;
        }
    const trelAttributes* cells = objects[1].object->GetAttributes();
    ASSERT_NE(cells, nullptr);
    EXPECT_FALSE(cells->colorPerVertex);
    EXPECT_EQ(cells->colors[cells->colorIndex[1]], PaletteColors[1]); // cell x 1, z 0
    // A grid that is not solid is a wireframe: lines along z, then along x.
    objects.erase(objects.begin(), objects.begin() + 2);
    EXPECT_EQ(VertexColors(objects), "03 14 25 012 345");
}

// USE of a set, of its Shape, of a group holding it or of its Color node
// gives the attributes of the definition.
TEST(Attributes, UsesRepeatTheAttributesOfTheDefinition) {
    const std::string defined =
        "DEF G Transform { children DEF S Shape { geometry DEF F IndexedFaceSet { " + std::string(SquareV2) + " " +
        TwoTriangles + " color DEF K Color { color [ " + Palette +
        " ] } colorPerVertex FALSE colorIndex [ 3 1 ] "
        "normal DEF N Normal { vector [ 0 0 1 ] } normalPerVertex FALSE normalIndex [ 0 0 ] } } }";
    const struct {
        const char* header;
        std::string nodes;
        const char* colors;
    } cases[] = {
        {V2, defined + " USE G USE S Shape { geometry USE F }", "333111 333111 333111 333111"},
        {V2,
         defined + " " +
             FaceSetV2("color USE K colorPerVertex FALSE colorIndex [ 2 4 ] normal USE N normalPerVertex FALSE "
                       "normalIndex [ 0 0 ]"),
         "222444 333111"}, // the world's own object first, then the group's
        {V1,
         "DEF P Separator { " + MaterialV1("PER_FACE") + " IndexedFaceSet { " + TwoTriangles +
             " } } Material { diffuseColor 1 1 1 } USE P",
         "000 111 000 111"},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        EXPECT_EQ(VertexColors(objects), c.colors) << c.nodes;
        for (const FoundObject& found : objects)
            EXPECT_EQ(VertexNormals(*found.object).size(), c.header == V2 ? 6u : 0u) << c.nodes;
    }
}

// An attribute whose indices name no value, or that has too few values, is
// left out; the geometry and the other attributes are still there.
TEST(Attributes, BadIndicesOrTooFewValuesDropTheAttributeOnly) {
    const std::string normals = "normal Normal { vector [ 0 0 1, 0 1 0 ] } ";
    const std::string texCoords = "texCoord TextureCoordinate { point [ 0 0, 1 0, 1 1, 0 1 ] } ";
    const struct {
        const char* header;
        std::string nodes;
        const char* colors;
        size_t normals, texCoords; // vertices that find one
    } cases[] = {
        {V2, ColoredFaceSetV2("colorIndex [ 0 1 9 -1 0 1 2 -1 ]"), "-", 0, 0},
        {V2, ColoredFaceSetV2("colorIndex [ 0 1 1e12 -1 0 1 2 -1 ]"), "-", 0, 0},
        {V2, ColoredFaceSetV2("colorIndex [ 0 1 2 -1 0 1 -1 ]"), "-", 0, 0}, // the second face lacks one
        {V2, ColoredFaceSetV2("colorPerVertex FALSE colorIndex [ 0 ]"), "-", 0, 0},
        {V2, FaceSetV2("color Color { color [ 1 0 0 ] } colorPerVertex FALSE"), "-", 0, 0}, // one colour, two faces
        {V2, ColoredFaceSetV2(normals + "normalIndex [ 0 0 0 -1 0 0 -7 -1 ]"), "012023", 0, 0},
        {V2, ColoredFaceSetV2(normals), "012023", 0, 0}, // two normals for four points
        {V2, ColoredFaceSetV2(normals + "normalPerVertex FALSE"), "012023", 6, 0},
        {V2, ColoredFaceSetV2(texCoords + "texCoordIndex [ 0 1 4 -1 0 1 2 -1 ]"), "012023", 0, 0},
        {V2, ColoredFaceSetV2(texCoords + "texCoordIndex [ 0 1 2 -1 0 1 2 -1 ]"), "012023", 0, 6},
        {V2, std::string("Shape { geometry PointSet { ") + SquareV2 + " color Color { color [ 1 0 0, 0 1 0 ] } } }",
         "- - - -", 0, 0},
        {V1, MaterialV1("PER_FACE_INDEXED") + " IndexedFaceSet { " + TwoTriangles + " materialIndex [ 0 99 ] }", "- -",
         0, 0},
    };
    for (const auto& c : cases) {
        LoadedText loaded;
        auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_FALSE(objects.empty()) << c.nodes;
        EXPECT_EQ(VertexColors(objects), c.colors) << c.nodes;
        EXPECT_EQ(VertexNormals(*objects[0].object).size(), c.normals) << c.nodes;
        EXPECT_EQ(VertexTexCoords(*objects[0].object).size(), c.texCoords) << c.nodes;
    }
}

// With a texture and no coordinates of the file's, the standard mappings,
// worked out in the node's own coordinates (here under a scale).
TEST(Attributes, TexturedShapesGetTheDefaultMappings) {
    const struct {
        std::string nodes;
        std::vector<std::pair<float, float>> coords; // of each vertex, in the object's numbering
    } cases[] = {
        // The box is 2 by 1: s along x over 2, t along y by the same scale.
        {"Transform { scale 3 3 3 children Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 2 0 0, "
         "2 1 0, 0 1 0 ] } coordIndex [ 0 1 2 3 ] } } }",
         {{0, 0}, {1, 0}, {1, 0.5f}, {0, 0.5f}}},
    };
    for (const auto& c : cases) {
        PositionedParser p(c.nodes);
        p.parser.GetCurrentSeparator()->SetTexture(std::make_shared<trelTexture>());
        p.parser.ParseBlock();
        auto objects = AllObjects(p.world);
        ASSERT_EQ(objects.size(), 1u);
        std::vector<testing::Matcher<trelTexCoord>> expected;
        for (auto [s, t] : c.coords)
            expected.push_back(NearTexCoord(s, t));
        EXPECT_THAT(VertexTexCoords(*objects[0].object), testing::ElementsAreArray(expected)) << c.nodes;
    }
}

TEST(Attributes, TexturedGridAndExtrusionGetTheirStandardMappings) {
    PositionedParser p(
        "Shape { geometry ElevationGrid { xDimension 3 zDimension 2 xSpacing 1 zSpacing 1 height [ 0 0 0 0 0 0 ] } }"
        "Shape { geometry Extrusion { crossSection [ 0 0, 1 0, 1 1 ] spine [ 0 0 0, 0 1 0, 0 3 0 ]"
        " beginCap FALSE } }");
    p.parser.GetCurrentSeparator()->SetTexture(std::make_shared<trelTexture>());
    p.parser.ParseBlock();
    p.parser.ParseBlock();
    auto objects = AllObjects(p.world);
    ASSERT_EQ(objects.size(), 3u); // grid, extrusion, end cap
    const trelAttributes* grid = objects[0].object->GetAttributes();
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->texCoords.GetSize(), 6);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_THAT(grid->texCoords[i * 2 + j], NearTexCoord(i / 2.0f, j / 1.0f));

    const trelAttributes* extrusion = objects[1].object->GetAttributes();
    ASSERT_NE(extrusion, nullptr);
    const float s[] = {0, 0.5f, 1}, t[] = {0, 1 / 3.0f, 1};
    ASSERT_EQ(extrusion->texCoords.GetSize(), 9);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_THAT(extrusion->texCoords[i * 3 + j], NearTexCoord(s[j], t[i]));

    EXPECT_THAT(VertexTexCoords(*objects[2].object),
                testing::ElementsAre(NearTexCoord(0, 0), NearTexCoord(1, 0), NearTexCoord(1, 1)));
}

// The many objects of one point set share one block, texture included.
TEST(Attributes, TexturedPointSetDotsShareOneBlock) {
    PositionedParser p(std::string("Shape { geometry PointSet { ") + SquareV2 + " color Color { color [ " + Palette +
                       " ] } } }");
    auto texture = std::make_shared<trelTexture>();
    texture->repeatS = false;
    p.parser.GetCurrentSeparator()->SetTexture(texture);
    p.parser.ParseBlock();
    auto objects = AllObjects(p.world);
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(VertexColors(objects), "0 1 2 3");
    for (const FoundObject& found : objects) {
        EXPECT_EQ(found.object->GetAttributes(), objects[0].object->GetAttributes());
        EXPECT_FALSE(found.object->GetAttributes()->texture.repeatS);
    }
}

// Whatever the files of the shared corpus say, every vertex and face of an
// object finds its colour, normal and texture coordinate inside its block.
TEST(Attributes, CorpusBlocksNameOnlyValuesTheyHold) {
    const std::filesystem::path corpus(VRML_CORPUS_DIR);
    std::error_code error;
    if (!std::filesystem::is_directory(corpus, error))
        GTEST_SKIP() << "no corpus";
    auto holds = [](const trelBaseObject& object, const trelIntArray& index, int number, int count) {
        return ValueOf(object, index, number, count) >= 0;
    };
    size_t blocks = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".wrl" && extension != ".WRL" && extension != ".vrml"))
            continue;
        C3DWorld world;
        CVRMLParser parser;
        parser.Parse(&world, entry.path().string());
        for (const FoundObject& found : AllObjects(world)) {
            const trelBaseObject& object = *found.object;
            const trelAttributes* block = object.GetAttributes();
            if (!block)
                continue;
            ++blocks;
            int missing = 0;
            ForEachVertex(object, [&](int vertex, int face) {
                if (block->HasColors() &&
                    !holds(object, block->colorIndex, block->colorPerVertex ? vertex : face, block->colors.GetSize()))
                    ++missing;
                if (block->HasNormals() && !holds(object, block->normalIndex, block->normalPerVertex ? vertex : face,
                                                  block->normals.GetSize()))
                    ++missing;
                if (block->HasTexCoords() && !holds(object, block->texCoordIndex, vertex, block->texCoords.GetSize()))
                    ++missing;
            });
            EXPECT_EQ(missing, 0) << entry.path();
        }
    }
    EXPECT_GT(blocks, 0u);
}

// A malformed attribute node ends at its own closing brace: what follows is
// read at the level it stands at.
TEST(Attributes, MalformedAttributeNodesEndAtTheirOwnBrace) {
    const char* const nodes[] = {
        "ShapeHints { { } creaseAngle 0.7 }",
        "ShapeHints { creaseAngle }",
        "ShapeHints { vertexOrdering }",
        "Normal { vector [ 0 0 1 }",
        "Normal { foo { } vector [ 0 0 1 ] }",
        "TextureCoordinate2 { point [ 0 0 1 ] }",
        "TextureCoordinate2 { point [ 0 foo { } ] }",
    };
    for (const char* node : nodes) {
        LoadedText loaded;
        auto objects = Build(loaded, V1, std::string("DEF Inner Separator { ") + node + " Cube { } } Cube { }");
        ASSERT_EQ(objects.size(), 2u) << node;
        EXPECT_EQ(objects[0].object->GetObjectType(), TREL_BOX) << node;
        EXPECT_EQ(objects[0].groupName, "") << node; // the world's own cube first
        EXPECT_EQ(objects[1].groupName, "Inner") << node;
    }
}

// A set built face by face hands all its faces one block, its normals
// placed once.
TEST(Attributes, FaceByFaceObjectsShareOnePlacedBlock) {
    LoadedText loaded;
    auto objects = Build(loaded, V1,
                         "Rotation { rotation 0 1 0 1.5707963 } Normal { vector [ 0 0 1, 0 1 0 ] }"
                         " NormalBinding { value PER_FACE } " +
                             MaterialV1("PER_FACE") + " IndexedFaceSet { " + TwoTriangles + " }");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].object->GetAttributes(), objects[1].object->GetAttributes());
    EXPECT_EQ(VertexColors(objects), "000 111");
    EXPECT_THAT(VertexNormals(*objects[0].object), testing::Each(NearVector(1, 0, 0)));
    EXPECT_THAT(VertexNormals(*objects[1].object), testing::Each(NearVector(0, 1, 0)));
}
