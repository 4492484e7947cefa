#pragma once
// Writers of the export formats. Each takes the shared export form of the
// world and a path, and returns an empty string on success or the reason it
// failed (the partial output is removed).

#include "ExportScene.h"

#include <string>

// glTF 2.0: `binary` writes one .glb; otherwise one .gltf with its buffer
// embedded as a data URI, so that the file stands alone.
std::string WriteGltf(const ExportScene& scene, const std::string& path, bool binary);
// Wavefront OBJ, with its materials in a .mtl file of the same name beside it.
std::string WriteObj(const ExportScene& scene, const std::string& path);
// Binary STL: triangles only.
std::string WriteStl(const ExportScene& scene, const std::string& path);
// Binary little-endian PLY with per-vertex colours.
std::string WritePly(const ExportScene& scene, const std::string& path);
