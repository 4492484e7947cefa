#include "Matrix.h"

#include "GeometryDetail.h"

#include <cmath>
#include <limits>
#include <utility>

using trelDetail::Vec3;

void trelMatrix4x4::SetIdentity() {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = (r == c) ? 1.0f : 0.0f;
}

namespace {

// What the product with an identity factor gives: the other factor, except
// that a sum started at +0 turns a negative zero positive.
trelMatrix4x4 ProductWithIdentity(const trelMatrix4x4& other) {
    trelMatrix4x4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result.m[r][c] = other.m[r][c] + 0.0f;
    return result;
}

// Whether `m` only moves: the identity with a translation in its last row.
bool IsDisplacement(const trelMatrix4x4& m) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if (m.m[r][c] != ((r == c) ? 1.0f : 0.0f))
                return false;
    return m.m[3][3] == 1.0f;
}

// What the product with a finite `a` and a displacement gives: of each sum,
// only the term of the identity and that of the translation are not zero,
// and zero terms leave a sum that started at +0 as it is.
trelMatrix4x4 ProductWithDisplacement(const trelMatrix4x4& a, const trelMatrix4x4& move) {
    trelMatrix4x4 result;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            result.m[r][c] = static_cast<float>((0.0 + a.m[r][c]) + static_cast<double>(a.m[r][3]) * move.m[3][c]);
        result.m[r][3] = a.m[r][3] + 0.0f;
    }
    return result;
}

} // namespace

trelMatrix4x4 operator*(const trelMatrix4x4& a, const trelMatrix4x4& b) {
    // Most factors of a placement are the identity (a Transform with only a
    // translation multiplies seven): those products are skipped, with the
    // very result the arithmetic would give. A factor with an infinity or a
    // NaN is multiplied out, since 0 times it spreads NaN.
    if (IsIdentityMatrix(b) && IsFiniteMatrix(a))
        return ProductWithIdentity(a);
    if (IsIdentityMatrix(a) && IsFiniteMatrix(b))
        return ProductWithIdentity(b);
    if (IsDisplacement(b) && IsFiniteMatrix(a))
        return ProductWithDisplacement(a, b);
    // Row vectors: p * (a * b) == (p * a) * b, so `a` acts first.
    trelMatrix4x4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a.m[r][k]) * b.m[k][c];
            result.m[r][c] = static_cast<float>(sum);
        }
    return result;
}

trelFloatPoint operator*(const trelFloatPoint& p, const trelMatrix4x4& m) {
    return trelDetail::TransformPoint(Vec3(p), m).ToPoint();
}

void TransformPointsInPlace(trelFloatPoint* points, size_t count, const trelMatrix4x4& m) {
    trelDetail::TransformPoints(points, count, m);
}

trelVector operator*(const trelVector& v, const trelMatrix4x4& m) {
    return trelDetail::TransformDirection(Vec3(v), m).ToVector();
}

trelMatrix4x4 GetDisplacementMatrix(const trelFloatPoint& t) {
    trelMatrix4x4 result;
    result.m[3][0] = t.x;
    result.m[3][1] = t.y;
    result.m[3][2] = t.z;
    return result;
}

trelMatrix4x4 GetScaleMatrix(const trelFloatPoint& s) {
    trelMatrix4x4 result;
    result.m[0][0] = s.x;
    result.m[1][1] = s.y;
    result.m[2][2] = s.z;
    return result;
}

namespace {

// Rotation about a unit axis, written for row vectors: the transpose of the
// familiar column-vector (Rodrigues) matrix.
trelMatrix4x4 RotationAboutUnitAxis(const Vec3& k, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double rotation[3][3] = {
        {t * k.x * k.x + c, t * k.x * k.y + s * k.z, t * k.x * k.z - s * k.y},
        {t * k.x * k.y - s * k.z, t * k.y * k.y + c, t * k.y * k.z + s * k.x},
        {t * k.x * k.z + s * k.y, t * k.y * k.z - s * k.x, t * k.z * k.z + c},
    };
    trelMatrix4x4 result;
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            result.m[r][col] = static_cast<float>(rotation[r][col]);
    return result;
}

} // namespace

trelMatrix4x4 CreateRotationMatrixForNormalAngle(const trelVector& axis, double angle) {
    const Vec3 k = trelDetail::Normalized(Vec3(axis));
    if (Dot(k, k) == 0.0 || !std::isfinite(angle))
        return trelMatrix4x4();
    return RotationAboutUnitAxis(k, angle);
}

