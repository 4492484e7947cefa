#include "SceneFiles.h"

#include <cstdlib>
#include <filesystem>
#include <map>

#ifdef __linux__
#include <unistd.h>
#endif

namespace {

double ScaleFromEnvironment() {
    const char* text = std::getenv("VRML_BENCH_SCALE");
    const double scale = text ? std::atof(text) : 1.0;
    return scale > 0.0 ? scale : 1.0;
}

// Where the scenes are written. A folder of our own is removed at exit.
class SceneFolder {
public:
    static SceneFolder& Get() {
        static SceneFolder folder;
        return folder;
    }
    ~SceneFolder() {
        if (owned) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
    bool KeepsScenes() const { return !owned; }

private:
    SceneFolder() {
        if (const char* kept = std::getenv("VRML_BENCH_DIR")) {
            path = kept;
        } else {
#ifdef __linux__
            const std::string unique = "vrml_parse_bench_" + std::to_string(getpid());
#else
            const std::string unique = "vrml_parse_bench";
#endif
            path = std::filesystem::temp_directory_path() / unique;
            owned = true;
        }
        std::filesystem::create_directories(path);
    }
    std::filesystem::path path;
    bool owned = false;
};

} // namespace

SceneFile& Scene(const SceneKind& kind, int megabytes) {
    static std::map<std::string, SceneFile> files;
    const std::string name = std::string(kind.name) + "_" + std::to_string(megabytes) + "MB.wrl";
    SceneFile& file = files[name];
    if (file.path.empty()) {
        file.path = SceneFolder::Get().File(name);
        if (!SceneFolder::Get().KeepsScenes() || !std::filesystem::exists(file.path)) {
            SceneWriter out(file.path);
            kind.write(out, megabytes / 10.0 * ScaleFromEnvironment());
        }
        file.size = std::filesystem::file_size(file.path);
    }
    return file;
}

std::string ScratchFolder(const std::string& name) {
    const std::string path = SceneFolder::Get().File(name);
    std::filesystem::create_directories(path);
    return path;
}
