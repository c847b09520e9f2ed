// The frame layouts of the display FPGA: each code's byte order as worked
// examples, the bytes a layout skips, colour correction, and frames that do
// not fit the buffer.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "display/driver/frame_layouts.h"
#include "display/surface/surface.h"

namespace {

using bytes = std::vector<uint8_t>;

constexpr uint8_t kFill = 0xEE;  // what the buffer held before
constexpr uint32_t kGuard = 16;

// A surface of depth 8 (one byte per pixel) whose pixel (x, y) is v(x, y).
void Fill(CSurface& s, uint32_t w, uint32_t h, const std::function<uint8_t(uint32_t, uint32_t)>& v,
          uint8_t depth = 8) {
  ASSERT_NE(s.Allocate(h, w, depth), nullptr);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) s.Pixels()[x + y * w] = v(x, y);
}

frame_layout_s Layout(uint8_t code, uint32_t type = 21, uint8_t gamma = 0, const module_type_row* row = nullptr) {
  return frame_layout_s{code, type, gamma, row};
}

struct Output {
  frame_layout_result result;
  uint32_t count;
  uint32_t height;
  bytes frame;  // the first `count` bytes of the buffer
  bool guard_intact;
};

Output Convert(const frame_layout_s& layout, const CSurface& s, uint32_t capacity = 4096) {
  bytes buf(capacity + kGuard, kFill);
  Output o{};
  o.result = frame_layout_write(layout, s, buf.data(), capacity, &o.count, &o.height);
  o.frame.assign(buf.begin(), buf.begin() + std::min<uint32_t>(o.count, capacity));
  o.guard_intact = true;
  for (uint32_t i = capacity; i < buf.size(); ++i) o.guard_intact &= buf[i] == kFill;
  return o;
}

