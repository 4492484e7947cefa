#include "Solids.h"

#include "AttributeReader.h"

trelBBox trelDot::GetBBox() const {
    trelBBox box;
    box.AddPoint(point);
    return box;
}

void trelDot::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    point = point * m;
    ApplyMatrixToAttributes(m);
}

trelTessellationCounts trelDot::CountTessellation(const trelTessellationOptions& /*options*/) const {
    trelTessellationCounts counts;
    counts.points = 1;
    return counts;
}

void trelDot::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    out.points.push_back(point);
    if (!trelDetail::PadsAndHasOwnAttributes(out, options, *this))
        return;
    // The dot is vertex 0 and face 0: one number whichever way the colours go.
    trelDetail::AttributeReader reader(*this);
    reader.CheckVertex(0);
    reader.CheckFace(0);
    out.pointColors.back() = reader.Color(0, 0);
}
