#pragma once
// A placement made of a rotation, a positive scale and a move (see
// IsRotationScaleMove in ShapeSharing.h) as the translation, rotation
// quaternion and scale that glTF nodes and GPU instances hold.

#include "host/geometry/Matrix.h"

#include <array>

namespace vrml {

struct TrsPlacement {
    std::array<double, 3> translation{};
    std::array<double, 4> rotation{0.0, 0.0, 0.0, 1.0}; // unit quaternion x, y, z, w
    std::array<double, 3> scale{1.0, 1.0, 1.0};
};

// The scale is the length of each row; the rotation is that of the rows
// made unit length, which for float data are orthogonal up to rounding.
TrsPlacement DecomposePlacement(const trelMatrix4x4& m);

} // namespace vrml
