#include "Solids.h"

#include "AttributeReader.h"
#include "GeometryDetail.h"
#include "Triangulation.h"

#include <array>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

using trelDetail::Vec3;

void trelBox::SetBox(const trelFloatPoint boxCorners[8]) {
    for (int i = 0; i < 8; ++i)
        corners[i] = boxCorners[i];
}

trelBBox trelBox::GetBBox() const {
    trelBBox box;
    for (const trelFloatPoint& corner : corners)
        box.AddPoint(corner);
    return box;
}

void trelBox::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool /*updateNow*/) {
    trelDetail::TransformPoints(corners, 8, m);
    ApplyMatrixToAttributes(m);
}

namespace {

// Calls visit(f, quad, order, normal) for each face f of the box with its
// corners wound counter-clockwise seen from outside, where each corner came
// from among the face's four, and the face's outward unit normal.
// Faces wound counter-clockwise from outside for corners in the documented
// order: the -z face, the +z face, then the four sides.
constexpr int Faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

template <class Visit>
void ForEachFace(const trelFloatPoint (&corners)[8], Visit visit) {
    Vec3 centroid;
    for (const trelFloatPoint& corner : corners)
        centroid = centroid + Vec3(corner);
    centroid = centroid * (1.0 / 8.0);
    std::vector<Vec3> quad(4);
    for (int f = 0; f < 6; ++f) {
        const int(&face)[4] = Faces[f];
        int order[4] = {0, 1, 2, 3};
        Vec3 faceCenter;
        for (int k = 0; k < 4; ++k) {
            quad[static_cast<size_t>(k)] = Vec3(corners[face[k]]);
            faceCenter = faceCenter + quad[static_cast<size_t>(k)];
        }
        faceCenter = faceCenter * 0.25;
        Vec3 normal = trelDetail::Normalized(trelDetail::NewellNormal(quad));
        // The corners come already transformed; a mirroring transformation
        // reverses their order and would turn every face inwards.
        if (Dot(normal, faceCenter - centroid) < 0.0) {
            std::swap(quad[1], quad[3]);
            std::swap(order[1], order[3]);
            normal = -normal;
        }
        visit(f, quad, order, normal);
    }
}

// Each face is two triangles over these of its corners.
constexpr std::array<int, 3> Halves[2] = {{0, 1, 2}, {0, 2, 3}};

} // namespace

trelTessellationCounts trelBox::CountTessellation(const trelTessellationOptions& /*options*/) const {
    // A face turned over for a mirroring placement has the same two
    // triangles wound the other way, whose cross products are exactly the
    // negated ones: whether each is kept does not depend on the turn, so
    // the faces are counted as they stand, without their normals. A
    // non-finite corner makes a side non-finite, and each side's components
    // are multiplied into the cross product, whose square is then infinite
    // or NaN: the square alone tells whether a triangle is kept.
    Vec3 p[8];
    for (int i = 0; i < 8; ++i)
        p[i] = Vec3(corners[i]);
    trelTessellationCounts counts;
    for (const int(&face)[4] : Faces) {
        const Vec3& a = p[face[0]];
        const Vec3 toB = p[face[1]] - a, toC = p[face[2]] - a, toD = p[face[3]] - a;
        for (const Vec3& cross : {Cross(toB, toC), Cross(toC, toD)}) {
            const double square = Dot(cross, cross);
            counts.triangles += square > 0.0 && std::isfinite(square) ? 1 : 0;
        }
    }
    return counts;
}

void trelBox::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    // Each face shows the whole image, upright seen from outside with the
    // box's +y up; the top has its -z edge up and the bottom its +z edge, as
    // seen from above and from below.
    static const float imageCorners[6][4][2] = {{{1, 0}, {1, 1}, {0, 1}, {0, 0}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                                                {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{1, 0}, {1, 1}, {0, 1}, {0, 0}},
                                                {{1, 1}, {0, 1}, {0, 0}, {1, 0}}, {{0, 1}, {0, 0}, {1, 0}, {1, 1}}};
    trelDetail::ReserveTriangles(out, 12, options.attributes);
    const trelDetail::AttributeReader reader(*this);
    ForEachFace(corners, [&](int f, const std::vector<Vec3>& quad, const int(&order)[4], const Vec3& normal) {
        if (!options.attributes) {
            trelDetail::EmitFlatTriangle(out, quad[0], quad[1], quad[2], normal);
            trelDetail::EmitFlatTriangle(out, quad[0], quad[2], quad[3], normal);
            return;
        }
        for (const std::array<int, 3>& half : Halves) {
            const Vec3 p[3] = {quad[static_cast<size_t>(half[0])], quad[static_cast<size_t>(half[1])],
                               quad[static_cast<size_t>(half[2])]};
            const Vec3 n[3] = {normal, normal, normal};
            trelDetail::VertexExtras extras[3];
            for (int i = 0; i < 3; ++i) {
                const float(&image)[2] = imageCorners[f][order[half[static_cast<size_t>(i)]]];
                extras[i].texCoord = reader.Map(trelTexCoord(image[0], image[1]));
            }
            trelDetail::EmitTriangle(out, p, n, extras);
        }
    });
}
