// The TCP servers of the Ethernet side and their five worker threads. A
// worker listens on one port, serves one connection at a time and hands its
// bytes on by the server's protocol code: SNMP streams to the endpoint
// "ethernet_tcp" (tagged with the connection, so that an answer never
// reaches another connection), PMPP and PPP streams byte by byte to the
// endpoint "ethernet_pmpp" or "ethernet_ppp", the remote front panel's bytes
// to the server's receive ring. When a connection ends its port is listened
// again.
#pragma once

#include <cstdint>

#include "comm/ethernet/ethernet_link.h"
#include "comm/servers/udp_server.h"
#include "nx_api.h"
#include "tx_api.h"

class CRingBuffer;
class CTCP_Server;

constexpr uint32_t TCP_WORKERS = 5;
constexpr ULONG TCP_WINDOW = 1000;
constexpr ULONG TCP_ACCEPT_WAIT = 500;
constexpr ULONG TCP_RECEIVE_WAIT = 30000;  // a client silent for 300 s is dropped
constexpr uint16_t TRAP_PORT = 162;
constexpr uint16_t REMOTE_PANEL_PORT = 15002;

struct tcp_thread_record {
  NX_TCP_SOCKET socket;  // "tcp thread socket"
  TX_THREAD thread;      // "tcp thread"
  NX_IP* ip;
  uint8_t free;  // 1: may be given a port
  uint16_t port;
  uint8_t connected;
  uint8_t relisten;  // its port is to be listened again
  CTCP_Server* server;
  uint32_t generation;  // counts the connections the record served
  uint8_t segment[1536];
};

class CTCP_Server {
 public:
  CTCP_Server() = default;
  virtual ~CTCP_Server();
  CTCP_Server(const CTCP_Server&) = delete;
  CTCP_Server& operator=(const CTCP_Server&) = delete;

  // Listens on the port; with a ring size, makes the receive and transmit
  // rings of that size. 1, or 0 when no worker could listen or a ring
  // could not be made.
  int Open(uint16_t port, uint32_t ring_size);
  // Waits for data on the worker's connection and hands it on. 1 while the
  // connection lives, 0 when it ended or stayed silent too long.
  int Receive(tcp_thread_record* worker);
  // Sends on the latest connection. 1 sent, 0 not.
  int Send(const uint8_t* bytes, uint32_t length);
  // Sends on the connection that the peer names, while it lasts.
  int SendTo(const uint8_t* bytes, uint32_t length, const ethernet_peer& to);
  // Called with (context, argument) after each byte handed to a PMPP or PPP
  // endpoint; a null callback removes it.
  void SetReceiveCallback(void (*callback)(void*, uint32_t), void* context, uint32_t argument);
  // The rings of the remote front panel.
  int GetByte(uint32_t* out);
  int PutByte(uint8_t byte);
  void Flush();

  void SetProtocol(uint8_t code) { m_byProtocol = code; }
  uint8_t Protocol() const { return m_byProtocol; }
  tcp_thread_record* Current() const { return m_pCurrent; }
  void SetCurrent(tcp_thread_record* worker) { m_pCurrent = worker; }

 private:
  CRingBuffer* m_pTx = nullptr;
  CRingBuffer* m_pRx = nullptr;
  void (*m_pCallback)(void*, uint32_t) = nullptr;
  void* m_pCallbackContext = nullptr;
  uint32_t m_uCallbackArgument = 0;
  uint8_t m_byProtocol = ETHERNET_PROTOCOL_NONE;
  tcp_thread_record* m_pCurrent = nullptr;
  // The connection whose bytes the PPP link last took.
  const void* m_pStreamSocket = nullptr;
  uint32_t m_uStreamGeneration = 0;
};

// Creates the five workers (suspended; 10240 bytes of stacks from
// *stack_memory), their sockets and "tcp mutex".
void tcp_thread_initialize(NX_IP* ip, uint8_t** stack_memory, NX_PACKET_POOL* pool);
// Listens on the port with the first free worker. 0, or 1 when none could.
uint32_t tcp_server_listen(uint16_t port, CTCP_Server* server);
const tcp_thread_record* tcp_thread_records();
