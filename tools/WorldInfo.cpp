#include "WorldInfo.h"

#include "WorldWalk.h"

#include <algorithm>
#include <cstdio>
#include <vector>

WorldSummary SummarizeWorld(const C3DWorld& world, const trelTessellationOptions& options) {
    WorldSummary summary;
    WalkGroups(world, [&](const trelBaseGroup& group, int depth) {
        if (depth > 0)
            ++summary.groups;
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            const trelBaseObject& object = *group.GetObject(i);
            ++summary.objects;
            ++summary.objectsByType[ObjectTypeName(object.GetObjectType())];
            summary.triangles += object.CountTessellation(options).triangles;
            summary.bbox.AddBox(object.GetBBox());
        }
    });
    return summary;
}

void WriteSummary(std::ostream& out, const WorldSummary& summary) {
    out << "groups:       " << summary.groups << '\n';
    out << "objects:      " << summary.objects;
    const char* separator = " (";
    for (const auto& [type, count] : summary.objectsByType) {
        out << separator << type << ' ' << count;
        separator = ", ";
    }
    out << (summary.objectsByType.empty() ? "" : ")") << '\n';
    out << "triangles:    " << summary.triangles << '\n';
    if (summary.bbox.IsEmpty()) {
        out << "bounding box: empty\n";
    } else {
        char text[160];
        const trelFloatPoint& lo = summary.bbox.GetMin();
        const trelFloatPoint& hi = summary.bbox.GetMax();
        std::snprintf(text, sizeof text, "bounding box: (%g, %g, %g) to (%g, %g, %g)\n", lo.x, lo.y, lo.z, hi.x, hi.y,
                      hi.z);
        out << text;
    }
}

namespace {

struct TreeLine {
    const trelBaseGroup* group;
    int depth;
    int parent;
    std::map<std::string, int> objectsByType;
    int objects = 0;
    size_t triangles = 0;
    int subtreeObjects = 0;
    size_t subtreeTriangles = 0;
};

// Indentation stops growing at this depth: files nest groups thousands deep,
// and lines that grow with the depth would make the output quadratic.
constexpr int MaxIndentDepth = 32;

} // namespace

void WriteGroupTree(std::ostream& out, const C3DWorld& world, const trelTessellationOptions& options) {
    std::vector<TreeLine> lines;
    std::vector<int> latestAtDepth;
    WalkGroups(world, [&](const trelBaseGroup& group, int depth) {
        TreeLine line{&group, depth, depth > 0 ? latestAtDepth[static_cast<size_t>(depth - 1)] : -1, {}};
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            const trelBaseObject& object = *group.GetObject(i);
            ++line.objects;
            ++line.objectsByType[ObjectTypeName(object.GetObjectType())];
            line.triangles += object.CountTessellation(options).triangles;
        }
        line.subtreeObjects = line.objects;
        line.subtreeTriangles = line.triangles;
        latestAtDepth.resize(static_cast<size_t>(depth) + 1);
        latestAtDepth[static_cast<size_t>(depth)] = static_cast<int>(lines.size());
        lines.push_back(std::move(line));
    });
    // Children come after their parents, so one backward pass adds up the subtrees.
    for (size_t i = lines.size(); i-- > 1;) {
        TreeLine& parent = lines[static_cast<size_t>(lines[i].parent)];
        parent.subtreeObjects += lines[i].subtreeObjects;
        parent.subtreeTriangles += lines[i].subtreeTriangles;
    }
    out << "tree:\n";
    for (const TreeLine& line : lines) {
        out << std::string(2 * static_cast<size_t>(std::min(line.depth, MaxIndentDepth) + 1), ' ');
        if (line.depth > MaxIndentDepth)
            out << "[depth " << line.depth << "] ";
        const std::string& name = line.group->GetGroupName().GetString();
        out << (line.depth == 0 ? "(world)" : name.empty() ? "(unnamed)" : name) << ": ";
        if (line.objects == 0) {
            out << "no objects";
        } else {
            out << line.objects << (line.objects == 1 ? " object (" : " objects (");
            const char* separator = "";
            for (const auto& [type, count] : line.objectsByType) {
                out << separator << type << ' ' << count;
                separator = ", ";
            }
            out << "), " << line.triangles << " triangles";
        }
        if (line.group->GetNumGroups() > 0)
            out << "; with subgroups " << line.subtreeObjects << " objects, " << line.subtreeTriangles << " triangles";
        out << '\n';
    }
}
