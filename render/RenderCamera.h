#pragma once
// Where `vrml render` looks from: a perspective camera on one of the named
// views, placed so that the whole of a box is in the picture.

#include "host/geometry/BBox.h"

#include <string>

namespace vrml {

enum class RenderView { Iso, Front, Back, Left, Right, Top, Bottom };

// "iso", "front", "back", "left", "right", "top" or "bottom"; false for anything else.
bool ParseRenderView(const std::string& name, RenderView& view);

// A point in the camera's frame: x to the right of the picture, y up it,
// z the distance in front of the eye along the line of sight.
struct CameraPoint {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

struct RenderCamera {
    // The eye and the camera's axes in world space, in double precision so
    // that scenes far from the origin still land on the right pixels.
    double eye[3] = {0.0, 0.0, 0.0};
    double right[3] = {1.0, 0.0, 0.0};
    double up[3] = {0.0, 1.0, 0.0};
    double forward[3] = {0.0, 0.0, -1.0}; // the line of sight
    double focal = 1.0;                   // pixels per unit of x / z
    double centreX = 0.0, centreY = 0.0;  // where the line of sight meets the picture
    // Nothing nearer than this is drawn: whatever crosses it is cut there.
    float nearDepth = 1e-3f;

    CameraPoint ToCamera(const trelFloatPoint& p) const;
    // Pixel coordinates of a point in front of the eye: x to the right, y
    // down, pixel (i, j) covering [i, i + 1) x [j, j + 1).
    double ScreenX(const CameraPoint& p) const { return centreX + focal * p.x / p.z; }
    double ScreenY(const CameraPoint& p) const { return centreY - focal * p.y / p.z; }
};

// The camera of `view` for a picture of width x height pixels, at the
// distance where the eight corners of `bounds` fill it but for a small
// margin. An empty box gives a camera on the origin.
RenderCamera FitCamera(const trelBBox& bounds, RenderView view, int width, int height);

} // namespace vrml
