#include "FontLibrary.h"
#include "Text.h"

#include <algorithm>
#include <cmath>

namespace {

using trelText::Glyph;

// Where a line or block starts, given its extent [low, high] along one axis
// and its reading direction: FIRST and BEGIN put its start at 0, END its
// end, MIDDLE its centre.
double Shift(trelTextJustify justify, double low, double high, bool forward) {
    switch (justify) {
    case trelTextJustify::Middle: return -(low + high) / 2.0;
    case trelTextJustify::End: return forward ? -high : -low;
    default: return forward ? -low : -high;
    }
}

} // namespace

bool trelMakeText(const std::vector<std::u32string>& lines, const trelTextLayout& layout, trelTextMesh& mesh) {
    trelText::FontUse use = trelText::OpenFont(layout.family, layout.bold, layout.italic);
    if (!use.font)
        return false;
    trelText::Font& font = *use.font;
    const double size = layout.size;
    const double ascent = font.Ascent() * size, descent = font.Descent() * size;

    // Each line along its own direction, from its start: where each glyph's
    // origin lies, and the line's length. Vertical lines give each glyph one
    // size of room.
    struct Placed {
        const Glyph* glyph;
        double along;
    };
    std::vector<std::vector<Placed>> placed(lines.size());
    std::vector<double> length(lines.size(), 0.0), stretch(lines.size(), 1.0);
    double longest = 0.0;
    for (size_t l = 0; l < lines.size(); ++l) {
        double at = 0.0;
        for (char32_t c : lines[l]) {
            const Glyph& glyph = font.GlyphOf(c);
            const double advance = layout.horizontal ? glyph.advance * size : size;
            placed[l].push_back({&glyph, at});
            at += advance;
        }
        length[l] = at;
        if (l < layout.lengths.size() && layout.lengths[l] > 0.0 && at > 0.0)
            stretch[l] = layout.lengths[l] / at;
        longest = std::max(longest, at * stretch[l]);
    }
    if (layout.maxExtent > 0.0 && longest > layout.maxExtent) {
        for (size_t l = 0; l < lines.size(); ++l)
            if (length[l] * stretch[l] > layout.maxExtent)
                stretch[l] = layout.maxExtent / length[l];
        longest = layout.maxExtent;
    }

    // The major direction: along x for horizontal text (+x left to right),
    // down y for vertical text read top to bottom. Lines follow each other
    // in the minor direction, one spacing apart.
    const bool majorForward = layout.horizontal ? layout.leftToRight : !layout.topToBottom;
    const double majorSign = majorForward ? 1.0 : -1.0;
    const bool minorForward = layout.horizontal ? !layout.topToBottom : layout.leftToRight;
    const double minorSign = minorForward ? 1.0 : -1.0;
    const double step = layout.spacing * size;

    // The block across the lines: from the first line's near edge to the
    // last line's far edge (ascent and descent for horizontal text, the
    // glyph's column for vertical), with the first baseline at 0.
    const double lastLine = lines.empty() ? 0.0 : static_cast<double>(lines.size() - 1) * step * minorSign;
    double blockLow, blockHigh;
    if (layout.horizontal) {
        blockLow = std::min(0.0, lastLine) - descent;
        blockHigh = std::max(0.0, lastLine) + ascent;
    } else {
        blockLow = std::min(0.0, lastLine);
        blockHigh = std::max(0.0, lastLine) + size;
    }
    const double minorShift =
        layout.minor == trelTextJustify::First ? 0.0 : Shift(layout.minor, blockLow, blockHigh, minorForward);

    for (size_t l = 0; l < lines.size(); ++l) {
        const double lineLength = length[l] * stretch[l];
        const double majorShift =
            Shift(layout.major, majorForward ? 0.0 : -lineLength, majorForward ? lineLength : 0.0, majorForward);
        const double baseline = static_cast<double>(l) * step * minorSign + minorShift;
        for (const Placed& p : placed[l]) {
            const Glyph& glyph = *p.glyph;
            // A glyph read backwards starts one advance further on.
            const double advance = (layout.horizontal ? glyph.advance * size : size) * stretch[l];
            const double origin = majorShift + majorSign * p.along * stretch[l] - (majorForward ? 0.0 : advance);
            const int first = static_cast<int>(mesh.points.size());
            for (const auto& q : glyph.points) {
                double x, y;
                if (layout.horizontal) {
                    x = origin + q[0] * size * stretch[l];
                    y = baseline + q[1] * size;
                } else {
                    // Each glyph stands in its cell with its baseline at the
                    // cell's foot; columns are a size wide.
                    x = baseline + q[0] * size;
                    y = origin + q[1] * size * stretch[l] + descent * stretch[l];
                }
                mesh.points.emplace_back(static_cast<float>(x), static_cast<float>(y), 0.0f);
            }
            for (int index : glyph.triangles)
                mesh.triangles.push_back(first + index);
        }
    }
    return true;
}

bool trelDecodeUtf8(std::string_view text, std::u32string& characters) {
    std::u32string decoded;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra;
        char32_t c;
        if (byte < 0x80) {
            extra = 0;
            c = byte;
        } else if ((byte & 0xE0) == 0xC0) {
            extra = 1;
            c = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            extra = 2;
            c = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            extra = 3;
            c = byte & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= static_cast<size_t>(extra))
            return false; // cut off
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        decoded.push_back(c);
        i += static_cast<size_t>(extra) + 1;
    }
    characters = std::move(decoded);
    return true;
}
