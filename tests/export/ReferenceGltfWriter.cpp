// The glTF writer as it was before it streamed: the whole document built
// as tinygltf's object model and serialised at the end. The tests convert
// with both and compare the two documents as JSON.

#include "ReferenceGltfWriter.h"

#include "export/EmbeddedImage.h"
#include "export/FacetedMesh.h"
#include "export/GlbSize.h"
#include "export/GltfValues.h"
#include "export/OutputFile.h"
#include "export/TrsPlacement.h"
#include "inspect/WorldWalk.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <ostream>
#include <streambuf>
#include <tuple>

namespace vrml {

namespace {

// What tinygltf writes to a stream, into an output file.
class OutputFileBuffer : public std::streambuf {
public:
    explicit OutputFileBuffer(OutputFile& file) : file(file) {}
    uint64_t Written() const { return written; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        xsputn(&byte, 1);
        return c;
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override {
        file.Bytes(data, static_cast<size_t>(size));
        written += static_cast<uint64_t>(size);
        return size;
    }

private:
    OutputFile& file;
    uint64_t written = 0;
};

// Fewer instances of one mesh under one parent are written as plain nodes.
const size_t MinGpuInstances = 8;

class GltfBuilder : public SceneWriter {
public:
    GltfBuilder(const std::string& path, bool binaryFile) : path(path), binary(binaryFile) {}

    std::string Open(const ExportScene& exported) override {
        scene = &exported;
        model.asset.version = "2.0";
        model.asset.generator = "vrml convert";
        // The scene's materials keep their indices; the variants for
        // textures and vertex colours follow them as objects ask for them.
        // (A glTF material is large: growing the list would copy them all.)
        model.materials.reserve(scene->materials.size() + scene->materials.size() / 4);
        model.nodes.reserve(scene->groups.size() + scene->objects.size());
        for (size_t i = 0; i < scene->materials.size(); ++i)
            MaterialFor(static_cast<int>(i), -1, false);
        if (!scene->materials.empty())
            model.extensionsUsed.push_back(SpecularExtension);
        // One node per group, then one per object with geometry. Node
        // children are indices, so however deep the groups nest, nothing
        // here recurses.
        nodeOf.assign(scene->groups.size(), -1);
        absorbed.assign(scene->groups.size(), false);
        for (size_t g = 0; g < scene->groups.size(); ++g) {
            nodeOf[g] = static_cast<int>(model.nodes.size());
            tinygltf::Node node;
            node.name = scene->groups[g].name;
            if (g == 0 && node.name.empty())
                node.name = scene->name.empty() ? "world" : scene->name;
            model.nodes.push_back(std::move(node));
            const int parent = scene->groups[g].parent;
            if (parent >= 0)
                model.nodes[static_cast<size_t>(nodeOf[static_cast<size_t>(parent)])].children.push_back(nodeOf[g]);
        }
        return std::string();
    }

    void Add(const ExportObject& object) override {
        const ExportGeometry& geometry = scene->GeometryOf(object);
        if (geometry.IsEmpty())
            return;
        if (object.shape < 0 && geometry.triangles.empty() && geometry.lineStrips.empty()) {
            AddToPointRun(object, geometry);
            return;
        }
        FlushPointRun();
        if (object.shape >= 0) {
            // A group that is nothing but one instance (each USE of a DEF'd
            // part is one) is drawn as that instance of its parent's,
            // under the group's name.
            const ExportGroup& group = scene->groups[static_cast<size_t>(object.group)];
            const bool alone = object.group > 0 && group.objects.size() == 1 && group.groups.empty() &&
                               (object.name.empty() || object.name == group.name);
            const int owner = alone ? group.parent : object.group;
            Batch& batch = BatchOf(owner, InstanceMesh(object), alone ? group.name : object.name);
            batch.instances.push_back({&object, alone ? object.group : -1});
            return;
        }
        tinygltf::Node node;
        node.name = object.name.empty() ? ObjectTypeName(object.type) : object.name;
        const int texture = TextureOf(object);
        node.mesh = AddMesh(AddGeometry(object, TriangleColors(object, texture)), object, object, texture, node.name);
        AddChild(nodeOf[static_cast<size_t>(object.group)], std::move(node));
    }

