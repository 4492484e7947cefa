#include "ImageFile.h"

#include <stb_image.h>

#include <cstring>
#include <exception>

namespace {

const char* MimeTypeOf(const std::vector<unsigned char>& bytes) {
    static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF};
    if (bytes.size() >= sizeof png && std::memcmp(bytes.data(), png, sizeof png) == 0)
        return "image/png";
    if (bytes.size() >= sizeof jpeg && std::memcmp(bytes.data(), jpeg, sizeof jpeg) == 0)
        return "image/jpeg";
    return "";
}

// Frees what stb_image allocated, on every path.
struct StbPixels {
    stbi_uc* pixels = nullptr;
    ~StbPixels() { stbi_image_free(pixels); }
};

} // namespace

std::shared_ptr<const trelImage> DecodeImage(std::vector<unsigned char> bytes, const std::string& name) {
    if (bytes.empty() || bytes.size() > MaxImageFileBytes)
        return nullptr;
    const auto* data = bytes.data();
    const int length = static_cast<int>(bytes.size());
    int width = 0, height = 0, components = 0;
    // The size is asked first, so that a header claiming a huge picture is
    // refused before anything is allocated for it.
    if (!stbi_info_from_memory(data, length, &width, &height, &components))
        return nullptr;
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > MaxImagePixels)
        return nullptr;
    StbPixels decoded;
    decoded.pixels = stbi_load_from_memory(data, length, &width, &height, &components, 4);
    if (!decoded.pixels || width <= 0 || height <= 0 || static_cast<long long>(width) * height > MaxImagePixels)
        return nullptr;
    try {
        auto image = std::make_shared<trelImage>();
        image->width = width;
        image->height = height;
        image->rgba.assign(decoded.pixels, decoded.pixels + static_cast<size_t>(width) * height * 4);
        image->mimeType = MimeTypeOf(bytes);
        if (!image->mimeType.empty())
            image->encoded = std::move(bytes);
        image->name = name;
        return image;
    } catch (const std::exception&) {
        return nullptr;
    }
}
