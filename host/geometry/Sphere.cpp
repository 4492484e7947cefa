#include "Solids.h"

#include "AttributeReader.h"
#include "GeometryDetail.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace {

using trelDetail::kPi;
using trelDetail::kTwoPi;
using trelDetail::Vec3;

// The sphere's own frame and its ranges in a checked form: longitude from u
// towards v about the pole w, latitude from w (0) to -w (pi).
struct SpherePatch {
    Vec3 center, u, v, w;
    double radius = 0.0;
    double longitudeStart = 0.0, longitudeSweep = kTwoPi;
    double latitudeLow = 0.0, latitudeHigh = kPi;

    bool IsWhole() const { return longitudeSweep >= kTwoPi && latitudeLow <= 0.0 && latitudeHigh >= kPi; }
    Vec3 Direction(double longitude, double latitude) const {
        // Exact poles, so the rings there collapse to one point.
        const double s = (latitude <= 0.0 || latitude >= kPi) ? 0.0 : std::sin(latitude);
        const double c = latitude <= 0.0 ? 1.0 : (latitude >= kPi ? -1.0 : std::cos(latitude));
        return (u * std::cos(longitude) + v * std::sin(longitude)) * s + w * c;
    }
};

SpherePatch MakePatch(const trelFloatPoint& center, const trelVector& equator, const trelVector& pole, double radius,
                      double longitudeStart, double longitudeEnd, double latitudeStart, double latitudeEnd) {
    SpherePatch patch;
    patch.center = Vec3(center);
    patch.radius = std::isfinite(radius) ? std::fabs(radius) : 0.0;
    patch.w = trelDetail::Normalized(Vec3(pole));
    if (Dot(patch.w, patch.w) == 0.0)
        patch.w = Vec3(0.0, 0.0, 1.0);
    // The equator direction only fixes where longitude 0 is; its part along
    // the pole is meaningless and dropped.
    const Vec3 e(equator);
    patch.u = trelDetail::Normalized(e - patch.w * Dot(e, patch.w));
    if (Dot(patch.u, patch.u) == 0.0)
        patch.u = trelDetail::AnyPerpendicular(patch.w);
    patch.v = Cross(patch.w, patch.u);

    patch.longitudeStart = longitudeStart;
    patch.longitudeSweep = longitudeEnd - longitudeStart;
    trelDetail::NormaliseSweep(patch.longitudeStart, patch.longitudeSweep);
    // Latitude cannot wrap: the loader's half turn (a hair above pi) ends at the far pole.
    double low = std::isfinite(latitudeStart) ? latitudeStart : 0.0;
    double high = std::isfinite(latitudeEnd) ? latitudeEnd : kPi;
    if (low > high)
        std::swap(low, high);
    patch.latitudeLow = std::min(std::max(low, 0.0), kPi);
    patch.latitudeHigh = std::min(std::max(high, 0.0), kPi);
    return patch;
}

} // namespace

void trelSphere::SetSphere(const trelFloatPoint& c, const trelVector& equator, const trelVector& poleDirection,
                           double r, double lonStart, double lonEnd, double latStart, double latEnd) {
    center = c;
    equatorDirection = equator;
    pole = poleDirection;
    radius = r;
    longitudeStart = lonStart;
    longitudeEnd = lonEnd;
    latitudeStart = latStart;
    latitudeEnd = latEnd;
}

