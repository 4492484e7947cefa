#include "Formats.h"

#include <cctype>

namespace vrml {

namespace {

std::unique_ptr<SceneWriter> MakeGlbWriter(const std::string& path) { return MakeGltfWriter(path, true); }
std::unique_ptr<SceneWriter> MakeGltfTextWriter(const std::string& path) { return MakeGltfWriter(path, false); }

} // namespace

const std::vector<ExportFormatInfo>& ExportFormats() {
    // glTF is in metres by definition, which is the file's own unit, and
    // places shared geometry per use; the other formats have no instancing
    // and write every object in world space.
    static const std::vector<ExportFormatInfo> formats = {
        {ExportFormat::Glb, "glb",
         "glTF 2.0 in one binary file: materials, colours, normals, textures, lines, points; shared parts once", true,
         true, MakeGlbWriter},
        {ExportFormat::Gltf, "gltf", "glTF 2.0 as JSON, its buffer and textures embedded: the same content as glb",
         true, true, MakeGltfTextWriter},
        {ExportFormat::Obj, "obj",
         "Wavefront OBJ with its materials in a .mtl file and textures as images beside it; lines and points", false,
         false, MakeObjWriter},
        {ExportFormat::Stl, "stl", "binary STL: triangles only", false, false, MakeStlWriter},
        {ExportFormat::Ply, "ply", "binary PLY: faces, edges and vertices with per-vertex colours", false, false,
         MakePlyWriter},
    };
    return formats;
}

const ExportFormatInfo& InfoOf(ExportFormat format) {
    for (const ExportFormatInfo& info : ExportFormats())
        if (info.format == format)
            return info;
    return ExportFormats().front(); // every enumerator is in the table
}

const ExportFormatInfo* FindExportFormat(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!name.empty() && name[0] == '.')
        name.erase(0, 1);
    for (const ExportFormatInfo& info : ExportFormats())
        if (name == info.name)
            return &info;
    return nullptr;
}

bool ParseExportFormat(const std::string& name, ExportFormat& format) {
    const ExportFormatInfo* info = FindExportFormat(name);
    if (info)
        format = info->format;
    return info != nullptr;
}

std::string FormatExtension(ExportFormat format) { return std::string(".") + InfoOf(format).name; }

std::string ExportFormatNames(bool dots) {
    const std::vector<ExportFormatInfo>& formats = ExportFormats();
    std::string names;
    for (size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            names += i + 1 < formats.size() ? ", " : " or ";
        if (dots)
            names += '.';
        names += formats[i].name;
    }
    return names;
}

} // namespace vrml
