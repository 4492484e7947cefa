#include "AttributeBlocks.h"
#include "AttributeScope.h"
#include "FieldNodeReader.h"

#include "parser/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {
// A dimension or spacing nearer to zero than this builds no grid.
constexpr double DegenerateSize = 1e-6;

bool IsUsableMeasure(double value) { return std::isfinite(value) && std::fabs(value) >= DegenerateSize; }

bool AllFinite(const trelFloatPointArray& points) {
    for (const trelFloatPoint& p : points.Items())
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return false;
    return true;
}
} // namespace

int CVRMLParser::ParseElevationGrid() {
    if (!CurrentSeparator)
        return 0;
    int solid = 1;
    trelDoubleArray height;
    // The standards' spacing is 1; by default a grid without spacing builds nothing.
    const double defaultSpacing = StandardSemantics ? 1.0 : 0.0;
    double xDimension = 0.0, xSpacing = defaultSpacing, zDimension = 0.0, zSpacing = defaultSpacing;
    CVRMLAttributeFields fields;
    // Like the indexed sets, the grid keeps its own DEF name across the
    // nodes of its color, normal and texCoord fields, and those nodes change
    // neither the level's materials nor its file attributes beyond the grid.
    CVRMLFieldNodeReader fieldNodes(*this);
    const std::shared_ptr<const trelAttributes> levelAttributes = CurrentSeparator->GetFileAttributes();
    trelChromaArray savedColors;
    bool colorGiven = false;
    AdvanceWhileKind({VRML_OPEN_BRACE, VRML_ELEVATIONGRID});
    while (GetCurrentTokenType() != VRML_CLOSE_BRACE && GetCurrentTokenType() != VRML_END_OF_INPUT) {
        double* number = nullptr;
        switch (GetCurrentTokenType()) {
        case VRML_HEIGHT:
            Tokenize();
            ParseFloatArray(height);
            continue;
        case VRML_SOLID:
            Tokenize();
            if (GetCurrentTokenType() == VRML_BOOLEAN)
                solid = GetCurrentTokenBooleanValue();
            continue;
        case VRML_COLOR:
            if (!colorGiven)
                savedColors = std::as_const(*CurrentSeparator).GetDiffuseColors();
            colorGiven = true;
            [[fallthrough]];
        case VRML_NORMAL:
        case VRML_TEXTURECOORDINDEX:
            Tokenize();
            fieldNodes.Read();
            if (!CurrentSeparator)
                return 0;
            continue; // the block loop has stepped past the node
        case VRML_WORD:
            if (ReadAttributeField(fields))
                continue;
            break;
        case VRML_XDIMENSION: number = &xDimension; break;
        case VRML_XSPACING: number = &xSpacing; break;
        case VRML_ZDIMENSION: number = &zDimension; break;
        case VRML_ZSPACING: number = &zSpacing; break;
        case VRML_OPEN_BRACE:
            // The value of a field this loader does not know: its closing
            // brace must not be taken for the grid's own.
            SkipBlock(0);
            break;
        default: break;
        }
        if (number) {
            Tokenize();
            if (GetCurrentTokenType() == VRML_NUMBER)
                *number = GetCurrentTokenNumericValue();
            continue; // the value (or whatever stood there) is passed over below
        }
        if (!Tokenize())
            break;
    }
    if (colorGiven)
        CurrentSeparator->SetDiffuseColors(savedColors);

    // Values listed x fastest, bound to the mesh's rows along x.
    trelAttributes block;
    const trelAttributes* state = CurrentSeparator->GetFileAttributes().get();
    const long long rows = std::max(ToIndex(xDimension), 0), columns = std::max(ToIndex(zDimension), 0);
    if (state && rows * columns <= MaxElevationGridPoints) {
        using VRMLAttributeBlocks::BindGridValues;
        const int X = static_cast<int>(rows), Z = static_cast<int>(columns);
        if (state->HasColors() &&
            BindGridValues(state->colors.GetSize(), fields.colorPerVertex, X, Z, block.colorIndex)) {
            block.colors = state->colors;
            block.colorPerVertex = fields.colorPerVertex;
        }
        if (state->HasNormals() &&
            BindGridValues(state->normals.GetSize(), fields.normalPerVertex, X, Z, block.normalIndex)) {
            block.normals = state->normals;
            block.normalPerVertex = fields.normalPerVertex;
        }
        if (state->HasTexCoords() && BindGridValues(state->texCoords.GetSize(), true, X, Z, block.texCoordIndex))
            block.texCoords = state->texCoords;
    }
    block.creaseAngle = fields.creaseAngle;
    block.ccw = fields.ccw;
    CurrentSeparator->SetFileAttributes(levelAttributes);
    CVRMLGeometryAttributesScope attributes(*this, VRMLAttributeBlocks::SaysSomething(block)
                                                       ? std::make_shared<const trelAttributes>(std::move(block))
                                                       : nullptr);
    return DefineElevationGrid(solid, height, xDimension, xSpacing, zDimension, zSpacing);
}

// A height index outside the list gives height 0.0; DefineElevationGrid never
// asks for one, since it refuses a grid whose height list is too short.
trelFloatPoint CVRMLParser::GetElevationGridPoint(double i, double j, trelDoubleArray& height, double xDimension,
                                                  double xSpacing, double /*zDimension*/, double zSpacing) {
    const double index = std::trunc(i + j * xDimension);
    double y = 0.0;
    if (index >= 0.0 && index < height.GetSize())
        y = height[static_cast<int>(index)];
    return trelFloatPoint(static_cast<float>(xSpacing * i), static_cast<float>(y), static_cast<float>(zSpacing * j));
}

