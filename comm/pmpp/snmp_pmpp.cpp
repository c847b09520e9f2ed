#include "comm/pmpp/snmp_pmpp.h"

#include <new>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

constexpr uint32_t kAlign = 16;
uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

snmp_pmpp_transport* transport_of(snmp_agent* agent) {
  auto* t = static_cast<snmp_pmpp_transport*>(agent ? agent->transport_area : nullptr);
  return t && t->id == SNMP_PMPP_ID ? t : nullptr;
}

int initialise(snmp_agent* agent, uint8_t* buffer, uint32_t* length) {
  const uint32_t record = align_up(sizeof(snmp_pmpp_transport));
  if (!buffer || !length || agent->memory_size < record + SNMP_IP_MEMORY) return TX_SIZE_ERROR;
  if (!agent->packet_pool) {
    monitor_printf("snmp_pmpp_net_drv: nx_ip_create failed:0x%02X\n", NX_PTR_ERROR);
    return NX_PTR_ERROR;
  }
  auto* t = new (buffer) snmp_pmpp_transport();
  t->id = SNMP_PMPP_ID;
  t->who = "snmp_pmpp_net_drv";
  t->memory = buffer + record;
  agent->transport_area = t;
  *length = record + SNMP_IP_MEMORY;
  if (nx_pmpp_create(&t->link, "SNMP OVER pmpp", &t->ip, agent, SNMP_PMPP_WORKER_PRIORITY) != 0) {
    monitor_printf("snmp_pmpp_net_drv pmpp create for SNMP failed\n");
    return 1;
  }
  const int status = snmp_ip_create(t, agent, "PMPP over SNMP/IP", pmpp_ip_driver);
  if (status != 0 && !t->created) {
    // The agent is not created and its memory goes to the next one.
    pmpp_destroy(&t->link);
    agent->transport_area = nullptr;
  }
  return status;
}

int send(snmp_agent* agent, snmp_pmpp_transport* t, const uint8_t* message, uint32_t length) {
  // The thread that processed the request tells how it came; other callers
  // go by the way the last request came.
  TX_THREAD* self = tx_thread_identify();
  uint8_t protocol = t->link.last_data_protocol;
  uint8_t kind = t->last_receive_kind;
  if (self && self == &agent->udp_thread) {
    protocol = PMPP_IPI_IP;
    kind = SNMP_IP_UDP;
  } else if (self && self == &agent->tcp_thread) {
    protocol = PMPP_IPI_IP;
    kind = SNMP_IP_TCP;
  } else if (pmpp_in_worker()) {
    protocol = PMPP_IPI_SNMP;
  }
  if (protocol == PMPP_IPI_IP) {
    snmp_ip_send(agent, t, kind, message, length);
    return 0;
  }
  if (protocol != PMPP_IPI_SNMP) {
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

uint32_t snmp_pmpp_link_memory() { return align_up(sizeof(snmp_pmpp_transport)) + SNMP_IP_MEMORY; }

pmpp_link* pmpp_link_of(snmp_agent* agent) {
  snmp_pmpp_transport* t = transport_of(agent);
  return t ? &t->link : nullptr;
}

int snmp_pmpp_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length) {
  if (!agent) return 1;
  if (operation == SNMP_NET_INITIALISE) return initialise(agent, buffer, length);
  snmp_pmpp_transport* t = transport_of(agent);
  if (!t) return 1;
  switch (operation) {
    case SNMP_NET_OPEN:
      return snmp_ip_open(agent, t);
    case SNMP_NET_RECEIVE:
      return snmp_ip_receive(agent, t, ipi, buffer, length);
    case SNMP_NET_SEND:
      if (!buffer || !length) return 1;
      return send(agent, t, buffer, *length);
    case SNMP_NET_CLOSE:
      return snmp_ip_close(t);
    default:
      return 0;
  }
}
