#include "display/modbus/module_bus_frame.h"

namespace module_bus {

length_rule data_length(uint8_t kind_byte, uint8_t length_byte, uint32_t* n) {
  uint32_t count = 0;
  length_rule rule = length_rule::ok;
  if (kind_byte == KIND_CAN11) {
    count = (length_byte & 0x0Fu) + 2;
    if (count > 10) rule = length_rule::too_long;
  } else if (kind_byte == KIND_CAN29) {
    count = (length_byte & 0x0Fu) + 4;
    if (count > 12) rule = length_rule::too_long;
  } else {
    switch (kind_of(kind_byte)) {
      case KIND_IDENTIFY:
      case KIND_CONFIGURATION:
      case KIND_RESET:
      case KIND_CONTROL_20:
      case KIND_CONTROL_25:
      case KIND_TEST_DONE:
        count = length_byte;
        if (count > 8) rule = length_rule::too_long;
        break;
      case KIND_STREAM_DRIVER:
      case KIND_STREAM_LAPTOP:
        count = length_byte;
        break;
      default:
        rule = length_rule::not_accepted;
        break;
    }
  }
  if (n) *n = count;
  return rule;
}

uint8_t checksum(const uint8_t* bytes, uint32_t n) {
  uint8_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return static_cast<uint8_t>(0 - sum);
}

uint32_t build(uint8_t kind_byte, uint8_t length_byte, const uint8_t* data, uint32_t n, uint8_t* out,
               uint32_t room) {
  if (!out || (n && !data) || n > 255 || room < n + FRAME_OVERHEAD) return 0;
  out[0] = SYNC1;
  out[1] = SYNC2;
  out[2] = kind_byte;
  out[3] = length_byte;
  for (uint32_t i = 0; i < n; ++i) out[4 + i] = data[i];
  out[4 + n] = checksum(out, 4 + n);
  return n + FRAME_OVERHEAD;
}

uint32_t build_link_rate(uint32_t rate, uint8_t out[6]) {
  if (!rate) return 0;
  const uint8_t divisor = static_cast<uint8_t>(115200 / rate);
  return build(kind_byte(KIND_LINK_RATE, 1), 1, &divisor, 1, out, 6);
}

}  // namespace module_bus
