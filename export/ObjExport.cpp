#include "SceneWriter.h"

#include "EmbeddedImage.h"
#include "OutputFile.h"
#include "inspect/WorldWalk.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace vrml {

namespace {

// OBJ names end at white space; anything else passes (UTF-8 included).
std::string ObjName(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            c = '_';
    return out;
}

std::string MaterialName(size_t index) { return "material_" + std::to_string(index); }

// A material drawn with a texture: its own MTL entry, with `map_Kd`.
std::string MaterialName(size_t index, size_t texture) {
    return MaterialName(index) + "_texture_" + std::to_string(texture);
}

// The names of the named groups from the world down to `group`, joined with
// '/'. OBJ has no hierarchy; the path keeps it readable in the group name.
std::string GroupPath(const ExportScene& scene, int group) {
    std::string path;
    for (int g = group; g >= 0; g = scene.groups[static_cast<size_t>(g)].parent) {
        const std::string& name = scene.groups[static_cast<size_t>(g)].name;
        if (!name.empty())
            path = path.empty() ? ObjName(name) : ObjName(name) + "/" + path;
    }
    return path.empty() ? "default" : path;
}

void Color(OutputFile& out, const char* key, const trelChroma& c) {
    out.Text(key);
    out.Char(' ');
    out.Number(Clamp01(c.GetRed()));
    out.Char(' ');
    out.Number(Clamp01(c.GetGreen()));
    out.Char(' ');
    out.Number(Clamp01(c.GetBlue()));
    out.Char('\n');
}

void Material(OutputFile& out, const std::string& name, const trelMaterial& m, bool whiteDiffuse) {
    out.Text("\nnewmtl " + name + "\n");
    Color(out, "Ka", m.GetAmbient());
    Color(out, "Kd", whiteDiffuse ? trelChroma(1.0f, 1.0f, 1.0f) : m.GetDiffuse());
    Color(out, "Ks", m.GetSpecular());
    Color(out, "Ke", m.GetEmission());
    out.Text("Ns ");
    out.Number(static_cast<float>(PhongExponent(m.GetShininess())));
    out.Text("\nd ");
    out.Number(Clamp01(m.GetDiffuse().GetAlpha()));
    out.Text("\nillum 2\n");
}

// What the export writes beside the OBJ, removed again if any part fails.
class Written {
public:
    ~Written() {
        for (const std::filesystem::path& path : paths) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
    void Add(const std::filesystem::path& path) { paths.push_back(path); }
    void Keep() { paths.clear(); }

private:
    std::vector<std::filesystem::path> paths;
};

// A vertex, with its colour when the object has colours: `v x y z r g b`.
void Vertex(OutputFile& out, const trelFloatPoint& p, const ExportGeometry& object, size_t color) {
    out.Text("v ");
    out.Point(p);
    if (object.HasColors()) {
        const trelChroma& c = object.colors[color];
        for (float value : {c.GetRed(), c.GetGreen(), c.GetBlue()}) {
            out.Char(' ');
            out.Number(Clamp01(value));
        }
    }
    out.Char('\n');
}

// Objects are written as they come. A texture's image is written beside
// the OBJ when an object first uses it, and the MTL at the end, once the
// materials drawn with each texture are known.
class ObjWriter : public SceneWriter {
public:
    explicit ObjWriter(const std::string& path) : objPath(path), out(path) {
        mtlPath = objPath;
        mtlPath.replace_extension(".mtl");
    }

    std::string Open(const ExportScene& exported) override {
        scene = &exported;
        if (!out.IsOpen())
            return "cannot create the file";
        out.Text("# written by vrml convert\nmtllib " + mtlPath.filename().string() + "\n");
        return std::string();
    }

