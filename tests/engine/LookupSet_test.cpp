#include "engine/LookupSet.h"

#include <gtest/gtest.h>

#include "engine/TermSet.h"

namespace {

TEST(LookupSet, SortedByBytesEachTextOnce) {
    LookupSet set;
    for (const char* text : {"b", "B", "a", "10", "9", "b"}) {
        set.insert(text);
    }
    ASSERT_EQ(set.count(), 5);
    // Plain byte order: digits before upper case before lower case; "10" before "9".
    const char* const order[] = {"10", "9", "B", "a", "b"};
    for (int i = 0; i < set.count(); ++i) {
        EXPECT_EQ(set.at(i), order[i]);
    }
    EXPECT_TRUE(set.contains("B"));
    EXPECT_FALSE(set.contains("A"));  // case-sensitive
    EXPECT_FALSE(set.contains(""));
    set.clear();
    EXPECT_TRUE(set.isEmpty());
}

TEST(TermSet, OrderedByKeyFirstRecordWins) {
    TermSet terms;
    EXPECT_TRUE(terms.insert({"T2", "Second", XDate(2025, 2, 1), XDate(2025, 6, 30)}));
    EXPECT_TRUE(terms.insert({"T1", "First", XDate(2024, 9, 1), XDate(2025, 1, 31)}));
    EXPECT_FALSE(terms.insert({"T1", "Again", XDate(), XDate()}));
    ASSERT_NE(terms.find("T1"), nullptr);
    EXPECT_EQ(terms.find("T1")->name, "First");
    EXPECT_EQ(terms.find("T3"), nullptr);
    EXPECT_EQ(terms.begin()->first, "T1");
}

}  // namespace
