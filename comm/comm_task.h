// The "Communication" task: when its thread starts it brings up the main IP
// instance, the TCP and UDP servers, the trap clients and the Ethernet
// endpoints, and binds the twelve NTCIP endpoints to their ports. Its step
// (every 2 seconds) serves its letters and the port re-configuration,
// watches for communication loss, the heartbeat and the Ethernet link, and
// sends the queued traps. It also holds the file-write lock that keeps
// whole-file writes to flash apart.
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
constexpr uint32_t COMM_STEPS_PER_MINUTE = 30;

// Database event bits the step takes: the transfer state and the comm-loss
// time were written.
constexpr uint32_t COMM_DB_TRANSFER_STATE = 0x08000000;
constexpr uint32_t COMM_DB_COMM_LOSS_TIME = 0x8000;

// shortErrorStatus: the communications error.
constexpr uint32_t COMM_ERROR_BIT = 0x0002;
// Feature bits of quorFeatureSet.
enum : uint32_t {
  FEATURE_STOP_WEB = 0x02,
  FEATURE_ICMP = 0x04,
  FEATURE_CELL_MODEM = 0x20,
  FEATURE_SNTP = 0x40,
};

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
  // The twelve endpoints, from the start-up's memory cursor. False when one
  // could not be made (the others are made all the same).
  bool CreateEndpoints(uint8_t** cursor);

  // --- Binding (port_binding.cpp).
  // Binds every endpoint from the ports' protocol settings.
  void ApplyPortProtocols();
  // Mask bit 0x01 binds the port's PPP endpoint, else 0x02 its PMPP
  // endpoint; other masks leave the port to its other owners.
  void SelectCcpProtocol(uint8_t mask);
  void SelectAuxProtocol(uint8_t mask);
  void SelectModemProtocol(uint8_t mask);
  void SelectLaptopProtocol(uint8_t mask);
  // 0x01 PMPP, 0x02 PPP over the TCP server, 0x04 SNMP over UDP and TCP.
  void SelectEthernetProtocol(uint8_t mask);

  // --- The file-write lock: waits until it is free.
  void Lock();
  void Unlock();
  uint8_t Locked() const { return m_byLocked; }

  // --- Supervision, each with the global time t (comm_supervision.cpp).
  void NoteActivity(uint32_t t);
  void CheckFdotCommLoss(uint32_t t);
  void CheckCommLoss(uint32_t t);
  void CheckHeartbeat(uint32_t t);
  void ActivateCommLossMessage();
  void ApplySnmpOptions();
  void SuperviseEthernet();
  void CheckPortConfigApply();
  // The globalTime a GET of central last read.
  void SetSavedGlobalTime(uint32_t t) { m_uSavedGlobalTime = t; }
  uint32_t SavedGlobalTime() const { return m_uSavedGlobalTime; }
  // 1 while central has been silent for the max-poll time.
  uint8_t FdotCommLoss() const { return m_byFdotCommLoss; }
  // Global time (s) at which the last accepted request was noted.
  uint32_t LastCommTimestamp() const { return m_uLastCommTimestamp; }
  void SetLastCommTimestamp(uint32_t t) { m_uLastCommTimestamp = t; }
  void SetCommLossMinutes(int32_t minutes) { m_iCommLossMinutes = minutes; }
  uint8_t SoftResets() const { return m_bySoftResets; }

  CUDP_Server& UdpServer() { return m_UdpServer; }
  CTCP_Server& TcpServer() { return m_TcpServer; }
  CTCP_Server& TrapServer() { return m_TrapServer; }
  subscriber& Inbox() { return m_Inbox; }
  CNTCIP& EndpointAt(uint32_t i) { return m_Endpoints[i < NTCIP_ENDPOINTS ? i : 0]; }
  // The SNMP port of the servers: quorHostIPPort, 161 while it names none.
  static uint16_t SnmpPort();

 protected:
  void OnStart() override;

 private:
  static void Entry(ULONG);
  static void Timer(ULONG);
  // False after the stop letter.
  bool ProcessLetters();
  void ReloadPorts();
  void StopDispatchThreads();
  void SelectSerialProtocol(uint8_t port, const char* ppp, const char* pmpp, uint8_t mask);
  void SwitchCcpRadioMode();

  CNTCIP m_Endpoints[NTCIP_ENDPOINTS];
  uint32_t m_uLastCommTimestamp = 0;
  uint32_t m_uSavedGlobalTime = 0;
  int32_t m_iCommLossMinutes = 0;
  uint8_t m_byFdotCommLoss = 0;
  uint8_t m_bySntpActive = 0;
  uint8_t m_byLocked = 0;
  uint32_t m_uLastInterruptCount = 0;
  uint16_t m_wSilentSteps = 0;
  uint8_t m_bySoftResets = 0;
  uint32_t m_uPreviousSpecialFeatures = 0;
  uint8_t m_byCcpProtocolSeen = 0;
  subscriber m_Inbox;
  CUDP_Server m_UdpServer;
  CTCP_Server m_TcpServer;
  CTCP_Server m_TrapServer;
  TX_BYTE_POOL* m_pStackPool = nullptr;
  uint8_t* m_pNetworkMemory = nullptr;
};

extern comm_task g_comm_task;