    void Add(const ExportObject& exported) override {
        const size_t o = index++;
        ExportGeometry placed; // an instance expanded
        const ExportGeometry& object = WorldGeometryOf(*scene, exported, placed);
        if (object.IsEmpty())
            return;
        if (exported.group != currentGroup) {
            currentGroup = exported.group;
            out.Text("\ng " + GroupPath(*scene, currentGroup) + "\n");
        }
        out.Text("o " + (exported.name.empty()
                             ? std::string(ObjectTypeName(exported.type)) + "_" + std::to_string(o + 1)
                             : ObjName(exported.name)));
        const std::string plain = MaterialName(static_cast<size_t>(exported.material));
        const int texture = TextureOf(exported, object);
        if (texture >= 0 && textured.emplace(exported.material, texture).second)
            texturedOrder.emplace_back(exported.material, texture);
        out.Text("\nusemtl " +
                 (texture >= 0 ? MaterialName(static_cast<size_t>(exported.material), static_cast<size_t>(texture))
                               : plain) +
                 "\n");

        // OBJ indices are global and count from 1; positions, texture
        // coordinates and normals each have their own count (line and point
        // vertices have neither of the last two).
        const uint64_t base = written + 1;
        const uint64_t texCoordBase = texCoordsWritten + 1;
        const uint64_t normalBase = normalsWritten + 1;
        size_t color = 0; // the next of the object's colours
        for (const trelFloatPoint& p : object.positions)
            Vertex(out, p, object, color++);
        for (const trelTexCoord& c : object.texCoords) {
            out.Text("vt ");
            out.Number(c.s);
            out.Char(' ');
            out.Number(c.t);
            out.Char('\n');
        }
        for (const trelVector& n : object.normals) {
            out.Text("vn ");
            out.Point({n.x, n.y, n.z});
            out.Char('\n');
        }
        for (size_t t = 0; t < object.triangles.size(); t += 3) {
            out.Char('f');
            for (size_t k = 0; k < 3; ++k) {
                // One texture coordinate and one normal were written per
                // vertex, in the same order.
                out.Char(' ');
                out.Number(base + object.triangles[t + k]);
                out.Char('/');
                if (object.HasTexCoords())
                    out.Number(texCoordBase + object.triangles[t + k]);
                out.Char('/');
                out.Number(normalBase + object.triangles[t + k]);
            }
            out.Char('\n');
        }
        written += object.positions.size();
        texCoordsWritten += object.texCoords.size();
        normalsWritten += object.normals.size();
        if (texture >= 0 && (!object.lineStrips.empty() || !object.points.empty()))
            out.Text("usemtl " + plain + "\n");
        for (const auto& strip : object.lineStrips) {
            for (const trelFloatPoint& p : strip)
                Vertex(out, p, object, color++);
            out.Char('l');
            for (size_t k = 0; k < strip.size(); ++k) {
                out.Char(' ');
                out.Number(written + 1 + k);
            }
            out.Char('\n');
            written += strip.size();
        }
        if (!object.points.empty()) {
            for (const trelFloatPoint& p : object.points)
                Vertex(out, p, object, color++);
            out.Char('p');
            for (size_t k = 0; k < object.points.size(); ++k) {
                out.Char(' ');
                out.Number(written + 1 + k);
            }
            out.Char('\n');
            written += object.points.size();
        }
    }

    std::string Finish() override {
        if (!imagesWritten)
            return "cannot write the texture images beside " + mtlPath.string();
        if (!WriteMtl())
            return "cannot write " + mtlPath.string();
        beside.Add(mtlPath);
        if (!out.Commit())
            return "cannot write the file";
        beside.Keep();
        return std::string();
    }

private:
    // The texture to draw an object's triangles with: -1 for none, or when
    // its image could not be written.
    int TextureOf(const ExportObject& exported, const ExportGeometry& object) {
        if (exported.texture < 0 || !object.HasTexCoords() || object.triangles.empty())
            return -1;
        return !ImageFile(static_cast<size_t>(exported.texture)).empty() ? exported.texture : -1;
    }

    // The file of a texture's image, beside the MTL as NAME_texture_N.png
    // or .jpg, written on first use; empty when the image cannot be encoded.
    const std::string& ImageFile(size_t texture) {
        if (files.size() <= texture)
            files.resize(scene->textures.size());
        if (files[texture])
            return *files[texture];
        const trelImage& image = *scene->textures[texture].image;
        auto [known, first] = byImage.emplace(&image, std::string());
        if (first) {
            const EmbeddedImage file = EmbeddedImageFor(image);
            if (!file.bytes.empty()) {
                const std::string name =
                    mtlPath.stem().string() + "_texture_" + std::to_string(byImage.size() - 1) + file.extension;
                const std::filesystem::path path = mtlPath.parent_path() / name;
                OutputFile written(path.string());
                written.Bytes(file.bytes.data(), file.bytes.size());
                if (written.Commit())
                    beside.Add(path);
                else
                    imagesWritten = false;
                known->second = name;
            }
        }
        files[texture] = known->second;
        return *files[texture];
    }

    bool WriteMtl() {
        OutputFile mtl(mtlPath.string());
        if (!mtl.IsOpen())
            return false;
        mtl.Text("# written by vrml convert\n");
        for (size_t i = 0; i < scene->materials.size(); ++i)
            Material(mtl, MaterialName(i), scene->materials[i], false);
        // Then each material with each texture it is drawn with. A colour
        // picture replaces the diffuse colour, as in VRML; a grey one modulates it.
        for (const auto& [material, texture] : texturedOrder) {
            const ExportTexture& shown = scene->textures[static_cast<size_t>(texture)];
            Material(mtl, MaterialName(static_cast<size_t>(material), static_cast<size_t>(texture)),
                     scene->materials[static_cast<size_t>(material)], !shown.intensity);
            mtl.Text("map_Kd " + *files[static_cast<size_t>(texture)] + "\n");
        }
        return mtl.Commit();
    }

    std::filesystem::path objPath, mtlPath;
    OutputFile out;
    const ExportScene* scene = nullptr;
    Written beside;
    std::vector<std::optional<std::string>> files; // per texture, once known
    std::map<const trelImage*, std::string> byImage;
    bool imagesWritten = true;
    std::set<std::pair<int, int>> textured; // material, texture
    std::vector<std::pair<int, int>> texturedOrder;
    size_t index = 0;
    uint64_t written = 0, texCoordsWritten = 0, normalsWritten = 0;
    int currentGroup = -1;
};

} // namespace

std::unique_ptr<SceneWriter> MakeObjWriter(const std::string& path) { return std::make_unique<ObjWriter>(path); }

} // namespace vrml
