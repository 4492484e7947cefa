#include "EmbeddedImage.h"

// The implementation is in the stb library (Debian's libstb), which the
// glTF library links as well: no definition of it is compiled here.
#include <stb_image_write.h>

#include <cstdint>
#include <limits>

namespace vrml {

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* bytes = static_cast<std::vector<unsigned char>*>(context);
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes->insert(bytes->end(), begin, begin + size);
}

} // namespace

EmbeddedImage EmbeddedImageFor(const trelImage& image) {
    EmbeddedImage file;
    if (!image.encoded.empty() && (image.mimeType == "image/png" || image.mimeType == "image/jpeg")) {
        file.bytes = image.encoded;
        file.mimeType = image.mimeType;
        file.extension = image.mimeType == "image/png" ? ".png" : ".jpg";
        return file;
    }
    file.mimeType = "image/png";
    file.extension = ".png";
    const bool sized =
        image.width > 0 && image.height > 0 && image.width <= std::numeric_limits<int>::max() / 4 &&
        static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) * 4 == image.rgba.size();
    if (sized && !stbi_write_png_to_func(AppendBytes, &file.bytes, image.width, image.height, 4, image.rgba.data(),
                                         image.width * 4))
        file.bytes.clear();
    return file;
}

} // namespace vrml
