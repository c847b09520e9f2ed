// The SPI port of the board logic and the CAN controller behind it, driven
// through the registers as the system's drivers drive them, against a wire
// with test nodes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "board_host.h"
#include "board_io.h"

namespace {

constexpr uint32_t CTRL = 0xF0200002;
constexpr uint32_t STATUS = 0xF0200004;

// A node that acknowledges at its rate and records what it hears.
struct Listener : board::can_wire::node {
  Listener(board::can_wire& w, uint32_t r) : wire(w), rate(r) { wire.attach(this); }
  ~Listener() override { wire.detach(this); }
  bool acknowledges(uint32_t r) override { return r == 0 || r == rate; }
  void on_frame(const board::can_frame& f, uint32_t r) override {
    if (r == rate) heard.push_back(f);
  }
  board::can_wire& wire;
  uint32_t rate;
  std::vector<board::can_frame> heard;
};

class CanControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { board::reset(); }
  void TearDown() override { board::shutdown(); }

  board::can_controller_model& chip() { return board::can_chip(); }

  // One instruction on device 0; the bytes shifted in.
  std::vector<uint8_t> spi(std::initializer_list<uint8_t> out) {
    std::vector<uint8_t> in;
    for (uint8_t b : out) {
      reg_write16(CTRL, b);
      reg_write16(CTRL, 0x800 | b);
      EXPECT_TRUE(reg_read16(STATUS) & 0x100);
      in.push_back(reg_read16(STATUS) & 0xFF);
      reg_write16(CTRL, b);
    }
    reg_write16(CTRL, 0x200);
    return in;
  }
  uint8_t read(uint8_t reg) { return spi({0x03, reg, 0x00})[2]; }
  void write(uint8_t reg, uint8_t v) { spi({0x02, reg, v}); }
  void modify(uint8_t reg, uint8_t mask, uint8_t v) { spi({0x05, reg, mask, v}); }
  uint8_t status() { return spi({0xA0, 0x00})[1]; }

  // 100 kbit/s at 16 MHz, every frame accepted, normal mode.
  void Configure(uint8_t inte = 0x03) {
    spi({0xC0});
    write(0x2A, 0x09);
    write(0x29, 0x90);
    write(0x28, 0x02);
    for (uint8_t r = 0x20; r < 0x28; ++r) write(r, 0x00);
    for (uint8_t r : {0x08, 0x09, 0x0A, 0x0B}) write(r, 0xFF);
    for (uint8_t r = 0x10; r < 0x1C; ++r) write(r, 0xFF);
    write(0x0F, 0x0F);
    write(0x2B, inte);
    write(0x60, 0x04);
  }
  // Loads transmit buffer 0 with a 29-bit frame and requests it.
  void Load(uint32_t id, std::initializer_list<uint8_t> data, uint8_t buffer = 0) {
    uint8_t base = static_cast<uint8_t>(0x30 + 0x10 * buffer);
    write(base + 1, static_cast<uint8_t>(id >> 21));
    write(base + 2, static_cast<uint8_t>(((id >> 13) & 0xE0) | 0x08 | ((id >> 16) & 3)));
    write(base + 3, static_cast<uint8_t>(id >> 8));
    write(base + 4, static_cast<uint8_t>(id));
    write(base + 5, static_cast<uint8_t>(data.size()));
    uint8_t i = 0;
    for (uint8_t b : data) write(base + 6 + i++, b);
    modify(base, 0x08, 0xFF);
  }
};

