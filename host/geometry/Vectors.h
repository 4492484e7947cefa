#pragma once
// Points and vectors: plain values of three floats, with free functions for the math.

#include <cmath>

struct trelFloatPoint {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    trelFloatPoint() = default;
    trelFloatPoint(float px, float py, float pz) : x(px), y(py), z(pz) {}
    bool operator==(const trelFloatPoint& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator!=(const trelFloatPoint& o) const { return !(*this == o); }
};

struct trelVector {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    trelVector() = default;
    trelVector(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}
    // The vector from a to b.
    trelVector(const trelFloatPoint& a, const trelFloatPoint& b) : x(b.x - a.x), y(b.y - a.y), z(b.z - a.z) {}
    explicit trelVector(const trelFloatPoint& p) : x(p.x), y(p.y), z(p.z) {}

    double Length() const;
    // Scales to unit length; a zero vector stays zero. Returns the old length.
    double Normalize();
    trelVector& operator*=(float f) {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    trelVector operator-() const { return {-x, -y, -z}; }
    bool operator==(const trelVector& o) const { return x == o.x && y == o.y && z == o.z; }
};

inline trelVector operator+(const trelVector& a, const trelVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline trelVector operator-(const trelVector& a, const trelVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline trelVector operator*(const trelVector& a, float f) { return {a.x * f, a.y * f, a.z * f}; }
inline trelFloatPoint operator+(const trelFloatPoint& p, const trelVector& v) {
    return {p.x + v.x, p.y + v.y, p.z + v.z};
}
inline trelFloatPoint operator-(const trelFloatPoint& p, const trelVector& v) {
    return {p.x - v.x, p.y - v.y, p.z - v.z};
}
inline trelVector operator-(const trelFloatPoint& a, const trelFloatPoint& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

trelVector CrossProduct(const trelVector& a, const trelVector& b);
double DotProduct(const trelVector& a, const trelVector& b);
inline double trelFabs(double v) { return std::fabs(v); }
// Angle between two vectors in degrees, 0 to 180; 0 when either is zero.
double CalculateAngleBetweenVectors(const trelVector& a, const trelVector& b);
