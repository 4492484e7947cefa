#pragma once
// Worlds built by hand for the exporters' tests: they do not depend on which
// geometry nodes the loader reads yet, and hold every kind of export content.

#include "host/geometry/Geometry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
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
    const trelFloatPoint corners[8] = {{low.x, low.y, low.z},    {high.x, low.y, low.z},  {high.x, high.y, low.z},
                                       {low.x, high.y, low.z},   {low.x, low.y, high.z},  {high.x, low.y, high.z},
                                       {high.x, high.y, high.z}, {low.x, high.y, high.z}};
    auto* box = new trelBox;
    box->SetBox(corners);
    return box;
}

inline trelSphere* MakeSphere(const trelFloatPoint& center, double radius) {
    auto* sphere = new trelSphere;
    sphere->SetSphere(trelFloatPoint(), trelVector(1, 0, 0), trelVector(0, 0, 1), radius, 0.0, 6.2831860, 0.0,
                      3.1415930);
    sphere->SetXformation(GetDisplacementMatrix(center));
    return sphere;
}

inline C3DPolyline* MakePolyline(std::initializer_list<trelFloatPoint> points) {
    trelFloatPointArray array;
    for (const trelFloatPoint& p : points)
        array.Append(p);
    auto* line = new C3DPolyline;
    line->SetPolyline(array, 0);
    return line;
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
const trelChroma Glass(0.2f, 0.4f, 1.0f, 0.5f);
const trelChroma Glow(0.3f, 0.2f, 0.1f);
const trelChroma Green(0.0f, 1.0f, 0.0f);

// world
//   Crate: a box from (-1, 0, -1) to (1, 2, 1), red
//   Body
//     Ball: a sphere of radius 1 at (5, 0, 0), half transparent, glowing
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
    trelSphere* ball = MakeSphere({5, 0, 0}, 1.0);
    ball->SetObjectName(trelRope("Ball"));
    body->AddObject(ball, Material(Glass, Glow, 0.9f), true);
    C3DGroup* inner = AddGroup(*body, nullptr);
    inner->AddObject(MakePolyline({{0, 0, 0}, {1, 1, 0}, {2, 0, 3}}), Material(Green), true);
    inner->AddObject(MakeDot({0, 10, 0}), Material(Red), true);
    AddGroup(*world, "Empty");
    AddGroup(*world, nullptr);
    world->RecursiveUpdateBBox();
    return world;
}

// A folder of the running test's own, emptied first.
inline std::filesystem::path FreshDir() {
    std::string test = "global";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        test = std::string(info->test_suite_name()) + "." + info->name();
    auto dir = std::filesystem::temp_directory_path() / "vrml_tool_tests" / test;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string SourcePath(const std::string& relative) {
    return (std::filesystem::path(VRML_SOURCE_DIR) / relative).string();
}

} // namespace tool_test
