#include "PlacedCount.h"

#include "Triangulation.h"

#include <algorithm>
#include <cmath>

namespace trelDetail {

namespace {

// Faces of more corners are not examined (every three of their corners are):
// they are counted placement by placement.
constexpr size_t kMostCorners = 16;
// Smaller margins, relative to the face's size, are left to the placed points:
// far above the double rounding of the triangulator and its own threshold.
constexpr double kLeastMargin = 1e-9;
// The margin taken over the worst-case estimate of how far rounding moves an area.
constexpr double kSafety = 16.0;
// A placed point is rounded to float once: at most half a unit in the last
// place, 2^-24 of its size; taken as 2^-22 to leave room.
const double kPointRounding = std::ldexp(1.0, -22);
// Placed points beyond this size could overflow a float; placed faces below
// this size could meet float's denormals, whose rounding is not relative.
constexpr double kLargestPlaced = 1e30;
constexpr double kSmallestPlacedFace = 1e-20;

} // namespace

void PlacedCount::AddFace(const std::vector<Vec3>& outline) {
    if (!shareable)
        return;
    const size_t corners = outline.size();
    if (corners > kMostCorners || !std::all_of(outline.begin(), outline.end(), IsFinite)) {
        shareable = false;
        return;
    }
    double radius = 0.0, reach = 0.0;
    Vec3 centre;
    for (const Vec3& p : outline)
        centre = centre + p;
    if (corners > 0)
        centre = centre * (1.0 / static_cast<double>(corners));
    for (const Vec3& p : outline) {
        radius = std::max(radius, Length(p - centre));
        reach = std::max(reach, Length(p));
    }
    largestReach = std::max(largestReach, reach);
    if (corners < 3)
        return; // drawn as a point or a line whenever its points are finite
    const Vec3 area = NewellNormal(outline);
    const double areaLength = Length(area);
    if (!(radius > 0.0) || !(areaLength > 0.0)) {
        shareable = false;
        return;
    }
    smallestRadius = std::min(smallestRadius, radius);
    const Vec3 normal = area * (1.0 / areaLength);
    // The smallest area of three corners laid into the face's plane, and how
    // far any three corners lean out of that plane, both relative to the
    // square of the face's size.
    double smallest = HUGE_VAL, leaning = 0.0;
    for (size_t i = 0; i < corners; ++i)
        for (size_t j = i + 1; j < corners; ++j)
            for (size_t k = j + 1; k < corners; ++k) {
                const Vec3 spanned = Cross(outline[j] - outline[i], outline[k] - outline[i]);
                const double inPlane = Dot(normal, spanned);
                smallest = std::min(smallest, std::fabs(inPlane));
                leaning = std::max(leaning, Length(spanned - normal * inPlane));
            }
    const double squaredRadius = radius * radius;
    const double margin = smallest / squaredRadius;
    leaning /= squaredRadius;
    const double fullness = areaLength / (2.0 * squaredRadius);
    if (!(margin >= kLeastMargin)) {
        shareable = false;
        return;
    }
    // Points moved by at most d (relative to the face's size) move an area
    // of three corners by at most 8 d, and tilt the face's plane by at most
    // t = 8 (corners - 2) d / fullness; the tilt moves the area by at most
    // t times its leaning plus t^2 / 2 times its size (at most 4).
    const double tiltPerMove = 8.0 * static_cast<double>(corners - 2) / fullness;
    const double linear = 8.0 + tiltPerMove * leaning, quadratic = 2.0 * tiltPerMove * tiltPerMove;
    const double share = margin / (2.0 * kSafety); // for each of the two terms
    const double allowed = std::min(share / linear, std::sqrt(share / quadratic));
    smallestMargin = std::min(smallestMargin, allowed);
    pointRounding = std::max(pointRounding, reach / (radius * allowed));
    translationRounding = std::max(translationRounding, 1.0 / (radius * allowed));
}

bool PlacedCount::Holds(const trelMatrix4x4& m) const {
    if (!shareable)
        return false;
    if (m.m[0][3] != 0.0f || m.m[1][3] != 0.0f || m.m[2][3] != 0.0f || m.m[3][3] != 1.0f)
        return false; // projective
    double squares = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            squares += static_cast<double>(m.m[i][j]) * m.m[i][j];
    const Vec3 translation(m.m[3][0], m.m[3][1], m.m[3][2]);
    const double scaleSquared = squares / 3.0;
    if (!(scaleSquared > 0.0) || !std::isfinite(scaleSquared) || !IsFinite(translation))
        return false;
    const double scale = std::sqrt(scaleSquared);
    // How far the linear part is from the nearest similarity, relative to
    // its scale: every singular value lies within this of the scale.
    double offSimilarity = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double product = 0.0;
            for (int k = 0; k < 3; ++k)
                product += static_cast<double>(m.m[k][i]) * m.m[k][j];
            const double off = product - (i == j ? scaleSquared : 0.0);
            offSimilarity += off * off;
        }
    offSimilarity = std::sqrt(offSimilarity) / scaleSquared + 1e-12;
    const double shift = Length(translation);
    const double matrixSize = std::sqrt(squares);
    if (!(largestReach * matrixSize + shift < kLargestPlaced) || !(scale * smallestRadius >= kSmallestPlacedFace))
        return false;
    // A placed point's rounding, relative to its face's placed size: at most
    // kPointRounding (reach |A| + |t|) / (scale radius).
    const double rounding =
        2.0 * kPointRounding * (matrixSize / scale * pointRounding + shift / scale * translationRounding);
    return offSimilarity < smallestMargin / 2.0 && rounding < 1.0;
}

} // namespace trelDetail
