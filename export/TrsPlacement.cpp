#include "TrsPlacement.h"

#include <cmath>

namespace vrml {

namespace {

// The unit quaternion of a rotation given as the rows of a matrix acting on
// row vectors.
std::array<double, 4> QuaternionOf(const double (&r)[3][3]) {
    // The column-vector matrix is the transpose: a(i, j) = r[j][i].
    const auto a = [&](int i, int j) { return r[j][i]; };
    std::array<double, 4> q;
    const double trace = a(0, 0) + a(1, 1) + a(2, 2);
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(trace + 1.0);
        q = {(a(2, 1) - a(1, 2)) / s, (a(0, 2) - a(2, 0)) / s, (a(1, 0) - a(0, 1)) / s, 0.25 * s};
    } else if (a(0, 0) > a(1, 1) && a(0, 0) > a(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + a(0, 0) - a(1, 1) - a(2, 2));
        q = {0.25 * s, (a(0, 1) + a(1, 0)) / s, (a(0, 2) + a(2, 0)) / s, (a(2, 1) - a(1, 2)) / s};
    } else if (a(1, 1) > a(2, 2)) {
        const double s = 2.0 * std::sqrt(1.0 + a(1, 1) - a(0, 0) - a(2, 2));
        q = {(a(0, 1) + a(1, 0)) / s, 0.25 * s, (a(1, 2) + a(2, 1)) / s, (a(0, 2) - a(2, 0)) / s};
    } else {
        const double s = 2.0 * std::sqrt(1.0 + a(2, 2) - a(0, 0) - a(1, 1));
        q = {(a(0, 2) + a(2, 0)) / s, (a(1, 2) + a(2, 1)) / s, 0.25 * s, (a(1, 0) - a(0, 1)) / s};
    }
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (double& v : q)
        v /= length;
    // q and -q are one rotation; a positive w reads best.
    if (q[3] < 0.0)
        for (double& v : q)
            v = -v;
    return q;
}

} // namespace

TrsPlacement DecomposePlacement(const trelMatrix4x4& m) {
    TrsPlacement trs;
    double rows[3][3];
    for (int r = 0; r < 3; ++r) {
        const double x = m.m[r][0], y = m.m[r][1], z = m.m[r][2];
        trs.scale[static_cast<size_t>(r)] = std::sqrt(x * x + y * y + z * z);
        for (int c = 0; c < 3; ++c)
            rows[r][c] = m.m[r][c] / trs.scale[static_cast<size_t>(r)];
    }
    trs.rotation = QuaternionOf(rows);
    for (int c = 0; c < 3; ++c)
        trs.translation[static_cast<size_t>(c)] = m.m[3][c];
    return trs;
}

} // namespace vrml
