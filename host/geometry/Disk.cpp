#include "Solids.h"

#include "AttributeReader.h"
#include "GeometryDetail.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

using trelDetail::Vec3;

void trelDisk::SetDisk(double inner, double outer, const trelMatrix4x4& diskFrame, trelBool isFilled) {
    innerRadius = inner;
    outerRadius = outer;
    frame = diskFrame;
    filled = isFilled;
}

trelBBox trelDisk::GetBBox() const {
    trelBBox box;
    const double outer = std::max(std::fabs(innerRadius), std::fabs(outerRadius));
    trelDetail::AddArcToBox(box, trelDetail::TransformPoint(Vec3(), frame),
                            trelDetail::TransformDirection(Vec3(1.0, 0.0, 0.0), frame),
                            trelDetail::TransformDirection(Vec3(0.0, 1.0, 0.0), frame), outer, 0.0, trelDetail::kTwoPi);
    return box;
}

void trelDisk::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    frame = frame * m;
    ApplyMatrixToAttributes(m);
}

trelTessellationCounts trelDisk::CountTessellation(const trelTessellationOptions& options) const {
    const double a = std::fabs(innerRadius), b = std::fabs(outerRadius);
    const double inner = std::min(a, b), outer = std::max(a, b);
    const auto parts = static_cast<size_t>(trelDetail::ClampSegments(options.segments));
    trelTessellationCounts counts;
    if (!filled) {
        for (double radius : {outer, inner})
            if (radius != 0.0) {
                ++counts.lineStrips;
                counts.linePoints += parts + 1;
            }
        return counts;
    }
    if (outer == inner)
        return counts;
    // As a flat ring of a frustum: the slices, and a hole's rim and the
    // ring's width against the disk's size.
    double thinnest = trelDetail::kTwoPi / static_cast<double>(parts);
    if (inner != 0.0)
        thinnest = std::min({thinnest, inner / outer, (outer - inner) / outer});
    if (!trelDetail::KeepsEveryTriangle(frame, Vec3(), outer, thinnest))
        return trelBaseObject::CountTessellation(options);
    counts.triangles = parts * (inner == 0.0 ? 1 : 2);
    return counts;
}

void trelDisk::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
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
        if (options.attributes)
            trelDetail::PadAttributes(out);
        return;
    }
    if (outer == inner)
        return; // no area

    // With attributes a disk wound clockwise (ccw false) faces its frame's
    // -z. Its texture is a circle cut from the image, with s along the
    // frame's x and the image unmirrored seen from the side it faces.
    const trelDetail::AttributeReader reader(*this);
    const bool flipped = options.attributes && !reader.Ccw();
    const Vec3 up(0.0, 0.0, flipped ? -1.0 : 1.0);
    const double tSign = flipped ? -1.0 : 1.0;
    const auto coord = [&](const Vec3& p) {
        return trelTexCoord(static_cast<float>(0.5 + p.x / (2.0 * outer)),
                            static_cast<float>(0.5 + tSign * p.y / (2.0 * outer)));
    };
    trelDetail::PlacedSurface surface(frame, out, options.attributes ? &reader : nullptr);
    const auto triangle = [&](const Vec3& a, const Vec3& b, const Vec3& c) {
        if (flipped)
            surface.Triangle(a, c, b, up, up, up, coord(a), coord(c), coord(b));
        else
            surface.Triangle(a, b, c, up, up, up, coord(a), coord(b), coord(c));
    };
    for (int i = 0; i < parts; ++i) {
        const Vec3& d0 = rim[static_cast<size_t>(i)];
        const Vec3& d1 = rim[static_cast<size_t>(i) + 1];
        if (inner == 0.0) {
            triangle(Vec3(), d0 * outer, d1 * outer);
            continue;
        }
        triangle(d0 * inner, d0 * outer, d1 * outer);
        triangle(d0 * inner, d1 * outer, d1 * inner);
    }
}