    std::string Finish() override {
        FlushPointRun();
        for (const Batch& batch : batches)
            AddInstances(batch);
        if (usesGpuInstancing) {
            // A viewer without it would show one instance in place of all.
            model.extensionsUsed.push_back(GpuInstancingExtension);
            model.extensionsRequired.push_back(GpuInstancingExtension);
        }
        DropEmptyGroups();
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
        return Write();
    }

private:
    // tinygltf writes a node with no property at all as null, which is
    // invalid: an unnamed group that holds nothing is left out (groups come
    // before their children, and their nodes in the same order).
    void DropEmptyGroups() {
        std::vector<bool> dropped(model.nodes.size(), false);
        for (size_t g = scene->groups.size(); g-- > 1;) {
            tinygltf::Node& node = model.nodes[static_cast<size_t>(nodeOf[g])];
            auto& children = node.children;
            children.erase(std::remove_if(children.begin(), children.end(),
                                          [&](int child) { return dropped[static_cast<size_t>(child)]; }),
                           children.end());
            dropped[static_cast<size_t>(nodeOf[g])] =
                absorbed[g] || (node.name.empty() && children.empty() && node.mesh < 0);
        }
        std::vector<int> renumbered(model.nodes.size(), -1);
        size_t kept = 0;
        for (size_t n = 0; n < model.nodes.size(); ++n) {
            if (dropped[n])
                continue;
            renumbered[n] = static_cast<int>(kept);
            if (kept != n)
                model.nodes[kept] = std::move(model.nodes[n]);
            ++kept;
        }
        model.nodes.resize(kept);
        for (tinygltf::Node& node : model.nodes) {
            auto& children = node.children;
            children.erase(std::remove_if(children.begin(), children.end(),
                                          [&](int child) { return dropped[static_cast<size_t>(child)]; }),
                           children.end());
            for (int& child : children)
                child = renumbered[static_cast<size_t>(child)];
        }
    }

    // A point set makes one object per point. Objects that are nothing but
    // points and follow each other under one group, with one material and
    // one name, and all with colours or all without, are written as one
    // primitive of all their points: a scanned cloud of a million points is
    // one node and one mesh rather than a million of each. The points are
    // copied, since a streamed object's geometry goes once it is added.
    struct PointRun {
        const ExportObject* first = nullptr; // its group, material and name are the run's
        ExportGeometry points;
    };
    void AddToPointRun(const ExportObject& object, const ExportGeometry& geometry) {
        const ExportObject* first = pointRun.first;
        if (!first || first->group != object.group || first->material != object.material ||
            first->name != object.name || pointRun.points.HasColors() != geometry.HasColors())
            FlushPointRun();
        pointRun.first = pointRun.first ? pointRun.first : &object;
        ExportGeometry& run = pointRun.points;
        run.points.insert(run.points.end(), geometry.points.begin(), geometry.points.end());
        if (geometry.HasColors())
            run.colors.insert(run.colors.end(), geometry.colors.begin() + geometry.GetPointColorStart(),
                              geometry.colors.end());
    }
    void FlushPointRun() {
        if (!pointRun.first)
            return;
        const ExportObject& first = *pointRun.first;
        tinygltf::Node node;
        node.name = first.name.empty() ? ObjectTypeName(first.type) : first.name;
        node.mesh = AddMesh(AddGeometry(pointRun.points, false), pointRun.points, first, -1, node.name);
        AddChild(nodeOf[static_cast<size_t>(first.group)], std::move(node));
        pointRun = PointRun();
    }

