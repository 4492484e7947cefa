#include "Triangulation.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace trelDetail {

Vec3 NewellNormal(const std::vector<Vec3>& outline) {
    Vec3 sum;
    if (outline.size() < 3)
        return sum;
    // Relative to the first point: keeps the products small for outlines far
    // from the origin, where the plain formula cancels badly.
    const Vec3 origin = outline[0];
    for (size_t i = 1; i + 1 < outline.size(); ++i)
        sum = sum + Cross(outline[i] - origin, outline[i + 1] - origin);
    return sum;
}

double OutlineTriangulator::Area(int a, int b, int c) const {
    const size_t ia = static_cast<size_t>(a), ib = static_cast<size_t>(b), ic = static_cast<size_t>(c);
    return (u[ib] - u[ia]) * (v[ic] - v[ia]) - (v[ib] - v[ia]) * (u[ic] - u[ia]);
}

bool OutlineTriangulator::IsEar(int a, int b, int c) const {
    // Only a reflex corner can reach into a convex corner's triangle of a
    // simple outline, so with none left every convex corner is an ear.
    if (reflexCount == 0)
        return true;
    for (int j = next[static_cast<size_t>(c)]; j != a; j = next[static_cast<size_t>(j)]) {
        if (!reflex[static_cast<size_t>(j)])
            continue;
        // Outlines that visit one place twice (holes joined by a cut) touch
        // the ear there without overlapping it.
        if (SamePlace(j, a) || SamePlace(j, b) || SamePlace(j, c))
            continue;
        // Touching the triangle's edge blocks as well: the ear's new edge
        // would otherwise run through that corner.
        if (Area(a, b, j) >= -epsilon && Area(b, c, j) >= -epsilon && Area(c, a, j) >= -epsilon)
            return false;
    }
    return true;
}

void OutlineTriangulator::Unlink(int i) {
    const size_t at = static_cast<size_t>(i);
    gone[at] = 1;
    --remaining;
    const int before = prev[at], after = next[at];
    next[static_cast<size_t>(before)] = after;
    prev[static_cast<size_t>(after)] = before;
    if (reflex[at])
        --reflexCount;
    for (int neighbour : {before, after}) {
        const size_t n = static_cast<size_t>(neighbour);
        const bool nowReflex = IsReflex(neighbour);
        reflexCount += static_cast<int>(nowReflex) - static_cast<int>(reflex[n] != 0);
        reflex[n] = static_cast<char>(nowReflex);
    }
}

void OutlineTriangulator::Prune(int from) {
    // A spike that doubles back leaves two corners at one place, which the
    // ear test treats as a harmless touch; dropping such corners before any
    // ear is taken near them keeps that allowance from admitting a wrong ear.
    toCheck.clear();
    toCheck.push_back(from);
    while (!toCheck.empty() && remaining > 3) {
        const int i = toCheck.back();
        toCheck.pop_back();
        const size_t at = static_cast<size_t>(i);
        if (gone[at] || std::fabs(Area(prev[at], i, next[at])) > epsilon)
            continue;
        Unlink(i);
        toCheck.push_back(prev[at]);
        toCheck.push_back(next[at]);
    }
}

int OutlineTriangulator::Live(int i) const {
    // A dropped corner still points at the corner that followed it, which was
    // live then; the chain ends at a corner that still is.
    while (gone[static_cast<size_t>(i)])
        i = next[static_cast<size_t>(i)];
    return i;
}

template <OutlineTriangulator::Output kOutput>
void OutlineTriangulator::Clip(int a, int b, int c) {
    const size_t ia = static_cast<size_t>(a), ib = static_cast<size_t>(b), ic = static_cast<size_t>(c);
    if constexpr (kOutput == Output::Corners) {
        cornerOutput->push_back({source[ia], source[ib], source[ic]});
        ++emitted;
    } else if constexpr (kOutput == Output::Count) {
        emitted += IsKeptTriangle(points[ia], points[ib], points[ic]) ? 1 : 0;
    } else if (EmitFlatTriangle(*output, points[ia], points[ib], points[ic], normal)) {
        ++emitted;
    }
}

