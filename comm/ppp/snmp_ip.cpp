#include "comm/ppp/snmp_ip.h"

#include <cstddef>
#include <cstring>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

constexpr uint32_t kServices = 16;
constexpr ULONG kAcceptWait = 500;
constexpr ULONG kConnectedStep = 50;

// The services by index, for the "tcp thread" entries.
snmp_ip_service* g_services[kServices] = {};
uint32_t g_service_count = 0;

snmp_ip_service* of_socket(NX_TCP_SOCKET* socket) {
  if (!socket) return nullptr;
  auto* s = reinterpret_cast<snmp_ip_service*>(reinterpret_cast<uint8_t*>(socket) - offsetof(snmp_ip_service, tcp));
  for (uint32_t i = 0; i < g_service_count; ++i)
    if (g_services[i] == s) return s;
  return nullptr;
}

void snmp_tcp_listen_callback(NX_TCP_SOCKET* socket, UINT) {
  if (snmp_ip_service* s = of_socket(socket)) tx_thread_resume(&s->tcp_thread);
}

void snmp_tcp_disconnect_callback(NX_TCP_SOCKET* socket) {
  snmp_ip_service* s = of_socket(socket);
  if (!s || s->connected != 1) return;
  s->connected = 0;
  tx_thread_wait_abort(&s->tcp_thread);
  if (s->dispatch_thread) tx_thread_wait_abort(s->dispatch_thread);
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
  if (n > SNMP_IP_MESSAGE_MAX) {
    monitor_printf("%s: message of %u bytes dropped\n", who, static_cast<uint32_t>(n));
    return false;
  }
  ULONG copied = 0;
  nx_packet_data_copy(packet, 0, buffer, n, &copied);
  *length = copied;
  return true;
}

// A packet of the pool holding the message, or null (traced).
NX_PACKET* message_packet(snmp_agent* agent, snmp_ip_service* s, ULONG type, const uint8_t* message, uint32_t length) {
  auto* pool = static_cast<NX_PACKET_POOL*>(agent->packet_pool);
  NX_PACKET* packet = nullptr;
  UINT status = nx_packet_allocate(pool, &packet, type, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("%s: nx_packet_allocate failed:0x%02X\n", s->who, status);
    return nullptr;
  }
  nx_packet_data_append(packet, message, length, pool, NX_WAIT_FOREVER);
  return packet;
}

void send_udp(snmp_agent* agent, snmp_ip_service* s, const uint8_t* message, uint32_t length) {
  NX_PACKET* packet = message_packet(agent, s, NX_UDP_PACKET, message, length);
  if (!packet) return;
  UINT status = nx_udp_socket_send(&s->udp, packet, sender_address(agent), agent->last_sender_port);
  if (status == NX_SUCCESS) {
    snmp_counter_add(snmp_counter::snmpOutPkts);
  } else {
    monitor_printf("%s: nx_udp_socket_send failed:0x%02X\n", s->who, status);
    nx_packet_release(packet);
  }
}

void send_tcp(snmp_agent* agent, snmp_ip_service* s, const uint8_t* message, uint32_t length) {
  if (!s->connected) {
    monitor_printf("%s: unable to tx over tcp, not connected\n", s->who);
    return;
  }
  NX_PACKET* packet = message_packet(agent, s, NX_TCP_PACKET, message, length);
  if (!packet) return;
  UINT status = nx_tcp_socket_send(&s->tcp, packet, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("%s: nx_tcp_socket_send failed:0x%02X\n", s->who, status);
    nx_packet_release(packet);
  }
}

}  // namespace