bytes Zeros(size_t n) { return bytes(n, 0); }
bytes Cat(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A module row for the module-record layout: modules of 2 x 1 pixels, chains
// of 2 columns and 1 row, one leading blank record.
module_type_row RecordRow(bool rotated) {
  module_type_row r = g_default_module_type;
  r.height = 1;
  r.width = 2;
  r.fpga_control = rotated ? 0x04 : 0x00;
  r.pixel_test[0] = 1;  // chains
  r.pixel_test[1] = 2;  // chain columns
  r.pixel_test[2] = 1;  // chain rows
  r.line_bitrate = 1;   // leading blank records
  return r;
}

TEST(FrameLayoutTest, EachCodeAsAWorkedExample) {
  const module_type_row plain_records = RecordRow(false);
  const module_type_row rotated_records = RecordRow(true);
  auto column = [](uint32_t, uint32_t y) { return static_cast<uint8_t>(y + 1); };
  auto twelve = [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(16 * x + y + 1); };
  auto rows4 = [](uint32_t x, uint32_t) { return static_cast<uint8_t>(x + 1); };
  struct Case {
    const char* what;
    frame_layout_s layout;
    uint32_t w, h;
    std::function<uint8_t(uint32_t, uint32_t)> v;
    bytes expected;  // kFill where a byte is skipped
    uint32_t height;  // the frame height afterwards
  };
  const std::vector<Case> cases = {
      {"0: the surface as it is", Layout(0), 3, 2, twelve, {1, 17, 33, 2, 18, 34}, 2},
      {"13 and above: the plain copy too", Layout(13), 2, 1, twelve, {1, 17}, 1},
      {"1: H 12 sends two bands, rows 12-15 blank", Layout(1), 2, 12, twelve,
       {1, 9, 17, 25, 2, 10, 18, 26, 3, 11, 19, 27, 4, 12, 20, 28,
        5, 0, 21, 0,  6, 0,  22, 0,  7, 0,  23, 0,  8, 0,  24, 0},
       12},
      {"2: bands of 4", Layout(2), 1, 6, column, {1, 5, 2, 6, 3, 0, 4, 0}, 6},
      {"3: H 16 is raised to 32, the second band blank", Layout(3), 1, 16, column,
       {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0, 10, 0, 11, 0, 12, 0, 13, 0, 14, 0, 15, 0, 16, 0}, 32},
      {"3: two bands stay two", Layout(3), 1, 32, column,
       {1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15,
        31, 16, 32},
       32},
      {"4: H 24 is raised to 48", Layout(4), 1, 24, column,
       {1, 0, 2,  0, 3,  0, 4,  0, 5,  0, 6,  0, 7,  0, 8,  0, 9,  0, 10, 0, 11, 0, 12, 0,
        13, 0, 14, 0, 15, 0, 16, 0, 17, 0, 18, 0, 19, 0, 20, 0, 21, 0, 22, 0, 23, 0, 24, 0},
       48},
      {"6, type 5: modules on their side, a skipped byte after each 7", Layout(6, 5), 7, 5,
       [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(10 * y + x); },
       {40, 41, 42, 43, 44, 45, 46, kFill, 30, 31, 32, 33, 34, 35, 36, kFill, 20, 21, 22, 23, 24, 25, 26, kFill,
        10, 11, 12, 13, 14, 15, 16, kFill, 0,  1,  2,  3,  4,  5,  6,  kFill},
       5},
      {"6: columns, a skipped byte after every 7th row", Layout(6), 2, 8, twelve,
       {1, 2, 3, 4, 5, 6, 7, kFill, 8, 17, 18, 19, 20, 21, 22, 23, kFill, 24}, 8},
      {"7: column by column", Layout(7), 2, 2, twelve, {1, 2, 17, 18}, 2},
      {"8: a zero after every 9th row", Layout(8), 1, 10, column, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 10}, 10},
      {"8, type 106, H 8, W 5: columns of 8 and 2 zeros, 10 zeros after the fifth", Layout(8, 106), 5, 8, rows4,
       Cat({bytes(8, 1), Zeros(2), bytes(8, 2), Zeros(2), bytes(8, 3), Zeros(2), bytes(8, 4), Zeros(2), bytes(8, 5),
            Zeros(2), Zeros(10)}),
       8},
      {"9, depth 8: a zero byte, then the pixel", Layout(9), 2, 1, twelve, {0, 1, 0, 17}, 1},
      {"10: module records, leading blank record first", Layout(10, 21, 0, &plain_records), 4, 1, rows4,
       Cat({Zeros(24), {2, 4}, Zeros(22), {1, 3}, Zeros(22)}), 1},
      {"10: module records of a rotated chain", Layout(10, 21, 0, &rotated_records), 4, 1, rows4,
       Cat({Zeros(24), {1, 2}, Zeros(22), {3, 4}, Zeros(22)}), 1},
      {"11, H 7: 16 bytes a column, row 7 being 0", Layout(11), 1, 7, column,
       {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 0, 0}, 7},
      {"11, H 16: as 12", Layout(11), 1, 16, column, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 16},
      {"12: pairs of rows, band by band", Layout(12), 1, 32, column,
       {1, 2, 17, 18, 3, 4, 19, 20, 5, 6, 21, 22, 7, 8, 23, 24, 9, 10, 25, 26, 11, 12, 27, 28, 13, 14, 29, 30, 15,
        16, 31, 32},
       32},
  };
  for (const Case& c : cases) {
    CSurface s;
    Fill(s, c.w, c.h, c.v);
    const Output o = Convert(c.layout, s);
    EXPECT_EQ(o.result, FRAME_LAYOUT_OK) << c.what;
    EXPECT_EQ(o.frame, c.expected) << c.what;
    EXPECT_EQ(o.count, c.expected.size()) << c.what;
    EXPECT_EQ(o.height, c.height) << c.what;
    EXPECT_TRUE(o.guard_intact) << c.what;
  }
}

