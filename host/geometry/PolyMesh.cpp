#include "Meshes.h"

#include "AttributeReader.h"
#include "CreaseNormals.h"
#include "GeometryDetail.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

using trelDetail::Vec3;

namespace {

// The rows that the point list really holds: a grid announced larger than
// its points is cut to its complete rows rather than read past the end.
int CompleteRows(int rows, int columns, size_t pointCount) {
    if (rows <= 0 || columns <= 0)
        return 0;
    const uint64_t complete = static_cast<uint64_t>(pointCount) / static_cast<uint64_t>(columns);
    return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(rows), complete));
}

// The cells a grid of points makes.
struct Cells {
    int usableRows = 0, cellRows = 0, cellColumns = 0;
};

Cells CellsOf(int rows, int columns, int closedRows, int closedColumns, size_t pointCount) {
    Cells cells;
    cells.usableRows = CompleteRows(rows, columns, pointCount);
    if (cells.usableRows == 0)
        return cells;
    // A closed direction joins its last line of points back to its first;
    // that needs at least three lines, and a cut-off grid has lost its last row.
    const bool wrapRows = closedRows != 0 && cells.usableRows == rows && rows >= 3;
    const bool wrapColumns = closedColumns != 0 && columns >= 3;
    cells.cellRows = wrapRows ? cells.usableRows : cells.usableRows - 1;
    cells.cellColumns = wrapColumns ? columns : columns - 1;
    return cells;
}

// Calls visit(a, b, c) for the two triangles of each cell in turn, wound so
// that a height field with rows along x and columns along z faces +y.
template <class Visit>
void ForEachCellTriangle(const std::vector<trelFloatPoint>& grid, int columns, const Cells& cells, Visit visit) {
    const auto at = [&](int r, int c) {
        return Vec3(grid[static_cast<size_t>(r % cells.usableRows) * static_cast<size_t>(columns) +
                         static_cast<size_t>(c % columns)]);
    };
    for (int r = 0; r < cells.cellRows; ++r)
        for (int c = 0; c < cells.cellColumns; ++c) {
            const Vec3 p00 = at(r, c), p01 = at(r, c + 1), p11 = at(r + 1, c + 1), p10 = at(r + 1, c);
            visit(p00, p01, p11);
            visit(p00, p11, p10);
        }
}

} // namespace

void C3DPolyMesh::SetPoints(const trelFloatPointArray& gridPoints, int rowCount, int columnCount, int rowsClosed,
                            int columnsClosed) {
    points = gridPoints;
    rows = rowCount;
    columns = columnCount;
    closedRows = rowsClosed;
    closedColumns = columnsClosed;
}

trelBBox C3DPolyMesh::GetBBox() const {
    trelBBox box;
    const size_t used = static_cast<size_t>(CompleteRows(rows, columns, points.Items().size())) *
                        static_cast<size_t>(std::max(columns, 0));
    for (size_t i = 0; i < used; ++i)
        box.AddPoint(points.Items()[i]);
    return box;
}

void C3DPolyMesh::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    for (trelFloatPoint& p : points.Items())
        p = p * m;
    ApplyMatrixToAttributes(m);
}

trelTessellationCounts C3DPolyMesh::CountTessellation(const trelTessellationOptions& options) const {
    if (options.attributes && GetAttributes())
        return trelBaseObject::CountTessellation(options);
    trelTessellationCounts counts;
    const Cells cells = CellsOf(rows, columns, closedRows, closedColumns, points.Items().size());
    ForEachCellTriangle(points.Items(), columns, cells, [&](const Vec3& a, const Vec3& b, const Vec3& c) {
        counts.triangles += trelDetail::IsKeptTriangle(a, b, c) ? 1 : 0;
    });
    return counts;
}

void C3DPolyMesh::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    const Cells cells = CellsOf(rows, columns, closedRows, closedColumns, points.Items().size());
    if (cells.usableRows == 0)
        return;
    if (options.attributes && GetAttributes()) {
        TessellateWithAttributes(out, cells.usableRows, cells.cellRows, cells.cellColumns);
        return;
    }
    trelDetail::ReserveTriangles(out, 2 * static_cast<size_t>(cells.cellRows) * static_cast<size_t>(cells.cellColumns),
                                 options.attributes);
    const Vec3 none; // each triangle takes its own face normal
    ForEachCellTriangle(points.Items(), columns, cells, [&](const Vec3& a, const Vec3& b, const Vec3& c) {
        trelDetail::EmitFlatTriangle(out, a, b, c, none);
    });
    if (options.attributes)
        trelDetail::PadAttributes(out);
}

