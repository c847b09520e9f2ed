// Quad UART channels (ports 2-5) through the interrupt path: the EPLD line,
// the demultiplexer and the driver's service, against the 16550 models with
// an in-memory far end.
#include <memory>
#include <string>
#include <vector>

#include "frame/board/board_regs.h"
#include "frame/serial/q5_quad_serial_driver.h"
#include "frame/tests/board_fixture.h"
#include "frame/trace/trace.h"

namespace {

constexpr uint32_t INTERRUPTS = SERIAL_OPT_INTERRUPTS;

std::vector<uint32_t> g_events;
void record_event(void*, uint32_t event) { g_events.push_back(event); }

class QuadTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    Make();
    g_events.clear();
  }
  void TearDown() override {
    drv.reset();
    other.reset();
    BoardTest::TearDown();
  }
  void Make() {
    drv = std::make_unique<CQ5QuadSerialDriver>();
    other = std::make_unique<CQ5QuadSerialDriver>();
  }
  uint32_t Open(uint32_t options, uint32_t flow = 0, uint32_t ring = 2000, uint32_t baud = 9600) {
    return drv->Open(2, baud, 8, options, flow, ring);
  }
  board::serial_line& line() { return board::serial(2); }
  board::uart16550& uart() { return board::uart(2); }
  std::string ReadAll() {
    std::string s;
    uint32_t b;
    while (drv->ReadByte(&b)) s += static_cast<char>(b);
    return s;
  }

  std::unique_ptr<CQ5QuadSerialDriver> drv, other;
};

TEST_F(QuadTest, LoopbackThroughTheInterruptPath) {
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_RTS_LOW | SERIAL_OPT_DTR_LOW), 1u);
  EXPECT_EQ(Interrupt::Lookup(UIC_EPLD), drv.get());
  EXPECT_EQ(uart().ier(), 0x0D);
  EXPECT_TRUE(uart().out2());
  line().set_loopback(true);
  std::string text = "through the quad channel and back";
  EXPECT_EQ(drv->WriteString(text.c_str()), 1u);
  line().transmit_all();
  EXPECT_EQ(ReadAll(), text);
  uint32_t b = 0;
  EXPECT_EQ(drv->ReadByte(&b), 0u);
  EXPECT_EQ(b, 0xFFFFFFFFu);
  EXPECT_EQ(uart().ier() & 0x02, 0) << "transmit interrupt off once the ring ran empty";
}

TEST_F(QuadTest, AtMostFifteenBytesPerTransmitInterrupt) {
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_RTS_LOW), 1u);
  std::string text;
  for (int i = 0; i < 100; ++i) text += static_cast<char>('A' + i % 26);
  ASSERT_EQ(drv->WriteString(text.c_str()), 1u);
  // The first byte left at once; the transmitter is refilled each time the
  // far end has taken what it held.
  size_t left = 99;
  EXPECT_EQ(line().transmit(16), 1u);
  while (left) {
    size_t expect = left < 15 ? left : 15;
    ASSERT_EQ(uart().tx_level(), expect);
    EXPECT_EQ(line().transmit(16), expect);
    left -= expect;
  }
  EXPECT_EQ(line().received(), text);
  EXPECT_EQ(uart().tx_overruns(), 0u);
  EXPECT_LE(uart().tx_peak(), 15u);
}

TEST_F(QuadTest, ReceiveWaterMarksSwitchRts) {
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_DTR_HIGH, SERIAL_FLOW_HANDSHAKE), 1u);
  EXPECT_EQ(drv->FlowMode(), 4);
  EXPECT_TRUE(uart().rts());
  uart().set_honour_rts(true);
  std::string sent;
  for (int i = 0; i < 1700; ++i) sent += static_cast<char>(i * 7);
  // Driven from a task so that its masked sections really hold interrupts
  // back.
  std::string got;
  ASSERT_TRUE(rtos::run_in_thread([&] {
    line().send(sent.substr(0, 1499));
    EXPECT_TRUE(uart().rts());
    line().send(sent.substr(1499, 1));
    EXPECT_FALSE(uart().rts()) << "dropped at the 1500th byte";
    line().send(sent.substr(1500));
    EXPECT_EQ(drv->GetRxFree(), 500u) << "the far end holds back";
    uint32_t b;
    for (int i = 0; i < 999; ++i) {
      ASSERT_EQ(drv->ReadByte(&b), 1u);
      got += static_cast<char>(b);
    }
    EXPECT_FALSE(uart().rts()) << "501 bytes held";
    ASSERT_EQ(drv->ReadByte(&b), 1u);
    got += static_cast<char>(b);
    EXPECT_TRUE(uart().rts()) << "raised at 500";
    while (drv->ReadByte(&b)) got += static_cast<char>(b);
  }));
  EXPECT_EQ(got, sent);
}

TEST_F(QuadTest, CtsGatesTransmissionAndItsReturnResumes) {
  ASSERT_EQ(Open(INTERRUPTS, SERIAL_FLOW_HANDSHAKE), 1u);
  uart().set_cts(false);
  drv->WriteString("held");
  EXPECT_EQ(uart().tx_level(), 0u);
  uart().set_cts(true);  // modem status interrupt
  EXPECT_EQ(uart().tx_level(), 4u);
  line().transmit_all();
  EXPECT_EQ(line().received(), "held");
}

