#pragma once
// When a face set placed by a matrix counts as many triangles as in its own
// coordinates, so that the thousands of uses of one part need not each
// triangulate their faces again just to be counted.
//
// Every decision the triangulator makes on a face compares the signed area
// of three of its corners, laid into the face's plane, with zero (or with a
// threshold far below float precision). A similarity (rotation, mirroring,
// uniform scale, translation) keeps the sign of every such area, the face's
// plane included, non-planar faces too. A placement is then safe when it is
// a similarity up to a small deviation and when the float rounding of the
// placed points, with that deviation, moves no area of three corners by more
// than a fraction of the smallest one: every decision, and so the count, is
// the same as in the face set's own coordinates. The bound below is
// deliberately loose (a factor of 16 over a worst-case estimate); a face set
// or placement that does not clearly meet it is counted point by point.

#include "GeometryDetail.h"
#include "Tessellation.h"

#include <cmath>
#include <vector>

namespace trelDetail {

class PlacedCount {
public:
    // Takes the faces one by one, each as the triangulator receives it.
    void AddFace(const std::vector<Vec3>& outline);
    // The counts of the faces in their own coordinates.
    void SetCounts(const trelTessellationCounts& counts) { local = counts; }
    const trelTessellationCounts& Counts() const { return local; }
    // Whether the faces placed by `m` (points rounded to float once, after
    // the product) count exactly as they do in their own coordinates.
    bool Holds(const trelMatrix4x4& m) const;

private:
    trelTessellationCounts local;
    bool shareable = true;
    // Over every face: the smallest allowed deviation from a similarity, and
    // what the rounding of points far from the origin (relative to the
    // face's size) and of the translation may take of the margin.
    double smallestMargin = 1.0;
    double pointRounding = 0.0, translationRounding = 0.0;
    // The farthest point from the origin, and the smallest face's size.
    double largestReach = 0.0, smallestRadius = HUGE_VAL;
};

} // namespace trelDetail
