#include "TextureSampler.h"

#include <cmath>
#include <cstdint>

namespace vrml {

namespace {

// Where a coordinate falls between pixel centres along an axis of `size`
// pixels: the lower pixel, the one above it, and the weight of the latter.
struct AxisTaps {
    int low, high;
    float weight;
};

AxisTaps Taps(float coordinate, int size, bool repeat) {
    if (!std::isfinite(coordinate))
        coordinate = 0.0f;
    // Folded into one period (or onto the edge) first, so that far
    // coordinates never overflow a pixel index.
    coordinate = repeat ? coordinate - std::floor(coordinate) : std::fmin(std::fmax(coordinate, 0.0f), 1.0f);
    const float position = coordinate * static_cast<float>(size) - 0.5f;
    const float floor = std::floor(position);
    int low = static_cast<int>(floor), high = low + 1;
    if (repeat) {
        low = (low + size) % size;
        high = high % size;
    } else {
        low = low < 0 ? 0 : low;
        high = high >= size ? size - 1 : high;
    }
    return {low, high, position - floor};
}

} // namespace

TextureSampler::TextureSampler(const trelImage& image, bool wrapS, bool wrapT)
    : pixels(image.rgba.data()), width(image.width), height(image.height), repeatS(wrapS), repeatT(wrapT) {}

bool TextureSampler::IsSampleable(const trelImage& image) {
    return image.width > 0 && image.height > 0 &&
           static_cast<uint64_t>(image.width) * static_cast<uint64_t>(image.height) * 4 == image.rgba.size();
}

Texel TextureSampler::Sample(float s, float t) const {
    const AxisTaps across = Taps(s, width, repeatS);
    // The image's rows run top down, t runs up.
    const AxisTaps down = Taps(1.0f - t, height, repeatT);
    const auto at = [this](int column, int row) {
        return pixels + (static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(column)) * 4;
    };
    const unsigned char* corners[4] = {at(across.low, down.low), at(across.high, down.low), at(across.low, down.high),
                                       at(across.high, down.high)};
    const float weights[4] = {(1.0f - across.weight) * (1.0f - down.weight), across.weight * (1.0f - down.weight),
                              (1.0f - across.weight) * down.weight, across.weight * down.weight};
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 4; ++k)
        for (int channel = 0; channel < 4; ++channel)
            sum[channel] += weights[k] * corners[k][channel];
    constexpr float Scale = 1.0f / 255.0f;
    return {sum[0] * Scale, sum[1] * Scale, sum[2] * Scale, sum[3] * Scale};
}

} // namespace vrml
