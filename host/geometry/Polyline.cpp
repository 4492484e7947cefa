#include "Meshes.h"

#include "GeometryDetail.h"
#include "Triangulation.h"

#include <vector>

void C3DPolyline::SetPolyline(const trelFloatPointArray& linePoints, int isClosed)
{
    points = linePoints;
    closed = isClosed;
}

trelBBox C3DPolyline::GetBBox() const
{
    trelBBox box;
    for (const trelFloatPoint& p : points.Items())
        box.AddPoint(p);
    return box;
}

void C3DPolyline::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    for (trelFloatPoint& p : points.Items())
        p = p * m;
    ApplyMatrixToAttributes(m);
}

void C3DPolyline::Tessellate(trelTessellation& out, const trelTessellationOptions& /*options*/) const
{
    const std::vector<trelFloatPoint>& line = points.Items();
    if (line.empty())
        return;
    // A line strip of one point draws nothing; as a dot it stays visible.
    if (line.size() == 1) {
        out.points.push_back(line.front());
        return;
    }
    out.lineStrips.push_back(line);
    if (closed)
        out.lineStrips.back().push_back(line.front());
}

void C3DPolygon::Tessellate(trelTessellation& out, const trelTessellationOptions& /*options*/) const
{
    // Filled whether or not it was set up as closed: a polygon is an area.
    std::vector<trelDetail::Vec3> outline;
    outline.reserve(points.Items().size());
    for (const trelFloatPoint& p : points.Items())
        outline.emplace_back(p);
    trelDetail::OutlineTriangulator triangulator;
    triangulator.FillOrTrace(outline, out);
}
