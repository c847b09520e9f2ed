// The two clients that push traps to the trap manager: UDP and TCP, both
// bound to the controller's trap port (162) and aimed at the trap
// destination. They exist once the network has started.
#pragma once

#include <cstdint>

#include "comm/clients/tcp_client.h"
#include "comm/clients/udp_client.h"

extern udp_client g_trap_udp_client;
extern tcp_client g_trap_tcp_client;

// The network start-up: creates both (the TCP client's stack at the
// cursor) and aims them at the trap destination of g_ntcip_ip.
void trap_clients_create(NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool);
// Aims both at a new trap destination; nothing before the network started.
void trap_clients_configure(uint32_t address, uint16_t port);
bool trap_clients_ready();
// A new start in the same process: the former clients are gone.
void trap_clients_forget();
// One datagram that came to the UDP client, without waiting: its length, 0
// when none.
uint32_t trap_udp_client_receive(uint8_t* buffer, uint32_t size);
