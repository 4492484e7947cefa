#pragma once
// Internal: filling of planar outlines by ear clipping. Not part of the
// library's interface.

#include "GeometryDetail.h"

#include <array>
#include <vector>

namespace trelDetail {

// Twice the vector area of a closed outline (Newell's normal): its direction
// is the outline's best-fit plane normal, oriented so that the outline runs
// counter-clockwise around it.
Vec3 NewellNormal(const std::vector<Vec3>& outline);

// 2 when every corner of the quad turns the same way by a margin that
// rounding cannot eat, so that filling it certainly gives two triangles; 0
// when that is not sure (flat, folded, doubled or non-finite corners, or a
// size too small or too large for the margin to hold): the caller then
// counts it the long way. The common case of a mesh, taken without the
// ear clipping.
int ClearlyConvexQuadCount(const Vec3 (&quad)[4]);

// Keeps its working buffers between calls, so filling the many small faces
// of one polyface does not allocate per face.
class OutlineTriangulator {
public:
    // Appends triangles covering the closed outline (the first point is not
    // repeated at the end; if it is, the repeat is ignored), all with the
    // outline's unit normal and wound around it. Concave outlines are
    // handled; repeated, collinear and non-finite points are passed over;
    // an outline without area gives nothing. Returns the triangles appended.
    int Fill(const std::vector<Vec3>& outline, trelTessellation& out);
    // As Fill; an outline without area is drawn as its closed outline (or a
    // point), so that no part of an object vanishes from its tessellation
    // and the tessellation covers the object's bounding box.
    int FillOrTrace(const std::vector<Vec3>& outline, trelTessellation& out);
    // As Fill, but reports each triangle as the positions of its three
    // corners in `outline` instead of writing it, so that what a caller holds
    // per corner can follow the corners. Triangles are wound around
    // GetNormal(); one may lack area. `triangles` is cleared first.
    int FillCorners(const std::vector<Vec3>& outline, std::vector<std::array<int, 3>>& triangles);
    // What FillOrTrace would append, counted into `counts` without writing it.
    void CountOrTrace(const std::vector<Vec3>& outline, trelTessellationCounts& counts);
    // The unit normal of the last outline that gave triangles.
    const Vec3& GetNormal() const { return normal; }

private:
    // Where the triangles go: written to the tessellation, reported as
    // corner triples, or only counted.
    enum class Output { Tessellation, Corners, Count };
    template <Output kOutput>
    int Triangulate(const std::vector<Vec3>& outline);
    double Area(int a, int b, int c) const; // twice the signed area in the plane
    bool IsReflex(int i) const { return Area(prev[i], i, next[i]) <= epsilon; }
    bool IsEar(int a, int b, int c) const;
    bool SamePlace(int i, int j) const { return u[i] == u[j] && v[i] == v[j]; }
    void Unlink(int i);
    // Drops corners without area (straight, doubled back, doubled) starting
    // from `from`, and the ones that become so in turn.
    void Prune(int from);
    int Live(int i) const;
    template <Output kOutput>
    void Clip(int a, int b, int c);
    // The last three corners: clipped in the order that faces the normal,
    // unless they have no area.
    template <Output kOutput>
    void Close(int a, int b, int c);
    // Sets u, v and epsilon for the points and their normal.
    void LayIntoPlane();

    std::vector<Vec3> points;
    std::vector<int> source; // each point's position in the outline
    trelTessellation* output = nullptr;
    std::vector<std::array<int, 3>>* cornerOutput = nullptr;
    std::vector<double> u, v;
    std::vector<int> prev, next;
    std::vector<char> reflex, gone;
    std::vector<int> toCheck;
    int reflexCount = 0;
    int remaining = 0;
    double epsilon = 0.0;
    Vec3 normal;
    int emitted = 0;
};

} // namespace trelDetail
