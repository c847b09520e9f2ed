// One node on a CAN bus: its own address and accepted range, its bus
// channel, a receive queue of 10 packets that the driver's interrupt path
// fills and its owner's task empties, and counters. The second base of every
// CAN peripheral.
#pragma once

#include <cstdint>

#include "frame/can/can_packet.h"
#include "frame/can/fifo.h"

class can_bus;
class can_core;

class can_device {
 public:
  static constexpr uint32_t NAME_SIZE = 40;
  static constexpr uint32_t QUEUE_SIZE = 10;

  can_device();
  virtual ~can_device();
  can_device(const can_device&) = delete;
  can_device& operator=(const can_device&) = delete;

  virtual void set_bus(can_bus* bus) { m_bus = bus; }
  virtual void unset_bus() {}
  // The packet is addressed to this device: its identifier (less the reply
  // offset while offset identifiers are on) is the own address or in the
  // accepted range, and it came on the device's channel.
  virtual uint32_t accept(const can_packet& packet);
  // Queues an accepted packet (interrupt context): 1 queued, 0 filtered out
  // or dropped at a full queue.
  virtual uint32_t receive(const can_packet& packet);
  virtual uint32_t filter(const can_packet& packet) { return 1; }

  // Sends through the device's bus on its channel.
  uint32_t send(const can_packet& packet);
  // Asks the bus to re-initialise its driver.
  void service();
  // Takes the oldest queued packet (task side; masks external interrupts).
  uint32_t read(can_packet* packet);

  void set_name(const char* name);
  void set_bus_name(const char* name);
  const char* name() const { return m_name; }
  const char* bus_name() const { return m_busName; }
  can_bus* bus() const { return m_bus; }
  can_core* hub() const { return m_hub; }

  uint8_t channel() const { return m_channel; }
  void set_channel(uint8_t channel) { m_channel = channel; }
  uint32_t address() const { return m_address; }
  void set_address(uint32_t address) { m_address = address; }
  void set_range(uint32_t lowest, uint32_t highest) {
    m_lowest = lowest;
    m_highest = highest;
  }
  uint32_t lowest() const { return m_lowest; }
  uint32_t highest() const { return m_highest; }
  bool offset_ids() const { return m_offsetIds != 0; }
  void set_offset_ids(bool on) { m_offsetIds = on ? 1 : 0; }

  uint32_t m_packetsSent = 0;
  uint32_t m_packetsReceived = 0;
  uint32_t m_packetsDropped = 0;
  uint32_t m_packetsRejected = 0;
  uint32_t m_sendFailures = 0;
  // Bytes the owners keep with the device: the bus number their records use
  // and the controller link's primary flag.
  uint8_t m_busNumber = 0;
  uint8_t m_primary = 0;
  impl::fifo<can_packet> m_queue;

 protected:
  // Address matching of accept, without the channel.
  bool address_matches(const can_packet& packet) const;

 private:
  friend class can_core;

  char m_name[NAME_SIZE] = {};
  char m_busName[NAME_SIZE] = {};
  uint8_t m_channel = 0;
  uint8_t m_offsetIds = 1;
  uint32_t m_address = 0;
  uint32_t m_lowest = 0;
  uint32_t m_highest = 0;
  can_bus* m_bus = nullptr;
  can_core* m_hub = nullptr;
  can_device* m_nextInHub = nullptr;
};
