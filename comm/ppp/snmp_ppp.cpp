#include "comm/ppp/snmp_ppp.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "comm/ppp/ppp_negotiation.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

constexpr uint32_t kAlign = 16;
constexpr uint32_t kTransports = 16;
constexpr ULONG kAcceptWait = 500;
constexpr ULONG kConnectedStep = 50;

uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// The transports by index, for the "tcp thread" entries.
snmp_ppp_transport* g_transports[kTransports] = {};
uint32_t g_transport_count = 0;

snmp_ppp_transport* of_socket(NX_TCP_SOCKET* socket) {
  if (!socket) return nullptr;
  auto* t =
      reinterpret_cast<snmp_ppp_transport*>(reinterpret_cast<uint8_t*>(socket) - offsetof(snmp_ppp_transport, tcp));
  for (uint32_t i = 0; i < g_transport_count; ++i)
    if (g_transports[i] == t) return t;
  return nullptr;
}

void snmp_tcp_listen_callback(NX_TCP_SOCKET* socket, UINT) {
  if (snmp_ppp_transport* t = of_socket(socket)) tx_thread_resume(&t->tcp_thread);
}

void snmp_tcp_disconnect_callback(NX_TCP_SOCKET* socket) {
  snmp_ppp_transport* t = of_socket(socket);
  if (!t || t->connected != 1) return;
  t->connected = 0;
  tx_thread_wait_abort(&t->tcp_thread);
  if (t->dispatch_thread) tx_thread_wait_abort(t->dispatch_thread);
}

void record_sender(snmp_agent* agent, ULONG address, UINT port) {
  agent->last_sender_address[0] = static_cast<uint8_t>(address >> 24);
  agent->last_sender_address[1] = static_cast<uint8_t>(address >> 16);
  agent->last_sender_address[2] = static_cast<uint8_t>(address >> 8);
  agent->last_sender_address[3] = static_cast<uint8_t>(address);
  agent->last_sender_port = static_cast<uint16_t>(port);
}

ULONG sender_address(const snmp_agent* agent) {
  return (ULONG(agent->last_sender_address[0]) << 24) | (ULONG(agent->last_sender_address[1]) << 16) |
         (ULONG(agent->last_sender_address[2]) << 8) | agent->last_sender_address[3];
}

// A received packet's data into a buffer; false (the packet is dropped) for
// data longer than a message may be.
bool copy_message(NX_PACKET* packet, uint8_t* buffer, uint32_t* length, const char* who) {
  ULONG n = 0;
  nx_packet_length_get(packet, &n);
  if (n > SNMP_PPP_MESSAGE_MAX) {
    monitor_printf("%s: message of %u bytes dropped\n", who, static_cast<uint32_t>(n));
    return false;
  }
  ULONG copied = 0;
  nx_packet_data_copy(packet, 0, buffer, n, &copied);
  *length = copied;
  return true;
}

int initialise(snmp_agent* agent, uint8_t* buffer, uint32_t* length) {
  const uint32_t record = align_up(sizeof(snmp_ppp_transport));
  if (!buffer || !length || agent->memory_size < record + SNMP_PPP_MEMORY) return TX_SIZE_ERROR;
  if (!agent->packet_pool) {
    monitor_printf("snmp_pmpp_net_drv: nx_ip_create failed:0x%02X\n", NX_PTR_ERROR);
    return NX_PTR_ERROR;
  }
  auto* t = new (buffer) snmp_ppp_transport();
  t->id = SNMP_PPP_ID;
  t->memory = buffer + record;
  agent->transport_area = t;
  *length = record + SNMP_PPP_MEMORY;
  uint32_t index = kTransports;
  if (g_transport_count < kTransports) {
    index = g_transport_count;
    g_transports[g_transport_count++] = t;
  }

  // 1. The link.
  if (nx_ppp_create(&t->link, "SNMP OVER PPP", &t->ip, agent, SNMP_PPP_WORKER_PRIORITY, ppp_write_none, nullptr) != 0)
    monitor_printf("snmp_ppp_net_drv PPP create for SNMP failed\n");

  // 2. The IP instance over the link.
  const ULONG address = (ULONG(agent->own_address[0]) << 24) | (ULONG(agent->own_address[1]) << 16) |
                        (ULONG(agent->own_address[2]) << 8) | agent->own_address[3];
  uint8_t* memory = t->memory;
  UINT status = nx_ip_create(&t->ip, "PPP over SNMP/IP", address, IP_ADDRESS(255, 255, 0, 0),
                             static_cast<NX_PACKET_POOL*>(agent->packet_pool), _nx_ppp_driver, memory, SNMP_PPP_STACK,
                             SNMP_PPP_IP_PRIORITY);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_pmpp_net_drv: nx_ip_create failed:0x%02X\n", status);
    // The agent is not created and its memory goes to the next one: the
    // link must not stay in the worker's table.
    ppp_destroy(&t->link);
    if (index + 1 == g_transport_count) --g_transport_count;
    agent->transport_area = nullptr;
    return static_cast<int>(status);
  }
  memory += SNMP_PPP_STACK;
  // 3., 4. ARP, ICMP, UDP.
  status = nx_arp_enable(&t->ip, memory, SNMP_PPP_ARP_CACHE);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_pmpp_net_drv: nx_arp_enable failed:0x%02X\n", status);
    return static_cast<int>(status);
  }
  memory += SNMP_PPP_ARP_CACHE;
  status = nx_icmp_enable(&t->ip);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_icmp_enable failed:0x%02X\n", status);
  status = nx_udp_enable(&t->ip);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_udp_enable failed:0x%02X\n", status);
  // 5. The TCP server thread; it starts once its socket exists (open).
  status = tx_thread_create(&t->tcp_thread, "tcp thread", snmp_tcp_server_thread, index, memory, SNMP_PPP_STACK,
                            SNMP_PPP_TCP_PRIORITY, SNMP_PPP_TCP_PRIORITY, 1, TX_AUTO_START);
  if (status != TX_SUCCESS) monitor_printf("tcp_thread_initialize: tx_thread_create error 0x%02X!\n", status);
  // 6. TCP.
  status = nx_tcp_enable(&t->ip);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_tcp_enable failed:0x%02X\n", status);
  return static_cast<int>(status);
}

