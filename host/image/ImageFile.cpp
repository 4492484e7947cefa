#define _CRT_SECURE_NO_WARNINGS // std::fopen is the portable call; MSVC's _s variants are not
#include "ImageFile.h"

#include <stb_image.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

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

std::shared_ptr<const trelImage> ReadImageFile(const std::string& path) {
    std::error_code error;
    if (path.empty() || std::filesystem::is_directory(path, error))
        return nullptr;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return nullptr;
    std::vector<unsigned char> bytes;
    bool fits = true;
    try {
        // Read in chunks up to one byte past the bound: the size the system
        // reports is only a hint, and a file may be a pipe.
        constexpr size_t Chunk = size_t(1) << 16;
        size_t got = 0;
        do {
            const size_t before = bytes.size();
            bytes.resize(before + Chunk);
            got = std::fread(bytes.data() + before, 1, Chunk, file);
            bytes.resize(before + got);
            fits = bytes.size() <= MaxImageFileBytes;
        } while (got == Chunk && fits);
    } catch (const std::exception&) {
        fits = false;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (!fits || failed)
        return nullptr;
    return DecodeImage(std::move(bytes), path);
}
