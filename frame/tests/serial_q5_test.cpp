// Processor UARTs (ports 0 and 1) through the interrupt controller.
#include <memory>
#include <string>

#include "frame/board/board_regs.h"
#include "frame/serial/q5_quad_serial_driver.h"
#include "frame/serial/q5_serial_driver.h"
#include "frame/tests/board_fixture.h"

namespace {

class Q5Test : public BoardTest {
 protected:
  void SetUp() override {
    BoardTest::SetUp();
    drv = std::make_unique<CQ5SerialDriver>();
  }
  void TearDown() override {
    drv.reset();
    BoardTest::TearDown();
  }
  std::string ReadAll() {
    std::string s;
    uint32_t b;
    while (drv->ReadByte(&b)) s += static_cast<char>(b);
    return s;
  }
  std::unique_ptr<CQ5SerialDriver> drv;
};

TEST_F(Q5Test, ConsolePortLoopsBackThroughTheController) {
  // The console's open: port 1, 19200 baud, options 0x1121, rings of 2000.
  ASSERT_EQ(drv->Open(1, 19200, 8, 0x1121, 0, 2000), 1u);
  EXPECT_EQ(Interrupt::Lookup(UIC_UART1), drv.get());
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_UART1, UIC_UART1);
  EXPECT_EQ(board::uart(1).divisor(), board::UART_CLOCK / (16 * 19200));
  EXPECT_EQ(board::uart(1).ier() & 0x09, 0x09) << "received data and modem status";
  EXPECT_FALSE(board::uart(1).rts());
  EXPECT_FALSE(board::uart(1).dtr());

  board::serial(1).set_loopback(true);
  ASSERT_EQ(drv->WriteString("console line\r\n"), 1u);
  board::serial(1).transmit_all();
  EXPECT_EQ(ReadAll(), "console line\r\n");
  EXPECT_LE(board::uart(1).tx_peak(), 15u);
  EXPECT_EQ(board::uart(1).tx_overruns(), 0u);

  ASSERT_EQ(drv->SetBaudRate(9600), 1u);
  EXPECT_EQ(board::uart(1).divisor(), board::UART_CLOCK / (16 * 9600));
}

TEST_F(Q5Test, PortZeroWritesItsOwnLineControl) {
  const struct {
    uint32_t bits, options;
    uint8_t lcr;
  } rows[] = {
      {8, 0x0003, 0x03},           // no parity, one stop
      {7, 0x0002, 0x1A},           // even parity
      {8, 0x0043, 0x07},           // two stop bits
      {8, 0x0063, 0x03},           // ... unless one stop is asked too
      {5, 0x0083, 0x04},
      {6, 0x0003, 0x01},
      {9, 0x0003, 0x03},           // any other count: 8
      {7, 0x0001, 0x02},           // without 0x0002 service 53's frame stays
  };
  for (const auto& r : rows) {
    ASSERT_EQ(drv->Open(0, 9600, r.bits, SERIAL_OPT_INTERRUPTS | r.options, 0, 100), 1u);
    EXPECT_EQ(board::uart(0).lcr(), r.lcr) << std::hex << r.options << " " << r.bits;
    EXPECT_EQ(reg_read8(UART0_BASE + UART_IIR) & 0xC0, 0xC0) << "FIFOs on";
    EXPECT_EQ(q5_line_control(r.bits, r.options), r.options & 2 ? r.lcr : q5_line_control(r.bits, r.options));
  }
  EXPECT_EQ(Interrupt::Lookup(UIC_UART0), drv.get()) << "registered anew on each open";
}

TEST_F(Q5Test, ReceiveTriggerOfFourStillDeliversSingleBytes) {
  ASSERT_EQ(drv->Open(0, 9600, 8, SERIAL_OPT_INTERRUPTS | SERIAL_OPT_RTS_HIGH, 0, 100), 1u);
  board::serial(0).send("ab");  // below the trigger: character time-out
  EXPECT_EQ(ReadAll(), "ab");
  board::serial(0).send("cdefg");
  EXPECT_EQ(ReadAll(), "cdefg");
}

TEST_F(Q5Test, LineStatusInterruptDoesNotHang) {
  ASSERT_EQ(drv->Open(1, 9600, 8, SERIAL_OPT_INTERRUPTS, 0, 100), 1u);
  reg_write8(UART1_BASE + UART_IER, reg_read8(UART1_BASE + UART_IER) | 0x04);
  board::uart(1).rx_line_error(0x02);  // overrun
  EXPECT_EQ(reg_read8(UART1_BASE + UART_IIR) & 0x01, 0x01);
  EXPECT_EQ(mfdcr(UIC0_ER) & UIC_UART1, UIC_UART1) << "served, not switched off";
}

TEST_F(Q5Test, QuadDriverOnAProcessorPortTakesNoInterrupt) {
  CQ5QuadSerialDriver quad;
  ASSERT_EQ(quad.Open(0, 9600, 8, SERIAL_OPT_INTERRUPTS, 0, 100), 1u);
  EXPECT_EQ(quad.Registers(), UART0_BASE);
  EXPECT_EQ(Interrupt::Lookup(UIC_UART0), nullptr);
}

}  // namespace
