#include "comm/clients/udp_client.h"

#include <cstring>

#include "frame/trace/trace.h"

void udp_client_initialize(udp_client* client, NX_IP* ip, uint8_t** /*cursor*/, NX_PACKET_POOL* pool) {
  if (!client) return;
  std::memset(static_cast<void*>(client), 0, sizeof *client);
  client->ip = ip;
  client->pool = pool;
  UINT status = nx_udp_socket_create(ip, &client->socket, "udp client socket", NX_IP_NORMAL, NX_FRAGMENT_OKAY,
                                     NX_IP_TIME_TO_LIVE, UDP_CLIENT_QUEUE);
  if (status != NX_SUCCESS) {
    monitor_printf("udp_client_initialize: nx_udp_socket_create failed:0x%X\n", status);
    return;
  }
  client->created = 1;
}

void udp_client_configure(udp_client* client, uint16_t local_port, uint32_t remote_address, uint16_t remote_port) {
  if (!client) return;
  client->remote_address = remote_address;
  client->remote_port = remote_port;
  if (!client->created) return;
  nx_udp_socket_unbind(&client->socket);
  UINT status = nx_udp_socket_bind(&client->socket, local_port, NX_NO_WAIT);
  if (status != NX_SUCCESS) monitor_printf("udp_client_configure: nx_udp_socket_bind failed:0x%X\n", status);
}

int udp_client_send_data(udp_client* client, const uint8_t* bytes, uint32_t length) {
  if (!client || !client->created || !bytes) return 0;
  NX_PACKET* packet = nullptr;
  UINT status = nx_packet_allocate(client->pool, &packet, NX_UDP_PACKET, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("udp_client_send_data: nx_packet_allocate failed:%d\n", status);
    return 0;
  }
  client->packet = packet;
  status = nx_packet_data_append(packet, bytes, length, client->pool, NX_WAIT_FOREVER);
  if (status != NX_SUCCESS) {
    monitor_printf("udp_client_send_data: nx_packet_data_append failed:%d\n", status);
  } else {
    status = nx_udp_socket_send(&client->socket, packet, client->remote_address, client->remote_port);
    if (status != NX_SUCCESS) monitor_printf("udp_client_send_data: nx_udp_socket_send failed:%d\n", status);
  }
  client->packet = nullptr;
  // A packet the stack did not take goes back to the pool, or the pool
  // would run dry one failed trap at a time.
  if (status != NX_SUCCESS) {
    nx_packet_release(packet);
    return 0;
  }
  return 1;
}

uint32_t udp_client_receive_data(udp_client* client, uint8_t* buffer, uint32_t size, ULONG wait) {
  if (!client || !client->created) return 0;
  NX_PACKET* packet = nullptr;
  if (nx_udp_socket_receive(&client->socket, &packet, wait) != NX_SUCCESS || !packet) return 0;
  ULONG address = 0;
  UINT port = 0;
  nx_udp_source_extract(packet, &address, &port);
  client->source_address = address;
  client->source_port = port;
  ULONG copied = 0;
  if (buffer && size) nx_packet_data_copy(packet, 0, buffer, size, &copied);
  nx_packet_release(packet);
  return static_cast<uint32_t>(copied);
}
