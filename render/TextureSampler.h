#pragma once
// Reading a texture's colour at a texture coordinate, as `vrml render`
// paints it: bilinear between the four nearest pixels, repeated or clamped
// to the edge along each axis as the texture asks.

#include "host/geometry/Attributes.h"

namespace vrml {

struct Texel {
    float red = 1.0f, green = 1.0f, blue = 1.0f, alpha = 1.0f; // 0 to 1
};

class TextureSampler {
public:
    // `image` must outlive the sampler and be usable (see IsSampleable).
    TextureSampler(const trelImage& image, bool repeatS, bool repeatT);
    static bool IsSampleable(const trelImage& image);

    // `t` runs up the picture, as texture coordinates do; a coordinate that
    // is not a number reads as 0.
    Texel Sample(float s, float t) const;

private:
    const unsigned char* pixels;
    int width, height;
    bool repeatS, repeatT;
};

} // namespace vrml
