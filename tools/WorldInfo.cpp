#include "WorldInfo.h"

#include "WorldWalk.h"

#include <cstdio>

WorldSummary SummarizeWorld(const C3DWorld& world, const trelTessellationOptions& options) {
    WorldSummary summary;
    WalkGroups(world, [&](const trelBaseGroup& group, int depth) {
        if (depth > 0)
            ++summary.groups;
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            const trelBaseObject& object = *group.GetObject(i);
            ++summary.objects;
            ++summary.objectsByType[ObjectTypeName(object.GetObjectType())];
            trelTessellation mesh; // one object at a time: big worlds stay small in memory
            object.Tessellate(mesh, options);
            summary.triangles += mesh.GetTriangleCount();
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
