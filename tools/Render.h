#pragma once
// `vrml render`: a picture of a loaded world as a PNG file, for people and
// for file managers' thumbnails.

#include "LoadReport.h"
#include "WorldRenderer.h"

#include <ostream>
#include <string>

// The largest picture drawn, each way: its colours and depths then take 512 MB.
constexpr int MaxRenderSide = 8192;

// "WxH", each side from 1 to MaxRenderSide. Returns an empty string on
// success, else why the text is refused.
std::string ParseRenderSize(const std::string& text, int& width, int& height);
// "#rrggbb", "r,g,b" with each part from 0 to 1, or "transparent". Returns
// an empty string on success, else why the text is refused.
std::string ParseBackground(const std::string& text, trelChroma& colour);

// Writes the picture as a PNG file; an empty string on success, else the
// reason (a partial file is removed).
std::string WritePng(const RenderedPicture& picture, const std::string& path);

struct RenderRequest {
    std::string input, output;
    std::string size = "800x600";
    std::string view = "iso";
    std::string background; // empty: light grey, or transparent for a thumbnail
    int thumbnail = 0;      // a square of this side in place of `size`
    int segments = 32;
    LoadSettings load;
};

// The whole command. Returns the loader's result for a file that loaded (0
// when it loaded cleanly) or could not be loaded at all (then nothing is
// written); 1 when the scene has nothing to draw (the background is written
// all the same) or the picture could not be written; 2 when the request
// itself is refused. Every failure is one line on `err`.
int RunRender(const RenderRequest& request, std::ostream& err);
