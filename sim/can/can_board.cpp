#include "sim/can/can_board.h"

namespace sim {

namespace {
constexpr uint32_t kReplyOffset = 128;
}

can_board::can_board(board::can_wire& wire, uint32_t address, uint16_t firmware, uint32_t rate)
    : m_wire(wire), m_address(address), m_firmware(firmware), m_rate(rate) {
  m_wire.attach(this);
}

can_board::~can_board() { m_wire.detach(this); }

bool can_board::acknowledges(uint32_t rate) { return m_rate == 0 || rate == 0 || rate == m_rate; }

void can_board::set_reading(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_reading.assign(7, 0);
  for (size_t i = 0; i < bytes.size() && i < 7; ++i) m_reading[i] = bytes[i];
}

std::vector<board::can_frame> can_board::received() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_received;
}

void can_board::answer(const board::can_frame& reply) {
  // Sent from inside the delivery: the wire queues it and delivers it next.
  m_wire.transmit(this, reply, m_rate);
}

void can_board::on_frame(const board::can_frame& f, uint32_t rate) {
  if (!acknowledges(rate) || f.id != m_address || f.remote) return;
  ++m_frames;
  std::vector<uint8_t> reading;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_received.push_back(f);
    reading = m_reading;
  }
  if (m_silent) return;
  board::can_frame reply;
  reply.id = m_address + kReplyOffset;
  reply.extended = f.extended;
  reply.dlc = 8;
  if (f.dlc >= 3 && f.data[0] == 0x02 && f.data[1] == 0x01 && f.data[2] == 0x01) {
    ++m_identifies;
    uint8_t d[8] = {0x42, 0x01, 0x01, 0x00, 0x00, static_cast<uint8_t>(m_firmware >> 8),
                    static_cast<uint8_t>(m_firmware), 0x00};
    for (int i = 0; i < 8; ++i) reply.data[i] = d[i];
    answer(reply);
  } else if (f.dlc >= 3 && f.data[0] == 0x00 && f.data[1] == 0x01 && f.data[2] == 0x01) {
    reply.data[0] = 0x40;
    for (int i = 0; i < 7; ++i) reply.data[1 + i] = reading[i];
    answer(reply);
  } else if (on_command && on_command(f, &reply)) {
    answer(reply);
  }
}

}  // namespace sim
