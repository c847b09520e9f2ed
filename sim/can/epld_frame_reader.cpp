#include "sim/can/epld_frame_reader.h"

#include "frame/can/can_packet.h"

namespace sim {

namespace {
constexpr uint8_t kSync0 = 0x55, kSync1 = 0xAA;
constexpr uint8_t kFrame11 = 0x01, kFrame29 = 0x02;
}  // namespace

void epld_frame_reader::ReceiveByte(uint8_t b) {
  if (m_bytes.empty() && b != kSync0) {
    ++m_errors;
    return;
  }
  if (m_bytes.size() == 1 && b != kSync1) {
    m_bytes.clear();
    ++m_errors;
    if (b == kSync0) m_bytes.push_back(b);
    return;
  }
  m_bytes.push_back(b);
  if (m_bytes.size() < 4) return;
  const uint8_t kind = m_bytes[2];
  const uint32_t length = m_bytes[3] & 0x0F;
  if ((kind != kFrame11 && kind != kFrame29) || length > 8) {
    m_bytes.clear();
    ++m_errors;
    return;
  }
  const size_t whole = 4 + (kind == kFrame29 ? 4 : 2) + length + 1;
  if (m_bytes.size() < whole) return;
  Packet();
  m_bytes.clear();
}

void epld_frame_reader::Packet() {
  uint8_t sum = 0;
  for (uint8_t b : m_bytes) sum = static_cast<uint8_t>(sum + b);
  if (sum != 0) {
    ++m_errors;
    return;
  }
  can_packet p;
  const uint8_t* d = &m_bytes[4];
  if (m_bytes[2] == kFrame29) {
    p.id = static_cast<uint32_t>(d[0]) << 21 | (d[1] & 0xE0u) << 13 | (d[1] & 0x07u) << 15 |
           static_cast<uint32_t>(d[2]) << 7 | d[3] >> 1;
    p.flags = d[3] & 1 ? CAN_FLAG_REMOTE : CAN_FLAG_DATA;
    d += 4;
  } else {
    p.id = static_cast<uint32_t>(d[0]) << 3 | d[1] >> 5;
    p.flags = d[1] & 0x10 ? CAN_FLAG_REMOTE : CAN_FLAG_DATA;
    d += 2;
  }
  p.length = m_bytes[3] & 0x0F;
  for (uint8_t i = 0; i < p.length; ++i) p.data[i] = d[i];
  p.channel = m_bytes[3] >> 4;
  ++m_frames;
  m_driver.DispatchToNodes(p);
}

}  // namespace sim
