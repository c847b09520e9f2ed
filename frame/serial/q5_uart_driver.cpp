#include "frame/serial/q5_uart_driver.h"

#include "board_io.h"
#include "frame/board/board_regs.h"
#include "frame/trace/trace.h"

namespace {
// Bytes per transmit interrupt: the depth of the UART's transmit FIFO less one.
constexpr int k_tx_burst = 15;
// Causes served per interrupt before giving the processor back; the
// controller takes the interrupt again while a cause remains.
constexpr int k_max_causes = 32;
constexpr uint32_t k_drain_wait = 0x5FFFF;   // last character leaves the shift register
constexpr uint32_t k_settle_wait = 0x9FFFF;  // transmitter settles before a burst
}  // namespace

CQ5UartDriver::~CQ5UartDriver() = default;

uint8_t CQ5UartDriver::Reg(uint32_t offset) { return reg_read8(m_regs + offset); }

void CQ5UartDriver::SetReg(uint32_t offset, uint8_t value) { reg_write8(m_regs + offset, value); }

void CQ5UartDriver::Busy(uint32_t iterations) {
  for (volatile uint32_t i = 0; i < iterations;) {
    i = i + 1;
  }
}

bool CQ5UartDriver::CreateRings(uint32_t size) {
  if (m_rxRing) return true;
  if (size == 0 || size > 0xFFFF) return false;
  m_rxRing = new CRingBuffer(size);
  m_txRing = new CRingBuffer(size);
  return m_rxRing->Size() == size && m_txRing->Size() == size;
}

bool CQ5UartDriver::ApplyLineModes(uint32_t options, uint32_t flow) {
  bool refused = false;
  if (options & SERIAL_OPT_DTR_LOW)
    m_duplexMode = 0;
  else if (options & SERIAL_OPT_DTR_HIGH)
    m_duplexMode = 1;
  else if (options & SERIAL_OPT_REFUSED)
    refused = true;

  if (options & SERIAL_OPT_RTS_LOW)
    m_flowMode = 0;
  else if (options & SERIAL_OPT_RTS_HIGH)
    m_flowMode = 1;
  else if (options & SERIAL_OPT_RTS_SWITCHED)
    m_flowMode = (flow & SERIAL_FLOW_NO_DCD) ? 5 : 2;
  else if (options & SERIAL_OPT_RTS_TOGGLE)
    m_flowMode = 3;
  else
    m_flowMode = (flow & SERIAL_FLOW_HANDSHAKE) ? 4 : 3;

  SetDTR(!refused && m_duplexMode == 1);
  SetRTS(m_flowMode == 1 || m_flowMode == 4);
  return !refused;
}

void CQ5UartDriver::ModemControl(uint8_t bit, uint32_t on) {
  if (!m_regs) return;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  uint8_t mcr = Reg(UART_MCR);
  SetReg(UART_MCR, on ? (mcr | bit) : (mcr & ~bit));
  tx_interrupt_control(posture);
}

void CQ5UartDriver::SetDTR(uint32_t on) { ModemControl(0x01, on); }
void CQ5UartDriver::SetRTS(uint32_t on) { ModemControl(0x02, on); }
uint32_t CQ5UartDriver::GetDCD() { return m_regs && (Reg(UART_MSR) & 0x80) ? 1 : 0; }
uint32_t CQ5UartDriver::GetRI() { return m_regs && (Reg(UART_MSR) & 0x40) ? 1 : 0; }
uint32_t CQ5UartDriver::GetDSR() { return m_regs && (Reg(UART_MSR) & 0x20) ? 1 : 0; }
uint32_t CQ5UartDriver::GetCTS() { return m_regs && (Reg(UART_MSR) & 0x10) ? 1 : 0; }

uint32_t CQ5UartDriver::PutTxByte(uint8_t byte) {
  if (!m_regs || !m_txRing) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  uint32_t stored = m_txRing->Put(byte);
  SetReg(UART_IER, Reg(UART_IER) | 0x02);
  tx_interrupt_control(posture);
  return stored;
}

