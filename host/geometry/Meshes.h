#pragma once
// Point-list objects: polylines, polygons, polyfaces, meshes and triangle strips.

#include "Arrays.h"
#include "BaseObject.h"
#include "MadeOnce.h"
#include "PlacedPoints.h"

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

namespace trelDetail {
class PlacedCount;
}

// A line strip; a closed one returns to its first point. A single point is
// drawn as a dot.
class C3DPolyline : public trelBaseObject {
public:
    void SetPolyline(const trelFloatPointArray& points, int closed);
    const trelFloatPointArray& GetPoints() const { return points; }
    int GetClosed() const { return closed; }
    trelObjectTypes GetObjectType() const override { return TREL_POLYLINE; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

protected:
    trelFloatPointArray points;
    int closed = 0;
};

// A closed planar outline that is filled: triangulated also when concave.
class C3DPolygon : public C3DPolyline {
public:
    trelObjectTypes GetObjectType() const override { return TREL_POLYGON; }
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;
};

// Faces over one shared point list. The merged index list holds, for each
// face, its number of vertices followed by that many indices into the points.
// A negative size, or one running past the end of the list, ends the list
// there; an index outside the point list is dropped from its face. The box
// covers the points that faces use.
class C3DPolyface : public trelBaseObject {
public:
    C3DPolyface();
    C3DPolyface(const C3DPolyface& other);
    C3DPolyface& operator=(const C3DPolyface&) = delete;
    ~C3DPolyface() override;

    void SetPoints(const trelFloatPointArray& points, const trelIntArray& mergedIndices);
    // Makes this object a use of the points, indices and attributes of
    // `local`, which is never changed again: nothing is copied, and the
    // placements that follow are kept apart (see PlacedPoints.h). Every
    // value read from the object is what SetPoints with local's values and
    // the same placements would give.
    void SetSharedGeometry(std::shared_ptr<const C3DPolyface> local);
    // World points; for a use, built on the first call and then kept.
    const trelFloatPointArray& GetPoints() const;
    const trelIntArray& GetIndices() const;
    SharedGeometry GetSharedGeometry() const override;
    trelObjectTypes GetObjectType() const override { return TREL_POLYFACE; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow, int updateNormals);
    // Faces are triangulated in their own plane (concave faces included) and
    // shaded flat; faces without area are drawn as their outline. With
    // attributes, corners take the given colours, normals and texture
    // coordinates (by slot or by face), or else normals smoothed under the
    // crease angle across faces that share a point index; a clockwise file
    // (ccw false) has its faces turned over.
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    void TessellateInParts(trelTessellation& part, const trelTessellationOptions& options,
                           trelTessellationSink& sink) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    // What a shared use keeps: the part, in its own local space, and the
    // placements since.
    struct Use {
        std::shared_ptr<const C3DPolyface> local;
        trelPlacedPoints placed;
    };
    // What an object with geometry of its own keeps: its points and faces,
    // and what is made of them on request.
    struct Own {
        trelFloatPointArray points;
        trelIntArray indices;
        // The counts of the faces, with what tells when they hold for a use
        // placed by a matrix; made on the first request (from any thread)
        // and kept. Asked only of the shared local geometry, which never
        // changes.
        trelMadeOnce<trelDetail::PlacedCount> localCount;
        // The points the faces reach, each once, in the order a bounding box
        // takes them; made and kept as localCount is, so that the box of
        // each use is a pass over its placed points alone.
        trelMadeOnce<std::vector<uint32_t>> reachOrder;
    };
    const Use* SharedUse() const { return std::get_if<Use>(&geometry); }
    const Own& OwnOrEmpty() const;
    // World points for a pass over them, without keeping a copy.
    const trelFloatPointArray& PassingPoints() const;
    const trelDetail::PlacedCount& LocalCount() const;
    const std::vector<uint32_t>& ReachOrder() const;

    // A use holds no empty point and index lists, nor an own object its
    // placements: one or the other.
    std::variant<Own, Use> geometry;
};

// A grid of points, row by row; its cells become two triangles each, shaded
// flat. A grid announced larger than its point list uses its complete rows.
// A closed direction also joins its last line to its first. With attributes
// the cells are faces as a polyface's are; smoothing also crosses an open
// direction whose last line of points lies exactly on its first.
class C3DPolyMesh : public trelBaseObject {
public:
    void SetPoints(const trelFloatPointArray& points, int rows, int columns, int closedRows, int closedColumns);
    const trelFloatPointArray& GetPoints() const { return points; }
    int GetRows() const { return rows; }
    int GetColumns() const { return columns; }
    trelObjectTypes GetObjectType() const override { return TREL_POLYMESH; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;
    void TessellateInParts(trelTessellation& part, const trelTessellationOptions& options,
                           trelTessellationSink& sink) const override;
    trelTessellationCounts CountTessellation(const trelTessellationOptions& options) const override;

private:
    void TessellateWithAttributes(trelTessellation& out, int usableRows, int cellRows, int cellColumns) const;

    trelFloatPointArray points;
    int rows = 0, columns = 0, closedRows = 0, closedColumns = 0;
};

// Triangle strips over consecutive runs of one point list (alternating
// winding, so all of a strip faces the side of its first triangle). A run
// past the end of the list is cut short; a negative length takes no points.
// The normals are used when there is one for every point, else each triangle
// takes its face normal. Attributes give white and (0, 0) only.
class C3DMultipleTriangleStrip : public trelBaseObject {
public:
    void SetStrips(const trelFloatPointArray& points, const trelVectorArray& normals, const trelIntArray& lengths);
    const trelFloatPointArray& GetPoints() const { return points; }
    const trelVectorArray& GetNormals() const { return normals; }
    const trelIntArray& GetLengths() const { return lengths; }
    trelObjectTypes GetObjectType() const override { return TREL_TRIANGLE_STRIPS; }
    trelBBox GetBBox() const override;
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) override;
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const override;

private:
    trelFloatPointArray points;
    trelVectorArray normals;
    trelIntArray lengths;
};
