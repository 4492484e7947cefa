#include "LoadReport.h"

#include "Progress.h"
#include "parser/VRMLParser.h"

#include <chrono>
#include <filesystem>

namespace {
// Parse gives the same result for a refused header as for a file in which no
// statement could be read; opening the file once more tells the two apart.
std::string ExplainFailure(const std::string& path, int result, bool standard) {
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return "no such file";
    if (std::filesystem::is_directory(path, error))
        return "is a directory";
    CVRMLIOManager probe;
    probe.SetFilename(path);
    probe.SetStandardSemantics(standard ? 1 : 0);
    int opened = probe.OpenFile();
    probe.CloseFile();
    if (opened == VRML_LOAD_UNREADABLE || (result == VRML_LOAD_UNREADABLE && opened != VRML_LOAD_SUCCESS)) {
        const std::string& why = probe.GetFileInterface().GetReadError();
        return why.empty() ? "cannot be read" : "cannot be read: " + why;
    }
    if (opened == VRML_LOAD_FAILURE)
        return "not a VRML 1.0 or 2.0 file (the first line must begin with \"#VRML V1.0 ascii\" or "
               "\"#VRML V2.0 utf8\")";
    return std::string();
}
} // namespace

LoadedScene LoadScene(const std::string& path, bool progress, bool standard) {
    LoadedScene scene;
    CVRMLParser parser;
    parser.SetStandardSemantics(standard ? 1 : 0);
    ProgressBar bar("loading", progress);
    if (progress)
        parser.SetLoaderPtr(&ProgressBar::Report);
    auto start = std::chrono::steady_clock::now();
    scene.result = parser.Parse(scene.world.get(), path);
    scene.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bar.Finish();
    scene.version = parser.GetVersion();
    scene.imageUnits = parser.GetImageUnits();
    if (scene.result != VRML_LOAD_SUCCESS)
        scene.failure = ExplainFailure(path, scene.result, standard);
    return scene;
}
