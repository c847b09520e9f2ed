// One module-bus frame as the stream received it. data points at the kind
// byte; length counts kind byte, length byte and data (the frame without
// its syncs and checksum).
#pragma once

#include <cstdint>

namespace disp {

class packet {
 public:
  static constexpr uint32_t CAPACITY = 1024;

  packet() = default;
  virtual ~packet() = default;
  packet(const packet&) = delete;
  packet& operator=(const packet&) = delete;

  uint8_t Kind() const { return length >= 1 ? data[0] : 0; }
  uint8_t LengthByte() const { return length >= 2 ? data[1] : 0; }
  const uint8_t* Payload() const { return data + 2; }
  uint32_t PayloadLength() const { return length >= 2 ? length - 2 : 0; }

  uint8_t* data = bytes + 2;
  uint32_t length = 0;
  uint8_t bytes[CAPACITY] = {};
};

}  // namespace disp
