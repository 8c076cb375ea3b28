#include "util/NameIndex.h"

#include <gtest/gtest.h>

#include <string>

namespace brik {
namespace {

// Enough names to grow the table several times and to make probe runs
// collide; every name keeps its first value and is found again.
TEST(NameIndex, KeepsFirstValueAcrossGrowth) {
    NameIndex index;
    EXPECT_EQ(index.Find("A"), nullptr);
    for (int i = 0; i < 1000; ++i) {
        auto [value, inserted] = index.TryEmplace("N" + std::to_string(i), i);
        EXPECT_TRUE(inserted);
        EXPECT_EQ(*value, i);
    }
    for (int i = 0; i < 1000; ++i) {
        auto [value, inserted] = index.TryEmplace("N" + std::to_string(i), -1);
        EXPECT_FALSE(inserted);
        EXPECT_EQ(*value, i);
        const int* found = index.Find("N" + std::to_string(i));
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, i);
    }
    // Names are compared whole: no prefix, no longer name, no empty name.
    EXPECT_FALSE(index.Contains("N"));
    EXPECT_FALSE(index.Contains("N10000"));
    EXPECT_FALSE(index.Contains(""));
    index.Clear();
    EXPECT_FALSE(index.Contains("N1"));
    index.Reserve(10);
    EXPECT_TRUE(index.TryEmplace("", 7).second);
    EXPECT_EQ(*index.Find(""), 7);
}

}  // namespace
}  // namespace brik
