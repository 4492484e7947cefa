#include "SceneWriter.h"

#include "EmbeddedImage.h"
#include "FacetedMesh.h"
#include "GlbSize.h"
#include "GltfJson.h"
#include "GltfValues.h"
#include "TrsPlacement.h"
#include "inspect/WorldWalk.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace vrml {

namespace {

// Fewer instances of one mesh under one parent are written as plain nodes.
const size_t MinGpuInstances = 8;

constexpr int FloatComponents = 5126;
constexpr int IndexComponents = 5125; // unsigned 32-bit
constexpr int VertexTarget = 34962;
constexpr int IndexTarget = 34963;
constexpr int Triangles = 4, LineStrip = 3, Points = 0;
constexpr int Repeat = 10497, ClampToEdge = 33071;

// Each property of an item is written in the order of its name, and one
// left at glTF's default is left out, as most writers do. Names are plain
// ASCII: they go out as they stand, with nothing to escape.
template <size_t N>
void Key(JsonWriter& json, const char (&key)[N]) {
    char quoted[N + 1];
    quoted[0] = '"';
    std::memcpy(quoted + 1, key, N - 1);
    quoted[N] = '"';
    json.RawValue(quoted, N + 1, rapidjson::kStringType);
}

void Number(JsonWriter& json, const NumberText& text) {
    json.RawValue(text.View().data(), text.View().size(), rapidjson::kNumberType);
}

void Number(JsonWriter& json, double value) { Number(json, ExactText(value)); }

template <size_t N, class Values>
void Numbers(JsonWriter& json, const char (&key)[N], const Values& values) {
    Key(json, key);
    json.StartArray();
    for (const auto& value : values)
        Number(json, value);
    json.EndArray();
}

// Accessors by attribute name; the map keeps the names in order.
using Attributes = std::map<std::string, int>;

void WriteAttributes(JsonWriter& json, const Attributes& attributes) {
    Key(json, "attributes");
    json.StartObject();
    for (const auto& [name, accessor] : attributes) {
        json.Key(name.c_str());
        json.Int(accessor);
    }
    json.EndObject();
}

// A node's rotation, scale and translation, as the text of the JSON arrays
// that hold them, each followed by ';' and left empty when it is no change
// at all: "[0,0,0.3826834,0.9238795];;[1,2,3];". Text rather than numbers:
// a scene of a box per part holds one for each box to the end, and each
// figure is made once, never converted back and forth.
void AppendTrs(const trelMatrix4x4& m, std::string& out) {
    const TrsPlacement trs = DecomposePlacement(m);
    const auto part = [&](const auto& values, std::string_view none) {
        const size_t start = out.size();
        out += '[';
        for (size_t k = 0; k < values.size(); ++k) {
            if (k > 0)
                out += ',';
            out += PlacementText(values[k]).View();
        }
        out += ']';
        if (std::string_view(out).substr(start) == none)
            out.resize(start);
        out += ';';
    };
    part(trs.rotation, "[0,0,0,1]");
    part(trs.scale, "[1,1,1]");
    part(trs.translation, "[0,0,0]");
}

// A node's properties after "children" and "extensions", in name order;
// `trs` as AppendTrs makes it, or empty.
void WriteNodeRest(JsonWriter& json, int mesh, std::string_view name, std::string_view trs) {
    if (mesh >= 0) {
        Key(json, "mesh");
        json.Int(mesh);
    }
    if (!name.empty()) {
        Key(json, "name");
        json.String(name.data(), static_cast<rapidjson::SizeType>(name.size()));
    }
    for (const auto& key : {"rotation", "scale", "translation"}) {
        const size_t end = trs.find(';');
        if (end == std::string_view::npos)
            break;
        if (end > 0) {
            json.Key(key);
            json.RawValue(trs.data(), end, rapidjson::kArrayType);
        }
        trs.remove_prefix(end + 1);
    }
}

void String(JsonWriter& json, const std::string& text) {
    json.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size()));
}

class GltfStreamer : public SceneWriter {
public:
    GltfStreamer(const std::string& path, bool binaryFile)
        : path(path), binary(binaryFile), accessors(path), bufferViews(path), images(path), materials(path),
          meshes(path), objectNodes(path), samplers(path), textures(path), data(path) {}

