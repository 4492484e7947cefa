#pragma once
// Pictures of loaded worlds as PNG files, for people and for file
// managers' thumbnails, and the texts that choose their size and background.

#include "WorldRenderer.h"

#include <string>

namespace vrml {

// The largest picture drawn, each way: its colours and depths then take 512 MB.
constexpr int MaxRenderSide = 8192;

// "WxH", each side from 1 to MaxRenderSide. Returns an empty string on
// success, else why the text is refused.
std::string ParseRenderSize(const std::string& text, int& width, int& height);

// No background: what lies behind the picture shows through.
inline const trelChroma TransparentBackground{0.0f, 0.0f, 0.0f, 0.0f};

// "#rrggbb", "r,g,b" with each part from 0 to 1, or "transparent". Returns
// an empty string on success, else why the text is refused.
std::string ParseBackground(const std::string& text, trelChroma& colour);

// Writes the picture as a PNG file; an empty string on success, else the
// reason (a partial file is removed).
std::string WritePng(const RenderedPicture& picture, const std::string& path);

} // namespace vrml
