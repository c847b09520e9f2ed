// The PMPP link: the controller as a secondary station on a
// point-to-multipoint line. It answers frames addressed to its station
// address, to all stations (63) or to one of its group addresses; frames of
// IPI 0xC1 carry one SNMP message for the endpoint's agent; frames of IPI
// 0x21 carry IP datagrams to and from the link's IP instance (pmpp_ip.cpp).
// Answers to all-stations and group requests are held until the master
// polls.
//
// One pmpp_link lives in each PMPP endpoint's transport (snmp_pmpp.h). The
// port binding plugs the port's byte functions in; one worker thread,
// shared by at most ten links, reads the ports, queues the bytes
// (pmpp_byte_receive, also the TCP server's hook), assembles frames and
// dispatches them. Bad input is dropped and counted, never acted on.
#pragma once

#include <cstdint>

#include "comm/pmpp/pmpp_frame.h"
#include "ntcip/snmp/snmp_codec.h"
#include "comm/pmpp/pmpp_rdi.h"
#include "comm/ppp/link_worker.h"
#include "nx_api.h"
#include "tx_api.h"

constexpr uint32_t PMPP_WORKER_LINKS = LINK_WORKER_ROWS;
constexpr uint32_t PMPP_WORKER_STACK = LINK_WORKER_STACK;
constexpr uint32_t PMPP_MINIMUM_TIMEOUT = 100;  // ticks of silence that end a partly received frame
// An answer frame: the largest SNMP message, every byte stuffed.
constexpr uint32_t PMPP_TX_SIZE = 2 * SNMP_MAX_MESSAGE + 16;

// Results of the receive hook.
enum : uint32_t { PMPP_BYTE_DONE = 0, PMPP_QUEUE_FULL = 177 };

typedef void (*pmpp_write_byte_fn)(uint8_t byte);
typedef bool (*pmpp_read_byte_fn)(uint8_t* byte);
typedef int (*pmpp_frame_send_fn)(const uint8_t* frame, uint32_t length);

// What was dropped, and why.
struct pmpp_counters {
  uint32_t bytes_received, bytes_sent, bytes_dropped, bytes_outside;
  uint32_t frames_received, frames_sent;
  uint32_t ip_frames_received, ip_frames_sent, other_ipi_frames;
  uint32_t datagrams_malformed;  // IP headers refused, or frames that disagree with them
  uint32_t datagrams_lost;       // no free packet, or a datagram cut off by silence
  uint32_t fcs_errors, frames_too_long, frames_aborted, frames_short, frames_timed_out;
  uint32_t frames_other_station;  // good frames for another station or an unlisted group
  uint32_t frames_bad_control;
  uint32_t messages_malformed;    // an SNMP message whose header runs past its frame
  uint32_t answers_dropped;       // answers that did not fit their frames or the held answer
  uint32_t polls;
};

struct pmpp_link {
  char tag[4];  // "PMPP"
  const char* name;
  NX_IP* ip;    // "PMPP over SNMP/IP"
  void* owner;  // the endpoint's snmp_agent
  uint8_t station_address;
  uint8_t request_address;  // of the last accepted frame
  uint8_t group_request;    // 255: the last accepted frame had a group address
  uint8_t last_data_protocol;
  uint32_t inter_char_timeout;  // milliseconds
  pmpp_counters count;
  // Port hooks.
  pmpp_write_byte_fn write_byte;
  pmpp_read_byte_fn read_byte;
  pmpp_frame_send_fn frame_send;
  TX_MUTEX protect;  // "PMPP PROTECT MUTEX": every frame out, the held answer
  // Receive queue, filled by the hook and emptied by the worker.
  uint8_t queue[PMPP_FRAME_SIZE];
  uint16_t queue_write, queue_read, queue_count;
  pmpp_deframer rx;
  // The IP datagram being received, across frames.
  NX_PACKET* first_packet;
  NX_PACKET* current_packet;
  uint16_t datagram_remaining;
  // The frames being sent, and an answer waiting for a poll (whole frames,
  // back to back).
  uint8_t tx_buffer[PMPP_TX_SIZE];
  uint8_t held[PMPP_TX_SIZE];
  uint32_t held_length;  // 0: none
  uint32_t held_frames;
  TX_TIMER timer;        // "PMPP Comm Timeout"
  volatile uint8_t timeout_pending;
  volatile uint8_t timer_running;
  TX_EVENT_FLAGS_GROUP* worker_events;
  ULONG worker_bit;
  uint32_t led_bit;
  uint32_t row;  // the worker row, or PMPP_WORKER_LINKS
  pmpp_rdi rdi;  // the radio mode, instead of flag framing
};