trelMatrix4x4 CreateRotationMatrixForVectors(const trelVector& from, const trelVector& to, const trelVector* axis) {
    const Vec3 a = trelDetail::Normalized(Vec3(from));
    const Vec3 b = trelDetail::Normalized(Vec3(to));
    if (Dot(a, a) == 0.0 || Dot(b, b) == 0.0)
        return trelMatrix4x4(); // no direction to turn

    const Vec3 cross = Cross(a, b);
    const double sine = trelDetail::Length(cross);
    const double cosine = Dot(a, b);

    // Below this sine the cross product of two float directions is mostly
    // rounding noise and no longer names an axis. Turning by pi about any
    // axis perpendicular to `from` then lands on `to` within the same noise.
    constexpr double parallelSine = 1e-6;
    if (cosine > 0.0) {
        if (sine == 0.0)
            return trelMatrix4x4();
        // For a small angle the axis may be noisy but hardly matters.
        return RotationAboutUnitAxis(cross * (1.0 / sine), std::atan2(sine, cosine));
    }
    if (sine >= parallelSine)
        return RotationAboutUnitAxis(cross * (1.0 / sine), std::atan2(sine, cosine));

    // Opposite directions. Only the part of a given axis perpendicular to
    // `from` can turn `from` into `-from`; for an axis that is already
    // perpendicular (the usual case) this is the axis itself.
    Vec3 k;
    if (axis) {
        const Vec3 given(*axis);
        k = trelDetail::Normalized(given - a * Dot(given, a));
    }
    if (Dot(k, k) == 0.0)
        k = trelDetail::AnyPerpendicular(a);
    return RotationAboutUnitAxis(k, trelDetail::kPi);
}

trelMatrix4x4 CreateMatrixFromPlane(const trelPlane& plane) {
    Vec3 z = trelDetail::Normalized(Vec3(plane.normal));
    if (Dot(z, z) == 0.0)
        z = Vec3(0.0, 0.0, 1.0);
    // For a normal along +z the frame is the identity rotation, so flat
    // objects in the xy plane keep their own x and y directions.
    const Vec3 x = trelDetail::AnyPerpendicular(z);
    const Vec3 y = Cross(z, x);
    const Vec3 axes[3] = {x, y, z};
    trelMatrix4x4 result;
    for (int r = 0; r < 3; ++r) {
        result.m[r][0] = static_cast<float>(axes[r].x);
        result.m[r][1] = static_cast<float>(axes[r].y);
        result.m[r][2] = static_cast<float>(axes[r].z);
    }
    result.m[3][0] = plane.point.x;
    result.m[3][1] = plane.point.y;
    result.m[3][2] = plane.point.z;
    return result;
}

trelMatrix4x4 GetInverseMatrix(const trelMatrix4x4& m) {
    if (IsIdentityMatrix(m))
        return trelMatrix4x4(); // what the elimination below gives, exactly
    // Gauss-Jordan elimination with partial pivoting, in double.
    double a[4][8];
    double largest = 0.0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = m.m[r][c];
            a[r][c + 4] = (r == c) ? 1.0 : 0.0;
            largest = std::fmax(largest, std::fabs(a[r][c]));
        }
    if (!(largest > 0.0) || !std::isfinite(largest))
        return trelMatrix4x4();
    // A pivot this small against the largest entry means the rows are
    // dependent up to double rounding; such a matrix has no usable inverse.
    const double tiny = largest * 1e-15;

    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (!(std::fabs(a[pivot][col]) > tiny))
            return trelMatrix4x4();
        if (pivot != col)
            for (int c = 0; c < 8; ++c)
                std::swap(a[pivot][c], a[col][c]);
        const double scale = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c)
            a[col][c] *= scale;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0)
                continue;
            const double factor = a[r][col];
            for (int c = 0; c < 8; ++c)
                a[r][c] -= factor * a[col][c];
        }
    }

    trelMatrix4x4 result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const double value = a[r][c + 4];
            // An inverse beyond float range is as unusable as none at all.
            if (!(std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max())))
                return trelMatrix4x4();
            result.m[r][c] = static_cast<float>(value);
        }
    return result;
}

bool IsFiniteMatrix(const trelMatrix4x4& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c]))
                return false;
    return true;
}

int IsIdentityMatrix(const trelMatrix4x4& m) {
    // Exact: callers use this to skip a transformation, and skipping one that
    // is merely close would move points by that small difference. Rows from
    // the last: a move, the commonest placement, shows at the first compare.
    for (int r = 3; r >= 0; --r)
        for (int c = 0; c < 4; ++c)
            if (m.m[r][c] != ((r == c) ? 1.0f : 0.0f))
                return 0;
    return 1;
}
