#pragma once
// The world as JSON, in the one form that tests and scripts read:
// {"file", "result", "version", "imageUnits", "world": GROUP}, GROUP being
// {"name", "objects": [...], "groups": [...]} in insertion order.

#include "host/geometry/Geometry.h"

#include <ostream>
#include <string>

namespace vrml {

struct DumpHeader {
    std::string file;
    int result = 0;
    int version = 0;
    int imageUnits = 4;
};

void WriteJsonDump(std::ostream& out, const DumpHeader& header, const trelBaseGroup& world);

} // namespace vrml
