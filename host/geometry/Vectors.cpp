#include "Vectors.h"

#include <cmath>

// All vector math runs in double and rounds once at the end: the inputs are
// floats, so double keeps cancellation (nearly parallel vectors, long
// coordinates) from showing up in the float result.

double trelVector::Length() const {
    const double dx = x, dy = y, dz = z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double trelVector::Normalize() {
    const double length = Length();
    // A zero (or overflowing) length would turn the vector into NaN; leaving
    // it as it is lets callers test the returned length instead.
    if (!(length > 0.0) || !std::isfinite(length))
        return length;
    x = static_cast<float>(x / length);
    y = static_cast<float>(y / length);
    z = static_cast<float>(z / length);
    return length;
}

trelVector CrossProduct(const trelVector& a, const trelVector& b) {
    const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
    return {static_cast<float>(ay * bz - az * by), static_cast<float>(az * bx - ax * bz),
            static_cast<float>(ax * by - ay * bx)};
}

double DotProduct(const trelVector& a, const trelVector& b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y + static_cast<double>(a.z) * b.z;
}

double CalculateAngleBetweenVectors(const trelVector& a, const trelVector& b) {
    const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
    const double cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
    const double sine = std::sqrt(cx * cx + cy * cy + cz * cz);
    const double cosine = ax * bx + ay * by + az * bz;
    if (sine == 0.0 && cosine == 0.0)
        return 0.0; // a zero vector has no direction
    // atan2 of the (unnormalised) sine and cosine instead of acos of the
    // normalised dot product: acos loses about half the digits next to 0 and
    // 180 degrees, exactly where callers test for (anti)parallel directions,
    // and it needs no clamping of its argument.
    constexpr double degreesPerRadian = 57.295779513082320876798;
    return std::atan2(sine, cosine) * degreesPerRadian;
}
