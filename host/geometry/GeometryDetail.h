#pragma once
// Internal helpers shared by the geometry objects: double-precision vector
// math, transformation of points and normals, triangle output and exact
// boxes of circular arcs. Not part of the library's interface.

#include "BBox.h"
#include "Matrix.h"
#include "Tessellation.h"
#include "Vectors.h"

#include <cmath>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TREL_GEOMETRY_SSE2 1
#include <emmintrin.h>
#endif

namespace trelDetail {

class AttributeReader;

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 6.28318530717958647692;

// Curved surfaces are split into this many parts per full turn at most;
// beyond that the float coordinates cannot tell the vertices apart anyway
// and a stray option value would only cost memory.
constexpr int kMaxSegments = 4096;
int ClampSegments(int segments);

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
    Vec3() = default;
    Vec3(double vx, double vy, double vz) : x(vx), y(vy), z(vz) {}
    explicit Vec3(const trelFloatPoint& p) : x(p.x), y(p.y), z(p.z) {}
    explicit Vec3(const trelVector& v) : x(v.x), y(v.y), z(v.z) {}
    trelFloatPoint ToPoint() const { return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}; }
    trelVector ToVector() const { return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)}; }
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(const Vec3& a, double f) { return {a.x * f, a.y * f, a.z * f}; }
inline Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
inline bool IsFinite(const Vec3& a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
// Unit vector, or the zero vector when there is no usable direction.
Vec3 Normalized(const Vec3& a);
// A unit vector perpendicular to the unit vector `n`, picked from the world
// axis least aligned with it so that the result is well conditioned.
Vec3 AnyPerpendicular(const Vec3& n);

// Inline: placing points is the inner loop of loading and of every box.
inline Vec3 TransformPoint(const Vec3& p, const trelMatrix4x4& m) {
    Vec3 result(p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
                p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
                p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]);
    // Placements are affine (w stays 1); a projective matrix is honoured as
    // far as it can be, but a point it sends to infinity keeps its
    // undivided coordinates rather than becoming infinite.
    const double w = p.x * m.m[0][3] + p.y * m.m[1][3] + p.z * m.m[2][3] + m.m[3][3];
    if (w != 1.0 && w != 0.0 && std::isfinite(w))
        result = result * (1.0 / w);
    return result;
}
// An affine matrix (fourth column 0, 0, 0, 1) read once into doubles, to
// place many points: w is 1 for a finite point and NaN otherwise, so it
// never divides and is not computed. The sums run as TransformPoint's do.
struct AffinePlacement {
    double m00, m01, m02, m10, m11, m12, m20, m21, m22, m30, m31, m32;
    explicit AffinePlacement(const trelMatrix4x4& m)
        : m00(m.m[0][0]), m01(m.m[0][1]), m02(m.m[0][2]), m10(m.m[1][0]), m11(m.m[1][1]), m12(m.m[1][2]),
          m20(m.m[2][0]), m21(m.m[2][1]), m22(m.m[2][2]), m30(m.m[3][0]), m31(m.m[3][1]), m32(m.m[3][2]) {}
    static bool Fits(const trelMatrix4x4& m) {
        return m.m[0][3] == 0.0f && m.m[1][3] == 0.0f && m.m[2][3] == 0.0f && m.m[3][3] == 1.0f;
    }
    trelFloatPoint operator()(const trelFloatPoint& p) const {
        const double x = p.x, y = p.y, z = p.z;
        return {static_cast<float>(x * m00 + y * m10 + z * m20 + m30),
                static_cast<float>(x * m01 + y * m11 + z * m21 + m31),
                static_cast<float>(x * m02 + y * m12 + z * m22 + m32)};
    }
#ifdef TREL_GEOMETRY_SSE2
    // The placed point as the floats x, y, z, 0: x and y are computed
    // together, with the same operations in the same order as above, so
    // the bits are the same.
    __m128 Packed(const trelFloatPoint& p) const {
        const double x = p.x, y = p.y, z = p.z;
        const __m128d sum = _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(x), _mm_setr_pd(m00, m01)),
                                                             _mm_mul_pd(_mm_set1_pd(y), _mm_setr_pd(m10, m11))),
                                                  _mm_mul_pd(_mm_set1_pd(z), _mm_setr_pd(m20, m21))),
                                       _mm_setr_pd(m30, m31));
        const float placedZ = static_cast<float>(x * m02 + y * m12 + z * m22 + m32);
        return _mm_movelh_ps(_mm_cvtpd_ps(sum), _mm_set_ss(placedZ));
    }
