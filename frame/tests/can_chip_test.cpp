// The SPI port driver and the CAN controller driver against the board's
// SPI port and controller models, with test nodes on the controller's wire.
#include <cstring>
#include <string>

#include "frame/board/board_regs.h"
#include "frame/can/mcp2510.h"
#include "frame/tests/can_fixture.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t RATE = 100000;  // bit-timing index 6

// Serves the chip's interrupt as a driver would: until no flag is left.
struct ChipService : Interrupt {
  explicit ChipService(CMCP2510& c) : chip(c) {}
  void OnInterrupt() override {
    for (int n = 0; n < 32; ++n) {
      can_packet p;
      uint8_t remote = 0;
      if (chip.Receive(&p.id, &remote, &p.length, p.data)) frames.push_back(p);
      if (!chip.PendingFlags()) break;
    }
  }
  CMCP2510& chip;
  std::vector<can_packet> frames;
};

class ChipTest : public CanTest {
 protected:
  board::can_controller_model& model() { return board::can_chip(); }
  void Configure(uint8_t extended = 1, uint32_t queueBytes = 1, uint8_t* storage = nullptr) {
    uint32_t ok = 0;
    InThread([&] { ok = chip.Configure(extended, 6, queueBytes, storage); });
    ASSERT_EQ(ok, 1u);
  }
  uint32_t Send(uint32_t id, std::vector<uint8_t> data, uint32_t remote = 0) {
    rtos::cpu_scope scope;
    return chip.Send(id, remote, static_cast<uint32_t>(data.size()), data.data());
  }
  CMCP2510 chip;
};

TEST_F(ChipTest, BitTimingTable) {
  rtos::cpu_scope scope;
  chip.SetBitTiming(2);
  EXPECT_EQ(model().reg(0x2A), 0x03);
  EXPECT_EQ(model().reg(0x29), 0x90);
  EXPECT_EQ(model().reg(0x28), 0x02);
  chip.SetBitTiming(9);
  EXPECT_EQ(model().reg(0x2A), 0x03) << "an unknown index writes nothing";
  const uint32_t rates[] = {500000, 400000, 250000, 200000, 160000, 125000, 100000, 80000, 50000};
  for (uint8_t i = 0; i < 9; ++i) {
    chip.SetBitTiming(i);
    EXPECT_EQ(model().bit_rate(), rates[i]) << "index " << int(i);
  }
}

TEST_F(ChipTest, ConfigureLeavesTheChipInNormalModeWithItsInterruptEnabled) {
  Configure();
  EXPECT_EQ(model().mode(), board::can_controller_model::NORMAL);
  EXPECT_EQ(model().bit_rate(), RATE);
  EXPECT_EQ(model().reg(0x2B), 0x03);
  EXPECT_EQ(model().reg(0x60), 0x04);
  EXPECT_EQ(model().reg(0x30), 0x03);
  EXPECT_EQ(model().reg(0x0B), 0xFF);
  EXPECT_EQ(model().reg(0x1B), 0xFF);
  EXPECT_EQ(model().reg(0x20), 0x00);
  EXPECT_EQ(chip.Initialized(), 1);
  EXPECT_EQ(chip.Queued(), 1);
  EXPECT_EQ(chip.QueueCapacity(), 0) << "one byte without storage is no queue";
  rtos::cpu_scope scope;
  EXPECT_TRUE(mfdcr(UIC0_ER) & UIC_CAN);
  EXPECT_TRUE(mfdcr(UIC0_TR) & UIC_CAN);
  EXPECT_FALSE(mfdcr(UIC0_PR) & UIC_CAN);
}

TEST_F(ChipTest, QueueStorageDecidesTheQueue) {
  struct row {
    uint32_t bytes;
    bool storage;
    int32_t capacity;
    uint8_t inte;
  };
  const row rows[] = {
      {100, true, 7, 0x07},  // 13 bytes an entry
      {39, true, 0, 0x03},   // too small to be a queue
      {100, false, 0, 0x03}, // no storage
      {40, true, 3, 0x07},   // a queue, but below four entries the buffers are used directly
  };
  uint8_t storage[128];
  for (const row& r : rows) {
    Configure(1, r.bytes, r.storage ? storage : nullptr);
    EXPECT_EQ(chip.QueueCapacity(), r.capacity) << r.bytes;
    EXPECT_EQ(model().reg(0x2B), r.inte) << r.bytes;
  }
}

TEST_F(ChipTest, ConfigurationModeNeverReached) {
  Configure();
  model().set_absent(true);
  trace_capture cap;
  uint32_t ok = 1, start = tx_time_get();
  InThread([&] { ok = chip.Configure(1, 6, 1, nullptr); });
  EXPECT_EQ(ok, 0u);
  EXPECT_EQ(tx_time_get() - start, 500u) << "50 polls, 10 ticks apart";
  EXPECT_EQ(cap.text(), "failed to reach configuration mode\n");
  EXPECT_EQ(chip.Initialized(), 1) << "unchanged";
  rtos::cpu_scope scope;
  EXPECT_FALSE(mfdcr(UIC0_ER) & UIC_CAN);
}

TEST_F(ChipTest, SpiTimeOutResetsThePort) {
  trace_capture cap;
  board::cpld().set_spi_stuck(true);
  {
    rtos::cpu_scope scope;
    chip.WriteRegister(0x2A, 0x01);
  }
  EXPECT_EQ(cap.text(), "SPI Write Error\nSPI Write Error\nSPI Write Error\n");
  EXPECT_EQ(board::cpld().spi_resets(), 3u);
  board::cpld().set_spi_stuck(false);
  rtos::cpu_scope scope;
  chip.WriteRegister(0x2A, 0x01);
  EXPECT_EQ(model().reg(0x2A), 0x01);
}

