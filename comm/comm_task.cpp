#include "comm/comm_task.h"

#include <cstdio>
#include <cstring>

#include "comm/ethernet/host_driver.h"
#include "comm/network.h"
#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"
#include "ntcip/snmp/agent/request.h"

interface_settings_s interface_settings = {0, 0, 0, 0};
comm_task g_comm_task(&g_post_office);

namespace {

const uint32_t kSubscriptions[] = {97, 98, 99, 100, 105, 106, 107, 110, 115, 119, 67, 0};
const task_letters_s kLetters = {MSG_COMM_STOP, MSG_WDT_COMM_START, "Suspending Communication task\n",
                                 "Resuming Communication task\n", "Communication"};

constexpr uint32_t kDefaultGateway = (172u << 24) | (16u << 16) | (192u << 8) | 14u;
constexpr uint32_t kFeatureIcmp = 0x04;
constexpr uint8_t kEthernetDhcp = 2;
constexpr uint32_t kIpStack = 2048;
constexpr uint32_t kArpCache = 1024;
constexpr uint8_t kEthernetPort = 4;

constexpr db_object kCommConfigApply{95229, 1};

CDataBase* db() { return g_pDataBase; }

uint32_t nv_value(const db_object& o) {
  CDataBase* d = db();
  return d ? d->GetValue(o.offset, o.width, d->mib_nv, 0) : 0;
}

// Four decimal numbers 0..255 separated by '.', nothing after the fourth.
bool parse_ipv4(const char* text, uint32_t* out) {
  if (!text) return false;
  uint32_t value = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (*p < '0' || *p > '9') return false;
    uint32_t n = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      n = n * 10 + static_cast<uint32_t>(*p++ - '0');
      if (++digits > 3 || n > 255) return false;
    }
    value = (value << 8) | n;
    if (part < 3 && *p++ != '.') return false;
  }
  if (*p != '\0') return false;
  *out = value;
  return true;
}

// Six hexadecimal numbers 0..255 separated by ':', nothing after the sixth.
bool parse_mac(const char* text, uint8_t mac[6]) {
  if (!text) return false;
  const char* p = text;
  for (int part = 0; part < 6; ++part) {
    uint32_t n = 0;
    int digits = 0;
    for (;; ++p) {
      int v = -1;
      if (*p >= '0' && *p <= '9') v = *p - '0';
      else if (*p >= 'a' && *p <= 'f') v = *p - 'a' + 10;
      else if (*p >= 'A' && *p <= 'F') v = *p - 'A' + 10;
      if (v < 0) break;
      n = n * 16 + static_cast<uint32_t>(v);
      if (++digits > 2) return false;
    }
    if (digits == 0) return false;
    mac[part] = static_cast<uint8_t>(n);
    if (part < 5 && *p++ != ':') return false;
  }
  return *p == '\0';
}

void write_address(const db_object& o, uint32_t value) {
  if (CDataBase* d = db()) d->SetValue(o.offset, o.width, value, d->mib_v, 0);
}

}  // namespace

int parse_net_address(const char* mac_text, const char* address_text, const char* gateway_text,
                      const char* mask_text) {
  uint8_t mac[6];
  if (parse_mac(mac_text, mac)) {
    ethernet_host_set_mac(mac);
    if (CDataBase* d = db()) d->SetString(vol::ifPhysAddress.offset, vol::ifPhysAddress.width, mac, 6, d->mib_v, 0);
  } else {
    monitor_printf("Warning: Invalid MAC Address - Using Default\n\r");
  }
  uint32_t value = 0;
  if (parse_ipv4(address_text, &value)) {
    interface_settings.address = value;
    write_address(vol::ipAdEntAddr, value);
  } else {
    monitor_printf("Warning: Misformed IP addr - Using Default\n\r");
  }
  if (!gateway_text) {
    interface_settings.gateway = kDefaultGateway;
    write_address(vol::ipRouteDest, kDefaultGateway);
  } else if (parse_ipv4(gateway_text, &value)) {
    interface_settings.gateway = value;
    write_address(vol::ipRouteDest, value);
  } else {
    monitor_printf("Warning: Misformed GIP addr - No Gateway\n\r");
  }
  if (parse_ipv4(mask_text, &value)) {
    interface_settings.mask = value;
    write_address(vol::ipAdEntNetMask, value);
  } else {
    monitor_printf("Warning: Misformed Net Mask addr - Using Default\n\r");
  }
  return 1;
}

comm_task::comm_task(post_office* router)
    : CTaskBase("Communication", 8192, 2, 0, 1000, 200), m_Inbox(router, Events(), 1, Thread()) {
  // The first step takes the start as the last communication.
  g_comm_activity = 1;
}

int comm_task::Subscribe() { return m_Inbox.Subscribe(kSubscriptions); }

