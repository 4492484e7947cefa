#include "FontLibrary.h"

#include "GlyphFill.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <unordered_map>

namespace trelText {

namespace {

// Curves are cut into this many straight pieces: smooth at any size text
// is usually shown, and a glyph stays a few hundred triangles.
constexpr int ConicPieces = 4;
constexpr int CubicPieces = 6;

// The file names of a family's four styles: regular, bold, italic, bold
// italic. DejaVu (Debian's fonts-dejavu-core, most Linux systems), then the
// fonts every Windows and macOS has.
struct FamilyFiles {
    std::array<const char*, 4> dejaVu, windows, mac;
};
const FamilyFiles& FilesOf(trelFontFamily family) {
    static const FamilyFiles serif{
        {"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf", "DejaVuSerif-BoldItalic.ttf"},
        {"times.ttf", "timesbd.ttf", "timesi.ttf", "timesbi.ttf"},
        {"Times New Roman.ttf", "Times New Roman Bold.ttf", "Times New Roman Italic.ttf",
         "Times New Roman Bold Italic.ttf"}};
    static const FamilyFiles sans{
        {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf", "DejaVuSans-BoldOblique.ttf"},
        {"arial.ttf", "arialbd.ttf", "ariali.ttf", "arialbi.ttf"},
        {"Arial.ttf", "Arial Bold.ttf", "Arial Italic.ttf", "Arial Bold Italic.ttf"}};
    static const FamilyFiles typewriter{
        {"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-Oblique.ttf",
         "DejaVuSansMono-BoldOblique.ttf"},
        {"cour.ttf", "courbd.ttf", "couri.ttf", "courbi.ttf"},
        {"Courier New.ttf", "Courier New Bold.ttf", "Courier New Italic.ttf", "Courier New Bold Italic.ttf"}};
    switch (family) {
    case trelFontFamily::Sans: return sans;
    case trelFontFamily::Typewriter: return typewriter;
    default: return serif;
    }
}

// The outline of one glyph as closed contours of straight pieces, in font units.
class ContourCollector {
public:
    std::vector<std::vector<std::array<double, 2>>> contours;

    static int MoveTo(const FT_Vector* to, void* user) {
        auto& self = *static_cast<ContourCollector*>(user);
        self.contours.emplace_back();
        self.Add(*to);
        return 0;
    }
    static int LineTo(const FT_Vector* to, void* user) {
        static_cast<ContourCollector*>(user)->Add(*to);
        return 0;
    }
    static int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
        auto& self = *static_cast<ContourCollector*>(user);
        const std::array<double, 2> p0 = self.Last(), p1 = Point(*control), p2 = Point(*to);
        for (int i = 1; i <= ConicPieces; ++i) {
            const double t = static_cast<double>(i) / ConicPieces, s = 1.0 - t;
            self.AddPoint(
                {s * s * p0[0] + 2 * s * t * p1[0] + t * t * p2[0], s * s * p0[1] + 2 * s * t * p1[1] + t * t * p2[1]});
        }
        return 0;
    }
    static int CubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user) {
        auto& self = *static_cast<ContourCollector*>(user);
        const std::array<double, 2> p0 = self.Last(), p1 = Point(*control1), p2 = Point(*control2), p3 = Point(*to);
        for (int i = 1; i <= CubicPieces; ++i) {
            const double t = static_cast<double>(i) / CubicPieces, s = 1.0 - t;
            const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
            self.AddPoint(
                {a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0], a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]});
        }
        return 0;
    }

private:
    static std::array<double, 2> Point(const FT_Vector& v) {
        return {static_cast<double>(v.x), static_cast<double>(v.y)};
    }
    std::array<double, 2> Last() const {
        return contours.empty() || contours.back().empty() ? std::array<double, 2>{0.0, 0.0} : contours.back().back();
    }
    void Add(const FT_Vector& v) { AddPoint(Point(v)); }
    void AddPoint(const std::array<double, 2>& p) {
        if (contours.empty())
            contours.emplace_back();
        contours.back().push_back(p);
    }
};

class FreeTypeFont : public Font {
public:
    FreeTypeFont(FT_Face face) : face(face) {}
    ~FreeTypeFont() override { FT_Done_Face(face); }
    FreeTypeFont(const FreeTypeFont&) = delete;
    FreeTypeFont& operator=(const FreeTypeFont&) = delete;

