#pragma once
// A .glb holds its own length and each chunk's in 32 bits, so a larger
// file cannot be written as one; .gltf keeps its data in a separate file
// and has no such bound.

#include <cstdint>
#include <string>

namespace vrml {

// The length of a .glb with a JSON chunk and a binary chunk of these sizes
// (headers and padding to four bytes included; no binary chunk if empty).
uint64_t GlbLength(uint64_t jsonBytes, uint64_t binaryBytes);

// Empty when a .glb of this length can be written; else why not, and what to do.
std::string GlbLengthProblem(uint64_t length);

} // namespace vrml
