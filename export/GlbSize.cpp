#include "GlbSize.h"

#include <limits>

namespace vrml {

namespace {

uint64_t PaddedToFour(uint64_t bytes) { return (bytes + 3) / 4 * 4; }

const uint64_t HeaderBytes = 12, ChunkHeaderBytes = 8;

} // namespace

uint64_t GlbLength(uint64_t jsonBytes, uint64_t binaryBytes) {
    uint64_t length = HeaderBytes + ChunkHeaderBytes + PaddedToFour(jsonBytes);
    if (binaryBytes > 0)
        length += ChunkHeaderBytes + PaddedToFour(binaryBytes);
    return length;
}

std::string GlbLengthProblem(uint64_t length) {
    if (length <= std::numeric_limits<uint32_t>::max())
        return std::string();
    return "the scene needs " + std::to_string(length / (1024 * 1024)) +
           " MB, more than a .glb can hold (4 GB); write .gltf instead";
}

} // namespace vrml