// One routine for all outputs; each instance keeps only its own, so that
// filling stays as lean as before corner triples existed.
template <OutlineTriangulator::Output kOutput>
int OutlineTriangulator::Triangulate(const std::vector<Vec3>& outline) {
    // Where each kept point came from matters only to corner triples.
    points.clear();
    source.clear();
    for (size_t i = 0; i < outline.size(); ++i) {
        const Vec3& p = outline[i];
        if (IsFinite(p) && (points.empty() || Dot(p - points.back(), p - points.back()) != 0.0)) {
            points.push_back(p);
            if constexpr (kOutput == Output::Corners)
                source.push_back(static_cast<int>(i));
        }
    }
    while (points.size() > 1 && Dot(points.back() - points.front(), points.back() - points.front()) == 0.0)
        points.pop_back();
    if constexpr (kOutput == Output::Corners)
        source.resize(points.size());
    if (points.size() < 3)
        return 0;

    normal = Normalized(NewellNormal(points));
    if (Dot(normal, normal) == 0.0)
        return 0;
    emitted = 0;
    const int count = static_cast<int>(points.size());
    if (count == 3) {
        Clip<kOutput>(0, 1, 2);
        return emitted;
    }

    LayIntoPlane();
    if (count == 4 && Area(3, 0, 1) > epsilon && Area(0, 1, 2) > epsilon && Area(1, 2, 3) > epsilon &&
        Area(2, 3, 0) > epsilon) {
        // A convex quad, the most common face: no corner is reflex or
        // straight, so the clipping below would take the ear at corner 0
        // and then close with what is left. Done here without its lists.
        Clip<kOutput>(3, 0, 1);
        Close<kOutput>(2, 3, 1);
        return emitted;
    }

    prev.resize(points.size());
    next.resize(points.size());
    reflex.resize(points.size());
    gone.resize(points.size());
    std::fill(gone.begin(), gone.end(), 0);
    for (int i = 0; i < count; ++i) {
        prev[static_cast<size_t>(i)] = (i + count - 1) % count;
        next[static_cast<size_t>(i)] = (i + 1) % count;
    }
    reflexCount = 0;
    for (int i = 0; i < count; ++i) {
        reflex[static_cast<size_t>(i)] = static_cast<char>(IsReflex(i));
        reflexCount += reflex[static_cast<size_t>(i)];
    }
    remaining = count;
    for (int i = 0; i < count; ++i)
        Prune(i);

    int current = Live(0);
    int withoutProgress = 0;
    // Once the corner between a and c is clipped, the outline goes on from a.
    const auto cutCorner = [&](int a, int corner, int c) {
        Unlink(corner);
        Prune(a);
        Prune(c);
        withoutProgress = 0;
        return Live(a);
    };
    while (remaining > 3) {
        const int a = prev[static_cast<size_t>(current)], c = next[static_cast<size_t>(current)];
        if (Area(a, current, c) > 0.0 && IsEar(a, current, c)) {
            Clip<kOutput>(a, current, c);
            current = cutCorner(a, current, c);
            continue;
        }
        current = c;
        if (++withoutProgress < remaining)
            continue;

        // A whole round without an ear: the outline crosses or overlaps
        // itself, so no clean triangulation exists. Clip a convex corner
        // regardless; if none is left, the rest runs clockwise, and its
        // corner is clipped with the winding turned to face the normal.
        int pick = current;
        for (int k = 0; k < remaining; ++k, pick = next[static_cast<size_t>(pick)])
            if (Area(prev[static_cast<size_t>(pick)], pick, next[static_cast<size_t>(pick)]) > 0.0)
                break;
        const int pa = prev[static_cast<size_t>(pick)], pc = next[static_cast<size_t>(pick)];
        if (Area(pa, pick, pc) > 0.0)
            Clip<kOutput>(pa, pick, pc);
        else
            Clip<kOutput>(pa, pc, pick);
        current = cutCorner(pa, pick, pc);
    }

    Close<kOutput>(prev[static_cast<size_t>(current)], current, next[static_cast<size_t>(current)]);
    return emitted;
}

void OutlineTriangulator::LayIntoPlane() {
    // Plane coordinates with u x v along the normal, so the outline runs
    // counter-clockwise (positive area) in them.
    const Vec3 axisU = AnyPerpendicular(normal);
    const Vec3 axisV = Cross(normal, axisU);
    const Vec3 origin = points[0];
    u.resize(points.size());
    v.resize(points.size());
    double uMin = 0.0, uMax = 0.0, vMin = 0.0, vMax = 0.0;
    for (size_t i = 0; i < points.size(); ++i) {
        u[i] = Dot(points[i] - origin, axisU);
        v[i] = Dot(points[i] - origin, axisV);
        uMin = std::min(uMin, u[i]);
        uMax = std::max(uMax, u[i]);
        vMin = std::min(vMin, v[i]);
        vMax = std::max(vMax, v[i]);
    }
    const double extent = std::max(uMax - uMin, vMax - vMin);
    // Corners flatter than this (relative to the outline's size) count as
    // straight: far below float precision of the input, so only truly
    // collinear or doubled-back corners qualify.
    epsilon = extent * extent * 1e-14;
}

