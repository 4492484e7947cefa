#include "Exporters.h"

#include "EmbeddedImage.h"
#include "OutputFile.h"
#include "WorldWalk.h"

#include <filesystem>
#include <map>
#include <utility>
#include <vector>

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

// The texture to draw an object's triangles with: -1 for none, or when its
// image had no file written (`files` holds the names written, per texture).
int TextureOf(const ExportObject& object, const std::vector<std::string>& files) {
    return object.texture >= 0 && object.HasTexCoords() && !object.triangles.empty() &&
                   !files[static_cast<size_t>(object.texture)].empty()
               ? object.texture
               : -1;
}

// The texture images, beside the MTL as NAME_texture_N.png or .jpg; an
// image that cannot be encoded gets no file and its objects no texture.
bool WriteImages(const ExportScene& scene, const std::filesystem::path& mtlPath, std::vector<std::string>& files,
                 Written& written) {
    files.assign(scene.textures.size(), std::string());
    std::map<const trelImage*, std::string> byImage;
    for (size_t t = 0; t < scene.textures.size(); ++t) {
        const trelImage& image = *scene.textures[t].image;
        const auto known = byImage.find(&image);
        if (known != byImage.end()) {
            files[t] = known->second;
            continue;
        }
        const EmbeddedImage file = EmbeddedImageFor(image);
        std::string name;
        if (!file.bytes.empty()) {
            name = mtlPath.stem().string() + "_texture_" + std::to_string(byImage.size()) + file.extension;
            const std::filesystem::path path = mtlPath.parent_path() / name;
            OutputFile out(path.string());
            out.Bytes(file.bytes.data(), file.bytes.size());
            if (!out.Commit())
                return false;
            written.Add(path);
        }
        byImage.emplace(&image, name);
        files[t] = name;
    }
    return true;
}

bool WriteMtl(const ExportScene& scene, const std::string& path, const std::vector<std::string>& files) {
    OutputFile out(path);
    if (!out.IsOpen())
        return false;
    out.Text("# written by vrml convert\n");
    for (size_t i = 0; i < scene.materials.size(); ++i)
        Material(out, MaterialName(i), scene.materials[i], false);
    // Then each material with each texture it is drawn with. A colour
    // picture replaces the diffuse colour, as in VRML; a grey one modulates it.
    std::map<std::pair<int, int>, bool> textured;
    for (const ExportObject& object : scene.objects) {
        const int texture = TextureOf(object, files);
        if (texture < 0 || !textured.emplace(std::make_pair(object.material, texture), true).second)
            continue;
        const ExportTexture& shown = scene.textures[static_cast<size_t>(texture)];
        Material(out, MaterialName(static_cast<size_t>(object.material), static_cast<size_t>(texture)),
                 scene.materials[static_cast<size_t>(object.material)], !shown.intensity);
        out.Text("map_Kd " + files[static_cast<size_t>(texture)] + "\n");
    }
    return out.Commit();
}

// A vertex, with its colour when the object has colours: `v x y z r g b`.
void Vertex(OutputFile& out, const trelFloatPoint& p, const ExportObject& object, size_t color) {
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

} // namespace

std::string WriteObj(const ExportScene& scene, const std::string& path) {
    const std::filesystem::path objPath(path);
    std::filesystem::path mtlPath = objPath;
    mtlPath.replace_extension(".mtl");
    Written beside;
    std::vector<std::string> files;
    if (!WriteImages(scene, mtlPath, files, beside))
        return "cannot write the texture images beside " + mtlPath.string();
    if (!WriteMtl(scene, mtlPath.string(), files))
        return "cannot write " + mtlPath.string();
    beside.Add(mtlPath);

    OutputFile out(path);
    if (!out.IsOpen())
        return "cannot create the file";
    out.Text("# written by vrml convert\nmtllib " + mtlPath.filename().string() + "\n");
    // OBJ indices are global and count from 1; positions, texture
    // coordinates and normals each have their own count (line and point
    // vertices have neither of the last two).
    uint64_t written = 0;
    uint64_t texCoordsWritten = 0;
    uint64_t normalsWritten = 0;
    int currentGroup = -1;
    for (size_t o = 0; o < scene.objects.size(); ++o) {
        const ExportObject& object = scene.objects[o];
        if (object.IsEmpty())
            continue;
        if (object.group != currentGroup) {
            currentGroup = object.group;
            out.Text("\ng " + GroupPath(scene, currentGroup) + "\n");
        }
        out.Text("o " + (object.name.empty() ? std::string(ObjectTypeName(object.type)) + "_" + std::to_string(o + 1)
                                             : ObjName(object.name)));
        const std::string plain = MaterialName(static_cast<size_t>(object.material));
        const int texture = TextureOf(object, files);
        out.Text(
            "\nusemtl " +
            (texture >= 0 ? MaterialName(static_cast<size_t>(object.material), static_cast<size_t>(texture)) : plain) +
            "\n");

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
    if (!out.Commit())
        return "cannot write the file";
    beside.Keep();
    return std::string();
}
