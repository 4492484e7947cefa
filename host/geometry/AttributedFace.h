#pragma once
// Internal: filling one face of an object together with its attributes. Not
// part of the library's interface.

#include "AttributeReader.h"
#include "Triangulation.h"

#include <array>
#include <vector>

namespace trelDetail {

// Keeps its buffers between faces, as the triangulator does.
class AttributedFaceWriter {
public:
    AttributedFaceWriter(trelTessellation& out, const AttributeReader& attributes) : output(out), reader(attributes) {}
    // Fills the face whose corners are at `outline`, numbered `vertices` for
    // the attribute lookups, as face number `face`. Corners take the given
    // normals if there are any, else `cornerNormals` (one per corner) if not
    // null, else the face's normal. A face wound clockwise (ccw false) is
    // turned over, its normals with it unless given. Like FillOrTrace, a face
    // without area is drawn as its outline. Returns the triangles written.
    int Write(const std::vector<Vec3>& outline, const std::vector<long long>& vertices, long long face,
              const Vec3* cornerNormals);

private:
    void Trace(const std::vector<Vec3>& outline, const std::vector<long long>& vertices, long long face);

    trelTessellation& output;
    const AttributeReader& reader;
    OutlineTriangulator triangulator;
    std::vector<std::array<int, 3>> triangles;
};

} // namespace trelDetail
