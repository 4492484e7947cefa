#pragma once
// `vrml render`: a picture of a scene as a PNG file.

#include "inspect/Budget.h"
#include "inspect/LoadReport.h"

#include <ostream>
#include <string>

namespace vrml::cli {

struct RenderRequest {
    std::string input, output;
    std::string size = "800x600";
    std::string view = "iso";
    std::string background; // empty: light grey, or transparent for a thumbnail
    int thumbnail = 0;      // a square of this side in place of `size`
    int segments = 32;
    size_t maxTriangles = DefaultMaxTriangles; // 0: no limit
    LoadSettings load;
};

// The whole command. Returns the loader's result for a file that loaded (0
// when it loaded cleanly) or could not be loaded at all (then nothing is
// written); 1 when the scene has nothing to draw (the background is written
// all the same), when it holds more triangles than the budget (nothing is
// written), when the work budget left objects out (what was drawn is
// written) or the picture could not be written; 2 when the request itself
// is refused. Every failure is one line on `err`.
int RunRender(const RenderRequest& request, std::ostream& err);

} // namespace vrml::cli