TEST_F(CanControllerTest, SpiPortTransfersSelectsAndFaults) {
  // Nothing selected: the input floats high.
  reg_write16(CTRL, 0x200 | 0x12);
  reg_write16(CTRL, 0xA00 | 0x12);
  EXPECT_EQ(reg_read16(STATUS) & 0x1FF, 0x1FF);
  EXPECT_EQ(board::cpld().spi_control(), 0xA12);

  // A transfer starts on the rising start bit only.
  uint64_t before = board::cpld().spi_transfers();
  reg_write16(CTRL, 0x000 | 0xA0);
  reg_write16(CTRL, 0x800 | 0xA0);
  reg_write16(CTRL, 0x800 | 0xA0);
  EXPECT_EQ(board::cpld().spi_transfers(), before + 1);
  reg_write16(CTRL, 0x200);

  // Latency: done only after that many status reads.
  board::cpld().set_spi_latency(3);
  reg_write16(CTRL, 0x000);
  reg_write16(CTRL, 0x800);
  EXPECT_FALSE(reg_read16(STATUS) & 0x100);
  EXPECT_FALSE(reg_read16(STATUS) & 0x100);
  EXPECT_FALSE(reg_read16(STATUS) & 0x100);
  EXPECT_TRUE(reg_read16(STATUS) & 0x100);
  board::cpld().set_spi_latency(0);

  // Stuck: never done until the logic is reset.
  board::cpld().set_spi_stuck(true);
  reg_write16(CTRL, 0x000);
  reg_write16(CTRL, 0x800);
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(reg_read16(STATUS) & 0x100);
  reg_write16(CTRL, 0x1200);
  reg_write16(CTRL, 0x0200);
  EXPECT_TRUE(reg_read16(STATUS) & 0x100);
  EXPECT_EQ(board::cpld().spi_resets(), 1u);
  EXPECT_EQ((reg_read16(STATUS) >> 9) & 0x0F, 5) << "board id field unchanged";
}

TEST_F(CanControllerTest, ModesAndConfigurationOnlyRegisters) {
  EXPECT_EQ(read(0x0E), 0x80) << "configuration mode at power-up";
  EXPECT_EQ(read(0x0F), 0x87);
  EXPECT_EQ(read(0x3E), 0x80) << "CANSTAT at every xE";
  write(0x2A, 0x09);
  EXPECT_EQ(read(0x2A), 0x09);
  write(0x0F, 0x00);
  EXPECT_EQ(read(0x0E) & 0xE0, 0x00) << "normal mode";
  write(0x2A, 0x03);
  EXPECT_EQ(read(0x2A), 0x09) << "bit timing is written only in configuration mode";
  write(0x1C, 0x55);
  EXPECT_EQ(read(0x1C), 0x00) << "error counters are read-only";
  spi({0xC0});
  EXPECT_EQ(read(0x0E), 0x80);
  EXPECT_EQ(read(0x2A), 0x00) << "a reset clears the registers";
  EXPECT_EQ(chip().resets(), 1u);

  // A slow mode change shows after the given number of CANSTAT reads.
  chip().set_mode_delay(3);
  write(0x0F, 0x0F);
  EXPECT_EQ(read(0x0E) & 0xE0, 0x80);
  EXPECT_EQ(read(0x0E) & 0xE0, 0x80);
  EXPECT_EQ(read(0x0E) & 0xE0, 0x00);

  chip().set_absent(true);
  EXPECT_EQ(read(0x0E), 0xFF);
}

TEST_F(CanControllerTest, BitRateFollowsTheTimingRegisters) {
  struct row {
    uint8_t cnf1, cnf2;
    uint32_t rate;
  };
  const row rows[] = {{0x01, 0x90, 500000}, {0x01, 0xA0, 400000}, {0x03, 0x90, 250000},
                      {0x04, 0x90, 200000}, {0x04, 0xA0, 160000}, {0x07, 0x90, 125000},
                      {0x09, 0x90, 100000}, {0x09, 0xA0, 80000},  {0x13, 0x90, 50000}};
  write(0x28, 0x02);
  for (const row& r : rows) {
    write(0x2A, r.cnf1);
    write(0x29, r.cnf2);
    EXPECT_EQ(chip().bit_rate(), r.rate) << std::hex << int(r.cnf1) << " " << int(r.cnf2);
  }
}

TEST_F(CanControllerTest, SendsAcknowledgedFramesAndRaisesItsInterrupt) {
  Listener node(board::q5_wire(), 100000);
  Configure(0x07);
  mtdcr(0xC5, 0x04);  // edge-triggered controller input
  Load(0x5B001, {1, 2, 3});
  ASSERT_EQ(node.heard.size(), 1u);
  EXPECT_EQ(node.heard[0], board::make_frame(0x5B001, true, {1, 2, 3}));
  EXPECT_EQ(status() & 0x0C, 0x08) << "request done, TX0IF set";
  EXPECT_TRUE(chip().int_asserted());
  EXPECT_TRUE(board::uic().status() & 0x04) << "the falling output latched at the controller";
  modify(0x2C, 0x04, 0x00);
  EXPECT_FALSE(chip().int_asserted());

  // Standard identifiers and remote frames.
  write(0x31, 0x04);
  write(0x32, 0x20);  // identifier 0x21
  write(0x35, 0x40);  // remote, no data
  modify(0x30, 0x08, 0xFF);
  ASSERT_EQ(node.heard.size(), 2u);
  EXPECT_EQ(node.heard[1].id, 0x21u);
  EXPECT_FALSE(node.heard[1].extended);
  EXPECT_TRUE(node.heard[1].remote);
}

