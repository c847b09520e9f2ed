// What the CAN sensor and I/O-board peripherals share: a CPeripheral that is
// also a node on a sensor bus. The record's selector picks the bus driver by
// name, its bus field the channel; frames to the board carry the board's
// address, a command byte and 01 01; the board answers from its address plus
// 0x80 with the reply code in data byte 0.
#pragma once

#include <cstdint>

#include "frame/can/can_core.h"
#include "frame/can/can_device.h"
#include "frame/can/can_packet.h"
#include "frame/peripheral/peripheral.h"

// Commands and reply codes of the sensor and I/O boards.
enum : uint8_t {
  CAN_CMD_READ = 0x00,
  CAN_CMD_OUTPUTS = 0x01,
  CAN_CMD_IDENTIFY = 0x02,
  CAN_CMD_CONFIGURE = 0x03,
  CAN_CMD_DIMMING = 0x07,
  CAN_REPLY_INPUTS = 0x40,
  CAN_REPLY_IDENTIFY = 0x42,
  CAN_REPLY_CONFIGURED = 0x43,
};

class can_peripheral : public CPeripheral, public can_device {
 public:
  static constexpr uint8_t kFrameLength = 8;

  ~can_peripheral() override;

  const char* GetVersionText() override { return bus_name(); }
  uint32_t GetCanAddress() override { return address(); }
  uint8_t GetCanBus() override { return 0; }
  // CPeripheral's lines, then the device's counters.
  void ShowStatus() override;

  uint8_t Selector() const { return m_busNumber; }
  // The frame to the board: command, 01 01, then up to five more bytes.
  static can_packet Command(uint32_t address, uint8_t command, const uint8_t* rest = nullptr, uint32_t count = 0);
  uint32_t SendCommand(uint8_t command, const uint8_t* rest = nullptr, uint32_t count = 0);
  // The next queued reply that is well formed: 8 data bytes from the
  // board's reply identifier. Others are dropped with a trace. 1 and the
  // reply, 0 when the queue is empty.
  uint32_t NextReply(can_packet* reply);
  // Whether a frame may be read as a reply of this board (prints why not).
  bool WellFormed(const can_packet& packet, const char* who) const;

  // Big-endian u16 of data bytes i, i+1.
  static uint16_t Word(const can_packet& p, uint32_t i) {
    return static_cast<uint16_t>(p.data[i] << 8 | p.data[i + 1]);
  }

 protected:
  can_peripheral(uint8_t class_code, uint16_t type_id, uint32_t selector, uint32_t address, uint32_t bus);
  // Names the device after its type and registers it with the peripheral
  // task's CAN hub: 1 registered.
  uint32_t RegisterCan();
};

// False while the live list is abandoned after a kernel restart: the
// database rows and timer events of the old run are left alone.
bool peripheral_tables_live();

// The live peripheral of a type (the peripheral task's list), or null.
CPeripheral* live_peripheral(uint16_t type_id);

// The peripheral's row in the auxiliary I/O status table, kept in the first
// entry of its record's aux-io list so that a reload takes the same row.
// *row: kRowBuiltin for a built-in, else taken from the list (kRowAny when
// it is empty). 1 registered (the list saved), 0 refused.
int register_status_row(CPeripheral* p, uint32_t* row, uint32_t port_type, uint8_t direction, uint8_t resolution,
                        bool builtin = false);
