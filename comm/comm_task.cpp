#include "comm/comm_task.h"

#include <cstdio>
#include <cstring>

#include "comm/clients/trap_clients.h"
#include "comm/comm_services.h"
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

comm_services g_services;

const uint32_t kSubscriptions[] = {97, 98, 99, 100, 105, 106, 107, 110, 115, 119, 67, 0};
const task_letters_s kLetters = {MSG_COMM_STOP, MSG_WDT_COMM_START, "Suspending Communication task\n",
                                 "Resuming Communication task\n", "Communication"};

// The endpoints in their order of creation.
const struct {
  const char* name;
  uint8_t type;
} kEndpoints[NTCIP_ENDPOINTS] = {
    {"ccp_pmpp", NTCIP_LINK_PMPP},      {"ccp_ppp", NTCIP_LINK_PPP},       {"aux_pmpp", NTCIP_LINK_PMPP},
    {"aux_ppp", NTCIP_LINK_PPP},        {"modem_pmpp", NTCIP_LINK_PMPP},   {"modem_ppp", NTCIP_LINK_PPP},
    {"laptop_pmpp", NTCIP_LINK_PMPP},   {"laptop_ppp", NTCIP_LINK_PPP},    {"ethernet_pmpp", NTCIP_LINK_PMPP},
    {"ethernet_ppp", NTCIP_LINK_PPP},   {"ethernet_tcp", NTCIP_LINK_IP},   {"ethernet_udp", NTCIP_LINK_IP},
};
constexpr uint32_t kSerialEndpoints = 8;
constexpr uint32_t kModemPppParameters = 2;  // the MODEM port's parameter text

constexpr uint32_t kDefaultGateway = (172u << 24) | (16u << 16) | (192u << 8) | 14u;
constexpr uint8_t kEthernetDhcp = 2;
constexpr uint32_t kIpStack = 2048;
constexpr uint32_t kArpCache = 1024;
constexpr uint32_t kClientBuffer = 1500;
// Ethernet link modes of quorCommConfigFlowControl[4] and the speed value
// of ifSpeed that selects 100 Mb/s.
constexpr uint32_t kLinkHalf = 5;
constexpr uint32_t kLinkFull = 6;
constexpr uint32_t kSpeed100 = 838860800;

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

void comm_set_services(const comm_services& services) { g_services = services; }
const comm_services& comm_get_services() { return g_services; }

bool comm_ethernet_link_up() {
  if (g_services.link_up) return g_services.link_up() == 1;
  return network_ip_created() && g_netx_ip.nx_ip_link_up == 1;
}

