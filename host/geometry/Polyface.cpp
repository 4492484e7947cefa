#include "Meshes.h"

#include "GeometryDetail.h"
#include "Triangulation.h"

#include <vector>

namespace {

// Calls visit(index) for each index of each face of the merged list that
// names a point, face by face; endFace() after each face. The list cannot be
// trusted: a negative size or one running past the end leaves no way to find
// the next face, so the walk stops there; indices outside the point list are
// dropped from their face (the rest of the face is kept, as a viewer would
// show it).
template <class VisitIndex, class EndFace>
void ForEachFaceIndex(size_t pointCount, const trelIntArray& indices, VisitIndex visit, EndFace endFace)
{
    const std::vector<int>& list = indices.Items();
    size_t position = 0;
    while (position < list.size()) {
        const int size = list[position++];
        if (size < 0 || static_cast<size_t>(size) > list.size() - position)
            return;
        for (size_t k = position; k < position + static_cast<size_t>(size); ++k) {
            const int index = list[k];
            if (index >= 0 && static_cast<size_t>(index) < pointCount)
                visit(static_cast<size_t>(index));
        }
        position += static_cast<size_t>(size);
        endFace();
    }
}

// Calls visit(face) for each face with the face's points.
template <class Visit>
void ForEachFace(const trelFloatPointArray& points, const trelIntArray& indices, std::vector<trelDetail::Vec3>& face,
                 Visit visit)
{
    const std::vector<trelFloatPoint>& pool = points.Items();
    face.clear();
    ForEachFaceIndex(
        pool.size(), indices, [&](size_t index) { face.emplace_back(pool[index]); },
        [&] {
            visit(face);
            face.clear();
        });
}

} // namespace

void C3DPolyface::SetPoints(const trelFloatPointArray& facePoints, const trelIntArray& mergedIndices)
{
    points = facePoints;
    indices = mergedIndices;
}

trelBBox C3DPolyface::GetBBox() const
{
    // Only the points that faces reach: a point no face uses is not part of
    // the shape. (The loader drops unused points anyway.) A large mesh
    // reaches each point from several faces, so there the points reached are
    // marked first and each is then taken once.
    const std::vector<trelFloatPoint>& pool = points.Items();
    trelBBox box;
    if (pool.size() < 1024) {
        ForEachFaceIndex(
            pool.size(), indices, [&](size_t index) { box.AddPoint(pool[index]); }, [] {});
        return box;
    }
    std::vector<unsigned char> reached(pool.size(), 0);
    ForEachFaceIndex(
        pool.size(), indices, [&](size_t index) { reached[index] = 1; }, [] {});
    for (size_t i = 0; i < pool.size(); ++i)
        if (reached[i])
            box.AddPoint(pool[i]);
    return box;
}

void C3DPolyface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    for (trelFloatPoint& p : points.Items())
        p = p * m;
    ApplyMatrixToAttributes(m);
}

void C3DPolyface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow, int /*updateNormals*/)
{
    // Normals are derived from the faces when tessellating, so there are none
    // stored to update.
    ApplyMatrixToGeometry(m, updateNow);
}

void C3DPolyface::Tessellate(trelTessellation& out, const trelTessellationOptions& /*options*/) const
{
    trelDetail::OutlineTriangulator triangulator;
    std::vector<trelDetail::Vec3> face;
    ForEachFace(points, indices, face,
                [&](const std::vector<trelDetail::Vec3>& corners) { triangulator.FillOrTrace(corners, out); });
}
