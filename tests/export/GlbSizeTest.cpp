// The bound on a .glb's length, decided without writing gigabytes.

#include "export/GlbSize.h"

#include <gtest/gtest.h>

using namespace vrml;

namespace {

const uint64_t Largest = 0xFFFFFFFFull; // the largest length a .glb header holds

TEST(GlbSize, LengthCountsHeadersAndPadding) {
    struct Row {
        uint64_t json, binary, length;
    };
    const Row rows[] = {
        {4, 0, 12 + 8 + 4},
        {5, 0, 12 + 8 + 8},
        {4, 1, 12 + 8 + 4 + 8 + 4},
        {8, 8, 12 + 8 + 8 + 8 + 8},
        {1, Largest, 12 + 8 + 4 + 8 + Largest + 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(GlbLength(row.json, row.binary), row.length) << row.json << " + " << row.binary;
}

TEST(GlbSize, OnlyLengthsPastFourGigabytesAreRefused) {
    struct Row {
        uint64_t length;
        bool refused;
    };
    const Row rows[] = {{0, false}, {Largest - 3, false}, {Largest, false}, {Largest + 1, true}, {3ull << 32, true}};
    for (const Row& row : rows) {
        const std::string problem = GlbLengthProblem(row.length);
        EXPECT_EQ(!problem.empty(), row.refused) << row.length;
        if (row.refused) {
            EXPECT_NE(problem.find(".gltf"), std::string::npos) << problem;
        }
    }
    // A binary chunk that fits on its own can still take the file past the bound.
    EXPECT_FALSE(GlbLengthProblem(GlbLength(100, Largest - 36)).empty());
}

} // namespace
