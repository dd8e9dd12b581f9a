#include "engine/KeySet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(KeySet, EachTextOnceAskedByItsBytes) {
    KeySet set;
    EXPECT_TRUE(set.isEmpty());
    EXPECT_TRUE(set.insert("S1"));
    EXPECT_FALSE(set.insert(std::string("S1")));
    EXPECT_TRUE(set.insert("s1"));  // letter case counts
    EXPECT_TRUE(set.insert("Ren\xE9"));
    EXPECT_TRUE(set.insert(""));
    EXPECT_EQ(set.count(), 4);
    // Asked with a view into a longer buffer, as a row's value is.
    const std::string row = "Ren\xE9 and more";
    EXPECT_TRUE(set.contains(std::string_view(row).substr(0, 4)));
    EXPECT_FALSE(set.contains(std::string_view(row).substr(0, 5)));
    EXPECT_FALSE(set.contains(std::string_view("S1\0", 3)));
    EXPECT_TRUE(set.contains(""));
    set.clear();
    EXPECT_TRUE(set.isEmpty());
    EXPECT_FALSE(set.contains("S1"));
    // Through many growths of its table.
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(set.insert(std::to_string(i * 7)));
    }
    EXPECT_EQ(set.count(), 5000);
    const std::vector<XString> texts(set.begin(), set.end());  // in the order they were added
    ASSERT_EQ(texts.size(), 5000u);
    EXPECT_EQ(texts.front(), "0");
    EXPECT_EQ(texts.back(), XString(std::to_string(4999 * 7)));
    for (int i = 0; i < 35000; ++i) {
        ASSERT_EQ(set.contains(std::to_string(i)), i % 7 == 0) << i;
    }
}

}  // namespace
