// The SNTP message (RFC 4330 layout): 48 bytes on the wire, big-endian,
// then a key identifier and digest that this client never sends.
#pragma once

#include <cstdint>

constexpr uint32_t NTP_WIRE_SIZE = 48;
constexpr uint32_t NTP_UNIX_OFFSET = 2208988800u;  // 1900-01-01 to 1970-01-01, seconds
constexpr uint16_t NTP_PORT = 123;

enum ntp_mode : uint8_t { NTP_MODE_CLIENT = 3, NTP_MODE_SERVER = 4 };

struct ntp_timestamp {
  uint32_t seconds;
  uint32_t fraction;
  bool operator==(const ntp_timestamp&) const = default;
  bool zero() const { return seconds == 0 && fraction == 0; }
};

struct ntp_packet {
  uint8_t li_vn_mode;  // leap indicator (2 bits), version (3), mode (3)
  uint8_t stratum;
  uint8_t poll;
  uint8_t precision;
  uint32_t root_delay;
  uint32_t root_dispersion;
  uint8_t reference_id[4];
  ntp_timestamp reference;
  ntp_timestamp originate;
  ntp_timestamp receive;
  ntp_timestamp transmit;
  uint32_t key_id;
  uint8_t digest[16];

  uint8_t mode() const { return li_vn_mode & 0x07; }
};

// The first 48 bytes.
void ntp_encode(const ntp_packet& packet, uint8_t out[NTP_WIRE_SIZE]);
// Reads a packet; false (and nothing read) when fewer than 48 bytes came.
bool ntp_decode(const uint8_t* bytes, uint32_t length, ntp_packet* out);
