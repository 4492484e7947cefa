#include "Tessellation.h"

trelTessellationCounts& trelTessellationCounts::operator+=(const trelTessellationCounts& other) {
    triangles += other.triangles;
    lineStrips += other.lineStrips;
    linePoints += other.linePoints;
    points += other.points;
    return *this;
}

bool trelTessellationCounts::operator==(const trelTessellationCounts& other) const {
    return triangles == other.triangles && lineStrips == other.lineStrips && linePoints == other.linePoints &&
           points == other.points;
}

void trelTessellation::Clear() {
    triangleVertices.clear();
    triangleNormals.clear();
    lineStrips.clear();
    points.clear();
    triangleColors.clear();
    triangleTexCoords.clear();
    lineColors.clear();
    pointColors.clear();
}

trelTessellationCounts trelTessellation::GetCounts() const {
    trelTessellationCounts counts;
    counts.triangles = GetTriangleCount();
    counts.lineStrips = lineStrips.size();
    for (const std::vector<trelFloatPoint>& strip : lineStrips)
        counts.linePoints += strip.size();
    counts.points = points.size();
    return counts;
}
