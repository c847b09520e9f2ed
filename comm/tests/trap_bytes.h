// The SNMPv1 Trap message a manager receives, built here byte by byte from
// its fields, so that a test can hold the controller's message against it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trap_bytes {

inline std::string Tlv(uint8_t tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  const size_t n = content.size();
  if (n < 128) {
    out += static_cast<char>(n);
  } else if (n < 256) {
    out += "\x81";
    out += static_cast<char>(n);
  } else {
    out += "\x82";
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n & 0xFF);
  }
  return out + content;
}

// An unsigned value in the fewest bytes, with a leading 0 where the top bit
// is set.
inline std::string Unsigned(uint8_t tag, uint32_t value) {
  std::string bytes;
  do {
    bytes.insert(bytes.begin(), static_cast<char>(value & 0xFF));
    value >>= 8;
  } while (value);
  if (static_cast<uint8_t>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
  return Tlv(tag, bytes);
}

inline std::string Oid(const std::vector<uint32_t>& subids) {
  std::string body(1, static_cast<char>(subids[0] * 40 + subids[1]));
  for (size_t i = 2; i < subids.size(); ++i) {
    uint32_t v = subids[i];
    std::string part(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) part.insert(part.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    body += part;
  }
  return Tlv(0x06, body);
}

// One varbind: the name and its encoded value.
inline std::string Varbind(const std::vector<uint32_t>& name, const std::string& value) {
  return Tlv(0x30, Oid(name) + value);
}

// SEQUENCE { version 0, community, Trap-PDU { enterprise 1.3.6.1.4.11,
// agent address, generic, specific, time-stamp, varbinds } }.
inline std::string Message(const std::string& community, const uint8_t address[4], uint32_t generic,
                           uint32_t specific, uint32_t time_stamp, const std::string& varbinds = "") {
  const std::string pdu = Oid({1, 3, 6, 1, 4, 11}) +
                          Tlv(0x40, std::string(reinterpret_cast<const char*>(address), 4)) +
                          Unsigned(0x02, generic) + Unsigned(0x02, specific) + Unsigned(0x43, time_stamp) +
                          Tlv(0x30, varbinds);
  return Tlv(0x30, Unsigned(0x02, 0) + Tlv(0x04, community) + Tlv(0xA4, pdu));
}

// The time-stamp of a trap message (every length in the short form), or -1
// when the message is not laid out as Message builds it.
inline int64_t TimeStamp(const std::string& m) {
  size_t at = 2;                                             // past the outer header
  auto skip = [&](uint8_t tag) {
    if (at + 2 > m.size() || static_cast<uint8_t>(m[at]) != tag) return false;
    at += 2 + static_cast<uint8_t>(m[at + 1]);
    return true;
  };
  if (!skip(0x02) || !skip(0x04)) return -1;
  if (at + 2 > m.size() || static_cast<uint8_t>(m[at]) != 0xA4) return -1;
  at += 2;
  if (!skip(0x06) || !skip(0x40) || !skip(0x02) || !skip(0x02)) return -1;
  if (at + 2 > m.size() || static_cast<uint8_t>(m[at]) != 0x43) return -1;
  const size_t n = static_cast<uint8_t>(m[at + 1]);
  if (n == 0 || n > 5 || at + 2 + n > m.size()) return -1;
  int64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(m[at + 2 + i]);
  return v;
}

}  // namespace trap_bytes
