// Which traps are queued, and how queued traps leave over Ethernet: pushed
// to the trap manager over UDP or TCP, or to a manager connected to the
// trap port. The serial ports' steps are in link_traps.cpp.
#include <cstring>

#include "comm/clients/trap_clients.h"
#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "comm/ntcip_endpoint.h"
#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/trap/trap_buffer.h"
#include "ntcip/snmp/agent/request.h"
#include "ntcip/snmp/trap/snmp_trap.h"

namespace {

// Ethernet trap settings of quorCommConfigTraps[4].
enum : uint32_t { ETHERNET_TRAPS_TCP = 2, ETHERNET_TRAPS_UDP = 3, ETHERNET_TRAPS_PULL = 4 };
constexpr uint32_t kEthernetSnmp = 11;
constexpr uint32_t kHoldOff = 2;
constexpr uint32_t kTrapPorts = 5;
constexpr uint32_t kFirstEnterprise = 2, kLastEnterprise = 20;

uint32_t g_last_trap_time = 0;
uint32_t g_ethernet_hold_off = 0;

CDataBase* db() { return g_pDataBase; }
uint32_t nv_value(const db_object& o) {
  CDataBase* d = db();
  return d ? d->GetValue(o.offset, o.width, d->mib_nv, 0) : 0;
}

bool any_port_sends_traps() {
  for (uint32_t i = 0; i < kTrapPorts; ++i) {
    const uint32_t setting = nv_value(nv::quorCommConfigTraps(i));
    if (setting >= 1 && setting <= 4) return true;
  }
  return false;
}

// Bit (s - 2) of the enterprise-specific mask; bytes past the stored mask
// count as 0 (trap not enabled).
bool enterprise_enabled(uint32_t specific) {
  CDataBase* d = db();
  if (!d) return false;
  uint32_t length = 0;
  const uint8_t* mask = d->GetString(nv::quorTrapsEnterpriseSpecific.offset, 4, d->mib_nv, &length);
  const uint32_t bit = specific - kFirstEnterprise;
  if (!mask || bit / 8 >= length) return false;
  return (mask[bit / 8] >> (bit % 8)) & 1;
}

// Subnetwork routes: 0 when the client took the message.
int udp_client_route(const uint8_t* message, uint32_t length, uint16_t, const uint8_t*) {
  return udp_client_send_data(&g_trap_udp_client, message, length) ? 0 : 1;
}
int tcp_client_route(const uint8_t* message, uint32_t length, uint16_t, const uint8_t*) {
  return tcp_client_send_data(&g_trap_tcp_client, message, length) ? 0 : 1;
}
int trap_port_route(const uint8_t* message, uint32_t length, uint16_t, const uint8_t*) {
  return tcp_trap_port_send(message, length) ? 0 : 1;
}

// A serial endpoint whose port has the trap setting 1 answers a poll with
// its oldest trap instead of serving the request.
bool polled_trap_answer(snmp_agent* agent) {
  if (!agent || std::strncmp(agent->name, "ethernet", 8) == 0) return false;
  if (CNTCIP::TrapsEnabled(agent->name) != 0 || CNTCIP::IsTrapBufferEmpty(agent->name)) return false;
  return snmp_trap_send_oldest(g_trap_buffer, agent, SNMP_TRAP_OWN_LINK, SNMP_TRAP_PORT, agent->own_address);
}

// A manager connected to the trap port.
bool trap_port_connected() {
  const tcp_thread_record* current = g_comm_task.TrapServer().Current();
  return current && current->connected;
}

void send_ethernet(snmp_agent* agent, uint32_t subnetwork) {
  snmp_trap_send_oldest(g_trap_buffer, agent, subnetwork, g_ntcip_ip.Trap().port, g_ntcip_ip.Own().bytes);
}

}  // namespace