    // Instances of one mesh under one parent and one name, in order of
    // first use; each may stand for a group that holds nothing but it.
    struct Instance {
        const ExportObject* object;
        int group; // the group it stands for, or -1
    };
    struct Batch {
        int parent; // group
        int mesh;
        std::string name;
        std::vector<Instance> instances;
    };
    Batch& BatchOf(int parent, int mesh, const std::string& name) {
        auto [at, added] = batchOf.emplace(std::make_tuple(parent, mesh, name), batches.size());
        if (added)
            batches.push_back({parent, mesh, name, {}});
        return batches[at->second];
    }

    std::string Write() {
        // The binary chunk alone tells most scenes too large before anything is written.
        if (binary) {
            const std::string problem =
                GlbLengthProblem(GlbLength(0, model.buffers.empty() ? 0 : model.buffers[0].data.size()));
            if (!problem.empty())
                return problem;
        }
        OutputFile file(path);
        if (!file.IsOpen())
            return "cannot create the file";
        OutputFileBuffer buffer(file);
        std::ostream out(&buffer);
        tinygltf::TinyGLTF writer;
        // Images are in the model as they are to be written: no re-encoding.
        writer.SetImageWriter(nullptr, nullptr);
        const bool written = writer.WriteGltfSceneToStream(&model, out, !binary, binary);
        // The JSON may still take it past the bound, its lengths then cut short.
        std::string problem = !written || !out ? "cannot write the file" : std::string();
        if (problem.empty() && binary)
            problem = GlbLengthProblem(buffer.Written());
        if (problem.empty() && !file.Commit())
            problem = "cannot write the file";
        return problem; // a file not committed is removed
    }

    // The glTF material of a scene material with a texture (-1: none) and
    // with or without vertex colours, made on first use. A colour picture
    // replaces the diffuse colour and the vertex colours, as VRML's does; a
    // grey one modulates them. Vertex colours replace the diffuse colour.
    int MaterialFor(int material, int texture, bool colors) {
        auto [where, added] =
            materialIndex.emplace(std::make_tuple(material, texture, colors), static_cast<int>(model.materials.size()));
        if (!added)
            return where->second;
        const trelMaterial& source = scene->materials[static_cast<size_t>(material)];
        const ExportTexture* shown = texture >= 0 ? &scene->textures[static_cast<size_t>(texture)] : nullptr;
        tinygltf::Material made;
        const trelChroma& diffuse = source.GetDiffuse();
        const bool white = colors || (shown && !shown->intensity);
        // A picture with transparent pixels gives the alpha, as VRML's
        // four-component textures do.
        const bool pictureAlpha = shown && shown->image->HasAlpha();
        const double alpha = pictureAlpha ? 1.0 : Clamp01(diffuse.GetAlpha());
        made.pbrMetallicRoughness.baseColorFactor = {white ? 1.0 : Factor(diffuse.GetRed()),
                                                     white ? 1.0 : Factor(diffuse.GetGreen()),
                                                     white ? 1.0 : Factor(diffuse.GetBlue()), alpha};
        if (shown)
            made.pbrMetallicRoughness.baseColorTexture.index = TextureFor(texture);
        made.pbrMetallicRoughness.metallicFactor = 0.0;
        made.pbrMetallicRoughness.roughnessFactor = Short(RoughnessFromExponent(PhongExponent(source.GetShininess())));
        const trelChroma& emission = source.GetEmission();
        made.emissiveFactor = {Factor(emission.GetRed()), Factor(emission.GetGreen()), Factor(emission.GetBlue())};
        // The highlight's colour, where the glTF default would add a white
        // one. Black leaves none, as in VRML: the whole specular layer is
        // turned off, since a black colour alone would still leave a white
        // sheen at grazing angles.
        const trelChroma& specular = source.GetSpecular();
        tinygltf::Value::Object extension;
        if (specular.GetRed() <= 0.0f && specular.GetGreen() <= 0.0f && specular.GetBlue() <= 0.0f)
            extension["specularFactor"] = tinygltf::Value(0.0);
        else
            extension["specularColorFactor"] = tinygltf::Value(tinygltf::Value::Array{
                tinygltf::Value(Factor(specular.GetRed())), tinygltf::Value(Factor(specular.GetGreen())),
                tinygltf::Value(Factor(specular.GetBlue()))});
        made.extensions[SpecularExtension] = tinygltf::Value(std::move(extension));
        made.alphaMode = alpha < 1.0 || pictureAlpha ? "BLEND" : "OPAQUE";
        // VRML solids are often open shells, seen from inside as well.
        made.doubleSided = true;
        model.materials.push_back(std::move(made));
        return where->second;
    }

