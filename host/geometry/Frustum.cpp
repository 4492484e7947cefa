#include "GeometryDetail.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace trelDetail {

trelBBox GetFrustumBBox(const FrustumSide& side, const trelMatrix4x4& placement) {
    // The side is ruled by straight lines between its two rims, so its
    // extremes along any axis lie on the rims.
    trelBBox box;
    const Vec3 u = TransformDirection(side.u, placement), v = TransformDirection(side.v, placement);
    AddArcToBox(box, TransformPoint(Vec3(), placement), u, v, std::fabs(side.bottom), side.start, side.sweep);
    AddArcToBox(box, TransformPoint(Vec3(0.0, 0.0, side.height), placement), u, v, std::fabs(side.top), side.start,
                side.sweep);
    return box;
}

void TessellateFrustum(const FrustumSide& side, const trelMatrix4x4& placement, int segments, trelTessellation& out,
                       const AttributeReader* attributes) {
    const double bottom = std::fabs(side.bottom), top = std::fabs(side.top);
    double height = side.height;
    // A negative height is the mirror image of a positive one; building that
    // and mirroring it lets the placement's mirror handling keep the normals
    // outward, instead of a second set of winding rules here.
    trelMatrix4x4 matrix = placement;
    if (height < 0.0) {
        matrix = GetScaleMatrix(trelFloatPoint(1.0f, 1.0f, -1.0f)) * placement;
        height = -height;
    }
    if ((height == 0.0 && bottom == top) || (bottom == 0.0 && top == 0.0) || side.sweep <= 0.0)
        return; // no area

    const int parts = SegmentsForSweep(side.sweep, segments);
    const bool fullTurn = side.sweep >= kTwoPi;
    // A full turn is the same surface from any start; with texture
    // coordinates it starts at their seam so that no part straddles it.
    Vec3 u = side.u, v = side.v;
    double start = side.start;
    if (attributes && fullTurn) {
        u = Vec3(1.0, 0.0, 0.0);
        v = Vec3(0.0, 1.0, 0.0);
        start = kPi / 2.0;
    }
    std::vector<Vec3> directions(static_cast<size_t>(parts) + 1);
    for (int i = 0; i <= parts; ++i) {
        // A full turn ends exactly where it began, so the seam has no crack.
        const double angle = start + side.sweep * ((fullTurn && i == parts) ? 0 : i) / parts;
        directions[static_cast<size_t>(i)] = u * std::cos(angle) + v * std::sin(angle);
    }
    // The outward normal is the same along each straight line of the side:
    // tilted by the change of radius over the height.
    const Vec3 tilt(0.0, 0.0, bottom - top);
    const auto normalAt = [&](const Vec3& direction) { return direction * height + tilt; };
    const Vec3 up(0.0, 0.0, height);
    // s along the parts, continuous from the start (an arc across the seam
    // runs past 1 rather than jumping back).
    double firstS = std::fmod(std::atan2(u.y, u.x) + start - kPi / 2.0, kTwoPi) / kTwoPi;
    if (firstS < 0.0)
        firstS += 1.0;
    const auto at = [&](double part, float t) {
        return attributes ? trelTexCoord(static_cast<float>(firstS + side.sweep / kTwoPi * part / parts), t)
                          : trelTexCoord();
    };

    ReserveTriangles(out, 2 * static_cast<size_t>(parts), attributes != nullptr);
    PlacedSurface surface(matrix, out, attributes);
    for (int i = 0; i < parts; ++i) {
        const Vec3& d0 = directions[static_cast<size_t>(i)];
        const Vec3& d1 = directions[static_cast<size_t>(i) + 1];
        const Vec3 n0 = normalAt(d0), n1 = normalAt(d1);
        const Vec3 b0 = d0 * bottom, b1 = d1 * bottom, t0 = d0 * top + up, t1 = d1 * top + up;
        const trelTexCoord tb0 = at(i, 0.0f), tb1 = at(i + 1, 0.0f), tt0 = at(i, 1.0f), tt1 = at(i + 1, 1.0f);
        if (top == 0.0 || bottom == 0.0) {
            // At an apex the normal is undefined; the one midway across the
            // part shades the thin triangle evenly.
            const double middle = start + side.sweep * (i + 0.5) / parts;
            const Vec3 apexNormal = normalAt(u * std::cos(middle) + v * std::sin(middle));
            if (top == 0.0)
                surface.Triangle(b0, b1, t0, n0, n1, apexNormal, tb0, tb1, at(i + 0.5, 1.0f));
            else
                surface.Triangle(b0, t1, t0, apexNormal, n1, n0, at(i + 0.5, 0.0f), tt1, tt0);
            continue;
        }
        surface.Triangle(b0, b1, t1, n0, n1, n1, tb0, tb1, tt1);
        surface.Triangle(b0, t1, t0, n0, n1, n0, tb0, tt1, tt0);
    }
}

long long CountFrustumTriangles(const FrustumSide& side, const trelMatrix4x4& placement, int segments) {
    const double bottom = std::fabs(side.bottom), top = std::fabs(side.top), height = std::fabs(side.height);
    if ((height == 0.0 && bottom == top) || (bottom == 0.0 && top == 0.0) || side.sweep <= 0.0)
        return 0;
    const int parts = SegmentsForSweep(side.sweep, segments);
    const double size = std::max({bottom, top, height});
    // A radius is either none (an apex) or comparable to the rest, and the
    // side either rises or, flat, is a ring of some width.
    double thinnest = side.sweep / parts;
    for (double radius : {bottom, top})
        if (radius != 0.0)
            thinnest = std::min(thinnest, radius / size);
    thinnest = std::min(thinnest, (height != 0.0 ? height : std::fabs(bottom - top)) / size);
    if (!KeepsEveryTriangle(placement, Vec3(), size, thinnest))
        return -1;
    return static_cast<long long>(parts) * (top == 0.0 || bottom == 0.0 ? 1 : 2);
}

} // namespace trelDetail
