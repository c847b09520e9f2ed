// The stand-alone CAN controller on SPI device 0.
#include <algorithm>
#include <cstring>

#include "can_models.h"

namespace board {

namespace {

enum : uint8_t {
  CANSTAT_LOW = 0x0E,
  CANCTRL = 0x0F,
  TEC = 0x1C,
  REC = 0x1D,
  CNF3 = 0x28,
  CNF2 = 0x29,
  CNF1 = 0x2A,
  CANINTE = 0x2B,
  CANINTF = 0x2C,
  EFLG = 0x2D,
  RXB0CTRL = 0x60,
  RXB1CTRL = 0x70,
};

enum : uint8_t {
  TXREQ = 0x08,
  TXERR = 0x10,
  ABTF = 0x40,
  ERRIF = 0x20,
  RX0IF = 0x01,
  RX1IF = 0x02,
  BUKT = 0x04,
  RXRTR = 0x08,
};

constexpr uint8_t tx_ctrl(unsigned b) { return static_cast<uint8_t>(0x30 + 0x10 * b); }

bool config_only(uint8_t a) { return a <= 0x0B || (a >= 0x10 && a <= 0x1B) || (a >= 0x20 && a <= CNF1); }

bool bit_modifiable(uint8_t a) {
  return a == 0x0C || a == 0x0D || (a & 0x0F) == CANCTRL || (a >= CNF3 && a <= EFLG) || a == 0x30 || a == 0x40 ||
         a == 0x50 || a == RXB0CTRL || a == RXB1CTRL;
}

}  // namespace

can_controller_model::can_controller_model(can_wire& wire) : m_wire(wire) {
  reset_locked();
  m_mode = m_requested = CONFIGURATION;
  m_wire.attach(this);
}

can_controller_model::~can_controller_model() { m_wire.detach(this); }

void can_controller_model::power_up() {
  std::unique_lock<std::mutex> lk(m_lock);
  reset_locked();
  m_mode = m_requested = CONFIGURATION;
  m_mode_wait = 0;
  m_state = m_selected ? spi_state::instruction : spi_state::idle;
  finish(lk);
}

void can_controller_model::reset_locked() {
  std::memset(m_regs, 0, sizeof m_regs);
  m_regs[CANCTRL] = 0x87;  // configuration mode requested, clock output on
  m_tec = m_rec = 0;
  m_bus_off = false;
  m_overflow = 0;
  request_mode_locked(CONFIGURATION);
}

void can_controller_model::finish(std::unique_lock<std::mutex>& lk) {
  bool now = !m_absent && (m_regs[CANINTE] & m_regs[CANINTF]) != 0;
  bool changed = now != m_last_int;
  m_last_int = now;
  lk.unlock();
  if (changed && on_int_changed) on_int_changed();
}

// ------------------------------------------------------------------ modes

void can_controller_model::set_mode_locked(uint8_t m) {
  m_mode = m;
  m_requested = m;
  m_mode_wait = 0;
}

void can_controller_model::request_mode_locked(uint8_t requested) {
  if (requested > CONFIGURATION) requested = CONFIGURATION;  // reserved values
  m_requested = requested;
  if (requested == m_mode) {
    m_mode_wait = 0;
  } else if (m_mode_delay == 0) {
    set_mode_locked(requested);
  } else {
    m_mode_wait = m_mode_delay;
  }
}

uint8_t can_controller_model::canstat_locked() {
  uint8_t pending = m_regs[CANINTE] & m_regs[CANINTF];
  uint8_t icod = 0;
  if (pending & 0x20)
    icod = 1;
  else if (pending & 0x40)
    icod = 2;
  else if (pending & 0x04)
    icod = 3;
  else if (pending & 0x08)
    icod = 4;
  else if (pending & 0x10)
    icod = 5;
  else if (pending & RX0IF)
    icod = 6;
  else if (pending & RX1IF)
    icod = 7;
  return static_cast<uint8_t>(m_mode << 5 | icod << 1);
}

// ------------------------------------------------------------------ errors

uint8_t can_controller_model::eflg_locked() {
  uint8_t e = m_overflow;
  if (m_bus_off) e |= 0x20;
  if (m_tec >= 128) e |= 0x10;
  if (m_rec >= 128) e |= 0x08;
  if (m_tec >= 96) e |= 0x04;
  if (m_rec >= 96) e |= 0x02;
  if (m_tec >= 96 || m_rec >= 96) e |= 0x01;
  return e;
}

void can_controller_model::error_state_changed_locked(uint8_t before) {
  if ((eflg_locked() ^ before) & 0x3F) m_regs[CANINTF] |= ERRIF;
}

// ------------------------------------------------------------------ registers

uint8_t can_controller_model::status_locked() {
  uint8_t f = m_regs[CANINTF];
  uint8_t s = f & (RX0IF | RX1IF);
  if (m_regs[tx_ctrl(0)] & TXREQ) s |= 0x04;
  if (f & 0x04) s |= 0x08;
  if (m_regs[tx_ctrl(1)] & TXREQ) s |= 0x10;
  if (f & 0x08) s |= 0x20;
  if (m_regs[tx_ctrl(2)] & TXREQ) s |= 0x40;
  if (f & 0x10) s |= 0x80;
  return s;
}

uint8_t can_controller_model::read_locked(uint8_t a, bool side_effects) {
  a &= 0x7F;
  if ((a & 0x0F) == CANSTAT_LOW) {
    if (side_effects && m_requested != m_mode) {
      if (m_mode_wait > 0) --m_mode_wait;
      if (m_mode_wait == 0) set_mode_locked(m_requested);
    }
    return canstat_locked();
  }
  if ((a & 0x0F) == CANCTRL) return m_regs[CANCTRL];
  switch (a) {
    case TEC: return static_cast<uint8_t>(std::min<uint32_t>(m_tec, 255));
    case REC: return static_cast<uint8_t>(std::min<uint32_t>(m_rec, 255));
    case EFLG: return eflg_locked();
    default: return m_regs[a];
  }
}

void can_controller_model::write_locked(uint8_t a, uint8_t value, uint8_t mask) {
  a &= 0x7F;
  if ((a & 0x0F) == CANSTAT_LOW) return;
  if ((a & 0x0F) == CANCTRL) {
    uint8_t v = static_cast<uint8_t>((m_regs[CANCTRL] & ~mask) | (value & mask));
    m_regs[CANCTRL] = v;
    if (v & 0x10) {
      // Abort every pending transmission.
      for (unsigned b = 0; b < 3; ++b) {
        uint8_t& c = m_regs[tx_ctrl(b)];
        if (c & TXREQ) c = static_cast<uint8_t>((c & ~TXREQ) | ABTF);
      }
    }
    request_mode_locked(v >> 5);
    return;
  }
  uint8_t w;
  if (config_only(a)) {
    w = m_mode == CONFIGURATION ? 0xFF : 0x00;
  } else if (a == TEC || a == REC) {
    w = 0;
  } else if (a == EFLG) {
    w = 0xC0;
  } else if (a == 0x30 || a == 0x40 || a == 0x50) {
    w = TXREQ | 0x03;
  } else if (a > 0x30 && a < 0x5E && (a & 0x0F) <= 0x0D) {
    // A transmit buffer is locked while its request is pending.
    if (m_regs[a & 0xF0] & TXREQ) {
      ++m_pending_writes;
      return;
    }
    w = 0xFF;
  } else if (a == RXB0CTRL) {
    w = 0x64;
  } else if (a == RXB1CTRL) {
    w = 0x60;
  } else if (a > 0x60) {
    w = 0;  // receive buffers
  } else {
    w = 0xFF;
  }
  w &= mask;
  if (a == EFLG) {
    m_overflow = static_cast<uint8_t>((m_overflow & ~w) | (value & w));
    return;
  }
  m_regs[a] = static_cast<uint8_t>((m_regs[a] & ~w) | (value & w));
}

uint32_t can_controller_model::bit_rate_locked() {
  uint32_t brp = m_regs[CNF1] & 0x3F;
  uint8_t cnf2 = m_regs[CNF2];
  uint32_t prseg = cnf2 & 7, ph1 = (cnf2 >> 3) & 7;
  uint32_t ph2 = (cnf2 & 0x80) ? (m_regs[CNF3] & 7) : std::max<uint32_t>(ph1, 1);
  uint32_t quanta = 1 + (prseg + 1) + (ph1 + 1) + (ph2 + 1);
  return m_clock / (2 * (brp + 1) * quanta);
}

// ------------------------------------------------------------------ SPI

void can_controller_model::spi_select(bool selected) {
  {
    std::unique_lock<std::mutex> lk(m_lock);
    m_selected = selected;
    m_state = selected ? spi_state::instruction : spi_state::idle;
    finish(lk);
  }
  // The end of an instruction: requests it set, or earlier unacknowledged
  // ones, go out now.
  if (!selected) transmit_pending();
}

uint8_t can_controller_model::spi_exchange(uint8_t out) {
  std::unique_lock<std::mutex> lk(m_lock);
  if (m_absent || !m_selected) {
    lk.unlock();
    return 0xFF;
  }
  uint8_t in = 0;
  switch (m_state) {
    case spi_state::instruction:
      ++m_instructions;
      m_state = spi_state::ignore;
      if (out == 0xC0) {
        reset_locked();
        ++m_resets;
      } else if (out == 0x03) {
        m_state = spi_state::read_address;
      } else if (out == 0x02) {
        m_state = spi_state::write_address;
      } else if (out == 0x05) {
        m_state = spi_state::modify_address;
      } else if (out == 0xA0) {
        m_state = spi_state::status;
      } else if ((out & 0xF8) == 0x80) {
        for (unsigned b = 0; b < 3; ++b)
          if (out & (1u << b)) m_regs[tx_ctrl(b)] |= TXREQ;
      }
      break;
    case spi_state::read_address:
      m_address = out & 0x7F;
      m_state = spi_state::read_data;
      break;
    case spi_state::read_data:
      in = read_locked(m_address, true);
      m_address = (m_address + 1) & 0x7F;
      break;
    case spi_state::write_address:
      m_address = out & 0x7F;
      m_state = spi_state::write_data;
      break;
    case spi_state::write_data:
      write_locked(m_address, out, 0xFF);
      m_address = (m_address + 1) & 0x7F;
      break;
    case spi_state::modify_address:
      m_address = out & 0x7F;
      m_state = spi_state::modify_mask;
      break;
    case spi_state::modify_mask:
      m_mask = out;
      m_state = spi_state::modify_data;
      break;
    case spi_state::modify_data:
      // Registers without bit access take the whole byte.
      write_locked(m_address, out, bit_modifiable(m_address) ? m_mask : 0xFF);
      m_state = spi_state::ignore;
      break;
    case spi_state::status:
      in = status_locked();
      break;
    case spi_state::idle:
    case spi_state::ignore:
      break;
  }
  finish(lk);
  return in;
}

// ------------------------------------------------------------------ transmit

int can_controller_model::pending_tx_locked() {
  int best = -1;
  for (int b = 0; b < 3; ++b) {
    uint8_t c = m_regs[tx_ctrl(b)];
    if (!(c & TXREQ)) continue;
    // Higher priority first; between equals the higher buffer.
    if (best < 0 || (c & 3) >= (m_regs[tx_ctrl(best)] & 3)) best = b;
  }
  return best;
}

can_frame can_controller_model::tx_frame_locked(unsigned b) {
  const uint8_t* r = m_regs + tx_ctrl(b);
  can_frame f;
  uint32_t sid = static_cast<uint32_t>(r[1]) << 3 | r[2] >> 5;
  f.extended = (r[2] & 0x08) != 0;
  f.id = f.extended ? (sid << 18 | (r[2] & 3u) << 16 | r[3] << 8 | r[4]) : sid;
  f.remote = (r[5] & 0x40) != 0;
  f.dlc = r[5] & 0x0F;
  std::memcpy(f.data, r + 6, 8);
  return f;
}

void can_controller_model::transmit_pending() {
  for (int round = 0; round < 64; ++round) {
    std::unique_lock<std::mutex> lk(m_lock);
    if (m_absent || m_bus_off || (m_mode != NORMAL && m_mode != LOOPBACK)) return;
    int b = pending_tx_locked();
    if (b < 0) return;
    can_frame f = tx_frame_locked(b);
    bool loopback = m_mode == LOOPBACK;
    bool ack = true;
    if (!loopback) {
      uint32_t rate = bit_rate_locked();
      lk.unlock();
      ack = m_wire.queue(this, f, rate);
      lk.lock();
    }
    uint8_t& ctrl = m_regs[tx_ctrl(b)];
    if (!(ctrl & TXREQ)) {  // aborted meanwhile
      finish(lk);
      continue;
    }
    uint8_t before = eflg_locked();
    bool wait = false;
    if (ack) {
      ctrl = static_cast<uint8_t>(ctrl & ~(TXREQ | TXERR | ABTF));
      m_regs[CANINTF] |= static_cast<uint8_t>(0x04 << b);
      if (m_tec > 0) --m_tec;
      ++m_sent;
      if (loopback) receive_locked(f);
    } else {
      ctrl |= TXERR;
      // An unacknowledged frame counts until the chip is error passive.
      if (m_tec < 128)
        m_tec += 8;
      else
        wait = true;
    }
    error_state_changed_locked(before);
    finish(lk);
    if (ack && !loopback) m_wire.deliver();
    if (wait) return;
  }
}

// ------------------------------------------------------------------ receive

bool can_controller_model::accepts_locked(unsigned buffer, const can_frame& frame, uint8_t* hit) {
  uint8_t rxm = (m_regs[buffer ? RXB1CTRL : RXB0CTRL] >> 5) & 3;
  if (rxm == 3) {
    *hit = buffer ? 2 : 0;
    return true;
  }
  if ((rxm == 1 && frame.extended) || (rxm == 2 && !frame.extended)) return false;
  static const uint8_t filters0[] = {0x00, 0x04};
  static const uint8_t filters1[] = {0x08, 0x10, 0x14, 0x18};
  const uint8_t* filters = buffer ? filters1 : filters0;
  unsigned count = buffer ? 4 : 2;
  uint8_t m = buffer ? 0x24 : 0x20;
  const uint8_t* r = m_regs;
  uint32_t msid = static_cast<uint32_t>(r[m]) << 3 | r[m + 1] >> 5;
  uint32_t mid = msid << 18 | (r[m + 1] & 3u) << 16 | r[m + 2] << 8 | r[m + 3];
  for (unsigned k = 0; k < count; ++k) {
    uint8_t f = filters[k];
    if (((r[f + 1] & 0x08) != 0) != frame.extended) continue;
    uint32_t fsid = static_cast<uint32_t>(r[f]) << 3 | r[f + 1] >> 5;
    bool match;
    if (frame.extended) {
      uint32_t fid = fsid << 18 | (r[f + 1] & 3u) << 16 | r[f + 2] << 8 | r[f + 3];
      match = ((frame.id ^ fid) & mid & 0x1FFFFFFF) == 0;
    } else {
      match = (((frame.id & 0x7FF) ^ fsid) & msid) == 0;
    }
    if (match) {
      *hit = static_cast<uint8_t>(buffer ? 2 + k : k);
      return true;
    }
  }
  return false;
}

void can_controller_model::load_rx_locked(unsigned buffer, const can_frame& frame, uint8_t hit) {
  uint8_t* r = m_regs + (buffer ? RXB1CTRL : RXB0CTRL);
  uint8_t keep = buffer ? 0x60 : 0x64;
  uint8_t filhit = buffer ? (hit & 7) : (hit & 1);
  r[0] = static_cast<uint8_t>((r[0] & keep) | (frame.remote ? RXRTR : 0) | filhit);
  uint32_t sid = frame.extended ? (frame.id >> 18) & 0x7FF : frame.id & 0x7FF;
  uint32_t eid = frame.extended ? frame.id & 0x3FFFF : 0;
  r[1] = static_cast<uint8_t>(sid >> 3);
  r[2] = static_cast<uint8_t>((sid & 7) << 5 |
                              (frame.extended ? (0x08 | ((eid >> 16) & 3)) : (frame.remote ? 0x10 : 0)));
  r[3] = static_cast<uint8_t>(eid >> 8);
  r[4] = static_cast<uint8_t>(eid);
  r[5] = static_cast<uint8_t>((frame.extended && frame.remote ? 0x40 : 0) | (frame.dlc & 0x0F));
  std::memcpy(r + 6, frame.data, 8);
}

bool can_controller_model::receive_locked(const can_frame& frame) {
  uint8_t hit = 0;
  uint8_t& intf = m_regs[CANINTF];
  if (accepts_locked(0, frame, &hit)) {
    if (!(intf & RX0IF)) {
      load_rx_locked(0, frame, hit);
      intf |= RX0IF;
      return true;
    }
    if (m_regs[RXB0CTRL] & BUKT) {
      if (!(intf & RX1IF)) {
        load_rx_locked(1, frame, hit);
        intf |= RX1IF;
        return true;
      }
      m_overflow |= 0x80;
    } else {
      m_overflow |= 0x40;
    }
  } else if (accepts_locked(1, frame, &hit)) {
    if (!(intf & RX1IF)) {
      load_rx_locked(1, frame, hit);
      intf |= RX1IF;
      return true;
    }
    m_overflow |= 0x80;
  } else {
    return false;  // filtered out
  }
  ++m_lost;
  intf |= ERRIF;
  return false;
}

bool can_controller_model::acknowledges(uint32_t rate) {
  std::lock_guard<std::mutex> lk(m_lock);
  return !m_absent && m_mode == NORMAL && !m_bus_off && (rate == 0 || rate == bit_rate_locked());
}

void can_controller_model::on_frame(const can_frame& frame, uint32_t rate) {
  std::unique_lock<std::mutex> lk(m_lock);
  bool listening = m_mode == NORMAL || m_mode == LISTEN_ONLY;
  if (!m_absent && listening && !m_bus_off && (rate == 0 || rate == bit_rate_locked())) {
    uint8_t before = eflg_locked();
    ++m_received;
    receive_locked(frame);
    if (m_rec > 0) --m_rec;
    error_state_changed_locked(before);
  }
  finish(lk);
}

// ------------------------------------------------------------------ host side

bool can_controller_model::int_asserted() {
  std::lock_guard<std::mutex> lk(m_lock);
  return !m_absent && (m_regs[CANINTE] & m_regs[CANINTF]) != 0;
}

uint8_t can_controller_model::reg(uint8_t address) {
  std::lock_guard<std::mutex> lk(m_lock);
  return read_locked(address, false);
}

uint8_t can_controller_model::mode() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_mode;
}

