// NTCIP endpoints: one named pairing of a communication port and a link
// protocol, with the SNMP agent that the link carries, and the table through
// which the endpoints are found and bound to their ports. Endpoints of IP
// type (the Ethernet UDP and TCP transports) carry their link here; the PPP
// and PMPP endpoints carry the link that their module installs
// (comm/ntcip_link.h).
//
// The endpoint layer also decides which traps are queued (SendTrap) and when
// queued traps leave (ProcessTraps: over Ethernet here, over the serial
// ports' PPP links and dial-up callbacks in link_traps.cpp).
#pragma once

#include <cstdint>

#include "comm/ethernet/ethernet_link.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "nx_api.h"

class CSerialDriver;
class CTrapBuffer;
class ntcip_modem;
struct snmp_trap_varbind;
struct trap_record;

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
// Ports and stacks of the serial agents.
constexpr uint16_t NTCIP_SERIAL_SNMP_PORT = 1161;
constexpr uint16_t NTCIP_SERIAL_TRAP_PORT = 1162;
constexpr uint32_t NTCIP_DISPATCH_STACK = 2048;

class CNTCIP;

struct ntcip_endpoint_entry {
  CNTCIP* endpoint;
  uint8_t port;       // comm_port_id, COMM_PORT_NONE while not bound
  uint8_t link_type;  // ntcip_link_type
  CTrapBuffer* trap_buffer;  // the one trap buffer of every row
};

class CNTCIP {
 public:
  CNTCIP() = default;
  virtual ~CNTCIP() = default;
  CNTCIP(const CNTCIP&) = delete;
  CNTCIP& operator=(const CNTCIP&) = delete;

  // --- Set-up, once per endpoint at start-up. Each starts the SNMP engine on
  // the first set-up of the run, creates the agent with its memory from the
  // cursor, and registers the endpoint unbound. False when the agent could
  // not be created (the endpoint is then not registered).
  static bool InitializeIP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool);
  static bool InitializePMPP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool);
  // parameters: the port's parameter text; "nchap" lets the peer in without CHAP.
  static bool InitializePPP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool,
                            const char* parameters);
  static bool Register(CNTCIP* endpoint, uint8_t link_type);

  // --- The table.
  // The endpoint's row in the table, or -1.
  static int FindEndpoint(const char* name);
  static CNTCIP* Endpoint(const char* name);
  // Binds the endpoint to the port (COMM_PORT_NONE unbinds it), giving back
  // the driver it held. 1 bound or unbound (also to a port its link cannot
  // use, which holds the driver and carries nothing), 0 for an unknown name
  // or a port whose driver is held elsewhere.
  static uint32_t Configure(const char* name, uint8_t port);
  static const ntcip_endpoint_entry* Table(uint32_t* count);
  // Forgets every endpoint, the bound drivers and the linked modems (a new
  // start in the same process, and tests).
  static void ResetTable();
  // The serial driver the port's endpoint is bound to, or null.
  static CSerialDriver* PortDriver(uint8_t port);

  // --- Parameters pushed by the port set-up. Each returns 1.
  static uint32_t SetInnerCharTimeoutIP(CNTCIP* endpoint, const char* name, uint32_t timeout);
  static uint32_t SetInnerCharTimeoutPPP(CNTCIP* endpoint, const char* name, uint32_t timeout);
  static uint32_t SetInnerCharTimeoutPMPP(CNTCIP* endpoint, const char* name, uint32_t timeout);
  static uint32_t SetPMPPParameters(CNTCIP* endpoint, const char* name, uint32_t timeout, uint16_t ack2_timeout,
                                    uint8_t retries, uint32_t remote, uint16_t lid);
  // The low byte becomes the station address of every PMPP link.
  static void SetHdlcAddress(uint32_t address);
  // Gives every endpoint's agent and link the controller's address, and the
  // MIB-II interface table its own entry.
  static void AssignIpAddresses();

  // --- Statistics: field 1 received, 2 transmitted, 3 bytes dropped, 4
  // bytes invalid; 0 for an unknown name or field.
  static uint32_t GetLinkStatistic(const char* name, uint32_t field);
  static uint32_t GetRxCount(const char* name) { return GetLinkStatistic(name, 1); }
  static uint32_t GetTxCount(const char* name) { return GetLinkStatistic(name, 2); }
  static uint32_t GetBytesDropped(const char* name) { return GetLinkStatistic(name, 3); }
  static uint32_t GetBytesInvalid(const char* name) { return GetLinkStatistic(name, 4); }

  // --- Traps.
  // Queues a trap when the trap settings allow it (varbinds as the trap
  // queue takes them; the values are copied).
  static void SendTrap(uint32_t generic, uint32_t specific, uint32_t count, const snmp_trap_varbind* varbinds);
  // One trap step of the communication task: expiry, then each port's step.
  static void ProcessTraps();
  static void ProcessTrapsEthernet();
  static void ProcessPPPTrapsCCP();
  static void ProcessPPPTrapsAUX();
  static void ProcessPPPTrapsModem();
  static void ProcessPPPTrapsLaptop();
  // 0 while the endpoint's serial port has the trap setting 1 (its traps
  // answer its polls), else 1.
  static uint32_t TrapsEnabled(const char* name);
  static uint32_t IsTrapBufferEmpty(const char* name);
  static void GetTrap(const char* name, trap_record* record);
  // globalTime when the last trap was queued.
  static uint32_t LastTrapTime();
  // Installs SendTrap as the trap queue's admission, the routes of the
  // clients and the trap port, and the serial endpoints' polled-trap answer.
  static void InstallTrapPaths();
  // Forgets the trap steps' counts (a new start; part of ResetTable).
  static void ResetTrapState();
  static void ResetLinkTrapState();

  // --- Dial-up modems of the CCP, AUX and MODEM ports. Both return 0.
  static uint32_t LinkExternalModem(uint8_t port, ntcip_modem* modem);
  static uint32_t ReleaseModemLink(ntcip_modem* modem);
  static ntcip_modem* LinkedModem(uint8_t port);

  const char* Name() const { return m_Agent.name; }
  snmp_agent* Agent() { return &m_Agent; }
  // The Ethernet link of an IP endpoint (null for the others).
  ethernet_link* Link();
  uint8_t Port() const;
  uint8_t LinkType() const;
  // Set while a PMPP endpoint is bound to the CCP port in radio mode.
  uint8_t RadioProtocol() const { return m_byRadio; }
  uint32_t InnerCharTimeout() const { return m_uInnerCharTimeout; }

 private:
  static bool Initialize(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool,
                         uint8_t link_type);
  static uint32_t SetSerialTimeout(CNTCIP* endpoint, const char* name, uint32_t timeout, uint8_t link_type);

  snmp_agent m_Agent{};
  NX_PACKET_POOL* m_pPool = nullptr;
  uint8_t m_byRadio = 0;
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

// The model byte of a peripheral-status row.
uint8_t peripheral_status_get_model(uint32_t row);