int snmp_ip_create(snmp_ip_service* s, snmp_agent* agent, const char* name, VOID (*driver)(NX_IP_DRIVER*)) {
  uint32_t index = kServices;
  if (g_service_count < kServices) {
    index = g_service_count;
    g_services[g_service_count++] = s;
  }
  const ULONG address = (ULONG(agent->own_address[0]) << 24) | (ULONG(agent->own_address[1]) << 16) |
                        (ULONG(agent->own_address[2]) << 8) | agent->own_address[3];
  uint8_t* memory = s->memory;
  UINT status = nx_ip_create(&s->ip, name, address, IP_ADDRESS(255, 255, 0, 0),
                             static_cast<NX_PACKET_POOL*>(agent->packet_pool), driver, memory, SNMP_IP_STACK,
                             SNMP_IP_PRIORITY);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_pmpp_net_drv: nx_ip_create failed:0x%02X\n", status);
    if (index + 1 == g_service_count) --g_service_count;
    return static_cast<int>(status);
  }
  s->created = 1;
  memory += SNMP_IP_STACK;
  status = nx_arp_enable(&s->ip, memory, SNMP_IP_ARP_CACHE);
  if (status != NX_SUCCESS) {
    monitor_printf("snmp_pmpp_net_drv: nx_arp_enable failed:0x%02X\n", status);
    return static_cast<int>(status);
  }
  memory += SNMP_IP_ARP_CACHE;
  status = nx_icmp_enable(&s->ip);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_icmp_enable failed:0x%02X\n", status);
  status = nx_udp_enable(&s->ip);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_udp_enable failed:0x%02X\n", status);
  s->accepted_ready = tx_semaphore_create(&s->accepted, "SNMP TCP Accepted", 0) == TX_SUCCESS;
  // The TCP server thread starts serving once its socket exists (open).
  status = tx_thread_create(&s->tcp_thread, "tcp thread", snmp_tcp_server_thread, index, memory, SNMP_IP_STACK,
                            SNMP_IP_TCP_PRIORITY, SNMP_IP_TCP_PRIORITY, 1, TX_AUTO_START);
  if (status != TX_SUCCESS) monitor_printf("tcp_thread_initialize: tx_thread_create error 0x%02X!\n", status);
  status = nx_tcp_enable(&s->ip);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_tcp_enable failed:0x%02X\n", status);
  return static_cast<int>(status);
}

