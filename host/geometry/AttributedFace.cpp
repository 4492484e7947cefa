#include "AttributedFace.h"

#include <utility>

namespace trelDetail {

int AttributedFaceWriter::Write(const std::vector<Vec3>& outline, const std::vector<long long>& vertices,
                                long long face, const Vec3* cornerNormals) {
    int made = 0;
    if (triangulator.FillCorners(outline, triangles) > 0) {
        const Vec3 faceNormal = reader.Ccw() ? triangulator.GetNormal() : -triangulator.GetNormal();
        for (const std::array<int, 3>& triangle : triangles) {
            size_t corner[3] = {static_cast<size_t>(triangle[0]), static_cast<size_t>(triangle[1]),
                                static_cast<size_t>(triangle[2])};
            if (!reader.Ccw())
                std::swap(corner[1], corner[2]);
            Vec3 p[3], n[3];
            VertexExtras extras[3];
            for (int i = 0; i < 3; ++i) {
                const size_t c = corner[i];
                p[i] = outline[c];
                if (reader.HasNormals())
                    n[i] = reader.Normal(vertices[c], face);
                else
                    n[i] = cornerNormals ? cornerNormals[c] : faceNormal;
                extras[i] = reader.Extras(vertices[c], face);
            }
            made += EmitTriangle(output, p, n, extras) ? 1 : 0;
        }
    }
    if (made == 0)
        Trace(outline, vertices, face);
    return made;
}

void AttributedFaceWriter::Trace(const std::vector<Vec3>& outline, const std::vector<long long>& vertices,
                                 long long face) {
    std::vector<trelFloatPoint> trace;
    std::vector<trelChroma> colors;
    for (size_t c = 0; c < outline.size(); ++c)
        if (IsFinite(outline[c])) {
            trace.push_back(outline[c].ToPoint());
            colors.push_back(reader.Color(vertices[c], face));
        }
    if (trace.size() == 1) {
        output.points.push_back(trace.front());
        output.pointColors.push_back(colors.front());
    } else if (trace.size() > 1) {
        trace.push_back(trace.front());
        colors.push_back(colors.front());
        output.lineStrips.push_back(std::move(trace));
        output.lineColors.push_back(std::move(colors));
    }
}

} // namespace trelDetail
