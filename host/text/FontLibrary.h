#pragma once
// Internal: fonts found on this machine and their glyphs, read once through
// FreeType and kept for the process. Not part of the library's interface.

#include "Text.h"

#include <array>
#include <memory>
#include <vector>

namespace trelText {

// One glyph, in the font's em: 1 is the nominal size.
struct Glyph {
    std::vector<std::array<double, 2>> points; // of the filled triangles
    std::vector<int> triangles;                // three indices a triangle, counter-clockwise
    double advance = 0.0;                      // to the next glyph's origin along the line
};

// A font file, opened once; its glyphs are made on first use.
class Font {
public:
    virtual ~Font() = default;
    // The glyph of a character (the missing-glyph box for one the font
    // lacks). The reference stays valid as long as the font.
    virtual const Glyph& GlyphOf(char32_t character) = 0;
    // How far the font's letters reach above and below the baseline, in em.
    virtual double Ascent() const = 0;
    virtual double Descent() const = 0; // positive: the depth below the baseline
};

// The font for a family and style, opened on first use and kept: the
// style asked for, else the nearest found (bold kept before italic), else
// another family. Null when no font can be read at all. Callers hold the
// returned lock while they use the font.
struct FontUse {
    Font* font = nullptr;
    std::shared_ptr<void> lock;
};
FontUse OpenFont(trelFontFamily family, bool bold, bool italic);

} // namespace trelText