    std::string Open(const ExportScene& exported) override {
        scene = &exported;
        // The scene's materials keep their indices; the variants for
        // textures and vertex colours follow them as objects ask for them.
        for (size_t i = 0; i < scene->materials.size(); ++i)
            MaterialFor(static_cast<int>(i), -1, false);
        // One node per group, then one per object with geometry. Node
        // children are indices, so however deep the groups nest, nothing
        // here recurses.
        groups.resize(scene->groups.size());
        absorbed.assign(scene->groups.size(), false);
        for (size_t g = 0; g < scene->groups.size(); ++g) {
            const int parent = scene->groups[g].parent;
            if (parent >= 0)
                groups[static_cast<size_t>(parent)].children.push_back(static_cast<int>(g));
        }
        return std::string();
    }

    void Add(const ExportObject& object) override {
        const ExportGeometry& geometry = scene->GeometryOf(object);
        if (geometry.IsEmpty() || !failure.empty())
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
            const int batch = BatchOf(owner, InstanceMesh(object), alone ? group.name : object.name, alone);
            uses.push_back({batch, alone ? object.group : -1, object.placement});
            SpoolData();
            return;
        }
        const std::string name = object.name.empty() ? ObjectTypeName(object.type) : object.name;
        const int texture = TextureOf(object);
        const int mesh = AddMesh(AddGeometry(object, TriangleColors(object, texture)), object, object, texture, name);
        AddObjectNode(object.group, mesh, name, std::string_view());
        SpoolData();
    }

    std::string Finish() override {
        FlushPointRun();
        AddBatches();
        return failure.empty() ? Write() : failure;
    }

