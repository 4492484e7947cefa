#pragma once
// The formats a world can be converted to, in one table: file extensions,
// help texts and error messages all come from it.

#include "SceneWriter.h"

#include <memory>
#include <string>
#include <vector>

namespace vrml {

enum class ExportFormat { Glb, Gltf, Obj, Stl, Ply };

struct ExportFormatInfo {
    ExportFormat format;
    const char* name;        // "glb": also the file extension, after its dot
    const char* description; // what the format keeps, in a line
    bool inMetres;           // always in metres (glTF), whatever units are asked for
    bool instancing;         // writes a shared geometry once and places it per use
    std::unique_ptr<SceneWriter> (*makeWriter)(const std::string& path);
};

// Every format, in the order help texts list them.
const std::vector<ExportFormatInfo>& ExportFormats();
const ExportFormatInfo& InfoOf(ExportFormat format);

// The format named by a file extension or a format name, without regard to
// case (".glb" or "glb"); null for anything else.
const ExportFormatInfo* FindExportFormat(std::string name);
bool ParseExportFormat(const std::string& name, ExportFormat& format);
std::string FormatExtension(ExportFormat format); // ".glb", ...

// The formats' names as a list for people: "glb, gltf, obj, stl or ply", or
// with `dots`, ".glb, .gltf, .obj, .stl or .ply".
std::string ExportFormatNames(bool dots = false);

} // namespace vrml
