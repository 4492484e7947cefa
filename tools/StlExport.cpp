#include "Exporters.h"

#include "OutputFile.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The facet normal from the winding; where the triangle has no area, the
// mean of its vertex normals.
trelVector FacetNormal(const ExportObject& object, size_t t) {
    const trelFloatPoint& a = object.positions[object.triangles[t]];
    const trelFloatPoint& b = object.positions[object.triangles[t + 1]];
    const trelFloatPoint& c = object.positions[object.triangles[t + 2]];
    trelVector normal = CrossProduct(b - a, c - a);
    if (normal.Normalize() > 0.0 && std::isfinite(normal.x) && std::isfinite(normal.y) && std::isfinite(normal.z))
        return normal;
    normal = object.normals[object.triangles[t]] + object.normals[object.triangles[t + 1]] +
             object.normals[object.triangles[t + 2]];
    normal.Normalize();
    return normal;
}

} // namespace

std::string WriteStl(const ExportScene& scene, const std::string& path) {
    const size_t triangles = scene.GetTriangleCount();
    if (triangles > std::numeric_limits<uint32_t>::max())
        return "too many triangles for STL";
    OutputFile out(path);
    if (!out.IsOpen())
        return "cannot create the file";
    // The header must not begin with "solid", or readers take the file for ASCII STL.
    char header[80];
    std::memset(header, ' ', sizeof header);
    const char title[] = "binary STL written by vrml convert";
    std::memcpy(header, title, sizeof title - 1);
    out.Bytes(header, sizeof header);
    out.UInt32(static_cast<uint32_t>(triangles));
    for (const ExportObject& object : scene.objects) {
        for (size_t t = 0; t + 2 < object.triangles.size(); t += 3) {
            const trelVector normal = FacetNormal(object, t);
            out.Float32(normal.x);
            out.Float32(normal.y);
            out.Float32(normal.z);
            for (size_t k = 0; k < 3; ++k) {
                const trelFloatPoint& p = object.positions[object.triangles[t + k]];
                out.Float32(p.x);
                out.Float32(p.y);
                out.Float32(p.z);
            }
            out.UInt16(0);
        }
    }
    return out.Commit() ? std::string() : "cannot write the file";
}