#endif
};
// Each point as p * m, the matrix read once for all of them.
void TransformPoints(trelFloatPoint* points, size_t count, const trelMatrix4x4& m);
inline void TransformPoints(std::vector<trelFloatPoint>& points, const trelMatrix4x4& m) {
    TransformPoints(points.data(), points.size(), m);
}
Vec3 TransformDirection(const Vec3& v, const trelMatrix4x4& m);

// Carries normals through a matrix: with the cofactors of the linear part,
// which equal the inverse transpose up to the determinant, so singular and
// strongly scaled matrices still give finite directions. A mirroring matrix
// has its sign folded in, so outward normals stay outward.
class NormalTransform {
public:
    explicit NormalTransform(const trelMatrix4x4& m);
    Vec3 Apply(const Vec3& n) const; // not normalised
    bool Mirrors() const { return mirrors; }

private:
    Vec3 rows[3];
    bool mirrors = false;
};

// Makes room for `triangles` more triangles (and their colours and texture
// coordinates when `attributes`), so that an object's tessellation grows its
// buffers once rather than face by face. Past room already there, it grows
// at least twofold: objects appended one after another stay linear.
void ReserveTriangles(trelTessellation& out, size_t triangles, bool attributes);

// Triangles in each part of a large object's TessellateInParts: small
// enough that a part stays in the cache while its user reads it.
constexpr size_t kPartTriangles = 4096;

// Writes the parts of TessellateInParts into `part`: after each face, a
// part that holds kPartTriangles triangles goes to the sink; Finish hands
// over what is left. With `attributes` each part is padded as Tessellate
// pads the whole.
class PartsWriter {
public:
    PartsWriter(trelTessellation& part, trelTessellationSink& sink, bool attributes);
    void FaceDone() {
        if (part.GetTriangleCount() >= kPartTriangles)
            HandOver();
    }
    void Finish();

private:
    void HandOver();
    trelTessellation& part;
    trelTessellationSink& sink;
    const bool attributes;
};

// The unit normal of a triangle that EmitTriangle appends; the zero vector
// for one it leaves out (no area, or a non-finite corner).
Vec3 KeptTriangleNormal(const Vec3 (&p)[3]);
// Whether KeptTriangleNormal gives a direction, without taking its root: the
// corners are finite, and the cross product of the sides from a (given) has
// a positive finite length, which always normalizes to a non-zero vector.
inline bool IsKeptTriangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& cross) {
    const double square = Dot(cross, cross);
    return square > 0.0 && std::isfinite(square) && IsFinite(a) && IsFinite(b) && IsFinite(c);
}
inline bool IsKeptTriangle(const Vec3& a, const Vec3& b, const Vec3& c) {
    return IsKeptTriangle(a, b, c, Cross(b - a, c - a));
}

// Appends one triangle. The winding defines the face; a vertex normal that is
// zero falls back to the face normal. A triangle without area (or with a
// non-finite corner) is left out, so no NaN can reach the output. Returns
// whether the triangle was appended.
bool EmitTriangle(trelTessellation& out, const Vec3 (&p)[3], const Vec3 (&n)[3]);
bool EmitFlatTriangle(trelTessellation& out, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& normal);

