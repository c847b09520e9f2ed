// DHCP messages (RFC 2131 layout, RFC 2132 options) as the client sends and
// reads them. The reader checks every option's length against the rest of
// the message and against what the option must hold before it takes a byte:
// a message with one bad option is refused whole.
#pragma once

#include <cstdint>

constexpr uint32_t DHCP_FIXED = 236;  // the fixed part, up to the options
constexpr uint32_t DHCP_MAGIC = 0x63825363;
constexpr uint32_t DHCP_MESSAGE_MAX = 576;
constexpr uint16_t DHCP_SERVER_PORT = 67;
constexpr uint16_t DHCP_CLIENT_PORT = 68;

enum dhcp_op : uint8_t { DHCP_BOOTREQUEST = 1, DHCP_BOOTREPLY = 2 };

enum dhcp_type : uint8_t {
  DHCP_DISCOVER = 1,
  DHCP_OFFER = 2,
  DHCP_REQUEST = 3,
  DHCP_DECLINE = 4,
  DHCP_ACK = 5,
  DHCP_NAK = 6,
  DHCP_RELEASE = 7,
  DHCP_INFORM = 8,
};

enum dhcp_option : uint8_t {
  DHCP_OPT_PAD = 0,
  DHCP_OPT_MASK = 1,
  DHCP_OPT_ROUTER = 3,
  DHCP_OPT_REQUESTED_IP = 50,
  DHCP_OPT_LEASE = 51,
  DHCP_OPT_TYPE = 53,
  DHCP_OPT_SERVER_ID = 54,
  DHCP_OPT_PARAMETERS = 55,
  DHCP_OPT_END = 255,
};

// Results of dhcp_parse: one per kind of fault.
enum dhcp_parse_result : int {
  DHCP_PARSE_OK = 0,
  DHCP_PARSE_SHORT,           // shorter than the fixed part and the magic cookie
  DHCP_PARSE_BAD_MAGIC,
  DHCP_PARSE_BAD_HARDWARE,    // not Ethernet, or an address length above 16
  DHCP_PARSE_OPTION_OVERRUN,  // an option's length runs past the message
  DHCP_PARSE_OPTION_LENGTH,   // a known option with a length it cannot have
  DHCP_PARSE_NO_END,          // the options stop without the end option
  DHCP_PARSE_NO_TYPE,         // no message type
};

// Fields of a message; the addresses in host order.
struct dhcp_message {
  uint8_t op;
  uint32_t xid;
  uint16_t flags;
  uint32_t ciaddr;
  uint32_t yiaddr;
  uint32_t siaddr;
  uint8_t chaddr[6];
  uint8_t type;
  // Options found (mask, router, lease, server id, requested address).
  bool has_mask, has_router, has_lease, has_server_id, has_requested;
  uint32_t mask;
  uint32_t router;  // the first router of the list
  uint32_t lease;   // seconds
  uint32_t server_id;
  uint32_t requested;
};

int dhcp_parse(const uint8_t* data, uint32_t length, dhcp_message* out);

// Writes the message with its options (type, and each has_ option) and the
// end option; the length written, 0 when `size` is too small.
uint32_t dhcp_build(const dhcp_message& message, uint8_t* out, uint32_t size);
