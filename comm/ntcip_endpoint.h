// NTCIP endpoints: one named pairing of a communication port and a link
// protocol, with the SNMP agent that the link carries, and the table through
// which the endpoints are found and bound to their ports. The endpoints of
// IP type (the Ethernet UDP and TCP transports) are built here; the PPP and
// PMPP endpoints join the same table when their links are built.
#pragma once

#include <cstdint>

#include "comm/ethernet/ethernet_link.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "nx_api.h"

enum ntcip_link_type : uint8_t { NTCIP_LINK_PMPP = 1, NTCIP_LINK_PPP = 2, NTCIP_LINK_IP = 3 };

// comm_port_id: an index of the comm-port driver table, or none.
enum : uint8_t {
  COMM_PORT_CCP = 0,
  COMM_PORT_CONSOLE = 1,
  COMM_PORT_AUX = 2,
  COMM_PORT_MODEM = 3,
  COMM_PORT_PANEL = 4,
  COMM_PORT_LAPTOP = 5,
  COMM_PORT_TCP_SERVER = 9,
  COMM_PORT_UDP_SERVER = 10,
  COMM_PORT_TRAP_SERVER = 11,
  COMM_PORT_NONE = 100,
};

constexpr uint32_t NTCIP_ENDPOINTS = 12;

class CNTCIP;

struct ntcip_endpoint_entry {
  CNTCIP* endpoint;
  uint8_t port;       // comm_port_id, COMM_PORT_NONE while not bound
  uint8_t link_type;  // ntcip_link_type
  void* trap_buffer;  // the one trap buffer, once it exists
};

class CNTCIP {
 public:
  CNTCIP() = default;
  virtual ~CNTCIP() = default;
  CNTCIP(const CNTCIP&) = delete;
  CNTCIP& operator=(const CNTCIP&) = delete;

  // Sets up an endpoint of IP type: starts the SNMP engine on the first
  // set-up of the run, creates the agent on the Ethernet transport with its
  // memory from the cursor, and registers the endpoint unbound. False when
  // the agent could not be created (the endpoint is then not registered).
  static bool InitializeIP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool);
  static bool Register(CNTCIP* endpoint, uint8_t link_type);
  // The endpoint's row in the table, or -1.
  static int FindEndpoint(const char* name);
  static CNTCIP* Endpoint(const char* name);
  // Binds the endpoint to the port (COMM_PORT_NONE unbinds it), giving back
  // the driver it held. 1 bound or unbound, 0 for an unknown name or a port
  // whose driver is held elsewhere.
  static uint32_t Configure(const char* name, uint8_t port);
  static uint32_t SetInnerCharTimeoutIP(CNTCIP* endpoint, const char* name, uint32_t timeout);
  // Field 1 messages received, 2 frames transmitted, 3 bytes dropped, 4
  // bytes invalid; 0 for an unknown name, another link type or field.
  static uint32_t GetLinkStatistic(const char* name, uint32_t field);
  // Gives every endpoint's agent the controller's address, and the MIB-II
  // interface table its own entry.
  static void AssignIpAddresses();
  static const ntcip_endpoint_entry* Table(uint32_t* count);
  // Forgets every endpoint (tests).
  static void ResetTable();

  const char* Name() const { return m_Agent.name; }
  snmp_agent* Agent() { return &m_Agent; }
  ethernet_link* Link() { return ethernet_link_of(&m_Agent); }
  uint8_t Port() const;

 private:
  snmp_agent m_Agent{};
  NX_PACKET_POOL* m_pPool = nullptr;
  uint32_t m_uInnerCharTimeout = 0;
};

// The controller's address and the trap destination.
class CNTCIP_IP {
 public:
  struct record {
    uint32_t address;  // most significant byte first as a number
    uint8_t bytes[4];
    uint16_t port;
    uint16_t second_port;
  };
  virtual ~CNTCIP_IP() = default;
  void SetAddress(uint32_t address);
  void SetTrapAddress(uint32_t address);
  void SetTrapPort(uint16_t port) { m_Trap.port = port; }
  const record& Own() const { return m_Own; }
  const record& Trap() const { return m_Trap; }

 private:
  record m_Own{0, {0, 0, 0, 0}, 161, 162};
  record m_Trap{0, {0, 0, 0, 0}, 162, 0};
};

extern CNTCIP_IP g_ntcip_ip;
