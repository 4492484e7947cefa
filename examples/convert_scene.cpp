// How a host converts a scene and draws it: load it with a reason for any
// failure, write it as glTF, and save a picture. The docs show this file,
// and the tests build it against the installed package.
#include "export/Convert.h"
#include "inspect/LoadReport.h"
#include "render/Render.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: convert_scene SCENE.wrl OUT.glb OUT.png\n");
        return 2;
    }
    vrml::LoadedScene scene = vrml::LoadScene(argv[1]);
    if (!scene.failure.empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], scene.failure.c_str());
        return 1;
    }

    vrml::ConvertSettings settings; // 32 segments per turn, one thread, the file's own units
    vrml::ConvertSummary summary;
    std::string failure = vrml::WriteWorldAs(*scene.world, scene.imageUnits, "scene", argv[2], vrml::ExportFormat::Glb,
                                             settings, summary);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    std::printf("%s: %zu objects, %zu triangles\n", argv[2], summary.objects, summary.triangles);

    vrml::RenderOptions picture; // 800x600, seen from a corner
    failure = vrml::WritePng(vrml::RenderWorld(*scene.world, picture).picture, argv[3]);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s: %s\n", argv[3], failure.c_str());
        return 1;
    }
    return scene.result;
}
