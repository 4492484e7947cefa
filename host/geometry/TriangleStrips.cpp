#include "Meshes.h"

#include "AttributeReader.h"
#include "GeometryDetail.h"

#include <algorithm>
#include <utility>

using trelDetail::Vec3;

namespace {

// Calls visit(first, count) for each strip's run of the point list. A
// length past the end is cut to the points left; a negative one takes no
// points.
template <class Visit>
void ForEachStrip(const trelIntArray& lengths, size_t pointCount, Visit visit) {
    size_t first = 0;
    for (int length : lengths.Items()) {
        if (first >= pointCount)
            return;
        if (length <= 0)
            continue;
        const size_t count = std::min(static_cast<size_t>(length), pointCount - first);
        visit(first, count);
        first += count;
    }
}

} // namespace

void C3DMultipleTriangleStrip::SetStrips(const trelFloatPointArray& stripPoints, const trelVectorArray& stripNormals,
                                         const trelIntArray& stripLengths) {
    points = stripPoints;
    normals = stripNormals;
    lengths = stripLengths;
}

trelBBox C3DMultipleTriangleStrip::GetBBox() const {
    trelBBox box;
    ForEachStrip(lengths, points.Items().size(), [&](size_t first, size_t count) {
        for (size_t i = first; i < first + count; ++i)
            box.AddPoint(points.Items()[i]);
    });
    return box;
}

void C3DMultipleTriangleStrip::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    for (trelFloatPoint& p : points.Items())
        p = p * m;
    const trelDetail::NormalTransform transform(m);
    for (trelVector& n : normals.Items())
        n = trelDetail::Normalized(transform.Apply(Vec3(n))).ToVector();
    ApplyMatrixToAttributes(m);
}

void C3DMultipleTriangleStrip::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    const std::vector<trelFloatPoint>& pool = points.Items();
    // Given normals are used only when every point has one; a shorter list
    // cannot be matched to the points reliably, and face normals replace it.
    const bool useNormals = !pool.empty() && normals.Items().size() >= pool.size();
    size_t most = 0;
    ForEachStrip(lengths, pool.size(), [&](size_t, size_t count) { most += count > 2 ? count - 2 : 0; });
    trelDetail::ReserveTriangles(out, most, options.attributes);
    ForEachStrip(lengths, pool.size(), [&](size_t first, size_t count) {
        for (size_t k = 0; k + 2 < count; ++k) {
            size_t corner[3] = {first + k, first + k + 1, first + k + 2};
            // Every second triangle of a strip runs the other way round;
            // swapping its first two corners keeps all facing one side.
            if (k % 2 == 1)
                std::swap(corner[0], corner[1]);
            const Vec3 p[3] = {Vec3(pool[corner[0]]), Vec3(pool[corner[1]]), Vec3(pool[corner[2]])};
            Vec3 n[3];
            if (useNormals)
                for (int i = 0; i < 3; ++i)
                    n[i] = Vec3(normals.Items()[corner[i]]);
            trelDetail::EmitTriangle(out, p, n);
        }
    });
    // Strips carry no numbered attributes: white, (0, 0).
    if (options.attributes)
        trelDetail::PadAttributes(out);
}