TEST_F(ChipTest, IdentifiersArePackedAndSentAsGiven) {
  WireNode node(board::q5_wire(), RATE);
  Configure(1);
  ASSERT_EQ(Send(0x5B001, {1, 2, 3, 4, 5, 6, 7, 8}), 1u);
  EXPECT_EQ(model().reg(0x31), 0x00);
  EXPECT_EQ(model().reg(0x32), 0x29);
  EXPECT_EQ(model().reg(0x33), 0xB0);
  EXPECT_EQ(model().reg(0x34), 0x01);
  EXPECT_EQ(model().reg(0x35), 0x08);
  ASSERT_EQ(node.heard.size(), 1u);
  EXPECT_EQ(node.heard[0], board::make_frame(0x5B001, true, {1, 2, 3, 4, 5, 6, 7, 8}));
  // Only the frame's own bytes are taken; a remote frame carries its flag.
  ASSERT_EQ(Send(0x1FFFFFFF, {}, 1), 1u);
  EXPECT_TRUE(node.heard.back().extended && node.heard.back().remote);
  EXPECT_EQ(node.heard.back().id, 0x1FFFFFFFu);
  EXPECT_EQ(Send(0x42100, {1, 2, 3, 4, 5, 6, 7, 8, 9}), 0u) << "nine bytes";

  Configure(0);
  ASSERT_EQ(Send(0x21, {9}), 1u);
  EXPECT_EQ(model().reg(0x31), 0x04);
  EXPECT_EQ(model().reg(0x32), 0x20);
  EXPECT_EQ(node.heard.back(), board::make_frame(0x21, false, {9}));
}

TEST_F(ChipTest, ReceivedIdentifiersRoundTrip) {
  WireNode node(board::q5_wire(), RATE);
  Configure();
  ChipService service(chip);
  Interrupt::Register(UIC_CAN, &service);
  struct row {
    uint32_t id;
    bool extended, remote;
  };
  const row rows[] = {{0x5B001, true, false}, {0x1FFFFFFF, true, false}, {0x42181, true, true},
                      {0x7FF, false, false},  {0x000, false, true},      {0x421, false, false}};
  for (const row& r : rows) {
    board::can_frame f = board::make_frame(r.id, r.extended, {0xA5, 0x5A, 3});
    f.remote = r.remote;
    node.Send(f);
  }
  ASSERT_EQ(service.frames.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    const can_packet& p = service.frames[i];
    EXPECT_EQ(p.id, rows[i].id) << i;
    EXPECT_EQ(p.length, 3);
    EXPECT_EQ(p.data[0], 0xA5);
  }
  // A data length code above 8 still gives 8 bytes.
  board::can_frame big = board::make_frame(0x42181, true, {1, 2, 3, 4, 5, 6, 7, 8});
  big.dlc = 15;
  node.Send(big);
  ASSERT_EQ(service.frames.size(), 7u);
  EXPECT_EQ(service.frames.back().length, 8);
  EXPECT_EQ(chip.ErrorCount(), 0);
  Interrupt::Unregister(UIC_CAN);
}

TEST_F(ChipTest, AllBuffersBusyWithoutAQueue) {
  Configure();  // nobody acknowledges: every request stays pending
  EXPECT_EQ(Send(0x42100, {1}), 1u);
  EXPECT_EQ(Send(0x42101, {2}), 1u);
  EXPECT_EQ(Send(0x42102, {3}), 1u);
  EXPECT_EQ(Send(0x42103, {4}), 0u);
  EXPECT_EQ(model().pending_buffer_writes(), 0u);
}

TEST_F(ChipTest, QueueFeedsBufferZeroInOrderFromTheInterrupt) {
  uint8_t storage[100];
  Configure(1, sizeof storage, storage);
  ASSERT_EQ(chip.QueueCapacity(), 7);
  ChipService service(chip);
  Interrupt::Register(UIC_CAN, &service);

  // Nobody acknowledges yet: the first frame waits in buffer 0, the rest in
  // the queue, and a full queue refuses without touching the busy buffer.
  for (uint32_t i = 0; i < 7; ++i) ASSERT_EQ(Send(0x42100 + i, {static_cast<uint8_t>(i)}), 1u) << i;
  EXPECT_EQ(Send(0x42107, {7}), 0u);
  EXPECT_EQ(chip.QueueWrite(), 7);
  EXPECT_EQ(model().pending_buffer_writes(), 0u);

  WireNode node(board::q5_wire(), RATE);
  {
    rtos::cpu_scope scope;
    chip.ReadStatus();  // the chip retries at the end of an instruction
  }
  ASSERT_EQ(node.heard.size(), 7u);
  for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(node.heard[i].id, 0x42100 + i);
  EXPECT_EQ(chip.QueueRead(), 0);
  EXPECT_EQ(chip.QueueWrite(), 0);
  EXPECT_EQ(model().pending_buffer_writes(), 0u);

  // An idle queue sends at once again.
  EXPECT_EQ(Send(0x42200, {1}), 1u);
  EXPECT_EQ(node.heard.back().id, 0x42200u);
  Interrupt::Unregister(UIC_CAN);
}

}  // namespace
