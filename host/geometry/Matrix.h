#pragma once
// 4x4 matrices acting on row vectors: a point is transformed as point times
// matrix, so in the product A * B the factor A acts first. The fourth row
// holds the translation.

#include "Vectors.h"

#include <cstddef>

struct trelPlane {
    trelFloatPoint point;
    trelVector normal;
    trelPlane() = default;
    trelPlane(const trelFloatPoint& p, const trelVector& n) : point(p), normal(n) {}
};

struct trelMatrix4x4 {
    float m[4][4];
    trelMatrix4x4() { SetIdentity(); }
    void SetIdentity();
    float& operator()(int row, int column) { return m[row][column]; }
    float operator()(int row, int column) const { return m[row][column]; }
    float GetElement(int row, int column) const { return m[row][column]; }
    void SetElement(int row, int column, float value) { m[row][column] = value; }
};

trelMatrix4x4 operator*(const trelMatrix4x4& a, const trelMatrix4x4& b);
trelFloatPoint operator*(const trelFloatPoint& p, const trelMatrix4x4& m); // with translation
trelVector operator*(const trelVector& v, const trelMatrix4x4& m);         // direction: no translation
// Each point replaced by p * m, bit for bit, the matrix read once for all.
void TransformPointsInPlace(trelFloatPoint* points, size_t count, const trelMatrix4x4& m);

trelMatrix4x4 GetDisplacementMatrix(const trelFloatPoint& t);
trelMatrix4x4 GetScaleMatrix(const trelFloatPoint& s);
// Right-handed rotation by `angle` radians about `axis`; identity for a zero axis.
trelMatrix4x4 CreateRotationMatrixForNormalAngle(const trelVector& axis, double angle);
// The rotation turning direction `from` into `to`; about `axis` when given
// (needed when the two are opposite and the rotation axis is not determined).
trelMatrix4x4 CreateRotationMatrixForVectors(const trelVector& from, const trelVector& to,
                                             const trelVector* axis = nullptr);
// A frame with its origin at the plane's point and its z axis along the normal, no scale.
trelMatrix4x4 CreateMatrixFromPlane(const trelPlane& plane);
// The inverse; the identity for a singular matrix.
trelMatrix4x4 GetInverseMatrix(const trelMatrix4x4& m);
int IsIdentityMatrix(const trelMatrix4x4& m);
// No element is infinite or NaN.
bool IsFiniteMatrix(const trelMatrix4x4& m);
