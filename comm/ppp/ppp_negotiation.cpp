// The negotiation machines of the PPP link: LCP, CHAP, PAP and IPCP, the
// negotiation step and the time-out step.
#include "comm/ppp/ppp_negotiation.h"

#include <cstring>

#include "frame/trace/trace.h"

namespace {

// The link's mutex for one machine step. Outside a kernel thread (start-up,
// host code) nothing else runs meanwhile, and the step goes on without it.
class link_lock {
 public:
  link_lock(ppp_link* link, const char* who) : m_link(link) {
    m_status = tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
    if (m_status != TX_SUCCESS && tx_thread_identify()) monitor_printf("%s tx_mutex_get failed %02x\n", who, m_status);
  }
  ~link_lock() {
    if (m_status == TX_SUCCESS) tx_mutex_put(&m_link->protect);
  }
  link_lock(const link_lock&) = delete;
  link_lock& operator=(const link_lock&) = delete;

 private:
  ppp_link* m_link;
  UINT m_status;
};

bool take_event(ppp_link* link, ULONG bit) {
  ULONG actual = 0;
  return tx_event_flags_get(&link->ip_events, bit, TX_OR_CLEAR, &actual, TX_NO_WAIT) == TX_SUCCESS;
}

void raise_event(ppp_link* link, ULONG bit) { tx_event_flags_set(&link->ip_events, bit, TX_OR); }

// One control packet: code, identifier, length, data.
void packet_out(ppp_link* link, uint16_t protocol, uint8_t code, uint8_t identifier, const uint8_t* data,
                uint32_t length) {
  const uint32_t total = length + 4;
  ppp_start_frame(link, protocol);
  ppp_output_byte(link, code);
  ppp_output_byte(link, identifier);
  ppp_output_byte(link, static_cast<uint8_t>(total >> 8));
  ppp_output_byte(link, static_cast<uint8_t>(total));
  for (uint32_t i = 0; i < length; ++i) ppp_output_byte(link, data[i]);
  ppp_send_frame(link);
}

void lcp_out(ppp_link* link, uint8_t code, const uint8_t* data, uint32_t length) {
  packet_out(link, PPP_PROTOCOL_LCP, code, link->current_identifier, data, length);
  ++link->lcp_sent;
}

void restart_take(ppp_link* link) {
  // The budget ends at 0: a request sent without budget leads to TO- at the
  // next time-out instead of a wrapped counter.
  if (link->restart_counter) --link->restart_counter;
}

void lcp_send_configure_request(ppp_link* link) {
  restart_take(link);
  static const uint8_t with_chap[] = {0x03, 0x05, 0xC2, 0x23, 0x05, 0x02, 0x06, 0x00, 0x00, 0x00, 0x00};
  static const uint8_t plain[] = {0x02, 0x06, 0x00, 0x00, 0x00, 0x00};
  if (link->own_auth_protocol == PPP_PROTOCOL_CHAP)
    lcp_out(link, 1, with_chap, sizeof with_chap);
  else
    lcp_out(link, 1, plain, sizeof plain);
}

void lcp_send_terminate_request(ppp_link* link) {
  restart_take(link);
  lcp_out(link, 5, nullptr, 0);
}

void lcp_send_terminate_ack(ppp_link* link) { lcp_out(link, 6, nullptr, 0); }

// A code LCP does not know: Code-Reject with a new identifier, carrying the
// received packet as far as the peer's MRU takes it.
void lcp_send_code_reject(ppp_link* link) {
  const uint32_t room = link->peer_mru > 4 ? link->peer_mru - 4u : 0u;
  const uint32_t n = link->lcp_length < room ? link->lcp_length : room;
  ++link->current_identifier;
  lcp_out(link, 7, link->lcp_packet, n);
}

// An Echo-Request in the Opened state: Echo-Reply with the request's
// identifier and data, and the controller's magic number (none negotiated: 0).
void lcp_send_echo_reply(ppp_link* link) {
  if (link->lcp_length < 8) return;  // no room for the magic number
  uint8_t* data = link->lcp_packet + 4;
  data[0] = data[1] = data[2] = data[3] = 0;
  lcp_out(link, 10, data, link->lcp_length - 4u);
}

// False when nothing could be said (the lists overflowed empty).
bool lcp_send_configure_reply(ppp_link* link, bool good) {
  if (good) {
    lcp_out(link, 2, link->lcp_packet + 4, link->lcp_length - 4u);
    link->tx_accm = link->negotiated_accm;
  } else if (link->reject_list[0]) {
    lcp_out(link, 4, link->reject_list + 1, link->reject_list[0]);
  } else if (link->nak_list[0]) {
    lcp_out(link, 3, link->nak_list + 1, link->nak_list[0]);
  } else {
    monitor_printf("lcp_send_configure_reply: request not answered\n");
    return false;
  }
  return true;
}

void lcp_opened(ppp_link* link) { raise_event(link, PPP_EVENT_LCP_OPENED); }

void lcp_reset(ppp_link* link) {
  if (link->lcp_state != PPP_INITIAL) lcp_send_terminate_ack(link);
  link->restart_counter = 0;
  link->lcp_state = PPP_STOPPED;
  link->ipcp_state = PPP_STOPPED;
  link->stage = 0;
  link->pap_state = 1;
  link->chap_state = CHAP_IDLE;
  if (link->own_auth_protocol) link->authenticated = 0;
  // No response to a former challenge may authenticate the next peer.
  std::memset(link->challenge, 0, sizeof link->challenge);
  link->challenge_size = 0;
  ppp_set_peer_mru(link, PPP_DEFAULT_MRU);
  if (link->ip) link->ip->nx_ip_link_up = 0;
  tx_event_flags_set(&link->ip_events, 0, TX_AND);
  ppp_ip_receive_reset(link);
}

// ---------------------------------------------------------------- IPCP

void ipcp_out(ppp_link* link, uint8_t code, const uint8_t* data, uint32_t length) {
  packet_out(link, PPP_PROTOCOL_IPCP, code, link->current_identifier, data, length);
  ++link->ipcp_sent;
}

void ipcp_send_configure_request(ppp_link* link) {
  ++link->current_identifier;
  const uint8_t option[6] = {
      3, 6, link->local_address[0], link->local_address[1], link->local_address[2], link->local_address[3]};
  ipcp_out(link, 1, option, 6);
}

void ipcp_send_terminate_request(ppp_link* link) { ipcp_out(link, 5, nullptr, 0); }

void ipcp_send_ack(ppp_link* link, const uint8_t* options, uint32_t length, bool echo) {
  if (echo) {
    ipcp_out(link, 2, options, length);
    return;
  }
  const uint8_t option[6] = {
      3, 6, link->peer_address[0], link->peer_address[1], link->peer_address[2], link->peer_address[3]};
  ipcp_out(link, 2, option, 6);
}

// The answer to the peer's request: an acceptable request is acknowledged
// with its own options.
void ipcp_send_packet(ppp_link* link, bool good, const uint8_t* options, uint32_t length) {
  if (good)
    ipcp_send_ack(link, options, length, true);
  else if (link->reject_list[0])
    ipcp_out(link, 4, link->reject_list + 1, link->reject_list[0]);
  else if (link->nak_list[0])
    ipcp_out(link, 3, link->nak_list + 1, link->nak_list[0]);
}

void ipcp_process_configure_reply(ppp_link* link, const uint8_t* options, uint32_t length) {
  if (length >= 6 && options[0] == 3 && options[1] >= 6 && options[1] <= length)
    std::memcpy(link->local_address, options + 2, 4);
}

void ipcp_opened(ppp_link* link) {
  if (NX_IP* ip = link->ip) {
    const ULONG address = (ULONG(link->local_address[0]) << 24) | (ULONG(link->local_address[1]) << 16) |
                          (ULONG(link->local_address[2]) << 8) | link->local_address[3];
    _nx_ip_address_set(ip, address, 0xFFFFFFFFu);
    ip->nx_ip_link_up = 1;
  }
  raise_event(link, PPP_EVENT_IPCP_OPENED);
}

// The rest of an IPCP packet after its code and identifier: the length and
// the options. False when the frame ends before the length says.
bool ipcp_read_options(ppp_link* link, uint8_t* options, uint32_t* length) {
  uint8_t high = 0, low = 0;
  if (!ppp_input_byte(link, &high) || !ppp_input_byte(link, &low)) return false;
  const uint32_t total = (uint32_t(high) << 8) | low;
  if (total < 4 || total - 4 > PPP_BUFFER_SIZE) return false;
  for (uint32_t i = 0; i < total - 4; ++i)
    if (!ppp_input_byte(link, &options[i])) return false;
  *length = total - 4;
  return true;
}

// ---------------------------------------------------------------- CHAP

void chap_out(ppp_link* link, uint8_t code, uint8_t identifier, const uint8_t* data, uint32_t length) {
  // The length is one byte; its high byte goes as 0.
  const uint32_t total = length + 4;
  ppp_start_frame(link, PPP_PROTOCOL_CHAP);
  ppp_output_byte(link, code);
  ppp_output_byte(link, identifier);
  ppp_output_byte(link, 0);
  ppp_output_byte(link, static_cast<uint8_t>(total));
  for (uint32_t i = 0; i < length; ++i) ppp_output_byte(link, data[i]);
  ppp_send_frame(link);
  ++link->chap_sent;
}

struct chap_packet {
  uint8_t identifier = 0;
  uint8_t value_size = 0;
  uint8_t value[PPP_CHALLENGE_SIZE] = {};
  char name[PPP_SECRET_SIZE] = {};         // cut to the area
};

constexpr uint32_t kMaximumChallenge = 64;

// Identifier, length, value size, value and name of a received Challenge or
// Response. False for a packet that runs past its frame, a value that does
// not fit or a length too short for its value.
bool chap_read(ppp_link* link, chap_packet* packet) {
  uint8_t high = 0, length = 0;
  if (!ppp_input_byte(link, &packet->identifier) || !ppp_input_byte(link, &high) || !ppp_input_byte(link, &length) ||
      !ppp_input_byte(link, &packet->value_size))
    return false;
  if (packet->value_size > kMaximumChallenge || length < 5u + packet->value_size) return false;
  for (uint32_t i = 0; i < packet->value_size; ++i)
    if (!ppp_input_byte(link, &packet->value[i])) return false;
  packet->value[packet->value_size] = 0;
  const uint32_t name_length = length - 5u - packet->value_size;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < name_length; ++i) {
    uint8_t b = 0;
    if (!ppp_input_byte(link, &b)) return false;
    if (kept < sizeof packet->name - 1) packet->name[kept++] = static_cast<char>(b);
  }
  packet->name[kept] = 0;
  return true;
}