void C3DPolyMesh::TessellateInParts(trelTessellation& part, const trelTessellationOptions& options,
                                    trelTessellationSink& sink) const {
    const Cells cells = CellsOf(rows, columns, closedRows, closedColumns, points.Items().size());
    const size_t most = 2 * static_cast<size_t>(cells.cellRows) * static_cast<size_t>(cells.cellColumns);
    if ((options.attributes && GetAttributes()) || most <= trelDetail::kPartTriangles) {
        trelBaseObject::TessellateInParts(part, options, sink);
        return;
    }
    sink.Expect(most);
    trelDetail::PartsWriter writer(part, sink, options.attributes);
    const Vec3 none; // each triangle takes its own face normal
    ForEachCellTriangle(points.Items(), columns, cells, [&](const Vec3& a, const Vec3& b, const Vec3& c) {
        trelDetail::EmitFlatTriangle(part, a, b, c, none);
        writer.FaceDone();
    });
    writer.Finish();
}

void C3DPolyMesh::TessellateWithAttributes(trelTessellation& out, int usableRows, int cellRows, int cellColumns) const {
    const std::vector<trelFloatPoint>& grid = points.Items();
    const auto number = [&](int r, int c) { return (r % usableRows) * columns + c % columns; };
    trelDetail::AttributeReader reader(*this);
    for (int v = 0; v < usableRows * columns; ++v)
        reader.CheckVertex(v);
    for (int f = 0; f < cellRows * cellColumns; ++f)
        reader.CheckFace(f);
    trelDetail::ReserveTriangles(out, 2 * static_cast<size_t>(cellRows) * static_cast<size_t>(cellColumns), true);

    // A cell's corners in the order its triangles are wound.
    static const int cornerRow[4] = {0, 0, 1, 1}, cornerColumn[4] = {0, 1, 1, 0};
    std::vector<Vec3> cornerNormals;
    if (!reader.HasNormals() && reader.CreaseAngle() > 0.0) {
        // An open direction whose last line of points lies on its first (a
        // closed cross-section or spine) is smoothed across that seam as if
        // it were closed.
        const auto sameLines = [&](int count, auto pointAt) {
            for (int i = 0; i < count; ++i)
                if (!(pointAt(i, 0) == pointAt(i, 1)))
                    return false;
            return true;
        };
        const bool joinColumns =
            cellColumns == columns - 1 && columns >= 3 && sameLines(usableRows, [&](int r, int end) {
                return grid[static_cast<size_t>(number(r, end ? columns - 1 : 0))];
            });
        const bool joinRows = cellRows == usableRows - 1 && usableRows >= 3 && sameLines(columns, [&](int c, int end) {
                                  return grid[static_cast<size_t>(number(end ? usableRows - 1 : 0, c))];
                              });
        std::vector<Vec3> cellNormals(static_cast<size_t>(cellRows) * static_cast<size_t>(cellColumns));
        trelDetail::FaceCorners corners;
        Vec3 quad[4];
        for (int r = 0; r < cellRows; ++r)
            for (int c = 0; c < cellColumns; ++c) {
                const int cell = r * cellColumns + c;
                for (int k = 0; k < 4; ++k)
                    quad[k] = Vec3(grid[static_cast<size_t>(number(r + cornerRow[k], c + cornerColumn[k]))]);
                const Vec3 normal = trelDetail::Normalized(Cross(quad[2] - quad[0], quad[3] - quad[1]));
                cellNormals[static_cast<size_t>(cell)] = reader.Ccw() ? normal : -normal;
                for (int k = 0; k < 4; ++k) {
                    int pr = (r + cornerRow[k]) % usableRows, pc = (c + cornerColumn[k]) % columns;
                    if (joinRows && pr == usableRows - 1)
                        pr = 0;
                    if (joinColumns && pc == columns - 1)
                        pc = 0;
                    corners.Add(pr * columns + pc, cell,
                                trelDetail::CornerAngle(quad[(k + 3) % 4], quad[k], quad[(k + 1) % 4]));
                }
            }
        trelDetail::CreaseNormals(corners, cellNormals, static_cast<size_t>(usableRows) * static_cast<size_t>(columns),
                                  reader.CreaseAngle(), cornerNormals);
    }

    // The two triangles of a cell as corners of the cell; a clockwise file
    // turns them over.
    int halves[2][3] = {{0, 1, 2}, {0, 2, 3}};
    if (!reader.Ccw())
        for (auto& half : halves)
            std::swap(half[1], half[2]);
    for (int r = 0; r < cellRows; ++r)
        for (int c = 0; c < cellColumns; ++c) {
            const int cell = r * cellColumns + c;
            for (const auto& half : halves) {
                Vec3 p[3], n[3];
                trelDetail::VertexExtras extras[3];
                for (int i = 0; i < 3; ++i) {
                    const int k = half[i];
                    const int vertex = number(r + cornerRow[k], c + cornerColumn[k]);
                    p[i] = Vec3(grid[static_cast<size_t>(vertex)]);
                    // Without given normals or a crease angle each triangle
                    // takes its own face normal, as without attributes.
                    if (reader.HasNormals())
                        n[i] = reader.Normal(vertex, cell);
                    else if (!cornerNormals.empty())
                        n[i] = cornerNormals[static_cast<size_t>(cell) * 4 + static_cast<size_t>(k)];
                    extras[i] = reader.Extras(vertex, cell);
                }
                trelDetail::EmitTriangle(out, p, n, extras);
            }
        }
}
