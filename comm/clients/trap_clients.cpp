#include "comm/clients/trap_clients.h"

#include "comm/ntcip_endpoint.h"

udp_client g_trap_udp_client;
tcp_client g_trap_tcp_client;

namespace {
bool g_ready = false;
}  // namespace

void trap_clients_create(NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool) {
  tcp_client_forget_all();
  tcp_client_initialize(&g_trap_tcp_client, ip, cursor, pool);
  udp_client_initialize(&g_trap_udp_client, ip, cursor, pool);
  g_ready = true;
  trap_clients_configure(g_ntcip_ip.Trap().address, g_ntcip_ip.Trap().port);
}

void trap_clients_configure(uint32_t address, uint16_t port) {
  if (!g_ready) return;
  const uint16_t local = g_ntcip_ip.Own().second_port;
  tcp_client_configure(&g_trap_tcp_client, local, address, port);
  udp_client_configure(&g_trap_udp_client, local, address, port);
}

bool trap_clients_ready() { return g_ready; }

void trap_clients_forget() {
  g_ready = false;
  tcp_client_forget_all();
}

uint32_t trap_udp_client_receive(uint8_t* buffer, uint32_t size) {
  return g_ready ? udp_client_receive_data(&g_trap_udp_client, buffer, size, NX_NO_WAIT) : 0;
}
