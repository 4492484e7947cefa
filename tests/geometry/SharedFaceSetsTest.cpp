// A face set that the file repeats by USE shares one local geometry; every
// value a host reads must still be what the same set written out again at
// each place gives.

#include "TestScene.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

bool SameBits(const trelFloatPointArray& a, const trelFloatPointArray& b) {
    return a.GetSize() == b.GetSize() &&
           (a.GetSize() == 0 || std::memcmp(a.Items().data(), b.Items().data(), a.Items().size() * sizeof(a[0])) == 0);
}

void ExpectSameAttributes(const trelAttributes* used, const trelAttributes* written) {
    ASSERT_EQ(used == nullptr, written == nullptr);
    if (!used)
        return;
    EXPECT_EQ(used->colors, written->colors);
    EXPECT_EQ(used->colorIndex, written->colorIndex);
    EXPECT_EQ(used->normals, written->normals);
    EXPECT_EQ(used->normalIndex, written->normalIndex);
    EXPECT_EQ(used->texCoords, written->texCoords);
    EXPECT_EQ(used->texCoordIndex, written->texCoordIndex);
}

void ExpectSameTessellation(const trelBaseObject& used, const trelBaseObject& written) {
    for (bool attributes : {false, true}) {
        trelTessellationOptions options;
        options.attributes = attributes;
        trelTessellation a, b;
        used.Tessellate(a, options);
        written.Tessellate(b, options);
        EXPECT_EQ(a.triangleVertices, b.triangleVertices);
        EXPECT_EQ(a.triangleNormals, b.triangleNormals);
        EXPECT_EQ(a.triangleColors, b.triangleColors);
        EXPECT_EQ(a.triangleTexCoords, b.triangleTexCoords);
        EXPECT_EQ(a.lineStrips, b.lineStrips);
        EXPECT_EQ(used.CountTessellation(options), a.GetCounts());
    }
}

// Everything a host reads of one object. (A use of a named node sits in a
// group of that name, which the text written out has not.)
void ExpectSameObject(const FoundObject& used, const FoundObject& written) {
    ASSERT_EQ(used.object->GetObjectType(), written.object->GetObjectType());
    EXPECT_EQ(*used.props, *written.props);
    const trelBBox a = used.object->GetBBox(), b = written.object->GetBBox();
    EXPECT_EQ(a.GetMin(), b.GetMin());
    EXPECT_EQ(a.GetMax(), b.GetMax());
    ExpectSameAttributes(used.object->GetAttributes(), written.object->GetAttributes());
    ExpectSameTessellation(*used.object, *written.object);
    if (used.object->GetObjectType() == TREL_POLYFACE) {
        const auto& u = static_cast<const C3DPolyface&>(*used.object);
        const auto& w = static_cast<const C3DPolyface&>(*written.object);
        EXPECT_TRUE(SameBits(u.GetPoints(), w.GetPoints()));
        EXPECT_EQ(u.GetIndices(), w.GetIndices());
    }
}

// The distinct geometries the face sets of a world share.
size_t SharedGeometries(const std::vector<FoundObject>& objects) {
    std::set<const trelBaseObject*> locals;
    for (const FoundObject& found : objects)
        if (const auto shared = found.object->GetSharedGeometry(); shared.local)
            locals.insert(shared.local.get());
    return locals.size();
}

const char* const Bracket = "IndexedFaceSet { coord Coordinate { point [ 0 0 0, 4 0 0, 4 1 0, 1 1 0, 1 3 0, 0 3 0,"
                            " 0 0 2, 4 0 2, 4 1 2, 1 1 2, 1 3 2, 0 3 2 ] }"
                            " coordIndex [ 0 5 4 3 2 1 -1, 6 7 8 9 10 11 -1, 0 1 7 6 -1, 1 2 8 7 -1, 2 3 9 8 -1,"
                            " 3 4 10 9 -1, 4 5 11 10 -1, 5 0 6 11 -1 ] }";

} // namespace