TEST(FrameLayoutTest, SevenRowBandsPadToAnEvenNumber) {
  // W 2, H 21: three bands padded to four; for each row, each column: the
  // even bands, then the odd ones.
  CSurface s;
  Fill(s, 2, 21, [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(32 * x + y + 1); });
  const Output o = Convert(Layout(5), s);
  ASSERT_EQ(o.result, FRAME_LAYOUT_OK);
  EXPECT_EQ(o.count, 56u);
  EXPECT_EQ(o.height, 28u);
  const bytes first_row = {1, 15, 8, 0, 33, 47, 40, 0};  // r0: x0 (j0, j2), (j1, j3); x1 ...
  EXPECT_EQ(bytes(o.frame.begin(), o.frame.begin() + 8), first_row);
  const bytes last_row = {7, 21, 14, 0, 39, 53, 46, 0};
  EXPECT_EQ(bytes(o.frame.end() - 8, o.frame.end()), last_row);
  // Sixteen bands are even already; seventeen are not raised.
  for (uint32_t h : {7u * 16, 7u * 17}) {
    CSurface big;
    Fill(big, 1, h, [](uint32_t, uint32_t) { return 1; });
    const Output b = Convert(Layout(5), big);
    EXPECT_EQ(b.height, h);
    EXPECT_EQ(b.count, h);
  }
}

TEST(FrameLayoutTest, FifteenBitFramesAndColourCorrection) {
  struct Case {
    const char* what;
    uint32_t type;
    uint8_t gamma;
    uint16_t pixel;
    bytes expected;
  };
  const Case cases[] = {
      {"identity", 21, 0, 0xFFFF, {0x7F, 0xFF}},
      {"identity keeps the components", 97, 0, 0x1234, {0x12, 0x34}},
      {"table 20: A 31, B 16, C 1 -> 31, 10, 0", 97, 20, 31 | 16 << 5 | 1 << 10, {0x01, 0x5F}},
      {"table 21", 97, 21, 19 | 19 << 5 | 19 << 10, {0x31, 0x8C}},  // 12 each
      {"table 23", 97, 23, 19, {0x00, 11}},
      {"any other selector", 97, 7, 13, {0x00, 6}},
      {"types 11 and 98-101 send the pixel as it is", 11, 20, 0xFFFF, {0xFF, 0xFF}},
      {"", 98, 20, 0x8001, {0x80, 0x01}},
      {"", 101, 20, 0x8001, {0x80, 0x01}},
      {"", 102, 0, 0x8001, {0x00, 0x01}},
  };
  for (const Case& c : cases) {
    CSurface s;
    ASSERT_NE(s.Allocate(1, 1, 15), nullptr);
    s.Pixels()[0] = static_cast<uint8_t>(c.pixel >> 8);
    s.Pixels()[1] = static_cast<uint8_t>(c.pixel);
    const Output o = Convert(Layout(9, c.type, c.gamma), s);
    EXPECT_EQ(o.frame, c.expected) << c.what << " type " << c.type;
  }
  EXPECT_EQ(frame_gamma_table(0), nullptr);
  EXPECT_EQ(frame_gamma_table(20)[31], 31);
  EXPECT_EQ(frame_gamma_table(21)[13], 6);
  EXPECT_EQ(frame_gamma_table(23)[13], 5);
  EXPECT_EQ(frame_gamma_table(99)[19], 12);

  // Type 27 skips 6 bytes after every 5th row.
  CSurface s;
  ASSERT_NE(s.Allocate(6, 1, 15), nullptr);
  for (uint32_t y = 0; y < 6; ++y) s.Pixels()[2 * y + 1] = static_cast<uint8_t>(y + 1);
  const Output o = Convert(Layout(9, 27), s);
  EXPECT_EQ(o.frame, Cat({{0, 1, 0, 2, 0, 3, 0, 4, 0, 5}, bytes(6, kFill), {0, 6}}));
  EXPECT_EQ(o.count, 18u);
}

