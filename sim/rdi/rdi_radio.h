// A radio modem of the RDI kind at the far end of the CCP port: it carries
// UDP datagrams as XFERB transfers (a 16-byte command with the length, a
// radio header with IPv4 addresses, the UDP header, the data) and answers
// with 0x06 <c> 0x0A 0x0D acknowledgements. Written from the transfer
// layout alone, apart from the controller's code, so each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

namespace rdi {

using address = uint32_t;  // IPv4, most significant byte first on the line

// The radio header in front of the UDP header.
struct header {
  int type = 2;  // 0: 10 bytes, 1: 11 bytes, 2: 15 bytes
  address source = 0;
  address destination = 0;  // not on the line in type 0
  uint8_t tag = 0;
  uint16_t value = 0;
  bool more = false;
  unsigned number = 0;  // packet number, 13 bits
};

struct datagram {
  header h;
  uint16_t source_port = 0;
  uint16_t destination_port = 0;
  std::string data;
};

// "\x04" + command + LID + four digits + "\r".
std::string Xferb(const std::string& lid, unsigned length, const std::string& command = "11002");
// 0x06, c, 0x0A, 0x0D.
std::string Ack(char c);
// RFC 768 checksum over the pseudo header and the UDP bytes (checksum
// field as given).
uint16_t UdpChecksum(address source, address destination, const std::string& udp);
// Radio header, UDP header (with its checksum) and data.
std::string Encode(const datagram& d);

// Something the controller put on the line.
struct event {
  enum kind { ACK, XFERB, PACKET, JUNK } what = JUNK;
  char ack = 0;
  std::string command, lid;  // XFERB
  unsigned length = 0;       // XFERB: the announced length
  datagram packet;           // PACKET
  uint16_t udp_length = 0, checksum = 0;
  bool checksum_ok = false;
  std::string raw;
};

// Takes apart the controller's bytes: acknowledgements, XFERB commands and
// the packet each XFERB announces.
class decoder {
 public:
  std::vector<event> feed(const std::string& bytes);

 private:
  std::string m_pending;
  unsigned m_packet = 0;  // bytes of a packet still expected
};

// Parses one packet (header, UDP header, data) as the controller sends it.
bool DecodePacket(const std::string& bytes, event* out);

}  // namespace rdi

}  // namespace sim
