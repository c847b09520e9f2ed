// The PPP link's life and its receive side: creation, the worker shared by
// all links, the receive queue, frame dispatch and the IP datagrams.
#include "comm/ppp/ppp_link.h"

#include <cstring>

#include "comm/network.h"
#include "comm/ppp/link_ip.h"
#include "comm/ppp/link_worker.h"
#include "comm/ppp/ppp_negotiation.h"
#include "comm/ppp/snmp_ppp.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "frame/os/interrupts_masked.h"

namespace {

// The ring of created links.
ppp_link* g_head = nullptr;
uint32_t g_link_count = 0;

// The worker and the links it serves.
void serve_row(void* link);
link_worker g_worker = {"ppp", "PPP RX WORKER THREAD", "PPP Worker Events", nx_ppp_rx_thread, serve_row};

// "CLIENT" seen on any link of the worker.
char g_client[10] = {};
uint32_t g_client_index = 0;

constexpr uint32_t kMtu = 1500;
constexpr uint32_t kMinimumTimeout = 1000;  // ticks

void client_match(ppp_link* link, uint8_t byte) {
  if (byte == 'C') {
    std::memset(g_client, 0, sizeof g_client);
    g_client_index = 0;
  } else if (g_client_index < sizeof g_client - 1) {
    ++g_client_index;
  }
  g_client[g_client_index] = static_cast<char>(byte);
  if (g_client_index == 5 && std::memcmp(g_client, "CLIENT", 6) == 0 && link->write_byte) {
    // Under the link's mutex, so that the answer never splits a frame.
    tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
    for (const char* p = "CLIENTSERVER"; *p; ++p) link->write_byte(static_cast<uint8_t>(*p));
    tx_mutex_put(&link->protect);
  }
}

// One row of a worker pass.
void serve(ppp_link* link) {
  if (!link_worker_take_bit(link->worker_events, link->worker_bit) && !link->timeout_pending) return;
  ppp_link_step(link);

  if (link->read_byte) {
    // Bytes stay in the port's driver while the queue is full.
    uint8_t b = 0;
    while (link->queue_count < PPP_BUFFER_SIZE && link->read_byte(&b)) {
      ppp_byte_receive(link, b);
      client_match(link, b);
    }
  }

  uint32_t result = PPP_BYTE_DONE;
  if (tx_semaphore_get(&link->serial_semaphore, TX_NO_WAIT) != TX_SUCCESS) {
    CommLED_Indicate(link->led_bit, 0);
  } else {
    const uint16_t queued = link->queue_count;
    result = ReceiveBufferProcess(link, false);
    // A carrier reset takes no byte: its count goes back.
    if (link->queue_count == queued && queued > 0) tx_semaphore_put(&link->serial_semaphore);
    tx_timer_deactivate(&link->timer);
    link->timeout_pending = 0;
    link->timer_running = 0;
  }
  if (link->timeout_pending) {
    result = ReceiveBufferProcess(link, true);
    link->timeout_pending = 0;
    link->timer_running = 0;
  }
  if (!link->timer_running) {
    ULONG ticks = link->inter_char_timeout * 100 / 1000;
    if (ticks < kMinimumTimeout) ticks = kMinimumTimeout;
    tx_timer_change(&link->timer, ticks, 0);
    tx_timer_activate(&link->timer);
    link->timer_running = 1;
  }
  if (result == PPP_FRAME_DISCARDED) {
    ppp_frame_restart(link);
  } else if (result == PPP_FRAME_COMPLETE) {
    ++link->frames_received;
    ppp_receive_packet_process(link);
    ppp_frame_restart(link);
  }
  // Bytes left, or a frame that may have moved the negotiation on: the next
  // pass serves the link again, so that the step that follows (a Challenge
  // once LCP opened, IPCP once authenticated) goes out at once.
  if (link->queue_count > 0 || result == PPP_FRAME_COMPLETE)
    tx_event_flags_set(link->worker_events, link->worker_bit, TX_OR);
}

void serve_row(void* link) { serve(static_cast<ppp_link*>(link)); }

// Forgets the datagram being received.
void drop_datagram(ppp_link* link) {
  link_packet_drop(&link->first_packet, &link->current_packet);
  link->datagram_remaining = 0;
  link->packet_bytes = 0;
}

bool next_packet(ppp_link* link) {
  if (!link_packet_next(link->ip->nx_ip_default_pool, &link->first_packet, &link->current_packet)) return false;
  link->packet_bytes = 0;
  return true;
}

bool append_byte(ppp_link* link, uint8_t b) {
  if (!link_packet_append(link->ip->nx_ip_default_pool, &link->first_packet, &link->current_packet, b)) return false;
  ++link->packet_bytes;
  return true;
}

void send_protocol_reject(ppp_link* link, uint16_t protocol) {
  // Only an opened link rejects protocols; the information field is cut to
  // what the peer takes.
  if (link->lcp_state != PPP_OPENED) return;
  uint8_t info[PPP_BUFFER_SIZE];
  uint32_t n = 0;
  const uint32_t room = link->peer_mru > 6 ? link->peer_mru - 6u : 0u;
  uint8_t b = 0;
  while (n < room && n < sizeof info && ppp_input_byte(link, &b)) info[n++] = b;
  tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  const uint8_t id = ++link->current_identifier;
  const uint32_t length = n + 6;
  ppp_start_frame(link, PPP_PROTOCOL_LCP);
  ppp_output_byte(link, 8);
  ppp_output_byte(link, id);
  ppp_output_byte(link, static_cast<uint8_t>(length >> 8));
  ppp_output_byte(link, static_cast<uint8_t>(length));
  ppp_output_byte(link, static_cast<uint8_t>(protocol >> 8));
  ppp_output_byte(link, static_cast<uint8_t>(protocol));
  for (uint32_t i = 0; i < n; ++i) ppp_output_byte(link, info[i]);
  ppp_send_frame(link);
  ++link->lcp_sent;
  tx_mutex_put(&link->protect);
}

void malformed(ppp_link* link, const char* what) {
  ++link->packets_malformed;
  monitor_printf("ppp_receive_packet_process: %s packet runs past its frame\n", what);
}

void dispatch_lcp(ppp_link* link) {
  ++link->lcp_received;
  uint8_t header[4];
  for (uint8_t& b : header)
    if (!ppp_input_byte(link, &b)) return malformed(link, "LCP");
  const uint32_t length = (uint32_t(header[2]) << 8) | header[3];
  if (length < 4) return malformed(link, "LCP");
  // The packet is copied to the start of the receive buffer; reading stays
  // ahead of writing, as the frame's header bytes were skipped.
  uint8_t* packet = link->rx_buffer;
  std::memcpy(packet, header, 4);
  for (uint32_t i = 4; i < length; ++i)
    if (!ppp_input_byte(link, &packet[i])) return malformed(link, "LCP");
  link->lcp_packet = packet;
  link->lcp_length = static_cast<uint16_t>(length);
  link->received_identifier = link->current_identifier = header[1];
  uint32_t event;
  switch (header[0]) {
    case 1:
      event = LCP_RCR;
      break;
    case 2:
      event = LCP_RCA;
      break;
    case 3:
    case 4:
      event = LCP_RCN;
      break;
    case 5:
      event = LCP_RTR;
      break;
    case 6:
      event = LCP_RTA;
      break;
    case 7:
      event = LCP_RXJ;
      break;
    case 9:
      event = LCP_RXR;
      break;
    case 8:   // Protocol-Reject: the controller sends no protocol it can stop
    case 10:  // Echo-Reply
    case 11:  // Discard-Request
      return;
    default:
      event = LCP_RUC;
      break;
  }
  lcp_state_machine(link, event);
}

void dispatch_pap(ppp_link* link) {
  ++link->pap_received;
  uint8_t code = 0;
  if (!ppp_input_byte(link, &code)) return malformed(link, "PAP");
  uint32_t event = 0;
  if (code == 1)
    event = PAP_REQUEST_RECEIVED;
  else if (code == 2)
    event = PAP_ACK_RECEIVED;
  else if (code == 3)
    event = PAP_NAK_RECEIVED;
  if (event) pap_state_machine(link, event);
}

void dispatch_chap(ppp_link* link) {
  ++link->chap_received;
  // A link without CHAP takes no part in it: an unasked-for Response must
  // not shut the link to IP.
  if (!link->chap_enabled) {
    monitor_printf_debug("ppp_receive_packet_process: CHAP packet on a link without CHAP\n");
    return;
  }
  uint8_t code = 0;
  if (!ppp_input_byte(link, &code)) return malformed(link, "CHAP");
  switch (code) {
    case 1:
      if (link->peer_auth_protocol == PPP_PROTOCOL_CHAP && link->chap_state != CHAP_CHALLENGE_SENT)
        chap_state_macine(link, CHAP_SEND_CHALLENGE);
      chap_state_macine(link, CHAP_CHALLENGE_RECEIVED);
      break;
    case 2:
      chap_state_macine(link, CHAP_RESPONSE_RECEIVED);
      break;
    case 3:
      chap_state_macine(link, CHAP_SUCCESS_RECEIVED);
      break;
    case 4:
      chap_state_macine(link, CHAP_FAILURE_RECEIVED);
      break;
    default:
      break;
  }
}

void dispatch_ipcp(ppp_link* link) {
  ++link->ipcp_received;
  if (link->own_auth_protocol == PPP_PROTOCOL_CHAP && link->chap_state != CHAP_DONE) return;
  if (link->peer_auth_protocol == PPP_PROTOCOL_CHAP && !link->authenticated) return;
  uint8_t code = 0, identifier = 0;
  if (!ppp_input_byte(link, &code) || !ppp_input_byte(link, &identifier)) return malformed(link, "IPCP");
  link->received_identifier = link->current_identifier = identifier;
  uint32_t event = 0;
  switch (code) {
    case 1:
      event = IPCP_RCR;
      break;
    case 2:
      event = IPCP_RCA;
      break;
    case 3:
      event = IPCP_RCN;
      break;
    case 5:
      event = IPCP_RTR;
      break;
    default:
      return;
  }
  ipcp_state_machine(link, event);
}

}  // namespace