void chap_send_challenge(ppp_link* link) {
  uint8_t value[PPP_CHALLENGE_SIZE] = {};
  uint8_t identifier = 0;
  char name[PPP_NAME_SIZE] = {};
  int given = link->challenge_hook ? link->challenge_hook(value, &identifier, name) : 0;
  name[PPP_NAME_SIZE - 1] = 0;
  std::memcpy(link->local_name, name, sizeof link->local_name);
  // The value is used by its length: random bytes may be zero.
  const uint32_t size = given <= 0 ? 0u : given >= int(kMaximumChallenge) ? kMaximumChallenge - 1 : uint32_t(given);
  std::memset(link->challenge, 0, sizeof link->challenge);
  std::memcpy(link->challenge, value, size);
  link->challenge_size = static_cast<uint8_t>(size);
  const uint32_t name_length = static_cast<uint32_t>(strnlen(link->local_name, PPP_NAME_SIZE - 1));
  uint8_t data[1 + kMaximumChallenge + PPP_NAME_SIZE];
  data[0] = static_cast<uint8_t>(size);
  std::memcpy(data + 1, link->challenge, size);
  std::memcpy(data + 1 + size, link->local_name, name_length);
  chap_out(link, 1, identifier, data, 1 + size + name_length);
  link->chap_state = CHAP_CHALLENGE_SENT;
}

