#include "frame/serial/q5_quad_serial_driver.h"

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "mon_service.h"

namespace {

struct divisor_row {
  uint32_t baud;
  int32_t a, b;  // -1: no entry
};

const divisor_row k_divisors[] = {
    {300, 3334, -1},  {1200, 834, 192}, {2400, 416, 96}, {4800, 208, 48},  {9600, 104, 24},
    {28800, -1, 8},   {38400, 26, 6},   {56000, 18, -1}, {57600, -1, 4},   {115200, -1, 2},
    {128000, 8, -1},  {256000, 4, -1},  {512000, 2, -1},
};
const divisor_row k_other = {0, 52, 12};

uint32_t clock_field() { return (reg_read16(BOARD_SPI_STATUS) >> 9) & 0x0F; }

}  // namespace

int32_t quad_divisor(uint32_t baud, uint32_t clockField) {
  const divisor_row* row = &k_other;
  for (const divisor_row& r : k_divisors) {
    if (r.baud == baud) {
      row = &r;
      break;
    }
  }
  return clockField == 0 ? row->a : row->b;
}

CQ5UartDriver::turnaround CQ5QuadSerialDriver::s_shared;

CQ5QuadSerialDriver::CQ5QuadSerialDriver() : CQ5UartDriver(true, s_shared) {}

CQ5QuadSerialDriver::~CQ5QuadSerialDriver() {
  if (m_regs && m_source) SetReg(UART_IER, 0);
  if (m_source) CEpldInterrupt::Unregister(m_source);
}

void CQ5QuadSerialDriver::WriteDivisor(uint32_t baud) {
  int32_t d = quad_divisor(baud, clock_field());
  if (d < 0) return;
  SetReg(UART_RBR, static_cast<uint8_t>(d & 0xFF));
  SetReg(UART_IER, static_cast<uint8_t>((d >> 8) & 0xFF));
}

uint32_t CQ5QuadSerialDriver::Open(uint32_t port, uint32_t baud, uint32_t dataBits, uint32_t options,
                                   uint32_t flow, uint32_t ringSize) {
  if (!CreateRings(ringSize)) return 0;
  m_options = options;

  if (port == 0 || port == 1) {
    // Reduced set-up. This driver's interrupt entry is the EPLD
    // demultiplexer, which cannot serve a processor UART, so no handler is
    // registered for the port's controller bit.
    m_regs = port == 0 ? UART0_BASE : UART1_BASE;
    mon_service53(port, baud, dataBits, options);
    m_opened = 1;
    return 1;
  }
  if (port > 5) {
    m_regs = 0;
    m_opened = 1;
    return 1;
  }

  m_regs = EPLD_QUAD_UART + 8 * (port - 2);
  m_source = 1u << (port - 2);
  if (m_opened) CEpldInterrupt::Unregister(m_source);
  if (options & SERIAL_OPT_INTERRUPTS) CEpldInterrupt::Register(m_source, this);
  SetReg(UART_SCR, 0x55);
  if (Reg(UART_SCR) != 0x55) {
    m_regs = 0;
    return 0;
  }

  SetReg(UART_LCR, 0x80);
  WriteDivisor(baud);
  SetReg(UART_LCR, Reg(UART_LCR) & 0x7F);

  if (!ApplyLineModes(options, flow)) return 0;

  uint8_t word = 3;
  if (dataBits == 5) word = 0;
  if (dataBits == 6) word = 1;
  if (dataBits == 7) word = 2;
  SetReg(UART_LCR, word);
  SetReg(UART_IIR, 0x87);
  SetReg(UART_IER, 0);

  mtdcr(UIC0_ER, mfdcr(UIC0_ER) & ~UIC_EPLD);
  mtdcr(UIC0_CR, mfdcr(UIC0_CR) & ~UIC_EPLD);
  if (options & SERIAL_OPT_INTERRUPTS) {
    SetReg(UART_MCR, Reg(UART_MCR) | 0x08);
    SetReg(UART_IER, 0x0D);
    CEpldInterrupt::EnableLine();
  }
  m_opened = 1;
  return 1;
}

uint32_t CQ5QuadSerialDriver::SetBaudRate(uint32_t baud) {
  if (!m_regs) return 0;
  SetReg(UART_LCR, 0x80);
  WriteDivisor(baud);
  SetReg(UART_LCR, 0x03);
  return 1;
}
