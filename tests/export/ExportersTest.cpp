// What each exporter writes, read back: binary STL, PLY with colours, OBJ
// with its MTL, and glTF re-read with tinygltf.

#include "WorldTestSupport.h"
#include "export/Convert.h"
#include "export/ExportScene.h"
#include "export/Formats.h"
#include "export/SceneWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

// Little-endian four-byte values.
uint32_t UIntAt(const std::string& bytes, size_t offset) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

float FloatAt(const std::string& bytes, size_t offset) {
    const uint32_t bits = UIntAt(bytes, offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

ExportScene HandBuiltScene(int segments = 12) {
    auto world = HandBuiltWorld();
    ExportOptions options;
    options.tessellation.segments = segments;
    return BuildExportScene(*world, options);
}

TEST(StlExport, BinaryLayoutWithOneUnitNormalPerTriangle) {
    const ExportScene scene = HandBuiltScene();
    const fs::path path = FreshDir() / "scene.stl";
    ASSERT_EQ(WriteStl(scene, path.string()), "");
    const std::string bytes = ReadFile(path);
    const size_t triangles = scene.GetTriangleCount();
    ASSERT_EQ(bytes.size(), 84 + 50 * triangles);
    EXPECT_NE(bytes.compare(0, 5, "solid"), 0); // else readers take it for ASCII
    EXPECT_EQ(UIntAt(bytes, 80), triangles);
    for (size_t t = 0; t < triangles; ++t) {
        const size_t at = 84 + 50 * t;
        const trelVector normal(FloatAt(bytes, at), FloatAt(bytes, at + 4), FloatAt(bytes, at + 8));
        ASSERT_NEAR(normal.Length(), 1.0, 1e-5) << t;
        trelFloatPoint p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = {FloatAt(bytes, at + 12 + 12 * k), FloatAt(bytes, at + 16 + 12 * k),
                    FloatAt(bytes, at + 20 + 12 * k)};
        // The facet normal agrees with the winding.
        EXPECT_GT(DotProduct(normal, CrossProduct(p[1] - p[0], p[2] - p[0])), 0.0) << t;
    }
    // Lines and dots have no place in STL: the box and the sphere only.
    EXPECT_EQ(triangles, scene.objects[0].GetTriangleCount() + scene.objects[1].GetTriangleCount());
}

TEST(PlyExport, HeaderCountsAndPerVertexColours) {
    const ExportScene scene = HandBuiltScene();
    const fs::path path = FreshDir() / "scene.ply";
    ASSERT_EQ(WritePly(scene, path.string()), "");
    const std::string bytes = ReadFile(path);
    const size_t end = bytes.find("end_header\n");
    ASSERT_NE(end, std::string::npos);
    const std::string header = bytes.substr(0, end), body = bytes.substr(end + std::strlen("end_header\n"));
    EXPECT_EQ(header.rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);

    // The polyline's three points and the dot follow the triangles' vertices.
    const size_t triangleVertices = scene.objects[0].positions.size() + scene.objects[1].positions.size();
    const size_t vertices = triangleVertices + 3 + 1, faces = scene.GetTriangleCount(), vertexSize = 6 * 4 + 4;
    EXPECT_THAT(header, testing::HasSubstr("element vertex " + std::to_string(vertices) + "\n"));
    EXPECT_THAT(header, testing::HasSubstr("element face " + std::to_string(faces) + "\n"));
    EXPECT_THAT(header, testing::HasSubstr("element edge 2\n"));
    ASSERT_EQ(body.size(), vertices * vertexSize + faces * 13 + 2 * 8);

    // Each vertex has its object's diffuse colour: red box, glass sphere (alpha 0.5), green line.
    const auto colour = [&](size_t vertex) {
        const auto* at = reinterpret_cast<const unsigned char*>(body.data() + vertex * vertexSize + 24);
        return std::vector<int>(at, at + 4);
    };
    EXPECT_EQ(colour(0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(colour(scene.objects[0].positions.size()), (std::vector<int>{51, 102, 255, 128}));
    EXPECT_EQ(colour(triangleVertices), (std::vector<int>{0, 255, 0, 255}));
    EXPECT_EQ(FloatAt(body, (vertices - 1) * vertexSize + 4), 10.0f); // the dot is where it was put

    // Faces index existing vertices; edges follow the polyline.
    const size_t faceStart = vertices * vertexSize, edgeStart = faceStart + 13 * faces;
    for (size_t f = 0; f < faces; ++f) {
        ASSERT_EQ(body[faceStart + 13 * f], 3);
        for (size_t k = 0; k < 3; ++k)
            ASSERT_LT(UIntAt(body, faceStart + 13 * f + 1 + 4 * k), triangleVertices);
    }
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(UIntAt(body, edgeStart + 4 * k), triangleVertices + (k + 1) / 2) << k; // 0-1, 1-2
}

TEST(ObjExport, GroupsObjectsMaterialsLinesAndPoints) {
    auto world = HandBuiltWorld();
    world->GetGroup(0)->SetGroupName(trelRope("My Body")); // white space cannot stay in an OBJ name
    ExportOptions options;
    options.tessellation.segments = 12;
    const ExportScene scene = BuildExportScene(*world, options);
    const fs::path dir = FreshDir();
    ASSERT_EQ(WriteObj(scene, (dir / "scene.obj").string()), "");
    const std::vector<std::string> obj = Lines(ReadFile(dir / "scene.obj"));
    const std::vector<std::string> mtl = Lines(ReadFile(dir / "scene.mtl"));

    EXPECT_THAT(obj, testing::Contains("mtllib scene.mtl"));
    std::vector<std::string> names;
    std::map<std::string, size_t> count; // lines by their first word
    for (const std::string& line : obj) {
        const std::string key = line.substr(0, line.find(' '));
        if (key == "g" || key == "o" || key == "usemtl")
            names.push_back(line);
        ++count[key];
        // Every index is 1-based and refers to a vertex (and normal) written
        // before it; faces carry normals.
        if (key == "f" || key == "l" || key == "p") {
            std::istringstream words(line.substr(2));
            for (std::string word; words >> word;) {
                const size_t slash = word.find("//");
                EXPECT_TRUE(key != "f" || slash != std::string::npos) << line;
                EXPECT_THAT(std::stol(word.substr(0, slash)),
                            testing::AllOf(testing::Ge(1), testing::Le(long(count["v"]))))
                    << line;
                if (slash != std::string::npos) {
                    EXPECT_THAT(std::stol(word.substr(slash + 2)),
                                testing::AllOf(testing::Ge(1), testing::Le(long(count["vn"]))))
                        << line;
                }
            }
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"g default", "o Crate", "usemtl material_0", "g My_Body", "o Ball",
                                               "usemtl material_1", "g My_Body", "o polyline_3", "usemtl material_2",
                                               "o dot_4", "usemtl material_0"}));
    EXPECT_EQ(count["l"], 1u);
    EXPECT_EQ(count["p"], 1u);
    EXPECT_EQ(count["f"], scene.GetTriangleCount());
    // The glass material; Ns is the shininess 0.9 of 128.
    EXPECT_THAT(mtl, testing::IsSupersetOf(
                         {"newmtl material_1", "Kd 0.2 0.4 1", "Ke 0.3 0.2 0.1", "d 0.5", "Ns 115.2", "Ks 0 0 0"}));
}

tinygltf::Model ReadGltf(const fs::path& path) {
    tinygltf::TinyGLTF reader;
    tinygltf::Model model;
    std::string error, warning;
    const bool read = path.extension() == ".glb" ? reader.LoadBinaryFromFile(&model, &error, &warning, path.string())
                                                 : reader.LoadASCIIFromFile(&model, &error, &warning, path.string());
    EXPECT_TRUE(read) << error;
    EXPECT_EQ(error, "");
    return model;
}

template <class T>
const T& At(const std::vector<T>& items, int index) {
    return items.at(static_cast<size_t>(index));
}

const tinygltf::Node& NodeNamed(const tinygltf::Model& model, const std::string& name) {
    auto found = std::find_if(model.nodes.begin(), model.nodes.end(), [&](auto& node) { return node.name == name; });
    EXPECT_NE(found, model.nodes.end()) << name;
    return found == model.nodes.end() ? model.nodes.at(0) : *found;
}

const tinygltf::Primitive& FirstPrimitive(const tinygltf::Model& model, const tinygltf::Node& node) {
    return At(model.meshes, node.mesh).primitives.at(0);
}

std::vector<std::string> ChildNames(const tinygltf::Model& model, const tinygltf::Node& node) {
    std::vector<std::string> names;
    for (int child : node.children)
        names.push_back(At(model.nodes, child).name);
    return names;
}

TEST(GltfExport, HierarchyNamesMaterialsAndPrimitivesReadBack) {
    ExportScene scene = HandBuiltScene();
    scene.name = "hand";
    const fs::path dir = FreshDir();
    for (const char* file : {"scene.glb", "scene.gltf"}) {
        SCOPED_TRACE(file);
        ASSERT_EQ(WriteGltf(scene, (dir / file).string(), fs::path(file).extension() == ".glb"), "");
        const tinygltf::Model model = ReadGltf(dir / file);
        ASSERT_EQ(model.scenes.size(), 1u);
        ASSERT_EQ(model.scenes[0].nodes, (std::vector<int>{0}));
        EXPECT_EQ(model.nodes[0].name, "hand"); // the world has no name of its own
        // The unnamed empty group is left out; the named one stays.
        EXPECT_EQ(ChildNames(model, model.nodes[0]), (std::vector<std::string>{"Body", "Empty", "Crate"}));
        const tinygltf::Node& body = NodeNamed(model, "Body");
        ASSERT_EQ(ChildNames(model, body), (std::vector<std::string>{"", "Ball"}));
        const tinygltf::Node& inner = At(model.nodes, body.children[0]);
        ASSERT_EQ(ChildNames(model, inner), (std::vector<std::string>{"polyline", "dot"}));

        const tinygltf::Node& ball = NodeNamed(model, "Ball");
        ASSERT_EQ(At(model.meshes, ball.mesh).primitives.size(), 1u);
        const tinygltf::Primitive& triangles = FirstPrimitive(model, ball);
        EXPECT_EQ(triangles.mode, TINYGLTF_MODE_TRIANGLES);
        EXPECT_EQ(triangles.attributes.count("NORMAL"), 1u);
        EXPECT_EQ(At(model.accessors, triangles.indices).count, 3 * scene.objects[1].GetTriangleCount());
        const tinygltf::Accessor& positions = At(model.accessors, triangles.attributes.at("POSITION"));
        ASSERT_EQ(positions.maxValues.size(), 3u);
        EXPECT_NEAR(positions.maxValues[0], 6.0, 1e-6);
        EXPECT_NEAR(positions.minValues[0], 4.0, 1e-6);

        const tinygltf::Material& glass = At(model.materials, triangles.material);
        EXPECT_EQ(glass.alphaMode, "BLEND");
        EXPECT_TRUE(glass.doubleSided);
        // The file's display colours (0.2, 0.4, 1) and (0.3, 0.2, 0.1) as linear values; alpha stays.
        EXPECT_THAT(glass.pbrMetallicRoughness.baseColorFactor,
                    testing::Pointwise(testing::DoubleNear(1e-6), std::vector<double>{0.0331048, 0.1328683, 1.0, 0.5}));
        EXPECT_THAT(glass.emissiveFactor,
                    testing::Pointwise(testing::DoubleNear(1e-6), std::vector<double>{0.073239, 0.0331048, 0.0100228}));
        EXPECT_EQ(At(model.materials, FirstPrimitive(model, NodeNamed(model, "Crate")).material).alphaMode, "OPAQUE");

        const tinygltf::Primitive& strip = FirstPrimitive(model, At(model.nodes, inner.children[0]));
        EXPECT_EQ(strip.mode, TINYGLTF_MODE_LINE_STRIP);
        EXPECT_EQ(At(model.accessors, strip.attributes.at("POSITION")).count, 3u);
        EXPECT_EQ(FirstPrimitive(model, At(model.nodes, inner.children[1])).mode, TINYGLTF_MODE_POINTS);
    }
}

TEST(GltfExport, AnEmptyWorldIsAValidSceneWithoutBuffers) {
    C3DWorld world;
    const ExportScene scene = BuildExportScene(world, ExportOptions());
    const fs::path path = FreshDir() / "empty.glb";
    ASSERT_EQ(WriteGltf(scene, path.string(), true), "");
    const tinygltf::Model model = ReadGltf(path);
    EXPECT_TRUE(model.buffers.empty());
    ASSERT_EQ(model.nodes.size(), 1u);
    EXPECT_EQ(model.nodes[0].name, "world");
}

TEST(GltfExport, PointsThatFollowEachOtherAreOnePrimitiveUntilGroupMaterialOrNameChanges) {
    // world: 3 red dots, a box, 2 red dots, 1 blue dot, 1 named red dot;
    // group g: 2 red dots. Each run is one node, in the order of its first dot.
    C3DWorld world;
    const trelChroma Blue(0.0f, 0.0f, 1.0f);
    const auto dots = [](trelBaseGroup& group, int count, float x, const trelChroma& colour, const char* name = "") {
        for (int i = 0; i < count; ++i) {
            trelDot* dot = MakeDot({x + static_cast<float>(i), 0, 0});
            dot->SetObjectName(name);
            group.AddObject(dot, Material(colour), true);
        }
    };
    dots(world, 3, 0, Red);
    world.AddObject(MakeBox({0, 0, 0}, {1, 1, 1}), Material(Red), true);
    dots(world, 2, 10, Red);
    dots(world, 1, 20, Blue);
    dots(world, 1, 30, Red, "named");
    dots(*AddGroup(world, "g"), 2, 40, Red);
    const fs::path path = FreshDir() / "points.glb";
    ASSERT_EQ(WriteGltf(BuildExportScene(world, ExportOptions()), path.string(), true), "");
    const tinygltf::Model model = ReadGltf(path);
    const tinygltf::Node& root = model.nodes.at(0);
    EXPECT_EQ(ChildNames(model, root), (std::vector<std::string>{"g", "dot", "box", "dot", "dot", "named"}));
    std::vector<std::pair<size_t, float>> runs; // points and first x of each run
    for (int child : root.children) {
        const tinygltf::Node& node = At(model.nodes, child);
        if (node.mesh < 0 || node.name == "box")
            continue;
        const tinygltf::Primitive& primitive = FirstPrimitive(model, node);
        EXPECT_EQ(primitive.mode, TINYGLTF_MODE_POINTS);
        const tinygltf::Accessor& positions = At(model.accessors, primitive.attributes.at("POSITION"));
        runs.emplace_back(positions.count, static_cast<float>(positions.minValues.at(0)));
    }
    EXPECT_EQ(runs, (std::vector<std::pair<size_t, float>>{{3, 0.0f}, {2, 10.0f}, {1, 20.0f}, {1, 30.0f}}));
    const tinygltf::Node& g = NodeNamed(model, "g");
    ASSERT_EQ(g.children.size(), 1u);
    EXPECT_EQ(
        At(model.accessors, FirstPrimitive(model, At(model.nodes, g.children[0])).attributes.at("POSITION")).count, 2u);
}

// Groups nested far deeper than any call stack: written and read back
// without recursion on our side.
TEST(GltfExport, DeeplyNestedGroupsBecomeAChainOfNodes) {
    C3DWorld world;
    trelBaseGroup* group = &world;
    const int depth = 20000;
    for (int i = 0; i < depth; ++i)
        group = AddGroup(*group, ("g" + std::to_string(i)).c_str());
    group->AddObject(MakeDot({1, 2, 3}), Material(Red), true);
    const ExportScene scene = BuildExportScene(world, ExportOptions());
    ASSERT_EQ(scene.groups.size(), static_cast<size_t>(depth) + 1);
    const fs::path path = FreshDir() / "deep.glb";
    ASSERT_EQ(WriteGltf(scene, path.string(), true), "");
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(bytes.compare(0, 4, "glTF"), 0);
    EXPECT_EQ(UIntAt(bytes, 8), bytes.size());
}

TEST(Exporters, WritersReportFailureAndLeaveNothingBehind) {
    const ExportScene scene = HandBuiltScene();
    const fs::path missing = FreshDir() / "no" / "such" / "folder";
    const std::vector<std::pair<const char*, std::function<std::string(const std::string&)>>> writers = {
        {"x.glb", [&](const std::string& path) { return WriteGltf(scene, path, true); }},
        {"x.gltf", [&](const std::string& path) { return WriteGltf(scene, path, false); }},
        {"x.obj", [&](const std::string& path) { return WriteObj(scene, path); }},
        {"x.stl", [&](const std::string& path) { return WriteStl(scene, path); }},
        {"x.ply", [&](const std::string& path) { return WritePly(scene, path); }},
    };
    for (const auto& [name, write] : writers) {
        const std::string path = (missing / name).string();
        EXPECT_NE(write(path), "") << name;
        EXPECT_FALSE(fs::exists(path)) << name;
    }
}

// A writer's file has no name until it is finished (where the system
// allows), so that a conversion killed half-way leaves nothing, and an old
// file of the same name stays whole until the new one replaces it.
TEST(Exporters, AnUnfinishedOutputLeavesAnOldFileWhole) {
    const ExportScene scene = HandBuiltScene();
    const fs::path dir = FreshDir();
    for (const ExportFormatInfo& format : ExportFormats()) {
        const fs::path path = dir / (std::string("x.") + format.name);
        std::ofstream(path, std::ios::binary) << "old";
        {
            std::unique_ptr<SceneWriter> writer = format.makeWriter(path.string());
            ASSERT_EQ(writer->Open(scene), "");
            for (const ExportObject& object : scene.objects)
                writer->Add(object);
#ifdef __linux__
            EXPECT_EQ(ReadFile(path), "old") << format.name;
#endif
        } // dropped unfinished, as a refusal does
        EXPECT_EQ(ReadFile(path), "old") << format.name;
        EXPECT_EQ(WriteScene(*format.makeWriter(path.string()), scene), "");
        EXPECT_NE(ReadFile(path), "old") << format.name;
    }
    std::set<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"x.glb", "x.gltf", "x.mtl", "x.obj", "x.stl", "x.ply"}));
}

} // namespace
