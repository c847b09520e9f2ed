#include "comm/pmpp/pmpp_rdi.h"

#include <cstring>

#include "comm/pmpp/pmpp_link.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/agent/snmp_agent.h"

namespace {

constexpr uint8_t kStart = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kMore = 0x20;
constexpr uint32_t kUdpHeader = 8;
constexpr uint32_t kAnswerHeader = 15;

class locked {
 public:
  explicit locked(pmpp_link* link) : m_link(link) { tx_mutex_get(&link->protect, TX_WAIT_FOREVER); }
  ~locked() { tx_mutex_put(&m_link->protect); }

 private:
  pmpp_link* m_link;
};

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

const uint8_t* own_address(pmpp_link* link) {
  static const uint8_t none[4] = {};
  const auto* agent = static_cast<const snmp_agent*>(link->owner);
  return agent ? agent->own_address : none;
}

void idle(pmpp_rdi& r) { r.state = RDI_IDLE; }

void restart_timer(pmpp_link* link) { pmpp_timer_restart(link, pmpp_rdi_wait(link->rdi)); }

// The reply buffer to the port, byte by byte: a command the radio starts
// meanwhile takes the line.
void send_reply(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  locked l(link);
  restart_timer(link);
  for (uint32_t i = 0; i < r.reply_length && r.state != RDI_COMMAND; ++i) {
    link->write_byte(r.reply[i]);
    ++link->count.bytes_sent;
  }
  restart_timer(link);
}

void send_ack(pmpp_link* link, char c) {
  pmpp_rdi& r = link->rdi;
  const uint8_t ack[4] = {kAck, static_cast<uint8_t>(c), kLf, kCr};
  std::memcpy(r.reply, ack, sizeof ack);
  r.reply_length = sizeof ack;
  send_reply(link);
}

// The kept XFERB to the radio, then wait for ACK0.
void send_kept(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  std::memcpy(r.reply, r.kept, RDI_XFERB_LENGTH);
  r.reply_length = RDI_XFERB_LENGTH;
  r.state = RDI_SENDING_XFERB;
  send_reply(link);
  if (r.state == RDI_SENDING_XFERB) r.state = RDI_WAIT_ACK0;
  restart_timer(link);
}

// The XFERB announcing the current packet.
void send_xferb(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  const uint32_t n = r.packet_length[r.current_packet];
  uint8_t* k = r.kept;
  k[0] = kStart;
  std::memcpy(k + 1, "11002", 5);
  std::memcpy(k + 6, r.remote_lid, RDI_LID_LENGTH);
  k[11] = static_cast<uint8_t>('0' + n / 1000 % 10);
  k[12] = static_cast<uint8_t>('0' + n / 100 % 10);
  k[13] = static_cast<uint8_t>('0' + n / 10 % 10);
  k[14] = static_cast<uint8_t>('0' + n % 10);
  k[15] = kCr;
  r.retries = 0;
  send_kept(link);
}

void send_packet(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  locked l(link);
  restart_timer(link);
  const uint32_t start = r.packet_start[r.current_packet];
  const uint32_t n = r.packet_length[r.current_packet];
  for (uint32_t i = 0; i < n; ++i) link->write_byte(link->tx_buffer[start + i]);
  link->count.bytes_sent += n;
  r.state = RDI_WAIT_ACK1;
  restart_timer(link);
}

void next_packet(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  if (++r.current_packet < r.packet_count) {
    monitor_printf_debug("Wait for ACK2, next packet\r\n");
    send_xferb(link);
  } else {
    idle(r);
  }
}

// The 16-byte command: its LID and the length of the transfer it announces.
void command_received(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  const uint8_t* c = r.command;
  bool good = !r.command_overlong && r.command_length == RDI_XFERB_LENGTH;
  uint32_t length = 0;
  for (uint32_t i = 11; good && i < 15; ++i) {
    good = c[i] >= '0' && c[i] <= '9';
    length = length * 10 + (c[i] - '0');
  }
  if (!good || length > RDI_MAX_TRANSFER) {
    ++r.count.commands_refused;
    monitor_printf_debug("RDI command refused (%d bytes)\r\n", r.command_length);
    idle(r);
    return;
  }
  std::memcpy(r.remote_lid, c + 6, RDI_LID_LENGTH);
  r.remaining = length;
  r.command_length = 0;
  r.state = RDI_HEADER_FIRST;
  send_ack(link, '0');
}

void take_header(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  const uint8_t* h = r.command;
  uint8_t flags = 0, number = 0;
  if (r.header_type == 0) {
    r.value = be16(h + 1);
    flags = h[3];
    number = h[4];
    std::memcpy(r.source, h + 5, 4);
    r.tag = h[9];
  } else {
    std::memcpy(r.source, h + 2, 4);
    std::memcpy(r.destination, h + 6, 4);
    r.tag = h[10];
    if (r.header_type == 2) {
      r.value = be16(h + 11);
      flags = h[13];
      number = h[14];
    } else {
      r.value = 0;
    }
  }
  r.more = (flags & kMore) != 0;
  r.packet_number = static_cast<uint16_t>((flags & 0x1F) << 8 | number);
  r.for_us = std::memcmp(r.destination, own_address(link), 4) == 0;
}

// The first packet of a message opens an SNMP frame of the station's address.
void open_frame(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  r.frame_length = pmpp_address_field(link->station_address, r.frame);
  r.frame[r.frame_length++] = PMPP_CONTROL;
  r.frame[r.frame_length++] = PMPP_IPI_SNMP;
  r.frame_overflow = false;
}

// A datagram damaged on the air is not acknowledged; its message is lost.
bool datagram_good(pmpp_rdi& r) {
  if (r.udp_length != r.data_count + kUdpHeader) return false;
  if (r.udp_checksum == 0) return true;  // sent without a checksum
  uint32_t sum = r.udp_sum;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return sum == 0xFFFF;
}

void transfer_done(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  idle(r);
  if (!datagram_good(r)) {
    ++r.count.transfers_bad_checksum;
    monitor_printf_debug("RDI datagram checksum or length wrong\r\n");
    r.frame_length = 0;
    return;
  }
  send_ack(link, '1');
  if (r.frame_length == 0) {
    ++r.count.transfers_orphan;
    return;
  }
  if (r.more) return;
  const uint32_t n = r.frame_length;
  r.frame_length = 0;
  if (r.frame_overflow) {
    ++r.count.transfers_overflow;
    return;
  }
  ++link->count.frames_received;
  pmpp_frame_dispatch(link, r.frame, n);
}

// A byte of the transfer: header, UDP header or data.
void transfer_byte(pmpp_link* link, uint8_t b) {
  pmpp_rdi& r = link->rdi;
  if (r.remaining == 0) {
    // The announced length ends before the data.
    ++r.count.transfers_malformed;
    r.frame_length = 0;
    idle(r);
    return;
  }
  --r.remaining;
  switch (r.state) {
    case RDI_HEADER_FIRST:
      r.command[0] = b;
      r.command_length = 1;
      r.header_type = b == 0 ? 0 : 2;
      r.header_length = b == 0 ? 10 : 15;
      r.state = RDI_HEADER;
      return;
    case RDI_HEADER:
      r.command[r.command_length++] = b;
      if (r.command_length == 2 && r.header_type == 2 && b == 0x0B) {
        r.header_type = 1;
        r.header_length = 11;
      }
      if (r.command_length < r.header_length) return;
      take_header(link);
      if (!r.for_us) {
        ++r.count.transfers_other;
        idle(r);
        return;
      }
      if (r.packet_number == 0) open_frame(link);
      r.command_length = 0;
      r.state = RDI_UDP_HEADER;
      return;
    case RDI_UDP_HEADER:
      r.command[r.command_length++] = b;
      if (r.command_length < kUdpHeader) return;
      r.udp_source = be16(r.command);
      r.udp_destination = be16(r.command + 2);
      r.udp_length = be16(r.command + 4);
      r.udp_checksum = be16(r.command + 6);
      r.udp_sum = be16(r.source) + be16(r.source + 2) + be16(r.destination) + be16(r.destination + 2) + 17 +
                  r.udp_length + r.udp_source + r.udp_destination + r.udp_length + r.udp_checksum;
      r.data_count = 0;
      r.state = RDI_DATA;
      break;
    default:  // data
      r.udp_sum += (r.data_count++ & 1) ? b : static_cast<uint32_t>(b) << 8;
      if (r.frame_length == 0) {
        // A later packet whose first never came: nothing to add it to.
      } else if (r.frame_length < RDI_FRAME_SIZE) {
        r.frame[r.frame_length++] = b;
      } else {
        r.frame_overflow = true;
      }
      break;
  }
  if (r.remaining == 0) transfer_done(link);
}

// One acknowledgement being read: state `base` waits for its 0x06, then
// the character, LF and CR.
bool ack_byte(pmpp_rdi& r, uint32_t base, char expected, uint8_t b) {
  const uint32_t step = r.state - base;
  if (step == 0) {
    if (b == kAck) r.state = base + 1;
    return false;
  }
  if (b == kAck) {
    r.state = base + 1;
    return false;
  }
  if (step == 1) {
    if (b == static_cast<uint8_t>(expected)) r.state = base + 2;
    else if (b == 'A') r.state = RDI_FAILED;
  } else if (step == 2) {
    if (b == kLf) r.state = base + 3;
  } else if (b == kCr) {
    return true;
  }
  return false;
}

}  // namespace

