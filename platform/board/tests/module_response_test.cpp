// The EPLD's module-response registers and the far end of the module link:
// the link latches bits the processor reads as 32-bit words and clears by
// writing the first one; packets that are not CAN frames reach the link.
#include <gtest/gtest.h>

#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

constexpr uint32_t RESPONSES = 0xF0500080;

class ModuleResponseTest : public ::testing::Test {
 protected:
  void SetUp() override { board::reset(); }
  void TearDown() override { board::shutdown(); }
};

TEST_F(ModuleResponseTest, LatchedBitsReadAsWordsAndOneWriteClearsThemAll) {
  board::module_responses().latch(0, 0x00000005);
  board::module_responses().latch(0, 0x80000000);
  board::module_responses().latch(17, 0x00010000);
  board::module_responses().latch(18, 1);  // beyond the registers
  EXPECT_EQ(reg_read32(RESPONSES), 0x80000005u);
  EXPECT_EQ(reg_read32(RESPONSES + 4 * 17), 0x00010000u);
  EXPECT_EQ(reg_read8(RESPONSES + 3), 0x05) << "byte lanes, most significant first";
  EXPECT_EQ(reg_read16(RESPONSES + 2), 0x0005);
  // Writes elsewhere change nothing; the first word's write clears all.
  reg_write32(RESPONSES + 4, 0);
  EXPECT_EQ(reg_read32(RESPONSES), 0x80000005u);
  reg_write32(RESPONSES, 0);
  EXPECT_EQ(reg_read32(RESPONSES), 0u);
  EXPECT_EQ(reg_read32(RESPONSES + 4 * 17), 0u);
  EXPECT_EQ(board::module_responses().resets(), 1u);
}

TEST_F(ModuleResponseTest, PacketsThatAreNotCanFramesReachTheLink) {
  std::vector<std::vector<uint8_t>> heard;
  board::can_fifo().on_link_packet = [&](const std::vector<uint8_t>& p) { heard.push_back(p); };
  const std::vector<uint8_t> request = {0x55, 0xAA, 0xC5, 0x00, 0x3C};
  const std::vector<uint8_t> can = {0x55, 0xAA, 0x01, 0x10, 0x02, 0x00, 0xEE};  // id 16 on channel 1
  std::vector<uint8_t> bytes = can;
  bytes.insert(bytes.end(), request.begin(), request.end());
  for (uint8_t b : bytes) reg_write8(0xF0500040, b);
  EXPECT_EQ(heard, (std::vector<std::vector<uint8_t>>{request}));
  EXPECT_EQ(board::can_fifo().packets().size(), 2u) << "both are still recorded";
  board::can_fifo().on_link_packet = nullptr;
}

}  // namespace
