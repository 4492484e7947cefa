#include "Exporters.h"

#include "OutputFile.h"

#include <cmath>
#include <limits>

namespace {

uint8_t ColorByte(float value) { return static_cast<uint8_t>(std::lround(Clamp01(value) * 255.0f)); }

} // namespace

// Triangles become faces, polylines edges (one per segment), dots plain
// vertices. Every vertex carries the file's colour for it, or else its
// object's diffuse colour, with the material's alpha; line and point
// vertices have a zero normal. When any object has texture coordinates,
// every vertex has `s t` (0 0 where there are none).
std::string WritePly(const ExportScene& scene, const std::string& path) {
    uint64_t vertices = 0, faces = 0, edges = 0;
    bool texCoords = false;
    for (const ExportObject& object : scene.objects) {
        texCoords = texCoords || object.HasTexCoords();
        vertices += object.positions.size() + object.points.size();
        faces += object.GetTriangleCount();
        for (const auto& strip : object.lineStrips) {
            vertices += strip.size();
            edges += strip.size() - 1;
        }
    }
    // Indices are written as 32-bit integers.
    if (vertices > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return "too many vertices for PLY";

    OutputFile out(path);
    if (!out.IsOpen())
        return "cannot create the file";
    out.Text("ply\nformat binary_little_endian 1.0\ncomment written by vrml convert\nelement vertex ");
    out.Number(vertices);
    out.Text("\nproperty float x\nproperty float y\nproperty float z\n"
             "property float nx\nproperty float ny\nproperty float nz\n"
             "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n");
    if (texCoords)
        out.Text("property float s\nproperty float t\n");
    out.Text("element face ");
    out.Number(faces);
    out.Text("\nproperty list uchar int vertex_indices\n");
    if (edges > 0) {
        out.Text("element edge ");
        out.Number(edges);
        out.Text("\nproperty int vertex1\nproperty int vertex2\n");
    }
    out.Text("end_header\n");

    const auto vertex = [&](const trelFloatPoint& p, const trelVector& n, const uint8_t* rgba, const trelTexCoord& c) {
        out.Float32(p.x);
        out.Float32(p.y);
        out.Float32(p.z);
        out.Float32(n.x);
        out.Float32(n.y);
        out.Float32(n.z);
        out.Bytes(rgba, 4);
        if (texCoords) {
            out.Float32(c.s);
            out.Float32(c.t);
        }
    };
    for (const ExportObject& object : scene.objects) {
        const trelChroma& diffuse = scene.materials[static_cast<size_t>(object.material)].GetDiffuse();
        uint8_t rgba[4] = {ColorByte(diffuse.GetRed()), ColorByte(diffuse.GetGreen()), ColorByte(diffuse.GetBlue()),
                           ColorByte(diffuse.GetAlpha())};
        size_t color = 0; // the next of the object's colours
        const auto colored = [&]() {
            if (object.HasColors()) {
                const trelChroma& c = object.colors[color++];
                rgba[0] = ColorByte(c.GetRed());
                rgba[1] = ColorByte(c.GetGreen());
                rgba[2] = ColorByte(c.GetBlue());
            }
            return rgba;
        };
        for (size_t i = 0; i < object.positions.size(); ++i)
            vertex(object.positions[i], object.normals[i], colored(),
                   object.HasTexCoords() ? object.texCoords[i] : trelTexCoord());
        for (const auto& strip : object.lineStrips)
            for (const trelFloatPoint& p : strip)
                vertex(p, trelVector(), colored(), trelTexCoord());
        for (const trelFloatPoint& p : object.points)
            vertex(p, trelVector(), colored(), trelTexCoord());
    }
    uint32_t base = 0;
    for (const ExportObject& object : scene.objects) {
        for (size_t t = 0; t + 2 < object.triangles.size(); t += 3) {
            out.UInt8(3);
            for (size_t k = 0; k < 3; ++k)
                out.UInt32(base + object.triangles[t + k]);
        }
        base += static_cast<uint32_t>(object.positions.size());
        for (const auto& strip : object.lineStrips) {
            base += static_cast<uint32_t>(strip.size());
        }
        base += static_cast<uint32_t>(object.points.size());
    }
    base = 0;
    for (const ExportObject& object : scene.objects) {
        base += static_cast<uint32_t>(object.positions.size());
        for (const auto& strip : object.lineStrips) {
            for (size_t k = 0; k + 1 < strip.size(); ++k) {
                out.UInt32(base + static_cast<uint32_t>(k));
                out.UInt32(base + static_cast<uint32_t>(k + 1));
            }
            base += static_cast<uint32_t>(strip.size());
        }
        base += static_cast<uint32_t>(object.points.size());
    }
    return out.Commit() ? std::string() : "cannot write the file";
}
