#include "Exporters.h"

#include "WorldWalk.h"

#include <tiny_gltf.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <type_traits>

namespace {

class GltfBuilder {
public:
    explicit GltfBuilder(const ExportScene& s) : scene(s) {}

    tinygltf::Model Build() {
        model.asset.version = "2.0";
        model.asset.generator = "vrml convert";
        for (const trelMaterial& material : scene.materials)
            model.materials.push_back(MakeMaterial(material));

        // One node per group, then one per object with geometry. Node
        // children are indices, so however deep the groups nest, nothing
        // here recurses. tinygltf writes a node with no property at all as
        // null, which is invalid: an unnamed group that holds nothing to
        // export is left out, and the root always has a name.
        std::vector<bool> kept(scene.groups.size(), false);
        for (size_t g = scene.groups.size(); g-- > 0;) {
            const ExportGroup& group = scene.groups[g];
            bool keep = g == 0 || !group.name.empty();
            for (int o : group.objects)
                keep = keep || !scene.objects[static_cast<size_t>(o)].IsEmpty();
            for (int child : group.groups)
                keep = keep || kept[static_cast<size_t>(child)];
            kept[g] = keep;
        }
        std::vector<int> nodeOf(scene.groups.size(), -1);
        for (size_t g = 0; g < scene.groups.size(); ++g) {
            if (!kept[g])
                continue;
            nodeOf[g] = static_cast<int>(model.nodes.size());
            tinygltf::Node node;
            node.name = scene.groups[g].name;
            if (g == 0 && node.name.empty())
                node.name = scene.name.empty() ? "world" : scene.name;
            model.nodes.push_back(std::move(node));
            const int parent = scene.groups[g].parent;
            if (parent >= 0)
                model.nodes[static_cast<size_t>(nodeOf[static_cast<size_t>(parent)])].children.push_back(nodeOf[g]);
        }
        for (size_t g = 0; g < scene.groups.size(); ++g) {
            for (int o : scene.groups[g].objects) {
                const ExportObject& object = scene.objects[static_cast<size_t>(o)];
                if (object.IsEmpty())
                    continue;
                tinygltf::Node node;
                node.name = object.name.empty() ? ObjectTypeName(object.type) : object.name;
                node.mesh = AddMesh(object, node.name);
                model.nodes[static_cast<size_t>(nodeOf[g])].children.push_back(static_cast<int>(model.nodes.size()));
                model.nodes.push_back(std::move(node));
            }
        }
        tinygltf::Scene root;
        root.nodes.push_back(0);
        model.scenes.push_back(std::move(root));
        model.defaultScene = 0;
        // A buffer may not be empty: a world without geometry has none.
        if (!data.empty()) {
            tinygltf::Buffer buffer;
            buffer.data = std::move(data);
            model.buffers.push_back(std::move(buffer));
        }
        return std::move(model);
    }

private:
    static tinygltf::Material MakeMaterial(const trelMaterial& source) {
        tinygltf::Material material;
        const trelChroma& diffuse = source.GetDiffuse();
        const trelChroma& emission = source.GetEmission();
        const float alpha = Clamp01(diffuse.GetAlpha());
        material.pbrMetallicRoughness.baseColorFactor = {Clamp01(diffuse.GetRed()), Clamp01(diffuse.GetGreen()),
                                                         Clamp01(diffuse.GetBlue()), alpha};
        material.pbrMetallicRoughness.metallicFactor = 0.0;
        material.pbrMetallicRoughness.roughnessFactor = RoughnessFromExponent(PhongExponent(source.GetShininess()));
        material.emissiveFactor = {Clamp01(emission.GetRed()), Clamp01(emission.GetGreen()),
                                   Clamp01(emission.GetBlue())};
        material.alphaMode = alpha < 1.0f ? "BLEND" : "OPAQUE";
        // VRML solids are often open shells, seen from inside as well.
        material.doubleSided = true;
        return material;
    }

