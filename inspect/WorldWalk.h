#pragma once
// Walks over a loaded world without recursion (files may nest groups very deeply).

#include "host/geometry/Geometry.h"

#include <functional>

namespace vrml {

// Calls `visit` for every group below and including `root`, parents before
// children, in insertion order, with the group's depth (root 0).
void WalkGroups(const trelBaseGroup& root, const std::function<void(const trelBaseGroup&, int depth)>& visit);

// The name a dump or a summary gives an object's type.
const char* ObjectTypeName(trelObjectTypes type);

} // namespace vrml
