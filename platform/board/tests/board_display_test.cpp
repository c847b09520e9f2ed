// The display output: frame memory, DMA channel 0 and the display FPGA that
// decodes each frame it receives back into the sign's pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

using bytes = std::vector<uint8_t>;

constexpr uint32_t kFrame = board::FRAME_MEMORY_BASE;

class DisplayOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { board::reset(); }
  void TearDown() override { board::shutdown(); }

  // The frame's bytes into frame memory and a transfer of them started, as
  // the sign driver does it.
  void Send(const bytes& frame) {
    uint8_t* mem = board_memory(kFrame, static_cast<uint32_t>(frame.size()));
    ASSERT_NE(mem, nullptr);
    std::copy(frame.begin(), frame.end(), mem);
    mtdcr(0x103, kFrame);
    mtdcr(0x101, static_cast<uint32_t>((frame.size() + 1) / 2));
    mtdcr(0x120, 0x88888880);
    mtdcr(0x100, 0x878827E0);
  }
  void Size(uint16_t width, uint16_t height) {
    reg_write16(0xF0400002, width);
    reg_write16(0xF0400004, height);
  }
  static std::vector<std::string> Rows(const board::display_face& f) {
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < f.height; ++y) {
      std::string r;
      for (uint32_t x = 0; x < f.width; ++x) r += f.at(x, y) ? '#' : '.';
      rows.push_back(r);
    }
    return rows;
  }
};

TEST_F(DisplayOutputTest, MemoryIsReachedDirectlyAndOverTheBus) {
  uint8_t* mem = board_memory(kFrame, board::FRAME_MEMORY_SIZE);
  ASSERT_NE(mem, nullptr);
  mem[0] = 0x12;
  mem[1] = 0x34;
  EXPECT_EQ(reg_read16(kFrame), 0x1234) << "big-endian, as the processor sees it";
  reg_write32(kFrame + 4, 0xA1B2C3D4);
  EXPECT_EQ(mem[4], 0xA1);
  EXPECT_EQ(mem[7], 0xD4);
  EXPECT_EQ(board_memory(kFrame + 16, 32), mem + 16);
  EXPECT_EQ(board_memory(kFrame, board::FRAME_MEMORY_SIZE + 1), nullptr) << "runs past the memory";
  EXPECT_EQ(board_memory(kFrame + board::FRAME_MEMORY_SIZE - 1, 2), nullptr);
  EXPECT_EQ(board_memory(0xF0400000, 2), nullptr) << "registers are no memory";
  EXPECT_EQ(board_memory(0x10000000, 4), nullptr) << "nothing mapped";
  EXPECT_NE(board_memory(0, board::LOW_MEMORY_SIZE), nullptr);
}

TEST_F(DisplayOutputTest, RegistersAndTheLayoutOfTheImage) {
  board::display_output_model& d = board::display_output();
  reg_write16(0xF0400000, 0x0200);
  reg_write16(0xF0400000, static_cast<uint16_t>((reg_read16(0xF0400008) & 0xFF00) | 0x33));
  EXPECT_EQ(reg_read16(0xF0400000), 0x0233);
  EXPECT_EQ(d.brightness(), 0x33);
  EXPECT_EQ(d.control_bits(), 0x02);
  EXPECT_EQ(reg_read16(0xF0400008), 0x0207) << "control bits, then the layout of the power-up image";
  reg_write16(0xF0400008, 0xFFFF);
  EXPECT_EQ(reg_read16(0xF0400008), 0x0207) << "status is read-only";
  Size(25, 14);
  EXPECT_EQ(d.frame_width(), 25);
  EXPECT_EQ(d.frame_height(), 14);
  EXPECT_EQ(reg_read8(0xF0400003), 25);
  EXPECT_EQ(reg_read16(0xF040000E), board::display_output_model::VERSION);

  struct {
    const char* part;
    uint8_t layout, colours;
  } images[] = {{"", 7, 1}, {"PX2214087", 7, 1}, {"PX5581320", 1, 1}, {"PX6642915", 9, 2}, {"PX7730468", 9, 3}};
  for (const auto& i : images) {
    board::display_format f = board::format_for_image(i.part);
    EXPECT_EQ(f.layout, i.layout) << i.part;
    EXPECT_EQ(f.colours, i.colours) << i.part;
  }
  board::display_format fixed;
  fixed.layout = 12;
  d.set_format(fixed);
  EXPECT_EQ(reg_read8(0xF0400009), 12);
  d.clear_format();
  EXPECT_EQ(reg_read8(0xF0400009), 7);
}