void chap_answer_challenge(ppp_link* link) {
  chap_packet packet;
  if (!chap_read(link, &packet)) {
    ++link->packets_malformed;
    monitor_printf("chap_state_macine: challenge refused\n");
    return;
  }
  char name[PPP_SECRET_SIZE] = {};
  char secret[PPP_SECRET_SIZE] = {};
  if (link->response_hook) link->response_hook(link, name, secret);
  name[PPP_SECRET_SIZE - 1] = 0;
  secret[PPP_SECRET_SIZE - 1] = 0;
  uint8_t digest[16];
  chap_md5_response(digest, packet.identifier, secret, packet.value, packet.value_size);
  const uint32_t name_length = static_cast<uint32_t>(strnlen(name, PPP_SECRET_SIZE - 1));
  uint8_t data[1 + 16 + PPP_SECRET_SIZE];
  data[0] = 16;
  std::memcpy(data + 1, digest, 16);
  std::memcpy(data + 17, name, name_length);
  chap_out(link, 2, packet.identifier, data, 17 + name_length);
  link->chap_state = CHAP_RESPONSE_SENT;
}

void chap_verify_response(ppp_link* link) {
  chap_packet packet;
  if (!chap_read(link, &packet)) {
    ++link->packets_malformed;
    monitor_printf("chap_state_macine: response refused\n");
    return;
  }
  bool equal = false;
  if (packet.value_size == 16) {
    char name[PPP_SECRET_SIZE] = {};
    char secret[PPP_SECRET_SIZE] = {};
    if (link->verification_hook) link->verification_hook(link, name, secret);
    secret[PPP_SECRET_SIZE - 1] = 0;
    uint8_t expected[16];
    chap_md5_response(expected, packet.identifier, secret, link->challenge, link->challenge_size);
    equal = std::memcmp(expected, packet.value, 16) == 0;
  }
  if (equal) {
    chap_out(link, 3, packet.identifier, nullptr, 0);
    link->authenticated = 1;
    UINT status = tx_event_flags_set(&link->ip_events, PPP_EVENT_AUTHENTICATED, TX_OR);
    if (status != TX_SUCCESS)
      monitor_printf("chap_state_macine: tx_event_flags_set for AP_AUTHENTICATED failed %02x\n", status);
    link->chap_state = CHAP_DONE;
  } else {
    monitor_printf("chap state machine: CHAP_RESP_EVENT build Failed msg No Good\n");
    chap_out(link, 4, packet.identifier, nullptr, 0);
    link->authenticated = 0;
  }
}

}  // namespace

