// Fuzz target: arbitrary bytes as an SNTP reply from the network. What the
// reader accepts must encode back to the same first 48 bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "comm/sntp/ntp_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ntp_packet p{};
  if (!ntp_decode(data, static_cast<uint32_t>(size), &p)) {
    if (size >= NTP_WIRE_SIZE) std::abort();
    return 0;
  }
  if (size < NTP_WIRE_SIZE) std::abort();
  uint8_t out[NTP_WIRE_SIZE];
  ntp_encode(p, out);
  if (std::memcmp(out, data, NTP_WIRE_SIZE) != 0) std::abort();
  return 0;
}
