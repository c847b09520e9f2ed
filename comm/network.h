// The controller's main network: the packet pool and the IP instance of the
// Ethernet side, which the servers, the endpoints and the console's telnet
// share, and the pool the communication threads take their stacks from.
#pragma once

#include <cstdint>

#include "nx_api.h"
#include "tx_api.h"

constexpr uint32_t NETX_POOL_SIZE = 30000;
constexpr uint32_t NETX_PAYLOAD = 1500;

extern NX_PACKET_POOL g_netx_pool;  // "NetX"
extern NX_IP g_netx_ip;             // "NetX IP Instance 0", created by the network start-up
// True once the network start-up has created g_netx_ip.
bool network_ip_created();

// Start-up step of the boot-monitor connection: the IP stack's system
// initialisation and the main packet pool.
void network_memory_areas();

// "thread stacks", for the threads of the links and servers; the
// communication task gives it when it is created.
void comm_set_thread_stack_pool(TX_BYTE_POOL* pool);
TX_BYTE_POOL* comm_thread_stack_pool();
