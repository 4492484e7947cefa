#include "GltfValues.h"

#include "ExportScene.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace vrml {

const char* const SpecularExtension = "KHR_materials_specular";
const char* const GpuInstancingExtension = "EXT_mesh_gpu_instancing";

double LinearFromDisplay(float value) {
    const double c = Clamp01(value);
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double NumberText::Value() const {
    double value = 0.0;
    std::from_chars(digits, digits + length, value);
    return value;
}

namespace {

// The text std::to_chars writes for the value (and format), locale-free.
template <class... Value>
NumberText Printed(Value... value) {
    NumberText text;
    const auto written = std::to_chars(text.digits, text.digits + sizeof text.digits, value...);
    text.length = static_cast<unsigned char>(written.ptr - text.digits);
    return text;
}

} // namespace

// The export step lets no infinity or NaN through; were one to come, JSON
// could not hold its text, so it is written as 0.

NumberText ShortText(double value) {
    const float single = static_cast<float>(value);
    return std::isfinite(single) ? Printed(single) : Printed(0);
}

NumberText PlacementText(double value) {
    return std::isfinite(value) && std::fabs(value) >= 1e-6 ? Printed(value, std::chars_format::general, 7)
                                                            : Printed(0);
}

NumberText ExactText(double value) { return std::isfinite(value) ? Printed(value) : Printed(0); }

NumberText FactorText(float display) { return ShortText(LinearFromDisplay(display)); }

void AppendBase64(const unsigned char* bytes, size_t size, std::string& text) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    text.reserve(text.size() + (size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const size_t left = size - i;
        const uint32_t group = (uint32_t(bytes[i]) << 16) | (left > 1 ? uint32_t(bytes[i + 1]) << 8 : 0) |
                               (left > 2 ? uint32_t(bytes[i + 2]) : 0);
        text += digits[(group >> 18) & 63];
        text += digits[(group >> 12) & 63];
        text += left > 1 ? digits[(group >> 6) & 63] : '=';
        text += left > 2 ? digits[group & 63] : '=';
    }
}

std::string Base64(const std::vector<unsigned char>& bytes) {
    std::string text;
    AppendBase64(bytes.data(), bytes.size(), text);
    return text;
}

} // namespace vrml
