#include "frame/can/can_bus.h"

#include <cstring>

#include "frame/can/can_core.h"
#include "frame/can/can_device.h"
#include "frame/can/can_driver.h"
#include "frame/os/os.h"

namespace {
// Every bus runs its driver with default channel 0 and 29-bit identifiers.
constexpr uint32_t kDefaultChannel = 0, kExtendedIds = 1, kThird = 100;
}  // namespace

can_bus::~can_bus() {
  if (m_hub) m_hub->unregister_bus(this);
  if (m_driver) m_driver->DetachNode(this);
  if (m_open) os_mutex_delete(&m_mutex);
}

uint32_t can_bus::open(const char* name, can_driver* driver) {
  if (!name || !name[0] || !driver || m_open) return 0;
  std::strncpy(m_name, name, NAME_SIZE - 1);
  m_name[NAME_SIZE - 1] = 0;
  if (os_mutex_create(&m_mutex, m_name, TX_INHERIT) != OS_SUCCESS) return 0;
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) != OS_SUCCESS) {
    os_mutex_delete(&m_mutex);
    return 0;
  }
  if (m_driver && m_driver != driver) m_driver->DetachNode(this);
  m_driver = driver;
  driver->AttachNode(this);
  driver->Initialize(kDefaultChannel, kExtendedIds, kThird);
  m_packetsSent = m_packetsDelivered = m_deliveriesRefused = m_sendFailures = m_serviceCalls = 0;
  os_mutex_put(&m_mutex);
  m_open = 1;
  return 1;
}

uint32_t can_bus::close() {
  if (!m_open) return 0;
  os_mutex_delete(&m_mutex);
  m_open = 0;
  return 1;
}

uint32_t can_bus::send(const can_packet& packet, can_device* device) {
  if (!m_open || !m_driver) return 0;
  uint32_t id = m_rawIds ? packet.id : packet.id + CAN_REPLY_OFFSET;
  uint32_t sent = 0;
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) == OS_SUCCESS) {
    sent = m_driver->Send(id, packet.flags & CAN_FLAG_REMOTE, packet.length, packet.data,
                          device ? device->channel() : 0);
    os_mutex_put(&m_mutex);
  }
  if (!sent) {
    ++m_sendFailures;
    return 0;
  }
  ++m_packetsSent;
  return 1;
}

uint32_t can_bus::receive(can_packet* packet) {
  if (!m_open || !m_driver || !packet) return 0;
  packet->channel = 0;
  uint32_t got = 0;
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) == OS_SUCCESS) {
    got = m_driver->ReadFrame(&packet->id, &packet->flags, &packet->length, packet->data);
    os_mutex_put(&m_mutex);
  }
  return got ? 1 : 0;
}

void can_bus::deliver(const can_packet& packet) {
  if (!m_open || !m_hub) {
    ++m_deliveriesRefused;
    return;
  }
  if (!owns_address(packet)) return;
  ++m_packetsDelivered;
  m_hub->dispatch(this, packet);
}

void can_bus::service() {
  if (!m_open || !m_driver) return;
  ++m_serviceCalls;
  if (os_mutex_get(&m_mutex, OS_WAIT_FOREVER) != OS_SUCCESS) return;
  m_driver->Initialize(kDefaultChannel, kExtendedIds, kThird);
  os_mutex_put(&m_mutex);
}

uint32_t sensor_bus::owns_address(const can_packet& packet) {
  return packet.id >= CAN_SENSOR_ID_LOW && packet.id < CAN_SENSOR_ID_END;
}

uint32_t controller_bus::owns_address(const can_packet& packet) {
  return packet.id >= CAN_CONTROLLER_ID_LOW && packet.id < CAN_CONTROLLER_ID_END;
}
