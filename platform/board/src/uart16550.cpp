// 16550-type UART model.
#include "board_models.h"

namespace board {

namespace {
enum : uint8_t {
  LSR_DR = 0x01,
  LSR_ERRORS = 0x1E,  // overrun, parity, framing, break
  LSR_THRE = 0x20,
  LSR_TEMT = 0x40,
  LSR_FIFO_ERROR = 0x80,
  MCR_RTS = 0x02,
  MCR_OUT2 = 0x08,
  LCR_DLAB = 0x80,
};
const unsigned k_triggers[4] = {1, 4, 8, 14};
}  // namespace

uart16550::uart16550(bool out2_gates) : m_out2_gates(out2_gates) {}

// Ends every operation: the notifications it caused are made after the lock
// is released, so that the interrupt controller may ask for this UART's
// output again.
void uart16550::finish(std::unique_lock<std::mutex>& lk) {
  bool irq_now = irq_locked();
  bool irq_changed = irq_now != m_last_irq;
  m_last_irq = irq_now;
  bool tx = m_tx_written;
  m_tx_written = false;
  lk.unlock();
  if (irq_changed && on_irq_changed) on_irq_changed();
  if (tx && on_tx) on_tx();
}

uart16550::cause uart16550::cause_locked() {
  if ((m_ier & 0x04) && m_lsr_err) return cause::line;
  if (m_ier & 0x01) {
    if (m_rx.size() >= (m_fifo_on ? m_trigger : 1u)) return cause::rx;
    if (!m_rx.empty()) return cause::timeout;
  }
  if ((m_ier & 0x02) && m_thre_pending) return cause::thre;
  if ((m_ier & 0x08) && m_msr_delta) return cause::modem;
  return cause::none;
}

uint8_t uart16550::iir_locked() {
  uint8_t fifo = m_fifo_on ? 0xC0 : 0x00;
  switch (cause_locked()) {
    case cause::line: return fifo | 0x06;
    case cause::rx: return fifo | 0x04;
    case cause::timeout: return fifo | 0x0C;
    case cause::thre: return fifo | 0x02;
    case cause::modem: return fifo | 0x00;
    case cause::none: break;
  }
  return fifo | 0x01;
}

uint8_t uart16550::lsr_locked() {
  uint8_t lsr = m_lsr_err;
  if (!m_rx.empty()) lsr |= LSR_DR;
  if (m_tx.empty()) lsr |= LSR_THRE | LSR_TEMT;
  if (m_fifo_on && m_lsr_err) lsr |= LSR_FIFO_ERROR;
  return lsr;
}

uint8_t uart16550::msr_locked() { return m_msr_lines | m_msr_delta; }

bool uart16550::irq_locked() {
  if (m_out2_gates && !(m_mcr & MCR_OUT2)) return false;
  return cause_locked() != cause::none;
}

void uart16550::refill_locked() {
  while (!m_backlog.empty() && m_rx.size() < depth_locked() && (!m_honour_rts || (m_mcr & MCR_RTS))) {
    m_rx.push_back(m_backlog.front());
    m_backlog.pop_front();
  }
}

uint32_t uart16550::read(uint32_t offset, unsigned width) {
  if (width > 1) {
    uint32_t v = 0;
    for (unsigned i = 0; i < width; ++i) v = (v << 8) | read(offset + i, 1);
    return v;
  }
  std::unique_lock<std::mutex> lk(m_lock);
  uint8_t v = 0;
  bool dlab = m_lcr & LCR_DLAB;
  switch (offset & 7) {
    case 0:
      if (dlab) {
        v = m_dll;
      } else if (!m_rx.empty()) {
        v = m_rx.front();
        m_rx.pop_front();
        refill_locked();
      }
      break;
    case 1: v = dlab ? m_dlm : m_ier; break;
    case 2:
      v = iir_locked();
      if ((v & 0x0F) == 0x02) m_thre_pending = false;
      break;
    case 3: v = m_lcr; break;
    case 4: v = m_mcr; break;
    case 5:
      v = lsr_locked();
      m_lsr_err = 0;
      break;
    case 6:
      v = msr_locked();
      m_msr_delta = 0;
      break;
    case 7: v = m_scr; break;
  }
  finish(lk);
  return v;
}

void uart16550::write(uint32_t offset, unsigned width, uint32_t value) {
  if (width > 1) {
    for (unsigned i = 0; i < width; ++i) write(offset + i, 1, (value >> (8 * (width - 1 - i))) & 0xFF);
    return;
  }
  std::unique_lock<std::mutex> lk(m_lock);
  uint8_t v = static_cast<uint8_t>(value);
  bool dlab = m_lcr & LCR_DLAB;
  switch (offset & 7) {
    case 0:
      if (dlab) {
        m_dll = v;
        break;
      }
      ++m_thr_writes;
      if (m_tx.size() < depth_locked()) {
        m_tx.push_back(v);
        if (m_tx.size() > m_tx_peak) m_tx_peak = m_tx.size();
      } else {
        ++m_tx_overruns;
      }
      m_thre_pending = false;
      m_tx_written = true;
      break;
    case 1:
      if (dlab) {
        m_dlm = v;
      } else {
        // Enabling the transmit interrupt while the transmitter is empty
        // raises it at once.
        if (!(m_ier & 0x02) && (v & 0x02) && m_tx.empty()) m_thre_pending = true;
        m_ier = v & 0x0F;
      }
      break;
    case 2: {
      bool on = v & 0x01;
      bool had_tx = !m_tx.empty();
      if (on != m_fifo_on) {
        m_rx.clear();
        m_tx.clear();
        m_fifo_on = on;
      }
      if (v & 0x02) m_rx.clear();
      if (v & 0x04) m_tx.clear();
      if (had_tx && m_tx.empty()) m_thre_pending = true;
      m_trigger = k_triggers[v >> 6];
      refill_locked();
      break;
    }
    case 3: m_lcr = v; break;
    case 4:
      m_mcr = v & 0x1F;
      refill_locked();
      break;
    case 7: m_scr = v; break;
    default: break;  // line and modem status are read-only
  }
  finish(lk);
}

bool uart16550::irq() {
  std::lock_guard<std::mutex> lk(m_lock);
  return irq_locked();
}

void uart16550::rx_offer(const uint8_t* data, size_t length) {
  std::unique_lock<std::mutex> lk(m_lock);
  m_backlog.insert(m_backlog.end(), data, data + length);
  refill_locked();
  finish(lk);
}

size_t uart16550::rx_backlog() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_backlog.size();
}

