// The radio mode of the PMPP link: a radio modem on the CCP port carries
// UDP datagrams instead of flag frames. Each datagram travels as one XFERB
// transfer (a 16-byte command giving the length, a small radio header with
// IPv4 addresses, a UDP header, the data), acknowledged by 0x06 <c> 0x0A
// 0x0D: '0' ready, '1' received, '2' delivered, 'A' failed. A received
// datagram becomes an SNMP frame for the link's dispatcher; the answer
// leaves in packets of at most 488 data bytes, each with its own XFERB and
// three acknowledgements, retried a bounded number of times.
//
// Every buffer is fixed: an overlong command, header or transfer is
// dropped with a count and never written past its buffer.
#pragma once

#include <cstdint>

struct pmpp_link;

constexpr uint32_t RDI_COMMAND_SIZE = 30;
constexpr uint32_t RDI_XFERB_LENGTH = 16;
constexpr uint32_t RDI_LID_LENGTH = 5;
constexpr uint32_t RDI_MAX_TRANSFER = 512;  // largest transfer given ACK0
constexpr uint32_t RDI_PACKET_DATA = 488;
constexpr uint32_t RDI_ANSWER_LIMIT = 2049;  // transmit bytes an answer may take
constexpr uint32_t RDI_MAX_PACKETS = RDI_ANSWER_LIMIT / (15 + 8 + RDI_PACKET_DATA) + 1;
constexpr uint32_t RDI_FRAME_SIZE = 2050;    // the rebuilt SNMP frame
constexpr uint32_t RDI_DEFAULT_ACK2_WAIT = 4500;  // ticks, when the setting is 0

enum : uint32_t {
  RDI_IDLE = 1,
  RDI_COMMAND = 2,
  RDI_HEADER_FIRST = 3,
  RDI_HEADER = 4,
  RDI_UDP_HEADER = 5,
  RDI_DATA = 6,
  RDI_SENDING_XFERB = 7,
  RDI_WAIT_ACK0 = 8,
  RDI_WAIT_ACK1 = 12,
  RDI_WAIT_ACK2 = 16,
  RDI_FAILED = 20,
  RDI_LAST_STATE = 21,
};

struct pmpp_rdi_counters {
  uint32_t commands_refused;    // not 16 bytes, a bad length field, or above 512
  uint32_t commands_overlong;   // longer than the command buffer
  uint32_t transfers_other;     // for another IPv4 address
  uint32_t transfers_malformed; // ended before its data
  uint32_t transfers_overflow;  // a message larger than the frame buffer
  uint32_t transfers_orphan;    // a later packet of a message whose first never came
  uint32_t transfers_bad_checksum;  // UDP checksum or length wrong
  uint32_t retransmissions;
  uint32_t answers_abandoned;   // retry limit reached
  uint32_t answers_dropped;     // did not fit the transmit buffer
};

struct pmpp_rdi {
  uint8_t mode;  // 1: radio mode instead of flag framing
  uint32_t state;
  char remote_lid[RDI_LID_LENGTH];
  uint32_t remaining;
  uint8_t packet_count, current_packet, retries;
  uint32_t packet_start[RDI_MAX_PACKETS];
  uint32_t packet_length[RDI_MAX_PACKETS];
  uint32_t ack2_timeout;  // milliseconds
  uint8_t retry_limit;
  uint8_t command[RDI_COMMAND_SIZE];
  uint8_t command_length;
  bool command_overlong;
  uint8_t reply[RDI_COMMAND_SIZE];
  uint8_t reply_length;
  uint8_t kept[RDI_XFERB_LENGTH];
  uint8_t header_type, header_length;
  // The last received radio header.
  uint8_t source[4], destination[4];
  uint8_t tag;
  uint16_t value;
  bool more;
  uint16_t packet_number;
  bool for_us;
  uint16_t udp_source, udp_destination, udp_length, udp_checksum;
  uint32_t udp_sum;     // running ones' complement sum of the datagram
  uint32_t data_count;  // data bytes of the current packet
  // The SNMP frame rebuilt from the datagrams of one message.
  uint8_t frame[RDI_FRAME_SIZE];
  uint32_t frame_length;
  bool frame_overflow;
  uint32_t tx_length;
  pmpp_rdi_counters count;
};

// Radio mode on or off; a change starts idle.
void pmpp_rdi_set_mode(pmpp_link* link, bool on);
// The radio settings: the ACK2 time-out (ms, 0: 4500 ticks) and the retry
// limit; the remote address and the LID are kept by the endpoint.
void pmpp_set_parameters(pmpp_link* link, uint16_t ack2_timeout, uint8_t retries, uint32_t remote, uint16_t lid);
// One received byte in radio mode (the worker).
void pmpp_rdi_byte(pmpp_link* link, uint8_t byte);
// Sends an SNMP answer as datagrams (the transport).
void pmpp_rdi_datagram_send(pmpp_link* link, const uint8_t* message, uint32_t length);
// Retransmits the current packet's XFERB, or abandons the answer.
void pmpp_retransmit_timeout(pmpp_link* link);
// The link's timer fired in radio mode.
void pmpp_rdi_timeout(pmpp_link* link);
// Ticks to wait in the current state, margin included.
uint32_t pmpp_rdi_wait(const pmpp_rdi& rdi);
// RFC 768 checksum of a UDP header and data between two IPv4 addresses
// (the checksum field of the header taken as it stands).
uint16_t pmpp_udp_checksum(const uint8_t source[4], const uint8_t destination[4], const uint8_t* udp, uint32_t length);
