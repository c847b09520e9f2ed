// The interrupt controller's dispatcher and the EPLD demultiplexer against
// the board models.
#include <string>
#include <vector>

#include "frame/board/board_regs.h"
#include "frame/board/interrupt.h"
#include "frame/tests/board_fixture.h"
#include "frame/trace/trace.h"

namespace {

std::vector<std::string> g_log;

// A device behind a forced, edge-triggered controller line; it records the
// controller status it sees while being served.
struct Probe : Interrupt {
  explicit Probe(std::string n, uint32_t b) : name(std::move(n)), bit(b) {}
  void OnInterrupt() override {
    g_log.push_back(name + ((mfdcr(UIC0_SR) & bit) ? " unacknowledged" : " acknowledged"));
  }
  std::string name;
  uint32_t bit;
};

struct Source : CEpldInterrupt {
  explicit Source(std::string n, unsigned k) : name(std::move(n)), source(k) {}
  void OnEpldInterrupt() override {
    g_log.push_back(name);
    board::epld().set_fifo_pending(false);
    uint32_t ch = EPLD_QUAD_UART + 8 * source;
    if (source < 4) reg_write8(ch + UART_IER, 0);
  }
  std::string name;
  unsigned source;
};

void ethernet_tx_done() { g_log.push_back("ethernet tx done"); }

class InterruptTest : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    g_log.clear();
  }
  void TearDown() override {
    for (unsigned i = 0; i < 6; ++i) interrupt_set_ethernet_service(i, nullptr);
    BoardTest::TearDown();
  }
  // Makes a quad channel's transmit-empty interrupt pending (OUT2 on).
  void PendChannel(unsigned k) {
    uint32_t ch = EPLD_QUAD_UART + 8 * k;
    reg_write8(ch + UART_MCR, 0x08);
    reg_write8(ch + UART_IER, 0x02);
  }
};

TEST_F(InterruptTest, TableTakesTheLowestSetBit) {
  Probe a("a", 0x20);
  Interrupt::Register(0x60, &a);
  EXPECT_EQ(Interrupt::Lookup(0x20), &a);
  EXPECT_EQ(Interrupt::Lookup(0x40), nullptr);
  EXPECT_EQ(Interrupt::Lookup(0xE0), &a);
  EXPECT_EQ(Interrupt::Lookup(0), nullptr);
  Interrupt::Unregister(0);
  EXPECT_EQ(Interrupt::Lookup(0x20), &a);
  Interrupt::Unregister(0x20);
  EXPECT_EQ(Interrupt::Lookup(0x20), nullptr);

  trace_capture cap;
  Interrupt::Register(0, &a);
  Interrupt::Register(0x10, nullptr);
  EXPECT_EQ(cap.text(), "registering isr:0x00000000 failed\nregistering isr:0x00000010 failed\n");
  EXPECT_EQ(Interrupt::Lookup(0x10), nullptr);
}

TEST_F(InterruptTest, ServesLowBitsFirstAndAcknowledgesAfterEachHandler) {
  Probe can("can", 0x04), epld("epld", 0x20), uart0("uart0", 0x80000000);
  Interrupt::Register(0x80000000, &uart0);
  Interrupt::Register(0x20, &epld);
  Interrupt::Register(0x04, &can);
  interrupt_set_ethernet_service(1, ethernet_tx_done);
  uint32_t lines = 0x80000000 | 0x20 | 0x04 | 0x00100000 | 0x100;  // 0x100: nobody's
  uint32_t count = g_interrupt_count, ethernet = g_ethernet_interrupt_count;
  g_ethernet_activity = 0;
  mtdcr(UIC0_TR, lines);
  board::uic().force(lines, true);
  mtdcr(UIC0_ER, lines);  // delivered here
  EXPECT_EQ(g_log, (std::vector<std::string>{"ethernet tx done", "can unacknowledged", "epld unacknowledged",
                                             "uart0 unacknowledged"}));
  EXPECT_EQ(mfdcr(UIC0_SR) & lines, 0u);
  EXPECT_EQ(mfdcr(UIC0_ER), lines) << "edge sources are not switched off";
  EXPECT_EQ(g_interrupt_count - count, 5u);
  EXPECT_EQ(g_ethernet_interrupt_count - ethernet, 1u);
  EXPECT_EQ(g_ethernet_activity, 1);
}

TEST_F(InterruptTest, LevelSourceWithoutHandlerIsSwitchedOff) {
  Probe keep("keep", 0x01);  // installs the vector
  trace_capture cap;
  board::uic().force(0x100, true);  // level, held for ever
  mtdcr(UIC0_ER, 0x100);
  EXPECT_EQ(mfdcr(UIC0_ER) & 0x100, 0u);
  EXPECT_TRUE(cap.contains("unserved isr:0x00000100 disabled\n"));
}

