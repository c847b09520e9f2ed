#include <gtest/gtest.h>

#include "frame/serial/ring_buffer.h"

namespace {

TEST(RingBuffer, KeepsOrderAcrossTheWrap) {
  CRingBuffer r(4);
  uint8_t b = 0;
  for (uint8_t round = 0; round < 3; ++round) {
    EXPECT_EQ(r.Put(round * 10 + 1), 1u);
    EXPECT_EQ(r.Put(round * 10 + 2), 1u);
    EXPECT_EQ(r.Put(round * 10 + 3), 1u);
    for (uint8_t i = 1; i <= 3; ++i) {
      ASSERT_EQ(r.Get(&b), 1u);
      EXPECT_EQ(b, round * 10 + i);
    }
  }
  EXPECT_EQ(r.Get(&b), 0u);
  EXPECT_TRUE(r.IsEmpty());
}

TEST(RingBuffer, FullRingRefusesAndKeepsWhatItHolds) {
  CRingBuffer r(3);
  for (uint8_t i = 0; i < 3; ++i) EXPECT_EQ(r.Put(i), 1u);
  EXPECT_TRUE(r.IsFull());
  EXPECT_EQ(r.Put(99), 0u);
  uint8_t b = 0;
  for (uint8_t i = 0; i < 3; ++i) {
    ASSERT_EQ(r.Get(&b), 1u);
    EXPECT_EQ(b, i);
  }
  r.Put(7);
  r.Clear();
  EXPECT_EQ(r.Count(), 0);
  EXPECT_EQ(r.Get(&b), 0u);
}

TEST(RingBuffer, WaterMarks) {
  const struct {
    uint32_t size, count;
    bool high, low;
  } rows[] = {
      {2000, 1499, false, false}, {2000, 1500, true, false}, {2000, 500, false, true},
      {2000, 501, false, false},  {4000, 3000, true, false}, {10, 7, true, false},
      {10, 6, false, false},      {10, 2, false, true},      {10, 0, false, true},
  };
  for (const auto& r : rows) {
    CRingBuffer ring(r.size);
    for (uint32_t i = 0; i < r.count; ++i) ring.Put(0);
    EXPECT_EQ(ring.IsAboveHighWater(), r.high) << r.size << "/" << r.count;
    EXPECT_EQ(ring.IsBelowLowWater(), r.low) << r.size << "/" << r.count;
  }
}

TEST(RingBuffer, SizesTheCountCannotHoldAreRefused) {
  CRingBuffer big(70000), none(0), largest(65535);
  EXPECT_EQ(big.Size(), 0u);
  EXPECT_EQ(big.Put(1), 0u);
  EXPECT_EQ(none.Put(1), 0u);
  EXPECT_EQ(largest.Size(), 65535u);
}

}  // namespace
