// Thin wrapper of the network stack's telnet server for the console: one
// server "Server" on port 23 whose connection, data and end events go to one
// handler (the monitor task's login and line editor), and a send of console
// output to one connection.
#pragma once

#include <cstdint>

#include "nx_telnet.h"
#include "tx_api.h"

class CTelnetServer {
 public:
  enum : uint8_t { STATE_CONSTRUCTED = 0, STATE_DELETED = 1, STATE_CREATED = 2, STATE_STOPPED = 3, STATE_STARTED = 4 };
  enum : uint32_t { EVENT_END = 1, EVENT_CONNECT = 2, EVENT_DATA = 3 };
  enum : int { HANDLER_UNKNOWN_EVENT = 4 };
  static constexpr uint32_t STACK_SIZE = 2048;
  static constexpr uint32_t REPLY_SIZE = 128;  // room for a handler's reply
  static constexpr uint32_t DATA_CHUNK = 64;   // received bytes per handler call
  static constexpr uint32_t SEND_WAIT = 100;   // ticks a reply may wait to go out

  // The handler of the server's events, in the server's thread: 0, or
  // HANDLER_UNKNOWN_EVENT. A reply of up to REPLY_SIZE bytes written to
  // `reply` goes back to the connection.
  typedef int (*event_handler)(void* context, uint32_t event, uint32_t connection, const uint8_t* data,
                               uint32_t length, char* reply, uint32_t* reply_length);

  CTelnetServer(NX_IP* ip, NX_PACKET_POOL* pool, TX_BYTE_POOL* byte_pool);
  virtual ~CTelnetServer();
  CTelnetServer(const CTelnetServer&) = delete;
  CTelnetServer& operator=(const CTelnetServer&) = delete;

  // Takes the thread's stack from the byte pool (without waiting) and
  // creates the server; 1 when created (refused from the created state on).
  int Create();
  int Start();   // 1 when started (refused when started already)
  int Stop();    // 1 when stopped (refused before it started)
  int Delete();  // 1 when deleted (refused before it was created)
  // Output for one connection, without waiting: 1 when sent.
  int Send(uint32_t connection, const void* data, uint32_t length);

  void SetEventHandler(event_handler handler, void* context);
  // The network the server is built on, until it is created (the network
  // comes up after the console's objects are constructed).
  void SetNetwork(NX_IP* ip, NX_PACKET_POOL* pool);
  void SetBytePool(TX_BYTE_POOL* pool) { m_pBytePool = pool; }

  uint8_t State() const { return m_byState; }
  NX_IP* Ip() const { return m_pIp; }
  NX_PACKET_POOL* PacketPool() const { return m_pPool; }
  TX_BYTE_POOL* BytePool() const { return m_pBytePool; }

 private:
  static CTelnetServer* Owner(NX_TELNET_SERVER* server);
  static void OnNewConnection(NX_TELNET_SERVER* server, UINT connection);
  static void OnReceive(NX_TELNET_SERVER* server, UINT connection, NX_PACKET* packet);
  static void OnEnd(NX_TELNET_SERVER* server, UINT connection);
  int Handle(uint32_t event, uint32_t connection, const uint8_t* data, uint32_t length, char* reply,
             uint32_t* reply_length);
  void Reply(uint32_t connection, const char* reply, uint32_t length);

  uint8_t m_byState = STATE_CONSTRUCTED;
  NX_IP* m_pIp;
  NX_PACKET_POOL* m_pPool;
  TX_BYTE_POOL* m_pBytePool;
  void* m_pStack = nullptr;
  NX_TELNET_SERVER m_Server{};
  event_handler m_pfnHandler = nullptr;
  void* m_pContext = nullptr;
};
