#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <vector>

using geometry_test::Tessellated;

namespace {

// A dot that reports its destruction.
class CountedDot : public trelDot {
public:
    CountedDot(const trelFloatPoint& p, int& deaths) : counter(deaths) { SetDot(p); }
    ~CountedDot() override { ++counter; }

private:
    int& counter;
};

trelMatProps Props(float red) {
    trelMatProps props;
    props.front.SetDiffuse({red, 0, 0});
    return props;
}

} // namespace

TEST(GeometryGroups, GroupsOwnWhatTheyAreHandedAndNothingElse) {
    int deaths = 0;
    CountedDot kept({0, 0, 0}, deaths);
    {
        C3DWorld world;
        world.AddObject(new CountedDot({1, 0, 0}, deaths), Props(0.5f), true);
        trelMatProps props = Props(0.25f);
        world.AddObject(&kept, props, false);
        props.front.SetDiffuse({1, 1, 1}); // the caller's record is a temporary
        world.AddObject(nullptr, Props(0.5f), true);
        auto* child = new C3DGroup;
        child->AddObject(new CountedDot({2, 0, 0}, deaths), Props(0.5f), true);
        world.AddGroup(child, true);
        world.AddGroup(nullptr, true);
        world.AddGroup(&world, true);
        EXPECT_EQ(world.GetNumObjects(), 2);
        EXPECT_EQ(world.GetNumGroups(), 1);
        EXPECT_EQ(world.GetTotalObjectCount(), 3);
        EXPECT_EQ(world.GetObject(1), &kept);
        EXPECT_EQ(world.GetObjectMatProps(1).front.GetDiffuse().GetRed(), 0.25f);
    }
    EXPECT_EQ(deaths, 2);
}

TEST(GeometryGroups, EachObjectKeepsItsPropertiesWhateverOtherGroupsAdd) {
    // Groups filled in turn, repeating and changing properties: each object
    // must read back what it was added with, whichever group added the same
    // properties before or after it.
    const float reds[3][5] = {{0.5f, 0.5f, 0.25f, 0.5f, 0.5f}, {0.5f, 0.75f, 0.75f, 0.25f, 0.5f}, {0.25f}};
    C3DGroup groups[3];
    for (int i = 0; i < 5; ++i)
        for (int g = 0; g < 3; ++g)
            if (g < 2 || i == 0)
                groups[g].AddObject(new trelDot, Props(reds[g][i]), true);
    for (int g = 0; g < 3; ++g)
        for (int i = 0; i < groups[g].GetNumObjects(); ++i)
            EXPECT_EQ(groups[g].GetObjectMatProps(i).front.GetDiffuse().GetRed(), reds[g][i]) << g << ' ' << i;
}

TEST(GeometryGroups, WalksReachEveryLevelInDepthFirstOrder) {
    // world: dot 0, group A (dot 1, group A1 (dot 2)), group B (dot 3), dot 4
    const auto addDot = [](trelBaseGroup& group, float x) {
        auto* d = new trelDot;
        d->SetDot({x, 0, 0});
        group.AddObject(d, Props(1.0f), true);
    };
    C3DWorld world;
    auto *a = new C3DGroup, *a1 = new C3DGroup, *b = new C3DGroup;
    addDot(world, 0);
    addDot(*a, 1);
    addDot(*a1, 2);
    addDot(*b, 3);
    a->AddGroup(a1, true);
    world.AddGroup(a, true);
    world.AddGroup(b, true);
    addDot(world, 4);

    // A group's own objects come before its child groups.
    std::vector<float> order;
    for (const trelFloatPoint& p : Tessellated(world).points)
        order.push_back(p.x);
    EXPECT_EQ(order, (std::vector<float>{0, 4, 1, 2, 3}));

    world.RecursiveUpdateBBox();
    EXPECT_EQ(world.GetBBox().GetMin().x, 0.0f);
    EXPECT_EQ(world.GetBBox().GetMax().x, 4.0f);
    EXPECT_EQ(a->GetBBox().GetMin().x, 1.0f);
    EXPECT_EQ(a->GetBBox().GetMax().x, 2.0f);

    // An empty group adds nothing to its parent's box; a world scaled by
    // 100 reports its new size at once when asked to.
    b->AddGroup(new C3DGroup, true);
    world.ApplyMatrixToGeometry(GetScaleMatrix({100, 100, 100}), true);
    EXPECT_EQ(world.GetBBox().GetLargestDimension(), 400.0f);
    EXPECT_EQ(a1->GetBBox().GetMax().x, 200.0f);
}

TEST(GeometryGroups, DeepNestingNeedsNoDeepStack) {
    const int depth = 100000;
    int deaths = 0;
    {
        C3DWorld world;
        trelBaseGroup* parent = &world;
        for (int i = 0; i < depth; ++i) {
            auto* group = new C3DGroup;
            group->AddObject(new CountedDot({static_cast<float>(i % 7), 0, 0}, deaths), Props(1.0f), true);
            parent->AddGroup(group, true);
            parent = group;
        }
        world.RecursiveUpdateBBox();
        EXPECT_EQ(world.GetBBox().GetLargestDimension(), 6.0f);
        EXPECT_EQ(world.GetTotalObjectCount(), depth);
        world.ApplyMatrixToGeometry(GetScaleMatrix({2, 2, 2}), true);
        EXPECT_EQ(world.GetBBox().GetLargestDimension(), 12.0f);
        EXPECT_EQ(Tessellated(world).points.size(), static_cast<size_t>(depth));
    }
    EXPECT_EQ(deaths, depth);
}

TEST(GeometryGroups, ListsKeepOrderAndOwnershipAsTheyGrow) {
    // One object or child is kept in place and more on the heap: every size
    // around the moves must read back in order and free only what is owned.
    for (int n : {1, 2, 3, 4, 5, 8, 9, 33}) {
        int deaths = 0;
        std::vector<std::unique_ptr<CountedDot>> lent;
        std::vector<std::unique_ptr<C3DGroup>> lentGroups;
        std::vector<const void*> objects, groups;
        {
            C3DWorld world;
            for (int i = 0; i < n; ++i) {
                const bool owned = i % 2 == 0;
                auto* dot = new CountedDot({static_cast<float>(i), 0, 0}, deaths);
                auto* group = new C3DGroup;
                group->AddObject(new CountedDot({0, 0, 0}, deaths), Props(1.0f), true);
                if (!owned) {
                    lent.emplace_back(dot);
                    lentGroups.emplace_back(group);
                }
                world.AddObject(dot, Props(static_cast<float>(i % 3)), owned);
                world.AddGroup(group, owned);
                objects.push_back(dot);
                groups.push_back(group);
            }
            ASSERT_EQ(world.GetNumObjects(), n);
            ASSERT_EQ(world.GetNumGroups(), n);
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(world.GetObject(i), objects[static_cast<size_t>(i)]) << n << ' ' << i;
                EXPECT_EQ(world.GetGroup(i), groups[static_cast<size_t>(i)]) << n << ' ' << i;
                EXPECT_EQ(world.GetObjectMatProps(i).front.GetDiffuse().GetRed(), static_cast<float>(i % 3));
            }
        }
        const int owned = (n + 1) / 2;
        EXPECT_EQ(deaths, 2 * owned) << n; // each owned dot, and the dot of each owned group
    }
}