int open_sockets(snmp_agent* agent, snmp_ppp_transport* t) {
  UINT status = nx_udp_socket_create(&t->ip, &t->udp, "UDP IP Socket", NX_IP_MIN_DELAY, NX_FRAGMENT_OKAY, 128, 30);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_udp_socket_create failed:0x%02X\n", status);
  status = nx_udp_socket_bind(&t->udp, SNMP_PPP_PORT, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_udp_socket_bind failed:0x%02X\n", status);
  status = nx_tcp_socket_create(&t->ip, &t->tcp, "TCP IP Socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 1000, nullptr,
                                snmp_tcp_disconnect_callback);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_tcp_socket_create failed:0x%02X\n", status);
  t->relisten = 0;
  t->dispatch_thread = &agent->tcp_thread;
  status = nx_tcp_server_socket_listen(&t->ip, SNMP_PPP_PORT, &t->tcp, 1, snmp_tcp_listen_callback);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_tcp_server_socket_listen failed:0x%02X\n", status);
  t->opened = 1;
  return 0;
}

int receive(snmp_agent* agent, snmp_ppp_transport* t, uint32_t ipi, uint8_t* buffer, uint32_t* length) {
  if (ipi == SNMP_IPI_UDP) {
    NX_PACKET* packet = nullptr;
    UINT status = nx_udp_socket_receive(&t->udp, &packet, NX_WAIT_FOREVER);
    if (status != NX_SUCCESS || !packet) return static_cast<int>(status ? status : NX_NO_PACKET);
    ULONG address = 0;
    UINT port = 0;
    nx_udp_source_extract(packet, &address, &port);
    const bool ok = copy_message(packet, buffer, length, "snmp_ppp_net_drv");
    nx_packet_release(packet);
    if (!ok) return 1;
    record_sender(agent, address, port);
    t->last_receive_kind = SNMP_PPP_UDP;
    return 0;
  }
  if (ipi == SNMP_IPI_TCP) {
    if (!t->connected) {
      tx_thread_sleep(kConnectedStep);
      return 1;
    }
    NX_PACKET* packet = nullptr;
    UINT status = nx_tcp_socket_receive(&t->tcp, &packet, NX_WAIT_FOREVER);
    if (status != NX_SUCCESS || !packet) {
      t->connected = 0;
      return static_cast<int>(status ? status : NX_NO_PACKET);
    }
    const bool ok = copy_message(packet, buffer, length, "snmp_ppp_net_drv");
    nx_packet_release(packet);
    if (!ok) return 1;
    t->last_receive_kind = SNMP_PPP_TCP;
    return 0;
  }
  return 1;
}

void send_udp(snmp_agent* agent, snmp_ppp_transport* t, const uint8_t* message, uint32_t length) {
  auto* pool = static_cast<NX_PACKET_POOL*>(agent->packet_pool);
  NX_PACKET* packet = nullptr;
  UINT status = nx_packet_allocate(pool, &packet, NX_UDP_PACKET, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_ppp_net_drv: nx_packet_allocate failed:0x%02X\n", status);
    return;
  }
  nx_packet_data_append(packet, message, length, pool, NX_WAIT_FOREVER);
  status = nx_udp_socket_send(&t->udp, packet, sender_address(agent), agent->last_sender_port);
  if (status == NX_SUCCESS) {
    snmp_counter_add(snmp_counter::snmpOutPkts);
  } else {
    monitor_printf("snmp_ppp_net_drv: nx_udp_socket_send failed:0x%02X\n", status);
    nx_packet_release(packet);
  }
}

void send_tcp(snmp_agent* agent, snmp_ppp_transport* t, const uint8_t* message, uint32_t length) {
  if (!t->connected) return;
  auto* pool = static_cast<NX_PACKET_POOL*>(agent->packet_pool);
  NX_PACKET* packet = nullptr;
  UINT status = nx_packet_allocate(pool, &packet, NX_TCP_PACKET, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_ppp_net_drv: nx_packet_allocate failed:0x%02X\n", status);
    return;
  }
  nx_packet_data_append(packet, message, length, pool, NX_WAIT_FOREVER);
  status = nx_tcp_socket_send(&t->tcp, packet, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_ppp_net_drv: nx_tcp_socket_send failed:0x%02X\n", status);
    nx_packet_release(packet);
  }
}

int send(snmp_agent* agent, snmp_ppp_transport* t, const uint8_t* message, uint32_t length) {
  // The thread that processed the request tells how it came; other callers
  // go by the way the last request came.
  TX_THREAD* self = tx_thread_identify();
  uint8_t protocol = t->link.last_data_protocol;
  uint8_t kind = t->last_receive_kind;
  if (self && self == &agent->udp_thread) {
    protocol = 0x21;
    kind = SNMP_PPP_UDP;
  } else if (self && self == &agent->tcp_thread) {
    protocol = 0x21;
    kind = SNMP_PPP_TCP;
  } else if (ppp_in_worker()) {
    protocol = 0xC1;
  }
  if (protocol == 0x21) {
    if (kind == SNMP_PPP_UDP)
      send_udp(agent, t, message, length);
    else if (kind == SNMP_PPP_TCP)
      send_tcp(agent, t, message, length);
    else
      monitor_printf("snmp_ppp_net_drv: invalid snmp_ip_layer\n");
  } else if (protocol == 0xC1) {
    ntcip_packet_send(agent, &t->link, message, length);
  } else {
    monitor_printf("snmp_ppp_net_drv: invalid IPI specified\n");
  }
  return 0;
}

}  // namespace