    // A texture is its image (embedded once however many textures use it)
    // and a sampler with its wrap; -1 when the image could not be encoded.
    int TextureFor(int texture) {
        const auto found = textureIndex.find(texture);
        if (found != textureIndex.end())
            return found->second;
        const ExportTexture& source = scene->textures[static_cast<size_t>(texture)];
        int index = -1;
        const int image = ImageFor(*source.image);
        if (image >= 0) {
            tinygltf::Texture made;
            made.source = image;
            const int wrapS = source.repeatS ? TINYGLTF_TEXTURE_WRAP_REPEAT : TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
            const int wrapT = source.repeatT ? TINYGLTF_TEXTURE_WRAP_REPEAT : TINYGLTF_TEXTURE_WRAP_CLAMP_TO_EDGE;
            auto [sampler, added] =
                samplerIndex.emplace(std::make_pair(wrapS, wrapT), static_cast<int>(model.samplers.size()));
            if (added) {
                tinygltf::Sampler wrap;
                wrap.wrapS = wrapS;
                wrap.wrapT = wrapT;
                model.samplers.push_back(wrap);
            }
            made.sampler = sampler->second;
            index = static_cast<int>(model.textures.size());
            model.textures.push_back(std::move(made));
        }
        textureIndex.emplace(texture, index);
        return index;
    }

    int ImageFor(const trelImage& source) {
        const auto found = imageIndex.find(&source);
        if (found != imageIndex.end())
            return found->second;
        const EmbeddedImage file = EmbeddedImageFor(source);
        int index = -1;
        if (!file.bytes.empty()) {
            tinygltf::Image image;
            // The file's name without its folder.
            image.name = ToValidUtf8(source.name.substr(source.name.find_last_of("/\\") + 1));
            if (binary) {
                image.mimeType = file.mimeType;
                image.bufferView = AddBytesView(file.bytes);
            } else {
                image.uri = "data:" + file.mimeType + ";base64," + Base64(file.bytes);
            }
            index = static_cast<int>(model.images.size());
            model.images.push_back(std::move(image));
        }
        imageIndex.emplace(&source, index);
        return index;
    }

    // The scene texture to draw an object's triangles with: its own when its
    // image could be written, else none (-1).
    int TextureOf(const ExportObject& object) {
        return object.texture >= 0 && scene->GeometryOf(object).HasTexCoords() && TextureFor(object.texture) >= 0
                   ? object.texture
                   : -1;
    }

    // The accessors of one geometry's data; meshes of the same geometry with
    // different materials share them.
    struct GeometryAccessors {
        std::map<std::string, int> triangleAttributes;
        int indices = -1;
        std::vector<std::map<std::string, int>> strips;
        std::map<std::string, int> points;
    };

    // VRML ignores the colours under a colour picture.
    bool TriangleColors(const ExportGeometry& geometry, int texture) const {
        return geometry.HasColors() && (texture < 0 || scene->textures[static_cast<size_t>(texture)].intensity);
    }

    // The bytes AddGeometry writes at most, made room for at once.
    static size_t GeometryBytes(const ExportGeometry& object) {
        size_t points = object.points.size();
        for (const auto& strip : object.lineStrips)
            points += strip.size();
        const size_t count = object.positions.size();
        return (count * (3 + 3 + 3 + 2) + object.triangles.size() + 2 * 3 * points) * sizeof(float);
    }

