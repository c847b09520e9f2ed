#include "sim/rdi/rdi_radio.h"

#include <cstdio>

namespace sim {

namespace rdi {

namespace {

void Put16(std::string* s, unsigned v) {
  s->push_back(static_cast<char>(v >> 8 & 0xFF));
  s->push_back(static_cast<char>(v & 0xFF));
}

void Put32(std::string* s, address v) {
  Put16(s, v >> 16);
  Put16(s, v & 0xFFFF);
}

unsigned Byte(const std::string& s, size_t i) { return static_cast<unsigned char>(s[i]); }
unsigned Get16(const std::string& s, size_t i) { return Byte(s, i) << 8 | Byte(s, i + 1); }
address Get32(const std::string& s, size_t i) { return static_cast<address>(Get16(s, i)) << 16 | Get16(s, i + 2); }

}  // namespace

std::string Xferb(const std::string& lid, unsigned length, const std::string& command) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04u", length % 10000);
  return "\x04" + command + lid + digits + "\r";
}

std::string Ack(char c) { return std::string("\x06") + c + "\n\r"; }

uint16_t UdpChecksum(address source, address destination, const std::string& udp) {
  // Sum in 32 bits, fold at the end.
  uint64_t sum = (source >> 16) + (source & 0xFFFF) + (destination >> 16) + (destination & 0xFFFF);
  sum += 17;
  sum += udp.size();
  for (size_t i = 0; i < udp.size(); ++i) sum += (i % 2 == 0) ? Byte(udp, i) << 8 : Byte(udp, i);
  while (sum > 0xFFFF) sum = (sum >> 16) + (sum & 0xFFFF);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::string Encode(const datagram& d) {
  const header& h = d.h;
  const unsigned flags = (h.more ? 0x20 : 0) | (h.number >> 8 & 0x1F);
  std::string out;
  if (h.type == 0) {
    out.push_back(0);
    Put16(&out, h.value);
    out.push_back(static_cast<char>(flags));
    out.push_back(static_cast<char>(h.number & 0xFF));
    Put32(&out, h.source);
    out.push_back(static_cast<char>(h.tag));
  } else {
    out.push_back(0x10);
    out.push_back(h.type == 1 ? 0x0B : 0x0F);
    Put32(&out, h.source);
    Put32(&out, h.destination);
    out.push_back(static_cast<char>(h.tag));
    if (h.type == 2) {
      Put16(&out, h.value);
      out.push_back(static_cast<char>(flags));
      out.push_back(static_cast<char>(h.number & 0xFF));
    }
  }
  std::string udp;
  Put16(&udp, d.source_port);
  Put16(&udp, d.destination_port);
  Put16(&udp, static_cast<unsigned>(d.data.size() + 8));
  Put16(&udp, 0);
  udp += d.data;
  const uint16_t sum = UdpChecksum(h.source, h.destination, udp);
  udp[6] = static_cast<char>(sum >> 8);
  udp[7] = static_cast<char>(sum & 0xFF);
  return out + udp;
}

bool DecodePacket(const std::string& b, event* out) {
  if (b.size() < 10) return false;
  header& h = out->packet.h;
  size_t at = 0;
  unsigned flags = 0, low = 0;
  if (Byte(b, 0) == 0) {
    h.type = 0;
    h.value = static_cast<uint16_t>(Get16(b, 1));
    flags = Byte(b, 3);
    low = Byte(b, 4);
    h.source = Get32(b, 5);
    h.tag = static_cast<uint8_t>(Byte(b, 9));
    at = 10;
  } else {
    h.type = Byte(b, 1) == 0x0B ? 1 : 2;
    at = h.type == 1 ? 11 : 15;
    if (b.size() < at) return false;
    h.source = Get32(b, 2);
    h.destination = Get32(b, 6);
    h.tag = static_cast<uint8_t>(Byte(b, 10));
    if (h.type == 2) {
      h.value = static_cast<uint16_t>(Get16(b, 11));
      flags = Byte(b, 13);
      low = Byte(b, 14);
    }
  }
  h.more = (flags & 0x20) != 0;
  h.number = (flags & 0x1F) << 8 | low;
  if (b.size() < at + 8) return false;
  const std::string udp = b.substr(at);
  out->packet.source_port = static_cast<uint16_t>(Get16(udp, 0));
  out->packet.destination_port = static_cast<uint16_t>(Get16(udp, 2));
  out->udp_length = static_cast<uint16_t>(Get16(udp, 4));
  out->checksum = static_cast<uint16_t>(Get16(udp, 6));
  out->packet.data = udp.substr(8);
  // A correct checksum sums, with everything else, to all ones.
  out->checksum_ok = out->udp_length == udp.size() && UdpChecksum(h.source, h.destination, udp) == 0;
  return true;
}

std::vector<event> decoder::feed(const std::string& bytes) {
  std::vector<event> out;
  m_pending += bytes;
  for (;;) {
    // A packet starts with 0x00 or 0x10; anything else in its place means
    // the announced packet was never sent (the transfer was given up).
    if (m_packet && !m_pending.empty() && m_pending[0] != '\x00' && m_pending[0] != '\x10') m_packet = 0;
    if (m_packet) {
      if (m_pending.size() < m_packet) break;
      event e;
      e.what = event::PACKET;
      e.raw = m_pending.substr(0, m_packet);
      if (!DecodePacket(e.raw, &e)) e.what = event::JUNK;
      m_pending.erase(0, m_packet);
      m_packet = 0;
      out.push_back(e);
      continue;
    }
    if (m_pending.empty()) break;
    const unsigned first = Byte(m_pending, 0);
    if (first == 0x06) {
      if (m_pending.size() < 4) break;
      event e;
      e.raw = m_pending.substr(0, 4);
      e.what = e.raw[2] == '\n' && e.raw[3] == '\r' ? event::ACK : event::JUNK;
      e.ack = e.raw[1];
      m_pending.erase(0, 4);
      out.push_back(e);
    } else if (first == 0x04) {
      if (m_pending.size() < 16) break;
      event e;
      e.raw = m_pending.substr(0, 16);
      e.command = e.raw.substr(1, 5);
      e.lid = e.raw.substr(6, 5);
      bool digits = e.raw[15] == '\r';
      for (int i = 11; i < 15; ++i) {
        digits = digits && e.raw[i] >= '0' && e.raw[i] <= '9';
        e.length = e.length * 10 + static_cast<unsigned>(e.raw[i] - '0');
      }
      e.what = digits ? event::XFERB : event::JUNK;
      m_pending.erase(0, 16);
      if (digits) m_packet = e.length;
      out.push_back(e);
    } else {
      event e;
      e.raw = m_pending.substr(0, 1);
      m_pending.erase(0, 1);
      out.push_back(e);
    }
  }
  return out;
}

}  // namespace rdi

}  // namespace sim
