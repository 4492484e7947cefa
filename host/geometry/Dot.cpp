#include "Solids.h"

trelBBox trelDot::GetBBox() const
{
    trelBBox box;
    box.AddPoint(point);
    return box;
}

void trelDot::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    point = point * m;
    ApplyMatrixToAttributes(m);
}

void trelDot::Tessellate(trelTessellation& out, const trelTessellationOptions& /*options*/) const
{
    out.points.push_back(point);
}
