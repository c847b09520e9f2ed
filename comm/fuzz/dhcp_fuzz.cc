// Fuzz target: arbitrary bytes as a DHCP message from the network. What the
// reader accepts must build again and read back to the same fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "comm/dhcp/dhcp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  dhcp_message m{};
  if (dhcp_parse(data, static_cast<uint32_t>(size), &m) != DHCP_PARSE_OK) return 0;
  uint8_t out[DHCP_MESSAGE_MAX];
  const uint32_t n = dhcp_build(m, out, sizeof out);
  if (n == 0) std::abort();
  // Read back from a buffer of exactly its length.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[n]);
  std::memcpy(exact.get(), out, n);
  dhcp_message back{};
  if (dhcp_parse(exact.get(), n, &back) != DHCP_PARSE_OK) std::abort();
  if (back.op != m.op || back.xid != m.xid || back.flags != m.flags || back.ciaddr != m.ciaddr ||
      back.yiaddr != m.yiaddr || back.siaddr != m.siaddr || std::memcmp(back.chaddr, m.chaddr, 6) != 0 ||
      back.type != m.type || back.has_mask != m.has_mask || back.has_router != m.has_router ||
      back.has_lease != m.has_lease || back.has_server_id != m.has_server_id ||
      back.has_requested != m.has_requested || (m.has_mask && back.mask != m.mask) ||
      (m.has_router && back.router != m.router) || (m.has_lease && back.lease != m.lease) ||
      (m.has_server_id && back.server_id != m.server_id) || (m.has_requested && back.requested != m.requested))
    std::abort();
  return 0;
}