// ---------------------------------------------------------------- creation

bool port_read_none(uint8_t*) { return false; }
void ppp_write_none(uint8_t) {}

UINT nx_ppp_create(ppp_link* link, const char* name, NX_IP* ip, void* owner, UINT worker_priority,
                   ppp_write_byte_fn outside_byte, ppp_write_byte_fn write_byte) {
  if (!link) return 0;
  const uint8_t chap_requested = link->chap_requested;
  std::memset(static_cast<void*>(link), 0, sizeof *link);
  link->chap_requested = chap_requested;
  link->name = name;
  link->ip = ip;
  link->owner = owner;
  link->write_byte = write_byte ? write_byte : ppp_write_none;
  link->outside_byte = outside_byte;
  link->read_byte = nullptr;
  link->last_data_protocol = 0xC1;
  link->lcp_state = PPP_CLOSED;
  link->lcp_protocol = PPP_PROTOCOL_LCP;
  ppp_set_peer_mru(link, PPP_DEFAULT_MRU);
  link->current_identifier = link->received_identifier = static_cast<uint8_t>(tx_time_get());
  link->authenticated = 1;
  link->tx_accm = link->negotiated_accm = 0xFFFFFFFFu;
  link->ipcp_state = PPP_STOPPED;
  link->pap_state = 1;

  UINT status = tx_event_flags_create(&link->ip_events, "PPP IP EVENTS");
  if (status != TX_SUCCESS) monitor_printf("ppp_create: tx_event_flags_create failed %02x\n", status);
  status = tx_mutex_create(&link->protect, "PPP PROTECT MUTEX", TX_NO_INHERIT);
  if (status != TX_SUCCESS) monitor_printf("ppp_create: tx_mutex_create PPP PROTECT MUTEX failed  %02x\n", status);
  status = tx_semaphore_create(&link->tx_ready, "PPP TX READY SEMAPHORE", 0);
  if (status != TX_SUCCESS)
    monitor_printf("ppp_create: tx_semaphore_create PPP TX READY SEMAPHORE failed %02x\n", status);

  link->led_bit = CommLED_RegisterAgent();
  link->row = link_worker_register(&g_worker, link, worker_priority, &link->worker_events, &link->worker_bit);

  status =
      tx_timer_create(&link->timer, "PPP Comm Timeout", ppp_timer_entry, link->row, kMinimumTimeout, 0, TX_NO_ACTIVATE);
  if (status != TX_SUCCESS) monitor_printf("nx_ppp_create: tx_timer_create failed:0x%02X\n", status);
  link->timeout_pending = 0;
  link->timer_running = 0;
  status = tx_semaphore_create(&link->serial_semaphore, "PPP SERIAL BUFFER SEMAPHORE", 0);
  if (status != TX_SUCCESS)
    monitor_printf("ppp_create: tx_semaphore_create PPP SERIAL BUFFER SEMAPHORE failed %02x\n", status);

  {
    interrupts_masked m;
    std::memcpy(link->tag, "PPP ", 4);
    if (!g_head) {
      g_head = link->next = link->previous = link;
    } else {
      link->next = g_head;
      link->previous = g_head->previous;
      g_head->previous->next = link;
      g_head->previous = link;
    }
    ++g_link_count;
  }

  if (link->chap_requested) {
    status =
        nx_ppp_chap_enable(link, chap_get_challenge_values, chap_get_responder_values, chap_get_verification_values);
    if (status != 0) monitor_printf("ppp_create: ppp_chap enable failed %02x\n", status);
  }
  return 0;
}

