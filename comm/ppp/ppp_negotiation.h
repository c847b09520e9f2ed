// The control side of a PPP link: the LCP automaton with the options the
// controller offers and accepts, CHAP with MD5 in both roles, the stance on
// PAP (neither offered nor accepted), and IPCP, which gives the link's IP
// instance its address. State numbers and event names are RFC 1661's.
//
// Every machine runs under the link's "PPP PROTECT MUTEX". A link comes up
// as: the controller's LCP Configure-Request at the first byte from the
// port; the controller's CHAP Challenge once LCP is opened (when CHAP is
// enabled); IPCP started passively, the controller answering the peer's
// request and then sending its own. A reset (the peer's Terminate-Request,
// carrier loss, connection time-out) leaves LCP Stopped: the peer must
// start again.
#pragma once

#include <cstdint>

#include "comm/ppp/ppp_link.h"

// LCP events (bits; several at once are handled in this order).
enum : uint32_t {
  LCP_TO_PLUS = 0x40,
  LCP_TO_MINUS = 0x80,
  LCP_OPEN = 0x10,
  LCP_CLOSE = 0x20,
  LCP_RCR = 0x100,
  LCP_RCA = 0x400,
  LCP_RCN = 0x800,
  LCP_RTR = 0x1000,  // also the link reset
  LCP_RTA = 0x2000,
  LCP_RUC = 0x4000,  // any other code
  LCP_RXJ = 0x8000,
  LCP_RXR = 0x10000,  // Echo-Request
};

// CHAP events and states.
enum : uint32_t {
  CHAP_CHALLENGE_RECEIVED = 1,
  CHAP_RESPONSE_RECEIVED = 2,
  CHAP_SUCCESS_RECEIVED = 4,
  CHAP_FAILURE_RECEIVED = 8,
  CHAP_SEND_CHALLENGE = 0x10,
  CHAP_RESET = 0x80,
};
enum : uint16_t { CHAP_IDLE = 1, CHAP_CHALLENGE_SENT = 2, CHAP_RESPONSE_SENT = 3, CHAP_DONE = 5 };

// PAP events.
enum : uint32_t { PAP_REQUEST_RECEIVED = 1, PAP_ACK_RECEIVED = 2, PAP_NAK_RECEIVED = 4 };

// IPCP events.
enum : uint32_t {
  IPCP_OPEN = 1,
  IPCP_RCR = 2,
  IPCP_RCA = 4,
  IPCP_RCN = 8,
  IPCP_RTR = 0x10,
  IPCP_TIMEOUT = 0x20,
};

void lcp_state_machine(ppp_link* link, uint32_t events);
void chap_state_macine(ppp_link* link, uint32_t events);
void pap_state_machine(ppp_link* link, uint32_t events);
void ipcp_state_machine(ppp_link* link, uint32_t events);

// The negotiation step the worker runs for each woken link; true when IPCP
// was started and nothing is pending.
bool ppp_link_step(ppp_link* link);
// One time-out step (the link timer expired).
void ppp_timeout_process(ppp_link* link);

// Installs CHAP: with a challenge and a verification hook the peer must
// authenticate; with a response hook the controller answers the peer's
// challenge. Returns 0.
UINT nx_ppp_chap_enable(ppp_link* link, ppp_challenge_hook challenge, ppp_response_hook response,
                        ppp_verification_hook verification);

// ---------------------------------------------------------------- parsers
// They read the packet they are given (options after the 4-byte header)
// and never past its length.

// The peer's LCP Configure-Request in link->lcp_packet (link->lcp_length
// bytes): sets the peer MRU, the ACCMs, the peer's authentication protocol
// and the Nak and Reject lists. Good when both lists are empty and the
// options were well formed. A malformed option list (an option shorter than
// 2 bytes or running past the packet) sets *malformed and is not good.
bool lcp_parse_configure_request(ppp_link* link, bool* malformed);

// The peer's IPCP Configure-Request options (length bytes): the peer
// address and the Nak and Reject lists. Good when nothing made it
// unacceptable; *malformed as above.
bool ipcp_parse_configure_request(ppp_link* link, const uint8_t* options, uint32_t length, bool* malformed);

// Appends an entry to a list (count byte first); false when it does not fit.
bool ppp_list_append(uint8_t* list, const uint8_t* bytes, uint32_t length);
