#include "Exporters.h"

#include "OutputFile.h"

#include <cmath>
#include <limits>

namespace {

uint8_t ColorByte(float value) { return static_cast<uint8_t>(std::lround(Clamp01(value) * 255.0f)); }

} // namespace

// Triangles become faces, polylines edges (one per segment), dots plain
// vertices. Every vertex carries its object's diffuse colour and alpha;
// line and point vertices have a zero normal.
std::string WritePly(const ExportScene& scene, const std::string& path) {
    uint64_t vertices = 0, faces = 0, edges = 0;
    for (const ExportObject& object : scene.objects) {
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
             "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
             "element face ");
    out.Number(faces);
    out.Text("\nproperty list uchar int vertex_indices\n");
    if (edges > 0) {
        out.Text("element edge ");
        out.Number(edges);
        out.Text("\nproperty int vertex1\nproperty int vertex2\n");
    }
    out.Text("end_header\n");

    const auto vertex = [&](const trelFloatPoint& p, const trelVector& n, const uint8_t* rgba) {
        out.Float32(p.x);
        out.Float32(p.y);
        out.Float32(p.z);
        out.Float32(n.x);
        out.Float32(n.y);
        out.Float32(n.z);
        out.Bytes(rgba, 4);
    };
    for (const ExportObject& object : scene.objects) {
        const trelChroma& diffuse = scene.materials[static_cast<size_t>(object.material)].GetDiffuse();
        const uint8_t rgba[4] = {ColorByte(diffuse.GetRed()), ColorByte(diffuse.GetGreen()),
                                 ColorByte(diffuse.GetBlue()), ColorByte(diffuse.GetAlpha())};
        for (size_t i = 0; i < object.positions.size(); ++i)
            vertex(object.positions[i], object.normals[i], rgba);
        for (const auto& strip : object.lineStrips)
            for (const trelFloatPoint& p : strip)
                vertex(p, trelVector(), rgba);
        for (const trelFloatPoint& p : object.points)
            vertex(p, trelVector(), rgba);
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
