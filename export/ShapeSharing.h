#pragma once
// Which objects an exporter may write as one geometry placed several times:
// the uses of a part the file repeats (GetSharedGeometry), and primitives
// without attributes that differ only in size and place (boxes, cones,
// cylinders, spheres, disks), each a unit primitive scaled and placed. Only placements made of
// a rotation, a positive scale and a move qualify: glTF requires nodes that
// decompose that way, and a mirrored or sheared use keeps its own geometry.

#include "host/geometry/Geometry.h"

#include <array>
#include <cstdint>
#include <memory>

namespace vrml {

struct ShapeUse {
    // Objects with equal keys have one shape; kind 0 means the object shares nothing.
    struct Key {
        int kind = 0;                          // a primitive type + 1, or -1 for a repeated part
        const void* part = nullptr;            // the repeated part's local geometry
        std::array<uint64_t, 10> parameters{}; // a primitive's shape beyond its size (bits)
        bool operator<(const Key& other) const;
    };
    Key key;
    std::shared_ptr<const trelBaseObject> local; // a repeated part's geometry; null for primitives
    trelMatrix4x4 placement;                     // from the shape's local space to the world
    bool IsShared() const { return key.kind != 0; }
};

ShapeUse FindShapeUse(const trelBaseObject& object);

// The object whose tessellation is the shape of `use` in its local space.
std::shared_ptr<const trelBaseObject> MakeShape(const ShapeUse& use);

// A rotation, a positive scale and a move, which glTF nodes can hold: the
// matrix is affine and finite, its first three rows orthogonal and of
// non-zero length, and it does not mirror.
bool IsRotationScaleMove(const trelMatrix4x4& m);

} // namespace vrml