trelBBox trelSphere::GetBBox() const {
    using trelDetail::TransformDirection;
    using trelDetail::TransformPoint;
    const SpherePatch patch =
        MakePatch(center, equatorDirection, pole, radius, longitudeStart, longitudeEnd, latitudeStart, latitudeEnd);
    const trelMatrix4x4& m = xformation;
    trelBBox box;
    // World coordinate i of a local point p is p dotted with column i of the
    // linear part (plus the translation), so over a sphere it peaks in the
    // direction of that column, at radius times the column's length.
    const Vec3 columns[3] = {Vec3(m.m[0][0], m.m[1][0], m.m[2][0]), Vec3(m.m[0][1], m.m[1][1], m.m[2][1]),
                             Vec3(m.m[0][2], m.m[1][2], m.m[2][2])};
    if (patch.IsWhole()) {
        const Vec3 c = TransformPoint(patch.center, m);
        const Vec3 reach(patch.radius * trelDetail::Length(columns[0]), patch.radius * trelDetail::Length(columns[1]),
                         patch.radius * trelDetail::Length(columns[2]));
        trelDetail::AddToBox(box, c - reach);
        trelDetail::AddToBox(box, c + reach);
        return box;
    }

    // A part of the sphere peaks either where the whole sphere does, if that
    // point belongs to the part, or on the part's border: two circles of
    // latitude and two meridians, all circular arcs.
    const double r = patch.radius;
    const Vec3 u = TransformDirection(patch.u, m), v = TransformDirection(patch.v, m);
    const Vec3 w = TransformDirection(patch.w, m);
    for (double latitude : {patch.latitudeLow, patch.latitudeHigh}) {
        const Vec3 ringCenter = TransformPoint(patch.center + patch.w * (r * std::cos(latitude)), m);
        trelDetail::AddArcToBox(box, ringCenter, u, v, r * std::sin(latitude), patch.longitudeStart,
                                patch.longitudeSweep);
    }
    if (patch.longitudeSweep < kTwoPi) {
        const Vec3 c = TransformPoint(patch.center, m);
        for (double longitude : {patch.longitudeStart, patch.longitudeStart + patch.longitudeSweep}) {
            // The meridian as an arc from the pole direction towards its equator point.
            const Vec3 across = u * std::cos(longitude) + v * std::sin(longitude);
            trelDetail::AddArcToBox(box, c, w, across, r, patch.latitudeLow, patch.latitudeHigh - patch.latitudeLow);
        }
    }
    for (const Vec3& column : columns) {
        const Vec3 peak = trelDetail::Normalized(column);
        if (Dot(peak, peak) == 0.0)
            continue;
        for (const Vec3& direction : {peak, -peak}) {
            const double latitude = std::acos(std::min(1.0, std::max(-1.0, Dot(direction, patch.w))));
            const double longitude = std::atan2(Dot(direction, patch.v), Dot(direction, patch.u));
            if (latitude >= patch.latitudeLow && latitude <= patch.latitudeHigh &&
                trelDetail::AngleOnArc(longitude, patch.longitudeStart, patch.longitudeSweep))
                trelDetail::AddToBox(box, TransformPoint(patch.center + direction * r, m));
        }
    }
    return box;
}

trelTessellationCounts trelSphere::CountTessellation(const trelTessellationOptions& options) const {
    const SpherePatch patch =
        MakePatch(center, equatorDirection, pole, radius, longitudeStart, longitudeEnd, latitudeStart, latitudeEnd);
    const double latitudeSweep = patch.latitudeHigh - patch.latitudeLow;
    trelTessellationCounts counts;
    if (patch.radius == 0.0 || patch.longitudeSweep <= 0.0 || latitudeSweep <= 0.0)
        return counts;
    const int across = trelDetail::SegmentsForSweep(patch.longitudeSweep, options.segments);
    const int down = trelDetail::SegmentsForSweep(latitudeSweep, options.segments);
    const bool topIsPole = patch.latitudeLow <= 0.0;
    const bool bottomIsPole = patch.latitudeHigh >= kPi;
    // Rings other than the poles are circles of some size.
    double thinnest = std::min(patch.longitudeSweep / across, latitudeSweep / down);
    if (!topIsPole)
        thinnest = std::min(thinnest, std::sin(patch.latitudeLow));
    if (!bottomIsPole)
        thinnest = std::min(thinnest, std::sin(patch.latitudeHigh));
    if (!IsFinite(patch.center) || !trelDetail::KeepsEveryTriangle(xformation, patch.center, patch.radius, thinnest))
        return trelBaseObject::CountTessellation(options);
    counts.triangles = static_cast<size_t>(across) * static_cast<size_t>(2 * down - topIsPole - bottomIsPole);
    return counts;
}

