#include "sim/serial/serial_device.h"

#include "board_host.h"

namespace sim {

size_t serial_device::pump() {
  if (!m_serial) return 0;
  m_serial->transmit_all();
  const std::string in = m_serial->take_received();
  receive(in);
  const std::string out = take_output();
  if (!out.empty()) m_serial->send(out);
  m_sent_total += out.size();
  return in.size();
}

uint32_t serial_device_port::PutTxByte(uint8_t byte) {
  m_sent.push_back(static_cast<char>(byte));
  m_device.receive(&byte, 1);
  return 1;
}

uint32_t serial_device_port::ReadByte(uint32_t* out) {
  if (m_pending.empty()) m_pending = m_device.take_output();
  if (m_pending.empty()) {
    if (out) *out = 0xFFFFFFFF;
    return 0;
  }
  if (out) *out = static_cast<uint8_t>(m_pending[0]);
  m_pending.erase(0, 1);
  return 1;
}

std::string serial_device_port::take_sent() {
  std::string out;
  out.swap(m_sent);
  return out;
}

}  // namespace sim
