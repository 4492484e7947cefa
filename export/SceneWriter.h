#pragma once
// Writers of the export formats. Each takes the shared export form of the
// world and a path, and returns an empty string on success or the reason it
// failed (the partial output is removed).

#include "ExportScene.h"

#include <memory>
#include <string>

namespace vrml {

// A format written object by object, as StreamExportScene hands them over:
// Open once the scene holds its groups, materials and shapes; Add for each
// of the scene's objects in the scene's order (the object lives only for
// the call: a writer copies what it needs later); then Finish. Only what
// the format must hold back is kept until Finish (glTF's JSON and buffer,
// the counts of a header), never an object's geometry.
class SceneWriter {
public:
    virtual ~SceneWriter() = default;
    virtual std::string Open(const ExportScene& scene) = 0;
    virtual void Add(const ExportObject& object) = 0;
    // An empty string on success, else the reason (and nothing is left behind).
    virtual std::string Finish() = 0;
};

// glTF 2.0: `binary` writes one .glb; otherwise one .gltf with its buffer
// embedded as a data URI, so that the file stands alone.
std::unique_ptr<SceneWriter> MakeGltfWriter(const std::string& path, bool binary);
// Wavefront OBJ, with its materials in a .mtl file of the same name beside it.
std::unique_ptr<SceneWriter> MakeObjWriter(const std::string& path);
// Binary STL: triangles only.
std::unique_ptr<SceneWriter> MakeStlWriter(const std::string& path);
// Binary little-endian PLY with per-vertex colours.
std::unique_ptr<SceneWriter> MakePlyWriter(const std::string& path);

// A scene already built, written whole.
std::string WriteScene(SceneWriter& writer, const ExportScene& scene);
std::string WriteGltf(const ExportScene& scene, const std::string& path, bool binary);
std::string WriteObj(const ExportScene& scene, const std::string& path);
std::string WriteStl(const ExportScene& scene, const std::string& path);
std::string WritePly(const ExportScene& scene, const std::string& path);

} // namespace vrml
