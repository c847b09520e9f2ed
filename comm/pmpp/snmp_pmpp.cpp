#include "comm/pmpp/snmp_pmpp.h"

#include <new>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

constexpr uint32_t kAlign = 16;
uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

int initialise(snmp_agent* agent, uint8_t* buffer, uint32_t* length) {
  const uint32_t record = snmp_pmpp_link_memory();
  if (!buffer || !length || agent->memory_size < record) return TX_SIZE_ERROR;
  auto* t = new (buffer) snmp_pmpp_transport();
  t->id = SNMP_PMPP_ID;
  agent->transport_area = t;
  *length = record;
  if (nx_pmpp_create(&t->link, "SNMP OVER pmpp", agent, SNMP_PMPP_WORKER_PRIORITY) != 0) {
    monitor_printf("snmp_pmpp_net_drv pmpp create for SNMP failed\n");
    return 1;
  }
  return 0;
}

int send(snmp_pmpp_transport* t, const uint8_t* message, uint32_t length) {
  if (t->link.last_data_protocol != PMPP_IPI_SNMP) {
    monitor_printf("snmp_pmpp_net_drv: invalid IPI specified\n");
    return 1;
  }
  if (t->link.rdi.mode)
    pmpp_rdi_datagram_send(&t->link, message, length);
  else
    ntcip_pmpp_packet_send(&t->link, message, length);
  snmp_counter_add(snmp_counter::snmpOutPkts);
  return 0;
}

}  // namespace

uint32_t snmp_pmpp_link_memory() { return align_up(sizeof(snmp_pmpp_transport)); }

pmpp_link* pmpp_link_of(snmp_agent* agent) {
  if (!agent) return nullptr;
  auto* t = static_cast<snmp_pmpp_transport*>(agent->transport_area);
  return t && t->id == SNMP_PMPP_ID ? &t->link : nullptr;
}

int snmp_pmpp_net_drv(snmp_agent* agent, uint32_t, uint32_t operation, uint8_t* buffer, uint32_t* length) {
  if (!agent) return 1;
  if (operation == SNMP_NET_INITIALISE) return initialise(agent, buffer, length);
  auto* t = static_cast<snmp_pmpp_transport*>(agent->transport_area);
  if (!t || t->id != SNMP_PMPP_ID) return 1;
  switch (operation) {
    case SNMP_NET_SEND:
      if (!buffer || !length) return 1;
      return send(t, buffer, *length);
    case SNMP_NET_OPEN:
    case SNMP_NET_CLOSE:
      return 0;
    default:
      // Requests come through the link's worker, never by receive.
      return 1;
  }
}
