// The module-bus frame: everything that crosses the EPLD's byte FIFO to and
// from the display modules' link is framed alike.
//
//   0x55 0xAA kind length data... checksum
//
// The kind byte's bits 0-5 select the packet kind; for the control kinds
// bits 6-7 carry a sender or channel number. The length byte's meaning and
// the number of data bytes follow from the kind (module_bus_length_rule).
// All bytes of a frame, syncs and checksum included, add up to 0 mod 256.
#pragma once

#include <cstdint>

namespace module_bus {

constexpr uint8_t SYNC1 = 0x55;
constexpr uint8_t SYNC2 = 0xAA;
// Bytes around the data: two syncs, kind, length, checksum.
constexpr uint32_t FRAME_OVERHEAD = 5;
// The longest frame: a stream packet of 255 data bytes.
constexpr uint32_t MAX_FRAME = FRAME_OVERHEAD + 255;

// Whole kind bytes of the CAN frame packets.
constexpr uint8_t KIND_CAN11 = 0x01;
constexpr uint8_t KIND_CAN29 = 0x02;
// Kinds (bits 0-5) of the control and stream packets.
enum : uint8_t {
  KIND_IDENTIFY = 5,
  KIND_CONFIGURATION = 10,
  KIND_RESET = 15,
  KIND_CONTROL_20 = 20,
  KIND_CONTROL_25 = 25,
  KIND_TEST_DONE = 30,
  KIND_LINK_RATE = 40,
  KIND_STREAM_DRIVER = 50,
  KIND_STREAM_LAPTOP = 51,
};

constexpr uint8_t kind_of(uint8_t kind_byte) { return kind_byte & 0x3F; }
constexpr uint8_t sender_of(uint8_t kind_byte) { return kind_byte >> 6; }
constexpr uint8_t kind_byte(uint8_t kind, uint8_t sender) { return static_cast<uint8_t>(sender << 6 | (kind & 0x3F)); }

enum class length_rule : uint8_t { ok, too_long, not_accepted };

// The data bytes a frame of this kind byte and length byte carries, as the
// receiver applies it.
length_rule data_length(uint8_t kind_byte, uint8_t length_byte, uint32_t* n);

// The checksum byte that makes the n bytes and it add up to 0.
uint8_t checksum(const uint8_t* bytes, uint32_t n);

// Builds a frame with the length byte `length_byte` and n data bytes into
// out (room for n + 5 bytes): its size, or 0 when it does not fit.
uint32_t build(uint8_t kind_byte, uint8_t length_byte, const uint8_t* data, uint32_t n, uint8_t* out,
               uint32_t room);

// The controller's requests to the distribution board.
// Configuration request (kind 5, sender 3): 55 AA C5 00 3C.
constexpr uint8_t CONFIGURATION_REQUEST[] = {0x55, 0xAA, 0xC5, 0x00, 0x3C};
// Result request of a class-2 pixel test (kind 30, sender 1): 55 AA 5E 00 A3.
constexpr uint8_t RESULT_REQUEST[] = {0x55, 0xAA, 0x5E, 0x00, 0xA3};
// Link-rate frame (kind 40, sender 1) for a rate in bits per second: 6
// bytes into out; 0 for a rate of 0.
uint32_t build_link_rate(uint32_t rate, uint8_t out[6]);

}  // namespace module_bus