uint32_t CQ5UartDriver::ReadByte(uint32_t* out) {
  if (!m_rxRing) {
    *out = 0xFFFFFFFF;
    return 0;
  }
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  uint8_t b = 0;
  uint32_t got = m_rxRing->Get(&b);
  if (m_flowMode == 4 && m_rxRing->IsBelowLowWater()) SetRTS(1);
  tx_interrupt_control(posture);
  *out = got ? b : 0xFFFFFFFF;
  return got;
}

void CQ5UartDriver::OnUartInterrupt() {
  if (!m_regs) return;
  for (int served = 0; served < k_max_causes; ++served) {
    uint8_t iir = Reg(UART_IIR);
    if (iir & 0x01) return;
    switch (iir & 0x0F) {
      case 0x00: {  // modem status
        uint8_t msr = Reg(UART_MSR);
        if ((msr & 0x80) && m_modemCallback)
          m_modemCallback(m_modemContext, GetDCD() ? MODEM_EVENT_CONNECT : MODEM_EVENT_DISCONNECT);
        if (m_quad && (msr & 0x40) && m_modemCallback) m_modemCallback(m_modemContext, MODEM_EVENT_RING);
        if ((msr & 0x10) && (m_flowMode == 2 || m_flowMode == 4 || m_flowMode == 5) && GetCTS() && m_txRing &&
            !m_txRing->IsEmpty())
          OnTxEmpty();
        if ((msr & 0x08) && m_modemCallback)
          m_modemCallback(m_modemContext, GetDCD() ? MODEM_EVENT_CONNECT : MODEM_EVENT_DISCONNECT);
        if (m_quad && (msr & 0x04) && m_modemCallback) m_modemCallback(m_modemContext, MODEM_EVENT_RING);
        break;
      }
      case 0x02:
        OnTxEmpty();
        break;
      case 0x04:
      case 0x0C:
        while (Reg(UART_LSR) & 0x01) {
          OnRxByte(Reg(UART_RBR));
          if (m_quad) m_optionByte = 0;
        }
        break;
      case 0x06:
        // Line status: reading it clears the cause, which would otherwise
        // stay pending for ever.
        Reg(UART_LSR);
        break;
      default:
        break;
    }
  }
}

void CQ5UartDriver::OnTxEmpty() {
  if (!m_txRing) return;
  SetDTR(m_duplexMode == 1);
  if (m_txRing->IsEmpty()) {
    SetReg(UART_IER, Reg(UART_IER) & ~0x02);
    switch (m_flowMode) {
      case 0: SetRTS(0); break;
      case 1:
      case 3: SetRTS(1); break;
      case 2:
      case 5:
        if (m_shared.transmitting) {
          m_shared.transmitting = 0;
          m_shared.settled = 0;
          Busy(k_drain_wait);
        }
        SetRTS(0);
        break;
      default: break;
    }
    return;
  }
  for (int n = 0; n < k_tx_burst && !m_txRing->IsEmpty(); ++n) {
    switch (m_flowMode) {
      case 0: SetRTS(0); break;
      case 1: SetRTS(1); break;
      case 2:
        SetRTS(1);
        m_shared.transmitting = 1;
        if (!GetCTS()) return;
        break;
      case 3: SetRTS(0); break;
      case 4:
        if (!GetCTS()) return;
        break;
      case 5:
        if (!m_shared.settled) {
          Busy(k_settle_wait);
          m_shared.settled = 1;
        }
        SetRTS(1);
        m_shared.transmitting = 1;
        if (!GetCTS()) return;
        break;
      default: break;
    }
    uint8_t b = 0;
    m_txRing->Get(&b);
    SetReg(UART_RBR, b);
    if (m_txCallback) m_txCallback(m_txContext, m_txArgument);
  }
}

void CQ5UartDriver::OnRxByte(uint8_t byte) {
  if (!m_rxRing) return;
  if (m_flowMode == 2 && !GetDCD()) return;
  if (m_rxRing->IsFull()) monitor_printf_debug(m_quad ? "error quad serial queue full\n" : "error serial queue full\n");
  m_rxRing->Put(byte);
  if (m_rxCallback) m_rxCallback(m_rxContext, m_rxArgument);
  if (m_flowMode == 4 && m_rxRing->IsAboveHighWater()) SetRTS(0);
  if (m_events) tx_event_flags_set(m_events, SERIAL_EVENT_RX, TX_OR);
}