    int AddMesh(const ExportObject& object, const std::string& name) {
        tinygltf::Mesh mesh;
        mesh.name = name;
        if (!object.triangles.empty()) {
            tinygltf::Primitive triangles;
            triangles.mode = TINYGLTF_MODE_TRIANGLES;
            triangles.material = object.material;
            const int positionView = AddView(object.positions.data(), object.positions.size(),
                                             TINYGLTF_TARGET_ARRAY_BUFFER);
            triangles.attributes["POSITION"] = AddPointAccessor(positionView, 0, object.positions.data(),
                                                                object.positions.size());
            const int normalView =
                AddView(object.normals.data(), object.normals.size(), TINYGLTF_TARGET_ARRAY_BUFFER);
            triangles.attributes["NORMAL"] = AddAccessor(normalView, 0, TINYGLTF_COMPONENT_TYPE_FLOAT,
                                                         object.normals.size(), TINYGLTF_TYPE_VEC3);
            const int indexView = AddView(object.triangles.data(), object.triangles.size(),
                                          TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER);
            triangles.indices = AddAccessor(indexView, 0, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                                            object.triangles.size(), TINYGLTF_TYPE_SCALAR);
            mesh.primitives.push_back(std::move(triangles));
        }
        if (!object.lineStrips.empty()) {
            // All strips of the object share one view; each is a strip of its own.
            std::vector<trelFloatPoint> all;
            for (const auto& strip : object.lineStrips)
                all.insert(all.end(), strip.begin(), strip.end());
            const int view = AddView(all.data(), all.size(), TINYGLTF_TARGET_ARRAY_BUFFER);
            size_t first = 0;
            for (const auto& strip : object.lineStrips) {
                tinygltf::Primitive line;
                line.mode = TINYGLTF_MODE_LINE_STRIP;
                line.material = object.material;
                line.attributes["POSITION"] = AddPointAccessor(view, first * 12, strip.data(), strip.size());
                first += strip.size();
                mesh.primitives.push_back(std::move(line));
            }
        }
        if (!object.points.empty()) {
            tinygltf::Primitive points;
            points.mode = TINYGLTF_MODE_POINTS;
            points.material = object.material;
            const int view = AddView(object.points.data(), object.points.size(), TINYGLTF_TARGET_ARRAY_BUFFER);
            points.attributes["POSITION"] = AddPointAccessor(view, 0, object.points.data(), object.points.size());
            mesh.primitives.push_back(std::move(points));
        }
        model.meshes.push_back(std::move(mesh));
        return static_cast<int>(model.meshes.size()) - 1;
    }

    // Every value is a 4-byte float or index, written in the little-endian
    // order of the format, so views stay aligned.
    void Append(uint32_t bits) {
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<unsigned char>(bits >> shift));
    }
    void Append(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        Append(bits);
    }

    template <class Item>
    int AddView(const Item* items, size_t count, int target) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        for (size_t i = 0; i < count; ++i) {
            if constexpr (std::is_same_v<Item, uint32_t>) {
                Append(items[i]);
            } else {
                Append(items[i].x);
                Append(items[i].y);
                Append(items[i].z);
            }
        }
        view.byteLength = data.size() - view.byteOffset;
        view.target = target;
        // Several accessors (one per polyline) may share a view of
        // positions; a shared vertex view must state its stride.
        if constexpr (!std::is_same_v<Item, uint32_t>)
            view.byteStride = 3 * sizeof(float);
        model.bufferViews.push_back(std::move(view));
        return static_cast<int>(model.bufferViews.size()) - 1;
    }

    int AddAccessor(int view, size_t offset, int componentType, size_t count, int type) {
        tinygltf::Accessor accessor;
        accessor.bufferView = view;
        accessor.byteOffset = offset;
        accessor.componentType = componentType;
        accessor.count = count;
        accessor.type = type;
        model.accessors.push_back(std::move(accessor));
        return static_cast<int>(model.accessors.size()) - 1;
    }

    // Positions must carry their exact bounds, taken from the floats written.
    int AddPointAccessor(int view, size_t offset, const trelFloatPoint* points, size_t count) {
        const int index = AddAccessor(view, offset, TINYGLTF_COMPONENT_TYPE_FLOAT, count, TINYGLTF_TYPE_VEC3);
        std::vector<double> low(3, std::numeric_limits<double>::infinity());
        std::vector<double> high(3, -std::numeric_limits<double>::infinity());
        for (size_t i = 0; i < count; ++i) {
            const float xyz[3] = {points[i].x, points[i].y, points[i].z};
            for (int k = 0; k < 3; ++k) {
                low[static_cast<size_t>(k)] = std::min(low[static_cast<size_t>(k)], static_cast<double>(xyz[k]));
                high[static_cast<size_t>(k)] = std::max(high[static_cast<size_t>(k)], static_cast<double>(xyz[k]));
            }
        }
        model.accessors[static_cast<size_t>(index)].minValues = std::move(low);
        model.accessors[static_cast<size_t>(index)].maxValues = std::move(high);
        return index;
    }

    const ExportScene& scene;
    tinygltf::Model model;
    std::vector<unsigned char> data;
};

} // namespace

std::string WriteGltf(const ExportScene& scene, const std::string& path, bool binary) {
    tinygltf::Model model = GltfBuilder(scene).Build();
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    if (!out)
        return "cannot create the file";
    tinygltf::TinyGLTF writer;
    const bool written = writer.WriteGltfSceneToStream(&model, out, !binary, binary);
    out.close();
    if (!written || !out) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::path(path), ignored);
        return "cannot write the file";
    }
    return std::string();
}