void CNTCIP::SendTrap(uint32_t generic, uint32_t specific, uint32_t count, const snmp_trap_varbind* varbinds) {
  if (!any_port_sends_traps()) return;
  if (generic > TRAP_ENTERPRISE) {
    monitor_printf("CNTCIP::SendTrap: unknown generic trap type\n");
    return;
  }
  if (generic == TRAP_ENTERPRISE && (specific < kFirstEnterprise || specific > kLastEnterprise)) {
    monitor_printf("CNTCIP::SendTrap: unknown enterprise specific trap type\n");
    return;
  }
  if (!((nv_value(nv::quorTrapsGeneric) >> generic) & 1)) return;
  if (generic == TRAP_ENTERPRISE && !enterprise_enabled(specific)) return;
  // Central has gone quiet for the max-poll time: it hears nothing more.
  if (nv_value(nv::fdotDmsMaxPollTimeEnable) == 1 && g_comm_task.FdotCommLoss()) return;

  const uint32_t now = db_global_time();
  const uint32_t duration = nv_value(nv::quorTrapsExpirationDuration);
  trap_record record;
  CTrapBuffer::BuildRecord(&record, generic, specific, count, varbinds, duration ? now + duration * 60 : 0);
  g_trap_buffer.Put(record);
  g_last_trap_time = now;
}

uint32_t CNTCIP::LastTrapTime() { return g_last_trap_time; }

void CNTCIP::ProcessTraps() {
  if (nv_value(nv::quorTrapsExpirationDuration) != 0) g_trap_buffer.Expire(db_global_time());
  ProcessTrapsEthernet();
  ProcessPPPTrapsCCP();
  ProcessPPPTrapsAUX();
  ProcessPPPTrapsModem();
  ProcessPPPTrapsLaptop();
}

void CNTCIP::ProcessTrapsEthernet() {
  if (g_ethernet_hold_off) {
    --g_ethernet_hold_off;
    return;
  }
  const uint32_t setting = nv_value(nv::quorCommConfigTraps(PORT_INDEX_ETHERNET));
  if (setting != ETHERNET_TRAPS_TCP && setting != ETHERNET_TRAPS_UDP && setting != ETHERNET_TRAPS_PULL) return;
  if (nv_value(nv::quorCommConfigProtocol(PORT_INDEX_ETHERNET)) != kEthernetSnmp) return;
  const CNTCIP_IP::record& to = g_ntcip_ip.Trap();
  if (setting != ETHERNET_TRAPS_PULL && (to.port == 0 || to.address == 0)) return;
  CNTCIP* endpoint = Endpoint("ethernet_udp");
  if (!endpoint || g_trap_buffer.IsEmpty()) return;
  // Before the network started there is nothing to send with.
  if (!trap_clients_ready()) return;
  if (!comm_ethernet_link_up()) {
    g_ethernet_hold_off = kHoldOff;
    return;
  }
  switch (setting) {
    case ETHERNET_TRAPS_TCP:
      if (!tcp_client_busy(&g_trap_tcp_client)) send_ethernet(endpoint->Agent(), SNMP_TRAP_TCP_CLIENT);
      break;
    case ETHERNET_TRAPS_PULL:
      if (trap_port_connected()) send_ethernet(endpoint->Agent(), SNMP_TRAP_TCP_PORT);
      break;
    default:
      send_ethernet(endpoint->Agent(), SNMP_TRAP_UDP_CLIENT);
      g_ethernet_hold_off = kHoldOff;
      break;
  }
}

void CNTCIP::InstallTrapPaths() {
  snmp_set_trap_admission(&CNTCIP::SendTrap);
  snmp_set_trap_route(SNMP_TRAP_UDP_CLIENT, udp_client_route);
  snmp_set_trap_route(SNMP_TRAP_TCP_CLIENT, tcp_client_route);
  snmp_set_trap_route(SNMP_TRAP_TCP_PORT, trap_port_route);
  snmp_set_polled_trap_answer(polled_trap_answer);
}

void CNTCIP::ResetTrapState() {
  g_last_trap_time = 0;
  g_ethernet_hold_off = 0;
  ResetLinkTrapState();
}
