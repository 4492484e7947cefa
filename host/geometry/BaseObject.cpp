#include "BaseObject.h"

#include "GeometryDetail.h"

#include <cmath>

trelTessellationCounts trelBaseObject::CountTessellation(const trelTessellationOptions& options) const {
    // Reused, so that counting many small objects allocates nothing; one
    // per thread, since several threads may count at once.
    thread_local trelTessellation scratch;
    Tessellate(scratch, options);
    const trelTessellationCounts counts = scratch.GetCounts();
    constexpr size_t KeptVertices = 1u << 16; // a large object's buffers are given back
    if (scratch.triangleVertices.capacity() > KeptVertices || scratch.lineStrips.size() > KeptVertices ||
        scratch.points.capacity() > KeptVertices) {
        scratch = trelTessellation();
    } else {
        scratch.Clear();
    }
    return counts;
}

void trelBaseObject::TessellateInParts(trelTessellation& part, const trelTessellationOptions& options,
                                       trelTessellationSink& sink) const {
    part.Clear();
    Tessellate(part, options);
    sink.Expect(part.GetTriangleCount());
    sink.Take(part);
}

void trelBaseObject::SetAttributes(std::shared_ptr<const trelAttributes> attributes, int offset) {
    if (!attributes) {
        extra.reset();
        return;
    }
    if (!extra)
        extra = std::make_unique<Extra>();
    extra->attributes = std::move(attributes);
    extra->attributeOffset = offset;
}

const std::shared_ptr<const trelAttributes>& trelBaseObject::GetSharedAttributes() const {
    static const std::shared_ptr<const trelAttributes> none;
    return extra ? extra->attributes : none;
}

namespace {

// Whether the linear part of `m` is a positive multiple of the identity:
// then a direction only changes length, and normals are normalised on use.
bool KeepsDirections(const trelMatrix4x4& m) {
    const double s = m.m[0][0];
    if (!(s > 0.0) || !std::isfinite(s))
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (m.m[r][c] != (r == c ? s : 0.0))
                return false;
    return true;
}

} // namespace

void trelBaseObject::ApplyMatrixToAttributes(const trelMatrix4x4& m) {
    const trelAttributes* attributes = GetAttributes();
    if (!attributes || !attributes->HasNormals() || KeepsDirections(m))
        return;
    auto moved = std::make_shared<trelAttributes>(*attributes);
    const trelDetail::NormalTransform transform(m);
    for (trelVector& n : moved->normals.Items())
        n = transform.Apply(trelDetail::Vec3(n)).ToVector();
    extra->attributes = std::move(moved);
}

void trelBaseRevSurface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    // The new matrix acts after the placement the surface already has.
    // Boxes are computed on demand, so there is nothing to bring up to date.
    xformation = xformation * m;
    ApplyMatrixToAttributes(m);
}
