#pragma once
// Figures about a loaded world for `vrml info`.

#include "host/geometry/Geometry.h"

#include <map>
#include <ostream>
#include <string>

struct WorldSummary {
    int groups = 0; // below the world
    int objects = 0;
    std::map<std::string, int> objectsByType;
    size_t triangles = 0;
    trelBBox bbox;
};

WorldSummary SummarizeWorld(const C3DWorld& world, const trelTessellationOptions& options);
void WriteSummary(std::ostream& out, const WorldSummary& summary);
