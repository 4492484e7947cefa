// Where a texture's picture comes from: an image file named by a url or a
// filename, found the way inline files are and decoded once per Parse, or
// pixels written in the file (SFImage).

#include "VRMLSeparator.h"

#include "host/image/ImageFile.h"
#include "parser/VRMLParser.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

// One pixel of an SFImage: `components` bytes packed in a number, the
// highest first (0xRRGGBBAA for four). Writers give the same bits as signed
// or unsigned 32-bit numbers; anything else counts as 0.
void AppendPixel(std::vector<unsigned char>& rgba, double value, int components) {
    uint32_t packed = 0;
    if (value >= -2147483648.0 && value <= 4294967295.0)
        packed = static_cast<uint32_t>(static_cast<int64_t>(value));
    auto byte = [packed](int fromLowest) { return static_cast<unsigned char>(packed >> (8 * fromLowest)); };
    unsigned char r = 0, g = 0, b = 0, a = 255;
    switch (components) {
    case 1: r = g = b = byte(0); break;
    case 2:
        r = g = b = byte(1);
        a = byte(0);
        break;
    case 3:
        r = byte(2);
        g = byte(1);
        b = byte(0);
        break;
    default:
        r = byte(3);
        g = byte(2);
        b = byte(1);
        a = byte(0);
        break;
    }
    rgba.insert(rgba.end(), {r, g, b, a});
}

} // namespace

std::shared_ptr<const trelImage> CVRMLParser::LoadTextureImage(const std::string& reference) {
    // Looking for a file that is not there searches its folder: a reference
    // that thousands of shapes repeat is looked for once.
    std::string key = IOManager.GetFilename();
    key.append(1, '\0').append(reference);
    auto resolved = ImagePaths.find(key);
    if (resolved == ImagePaths.end()) {
        std::string found = reference;
        if (!CreateSubfilePath(found))
            found.clear(); // nothing named, or a URL to be fetched, which this loader does not do
        resolved = ImagePaths.emplace(std::move(key), std::move(found)).first;
    }
    const std::string& path = resolved->second;
    if (path.empty())
        return nullptr;
    auto cached = ImageCache.find(path);
    if (cached != ImageCache.end())
        return cached->second;
    // A picture read counts as a file read, against the bound inline files have.
    if (InlineCount >= MaxInlineCount)
        return nullptr;
    ++InlineCount;
    std::shared_ptr<const trelImage> image = ReadTextureImageFile(path);
    ImageCache.emplace(path, image);
    return image;
}

// Read like any file the scene names: a regular file only, inside the
// include root, and within the read budget (and the picture's own bound).
std::shared_ptr<const trelImage> CVRMLParser::ReadTextureImageFile(const std::string& path) {
    C3DFileInterface reader;
    if (!MayReadReferencedFile(path, reader))
        return nullptr;
    reader.SetMaxTextSize(std::min<uint64_t>(reader.GetMaxTextSize(), MaxImageFileBytes));
    std::vector<char> text;
    if (reader.Open(path))
        while (reader.ReadNextBlockFromFile(text)) {
        }
    reader.Close();
    CountRead(reader);
    if (reader.GetReadFailed() || text.empty())
        return nullptr;
    return DecodeImage(std::vector<unsigned char>(text.begin(), text.end()), path);
}

// Width, height, components (1 to 4), then one number per pixel, the bottom
// row first. Every number of the value is read whatever happens; the picture
// is kept only when its size is sound and its pixels are all there, and
// memory is taken as pixels come, never for a size the file merely states.
std::shared_ptr<const trelImage> CVRMLParser::ReadPixelImage() {
    double header[3] = {0.0, 0.0, 0.0};
    int given = 0;
    while (given < 3 && GetCurrentTokenType() == VRML_NUMBER) {
        header[given++] = GetCurrentTokenNumericValue();
        if (!Tokenize())
            return nullptr;
    }
    const double width = header[0], height = header[1], components = header[2];
    auto wholeIn = [](double value, double low, double high) {
        return value >= low && value <= high && value == std::floor(value);
    };
    const bool sound = given == 3 && wholeIn(width, 1, MaxPixelTexturePixels) &&
                       wholeIn(height, 1, MaxPixelTexturePixels) && width * height <= MaxPixelTexturePixels &&
                       wholeIn(components, 1, 4);
    const long long expected = sound ? static_cast<long long>(width) * static_cast<long long>(height) : 0;
    std::vector<unsigned char> rgba;
    long long count = 0;
    while (GetCurrentTokenType() == VRML_NUMBER) {
        if (count < expected)
            AppendPixel(rgba, GetCurrentTokenNumericValue(), static_cast<int>(components));
        ++count;
        if (!Tokenize())
            break;
    }
    if (!sound || count != expected)
        return nullptr;
    auto image = std::make_shared<trelImage>();
    image->width = static_cast<int>(width);
    image->height = static_cast<int>(height);
    const size_t rowBytes = static_cast<size_t>(image->width) * 4;
    for (int top = 0, bottom = image->height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(rgba.begin() + static_cast<std::ptrdiff_t>(top * rowBytes),
                         rgba.begin() + static_cast<std::ptrdiff_t>((top + 1) * rowBytes),
                         rgba.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes));
    image->rgba = std::move(rgba);
    return image;
}
