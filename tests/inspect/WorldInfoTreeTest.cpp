// `vrml info`: the summary, and with --tree the group hierarchy, indented,
// with names, object counts by type and triangles per group and per subtree.

#include "WorldTestSupport.h"
#include "inspect/WorldInfo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <vector>

using namespace vrml;

using namespace test_worlds;

namespace {

std::vector<std::string> TreeLines(const C3DWorld& world, int segments = 8) {
    trelTessellationOptions options;
    options.segments = segments;
    std::ostringstream out;
    WriteGroupTree(out, world, options);
    return Lines(out.str());
}

TEST(WorldInfoTree, GroupsIndentedWithTheirObjectsAndSubtreeTotals) {
    auto world = HandBuiltWorld();
    trelTessellationOptions options;
    options.segments = 8;
    trelTessellation sphere;
    world->GetGroup(0)->GetObject(0)->Tessellate(sphere, options);
    const size_t ballTriangles = sphere.GetTriangleCount();
    const std::string all = std::to_string(12 + ballTriangles);

    EXPECT_EQ(TreeLines(*world),
              (std::vector<std::string>{
                  "tree:",
                  "  (world): 1 object (box 1), 12 triangles; with subgroups 4 objects, " + all + " triangles",
                  "    Body: 1 object (sphere 1), " + std::to_string(ballTriangles) +
                      " triangles; with subgroups 3 objects, " + std::to_string(ballTriangles) + " triangles",
                  "      (unnamed): 2 objects (dot 1, polyline 1), 0 triangles",
                  "    Empty: no objects",
                  "    (unnamed): no objects",
              }));
}

TEST(WorldInfoTree, IndentationStopsGrowingForDeepNesting) {
    C3DWorld world;
    trelBaseGroup* group = &world;
    const int depth = 5000;
    for (int i = 1; i <= depth; ++i)
        group = AddGroup(*group, ("g" + std::to_string(i)).c_str());
    group->AddObject(MakeBox({0, 0, 0}, {1, 1, 1}), Material(Red), true);
    const std::vector<std::string> lines = TreeLines(world);
    ASSERT_EQ(lines.size(), static_cast<size_t>(depth) + 2);
    EXPECT_THAT(lines[1], testing::EndsWith("with subgroups 1 objects, 12 triangles"));
    EXPECT_EQ(lines[3], "      g2: no objects; with subgroups 1 objects, 12 triangles");
    EXPECT_THAT(lines.back(), testing::HasSubstr("[depth 5000] g5000: 1 object (box 1), 12 triangles"));
    for (const std::string& line : lines)
        ASSERT_LT(line.size(), 200u);
}

} // namespace

TEST(WorldInfoSummary, TheSameOnAnyNumberOfThreads) {
    // More objects than one thread's share, of several kinds, some far out:
    // the counts, kinds and bounds must not depend on who counted what.
    C3DWorld world;
    trelBaseGroup* parts = AddGroup(world, "parts");
    for (int i = 0; i < 3000; ++i) {
        const float at = static_cast<float>(i % 97) - 48.0f;
        trelBaseGroup& group = i % 3 == 0 ? world : *parts;
        if (i % 5 == 0)
            group.AddObject(MakeDot({at, -at, 0.0f}), Material(Red), true);
        else
            group.AddObject(MakeBox({at, 0, 0}, {at + 1.0f, static_cast<float>(i), 1}), Material(Red), true);
    }
    trelTessellationOptions options;
    const WorldSummary one = SummarizeWorld(world, options, 1);
    EXPECT_EQ(one.objects, 3000);
    EXPECT_EQ(one.groups, 1);
    EXPECT_EQ(one.objectsByType, (std::map<std::string, int>{{"box", 2400}, {"dot", 600}}));
    EXPECT_EQ(one.triangles, 2400u * 12u);
    for (int threads : {2, 5}) {
        const WorldSummary many = SummarizeWorld(world, options, threads);
        EXPECT_EQ(many.objects, one.objects);
        EXPECT_EQ(many.objectsByType, one.objectsByType);
        EXPECT_EQ(many.triangles, one.triangles);
        EXPECT_EQ(many.bbox.GetMin(), one.bbox.GetMin());
        EXPECT_EQ(many.bbox.GetMax(), one.bbox.GetMax());
    }
    EXPECT_EQ(one.bbox.GetMax().y, 2999.0f);
}

namespace {

bool SameBits(const trelBBox& a, const trelBBox& b) {
    if (a.IsEmpty() || b.IsEmpty())
        return a.IsEmpty() == b.IsEmpty();
    return std::memcmp(&a.GetMin(), &b.GetMin(), sizeof(trelFloatPoint)) == 0 &&
           std::memcmp(&a.GetMax(), &b.GetMax(), sizeof(trelFloatPoint)) == 0;
}

} // namespace

// After a load every group's box is current, and the world's box taken from
// them must be the objects' boxes added one by one, to the bit: signed zeros
// that tie, infinities, and NaN at the start of a group or anywhere else, in
// nested groups, some empty.
TEST(WorldInfoSummary, WorldBoxFromTheGroupsIsTheSumOfTheObjects) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 2.5f, inf, -inf, nan};
    uint32_t seed = 12345;
    const auto next = [&](uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    trelTessellationOptions options;
    int taken = 0;
    for (int round = 0; round < 2000; ++round) {
        C3DWorld world;
        std::vector<trelBaseGroup*> groups{&world};
        const uint32_t objects = 1 + next(12);
        for (uint32_t i = 0; i < objects; ++i) {
            if (next(3) == 0)
                groups.push_back(AddGroup(*groups[next(static_cast<uint32_t>(groups.size()))], nullptr));
            const auto pick = [&] { return values[next(next(4) == 0 ? 8 : 7)]; };
            groups[next(static_cast<uint32_t>(groups.size()))]->AddObject(MakeDot({pick(), pick(), pick()}),
                                                                          Material(Red), true);
        }
        world.RecursiveUpdateBBox();
        const trelBBox summed = SummarizeWorld(world, options).bbox;
        ASSERT_TRUE(SameBits(SummarizeWorld(world, options, 2, GroupBoxes::Current).bbox, summed)) << round;
        taken += SameBits(world.GetBBox(), summed) ? 1 : 0;
    }
    EXPECT_GT(taken, 1000);
}

// With current boxes the summary trusts them: a world never bounded shows it.
TEST(WorldInfoSummary, CurrentGroupBoxesAreTakenAsTheyStand) {
    C3DWorld world;
    world.AddObject(MakeBox({0, 0, 0}, {1, 2, 3}), Material(Red), true);
    trelTessellationOptions options;
    EXPECT_FALSE(SummarizeWorld(world, options).bbox.IsEmpty());
    const WorldSummary trusted = SummarizeWorld(world, options, 1, GroupBoxes::Current);
    EXPECT_TRUE(trusted.bbox.IsEmpty());
    EXPECT_EQ(trusted.triangles, 12u);
    world.RecursiveUpdateBBox();
    EXPECT_EQ(SummarizeWorld(world, options, 1, GroupBoxes::Current).bbox.GetMax(), trelFloatPoint(1, 2, 3));
}