// ---------------------------------------------------------------- LCP

void lcp_state_machine(ppp_link* link, uint32_t events) {
  if (!link) return;
  link_lock lock(link, "lcp_state_machine");
  uint16_t& state = link->lcp_state;

  if (events & LCP_TO_PLUS) {
    link->current_identifier = static_cast<uint8_t>(link->current_identifier + tx_time_get());
    switch (state) {
      case PPP_CLOSING:
      case PPP_STOPPING:
        lcp_send_terminate_request(link);
        break;
      case PPP_REQ_SENT:
      case PPP_ACK_RCVD:
      case PPP_ACK_SENT:
        lcp_send_configure_request(link);
        break;
      default:
        break;
    }
  }
  if (events & LCP_TO_MINUS) state = state == PPP_CLOSING ? PPP_CLOSED : PPP_STOPPED;
  if (events & LCP_OPEN) {
    link->current_identifier = static_cast<uint8_t>(tx_time_get());
    if (state == PPP_CLOSED) {
      link->restart_counter = 2;
      lcp_send_configure_request(link);
      state = PPP_REQ_SENT;
    } else if (state == PPP_STOPPED || state == PPP_CLOSING || state == PPP_STOPPING) {
      state = PPP_STOPPED;
    }
  }
  if (events & LCP_CLOSE) {
    if (state == PPP_STOPPED) {
      state = PPP_CLOSED;
    } else if (state == PPP_STOPPING) {
      state = PPP_CLOSING;
    } else if (state >= PPP_REQ_SENT) {
      link->restart_counter = 2;
      lcp_send_terminate_request(link);
      state = PPP_CLOSING;
    }
  }
  if (events & LCP_RCR) {
    bool malformed = false;
    const bool good = lcp_parse_configure_request(link, &malformed);
    if (malformed) {
      // A request whose options run past it is not answered.
      ++link->packets_malformed;
      monitor_printf("lcp_state_machine: malformed Configure-Request discarded\n");
    } else {
      switch (state) {
        case PPP_CLOSED:
          lcp_send_terminate_ack(link);
          break;
        case PPP_STOPPED:
          link->restart_counter = 2;
          lcp_send_configure_request(link);
          if (lcp_send_configure_reply(link, good))
            state = good ? PPP_ACK_SENT : PPP_REQ_SENT;
          else
            state = PPP_REQ_SENT;
          break;
        case PPP_REQ_SENT:
        case PPP_ACK_SENT:
          if (lcp_send_configure_reply(link, good)) state = good ? PPP_ACK_SENT : PPP_REQ_SENT;
          break;
        case PPP_ACK_RCVD:
          if (lcp_send_configure_reply(link, good) && good) {
            state = PPP_OPENED;
            lcp_opened(link);
          }
          break;
        case PPP_OPENED:
          link->restart_counter = 2;
          lcp_send_configure_request(link);
          lcp_send_configure_reply(link, good);
          state = good ? PPP_ACK_SENT : PPP_REQ_SENT;
          break;
        default:
          break;
      }
    }
  }
  if (events & LCP_RCA) {
    switch (state) {
      case PPP_CLOSED:
      case PPP_STOPPED:
        lcp_send_terminate_ack(link);
        break;
      case PPP_REQ_SENT:
        state = PPP_ACK_RCVD;
        break;
      case PPP_ACK_RCVD:
        lcp_send_configure_request(link);
        state = PPP_REQ_SENT;
        break;
      case PPP_ACK_SENT:
        state = PPP_OPENED;
        lcp_opened(link);
        break;
      default:
        break;
    }
  }
  if (events & LCP_RCN) {
    link->nak_list[0] = 0;
    switch (state) {
      case PPP_CLOSED:
      case PPP_STOPPED:
        lcp_send_terminate_ack(link);
        break;
      case PPP_REQ_SENT:
      case PPP_ACK_SENT:
        lcp_send_configure_request(link);
        break;
      case PPP_ACK_RCVD:
        lcp_send_configure_request(link);
        state = PPP_REQ_SENT;
        break;
      default:
        break;
    }
  }
  if (events & LCP_RTR) lcp_reset(link);
  if (events & LCP_RTA) {
    switch (state) {
      case PPP_CLOSING:
        state = PPP_CLOSED;
        break;
      case PPP_STOPPING:
      case PPP_REQ_SENT:
      case PPP_ACK_RCVD:
        state = PPP_STOPPED;
        break;
      case PPP_OPENED:
        link->restart_counter = 2;
        lcp_send_configure_request(link);
        state = PPP_REQ_SENT;
        break;
      default:
        break;
    }
  }
  if (events & LCP_RUC) lcp_send_code_reject(link);
  if ((events & LCP_RXR) && state == PPP_OPENED) lcp_send_echo_reply(link);
  if (events & LCP_RXJ) {
    switch (state) {
      case PPP_CLOSING:
        state = PPP_CLOSED;
        break;
      case PPP_STOPPING:
      case PPP_REQ_SENT:
      case PPP_ACK_RCVD:
      case PPP_ACK_SENT:
        state = PPP_STOPPED;
        break;
      case PPP_OPENED:
        lcp_send_terminate_ack(link);
        state = PPP_STOPPING;
        break;
      default:
        break;
    }
  }
}

