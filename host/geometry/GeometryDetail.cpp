#include "GeometryDetail.h"

#include "AttributeReader.h"

#include <algorithm>
#include <cmath>

namespace trelDetail {

int ClampSegments(int segments) { return std::min(std::max(segments, 3), kMaxSegments); }

Vec3 Normalized(const Vec3& a) {
    const double length = Length(a);
    if (!(length > 0.0) || !std::isfinite(length))
        return Vec3();
    return a * (1.0 / length);
}

Vec3 AnyPerpendicular(const Vec3& n) {
    const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    Vec3 helper(1.0, 0.0, 0.0);
    if (ay < ax && ay <= az)
        helper = Vec3(0.0, 1.0, 0.0);
    else if (az < ax && az < ay)
        helper = Vec3(0.0, 0.0, 1.0);
    return Normalized(helper - n * Dot(helper, n));
}

void TransformPoints(trelFloatPoint* points, size_t count, const trelMatrix4x4& m) {
    trelFloatPoint* const end = points + count;
    if (!AffinePlacement::Fits(m)) {
        for (trelFloatPoint* p = points; p != end; ++p)
            *p = TransformPoint(Vec3(*p), m).ToPoint();
        return;
    }
    const AffinePlacement place(m);
#ifdef TREL_GEOMETRY_SSE2
    for (trelFloatPoint* p = points; p != end; ++p) {
        const __m128 placed = place.Packed(*p);
        _mm_storel_pi(reinterpret_cast<__m64*>(&p->x), placed);
        _mm_store_ss(&p->z, _mm_movehl_ps(placed, placed));
    }
#else
    for (trelFloatPoint* p = points; p != end; ++p)
        *p = place(*p);
#endif
}

Vec3 TransformDirection(const Vec3& v, const trelMatrix4x4& m) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0], v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

NormalTransform::NormalTransform(const trelMatrix4x4& m) {
    const Vec3 r0(m.m[0][0], m.m[0][1], m.m[0][2]);
    const Vec3 r1(m.m[1][0], m.m[1][1], m.m[1][2]);
    const Vec3 r2(m.m[2][0], m.m[2][1], m.m[2][2]);
    rows[0] = Cross(r1, r2);
    rows[1] = Cross(r2, r0);
    rows[2] = Cross(r0, r1);
    mirrors = Dot(r0, rows[0]) < 0.0;
    if (mirrors)
        for (Vec3& row : rows)
            row = -row;
}

Vec3 NormalTransform::Apply(const Vec3& n) const { return rows[0] * n.x + rows[1] * n.y + rows[2] * n.z; }

namespace {
template <class Item>
void ReserveMore(std::vector<Item>& items, size_t more) {
    const size_t wanted = items.size() + more;
    if (wanted > items.capacity())
        items.reserve(std::max(wanted, 2 * items.capacity()));
}
} // namespace

void ReserveTriangles(trelTessellation& out, size_t triangles, bool attributes) {
    ReserveMore(out.triangleVertices, 3 * triangles);
    ReserveMore(out.triangleNormals, 3 * triangles);
    if (attributes) {
        ReserveMore(out.triangleColors, 3 * triangles);
        ReserveMore(out.triangleTexCoords, 3 * triangles);
    }
}

PartsWriter::PartsWriter(trelTessellation& out, trelTessellationSink& to, bool withAttributes)
    : part(out), sink(to), attributes(withAttributes) {
    part.Clear();
    ReserveTriangles(part, kPartTriangles, attributes);
}

void PartsWriter::HandOver() {
    if (attributes)
        PadAttributes(part);
    sink.Take(part);
    part.Clear(); // the sink may have swapped in buffers of its own
    ReserveTriangles(part, kPartTriangles, attributes);
}

void PartsWriter::Finish() {
    if (part.GetTriangleCount() > 0 || !part.lineStrips.empty() || !part.points.empty())
        HandOver();
}

Vec3 KeptTriangleNormal(const Vec3 (&p)[3]) {
    const Vec3 face = Normalized(Cross(p[1] - p[0], p[2] - p[0]));
    if (!IsFinite(p[0]) || !IsFinite(p[1]) || !IsFinite(p[2]))
        return Vec3();
    return face;
}

bool EmitTriangle(trelTessellation& out, const Vec3 (&p)[3], const Vec3 (&n)[3]) {
    const Vec3 face = KeptTriangleNormal(p);
    if (Dot(face, face) == 0.0)
        return false;
    for (int i = 0; i < 3; ++i) {
        Vec3 normal = Normalized(n[i]);
        if (Dot(normal, normal) == 0.0)
            normal = face;
        out.triangleVertices.push_back(p[i].ToPoint());
        out.triangleNormals.push_back(normal.ToVector());
    }
    return true;
}

bool EmitFlatTriangle(trelTessellation& out, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& normal) {
    // EmitTriangle with one normal at every corner, made unit once; the
    // face's own normal is made only when needed.
    const Vec3 p[3] = {a, b, c};
    const Vec3 cross = Cross(b - a, c - a);
    if (!IsKeptTriangle(a, b, c, cross))
        return false;
    Vec3 unit = Normalized(normal);
    if (Dot(unit, unit) == 0.0)
        unit = Normalized(cross);
    const trelVector shared = unit.ToVector();
    for (int i = 0; i < 3; ++i) {
        out.triangleVertices.push_back(p[i].ToPoint());
        out.triangleNormals.push_back(shared);
    }
    return true;
}

