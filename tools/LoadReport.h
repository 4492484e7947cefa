#pragma once
// Loading a file for a command: the world, the parser's results, the time it
// took, and a one-line reason when the file could not be loaded at all.

#include "host/geometry/Geometry.h"

#include <memory>
#include <string>

struct LoadedScene {
    std::unique_ptr<C3DWorld> world = std::make_unique<C3DWorld>();
    int result = 1;
    int version = 0;
    int imageUnits = 4;
    double seconds = 0.0;
    std::string failure; // empty unless the file could not be opened or was refused
};

// Loads `path`, with a progress bar on stderr when `progress` is set, by the
// VRML standards' semantics when `standard` is set.
LoadedScene LoadScene(const std::string& path, bool progress, bool standard = false);
