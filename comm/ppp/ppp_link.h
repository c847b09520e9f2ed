// The PPP link: HDLC-like framing (flag 0x7E, escape 0x7D, FCS-16) over a
// byte stream, the negotiation (LCP, CHAP, IPCP; ppp_negotiation.h), IP
// datagrams to and from the link's own IP instance through its link driver,
// and SNMP messages carried directly in frames of protocol 0xC1.
//
// One ppp_link lives in each PPP endpoint's SNMP transport (snmp_ppp.h). The
// port binding plugs the port's byte functions into it (ppp_set_port_hooks,
// serial_glue.h) and one worker thread, shared by at most ten links, moves
// the bytes: it reads the port, queues each byte (ppp_byte_receive), takes
// them one at a time into the frame being received, and dispatches each
// complete frame.
//
// What a peer sees: every frame sent carries the address and control fields
// (the control byte always escaped) and a two-byte protocol; every frame
// received must carry address and control; a lone protocol byte is accepted
// only for 0xC1. IP and SNMP frames are refused until the peer has
// authenticated (or when no authentication is required).
#pragma once

#include <cstdint>

#include "comm/ppp/link_worker.h"
#include "nx_api.h"
#include "tx_api.h"

struct ppp_link;

constexpr uint32_t PPP_BUFFER_SIZE = 1500;  // receive buffer, transmit buffer, receive queue
constexpr uint32_t PPP_WORKER_LINKS = LINK_WORKER_ROWS;
constexpr uint32_t PPP_WORKER_STACK = LINK_WORKER_STACK;
constexpr uint32_t PPP_LIST_SIZE = 50;  // Nak and Reject lists, count byte first
constexpr uint32_t PPP_NAME_SIZE = 32;
constexpr uint32_t PPP_CHALLENGE_SIZE = 66;
constexpr uint16_t PPP_DEFAULT_MRU = 1500;

// Protocol numbers.
enum : uint16_t {
  PPP_PROTOCOL_IP = 0x0021,
  PPP_PROTOCOL_SNMP = 0x00C1,
  PPP_PROTOCOL_IPCP = 0x8021,
  PPP_PROTOCOL_LCP = 0xC021,
  PPP_PROTOCOL_PAP = 0xC023,
  PPP_PROTOCOL_CHAP = 0xC223,
};

// Results of the byte path.
enum : uint32_t {
  PPP_BYTE_DONE = 0,
  PPP_FRAME_DISCARDED = 176,
  PPP_QUEUE_FULL = 177,
  PPP_FRAME_COMPLETE = 178,
  PPP_FCS_ERROR = 179,
};

// State numbers of LCP and IPCP.
enum : uint16_t {
  PPP_INITIAL = 0,
  PPP_STARTING = 1,
  PPP_CLOSED = 2,
  PPP_STOPPED = 3,
  PPP_CLOSING = 4,
  PPP_STOPPING = 5,
  PPP_REQ_SENT = 6,
  PPP_ACK_RCVD = 7,
  PPP_ACK_SENT = 8,
  PPP_OPENED = 9,
};

// Bits of "PPP IP EVENTS".
enum : ULONG {
  PPP_EVENT_LCP_OPENED = 1,
  PPP_EVENT_PAP = 2,  // never raised
  PPP_EVENT_AUTHENTICATED = 4,
  PPP_EVENT_IPCP_OPENED = 8,
};

// NetX statuses of the link driver.
constexpr UINT PPP_NX_NO_LINK = 0x20;
constexpr UINT PPP_NX_UNHANDLED = 0x44;

// Port hooks: one byte to the port; the next received byte (false when none
// is left); a closed frame in one piece (non-zero when the port took it;
// serial ports have none).
typedef void (*ppp_write_byte_fn)(uint8_t byte);
typedef bool (*ppp_read_byte_fn)(uint8_t* byte);
typedef int (*ppp_frame_send_fn)(const uint8_t* frame, uint32_t length);

// CHAP hooks, filled by the agent from the parameter database: a fresh
// challenge value (random bytes, zeros among them; the hook returns its
// length), the next identifier and the controller's CHAP name; the name and secret that answer a challenge; the
// secret that a response is verified against. Names and secrets are
// zero-terminated in areas of PPP_NAME_SIZE (name of a challenge) and 48
// bytes (the others).
typedef int (*ppp_challenge_hook)(uint8_t* value, uint8_t* identifier, char* name);
typedef int (*ppp_response_hook)(ppp_link* link, char* name, char* secret);
typedef int (*ppp_verification_hook)(ppp_link* link, char* name, char* secret);
constexpr uint32_t PPP_SECRET_SIZE = 48;

