// The "Communication" task: when its thread starts it brings up the main IP
// instance, the TCP and UDP servers and the Ethernet endpoints, and binds
// the endpoints to their ports; its periodic step serves its letters and
// notes when central last spoke. It owns the Ethernet servers and
// endpoints. (File transfer, SNTP, DHCP, the comm-loss and heartbeat
// supervision, traps and the web server join it as they are built.)
#pragma once

#include <cstdint>

#include "comm/ntcip_endpoint.h"
#include "comm/servers/tcp_server.h"
#include "comm/servers/udp_server.h"
#include "frame/bus/subscriber.h"
#include "frame/task/task_base.h"

constexpr uint32_t COMM_NETWORK_MEMORY = 69936;  // stacks and caches of the network start-up
constexpr uint32_t COMM_NETWORK_FILL = 67888;    // of it, filled for the stack reports
constexpr uint16_t COMM_SNMP_PORT = 161;
constexpr uint16_t COMM_SECOND_SNMP_PORT = 14001;
constexpr uint32_t COMM_FILE_LOCK_FLAG = 0x10000;

// The controller's address, mask, gateway and SNTP server, as the network
// start-up found them.
struct interface_settings_s {
  uint32_t address;
  uint32_t mask;
  uint32_t gateway;  // 0: none
  uint32_t sntp_server;
};
extern interface_settings_s interface_settings;

// Reads the boot monitor's network texts into interface_settings, the MAC
// address into the link driver, and the MIB-II copies of each. A misformed
// or absent text leaves its setting (with a warning); an absent gateway is
// 172.16.192.14. Returns 1.
int parse_net_address(const char* mac, const char* address, const char* gateway, const char* mask);

class comm_task : public CTaskBase {
 public:
  explicit comm_task(post_office* router);

  int Subscribe();
  // Creates thread and timer; remembers the pool as the one the links and
  // servers take their stacks from.
  int Create(TX_BYTE_POOL* pool);
  int Process() override;

  // The network start-up, once, when the thread starts.
  void InitNetwork();
  // The Ethernet endpoints, from the start-up's memory cursor.
  bool CreateEndpoints(uint8_t** cursor);
  // Binds the endpoints from the ports' protocol settings.
  void ApplyPortProtocols();
  void SelectEthernetProtocol(uint8_t mask);
  void SetEthernetTimeout(uint32_t timeout);

  CUDP_Server& UdpServer() { return m_UdpServer; }
  CTCP_Server& TcpServer() { return m_TcpServer; }
  CTCP_Server& TrapServer() { return m_TrapServer; }
  subscriber& Inbox() { return m_Inbox; }
  // Global time (s) at which the last accepted request was noted.
  uint32_t LastCommTimestamp() const { return m_uLastCommTimestamp; }
  // The SNMP port of the servers: quorHostIPPort, 161 while it names none.
  static uint16_t SnmpPort();

 protected:
  void OnStart() override;

 private:
  static void Entry(ULONG);
  static void Timer(ULONG);
  void CheckPortConfigApply();
  void ReloadPorts();

  CNTCIP m_EthernetTcp;
  CNTCIP m_EthernetUdp;
  uint32_t m_uLastCommTimestamp = 0;
  subscriber m_Inbox;
  CUDP_Server m_UdpServer;
  CTCP_Server m_TcpServer;
  CTCP_Server m_TrapServer;
  TX_BYTE_POOL* m_pStackPool = nullptr;
  uint8_t* m_pNetworkMemory = nullptr;
};

extern comm_task g_comm_task;
