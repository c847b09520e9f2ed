// The Ethernet MAC, its MAL and the PHY on its MII interface.
#include <algorithm>
#include <cstring>

#include "board_io.h"
#include "emac_models.h"

namespace board {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t get32(const uint8_t* p) { return (uint32_t(get16(p)) << 16) | get16(p + 2); }
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// A table longer than this without a wrap bit runs into memory that is not
// the driver's; the MAL wraps there.
constexpr uint32_t kMaxDescriptors = 256;

}  // namespace

// ------------------------------------------------------------------ PHY

bool phy_model::answers() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_present;
}

void phy_model::reset_locked() {
  m_control = CTRL_100 | CTRL_ANEG;
  m_advertise = ADV_100FD | ADV_100HD | ADV_10FD | ADV_10HD | ADV_SELECTOR;
  m_lpa = 0;
  m_negotiated = false;
  // With auto-negotiation on after reset, the PHY negotiates by itself.
  m_negotiating = m_can_negotiate;
  m_reads_left = m_negotiation_reads;
  ++m_resets;
}

uint16_t phy_model::status_locked() {
  if (m_negotiating && m_link) {
    if (m_reads_left == 0) {
      m_negotiating = false;
      m_negotiated = true;
      m_lpa = static_cast<uint16_t>(m_partner | (m_remote_fault ? LPA_REMOTE_FAULT : 0));
    } else {
      --m_reads_left;
    }
  }
  uint16_t st = m_abilities;
  if (m_can_negotiate) st |= ST_ANEG_ABLE;
  if (m_link) st |= ST_LINK;
  if (m_remote_fault) st |= ST_REMOTE_FAULT;
  if (m_negotiated && m_link) st |= ST_ANEG_DONE;
  return st;
}

uint16_t phy_model::read(unsigned reg) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (reg) {
    case 0: return m_control;
    case 1: return status_locked();
    case 4: return m_advertise;
    case 5: return m_lpa;
    case 0x10: return m_reg10;
    default: return 0;
  }
}

void phy_model::write(unsigned reg, uint16_t value) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (reg) {
    case 0:
      if (value & CTRL_RESET) {
        reset_locked();
        return;
      }
      m_control = static_cast<uint16_t>(value & ~(CTRL_RESET | CTRL_RESTART));
      if ((value & CTRL_RESTART) && (value & CTRL_ANEG) && m_can_negotiate) {
        m_negotiating = true;
        m_negotiated = false;
        m_lpa = 0;
        m_reads_left = m_negotiation_reads;
        ++m_negotiations;
      }
      break;
    case 4: m_advertise = value; break;
    case 0x10: m_reg10 = value; break;
    default: break;
  }
}

void phy_model::set_present(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_present = on;
}

void phy_model::set_link(bool up) {
  std::lock_guard<std::mutex> lk(m_lock);
  if (up == m_link) return;
  m_link = up;
  m_negotiated = false;
  m_lpa = 0;
  // A link that comes back is negotiated afresh.
  if (up && (m_control & CTRL_ANEG) && m_can_negotiate) {
    m_negotiating = true;
    m_reads_left = m_negotiation_reads;
  }
}

void phy_model::set_partner(uint16_t abilities) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_partner = abilities;
}

void phy_model::set_abilities(uint16_t st_bits, bool can_negotiate) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_abilities = st_bits & (ST_100FD | ST_100HD | ST_10FD | ST_10HD);
  m_can_negotiate = can_negotiate;
}

void phy_model::set_remote_fault(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_remote_fault = on;
}

void phy_model::set_negotiation_reads(uint32_t reads) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_negotiation_reads = reads;
}

uint16_t phy_model::reg(unsigned r) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (r) {
    case 0: return m_control;
    case 4: return m_advertise;
    case 5: return m_lpa;
    case 0x10: return m_reg10;
    default: return 0;
  }
}

uint32_t phy_model::negotiations() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_negotiations;
}

uint32_t phy_model::resets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_resets;
}

// ------------------------------------------------------------------ EMAC

