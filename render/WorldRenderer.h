#pragma once
// A loaded world drawn into a picture, object by object: each object is
// tessellated, lit by a light on the camera, drawn, and its triangles
// dropped before the next, so that a render holds the picture, its depth
// buffer and one object's triangles.

#include "Rasterizer.h"
#include "RenderCamera.h"
#include "host/geometry/Geometry.h"
#include "inspect/Budget.h"

#include <cstddef>

namespace vrml {

struct RenderOptions {
    int width = 800, height = 600;
    RenderView view = RenderView::Iso;
    trelChroma background{0.91f, 0.93f, 0.96f, 1.0f};
    int segments = 32; // divisions of a full turn for curved solids
    // The most triangles drawn (0: no limit): they are counted first, and a
    // world over the budget is not drawn at all.
    size_t maxTriangles = DefaultMaxTriangles;
    // The most pixels the rasterizer may visit, in pictures' worth (0: no
    // limit). Every triangle visits the pixels of its bounds, drawn or
    // hidden, so a world of many objects over one another could take
    // minutes; past the budget the objects left are not drawn.
    int maxPixelWork = 256;
};

struct RenderResult {
    RenderedPicture picture;
    RenderCamera camera;
    // What was handed to the rasterizer (finite primitives only).
    size_t triangles = 0, lineSegments = 0, points = 0;
    bool IsEmpty() const { return triangles == 0 && lineSegments == 0 && points == 0; }
    // With a triangle budget: the world's triangles and the budget. Over it,
    // nothing was drawn.
    size_t countedTriangles = 0, maxTriangles = 0;
    bool IsOverBudget() const { return maxTriangles > 0 && countedTriangles > maxTriangles; }
    size_t objectsLeftOut = 0; // past the pixel budget
};

// The light comes from the camera, from a little above and to the left of
// the line of sight (so that the faces of a box seen from a corner differ),
// in the camera's axes (x right, y up, z along the line of sight), towards
// the scene; unit length.
extern const float HeadlightDirection[3];
// With a colour per vertex or face, or a coloured texture, in place of the
// material's diffuse colour, the ambient colour is this share of it (the
// share VRML gives by default).
constexpr float AmbientShare = 0.2f;

// The box of the world's finite points: objects whose own box is not finite
// add the finite points of their tessellation.
trelBBox FiniteBounds(const C3DWorld& world, int segments);

RenderResult RenderWorld(const C3DWorld& world, const RenderOptions& options);

} // namespace vrml