// ---------------------------------------------------------------- CHAP

void chap_state_macine(ppp_link* link, uint32_t events) {
  if (!link) return;
  link_lock lock(link, "chap_state_macine");
  if (events & CHAP_SEND_CHALLENGE) chap_send_challenge(link);
  if (events & CHAP_CHALLENGE_RECEIVED) chap_answer_challenge(link);
  if (events & CHAP_RESPONSE_RECEIVED) chap_verify_response(link);
  if (events & CHAP_SUCCESS_RECEIVED) link->chap_state = CHAP_DONE;
  if (events & CHAP_FAILURE_RECEIVED) link->chap_state = CHAP_IDLE;
  if (events & CHAP_RESET) {
    link->chap_state = CHAP_IDLE;
    link->authenticated = 0;
  }
}

// ---------------------------------------------------------------- PAP

void pap_state_machine(ppp_link* link, uint32_t events) {
  if (!link) return;
  link_lock lock(link, "pap_state_machine");
  // No PAP credentials exist: a request is refused, acknowledgements change
  // nothing.
  if (events & PAP_REQUEST_RECEIVED) {
    uint8_t identifier = 0;
    if (!ppp_input_byte(link, &identifier)) return;
    const uint8_t no_message = 0;
    packet_out(link, PPP_PROTOCOL_PAP, 3, identifier, &no_message, 1);
    ++link->pap_sent;
  }
}

