#pragma once
// The file of a texture image, as exporters embed it or write it beside
// their output: the PNG or JPEG file the image was read from, byte for
// byte; any other picture encoded as PNG from its pixels.

#include "host/geometry/Attributes.h"

#include <string>
#include <vector>

namespace vrml {

struct EmbeddedImage {
    std::vector<unsigned char> bytes; // empty when the picture could not be encoded
    std::string mimeType;             // "image/png" or "image/jpeg"
    std::string extension;            // ".png" or ".jpg"
};

EmbeddedImage EmbeddedImageFor(const trelImage& image);

} // namespace vrml
