#include "SceneWriter.h"

#include "OutputFile.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace vrml {

namespace {

// The facet normal from the winding; where the triangle has no area, the
// mean of its vertex normals.
trelVector FacetNormal(const ExportGeometry& object, size_t t) {
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

// The triangle count in the header is known only at the end: it is
// written as 0 and then patched in place, which needs a seekable output.
class StlWriter : public SceneWriter {
public:
    explicit StlWriter(const std::string& path) : out(path) {}

    std::string Open(const ExportScene& exported) override {
        scene = &exported;
        if (!out.IsOpen())
            return "cannot create the file";
        // The header must not begin with "solid", or readers take the file for ASCII STL.
        char header[80];
        std::memset(header, ' ', sizeof header);
        const char title[] = "binary STL written by vrml convert";
        std::memcpy(header, title, sizeof title - 1);
        out.Bytes(header, sizeof header);
        out.UInt32(0);
        return std::string();
    }

    void Add(const ExportObject& exported) override {
        ExportGeometry placed; // an instance expanded
        const ExportGeometry& object = WorldGeometryOf(*scene, exported, placed);
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
        triangles += object.GetTriangleCount();
    }

    std::string Finish() override {
        if (triangles > std::numeric_limits<uint32_t>::max())
            return "too many triangles for STL";
        out.PatchUInt32(TriangleCountAt, static_cast<uint32_t>(triangles));
        return out.Commit() ? std::string() : "cannot write the file";
    }

private:
    static constexpr long TriangleCountAt = 80;
    OutputFile out;
    const ExportScene* scene = nullptr;
    uint64_t triangles = 0;
};

} // namespace

std::unique_ptr<SceneWriter> MakeStlWriter(const std::string& path) { return std::make_unique<StlWriter>(path); }

} // namespace vrml