TEST_F(DisplayOutputTest, TransferEndsWithTerminalCountAndReachesTheDisplay) {
  board::dma_model& dma = board::dma();
  Size(3, 2);
  EXPECT_EQ(mfdcr(0x120) & 0x80000000, 0u) << "no transfer yet";
  // Column by column: (0,0) (0,1) (1,0) (1,1) (2,0) (2,1).
  Send({1, 0, 0, 2, 3, 0});
  EXPECT_EQ(mfdcr(0x120) & 0x80000000, 0x80000000u);
  EXPECT_EQ(dma.starts(), 1u);
  EXPECT_EQ(dma.last_count(), 3u);
  EXPECT_EQ(dma.last_source(), kFrame);
  EXPECT_EQ(mfdcr(0x100) & 0x80000000, 0u) << "the channel stops at terminal count";
  board::display_face f = board::display_output().face();
  EXPECT_EQ(f.sequence, 1u);
  EXPECT_EQ(f.layout, 7);
  EXPECT_EQ(Rows(f), (std::vector<std::string>{"#.#", ".#."}));
  EXPECT_EQ(f.at(2, 0), 3);
  mtdcr(0x120, 0x80000000);
  EXPECT_EQ(mfdcr(0x120), 0u) << "write one to clear";
}

TEST_F(DisplayOutputTest, SlowAndStuckTransfers) {
  board::dma_model& dma = board::dma();
  Size(2, 1);
  dma.set_completion_reads(3);
  Send({0, 5});
  EXPECT_EQ(board::display_output().frames(), 0u) << "still on its way";
  // What the buffer holds when the transfer ends is what arrives.
  board_memory(kFrame, 2)[0] = 9;
  EXPECT_EQ(mfdcr(0x120), 0u);
  EXPECT_EQ(mfdcr(0x120), 0u);
  EXPECT_EQ(mfdcr(0x120), 0x80000000u);
  EXPECT_EQ(board::display_output().face().at(0, 0), 9);

  dma.set_stuck(true);
  mtdcr(0x120, 0x80000000);
  Send({1, 1});
  for (int i = 0; i < 10; ++i) EXPECT_EQ(mfdcr(0x120), 0u);
  EXPECT_EQ(dma.completions(), 1u);
  EXPECT_EQ(board::display_output().frames(), 1u);
}

TEST_F(DisplayOutputTest, SourceOutsideMemoryIsABusError) {
  board::dma_model& dma = board::dma();
  mtdcr(0x103, kFrame + board::FRAME_MEMORY_SIZE - 2);
  mtdcr(0x101, 2);
  mtdcr(0x100, 0x878827E0);
  EXPECT_EQ(mfdcr(0x120), board::dma_model::SR_ERR0);
  EXPECT_EQ(dma.errors(), 1u);
  EXPECT_EQ(board::display_output().frames() + board::display_output().bad_frames(), 0u) << "nothing delivered";
}

TEST_F(DisplayOutputTest, FrameOfTheWrongLengthIsRefusedAndTheFaceKept) {
  Size(2, 2);
  Send({1, 2, 3, 4});
  Send({1, 2, 3, 4, 5, 6});
  Send({});
  board::display_output_model& d = board::display_output();
  EXPECT_EQ(d.frames(), 1u);
  EXPECT_EQ(d.bad_frames(), 2u);
  EXPECT_EQ(d.face().at(1, 1), 4);
  EXPECT_EQ(d.last_frame().size(), 0u);
  // An odd frame comes with the one byte the 16-bit transfer adds.
  Size(3, 1);
  Send({7, 8, 9});
  EXPECT_EQ(d.frames(), 2u);
  EXPECT_EQ(d.face().at(2, 0), 9);
}