    GeometryAccessors AddGeometry(const ExportGeometry& object, bool triangleColors) {
        GeometryAccessors made;
        MakeRoom(GeometryBytes(object));
        FacetedMesh faceted;
        if (!object.triangles.empty() && !triangleColors && !object.HasTexCoords() &&
            MakeFacetedMesh(object, faceted)) {
            // Shaded flat: the viewer's own normals are the file's.
            const size_t count = faceted.positions.size();
            made.triangleAttributes["POSITION"] =
                AddPointAccessor(AddPointView(faceted.positions.data(), count), 0, faceted.positions.data(), count);
            made.indices = AddIndices(faceted.triangles);
        } else if (!object.triangles.empty()) {
            auto& attributes = made.triangleAttributes;
            const size_t count = object.positions.size();
            attributes["POSITION"] =
                AddPointAccessor(AddPointView(object.positions.data(), count), 0, object.positions.data(), count);
            const int normalView = AddFloatsView(object.normals.data(), count);
            attributes["NORMAL"] = AddAccessor(normalView, 0, TINYGLTF_COMPONENT_TYPE_FLOAT, count, TINYGLTF_TYPE_VEC3);
            if (triangleColors)
                attributes["COLOR_0"] = AddAccessor(AddColorView(object, 0, count), 0, TINYGLTF_COMPONENT_TYPE_FLOAT,
                                                    count, TINYGLTF_TYPE_VEC3);
            if (object.HasTexCoords()) {
                // glTF's t axis runs down the image, VRML's up.
                const int view = AddVertexView<2>(count, [&](size_t i) {
                    return std::array<float, 2>{object.texCoords[i].s, 1.0f - object.texCoords[i].t};
                });
                attributes["TEXCOORD_0"] =
                    AddAccessor(view, 0, TINYGLTF_COMPONENT_TYPE_FLOAT, count, TINYGLTF_TYPE_VEC2);
            }
            made.indices = AddIndices(object.triangles);
        }
        if (!object.lineStrips.empty()) {
            // All strips of the object share one view; each is a strip of its own.
            std::vector<trelFloatPoint> all;
            for (const auto& strip : object.lineStrips)
                all.insert(all.end(), strip.begin(), strip.end());
            const int view = AddPointView(all.data(), all.size());
            const int colorView = object.HasColors() ? AddColorView(object, object.positions.size(), all.size()) : -1;
            size_t first = 0;
            for (const auto& strip : object.lineStrips) {
                std::map<std::string, int> line;
                line["POSITION"] = AddPointAccessor(view, first * 12, strip.data(), strip.size());
                if (colorView >= 0)
                    line["COLOR_0"] = AddAccessor(colorView, first * 12, TINYGLTF_COMPONENT_TYPE_FLOAT, strip.size(),
                                                  TINYGLTF_TYPE_VEC3);
                first += strip.size();
                made.strips.push_back(std::move(line));
            }
        }
        if (!object.points.empty()) {
            const size_t count = object.points.size();
            made.points["POSITION"] =
                AddPointAccessor(AddPointView(object.points.data(), count), 0, object.points.data(), count);
            if (object.HasColors())
                made.points["COLOR_0"] = AddAccessor(AddColorView(object, object.GetPointColorStart(), count), 0,
                                                     TINYGLTF_COMPONENT_TYPE_FLOAT, count, TINYGLTF_TYPE_VEC3);
        }
        return made;
    }

    int AddIndices(const std::vector<uint32_t>& triangles) {
        tinygltf::BufferView indexView;
        indexView.buffer = 0;
        indexView.byteOffset = data.size();
        AppendWords(triangles.data(), triangles.size());
        indexView.byteLength = data.size() - indexView.byteOffset;
        indexView.target = TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER;
        model.bufferViews.push_back(std::move(indexView));
        return AddAccessor(static_cast<int>(model.bufferViews.size()) - 1, 0, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                           triangles.size(), TINYGLTF_TYPE_SCALAR);
    }

