#include "SceneWriter.h"

#include "OutputFile.h"

#include <cmath>
#include <limits>

namespace vrml {

namespace {

uint8_t ColorByte(float value) { return static_cast<uint8_t>(std::lround(Clamp01(value) * 255.0f)); }

// Triangles become faces, polylines edges (one per segment), dots plain
// vertices. Every vertex carries the file's colour for it, or else its
// object's diffuse colour, with the material's alpha; line and point
// vertices have a zero normal. When any object has texture coordinates,
// every vertex has `s t` (0 0 where there are none).
//
// The header counts what follows and whether vertices have `s t`, which
// is known only after the last object. The three sections are spooled to
// temporary files as objects come (each vertex with its `s t`), and Finish
// writes the header, then copies them, leaving `s t` out when no object
// had any. Memory stays that of one object, whatever the output's size;
// the output needs no seeking; the disk holds the body twice for a while.
class PlyWriter : public SceneWriter {
public:
    explicit PlyWriter(const std::string& path) : path(path) {}

    std::string Open(const ExportScene& exported) override {
        scene = &exported;
        return vertexSpool.IsOpen() && faceSpool.IsOpen() && edgeSpool.IsOpen() ? std::string()
                                                                                : "cannot create a temporary file";
    }

    void Add(const ExportObject& exported) override {
        ExportGeometry placed; // an instance expanded
        const ExportGeometry& object = WorldGeometryOf(*scene, exported, placed);
        texCoords = texCoords || object.HasTexCoords();
        const trelChroma& diffuse = scene->materials[static_cast<size_t>(exported.material)].GetDiffuse();
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
            Vertex(object.positions[i], object.normals[i], colored(),
                   object.HasTexCoords() ? object.texCoords[i] : trelTexCoord());
        for (const auto& strip : object.lineStrips)
            for (const trelFloatPoint& p : strip)
                Vertex(p, trelVector(), colored(), trelTexCoord());
        for (const trelFloatPoint& p : object.points)
            Vertex(p, trelVector(), colored(), trelTexCoord());

        for (size_t t = 0; t + 2 < object.triangles.size(); t += 3) {
            faceSpool.UInt8(3);
            for (size_t k = 0; k < 3; ++k)
                faceSpool.UInt32(static_cast<uint32_t>(vertices + object.triangles[t + k]));
        }
        faces += object.GetTriangleCount();
        uint64_t base = vertices + object.positions.size();
        for (const auto& strip : object.lineStrips) {
            for (size_t k = 0; k + 1 < strip.size(); ++k) {
                edgeSpool.UInt32(static_cast<uint32_t>(base + k));
                edgeSpool.UInt32(static_cast<uint32_t>(base + k + 1));
            }
            edges += strip.size() - 1;
            base += strip.size();
        }
        vertices = base + object.points.size();
    }

    std::string Finish() override {
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
        const bool copied = vertexSpool.CopyTo(out, texCoords ? VertexBytes : VertexBytes - 8, VertexBytes) &&
                            faceSpool.CopyTo(out) && edgeSpool.CopyTo(out);
        return copied && out.Commit() ? std::string() : "cannot write the file";
    }

private:
    static constexpr size_t VertexBytes = 36; // position, normal, colour, texture coordinate

    void Vertex(const trelFloatPoint& p, const trelVector& n, const uint8_t* rgba, const trelTexCoord& c) {
        vertexSpool.Float32(p.x);
        vertexSpool.Float32(p.y);
        vertexSpool.Float32(p.z);
        vertexSpool.Float32(n.x);
        vertexSpool.Float32(n.y);
        vertexSpool.Float32(n.z);
        vertexSpool.Bytes(rgba, 4);
        vertexSpool.Float32(c.s);
        vertexSpool.Float32(c.t);
    }

    std::string path;
    const ExportScene* scene = nullptr;
    OutputFile vertexSpool, faceSpool, edgeSpool; // temporary files
    uint64_t vertices = 0, faces = 0, edges = 0;
    bool texCoords = false;
};

} // namespace

std::unique_ptr<SceneWriter> MakePlyWriter(const std::string& path) { return std::make_unique<PlyWriter>(path); }

} // namespace vrml