// Each layout undone: frames as the FPGA takes them (the sign driver's
// examples) back to the pixels.
TEST_F(DisplayOutputTest, LayoutsDecodeBackToPixels) {
  struct Case {
    const char* what;
    board::display_format format;
    uint32_t width, height;
    bytes frame;
    std::vector<std::vector<uint16_t>> rows;  // expected pixels
  };
  auto fmt = [](uint8_t layout, uint32_t type = 0) {
    board::display_format f;
    f.layout = layout;
    f.module_type = type;
    return f;
  };
  board::display_format records = fmt(10);
  records.module_width = 2;
  records.module_height = 1;
  records.chains = 1;
  records.chain_columns = 2;
  records.chain_rows = 1;
  records.blank_records = 0;
  std::vector<Case> cases = {
      {"plain copy", fmt(0), 3, 2, {1, 2, 3, 4, 5, 6}, {{1, 2, 3}, {4, 5, 6}}},
      {"bands of 8, H 12", fmt(1), 1, 12,
       // r = 0..7: band 0 then band 1 (rows 12-15 blank)
       {1, 9, 2, 10, 3, 11, 4, 12, 5, 0, 6, 0, 7, 0, 8, 0},
       {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}, {10}, {11}, {12}}},
      {"bands of 7, W 2, H 21: even bands first",
       fmt(5),
       2,
       21,
       [] {
         bytes b;
         for (uint8_t r = 0; r < 7; ++r)
           for (uint8_t x = 0; x < 2; ++x)
             for (uint8_t j : {0, 2, 1, 3}) b.push_back(j == 3 ? 0 : static_cast<uint8_t>(100 * x + 7 * j + r + 1));
         return b;
       }(),
       [] {
         std::vector<std::vector<uint16_t>> rows;
         for (uint16_t y = 0; y < 21; ++y) rows.push_back({static_cast<uint16_t>(y + 1), static_cast<uint16_t>(101 + y)});
         return rows;
       }()},
      {"modules of type 5 on their side", fmt(6, 5), 7, 5,
       // r = 0..4 of module row 0: rows 4, 3, 2, 1, 0, each 7 bytes and a gap
       [] {
         bytes b;
         for (int r = 0; r < 5; ++r) {
           for (int c = 0; c < 7; ++c) b.push_back(static_cast<uint8_t>(10 * (4 - r) + c));
           b.push_back(0xEE);
         }
         return b;
       }(),
       [] {
         std::vector<std::vector<uint16_t>> rows;
         for (uint16_t y = 0; y < 5; ++y) {
           rows.push_back({});
           for (uint16_t c = 0; c < 7; ++c) rows.back().push_back(static_cast<uint16_t>(10 * y + c));
         }
         return rows;
       }()},
      {"column by column, a gap after every 7th row", fmt(6), 1, 8, {1, 2, 3, 4, 5, 6, 7, 0xEE, 8, 0},
       {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}}},
      {"type 106: two after every 8th row, a blank column after every 5th", fmt(8, 106), 5, 8,
       [] {
         bytes b;
         for (uint8_t x = 0; x < 5; ++x) {
           for (uint8_t y = 0; y < 8; ++y) b.push_back(static_cast<uint8_t>(10 * x + y + 1));
           b.insert(b.end(), 2, 0);
         }
         b.insert(b.end(), 10, 0);
         return b;
       }(),
       [] {
         std::vector<std::vector<uint16_t>> rows(8);
         for (uint16_t y = 0; y < 8; ++y)
           for (uint16_t x = 0; x < 5; ++x) rows[y].push_back(static_cast<uint16_t>(10 * x + y + 1));
         return rows;
       }()},
      {"words, column by column", fmt(9), 2, 1, {0x7F, 0xFF, 0x00, 0x01}, {{0x7FFF, 0x0001}}},
      {"module records", records, 4, 1,
       // a = 2 columns of d = 2 pixels: start 1, S9 -1, S13 2
       [] {
         bytes b = {2, 4};
         b.insert(b.end(), 22, 0);
         b.push_back(1);
         b.push_back(3);
         b.insert(b.end(), 22, 0);
         return b;
       }(),
       {{1, 2, 3, 4}}},
      {"low bytes, one band of 8 for H 7", fmt(11), 1, 7, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 0, 0},
       {{1}, {2}, {3}, {4}, {5}, {6}, {7}}},
  };
  for (const Case& c : cases) {
    board::display_face f;
    ASSERT_TRUE(board::decode_display_frame(c.format, c.width, c.height, c.frame.data(), c.frame.size(), &f))
        << c.what;
    ASSERT_EQ(f.height, c.rows.size()) << c.what;
    for (uint32_t y = 0; y < f.height; ++y)
      for (uint32_t x = 0; x < f.width; ++x) EXPECT_EQ(f.at(x, y), c.rows[y][x]) << c.what << " at " << x << "," << y;
  }
}

TEST_F(DisplayOutputTest, ImpossibleGeometryIsNoFrame) {
  board::display_face f;
  board::display_format records;
  records.layout = 10;  // no module size
  const uint8_t none[2] = {0, 0};
  EXPECT_FALSE(board::decode_display_frame(records, 4, 1, none, 0, &f));
  records.module_width = 1;
  records.module_height = 1;
  EXPECT_FALSE(board::decode_display_frame(records, 5, 5, none, 0, &f)) << "25 pixels fit no record";
  // A huge face with a small frame ends early instead of mapping it all.
  board::display_format columns;
  EXPECT_FALSE(board::decode_display_frame(columns, 65535, 65535, none, 2, &f));
}

TEST_F(DisplayOutputTest, FrameSizeRegistersStandForTheSign) {
  struct {
    uint32_t type;
    uint16_t width_reg, height_reg;
    uint32_t width, height;
  } cases[] = {
      {21, 25, 14, 25, 14},
      {5, 15, 14, 21, 10},    // written (h / 5) * 7 and (w / 7) * 5
      {27, 30, 16, 30, 10},   // (h / 5) * 8
      {106, 24, 9, 20, 8},    // h + h / 8, w + w / 5
      {106, 60, 36, 50, 32},
  };
  for (const auto& c : cases) {
    uint32_t w = 0, h = 0;
    board::display_frame_size(c.type, c.width_reg, c.height_reg, &w, &h);
    EXPECT_EQ(w, c.width) << c.type;
    EXPECT_EQ(h, c.height) << c.type;
  }
}

TEST_F(DisplayOutputTest, EachDecodedFrameIsAnnounced) {
  int announced = 0;
  board::display_output().on_frame = [&] { ++announced; };
  Size(1, 1);
  Send({1, 0});
  Send({1, 2, 3});
  EXPECT_EQ(announced, 1) << "a bad frame is not announced";
  board::display_output().on_frame = nullptr;
}

}  // namespace
