#pragma once
// The generated scenes as files. They are written before their first
// benchmark into a temporary folder removed at exit. VRML_BENCH_DIR=folder
// writes them there and keeps them for later runs (delete it after changing
// a generator or the scale); VRML_BENCH_SCALE=0.1 makes every scene ten
// times smaller.

#include "Scenes.h"

#include <cstdint>
#include <string>

struct SceneFile {
    std::string path;
    uint64_t size = 0;
    bool warm = false; // parsed once, untimed, before its first timing
};

// A scene at a nominal size (10 or 100 MB at scale 1), written the first
// time it is asked for.
SceneFile& Scene(const SceneKind& kind, int megabytes);

// A folder for files a benchmark writes, inside the scene folder.
std::string ScratchFolder(const std::string& name);