// Each row holds a scene with DEF and USE and the same scene with every USE
// replaced by the text it names; both must give the same objects, value for
// value, and the uses share as many geometries as the row says.
TEST(SharedFaceSets, UsesReadExactlyAsTheSetWrittenOutAtEachPlace) {
    struct Case {
        const char* what;
        std::string used, written;
        size_t geometries;
    };
    const std::string bracket = Bracket;
    const std::string shape = "Shape { appearance Appearance { material Material { } } geometry " + bracket + " }";
    const std::string place1 = "Transform { translation 40 -3 7 rotation 0 0 1 0.7 children ";
    const std::string place2 = "Transform { scale 1 3 0.5 rotation 1 1 0 2.1 children ";
    // A pattern texture: the sets it covers take the default texture coordinates.
    const std::string textured =
        "Shape { appearance Appearance { texture PixelTexture { image 1 1 1 0xFF } } geometry ";
    const std::string smooth = "IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 1 ] }"
                               " coordIndex [ 0 1 2 -1, 0 2 3 -1 ] normal Normal { vector [ 0 0 1, 0 1 0 ] }"
                               " normalPerVertex FALSE creaseAngle 0.5 }";
    const std::string v1Set = "IndexedFaceSet { coordIndex [ 0 1 2 -1, 0 2 3 -1 ] }";
    const std::string pointsA = "Coordinate3 { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0, 7 7 7 ] }";
    const std::string pointsB = "Coordinate3 { point [ 0 0 0, 2 0 0, 2 2 1, 0 2 0 ] }";
    const Case cases[] = {
        {"a shape placed twice, a world large enough to keep its unit",
         std::string(V2) + "DEF B " + shape + place1 + "USE B }" + place2 + "USE B }",
         std::string(V2) + shape + place1 + shape + "}" + place2 + shape + "}", 1},
        {"a small world, scaled to its unit after the uses were placed",
         std::string(V2) + "Transform { scale 0.01 0.01 0.01 children [ DEF B " + shape + place1 + "USE B }" + place2 +
             "USE B } ] }",
         std::string(V2) + "Transform { scale 0.01 0.01 0.01 children [ " + shape + place1 + shape + "}" + place2 +
             shape + "} ] }",
         1},
        {"normals given per face, turned by each placement",
         std::string(V2) + "Shape { geometry DEF S " + smooth + " }" + place1 + "Shape { geometry USE S } }" + place2 +
             "Shape { geometry USE S } }",
         std::string(V2) + "Shape { geometry " + smooth + " }" + place1 + "Shape { geometry " + smooth + " } }" +
             place2 + "Shape { geometry " + smooth + " } }",
         1},
        {"a texture at some uses only: their default coordinates are not the others'",
         std::string(V2) + "Shape { geometry DEF S " + bracket + " }" + place1 + textured + "USE S } }" + textured +
             "USE S }" + place2 + "Shape { geometry USE S } }",
         std::string(V2) + "Shape { geometry " + bracket + " }" + place1 + textured + bracket + " } }" + textured +
             bracket + " }" + place2 + "Shape { geometry " + bracket + " } }",
         3},
        // Each Coordinate3 read is a list of its own, equal values or not.
        {"VRML 1.0: a use takes the coordinates in force where it stands",
         std::string(V1) + pointsA + "DEF F " + v1Set + "Separator { Translation { translation 30 0 0 } USE F }" +
             "Separator { " + pointsB + " USE F } Separator { " + pointsB + " USE F } USE F",
         std::string(V1) + pointsA + v1Set + "Separator { Translation { translation 30 0 0 } " + v1Set + " }" +
             "Separator { " + pointsB + v1Set + " } Separator { " + pointsB + v1Set + " } " + v1Set,
         4},
        {"VRML 1.0: a material of its own at each use",
         std::string(V1) + pointsA + "DEF F " + v1Set + "Separator { Material { diffuseColor 1 0 0 } USE F }" +
             "Separator { Material { diffuseColor 0 0 1 } USE F }",
         std::string(V1) + pointsA + v1Set + "Separator { Material { diffuseColor 1 0 0 } " + v1Set + " }" +
             "Separator { Material { diffuseColor 0 0 1 } " + v1Set + " }",
         1},
        {"VRML 1.0: a material per face makes a polygon per face, shared by none",
         std::string(V1) + pointsA + "Material { diffuseColor [ 1 0 0, 0 0 1 ] } MaterialBinding { value PER_FACE }" +
             "DEF F " + v1Set + "Separator { Translation { translation 30 0 0 } USE F }",
         std::string(V1) + pointsA + "Material { diffuseColor [ 1 0 0, 0 0 1 ] } MaterialBinding { value PER_FACE }" +
             v1Set + "Separator { Translation { translation 30 0 0 } " + v1Set + " }",
         0},
        {"a name defined again: later uses take the new set",
         std::string(V1) + pointsA + "DEF F " + v1Set + "USE F DEF F IndexedFaceSet { coordIndex [ 3 2 1 -1 ] } USE F",
         std::string(V1) + pointsA + v1Set + v1Set + "IndexedFaceSet { coordIndex [ 3 2 1 -1 ] }" +
             "IndexedFaceSet { coordIndex [ 3 2 1 -1 ] }",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoadedText used = LoadText(c.used), written = LoadText(c.written);
        ASSERT_EQ(used.result, VRML_LOAD_SUCCESS);
        ASSERT_EQ(written.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(used.parser->GetImageUnits(), written.parser->GetImageUnits());
        const auto usedObjects = AllObjects(*used.world), writtenObjects = AllObjects(*written.world);
        ASSERT_EQ(usedObjects.size(), writtenObjects.size());
        for (size_t i = 0; i < usedObjects.size(); ++i) {
            SCOPED_TRACE(i);
            ExpectSameObject(usedObjects[i], writtenObjects[i]);
        }
        EXPECT_EQ(SharedGeometries(usedObjects), c.geometries);
        EXPECT_EQ(SharedGeometries(writtenObjects), 0u);
    }
}

TEST(SharedFaceSets, EveryUseIsPlacedFromTheOneGeometryItShares) {
    std::string scene = std::string(V2) + "DEF B Shape { geometry " + Bracket + " }";
    for (int i = 1; i <= 20; ++i)
        scene += "Transform { translation " + std::to_string(i * 10) + " 0 0 rotation 0 1 0 " +
                 std::to_string(i * 0.3) + " children USE B }";
    LoadedText loaded = LoadText(scene);
    const auto objects = AllObjects(*loaded.world);
    ASSERT_EQ(objects.size(), 21u);
    const auto first = objects[0].object->GetSharedGeometry().local;
    ASSERT_TRUE(first);
    for (const FoundObject& found : objects) {
        const auto shared = found.object->GetSharedGeometry();
        EXPECT_EQ(shared.local, first);
        // The local geometry placed by the one matrix lands where the use is.
        const auto& local = static_cast<const C3DPolyface&>(*shared.local).GetPoints();
        const auto& world = static_cast<const C3DPolyface&>(*found.object).GetPoints();
        ASSERT_EQ(local.GetSize(), world.GetSize());
        for (int k = 0; k < local.GetSize(); ++k)
            EXPECT_THAT(local[k] * shared.placement, NearPoint(world[k].x, world[k].y, world[k].z));
    }
}
