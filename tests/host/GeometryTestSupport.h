#pragma once
// Measurements of a tessellation that tests compare with geometry worked out
// by hand: area, extent, and whether normals and windings are sound.

#include "host/geometry/Geometry.h"

#include <cmath>
#include <cstdint>

namespace geometry_test {

constexpr double kPi = 3.14159265358979323846;

struct Facts {
    size_t triangles = 0;
    double area = 0.0;
    trelBBox box;                      // of the triangle vertices
    trelBBox covered;                  // of everything drawn: triangles, lines and points
    bool finite = true;                // no NaN or infinity anywhere
    bool unitNormals = true;           // every vertex normal of length 1
    bool windingFollowsNormals = true; // counter-clockwise around the vertex normals
    double worstNormalAgreement = 1.0; // smallest cosine between a vertex normal and its face
};

inline double Dot(const trelVector& a, const trelVector& b) { return DotProduct(a, b); }

inline trelVector FaceNormal(const trelTessellation& t, size_t k) {
    const trelFloatPoint* p = &t.triangleVertices[3 * k];
    return CrossProduct(trelVector(p[0], p[1]), trelVector(p[0], p[2]));
}

inline Facts Examine(const trelTessellation& t) {
    Facts facts;
    facts.triangles = t.GetTriangleCount();
    for (size_t k = 0; k < facts.triangles; ++k) {
        trelVector face = FaceNormal(t, k);
        facts.area += face.Length() / 2.0;
        face.Normalize();
        for (size_t i = 3 * k; i < 3 * k + 3; ++i) {
            const trelFloatPoint& p = t.triangleVertices[i];
            const trelVector& n = t.triangleNormals[i];
            facts.box.AddPoint(p);
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) || !std::isfinite(n.x) ||
                !std::isfinite(n.y) || !std::isfinite(n.z))
                facts.finite = false;
            if (std::fabs(n.Length() - 1.0) > 1e-5)
                facts.unitNormals = false;
            const double agreement = Dot(face, n);
            if (agreement <= 0.0)
                facts.windingFollowsNormals = false;
            facts.worstNormalAgreement = std::fmin(facts.worstNormalAgreement, agreement);
        }
    }
    facts.covered = facts.box;
    for (const auto& strip : t.lineStrips)
        for (const trelFloatPoint& p : strip)
            facts.covered.AddPoint(p);
    for (const trelFloatPoint& p : t.points)
        facts.covered.AddPoint(p);
    return facts;
}

// Objects and groups alike.
template <class Tessellatable>
trelTessellation Tessellated(const Tessellatable& object, int segments = 32) {
    trelTessellation t;
    trelTessellationOptions options;
    options.segments = segments;
    object.Tessellate(t, options);
    return t;
}

// A seeded generator of scrambled faces: points with duplicates and collinear
// runs, and a merged list of faces of random sizes with often invalid indices.
class ScrambledFaces {
public:
    explicit ScrambledFaces(uint32_t seed) : state(seed) {}
    int Next(int range) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<uint32_t>(range));
    }
    void Make(trelFloatPointArray& points, trelIntArray& merged) {
        const int count = Next(12);
        for (int i = 0; i < count; ++i)
            points.Append({static_cast<float>(Next(4)), static_cast<float>(Next(3)), static_cast<float>(Next(2))});
        const int length = Next(40);
        for (int i = 0; i < length; ++i)
            merged.Append(Next(4) == 0 ? Next(9) - 2 : Next(count + 4) - 2);
    }

private:
    uint32_t state;
};

} // namespace geometry_test
