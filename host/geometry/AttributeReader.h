#pragma once
// Internal: how an object reads its attribute block while it tessellates,
// and how attributed vertices are written. Not part of the library's
// interface.

#include "Attributes.h"
#include "BaseObject.h"
#include "GeometryDetail.h"

namespace trelDetail {

// What a vertex writes besides its place and normal.
struct VertexExtras {
    trelChroma color{1.0f, 1.0f, 1.0f, 1.0f};
    trelTexCoord texCoord;
};

// As EmitTriangle, and writes the extras of the three corners when the
// triangle is appended.
bool EmitTriangle(trelTessellation& out, const Vec3 (&p)[3], const Vec3 (&n)[3], const VertexExtras (&extras)[3]);

// Gives every triangle vertex, line point and point written without
// attributes (those past the ends of the attribute arrays) white and (0, 0),
// so that the arrays stay aligned with the geometry.
void PadAttributes(trelTessellation& out);

// After an object has written its primitives: pads them when attributes are
// asked for, and tells whether the object has a block of its own to read.
inline bool PadsAndHasOwnAttributes(trelTessellation& out, const trelTessellationOptions& options,
                                    const trelBaseObject& object) {
    if (!options.attributes)
        return false;
    PadAttributes(out);
    return object.GetAttributes() != nullptr;
}

// One object's block, read under the object's attribute offset. The block
// may be shared and cannot be trusted: before use the object passes every
// vertex and face number it will look up to CheckVertex and CheckFace, and a
// kind (colours, normals, texture coordinates) that any of them cannot find,
// or finds not finite, is dropped for the whole object. Lookups stay bounded
// even without the checks.
class AttributeReader {
public:
    explicit AttributeReader(const trelBaseObject& object);

    void CheckVertex(long long vertex);
    void CheckFace(long long face);

    bool HasColors() const { return colors; }
    bool HasNormals() const { return normals; }
    bool HasTexCoords() const { return texCoords; }
    // White, the zero vector (take the face's own) and (0, 0) when absent.
    trelChroma Color(long long vertex, long long face) const;
    Vec3 Normal(long long vertex, long long face) const;
    trelTexCoord TexCoord(long long vertex) const;
    VertexExtras Extras(long long vertex, long long face) const;
    // A coordinate that the object makes from its shape, through the texture
    // matrix.
    trelTexCoord Map(const trelTexCoord& generated) const;

    // Radians, 0 for a value that is not a finite positive number.
    double CreaseAngle() const { return creaseAngle; }
    bool Ccw() const { return ccw; }

private:
    const trelAttributes* block = nullptr;
    long long offset = 0;
    bool colors = false, normals = false, texCoords = false, matrix = true;
    double creaseAngle = 0.0;
    bool ccw = true;
};

} // namespace trelDetail