struct ppp_link {
  char tag[4];  // "PPP "
  const char* name;
  NX_IP* ip;
  void* owner;  // the endpoint's snmp_agent
  uint16_t lcp_state;
  uint16_t lcp_protocol;
  uint16_t authenticated;
  uint16_t own_auth_protocol;
  uint16_t peer_auth_protocol;
  uint16_t received_protocol;
  // Statistics.
  uint32_t bytes_received;
  uint32_t bytes_sent;
  uint32_t bytes_dropped;
  uint32_t bytes_outside;
  uint32_t frames_sent;
  uint32_t frames_received;
  uint32_t lcp_received, lcp_sent, pap_received, pap_sent, chap_received, chap_sent;
  uint32_t ipcp_received, ipcp_sent, ip_received, ip_sent;
  uint32_t invalid_frames;
  // Negotiation scratch.
  uint16_t restart_counter;
  uint16_t lcp_length;
  uint8_t received_identifier;
  uint8_t current_identifier;
  uint16_t peer_mru;
  // IP datagram being received.
  uint16_t datagram_remaining;
  uint16_t packet_bytes;
  uint32_t inter_char_timeout;  // milliseconds
  NX_PACKET* current_packet;
  NX_PACKET* first_packet;
  NX_PACKET* tx_head;
  NX_PACKET* tx_tail;
  // Port hooks.
  ppp_write_byte_fn write_byte;
  ppp_read_byte_fn read_byte;
  ppp_write_byte_fn outside_byte;
  TX_EVENT_FLAGS_GROUP ip_events;  // "PPP IP EVENTS"
  TX_MUTEX protect;                // "PPP PROTECT MUTEX"
  TX_SEMAPHORE tx_ready;           // "PPP TX READY SEMAPHORE"
  uint8_t* lcp_packet;             // the LCP packet being processed
  // The frame being built, already escaped.
  uint8_t tx_buffer[PPP_BUFFER_SIZE];
  uint16_t tx_length;
  uint16_t frame_end;
  uint16_t tx_fcs;     // FCS of the unescaped bytes so far
  uint8_t tx_started;  // the frame's header is out; a frame longer than the
                       // buffer leaves in pieces
  // The frame being received, still escaped, from its opening flag on.
  uint8_t rx_buffer[PPP_BUFFER_SIZE];
  uint16_t read_index;   // next byte to unescape; 0 = a new frame
  uint16_t frame_index;  // bytes stored; after a good FCS, the end of the content
  // Authentication.
  uint16_t pap_state;
  uint16_t chap_protocol;
  uint16_t chap_enabled;
  uint16_t chap_state;
  char local_name[PPP_NAME_SIZE];
  uint8_t challenge[PPP_CHALLENGE_SIZE];
  uint8_t challenge_size;  // bytes of the value sent
  ppp_challenge_hook challenge_hook;
  ppp_response_hook response_hook;
  ppp_verification_hook verification_hook;
  // IPCP.
  uint16_t ipcp_state;
  uint8_t local_address[4];  // most significant byte first
  uint8_t peer_address[4];
  // Receive queue.
  TX_SEMAPHORE serial_semaphore;  // "PPP SERIAL BUFFER SEMAPHORE"
  uint8_t queue[PPP_BUFFER_SIZE];
  uint16_t queue_write, queue_read, queue_count;
  uint8_t last_carrier;
  // Async control character maps.
  uint32_t tx_accm;
  uint32_t negotiated_accm;
  uint8_t accm_seen;
  ppp_frame_send_fn frame_send;
  uint8_t last_data_protocol;  // 0x21 or 0xC1: how the last request came
  TX_TIMER timer;              // "PPP Comm Timeout"
  volatile uint8_t timeout_pending;
  volatile uint8_t timer_running;
  TX_EVENT_FLAGS_GROUP* worker_events;
  ULONG worker_bit;
  uint32_t led_bit;
  ppp_link* next;
  ppp_link* previous;
  uint8_t stage;           // negotiation stage 0..3
  uint8_t chap_requested;  // set before creation: install the agent's CHAP hooks
  // Option lists of the request being answered.
  uint8_t nak_list[PPP_LIST_SIZE];
  uint8_t reject_list[PPP_LIST_SIZE];
  // Bytes of an over-long frame are skipped up to the next flag.
  uint8_t skipping;
  // The frame just handled ended at a flag, which also opens the next one.
  uint8_t closed_by_flag;
  uint32_t frames_too_long;
  uint32_t packets_malformed;  // packets refused for lengths that run past their frame
  uint32_t row;                // the worker row, or PPP_WORKER_LINKS when not registered
};

// ---------------------------------------------------------------- creation

// Clears the link (keeping only its CHAP-requested byte), fills it in,
// creates its kernel objects, registers it with the worker (created on first
// use, its stack from the communication's "thread stacks" pool), creates its
// timer and joins the ring of links. Failures are traced; returns 0.
UINT nx_ppp_create(ppp_link* link, const char* name, NX_IP* ip, void* owner, UINT worker_priority,
                   ppp_write_byte_fn outside_byte, ppp_write_byte_fn write_byte);
