// What the exporters keep of the file's colours, normals, texture
// coordinates and textures, read back with exact values: glTF with
// tinygltf, OBJ and PLY as text and bytes.

#include "WorldTestSupport.h"
#include "export/Convert.h"
#include "export/ExportScene.h"
#include "export/SceneWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <stb_image_write.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;
using testing::DoubleNear;
using testing::ElementsAre;
using testing::FloatNear;
using testing::Pointwise;

namespace {

// Linear values of the display values the tests use.
const double Linear02 = 0.0331048, Linear05 = 0.2140411;

struct ReadBack {
    tinygltf::Model model;
    std::vector<std::vector<unsigned char>> imageBytes; // each image's file, as embedded
};

// Keeps each image's bytes and decodes those that stb can read.
bool KeepImageBytes(tinygltf::Image* image, const int index, std::string* error, std::string* warning, int width,
                    int height, const unsigned char* bytes, int size, void* context) {
    auto& kept = *static_cast<std::vector<std::vector<unsigned char>>*>(context);
    kept.resize(std::max(kept.size(), static_cast<size_t>(index) + 1));
    kept[static_cast<size_t>(index)].assign(bytes, bytes + size);
    tinygltf::LoadImageData(image, index, error, warning, width, height, bytes, size, nullptr);
    error->clear();
    return true;
}

ReadBack ReadGltf(const fs::path& path) {
    ReadBack read;
    tinygltf::TinyGLTF reader;
    reader.SetImageLoader(KeepImageBytes, &read.imageBytes);
    std::string error, warning;
    const bool binary = path.extension() == ".glb";
    const bool loaded = binary ? reader.LoadBinaryFromFile(&read.model, &error, &warning, path.string())
                               : reader.LoadASCIIFromFile(&read.model, &error, &warning, path.string());
    EXPECT_TRUE(loaded) << error;
    return read;
}

// An accessor's elements, each as its floats, wherever its view's stride puts them.
std::vector<std::vector<float>> Elements(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(static_cast<size_t>(index));
    EXPECT_EQ(accessor.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
    const tinygltf::BufferView& view = model.bufferViews.at(static_cast<size_t>(accessor.bufferView));
    const size_t components = static_cast<size_t>(tinygltf::GetNumComponentsInType(accessor.type));
    const size_t stride = view.byteStride ? view.byteStride : components * sizeof(float);
    const unsigned char* start = model.buffers.at(0).data.data() + view.byteOffset + accessor.byteOffset;
    std::vector<std::vector<float>> elements(accessor.count, std::vector<float>(components));
    for (size_t i = 0; i < accessor.count; ++i)
        std::memcpy(elements[i].data(), start + i * stride, components * sizeof(float));
    return elements;
}

std::vector<uint32_t> Indices(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(static_cast<size_t>(index));
    const tinygltf::BufferView& view = model.bufferViews.at(static_cast<size_t>(accessor.bufferView));
    std::vector<uint32_t> indices(accessor.count);
    std::memcpy(indices.data(), model.buffers.at(0).data.data() + view.byteOffset + accessor.byteOffset,
                indices.size() * sizeof(uint32_t));
    return indices;
}

const tinygltf::Mesh& MeshNamed(const tinygltf::Model& model, const std::string& name) {
    for (const tinygltf::Node& node : model.nodes)
        if (node.name == name && node.mesh >= 0)
            return model.meshes.at(static_cast<size_t>(node.mesh));
    ADD_FAILURE() << "no mesh named " << name;
    return model.meshes.at(0);
}

// One triangle primitive's attribute at each vertex, found by its position.
std::map<std::vector<float>, std::vector<float>>
ByPosition(const tinygltf::Model& model, const tinygltf::Primitive& primitive, const std::string& attribute) {
    const auto positions = Elements(model, primitive.attributes.at("POSITION"));
    const auto values = Elements(model, primitive.attributes.at(attribute));
    std::map<std::vector<float>, std::vector<float>> found;
    for (size_t i = 0; i < positions.size(); ++i)
        found[positions[i]] = values.at(i);
    return found;
}

std::vector<double> Numbers(const tinygltf::Value& array) {
    std::vector<double> numbers;
    for (size_t i = 0; i < array.ArrayLen(); ++i)
        numbers.push_back(array.Get(static_cast<int>(i)).GetNumberAsDouble());
    return numbers;
}

TEST(AttributeExport, PerFaceColoursSplitSharedVerticesAndBecomeLinear) {
    auto world = AttributeWorld();
    const ExportScene scene = BuildExportScene(*world, ExportOptions());
    // The two points on the diagonal are written once for each face.
    EXPECT_EQ(scene.objects[0].positions.size(), 6u);
    EXPECT_EQ(scene.objects[0].colors.size(), 6u);
    const fs::path dir = FreshDir();
    for (const char* file : {"faces.glb", "faces.gltf"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(WriteGltf(scene, (dir / file).string(), fs::path(file).extension() == ".glb"), "");
        const tinygltf::Model model = ReadGltf(dir / file).model;
        const tinygltf::Primitive& faces = MeshNamed(model, "Faces").primitives.at(0);
        ASSERT_EQ(faces.attributes.count("COLOR_0"), 1u);
        const auto positions = Elements(model, faces.attributes.at("POSITION"));
        const auto colors = Elements(model, faces.attributes.at("COLOR_0"));
        EXPECT_EQ(positions.size(), 6u);
        const std::vector<uint32_t> corners = Indices(model, faces.indices);
        ASSERT_EQ(corners.size(), 6u);
        for (size_t t = 0; t < corners.size(); t += 3) {
            // Face 0 lies below the diagonal x = y.
            float x = 0, y = 0;
            for (size_t k = 0; k < 3; ++k) {
                x += positions.at(corners[t + k])[0];
                y += positions.at(corners[t + k])[1];
            }
            const std::vector<double> expected =
                x > y ? std::vector<double>{1.0, Linear05, 0.0} : std::vector<double>{Linear02, 1.0, 0.0};
            for (size_t k = 0; k < 3; ++k)
                EXPECT_THAT(colors.at(corners[t + k]), Pointwise(DoubleNear(1e-6), expected)) << t;
        }
        // The colours replace the diffuse colour: the factor leaves them as they are.
        EXPECT_THAT(model.materials.at(static_cast<size_t>(faces.material)).pbrMetallicRoughness.baseColorFactor,
                    ElementsAre(1.0, 1.0, 1.0, 1.0));
    }
}

TEST(AttributeExport, PerVertexColoursKeepSharedVerticesAndColourLinesAndPoints) {
    auto colours = std::make_shared<trelAttributes>();
    colours->colors = ArrayOf<trelChroma>({{0.5f, 0, 0}, {0, 0.5f, 0}, {0, 0, 0.5f}, {1, 1, 1}});
    colours->colorIndex = SquareVertexIndex();
    auto world = AttributeWorld();
    world->AddObject(MakeSquare(colours), Material(Red), true);
    const ExportScene scene = BuildExportScene(*world, ExportOptions());
    const fs::path path = FreshDir() / "vertices.glb";
    ASSERT_EQ(WriteGltf(scene, path.string(), true), "");
    const tinygltf::Model model = ReadGltf(path).model;

    const tinygltf::Primitive& square = MeshNamed(model, "polyface").primitives.at(0);
    const auto colors = ByPosition(model, square, "COLOR_0");
    EXPECT_EQ(Elements(model, square.attributes.at("POSITION")).size(), 4u);
    EXPECT_THAT(colors.at({0, 0, 0}), Pointwise(DoubleNear(1e-6), std::vector<double>{Linear05, 0, 0}));
    EXPECT_THAT(colors.at({1, 0, 0}), Pointwise(DoubleNear(1e-6), std::vector<double>{0, Linear05, 0}));
    EXPECT_THAT(colors.at({1, 1, 0}), Pointwise(DoubleNear(1e-6), std::vector<double>{0, 0, Linear05}));
    EXPECT_THAT(colors.at({0, 1, 0}), Pointwise(DoubleNear(1e-6), std::vector<double>{1, 1, 1}));

    const tinygltf::Primitive& line = MeshNamed(model, "polyline").primitives.at(0);
    EXPECT_EQ(line.mode, TINYGLTF_MODE_LINE_STRIP);
    EXPECT_THAT(Elements(model, line.attributes.at("COLOR_0")),
                ElementsAre(ElementsAre(1, 0, 0), ElementsAre(0, 1, 0), ElementsAre(0, 0, 1)));
    // The dots, one after the other in one group and material, are one
    // primitive; each keeps the colour at its offset in the shared block.
    std::vector<const tinygltf::Node*> dots;
    for (const tinygltf::Node& node : model.nodes)
        if (node.name == "dot")
            dots.push_back(&node);
    ASSERT_EQ(dots.size(), 1u);
    const tinygltf::Primitive& cloud = model.meshes.at(static_cast<size_t>(dots[0]->mesh)).primitives.at(0);
    EXPECT_EQ(cloud.mode, TINYGLTF_MODE_POINTS);
    EXPECT_THAT(Elements(model, cloud.attributes.at("POSITION")),
                ElementsAre(ElementsAre(0, 5, 0), ElementsAre(1, 5, 0)));
    EXPECT_THAT(Elements(model, cloud.attributes.at("COLOR_0")),
                ElementsAre(ElementsAre(1, 0, 0), ElementsAre(0, 1, 0)));
}

TEST(AttributeExport, GivenNormalsAreWrittenAtTheirVertices) {
    auto normals = std::make_shared<trelAttributes>();
    normals->normals = ArrayOf<trelVector>({{0, 0, 1}, {0.6f, 0, 0.8f}, {0.48f, 0.6f, 0.64f}, {0, 0.6f, 0.8f}});
    normals->normalIndex = SquareVertexIndex();
    C3DWorld world;
    world.AddObject(MakeSquare(normals), Material(Red), true);
    const fs::path path = FreshDir() / "normals.glb";
    ASSERT_EQ(WriteGltf(BuildExportScene(world, ExportOptions()), path.string(), true), "");
    const tinygltf::Model model = ReadGltf(path).model;
    const auto written = ByPosition(model, MeshNamed(model, "polyface").primitives.at(0), "NORMAL");
    ASSERT_EQ(written.size(), 4u);
    EXPECT_THAT(written.at({0, 0, 0}), Pointwise(FloatNear(1e-6f), std::vector<float>{0, 0, 1}));
    EXPECT_THAT(written.at({1, 0, 0}), Pointwise(FloatNear(1e-6f), std::vector<float>{0.6f, 0, 0.8f}));
    EXPECT_THAT(written.at({1, 1, 0}), Pointwise(FloatNear(1e-6f), std::vector<float>{0.48f, 0.6f, 0.64f}));
    EXPECT_THAT(written.at({0, 1, 0}), Pointwise(FloatNear(1e-6f), std::vector<float>{0, 0.6f, 0.8f}));
}

TEST(AttributeExport, TextureCoordinatesAndThePngFileEmbeddedAsItIs) {
    auto world = AttributeWorld();
    const ExportScene scene = BuildExportScene(*world, ExportOptions());
    ASSERT_EQ(scene.textures.size(), 1u);
    const std::vector<unsigned char>& png = scene.textures[0].image->encoded;
    const fs::path dir = FreshDir();
    for (const char* file : {"pictured.glb", "pictured.gltf"}) {
        SCOPED_TRACE(file);
        const bool binary = fs::path(file).extension() == ".glb";
        ASSERT_EQ(WriteGltf(scene, (dir / file).string(), binary), "");
        const ReadBack read = ReadGltf(dir / file);
        const tinygltf::Model& model = read.model;
        const tinygltf::Primitive& square = MeshNamed(model, "Pictured").primitives.at(0);
        // glTF's t runs down the picture: t becomes 1 - t.
        const auto texCoords = ByPosition(model, square, "TEXCOORD_0");
        EXPECT_THAT(texCoords.at({2, 0, 0}), ElementsAre(0.0f, 1.0f));
        EXPECT_THAT(texCoords.at({3, 0, 0}), ElementsAre(2.0f, 1.0f));
        EXPECT_THAT(texCoords.at({3, 1, 0}), ElementsAre(2.0f, 0.75f));
        EXPECT_THAT(texCoords.at({2, 1, 0}), ElementsAre(0.0f, 0.75f));

        const tinygltf::Material& material = model.materials.at(static_cast<size_t>(square.material));
        const int textureIndex = material.pbrMetallicRoughness.baseColorTexture.index;
        ASSERT_GE(textureIndex, 0);
        // A colour picture replaces the diffuse colour.
        EXPECT_THAT(material.pbrMetallicRoughness.baseColorFactor, ElementsAre(1.0, 1.0, 1.0, 1.0));
        EXPECT_EQ(material.alphaMode, "OPAQUE");
        const tinygltf::Texture& texture = model.textures.at(static_cast<size_t>(textureIndex));
        const tinygltf::Sampler& sampler = model.samplers.at(static_cast<size_t>(texture.sampler));
        EXPECT_EQ(sampler.wrapS, TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE);
        EXPECT_EQ(sampler.wrapT, TINYGLTF_TEXTURE_WRAP_REPEAT);
        const tinygltf::Image& image = model.images.at(static_cast<size_t>(texture.source));
        EXPECT_EQ(image.name, "checker.png");
        EXPECT_EQ(image.bufferView >= 0, binary);
        EXPECT_EQ(read.imageBytes.at(static_cast<size_t>(texture.source)), png);
        // The lines and points of the scene use no texture.
        for (const char* name : {"polyline", "dot"})
            EXPECT_EQ(model.materials.at(static_cast<size_t>(MeshNamed(model, name).primitives.at(0).material))
                          .pbrMetallicRoughness.baseColorTexture.index,
                      -1)
                << name;
    }
    const std::string text = ReadFile(dir / "pictured.gltf");
    EXPECT_NE(text.find("\"uri\":\"data:image/png;base64,"), std::string::npos);
}

// Which file goes in for each kind of picture, and how it sets the
// material: a row is a picture, its expected MIME type, and whether the
// embedded bytes are its own file.
TEST(AttributeExport, PicturesEmbedTheirFileOrPngAndSetTheMaterial) {
    const std::vector<unsigned char> grey = {10, 10, 10, 255, 200, 200, 200, 255};
    const std::vector<unsigned char> seeThrough = {255, 0, 0, 255, 0, 0, 255, 128};
    struct Row {
        const char* what;
        std::shared_ptr<trelImage> image;
        std::string mimeType;
        bool ownFile;
        std::vector<double> baseColor; // diffuse (0.5, 0.2, 1) at alpha 0.5
        std::string alphaMode;
    };
    auto jpeg = ColourPicture(false);
    jpeg->encoded = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3}; // passed on unread
    jpeg->mimeType = "image/jpeg";
    auto gif = ColourPicture(false);
    gif->encoded = {'G', 'I', 'F', '8', '9', 'a'}; // only PNG and JPEG files go in as they are
    gif->mimeType = "image/gif";
    const std::vector<Row> rows = {
        {"png file", ColourPicture(true), "image/png", true, {1, 1, 1, 0.5}, "BLEND"},
        {"jpeg file", jpeg, "image/jpeg", true, {1, 1, 1, 0.5}, "BLEND"},
        {"gif file", gif, "image/png", false, {1, 1, 1, 0.5}, "BLEND"},
        {"grey pixels", MakeImage(2, 1, grey), "image/png", false, {Linear05, Linear02, 1, 0.5}, "BLEND"},
        {"pixels with alpha", MakeImage(2, 1, seeThrough), "image/png", false, {1, 1, 1, 1}, "BLEND"},
    };
    const fs::path dir = FreshDir();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto attributes = std::make_shared<trelAttributes>();
        attributes->texture.image = row.image;
        C3DWorld world; // no coordinates given: the default mapping
        world.AddObject(MakeSquare(attributes), Material(trelChroma(0.5f, 0.2f, 1.0f, 0.5f)), true);
        const fs::path path = dir / (std::string(row.what) + ".glb");
        ASSERT_EQ(WriteGltf(BuildExportScene(world, ExportOptions()), path.string(), true), "");
        const ReadBack read = ReadGltf(path);
        ASSERT_EQ(read.model.images.size(), 1u);
        const tinygltf::Image& image = read.model.images[0];
        EXPECT_EQ(image.mimeType, row.mimeType);
        if (row.ownFile) {
            EXPECT_EQ(read.imageBytes.at(0), row.image->encoded);
        } else {
            // Encoded again from the pixels, which read back unchanged.
            EXPECT_EQ(image.width, row.image->width);
            EXPECT_EQ(image.component, 4);
            EXPECT_EQ(image.image, row.image->rgba);
        }
        const tinygltf::Primitive& square = read.model.meshes.at(0).primitives.at(0);
        EXPECT_EQ(square.attributes.count("TEXCOORD_0"), 1u);
        const tinygltf::Material& material = read.model.materials.at(static_cast<size_t>(square.material));
        EXPECT_THAT(material.pbrMetallicRoughness.baseColorFactor, Pointwise(DoubleNear(1e-6), row.baseColor));
        EXPECT_EQ(material.alphaMode, row.alphaMode);
    }
}

TEST(AttributeExport, OneMaterialWithTwoTexturesBecomesTwoAndEachImageIsEmbeddedOnce) {
    const auto picture = ColourPicture(true);
    const auto other = MakeImage(1, 1, {0, 0, 255, 255});
    C3DWorld world;
    for (const auto& [image, repeat] : std::vector<std::pair<std::shared_ptr<trelImage>, bool>>{
             {picture, true}, {other, true}, {picture, true}, {picture, false}}) {
        auto attributes = std::make_shared<trelAttributes>();
        attributes->texture.image = image;
        attributes->texture.repeatT = repeat;
        world.AddObject(MakeSquare(attributes), Material(Red), true);
    }
    const fs::path path = FreshDir() / "two.glb";
    ASSERT_EQ(WriteGltf(BuildExportScene(world, ExportOptions()), path.string(), true), "");
    const tinygltf::Model model = ReadGltf(path).model;
    std::vector<int> materials, textures;
    for (const tinygltf::Mesh& mesh : model.meshes) {
        materials.push_back(mesh.primitives.at(0).material);
        textures.push_back(
            model.materials.at(static_cast<size_t>(materials.back())).pbrMetallicRoughness.baseColorTexture.index);
    }
    // The red material itself comes first, then one per texture.
    EXPECT_EQ(materials, (std::vector<int>{1, 2, 1, 3}));
    EXPECT_EQ(textures, (std::vector<int>{0, 1, 0, 2}));
    EXPECT_EQ(model.images.size(), 2u);
    EXPECT_EQ(model.samplers.size(), 2u);
    EXPECT_EQ(model.textures.at(2).source, model.textures.at(0).source);
}

TEST(AttributeExport, MaterialFactorsAreLinearAndTheSpecularColourUsesItsExtension) {
    trelMatProps props = Material(trelChroma(0.5f, 0.2f, 0.5f), trelChroma(0.2f, 0.0f, 0.5f));
    props.front.SetSpecular(trelChroma(1.0f, 0.5f, 0.0f));
    C3DWorld world;
    world.AddObject(MakeSquare(nullptr), props, true);
    world.AddObject(MakeSquare(nullptr), Material(Red), true); // black specular
    const fs::path path = FreshDir() / "material.gltf";
    ASSERT_EQ(WriteGltf(BuildExportScene(world, ExportOptions()), path.string(), false), "");
    const tinygltf::Model model = ReadGltf(path).model;
    EXPECT_THAT(model.extensionsUsed, ElementsAre("KHR_materials_specular"));
    ASSERT_EQ(model.materials.size(), 2u);
    const tinygltf::Material& material = model.materials[0];
    EXPECT_THAT(material.pbrMetallicRoughness.baseColorFactor,
                Pointwise(DoubleNear(1e-6), std::vector<double>{Linear05, Linear02, Linear05, 1.0}));
    EXPECT_THAT(material.emissiveFactor, Pointwise(DoubleNear(1e-6), std::vector<double>{Linear02, 0.0, Linear05}));
    ASSERT_EQ(material.extensions.count("KHR_materials_specular"), 1u);
    const tinygltf::Value& specular = material.extensions.at("KHR_materials_specular");
    EXPECT_THAT(Numbers(specular.Get("specularColorFactor")),
                Pointwise(DoubleNear(1e-6), std::vector<double>{1.0, Linear05, 0.0}));
    // A black one turns the whole specular layer off, grazing sheen included.
    const tinygltf::Value& none = model.materials[1].extensions.at("KHR_materials_specular");
    EXPECT_FALSE(none.Has("specularColorFactor"));
    ASSERT_TRUE(none.Get("specularFactor").IsNumber());
    EXPECT_EQ(none.Get("specularFactor").GetNumberAsDouble(), 0.0);
    // Without colours or a texture, no vertex carries either.
    const tinygltf::Primitive& square = model.meshes.at(0).primitives.at(0);
    EXPECT_EQ(square.attributes.count("COLOR_0") + square.attributes.count("TEXCOORD_0"), 0u);
}

TEST(AttributeExport, ObjHasVertexColoursTextureCoordinatesAndTheImageBesideTheMtl) {
    auto world = AttributeWorld();
    const ExportScene scene = BuildExportScene(*world, ExportOptions());
    const fs::path dir = FreshDir();
    ASSERT_EQ(WriteObj(scene, (dir / "scene.obj").string()), "");
    const std::vector<std::string> obj = Lines(ReadFile(dir / "scene.obj"));
    const std::vector<std::string> mtl = Lines(ReadFile(dir / "scene.mtl"));
    // The file's own values: colours and t as the file gives them.
    EXPECT_THAT(obj, testing::IsSupersetOf({"v 0 0 0 1 0.5 0", "v 1 1 0 0.2 1 0", "v 0 3 0 1 0 0", "v 1 5 0 0 1 0",
                                            "vt 2 0.25", "vt 0 0.25", "usemtl material_1_texture_0"}));
    // The textured square's faces name a position, a texture coordinate and a normal.
    size_t textured = 0;
    for (const std::string& line : obj)
        if (line.rfind("f ", 0) == 0 && line.find("//") == std::string::npos) {
            EXPECT_THAT(line, testing::MatchesRegex("f( [0-9]+/[0-9]+/[0-9]+){3}"));
            ++textured;
        }
    EXPECT_EQ(textured, 2u);
    EXPECT_THAT(mtl, testing::IsSupersetOf({"newmtl material_1_texture_0", "Kd 1 1 1", "map_Kd scene_texture_0.png"}));
    EXPECT_EQ(ReadFile(dir / "scene_texture_0.png"),
              std::string(scene.textures[0].image->encoded.begin(), scene.textures[0].image->encoded.end()));
}

TEST(AttributeExport, PlyHasTheFilesColoursAndTextureCoordinates) {
    auto world = AttributeWorld();
    const ExportScene scene = BuildExportScene(*world, ExportOptions());
    const fs::path path = FreshDir() / "scene.ply";
    ASSERT_EQ(WritePly(scene, path.string()), "");
    const std::string bytes = ReadFile(path);
    const size_t end = bytes.find("end_header\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_THAT(bytes.substr(0, end), testing::HasSubstr("property uchar alpha\nproperty float s\nproperty float t\n"));
    const std::string body = bytes.substr(end + std::strlen("end_header\n"));
    const size_t vertexSize = 6 * 4 + 4 + 2 * 4;
    const auto vertex = [&](size_t index) {
        const char* at = body.data() + index * vertexSize;
        float xyz[3], st[2];
        std::memcpy(xyz, at, sizeof xyz);
        std::memcpy(st, at + 28, sizeof st);
        const auto* rgba = reinterpret_cast<const unsigned char*>(at + 24);
        return std::make_tuple(std::vector<float>(xyz, xyz + 3), std::vector<int>(rgba, rgba + 4),
                               std::vector<float>(st, st + 2));
    };
    // The coloured square's first vertex, the textured square's vertices,
    // and the line's first point, in the order the scene holds them.
    const ExportObject& faces = scene.objects[0];
    const ExportObject& pictured = scene.objects[1];
    EXPECT_EQ(std::get<1>(vertex(0)), (std::vector<int>{255, 128, 0, 255})); // 0.5 of 255, rounded
    for (size_t i = 0; i < pictured.positions.size(); ++i) {
        const auto [xyz, rgba, st] = vertex(faces.positions.size() + i);
        EXPECT_EQ(rgba, (std::vector<int>{255, 0, 0, 255})); // the red diffuse colour
        // The square from x = 2 has s = 2 (x - 2) and t = 0.25 y, t up as in the file.
        EXPECT_EQ(st, (std::vector<float>{2 * (xyz[0] - 2), 0.25f * xyz[1]}));
    }
    const auto [lineStart, lineColor, lineTexCoord] = vertex(faces.positions.size() + pictured.positions.size());
    EXPECT_EQ(lineStart, (std::vector<float>{0, 3, 0}));
    EXPECT_EQ(lineColor, (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(lineTexCoord, (std::vector<float>{0, 0}));
}

} // namespace

// Scenes converted end to end, from the file's text to the .glb read back.
namespace {

ReadBack ConvertScene(const std::string& text, bool standard = false) {
    const fs::path dir = FreshDir();
    std::ofstream(dir / "scene.wrl", std::ios::binary) << text;
    ConvertSettings settings;
    settings.load.standard = standard;
    ConvertSummary summary;
    EXPECT_EQ(
        ConvertFile((dir / "scene.wrl").string(), (dir / "scene.glb").string(), ExportFormat::Glb, settings, summary),
        "");
    return ReadGltf(dir / "scene.glb");
}

std::vector<std::string> MeshNames(const tinygltf::Model& model) {
    std::vector<std::string> names;
    for (const tinygltf::Mesh& mesh : model.meshes)
        names.push_back(mesh.name);
    return names;
}

// The distinct values of an attribute at one position, over every triangle primitive.
std::set<std::vector<float>> ValuesAt(const tinygltf::Model& model, const std::vector<float>& position,
                                      const std::string& attribute) {
    std::set<std::vector<float>> values;
    for (const tinygltf::Mesh& mesh : model.meshes)
        for (const tinygltf::Primitive& primitive : mesh.primitives) {
            if (primitive.mode != TINYGLTF_MODE_TRIANGLES || !primitive.attributes.count(attribute))
                continue;
            const auto positions = Elements(model, primitive.attributes.at("POSITION"));
            const auto found = Elements(model, primitive.attributes.at(attribute));
            for (size_t i = 0; i < positions.size(); ++i)
                if (positions[i] == position)
                    values.insert(found[i]);
        }
    return values;
}

std::vector<float> Rounded(std::vector<float> v) {
    for (float& x : v)
        x = std::round(x * 1e4f) / 1e4f;
    return v;
}

} // namespace

TEST(FileToGltf, PerFaceAndPerVertexColoursInBothVersions) {
    const std::string faces = "coord Coordinate { point [ 0 0 0, 40 0 0, 40 40 0, 0 40 0 ] }\n"
                              "coordIndex [ 0 1 2 -1, 0 2 3 -1 ]\n";
    const ReadBack v2 = ConvertScene(std::string("#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n") + faces +
                                     "color Color { color [ 1 0 0, 0 0.5 0 ] } colorPerVertex FALSE "
                                     "colorIndex [ 1 0 ] } }\n");
    // Vertex 1 lies on the first face only, vertex 3 on the second; 0 and 2 on both.
    EXPECT_THAT(ValuesAt(v2.model, {40, 0, 0}, "COLOR_0"),
                ElementsAre(Pointwise(FloatNear(1e-6), {0.0, Linear05, 0.0})));
    EXPECT_THAT(ValuesAt(v2.model, {0, 40, 0}, "COLOR_0"), ElementsAre(Pointwise(FloatNear(1e-6), {1.0, 0.0, 0.0})));
    EXPECT_EQ(ValuesAt(v2.model, {0, 0, 0}, "COLOR_0").size(), 2u); // split between the faces

    // VRML 1.0 per-vertex colours: each face is its own object, and keeps
    // the colour of each of its vertices.
    const ReadBack v1 = ConvertScene("#VRML V1.0 ascii\nMaterial { diffuseColor [ 1 0 0, 0 0.5 0, 0 0 1 ] }\n"
                                     "MaterialBinding { value PER_VERTEX_INDEXED }\n"
                                     "Coordinate3 { point [ 0 0 0, 40 0 0, 40 40 0, 0 40 0 ] }\n"
                                     "IndexedFaceSet { coordIndex [ 0, 1, 2, -1, 0, 2, 3, -1 ]\n"
                                     " materialIndex [ 0, 1, 2, -1, 2, 2, 1, -1 ] }\n");
    EXPECT_THAT(ValuesAt(v1.model, {40, 0, 0}, "COLOR_0"),
                ElementsAre(Pointwise(FloatNear(1e-6), {0.0, Linear05, 0.0})));
    EXPECT_THAT(ValuesAt(v1.model, {0, 0, 0}, "COLOR_0"),
                testing::UnorderedElementsAre(Pointwise(FloatNear(1e-6), {1.0, 0.0, 0.0}),
                                              Pointwise(FloatNear(1e-6), {0.0, 0.0, 1.0})));
}

TEST(FileToGltf, TheCreaseAngleDecidesBetweenFacetsAndSmoothNormals) {
    // Twelve quads round the y axis: neighbours meet at 30 degrees (0.5236).
    std::string points, quads;
    for (int k = 0; k < 12; ++k) {
        const double a = k * 3.14159265358979 / 6;
        points += std::to_string(30 * std::cos(a)) + " 0 " + std::to_string(30 * std::sin(a)) + ", " +
                  std::to_string(30 * std::cos(a)) + " 30 " + std::to_string(30 * std::sin(a)) + ", ";
        quads += std::to_string(2 * k) + " " + std::to_string(2 * k + 1) + " " + std::to_string((2 * k + 3) % 24) +
                 " " + std::to_string((2 * k + 2) % 24) + " -1 ";
    }
    const struct {
        const char* crease;
        bool smooth;
    } cases[] = {{"0", false}, {"0.5", false}, {"3.14", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.crease);
        const ReadBack read =
            ConvertScene("#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { creaseAngle " + std::string(c.crease) +
                         " coord Coordinate { point [ " + points + " ] } coordIndex [ " + quads + " ] } }\n");
        const tinygltf::Primitive& ring = read.model.meshes.at(0).primitives.at(0);
        if (c.smooth) { // the radial direction, whichever way the faces wind
            const auto normals = ValuesAt(read.model, {30, 0, 0}, "NORMAL");
            ASSERT_EQ(normals.size(), 1u);
            EXPECT_THAT(Rounded(*normals.begin()), testing::AnyOf(ElementsAre(1, 0, 0), ElementsAre(-1, 0, 0)));
        } else { // facets: no normals, the viewer's flat ones are the faces' own; each point once
            EXPECT_EQ(ring.attributes.count("NORMAL"), 0u);
            EXPECT_EQ(Elements(read.model, ring.attributes.at("POSITION")).size(), 24u);
        }
    }
}

TEST(FileToGltf, PicturesFromFilesAndFromTheSceneAreEmbedded) {
    const fs::path dir = FreshDir();
    const unsigned char pixels[4 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    ASSERT_NE(stbi_write_png((dir / "p.png").string().c_str(), 2, 2, 4, pixels, 8), 0);
    ASSERT_NE(stbi_write_jpg((dir / "p.jpg").string().c_str(), 2, 2, 4, pixels, 90), 0);
    std::ifstream pngFile(dir / "p.png", std::ios::binary);
    const std::vector<unsigned char> png{std::istreambuf_iterator<char>(pngFile), std::istreambuf_iterator<char>()};
    const struct {
        std::string texture;
        const char* mimeType; // null: no texture
    } cases[] = {
        {"ImageTexture { url \"" + (dir / "p.png").generic_string() + "\" }", "image/png"},
        {"ImageTexture { url [ \"missing.png\" \"p.jpg\" ] }", "image/jpeg"},
        {"PixelTexture { image 2 1 3 0xFF0000 0x00FF00 }", "image/png"},
        {"ImageTexture { url \"missing.png\" }", nullptr},
        {"PixelTexture { image 2 2 3 0xFF0000 0x00FF00 }", nullptr}, // fewer pixels than its size
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texture);
        std::ofstream(dir / "scene.wrl", std::ios::binary)
            << "#VRML V2.0 utf8\nShape { appearance Appearance { texture " << c.texture
            << " } geometry Box { size 40 40 40 } }\n";
        ConvertSettings settings;
        ConvertSummary summary;
        ASSERT_EQ(ConvertFile((dir / "scene.wrl").string(), (dir / "scene.glb").string(), ExportFormat::Glb, settings,
                              summary),
                  "");
        const ReadBack read = ReadGltf(dir / "scene.glb");
        ASSERT_EQ(read.model.meshes.size(), 1u); // the box is built in every case
        ASSERT_EQ(read.model.images.size(), c.mimeType ? 1u : 0u);
        if (!c.mimeType)
            continue;
        EXPECT_EQ(read.model.images[0].mimeType, c.mimeType);
        if (c.texture.find("p.png") != std::string::npos) {
            EXPECT_EQ(read.imageBytes.at(0), png);
        }
        const int material = read.model.meshes[0].primitives.at(0).material;
        EXPECT_EQ(read.model.materials.at(static_cast<size_t>(material)).pbrMetallicRoughness.baseColorTexture.index,
                  0);
    }
}

TEST(FileToGltf, ATextureTransformMovesTheCoordinatesWritten) {
    const ReadBack read = ConvertScene(
        "#VRML V2.0 utf8\nShape { appearance Appearance { texture PixelTexture { image 1 1 1 0xFF }\n"
        " textureTransform TextureTransform { translation 0.5 0.25 } }\n"
        " geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 40 0 0, 40 40 0 ] } coordIndex [ 0 1 2 ]\n"
        " texCoord TextureCoordinate { point [ 0 0, 1 0, 1 1 ] } } }\n");
    // s + 0.5; glTF's t runs down the image: 1 - (t + 0.25).
    EXPECT_THAT(ValuesAt(read.model, {0, 0, 0}, "TEXCOORD_0"), ElementsAre(Pointwise(FloatNear(1e-6), {0.5, 0.75})));
    EXPECT_THAT(ValuesAt(read.model, {40, 40, 0}, "TEXCOORD_0"), ElementsAre(Pointwise(FloatNear(1e-6), {1.5, -0.25})));
}

TEST(FileToGltf, GroupingNodesAndPrototypeNodeFieldsInBothModes) {
    const struct {
        std::string scene;
        std::vector<std::string> byDefault, standard; // mesh names, in order
    } cases[] = {
        {"Switch { whichChoice 1 choice [ Shape { geometry Box { size 40 40 40 } } "
         "Shape { geometry Sphere { radius 30 } } ] }",
         {"box", "sphere"},
         {"sphere"}},
        {"LOD { level [ Shape { geometry Sphere { radius 30 } } Shape { geometry Box { size 40 40 40 } } ] }",
         {"sphere", "box"},
         {"sphere"}},
        {"Billboard { children Shape { geometry Box { size 40 40 40 } } }", {}, {"box"}},
        {"Collision { proxy Shape { geometry Sphere { radius 30 } } children Shape { geometry Box { size 40 40 40 } } "
         "}",
         {"box"},
         {"box"}},
        {"PROTO Holder [ field SFNode part Box { size 40 40 40 } ] { Shape { geometry IS part } }\n"
         "Holder { part Sphere { radius 30 } }",
         {}, // by default a node given for a field is lost
         {"sphere"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        for (bool standard : {false, true}) {
            // A far point keeps every world, even an empty one, out of the unit scaling.
            const ReadBack read = ConvertScene("#VRML V2.0 utf8\n" + c.scene +
                                                   "\nShape { geometry PointSet { coord Coordinate { "
                                                   "point [ 500 500 500 ] } } }\n",
                                               standard);
            std::vector<std::string> names = MeshNames(read.model);
            names.pop_back(); // the far point
            EXPECT_EQ(names, standard ? c.standard : c.byDefault) << "standard " << standard;
        }
    }
}

TEST(FileToGltf, IndicesOutOfRangeDropTheirAttributeAndKeepTheGeometry) {
    const std::string faces = "coord Coordinate { point [ 0 0 0, 40 0 0, 40 40 0 ] } coordIndex [ 0 1 2 -1 ]\n";
    const char* attributes[] = {
        "color Color { color [ 1 0 0 ] } colorIndex [ 0 0 5 -1 ]",
        "normal Normal { vector [ 0 0 1 ] } normalIndex [ 0 0 7 -1 ]",
        "texCoord TextureCoordinate { point [ 0 0 ] } texCoordIndex [ 0 0 9 -1 ]",
    };
    const char* kinds[] = {"COLOR_0", "NORMAL", "TEXCOORD_0"};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(attributes[i]);
        const ReadBack read = ConvertScene(std::string("#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n") + faces +
                                           attributes[i] + " } }\n");
        ASSERT_EQ(read.model.meshes.size(), 1u);
        const tinygltf::Primitive& primitive = read.model.meshes[0].primitives.at(0);
        EXPECT_EQ(Elements(read.model, primitive.attributes.at("POSITION")).size(), 3u);
        // Without the file's normals the face is flat: the viewer computes its normal.
        EXPECT_EQ(primitive.attributes.count(kinds[i]), 0u);
    }
}
