// Frames out of the sign driver: the DMA transfer to the display FPGA, the
// wait for the previous one, frames the hardware does not get, and every
// layout through to the display model, which decodes the pixels back.
#include <algorithm>
#include <random>

#include "display/surface/surface.h"
#include "display/tests/sign_driver_fixture.h"

namespace {

constexpr uint32_t kSr = 0x120;

class FrameOutputTest : public SignDriverTest {
 protected:
  // The sign's geometry in the FPGA without programming the EPLD.
  void Geometry(int32_t height, int32_t width, int32_t type) {
    driver_.m_nModuleType = type;
    trace_capture quiet;
    Configure(height, width, type);
  }
  void Write(CSurface* s) {
    InThread([&] { driver_.WriteFrame(s); });
  }
  void Format(uint8_t layout, uint32_t type = 0) {
    board::display_format f;
    f.layout = layout;
    f.module_type = type;
    board::display_output().set_format(f);
  }
  static void Random(CSurface& s, uint32_t height, uint32_t width, uint8_t depth, uint32_t seed) {
    ASSERT_NE(s.Allocate(height, width, depth), nullptr);
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        const uint32_t v = rng();
        if (depth == 1) s.SetPixel(x, y, v & 1);
        else if (depth == 15) s.SetPixel(x, y, v & 0x7FFF);
        else s.Pixels()[x + y * width] = static_cast<uint8_t>(v);
      }
  }
};

TEST_F(FrameOutputTest, FrameGoesOutThroughChannelZero) {
  Geometry(21, 2, 21);
  Format(5);
  InThread([&] { driver_.SetBrightness(40); });
  reg_write16(0xF0400000, 0x0003);
  CSurface s;
  Random(s, 21, 2, 1, 1);
  Write(&s);
  board::dma_model& dma = board::dma();
  EXPECT_EQ(dma.starts(), 1u);
  EXPECT_EQ(dma.last_source(), CQ5DisplayDriver::FRAME_BUFFER_ADDRESS);
  EXPECT_EQ(dma.last_count(), 28u) << "56 bytes in 16-bit transfers";
  EXPECT_EQ(dma.control(), 0x078827E0u) << "started with 0x878827E0, enable bit dropped at the end";
  EXPECT_EQ(reg_read16(0xF0400000), 40) << "brightness applied again with each frame";
  // The cache is pushed out by reading 512 lines of low memory.
  EXPECT_EQ(board_memory(0, 4) != nullptr, true);
  EXPECT_EQ(driver_.GetHeight(), 28) << "three bands of seven padded to four";
  const board::display_face f = board::display_output().face();
  ASSERT_EQ(f.sequence, 1u);
  for (uint32_t y = 0; y < 21; ++y)
    for (uint32_t x = 0; x < 2; ++x) EXPECT_EQ(f.at(x, y), s.Pixels()[x + 2 * y]) << x << "," << y;
}

TEST_F(FrameOutputTest, WaitsForThePreviousTransferAndGivesUpInTime) {
  Geometry(7, 5, 21);
  CSurface s;
  Random(s, 7, 5, 1, 2);
  board::dma_model& dma = board::dma();
  // Nothing was ever sent: the first frame waits the whole count out.
  Write(&s);
  EXPECT_EQ(dma.status_reads(), CQ5DisplayDriver::DMA_WAIT_READS);
  // A transfer that takes a while is waited for, and only that long.
  dma.set_completion_reads(3);
  Write(&s);
  const uint64_t reads = dma.status_reads();
  Write(&s);
  EXPECT_EQ(dma.status_reads() - reads, 3u);
  EXPECT_EQ(dma.starts(), 3u);
  // A transfer that never ends: the next frame goes out after the count.
  dma.set_stuck(true);
  Write(&s);
  const uint64_t stuck = dma.status_reads();
  Write(&s);
  EXPECT_EQ(dma.status_reads() - stuck, CQ5DisplayDriver::DMA_WAIT_READS);
  EXPECT_EQ(dma.starts(), 5u);
}

