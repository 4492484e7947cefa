#include "LoadReport.h"

#include "parser/VRMLParser.h"
#include "parser/ValueGuard.h"

#include <chrono>
#include <filesystem>

namespace vrml {

namespace {
const char* const NotVrml = "not a VRML 1.0 or 2.0 file (the first line must begin with \"#VRML V1.0 ascii\" or "
                            "\"#VRML V2.0 utf8\")";

// Parse gives the same result for a refused header as for a file in which no
// statement could be read; opening the file once more tells the two apart.
// Standard input cannot be read twice: there the parser's own reason serves.
std::string ExplainFailure(const std::string& path, int result, CVRMLParser& parser) {
    if (path == CGenericParser::StandardInputName) {
        switch (parser.GetOpenResult()) {
        case VRML_LOAD_SUCCESS: return std::string();
        case VRML_LOAD_FAILURE: return NotVrml;
        default: return parser.GetReadError().empty() ? "cannot be read" : "cannot be read: " + parser.GetReadError();
        }
    }
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return "no such file";
    if (std::filesystem::is_directory(path, error))
        return "is a directory";
    if (!std::filesystem::is_regular_file(path, error))
        return "not a regular file";
    CVRMLIOManager probe;
    probe.SetFilename(path);
    probe.SetStandardSemantics(parser.GetStandardSemantics());
    int opened = probe.OpenFile();
    probe.CloseFile();
    if (opened == VRML_LOAD_UNREADABLE || (result == VRML_LOAD_UNREADABLE && opened != VRML_LOAD_SUCCESS)) {
        const std::string& why = probe.GetFileInterface().GetReadError();
        return why.empty() ? "cannot be read" : "cannot be read: " + why;
    }
    if (opened == VRML_LOAD_FAILURE)
        return NotVrml;
    return std::string();
}

// The loader's callback carries no context: the callback of the load
// running on this thread is found here.
thread_local const ProgressCallback* currentProgress = nullptr;

void ReportLoading(int percent) {
    if (currentProgress)
        (*currentProgress)("loading", percent);
}

} // namespace

LoadedScene LoadScene(const std::string& path, const LoadSettings& settings, const ProgressCallback& progress) {
    LoadedScene scene;
    CVRMLParser parser;
    parser.SetIncludeRoot(settings.includeRoot);
    parser.SetStandardSemantics(settings.standard ? 1 : 0);
    // The parser goes with this load, so a name only its own file's text uses
    // is all it needs to keep; under the standards each file's names are its
    // own, so no other file may use them either.
    parser.SetKeepUnusedNames(settings.standard ? 0 : 1);
    parser.SetBuildText(settings.text ? 1 : 0);
    parser.SetMapFiles(settings.mapFile ? 1 : 0);
    if (progress)
        parser.SetLoaderPtr(&ReportLoading);
    auto start = std::chrono::steady_clock::now();
    {
        // A callback may start a load of its own: the outer one is put back.
        ValueGuard<const ProgressCallback*> reporting(currentProgress, progress ? &progress : nullptr);
        scene.result = parser.Parse(scene.world.get(), path);
    }
    scene.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    scene.version = parser.GetVersion();
    scene.imageUnits = parser.GetImageUnits();
    if (scene.result != VRML_LOAD_SUCCESS)
        scene.failure = ExplainFailure(path, scene.result, parser);
    return scene;
}

} // namespace vrml