uint32_t emac_model::read_word(uint32_t offset) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (offset) {
    case MR0: {
      uint32_t v = m_regs[MR0 / 4] & ~(MR0_RX_IDLE | MR0_TX_IDLE);
      if (!(v & MR0_RX_ENABLE)) v |= MR0_RX_IDLE;
      if (!(v & MR0_TX_ENABLE)) v |= MR0_TX_IDLE;
      return v;
    }
    case TMR0: return 0;
    case STACR: return m_stacr;
    default: return offset < SIZE ? m_regs[offset / 4] : 0;
  }
}

void emac_model::write_word(uint32_t offset, uint32_t value) {
  std::unique_lock<std::mutex> lk(m_lock);
  std::vector<std::vector<uint8_t>> out;
  switch (offset) {
    case MR0:
      if (value & MR0_SOFT_RESET) {
        // The soft reset is over by the next read.
        std::fill(std::begin(m_regs), std::end(m_regs), 0u);
        ++m_emac_resets;
      } else {
        m_regs[MR0 / 4] = value & (MR0_TX_ENABLE | MR0_RX_ENABLE);
      }
      break;
    case TMR0:
      if (value & CHANNEL0) transmit_locked(&out);
      break;
    case ISR: m_regs[ISR / 4] &= ~value; break;
    case STACR: mii_command_locked(value); break;
    default:
      if (offset < SIZE) m_regs[offset / 4] = value;
      break;
  }
  finish(lk, &out);
}

void emac_model::mii_command_locked(uint32_t value) {
  if (m_mii_stuck) {
    m_stacr = value & 0x7FFF;  // busy for ever
    return;
  }
  const unsigned reg = value & 0x1F;
  const unsigned address = (value >> 5) & 0x1F;
  const uint32_t command = value & 0xFFFF & ~0xC000u;
  if (address != 1 || !m_phy.answers()) {
    m_stacr = command | 0x8000 | 0x4000;
    return;
  }
  if (value & 0x1000) {
    m_stacr = (uint32_t(m_phy.read(reg)) << 16) | command | 0x8000;
  } else if (value & 0x2000) {
    m_phy.write(reg, static_cast<uint16_t>(value >> 16));
    m_stacr = (value & 0xFFFF0000u) | command | 0x8000;
  } else {
    m_stacr = command | 0x8000;
  }
}

void emac_model::mal_reset_locked() {
  m_esr = m_ier = m_tx_active = m_rx_active = 0;
  m_txeob = m_txde = m_rxeob = m_rxde = 0;
  m_txctp = m_rxctp = m_rcbs = 0;
  m_tx_index = m_rx_index = 0;
  ++m_mal_resets;
}

uint32_t emac_model::read_dcr(uint32_t dcrn) {
  std::lock_guard<std::mutex> lk(m_lock);
  switch (dcrn) {
    case MAL_CFG: return m_cfg;
    case MAL_ESR: return m_esr;
    case MAL_IER: return m_ier;
    case MAL_TXCASR: return m_tx_active;
    case MAL_TXEOBISR: return m_txeob;
    case MAL_TXDEIR: return m_txde;
    case MAL_RXCASR: return m_rx_active;
    case MAL_RXEOBISR: return m_rxeob;
    case MAL_RXDEIR: return m_rxde;
    case MAL_TXCTP0R: return m_txctp;
    case MAL_RXCTP0R: return m_rxctp;
    case MAL_RCBS0: return m_rcbs;
    case CHIP_ETH: return m_chip;
    default: return 0;
  }
}

