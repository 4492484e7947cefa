#include "SceneWriter.h"

namespace vrml {

std::string WriteScene(SceneWriter& writer, const ExportScene& scene) {
    std::string failure = writer.Open(scene);
    if (!failure.empty())
        return failure;
    for (const ExportObject& object : scene.objects)
        writer.Add(object);
    return writer.Finish();
}

std::string WriteGltf(const ExportScene& scene, const std::string& path, bool binary) {
    return WriteScene(*MakeGltfWriter(path, binary), scene);
}

std::string WriteObj(const ExportScene& scene, const std::string& path) {
    return WriteScene(*MakeObjWriter(path), scene);
}

std::string WriteStl(const ExportScene& scene, const std::string& path) {
    return WriteScene(*MakeStlWriter(path), scene);
}

std::string WritePly(const ExportScene& scene, const std::string& path) {
    return WriteScene(*MakePlyWriter(path), scene);
}

} // namespace vrml
