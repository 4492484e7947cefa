#pragma once
// The values a glTF document holds, as both the streamed writer and the
// tests' reference writer make them.

#include <string>
#include <string_view>
#include <vector>

namespace vrml {

// A number as the JSON text that holds it, kept in place: written as it
// stands, it needs no second conversion by the JSON writer.
struct NumberText {
    std::string_view View() const { return std::string_view(digits, length); }
    bool Is(std::string_view text) const { return View() == text; }
    double Value() const; // what a reader of the JSON gets

    char digits[32];
    unsigned char length = 0;
};

// VRML colours are display (sRGB) values; glTF's factors and vertex colours
// are linear.
double LinearFromDisplay(float value);
// A linear factor of a display value, to the shortest text of its float.
NumberText FactorText(float display);
// The shortest text that reads back as the same float as the value: the
// JSON holds float data, and each digit beyond costs bytes on every node.
NumberText ShortText(double value);
// A node's placement to seven significant digits, which is what its float
// data holds; a quaternion part within float noise of zero is zero.
NumberText PlacementText(double value);
// The shortest text that reads back as exactly this double.
NumberText ExactText(double value);

// The values of those texts.
inline double Factor(float display) { return FactorText(display).Value(); }
inline double Short(double value) { return ShortText(value).Value(); }
inline double Placement(double value) { return PlacementText(value).Value(); }

std::string Base64(const std::vector<unsigned char>& bytes);
// The same, of `size` bytes that may be one piece of a longer text: every
// piece but the last must be a multiple of three bytes long.
void AppendBase64(const unsigned char* bytes, size_t size, std::string& text);

extern const char* const SpecularExtension;      // KHR_materials_specular
extern const char* const GpuInstancingExtension; // EXT_mesh_gpu_instancing

} // namespace vrml
