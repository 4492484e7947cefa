#include "WorldWalk.h"

#include <utility>
#include <vector>

namespace vrml {

void WalkGroups(const trelBaseGroup& root, const std::function<void(const trelBaseGroup&, int)>& visit) {
    std::vector<std::pair<const trelBaseGroup*, int>> pending{{&root, 0}};
    while (!pending.empty()) {
        auto [group, depth] = pending.back();
        pending.pop_back();
        visit(*group, depth);
        for (int i = group->GetNumGroups() - 1; i >= 0; --i)
            pending.emplace_back(group->GetGroup(i), depth + 1);
    }
}

const char* ObjectTypeName(trelObjectTypes type) {
    switch (type) {
    case TREL_BOX: return "box";
    case TREL_CONE: return "cone";
    case TREL_CYLINDER: return "cylinder";
    case TREL_SPHERE: return "sphere";
    case TREL_DISK: return "disk";
    case TREL_DOT: return "dot";
    case TREL_POLYLINE: return "polyline";
    case TREL_POLYGON: return "polygon";
    case TREL_POLYFACE: return "polyface";
    case TREL_POLYMESH: return "polymesh";
    case TREL_TRIANGLE_STRIPS: return "triangleStrips";
    }
    return "unknown";
}

} // namespace vrml