void pmpp_rdi_set_mode(pmpp_link* link, bool on) {
  if (!link) return;
  pmpp_rdi& r = link->rdi;
  if (r.mode == (on ? 1 : 0)) return;
  r.mode = on ? 1 : 0;
  r.state = RDI_IDLE;
  r.frame_length = 0;
  r.command_length = 0;
}

void pmpp_set_parameters(pmpp_link* link, uint16_t ack2_timeout, uint8_t retries, uint32_t, uint16_t) {
  if (!link) return;
  link->rdi.ack2_timeout = ack2_timeout;
  link->rdi.retry_limit = retries;
}

void pmpp_rdi_byte(pmpp_link* link, uint8_t b) {
  pmpp_rdi& r = link->rdi;
  const bool receiving = r.state >= RDI_COMMAND && r.state <= RDI_DATA;
  if (b == kStart && !receiving) {
    r.command[0] = b;
    r.command_length = 1;
    r.command_overlong = false;
    r.state = RDI_COMMAND;
    return;
  }
  switch (r.state) {
    case RDI_IDLE:
    case RDI_SENDING_XFERB:
      return;
    case RDI_COMMAND:
      if (r.command_length < RDI_COMMAND_SIZE) {
        r.command[r.command_length++] = b;
      } else if (!r.command_overlong) {
        r.command_overlong = true;
        ++r.count.commands_overlong;
      }
      if (b == kCr) command_received(link);
      return;
    case RDI_HEADER_FIRST:
    case RDI_HEADER:
    case RDI_UDP_HEADER:
    case RDI_DATA:
      transfer_byte(link, b);
      return;
    case RDI_FAILED:
      if (b == kLf) r.state = RDI_FAILED + 1;
      return;
    case RDI_FAILED + 1:
      if (b == kCr) pmpp_retransmit_timeout(link);
      return;
    default:
      break;
  }
  if (r.state >= RDI_WAIT_ACK0 && r.state < RDI_WAIT_ACK1) {
    if (ack_byte(r, RDI_WAIT_ACK0, '0', b)) send_packet(link);
  } else if (r.state >= RDI_WAIT_ACK1 && r.state < RDI_WAIT_ACK2) {
    if (ack_byte(r, RDI_WAIT_ACK1, '1', b)) r.state = RDI_WAIT_ACK2;
  } else if (r.state >= RDI_WAIT_ACK2 && r.state < RDI_FAILED) {
    if (ack_byte(r, RDI_WAIT_ACK2, '2', b)) next_packet(link);
  } else {
    idle(r);
  }
}