// Emits triangles given in an object's local space, placed by its matrix.
// Local triangles are wound counter-clockwise seen from outside; a mirroring
// placement would turn them inside out, so their winding is reversed then.
// Given the object's attributes, it also writes white and the texture
// coordinates that the object makes from its shape; without, it ignores them.
class PlacedSurface {
public:
    PlacedSurface(const trelMatrix4x4& m, trelTessellation& out, const AttributeReader* attributes = nullptr)
        : matrix(m), normals(m), output(out), reader(attributes) {}
    void Triangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& na, const Vec3& nb, const Vec3& nc);
    void Triangle(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& na, const Vec3& nb, const Vec3& nc,
                  const trelTexCoord& ta, const trelTexCoord& tb, const trelTexCoord& tc);
    Vec3 Point(const Vec3& local) const { return TransformPoint(local, matrix); }

private:
    void Emit(const Vec3 (&local)[3], const Vec3 (&localNormals)[3], const trelTexCoord* texCoords);

    const trelMatrix4x4& matrix;
    NormalTransform normals;
    trelTessellation& output;
    const AttributeReader* reader;
};

// Whether triangles of a surface of this size about the local point
// `middle`, none thinner than `thinnest` (its smallest angle step or ratio
// of its dimensions), keep their area under this placement: an affine
// matrix far from singular, sizes far from overflow and underflow, and far
// above the rounding of coordinates as large as the surface's. A curved solid then counts its triangles
// from its parts, since not one of them can lose its area in doubles;
// otherwise it counts what its tessellation keeps.
bool KeepsEveryTriangle(const trelMatrix4x4& placement, const Vec3& middle, double size, double thinnest);

// Adds the exact box of the arc center + radius * (cos t * u + sin t * v),
// t from `start` over `sweep` (0..2pi) radians, all in world space. Each
// coordinate is a sinusoid in t, so its extremes are the arc's ends or the
// sinusoid's peaks when they fall inside the arc.
void AddArcToBox(trelBBox& box, const Vec3& center, const Vec3& u, const Vec3& v, double radius, double start,
                 double sweep);
void AddToBox(trelBBox& box, const Vec3& p);

// Normalises an angular range to a start and a sweep in [0, 2pi]; a negative
// sweep runs the other way and is turned around.
void NormaliseSweep(double& start, double& sweep);

// Whether angle t lies on the arc from `start` over `sweep` (0..2pi) radians.
bool AngleOnArc(double t, double start, double sweep);

// Number of parts for an arc of `sweep` radians at the given full-turn resolution.
int SegmentsForSweep(double sweep, int segmentsPerTurn);

// The side of a cone, possibly truncated, about the local z axis: radius
// `bottom` at z = 0, radius `top` at z = height, over the angles from
// `start` through `sweep` measured from direction u towards v (u, v an
// orthonormal pair in the xy plane). Cones and cylinders both are one.
struct FrustumSide {
    double height = 0.0, bottom = 0.0, top = 0.0;
    Vec3 u{1.0, 0.0, 0.0}, v{0.0, 1.0, 0.0};
    double start = 0.0, sweep = kTwoPi;
};
trelBBox GetFrustumBBox(const FrustumSide& side, const trelMatrix4x4& placement);
// Given the object's attributes, the side also gets the texture coordinates
// of the file's cones and cylinders, which the loader stands on the local z
// axis with the file's -z along local +y: s runs from 0 at local +y round
// towards -x (counter-clockwise seen from the top), t from 0 at z = 0 to 1
// at the far rim. A full turn then starts its parts at the seam, s = 0.
void TessellateFrustum(const FrustumSide& side, const trelMatrix4x4& placement, int segments, trelTessellation& out,
                       const AttributeReader* attributes = nullptr);

// The triangles TessellateFrustum writes, or -1 when only writing them can tell.
long long CountFrustumTriangles(const FrustumSide& side, const trelMatrix4x4& placement, int segments);

} // namespace trelDetail