template <OutlineTriangulator::Output kOutput>
void OutlineTriangulator::Close(int a, int b, int c) {
    const double area = Area(a, b, c);
    if (area > epsilon)
        Clip<kOutput>(a, b, c);
    else if (area < -epsilon)
        Clip<kOutput>(a, c, b);
}

int OutlineTriangulator::Fill(const std::vector<Vec3>& outline, trelTessellation& out) {
    output = &out;
    cornerOutput = nullptr;
    return Triangulate<Output::Tessellation>(outline);
}

int OutlineTriangulator::FillCorners(const std::vector<Vec3>& outline, std::vector<std::array<int, 3>>& triangles) {
    triangles.clear();
    output = nullptr;
    cornerOutput = &triangles;
    return Triangulate<Output::Corners>(outline);
}

int OutlineTriangulator::FillOrTrace(const std::vector<Vec3>& outline, trelTessellation& out) {
    const int made = Fill(outline, out);
    if (made > 0)
        return made;
    std::vector<trelFloatPoint> trace;
    for (const Vec3& p : outline)
        if (IsFinite(p))
            trace.push_back(p.ToPoint());
    if (trace.size() == 1) {
        out.points.push_back(trace.front());
    } else if (trace.size() > 1) {
        trace.push_back(trace.front());
        out.lineStrips.push_back(std::move(trace));
    }
    return 0;
}

// The margin: along the quad's normal, each corner's turn is at least a
// hundred-millionth of the quad's squared size, some million times the
// straightness threshold of the ear clipping and further still above either
// computation's rounding. Such a quad certainly takes the clipping's
// convex-quad path, and keeps both its triangles there.
int ClearlyConvexQuadCount(const Vec3 (&q)[4]) {
    if (!IsFinite(q[0]) || !IsFinite(q[1]) || !IsFinite(q[2]) || !IsFinite(q[3]))
        return 0;
    const Vec3 d1 = q[1] - q[0], d2 = q[2] - q[0], d3 = q[3] - q[0];
    const double size = std::max({Dot(d1, d1), Dot(d2, d2), Dot(d3, d3)}); // from the first corner
    if (!(size >= 1e-30 && size <= 1e30))
        return 0;
    // The normal the clipping lays the quad into its plane along: twice its
    // vector area, as NewellNormal sums it, which for four corners is the
    // cross product of the diagonals.
    const Vec3 normal = Cross(d2, d3 - d1);
    const double least = 1e-8 * size * Length(normal);
    // Each corner turns by the cross product of its edges in and out.
    const Vec3 edges[4] = {d1, d2 - d1, d3 - d2, -d3};
    for (int i = 0; i < 4; ++i) {
        if (!(Dot(Cross(edges[(i + 3) % 4], edges[i]), normal) > least))
            return 0;
    }
    // Turns that clear leave both triangles (corners 3, 0, 1 and 1, 2, 3)
    // with an area far from zero and from overflow, so both are kept.
    return 2;
}

void OutlineTriangulator::CountOrTrace(const std::vector<Vec3>& outline, trelTessellationCounts& counts) {
    output = nullptr;
    cornerOutput = nullptr;
    int made = 0;
    if (outline.size() == 4) {
        const Vec3 quad[4] = {outline[0], outline[1], outline[2], outline[3]};
        made = ClearlyConvexQuadCount(quad);
    }
    if (made == 0)
        made = Triangulate<Output::Count>(outline);
    if (made > 0) {
        counts.triangles += static_cast<size_t>(made);
        return;
    }
    const size_t finite =
        static_cast<size_t>(std::count_if(outline.begin(), outline.end(), [](const Vec3& p) { return IsFinite(p); }));
    if (finite == 1) {
        ++counts.points;
    } else if (finite > 1) {
        ++counts.lineStrips;
        counts.linePoints += finite + 1;
    }
}

} // namespace trelDetail