TEST_F(FrameOutputTest, FramesTheHardwareDoesNotGet) {
  Geometry(7, 5, 21);
  CSurface s;
  Random(s, 7, 5, 1, 3);
  board::dma_model& dma = board::dma();
  // Patterns the modules draw themselves leave the FPGA and the DMA alone.
  for (uint32_t mode : {24u, 26u, 27u, 28u, 34u, 36u}) {
    SetNv(nv::quorDisplayMode, mode);
    Write(&s);
  }
  EXPECT_EQ(dma.status_reads(), 0u);
  EXPECT_EQ(dma.starts(), 0u);
  SetNv(nv::quorDisplayMode, 1);
  // A driver that is not ready, and a missing surface.
  driver_.m_byReady = 0;
  Write(&s);
  EXPECT_EQ(dma.status_reads(), 0u);
  driver_.m_byReady = 1;
  Write(nullptr);
  EXPECT_EQ(dma.status_reads(), CQ5DisplayDriver::DMA_WAIT_READS) << "the wait comes first";
  EXPECT_EQ(dma.starts(), 0u);
  // Layout 9 with a depth it cannot send.
  Format(9);
  s.m_byDepth = 3;
  trace_capture cap;
  Write(&s);
  EXPECT_EQ(cap.text(), "Display invalid bit count 3\n");
  EXPECT_EQ(dma.starts(), 0u);
}

TEST_F(FrameOutputTest, FrameLargerThanTheBufferIsDroppedWithATrace) {
  // 400 x 330 pixels column by column: 132,000 bytes.
  Geometry(330, 400, 21);
  CSurface big, small;
  ASSERT_NE(big.Allocate(330, 400, 1), nullptr);
  Random(small, 7, 5, 1, 4);
  uint8_t* buffer = board_memory(CQ5DisplayDriver::FRAME_BUFFER_ADDRESS, CQ5DisplayDriver::FRAME_BUFFER_SIZE);
  ASSERT_NE(buffer, nullptr);
  std::fill(buffer, buffer + CQ5DisplayDriver::FRAME_BUFFER_SIZE, 0xEE);
  trace_capture cap;
  Write(&big);
  Write(&big);
  EXPECT_EQ(cap.text(), "CQ5DisplayDriver::WriteFrame: 400x330 frame of layout 7 needs 132000 bytes, dropped\n")
      << "said once";
  EXPECT_EQ(board::dma().starts(), 0u);
  EXPECT_EQ(std::count(buffer, buffer + CQ5DisplayDriver::FRAME_BUFFER_SIZE, 0xEE),
            static_cast<long>(CQ5DisplayDriver::FRAME_BUFFER_SIZE))
      << "not a byte written";
  Geometry(7, 5, 21);
  Write(&small);
  EXPECT_EQ(board::dma().starts(), 1u);
  {
    trace_capture again;
    Write(&big);
    EXPECT_NE(again.text().find("dropped"), std::string::npos) << "said again after a good frame";
  }
  // Exactly the buffer's size still goes.
  CSurface full;
  ASSERT_NE(full.Allocate(512, 256, 1), nullptr);
  Geometry(512, 256, 21);
  Write(&full);
  EXPECT_EQ(board::dma().starts(), 2u);
  EXPECT_EQ(board::dma().last_count(), 65536u);
}

