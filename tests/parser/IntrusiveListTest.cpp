// The intrusive list against std::list: the same order after any mix of
// additions and removals, with every element standing in two lists at once.

#include "parser/IntrusiveList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <vector>

namespace {
struct Element {
    CVRMLListLinks<Element> links[2];
    CVRMLListLinks<Element>& GetListLinks(int chain) { return links[chain]; }
};

template <class List>
std::vector<Element*> Contents(const List& list) {
    return std::vector<Element*>(list.begin(), list.end());
}
} // namespace

TEST(IntrusiveList, KeepsTheOrderOfAStdListThroughAddsAndRemovalsInTwoChains) {
    std::vector<Element> elements(40);
    CVRMLIntrusiveList<Element, 0> first;
    CVRMLIntrusiveList<Element, 1> second;
    std::list<Element*> firstModel, secondModel;
    std::mt19937 random(11);
    auto step = [&](auto& list, std::list<Element*>& model) {
        Element* element = &elements[random() % elements.size()];
        const bool present = std::find(model.begin(), model.end(), element) != model.end();
        if (present) {
            list.Erase(element);
            model.remove(element);
        } else {
            list.PushBack(element);
            model.push_back(element);
        }
    };
    for (int i = 0; i < 20000; ++i) {
        if (random() % 2)
            step(first, firstModel);
        else
            step(second, secondModel);
        ASSERT_EQ(first.size(), firstModel.size());
        ASSERT_EQ(second.empty(), secondModel.empty());
        if (i % 97 == 0) {
            ASSERT_EQ(Contents(first), std::vector<Element*>(firstModel.begin(), firstModel.end()));
            ASSERT_EQ(Contents(second), std::vector<Element*>(secondModel.begin(), secondModel.end()));
        }
    }
    first.Forget();
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(first.begin(), first.end());
    EXPECT_EQ(Contents(second), std::vector<Element*>(secondModel.begin(), secondModel.end()));
}
