#include "GltfValues.h"

#include "ExportScene.h"
#include "host/tokenizer/FloatChars.h"

#include <cmath>
#include <cstdint>
#include <iterator>

namespace vrml {

const char* const SpecularExtension = "KHR_materials_specular";
const char* const GpuInstancingExtension = "EXT_mesh_gpu_instancing";

double LinearFromDisplay(float value) {
    const double c = Clamp01(value);
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double NumberText::Value() const {
    double value = 0.0;
    trelChars::FromChars(digits, digits + length, value);
    return value;
}

namespace {

// The texts std::to_chars writes, locale-free (see FloatChars.h).
NumberText Printed(float value) {
    NumberText text;
    text.length =
        static_cast<unsigned char>(trelChars::ToChars(text.digits, std::end(text.digits), value).ptr - text.digits);
    return text;
}

NumberText Printed(double value) {
    NumberText text;
    text.length =
        static_cast<unsigned char>(trelChars::ToChars(text.digits, std::end(text.digits), value).ptr - text.digits);
    return text;
}

NumberText PrintedGeneral(double value, int precision) {
    NumberText text;
    text.length = static_cast<unsigned char>(
        trelChars::ToCharsGeneral(text.digits, std::end(text.digits), value, precision).ptr - text.digits);
    return text;
}

NumberText Zero() {
    NumberText text;
    text.digits[0] = '0';
    text.length = 1;
    return text;
}

} // namespace

// The export step lets no infinity or NaN through; were one to come, JSON
// could not hold its text, so it is written as 0.

NumberText ShortText(double value) {
    const float single = static_cast<float>(value);
    return std::isfinite(single) ? Printed(single) : Zero();
}

NumberText PlacementText(double value) {
    return std::isfinite(value) && std::fabs(value) >= 1e-6 ? PrintedGeneral(value, 7) : Zero();
}

NumberText ExactText(double value) { return std::isfinite(value) ? Printed(value) : Zero(); }

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