    const Glyph& GlyphOf(char32_t character) override {
        auto [at, added] = glyphs.try_emplace(character);
        if (added)
            Make(character, at->second);
        return at->second;
    }
    double Ascent() const override { return Em(face->ascender); }
    double Descent() const override { return -Em(face->descender); }

private:
    double Em(double units) const { return face->units_per_EM > 0 ? units / face->units_per_EM : 0.0; }

    void Make(char32_t character, Glyph& glyph) const {
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(character));
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0)
            return;
        glyph.advance = Em(static_cast<double>(face->glyph->metrics.horiAdvance));
        if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
            return;
        ContourCollector collector;
        FT_Outline_Funcs funcs{};
        funcs.move_to = &ContourCollector::MoveTo;
        funcs.line_to = &ContourCollector::LineTo;
        funcs.conic_to = &ContourCollector::ConicTo;
        funcs.cubic_to = &ContourCollector::CubicTo;
        if (FT_Outline_Decompose(&face->glyph->outline, &funcs, &collector) != 0)
            return;
        for (auto& contour : collector.contours)
            for (auto& point : contour)
                point = {Em(point[0]), Em(point[1])};
        FillContours(collector.contours, glyph.points, glyph.triangles);
    }

    FT_Face face;
    std::unordered_map<char32_t, Glyph> glyphs;
};

// Every font the process opened, and the FreeType library they share:
// FreeType's objects are used by one thread at a time.
struct Library {
    std::mutex guard;
    FT_Library freeType = nullptr;
    bool started = false;
    std::map<std::string, std::unique_ptr<FreeTypeFont>> byFile; // null: could not be read
    std::map<std::tuple<trelFontFamily, bool, bool>, FreeTypeFont*> chosen;

    ~Library() {
        byFile.clear();
        if (freeType)
            FT_Done_FreeType(freeType);
    }

    FreeTypeFont* Open(const std::string& path) {
        auto [at, added] = byFile.try_emplace(path);
        if (added) {
            FT_Face face = nullptr;
            if (FT_New_Face(freeType, path.c_str(), 0, &face) == 0) {
                if (FT_IS_SCALABLE(face))
                    at->second = std::make_unique<FreeTypeFont>(face);
                else
                    FT_Done_Face(face);
            }
        }
        return at->second.get();
    }

    FreeTypeFont* Find(const char* name) {
        std::error_code error;
        for (const std::string& folder : trelFontFolders()) {
            const std::filesystem::path path = std::filesystem::path(folder) / name;
            if (std::filesystem::is_regular_file(path, error))
                if (FreeTypeFont* font = Open(path.string()))
                    return font;
        }
        return nullptr;
    }

    FreeTypeFont* Choose(trelFontFamily family, bool bold, bool italic) {
        // The style asked for, then without italic, without bold, plain;
        // the same in the other families after.
        const int styles[] = {(bold ? 1 : 0) + (italic ? 2 : 0), bold ? 1 : 0, italic ? 2 : 0, 0};
        const trelFontFamily families[] = {family, trelFontFamily::Serif, trelFontFamily::Sans,
                                           trelFontFamily::Typewriter};
        for (trelFontFamily f : families) {
            const FamilyFiles& files = FilesOf(f);
            for (int style : styles)
                for (const auto* names : {&files.dejaVu, &files.windows, &files.mac})
                    if (FreeTypeFont* font = Find((*names)[static_cast<size_t>(style)]))
                        return font;
        }
        return nullptr;
    }
};

Library& TheLibrary() {
    static Library library;
    return library;
}

} // namespace

FontUse OpenFont(trelFontFamily family, bool bold, bool italic) {
    Library& library = TheLibrary();
    auto lock = std::make_shared<std::unique_lock<std::mutex>>(library.guard);
    if (!library.started) {
        library.started = true;
        if (FT_Init_FreeType(&library.freeType) != 0)
            library.freeType = nullptr;
    }
    if (!library.freeType)
        return {};
    auto [at, added] = library.chosen.try_emplace(std::make_tuple(family, bold, italic), nullptr);
    if (added)
        at->second = library.Choose(family, bold, italic);
    return {at->second, at->second ? lock : nullptr};
}

} // namespace trelText

std::vector<std::string> trelFontFolders() {
    std::vector<std::string> folders;
    if (const char* own = std::getenv("VRML_FONT_DIR"))
        folders.push_back(own);
    for (const char* folder : {"/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/dejavu", "/usr/share/fonts/TTF",
                               "/usr/local/share/fonts", "/Library/Fonts", "/System/Library/Fonts/Supplemental"})
        folders.push_back(folder);
    if (const char* windows = std::getenv("WINDIR"))
        folders.push_back(std::string(windows) + "/Fonts");
    return folders;
}
