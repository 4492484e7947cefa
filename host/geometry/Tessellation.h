#pragma once
// What an object turns into for display or export, in world space.

#include "Attributes.h"
#include "Color.h"
#include "Vectors.h"

#include <vector>

struct trelTessellationOptions {
    int segments = 32; // divisions of a full turn for disks, cones, cylinders and spheres (3 to 4096)
    // Also write what the objects' attributes say: colours, texture
    // coordinates, given or smoothed normals, the file's winding. Off, every
    // object is shaded flat in its material, as the loader's results are read.
    bool attributes = false;
};

// How much a tessellation holds: what an object's CountTessellation tells
// without building it, and what its Tessellate then writes.
struct trelTessellationCounts {
    size_t triangles = 0;
    size_t lineStrips = 0;
    size_t linePoints = 0; // of all line strips together
    size_t points = 0;
    trelTessellationCounts& operator+=(const trelTessellationCounts& other);
    bool operator==(const trelTessellationCounts& other) const;
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

    // Filled only when the options ask for attributes, then one entry for
    // every triangle vertex, line point and point above: an object without
    // colours writes white, one without texture coordinates (0, 0).
    std::vector<trelChroma> triangleColors;
    std::vector<trelTexCoord> triangleTexCoords;
    std::vector<std::vector<trelChroma>> lineColors;
    std::vector<trelChroma> pointColors;

    size_t GetTriangleCount() const { return triangleVertices.size() / 3; }
    trelTessellationCounts GetCounts() const;
    // Empties it, keeping its buffers for the next object.
    void Clear();
};

// Receives an object's tessellation piece by piece (see
// trelBaseObject::TessellateInParts), so that a caller that uses it as it
// comes never holds a large object's whole tessellation.
class trelTessellationSink {
public:
    virtual ~trelTessellationSink() = default;
    // Called once before the first part when the object can tell at no cost
    // how many triangles it may write at most.
    virtual void Expect(size_t mostTriangles) { (void)mostTriangles; }
    // The next part. The sink may take its contents (by swapping in buffers
    // of its own, which are then cleared and reused for the next part).
    virtual void Take(trelTessellation& part) = 0;
};