private:
    // Group nodes are held to the end, when their children are all known;
    // object nodes are spooled as they come and numbered after the groups
    // kept.
    struct GroupNode {
        std::vector<int> children; // a group's index, or -1 - the number of an object node
        int mesh = -1;
        int64_t trs = -1; // where its text starts in trsOfGroups
    };

    void AddObjectNode(int group, int mesh, std::string_view name, std::string_view trs,
                       const std::function<void(JsonWriter&)>& extensions = {}) {
        const int number = objectNodes.Add([&](JsonWriter& json) {
            json.StartObject();
            if (extensions) {
                Key(json, "extensions");
                extensions(json);
            }
            WriteNodeRest(json, mesh, name, trs);
            json.EndObject();
        });
        groups[static_cast<size_t>(group)].children.push_back(-1 - number);
    }

    // A point set makes one object per point. Objects that are nothing but
    // points and follow each other under one group, with one material and
    // one name, and all with colours or all without, are written as one
    // primitive of all their points: a scanned cloud of a million points is
    // one node and one mesh rather than a million of each. The points are
    // copied, since a streamed object goes once it is added.
    struct PointRun {
        std::optional<ExportObject> first; // without geometry: its group, material and name are the run's
        ExportGeometry points;
    };
    void AddToPointRun(const ExportObject& object, const ExportGeometry& geometry) {
        const std::optional<ExportObject>& first = pointRun.first;
        if (!first || first->group != object.group || first->material != object.material ||
            first->name != object.name || pointRun.points.HasColors() != geometry.HasColors())
            FlushPointRun();
        if (!pointRun.first) {
            pointRun.first.emplace();
            pointRun.first->group = object.group;
            pointRun.first->material = object.material;
            pointRun.first->name = object.name;
            pointRun.first->type = object.type;
        }
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
        const std::string name = first.name.empty() ? ObjectTypeName(first.type) : first.name;
        const int mesh = AddMesh(AddGeometry(pointRun.points, false), pointRun.points, first, -1, name);
        AddObjectNode(first.group, mesh, name, std::string_view());
        pointRun = PointRun();
        SpoolData();
    }

    // Instances of one mesh under one parent and one name, in order of
    // first use; each may stand for a group that holds nothing but it. A
    // scene of a part per box has as many batches as boxes.
    struct Batch {
        int parent; // group
        int mesh;
        std::string_view name; // the scene group's, or one of objectNames
    };
    struct Use {
        int batch;
        int group; // the group it stands for, or -1
        trelMatrix4x4 placement;
    };
    // A scene of a colour per part has millions of meshes: they are found
    // by hash, not by a search down a tree.
    struct MeshKeyHash {
        size_t operator()(const std::tuple<int, int, int>& key) const {
            return (static_cast<size_t>(std::get<0>(key)) * 0x9E3779B97F4A7C15ull) ^
                   (static_cast<size_t>(std::get<1>(key)) * 0xC2B2AE3D27D4EB4Full) ^
                   static_cast<size_t>(static_cast<unsigned>(std::get<2>(key)));
        }
    };
    struct BatchKeyHash {
        size_t operator()(const std::tuple<int, int, std::string_view>& key) const {
            const size_t name = std::hash<std::string_view>()(std::get<2>(key));
            return name ^ (static_cast<size_t>(std::get<0>(key)) * 0x9E3779B97F4A7C15ull) ^
                   (static_cast<size_t>(std::get<1>(key)) << 17);
        }
    };
    // `lasting`: the name is a scene group's, which lasts to the end; an
    // object's goes with the object, so the batch keeps a copy.
    int BatchOf(int parent, int mesh, const std::string& name, bool lasting) {
        const int batch = static_cast<int>(batches.size());
        auto [at, added] = batchOf.emplace(std::make_tuple(parent, mesh, std::string_view(name)), batch);
        if (!added)
            return at->second;
        std::string_view kept = name;
        if (!lasting && !name.empty()) {
            kept = *objectNames.insert(name).first;
            batchOf.erase(at);
            batchOf.emplace(std::make_tuple(parent, mesh, kept), batch);
        }
        batches.push_back({parent, mesh, kept});
        return batch;
    }

    // Every batch in order of first use, its uses in their order.
    void AddBatches() {
        batchOf.clear();
        std::vector<size_t> start(batches.size() + 1, 0);
        for (const Use& use : uses)
            ++start[static_cast<size_t>(use.batch) + 1];
        for (size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        // The uses' numbers are sorted, not the uses: a scene of a part per
        // box has millions of them.
        std::vector<size_t> ordered(uses.size());
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (size_t u = 0; u < uses.size(); ++u)
            ordered[next[static_cast<size_t>(uses[u].batch)]++] = u;
        for (size_t b = 0; b < batches.size(); ++b)
            AddInstances(batches[b], ordered.data() + start[b], start[b + 1] - start[b]);
        uses = std::vector<Use>();
    }

    // The nodes that stay: an unnamed group that holds nothing is left out,
    // and so is a group drawn by a GPU instance of its parent's. Returns
    // the number of each group's node (-1: left out), children first.
    std::vector<int> NumberGroups() const {
        std::vector<bool> dropped(groups.size(), false);
        std::vector<size_t> keptChildren(groups.size(), 0);
        for (size_t g = groups.size(); g-- > 1;) {
            const GroupNode& node = groups[g];
            size_t kept = 0;
            for (int child : node.children)
                kept += child < 0 || !dropped[static_cast<size_t>(child)] ? 1 : 0;
            dropped[g] = absorbed[g] || (scene->groups[g].name.empty() && kept == 0 && node.mesh < 0);
        }
        std::vector<int> number(groups.size(), -1);
        int next = 0;
        for (size_t g = 0; g < groups.size(); ++g)
            if (!dropped[g])
                number[g] = next++;
        return number;
    }

    // The group nodes, numbered, each followed by a comma.
    std::string GroupNodesText() {
        const std::vector<int> number = NumberGroups();
        const int keptGroups =
            static_cast<int>(std::count_if(number.begin(), number.end(), [](int n) { return n >= 0; }));
        // The root is named after the file when the world has no name.
        const std::string_view root = scene->name.empty() ? std::string_view("world") : std::string_view(scene->name);
        rapidjson::StringBuffer text;
        for (size_t g = 0; g < groups.size(); ++g) {
            if (number[g] < 0)
                continue;
            const GroupNode& node = groups[g];
            JsonWriter json(text);
            json.StartObject();
            std::vector<int> children;
            for (int child : node.children) {
                if (child < 0)
                    children.push_back(keptGroups + (-1 - child));
                else if (number[static_cast<size_t>(child)] >= 0)
                    children.push_back(number[static_cast<size_t>(child)]);
            }
            if (!children.empty()) {
                Key(json, "children");
                json.StartArray();
                for (int child : children)
                    json.Int(child);
                json.EndArray();
            }
            const std::string& name = scene->groups[g].name;
            WriteNodeRest(json, node.mesh, g == 0 && name.empty() ? root : std::string_view(name),
                          node.trs >= 0 ? std::string_view(trsOfGroups).substr(static_cast<size_t>(node.trs))
                                        : std::string_view());
            json.EndObject();
            text.Put(',');
        }
        return std::string(text.GetString(), text.GetSize());
    }

    // The document is put together from its pieces twice: once to measure
    // it, once to write it.
    struct Piece {
        std::string text;
        JsonSpool* spool = nullptr;
        uint64_t Size() const { return spool ? spool->Bytes() : text.size(); }
    };

    // The top-level properties in name order: the arrays spooled, the rest made here.
    std::vector<Piece> JsonPieces() {
        std::vector<Piece> pieces;
        std::string open = "{";
        const auto key = [&](const char* name) { open += std::string(open == "{" ? "\"" : ",\"") + name + "\":"; };
        // `before`: items ahead of the spooled ones, each followed by a comma.
        const auto array = [&](const char* name, JsonSpool& spool, std::string before = std::string()) {
            if (spool.Count() == 0 && !before.empty())
                before.pop_back();
            if (spool.Count() == 0 && before.empty())
                return;
            key(name);
            pieces.push_back({open + "[" + before});
            pieces.push_back({std::string(), &spool});
            open = "]";
        };
        array("accessors", accessors);
        key("asset");
        open += R"({"generator":"vrml convert","version":"2.0"})";
        array("bufferViews", bufferViews);
        if (data.Size() > 0) { // a buffer may not be empty: a world without geometry has none
            key("buffers");
            open += "[{\"byteLength\":" + std::to_string(data.Size());
            if (!binary) {
                pieces.push_back({open + ",\"uri\":\"data:application/octet-stream;base64,"});
                pieces.push_back({std::string()}); // the buffer itself, in base64
                open = "\"";
            }
            open += "}]";
        }
        std::vector<std::string> used;
        if (!scene->materials.empty())
            used.push_back(SpecularExtension);
        if (usesGpuInstancing) {
            // A viewer without it would show one instance in place of all.
            key("extensionsRequired");
            open += std::string("[\"") + GpuInstancingExtension + "\"]";
            used.push_back(GpuInstancingExtension);
        }
        if (!used.empty()) {
            key("extensionsUsed");
            for (size_t i = 0; i < used.size(); ++i)
                open += (i > 0 ? ",\"" : "[\"") + used[i] + "\"";
            open += "]";
        }
        array("images", images);
        array("materials", materials);
        array("meshes", meshes);
        array("nodes", objectNodes, GroupNodesText());
        array("samplers", samplers);
        key("scene");
        open += "0";
        key("scenes");
        open += R"([{"nodes":[0]}])";
        array("textures", textures);
        pieces.push_back({open + "}"});
        return pieces;
    }

    uint64_t Base64Length() const { return (data.Size() + 2) / 3 * 4; }

    std::string Write() {
        std::vector<Piece> pieces = JsonPieces();
        uint64_t jsonLength = 0;
        for (const Piece& piece : pieces)
            jsonLength += piece.spool || !piece.text.empty() ? piece.Size() : Base64Length();
        const uint64_t dataSize = data.Size();
        if (binary) {
            const std::string problem = GlbLengthProblem(GlbLength(jsonLength, dataSize));
            if (!problem.empty())
                return problem;
        }
        OutputFile file(path);
        if (!file.IsOpen())
            return "cannot create the file";
        // A .glb: its header, the JSON chunk padded with spaces, then the
        // binary chunk padded with zeros.
        const uint64_t jsonPadded = (jsonLength + 3) / 4 * 4;
        const uint64_t dataPadded = (dataSize + 3) / 4 * 4;
        if (binary) {
            file.UInt32(0x46546C67); // "glTF"
            file.UInt32(2);
            file.UInt32(static_cast<uint32_t>(GlbLength(jsonLength, dataSize)));
            file.UInt32(static_cast<uint32_t>(jsonPadded));
            file.UInt32(0x4E4F534A); // "JSON"
        }
        bool copied = true;
        for (const Piece& piece : pieces) {
            if (piece.spool)
                copied = piece.spool->CopyTo(file) && copied;
            else if (!piece.text.empty())
                file.Text(piece.text);
            else
                copied = WriteBase64(file) && copied;
        }
        if (binary) {
            file.Text(std::string(static_cast<size_t>(jsonPadded - jsonLength), ' '));
            if (dataSize > 0) {
                file.UInt32(static_cast<uint32_t>(dataPadded));
                file.UInt32(0x004E4942); // "BIN"
                copied = data.Whole().CopyTo(file) && copied;
                file.Text(std::string(static_cast<size_t>(dataPadded - dataSize), '\0'));
            }
        }
        if (!copied || !file.Commit())
            return "cannot write the file";
        return std::string(); // a file not committed is removed
    }

    // The binary buffer as the text of a data URI, read back a block at a time.
    bool WriteBase64(OutputFile& file) {
        std::string text;
        return data.Whole().ReadBack(
            [&](const unsigned char* bytes, size_t size) {
                text.clear();
                AppendBase64(bytes, size, text);
                file.Text(text);
            },
            3);
    }

    // The glTF material of a scene material with a texture (-1: none) and
    // with or without vertex colours, made on first use. A colour picture
    // replaces the diffuse colour and the vertex colours, as VRML's does; a
    // grey one modulates them. Vertex colours replace the diffuse colour.
    int MaterialFor(int material, int texture, bool colors) {
        // The plain form of scene material i is glTF material i, made by
        // Open: a scene of a colour per part needs no table of them.
        const bool plain = texture < 0 && !colors;
        if (plain && static_cast<size_t>(material) < materials.Count())
            return material;
        const int index = static_cast<int>(materials.Count());
        if (!plain) {
            auto [where, added] = materialIndex.emplace(std::make_tuple(material, texture, colors), index);
            if (!added)
                return where->second;
        }
        const trelMaterial& source = scene->materials[static_cast<size_t>(material)];
        const ExportTexture* shown = texture >= 0 ? &scene->textures[static_cast<size_t>(texture)] : nullptr;
        const int textureIndex = shown ? TextureFor(texture) : -1;
        const trelChroma& diffuse = source.GetDiffuse();
        const bool white = colors || (shown && !shown->intensity);
        // A picture with transparent pixels gives the alpha, as VRML's
        // four-component textures do.
        const bool pictureAlpha = shown && shown->image->HasAlpha();
        const double alpha = pictureAlpha ? 1.0 : Clamp01(diffuse.GetAlpha());
        // Each figure is made as its text: a scene of a colour per part
        // writes hundreds of thousands of them.
        const NumberText one = ExactText(1.0);
        const std::array<NumberText, 4> base{white ? one : FactorText(diffuse.GetRed()),
                                             white ? one : FactorText(diffuse.GetGreen()),
                                             white ? one : FactorText(diffuse.GetBlue()), ExactText(alpha)};
        const NumberText roughness = ShortText(RoughnessFromExponent(PhongExponent(source.GetShininess())));
        const trelChroma& emission = source.GetEmission();
        const std::array<NumberText, 3> emissive{FactorText(emission.GetRed()), FactorText(emission.GetGreen()),
                                                 FactorText(emission.GetBlue())};
        const auto all = [](const auto& texts, std::string_view value) {
            return std::all_of(texts.begin(), texts.end(), [&](const NumberText& text) { return text.Is(value); });
        };
        const trelChroma& specular = source.GetSpecular();
        materials.Add([&](JsonWriter& json) {
            json.StartObject();
            if (alpha < 1.0 || pictureAlpha) {
                Key(json, "alphaMode");
                json.String("BLEND");
            }
            // VRML solids are often open shells, seen from inside as well.
            Key(json, "doubleSided");
            json.Bool(true);
            if (!all(emissive, "0"))
                Numbers(json, "emissiveFactor", emissive);
            // The highlight's colour, where the glTF default would add a
            // white one. Black leaves none, as in VRML: the whole specular
            // layer is turned off, since a black colour alone would still
            // leave a white sheen at grazing angles.
            Key(json, "extensions");
            json.StartObject();
            json.Key(SpecularExtension);
            json.StartObject();
            if (specular.GetRed() <= 0.0f && specular.GetGreen() <= 0.0f && specular.GetBlue() <= 0.0f) {
                Key(json, "specularFactor");
                Number(json, 0.0);
            } else {
                Numbers(json, "specularColorFactor",
                        std::array<NumberText, 3>{FactorText(specular.GetRed()), FactorText(specular.GetGreen()),
                                                  FactorText(specular.GetBlue())});
            }
            json.EndObject();
            json.EndObject();
            Key(json, "pbrMetallicRoughness");
            json.StartObject();
            if (!all(base, "1"))
                Numbers(json, "baseColorFactor", base);
            if (textureIndex >= 0) {
                Key(json, "baseColorTexture");
                json.StartObject();
                Key(json, "index");
                json.Int(textureIndex);
                json.EndObject();
            }
            Key(json, "metallicFactor");
            Number(json, 0.0);
            if (!roughness.Is("1")) {
                Key(json, "roughnessFactor");
                Number(json, roughness);
            }
            json.EndObject();
            json.EndObject();
        });
        return index;
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
            const int wrapS = source.repeatS ? Repeat : ClampToEdge;
            const int wrapT = source.repeatT ? Repeat : ClampToEdge;
            auto [sampler, added] = samplerIndex.emplace(std::make_pair(wrapS, wrapT), -1);
            if (added)
                sampler->second = samplers.Add([&](JsonWriter& json) {
                    json.StartObject();
                    Key(json, "wrapS");
                    json.Int(wrapS);
                    Key(json, "wrapT");
                    json.Int(wrapT);
                    json.EndObject();
                });
            const int wrap = sampler->second;
            index = textures.Add([&](JsonWriter& json) {
                json.StartObject();
                Key(json, "sampler");
                json.Int(wrap);
                Key(json, "source");
                json.Int(image);
                json.EndObject();
            });
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
            // The file's name without its folder.
            const std::string name = ToValidUtf8(source.name.substr(source.name.find_last_of("/\\") + 1));
            const int view = binary ? AddBytesView(file.bytes) : -1;
            index = images.Add([&](JsonWriter& json) {
                json.StartObject();
                if (binary) {
                    Key(json, "bufferView");
                    json.Int(view);
                    Key(json, "mimeType");
                    String(json, file.mimeType);
                }
                if (!name.empty()) {
                    Key(json, "name");
                    String(json, name);
                }
                if (!binary) {
                    Key(json, "uri");
                    String(json, "data:" + file.mimeType + ";base64," + Base64(file.bytes));
                }
                json.EndObject();
            });
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
        Attributes triangleAttributes;
        int indices = -1;
        std::vector<Attributes> strips;
        Attributes points;
    };

    // VRML ignores the colours under a colour picture.
    bool TriangleColors(const ExportGeometry& geometry, int texture) const {
        return geometry.HasColors() && (texture < 0 || scene->textures[static_cast<size_t>(texture)].intensity);
    }

    GeometryAccessors AddGeometry(const ExportGeometry& object, bool triangleColors) {
        GeometryAccessors made;
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
            attributes["NORMAL"] =
                AddAccessor(AddFloatsView(object.normals.data(), count), 0, FloatComponents, count, "VEC3");
            if (triangleColors)
                attributes["COLOR_0"] = AddAccessor(AddColorView(object, 0, count), 0, FloatComponents, count, "VEC3");
            if (object.HasTexCoords()) {
                // glTF's t axis runs down the image, VRML's up.
                const int view = AddVertexView<2>(count, [&](size_t i) {
                    return std::array<float, 2>{object.texCoords[i].s, 1.0f - object.texCoords[i].t};
                });
                attributes["TEXCOORD_0"] = AddAccessor(view, 0, FloatComponents, count, "VEC2");
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
                Attributes line;
                line["POSITION"] = AddPointAccessor(view, first * 12, strip.data(), strip.size());
                if (colorView >= 0)
                    line["COLOR_0"] = AddAccessor(colorView, first * 12, FloatComponents, strip.size(), "VEC3");
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
                                                     FloatComponents, count, "VEC3");
        }
        return made;
    }

    int AddIndices(const std::vector<uint32_t>& triangles) {
        const uint64_t offset = data.Size();
        AppendWords(triangles.data(), triangles.size());
        const int view = AddView(offset, data.Size() - offset, 0, IndexTarget);
        return AddAccessor(view, 0, IndexComponents, triangles.size(), "SCALAR");
    }

    // A mesh of `geometry`, the accessors of `source`, drawn with the object's material and texture.
    int AddMesh(const GeometryAccessors& geometry, const ExportGeometry& source, const ExportObject& object,
                int texture, const std::string& name) {
        const bool colors = TriangleColors(source, texture);
        const int triangleMaterial = geometry.indices >= 0 ? MaterialFor(object.material, texture, colors) : -1;
        // Lines and points have no texture coordinates: never a texture.
        const int plain = geometry.strips.empty() && geometry.points.empty()
                              ? -1
                              : MaterialFor(object.material, -1, source.HasColors());
        return meshes.Add([&](JsonWriter& json) {
            const auto primitive = [&](const Attributes& attributes, int indices, int material, int mode) {
                json.StartObject();
                WriteAttributes(json, attributes);
                if (indices >= 0) {
                    Key(json, "indices");
                    json.Int(indices);
                }
                if (material >= 0) {
                    Key(json, "material");
                    json.Int(material);
                }
                Key(json, "mode");
                json.Int(mode);
                json.EndObject();
            };
            json.StartObject();
            if (!name.empty()) {
                Key(json, "name");
                String(json, name);
            }
            Key(json, "primitives");
            json.StartArray();
            if (geometry.indices >= 0) {
                Attributes attributes = geometry.triangleAttributes;
                if (!colors)
                    attributes.erase("COLOR_0");
                primitive(attributes, geometry.indices, triangleMaterial, Triangles);
            }
            for (const Attributes& strip : geometry.strips)
                primitive(strip, -1, plain, LineStrip);
            if (!geometry.points.empty())
                primitive(geometry.points, -1, plain, Points);
            json.EndArray();
            json.EndObject();
        });
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

    // The nodes of a batch. A large one is one node drawing the mesh at
    // every placement (EXT_mesh_gpu_instancing), which costs 40 bytes an
    // instance where a node costs some 100; its instances share the name
    // the node keeps, and the groups they stand for are left out. In a
    // small one, which every viewer reads, each instance is a node: its
    // group's, or one of its own.
    // `order` gives the numbers of the batch's `count` uses.
    void AddInstances(const Batch& batch, const size_t* order, size_t count) {
        const auto placement = [](const Use& use) -> const trelMatrix4x4& { return use.placement; };
        if (count < MinGpuInstances) {
            for (size_t k = 0; k < count; ++k) {
                const Use* use = &uses[order[k]];
                if (use->group >= 0) {
                    GroupNode& own = groups[static_cast<size_t>(use->group)];
                    own.mesh = batch.mesh;
                    own.trs = static_cast<int64_t>(trsOfGroups.size());
                    AppendTrs(placement(*use), trsOfGroups);
                    continue;
                }
                std::string trs;
                AppendTrs(placement(*use), trs);
                AddObjectNode(batch.parent, batch.mesh, batch.name, trs);
            }
            return;
        }
        std::vector<TrsPlacement> placements;
        placements.reserve(count);
        for (size_t k = 0; k < count; ++k) {
            const Use* use = &uses[order[k]];
            if (use->group >= 0)
                absorbed[static_cast<size_t>(use->group)] = true;
            placements.push_back(DecomposePlacement(placement(*use)));
        }
        // Per-instance values are no vertex attribute: their views have no target.
        const auto view = [&](auto part) {
            constexpr size_t N = std::tuple_size<decltype(part(placements[0]))>::value;
            const int made = AddVertexView<N>(
                count,
                [&](size_t i) {
                    std::array<float, N> values;
                    const auto exact = part(placements[i]);
                    for (size_t k = 0; k < N; ++k)
                        values[k] = static_cast<float>(exact[k]);
                    return values;
                },
                false);
            return AddAccessor(made, 0, FloatComponents, count, N == 4 ? "VEC4" : "VEC3");
        };
        const int translation = view([](const TrsPlacement& p) { return p.translation; });
        const int rotation = view([](const TrsPlacement& p) { return p.rotation; });
        const int scale = view([](const TrsPlacement& p) { return p.scale; });
        AddObjectNode(batch.parent, batch.mesh, batch.name, std::string_view(), [&](JsonWriter& json) {
            json.StartObject();
            json.Key(GpuInstancingExtension);
            json.StartObject();
            Key(json, "attributes");
            json.StartObject();
            Key(json, "ROTATION");
            json.Int(rotation);
            Key(json, "SCALE");
            json.Int(scale);
            Key(json, "TRANSLATION");
            json.Int(translation);
            json.EndObject();
            json.EndObject();
            json.EndObject();
        });
        usesGpuInstancing = true;
        SpoolData();
    }

    // The values gathered so far go to the spool; a .glb that grows past
    // what its format can hold stops here, before its data fills a disk.
    void SpoolData() {
        data.Flush();
        if (binary && failure.empty())
            failure = GlbLengthProblem(GlbLength(0, data.Size()));
    }

    // Every value is a 4-byte float or index, written in the little-endian
    // order of the format, so views stay aligned. A large view goes out a
    // megabyte at a time: a mesh's data is never copied whole.
    static constexpr size_t WordsAtOnce = size_t(1) << 18;
    unsigned char* Extend(size_t bytes) {
        std::vector<unsigned char>& pending = data.Pending();
        const size_t at = pending.size();
        pending.resize(at + bytes);
        return pending.data() + at;
    }
    // Appends `count` 4-byte words as they lie in memory: as blocks where
    // that is already the format's order, which also spares zeroing the room.
    void AppendWords(const void* words, size_t count) {
        const auto* bytes = static_cast<const unsigned char*>(words);
        for (size_t first = 0; first < count; first += WordsAtOnce) {
            const size_t n = std::min(WordsAtOnce, count - first);
            const unsigned char* from = bytes + first * sizeof(uint32_t);
            if (LittleEndian()) {
                data.Pending().insert(data.Pending().end(), from, from + n * sizeof(uint32_t));
            } else {
                unsigned char* out = Extend(n * sizeof(uint32_t));
                for (size_t i = 0; i < n; ++i) {
                    uint32_t bits;
                    std::memcpy(&bits, from + i * sizeof bits, sizeof bits);
                    out = Put(out, bits);
                }
            }
            data.Flush();
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

    int AddView(uint64_t offset, uint64_t length, size_t stride, int target) {
        return bufferViews.Add([&](JsonWriter& json) {
            json.StartObject();
            Key(json, "buffer");
            json.Int(0);
            Key(json, "byteLength");
            json.Uint64(length);
            if (offset > 0) {
                Key(json, "byteOffset");
                json.Uint64(offset);
            }
            if (stride >= 4) {
                Key(json, "byteStride");
                json.Uint64(stride);
            }
            if (target != 0) {
                Key(json, "target");
                json.Int(target);
            }
            json.EndObject();
        });
    }

    // A view of `count` vertices of N floats each, `item(i)` giving vertex i.
    // Several accessors (one per polyline) may share a view; a shared
    // vertex view must state its stride.
    template <size_t N, class Item>
    int AddVertexView(size_t count, Item item, bool vertices = true) {
        const uint64_t offset = data.Size();
        const size_t itemsAtOnce = WordsAtOnce / N;
        for (size_t first = 0; first < count; first += itemsAtOnce) {
            const size_t last = std::min(count, first + itemsAtOnce);
            unsigned char* out = Extend((last - first) * N * sizeof(float));
            for (size_t i = first; i < last; ++i)
                for (float value : item(i))
                    out = Put(out, value);
            data.Flush();
        }
        return AddView(offset, data.Size() - offset, vertices ? N * sizeof(float) : 0, vertices ? VertexTarget : 0);
    }

    // A view of `count` vertices, each a value made of nothing but floats.
    template <class Value>
    int AddFloatsView(const Value* values, size_t count) {
        static_assert(sizeof(Value) % sizeof(float) == 0, "whole floats only");
        const uint64_t offset = data.Size();
        AppendWords(values, count * (sizeof(Value) / sizeof(float)));
        return AddView(offset, data.Size() - offset, sizeof(Value), VertexTarget);
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
        const uint64_t offset = data.Size();
        std::vector<unsigned char>& pending = data.Pending();
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        pending.resize((pending.size() + 3) / 4 * 4, 0); // the spool only ever takes whole words
        return AddView(offset, bytes.size(), 0, 0);
    }

    int AddAccessor(int view, size_t offset, int componentType, size_t count, const char* type,
                    const std::array<double, 3>* low = nullptr, const std::array<double, 3>* high = nullptr) {
        return accessors.Add([&](JsonWriter& json) {
            json.StartObject();
            Key(json, "bufferView");
            json.Int(view);
            if (offset != 0) {
                Key(json, "byteOffset");
                json.Uint64(offset);
            }
            Key(json, "componentType");
            json.Int(componentType);
            Key(json, "count");
            json.Uint64(count);
            if (high)
                Numbers(json, "max", *high);
            if (low)
                Numbers(json, "min", *low);
            Key(json, "type");
            json.String(type);
            json.EndObject();
        });
    }

    // Positions must carry their exact bounds, taken from the floats written.
    int AddPointAccessor(int view, size_t offset, const trelFloatPoint* points, size_t count) {
        std::array<double, 3> low, high;
        low.fill(std::numeric_limits<double>::infinity());
        high.fill(-std::numeric_limits<double>::infinity());
        for (size_t i = 0; i < count; ++i) {
            const float xyz[3] = {points[i].x, points[i].y, points[i].z};
            for (size_t k = 0; k < 3; ++k) {
                low[k] = std::min(low[k], static_cast<double>(xyz[k]));
                high[k] = std::max(high[k], static_cast<double>(xyz[k]));
            }
        }
        return AddAccessor(view, offset, FloatComponents, count, "VEC3", &low, &high);
    }

    const ExportScene* scene = nullptr;
    std::string path;
    const bool binary; // images go into the binary chunk, else into data URIs
    std::string failure;
    JsonSpool accessors, bufferViews, images, materials, meshes, objectNodes, samplers, textures;
    BinarySpool data;
    std::vector<GroupNode> groups;
    std::string trsOfGroups;                                 // of the groups that stand for an instance
    std::map<std::tuple<int, int, bool>, int> materialIndex; // scene material, scene texture, colours
    std::map<int, int> textureIndex;                         // scene texture
    std::map<std::pair<int, int>, int> samplerIndex;         // wrap s, wrap t
    std::map<const trelImage*, int> imageIndex;
    std::vector<Batch> batches;
    std::vector<Use> uses;
    std::unordered_map<std::tuple<int, int, std::string_view>, int, BatchKeyHash> batchOf; // parent, mesh, name
    std::unordered_set<std::string> objectNames; // the names of batches named after an object
    std::vector<bool> absorbed;                  // of each group: drawn by a GPU instance of its parent's
    PointRun pointRun;
    bool usesGpuInstancing = false;
    std::map<int, GeometryAccessors> shapeData;                                // scene shape
    std::unordered_map<std::tuple<int, int, int>, int, MeshKeyHash> meshIndex; // scene shape, material, texture
};

} // namespace

std::unique_ptr<SceneWriter> MakeGltfWriter(const std::string& path, bool binary) {
    return std::make_unique<GltfStreamer>(path, binary);
}

} // namespace vrml
