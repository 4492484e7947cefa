#pragma once
// The values a glTF document holds, as both the streamed writer and the
// tests' reference writer make them.

#include <string>
#include <vector>

namespace vrml {

// VRML colours are display (sRGB) values; glTF's factors and vertex colours
// are linear.
double LinearFromDisplay(float value);
// A linear factor of a display value, to the shortest text of its float.
double Factor(float display);
// The value with the shortest text that reads back as the same float: the
// JSON holds float data, and each digit beyond costs bytes on every node.
double Short(double value);
// A node's placement to seven significant digits, which is what its float
// data holds; a quaternion part within float noise of zero is zero.
double Placement(double value);

std::string Base64(const std::vector<unsigned char>& bytes);
// The same, of `size` bytes that may be one piece of a longer text: every
// piece but the last must be a multiple of three bytes long.
void AppendBase64(const unsigned char* bytes, size_t size, std::string& text);

extern const char* const SpecularExtension;      // KHR_materials_specular
extern const char* const GpuInstancingExtension; // EXT_mesh_gpu_instancing

} // namespace vrml