namespace {
// The vertex colours of a grid's block (in the mesh's numbering, row i of
// `columns` points) for its wireframe; null when it has none per vertex.
std::shared_ptr<const trelAttributes> GridLineColors(const trelAttributes* grid, int rows, int columns) {
    const long long points = static_cast<long long>(rows) * columns;
    if (!grid || !grid->HasColors() || !grid->colorPerVertex || grid->colorIndex.GetSize() != points)
        return nullptr;
    auto lines = std::make_shared<trelAttributes>();
    lines->colors = grid->colors;
    std::vector<int>& index = lines->colorIndex.Items();
    index.reserve(static_cast<size_t>(2 * points));
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            index.push_back(grid->colorIndex[i * columns + j]);
    for (int j = 0; j < columns; ++j)
        for (int i = 0; i < rows; ++i)
            index.push_back(grid->colorIndex[i * columns + j]);
    return lines;
}
} // namespace

int CVRMLParser::DefineElevationGrid(int solid, trelDoubleArray& height, double xDimension, double xSpacing,
                                     double zDimension, double zSpacing) {
    if (!CurrentSeparator || height.IsEmpty())
        return 0;
    for (double measure : {xDimension, xSpacing, zDimension, zSpacing})
        if (!IsUsableMeasure(measure))
            return 0;
    // A negative dimension is taken like one below 1: that direction has no
    // grid lines, and the grid has no points at all.
    const int X = std::max(ToIndex(xDimension), 0);
    const int Z = std::max(ToIndex(zDimension), 0);
    int pointCount = 0;
    if (X > 0 && Z > 0) {
        // A height list shorter than the grid makes the node malformed: it is
        // refused like one without heights, rather than padded with zeros.
        // This also bounds the grid by the size of the file, and the limit
        // bounds it by memory, before anything is allocated.
        const double lastHeight = std::trunc((X - 1) + (Z - 1) * xDimension);
        if (!(lastHeight < height.GetSize()))
            return 0;
        const double listSize = std::trunc(xDimension * zDimension);
        if (!(listSize <= MaxElevationGridPoints))
            return 0;
        pointCount = static_cast<int>(listSize);
    }

    int result = 0;
    auto gridPoint = [&](int i, int j) {
        return GetElevationGridPoint(i, j, height, xDimension, xSpacing, zDimension, zSpacing);
    };
    if (solid) {
        // Rows by x: point (i, j) sits at i times zDimension plus j; with a
        // fractional zDimension such a position may lie beyond the rows that
        // the mesh uses, but never outside the list.
        trelFloatPointArray points(pointCount);
        for (int i = 0; i < X; ++i)
            for (int j = 0; j < Z; ++j) {
                const double position = std::trunc(i * zDimension + j);
                if (position >= 0.0 && position < pointCount)
                    points[static_cast<int>(position)] = gridPoint(i, j);
            }
        // Placed as an object, so that given normals are carried along; the
        // grid gets its default texture coordinates when it has a texture
        // and the file gives none.
        std::shared_ptr<const trelAttributes> block = GeometryAttributes;
        if (CurrentSeparator->GetTexture() && !(block && block->HasTexCoords())) {
            auto mapped = block ? std::make_shared<trelAttributes>(*block) : std::make_shared<trelAttributes>();
            VRMLAttributeBlocks::GridTexCoords(X, Z, mapped->texCoords);
            mapped->texCoordIndex.Clear();
            block = std::move(mapped);
        }
        if (C3DPolyMesh* mesh = new (std::nothrow) C3DPolyMesh) {
            mesh->SetPoints(points, X, Z, 0, 0);
            mesh->SetAttributes(std::move(block));
            mesh->ApplyMatrixToGeometry(CurrentSeparator->GetMatrix(), trelBool(true));
            // Points beyond the float range are not geometry: no mesh is built.
            if (AllFinite(mesh->GetPoints()))
                result = AddObjectToSeparator(mesh);
            else
                delete mesh;
        }
    } else if (X > 0 && Z > 0) {
        // A wireframe: the lines along z (constant x), then those along x.
        // A grid without points in one direction has no lines at all: a line
        // of no points is not built (nor looped over a huge other dimension).
        // The lines share one block of the grid's vertex colours: the
        // lines along z number their points first, then those along x.
        const std::shared_ptr<const trelAttributes> lineBlock =
            CurrentSeparator->WithTexture(GridLineColors(GeometryAttributes.get(), X, Z));
        auto addLine = [&](trelFloatPointArray& points, int offset) {
            CurrentSeparator->TransformPoints(points);
            if (!AllFinite(points))
                return;
            C3DPolyline* line = new (std::nothrow) C3DPolyline;
            if (!line)
                return;
            line->SetPolyline(points, 0);
            line->SetAttributes(lineBlock, offset);
            if (AddObjectToSeparator(line))
                result = 1;
        };
        trelFloatPointArray points(Z);
        for (int i = 0; i < X; ++i) {
            for (int j = 0; j < Z; ++j)
                points[j] = gridPoint(i, j);
            addLine(points, i * Z);
        }
        points.Resize(X);
        for (int j = 0; j < Z; ++j) {
            for (int i = 0; i < X; ++i)
                points[i] = gridPoint(i, j);
            addLine(points, X * Z + j * X);
        }
    }

    RecordEntry<CVRMLElevationGridEntry>(*this, [&](auto& e) {
        e.SetSolid(solid);
        e.SetHeight(height);
        e.SetXDimension(xDimension);
        e.SetXSpacing(xSpacing);
        e.SetZDimension(zDimension);
        e.SetZSpacing(zSpacing);
        e.SetAttributes(GeometryAttributes);
    });
    return result;
}