TEST(FrameLayoutTest, FramesThatCannotBeSent) {
  CSurface s;
  Fill(s, 2, 2, [](uint32_t, uint32_t) { return 1; });
  s.m_byDepth = 3;  // a depth no layout 9 frame has
  Output o = Convert(Layout(9), s);
  EXPECT_EQ(o.result, FRAME_LAYOUT_BAD_DEPTH);
  EXPECT_EQ(o.count, 0u);
  EXPECT_EQ(o.frame, bytes());

  module_type_row flat = RecordRow(false);
  flat.height = 0;
  CSurface r;
  Fill(r, 4, 1, [](uint32_t, uint32_t) { return 1; });
  EXPECT_EQ(Convert(Layout(10, 21, 0, &flat), r).result, FRAME_LAYOUT_BAD_RECORD);
  module_type_row tiny = RecordRow(false);
  tiny.width = 1;
  CSurface wide_sign;
  Fill(wide_sign, 25, 1, [](uint32_t, uint32_t) { return 1; });
  EXPECT_EQ(Convert(Layout(10, 21, 0, &tiny), wide_sign).result, FRAME_LAYOUT_BAD_RECORD) << "25 pixels a record";
  // The default record names no chains: an empty frame.
  const Output none = Convert(Layout(10, 21, 0, &g_default_module_type), r);
  EXPECT_EQ(none.result, FRAME_LAYOUT_OK);
  EXPECT_EQ(none.count, 0u);

  CSurface unallocated;
  EXPECT_EQ(Convert(Layout(7), unallocated).result, FRAME_LAYOUT_NO_SURFACE);
}

// Whatever the geometry, nothing is written past the buffer: a frame that
// does not fit is refused whole.
TEST(FrameLayoutTest, NoLayoutWritesPastTheBuffer) {
  constexpr uint32_t kCapacity = 64;
  module_type_row many_chains = RecordRow(false);
  many_chains.pixel_test[0] = 255;
  struct Case {
    frame_layout_s layout;
    uint32_t w, h;
    uint8_t depth;
  };
  const Case cases[] = {
      {Layout(0), 9, 8, 8},          {Layout(1), 9, 8, 8},        {Layout(2), 17, 4, 1},
      {Layout(3), 3, 16, 8},         {Layout(4), 2, 24, 8},       {Layout(5), 5, 7, 8},
      {Layout(6, 5), 14, 5, 8},      {Layout(6), 8, 8, 8},        {Layout(7), 65, 1, 1},
      {Layout(8, 106), 5, 9, 8},     {Layout(8), 8, 9, 8},        {Layout(9), 33, 1, 8},
      {Layout(9, 27), 3, 10, 15},    {Layout(11), 5, 7, 8},       {Layout(12), 5, 16, 8},
      {Layout(10, 21, 0, &many_chains), 4, 1, 8},
  };
  for (const Case& c : cases) {
    CSurface s;
    Fill(s, c.w, c.h, [](uint32_t, uint32_t) { return 0x5A; }, c.depth);
    uint32_t ignored;
    frame_layout_result r;
    const uint64_t size = frame_layout_size(c.layout, c.depth, c.w, c.h, &ignored, &r);
    ASSERT_GT(size, kCapacity) << "layout " << int(c.layout.code);
    bytes buf(kCapacity + kGuard, kFill);
    uint32_t count = 99, height = 0;
    EXPECT_EQ(frame_layout_write(c.layout, s, buf.data(), kCapacity, &count, &height), FRAME_LAYOUT_TOO_LARGE)
        << "layout " << int(c.layout.code);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buf, bytes(kCapacity + kGuard, kFill)) << "layout " << int(c.layout.code) << ": nothing written";
  }
  // Exactly full is fine.
  CSurface s;
  Fill(s, 8, 8, [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(x + y); });
  const Output o = Convert(Layout(7), s, kCapacity);
  EXPECT_EQ(o.result, FRAME_LAYOUT_OK);
  EXPECT_EQ(o.count, kCapacity);
  EXPECT_TRUE(o.guard_intact);
}

TEST(FrameLayoutTest, SizesOfLargeSignsDoNotOverflow) {
  uint32_t raised = 0;
  frame_layout_result r;
  // 65535 x 65535 at two bytes a pixel is more than 32 bits can count.
  EXPECT_EQ(frame_layout_size(Layout(9), 15, 65535, 65535, &raised, &r), 2ull * 65535 * 65535);
  EXPECT_EQ(frame_layout_size(Layout(1), 1, 65535, 65535, &raised, &r), 8ull * 65535 * 8192);
  EXPECT_EQ(frame_layout_size(Layout(3), 1, 10, 16, &raised, &r), 320u);
  EXPECT_EQ(raised, 32u);
}

}  // namespace
