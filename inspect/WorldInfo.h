#pragma once
// Figures about a loaded world for `vrml info`.

#include "LoadReport.h"
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

// Whether the groups' boxes (trelBaseGroup::GetBBox) are those of the objects
// below them as they are now, as a successful load leaves them.
enum class GroupBoxes { Unknown, Current };

// Objects are counted and bounded on `threads` threads at once; the summary
// is the same for any number. With GroupBoxes::Current the world's box is
// taken from the groups' where that gives the same bits, and the objects
// are then only counted.
WorldSummary SummarizeWorld(const C3DWorld& world, const trelTessellationOptions& options, int threads = 1,
                            GroupBoxes boxes = GroupBoxes::Unknown);
void WriteSummary(std::ostream& out, const WorldSummary& summary);

// The names `vrml info` gives a loaded file's version ("VRML 2.0"), load
// result ("loaded") and units ("not scaled (metres)").
const char* VersionName(int version);
const char* ResultName(int result);
const char* UnitsName(int imageUnits);

// What `vrml info` prints without --tree: the file as `path` names it, its
// version, load result and units, the summary and the load time.
void WriteInfo(std::ostream& out, const std::string& path, const LoadedScene& scene, const WorldSummary& summary);

// The group tree for `vrml info --tree`: one line per group, parents first
// and indented by depth, with the group's name, its own objects by type and
// their triangles, and for a group with subgroups the totals of its subtree.
void WriteGroupTree(std::ostream& out, const C3DWorld& world, const trelTessellationOptions& options);

} // namespace vrml
