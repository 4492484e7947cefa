#include "FacetedMesh.h"

#include <cmath>
#include <cstring>

namespace vrml {

namespace {

// cos(0.01 degree): a normal this close to its face's shades the same.
constexpr double SameDirection = 0.99999998476912904;

bool ShadedByItsFace(const ExportGeometry& geometry, size_t t) {
    const trelFloatPoint& a = geometry.positions[geometry.triangles[t]];
    const trelFloatPoint& b = geometry.positions[geometry.triangles[t + 1]];
    const trelFloatPoint& c = geometry.positions[geometry.triangles[t + 2]];
    const double u[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double v[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double face[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double length = std::sqrt(face[0] * face[0] + face[1] * face[1] + face[2] * face[2]);
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    for (size_t k = 0; k < 3; ++k) {
        const trelVector& n = geometry.normals[geometry.triangles[t + k]];
        const double along = (face[0] * n.x + face[1] * n.y + face[2] * n.z) / length;
        const double size = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
        if (!(size > 0.0) || !(along >= SameDirection * size))
            return false;
    }
    return true;
}

uint64_t HashOf(const trelFloatPoint& p) {
    uint32_t bits[3];
    std::memcpy(&bits[0], &p.x, 4);
    std::memcpy(&bits[1], &p.y, 4);
    std::memcpy(&bits[2], &p.z, 4);
    uint64_t h = (bits[0] | uint64_t(bits[1]) << 32) * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 29) ^ bits[2]) * 0xBF58476D1CE4E5B9ull;
    return h ^ (h >> 32);
}

bool SameBits(const trelFloatPoint& p, const trelFloatPoint& q) { return std::memcmp(&p, &q, sizeof p) == 0; }

} // namespace

bool MakeFacetedMesh(const ExportGeometry& geometry, FacetedMesh& out) {
    out = FacetedMesh();
    if (geometry.triangles.empty() || geometry.normals.size() != geometry.positions.size())
        return false;
    for (size_t t = 0; t + 2 < geometry.triangles.size(); t += 3)
        if (!ShadedByItsFace(geometry, t))
            return false;
    // Positions numbered by their bits in an open table of twice the vertices.
    size_t size = 16;
    while (size < 2 * geometry.positions.size())
        size *= 2;
    std::vector<uint32_t> slots(size, 0); // a number + 1; 0 is free
    std::vector<uint32_t> renumbered(geometry.positions.size());
    out.positions.reserve(geometry.positions.size());
    for (size_t i = 0; i < geometry.positions.size(); ++i) {
        const trelFloatPoint& p = geometry.positions[i];
        for (size_t at = HashOf(p) & (size - 1);; at = (at + 1) & (size - 1)) {
            if (slots[at] == 0) {
                out.positions.push_back(p);
                slots[at] = static_cast<uint32_t>(out.positions.size());
                renumbered[i] = slots[at] - 1;
                break;
            }
            if (SameBits(out.positions[slots[at] - 1], p)) {
                renumbered[i] = slots[at] - 1;
                break;
            }
        }
    }
    out.triangles.reserve(geometry.triangles.size());
    for (uint32_t index : geometry.triangles)
        out.triangles.push_back(renumbered[index]);
    return true;
}

} // namespace vrml
