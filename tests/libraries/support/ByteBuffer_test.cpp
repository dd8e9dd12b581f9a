#include "libraries/support/ByteBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ByteBuffer, AllocatesInGranulesAndShrinksOnlyByAWholeOne) {
    ByteBuffer buffer(50);
    buffer.resize(1);
    EXPECT_EQ(buffer.allocated(), 50);
    buffer.resize(50);
    EXPECT_EQ(buffer.allocated(), 50);
    buffer.resize(51);
    EXPECT_EQ(buffer.allocated(), 100);
    buffer.resize(60);  // less than one granule below: kept
    EXPECT_EQ(buffer.allocated(), 100);
    buffer.resize(50);  // a whole granule below: shrunk
    EXPECT_EQ(buffer.allocated(), 50);
    buffer.resize(0);
    EXPECT_EQ(buffer.allocated(), 0);
}

TEST(ByteBuffer, CopiesItsLengthAndKeepsBytesAcrossGrowth) {
    ByteBuffer buffer(4);
    buffer.assign("abcdef", 6);
    buffer.append("gh", 2);
    buffer.append(buffer.data(), 3);  // from itself, across a reallocation
    EXPECT_EQ(buffer.toByteArray(), QByteArray("abcdefghabc"));

    ByteBuffer copy(50);
    copy = buffer;
    EXPECT_EQ(copy.length(), 11);
    EXPECT_EQ(copy.toByteArray(), buffer.toByteArray());
    const ByteBuffer empty(50);
    copy = empty;
    EXPECT_EQ(copy.length(), 0);
}

}  // namespace
