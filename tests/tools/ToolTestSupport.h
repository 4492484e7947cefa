#pragma once
// Worlds built by hand for the exporters' tests: they do not depend on which
// geometry nodes the loader reads yet, and hold every kind of export content.

#include "TestScene.h"
#include "host/geometry/Geometry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

namespace tool_test {

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

} // namespace tool_test
