#include "BaseObject.h"

const trelRope& trelBaseObject::GetObjectName() const
{
    static const trelRope noName;
    return objectName ? *objectName : noName;
}

void trelBaseRevSurface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    // The new matrix acts after the placement the surface already has.
    // Boxes are computed on demand, so there is nothing to bring up to date.
    xformation = xformation * m;
}
