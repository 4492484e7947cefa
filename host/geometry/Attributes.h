#pragma once
// What a file says about an object beyond its positions and its one
// material: colours, normals and texture coordinates per vertex or per face,
// the smoothing angle, the winding, and a texture. Objects of files that give
// none of these carry no block at all; a block is immutable once handed to an
// object, so that many objects (the dots of a point set, the lines of a line
// set, the uses of one named node) can share one.

#include "Arrays.h"
#include "Color.h"
#include "Vectors.h"

#include <memory>
#include <string>
#include <vector>

struct trelTexCoord {
    float s = 0.0f, t = 0.0f;
    trelTexCoord() = default;
    trelTexCoord(float ps, float pt) : s(ps), t(pt) {}
    bool operator==(const trelTexCoord& o) const { return s == o.s && t == o.t; }
};
using trelTexCoordArray = trelArray<trelTexCoord>;

// A decoded picture: `rgba` holds width * height pixels of four bytes, the
// top row first. When the picture came from a PNG or JPEG file, `encoded`
// keeps that file's bytes and `mimeType` says which, so that an exporter can
// embed the file as it is rather than encode it again.
struct trelImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    std::vector<unsigned char> encoded;
    std::string mimeType; // "image/png", "image/jpeg", or empty when `encoded` is empty
    std::string name;     // where it came from (a file name), for messages and exported names
    bool HasAlpha() const;
};

struct trelTexture {
    std::shared_ptr<const trelImage> image; // null: no texture
    bool repeatS = true, repeatT = true;    // false: clamp to the edge
};

// Texture coordinates are mapped by a 2-D affine matrix before use:
// s' = m[0] s + m[1] t + m[2], t' = m[3] s + m[4] t + m[5].
struct trelTexMatrix {
    float m[6] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f};
    trelTexCoord Apply(const trelTexCoord& c) const {
        return {m[0] * c.s + m[1] * c.t + m[2], m[3] * c.s + m[4] * c.t + m[5]};
    }
    bool IsIdentity() const {
        return m[0] == 1.0f && m[1] == 0.0f && m[2] == 0.0f && m[3] == 0.0f && m[4] == 1.0f && m[5] == 0.0f;
    }
};

// How an object numbers what its attributes refer to:
// - C3DPolyface: a vertex is a slot of its merged index list (the size slots
//   included, so a list of attribute indices has the layout of the coordinate
//   indices); a face is the face's number, from 0.
// - C3DPolyline and C3DPolygon: a vertex is a point's number; the whole
//   object is face 0.
// - C3DPolyMesh: a vertex is a grid point, row by row; a face is a cell, row
//   by row over the cells.
// - trelDot: its point is vertex 0.
// - Solids and disks have no numbered vertices: their normals and texture
//   coordinates come from their shape.
// The object adds its attribute offset to each number before looking it up,
// so one block can serve objects that each hold a stretch of it. An index
// list maps a number to a value; an empty list maps a number to itself.
struct trelAttributes {
    // Colours as the file gives them (display values, not linear), alpha 1.
    trelChromaArray colors;
    trelIntArray colorIndex;
    bool colorPerVertex = true;

    // Normals in world space, like the object's points.
    trelVectorArray normals;
    trelIntArray normalIndex;
    bool normalPerVertex = true;

    trelTexCoordArray texCoords;
    trelIntArray texCoordIndex;
    trelTexMatrix texMatrix;

    // Where no normals are given they are computed: smooth across an edge
    // whose faces meet at less than this angle (radians), faceted otherwise.
    double creaseAngle = 0.0;
    // False when the file says its faces are wound clockwise around their
    // front side.
    bool ccw = true;

    trelTexture texture;

    bool HasColors() const { return !colors.IsEmpty(); }
    bool HasNormals() const { return !normals.IsEmpty(); }
    bool HasTexCoords() const { return !texCoords.IsEmpty(); }
    bool HasTexture() const { return texture.image != nullptr; }
};
