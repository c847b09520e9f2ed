// A CAN driver moves frames between the CAN bus objects attached to it and
// one piece of hardware.
#pragma once

#include <cstdint>

class can_bus;
struct can_packet;

class can_driver {
 public:
  can_driver() = default;
  virtual ~can_driver();
  can_driver(const can_driver&) = delete;
  can_driver& operator=(const can_driver&) = delete;

  // Sends one frame: 1 accepted, 0 refused. Channel 0 is the driver's
  // default channel.
  virtual uint32_t Send(uint32_t id, uint32_t remote, uint32_t length, const uint8_t* data, uint32_t channel) = 0;
  // 1 and a frame, or 0 when none was received.
  virtual uint32_t ReadFrame(uint32_t* id, uint8_t* flags, uint8_t* length, uint8_t data[8]) = 0;
  virtual uint32_t Initialize(uint32_t defaultChannel, uint32_t extendedIds, uint32_t third) = 0;

  // Attaches a bus that gets every received frame. Refuses a null bus, one
  // without a name and one named like an attached bus.
  uint32_t AttachNode(can_bus* node);
  // Detaches a bus (when it goes away).
  void DetachNode(can_bus* node);
  uint32_t NodeCount() const { return m_nodeCount; }

  uint32_t m_packetsSent = 0;
  uint32_t m_packetsReceived = 0;
  uint32_t m_streamErrors = 0;  // errors (the EPLD driver: of its attached module-bus stream)
  uint32_t m_bytesLost = 0;     // bytes dropped at a full packet ring (EPLD driver)

 protected:
  // Hands a received frame to every attached bus (interrupt context).
  void DeliverToNodes(const can_packet& packet);

 private:
  can_bus* m_firstNode = nullptr;
  uint32_t m_nodeCount = 0;
};