int comm_task::Create(TX_BYTE_POOL* pool) {
  m_pStackPool = pool;
  comm_set_thread_stack_pool(pool);
  return CTaskBase::Create(pool, Entry, Timer);
}

void comm_task::Entry(ULONG) { g_comm_task.Run("Communication", g_comm_task.m_Inbox.Router(), MSG_WDT_COMM_START); }

void comm_task::Timer(ULONG) { g_comm_task.TimerExpired(); }

void comm_task::OnStart() {
  InitNetwork();
  if (post_office* router = m_Inbox.Router()) router->Publish(MSG_COMM_STARTED);
}

uint16_t comm_task::SnmpPort() {
  uint32_t port = nv_value(nv::quorHostIPPort);
  return port ? static_cast<uint16_t>(port) : COMM_SNMP_PORT;
}

bool comm_task::CreateEndpoints(uint8_t** cursor) {
  bool tcp = CNTCIP::InitializeIP(&m_EthernetTcp, cursor, "ethernet_tcp", &g_netx_pool);
  bool udp = CNTCIP::InitializeIP(&m_EthernetUdp, cursor, "ethernet_udp", &g_netx_pool);
  if (!tcp || !udp) monitor_printf("Error: Initializing NTCIP Objects\n");
  return tcp && udp;
}

void comm_task::SetEthernetTimeout(uint32_t timeout) {
  CNTCIP::SetInnerCharTimeoutIP(nullptr, "ethernet_tcp", timeout);
  CNTCIP::SetInnerCharTimeoutIP(nullptr, "ethernet_udp", timeout);
}

