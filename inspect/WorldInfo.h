#pragma once
// Figures about a loaded world for `vrml info`.

#include "host/geometry/Geometry.h"

#include <map>
#include <ostream>
#include <string>

namespace vrml {

struct WorldSummary {
    int groups = 0; // below the world
    int objects = 0;
    std::map<std::string, int> objectsByType;
    size_t triangles = 0;
    trelBBox bbox;
};

// Objects are counted and bounded on `threads` threads at once; the summary
// is the same for any number.
WorldSummary SummarizeWorld(const C3DWorld& world, const trelTessellationOptions& options, int threads = 1);
void WriteSummary(std::ostream& out, const WorldSummary& summary);

// The group tree for `vrml info --tree`: one line per group, parents first
// and indented by depth, with the group's name, its own objects by type and
// their triangles, and for a group with subgroups the totals of its subtree.
void WriteGroupTree(std::ostream& out, const C3DWorld& world, const trelTessellationOptions& options);

} // namespace vrml