void PlacedSurface::Triangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& na, const Vec3& nb,
                             const Vec3& nc) {
    const Vec3 p[3] = {a, b, c};
    const Vec3 n[3] = {na, nb, nc};
    Emit(p, n, nullptr);
}

void PlacedSurface::Triangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& na, const Vec3& nb,
                             const Vec3& nc, const trelTexCoord& ta, const trelTexCoord& tb, const trelTexCoord& tc) {
    const Vec3 p[3] = {a, b, c};
    const Vec3 n[3] = {na, nb, nc};
    const trelTexCoord t[3] = {ta, tb, tc};
    Emit(p, n, reader ? t : nullptr);
}

void PlacedSurface::Emit(const Vec3 (&local)[3], const Vec3 (&localNormals)[3], const trelTexCoord* texCoords) {
    // The second and third corners trade places under a mirror.
    const int order[3] = {0, normals.Mirrors() ? 2 : 1, normals.Mirrors() ? 1 : 2};
    Vec3 p[3], n[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = Point(local[order[i]]);
        n[i] = normals.Apply(localNormals[order[i]]);
    }
    if (!texCoords) {
        EmitTriangle(output, p, n);
        return;
    }
    VertexExtras extras[3];
    for (int i = 0; i < 3; ++i)
        extras[i].texCoord = reader->Map(texCoords[order[i]]);
    EmitTriangle(output, p, n, extras);
}

bool KeepsEveryTriangle(const trelMatrix4x4& placement, const Vec3& middle, double size, double thinnest) {
    const auto& m = placement.m;
    if (m[0][3] != 0.0f || m[1][3] != 0.0f || m[2][3] != 0.0f || m[3][3] != 1.0f)
        return false;
    const Vec3 r0(m[0][0], m[0][1], m[0][2]), r1(m[1][0], m[1][1], m[1][2]), r2(m[2][0], m[2][1], m[2][2]);
    const Vec3 shift(m[3][0], m[3][1], m[3][2]);
    const double norm = std::sqrt(Dot(r0, r0) + Dot(r1, r1) + Dot(r2, r2));
    const double determinant = std::fabs(Dot(r0, Cross(r1, r2)));
    // Far from singular: no direction shrinks to less than about a
    // thousandth of the largest.
    if (!IsFinite(shift) || !std::isfinite(norm) || !std::isfinite(determinant) ||
        !(determinant >= 1e-9 * norm * norm * norm))
        return false;
    // Then a triangle's sides and area stay far above rounding, and its
    // products far inside the range of doubles.
    const double smallest = size * thinnest * std::cbrt(determinant) / norm;
    // Every sum on the way rounds at the size of its largest term.
    const double farthest = Length(TransformPoint(middle, placement)) + Length(shift) + (Length(middle) + size) * norm;
    return thinnest >= 1e-4 && std::isfinite(farthest) && farthest < 1e100 && smallest > 1e-100 &&
           smallest > 1e-6 * farthest;
}

void AddToBox(trelBBox& box, const Vec3& p) { box.AddPoint(p.ToPoint()); }

bool AngleOnArc(double t, double start, double sweep) {
    double offset = std::fmod(t - start, kTwoPi);
    if (offset < 0.0)
        offset += kTwoPi;
    return offset <= sweep;
}

int SegmentsForSweep(double sweep, int segmentsPerTurn) {
    // The small allowance keeps a full turn given in float (a hair above two
    // pi, capped to it) from asking for one extra part.
    const double parts = std::ceil(ClampSegments(segmentsPerTurn) * (sweep / kTwoPi) - 1e-9);
    if (!(parts >= 1.0))
        return 1;
    return static_cast<int>(std::min(parts, static_cast<double>(kMaxSegments)));
}

void AddArcToBox(trelBBox& box, const Vec3& center, const Vec3& u, const Vec3& v, double radius, double start,
                 double sweep) {
    const double centre[3] = {center.x, center.y, center.z};
    const double cu[3] = {u.x * radius, u.y * radius, u.z * radius};
    const double cv[3] = {v.x * radius, v.y * radius, v.z * radius};
    const bool fullTurn = sweep >= kTwoPi;
    const double end = start + sweep;
    double low[3], high[3];
    for (int i = 0; i < 3; ++i) {
        const double amplitude = std::hypot(cu[i], cv[i]);
        if (fullTurn) {
            low[i] = centre[i] - amplitude;
            high[i] = centre[i] + amplitude;
            continue;
        }
        const double atStart = centre[i] + cu[i] * std::cos(start) + cv[i] * std::sin(start);
        const double atEnd = centre[i] + cu[i] * std::cos(end) + cv[i] * std::sin(end);
        low[i] = std::min(atStart, atEnd);
        high[i] = std::max(atStart, atEnd);
        if (amplitude == 0.0)
            continue;
        const double peak = std::atan2(cv[i], cu[i]);
        if (AngleOnArc(peak, start, sweep))
            high[i] = centre[i] + amplitude;
        if (AngleOnArc(peak + kPi, start, sweep))
            low[i] = centre[i] - amplitude;
    }
    AddToBox(box, Vec3(low[0], low[1], low[2]));
    AddToBox(box, Vec3(high[0], high[1], high[2]));
}

void NormaliseSweep(double& start, double& sweep) {
    if (!std::isfinite(start))
        start = 0.0;
    if (!std::isfinite(sweep))
        sweep = kTwoPi;
    if (sweep < 0.0) {
        start += sweep;
        sweep = -sweep;
    }
    // The loader passes the float just above two pi for a full turn; without
    // the cap the last segment would overlap the first.
    sweep = std::min(sweep, kTwoPi);
}

} // namespace trelDetail
