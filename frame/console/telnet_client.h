// Thin wrapper of the network stack's telnet client: a TCP connection to a
// telnet port (the cellular modem's command port), packets both ways.
#pragma once

#include <cstdint>

#include "nx_telnet.h"

class CTelnetClient {
 public:
  enum : uint8_t {
    STATE_CONSTRUCTED = 0,
    STATE_DELETED = 1,
    STATE_CREATED = 2,
    STATE_DISCONNECTED = 3,
    STATE_CONNECTED = 4
  };
  static constexpr uint32_t WINDOW = 1000;
  static constexpr uint32_t WAIT = 100;  // ticks for connect, disconnect and send

  CTelnetClient(NX_IP* ip, NX_PACKET_POOL* pool);
  virtual ~CTelnetClient();
  CTelnetClient(const CTelnetClient&) = delete;
  CTelnetClient& operator=(const CTelnetClient&) = delete;

  int Create();
  // 1 when connected; 0 when it was connected already or the connection
  // failed. Creates the client first when needed.
  int Connect(uint32_t address, uint32_t port);
  // 1 when disconnected afterwards (a client without a connection counts).
  int Disconnect();
  // 1 and up to `size` bytes of one received packet (the rest of it is
  // dropped); 0 when not connected or nothing came within `wait` ticks.
  int Receive(uint8_t* buffer, uint32_t size, uint32_t* bytes, uint32_t wait);
  // 1 when the bytes went out in one packet.
  int Send(const void* data, uint32_t length);
  int Delete();

  uint8_t State() const { return m_byState; }

 private:
  uint8_t m_byState = STATE_CONSTRUCTED;
  NX_TELNET_CLIENT m_Client{};
  NX_IP* m_pIp;
  NX_PACKET_POOL* m_pPool;
};
