#include "comm/sntp/ntp_packet.h"

#include <cstring>

namespace {

void put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

uint32_t get32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void put_ts(uint8_t* p, const ntp_timestamp& t) {
  put32(p, t.seconds);
  put32(p + 4, t.fraction);
}

ntp_timestamp get_ts(const uint8_t* p) { return {get32(p), get32(p + 4)}; }

}  // namespace

void ntp_encode(const ntp_packet& packet, uint8_t out[NTP_WIRE_SIZE]) {
  out[0] = packet.li_vn_mode;
  out[1] = packet.stratum;
  out[2] = packet.poll;
  out[3] = packet.precision;
  put32(out + 4, packet.root_delay);
  put32(out + 8, packet.root_dispersion);
  std::memcpy(out + 12, packet.reference_id, 4);
  put_ts(out + 16, packet.reference);
  put_ts(out + 24, packet.originate);
  put_ts(out + 32, packet.receive);
  put_ts(out + 40, packet.transmit);
}

bool ntp_decode(const uint8_t* bytes, uint32_t length, ntp_packet* out) {
  if (!bytes || !out || length < NTP_WIRE_SIZE) return false;
  ntp_packet p{};
  p.li_vn_mode = bytes[0];
  p.stratum = bytes[1];
  p.poll = bytes[2];
  p.precision = bytes[3];
  p.root_delay = get32(bytes + 4);
  p.root_dispersion = get32(bytes + 8);
  std::memcpy(p.reference_id, bytes + 12, 4);
  p.reference = get_ts(bytes + 16);
  p.originate = get_ts(bytes + 24);
  p.receive = get_ts(bytes + 32);
  p.transmit = get_ts(bytes + 40);
  *out = p;
  return true;
}
