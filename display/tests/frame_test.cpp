// Pixel frames of every depth: pixel placement in the packed buffer, packed
// transfers in and out (and their bounds), lit counting, copies, and the
// frame engine base.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/frame/frame.h"
#include "display/frame/frame_engine.h"

using disp::frame;
using disp::pixel;

namespace {

uint32_t stored_bits(uint32_t depth) { return depth == 15 ? 16 : depth; }
uint32_t max_value(uint32_t depth) { return depth == 15 ? 0xFFFF : (1u << depth) - 1; }

// The packed layout written out independently of the stores: pixel i takes
// bits b*i .. b*i + b - 1 of a little-endian bit stream.
std::vector<uint8_t> pack(const std::vector<uint32_t>& values, uint32_t depth) {
  const uint32_t b = stored_bits(depth);
  std::vector<uint8_t> out((values.size() * b + 7) / 8, 0);
  for (size_t i = 0; i < values.size(); ++i)
    for (uint32_t k = 0; k < b; ++k)
      if ((values[i] >> k) & 1) out[(i * b + k) / 8] |= static_cast<uint8_t>(1u << ((i * b + k) % 8));
  return out;
}

std::vector<uint8_t> read_all(frame& f, uint32_t chunk) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buffer(chunk);
  uint32_t cursor = 0, got = 0;
  while (f.ReadPacked(cursor, buffer.data(), chunk, got) && got) out.insert(out.end(), buffer.begin(), buffer.begin() + got);
  return out;
}

// A deterministic spread of values over a depth's range, zeros included.
std::vector<uint32_t> pattern(uint32_t n, uint32_t depth) {
  std::vector<uint32_t> v(n);
  uint32_t seed = 12345;
  for (uint32_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    v[i] = (i % 5 == 0) ? 0 : (seed >> 7) & max_value(depth);
  }
  return v;
}

}  // namespace

class FrameDepthTest : public ::testing::TestWithParam<uint32_t> {};

// Odd sizes so that rows begin mid-byte and 3-bit pixels straddle bytes.
TEST_P(FrameDepthTest, PacksAndUnpacksEveryPixelExactly) {
  const uint32_t depth = GetParam();
  const uint16_t h = 5, w = 7;
  frame f;
  ASSERT_TRUE(f.Open(h, w, 0, depth));
  EXPECT_EQ(f.ColourType(), depth);
  EXPECT_EQ(f.Height(), h);
  EXPECT_EQ(f.Width(), w);
  std::vector<uint32_t> values = pattern(h * w, depth);
  uint32_t lit = 0;
  for (uint32_t i = 0; i < values.size(); ++i) {
    pixel p(static_cast<uint16_t>(i % w), static_cast<uint16_t>(i / w), values[i]);
    ASSERT_TRUE(f.SetPixel(p));
    lit += values[i] != 0;
  }
  EXPECT_EQ(f.LitCount(), lit);

  const std::vector<uint8_t> expected = pack(values, depth);
  EXPECT_EQ(read_all(f, 4), expected);
  EXPECT_EQ(read_all(f, 1000), expected);

  // The bytes written into a fresh frame give the pixels back.
  frame g;
  ASSERT_TRUE(g.Open(h, w, 0, depth));
  uint32_t cursor = 0;
  for (size_t at = 0; at < expected.size(); at += 3) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(3, expected.size() - at));
    ASSERT_TRUE(g.WritePacked(cursor, expected.data() + at, n));
  }
  EXPECT_EQ(cursor, expected.size());
  for (uint32_t i = 0; i < values.size(); ++i) {
    pixel p(static_cast<uint16_t>(i % w), static_cast<uint16_t>(i / w), 0xDEAD);
    ASSERT_TRUE(g.GetPixel(p));
    EXPECT_EQ(p.value, values[i]) << "pixel " << i;
  }
  EXPECT_EQ(g.LitCount(), lit);

  // Overwriting pixels keeps the count: lit to lit, lit to dark, dark to lit.
  for (uint32_t i = 0; i < values.size(); ++i) {
    pixel p(static_cast<uint16_t>(i % w), static_cast<uint16_t>(i / w), values[i] ? (i % 2 ? 0 : 1) : 1);
    g.SetPixel(p);
    lit += (values[i] == 0) - (values[i] && i % 2);
  }
  EXPECT_EQ(g.LitCount(), lit);
}