void emac_model::write_dcr(uint32_t dcrn, uint32_t value) {
  std::unique_lock<std::mutex> lk(m_lock);
  switch (dcrn) {
    case MAL_CFG:
      // The reset is over by the next read.
      if (value & 0x80000000) mal_reset_locked();
      m_cfg = value & ~0x80000000u;
      break;
    case MAL_ESR: m_esr &= ~value; break;
    case MAL_IER: m_ier = value; break;
    case MAL_TXCASR: m_tx_active |= value & CHANNEL0; break;
    case MAL_TXCARR:
      if (value & CHANNEL0) {
        m_tx_active &= ~CHANNEL0;
        m_tx_index = 0;
      }
      break;
    case MAL_TXEOBISR: m_txeob &= ~value; break;
    case MAL_TXDEIR: m_txde &= ~value; break;
    case MAL_RXCASR: m_rx_active |= value & CHANNEL0; break;
    case MAL_RXCARR:
      if (value & CHANNEL0) {
        m_rx_active &= ~CHANNEL0;
        m_rx_index = 0;
      }
      break;
    case MAL_RXEOBISR: m_rxeob &= ~value; break;
    case MAL_RXDEIR: m_rxde &= ~value; break;
    case MAL_TXCTP0R:
      m_txctp = value;
      m_tx_index = 0;
      break;
    case MAL_RXCTP0R:
      m_rxctp = value;
      m_rx_index = 0;
      break;
    case MAL_RCBS0: m_rcbs = value & 0xFF; break;
    case CHIP_ETH: m_chip = value; break;
    default: break;
  }
  finish(lk);
}

void emac_model::transmit_locked(std::vector<std::vector<uint8_t>>* out) {
  if (!(m_regs[MR0 / 4] & MR0_TX_ENABLE) || !(m_tx_active & CHANNEL0)) return;
  for (uint32_t n = 0; n < kMaxDescriptors; ++n) {
    uint8_t* d = board_memory(m_txctp + 8 * m_tx_index, 8);
    if (!d) {
      m_txde |= CHANNEL0;
      m_tx_active &= ~CHANNEL0;
      return;
    }
    const uint16_t control = get16(d);
    if (!(control & D_EMPTY_READY)) return;
    const uint16_t length = get16(d + 2);
    const uint8_t* data = board_memory(get32(d + 4), length);
    if (!data || length == 0 || length > MAX_FRAME) {
      m_txde |= CHANNEL0;
      m_tx_active &= ~CHANNEL0;
      return;
    }
    std::vector<uint8_t> frame(data, data + length);
    if ((control & D_PAD) && frame.size() < MIN_FRAME) frame.resize(MIN_FRAME, 0);
    put16(d, static_cast<uint16_t>(control & ~D_EMPTY_READY));
    if (control & D_INTERRUPT) m_txeob |= CHANNEL0;
    m_tx_index = (control & D_WRAP) || m_tx_index + 1 >= kMaxDescriptors ? 0 : m_tx_index + 1;
    ++m_frames_sent;
    if (m_wire) {
      out->push_back(std::move(frame));
    } else {
      if (m_sent.size() >= 256) m_sent.pop_front();
      m_sent.push_back(std::move(frame));
    }
  }
}

bool emac_model::filter_locked(const uint8_t* frame, size_t length) {
  if (length < 14) return false;
  const uint32_t rmr = m_regs[RMR / 4];
  static const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  if (std::memcmp(frame, broadcast, 6) == 0) return (rmr & RMR_BROADCAST) != 0;
  if (frame[0] & 1) {
    const bool hash = m_regs[GAHT1 / 4] | m_regs[GAHT2 / 4] | m_regs[GAHT3 / 4] | m_regs[GAHT4 / 4];
    return (rmr & RMR_MULTICAST) && hash;
  }
  const uint32_t high = m_regs[IAHR / 4] & 0xFFFF;
  const uint32_t low = m_regs[IALR / 4];
  return (rmr & RMR_INDIVIDUAL) && get16(frame) == high && get32(frame + 2) == low;
}