TEST_F(QuadTest, SwitchedRtsFramesEachBurstAndCarrierGatesReception) {
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_RTS_SWITCHED), 1u);
  EXPECT_EQ(drv->FlowMode(), 2);
  EXPECT_FALSE(uart().rts());
  drv->WriteString("burst");
  EXPECT_TRUE(uart().rts());
  line().transmit_all();
  EXPECT_EQ(line().received(), "burst");
  EXPECT_FALSE(uart().rts()) << "dropped after the last character left";

  uart().set_dcd(false);
  line().send("lost");
  EXPECT_EQ(ReadAll(), "");
  uart().set_dcd(true);
  line().send("kept");
  EXPECT_EQ(ReadAll(), "kept");

  // Flow 2 argument: the same switching without the carrier rule.
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_RTS_SWITCHED, SERIAL_FLOW_NO_DCD), 1u);
  EXPECT_EQ(drv->FlowMode(), 5);
  uart().set_dcd(false);
  line().send("no carrier needed");
  EXPECT_EQ(ReadAll(), "no carrier needed");
}

TEST_F(QuadTest, ModemEventsReachTheOwner) {
  ASSERT_EQ(Open(INTERRUPTS), 1u);
  drv->SetModemCallback(nullptr, record_event);
  uart().set_dcd(false);
  EXPECT_EQ(g_events, (std::vector<uint32_t>{MODEM_EVENT_DISCONNECT}));
  g_events.clear();
  uart().set_dcd(true);  // carrier present and changed: reported by both tests
  EXPECT_EQ(g_events, (std::vector<uint32_t>{MODEM_EVENT_CONNECT, MODEM_EVENT_CONNECT}));
  g_events.clear();
  uart().set_ri(true);  // a rising ring is no modem event
  EXPECT_TRUE(g_events.empty());
  uart().set_ri(false);
  EXPECT_EQ(g_events, (std::vector<uint32_t>{MODEM_EVENT_CONNECT, MODEM_EVENT_RING}));
}

TEST_F(QuadTest, DivisorTableByBoardClock) {
  const struct {
    uint32_t baud;
    int32_t a, b;  // -1: left unchanged
  } rows[] = {
      {300, 3334, -1}, {1200, 834, 192}, {2400, 416, 96},  {4800, 208, 48},   {9600, 104, 24},
      {19200, 52, 12}, {28800, -1, 8},   {38400, 26, 6},   {56000, 18, -1},   {57600, -1, 4},
      {115200, -1, 2}, {128000, 8, -1},  {256000, 4, -1},  {512000, 2, -1},   {14400, 52, 12},
  };
  for (uint8_t id : {0, 5}) {
    board::board_config c;
    c.board_id = id;
    drv.reset();
    other.reset();
    Restart(c);
    Make();
    for (const auto& r : rows) {
      reg_write8(EPLD_QUAD_UART + UART_LCR, 0x80);  // a divisor that must survive a missing entry
      reg_write8(EPLD_QUAD_UART + UART_RBR, 0x21);
      reg_write8(EPLD_QUAD_UART + UART_IER, 0x43);
      ASSERT_EQ(Open(INTERRUPTS, 0, 2000, r.baud), 1u) << r.baud;
      int32_t want = id == 0 ? r.a : r.b;
      EXPECT_EQ(uart().divisor(), want < 0 ? 0x4321 : want) << "board " << int(id) << " baud " << r.baud;
      EXPECT_EQ(uart().lcr(), 0x03);
      EXPECT_EQ(quad_divisor(r.baud, id), want);
    }
    ASSERT_EQ(drv->SetBaudRate(38400), 1u);
    EXPECT_EQ(uart().divisor(), id == 0 ? 26 : 6);
    EXPECT_EQ(uart().lcr(), 0x03);
  }
}

TEST_F(QuadTest, DuplexAndFlowOptions) {
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_DTR_HIGH | SERIAL_OPT_RTS_LOW), 1u);
  EXPECT_TRUE(uart().dtr());
  EXPECT_FALSE(uart().rts());
  drv->WriteString("dtr up");
  line().transmit_all();
  EXPECT_TRUE(uart().dtr()) << "high while transmitting";
  EXPECT_FALSE(uart().rts()) << "held low";

  const struct {
    uint32_t options, flow;
    uint8_t mode;
    bool rts;
  } rows[] = {
      {SERIAL_OPT_RTS_LOW, 0, 0, false},
      {SERIAL_OPT_RTS_HIGH, 0, 1, true},
      {SERIAL_OPT_RTS_SWITCHED, 0, 2, false},
      {SERIAL_OPT_RTS_SWITCHED, SERIAL_FLOW_NO_DCD, 5, false},
      {SERIAL_OPT_RTS_TOGGLE, 0, 3, false},
      {0, 0, 3, false},
      {0, SERIAL_FLOW_HANDSHAKE, 4, true},
      {SERIAL_OPT_RTS_LOW | SERIAL_OPT_RTS_HIGH, 0, 0, false},  // tested in order
  };
  for (const auto& r : rows) {
    ASSERT_EQ(Open(INTERRUPTS | r.options, r.flow), 1u);
    EXPECT_EQ(drv->FlowMode(), r.mode) << std::hex << r.options;
    EXPECT_EQ(uart().rts(), r.rts) << std::hex << r.options;
  }
}