int snmp_ip_open(snmp_agent* agent, snmp_ip_service* s) {
  UINT status = nx_udp_socket_create(&s->ip, &s->udp, "UDP IP Socket", NX_IP_MIN_DELAY, NX_FRAGMENT_OKAY, 128, 30);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_udp_socket_create failed:0x%02X\n", status);
  status = nx_udp_socket_bind(&s->udp, SNMP_IP_PORT, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_udp_socket_bind failed:0x%02X\n", status);
  status = nx_tcp_socket_create(&s->ip, &s->tcp, "TCP IP Socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY, 128, 1000, nullptr,
                                snmp_tcp_disconnect_callback);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_tcp_socket_create failed:0x%02X\n", status);
  s->relisten = 0;
  s->dispatch_thread = &agent->tcp_thread;
  status = nx_tcp_server_socket_listen(&s->ip, SNMP_IP_PORT, &s->tcp, 1, snmp_tcp_listen_callback);
  if (status != NX_SUCCESS) monitor_printf("snmp_pmpp_net_drv: nx_tcp_server_socket_listen failed:0x%02X\n", status);
  s->opened = 1;
  return 0;
}

int snmp_ip_receive(snmp_agent* agent, snmp_ip_service* s, uint32_t ipi, uint8_t* buffer, uint32_t* length) {
  if (ipi == SNMP_IPI_UDP) {
    NX_PACKET* packet = nullptr;
    UINT status = nx_udp_socket_receive(&s->udp, &packet, NX_WAIT_FOREVER);
    if (status != NX_SUCCESS || !packet) return static_cast<int>(status ? status : NX_NO_PACKET);
    ULONG address = 0;
    UINT port = 0;
    nx_udp_source_extract(packet, &address, &port);
    const bool ok = copy_message(packet, buffer, length, s->who);
    nx_packet_release(packet);
    if (!ok) return 1;
    record_sender(agent, address, port);
    s->last_receive_kind = SNMP_IP_UDP;
    return 0;
  }
  if (ipi == SNMP_IPI_TCP) {
    if (!s->connected) {
      // Until the "tcp thread" accepts a connection; the count keeps an
      // accept that comes before this wait.
      if (!s->accepted_ready || tx_semaphore_get(&s->accepted, TX_WAIT_FOREVER) != TX_SUCCESS)
        tx_thread_sleep(kConnectedStep);
      return 1;
    }
    NX_PACKET* packet = nullptr;
    UINT status = nx_tcp_socket_receive(&s->tcp, &packet, NX_WAIT_FOREVER);
    if (status != NX_SUCCESS || !packet) {
      s->connected = 0;
      return static_cast<int>(status ? status : NX_NO_PACKET);
    }
    const bool ok = copy_message(packet, buffer, length, s->who);
    nx_packet_release(packet);
    if (!ok) return 1;
    s->last_receive_kind = SNMP_IP_TCP;
    return 0;
  }
  return 1;
}

void snmp_ip_send(snmp_agent* agent, snmp_ip_service* s, uint8_t kind, const uint8_t* message, uint32_t length) {
  if (kind == SNMP_IP_UDP)
    send_udp(agent, s, message, length);
  else if (kind == SNMP_IP_TCP)
    send_tcp(agent, s, message, length);
  else
    monitor_printf("%s: invalid snmp_ip_layer\n", s->who);
}

int snmp_ip_close(snmp_ip_service* s) {
  UINT status = nx_udp_socket_delete(&s->udp);
  if (status != NX_SUCCESS) monitor_printf("%s: nx_udp_socket_delete failed:0x%02X\n", s->who, status);
  return 0;
}

snmp_ip_service* snmp_ip_of(snmp_agent* agent) {
  if (!agent) return nullptr;
  auto* s = static_cast<snmp_ip_service*>(agent->transport_area);
  for (uint32_t i = 0; s && i < g_service_count; ++i)
    if (g_services[i] == s) return s;
  return nullptr;
}

void snmp_ip_udp_thread_entry(snmp_agent* agent) {
  if (agent->transport(agent, SNMP_IPI_UDP, SNMP_NET_OPEN, nullptr, nullptr) != 0) {
    monitor_printf("ppp_udp_ip_thread_entry: failed to create socket\n");
    return;
  }
  snmp_ip_service* s = snmp_ip_of(agent);
  for (;;) {
    ULONG actual = 0;
    if (s) nx_ip_status_check(&s->ip, NX_IP_LINK_ENABLED, &actual, NX_WAIT_FOREVER);
    uint32_t length = 0;
    if (agent->transport(agent, SNMP_IPI_UDP, SNMP_NET_RECEIVE, agent->receive_buffer, &length) == 0)
      snmp_agent_process(agent, agent->receive_buffer, length);
  }
}

void snmp_ip_tcp_thread_entry(snmp_agent* agent) {
  tx_thread_sleep(kConnectedStep);
  snmp_ip_service* s = snmp_ip_of(agent);
  if (!s) return;
  for (;;) {
    ULONG actual = 0;
    nx_ip_status_check(&s->ip, NX_IP_LINK_ENABLED, &actual, NX_WAIT_FOREVER);
    uint32_t length = 0;
    if (agent->transport(agent, SNMP_IPI_TCP, SNMP_NET_RECEIVE, s->tcp_buffer, &length) == 0)
      snmp_agent_process(agent, s->tcp_buffer, length);
  }
}

void snmp_tcp_server_thread(ULONG index) {
  if (index >= g_service_count) return;
  snmp_ip_service* s = g_services[index];
  TX_THREAD* self = &s->tcp_thread;
  for (;;) {
    if (!s->opened) {
      tx_thread_sleep(kAcceptWait);
      continue;
    }
    UINT status = nx_tcp_server_socket_accept(&s->tcp, kAcceptWait);
    if (status != NX_SUCCESS) {
      // A time-out comes back after its wait; any other failure comes at
      // once and must not spin.
      if (status != NX_NOT_CONNECTED) tx_thread_sleep(kConnectedStep);
      tx_thread_relinquish();
      continue;
    }
    s->connected = 1;
    ULONG waiting = 0;
    if (s->accepted_ready && tx_semaphore_info_get(&s->accepted, nullptr, &waiting) == TX_SUCCESS && waiting == 0)
      tx_semaphore_put(&s->accepted);
    while (s->connected == 1) tx_thread_sleep(kConnectedStep);
    nx_tcp_socket_disconnect(&s->tcp, 4);
    nx_tcp_server_socket_unaccept(&s->tcp);
    s->connected = 0;
    s->relisten = 1;
    nx_tcp_server_socket_relisten(&s->ip, SNMP_IP_PORT, &s->tcp);
    UINT old = 0;
    tx_thread_preemption_change(self, 0, &old);
    if (s->relisten) tx_thread_suspend(self);
    tx_thread_preemption_change(self, old, &old);
    tx_thread_relinquish();
  }
}

void snmp_ip_forget() {
  std::memset(g_services, 0, sizeof g_services);
  g_service_count = 0;
}