// ---------------------------------------------------------------- creation

// Clears the link, fills it in, creates its kernel objects and registers it
// with the worker (created on first use). Failures are traced; returns 0.
UINT nx_pmpp_create(pmpp_link* link, const char* name, NX_IP* ip, void* owner, UINT worker_priority);
// Takes the link out of the worker and deletes its kernel objects.
void pmpp_destroy(pmpp_link* link);
// Forgets every link and the worker (a new start within one process).
void pmpp_forget_links();
bool pmpp_in_worker();
void pmpp_set_port_hooks(pmpp_link* link, pmpp_read_byte_fn read, pmpp_write_byte_fn write, pmpp_frame_send_fn send);
void pmpp_set_station_address(pmpp_link* link, uint8_t address);
void nx_pmpp_set_inner_char_timeout(pmpp_link* link, uint32_t milliseconds);

// ---------------------------------------------------------------- byte path

// The receive hook: 0, or 177 when the queue is full (the byte is dropped
// and counted).
UINT pmpp_byte_receive(pmpp_link* link, uint8_t byte);
// Takes the queued bytes through frame assembly and dispatch.
void pmpp_receive_queued(pmpp_link* link);
// Serves one complete frame: the unstuffed contents from the address field
// on, without the FCS.
void pmpp_frame_dispatch(pmpp_link* link, const uint8_t* frame, uint32_t length);
// The inter-character time-out: a partly received frame is dropped.
void pmpp_receive_timeout(pmpp_link* link);

// ---------------------------------------------------------------- sending

// One SNMP answer: sent at once to an individual request, held for the
// next poll after an all-stations or group request.
void ntcip_pmpp_packet_send(pmpp_link* link, const uint8_t* message, uint32_t length);
// Answers a poll: the held answer, or an empty frame.
void pmpp_send_poll_answer(pmpp_link* link);
// Bytes to the port, in one piece when the port takes whole frames; under
// the link's mutex.
void pmpp_emit(pmpp_link* link, const uint8_t* bytes, uint32_t length);

// ---------------------------------------------------------------- IP side

// The NetX link driver of the link's IP instance: no negotiation, the link
// is up from the enable on.
VOID pmpp_ip_driver(NX_IP_DRIVER* request);
// The IP bytes of one frame: they start a datagram or continue the one
// being received; a complete datagram goes to the IP instance. A header
// that is not IPv4, or bytes beyond the datagram's total length, drop the
// datagram (counted).
void pmpp_ip_packet_receive(pmpp_link* link, const uint8_t* data, uint32_t length);
// Forgets a datagram being received (its packets go back); true when there
// was one.
bool pmpp_ip_receive_reset(pmpp_link* link);
// Frames one datagram (several frames when long) and sends it, or holds it
// after an all-stations or group request; the packet is released. Under the
// link's mutex.
void pmpp_ip_packet_send(pmpp_link* link, NX_PACKET* packet);
// The link whose IP instance is `ip`, or null.
pmpp_link* pmpp_link_of_ip(NX_IP* ip);

// ---------------------------------------------------------------- worker

void pmpp_worker_pass();
void pmpp_timer_entry(ULONG row);
// Arms the link's timer for `ticks` when it is not running.
void pmpp_timer_arm(pmpp_link* link, ULONG ticks);
// Arms the link's timer for `ticks` from now, running or not.
void pmpp_timer_restart(pmpp_link* link, ULONG ticks);