TEST_P(FrameDepthTest, PackedTransfersStopAtTheEnd) {
  const uint32_t depth = GetParam();
  frame f;
  ASSERT_TRUE(f.Open(3, 3, 0, depth));
  const uint32_t bytes = (9 * stored_bits(depth) + 7) / 8;
  std::vector<uint8_t> data(bytes + 4, 0xA5);

  uint32_t cursor = 1;
  EXPECT_FALSE(f.WritePacked(cursor, data.data(), bytes));  // one past the end
  EXPECT_EQ(cursor, 1u);
  cursor = 0xFFFFFFF0u;  // a cursor that would wrap
  EXPECT_FALSE(f.WritePacked(cursor, data.data(), 0x20));
  cursor = 0;
  EXPECT_FALSE(f.WritePacked(cursor, nullptr, 1));
  EXPECT_EQ(f.LitCount(), 0u);
  EXPECT_EQ(read_all(f, 64), std::vector<uint8_t>(bytes, 0));

  cursor = 0;
  ASSERT_TRUE(f.WritePacked(cursor, data.data(), bytes));
  EXPECT_EQ(cursor, bytes);
  uint32_t got = 99;
  uint8_t out[8];
  EXPECT_FALSE(f.ReadPacked(cursor, out, sizeof out, got));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(f.ReadPacked(cursor = 0, nullptr, 8, got));
}

INSTANTIATE_TEST_SUITE_P(Depths, FrameDepthTest, ::testing::Values(1u, 2u, 3u, 15u, 24u));