void ppp_destroy(ppp_link* link) {
  if (!link || std::memcmp(link->tag, "PPP ", 4) != 0) return;
  {
    interrupts_masked m;
    link_worker_remove(&g_worker, link->row, link);
    if (g_head && link->next) {
      if (link->next == link) {
        g_head = nullptr;
      } else {
        link->previous->next = link->next;
        link->next->previous = link->previous;
        if (g_head == link) g_head = link->next;
      }
      --g_link_count;
    }
    link->next = link->previous = nullptr;
    std::memset(link->tag, 0, sizeof link->tag);
  }
  tx_timer_deactivate(&link->timer);
  tx_timer_delete(&link->timer);
  drop_datagram(link);
  tx_semaphore_delete(&link->serial_semaphore);
  tx_semaphore_delete(&link->tx_ready);
  tx_mutex_delete(&link->protect);
  tx_event_flags_delete(&link->ip_events);
}

bool ppp_in_worker() {
  return link_worker_in(&g_worker);
}

void ppp_forget_links() {
  interrupts_masked m;
  g_head = nullptr;
  g_link_count = 0;
  link_worker_forget(&g_worker);
  std::memset(g_client, 0, sizeof g_client);
  g_client_index = 0;
}

ppp_link* ppp_find(const char* agent_name) {
  if (!agent_name) return nullptr;
  interrupts_masked m;
  ppp_link* l = g_head;
  for (uint32_t i = 0; l && i < g_link_count; ++i, l = l->next) {
    auto* agent = static_cast<snmp_agent*>(l->owner);
    if (agent && std::strncmp(agent->name, agent_name, SNMP_AGENT_NAME_SIZE) == 0) return l;
  }
  return nullptr;
}

