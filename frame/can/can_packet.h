// A CAN frame as the CAN stack passes it around, the multi-frame mail of the
// controller bus, and the identifier ranges that decide which bus a received
// frame belongs to.
#pragma once

#include <cstdint>

enum : uint8_t {
  CAN_FLAG_DATA = 0,
  CAN_FLAG_REMOTE = 1,
};

// Identifier ranges.
constexpr uint32_t CAN_SENSOR_ID_LOW = 0x42000;       // sensor-bus traffic: [0x42000, 0x5B000)
constexpr uint32_t CAN_SENSOR_ID_END = 0x5B000;
constexpr uint32_t CAN_CONTROLLER_ID_LOW = 0x5B000;   // controller-bus traffic: [0x5B000, 0x5BFFF)
constexpr uint32_t CAN_CONTROLLER_ID_END = 0x5BFFF;
constexpr uint32_t CAN_MAIL_ID = 0x5B001;             // every frame of a mail
// Peripherals answer the controller with their address plus this offset.
constexpr uint32_t CAN_REPLY_OFFSET = 128;

struct can_packet {
  uint32_t id = 0;       // 11 or 29 significant bits
  uint8_t flags = 0;     // CAN_FLAG_REMOTE for a remote frame
  uint8_t length = 0;    // 0-8
  uint8_t data[8] = {};
  uint8_t channel = 0;   // bus channel: 0 on the CAN controller's bus, the EPLD channel otherwise
  uint8_t zero = 0;

  can_packet() = default;
  // Copying takes identifier, flags, length and the data bytes of that
  // length; the channel stays with the receiving packet (0 for a new one).
  can_packet(const can_packet& other) { clone(other); }
  can_packet& operator=(const can_packet& other) {
    clone(other);
    return *this;
  }
  void clone(const can_packet& other);
};

static_assert(sizeof(can_packet) == 16, "a CAN packet is 16 bytes");

// A message between two controllers, carried by the controller bus in up to
// five frames.
constexpr uint32_t CAN_MAIL_PAYLOAD = 20;

struct can_mail {
  uint8_t header = 0;
  uint8_t destination = 0;  // 0-15
  uint16_t type = 0;
  uint16_t length = 0;      // payload bytes, at most CAN_MAIL_PAYLOAD
  uint8_t payload[CAN_MAIL_PAYLOAD] = {};
};
