#pragma once
// Worlds built by hand for the exporters' tests: they do not depend on which
// geometry nodes the loader reads yet, and hold every kind of export content.

#include "TestScene.h"
#include "export/EmbeddedImage.h"
#include "host/geometry/Geometry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>

namespace test_worlds {

inline trelMatProps Material(const trelChroma& diffuse, const trelChroma& emission = trelChroma(0, 0, 0),
                             float shininess = 0.2f) {
    trelMatProps props;
    for (trelMaterial* m : {&props.front, &props.back}) {
        m->SetDiffuse(diffuse);
        m->SetEmission(emission);
        m->SetShininess(shininess);
    }
    props.materialCount = 2;
    return props;
}

inline trelBox* MakeBox(const trelFloatPoint& low, const trelFloatPoint& high) {
    const trelFloatPoint corners[8] = {{low.x, low.y, low.z},    {high.x, low.y, low.z}, {high.x, high.y, low.z},
                                       {low.x, high.y, low.z},   {low.x, low.y, high.z}, {high.x, low.y, high.z},
                                       {high.x, high.y, high.z}, {low.x, high.y, high.z}};
    auto* box = new trelBox;
    box->SetBox(corners);
    return box;
}

inline trelDot* MakeDot(const trelFloatPoint& p) {
    auto* dot = new trelDot;
    dot->SetDot(p);
    return dot;
}

inline C3DGroup* AddGroup(trelBaseGroup& parent, const char* name) {
    auto* group = new C3DGroup;
    if (name)
        group->SetGroupName(trelRope(name));
    parent.AddGroup(group, true);
    return group;
}

const trelChroma Red(1.0f, 0.0f, 0.0f);

// world
//   Crate: a box from (-1, 0, -1) to (1, 2, 1), red
//   Body
//     Ball: a sphere of radius 1 at (5, 0, 0), diffuse (0.2, 0.4, 1) at alpha 0.5,
//           emissive (0.3, 0.2, 0.1), shininess 0.9
//     (unnamed)
//       a polyline through three points, green; a dot at (0, 10, 0), red
//   Empty (named, nothing in it)
//   (unnamed, nothing in it)
inline std::unique_ptr<C3DWorld> HandBuiltWorld() {
    auto world = std::make_unique<C3DWorld>();
    trelBox* crate = MakeBox({-1, 0, -1}, {1, 2, 1});
    crate->SetObjectName(trelRope("Crate"));
    world->AddObject(crate, Material(Red), true);
    C3DGroup* body = AddGroup(*world, "Body");
    auto* ball = new trelSphere;
    ball->SetSphere(trelFloatPoint(), trelVector(1, 0, 0), trelVector(0, 0, 1), 1.0, 0.0, 6.2831860, 0.0, 3.1415930);
    ball->SetXformation(GetDisplacementMatrix(trelFloatPoint(5, 0, 0)));
    ball->SetObjectName(trelRope("Ball"));
    body->AddObject(ball, Material(trelChroma(0.2f, 0.4f, 1.0f, 0.5f), trelChroma(0.3f, 0.2f, 0.1f), 0.9f), true);
    C3DGroup* inner = AddGroup(*body, nullptr);
    trelFloatPointArray points;
    for (const trelFloatPoint& p : {trelFloatPoint(0, 0, 0), trelFloatPoint(1, 1, 0), trelFloatPoint(2, 0, 3)})
        points.Append(p);
    auto* line = new C3DPolyline;
    line->SetPolyline(points, 0);
    inner->AddObject(line, Material(trelChroma(0.0f, 1.0f, 0.0f)), true);
    inner->AddObject(MakeDot({0, 10, 0}), Material(Red), true);
    AddGroup(*world, "Empty");
    AddGroup(*world, nullptr);
    world->RecursiveUpdateBBox();
    return world;
}

template <class T>
trelArray<T> ArrayOf(std::initializer_list<T> values) {
    trelArray<T> array;
    for (const T& value : values)
        array.Append(value);
    return array;
}

// The unit square in z = 0 as two faces: face 0 (points 0 1 2) below the
// diagonal, face 1 (points 0 2 3) above it.
inline C3DPolyface* MakeSquare(std::shared_ptr<const trelAttributes> attributes) {
    auto* square = new C3DPolyface;
    square->SetPoints(ArrayOf<trelFloatPoint>({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}),
                      ArrayOf({3, 0, 1, 2, 3, 0, 2, 3}));
    square->SetAttributes(std::move(attributes));
    return square;
}
// An attribute index list with the layout of the square's coordinate
// indices (size slots included), each vertex naming its point.
inline trelIntArray SquareVertexIndex() { return ArrayOf({3, 0, 1, 2, 3, 0, 2, 3}); }

// A picture of width x height from its RGBA bytes; with `asPng`, it also
// keeps the PNG file it could have been read from.
inline std::shared_ptr<trelImage> MakeImage(int width, int height, std::vector<unsigned char> rgba,
                                            bool asPng = false) {
    auto image = std::make_shared<trelImage>();
    image->width = width;
    image->height = height;
    image->rgba = std::move(rgba);
    image->name = "pictures/checker.png";
    if (asPng) {
        image->encoded = vrml::EmbeddedImageFor(*image).bytes;
        image->mimeType = "image/png";
    }
    return image;
}

// A 2 x 2 opaque picture in colour.
inline std::shared_ptr<trelImage> ColourPicture(bool asPng) {
    return MakeImage(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255}, asPng);
}

