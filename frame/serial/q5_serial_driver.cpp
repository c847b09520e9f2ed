#include "frame/serial/q5_serial_driver.h"

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "mon_service.h"

CQ5UartDriver::turnaround CQ5SerialDriver::s_shared;

CQ5SerialDriver::CQ5SerialDriver() : CQ5UartDriver(false, s_shared) {}

CQ5SerialDriver::~CQ5SerialDriver() {
  // Quiet the UART and leave the table before the object goes.
  if (m_regs) SetReg(UART_IER, 0);
  if (m_irqBit && Interrupt::Lookup(m_irqBit) == this) Interrupt::Unregister(m_irqBit);
}

uint8_t q5_line_control(uint32_t dataBits, uint32_t options) {
  uint8_t word = 3;
  if (dataBits == 5) word = 0;
  if (dataBits == 6) word = 1;
  if (dataBits == 7) word = 2;
  uint8_t parity = (options & SERIAL_OPT_NO_PARITY) ? 0 : 0x18;
  bool two_stop = (options & (SERIAL_OPT_TWO_STOP_A | SERIAL_OPT_TWO_STOP_B)) && !(options & SERIAL_OPT_ONE_STOP);
  return static_cast<uint8_t>(word | parity | (two_stop ? 0x04 : 0));
}

uint32_t CQ5SerialDriver::Open(uint32_t port, uint32_t baud, uint32_t dataBits, uint32_t options, uint32_t flow,
                               uint32_t ringSize) {
  if (!CreateRings(ringSize)) return 0;
  m_options = options;

  if (port == 0 || port == 1) {
    m_regs = port == 0 ? UART0_BASE : UART1_BASE;
    uint32_t bit = port == 0 ? UIC_UART0 : UIC_UART1;
    if (options & SERIAL_OPT_INTERRUPTS) {
      Interrupt::Unregister(bit);
      Interrupt::Register(bit, this);
      m_irqBit = bit;
    }
    mon_service53(port, baud, dataBits, options);
    if (port == 0) {
      SetReg(UART_IIR, 0x47);
      if (options & SERIAL_OPT_LINE_CONTROL) SetReg(UART_LCR, q5_line_control(dataBits, options));
    }
    if (options & SERIAL_OPT_INTERRUPTS) {
      // The caller of Register enables its bit: level, active high, normal.
      mtdcr(UIC0_CR, mfdcr(UIC0_CR) & ~bit);
      mtdcr(UIC0_TR, mfdcr(UIC0_TR) & ~bit);
      mtdcr(UIC0_PR, mfdcr(UIC0_PR) | bit);
      mtdcr(UIC0_SR, bit);
      mtdcr(UIC0_ER, mfdcr(UIC0_ER) | bit);
    }
  } else {
    m_regs = 0;
  }

  if (!ApplyLineModes(options, flow)) return 0;
  if (m_regs) SetReg(UART_IER, Reg(UART_IER) | 0x08);
  m_opened = 1;
  return 1;
}

uint32_t CQ5SerialDriver::SetBaudRate(uint32_t baud) {
  mon_service53(m_regs == UART0_BASE ? 0 : 1, baud, 8, m_options);
  return 1;
}