// Every layout from surface to the sign's pixels: what the display model
// decodes is what was rendered.
TEST_F(FrameOutputTest, EveryLayoutReachesTheSign) {
  struct Case {
    const char* what;
    uint8_t layout;
    int32_t type;
    uint32_t height, width;  // the surface
    uint8_t depth;
    int32_t config_height, config_width;  // what Configure is given (0: the surface's)
  };
  const Case cases[] = {
      {"plain copy", 0, 21, 14, 25, 1, 0, 0},
      {"plain copy (code 200)", 200, 21, 7, 10, 8, 0, 0},
      {"bands of 8, H 12", 1, 24, 12, 16, 1, 0, 0},
      {"bands of 4", 2, 21, 14, 25, 1, 0, 0},
      {"bands of 16, padded", 3, 24, 16, 32, 1, 0, 0},
      {"bands of 16", 3, 24, 48, 16, 1, 0, 0},
      {"bands of 24, padded", 4, 21, 24, 10, 1, 0, 0},
      {"bands of 7, padded", 5, 21, 21, 2, 1, 0, 0},
      {"bands of 7", 5, 21, 14, 25, 1, 0, 0},
      {"type 5 on their side", 6, 5, 10, 14, 1, 0, 0},
      {"a gap every 7 rows", 6, 21, 14, 25, 1, 0, 0},
      {"column by column", 7, 21, 14, 25, 1, 0, 0},
      {"type 106", 8, 106, 16, 10, 1, 18, 12},
      {"a zero every 9 rows", 8, 22, 18, 25, 1, 0, 0},
      {"words, monochrome", 9, 21, 14, 25, 1, 0, 0},
      {"words, full colour", 9, 97, 16, 32, 15, 0, 0},
      {"words, type 27", 9, 27, 10, 12, 15, 0, 0},
      {"low bytes, H 7", 11, 21, 7, 20, 8, 0, 0},
      {"low bytes, as 12", 11, 24, 16, 20, 8, 0, 0},
      {"pairs of rows", 12, 24, 32, 20, 8, 0, 0},
  };
  uint32_t seed = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Format(c.layout, c.type);
    Geometry(c.config_height ? c.config_height : c.height, c.config_width ? c.config_width : c.width, c.type);
    CSurface s;
    Random(s, c.height, c.width, c.depth, ++seed);
    const uint64_t before = board::display_output().frames();
    Write(&s);
    ASSERT_EQ(board::display_output().frames(), before + 1) << "bad frames " << board::display_output().bad_frames();
    const board::display_face f = board::display_output().face();
    ASSERT_EQ(f.width, c.width);
    ASSERT_EQ(f.height, c.height);
    uint32_t wrong = 0;
    for (uint32_t y = 0; y < c.height; ++y)
      for (uint32_t x = 0; x < c.width; ++x) {
        const uint16_t expected = c.depth == 15 ? static_cast<uint16_t>(s.GetPixel(x, y)) : s.Pixels()[x + y * c.width];
        if (f.at(x, y) != expected && ++wrong < 4) ADD_FAILURE() << "pixel " << x << "," << y;
      }
    EXPECT_EQ(wrong, 0u);
  }
}

TEST_F(FrameOutputTest, ModuleRecordsReachTheSign) {
  // Modules of 2 x 2 pixels, a sign of 3 x 2 modules, one chain of 2 x 2
  // module records after one blank record: every pixel in some record.
  module_type_row rows[2];
  for (int i = 0; i < 2; ++i) {
    rows[i] = g_default_module_type;
    rows[i].type = 200 + i;
    rows[i].height = 2;
    rows[i].width = 2;
    rows[i].fpga_control = i ? 0x04 : 0x00;
    rows[i].pixel_test[0] = 1;
    rows[i].pixel_test[1] = 2;
    rows[i].pixel_test[2] = 2;
    rows[i].line_bitrate = 1;
  }
  g_module_type_table = rows;
  g_module_type_count = 2;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i ? "rotated" : "straight");
    SetNv(nv::quorModuleID, 200 + i);
    board::display_format f;
    f.layout = 10;
    f.module_height = f.module_width = 2;
    f.chains = 1;
    f.chain_columns = f.chain_rows = 2;
    f.blank_records = 1;
    f.rotated = i != 0;
    board::display_output().set_format(f);
    Geometry(4, 6, 200 + i);
    CSurface s;
    ASSERT_NE(s.Allocate(4, 6, 8), nullptr);
    for (uint32_t k = 0; k < 24; ++k) s.Pixels()[k] = static_cast<uint8_t>(k + 1);
    Write(&s);
    EXPECT_EQ(board::dma().last_count(), 60u) << "(2 x 2 + 1) records of 24 bytes";
    const board::display_face face = board::display_output().face();
    for (uint32_t k = 0; k < 24; ++k) EXPECT_EQ(face.at(k % 6, k / 6), k + 1) << k;
  }
}

}  // namespace
