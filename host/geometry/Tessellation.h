#pragma once
// What an object turns into for display or export, in world space.

#include "Vectors.h"

#include <vector>

struct trelTessellationOptions {
    int segments = 32; // divisions of a full turn for disks, cones, cylinders and spheres (3 to 4096)
};

// Triangles are wound counter-clockwise around their normals, which are of
// unit length and point out of closed solids.
struct trelTessellation {
    // Triangles: three consecutive vertices each, with one normal per vertex.
    std::vector<trelFloatPoint> triangleVertices;
    std::vector<trelVector> triangleNormals;
    // Polylines, each an open strip of points (a closed one repeats its first point).
    std::vector<std::vector<trelFloatPoint>> lineStrips;
    std::vector<trelFloatPoint> points;

    size_t GetTriangleCount() const { return triangleVertices.size() / 3; }
};
