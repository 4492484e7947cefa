// Geometry shared by several objects is written to glTF once and placed per
// object: read back with tinygltf, the placed instances cover exactly the
// world, each shape's data is there once, and each use keeps its material.

#include "WorldTestSupport.h"
#include "export/ExportScene.h"
#include "export/SceneWriter.h"
#include "inspect/LoadReport.h"
#include "inspect/WorldInfo.h"

#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstring>
#include <set>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

// A column-vector 4x4 matrix, as glTF composes them.
using Mat = std::array<double, 16>; // column-major

Mat Multiply(const Mat& a, const Mat& b) {
    Mat m{};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return m;
}

Mat FromTrs(const std::vector<double>& t, const std::vector<double>& q, const std::vector<double>& s) {
    const double x = q.empty() ? 0 : q[0], y = q.empty() ? 0 : q[1], z = q.empty() ? 0 : q[2], w = q.empty() ? 1 : q[3];
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                            {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                            {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    Mat m{};
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            m[c * 4 + row] = r[row][c] * (s.empty() ? 1.0 : s[static_cast<size_t>(c)]);
    for (int row = 0; row < 3; ++row)
        m[12 + row] = t.empty() ? 0.0 : t[static_cast<size_t>(row)];
    m[15] = 1.0;
    return m;
}

std::vector<std::array<float, 4>> Floats(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(static_cast<size_t>(index));
    const tinygltf::BufferView& view = model.bufferViews.at(static_cast<size_t>(accessor.bufferView));
    const size_t components = static_cast<size_t>(tinygltf::GetNumComponentsInType(accessor.type));
    const size_t stride = view.byteStride ? view.byteStride : components * sizeof(float);
    std::vector<std::array<float, 4>> items(accessor.count);
    for (size_t i = 0; i < accessor.count; ++i)
        std::memcpy(items[i].data(),
                    model.buffers.at(0).data.data() + view.byteOffset + accessor.byteOffset + i * stride,
                    components * sizeof(float));
    return items;
}

std::vector<double> Part(const std::array<float, 4>& item, size_t count) {
    return std::vector<double>(item.begin(), item.begin() + static_cast<long>(count));
}

// What a glTF file draws, read back.
struct Drawn {
    trelBBox bounds;      // of every vertex of every mesh, placed
    size_t instances = 0; // placed meshes, nodes and GPU instances alike
    size_t nodes = 0;
    std::set<int> positions; // the POSITION accessors of triangles: each shape's data
    std::vector<std::pair<int, std::array<double, 3>>> colours; // per placed mesh: its triangle material's colour
};

void Walk(const tinygltf::Model& model, int index, const Mat& parent, Drawn& drawn) {
    const tinygltf::Node& node = model.nodes.at(static_cast<size_t>(index));
    const Mat local = node.matrix.size() == 16 ? [&] {
        Mat m{};
        std::copy(node.matrix.begin(), node.matrix.end(), m.begin());
        return m;
    }()
                                               : FromTrs(node.translation, node.rotation, node.scale);
    const Mat here = Multiply(parent, local);
    ++drawn.nodes;
    if (node.mesh >= 0) {
        std::vector<Mat> placements{here};
        const auto found = node.extensions.find("EXT_mesh_gpu_instancing");
        if (found != node.extensions.end()) {
            const tinygltf::Value& attributes = found->second.Get("attributes");
            const auto t = Floats(model, attributes.Get("TRANSLATION").GetNumberAsInt());
            const auto r = Floats(model, attributes.Get("ROTATION").GetNumberAsInt());
            const auto s = Floats(model, attributes.Get("SCALE").GetNumberAsInt());
            placements.clear();
            for (size_t i = 0; i < t.size(); ++i)
                placements.push_back(Multiply(here, FromTrs(Part(t[i], 3), Part(r[i], 4), Part(s[i], 3))));
        }
        const tinygltf::Mesh& mesh = model.meshes.at(static_cast<size_t>(node.mesh));
        for (const Mat& m : placements) {
            ++drawn.instances;
            for (const tinygltf::Primitive& primitive : mesh.primitives) {
                const int position = primitive.attributes.at("POSITION");
                if (primitive.mode == TINYGLTF_MODE_TRIANGLES) {
                    drawn.positions.insert(position);
                    const auto& factor = model.materials.at(static_cast<size_t>(primitive.material))
                                             .pbrMetallicRoughness.baseColorFactor;
                    drawn.colours.push_back({node.mesh, {factor[0], factor[1], factor[2]}});
                }
                for (const auto& p : Floats(model, position)) {
                    double placed[3];
                    for (int row = 0; row < 3; ++row)
                        placed[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2] + m[12 + row];
                    drawn.bounds.AddPoint(trelFloatPoint(static_cast<float>(placed[0]), static_cast<float>(placed[1]),
                                                         static_cast<float>(placed[2])));
                }
            }
        }
    }
    for (int child : node.children)
        Walk(model, child, here, drawn);
}

Drawn DrawnBy(const ExportScene& scene, const fs::path& path) {
    EXPECT_EQ(WriteGltf(scene, path.string(), path.extension() == ".glb"), "");
    tinygltf::Model model;
    tinygltf::TinyGLTF reader;
    std::string error, warning;
    EXPECT_TRUE(path.extension() == ".glb" ? reader.LoadBinaryFromFile(&model, &error, &warning, path.string())
                                           : reader.LoadASCIIFromFile(&model, &error, &warning, path.string()))
        << error;
    Drawn drawn;
    Mat identity{};
    identity[0] = identity[5] = identity[10] = identity[15] = 1.0;
    for (int root : model.scenes.at(0).nodes)
        Walk(model, root, identity, drawn);
    return drawn;
}

void ExpectSameBox(const trelBBox& a, const trelBBox& b, const std::string& what) {
    const trelFloatPoint low[2] = {a.GetMin(), b.GetMin()}, high[2] = {a.GetMax(), b.GetMax()};
    const double extent = std::max(1.0, static_cast<double>(b.GetLargestDimension()));
    const auto axis = [](const trelFloatPoint& p, int k) { return k == 0 ? p.x : k == 1 ? p.y : p.z; };
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(axis(low[0], k), axis(low[1], k), 1e-5 * extent) << what << " axis " << k;
        EXPECT_NEAR(axis(high[0], k), axis(high[1], k), 1e-5 * extent) << what << " axis " << k;
    }
}

std::string Boxes(int count, int colours, bool sameSize) {
    std::ostringstream text;
    text << V2;
    for (int i = 0; i < count; ++i)
        text << "Transform { translation " << i * 3 << " " << i % 4 << " " << -i << " rotation 0 0.6 0.8 " << i * 0.7
             << " scale 1 " << 1 + i % 3 << " 1 children Shape { appearance Appearance { material Material { "
             << "diffuseColor " << (i % colours) * 0.3 << " 0.5 0.2 } } geometry Box { size "
             << (sameSize ? 1.0 : 1.0 + i) << " 2 " << (sameSize ? 3.0 : 0.5 * i + 1) << " } } }\n";
    return text.str();
}

std::string UsesOfOnePart(int uses) {
    std::ostringstream text;
    text << V2 << "DEF P Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 2 0 0, 2 1 0, 0 1 1] }"
         << " coordIndex [0 1 2 3 -1] } }\n";
    for (int i = 1; i <= uses; ++i)
        text << "Transform { translation " << i << " 0 0 rotation 0 1 0 " << i << " children USE P }\n";
    return text.str();
}

TEST(GltfInstancing, InstancesCoverTheWorldWithEachShapeWrittenOnce) {
    struct Row {
        const char* name;
        std::string scene;
        size_t shapes;    // geometries written (POSITION accessors of triangles)
        size_t instances; // meshes drawn
        size_t meshes;    // distinct meshes (one per shape and material)
        size_t nodes;     // GPU instances draw many meshes from one node
    };
    const Row rows[] = {
        {"boxes of many sizes and turns", Boxes(12, 1, false), 1, 12, 1, 2},
        {"boxes of three colours", Boxes(9, 3, true), 1, 9, 3, 10},
        {"cones: a side and a bottom each",
         std::string(V2) +
             "Transform { translation 1 2 3 children Shape { geometry Cone { bottomRadius 2 height 5 } } }\n"
             "Transform { rotation 1 0 0 1 children Shape { geometry Cone { bottomRadius 0.5 height 1 } } }\n",
         2, 4, 2, 5},
        {"cylinders and spheres: a side and two caps, and a sphere",
         std::string(V2) +
             "Transform { translation 1 2 3 children Shape { geometry Cylinder { radius 2 height 5 } } }\n"
             "Transform { rotation 1 0 0 1 children Shape { geometry Cylinder { radius 0.5 height 1 } } }\n"
             "Transform { translation 7 0 0 children Shape { geometry Sphere { radius 3 } } }\n"
             "Transform { rotation 0 1 0 2 children Shape { geometry Sphere { radius 0.25 } } }\n",
         3, 8, 3, 9},
        {"a box used once keeps its own form", std::string(V2) + "Shape { geometry Box { size 1 2 3 } }\n", 1, 1, 1, 2},
        {"named groups of one box each draw it themselves",
         std::string(V2) + "DEF A Transform { translation 1 0 0 children Shape { geometry Box {} } }\n"
                           "DEF B Transform { translation 0 5 0 children Shape { geometry Box {} } }\n"
                           "DEF C Transform { children [ Shape { geometry Box {} } Shape { geometry Box {} } ] }\n",
         1, 4, 1, 6},
        {"a part used ten times, each use a group of its name", UsesOfOnePart(10), 1, 11, 1, 2},
        {"mirrored boxes keep their own forms",
         std::string(V2) + "Transform { scale -1 1 1 children Shape { geometry Box {} } }\n"
                           "Transform { scale 1 -1 1 children Shape { geometry Box {} } }\n",
         2, 2, 2, 3},
    };
    const fs::path dir = FreshDir();
    for (const Row& row : rows) {
        LoadedText loaded = LoadText(row.scene);
        ASSERT_EQ(loaded.result, 0) << row.name;
        ExportOptions options;
        const trelBBox world = BuildExportScene(*loaded.world, options).GetBounds();
        options.instancing = true;
        const ExportScene scene = BuildExportScene(*loaded.world, options);
        for (const char* extension : {".glb", ".gltf"}) {
            const Drawn drawn = DrawnBy(scene, dir / (std::string("scene") + extension));
            ExpectSameBox(drawn.bounds, world, row.name);
            EXPECT_EQ(drawn.positions.size(), row.shapes) << row.name;
            EXPECT_EQ(drawn.instances, row.instances) << row.name;
            std::set<int> meshes;
            for (const auto& used : drawn.colours)
                meshes.insert(used.first);
            EXPECT_EQ(meshes.size(), row.meshes) << row.name;
            EXPECT_EQ(drawn.nodes, row.nodes) << row.name;
        }
    }
}

// A part the file repeats, as the loader hands it over: each use tells the
// geometry it shares and where it is placed.
class UsedPart : public trelBox {
public:
    UsedPart(std::shared_ptr<const trelBox> part, const trelMatrix4x4& placement) : part(part), placement(placement) {
        trelFloatPoint corners[8];
        for (int i = 0; i < 8; ++i)
            corners[i] = part->GetCorner(i) * placement;
        SetBox(corners);
    }
    SharedGeometry GetSharedGeometry() const override { return {part, placement}; }

private:
    std::shared_ptr<const trelBox> part;
    trelMatrix4x4 placement;
};

TEST(GltfInstancing, RepeatedPartIsOneGeometryAndEachUseKeepsItsMaterial) {
    std::shared_ptr<const trelBox> part(MakeBox({0, 0, 0}, {1, 2, 3}));
    const trelChroma colours[] = {{1, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    for (size_t uses : {size_t(3), size_t(20)}) { // nodes, then one node of GPU instances
        C3DWorld world;
        for (size_t i = 0; i < uses; ++i) {
            const trelMatrix4x4 placement =
                CreateRotationMatrixForNormalAngle(trelVector(0, 1, 0), 0.3 * static_cast<double>(i)) *
                GetDisplacementMatrix(trelFloatPoint(static_cast<float>(i) * 4, 1, 0));
            world.AddObject(new UsedPart(part, placement), Material(colours[i % 3]), true);
        }
        ExportOptions options;
        const trelBBox bounds = BuildExportScene(world, options).GetBounds();
        options.instancing = true;
        const ExportScene scene = BuildExportScene(world, options);
        ASSERT_EQ(scene.shapes.size(), 1u);
        const Drawn drawn = DrawnBy(scene, FreshDir() / "parts.glb");
        ExpectSameBox(drawn.bounds, bounds, std::to_string(uses) + " uses");
        EXPECT_EQ(drawn.instances, uses);
        EXPECT_EQ(drawn.positions.size(), 1u);
        // Each use is drawn in its own colour (linear red or green).
        std::multiset<std::array<double, 3>> expected, seen;
        for (size_t i = 0; i < uses; ++i)
            expected.insert({colours[i % 3].GetRed(), colours[i % 3].GetGreen(), colours[i % 3].GetBlue()});
        for (const auto& used : drawn.colours)
            seen.insert(used.second);
        EXPECT_EQ(seen, expected);
    }
}

// Uses that differ from their definition: a geometry drawn in a material
// of each use's own, and a name defined again for another part.
TEST(GltfInstancing, UsesThatDifferExportWhatTheWorldHolds) {
    LoadedText loaded = LoadText(std::string(V2) + R"(
DEF Part Shape {
  appearance Appearance { material Material { diffuseColor 1 0 0 } }
  geometry DEF Face IndexedFaceSet { coord Coordinate { point [0 0 0, 2 0 0, 2 1 0, 0 1 1] } coordIndex [0 1 2 3 -1] }
}
Transform { translation 5 0 0 children USE Part }
Transform { translation 0 5 0 rotation 0 0 1 1 children Shape {
  appearance Appearance { material Material { diffuseColor 0 1 0 } } geometry USE Face } }
Transform { translation 0 0 5 scale 2 2 2 children Shape {
  appearance Appearance { material Material { diffuseColor 0 0 1 } } geometry USE Face } }
DEF Part Shape { geometry Box { size 1 1 1 } }
Transform { translation -5 0 0 children USE Part }
Transform { translation -9 0 0 children USE Part }
)");
    ASSERT_EQ(loaded.result, 0);
    ExportOptions options;
    const fs::path dir = FreshDir();
    const Drawn plain = DrawnBy(BuildExportScene(*loaded.world, options), dir / "plain.glb");
    options.instancing = true;
    const Drawn instanced = DrawnBy(BuildExportScene(*loaded.world, options), dir / "instanced.glb");
    ExpectSameBox(instanced.bounds, plain.bounds, "uses");
    EXPECT_EQ(instanced.instances, 7u);
    std::multiset<std::array<double, 3>> plainColours, instancedColours;
    for (const auto& used : plain.colours)
        plainColours.insert(used.second);
    for (const auto& used : instanced.colours)
        instancedColours.insert(used.second);
    EXPECT_EQ(instancedColours, plainColours);
    // The face set is one geometry when the loader shares it between its
    // uses; the three boxes are one unit box either way.
    bool shared = false;
    for (const FoundObject& found : AllObjects(*loaded.world))
        shared = shared || found.object->GetSharedGeometry().local != nullptr;
    EXPECT_EQ(instanced.positions.size(), shared ? 2u : 5u);
}

} // namespace

namespace {

// Real files whose repeated parts have faces cut differently where some
// uses lie (one triangle more or less): those uses keep their own
// geometry, so that the output holds every triangle the world counts.
TEST(GltfInstancing, UsesCutDifferentlyFromTheirPartKeepTheirOwnGeometry) {
    const fs::path corpus = VRML_CORPUS_DIR;
    size_t compared = 0;
    for (const char* file : {"fkanehiro__openhrp3/sample/model/furniture.wrl",
                             "create3000__titania/Library/Examples/Cathedral/stage/bogen.wrl",
                             "create3000__titania/Library/Tests/3rd Party/CIS2/AISC_Sculpture_J.wrl"}) {
        std::error_code missing;
        if (!fs::is_regular_file(corpus / file, missing))
            continue;
        SCOPED_TRACE(file);
        const LoadedScene loaded = LoadScene((corpus / file).string());
        ASSERT_EQ(loaded.result, 0);
        ExportOptions options;
        options.instancing = true;
        const ExportScene scene = BuildExportScene(*loaded.world, options);
        EXPECT_EQ(scene.GetTriangleCount(), SummarizeWorld(*loaded.world, options.tessellation).triangles);
        ++compared;
    }
    if (compared == 0)
        GTEST_SKIP() << "no corpus at " << corpus;
}

} // namespace