void ppp_set_port_hooks(ppp_link* link, ppp_read_byte_fn read, ppp_write_byte_fn write, ppp_frame_send_fn send) {
  if (!link) return;
  // A frame being written keeps the port it started on.
  tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  link->read_byte = read ? read : port_read_none;
  link->write_byte = write ? write : ppp_write_none;
  link->frame_send = send;
  tx_mutex_put(&link->protect);
}

void ppp_wake(ppp_link* link) {
  if (link && link->worker_events) tx_event_flags_set(link->worker_events, link->worker_bit, TX_OR);
}

void ppp_link_notify(void* context, uint32_t argument) {
  if (context) tx_event_flags_set(static_cast<TX_EVENT_FLAGS_GROUP*>(context), argument, TX_OR);
}

void nx_ppp_ip_address_set(ppp_link* link, const uint8_t local[4], const uint8_t peer[4]) {
  if (!link) return;
  tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  if (local) std::memcpy(link->local_address, local, 4);
  if (peer) std::memcpy(link->peer_address, peer, 4);
  link->ipcp_state = PPP_CLOSED;
  tx_mutex_put(&link->protect);
}

void nx_ppp_set_inner_char_timeout(ppp_link* link, uint32_t milliseconds) {
  if (link) link->inter_char_timeout = milliseconds;
}

// ---------------------------------------------------------------- byte path