uint32_t snmp_ppp_link_memory() { return align_up(sizeof(snmp_ppp_transport)) + SNMP_PPP_MEMORY; }

uint32_t snmp_ppp_memory_size(uint32_t stack_size) {
  return align_up(sizeof(snmp_ppp_transport)) + SNMP_PPP_MEMORY + 2 * align_up(SNMP_AGENT_BUFFER) +
         2 * align_up(stack_size) + kAlign;
}

snmp_ppp_transport* snmp_ppp_transport_of(snmp_agent* agent) {
  if (!agent) return nullptr;
  auto* t = static_cast<snmp_ppp_transport*>(agent->transport_area);
  return t && t->id == SNMP_PPP_ID ? t : nullptr;
}

ppp_link* ppp_link_of(snmp_agent* agent) {
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  return t ? &t->link : nullptr;
}

void snmp_ppp_set_chap(snmp_agent* agent, bool required) {
  ppp_link* link = ppp_link_of(agent);
  if (!link) return;
  link->chap_requested = required ? 1 : 0;
  if (required) {
    nx_ppp_chap_enable(link, chap_get_challenge_values, chap_get_responder_values, chap_get_verification_values);
    return;
  }
  link->challenge_hook = nullptr;
  link->response_hook = nullptr;
  link->verification_hook = nullptr;
  link->own_auth_protocol = 0;
  link->peer_auth_protocol = 0;
  link->chap_enabled = 0;
  link->authenticated = 1;
}

int snmp_ppp_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length) {
  if (!agent) return 1;
  if (operation == SNMP_NET_INITIALISE) return initialise(agent, buffer, length);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  if (!t) return 1;
  switch (operation) {
    case SNMP_NET_OPEN:
      return open_sockets(agent, t);
    case SNMP_NET_RECEIVE:
      return receive(agent, t, ipi, buffer, length);
    case SNMP_NET_SEND:
      if (!buffer || !length) return 1;
      return send(agent, t, buffer, *length);
    case SNMP_NET_CLOSE: {
      UINT status = nx_udp_socket_delete(&t->udp);
      if (status != NX_SUCCESS) monitor_printf("snmp_ppp_net_drv: nx_udp_socket_delete failed:0x%02X\n", status);
      return 0;
    }
    default:
      return 0;
  }
}

