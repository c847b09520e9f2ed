#include "comm/pmpp/pmpp_module.h"

#include "comm/ntcip_endpoint.h"
#include "comm/ntcip_link.h"
#include "comm/pmpp/snmp_pmpp.h"
#include "comm/ports.h"
#include "database/database.h"
#include "database/objects.h"

#include <cstring>

namespace {

// The CCP port's PMPP endpoint talks to a radio modem when the port is set
// to the radio protocol.
bool radio_port(const snmp_agent* agent) {
  CDataBase* d = g_pDataBase;
  if (!d || std::strcmp(agent->name, "ccp_pmpp") != 0) return false;
  const db_object p = nv::quorCommConfigProtocol(PORT_INDEX_CCP);
  return d->GetValue(p.offset, p.width, d->mib_nv, 0) == PORT_PROTOCOL_RADIO;
}

void set_io(snmp_agent* agent, const ntcip_port_io& io) {
  pmpp_link* link = pmpp_link_of(agent);
  pmpp_set_port_hooks(link, io.read, io.write, io.frame_send);
  if (link) pmpp_rdi_set_mode(link, io.read && radio_port(agent));
}

void receive_event(snmp_agent* agent, TX_EVENT_FLAGS_GROUP** group, uint32_t* bit) {
  pmpp_link* link = pmpp_link_of(agent);
  *group = link ? link->worker_events : nullptr;
  *bit = link ? link->worker_bit : 0;
}

void stream_byte(snmp_agent* agent, uint8_t byte) { pmpp_byte_receive(pmpp_link_of(agent), byte); }

void set_timeout(snmp_agent* agent, uint32_t timeout) { nx_pmpp_set_inner_char_timeout(pmpp_link_of(agent), timeout); }

// Frames received and sent, bytes dropped by a full queue, bytes outside
// frames.
uint32_t statistic(snmp_agent* agent, uint32_t field) {
  pmpp_link* link = pmpp_link_of(agent);
  if (!link) return 0;
  switch (field) {
    case 1:
      return link->count.frames_received;
    case 2:
      return link->count.frames_sent;
    case 3:
      return link->count.bytes_dropped;
    case 4:
      return link->count.bytes_outside;
    default:
      return 0;
  }
}

void clear_statistics(snmp_agent* agent) {
  if (pmpp_link* link = pmpp_link_of(agent))
    link->count.frames_received = link->count.frames_sent = link->count.bytes_dropped = link->count.bytes_outside = 0;
}

void set_station_address(snmp_agent* agent, uint8_t address) { pmpp_set_station_address(pmpp_link_of(agent), address); }

void set_radio(snmp_agent* agent, uint16_t ack2_timeout, uint8_t retries, uint32_t remote, uint16_t lid) {
  pmpp_set_parameters(pmpp_link_of(agent), ack2_timeout, retries, remote, lid);
}

// The link's IP instance follows the controller's address.
void set_addresses(snmp_agent* agent, uint32_t own, uint32_t mask, uint32_t) {
  if (snmp_ip_service* s = snmp_ip_of(agent)) nx_ip_address_set(&s->ip, own, mask);
}

const ntcip_link_ops kOps = [] {
  ntcip_link_ops ops{};
  ops.transport = snmp_pmpp_net_drv;
  ops.udp_entry = pmpp_udp_ip_thread_entry;
  ops.tcp_entry = pmpp_tcp_ip_thread_entry;
  ops.link_memory = snmp_pmpp_link_memory();
  ops.set_io = set_io;
  ops.receive_event = receive_event;
  ops.stream_byte = stream_byte;
  ops.set_timeout = set_timeout;
  ops.statistic = statistic;
  ops.clear_statistics = clear_statistics;
  ops.set_station_address = set_station_address;
  ops.set_radio = set_radio;
  ops.set_addresses = set_addresses;
  return ops;
}();

}  // namespace

void pmpp_module_install() {
  pmpp_forget_links();
  ntcip_set_link_ops(NTCIP_LINK_PMPP, &kOps);
}