uint32_t can_controller_model::bit_rate() {
  std::lock_guard<std::mutex> lk(m_lock);
  return bit_rate_locked();
}

uint32_t can_controller_model::tec() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tec;
}

uint32_t can_controller_model::rec() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_rec;
}

bool can_controller_model::bus_off() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_bus_off;
}

uint32_t can_controller_model::resets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_resets;
}

uint64_t can_controller_model::instructions() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_instructions;
}

uint64_t can_controller_model::frames_sent() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_sent;
}

uint64_t can_controller_model::frames_received() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_received;
}

uint64_t can_controller_model::frames_lost() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_lost;
}

uint64_t can_controller_model::pending_buffer_writes() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_pending_writes;
}

void can_controller_model::set_absent(bool on) {
  std::unique_lock<std::mutex> lk(m_lock);
  m_absent = on;
  finish(lk);
}

void can_controller_model::set_mode_delay(uint32_t reads) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_mode_delay = reads;
}

void can_controller_model::set_error_counters(uint32_t tec, uint32_t rec) {
  std::unique_lock<std::mutex> lk(m_lock);
  uint8_t before = eflg_locked();
  m_tec = tec;
  m_rec = rec;
  m_bus_off = tec > 255;
  error_state_changed_locked(before);
  finish(lk);
}

void can_controller_model::set_clock(uint32_t hz) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_clock = hz ? hz : CLOCK;
}

}  // namespace board
