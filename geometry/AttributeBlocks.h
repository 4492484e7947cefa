#pragma once
// Building a geometry node's attribute block (host/geometry/Attributes.h)
// from what its file says: how values bind to the vertices and faces of an
// indexed set, a grid and an extrusion, and the standard default texture
// coordinates. Everything here works in the file's own coordinates, before
// the object is placed. A binding that names a value the file does not give
// fails, and its caller leaves that attribute out of the block.

#include "host/geometry/Geometry.h"

#include <memory>
#include <vector>

// The attribute fields of a geometry node, as read.
struct CVRMLAttributeFields {
    // Merged index lists (see MergeIndexLists); empty when not given.
    trelIntArray colorIndex, normalIndex, texCoordIndex;
    bool colorPerVertex = true, normalPerVertex = true;
    bool creaseAngleGiven = false, ccwGiven = false;
    double creaseAngle = 0.0;
    bool ccw = true;
};

// How values bind to an indexed set: per vertex or per face, through an
// index list (an empty one: per vertex the coordinate indices, per face the
// faces in order) or in order, or one value for all.
struct CVRMLValueBinding {
    bool perVertex = true;
    bool indexed = true;
    bool overall = false;
};

namespace VRMLAttributeBlocks {

// The index list of `binding` for the set whose merged coordinate list is
// `coordIndex` over `pointCount` points: per vertex in the layout of
// `coordIndex` (size slots included), per face one index a face (left empty
// for faces in order). Only vertices that name a point are checked, since
// only they are drawn. False when a vertex or face has no value among
// `valueCount`, or `fileIndex` is shorter than the set.
bool BindSetValues(int valueCount, const CVRMLValueBinding& binding, const trelIntArray& fileIndex,
                   const trelIntArray& coordIndex, int pointCount, trelIntArray& out);

// One texture coordinate for each slot of `coordIndex` (an empty index list
// then maps a vertex to its own): s runs from 0 to 1 along the largest size
// of the box of the points used, t along the second largest, by the same scale.
void DefaultSetTexCoords(const trelFloatPointArray& points, const trelIntArray& coordIndex, trelTexCoordArray& out);

// The block for objects that each hold one run of an indexed set (a line of
// a line set, a face of a face set built face by face): vertices are the
// points the runs keep, numbered on from run to run, with every value bound
// per vertex. `offsets` receives each run's first vertex.
std::shared_ptr<const trelAttributes> BlockForRuns(const trelAttributes& block, const trelIntArray& coordIndex,
                                                   int pointCount, std::vector<int>& offsets);

// The index list taking the grid points (row i of `columns` points) or the
// cells of a mesh to values listed with the row number fastest, as an
// ElevationGrid lists them (x fastest, rows along x); false when values are
// missing.
bool BindGridValues(int valueCount, bool perVertex, int rows, int columns, trelIntArray& out);
// The ElevationGrid's default texture coordinates, in the mesh's vertex order.
void GridTexCoords(int rows, int columns, trelTexCoordArray& out);
// The Extrusion's: s along the cross-section, t along the spine, each by
// the length walked, in the mesh's vertex order.
void ExtrusionTexCoords(const trelDoubleArray& crossSection, const trelFloatPointArray& spine, trelTexCoordArray& out);

// Whether a block says anything an object without one would not.
bool SaysSomething(const trelAttributes& block);

} // namespace VRMLAttributeBlocks