TEST_F(InterruptTest, EpldSourcesShareTheLineThroughTheFirstRegistered) {
  Source one("source 1", 1), four("source 4", 4);
  CEpldInterrupt::Register(0x02, &one);
  CEpldInterrupt::Register(0x10, &four);
  EXPECT_EQ(Interrupt::Lookup(UIC_EPLD), &one);
  EXPECT_EQ(mfdcr(CPC0_CR0) & CPC0_CR0_IRQ1_GPIO, 0u);
  EXPECT_EQ(reg_read32(GPIO0_TCR) & GPIO0_TCR_IRQ1, 0u);
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_EPLD, UIC_EPLD);
  EXPECT_EQ(mfdcr(UIC0_PR) & UIC_EPLD, UIC_EPLD);
  EXPECT_EQ(mfdcr(UIC0_TR) & UIC_EPLD, 0u);

  reg_write8(EPLD_FIFO_CONTROL, 0x80);
  PendChannel(1);
  board::epld().set_fifo_pending(true);
  EXPECT_EQ(g_log, (std::vector<std::string>{"source 1", "source 4"}));
  EXPECT_EQ(reg_read8(EPLD_INT_STATUS), 0);
}

TEST_F(InterruptTest, MissingEpldRegistersNothing) {
  board::board_config c;
  c.epld_configured = false;
  Restart(c);
  Source one("source 1", 1);
  trace_capture cap;
  CEpldInterrupt::Register(0x02, &one);
  EXPECT_EQ(cap.text(), "EPLD Interrupt Error! Hardware Not Found! 0x00000002. \n");
  EXPECT_EQ(Interrupt::Lookup(UIC_EPLD), nullptr);
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_EPLD, 0u);
}

TEST_F(InterruptTest, UnknownSourcesAreSwitchedOff) {
  Source zero("source 0", 0);
  CEpldInterrupt::Register(0x01, &zero);
  // Channel 2 pending without a handler, caught with its divisor latch
  // open: switching it off must not write the divisor.
  mtdcr(UIC0_ER, mfdcr(UIC0_ER) & ~UIC_EPLD);
  PendChannel(2);
  reg_write8(EPLD_QUAD_UART + 16 + UART_LCR, 0x83);
  trace_capture cap;
  mtdcr(UIC0_ER, mfdcr(UIC0_ER) | UIC_EPLD);
  EXPECT_EQ(cap.text(), "unknown epld interrupt 0x00000004\n");
  EXPECT_EQ(reg_read8(EPLD_QUAD_UART + 16 + UART_LCR), 0x03);
  EXPECT_EQ(reg_read8(EPLD_QUAD_UART + 16 + UART_IER), 0);
  EXPECT_EQ(board::uart(4).divisor(), 0);
  cap.clear();
  reg_write8(EPLD_FIFO_CONTROL, 0x81);
  board::epld().set_fifo_pending(true);
  EXPECT_EQ(cap.text(), "unknown epld interrupt 0x00000010\n");
  EXPECT_EQ(reg_read8(EPLD_FIFO_CONTROL), 0x01);
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_EPLD, UIC_EPLD) << "the line stays on";
  EXPECT_TRUE(g_log.empty());
}

TEST_F(InterruptTest, SourceThatCannotBeSwitchedOffEndsWithTheLineOff) {
  Source zero("source 0", 0);
  CEpldInterrupt::Register(0x01, &zero);
  trace_capture cap;
  board::epld().set_extra_sources(0x20);  // returns only because the loop ends
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_EPLD, 0u);
  EXPECT_TRUE(cap.contains("unknown epld interrupt 0x00000020\n"));
  EXPECT_TRUE(cap.contains("epld interrupt 0x00000020 cannot be switched off, line disabled\n"));
}

TEST_F(InterruptTest, DestroyedSourceHandsTheLineOn) {
  auto one = std::make_unique<Source>("source 1", 1);
  Source four("source 4", 4);
  CEpldInterrupt::Register(0x02, one.get());
  CEpldInterrupt::Register(0x10, &four);
  one.reset();
  EXPECT_EQ(Interrupt::Lookup(UIC_EPLD), &four);
  reg_write8(EPLD_FIFO_CONTROL, 0x80);
  board::epld().set_fifo_pending(true);
  EXPECT_EQ(g_log, (std::vector<std::string>{"source 4"}));
}

}  // namespace
