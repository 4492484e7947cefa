#include "OutputFrame.h"

namespace vrml {

trelMatrix4x4 OutputFrame::After(const trelMatrix4x4& placement) const {
    const float s = static_cast<float>(scale);
    trelMatrix4x4 frame = GetScaleMatrix(trelFloatPoint(s, s, s));
    if (zUp) {
        trelMatrix4x4 turn; // rows: where x, y and z go
        turn.m[1][1] = 0.0f;
        turn.m[1][2] = -1.0f;
        turn.m[2][1] = 1.0f;
        turn.m[2][2] = 0.0f;
        frame = frame * turn;
    }
    return placement * frame;
}

trelBBox OutputFrame::Box(const trelBBox& box) const {
    trelBBox turned;
    if (!box.IsEmpty()) {
        // Scaling by a positive factor and swapping axes keep a box a box.
        turned.AddPoint(Point(box.GetMin()));
        turned.AddPoint(Point(box.GetMax()));
    }
    return turned;
}

} // namespace vrml