    // A mesh of `geometry`, the accessors of `source`, drawn with the object's material and texture.
    int AddMesh(const GeometryAccessors& geometry, const ExportGeometry& source, const ExportObject& object,
                int texture, const std::string& name) {
        const bool colors = TriangleColors(source, texture);
        tinygltf::Mesh mesh;
        mesh.name = name;
        if (geometry.indices >= 0) {
            tinygltf::Primitive triangles;
            triangles.mode = TINYGLTF_MODE_TRIANGLES;
            triangles.material = MaterialFor(object.material, texture, colors);
            triangles.attributes = geometry.triangleAttributes;
            if (!colors)
                triangles.attributes.erase("COLOR_0");
            triangles.indices = geometry.indices;
            mesh.primitives.push_back(std::move(triangles));
        }
        // Lines and points have no texture coordinates: never a texture.
        const bool plainColors = source.HasColors();
        const int plain =
            geometry.strips.empty() && geometry.points.empty() ? -1 : MaterialFor(object.material, -1, plainColors);
        for (const auto& strip : geometry.strips) {
            tinygltf::Primitive line;
            line.mode = TINYGLTF_MODE_LINE_STRIP;
            line.material = plain;
            line.attributes = strip;
            mesh.primitives.push_back(std::move(line));
        }
        if (!geometry.points.empty()) {
            tinygltf::Primitive points;
            points.mode = TINYGLTF_MODE_POINTS;
            points.material = plain;
            points.attributes = geometry.points;
            mesh.primitives.push_back(std::move(points));
        }
        model.meshes.push_back(std::move(mesh));
        return static_cast<int>(model.meshes.size()) - 1;
    }

    // The mesh of an instance: its shape's data is written once, and one
    // mesh is made per material (and texture) the shape is drawn with.
    int InstanceMesh(const ExportObject& object) {
        const int texture = TextureOf(object);
        auto [mesh, added] = meshIndex.emplace(std::make_tuple(object.shape, object.material, texture), -1);
        if (!added)
            return mesh->second;
        auto [shape, first] = shapeData.emplace(object.shape, GeometryAccessors());
        if (first)
            shape->second = AddGeometry(scene->GeometryOf(object), scene->GeometryOf(object).HasColors());
        mesh->second = AddMesh(shape->second, scene->GeometryOf(object), object, texture, std::string());
        return mesh->second;
    }

    // An instance's node: translation, rotation and scale, each only when
    // it differs from none.
    static void Place(tinygltf::Node& node, const trelMatrix4x4& m) {
        const TrsPlacement trs = DecomposePlacement(m);
        // Each part as written, left out when it is no change at all.
        const auto set = [](std::vector<double>& part, const auto& values, const auto& none) {
            auto rounded = values;
            for (double& v : rounded)
                v = Placement(v);
            if (rounded != none)
                part.assign(rounded.begin(), rounded.end());
        };
        set(node.rotation, trs.rotation, std::array<double, 4>{0.0, 0.0, 0.0, 1.0});
        set(node.scale, trs.scale, std::array<double, 3>{1.0, 1.0, 1.0});
        set(node.translation, trs.translation, std::array<double, 3>{0.0, 0.0, 0.0});
    }

