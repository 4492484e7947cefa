// An object's tessellation handed over in parts adds up, part after part,
// to exactly what Tessellate writes at once.

#include "host/geometry/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Appends every part to one tessellation, counting the parts.
class Collector : public trelTessellationSink {
public:
    void Expect(size_t mostTriangles) override { expected = mostTriangles; }
    void Take(trelTessellation& part) override {
        ++parts;
        Append(all.triangleVertices, part.triangleVertices);
        Append(all.triangleNormals, part.triangleNormals);
        Append(all.lineStrips, part.lineStrips);
        Append(all.points, part.points);
        Append(all.triangleColors, part.triangleColors);
        Append(all.triangleTexCoords, part.triangleTexCoords);
        Append(all.lineColors, part.lineColors);
        Append(all.pointColors, part.pointColors);
        // A sink may take the part's buffers; the object must cope.
        trelTessellation taken;
        std::swap(taken, part);
    }
    trelTessellation all;
    size_t parts = 0, expected = 0;

private:
    template <class Item>
    static void Append(std::vector<Item>& to, const std::vector<Item>& from) {
        to.insert(to.end(), from.begin(), from.end());
    }
};

template <class Item>
bool SameBits(const std::vector<Item>& a, const std::vector<Item>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Item)) == 0);
}

bool SameStrips(const std::vector<std::vector<trelFloatPoint>>& a, const std::vector<std::vector<trelFloatPoint>>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameBits(a[i], b[i]))
            return false;
    return true;
}

// A wavy grid of quads, rows by columns, with a face among them every
// `oddEvery` faces that has no area (drawn as lines or a point) or a corner
// at infinity, so that such faces fall on both sides of part boundaries.
std::shared_ptr<trelBaseObject> Grid(int rows, int columns, int oddEvery) {
    trelFloatPointArray points;
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c)
            points.Append(trelFloatPoint(0.25f * c, 0.5f * r, std::sin(0.1f * c) + 0.01f * r));
    const int far = points.GetSize();
    points.Append(trelFloatPoint(std::numeric_limits<float>::infinity(), 0, 0));
    trelIntArray indices;
    const auto at = [&](int r, int c) { return r * (columns + 1) + c; };
    int face = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c, ++face) {
            const int corners[4] = {at(r, c), at(r, c + 1), at(r + 1, c + 1), at(r + 1, c)};
            const int kind = oddEvery > 0 && face % oddEvery == 0 ? face / oddEvery % 4 : -1;
            if (kind == 0) { // a line
                for (int i : {2, corners[0], corners[1]})
                    indices.Append(i);
            } else if (kind == 1) { // a point
                for (int i : {1, corners[0]})
                    indices.Append(i);
            } else if (kind == 2) { // a triangle reaching to infinity
                for (int i : {3, corners[0], corners[1], far})
                    indices.Append(i);
            } else {
                indices.Append(4);
                for (int i : corners)
                    indices.Append(i);
            }
        }
    }
    auto polyface = std::make_shared<C3DPolyface>();
    polyface->SetPoints(points, indices);
    return polyface;
}

// A grid of points made into cells, closed in one direction.
std::shared_ptr<trelBaseObject> Mesh(int rows, int columns) {
    trelFloatPointArray points;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            points.Append(trelFloatPoint(0.3f * c, std::cos(0.2f * r) * (1.0f + 0.1f * c), std::sin(0.2f * r)));
    auto mesh = std::make_shared<C3DPolyMesh>();
    mesh->SetPoints(points, rows, columns, 1, 0);
    return mesh;
}

} // namespace

TEST(TessellationParts, AddUpToTheWholeTessellation) {
    struct Case {
        std::string name;
        std::shared_ptr<trelBaseObject> object;
        bool attributes;
        size_t fewestParts;
        bool traces = false; // faces without area drawn as lines and points
    };
    const std::vector<Case> cases = {
        {"small set, one part", Grid(3, 4, 5), false, 1, true},
        {"large set", Grid(60, 90, 0), false, 3},
        {"large set with odd faces", Grid(60, 90, 7), false, 3, true},
        {"odd faces, padded attributes", Grid(60, 90, 13), true, 3, true},
        {"small mesh, one part", Mesh(5, 6), false, 1},
        {"large closed mesh", Mesh(70, 50), false, 2},
        {"large mesh, padded attributes", Mesh(70, 50), true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const trelBaseObject& object = *c.object;
        trelTessellationOptions options;
        options.attributes = c.attributes;
        trelTessellation whole;
        object.Tessellate(whole, options);
        Collector collector;
        trelTessellation part;
        object.TessellateInParts(part, options, collector);
        EXPECT_GE(collector.parts, c.fewestParts);
        EXPECT_GE(collector.expected, whole.GetTriangleCount());
        EXPECT_TRUE(SameBits(collector.all.triangleVertices, whole.triangleVertices));
        EXPECT_TRUE(SameBits(collector.all.triangleNormals, whole.triangleNormals));
        EXPECT_TRUE(SameStrips(collector.all.lineStrips, whole.lineStrips));
        EXPECT_TRUE(SameBits(collector.all.points, whole.points));
        EXPECT_EQ(collector.all.triangleColors.size(), whole.triangleColors.size());
        EXPECT_EQ(collector.all.triangleTexCoords.size(), whole.triangleTexCoords.size());
        EXPECT_EQ(collector.all.lineColors.size(), whole.lineColors.size());
        EXPECT_EQ(collector.all.pointColors.size(), whole.pointColors.size());
        EXPECT_EQ(!whole.lineStrips.empty() && !whole.points.empty(), c.traces);
    }
}
