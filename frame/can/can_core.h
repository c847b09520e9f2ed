// The hub of the CAN stack: every bus and every device by unique name.
// Devices are attached to the bus whose name they give, and a frame that a
// bus receives goes to that bus's devices.
#pragma once

#include <cstdint>

#include "frame/can/can_packet.h"

class can_bus;
class can_device;

class can_core {
 public:
  can_core() = default;
  virtual ~can_core();
  can_core(const can_core&) = delete;
  can_core& operator=(const can_core&) = delete;

  // 0 for a bus without a name or named like a registered one. The
  // registered devices of that bus name are attached to it.
  uint32_t register_bus(can_bus* bus);
  // A bus that goes away.
  uint32_t unregister_bus(can_bus* bus);
  // 0 for a device without a name or named like a registered one; the
  // device is attached to the registered bus of its bus name, if any.
  uint32_t register_device(can_device* device);
  uint32_t unregister_device(can_device* device);

  // A frame received by bus (interrupt context): to each device of that bus
  // name that accepts it, in registration order.
  void dispatch(can_bus* bus, const can_packet& packet);

  // Adds a frame to the mail being assembled on a controller bus: 1 and the
  // mail when it is complete; 0 on any other bus.
  uint32_t assemble_mail(can_bus* bus, const can_packet& packet, can_mail* mail);

  can_bus* find_bus(const char* name) const;
  can_device* find_device(const char* name) const;
  uint32_t bus_count() const { return m_busCount; }
  uint32_t device_count() const { return m_deviceCount; }

  // The first five counters, one a line.
  static void print_counters(const can_device& device);
  static void print_counters(const can_bus& bus);

 private:
  can_bus* m_firstBus = nullptr;
  uint32_t m_busCount = 0;
  can_device* m_firstDevice = nullptr;
  uint32_t m_deviceCount = 0;
};
