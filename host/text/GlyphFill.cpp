#include "GlyphFill.h"

#include "host/geometry/Triangulation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace trelText {

namespace {

using Point = std::array<double, 2>;
using Contour = std::vector<Point>;

double TwiceArea(const Contour& contour) {
    double sum = 0.0;
    for (size_t i = 0, j = contour.size() - 1; i < contour.size(); j = i++)
        sum += contour[j][0] * contour[i][1] - contour[i][0] * contour[j][1];
    return sum;
}

// Even-odd test of a point against a closed contour.
bool Inside(const Point& p, const Contour& contour) {
    bool inside = false;
    for (size_t i = 0, j = contour.size() - 1; i < contour.size(); j = i++) {
        const Point& a = contour[i];
        const Point& b = contour[j];
        if ((a[1] > p[1]) != (b[1] > p[1]) && p[0] < (b[0] - a[0]) * (p[1] - a[1]) / (b[1] - a[1]) + a[0])
            inside = !inside;
    }
    return inside;
}

double Cross(const Point& o, const Point& a, const Point& b) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// Whether segments pq and ab cross at a point inside both; segments that
// only share an end do not.
bool Crosses(const Point& p, const Point& q, const Point& a, const Point& b) {
    if (p == a || p == b || q == a || q == b)
        return false;
    const double d1 = Cross(p, q, a), d2 = Cross(p, q, b), d3 = Cross(a, b, p), d4 = Cross(a, b, q);
    return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0)) && d1 != 0 && d2 != 0 && d3 != 0 && d4 != 0;
}

bool CrossesAny(const Point& p, const Point& q, const Contour& contour) {
    for (size_t i = 0, j = contour.size() - 1; i < contour.size(); j = i++)
        if (Crosses(p, q, contour[j], contour[i]))
            return true;
    return false;
}

// Joins a hole to the outline around it: from the hole's rightmost point
// to the nearest point of the outline that it sees, there and back.
void Bridge(Contour& outline, const Contour& hole, const std::vector<Contour>& holes) {
    size_t m = 0;
    for (size_t i = 1; i < hole.size(); ++i)
        if (hole[i][0] > hole[m][0])
            m = i;
    const Point& from = hole[m];
    std::vector<size_t> order(outline.size());
    std::iota(order.begin(), order.end(), size_t(0));
    const auto distance = [&](size_t i) {
        const double dx = outline[i][0] - from[0], dy = outline[i][1] - from[1];
        return dx * dx + dy * dy;
    };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return distance(a) < distance(b); });
    // A font whose contours cross leaves no clear view: the nearest point serves.
    size_t to = order.front();
    for (size_t candidate : order) {
        const Point& p = outline[candidate];
        bool clear = !CrossesAny(from, p, outline);
        for (const Contour& other : holes)
            clear = clear && !CrossesAny(from, p, other);
        if (clear) {
            to = candidate;
            break;
        }
    }
    Contour joined(outline.begin(), outline.begin() + static_cast<long>(to) + 1);
    for (size_t k = 0; k <= hole.size(); ++k)
        joined.push_back(hole[(m + k) % hole.size()]);
    joined.insert(joined.end(), outline.begin() + static_cast<long>(to), outline.end());
    outline.swap(joined);
}

} // namespace

void FillContours(const std::vector<std::vector<std::array<double, 2>>>& contours,
                  std::vector<std::array<double, 2>>& points, std::vector<int>& triangles) {
    // Repeated points (and the closing one) go; a contour without area is no shape.
    std::vector<Contour> clean;
    for (const Contour& contour : contours) {
        Contour kept;
        for (const Point& p : contour)
            if (std::isfinite(p[0]) && std::isfinite(p[1]) && (kept.empty() || kept.back() != p))
                kept.push_back(p);
        while (kept.size() > 1 && kept.front() == kept.back())
            kept.pop_back();
        if (kept.size() >= 3 && TwiceArea(kept) != 0.0)
            clean.push_back(std::move(kept));
    }
    // Depth: how many contours hold this one. Even is an outline, odd a hole
    // of the smallest outline one level up that holds it.
    const size_t n = clean.size();
    std::vector<int> depth(n, 0);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            if (i != j && std::fabs(TwiceArea(clean[j])) > std::fabs(TwiceArea(clean[i])) &&
                Inside(clean[i][0], clean[j]))
                ++depth[i];
    std::vector<std::vector<Contour>> holesOf(n);
    for (size_t i = 0; i < n; ++i) {
        if (depth[i] % 2 == 0)
            continue;
        size_t parent = n;
        for (size_t j = 0; j < n; ++j)
            if (depth[j] == depth[i] - 1 && Inside(clean[i][0], clean[j]) &&
                (parent == n || std::fabs(TwiceArea(clean[j])) < std::fabs(TwiceArea(clean[parent]))))
                parent = j;
        if (parent == n)
            continue;
        Contour hole = clean[i];
        if (TwiceArea(hole) > 0.0)
            std::reverse(hole.begin(), hole.end()); // holes run clockwise
        holesOf[parent].push_back(std::move(hole));
    }
    trelDetail::OutlineTriangulator triangulator;
    std::vector<trelDetail::Vec3> outline3;
    std::vector<std::array<int, 3>> corners;
    for (size_t i = 0; i < n; ++i) {
        if (depth[i] % 2 != 0)
            continue;
        Contour outline = clean[i];
        if (TwiceArea(outline) < 0.0)
            std::reverse(outline.begin(), outline.end()); // outlines run counter-clockwise
        // Rightmost holes first, so that each cut sees past the ones still open.
        std::vector<Contour>& holes = holesOf[i];
        std::sort(holes.begin(), holes.end(), [](const Contour& a, const Contour& b) {
            const auto right = [](const Contour& c) {
                return std::max_element(c.begin(), c.end(), [](const Point& p, const Point& q) { return p[0] < q[0]; })
                    ->at(0);
            };
            return right(a) > right(b);
        });
        while (!holes.empty()) {
            const Contour hole = std::move(holes.front());
            holes.erase(holes.begin());
            Bridge(outline, hole, holes);
        }
        outline3.clear();
        for (const Point& p : outline)
            outline3.emplace_back(p[0], p[1], 0.0);
        triangulator.FillCorners(outline3, corners);
        const int first = static_cast<int>(points.size());
        points.insert(points.end(), outline.begin(), outline.end());
        for (const auto& triangle : corners)
            for (int corner : triangle)
                triangles.push_back(first + corner);
    }
}

} // namespace trelText
