#include "names/RecordEntry.h"
#include "parser/VRMLParser.h"
#include "state/VRMLSeparator.h"

#include <algorithm>
#include <cmath>
#include <new>

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
        case VRML_XDIMENSION: number = &xDimension; break;
        case VRML_XSPACING: number = &xSpacing; break;
        case VRML_ZDIMENSION: number = &zDimension; break;
        case VRML_ZSPACING: number = &zSpacing; break;
        case VRML_OPEN_BRACE:
            // The node value of color, normal or texCoord is passed over as a
            // whole: its closing brace must not be taken for the grid's own,
            // or the grid's remaining fields would be read as statements.
            SkipBlock(0);
            break;
        default:
            break;
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
        CurrentSeparator->TransformPoints(points);
        // Points beyond the float range are not geometry: no mesh is built.
        if (AllFinite(points)) {
            if (C3DPolyMesh* mesh = new (std::nothrow) C3DPolyMesh) {
                mesh->SetPoints(points, X, Z, 0, 0);
                result = AddObjectToSeparator(mesh);
            }
        }
    } else if (X > 0 && Z > 0) {
        // A wireframe: the lines along z (constant x), then those along x.
        // A grid without points in one direction has no lines at all: a line
        // of no points is not built (nor looped over a huge other dimension).
        auto addLine = [&](trelFloatPointArray& points) {
            CurrentSeparator->TransformPoints(points);
            if (!AllFinite(points))
                return;
            C3DPolyline* line = new (std::nothrow) C3DPolyline;
            if (!line)
                return;
            line->SetPolyline(points, 0);
            if (AddObjectToSeparator(line))
                result = 1;
        };
        trelFloatPointArray points(Z);
        for (int i = 0; i < X; ++i) {
            for (int j = 0; j < Z; ++j)
                points[j] = gridPoint(i, j);
            addLine(points);
        }
        points.Resize(X);
        for (int j = 0; j < Z; ++j) {
            for (int i = 0; i < X; ++i)
                points[i] = gridPoint(i, j);
            addLine(points);
        }
    }

    RecordEntry<CVRMLElevationGridEntry>(*this, [&](auto& e) {
        e.SetSolid(solid);
        e.SetHeight(height);
        e.SetXDimension(xDimension);
        e.SetXSpacing(xSpacing);
        e.SetZDimension(zDimension);
        e.SetZSpacing(zSpacing);
    });
    return result;
}
