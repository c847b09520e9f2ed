// The EPLD's CAN packet FIFO and its CAN channels.
#include <cstring>

#include "can_models.h"

namespace board {

namespace {

constexpr size_t PACKET_LOG = 65536;

uint8_t checksum(const std::vector<uint8_t>& bytes) {
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  return static_cast<uint8_t>(0 - sum);
}

}  // namespace

epld_can_fifo::epld_can_fifo(epld_model& epld, can_wire* wires) : m_epld(epld), m_wires(wires) {
  for (unsigned k = 0; k < CHANNELS; ++k) {
    m_nodes.push_back(std::make_unique<channel_node>(*this, k));
    m_wires[k].attach(m_nodes.back().get());
  }
}

epld_can_fifo::~epld_can_fifo() {
  for (unsigned k = 0; k < CHANNELS; ++k) m_wires[k].detach(m_nodes[k].get());
}

// ------------------------------------------------------------------ registers

uint32_t epld_can_fifo::read(uint32_t offset, unsigned width) {
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i) {
    uint8_t b = 0;
    switch (offset + i) {
      case 0: {
        bool taken = false;
        {
          std::lock_guard<std::mutex> lk(m_lock);
          if (!m_rx.empty()) {
            b = m_rx.front();
            m_rx.pop_front();
            taken = true;
          } else {
            b = 0xFF;
          }
        }
        if (taken) update_pending();
        break;
      }
      case 2:
      case 3: {
        // The busy bit answers on both byte lanes of the 16-bit register.
        std::lock_guard<std::mutex> lk(m_lock);
        b = m_tx.size() >= BUSY_LEVEL ? 1 : 0;
        break;
      }
      default: break;
    }
    v = (v << 8) | b;
  }
  return v;
}

void epld_can_fifo::write(uint32_t offset, unsigned width, uint32_t value) {
  std::vector<outgoing> out;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    for (unsigned i = 0; i < width; ++i) {
      if (offset + i != 0) continue;
      uint8_t b = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
      if (m_tx.size() >= TX_DEPTH) {
        ++m_tx_overruns;
        continue;
      }
      m_tx.push_back(b);
    }
    if (!m_hold) take_locked(SIZE_MAX, &out);
  }
  send(out);
}

// ------------------------------------------------------------------ transmit side

void epld_can_fifo::take_locked(size_t max, std::vector<outgoing>* out) {
  for (size_t n = 0; n < max && !m_tx.empty(); ++n) {
    uint8_t b = m_tx.front();
    m_tx.pop_front();
    byte_locked(b, out);
  }
}

void epld_can_fifo::byte_locked(uint8_t b, std::vector<outgoing>* out) {
  size_t n = m_packet.size();
  if (n == 0) {
    if (b == 0x55)
      m_packet.push_back(b);
    else
      ++m_bad;
    return;
  }
  if (n == 1) {
    if (b == 0xAA) {
      m_packet.push_back(b);
    } else {
      ++m_bad;
      m_packet.clear();
      if (b == 0x55) m_packet.push_back(b);
    }
    return;
  }
  m_packet.push_back(b);
  if (n == 3) {
    uint8_t kind = m_packet[2];
    size_t data;
    if (kind == 0x01 || kind == 0x02) {
      uint8_t dlc = b & 0x0F;
      if (dlc > 8) {
        ++m_bad;
        m_packet.clear();
        return;
      }
      data = dlc + (kind == 0x01 ? 2 : 4);
    } else {
      data = b;
    }
    m_expected = 4 + data + 1;
    return;
  }
  if (n >= 3 && m_packet.size() == m_expected) {
    packet_locked(out);
    m_packet.clear();
  }
}

void epld_can_fifo::packet_locked(std::vector<outgoing>* out) {
  const std::vector<uint8_t>& p = m_packet;
  uint8_t sum = 0;
  for (uint8_t b : p) sum = static_cast<uint8_t>(sum + b);
  if (sum != 0) {
    ++m_bad;
    return;
  }
  m_packets.push_back(p);
  if (m_packets.size() > PACKET_LOG) m_packets.erase(m_packets.begin());
  uint8_t kind = p[2], len = p[3];
  if (kind == 0x01 || kind == 0x02) {
    outgoing o;
    o.channel = len >> 4;
    can_frame& f = o.frame;
    f.dlc = len & 0x0F;
    const uint8_t* d;
    if (kind == 0x01) {
      f.id = static_cast<uint32_t>(p[4]) << 3 | p[5] >> 5;
      f.remote = (p[5] & 0x10) != 0;
      d = &p[6];
    } else {
      f.extended = true;
      f.id = static_cast<uint32_t>(p[4]) << 21 | (p[5] & 0xE0u) << 13 | (p[5] & 0x07u) << 15 | p[6] << 7 | p[7] >> 1;
      f.remote = (p[7] & 1) != 0;
      d = &p[8];
    }
    std::memcpy(f.data, d, f.dlc);
    out->push_back(o);
  } else {
    if (kind == '2') m_stream2.append(p.begin() + 4, p.begin() + 4 + len);
    if (kind == '3') m_stream3.append(p.begin() + 4, p.begin() + 4 + len);
    outgoing o;
    o.channel = 0;
    o.link = p;
    out->push_back(o);
  }
}

