#include "Exporters.h"

#include "OutputFile.h"
#include "WorldWalk.h"

#include <filesystem>

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

bool WriteMtl(const ExportScene& scene, const std::string& path) {
    OutputFile out(path);
    if (!out.IsOpen())
        return false;
    out.Text("# written by vrml convert\n");
    for (size_t i = 0; i < scene.materials.size(); ++i) {
        const trelMaterial& m = scene.materials[i];
        out.Text("\nnewmtl " + MaterialName(i) + "\n");
        Color(out, "Ka", m.GetAmbient());
        Color(out, "Kd", m.GetDiffuse());
        Color(out, "Ks", m.GetSpecular());
        Color(out, "Ke", m.GetEmission());
        out.Text("Ns ");
        out.Number(static_cast<float>(PhongExponent(m.GetShininess())));
        out.Text("\nd ");
        out.Number(Clamp01(m.GetDiffuse().GetAlpha()));
        out.Text("\nillum 2\n");
    }
    return out.Commit();
}

} // namespace

std::string WriteObj(const ExportScene& scene, const std::string& path) {
    const std::filesystem::path objPath(path);
    std::filesystem::path mtlPath = objPath;
    mtlPath.replace_extension(".mtl");
    if (!WriteMtl(scene, mtlPath.string()))
        return "cannot write " + mtlPath.string();

    OutputFile out(path);
    if (!out.IsOpen()) {
        std::error_code ignored;
        std::filesystem::remove(mtlPath, ignored);
        return "cannot create the file";
    }
    out.Text("# written by vrml convert\nmtllib " + mtlPath.filename().string() + "\n");
    // OBJ indices are global and count from 1; positions and normals each
    // have their own count (line and point vertices have no normal).
    uint64_t written = 0;
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
        out.Text("\nusemtl " + MaterialName(static_cast<size_t>(object.material)) + "\n");

        const uint64_t base = written + 1;
        const uint64_t normalBase = normalsWritten + 1;
        for (const trelFloatPoint& p : object.positions) {
            out.Text("v ");
            out.Point(p);
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
                // One normal was written per vertex, in the same order.
                out.Char(' ');
                out.Number(base + object.triangles[t + k]);
                out.Text("//");
                out.Number(normalBase + object.triangles[t + k]);
            }
            out.Char('\n');
        }
        written += object.positions.size();
        normalsWritten += object.normals.size();
        for (const auto& strip : object.lineStrips) {
            for (const trelFloatPoint& p : strip) {
                out.Text("v ");
                out.Point(p);
                out.Char('\n');
            }
            out.Char('l');
            for (size_t k = 0; k < strip.size(); ++k) {
                out.Char(' ');
                out.Number(written + 1 + k);
            }
            out.Char('\n');
            written += strip.size();
        }
        if (!object.points.empty()) {
            for (const trelFloatPoint& p : object.points) {
                out.Text("v ");
                out.Point(p);
                out.Char('\n');
            }
            out.Char('p');
            for (size_t k = 0; k < object.points.size(); ++k) {
                out.Char(' ');
                out.Number(written + 1 + k);
            }
            out.Char('\n');
            written += object.points.size();
        }
    }
    if (!out.Commit()) {
        std::error_code ignored;
        std::filesystem::remove(mtlPath, ignored);
        return "cannot write the file";
    }
    return std::string();
}
