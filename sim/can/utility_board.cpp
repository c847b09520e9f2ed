#include "sim/can/utility_board.h"

namespace sim {

namespace {
constexpr uint32_t kReplyOffset = 128;
}

utility_board::utility_board(board::can_wire& wire, uint32_t address, uint16_t firmware, uint32_t rate)
    : can_board(wire, address, firmware, rate), m_bus(wire), m_version(firmware), m_speed(rate) {}

void utility_board::on_frame(const board::can_frame& f, uint32_t rate) {
  const bool identify = f.dlc >= 3 && f.data[0] == 0x02 && f.data[1] == 0x01 && f.data[2] == 0x01;
  if (f.id != base() || f.id == address() || f.remote || !identify || !acknowledges(rate)) {
    can_board::on_frame(f, rate);
    return;
  }
  ++m_detections;
  if (m_quiet) return;
  board::can_frame reply;
  reply.id = address() + kReplyOffset;
  reply.extended = f.extended;
  reply.dlc = 8;
  const uint8_t d[8] = {0x42, 0x01, 0x01, 0x00, 0x00, static_cast<uint8_t>(m_version >> 8),
                        static_cast<uint8_t>(m_version), 0x00};
  for (int i = 0; i < 8; ++i) reply.data[i] = d[i];
  // Sent from inside the delivery: the wire queues it and delivers it next.
  m_bus.transmit(this, reply, m_speed);
}

}  // namespace sim
