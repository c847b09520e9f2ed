// The EPLD's CAN packet FIFO: packets written at 0xF0500040 become frames on
// its CAN channels, frames from the channels come back as packets, and the
// transmit FIFO turns busy when held.
#include <gtest/gtest.h>

#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

constexpr uint32_t DATA = 0xF0500040;
constexpr uint32_t BUSY = 0xF0500042;

struct Node : board::can_wire::node {
  explicit Node(board::can_wire& w) : wire(w) { wire.attach(this); }
  ~Node() override { wire.detach(this); }
  bool acknowledges(uint32_t) override { return true; }
  void on_frame(const board::can_frame& f, uint32_t) override { heard.push_back(f); }
  board::can_wire& wire;
  std::vector<board::can_frame> heard;
};

std::vector<uint8_t> with_checksum(std::vector<uint8_t> p) {
  uint8_t sum = 0;
  for (uint8_t b : p) sum = static_cast<uint8_t>(sum + b);
  p.push_back(static_cast<uint8_t>(0 - sum));
  return p;
}

class EpldFifoTest : public ::testing::Test {
 protected:
  void SetUp() override { board::reset(); }
  void TearDown() override { board::shutdown(); }
  void Write(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) reg_write8(DATA, b);
  }
  std::vector<uint8_t> ReadAll() {
    std::vector<uint8_t> out;
    while (board::can_fifo().rx_level()) out.push_back(reg_read8(DATA));
    return out;
  }
};

TEST_F(EpldFifoTest, CanFramePacketsGoOutOnTheirChannel) {
  Node line2(board::epld_wire(2)), line1(board::epld_wire(1));
  Write(with_checksum({0x55, 0xAA, 0x01, 0x22, 0x04, 0x20, 0x09, 0x00}));
  ASSERT_EQ(line2.heard.size(), 1u);
  EXPECT_EQ(line2.heard[0], board::make_frame(33, false, {9, 0}));
  // 29-bit 0x5B001 on channel 1: identifier bytes 00 3B 60 02.
  Write(with_checksum({0x55, 0xAA, 0x02, 0x18, 0x00, 0x3B, 0x60, 0x02, 1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(line1.heard.size(), 1u);
  EXPECT_EQ(line1.heard[0], board::make_frame(0x5B001, true, {1, 2, 3, 4, 5, 6, 7, 8}));

  // A wrong checksum is refused; stray bytes before a packet are skipped.
  std::vector<uint8_t> bad = with_checksum({0x55, 0xAA, 0x01, 0x21, 0x04, 0x20, 0x09});
  bad.back() ^= 1;
  Write(bad);
  Write({0x00, 0x55, 0x13});
  Write(with_checksum({0x55, 0xAA, '2', 3, 'a', 'b', 'c'}));
  EXPECT_EQ(line2.heard.size(), 1u);
  EXPECT_EQ(board::can_fifo().bad_packets(), 3u);
  EXPECT_EQ(board::can_fifo().stream('2'), "abc");
  EXPECT_EQ(board::can_fifo().packets().size(), 3u);
}

TEST_F(EpldFifoTest, HeldFifoTurnsBusyAtHalf) {
  board::can_fifo().set_hold(true);
  std::vector<uint8_t> fill(board::epld_can_fifo::BUSY_LEVEL - 1, 0x00);
  Write(fill);
  EXPECT_EQ(reg_read8(BUSY) & 1, 0);
  Write({0x00});
  EXPECT_EQ(reg_read8(BUSY) & 1, 1);
  EXPECT_EQ(reg_read16(BUSY) & 1, 1) << "on both byte lanes";
  board::can_fifo().release(1);
  EXPECT_EQ(reg_read8(BUSY) & 1, 0);
  board::can_fifo().set_hold(false);
  EXPECT_EQ(board::can_fifo().tx_level(), 0u);
}

TEST_F(EpldFifoTest, FramesFromChannelsComeBackAsPacketsWithTheSourcePending) {
  Node board13(board::epld_wire(13));
  reg_write8(0xF0500028, 0x80);  // receive interrupt enable
  board::epld_wire(13).transmit(&board13, board::make_frame(0x5B081, true, {0x81, 1, 2, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(board::epld().status() & 0x10, 0x10);
  EXPECT_EQ(ReadAll(), with_checksum({0x55, 0xAA, 0x02, 0xD8, 0x00, 0x3B, 0x61, 0x02, 0x81, 1, 2, 0, 0, 0, 0, 0}));
  EXPECT_EQ(board::epld().status() & 0x10, 0);
  board::epld_wire(13).transmit(&board13, board::make_frame(0x21, false, {5}), 0);
  EXPECT_EQ(ReadAll(), with_checksum({0x55, 0xAA, 0x01, 0xD1, 0x04, 0x20, 5}));
  EXPECT_EQ(reg_read8(DATA), 0xFF) << "empty";
}

TEST_F(EpldFifoTest, UnconfiguredEpldTakesNothing) {
  board::board_config c;
  c.epld_configured = false;
  board::reset(c);
  Node line2(board::epld_wire(2));
  Write(with_checksum({0x55, 0xAA, 0x01, 0x22, 0x04, 0x20, 0x09, 0x00}));
  EXPECT_TRUE(line2.heard.empty());
  EXPECT_EQ(reg_read8(BUSY), 0xFF);
}

}  // namespace