TEST_F(QuadTest, RefusedOptionFailsTheOpenWithDtrLow) {
  ASSERT_EQ(Open(INTERRUPTS | SERIAL_OPT_DTR_HIGH), 1u);
  EXPECT_TRUE(uart().dtr());
  EXPECT_EQ(Open(INTERRUPTS | SERIAL_OPT_REFUSED), 0u);
  EXPECT_FALSE(uart().dtr());
  EXPECT_EQ(drv->DuplexMode(), 1) << "left as it was";
}

TEST_F(QuadTest, LineStatusInterruptDoesNotHang) {
  ASSERT_EQ(Open(INTERRUPTS), 1u);
  uart().rx_line_error(0x10);  // a break; served by reading the line status
  EXPECT_EQ(reg_read8(EPLD_QUAD_UART + UART_IIR) & 0x01, 0x01);
  EXPECT_EQ(reg_read8(EPLD_INT_STATUS), 0);
  line().send("after");
  EXPECT_EQ(ReadAll(), "after");
}

TEST_F(QuadTest, AbsentChannelAndUnopenedPorts) {
  uint32_t b = 0;
  EXPECT_EQ(drv->ReadByte(&b), 0u);
  EXPECT_EQ(b, 0xFFFFFFFFu);
  EXPECT_EQ(drv->PutTxByte('x'), 0u);

  EXPECT_EQ(other->Open(7, 9600, 8, INTERRUPTS, 0, 100), 1u) << "beyond the quad UART";
  EXPECT_EQ(other->PutTxByte('x'), 0u);

  board::board_config c;
  c.epld_configured = false;
  drv.reset();
  other.reset();
  Restart(c);
  Make();
  trace_capture cap;
  EXPECT_EQ(Open(INTERRUPTS), 0u);
  EXPECT_EQ(drv->Registers(), 0u);
  EXPECT_EQ(drv->PutTxByte('x'), 0u);
  EXPECT_EQ(drv->GetDCD(), 0u);
  EXPECT_EQ(drv->GetCTS(), 0u);
  EXPECT_EQ(drv->ReadByte(&b), 0u);
  EXPECT_TRUE(cap.contains("EPLD Interrupt Error! Hardware Not Found! 0x00000001. \n"));
}

TEST_F(QuadTest, FullTransmitRingRefuses) {
  ASSERT_EQ(Open(INTERRUPTS, SERIAL_FLOW_HANDSHAKE, 8), 1u);
  uart().set_cts(false);  // nothing leaves
  for (int i = 0; i < 8; ++i) ASSERT_EQ(drv->PutTxByte('0' + i), 1u);
  EXPECT_EQ(drv->PutTxByte('8'), 0u);
  drv->Flush();
  EXPECT_EQ(drv->Write(reinterpret_cast<const uint8_t*>("0123456789"), 10), 0u) << "refused at the ninth byte";
  uart().set_cts(true);
  line().transmit_all();
  EXPECT_EQ(line().received(), "01234567");
}

struct RxCount {
  int calls = 0;
  uint32_t argument = 0;
};
void count_rx(void* context, uint32_t argument) {
  auto* c = static_cast<RxCount*>(context);
  ++c->calls;
  c->argument = argument;
}

TEST_F(QuadTest, ReceiveSideEffects) {
  TX_EVENT_FLAGS_GROUP group{};
  ASSERT_EQ(tx_event_flags_create(&group, "port"), TX_SUCCESS);
  ASSERT_EQ(Open(INTERRUPTS, 0, 4), 1u);
  drv->SetEventGroup(&group);
  RxCount rx;
  drv->SetRxCallback(count_rx, &rx, 0x40);
  drv->SetOptionByte(1);
  trace_set_level(1);
  {
    trace_capture cap;
    line().send("abcdef");
    EXPECT_EQ(cap.text(), "error quad serial queue full\nerror quad serial queue full\n");
  }
  trace_set_level(0);
  EXPECT_EQ(ReadAll(), "abcd");
  EXPECT_EQ(rx.calls, 6);
  EXPECT_EQ(rx.argument, 0x40u);
  EXPECT_EQ(group.current & SERIAL_EVENT_RX, SERIAL_EVENT_RX);
  EXPECT_EQ(drv->GetOptionByte(), 0) << "cleared by the receive interrupt";
  tx_event_flags_delete(&group);
}

TEST_F(QuadTest, PolledOpenSwitchesTheEpldLineOff) {
  ASSERT_EQ(other->Open(3, 9600, 8, INTERRUPTS, 0, 100), 1u);
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_EPLD, UIC_EPLD);
  ASSERT_EQ(Open(0), 1u);
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_EPLD, 0u);
  EXPECT_EQ(uart().ier(), 0);
}

}  // namespace
