#pragma once
// Where exported coordinates go: the file's numbers times a scale (KiCad's
// 0.1 inch to metres, say), and for a file drawn with Z up, its axes turned
// so that Y is up, as VRML, glTF and most viewers expect.

#include "host/geometry/Geometry.h"

namespace vrml {

// One unit of a KiCad model is 0.1 inch.
constexpr double KicadUnitInMetres = 0.00254; // 2.54 mm

struct OutputFrame {
    double scale = 1.0;
    // The file's up axis is Z: (x, y, z) becomes (x, z, -y), a rotation, so
    // normals and the order of corners keep their meaning.
    bool zUp = false;

    bool IsIdentity() const { return scale == 1.0 && !zUp; }

    trelFloatPoint Point(const trelFloatPoint& p) const {
        // A scale of 1 gives every finite float back as it is.
        const trelFloatPoint s = scale == 1.0
                                     ? p
                                     : trelFloatPoint(static_cast<float>(p.x * scale), static_cast<float>(p.y * scale),
                                                      static_cast<float>(p.z * scale));
        return zUp ? trelFloatPoint(s.x, s.z, -s.y) : s;
    }
    trelVector Direction(const trelVector& v) const { return zUp ? trelVector(v.x, v.z, -v.y) : v; }
    // The same as a matrix applied after `placement` (points are rows).
    trelMatrix4x4 After(const trelMatrix4x4& placement) const;
    // The box of a box's corners in this frame.
    trelBBox Box(const trelBBox& box) const;
};

} // namespace vrml
