#include "Solids.h"

#include "AttributeReader.h"
#include "GeometryDetail.h"

#include <cmath>

namespace {

using trelDetail::Vec3;

trelDetail::FrustumSide CylinderSide(double height, double radius, double topRatio, const trelVector& reference,
                                     double startAngle, double sweepAngle) {
    trelDetail::FrustumSide side;
    side.height = height;
    side.bottom = radius;
    side.top = radius * topRatio;
    // Angles are counted about the axis, so only the reference's part across
    // the axis matters; without one, local x is the natural zero.
    const Vec3 across = trelDetail::Normalized(Vec3(reference.x, reference.y, 0.0));
    if (Dot(across, across) != 0.0) {
        side.u = across;
        side.v = Vec3(-across.y, across.x, 0.0);
    }
    side.start = startAngle;
    side.sweep = sweepAngle;
    trelDetail::NormaliseSweep(side.start, side.sweep);
    return side;
}

} // namespace

void trelCylinder::SetCylinder(double h, double r, double ratio, const trelVector& referenceDirection, double start,
                               double sweep) {
    height = h;
    radius = r;
    topRatio = ratio;
    reference = referenceDirection;
    startAngle = start;
    sweepAngle = sweep;
}

trelBBox trelCylinder::GetBBox() const {
    return trelDetail::GetFrustumBBox(CylinderSide(height, radius, topRatio, reference, startAngle, sweepAngle),
                                      xformation);
}

void trelCylinder::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    const trelDetail::AttributeReader reader(*this);
    trelDetail::TessellateFrustum(CylinderSide(height, radius, topRatio, reference, startAngle, sweepAngle), xformation,
                                  options.segments, out, options.attributes ? &reader : nullptr);
}

trelTessellationCounts trelCylinder::CountTessellation(const trelTessellationOptions& options) const {
    const long long triangles = trelDetail::CountFrustumTriangles(
        CylinderSide(height, radius, topRatio, reference, startAngle, sweepAngle), xformation, options.segments);
    if (triangles < 0)
        return trelBaseObject::CountTessellation(options);
    trelTessellationCounts counts;
    counts.triangles = static_cast<size_t>(triangles);
    return counts;
}
