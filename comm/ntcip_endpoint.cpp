#include "comm/ntcip_endpoint.h"

#include <cstring>

#include "comm/ports.h"
#include "comm/servers/tcp_server.h"
#include "comm/servers/udp_server.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/agent/request.h"

CNTCIP_IP g_ntcip_ip;

namespace {

ntcip_endpoint_entry g_table[NTCIP_ENDPOINTS];
uint32_t g_count = 0;
bool g_engine_started = false;

// The servers the Ethernet endpoints are bound to.
CTCP_Server* g_tcp_server = nullptr;
CUDP_Server* g_udp_server = nullptr;

constexpr uint32_t kAlign = 16;
uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

int tcp_frame_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  CTCP_Server* server = g_tcp_server;
  if (!server) return 0;
  return to ? server->SendTo(frame, length, *to) : server->Send(frame, length);
}

int udp_frame_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  CUDP_Server* server = g_udp_server;
  if (!server) return 0;
  return to && to->channel ? server->SendTo(frame, length, *to) : server->Send(frame, length);
}

ntcip_endpoint_entry* entry_of(const char* name) {
  int i = CNTCIP::FindEndpoint(name);
  return i < 0 ? nullptr : &g_table[i];
}

}  // namespace

void CNTCIP_IP::SetAddress(uint32_t address) {
  m_Own.address = address;
  for (int i = 0; i < 4; ++i) m_Own.bytes[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

void CNTCIP_IP::SetTrapAddress(uint32_t address) {
  m_Trap.address = address;
  for (int i = 0; i < 4; ++i) m_Trap.bytes[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
}

bool CNTCIP::InitializeIP(CNTCIP* endpoint, uint8_t** cursor, const char* name, NX_PACKET_POOL* pool) {
  if (!endpoint || !cursor || !*cursor) return false;
  if (!g_engine_started) {
    g_engine_started = true;
    snmp_entry();
  }
  endpoint->m_pPool = pool;
  endpoint->m_Agent.packet_pool = pool;
  const uint32_t memory = align_up(sizeof(ethernet_link)) + 2 * align_up(SNMP_AGENT_BUFFER);
  uint32_t used = 0;
  int rc = snmp_agent_create(&endpoint->m_Agent, name, 161, 162, g_ntcip_ip.Own().bytes, *cursor, memory, &used,
                             SERVER_STACK_SIZE, processPppPdu, snmp_v3_hook, snmp_ethernet_net_drv, nullptr, nullptr);
  if (rc != 0) return false;
  *cursor += align_up(used);
  if (ethernet_link* link = endpoint->Link()) {
    link->bytes_received = link->frames_transmitted = link->bytes_dropped = link->bytes_invalid = 0;
    link->messages_received = 0;
    ethernet_set_hooks(link, null_byte_output, null_frame_send);
  }
  return Register(endpoint, NTCIP_LINK_IP);
}

bool CNTCIP::Register(CNTCIP* endpoint, uint8_t link_type) {
  if (!endpoint || g_count >= NTCIP_ENDPOINTS) return false;
  g_table[g_count++] = {endpoint, COMM_PORT_NONE, link_type, nullptr};
  return true;
}

int CNTCIP::FindEndpoint(const char* name) {
  if (!name) return -1;
  for (uint32_t i = 0; i < g_count; ++i)
    if (std::strncmp(g_table[i].endpoint->Name(), name, SNMP_AGENT_NAME_SIZE) == 0) return static_cast<int>(i);
  return -1;
}

CNTCIP* CNTCIP::Endpoint(const char* name) {
  ntcip_endpoint_entry* e = entry_of(name);
  return e ? e->endpoint : nullptr;
}

uint8_t CNTCIP::Port() const {
  for (uint32_t i = 0; i < g_count; ++i)
    if (g_table[i].endpoint == this) return g_table[i].port;
  return COMM_PORT_NONE;
}

uint32_t CNTCIP::Configure(const char* name, uint8_t port) {
  ntcip_endpoint_entry* e = entry_of(name);
  if (!e) return 0;
  ethernet_link* link = e->link_type == NTCIP_LINK_IP ? e->endpoint->Link() : nullptr;

  if (e->port != COMM_PORT_NONE) {
    ReleaseDriver(e->port);
    if (e->port == COMM_PORT_TCP_SERVER) g_tcp_server = nullptr;
    if (e->port == COMM_PORT_UDP_SERVER) g_udp_server = nullptr;
    e->port = COMM_PORT_NONE;
  }
  if (port == COMM_PORT_NONE) {
    ethernet_set_hooks(link, null_byte_output, null_frame_send);
    return 1;
  }
  void* driver = nullptr;
  if (!AttainPort(port, &driver)) {
    monitor_printf("CNTCIP::Configure: error unable to attain driver:%d\n", port);
    return 0;
  }
  e->port = port;
  if (e->link_type != NTCIP_LINK_IP) return 1;  // the serial links bind themselves
  if (port == COMM_PORT_TCP_SERVER) {
    g_tcp_server = static_cast<CTCP_Server*>(driver);
    ethernet_set_hooks(link, null_byte_output, tcp_frame_send);
  } else if (port == COMM_PORT_UDP_SERVER) {
    g_udp_server = static_cast<CUDP_Server*>(driver);
    ethernet_set_hooks(link, null_byte_output, udp_frame_send);
  } else {
    monitor_printf("CNTCIP::Configure: error invalid port setting:%d\n", port);
    ethernet_set_hooks(link, null_byte_output, null_frame_send);
  }
  return 1;
}

uint32_t CNTCIP::SetInnerCharTimeoutIP(CNTCIP* endpoint, const char* name, uint32_t timeout) {
  CNTCIP* e = endpoint ? endpoint : Endpoint(name);
  if (!e) return 1;
  e->m_uInnerCharTimeout = timeout;
  ethernet_set_timeout(e->Link(), timeout);
  return 1;
}

uint32_t CNTCIP::GetLinkStatistic(const char* name, uint32_t field) {
  ntcip_endpoint_entry* e = entry_of(name);
  if (!e || e->link_type != NTCIP_LINK_IP) return 0;
  ethernet_link* link = e->endpoint->Link();
  if (!link) return 0;
  switch (field) {
    case 1:
      return link->messages_received;
    case 2:
      return link->frames_transmitted;
    case 3:
      return link->bytes_dropped;
    case 4:
      return link->bytes_invalid;
    default:
      return 0;
  }
}

void CNTCIP::AssignIpAddresses() {
  for (uint32_t i = 0; i < g_count; ++i) std::memcpy(g_table[i].endpoint->m_Agent.own_address, g_ntcip_ip.Own().bytes, 4);
  uint8_t mac[6] = {};
  if (CDataBase* db = g_pDataBase) {
    uint32_t n = 0;
    const uint8_t* p = db->GetString(vol::ifPhysAddress.offset, vol::ifPhysAddress.width, db->mib_v, &n);
    if (p && n >= 6) std::memcpy(mac, p, 6);
  }
  snmp_set_interface_address(0, g_ntcip_ip.Own().address, mac);
}

const ntcip_endpoint_entry* CNTCIP::Table(uint32_t* count) {
  if (count) *count = g_count;
  return g_table;
}

void CNTCIP::ResetTable() {
  g_count = 0;
  g_engine_started = false;
  g_tcp_server = nullptr;
  g_udp_server = nullptr;
}
