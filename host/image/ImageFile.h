#pragma once
// Pictures decoded from the bytes of image files (PNG, JPEG, GIF, BMP, TGA
// and the other formats stb_image reads) into the geometry library's
// trelImage. Bytes that are too many or undecodable give no picture, never an
// error that crosses the interface.

#include "host/geometry/Attributes.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Bounds on what one picture may cost, whatever its file claims: the file is
// read whole, and its pixels are decoded into four bytes each.
constexpr size_t MaxImageFileBytes = size_t(128) << 20;
constexpr long long MaxImagePixels = 8192LL * 8192LL;

// Decodes the bytes of an image file; null when they are no picture stb_image
// reads or when it would have more than MaxImagePixels pixels. PNG and JPEG
// bytes are kept in `encoded` (see trelImage).
std::shared_ptr<const trelImage> DecodeImage(std::vector<unsigned char> bytes, const std::string& name);
