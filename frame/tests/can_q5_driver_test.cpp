// The CAN controller driver on the board models: a sensor bus, the hub and a
// device on top, test nodes on the controller's wire.
#include <memory>

#include "frame/board/board_regs.h"
#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "frame/can/can_device.h"
#include "frame/can/can_q5_driver.h"
#include "frame/tests/can_fixture.h"

namespace {

constexpr uint32_t RATE = 100000;
constexpr uint32_t BOARD = 0x42221;

// Stands in the driver's place at the controller and notes what the chip
// looked like when the interrupt service returned.
struct Watch : Interrupt {
  explicit Watch(CCANQ5Driver& d) : drv(d) {}
  void OnInterrupt() override {
    drv.OnInterrupt();
    ++runs;
    resets_after = board::can_chip().resets();
    pending_after = drv.Chip().ReconfigurePending();
  }
  CCANQ5Driver& drv;
  int runs = 0;
  uint32_t resets_after = 0;
  bool pending_after = false;
};

class Q5DriverTest : public CanTest {
 protected:
  void SetUp() override {
    CanTest::SetUp();
    Make();
  }
  void TearDown() override {
    dev.reset();
    core.reset();
    bus.reset();
    drv.reset();
    CanTest::TearDown();
  }
  void Make() {
    drv = std::make_unique<CCANQ5Driver>();
    bus = std::make_unique<sensor_bus>();
    core = std::make_unique<can_core>();
    dev = std::make_unique<can_device>();
    dev->set_name("DC IO");
    dev->set_bus_name("CAN Q5 Driver");
    dev->set_address(BOARD);
  }
  void Open() {
    uint32_t ok = 0;
    InThread([&] { ok = bus->open("CAN Q5 Driver", drv.get()); });
    ASSERT_EQ(ok, 1u);
    ASSERT_EQ(core->register_bus(bus.get()), 1u);
    ASSERT_EQ(core->register_device(dev.get()), 1u);
  }
  uint32_t Send(uint32_t id, std::vector<uint8_t> data) {
    uint32_t ok = 0;
    InThread([&] { ok = drv->Send(id, 0, static_cast<uint32_t>(data.size()), data.data(), 0); });
    return ok;
  }
  // Frames that arrive while the processor's interrupts are off.
  void ArriveTogether(WireNode& node, const std::vector<board::can_frame>& frames) {
    InThread([&] {
      UINT posture = tx_interrupt_control(TX_INT_DISABLE);
      for (const board::can_frame& f : frames) node.Send(f);
      tx_interrupt_control(posture);
    });
  }