// ---------------------------------------------------------------- IPCP

void ipcp_state_machine(ppp_link* link, uint32_t events) {
  if (!link) return;
  link_lock lock(link, "ipcp_state_machine");
  uint16_t& state = link->ipcp_state;

  static uint8_t options[PPP_BUFFER_SIZE];  // the worker's; under the link mutex
  uint32_t length = 0;
  if (events & (IPCP_RCR | IPCP_RCA | IPCP_RCN)) {
    if (!ipcp_read_options(link, options, &length)) {
      ++link->packets_malformed;
      monitor_printf("ipcp_state_machine: packet runs past its frame\n");
      return;
    }
  }

  if (events & IPCP_TIMEOUT) {
    if (state == PPP_REQ_SENT || state == PPP_ACK_SENT) {
      ipcp_send_configure_request(link);
    } else if (state == PPP_ACK_RCVD) {
      ipcp_send_configure_request(link);
      state = PPP_REQ_SENT;
    }
  }
  if (events & IPCP_RCR) {
    bool malformed = false;
    const bool good = ipcp_parse_configure_request(link, options, length, &malformed);
    if (malformed) {
      ++link->packets_malformed;
      monitor_printf("ipcp_state_machine: malformed Configure-Request discarded\n");
    } else {
      switch (state) {
        case PPP_OPENED:
          ipcp_send_ack(link, options, length, good);
          state = PPP_ACK_SENT;
          ipcp_send_configure_request(link);
          break;
        case PPP_STOPPED:
          ipcp_send_packet(link, good, options, length);
          state = good ? PPP_ACK_SENT : PPP_REQ_SENT;
          ipcp_send_configure_request(link);
          break;
        case PPP_REQ_SENT:
        case PPP_ACK_SENT:
          ipcp_send_packet(link, good, options, length);
          state = good ? PPP_ACK_SENT : PPP_REQ_SENT;
          break;
        case PPP_ACK_RCVD:
          ipcp_send_packet(link, good, options, length);
          if (good) {
            state = PPP_OPENED;
            ipcp_opened(link);
          }
          break;
        default:
          break;
      }
    }
  }
  if (events & IPCP_RCA) {
    ipcp_process_configure_reply(link, options, length);
    switch (state) {
      case PPP_CLOSED:
      case PPP_STOPPED:
        ipcp_send_terminate_request(link);
        break;
      case PPP_REQ_SENT:
        state = PPP_ACK_RCVD;
        break;
      case PPP_ACK_RCVD:
        ipcp_send_configure_request(link);
        state = PPP_REQ_SENT;
        break;
      case PPP_ACK_SENT:
        state = PPP_OPENED;
        ipcp_opened(link);
        break;
      default:
        break;
    }
  }
  if (events & IPCP_RCN) {
    ipcp_process_configure_reply(link, options, length);
    switch (state) {
      case PPP_CLOSED:
      case PPP_STOPPED:
        ipcp_send_terminate_request(link);
        break;
      case PPP_REQ_SENT:
      case PPP_ACK_RCVD:
        ipcp_send_configure_request(link);
        state = PPP_REQ_SENT;
        break;
      case PPP_ACK_SENT:
        ipcp_send_configure_request(link);
        break;
      default:
        break;
    }
  }
  if (events & IPCP_RTR) {
    if (state == PPP_REQ_SENT || state == PPP_ACK_RCVD) state = PPP_STOPPED;
  }
}

