// A UDP socket of the main IP instance bound to a local port, with one
// remembered destination. One carries the traps pushed over UDP; the SNTP
// client owns another.
#pragma once

#include <cstdint>

#include "nx_api.h"

constexpr ULONG UDP_CLIENT_QUEUE = 1000;  // datagrams the socket queues

struct udp_client {
  NX_UDP_SOCKET socket;  // "udp client socket"
  NX_IP* ip;
  uint32_t remote_address;
  uint32_t remote_port;
  NX_PACKET* packet;  // the packet being built
  NX_PACKET_POOL* pool;
  uint32_t source_address;  // sender of the last datagram received
  uint32_t source_port;
  uint8_t created;  // the socket exists
};

// Creates the socket (the cursor is not used).
void udp_client_initialize(udp_client* client, NX_IP* ip, uint8_t** cursor, NX_PACKET_POOL* pool);
// Stores the destination and binds the socket to the local port anew.
void udp_client_configure(udp_client* client, uint16_t local_port, uint32_t remote_address, uint16_t remote_port);
// One datagram to the stored destination; 1 when the stack took it.
int udp_client_send_data(udp_client* client, const uint8_t* bytes, uint32_t length);
// One datagram, waiting up to `wait` ticks: the bytes copied (at most
// `size`), 0 when none came.
uint32_t udp_client_receive_data(udp_client* client, uint8_t* buffer, uint32_t size, ULONG wait);
