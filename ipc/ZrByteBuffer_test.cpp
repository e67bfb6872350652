#include "ipc/ZrByteBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The failure path needs an allocation that fails instead of one that aborts the test.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

std::string Bytes(const ZrByteBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.Data()), static_cast<size_t>(buffer.Size()));
}

TEST(ZrByteBuffer, GrowsToTheLargerOfStepAndNeed) {
  ZrByteBuffer buffer;
  EXPECT_EQ(buffer.Data(), nullptr);
  ASSERT_TRUE(buffer.Grow(10, true, 0, true));
  EXPECT_EQ(buffer.Size(), 10);
  EXPECT_EQ(buffer.Capacity(), 10);
  EXPECT_EQ(Bytes(buffer), std::string(10, '\0'));

  ASSERT_TRUE(buffer.Grow(5, false, 100, true));  // capacity + step beats size + count
  EXPECT_EQ(buffer.Size(), 15);
  EXPECT_EQ(buffer.Capacity(), 110);
  const uint8_t* data = buffer.Data();
  ASSERT_TRUE(buffer.Grow(95, false, 100, true));  // fits: no new block
  EXPECT_EQ(buffer.Data(), data);
  EXPECT_EQ(buffer.Capacity(), 110);
  ASSERT_TRUE(buffer.Grow(500, false, 100, true));  // size + count beats capacity + step
  EXPECT_EQ(buffer.Size(), 610);
  EXPECT_EQ(buffer.Capacity(), 610);
}

TEST(ZrByteBuffer, ReservingDoesNotCountTheBytes) {
  ZrByteBuffer buffer;
  ASSERT_TRUE(buffer.Append("abc", 3));
  ASSERT_TRUE(buffer.Grow(20, true, 0, false));
  EXPECT_EQ(buffer.Size(), 3);
  EXPECT_EQ(buffer.Capacity(), 23);
  EXPECT_EQ(Bytes(buffer), "abc");
  ASSERT_TRUE(buffer.SetSize(23));  // the reserved bytes were zero-filled
  EXPECT_EQ(Bytes(buffer), std::string("abc") + std::string(20, '\0'));
  EXPECT_FALSE(buffer.SetSize(24));
  EXPECT_FALSE(buffer.SetSize(-1));
  ASSERT_TRUE(buffer.SetSize(1));
  EXPECT_EQ(Bytes(buffer), "a");
}

TEST(ZrByteBuffer, NegativeCountsCountAsNothing) {
  ZrByteBuffer buffer;
  ASSERT_TRUE(buffer.Append("ab", 2));
  EXPECT_TRUE(buffer.Grow(-5, true, -7, true));
  EXPECT_EQ(buffer.Size(), 2);
  EXPECT_EQ(buffer.Capacity(), 2);
  EXPECT_TRUE(buffer.Append("x", -1));
  EXPECT_EQ(Bytes(buffer), "ab");
}

TEST(ZrByteBuffer, FailedGrowthLeavesTheBufferUnchanged) {
  ZrByteBuffer buffer;
  ASSERT_TRUE(buffer.Append("keep", 4));
  const uint8_t* data = buffer.Data();
  for (int64_t count : {int64_t{1} << 50, INT64_MAX, INT64_MAX - 2}) {
    EXPECT_FALSE(buffer.Grow(count, true, 0, true)) << count;
    EXPECT_EQ(buffer.Data(), data);
    EXPECT_EQ(buffer.Size(), 4);
    EXPECT_EQ(buffer.Capacity(), 4);
  }
  // capacity + step is clamped rather than overflowing; so large a block cannot be had either.
  EXPECT_FALSE(buffer.Grow(1, false, INT64_MAX, true));
  EXPECT_EQ(Bytes(buffer), "keep");
}

TEST(ZrByteBuffer, EmptyFreesTheStorage) {
  ZrByteBuffer buffer;
  ASSERT_TRUE(buffer.Append("abc", 3, 64));
  buffer.Empty();
  EXPECT_EQ(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Size(), 0);
  EXPECT_EQ(buffer.Capacity(), 0);
}

TEST(ZrByteBuffer, CopyFromResizesTheTarget) {
  ZrByteBuffer source, target;
  ASSERT_TRUE(source.Append("hello", 5));
  ASSERT_TRUE(target.Append("longer text", 11));
  const uint8_t* data = target.Data();
  EXPECT_TRUE(target.CopyFrom(source));
  EXPECT_EQ(Bytes(target), "hello");
  EXPECT_EQ(target.Data(), data);  // lowered, not reallocated
  EXPECT_EQ(target.Capacity(), 11);

  ZrByteBuffer small;
  ASSERT_TRUE(small.Append("x", 1));
  ASSERT_TRUE(source.Append(" world, and more", 16));
  EXPECT_TRUE(small.CopyFrom(source));
  EXPECT_EQ(Bytes(small), "hello world, and more");

  EXPECT_TRUE(small.CopyFrom(small));
  EXPECT_EQ(Bytes(small), "hello world, and more");

  ZrByteBuffer none, zero;
  ASSERT_TRUE(zero.Grow(8, true, 0, false));
  EXPECT_FALSE(small.CopyFrom(none));
  EXPECT_EQ(small.Size(), 0);
  ASSERT_TRUE(target.Append("y", 1));
  EXPECT_FALSE(target.CopyFrom(zero));
  EXPECT_EQ(target.Size(), 0);
}

TEST(ZrByteBuffer, MovingHandsTheStorageOver) {
  ZrByteBuffer a;
  ASSERT_TRUE(a.Append("data", 4));
  const uint8_t* data = a.Data();
  ZrByteBuffer b(std::move(a));
  EXPECT_EQ(b.Data(), data);
  EXPECT_EQ(a.Data(), nullptr);
  EXPECT_EQ(a.Size(), 0);
  ZrByteBuffer c;
  c = std::move(b);
  EXPECT_EQ(Bytes(c), "data");
  EXPECT_EQ(b.Capacity(), 0);
}

}  // namespace