void ppp_udp_ip_thread_entry(snmp_agent* agent) {
  if (agent->transport(agent, SNMP_IPI_UDP, SNMP_NET_OPEN, nullptr, nullptr) != 0) {
    monitor_printf("ppp_udp_ip_thread_entry: failed to create socket\n");
    return;
  }
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  for (;;) {
    ULONG actual = 0;
    if (t) nx_ip_status_check(&t->ip, NX_IP_LINK_ENABLED, &actual, NX_WAIT_FOREVER);
    uint32_t length = 0;
    if (agent->transport(agent, SNMP_IPI_UDP, SNMP_NET_RECEIVE, agent->receive_buffer, &length) == 0)
      snmp_agent_process(agent, agent->receive_buffer, length);
  }
}

void ppp_tcp_ip_thread_entry(snmp_agent* agent) {
  tx_thread_sleep(kConnectedStep);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  if (!t) return;
  for (;;) {
    ULONG actual = 0;
    nx_ip_status_check(&t->ip, NX_IP_LINK_ENABLED, &actual, NX_WAIT_FOREVER);
    uint32_t length = 0;
    if (agent->transport(agent, SNMP_IPI_TCP, SNMP_NET_RECEIVE, t->tcp_buffer, &length) == 0)
      snmp_agent_process(agent, t->tcp_buffer, length);
  }
}

void snmp_ppp_frame_receive(ppp_link* link) {
  auto* agent = static_cast<snmp_agent*>(link ? link->owner : nullptr);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  if (!t) return;
  uint8_t* buffer = t->frame_buffer;
  uint32_t n = 0;
  while (n < 6 && ppp_input_byte(link, &buffer[n])) ++n;
  // The total is taken as the content and a 4-byte header (30 82 hh ll).
  uint32_t content = 0;
  if (n >= 2) {
    const uint8_t first = buffer[1];
    if (first < 0x80)
      content = first;
    else if (first == 0x81 && n >= 3)
      content = buffer[2];
    else if (first == 0x82 && n >= 4)
      content = (uint32_t(buffer[2]) << 8) | buffer[3];
    else
      content = SNMP_PPP_MESSAGE_MAX;  // a length the decoder refuses anyway
  }
  const uint32_t total = content + 4;
  if (total >= SNMP_PPP_MESSAGE_MAX) {
    monitor_printf("SNMP PACKET TOO LONG: %d\n", total);
    return;
  }
  if (n > total) n = total;
  while (n < total && ppp_input_byte(link, &buffer[n])) ++n;
  snmp_agent_process(agent, buffer, n);
}

void ntcip_packet_send(snmp_agent*, ppp_link* link, const uint8_t* message, uint32_t length) {
  if (!link || (!message && length)) return;
  UINT status = tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  if (status != TX_SUCCESS) monitor_printf("ntcip_packet_send: tx_mutex_get failed %02x\n", status);
  ppp_start_frame(link, PPP_PROTOCOL_SNMP);
  for (uint32_t i = 0; i < length; ++i) ppp_output_byte(link, message[i]);
  ppp_send_frame(link);
  if (status == TX_SUCCESS) {
    status = tx_mutex_put(&link->protect);
    if (status != TX_SUCCESS) monitor_printf("ntcip_packet_send: tx_mutex_put failed %02x\n", status);
  }
}

void snmp_tcp_server_thread(ULONG index) {
  if (index >= g_transport_count) return;
  snmp_ppp_transport* t = g_transports[index];
  TX_THREAD* self = &t->tcp_thread;
  for (;;) {
    if (!t->opened) {
      tx_thread_sleep(kAcceptWait);
      continue;
    }
    UINT status = nx_tcp_server_socket_accept(&t->tcp, kAcceptWait);
    if (status != NX_SUCCESS) {
      // A time-out comes back after its wait; any other failure comes at
      // once and must not spin.
      if (status != NX_NOT_CONNECTED) tx_thread_sleep(kConnectedStep);
      tx_thread_relinquish();
      continue;
    }
    t->connected = 1;
    while (t->connected == 1) tx_thread_sleep(kConnectedStep);
    nx_tcp_socket_disconnect(&t->tcp, 4);
    nx_tcp_server_socket_unaccept(&t->tcp);
    t->connected = 0;
    t->relisten = 1;
    nx_tcp_server_socket_relisten(&t->ip, SNMP_PPP_PORT, &t->tcp);
    UINT old = 0;
    tx_thread_preemption_change(self, 0, &old);
    if (t->relisten) tx_thread_suspend(self);
    tx_thread_preemption_change(self, old, &old);
    tx_thread_relinquish();
  }
}

void snmp_ppp_forget() {
  std::memset(g_transports, 0, sizeof g_transports);
  g_transport_count = 0;
}