void trelSphere::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    SpherePatch patch =
        MakePatch(center, equatorDirection, pole, radius, longitudeStart, longitudeEnd, latitudeStart, latitudeEnd);
    const double latitudeSweep = patch.latitudeHigh - patch.latitudeLow;
    if (patch.radius == 0.0 || patch.longitudeSweep <= 0.0 || latitudeSweep <= 0.0)
        return; // no area

    // Texture coordinates are those of the file's spheres, which the loader
    // places with their local axes on the file's: s runs from 0 at -z round
    // towards -x (counter-clockwise seen from +y), t from 0 at the -y pole to
    // 1 at the +y pole. A whole sphere is the same surface about any pole, so
    // with attributes it is cut along those lines, poles and seam included.
    const trelDetail::AttributeReader reader(*this);
    const bool textured = options.attributes;
    const bool alongTexture = textured && patch.IsWhole();
    if (alongTexture) {
        patch.w = Vec3(0.0, 1.0, 0.0);
        patch.u = Vec3(0.0, 0.0, -1.0);
        patch.v = Cross(patch.w, patch.u);
        patch.longitudeStart = 0.0;
    }

    const int across = trelDetail::SegmentsForSweep(patch.longitudeSweep, options.segments);
    // Latitude spans half a turn, so a whole sphere gets half as many rings
    // as it has meridians, keeping its cells about square.
    const int down = trelDetail::SegmentsForSweep(latitudeSweep, options.segments);
    const bool fullTurn = patch.longitudeSweep >= kTwoPi;

    // Unit directions of the grid, row by row from the pole side.
    const size_t width = static_cast<size_t>(across) + 1;
    std::vector<Vec3> grid(width * (static_cast<size_t>(down) + 1));
    for (int j = 0; j <= down; ++j) {
        const double latitude = (j == down) ? patch.latitudeHigh : patch.latitudeLow + latitudeSweep * j / down;
        for (int i = 0; i <= across; ++i) {
            const int step = (fullTurn && i == across) ? 0 : i; // the seam closes exactly
            const double longitude = patch.longitudeStart + patch.longitudeSweep * step / across;
            grid[static_cast<size_t>(j) * width + static_cast<size_t>(i)] = patch.Direction(longitude, latitude);
        }
    }

    const bool topIsPole = patch.latitudeLow <= 0.0;
    const bool bottomIsPole = patch.latitudeHigh >= kPi;
    trelDetail::ReserveTriangles(out, 2 * static_cast<size_t>(across) * static_cast<size_t>(down), textured);
    trelDetail::PlacedSurface surface(xformation, out, textured ? &reader : nullptr);
    const auto at = [&](int i, int j) -> const Vec3& {
        return grid[static_cast<size_t>(j) * width + static_cast<size_t>(i)];
    };
    const auto point = [&](const Vec3& direction) { return patch.center + direction * patch.radius; };
    // The coordinates of grid point (i, j) in the triangles of cell `cell`.
    // Along the texture's lines they are the grid's own, a pole taking the
    // middle of its cell; on a part of a sphere they come from the direction.
    const auto coord = [&](int i, int j, int cell) {
        if (!textured)
            return trelTexCoord();
        if (alongTexture) {
            const bool atPole = j == 0 || j == down;
            return trelTexCoord(static_cast<float>((atPole ? cell + 0.5 : i) / across),
                                static_cast<float>(1.0 - static_cast<double>(j) / down));
        }
        const Vec3& d = at(i, j);
        double s = std::atan2(-d.x, -d.z) / kTwoPi;
        if (s < 0.0)
            s += 1.0;
        return trelTexCoord(static_cast<float>(s),
                            static_cast<float>(1.0 - std::acos(std::min(1.0, std::max(-1.0, d.y))) / kPi));
    };
    for (int j = 0; j < down; ++j)
        for (int i = 0; i < across; ++i) {
            // Going down (away from the pole) then east is counter-clockwise
            // seen from outside.
            const Vec3& d00 = at(i, j);
            const Vec3& d01 = at(i, j + 1);
            const Vec3& d11 = at(i + 1, j + 1);
            const Vec3& d10 = at(i + 1, j);
            if (!(bottomIsPole && j + 1 == down))
                surface.Triangle(point(d00), point(d01), point(d11), d00, d01, d11, coord(i, j, i), coord(i, j + 1, i),
                                 coord(i + 1, j + 1, i));
            if (!(topIsPole && j == 0))
                surface.Triangle(point(d00), point(d11), point(d10), d00, d11, d10, coord(i, j, i),
                                 coord(i + 1, j + 1, i), coord(i + 1, j, i));
        }
}
