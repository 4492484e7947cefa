#pragma once
// Text as geometry: the glyphs of a real font, read through FreeType, as
// flat triangles laid out in lines. Knows nothing of VRML: a loader passes
// the lines, the font it wants and the layout, and places the result.

#include "host/geometry/Vectors.h"

#include <string>
#include <string_view>
#include <vector>

enum class trelFontFamily { Serif, Sans, Typewriter };

// Where a block of lines sits against the origin, along one direction.
enum class trelTextJustify { First, Begin, Middle, End };

struct trelTextLayout {
    trelFontFamily family = trelFontFamily::Serif;
    bool bold = false, italic = false;
    double size = 1.0;    // the glyphs' nominal height (the font's em)
    double spacing = 1.0; // between lines, in sizes
    // Lines run along +x (or -x), one below the other (or above); or, not
    // horizontal, down -y (or up), one column beside the other.
    bool horizontal = true, leftToRight = true, topToBottom = true;
    trelTextJustify major = trelTextJustify::First, minor = trelTextJustify::First;
    // Each line's length along its direction, when above 0: the line is
    // stretched or squeezed to it. Then every line longer than maxExtent
    // (above 0) is squeezed to it.
    std::vector<double> lengths;
    double maxExtent = 0.0;
};

// Triangles of flat text: points with z = 0, three indices a triangle,
// counter-clockwise seen from +z.
struct trelTextMesh {
    std::vector<trelFloatPoint> points;
    std::vector<int> triangles;
};

// Lays the lines out and fills their glyphs. False when no font of the
// family (any style) could be found or read: nothing is made. A character
// the font lacks is the font's own missing-glyph box. Safe to call from
// several threads at once.
bool trelMakeText(const std::vector<std::u32string>& lines, const trelTextLayout& layout, trelTextMesh& mesh);

// The characters of UTF-8 text; false (and nothing) when it is not valid
// UTF-8, overlong forms and surrogates included.
bool trelDecodeUtf8(std::string_view text, std::u32string& characters);

// The folders searched for fonts, first the one in VRML_FONT_DIR when set,
// then the system's usual places. For the tests and the documentation.
std::vector<std::string> trelFontFolders();