TEST(FrameTest, OpenFillsEveryDepth) {
  struct {
    uint32_t depth, fill;
    std::vector<uint8_t> bytes;  // of a 2 x 3 frame
  } cases[] = {
      {1, 1, {0xFF}},  // the bits past the 6 pixels are set too
      {1, 0, {0x00}},
      {2, 2, {0xAA, 0xAA}},
      {2, 1, {0x55, 0x55}},
      {3, 5, {0x6D, 0xDB, 0x02}},  // 101 repeated over 18 bits, the rest 0
      {15, 0x1234, {0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x12}},
      {24, 0x123456, {0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0x56, 0x34, 0x12,
                      0x56, 0x34, 0x12, 0x56, 0x34, 0x12, 0x56, 0x34, 0x12}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    frame f;
    ASSERT_TRUE(f.Open(2, 3, c.fill, c.depth));
    EXPECT_EQ(read_all(f, 64), c.bytes);
    EXPECT_EQ(f.LitCount(), c.fill ? 6u : 0u);
  }
}

TEST(FrameTest, PixelsLieWhereTheLayoutSays) {
  frame one;
  ASSERT_TRUE(one.Open(3, 3, 0, 1));
  pixel a(0, 1, 1), b(2, 2, 1);
  one.SetPixel(a);
  one.SetPixel(b);
  EXPECT_EQ(read_all(one, 8), (std::vector<uint8_t>{0x08, 0x01}));  // bit 3 of byte 0, bit 0 of byte 1

  frame three;
  ASSERT_TRUE(three.Open(1, 4, 0, 3));
  pixel c(2, 0, 5);
  three.SetPixel(c);
  EXPECT_EQ(read_all(three, 8), (std::vector<uint8_t>{0x40, 0x01}));

  frame wide;
  ASSERT_TRUE(wide.Open(1, 1, 0, 24));
  pixel top(0, 0, 0x800000);  // only the top byte is non-zero
  wide.SetPixel(top);
  EXPECT_EQ(wide.LitCount(), 1u);
}

TEST(FrameTest, RefusesWhatItCannotHold) {
  frame f;
  EXPECT_FALSE(f.Open(2, 2, 0, 8));
  EXPECT_EQ(f.ColourType(), 0u);
  EXPECT_FALSE(f.Open(2, 2, 8, 3));
  EXPECT_FALSE(f.Open(2, 2, 2, 1));
  EXPECT_FALSE(f.Open(2, 2, 0x10000, 15));
  EXPECT_FALSE(f.Close());
  pixel p(0, 0, 1);
  EXPECT_FALSE(f.SetPixel(p));
  EXPECT_FALSE(f.GetPixel(p));
  EXPECT_FALSE(f.Clear());
  EXPECT_EQ(f.LitCount(), 0u);

  ASSERT_TRUE(f.Open(2, 3, 0, 2));
  EXPECT_FALSE(f.Open(2, 3, 0, 2));
  pixel outside(3, 0, 0x77), below(0, 2, 0x77);
  EXPECT_FALSE(f.GetPixel(outside));
  EXPECT_EQ(outside.value, 0x77u);
  EXPECT_FALSE(f.SetPixel(below));
  EXPECT_EQ(f.LitCount(), 0u);

  // Open again after Close, with another geometry and depth.
  EXPECT_TRUE(f.Close());
  ASSERT_TRUE(f.Open(4, 4, 0, 24));
  EXPECT_EQ(f.Width(), 4);
}

TEST(FrameTest, ReadPackedZeroesTheRestOfTheBuffer) {
  frame f;
  ASSERT_TRUE(f.Open(1, 5, 0xFF, 15));  // 10 bytes
  uint8_t out[8];
  uint32_t cursor = 5, got = 0;
  ASSERT_TRUE(f.ReadPacked(cursor, out, sizeof out, got));
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(cursor, 10u);
  EXPECT_EQ(out[1], 0xFF);  // pixel 3's low byte
  EXPECT_EQ(out[5], 0);
  EXPECT_EQ(out[7], 0);
  EXPECT_FALSE(f.ReadPacked(cursor, out, sizeof out, got));
  EXPECT_EQ(got, 0u);
}

TEST(FrameTest, ClearWritesTheFillBack) {
  frame f;
  ASSERT_TRUE(f.Open(3, 4, 0, 3));
  pixel a(1, 1, 6), b(3, 2, 1);
  f.SetPixel(a);
  f.SetPixel(b);
  EXPECT_EQ(f.LitCount(), 2u);
  EXPECT_TRUE(f.Clear());
  EXPECT_EQ(f.LitCount(), 0u);
  EXPECT_EQ(read_all(f, 16), std::vector<uint8_t>(5, 0));

  frame lit;
  ASSERT_TRUE(lit.Open(2, 2, 1, 1));
  pixel dark(0, 0, 0);
  lit.SetPixel(dark);
  EXPECT_FALSE(lit.Clear());  // fill 1: every pixel lit again
  EXPECT_EQ(lit.LitCount(), 4u);
}

TEST(FrameTest, CopyFromNeedsTheSameKindOfFrame) {
  frame a, b, other_size, other_depth;
  ASSERT_TRUE(a.Open(2, 5, 0, 2));
  ASSERT_TRUE(b.Open(2, 5, 0, 2));
  ASSERT_TRUE(other_size.Open(5, 2, 0, 2));
  ASSERT_TRUE(other_depth.Open(2, 5, 0, 3));
  pixel p(4, 1, 3), q(0, 0, 2);
  a.SetPixel(p);
  a.SetPixel(q);
  EXPECT_FALSE(b.CopyFrom(nullptr));
  EXPECT_FALSE(b.CopyFrom(&other_size));
  EXPECT_FALSE(b.CopyFrom(&other_depth));
  ASSERT_TRUE(b.CopyFrom(&a));
  EXPECT_EQ(read_all(b, 8), read_all(a, 8));
  EXPECT_EQ(b.LitCount(), 2u);  // counted from the copied pixels
}

// ------------------------------------------------------------ frame engine

TEST(FrameEngineTest, AttachAndDetachFollowTheState) {
  disp::frame_engine e;
  auto* face = reinterpret_cast<disp::face*>(&e);  // never dereferenced by the base
  EXPECT_FALSE(e.Detach());
  EXPECT_FALSE(e.Attach(nullptr));
  EXPECT_TRUE(e.Attach(face));
  EXPECT_FALSE(e.Attach(face));
  EXPECT_TRUE(e.Detach());
  EXPECT_FALSE(e.Detach());
  EXPECT_TRUE(e.Attach(face));
  e.Commit();
  disp::frame* out = reinterpret_cast<disp::frame*>(&e);
  EXPECT_FALSE(e.GetFrame(&out));
  EXPECT_EQ(out, reinterpret_cast<disp::frame*>(&e));
}

TEST(FrameEngineTest, DestroyingAnAttachedEngineDetachesIt) {
  static int detached;
  detached = 0;
  struct counting : disp::frame_engine {
    ~counting() override {
      if (IsAttached()) Detach();
    }
    bool Detach() override {
      ++detached;
      return disp::frame_engine::Detach();
    }
  };
  {
    counting e;
    e.Attach(reinterpret_cast<disp::face*>(&e));
  }
  EXPECT_EQ(detached, 1);
}
