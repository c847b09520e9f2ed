#include "sim/can/field_board.h"

namespace sim {

field_board::field_board(board::can_wire& wire, uint32_t address, uint16_t firmware, bool io, uint32_t rate)
    : m_wire(wire), m_address(address), m_firmware(firmware), m_io(io), m_rate(rate) {
  m_wire.attach(this);
}

field_board::~field_board() { m_wire.detach(this); }

bool field_board::acknowledges(uint32_t rate) { return m_rate == 0 || rate == 0 || rate == m_rate; }

void field_board::set_reading(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_reading.assign(7, 0);
  for (size_t i = 0; i < bytes.size() && i < 7; ++i) m_reading[i] = bytes[i];
}

void field_board::set_input(uint32_t point, bool on) {
  if (point < 24 || point >= 64) return;
  const uint8_t bit = static_cast<uint8_t>(1u << (point % 8));
  if (on)
    m_inputs[point / 8] |= bit;
  else
    m_inputs[point / 8] &= static_cast<uint8_t>(~bit);
}

std::vector<board::can_frame> field_board::received() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_received;
}

std::vector<uint8_t> field_board::commands() {
  std::vector<uint8_t> out;
  for (const board::can_frame& f : received()) out.push_back(f.data[0]);
  return out;
}

void field_board::clear() {
  std::lock_guard<std::mutex> lk(m_lock);
  m_received.clear();
}

void field_board::answer(uint8_t code, const uint8_t* rest) {
  board::can_frame reply;
  reply.id = m_address + m_offset;
  reply.extended = true;
  reply.dlc = m_dlc;
  reply.data[0] = code;
  for (int i = 0; i < 7; ++i) reply.data[1 + i] = rest[i];
  // Sent from inside the delivery: the wire queues it and delivers it next.
  m_wire.transmit(this, reply, m_rate);
}

void field_board::on_frame(const board::can_frame& f, uint32_t rate) {
  if (!acknowledges(rate) || f.id != m_address || f.remote) return;
  ++m_frames;
  std::vector<uint8_t> reading;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_received.push_back(f);
    reading = m_reading;
  }
  if (f.dlc < 3 || f.data[1] != 0x01 || f.data[2] != 0x01) return;
  const uint8_t command = f.data[0];
  // An AC board's frames carry a marker in byte 5, not port 5's outputs.
  if (m_ac && (f.dlc < 6 || f.data[5] != AC_MARKER)) ++m_unmarked;
  if (m_io && command == 0x01)
    for (int k = 3; k < 8; ++k)
      if (!(m_ac && k == 5)) m_outputs[k] = f.data[k];
  if (m_silent) return;
  uint8_t rest[7] = {};
  switch (command) {
    case 0x02: {
      const uint16_t fw = m_firmware;
      rest[0] = rest[1] = 0x01;
      rest[4] = static_cast<uint8_t>(fw >> 8);
      rest[5] = static_cast<uint8_t>(fw);
      answer(0x42, rest);
      return;
    }
    case 0x03:
      if (!m_ack) return;
      rest[0] = rest[1] = 0x01;
      answer(0x43, rest);
      return;
    case 0x00:
    case 0x01:
    case 0x07:
      if (m_io) {
        rest[0] = rest[1] = 0x01;
        for (int k = 3; k < 8; ++k) rest[k - 1] = static_cast<uint8_t>(m_inputs[k] | m_outputs[k]);
      } else {
        for (int i = 0; i < 7; ++i) rest[i] = reading[i];
      }
      answer(m_readCode ? m_readCode.load() : 0x40, rest);
      return;
    default:
      return;
  }
}

}  // namespace sim