  std::unique_ptr<CCANQ5Driver> drv;
  std::unique_ptr<sensor_bus> bus;
  std::unique_ptr<can_core> core;
  std::unique_ptr<can_device> dev;
};

TEST_F(Q5DriverTest, OpeningTheBusConfiguresTheChip) {
  Open();
  EXPECT_EQ(board::can_chip().mode(), board::can_controller_model::NORMAL);
  EXPECT_EQ(board::can_chip().bit_rate(), RATE);
  EXPECT_EQ(board::epld().reg(0x22) & 0x08, 0x08) << "the EPLD's CAN bit";
  EXPECT_EQ(Interrupt::Lookup(UIC_CAN), drv.get());
  rtos::cpu_scope scope;
  EXPECT_TRUE(mfdcr(UIC0_ER) & UIC_CAN);
}

TEST_F(Q5DriverTest, NothingTouchesTheChipWhileTheEpldIsNotProgrammed) {
  CCANQ5Driver::SetEpldReadyQuery([]() -> uint32_t { return 0; });
  VerboseCapture cap;
  uint32_t ok = 1;
  InThread([&] { ok = drv->Initialize(0, 1, 100); });
  EXPECT_EQ(ok, 0u);
  EXPECT_EQ(Send(0x42221, {2, 1, 1}), 0u);
  EXPECT_EQ(cap.text(), "CCANQ5Driver::Initialize: epld not programmed\n"
                        "CCANQ5Driver::Initialize: epld not programmed\n");
  EXPECT_EQ(board::can_chip().instructions(), 0u);
  EXPECT_EQ(drv->m_packetsSent, 0u);
  CCANQ5Driver::SetEpldReadyQuery(nullptr);
}

TEST_F(Q5DriverTest, FramesGoOutAndAnswersReachTheDevice) {
  WireNode node(board::q5_wire(), RATE);
  Open();
  uint32_t start = tx_time_get();
  EXPECT_EQ(Send(BOARD, {0x02, 0x01, 0x01, 0, 0, 0, 0, 0}), 1u);
  EXPECT_EQ(tx_time_get() - start, 2u) << "a send rests 2 ticks";
  ASSERT_EQ(node.heard.size(), 1u);
  EXPECT_EQ(node.heard[0], board::make_frame(BOARD, true, {0x02, 0x01, 0x01, 0, 0, 0, 0, 0}));
  EXPECT_EQ(drv->m_packetsSent, 1u);

  node.Send(board::make_frame(BOARD + 128, true, {0x42, 1, 1, 0, 0, 1, 2, 0}));
  can_packet p;
  ASSERT_EQ(dev->read(&p), 1u);
  EXPECT_EQ(p.id, BOARD + 128);
  EXPECT_EQ(p.data[6], 2);
  EXPECT_EQ(drv->m_packetsReceived, 1u);
  EXPECT_EQ(bus->m_packetsDelivered, 1u);

  // Outside the sensor range the bus lets it pass.
  node.Send(board::make_frame(0x5B081, true, {1}));
  EXPECT_EQ(drv->m_packetsReceived, 2u);
  EXPECT_EQ(bus->m_packetsDelivered, 1u);
  EXPECT_EQ(dev->read(&p), 0u);
}

TEST_F(Q5DriverTest, OneInterruptServesBothReceiveBuffers) {
  WireNode node(board::q5_wire(), RATE);
  Open();
  // A standard frame takes buffer 0, an extended one buffer 1; the line
  // falls once.
  ArriveTogether(node, {board::make_frame(0x123, false, {1}), board::make_frame(BOARD + 128, true, {2})});
  EXPECT_EQ(drv->m_packetsReceived, 2u);
  EXPECT_FALSE(board::can_chip().int_asserted());
  // And the line still works afterwards.
  node.Send(board::make_frame(BOARD + 128, true, {3}));
  EXPECT_EQ(drv->m_packetsReceived, 3u);
  EXPECT_EQ(dev->m_packetsReceived, 2u);
}

TEST_F(Q5DriverTest, RefusalsAreReported) {
  Open();
  EXPECT_EQ(Send(BOARD, {}), 0u) << "no data";
  EXPECT_EQ(Send(BOARD, {1, 2, 3, 4, 5, 6, 7, 8, 9}), 0u);
  // Nobody acknowledges: the chip turns error passive, and the next send
  // configures it again first.
  VerboseCapture cap;
  uint32_t resets = board::can_chip().resets();
  EXPECT_EQ(Send(BOARD, {1}), 1u) << "taken by the chip";
  EXPECT_EQ(board::can_chip().tec(), 128u);
  EXPECT_EQ(Send(BOARD, {2}), 1u);
  EXPECT_EQ(cap.text(), "reinitializing MCP2510 due to bus off state\n");
  EXPECT_EQ(board::can_chip().resets(), resets + 1);
  // A chip that does not answer refuses the frame.
  board::can_chip().set_absent(true);
  uint32_t sent = drv->m_packetsSent;
  EXPECT_EQ(Send(BOARD, {3}), 0u);
  EXPECT_EQ(drv->m_packetsSent, sent);
}

TEST_F(Q5DriverTest, RepeatedOverflowsReconfigureInAThread) {
  WireNode node(board::q5_wire(), RATE);
  Open();
  Watch watch(*drv);
  Interrupt::Register(UIC_CAN, &watch);
  uint32_t resets = board::can_chip().resets();
  board::can_frame f = board::make_frame(BOARD + 128, true, {1});
  for (int i = 1; i <= 6; ++i) {
    ArriveTogether(node, {f, f});  // the second overflows buffer 1
    ASSERT_EQ(drv->Chip().ErrorCount(), i);
    ASSERT_FALSE(watch.pending_after);
  }
  EXPECT_EQ(drv->m_packetsReceived, 0u) << "an overflowed buffer is dropped";
  ArriveTogether(node, {f, f});
  EXPECT_TRUE(watch.pending_after) << "the seventh asks for a reconfiguration";
  EXPECT_EQ(watch.resets_after, resets) << "but not inside the interrupt service";
  rtos::advance(20);
  EXPECT_EQ(board::can_chip().resets(), resets + 1);
  EXPECT_FALSE(drv->Chip().ReconfigurePending());
  EXPECT_EQ(board::can_chip().mode(), board::can_controller_model::NORMAL);
  {
    rtos::cpu_scope scope;
    EXPECT_TRUE(mfdcr(UIC0_ER) & UIC_CAN) << "the line is enabled again";
  }
  // A delivered frame ends the run of errors.
  node.Send(f);
  EXPECT_EQ(drv->m_packetsReceived, 1u);
  EXPECT_EQ(drv->Chip().ErrorCount(), 0);
}

TEST_F(Q5DriverTest, RepeatedEmptyInterruptsReconfigureInAThread) {
  Open();
  Watch watch(*drv);
  Interrupt::Register(UIC_CAN, &watch);
  uint32_t resets = board::can_chip().resets();
  auto spurious = [] {
    board::uic().force(UIC_CAN, true);
    board::uic().force(UIC_CAN, false);
  };
  for (int i = 1; i <= 4; ++i) {
    spurious();
    ASSERT_EQ(watch.runs, i);
    ASSERT_FALSE(watch.pending_after);
  }
  spurious();
  EXPECT_TRUE(watch.pending_after);
  EXPECT_EQ(watch.resets_after, resets);
  rtos::advance(20);
  EXPECT_EQ(board::can_chip().resets(), resets + 1);
  // Each further empty interrupt asks again.
  spurious();
  rtos::advance(20);
  EXPECT_EQ(board::can_chip().resets(), resets + 2);
}

}  // namespace