UINT ppp_byte_receive(ppp_link* link, uint8_t byte) {
  if (!link) return PPP_QUEUE_FULL;
  {
    interrupts_masked m;
    if (link->queue_count >= PPP_BUFFER_SIZE) {
      ++link->bytes_dropped;
      return PPP_QUEUE_FULL;
    }
    link->queue[link->queue_write] = byte;
    ++link->queue_count;
    link->queue_write = static_cast<uint16_t>((link->queue_write + 1) % PPP_BUFFER_SIZE);
    ++link->bytes_received;
  }
  UINT status = tx_semaphore_put(&link->serial_semaphore);
  if (status != TX_SUCCESS) monitor_printf("---ppp_byte_receive tx_sem put failed %02x\n", status);
  return PPP_BYTE_DONE;
}

void ppp_receive_packet_process(ppp_link* link) {
  link->read_index = 0;
  uint8_t first = 0, second = 0;
  if (!ppp_input_byte(link, &first)) {
    ++link->invalid_frames;
    monitor_printf("ppp_receive_packet_process: invalid packet\n");
    return;
  }
  uint16_t protocol = first;
  if (first != 0xC1) {
    if (!ppp_input_byte(link, &second)) {
      ++link->invalid_frames;
      monitor_printf("ppp_receive_packet_process: invalid packet\n");
      return;
    }
    protocol = static_cast<uint16_t>((first << 8) | second);
  }
  link->received_protocol = protocol;
  switch (protocol) {
    case PPP_PROTOCOL_LCP:
      dispatch_lcp(link);
      break;
    case PPP_PROTOCOL_PAP:
      dispatch_pap(link);
      break;
    case PPP_PROTOCOL_CHAP:
      dispatch_chap(link);
      break;
    case PPP_PROTOCOL_IPCP:
      dispatch_ipcp(link);
      break;
    case PPP_PROTOCOL_IP:
      ++link->ip_received;
      if (!link->authenticated) {
        monitor_printf("ppp_receive_packet_process: authenticated not TRUE\n");
        ++link->invalid_frames;
        break;
      }
      link->last_data_protocol = 0x21;
      ppp_ip_packet_receive(link);
      break;
    case PPP_PROTOCOL_SNMP:
      if (!link->authenticated) {
        monitor_printf("ppp_receive_packet_process: authenticated not TRUE\n");
        ++link->invalid_frames;
        break;
      }
      link->last_data_protocol = 0xC1;
      snmp_ppp_frame_receive(link);
      break;
    default:
      ++link->invalid_frames;
      monitor_printf("ppp_receive_packet_process: invalid packet\n");
      send_protocol_reject(link, protocol);
      break;
  }
}

// ---------------------------------------------------------------- worker

void ppp_worker_pass() { link_worker_pass(&g_worker); }

void nx_ppp_rx_thread(ULONG) { link_worker_run(&g_worker); }

void ppp_timer_entry(ULONG row) {
  auto* link = static_cast<ppp_link*>(link_worker_row(&g_worker, row));
  if (!link) return;
  link->timeout_pending = 1;
  tx_timer_deactivate(&link->timer);
  link->timer_running = 0;
  // The link's own bit ends the worker's wait, whatever the worker was
  // doing when the timer expired.
  tx_event_flags_set(link->worker_events, link->worker_bit, TX_OR);
}

// ---------------------------------------------------------------- IP side

void ppp_ip_receive_reset(ppp_link* link) { drop_datagram(link); }

void ppp_ip_packet_receive(ppp_link* link) {
  if (!link->ip || !link->ip->nx_ip_default_pool) return;
  uint8_t b = 0;
  if (!link->first_packet) {
    // A new datagram: its total length is in its header's third and fourth bytes.
    if (!next_packet(link)) {
      monitor_printf_debug("ppp_ip_packet_receive: no packet\n");
      return;
    }
    uint8_t header[4];
    for (uint8_t& h : header) {
      if (!ppp_input_byte(link, &h)) {
        drop_datagram(link);
        return;
      }
      append_byte(link, h);
    }
    const uint32_t total = (uint32_t(header[2]) << 8) | header[3];
    if ((header[0] >> 4) != 4 || total < 20 || total > kMtu) {
      monitor_printf("ppp_ip_packet_receive: datagram of %u bytes refused\n", total);
      drop_datagram(link);
      return;
    }
    link->first_packet->nx_packet_length = total;
    link->datagram_remaining = static_cast<uint16_t>(total - 4);
  }
  while (link->datagram_remaining > 0 && ppp_input_byte(link, &b)) {
    if (!append_byte(link, b)) {
      // The pool ran dry: the datagram is lost, and the next frame starts
      // afresh instead of continuing it.
      monitor_printf_debug("ppp_ip_packet_receive: no packet\n");
      drop_datagram(link);
      return;
    }
    --link->datagram_remaining;
  }
  if (link->datagram_remaining == 0) {
    NX_PACKET* packet = link->first_packet;
    link->first_packet = link->current_packet = nullptr;
    link->packet_bytes = 0;
    _nx_ip_packet_deferred_receive(link->ip, packet);
  }
}

