#include "frame/can/can_device.h"

#include <cstring>

#include "frame/can/can_bus.h"
#include "frame/can/can_core.h"
#include "tx_api.h"

namespace {

void copy_name(char* to, const char* from, uint32_t size) {
  std::strncpy(to, from ? from : "", size - 1);
  to[size - 1] = 0;
}

}  // namespace

can_device::can_device() { m_queue.open(QUEUE_SIZE); }

can_device::~can_device() {
  // Never left in a hub whose interrupt path could still reach it.
  if (m_hub) m_hub->unregister_device(this);
  m_queue.close();
}

void can_device::set_name(const char* name) { copy_name(m_name, name, NAME_SIZE); }

void can_device::set_bus_name(const char* name) { copy_name(m_busName, name, NAME_SIZE); }

bool can_device::address_matches(const can_packet& packet) const {
  uint32_t address = m_offsetIds ? packet.id - CAN_REPLY_OFFSET : packet.id;
  return address == m_address || (address >= m_lowest && address <= m_highest);
}

uint32_t can_device::accept(const can_packet& packet) {
  return address_matches(packet) && packet.channel == m_channel;
}

uint32_t can_device::receive(const can_packet& packet) {
  if (!filter(packet)) {
    ++m_packetsRejected;
    return 0;
  }
  if (!m_queue.push(packet)) {
    ++m_packetsDropped;
    return 0;
  }
  ++m_packetsReceived;
  return 1;
}

uint32_t can_device::send(const can_packet& packet) {
  if (!m_bus) return 0;
  if (m_bus->send(packet, this)) {
    ++m_packetsSent;
    return 1;
  }
  ++m_sendFailures;
  return 0;
}

void can_device::service() {
  if (m_bus) m_bus->service();
}

uint32_t can_device::read(can_packet* packet) {
  if (!packet) return 0;
  UINT posture = tx_interrupt_control(TX_INT_DISABLE);
  uint32_t got = m_queue.pop(*packet);
  tx_interrupt_control(posture);
  return got;
}