void emac_model::receive(const uint8_t* frame, size_t length) {
  std::unique_lock<std::mutex> lk(m_lock);
  if (!(m_regs[MR0 / 4] & MR0_RX_ENABLE) || !(m_rx_active & CHANNEL0) || !filter_locked(frame, length)) {
    ++m_filtered;
    return;
  }
  uint8_t* d = board_memory(m_rxctp + 8 * m_rx_index, 8);
  if (!d) {
    m_rxde |= CHANNEL0;
    m_rx_active &= ~CHANNEL0;
    finish(lk);
    return;
  }
  const uint16_t control = get16(d);
  if (!(control & D_EMPTY_READY)) {
    // The driver has not given the descriptor back: the frame is lost.
    ++m_no_descriptor;
    m_regs[ISR / 4] |= 0x01000000;
    finish(lk);
    return;
  }
  const uint32_t room = m_rcbs * 16;
  uint8_t* buffer = room ? board_memory(get32(d + 4), room) : nullptr;
  if (!buffer) {
    m_rxde |= CHANNEL0;
    m_rx_active &= ~CHANNEL0;
    finish(lk);
    return;
  }
  const size_t n = std::min<size_t>(length, room);
  std::memcpy(buffer, frame, n);
  uint16_t status = static_cast<uint16_t>((control & ~(D_EMPTY_READY | D_RX_ERRORS)) | D_LAST);
  if (length > MAX_FRAME || length > room) status |= D_RX_TOO_LONG;
  put16(d, status);
  put16(d + 2, static_cast<uint16_t>(n));
  if (control & D_INTERRUPT) m_rxeob |= CHANNEL0;
  m_rx_index = (control & D_WRAP) || m_rx_index + 1 >= kMaxDescriptors ? 0 : m_rx_index + 1;
  ++m_frames_received;
  finish(lk);
}

uint32_t emac_model::irq_levels_locked() {
  uint32_t levels = 0;
  if ((m_esr & ESR_VALID) && m_ier) levels |= IRQ_SERR;
  if (m_txeob) levels |= IRQ_TXEOB;
  if (m_rxeob) levels |= IRQ_RXEOB;
  if (m_txde && m_ier) levels |= IRQ_TXDE;
  if (m_rxde && m_ier) levels |= IRQ_RXDE;
  if (m_regs[ISR / 4] & m_regs[ISER / 4]) levels |= IRQ_EMAC;
  return levels;
}

bool emac_model::irq(uint32_t bit) {
  std::lock_guard<std::mutex> lk(m_lock);
  return (irq_levels_locked() & bit) != 0;
}

void emac_model::finish(std::unique_lock<std::mutex>& lk, std::vector<std::vector<uint8_t>>* out) {
  const uint32_t levels = irq_levels_locked();
  const uint32_t changed = levels ^ m_last_levels;
  m_last_levels = levels;
  auto wire = out && !out->empty() ? m_wire : nullptr;
  lk.unlock();
  if (wire)
    for (const auto& f : *out) wire(f.data(), f.size());
  if (changed && on_irq_changed) on_irq_changed(changed);
}

void emac_model::set_wire(std::function<void(const uint8_t*, size_t)> out) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_wire = std::move(out);
}

std::vector<std::vector<uint8_t>> emac_model::take_sent() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::vector<std::vector<uint8_t>> v(m_sent.begin(), m_sent.end());
  m_sent.clear();
  return v;
}

void emac_model::raise_system_error(uint32_t esr) {
  std::unique_lock<std::mutex> lk(m_lock);
  m_esr = esr | ESR_VALID;
  if (esr & ESR_RECEIVE)
    m_rx_active &= ~CHANNEL0;
  else
    m_tx_active &= ~CHANNEL0;
  finish(lk);
}

void emac_model::set_mii_stuck(bool on) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_mii_stuck = on;
  if (!on) m_stacr |= 0x8000;
}

uint32_t emac_model::reg(uint32_t offset) { return read_word(offset & ~3u); }
uint32_t emac_model::dcr(uint32_t dcrn) { return read_dcr(dcrn); }

#define EMAC_COUNT(name, member)             \
  uint64_t emac_model::name() {              \
    std::lock_guard<std::mutex> lk(m_lock);  \
    return member;                           \
  }
EMAC_COUNT(frames_sent, m_frames_sent)
EMAC_COUNT(frames_received, m_frames_received)
EMAC_COUNT(frames_filtered, m_filtered)
EMAC_COUNT(frames_no_descriptor, m_no_descriptor)
#undef EMAC_COUNT

uint32_t emac_model::mal_resets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mal_resets;
}

uint32_t emac_model::emac_resets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_emac_resets;
}

}  // namespace board