// ---------------------------------------------------------------- steps

bool ppp_link_step(ppp_link* link) {
  if (link->lcp_state != PPP_OPENED) {
    if (link->stage == 0) {
      lcp_state_machine(link, LCP_OPEN);
      link->stage = 1;
    }
    if (!take_event(link, PPP_EVENT_LCP_OPENED)) return false;
  }
  if (link->own_auth_protocol != PPP_PROTOCOL_CHAP && link->peer_auth_protocol != PPP_PROTOCOL_CHAP) {
    if (link->stage == 1) link->stage = 2;
  } else if (!link->authenticated) {
    if (link->stage == 1) {
      chap_state_macine(link, CHAP_SEND_CHALLENGE);
      link->stage = 2;
    }
    if (!take_event(link, PPP_EVENT_AUTHENTICATED)) return false;
  }
  if (link->ipcp_state != PPP_OPENED) {
    if (link->stage == 2) {
      link->ipcp_state = PPP_STOPPED;
      ipcp_state_machine(link, IPCP_OPEN);
      link->stage = 3;
    }
    if (!take_event(link, PPP_EVENT_IPCP_OPENED)) return false;
  }
  return link->stage == 3;
}

void ppp_timeout_process(ppp_link* link) {
  const uint16_t lcp = link->lcp_state;
  if (lcp >= PPP_CLOSING && lcp <= PPP_ACK_SENT) {
    lcp_state_machine(link, link->restart_counter ? LCP_TO_PLUS : LCP_TO_MINUS);
  } else if (lcp == PPP_OPENED && link->authenticated) {
    if (link->ipcp_state >= PPP_REQ_SENT && link->ipcp_state <= PPP_ACK_SENT) ipcp_state_machine(link, IPCP_TIMEOUT);
  } else if (lcp == PPP_OPENED && link->peer_auth_protocol == PPP_PROTOCOL_CHAP) {
    chap_state_macine(link, CHAP_RESET);
  }
}

UINT nx_ppp_chap_enable(ppp_link* link, ppp_challenge_hook challenge, ppp_response_hook response,
                        ppp_verification_hook verification) {
  if (!link) return 0;
  link->challenge_hook = challenge;
  link->response_hook = response;
  link->verification_hook = verification;
  if (challenge && verification) {
    link->peer_auth_protocol = PPP_PROTOCOL_CHAP;
    link->authenticated = 0;
  }
  if (response) {
    link->own_auth_protocol = PPP_PROTOCOL_CHAP;
    link->chap_state = CHAP_IDLE;
  }
  link->chap_protocol = PPP_PROTOCOL_CHAP;
  link->chap_enabled = 1;
  return 0;
}