uint16_t pmpp_udp_checksum(const uint8_t source[4], const uint8_t destination[4], const uint8_t* udp, uint32_t length) {
  uint32_t sum = be16(source) + be16(source + 2) + be16(destination) + be16(destination + 2) + 17 + length;
  for (uint32_t i = 0; i + 1 < length; i += 2) sum += be16(udp + i);
  if (length & 1) sum += static_cast<uint32_t>(udp[length - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

void pmpp_rdi_datagram_send(pmpp_link* link, const uint8_t* message, uint32_t length) {
  if (!link || (!message && length)) return;
  pmpp_rdi& r = link->rdi;
  locked l(link);
  ++link->count.frames_sent;
  r.tx_length = 0;
  r.packet_count = 0;
  const uint8_t* own = own_address(link);
  uint32_t offset = 0;
  do {
    const uint32_t n = length - offset < RDI_PACKET_DATA ? length - offset : RDI_PACKET_DATA;
    const bool more = offset + n < length;
    const uint32_t k = r.packet_count;
    const uint32_t size = kAnswerHeader + kUdpHeader + n;
    if (k >= RDI_MAX_PACKETS || r.tx_length + size > RDI_ANSWER_LIMIT) {
      ++r.count.answers_dropped;
      monitor_printf("pmpp_rdi_datagram_send: answer of %u bytes dropped\n", length);
      r.tx_length = 0;
      r.packet_count = 0;
      return;
    }
    uint8_t* p = link->tx_buffer + r.tx_length;
    const uint8_t header[kAnswerHeader] = {0x10,
                                           0x0F,
                                           own[0],
                                           own[1],
                                           own[2],
                                           own[3],
                                           r.source[0],
                                           r.source[1],
                                           r.source[2],
                                           r.source[3],
                                           r.tag,
                                           static_cast<uint8_t>(r.value >> 8),
                                           static_cast<uint8_t>(r.value),
                                           static_cast<uint8_t>((more ? kMore : 0) | (k >> 8 & 0x1F)),
                                           static_cast<uint8_t>(k)};
    std::memcpy(p, header, sizeof header);
    uint8_t* udp = p + kAnswerHeader;
    const uint32_t udp_length = n + kUdpHeader;
    const uint8_t udp_header[kUdpHeader] = {static_cast<uint8_t>(r.udp_destination >> 8),
                                            static_cast<uint8_t>(r.udp_destination),
                                            static_cast<uint8_t>(r.udp_source >> 8),
                                            static_cast<uint8_t>(r.udp_source),
                                            static_cast<uint8_t>(udp_length >> 8),
                                            static_cast<uint8_t>(udp_length),
                                            0,
                                            0};
    std::memcpy(udp, udp_header, sizeof udp_header);
    if (n) std::memcpy(udp + kUdpHeader, message + offset, n);
    const uint16_t sum = pmpp_udp_checksum(own, r.source, udp, udp_length);
    udp[6] = static_cast<uint8_t>(sum >> 8);
    udp[7] = static_cast<uint8_t>(sum);
    monitor_printf_debug("Add UDP checksum, # packets %d, loc %d, val %X\r\n", k + 1, r.tx_length + kAnswerHeader + 6,
                         sum);
    r.packet_start[k] = r.tx_length;
    r.packet_length[k] = size;
    r.tx_length += size;
    ++r.packet_count;
    offset += n;
  } while (offset < length);
  r.tx_length = 0;
  r.current_packet = 0;
  send_xferb(link);
}

void pmpp_retransmit_timeout(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  monitor_printf_debug("RDI Timout, retries = %d of %d\r\n", r.retries, r.retry_limit);
  if (r.retries < r.retry_limit && r.current_packet < r.packet_count) {
    ++r.retries;
    ++r.count.retransmissions;
    monitor_printf_debug("timeout, state %d, retransmit\r\n", r.state);
    send_kept(link);
  } else {
    ++r.count.answers_abandoned;
    idle(r);
  }
}

void pmpp_rdi_timeout(pmpp_link* link) {
  pmpp_rdi& r = link->rdi;
  if (r.state == RDI_SENDING_XFERB) return;
  if (r.state >= RDI_WAIT_ACK0 && r.state <= RDI_LAST_STATE) {
    pmpp_retransmit_timeout(link);
    return;
  }
  if (r.state >= RDI_HEADER_FIRST && r.state <= RDI_DATA) ++r.count.transfers_malformed;
  r.frame_length = 0;
  idle(r);
}

uint32_t pmpp_rdi_wait(const pmpp_rdi& r) {
  uint32_t wait = 50;
  const uint32_t s = r.state;
  if (s == RDI_WAIT_ACK1) {
    wait = 100;
  } else if (s == RDI_WAIT_ACK2) {
    wait = r.ack2_timeout ? r.ack2_timeout * 100 / 1000 : RDI_DEFAULT_ACK2_WAIT;
  } else if ((s >= RDI_COMMAND && s <= RDI_DATA) || (s > RDI_WAIT_ACK0 && s <= RDI_LAST_STATE)) {
    wait = 20;
  }
  return wait + 2;
}
