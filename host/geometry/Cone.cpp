#include "Solids.h"

#include "AttributeReader.h"
#include "GeometryDetail.h"

namespace {

trelDetail::FrustumSide ConeSide(double height, double bottomRadius, double topRadius) {
    trelDetail::FrustumSide side;
    side.height = height;
    side.bottom = bottomRadius;
    side.top = topRadius;
    return side;
}

} // namespace

void trelCone::SetCone(double h, double bottom, double top) {
    height = h;
    bottomRadius = bottom;
    topRadius = top;
}

trelBBox trelCone::GetBBox() const {
    return trelDetail::GetFrustumBBox(ConeSide(height, bottomRadius, topRadius), xformation);
}

void trelCone::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    const trelDetail::AttributeReader reader(*this);
    trelDetail::TessellateFrustum(ConeSide(height, bottomRadius, topRadius), xformation, options.segments, out,
                                  options.attributes ? &reader : nullptr);
}

trelTessellationCounts trelCone::CountTessellation(const trelTessellationOptions& options) const {
    const long long triangles =
        trelDetail::CountFrustumTriangles(ConeSide(height, bottomRadius, topRadius), xformation, options.segments);
    if (triangles < 0)
        return trelBaseObject::CountTessellation(options);
    trelTessellationCounts counts;
    counts.triangles = static_cast<size_t>(triangles);
    return counts;
}