    // The nodes of a batch. A large one is one node drawing the mesh at
    // every placement (EXT_mesh_gpu_instancing), which costs 40 bytes an
    // instance where a node costs some 100; its instances share the name
    // the node keeps, and the groups they stand for are left out. In a
    // small one, which every viewer reads, each instance is a node: its
    // group's, or one of its own.
    void AddInstances(const Batch& batch) {
        const int parent = nodeOf[static_cast<size_t>(batch.parent)];
        const std::vector<Instance>& instances = batch.instances;
        if (instances.size() < MinGpuInstances) {
            for (const Instance& instance : instances) {
                if (instance.group >= 0) {
                    const int own = nodeOf[static_cast<size_t>(instance.group)];
                    model.nodes[static_cast<size_t>(own)].mesh = batch.mesh;
                    Place(model.nodes[static_cast<size_t>(own)], instance.object->placement);
                    continue;
                }
                tinygltf::Node node;
                node.name = batch.name;
                node.mesh = batch.mesh;
                Place(node, instance.object->placement);
                AddChild(parent, std::move(node));
            }
            return;
        }
        for (const Instance& instance : instances)
            if (instance.group >= 0)
                absorbed[static_cast<size_t>(instance.group)] = true;
        std::vector<TrsPlacement> placements;
        placements.reserve(instances.size());
        for (const Instance& instance : instances)
            placements.push_back(DecomposePlacement(instance.object->placement));
        const size_t count = placements.size();
        // Per-instance values are no vertex attribute: their views have no target.
        const auto view = [&](auto part) {
            constexpr size_t N = std::tuple_size<decltype(part(placements[0]))>::value;
            const int made = AddVertexView<N>(count, [&](size_t i) {
                std::array<float, N> values;
                const auto exact = part(placements[i]);
                for (size_t k = 0; k < N; ++k)
                    values[k] = static_cast<float>(exact[k]);
                return values;
            });
            model.bufferViews.back().target = 0;
            model.bufferViews.back().byteStride = 0;
            return tinygltf::Value(AddAccessor(made, 0, TINYGLTF_COMPONENT_TYPE_FLOAT, count,
                                               N == 4 ? TINYGLTF_TYPE_VEC4 : TINYGLTF_TYPE_VEC3));
        };
        tinygltf::Value::Object attributes;
        attributes["TRANSLATION"] = view([](const TrsPlacement& p) { return p.translation; });
        attributes["ROTATION"] = view([](const TrsPlacement& p) { return p.rotation; });
        attributes["SCALE"] = view([](const TrsPlacement& p) { return p.scale; });
        tinygltf::Value::Object extension;
        extension["attributes"] = tinygltf::Value(std::move(attributes));
        tinygltf::Node node;
        node.name = batch.name;
        node.mesh = batch.mesh;
        node.extensions[GpuInstancingExtension] = tinygltf::Value(std::move(extension));
        AddChild(parent, std::move(node));
        usesGpuInstancing = true;
    }

    void AddChild(int parent, tinygltf::Node node) {
        model.nodes[static_cast<size_t>(parent)].children.push_back(static_cast<int>(model.nodes.size()));
        model.nodes.push_back(std::move(node));
    }

    // Every value is a 4-byte float or index, written in the little-endian
    // order of the format, so views stay aligned. Room is made for a whole
    // view or geometry at once, growing the buffer geometrically.
    void MakeRoom(size_t bytes) {
        const size_t at = data.size();
        if (data.capacity() < at + bytes)
            data.reserve(std::max(at + bytes, 2 * data.capacity()));
    }
    unsigned char* Extend(size_t bytes) {
        MakeRoom(bytes);
        const size_t at = data.size();
        data.resize(at + bytes);
        return data.data() + at;
    }
    // Appends `count` 4-byte words as they lie in memory: as one block where
    // that is already the format's order, which also spares zeroing the room.
    void AppendWords(const void* words, size_t count) {
        const auto* bytes = static_cast<const unsigned char*>(words);
        if (LittleEndian()) {
            MakeRoom(count * sizeof(uint32_t));
            data.insert(data.end(), bytes, bytes + count * sizeof(uint32_t));
            return;
        }
        unsigned char* out = Extend(count * sizeof(uint32_t));
        for (size_t i = 0; i < count; ++i) {
            uint32_t bits;
            std::memcpy(&bits, bytes + i * sizeof bits, sizeof bits);
            out = Put(out, bits);
        }
    }
    static bool LittleEndian() {
        const uint32_t one = 1;
        unsigned char first;
        std::memcpy(&first, &one, 1);
        return first == 1;
    }
    static unsigned char* Put(unsigned char* out, uint32_t bits) {
        for (int shift = 0; shift < 32; shift += 8)
            *out++ = static_cast<unsigned char>(bits >> shift);
        return out;
    }
    static unsigned char* Put(unsigned char* out, float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return Put(out, bits);
    }

