#pragma once
// Geometry shaded flat, each triangle by its own face's normal, as VRML
// shades a face set or elevation grid without a crease angle. A glTF viewer
// computes exactly those normals for a primitive that has none, so such
// geometry needs no normals, and vertices that differed only by their
// normals become one: a faceted terrain keeps a sixth of its vertices.

#include "ExportScene.h"

#include <cstdint>
#include <vector>

namespace vrml {

struct FacetedMesh {
    std::vector<trelFloatPoint> positions; // each distinct position once, in order of first use
    std::vector<uint32_t> triangles;       // three indices into positions per triangle
};

// True, with `out` filled, when every triangle's normals are its face's own
// (within a hundredth of a degree, well under what float positions tell);
// false, and `out` left empty, as soon as one is not.
bool MakeFacetedMesh(const ExportGeometry& geometry, FacetedMesh& out);

} // namespace vrml
