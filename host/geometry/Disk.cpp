#include "Solids.h"

#include "GeometryDetail.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

using trelDetail::Vec3;

void trelDisk::SetDisk(double inner, double outer, const trelMatrix4x4& diskFrame, trelBool isFilled)
{
    innerRadius = inner;
    outerRadius = outer;
    frame = diskFrame;
    filled = isFilled;
}

trelBBox trelDisk::GetBBox() const
{
    trelBBox box;
    const double outer = std::max(std::fabs(innerRadius), std::fabs(outerRadius));
    trelDetail::AddArcToBox(box, trelDetail::TransformPoint(Vec3(), frame),
                            trelDetail::TransformDirection(Vec3(1.0, 0.0, 0.0), frame),
                            trelDetail::TransformDirection(Vec3(0.0, 1.0, 0.0), frame), outer, 0.0,
                            trelDetail::kTwoPi);
    return box;
}

void trelDisk::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    frame = frame * m;
    ApplyMatrixToAttributes(m);
}

void trelDisk::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const
{
    // Radii are sizes: their signs carry no meaning, and the larger is the rim.
    const double a = std::fabs(innerRadius), b = std::fabs(outerRadius);
    const double inner = std::min(a, b), outer = std::max(a, b);
    const int parts = trelDetail::ClampSegments(options.segments);
    std::vector<Vec3> rim(static_cast<size_t>(parts) + 1);
    for (int i = 0; i <= parts; ++i) {
        const double angle = trelDetail::kTwoPi * (i == parts ? 0 : i) / parts;
        rim[static_cast<size_t>(i)] = Vec3(std::cos(angle), std::sin(angle), 0.0);
    }

    if (!filled) {
        // An unfilled disk is drawn as its border circles.
        for (double radius : {outer, inner}) {
            if (radius == 0.0)
                continue;
            std::vector<trelFloatPoint> circle;
            circle.reserve(rim.size());
            for (const Vec3& d : rim)
                circle.push_back(trelDetail::TransformPoint(d * radius, frame).ToPoint());
            out.lineStrips.push_back(std::move(circle));
        }
        return;
    }
    if (outer == inner)
        return; // no area

    trelDetail::PlacedSurface surface(frame, out);
    const Vec3 up(0.0, 0.0, 1.0);
    for (int i = 0; i < parts; ++i) {
        const Vec3& d0 = rim[static_cast<size_t>(i)];
        const Vec3& d1 = rim[static_cast<size_t>(i) + 1];
        if (inner == 0.0) {
            surface.Triangle(Vec3(), d0 * outer, d1 * outer, up, up, up);
            continue;
        }
        surface.Triangle(d0 * inner, d0 * outer, d1 * outer, up, up, up);
        surface.Triangle(d0 * inner, d1 * outer, d1 * inner, up, up, up);
    }
}
