#include "Meshes.h"

#include "GeometryDetail.h"

#include <algorithm>
#include <cstdint>

using trelDetail::Vec3;

namespace {

// The rows that the point list really holds: a grid announced larger than
// its points is cut to its complete rows rather than read past the end.
int CompleteRows(int rows, int columns, size_t pointCount)
{
    if (rows <= 0 || columns <= 0)
        return 0;
    const uint64_t complete = static_cast<uint64_t>(pointCount) / static_cast<uint64_t>(columns);
    return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(rows), complete));
}

} // namespace

void C3DPolyMesh::SetPoints(const trelFloatPointArray& gridPoints, int rowCount, int columnCount, int rowsClosed,
                            int columnsClosed)
{
    points = gridPoints;
    rows = rowCount;
    columns = columnCount;
    closedRows = rowsClosed;
    closedColumns = columnsClosed;
}

trelBBox C3DPolyMesh::GetBBox() const
{
    trelBBox box;
    const size_t used = static_cast<size_t>(CompleteRows(rows, columns, points.Items().size())) *
                        static_cast<size_t>(std::max(columns, 0));
    for (size_t i = 0; i < used; ++i)
        box.AddPoint(points.Items()[i]);
    return box;
}

void C3DPolyMesh::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    for (trelFloatPoint& p : points.Items())
        p = p * m;
    ApplyMatrixToAttributes(m);
}

void C3DPolyMesh::Tessellate(trelTessellation& out, const trelTessellationOptions& /*options*/) const
{
    const int usableRows = CompleteRows(rows, columns, points.Items().size());
    if (usableRows == 0)
        return;
    // A closed direction joins its last line of points back to its first;
    // that needs at least three lines, and a cut-off grid has lost its last row.
    const bool wrapRows = closedRows != 0 && usableRows == rows && rows >= 3;
    const bool wrapColumns = closedColumns != 0 && columns >= 3;
    const int cellRows = wrapRows ? usableRows : usableRows - 1;
    const int cellColumns = wrapColumns ? columns : columns - 1;
    const auto at = [&](int r, int c) {
        return Vec3(points.Items()[static_cast<size_t>(r % usableRows) * static_cast<size_t>(columns) +
                                   static_cast<size_t>(c % columns)]);
    };
    const Vec3 none; // each triangle takes its own face normal
    for (int r = 0; r < cellRows; ++r)
        for (int c = 0; c < cellColumns; ++c) {
            // Wound so that a height field with rows along x and columns
            // along z faces +y.
            const Vec3 p00 = at(r, c), p01 = at(r, c + 1), p11 = at(r + 1, c + 1), p10 = at(r + 1, c);
            trelDetail::EmitFlatTriangle(out, p00, p01, p11, none);
            trelDetail::EmitFlatTriangle(out, p00, p11, p10, none);
        }
}
