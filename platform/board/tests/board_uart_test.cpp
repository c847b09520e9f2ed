// 16550 model: the behaviour the drivers rely on, register by register.
#include <gtest/gtest.h>

#include <string>

#include "board_host.h"
#include "board_io.h"

namespace {

constexpr uint32_t U = 0xF0500008;  // quad channel 1 (port 3)

class UartTest : public ::testing::Test {
 protected:
  void SetUp() override { board::reset(); }
  void TearDown() override { board::shutdown(); }
  board::uart16550& uart() { return board::uart(3); }
  uint8_t iir() { return reg_read8(U + 2) & 0x0F; }
  void offer(const std::string& s) { uart().rx_offer(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }
};

TEST_F(UartTest, DivisorLatchSharesOffsetsZeroAndOne) {
  reg_write8(U + 1, 0x05);
  reg_write8(U + 3, 0x80);
  reg_write8(U + 0, 0x34);
  reg_write8(U + 1, 0x12);
  EXPECT_EQ(reg_read8(U + 1), 0x12);
  reg_write8(U + 3, 0x03);
  EXPECT_EQ(uart().divisor(), 0x1234);
  EXPECT_EQ(reg_read8(U + 1), 0x05) << "interrupt enable untouched";
}

TEST_F(UartTest, CausesComeInPriorityOrder) {
  reg_write8(U + 2, 0x01);  // FIFOs on, trigger 1
  reg_write8(U + 1, 0x0F);  // transmit empty is pending from here
  uart().set_cts(false);    // modem status change
  offer("x");
  EXPECT_EQ(iir(), 0x04);
  uart().rx_line_error(0x08);
  EXPECT_EQ(iir(), 0x06);
  EXPECT_EQ(reg_read8(U + 5) & 0x09, 0x09) << "framing error with data ready";
  EXPECT_EQ(iir(), 0x04) << "reading line status cleared its cause";
  reg_read8(U + 0);
  EXPECT_EQ(iir(), 0x02) << "transmit empty outranks modem status";
  EXPECT_EQ(iir(), 0x00) << "reading the identification cleared transmit empty";
  EXPECT_EQ(reg_read8(U + 6) & 0x11, 0x01) << "CTS changed, now low";
  EXPECT_EQ(reg_read8(U + 2), 0xC1) << "nothing pending, FIFOs on";
}

TEST_F(UartTest, TransmitEmptyIsRaisedByEnableAndByDraining) {
  reg_write8(U + 2, 0x07);
  reg_write8(U + 1, 0x02);
  EXPECT_EQ(iir(), 0x02);
  reg_write8(U + 0, 'a');
  EXPECT_EQ(reg_read8(U + 2) & 1, 1) << "a write clears it";
  reg_write8(U + 1, 0x02);  // already enabled: no new interrupt
  EXPECT_EQ(reg_read8(U + 2) & 1, 1);
  uint8_t out[16];
  EXPECT_EQ(uart().tx_take(out, 16), 1u);
  EXPECT_EQ(iir(), 0x02);
}

TEST_F(UartTest, ReceiveTriggerAndTimeout) {
  reg_write8(U + 2, 0x81);  // trigger 8
  reg_write8(U + 1, 0x01);
  offer("1234567");
  EXPECT_EQ(iir(), 0x0C) << "below the trigger: character time-out";
  offer("8");
  EXPECT_EQ(iir(), 0x04);
}

TEST_F(UartTest, FifoHoldsSixteenAndTheRestWaitsOnTheLine) {
  reg_write8(U + 2, 0x01);
  offer(std::string(20, 'z'));
  EXPECT_EQ(uart().rx_level(), 16u);
  EXPECT_EQ(uart().rx_backlog(), 4u);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(reg_read8(U + 5) & 1) << i;
    EXPECT_EQ(reg_read8(U + 0), 'z');
  }
  EXPECT_FALSE(reg_read8(U + 5) & 1);
}

TEST_F(UartTest, TransmitterOverrunsPastItsDepth) {
  // FIFOs off: a one-byte holding register.
  reg_write8(U + 0, 'a');
  reg_write8(U + 0, 'b');
  EXPECT_EQ(uart().tx_overruns(), 1u);
  reg_write8(U + 2, 0x07);
  for (int i = 0; i < 17; ++i) reg_write8(U + 0, 'c');
  EXPECT_EQ(uart().tx_level(), 16u);
  EXPECT_EQ(uart().tx_overruns(), 2u);
}

TEST_F(UartTest, ModemDeltasAndTrailingEdgeOfRing) {
  reg_read8(U + 6);
  uart().set_ri(true);
  EXPECT_EQ(reg_read8(U + 6) & 0x4F, 0x40) << "a rising RI is no event";
  uart().set_ri(false);
  uart().set_dcd(false);
  EXPECT_EQ(reg_read8(U + 6) & 0xCF, 0x0C);
  EXPECT_EQ(reg_read8(U + 6) & 0x0F, 0x00) << "deltas clear on read";
}

TEST_F(UartTest, Out2GatesTheQuadChannelsInterrupt) {
  reg_write8(U + 1, 0x02);
  EXPECT_FALSE(uart().irq());
  EXPECT_EQ(board::epld().status() & 0x02, 0);
  reg_write8(U + 4, 0x08);
  EXPECT_TRUE(uart().irq());
  EXPECT_EQ(board::epld().status() & 0x02, 0x02);
}

TEST_F(UartTest, FarEndHoldsBackWhileRtsIsOffWhenItHonoursIt) {
  uart().set_honour_rts(true);
  offer("ab");
  EXPECT_EQ(uart().rx_level(), 0u);
  reg_write8(U + 4, 0x02);
  EXPECT_EQ(uart().rx_level(), 1u) << "one-byte holding register";
}

}  // namespace
