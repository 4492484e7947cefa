#include "host/geometry/Rope.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

TEST(Rope, EmptyNamesReadAsEmptyText) {
    for (const trelRope& rope :
         {trelRope(), trelRope(""), trelRope(static_cast<const char*>(nullptr)), trelRope(std::string())}) {
        EXPECT_TRUE(rope.IsEmpty());
        EXPECT_EQ(rope.GetString(), "");
        EXPECT_STREQ(rope.c_str(), "");
    }
}

TEST(Rope, CopiesShareOneTextThatOutlivesTheOriginal) {
    trelRope copy;
    {
        trelRope original(std::string("Bracket"));
        copy = original;
        EXPECT_EQ(copy.c_str(), original.c_str());
        trelRope moved(std::move(original));
        EXPECT_TRUE(original.IsEmpty()); // a moved rope is empty
        EXPECT_EQ(moved.c_str(), copy.c_str());
        const trelRope& alias = moved;
        moved = alias; // assigned to itself, it keeps its text
        EXPECT_EQ(moved.GetString(), "Bracket");
    }
    EXPECT_EQ(copy.GetString(), "Bracket");
    EXPECT_STREQ(copy.c_str(), "Bracket");
    copy = trelRope("Other");
    EXPECT_EQ(copy.GetString(), "Other");
}

TEST(Rope, TextKeepsEveryByte) {
    const std::string text("a\0b\xC3\xA9", 5);
    const trelRope rope(text);
    EXPECT_EQ(rope.GetString(), text);
    EXPECT_EQ(rope.c_str()[rope.GetString().size()], '\0');
}

TEST(Rope, CopiesMadeAndDroppedOnManyThreadsLeaveTheTextIntact) {
    const trelRope shared("Part");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                trelRope copy = shared;
                trelRope other = copy;
                copy = trelRope();
                ASSERT_EQ(other.GetString(), "Part");
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(shared.GetString(), "Part");
}