// world
//   Faces: the square, face 0 coloured (1, 0.5, 0), face 1 (0.2, 1, 0), diffuse 0.5 grey
//   Pictured: the square moved 2 along x, texture coordinates (0 0) (2 0) (2 0.25) (0 0.25)
//             on its points, ColourPicture as a PNG, clamped in s, repeated in t
//   a polyline through three points and two dots, each point with its colour
inline std::unique_ptr<C3DWorld> AttributeWorld() {
    auto world = std::make_unique<C3DWorld>();
    auto faces = std::make_shared<trelAttributes>();
    faces->colors = ArrayOf<trelChroma>({{1.0f, 0.5f, 0.0f}, {0.2f, 1.0f, 0.0f}});
    faces->colorPerVertex = false;
    C3DPolyface* coloured = MakeSquare(faces);
    coloured->SetObjectName(trelRope("Faces"));
    world->AddObject(coloured, Material(trelChroma(0.5f, 0.5f, 0.5f)), true);

    auto pictured = std::make_shared<trelAttributes>();
    pictured->texCoords = ArrayOf<trelTexCoord>({{0, 0}, {2, 0}, {2, 0.25f}, {0, 0.25f}});
    pictured->texCoordIndex = SquareVertexIndex();
    pictured->texture.image = ColourPicture(true);
    pictured->texture.repeatS = false;
    C3DPolyface* square = MakeSquare(pictured);
    square->ApplyMatrixToGeometry(GetDisplacementMatrix(trelFloatPoint(2, 0, 0)), true);
    square->SetObjectName(trelRope("Pictured"));
    world->AddObject(square, Material(Red), true);

    auto lines = std::make_shared<trelAttributes>();
    lines->colors = ArrayOf<trelChroma>({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    auto* line = new C3DPolyline;
    line->SetPolyline(ArrayOf<trelFloatPoint>({{0, 3, 0}, {1, 4, 0}, {2, 3, 0}}), 0);
    line->SetAttributes(lines);
    world->AddObject(line, Material(Red), true);
    for (int i = 0; i < 2; ++i) {
        trelDot* dot = MakeDot({static_cast<float>(i), 5, 0});
        dot->SetAttributes(lines, i); // one block for the set, an offset per point
        world->AddObject(dot, Material(Red), true);
    }
    world->RecursiveUpdateBBox();
    return world;
}

// A folder of the running test's own, emptied first.
inline std::filesystem::path FreshDir() {
    const std::filesystem::path dir = TestTempDir();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string SourcePath(const std::string& relative) {
    return (std::filesystem::path(VRML_SOURCE_DIR) / relative).string();
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace test_worlds
