#pragma once
// Loading a file for a command: the world, the parser's results, the time it
// took, and a one-line reason when the file could not be loaded at all.

#include "Progress.h"
#include "host/geometry/Geometry.h"

#include <memory>
#include <string>

namespace vrml {

struct LoadedScene {
    std::unique_ptr<C3DWorld> world = std::make_unique<C3DWorld>();
    int result = 1;
    int version = 0;
    int imageUnits = 4;
    double seconds = 0.0;
    std::string failure; // empty unless the file could not be opened or was refused
};

// What every command lets the user choose about loading.
struct LoadSettings {
    std::string includeRoot; // --include-root: files the scene names must lie inside it
    bool standard = false;   // --standard: load by the VRML standards' semantics
    bool text = false;       // --text: build text also by the loader's own semantics
    // Map the file into memory rather than read it (C3DFileInterface::
    // SetMapFiles): for programs that guard against a file cut short meanwhile.
    bool mapFile = false;
};

// Loads `path` ("-": standard input); `progress`, when given, follows the
// "loading" stage.
LoadedScene LoadScene(const std::string& path, const LoadSettings& settings = {},
                      const ProgressCallback& progress = {});

} // namespace vrml
