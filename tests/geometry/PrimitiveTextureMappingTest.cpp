#include "TestScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;

// The standard's s around the y axis: 0 at -z, a quarter at -x, half at +z.
double AroundY(const trelFloatPoint& p) {
    const double s = std::atan2(-p.x, -p.z) / (2 * kPi);
    return s < 0 ? s + 1 : s;
}

// The expected coordinates of a vertex, or false when it has none to check
// (a pole or an apex has no single s).
using Expectation = std::function<bool(const trelFloatPoint&, const trelVector&, trelTexCoord&)>;

} // namespace

TEST(PrimitiveTextureMapping, SolidsAsLoadedTakeTheStandardMappingsInTheFilesAxes) {
    const Expectation side = [](const trelFloatPoint& p, const trelVector&, trelTexCoord& want) {
        want = {static_cast<float>(AroundY(p)), (p.y + 1) / 2};
        return std::hypot(p.x, p.z) > 1e-4;
    };
    const struct {
        const char* header;
        const char* nodes;
        size_t object;
        Expectation expect;
    } cases[] = {
        {V2, "Cylinder { radius 3 height 2 }", 0, side},
        {V1, "Cylinder { radius 3 height 2 }", 0, side},
        {V2, "Cone { bottomRadius 3 height 2 }", 0, side},
        // The top cap: seen from above with -z up.
        {V2, "Cylinder { radius 3 height 2 }", 2,
         [](const trelFloatPoint& p, const trelVector&, trelTexCoord& want) {
             want = {0.5f + p.x / 6, 0.5f - p.z / 6};
             return true;
         }},
        {V2, "Sphere { radius 3 }", 0,
         [](const trelFloatPoint& p, const trelVector&, trelTexCoord& want) {
             want = {static_cast<float>(AroundY(p)),
                     static_cast<float>(1 - std::acos(std::fmax(-1.0, std::fmin(1.0, p.y / 3.0))) / kPi)};
             return std::hypot(p.x, p.z) > 1e-4;
         }},
        // The front of a box, seen from +z with +y up.
        {V2, "Box { size 2 4 6 }", 0,
         [](const trelFloatPoint& p, const trelVector& n, trelTexCoord& want) {
             want = {(p.x + 1) / 2, (p.y + 2) / 4};
             return n.z > 0.9f;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nodes);
        LoadedText loaded;
        const auto objects = Build(loaded, c.header, c.nodes);
        ASSERT_GT(objects.size(), c.object);
        trelTessellation t;
        trelTessellationOptions options;
        options.attributes = true;
        objects[c.object].object->Tessellate(t, options);
        ASSERT_EQ(t.triangleTexCoords.size(), t.triangleVertices.size());
        int checked = 0;
        for (size_t v = 0; v < t.triangleVertices.size(); ++v) {
            const trelFloatPoint& p = t.triangleVertices[v];
            trelTexCoord want;
            if (!c.expect(p, t.triangleNormals[v], want))
                continue;
            ++checked;
            const trelTexCoord& got = t.triangleTexCoords[v];
            // The seam at -z is s = 0 on one side and 1 on the other.
            const double apart = std::fabs(got.s - want.s);
            EXPECT_LT(std::fmin(apart, std::fabs(apart - 1.0)), 1e-5) << "s at " << p.x << ", " << p.y << ", " << p.z;
            EXPECT_NEAR(got.t, want.t, 1e-5) << "at " << p.x << ", " << p.y << ", " << p.z;
        }
        EXPECT_GE(checked, 6);
    }
}