    // A view of `count` vertices of N floats each, `item(i)` giving vertex i.
    // Several accessors (one per polyline) may share a view; a shared
    // vertex view must state its stride.
    template <size_t N, class Item>
    int AddVertexView(size_t count, Item item) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        unsigned char* out = Extend(count * N * sizeof(float));
        for (size_t i = 0; i < count; ++i)
            for (float value : item(i))
                out = Put(out, value);
        view.byteLength = data.size() - view.byteOffset;
        view.target = TINYGLTF_TARGET_ARRAY_BUFFER;
        view.byteStride = N * sizeof(float);
        model.bufferViews.push_back(std::move(view));
        return static_cast<int>(model.bufferViews.size()) - 1;
    }

    // A view of `count` vertices, each a value made of nothing but floats.
    template <class Value>
    int AddFloatsView(const Value* values, size_t count) {
        static_assert(sizeof(Value) % sizeof(float) == 0, "whole floats only");
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        AppendWords(values, count * (sizeof(Value) / sizeof(float)));
        view.byteLength = data.size() - view.byteOffset;
        view.target = TINYGLTF_TARGET_ARRAY_BUFFER;
        view.byteStride = sizeof(Value);
        model.bufferViews.push_back(std::move(view));
        return static_cast<int>(model.bufferViews.size()) - 1;
    }

    int AddPointView(const trelFloatPoint* points, size_t count) { return AddFloatsView(points, count); }

    // Linear RGB of the object's colours from `first` on.
    int AddColorView(const ExportGeometry& object, size_t first, size_t count) {
        return AddVertexView<3>(count, [&](size_t i) {
            const trelChroma& c = object.colors[first + i];
            return std::array<float, 3>{static_cast<float>(LinearFromDisplay(c.GetRed())),
                                        static_cast<float>(LinearFromDisplay(c.GetGreen())),
                                        static_cast<float>(LinearFromDisplay(c.GetBlue()))};
        });
    }

    // An image file in the binary chunk; the data after it stays 4-byte aligned.
    int AddBytesView(const std::vector<unsigned char>& bytes) {
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        view.byteLength = bytes.size();
        data.insert(data.end(), bytes.begin(), bytes.end());
        data.resize((data.size() + 3) / 4 * 4, 0);
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

    const ExportScene* scene = nullptr;
    std::string path;
    const bool binary; // images go into the binary chunk, else into data URIs
    tinygltf::Model model;
    std::vector<unsigned char> data;
    std::map<std::tuple<int, int, bool>, int> materialIndex; // scene material, scene texture, colours
    std::map<int, int> textureIndex;                         // scene texture
    std::map<std::pair<int, int>, int> samplerIndex;         // wrap s, wrap t
    std::map<const trelImage*, int> imageIndex;
    std::vector<int> nodeOf; // of each group
    std::vector<Batch> batches;
    std::map<std::tuple<int, int, std::string>, size_t> batchOf; // parent, mesh, name
    std::vector<bool> absorbed; // of each group: drawn by a GPU instance of its parent's
    PointRun pointRun;
    bool usesGpuInstancing = false;
    std::map<int, GeometryAccessors> shapeData;         // scene shape
    std::map<std::tuple<int, int, int>, int> meshIndex; // scene shape, material, texture
};

} // namespace

std::unique_ptr<SceneWriter> MakeReferenceGltfWriter(const std::string& path, bool binary) {
    return std::make_unique<GltfBuilder>(path, binary);
}

} // namespace vrml