void uart16550::rx_line_error(uint8_t lsr_bits) {
  std::unique_lock<std::mutex> lk(m_lock);
  m_lsr_err |= lsr_bits & LSR_ERRORS;
  finish(lk);
}

size_t uart16550::tx_take(uint8_t* out, size_t max) {
  std::unique_lock<std::mutex> lk(m_lock);
  size_t n = 0;
  bool had = !m_tx.empty();
  while (n < max && !m_tx.empty()) {
    out[n++] = m_tx.front();
    m_tx.pop_front();
  }
  if (had && m_tx.empty()) m_thre_pending = true;
  finish(lk);
  return n;
}

size_t uart16550::tx_level() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tx.size();
}

bool uart16550::tx_full() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tx.size() >= depth_locked();
}

void uart16550::set_honour_rts(bool on) {
  std::unique_lock<std::mutex> lk(m_lock);
  m_honour_rts = on;
  refill_locked();
  finish(lk);
}

void uart16550::modem_input(uint8_t bit, bool on) {
  std::unique_lock<std::mutex> lk(m_lock);
  bool was = m_msr_lines & bit;
  if (was != on) {
    m_msr_lines = on ? (m_msr_lines | bit) : (m_msr_lines & ~bit);
    switch (bit) {
      case 0x10: m_msr_delta |= 0x01; break;  // CTS changed
      case 0x20: m_msr_delta |= 0x02; break;  // DSR changed
      case 0x40:
        if (!on) m_msr_delta |= 0x04;  // trailing edge of RI
        break;
      case 0x80: m_msr_delta |= 0x08; break;  // DCD changed
    }
  }
  finish(lk);
}

void uart16550::set_cts(bool on) { modem_input(0x10, on); }
void uart16550::set_dsr(bool on) { modem_input(0x20, on); }
void uart16550::set_ri(bool on) { modem_input(0x40, on); }
void uart16550::set_dcd(bool on) { modem_input(0x80, on); }

bool uart16550::rts() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mcr & MCR_RTS;
}
bool uart16550::dtr() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mcr & 0x01;
}
bool uart16550::out2() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mcr & MCR_OUT2;
}
uint16_t uart16550::divisor() {
  std::lock_guard<std::mutex> lk(m_lock);
  return static_cast<uint16_t>(m_dlm << 8 | m_dll);
}
uint8_t uart16550::lcr() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_lcr;
}
uint8_t uart16550::ier() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_ier;
}
uint8_t uart16550::mcr() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mcr;
}
uint8_t uart16550::scratch() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_scr;
}
size_t uart16550::rx_level() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_rx.size();
}
uint64_t uart16550::tx_overruns() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tx_overruns;
}
size_t uart16550::tx_peak() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tx_peak;
}
uint64_t uart16550::thr_writes() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_thr_writes;
}

}  // namespace board