void ppp_set_peer_mru(ppp_link* link, uint16_t mru) {
  link->peer_mru = mru;
  if (link->ip) link->ip->nx_ip_driver_mtu = mru < kMtu ? mru : kMtu;
}

void ppp_ip_packet_send(ppp_link* link) {
  NX_PACKET* packet = link->tx_head;
  if (!packet) return;
  // A peer reassembles no datagram from several frames: one frame each. The
  // MTU keeps the datagram within the peer's MRU.
  ppp_start_frame(link, PPP_PROTOCOL_IP);
  for (NX_PACKET* p = packet; p; p = p->nx_packet_next)
    for (const UCHAR* c = p->nx_packet_prepend_ptr; c < p->nx_packet_append_ptr; ++c) ppp_output_byte(link, *c);
  ++link->ip_sent;
  ppp_send_frame(link);
  link->tx_head = packet->nx_packet_queue_next == NX_PACKET_NOT_QUEUED ? nullptr : packet->nx_packet_queue_next;
  if (!link->tx_head) link->tx_tail = nullptr;
  packet->nx_packet_queue_next = NX_PACKET_NOT_QUEUED;
  _nx_packet_transmit_release(packet);
}

namespace {

void* link_of_ip(NX_IP* ip) {
  interrupts_masked m;
  ppp_link* l = g_head;
  for (uint32_t i = 0; l && i < g_link_count; ++i, l = l->next)
    if (l->ip == ip) return l;
  return nullptr;
}

ULONG link_mtu(void* link) {
  const auto* l = static_cast<ppp_link*>(link);
  return l->peer_mru < kMtu ? l->peer_mru : kMtu;
}

TX_MUTEX* link_protect(void* link) { return &static_cast<ppp_link*>(link)->protect; }

void link_send(void* link, NX_PACKET* packet) {
  auto* l = static_cast<ppp_link*>(link);
  packet->nx_packet_queue_next = NX_PACKET_NOT_QUEUED;
  if (l->tx_tail)
    l->tx_tail->nx_packet_queue_next = packet;
  else
    l->tx_head = packet;
  l->tx_tail = packet;
  ppp_ip_packet_send(l);
}

void link_sent(void* link) { tx_semaphore_put(&static_cast<ppp_link*>(link)->tx_ready); }

// Up once IPCP has opened.
void link_enable(void* link) {
  TX_THREAD* self = tx_thread_identify();
  UINT old = 0;
  UINT status = tx_thread_preemption_change(self, 0, &old);
  if (status != TX_SUCCESS) monitor_printf("_nx_ppp_driver: tx_thread_preemption failed %02x\n", status);
  status = tx_thread_preemption_change(self, old, &old);
  if (status != TX_SUCCESS) monitor_printf("_nx_ppp_driver: tx_thread_preemption_change failed %02x\n", status);
  ULONG actual = 0;
  tx_event_flags_get(&static_cast<ppp_link*>(link)->ip_events, PPP_EVENT_IPCP_OPENED, TX_OR_CLEAR, &actual,
                     TX_WAIT_FOREVER);
}

void link_disable(void* link) {
  auto* l = static_cast<ppp_link*>(link);
  lcp_state_machine(l, LCP_CLOSE);
  for (int i = 0; i < 30 && l->lcp_state != PPP_CLOSED; ++i) tx_thread_sleep(1000);
}

constexpr link_driver kDriver = {link_of_ip,  link_mtu,     link_protect,   link_send,        link_sent,
                                 link_enable, link_disable, PPP_NX_NO_LINK, PPP_NX_UNHANDLED};

}  // namespace

VOID _nx_ppp_driver(NX_IP_DRIVER* request) { link_driver_request(request, kDriver); }
