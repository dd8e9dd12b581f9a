#include "libraries/support/XVector.h"

#include "libraries/support/XString.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Item {
    XString key;
    int tag;
};

int byKey(const Item& a, const Item& b) {
    return a.key.compare(b.key);
}

std::string tags(const XVectorOf<Item>& items) {
    std::string out;
    for (const Item* item : items) {
        out += item->key.toStdString() + std::to_string(item->tag) + " ";
    }
    return out;
}

TEST(XVector, SortedAppendPlacesEqualItemsAfterExistingOnes) {
    Item b1{"b", 1}, a{"a", 0}, b2{"b", 2}, c{"c", 0}, b3{"b", 3};
    XVectorOf<Item> items(1, byKey);
    for (Item* item : {&b1, &c, &a, &b2, &b3}) {
        items.append(item);
    }
    EXPECT_EQ(tags(items), "a0 b1 b2 b3 c0 ");

    int index = -1;
    EXPECT_EQ(items.find(Item{"c", 9}, &index), &c);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(items.find(Item{"bb", 9}, &index), nullptr);
    EXPECT_EQ(index, 4);

    // remove-equal takes one of the equal items out and leaves it alive.
    Item* removed = items.removeEqual(Item{"b", 0});
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->key, "b");
    EXPECT_EQ(items.count(), 4);
    EXPECT_EQ(items.removeEqual(Item{"x", 0}), nullptr);
}

TEST(XVector, InsertIfAbsentKeepsOneOfEachKey) {
    Item first{"k", 1}, second{"k", 2}, other{"a", 3};
    XVectorOf<Item> items(0, byKey);
    EXPECT_TRUE(items.insertIfAbsent(&first));
    EXPECT_FALSE(items.insertIfAbsent(&second));
    EXPECT_TRUE(items.insertIfAbsent(&other));
    EXPECT_EQ(tags(items), "a3 k1 ");
}

TEST(XVector, UnsortedKeepsArrivalOrderAndNeverOwnsItems) {
    Item x{"x", 1}, y{"y", 2};
    XVectorOf<Item> items;
    items.append(&y);
    items.append(&x);
    items.append(&y);
    EXPECT_EQ(tags(items), "y2 x1 y2 ");
    int index = -1;
    EXPECT_EQ(items.find(x, &index), &x);
    EXPECT_EQ(index, 1);
    items.clear();
    EXPECT_EQ(items.count(), 0);
    EXPECT_EQ(x.key, "x");  // still alive

    XVectorOf<Item> owning(4, byKey);
    for (int i = 0; i < 40; ++i) {
        owning.append(new Item{XString(i % 7), i});
    }
    EXPECT_EQ(owning.count(), 40);
    owning.deleteAll();  // the sanitizer build sees a leak or a double delete here
    EXPECT_TRUE(owning.isEmpty());
}

}  // namespace
