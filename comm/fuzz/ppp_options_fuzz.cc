// Fuzz target: arbitrary bytes as the options of a peer's LCP or IPCP
// configure-request. The first byte picks the protocol (bit 0) and whether
// CHAP is asked for (bit 1); the rest is the option list, in a packet of
// exactly its size. The lists of options to nak or reject never overrun,
// and a request taken as good leaves nothing to nak or reject.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "comm/ppp/ppp_link.h"
#include "comm/ppp/ppp_negotiation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 1500) return 0;
  static ppp_link* link = new ppp_link();
  link->chap_enabled = (data[0] >> 1) & 1;
  const uint32_t n = static_cast<uint32_t>(size - 1);
  bool malformed = false;
  bool good = false;
  if (data[0] & 1) {
    std::unique_ptr<uint8_t[]> options(new uint8_t[n ? n : 1]);
    std::memcpy(options.get(), data + 1, n);
    good = ipcp_parse_configure_request(link, options.get(), n, &malformed);
  } else {
    // Code, identifier and length ahead of the options.
    std::unique_ptr<uint8_t[]> packet(new uint8_t[n + 4]);
    packet[0] = 1;
    packet[1] = 1;
    packet[2] = static_cast<uint8_t>((n + 4) >> 8);
    packet[3] = static_cast<uint8_t>(n + 4);
    std::memcpy(packet.get() + 4, data + 1, n);
    link->lcp_packet = packet.get();
    link->lcp_length = static_cast<uint16_t>(n + 4);
    good = lcp_parse_configure_request(link, &malformed);
    link->lcp_packet = nullptr;
    if (link->peer_mru > 1500) std::abort();
    if (good && (link->nak_list[0] != 0 || link->reject_list[0] != 0)) std::abort();
  }
  if (link->nak_list[0] > PPP_LIST_SIZE - 1 || link->reject_list[0] > PPP_LIST_SIZE - 1) std::abort();
  if (good && malformed) std::abort();
  return 0;
}
