#pragma once
// Internal: vertex normals computed under a crease angle. Not part of the
// library's interface.

#include "GeometryDetail.h"

#include <vector>

namespace trelDetail {

// The corners of an object's faces: for each corner the point it stands on
// (a number below the object's point count), its face, and the angle the
// face has there.
struct FaceCorners {
    std::vector<int> point;
    std::vector<int> face;
    std::vector<double> angle;
    void Clear();
    void Add(int cornerPoint, int cornerFace, double cornerAngle);
};

// The angle (0..pi) at `at` between the edges to `before` and `after`; 0 when
// an edge has no length.
double CornerAngle(const Vec3& before, const Vec3& at, const Vec3& after);

// Gives each corner the normalised sum of the normals of the faces around
// its point whose normal is within `creaseAngle` of its own face's, each
// weighted by the angle that face has at the point, so that the result does
// not depend on how finely a surface was cut into faces. `faceNormals` are
// of unit length (zero for a face without area). An angle of 0 or less
// leaves every corner with its face's normal. A point shared by more than
// kMaxSmoothedCorners corners (the hub of a fan) keeps its corners faceted
// unless the angle reaches pi: the pairwise test costs the square of their
// number.
constexpr int kMaxSmoothedCorners = 256;
void CreaseNormals(const FaceCorners& corners, const std::vector<Vec3>& faceNormals, size_t pointCount,
                   double creaseAngle, std::vector<Vec3>& cornerNormals);

} // namespace trelDetail
