#include "Render.h"

#include "export/OutputFile.h"

// The implementation is in the stb library (Debian's libstb), or else in the loader.
#include <stb_image_write.h>

#include <cstdlib>
#include <sstream>

namespace vrml {

namespace {

// A whole number from 1 to MaxRenderSide, the whole of `text`.
bool ParseSide(const std::string& text, int& side) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    side = std::atoi(text.c_str());
    return true;
}

void AppendTo(void* context, void* data, int size) {
    static_cast<OutputFile*>(context)->Bytes(data, static_cast<size_t>(size));
}

} // namespace

std::string ParseRenderSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find_first_of("xX");
    int w = 0, h = 0;
    if (x == std::string::npos || !ParseSide(text.substr(0, x), w) || !ParseSide(text.substr(x + 1), h) || w < 1 ||
        h < 1)
        return "size \"" + text + "\" is not WIDTHxHEIGHT in pixels (for example 800x600)";
    if (w > MaxRenderSide || h > MaxRenderSide)
        return "size " + text + " is too large: at most " + std::to_string(MaxRenderSide) + "x" +
               std::to_string(MaxRenderSide) + " pixels";
    width = w;
    height = h;
    return {};
}

std::string ParseBackground(const std::string& text, trelChroma& colour) {
    const std::string refused = "background \"" + text + "\" is not #rrggbb, r,g,b (each 0 to 1) or transparent";
    if (text == "transparent") {
        colour = TransparentBackground;
        return {};
    }
    if (text.size() == 7 && text[0] == '#' &&
        text.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos) {
        const auto channel = [&text](size_t at) {
            return std::strtol(text.substr(at, 2).c_str(), nullptr, 16) / 255.0f;
        };
        colour = trelChroma(channel(1), channel(3), channel(5));
        return {};
    }
    std::istringstream in(text);
    float parts[3];
    char comma1 = 0, comma2 = 0;
    if (in >> parts[0] >> comma1 >> parts[1] >> comma2 >> parts[2] && comma1 == ',' && comma2 == ',' &&
        (in >> std::ws).eof()) {
        for (float part : parts)
            if (!(part >= 0.0f && part <= 1.0f))
                return refused;
        colour = trelChroma(parts[0], parts[1], parts[2]);
        return {};
    }
    return refused;
}

std::string WritePng(const RenderedPicture& picture, const std::string& path) {
    OutputFile file(path);
    if (!file.IsOpen())
        return "cannot be written";
    if (!stbi_write_png_to_func(AppendTo, &file, picture.width, picture.height, 4, picture.rgba.data(),
                                picture.width * 4))
        return "the PNG could not be encoded";
    return file.Commit() ? std::string() : "writing failed";
}

} // namespace vrml