void comm_task::InitNetwork() {
  tx_event_flags_set(Events(), COMM_FILE_LOCK_FLAG, TX_OR);  // the file-write lock starts free
  monitor_printf_debug("Initializing Ethernet\n");
  if (g_pWatchdog) g_pWatchdog->Disable();

  parse_net_address(mon_getenv("ETHERADD"), mon_getenv("IPADD"), mon_getenv("GIPADD"), mon_getenv("NETMASK"));

  void* memory = nullptr;
  UINT status = m_pStackPool ? tx_byte_allocate(m_pStackPool, &memory, COMM_NETWORK_MEMORY, TX_NO_WAIT)
                             : static_cast<UINT>(TX_PTR_ERROR);
  if (status != TX_SUCCESS || !memory) {
    monitor_printf("Ethernet Allocation Error:%d Ptr:%08x, Size:%d\n", status,
                   static_cast<uint32_t>(reinterpret_cast<uintptr_t>(memory)), COMM_NETWORK_FILL);
    // Nothing below can run without its stacks: the network stays down.
    if (g_pWatchdog) g_pWatchdog->Enable();
    return;
  }
  std::memset(memory, 0xEF, COMM_NETWORK_FILL);
  m_pNetworkMemory = static_cast<uint8_t*>(memory);
  uint8_t* cursor = m_pNetworkMemory;

  uint32_t address = interface_settings.address;
  uint32_t mask = interface_settings.mask;
  const bool dhcp = nv_value(nv::quorEthernetMode) == kEthernetDhcp;
  if (dhcp) {
    address = 0;
    mask = 0xFFFFFF00;
  }
  status = nx_ip_create(&g_netx_ip, "NetX IP Instance 0", address, mask, &g_netx_pool, ethernet_host_driver, cursor,
                        kIpStack, 1);
  cursor += kIpStack;
  if (status != NX_SUCCESS) monitor_printf("nx_ip_create: failure:0x%02X!!\n", status);
  nx_arp_enable(&g_netx_ip, cursor, kArpCache);
  cursor += kArpCache;
  nx_udp_enable(&g_netx_ip);
  nx_tcp_enable(&g_netx_ip);
  if (nv_value(nv::quorFeatureSet) & kFeatureIcmp) nx_icmp_enable(&g_netx_ip);
  if (!dhcp && interface_settings.gateway) nx_ip_gateway_address_set(&g_netx_ip, interface_settings.gateway);

  g_ntcip_ip.SetTrapAddress(nv_value(nv::quorRemoteIPAddress));
  g_ntcip_ip.SetTrapPort(static_cast<uint16_t>(nv_value(nv::quorRemoteIPPort)));
  g_ntcip_ip.SetAddress(address);
  CNTCIP::AssignIpAddresses();

  tcp_thread_initialize(&g_netx_ip, &cursor, &g_netx_pool);
  udp_thread_initialize(&g_netx_ip, &cursor, &g_netx_pool);

  for (const char* name : {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"})
    CNTCIP::Configure(name, COMM_PORT_NONE);

  const uint16_t snmp_port = SnmpPort();
  void* entry = nullptr;
  if (AttainPort(COMM_DRIVER_TCP_SERVER, &entry)) {
    auto* server = static_cast<CTCP_Server*>(entry);
    server->Open(snmp_port, 0);
    server->Open(COMM_SECOND_SNMP_PORT, 0);
    ReleaseDriver(COMM_DRIVER_TCP_SERVER);
  }
  if (AttainPort(COMM_DRIVER_TRAP_SERVER, &entry)) {
    static_cast<CTCP_Server*>(entry)->Open(TRAP_PORT, 0);
    ReleaseDriver(COMM_DRIVER_TRAP_SERVER);
  }
  if (AttainPort(COMM_DRIVER_UDP_SERVER, &entry)) {
    auto* server = static_cast<CUDP_Server*>(entry);
    server->Listen(snmp_port);
    server->Listen(REAL_TIME_DATA_PORT);
    ReleaseDriver(COMM_DRIVER_UDP_SERVER);
  }
  ApplyPortProtocols();

  if (g_pWatchdog) g_pWatchdog->Enable();
  if (post_office* router = m_Inbox.Router()) router->Publish(MSG_NETWORK_UP);
}

void comm_task::ApplyPortProtocols() {
  uint8_t p = static_cast<uint8_t>(nv_value(nv::quorCommConfigProtocol(kEthernetPort)));
  if (p == ETHERNET_PROTOCOL_NONE) p = ETHERNET_PROTOCOL_SNMP;  // the servers' own "none" is no setting
  void* entry = nullptr;
  ReleaseDriver(COMM_DRIVER_UDP_SERVER);
  if (AttainPort(COMM_DRIVER_UDP_SERVER, &entry)) {
    static_cast<CUDP_Server*>(entry)->SetProtocol(p);
    ReleaseDriver(COMM_DRIVER_UDP_SERVER);
  }
  ReleaseDriver(COMM_DRIVER_TCP_SERVER);
  if (AttainPort(COMM_DRIVER_TCP_SERVER, &entry)) {
    static_cast<CTCP_Server*>(entry)->SetProtocol(p);
    ReleaseDriver(COMM_DRIVER_TCP_SERVER);
  }
  SelectEthernetProtocol(p == ETHERNET_PROTOCOL_PMPP ? 1 : p == ETHERNET_PROTOCOL_PPP ? 2 : 4);
}

void comm_task::SelectEthernetProtocol(uint8_t mask) {
  for (const char* name : {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"})
    CNTCIP::Configure(name, COMM_PORT_NONE);
  if (mask & 0x01) {
    CNTCIP::Configure("ethernet_pmpp", COMM_PORT_TCP_SERVER);
  } else if (mask & 0x02) {
    CNTCIP::Configure("ethernet_ppp", COMM_PORT_TCP_SERVER);
  } else if (mask & 0x04) {
    CNTCIP::Configure("ethernet_udp", COMM_PORT_UDP_SERVER);
    CNTCIP::Configure("ethernet_tcp", COMM_PORT_TCP_SERVER);
  }
}

void comm_task::ReloadPorts() {
  InitializeNTCIPObjects(nullptr);
  ApplyPortProtocols();
}

void comm_task::CheckPortConfigApply() {
  CDataBase* d = db();
  if (!d) return;
  switch (d->GetValue(kCommConfigApply.offset, kCommConfigApply.width, d->mib_nv, 0)) {
    case 3:
      ReloadPorts();
      d->SetValue(kCommConfigApply.offset, kCommConfigApply.width, 1, d->mib_nv, 0);
      break;
    case 4:
      d->SetValue(kCommConfigApply.offset, kCommConfigApply.width, 3, d->mib_nv, 0);
      break;
    default:
      break;
  }
}

int comm_task::Process() {
  CTaskBase::Process();
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    const uint32_t id = letter->Id();
    if (id == MSG_COMM_STOP) {
      HandleControlLetter(&m_Inbox, letter, kLetters);  // gives the letter back and ends the thread
      return 0;
    }
    if (!HandleControlLetter(&m_Inbox, letter, kLetters)) {
      switch (id) {
        case MSG_CHG_NV95229:
          CheckPortConfigApply();
          break;
        case MSG_PORT_SETTINGS_CHANGED:
          ReloadPorts();
          break;
        case MSG_PORT_CLAIM: {
          letter_s reply(MSG_PORT_CLAIM_REPLY);
          if (post_office* router = m_Inbox.Router()) router->Reply(letter, &reply);
          break;
        }
        default:
          break;
      }
    }
    m_Inbox.Release(letter);
  }
  CheckPortConfigApply();
  if (g_comm_activity) {
    if (CDataBase* d = db())
      m_uLastCommTimestamp = d->GetTimeValue(nv::globalTime.offset, nv::globalTime.width, d->mib_nv, DB_GLOBAL_TIME);
    g_comm_activity = 0;
  }
  return 0;
}