void epld_can_fifo::send(const std::vector<outgoing>& out) {
  for (const outgoing& o : out) {
    if (!o.link.empty()) {
      if (on_link_packet) on_link_packet(o.link);
      continue;
    }
    m_wires[o.channel].transmit(m_nodes[o.channel].get(), o.frame, 0);
  }
}

// ------------------------------------------------------------------ receive side

void epld_can_fifo::push_rx(const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lk(m_lock);
    for (uint8_t b : bytes) {
      if (m_rx.size() >= RX_DEPTH) {
        ++m_rx_overruns;
        continue;
      }
      m_rx.push_back(b);
    }
  }
  update_pending();
}

void epld_can_fifo::update_pending() {
  bool changed;
  bool now;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    now = !m_rx.empty();
    changed = now != m_pending;
    m_pending = now;
  }
  if (changed) m_epld.set_fifo_pending(now);
}

bool epld_can_fifo::channel_node::acknowledges(uint32_t) { return m_fifo.m_epld.configured(); }

void epld_can_fifo::channel_node::on_frame(const can_frame& f, uint32_t) {
  if (!m_fifo.m_epld.configured()) return;
  uint8_t dlc = f.dlc > 8 ? 8 : f.dlc;
  std::vector<uint8_t> p = {0x55, 0xAA, static_cast<uint8_t>(f.extended ? 0x02 : 0x01),
                            static_cast<uint8_t>(m_channel << 4 | dlc)};
  if (f.extended) {
    p.push_back(static_cast<uint8_t>(f.id >> 21));
    p.push_back(static_cast<uint8_t>(((f.id >> 13) & 0xE0) | 0x18 | ((f.id >> 15) & 0x07)));
    p.push_back(static_cast<uint8_t>(f.id >> 7));
    p.push_back(static_cast<uint8_t>(((f.id << 1) & 0xFE) | (f.remote ? 1 : 0)));
  } else {
    p.push_back(static_cast<uint8_t>(f.id >> 3));
    p.push_back(static_cast<uint8_t>(((f.id << 5) & 0xE0) | (f.remote ? 0x10 : 0)));
  }
  p.insert(p.end(), f.data, f.data + dlc);
  p.push_back(checksum(p));
  m_fifo.push_rx(p);
}

// ------------------------------------------------------------------ host side

void epld_can_fifo::set_hold(bool on) {
  std::vector<outgoing> out;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_hold = on;
    if (!on) take_locked(SIZE_MAX, &out);
  }
  send(out);
}

size_t epld_can_fifo::release(size_t max) {
  std::vector<outgoing> out;
  size_t n;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    size_t before = m_tx.size();
    take_locked(max, &out);
    n = before - m_tx.size();
  }
  send(out);
  return n;
}

size_t epld_can_fifo::tx_level() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tx.size();
}

uint64_t epld_can_fifo::tx_overruns() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_tx_overruns;
}

void epld_can_fifo::inject(const std::vector<uint8_t>& bytes) { push_rx(bytes); }

size_t epld_can_fifo::rx_level() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_rx.size();
}

uint64_t epld_can_fifo::rx_overruns() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_rx_overruns;
}

std::vector<std::vector<uint8_t>> epld_can_fifo::packets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_packets;
}

std::vector<std::vector<uint8_t>> epld_can_fifo::take_packets() {
  std::lock_guard<std::mutex> lk(m_lock);
  std::vector<std::vector<uint8_t>> p;
  p.swap(m_packets);
  return p;
}

uint64_t epld_can_fifo::bad_packets() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_bad;
}

std::string epld_can_fifo::stream(char which) {
  std::lock_guard<std::mutex> lk(m_lock);
  return which == '2' ? m_stream2 : which == '3' ? m_stream3 : std::string();
}

}  // namespace board
