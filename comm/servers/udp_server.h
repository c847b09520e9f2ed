// The UDP server of the Ethernet side and its two worker threads. A worker
// receives datagrams on its own socket: on the SNMP port each datagram goes
// whole to the endpoint "ethernet_udp", tagged with the socket and the
// sender, so that its answer leaves on that socket for that sender however
// many managers ask at once; on port 3002 a datagram carries real-time data.
#pragma once

#include <cstdint>

#include "comm/ethernet/ethernet_link.h"
#include "nx_api.h"
#include "tx_api.h"

class CUDP_Server;

constexpr uint32_t UDP_WORKERS = 2;
constexpr uint32_t SERVER_STACK_SIZE = 2048;
constexpr UINT SERVER_PRIORITY = 3;
constexpr uint16_t REAL_TIME_DATA_PORT = 3002;
constexpr ULONG UDP_QUEUE_LIMIT = 1000;
constexpr ULONG SERVER_PACKET_WAIT = 100;  // ticks a send waits for packets of the pool
// Ethernet protocol codes: PMPP or PPP streams over TCP; every other code
// carries SNMP over UDP and TCP (11 is the one the menus offer).
constexpr uint8_t ETHERNET_PROTOCOL_PMPP = 9;
constexpr uint8_t ETHERNET_PROTOCOL_PPP = 10;
constexpr uint8_t ETHERNET_PROTOCOL_SNMP = 11;
constexpr uint8_t ETHERNET_PROTOCOL_NONE = 0xFF;  // a server no binding gave a protocol: it carries nothing
inline bool ethernet_protocol_is_snmp(uint8_t code) {
  return code != ETHERNET_PROTOCOL_PMPP && code != ETHERNET_PROTOCOL_PPP && code != ETHERNET_PROTOCOL_NONE;
}

struct udp_thread_record {
  NX_UDP_SOCKET socket;  // "udp thread socket"
  TX_THREAD thread;      // "udp thread"
  NX_IP* ip;
  uint8_t free;  // 1: may be given a port
  uint16_t port;
  CUDP_Server* server;
  uint8_t datagram[ETHERNET_QUEUE_SIZE + 1];  // the part of a datagram the link can take, and one byte more
};

class CUDP_Server {
 public:
  CUDP_Server() = default;
  CUDP_Server(const CUDP_Server&) = delete;
  CUDP_Server& operator=(const CUDP_Server&) = delete;

  // Waits for one datagram on the worker's socket and serves it. 1, or 0
  // when the receive failed.
  int Receive(udp_thread_record* worker);
  // One datagram to the sender of the last datagram received. 1 sent, 0 not.
  int Send(const uint8_t* bytes, uint32_t length);
  // One datagram on the socket that received from the peer, to it.
  int SendTo(const uint8_t* bytes, uint32_t length, const ethernet_peer& to);
  // Binds a worker to the port (the result is not reported).
  void Listen(uint16_t port);

  void SetProtocol(uint8_t code) { m_byProtocol = code; }
  uint8_t Protocol() const { return m_byProtocol; }
  uint32_t LastSenderAddress() const { return m_uLastAddress; }
  uint32_t LastSenderPort() const { return m_uLastPort; }

 private:
  udp_thread_record* m_pCurrent = nullptr;  // the worker that received last
  uint32_t m_uLastPort = 0;
  uint32_t m_uLastAddress = 0;
  uint8_t m_byProtocol = ETHERNET_PROTOCOL_NONE;
};

// Creates the two workers (suspended, stacks taken from *stack_memory in
// turn, 4096 bytes in all), their sockets and "udp mutex".
void udp_thread_initialize(NX_IP* ip, uint8_t** stack_memory, NX_PACKET_POOL* pool);
// Binds the first free worker to the port and starts it. 0, or 1 when no
// worker could be bound.
uint32_t udp_thread_listen_setup(uint16_t port, CUDP_Server* server);
const udp_thread_record* udp_thread_records();
// A datagram of real-time data: after an 8-byte header that begins with 13,
// its bytes become quorRealTimeData; anything else changes nothing.
void udp_real_time_data(const uint8_t* bytes, uint32_t length);