// Takes the link out of the ring and the worker and deletes its kernel
// objects (a link whose owner failed to come up; tests).
void ppp_destroy(ppp_link* link);
// True in the worker thread.
bool ppp_in_worker();
// Forgets every link and the worker without touching them: a new start of
// the controller within one process, whose former links lived in the former
// kernel's memory.
void ppp_forget_links();
// The link whose owner agent has the name (its first characters are the
// agent's name), or null.
ppp_link* ppp_find(const char* agent_name);
// Sets the three port hooks; null gives the hooks of an unbound link.
void ppp_set_port_hooks(ppp_link* link, ppp_read_byte_fn read, ppp_write_byte_fn write, ppp_frame_send_fn send);
// Wakes the worker for the link (a receive notification).
void ppp_wake(ppp_link* link);
// The receive notification of the serial drivers and servers: sets
// `argument` in the event flags `context` (the link's worker_events and
// worker_bit).
void ppp_link_notify(void* context, uint32_t argument);
// Called for every received byte (front-panel activity); null by default.
void ppp_set_activity_hook(void (*hook)());
// The same report paced for the PMPP and Ethernet links: `bytes` received
// advance the module's counter (0..50); the hook runs each time it passes 50.
void link_activity_paced(uint8_t* counter, uint32_t bytes);
// The hooks of an unbound link.
bool port_read_none(uint8_t* byte);
void ppp_write_none(uint8_t byte);

void nx_ppp_ip_address_set(ppp_link* link, const uint8_t local[4], const uint8_t peer[4]);
void nx_ppp_set_inner_char_timeout(ppp_link* link, uint32_t milliseconds);

// ---------------------------------------------------------------- byte path

// The receive hook: 0, or 177 when the queue is full (the byte is dropped).
UINT ppp_byte_receive(ppp_link* link, uint8_t byte);
// One step of frame assembly: a byte from the queue, or a time-out step.
uint32_t ReceiveBufferProcess(ppp_link* link, bool timeout);
// Checks the FCS of the frame just closed; 0, or 179 (the frame index is
// then left as it was).
uint32_t ppp_fcs_check(ppp_link* link);
// Dispatch of a complete frame.
void ppp_receive_packet_process(ppp_link* link);
// After a frame was discarded or dispatched: the next frame starts, opened
// by the flag that closed this one when there was one.
void ppp_frame_restart(ppp_link* link);
// The next unescaped byte of the received frame, after its address and
// control fields; false at the end of the frame.
bool ppp_input_byte(ppp_link* link, uint8_t* byte);
// Appends a byte to the frame being built (the header first when the frame
// is empty). A frame longer than the transmit buffer goes to the port in
// pieces as the buffer fills.
void ppp_output_byte(ppp_link* link, uint8_t byte);
// Closes the frame (FCS, flag) and sends it; the transmit length is reset.
void ppp_send_frame(ppp_link* link);
// Starts a frame of the protocol (resets the transmit length and puts the
// two protocol bytes).
void ppp_start_frame(ppp_link* link, uint16_t protocol);

// FCS-16 (reflected 0x8408, initial 0xFFFF) over bytes; the value before the
// final complement.
uint16_t ppp_fcs16(uint16_t fcs, const uint8_t* bytes, uint32_t length);
constexpr uint16_t PPP_FCS_INITIAL = 0xFFFF;
constexpr uint16_t PPP_FCS_GOOD = 0xF0B8;

// ---------------------------------------------------------------- worker

// The worker thread's body: waits for its event flags and serves every
// registered link once per pass.
void nx_ppp_rx_thread(ULONG input);
// One pass over the registered links (the worker runs it for ever).
void ppp_worker_pass();
// The link timer's expiry.
void ppp_timer_entry(ULONG row);

// ---------------------------------------------------------------- IP side

// The NetX link driver of the link's IP instance.
VOID _nx_ppp_driver(NX_IP_DRIVER* request);
// A received IP frame (authenticated) continues or starts a datagram.
void ppp_ip_packet_receive(ppp_link* link);
// Frames and sends the head of the transmit queue (under the link mutex),
// the whole datagram in one frame.
void ppp_ip_packet_send(ppp_link* link);
// The peer's MRU; the IP instance's MTU follows it, so that no datagram is
// longer than the peer takes in one frame.
void ppp_set_peer_mru(ppp_link* link, uint16_t mru);
// Forgets a datagram being received (its packets go back).
void ppp_ip_receive_reset(ppp_link* link);

// The CHAP MD5 response over the identifier, the secret (text up to its
// first zero byte) and the challenge value of `size` bytes.
void chap_md5_response(uint8_t digest[16], uint8_t identifier, const char* secret, const uint8_t* challenge,
                       uint32_t size);
