#include "comm/dhcp/dhcp_codec.h"

#include <cstring>

namespace {

constexpr uint32_t kChaddr = 28;
constexpr uint32_t kOptions = DHCP_FIXED + 4;
constexpr uint8_t kEthernet = 1;

uint32_t get32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The length an option must have: exactly `fixed`, or (router) a positive
// multiple of four. 0: any length.
bool length_fits(uint8_t code, uint8_t length) {
  switch (code) {
    case DHCP_OPT_TYPE:
      return length == 1;
    case DHCP_OPT_MASK:
    case DHCP_OPT_LEASE:
    case DHCP_OPT_SERVER_ID:
    case DHCP_OPT_REQUESTED_IP:
      return length == 4;
    case DHCP_OPT_ROUTER:
      return length >= 4 && length % 4 == 0;
    default:
      return true;
  }
}

}  // namespace

int dhcp_parse(const uint8_t* data, uint32_t length, dhcp_message* out) {
  if (!data || !out || length < kOptions) return DHCP_PARSE_SHORT;
  if (get32(data + DHCP_FIXED) != DHCP_MAGIC) return DHCP_PARSE_BAD_MAGIC;
  if (data[1] != kEthernet || data[2] > 16) return DHCP_PARSE_BAD_HARDWARE;
  dhcp_message m{};
  m.op = data[0];
  m.xid = get32(data + 4);
  m.flags = static_cast<uint16_t>((data[10] << 8) | data[11]);
  m.ciaddr = get32(data + 12);
  m.yiaddr = get32(data + 16);
  m.siaddr = get32(data + 20);
  std::memcpy(m.chaddr, data + kChaddr, sizeof m.chaddr);

  uint32_t i = kOptions;
  bool end = false;
  while (i < length) {
    const uint8_t code = data[i];
    if (code == DHCP_OPT_PAD) {
      ++i;
      continue;
    }
    if (code == DHCP_OPT_END) {
      end = true;
      break;
    }
    if (length - i < 2) return DHCP_PARSE_OPTION_OVERRUN;
    const uint8_t n = data[i + 1];
    if (length - i - 2 < n) return DHCP_PARSE_OPTION_OVERRUN;
    if (!length_fits(code, n)) return DHCP_PARSE_OPTION_LENGTH;
    const uint8_t* v = data + i + 2;
    switch (code) {
      case DHCP_OPT_TYPE:
        m.type = v[0];
        break;
      case DHCP_OPT_MASK:
        m.mask = get32(v);
        m.has_mask = true;
        break;
      case DHCP_OPT_ROUTER:
        m.router = get32(v);
        m.has_router = true;
        break;
      case DHCP_OPT_LEASE:
        m.lease = get32(v);
        m.has_lease = true;
        break;
      case DHCP_OPT_SERVER_ID:
        m.server_id = get32(v);
        m.has_server_id = true;
        break;
      case DHCP_OPT_REQUESTED_IP:
        m.requested = get32(v);
        m.has_requested = true;
        break;
      default:
        break;
    }
    i += 2u + n;
  }
  if (!end) return DHCP_PARSE_NO_END;
  if (m.type == 0) return DHCP_PARSE_NO_TYPE;
  *out = m;
  return DHCP_PARSE_OK;
}

uint32_t dhcp_build(const dhcp_message& m, uint8_t* out, uint32_t size) {
  // Fixed part, magic, type (3), five 4-byte options (6 each), parameter
  // list (6), end.
  constexpr uint32_t kMost = kOptions + 3 + 5 * 6 + 6 + 1;
  if (!out || size < kMost) return 0;
  std::memset(out, 0, kMost);
  out[0] = m.op;
  out[1] = kEthernet;
  out[2] = 6;
  put32(out + 4, m.xid);
  out[10] = static_cast<uint8_t>(m.flags >> 8);
  out[11] = static_cast<uint8_t>(m.flags);
  put32(out + 12, m.ciaddr);
  put32(out + 16, m.yiaddr);
  put32(out + 20, m.siaddr);
  std::memcpy(out + kChaddr, m.chaddr, sizeof m.chaddr);
  put32(out + DHCP_FIXED, DHCP_MAGIC);
  uint32_t i = kOptions;
  out[i++] = DHCP_OPT_TYPE;
  out[i++] = 1;
  out[i++] = m.type;
  auto word = [&](uint8_t code, bool has, uint32_t value) {
    if (!has) return;
    out[i++] = code;
    out[i++] = 4;
    put32(out + i, value);
    i += 4;
  };
  word(DHCP_OPT_MASK, m.has_mask, m.mask);
  word(DHCP_OPT_ROUTER, m.has_router, m.router);
  word(DHCP_OPT_LEASE, m.has_lease, m.lease);
  word(DHCP_OPT_SERVER_ID, m.has_server_id, m.server_id);
  word(DHCP_OPT_REQUESTED_IP, m.has_requested, m.requested);
  if (m.op == DHCP_BOOTREQUEST) {
    const uint8_t wanted[] = {DHCP_OPT_MASK, DHCP_OPT_ROUTER, DHCP_OPT_LEASE, DHCP_OPT_SERVER_ID};
    out[i++] = DHCP_OPT_PARAMETERS;
    out[i++] = sizeof wanted;
    std::memcpy(out + i, wanted, sizeof wanted);
    i += sizeof wanted;
  }
  out[i++] = DHCP_OPT_END;
  return i;
}
