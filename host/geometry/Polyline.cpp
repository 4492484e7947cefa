#include "Meshes.h"

#include "AttributedFace.h"
#include "GeometryDetail.h"
#include "Triangulation.h"

#include <numeric>
#include <vector>

void C3DPolyline::SetPolyline(const trelFloatPointArray& linePoints, int isClosed) {
    points = linePoints;
    closed = isClosed;
}

trelBBox C3DPolyline::GetBBox() const {
    trelBBox box;
    for (const trelFloatPoint& p : points.Items())
        box.AddPoint(p);
    return box;
}

void C3DPolyline::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    for (trelFloatPoint& p : points.Items())
        p = p * m;
    ApplyMatrixToAttributes(m);
}

trelTessellationCounts C3DPolyline::CountTessellation(const trelTessellationOptions& /*options*/) const {
    trelTessellationCounts counts;
    const size_t size = points.Items().size();
    if (size == 1) {
        counts.points = 1;
    } else if (size > 1) {
        counts.lineStrips = 1;
        counts.linePoints = size + (closed ? 1 : 0);
    }
    return counts;
}

void C3DPolyline::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    const std::vector<trelFloatPoint>& line = points.Items();
    if (line.empty())
        return;
    // A line strip of one point draws nothing; as a dot it stays visible.
    if (line.size() == 1) {
        out.points.push_back(line.front());
    } else {
        out.lineStrips.push_back(line);
        if (closed)
            out.lineStrips.back().push_back(line.front());
    }
    if (!trelDetail::PadsAndHasOwnAttributes(out, options, *this))
        return;
    trelDetail::AttributeReader reader(*this);
    reader.CheckFace(0);
    for (size_t i = 0; i < line.size(); ++i)
        reader.CheckVertex(static_cast<long long>(i));
    if (line.size() == 1) {
        out.pointColors.back() = reader.Color(0, 0);
        return;
    }
    std::vector<trelChroma>& colors = out.lineColors.back();
    for (size_t i = 0; i < colors.size(); ++i)
        colors[i] = reader.Color(static_cast<long long>(i % line.size()), 0);
}

trelTessellationCounts C3DPolygon::CountTessellation(const trelTessellationOptions& options) const {
    if (options.attributes && GetAttributes())
        return trelBaseObject::CountTessellation(options);
    std::vector<trelDetail::Vec3> outline;
    outline.reserve(points.Items().size());
    for (const trelFloatPoint& p : points.Items())
        outline.emplace_back(p);
    trelTessellationCounts counts;
    trelDetail::OutlineTriangulator().CountOrTrace(outline, counts);
    return counts;
}

void C3DPolygon::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    // Filled whether or not it was set up as closed: a polygon is an area.
    std::vector<trelDetail::Vec3> outline;
    outline.reserve(points.Items().size());
    for (const trelFloatPoint& p : points.Items())
        outline.emplace_back(p);
    if (!options.attributes || !GetAttributes()) {
        trelDetail::OutlineTriangulator triangulator;
        triangulator.FillOrTrace(outline, out);
        if (options.attributes)
            trelDetail::PadAttributes(out);
        return;
    }
    trelDetail::AttributeReader reader(*this);
    reader.CheckFace(0);
    std::vector<long long> vertices(outline.size());
    std::iota(vertices.begin(), vertices.end(), 0LL);
    for (long long v : vertices)
        reader.CheckVertex(v);
    trelDetail::AttributedFaceWriter(out, reader).Write(outline, vertices, 0, nullptr);
}