TEST_F(CanControllerTest, UnacknowledgedFramesTurnTheChipErrorPassive) {
  Configure();
  Load(0x42100, {7});
  EXPECT_EQ(chip().tec(), 128u);
  EXPECT_EQ(read(0x2D), 0x10 | 0x04 | 0x01) << "transmit error passive and warnings";
  EXPECT_EQ(read(0x30) & 0x18, 0x18) << "still requested, with its error flag";
  EXPECT_EQ(read(0x1C), 128);

  // A node joins: the next instruction's end sends the frame.
  Listener node(board::q5_wire(), 100000);
  status();
  ASSERT_EQ(node.heard.size(), 1u);
  EXPECT_EQ(read(0x30) & 0x08, 0);
  EXPECT_EQ(chip().tec(), 127u);

  // Bus-off stops the chip until a reset.
  chip().set_error_counters(256, 0);
  EXPECT_EQ(read(0x2D) & 0x20, 0x20);
  Load(0x42100, {8});
  EXPECT_EQ(node.heard.size(), 1u);
  spi({0xC0});
  EXPECT_EQ(read(0x2D), 0x00);
  EXPECT_FALSE(chip().bus_off());
}

TEST_F(CanControllerTest, ReceiveBuffersFiltersRolloverAndOverflow) {
  Listener sender(board::q5_wire(), 100000);
  Configure();
  auto send = [&](const board::can_frame& f) { board::q5_wire().transmit(&sender, f, 100000); };

  // Filters 2-5 of 0xFF take extended frames into buffer 1.
  send(board::make_frame(0x42101 + 128, true, {0x42, 1, 1, 0, 0, 1, 2, 0}));
  EXPECT_EQ(status() & 0x03, 0x02);
  std::vector<uint8_t> rx = spi({0x03, 0x71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(rx[2], 0x42181 >> 21);
  EXPECT_EQ(rx[3], ((0x42181 >> 13) & 0xE0) | 0x08 | ((0x42181 >> 16) & 3));
  EXPECT_EQ(rx[4], (0x42181 >> 8) & 0xFF);
  EXPECT_EQ(rx[5], 0x81);
  EXPECT_EQ(rx[6], 8);
  EXPECT_EQ(rx[7], 0x42);
  EXPECT_TRUE(chip().int_asserted());

  // A second one while buffer 1 is full is lost and flagged.
  send(board::make_frame(0x42181, true, {1}));
  EXPECT_EQ(read(0x2D) & 0x80, 0x80);
  EXPECT_EQ(read(0x2C) & 0x20, 0x20) << "error flag";
  EXPECT_EQ(chip().frames_lost(), 1u);
  modify(0x2D, 0x80, 0x00);
  modify(0x2C, 0x22, 0x00);
  EXPECT_EQ(read(0x2D), 0x00);

  // Standard frames go to buffer 0 and roll over into buffer 1.
  send(board::make_frame(0x100, false, {1}));
  send(board::make_frame(0x101, false, {2}));
  EXPECT_EQ(status() & 0x03, 0x03);
  EXPECT_EQ(read(0x61), 0x100 >> 3);
  EXPECT_EQ(read(0x71), 0x101 >> 3);
  EXPECT_EQ(read(0x72), (0x101 & 7) << 5);

  // A sender at another rate is neither heard nor acknowledges.
  modify(0x2C, 0x03, 0x00);
  Listener fast(board::q5_wire(), 250000);
  board::q5_wire().transmit(&fast, board::make_frame(0x100, false, {3}), 250000);
  EXPECT_EQ(status() & 0x03, 0x00);
}

TEST_F(CanControllerTest, PendingTransmitBufferIsLocked) {
  Configure();  // nobody acknowledges: the request stays pending
  Load(0x42100, {1});
  ASSERT_EQ(read(0x30) & 0x08, 0x08);
  write(0x36, 0x99);
  EXPECT_EQ(read(0x36), 1) << "writes to a pending buffer are ignored";
  EXPECT_EQ(chip().pending_buffer_writes(), 1u);
}

}  // namespace
