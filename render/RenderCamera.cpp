#include "RenderCamera.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vrml {

namespace {

using Vec = std::array<double, 3>;

struct ViewRow {
    const char* name;
    RenderView view;
    Vec forward; // the line of sight, towards the scene
    Vec upHint;  // up in the picture, before it is made square to the line of sight
};

// VRML is y-up; its default viewpoint looks down -z, which is the front.
// Seen from above the front is at the bottom of the picture, and from below at the top.
constexpr ViewRow Views[] = {
    {"iso", RenderView::Iso, {-1.0, -1.0, -1.0}, {0.0, 1.0, 0.0}},
    {"front", RenderView::Front, {0.0, 0.0, -1.0}, {0.0, 1.0, 0.0}},
    {"back", RenderView::Back, {0.0, 0.0, 1.0}, {0.0, 1.0, 0.0}},
    {"left", RenderView::Left, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
    {"right", RenderView::Right, {-1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
    {"top", RenderView::Top, {0.0, -1.0, 0.0}, {0.0, 0.0, -1.0}},
    {"bottom", RenderView::Bottom, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}},
};

// The vertical field of view of a landscape picture (the narrower side of
// a portrait one): narrow enough that boxes keep their shape, wide enough
// to show depth.
constexpr double FieldOfViewDegrees = 30.0;
// The share of the picture's half-width or half-height the scene may fill.
constexpr double Fill = 0.92;

Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Vec Unit(const Vec& v) {
    const double length = std::sqrt(Dot(v, v));
    return {v[0] / length, v[1] / length, v[2] / length};
}

void Store(const Vec& v, double* out) { std::copy(v.begin(), v.end(), out); }

} // namespace

bool ParseRenderView(const std::string& name, RenderView& view) {
    for (const ViewRow& row : Views) {
        if (name == row.name) {
            view = row.view;
            return true;
        }
    }
    return false;
}

CameraPoint RenderCamera::ToCamera(const trelFloatPoint& p) const {
    const double d[3] = {p.x - eye[0], p.y - eye[1], p.z - eye[2]};
    const auto along = [&d](const double* axis) {
        return static_cast<float>(d[0] * axis[0] + d[1] * axis[1] + d[2] * axis[2]);
    };
    return {along(right), along(up), along(forward)};
}

RenderCamera FitCamera(const trelBBox& bounds, RenderView view, int width, int height) {
    const ViewRow& row = *std::find_if(std::begin(Views), std::end(Views),
                                       [view](const ViewRow& candidate) { return candidate.view == view; });
    const Vec forward = Unit(row.forward);
    const Vec right = Unit(Cross(forward, row.upHint));
    const Vec up = Cross(right, forward);

    RenderCamera camera;
    Store(forward, camera.forward);
    Store(right, camera.right);
    Store(up, camera.up);
    const double halfWidth = 0.5 * width, halfHeight = 0.5 * height;
    camera.centreX = halfWidth;
    camera.centreY = halfHeight;
    constexpr double Pi = 3.14159265358979323846;
    camera.focal = std::min(halfWidth, halfHeight) / std::tan(0.5 * FieldOfViewDegrees * Pi / 180.0);

    Vec centre{0.0, 0.0, 0.0}, low{0.0, 0.0, 0.0}, high{0.0, 0.0, 0.0};
    if (!bounds.IsEmpty()) {
        low = {bounds.GetMin().x, bounds.GetMin().y, bounds.GetMin().z};
        high = {bounds.GetMax().x, bounds.GetMax().y, bounds.GetMax().z};
        for (int k = 0; k < 3; ++k)
            centre[k] = 0.5 * low[k] + 0.5 * high[k]; // no overflow for boxes near the float limits
    }
    const Vec diagonal{high[0] - low[0], high[1] - low[1], high[2] - low[2]};
    double radius = 0.5 * std::sqrt(Dot(diagonal, diagonal));
    if (!(radius > 0.0))
        radius = 1.0; // a single point: any distance shows it
    // Each corner c, at (x, y, z) from the centre in the camera's axes, fits
    // when |x| f / (d + z) is within the picture's half-width (and likewise
    // for y): d >= |x| f / half-width - z.
    double distance = 0.0, nearest = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const Vec c{corner & 1 ? high[0] : low[0], corner & 2 ? high[1] : low[1], corner & 4 ? high[2] : low[2]};
        const Vec offset{c[0] - centre[0], c[1] - centre[1], c[2] - centre[2]};
        const double x = Dot(offset, right), y = Dot(offset, up), z = Dot(offset, forward);
        distance = std::max({distance, std::fabs(x) * camera.focal / (Fill * halfWidth) - z,
                             std::fabs(y) * camera.focal / (Fill * halfHeight) - z});
        nearest = std::min(nearest, z);
    }
    // Flat scenes seen edge on would otherwise put the eye on them.
    distance = std::max(distance, 0.05 * radius - nearest);
    for (int k = 0; k < 3; ++k)
        camera.eye[k] = centre[k] - distance * forward[k];
    // Half way to the nearest corner: nothing of the scene is cut, and the
    // depth buffer keeps its precision.
    camera.nearDepth = static_cast<float>(0.5 * (distance + nearest));
    return camera;
}

} // namespace vrml