int parse_net_address(const char* mac_text, const char* address_text, const char* gateway_text,
                      const char* mask_text) {
  uint8_t mac[6];
  if (parse_mac(mac_text, mac)) {
    ethernet_host_set_mac(mac);
    if (g_services.set_mac_address) g_services.set_mac_address(mac);
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
  // A new start: what a former start in this process left is forgotten.
  m_uLastCommTimestamp = 0;
  m_uSavedGlobalTime = 0;
  m_iCommLossMinutes = 0;
  m_byFdotCommLoss = 0;
  m_bySntpActive = 0;
  m_byLocked = 0;
  m_uLastInterruptCount = 0;
  m_wSilentSteps = 0;
  m_bySoftResets = 0;
  m_uPreviousSpecialFeatures = 0;
  m_byCcpProtocolSeen = 0;
  g_comm_activity = 1;

  bool all = true;
  for (uint32_t i = 0; i < NTCIP_ENDPOINTS; ++i) {
    CNTCIP* endpoint = &m_Endpoints[i];
    const char* name = kEndpoints[i].name;
    bool made = false;
    switch (kEndpoints[i].type) {
      case NTCIP_LINK_IP:
        made = CNTCIP::InitializeIP(endpoint, cursor, name, &g_netx_pool);
        break;
      case NTCIP_LINK_PMPP:
        made = CNTCIP::InitializePMPP(endpoint, cursor, name, &g_netx_pool);
        break;
      default: {
        // Only the MODEM port's PPP endpoint is given its parameter text.
        char text[64] = "";
        const char* parameters = nullptr;
        CDataBase* d = db();
        if (std::strcmp(name, "modem_ppp") == 0 && d) {
          const db_object o = nv::quorCommConfigParameters(kModemPppParameters);
          uint32_t n = 0;
          const uint8_t* p = d->GetString(o.offset, o.width, d->mib_nv, &n);
          if (n >= sizeof text) n = sizeof text - 1;
          if (p && n) std::memcpy(text, p, n);
          text[n] = '\0';
          parameters = text;
        }
        made = CNTCIP::InitializePPP(endpoint, cursor, name, &g_netx_pool, parameters);
        break;
      }
    }
    if (!made) {
      monitor_printf("comm_task::CreateEndpoints: endpoint %s not created\n", name);
      all = false;
    }
  }
  if (!all) monitor_printf("Error: Initializing NTCIP Objects\n");
  return all;
}

void comm_task::Lock() {
  ULONG actual = 0;
  // Take and clear in one step: two takers never both find it free.
  if (tx_event_flags_get(Events(), COMM_FILE_LOCK_FLAG, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER) == TX_SUCCESS)
    m_byLocked = 1;
}

void comm_task::Unlock() {
  m_byLocked = 0;
  tx_event_flags_set(Events(), COMM_FILE_LOCK_FLAG, TX_OR);
}

void comm_task::InitNetwork() {
  m_uSavedGlobalTime = 0;
  m_iCommLossMinutes = static_cast<int32_t>(nv_value(nv::dmsTimeCommLoss));
  tx_event_flags_set(Events(), COMM_FILE_LOCK_FLAG, TX_OR);  // the file-write lock starts free

  monitor_printf_debug("Initializing Ethernet\n");
  const uint32_t features = nv_value(nv::quorFeatureSet);
  if (features & FEATURE_CELL_MODEM) {
    monitor_printf("starting up ethernet modem interface thread\n");
    if (g_services.modem_task_create) g_services.modem_task_create(m_pStackPool, &g_netx_ip, &g_netx_pool);
  }
  if (g_services.network_allowed && !g_services.network_allowed()) return;

  const bool panel = g_services.panel_present && g_services.panel_present();
  if (panel && g_services.panel_lcd_suspend) g_services.panel_lcd_suspend(1);
  if (g_pWatchdog) g_pWatchdog->Disable();

  if (g_services.set_link_mode) {
    const uint32_t mode = nv_value(nv::quorCommConfigFlowControl(PORT_INDEX_ETHERNET));
    const uint32_t speed = nv_value(nv::ifSpeed) == kSpeed100 ? 101 : 102;
    if (mode == kLinkHalf)
      g_services.set_link_mode(speed, 10, 0);
    else if (mode == kLinkFull)
      g_services.set_link_mode(speed, 20, 0);
    else
      g_services.set_link_mode(100, 100, 0);
  }

  parse_net_address(mon_getenv("ETHERADD"), mon_getenv("IPADD"), mon_getenv("GIPADD"), mon_getenv("NETMASK"));
  interface_settings.sntp_server = nv_value(nv::quorNTPIPAddress);

  void* memory = nullptr;
  UINT status = m_pStackPool ? tx_byte_allocate(m_pStackPool, &memory, COMM_NETWORK_MEMORY, TX_NO_WAIT)
                             : static_cast<UINT>(TX_PTR_ERROR);
  if (status != TX_SUCCESS || !memory) {
    monitor_printf("Ethernet Allocation Error:%d Ptr:%08x, Size:%d\n", status,
                   static_cast<uint32_t>(reinterpret_cast<uintptr_t>(memory)), COMM_NETWORK_FILL);
    // Nothing below can run without its stacks: the network stays down.
    monitor_printf(" - tx_byte_allocate: comm_network_memory\t\t[FAIL]\n");
    if (g_pWatchdog) g_pWatchdog->Enable();
    if (panel && g_services.panel_lcd_suspend) g_services.panel_lcd_suspend(0);
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
  status = nx_ip_create(&g_netx_ip, "NetX IP Instance 0", address, mask, &g_netx_pool,
                        g_services.ip_driver ? g_services.ip_driver : ethernet_host_driver, cursor,
                        kIpStack, 1);
  cursor += kIpStack;
  if (status != NX_SUCCESS) monitor_printf("nx_ip_create: failure:0x%02X!!\n", status);
  nx_arp_enable(&g_netx_ip, cursor, kArpCache);
  cursor += kArpCache;
  nx_udp_enable(&g_netx_ip);
  nx_tcp_enable(&g_netx_ip);
  if (features & FEATURE_ICMP) nx_icmp_enable(&g_netx_ip);
  if (dhcp) {
    if (g_services.dhcp_start) g_services.dhcp_start(&g_netx_ip);
  } else if (interface_settings.gateway) {
    nx_ip_gateway_address_set(&g_netx_ip, interface_settings.gateway);
  }

  g_ntcip_ip.SetTrapAddress(nv_value(nv::quorRemoteIPAddress));
  g_ntcip_ip.SetTrapPort(static_cast<uint16_t>(nv_value(nv::quorRemoteIPPort)));
  g_ntcip_ip.SetAddress(address);
  CNTCIP::AssignIpAddresses();

  tcp_thread_initialize(&g_netx_ip, &cursor, &g_netx_pool);
  udp_thread_initialize(&g_netx_ip, &cursor, &g_netx_pool);
  trap_clients_create(&g_netx_ip, &cursor, &g_netx_pool);

  m_bySntpActive = 0;
  if (interface_settings.sntp_server && (features & FEATURE_SNTP) && g_services.sntp_start)
    m_bySntpActive = g_services.sntp_start(&g_netx_ip, interface_settings.sntp_server) ? 1 : 0;

  for (const char* name : {"ethernet_pmpp", "ethernet_ppp", "ethernet_tcp", "ethernet_udp"})
    CNTCIP::Configure(name, COMM_PORT_NONE);

  if (g_services.web_setup) g_services.web_setup(&g_netx_ip, &g_netx_pool, &cursor);

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
  if (panel && g_services.panel_lcd_suspend) g_services.panel_lcd_suspend(0);
  if (post_office* router = m_Inbox.Router()) router->Publish(MSG_NETWORK_UP);
}

void comm_task::ReloadPorts() {
  InitializeNTCIPObjects(nullptr);
  ApplyPortProtocols();
}

void comm_task::StopDispatchThreads() {
  for (uint32_t i = 0; i < kSerialEndpoints; ++i) {
    snmp_agent* agent = m_Endpoints[i].Agent();
    if (CNTCIP::FindEndpoint(agent->name) < 0) continue;
    if (agent->udp_entry) tx_thread_suspend(&agent->udp_thread);
    if (agent->tcp_entry) tx_thread_suspend(&agent->tcp_thread);
  }
}

bool comm_task::ProcessLetters() {
  letter_s* letter = nullptr;
  while (m_Inbox.Receive(&letter)) {
    const uint32_t id = letter->Id();
    if (id == MSG_COMM_STOP) {
      StopDispatchThreads();
      HandleControlLetter(&m_Inbox, letter, kLetters);  // gives the letter back and ends the thread
      return false;
    }
    if (!HandleControlLetter(&m_Inbox, letter, kLetters)) {
      switch (id) {
        case MSG_CHG_NV95229:
          CheckPortConfigApply();
          break;
        case MSG_PORT_SETTINGS_CHANGED:
          ReloadPorts();
          break;
        case MSG_DHCP_RENEW:
          monitor_printf("calling nx_dhcp_force_renew\n");
          if (g_services.dhcp_force_renew) {
            const uint32_t status = g_services.dhcp_force_renew();
            if (status != 0) {
              monitor_printf("nx_dhcp_force_renew failed:%X, try to restart DHCP\n", status);
              if (g_services.dhcp_restart) g_services.dhcp_restart();
            }
          }
          break;
        case MSG_FEATURE_SET_CHANGED: {
          const uint32_t features = nv_value(nv::quorFeatureSet);
          if (features & FEATURE_STOP_WEB) {
            if (CDataBase* d = db())
              d->SetValue(nv::quorFeatureSet.offset, nv::quorFeatureSet.width, features & ~FEATURE_STOP_WEB, d->mib_nv,
                          0);
            if (g_services.web_stop) g_services.web_stop();
          }
          break;
        }
        case MSG_PORT_CLAIM: {
          letter_s reply(MSG_PORT_CLAIM_REPLY);
          if (post_office* router = m_Inbox.Router()) router->Reply(letter, &reply);
          break;
        }
        case MSG_SPECIAL_FEATURES_CHANGED:
          ApplySnmpOptions();
          break;
        default:
          break;
      }
    }
    m_Inbox.Release(letter);
  }
  return true;
}

int comm_task::Process() {
  CTaskBase::Process();
  if (g_services.transfer_step) g_services.transfer_step();

  ULONG bits = 0;
  if (tx_event_flags_get(&g_database_flags, COMM_DB_TRANSFER_STATE, TX_OR_CLEAR, &bits, TX_NO_WAIT) == TX_SUCCESS &&
      g_services.transfer_state_written)
    g_services.transfer_state_written();
  if (tx_event_flags_get(&g_database_flags, COMM_DB_COMM_LOSS_TIME, TX_OR_CLEAR, &bits, TX_NO_WAIT) == TX_SUCCESS)
    m_iCommLossMinutes = static_cast<int32_t>(nv_value(nv::dmsTimeCommLoss));

  if (!ProcessLetters()) return 0;
  CheckPortConfigApply();

  uint32_t t = 0;
  if (CDataBase* d = db()) t = d->GetTimeValue(nv::globalTime.offset, nv::globalTime.width, d->mib_nv, DB_GLOBAL_TIME);
  NoteActivity(t);
  CheckFdotCommLoss(t);
  CheckCommLoss(t);
  CheckHeartbeat(t);

  if (m_bySntpActive && g_services.sntp_step) g_services.sntp_step();

  // Nothing is expected on the client: what comes is read and dropped.
  static uint8_t drain[kClientBuffer];
  while (trap_udp_client_receive(drain, sizeof drain)) {
  }

  SuperviseEthernet();
  CNTCIP::ProcessTraps();
  return 0;
}
