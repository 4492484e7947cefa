#pragma once
// `vrml convert`: IN OUT, or several inputs into a folder.

#include "export/Convert.h"

#include <ostream>
#include <string>
#include <vector>

namespace vrml::cli {

struct ConvertRequest {
    std::vector<std::string> files; // IN OUT, or the inputs when outputDir is set
    std::string outputDir;          // -o DIR
    std::string format;             // --format, with -o DIR only (default glb)
    ConvertSettings settings;       // its threads: 0 takes every core
    bool quiet = false;
};

// The whole command. Every failure is one line on `err` naming the file and
// the reason; without `quiet`, each conversion done is one line on `out`,
// in the order of the inputs, and a bar on a terminal follows a file
// converted alone.
// Returns 0 when every input was converted, 1 when any failed, 2 when the
// request itself cannot be carried out.
int RunConvert(const ConvertRequest& request, std::ostream& out, std::ostream& err);

// `vrml convert --list-formats`: a line per format, its name and what it keeps.
void ListFormats(std::ostream& out);

} // namespace vrml::cli
