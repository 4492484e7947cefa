#include "BaseObject.h"

void trelBaseRevSurface::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/)
{
    // The new matrix acts after the placement the surface already has.
    // Boxes are computed on demand, so there is nothing to bring up to date.
    xformation = xformation * m;
}
