#include "comm/ppp/ppp_module.h"

#include "comm/ntcip_endpoint.h"
#include "comm/ntcip_link.h"
#include "comm/ppp/ppp_negotiation.h"
#include "comm/ppp/serial_glue.h"
#include "comm/ppp/snmp_ppp.h"

namespace {

void set_io(snmp_agent* agent, const ntcip_port_io& io) {
  ppp_set_port_hooks(ppp_link_of(agent), io.read, io.write, io.frame_send);
}

void receive_event(snmp_agent* agent, TX_EVENT_FLAGS_GROUP** group, uint32_t* bit) {
  ppp_link* link = ppp_link_of(agent);
  *group = link ? link->worker_events : nullptr;
  *bit = link ? link->worker_bit : 0;
}

void stream_byte(snmp_agent* agent, uint8_t byte) {
  if (ppp_link* link = ppp_link_of(agent)) ppp_byte_receive(link, byte);
}

void set_timeout(snmp_agent* agent, uint32_t timeout) { nx_ppp_set_inner_char_timeout(ppp_link_of(agent), timeout); }

// Frames received and sent, bytes dropped by a full queue, bytes outside
// frames.
uint32_t statistic(snmp_agent* agent, uint32_t field) {
  ppp_link* link = ppp_link_of(agent);
  if (!link) return 0;
  switch (field) {
    case 1:
      return link->frames_received;
    case 2:
      return link->frames_sent;
    case 3:
      return link->bytes_dropped;
    case 4:
      return link->bytes_outside;
    default:
      return 0;
  }
}

void clear_statistics(snmp_agent* agent) {
  if (ppp_link* link = ppp_link_of(agent))
    link->frames_received = link->frames_sent = link->bytes_dropped = link->bytes_outside = 0;
}

uint16_t ipcp_state(snmp_agent* agent) {
  ppp_link* link = ppp_link_of(agent);
  return link ? link->ipcp_state : 0;
}

void set_chap_required(snmp_agent* agent, uint8_t required) { snmp_ppp_set_chap(agent, required != 0); }

void post_lcp_event(snmp_agent* agent, uint32_t event) {
  if (ppp_link* link = ppp_link_of(agent)) lcp_state_machine(link, event);
}

void restart_negotiation(snmp_agent* agent) {
  ppp_link* link = ppp_link_of(agent);
  if (!link) return;
  const UINT status = tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  link->stage = 0;
  if (status == TX_SUCCESS) tx_mutex_put(&link->protect);
}

void set_addresses(snmp_agent* agent, uint32_t own, uint32_t mask, uint32_t peer) {
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  if (!t) return;
  nx_ip_address_set(&t->ip, own, mask);
  const uint8_t local[4] = {static_cast<uint8_t>(own >> 24), static_cast<uint8_t>(own >> 16),
                            static_cast<uint8_t>(own >> 8), static_cast<uint8_t>(own)};
  const uint8_t remote[4] = {static_cast<uint8_t>(peer >> 24), static_cast<uint8_t>(peer >> 16),
                             static_cast<uint8_t>(peer >> 8), static_cast<uint8_t>(peer)};
  nx_ppp_ip_address_set(&t->link, local, remote);
}

const ntcip_link_ops kOps = [] {
  ntcip_link_ops ops{};
  ops.transport = snmp_ppp_net_drv;
  ops.udp_entry = ppp_udp_ip_thread_entry;
  ops.tcp_entry = ppp_tcp_ip_thread_entry;
  ops.link_memory = snmp_ppp_link_memory();
  ops.set_io = set_io;
  ops.receive_event = receive_event;
  ops.stream_byte = stream_byte;
  ops.set_timeout = set_timeout;
  ops.statistic = statistic;
  ops.clear_statistics = clear_statistics;
  ops.ipcp_state = ipcp_state;
  ops.set_chap_required = set_chap_required;
  ops.post_lcp_event = post_lcp_event;
  ops.restart_negotiation = restart_negotiation;
  ops.set_addresses = set_addresses;
  return ops;
}();

template <uint8_t P>
void bind_port(CSerialDriver* driver) {
  serial_glue_bind(P, driver);
}

const ntcip_port_glue kCcp = {ccp_ppp_read, ccp_port_write, bind_port<GLUE_PORT_CCP>};
const ntcip_port_glue kAux = {aux_ppp_read, aux_port_write, bind_port<GLUE_PORT_AUX>};
const ntcip_port_glue kModem = {modem_ppp_read, modem_port_write, bind_port<GLUE_PORT_MODEM>};
const ntcip_port_glue kLaptop = {laptop_port_read, laptop_port_write, bind_port<GLUE_PORT_LAPTOP>};

}  // namespace

void ppp_module_install() {
  ppp_forget_links();
  snmp_ppp_forget();
  serial_glue_reset();
  ntcip_set_link_ops(NTCIP_LINK_PPP, &kOps);
  ntcip_set_port_glue(COMM_PORT_CCP, &kCcp);
  ntcip_set_port_glue(COMM_PORT_AUX, &kAux);
  ntcip_set_port_glue(COMM_PORT_MODEM, &kModem);
  ntcip_set_port_glue(COMM_PORT_LAPTOP, &kLaptop);
  ntcip_set_carrier_source(serial_glue_link_status);
}
