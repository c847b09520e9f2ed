// A logical CAN bus on one driver: its identifier range, its mutex (named
// after the bus), open and close, send, receive and delivery of received
// frames to the hub, and counters. A sensor bus takes the sensor range; the
// controller bus takes the controller range and carries mails between two
// controllers.
#pragma once

#include <cstdint>

#include "frame/can/can_packet.h"
#include "tx_api.h"

class can_core;
class can_device;
class can_driver;

class can_bus {
 public:
  enum : uint32_t { KIND_BUS = 0, KIND_SENSOR = 1, KIND_CONTROLLER = 2 };
  static constexpr uint32_t NAME_SIZE = 40;

  can_bus() = default;
  virtual ~can_bus();
  can_bus(const can_bus&) = delete;
  can_bus& operator=(const can_bus&) = delete;

  // Attaches the bus to the driver and initialises the driver (default
  // channel 0, 29-bit identifiers). 0 without a name or driver, when open
  // already, or when the mutex cannot be created.
  virtual uint32_t open(const char* name, can_driver* driver);
  // Sends through the driver on the device's channel (0 without a device);
  // the identifier gets the reply offset unless raw identifiers are on.
  virtual uint32_t send(const can_packet& packet, can_device* device);
  // Asks the driver for a frame: 1 and the frame, 0 when none.
  virtual uint32_t receive(can_packet* packet);
  // A frame the driver received (interrupt context): to the hub when the
  // bus owns its identifier.
  virtual void deliver(const can_packet& packet);
  virtual uint32_t close();
  // Initialises the driver again (re-initialises the hardware).
  virtual void service();
  virtual uint32_t kind() { return KIND_BUS; }
  virtual uint32_t owns_address(const can_packet& packet) { return 1; }

  const char* name() const { return m_name; }
  can_core* hub() const { return m_hub; }
  can_driver* driver() const { return m_driver; }
  bool is_open() const { return m_open != 0; }
  // Raw identifiers: the controller's frames go out with the identifiers
  // given (set at construction; the controller link changes it on the
  // controller bus).
  bool raw_ids() const { return m_rawIds; }
  void set_raw_ids(bool on) { m_rawIds = on; }

  uint32_t m_packetsSent = 0;
  uint32_t m_packetsDelivered = 0;
  uint32_t m_deliveriesRefused = 0;
  uint32_t m_sendFailures = 0;
  uint32_t m_serviceCalls = 0;

 private:
  friend class can_core;
  friend class can_driver;

  char m_name[NAME_SIZE] = {};
  can_core* m_hub = nullptr;
  can_driver* m_driver = nullptr;
  TX_MUTEX m_mutex{};
  uint8_t m_open = 0;
  bool m_rawIds = true;
  can_bus* m_nextInHub = nullptr;
  can_bus* m_nextOnDriver = nullptr;
};

class sensor_bus : public can_bus {
 public:
  uint32_t kind() override { return KIND_SENSOR; }
  uint32_t owns_address(const can_packet& packet) override;
};

class controller_bus : public can_bus {
 public:
  uint32_t kind() override { return KIND_CONTROLLER; }
  uint32_t owns_address(const can_packet& packet) override;

  // Sends a mail as its frames. 1 when every frame was sent; 0 for a
  // payload above 20 bytes (nothing sent) or a failed frame.
  uint32_t send_mail(const can_mail& mail);
  // Adds one received frame to the mail in progress: 1 and the mail when it
  // is complete. A malformed frame abandons the mail in progress.
  uint32_t assemble_mail(const can_packet& packet, can_mail* mail);
  bool assembling() const { return m_received != 0; }

 private:
  void abandon();

  uint32_t m_received = 0;  // frame bits received; 0: no mail in progress
  uint32_t m_expected = 0;
  uint8_t m_total = 0;
  can_mail m_mail;
};
