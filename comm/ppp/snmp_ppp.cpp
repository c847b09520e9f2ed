#include "comm/ppp/snmp_ppp.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "comm/ppp/ppp_negotiation.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_chap.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {

constexpr uint32_t kAlign = 16;

uint32_t align_up(uint32_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

int initialise(snmp_agent* agent, uint8_t* buffer, uint32_t* length) {
  const uint32_t record = align_up(sizeof(snmp_ppp_transport));
  if (!buffer || !length || agent->memory_size < record + SNMP_IP_MEMORY) return TX_SIZE_ERROR;
  if (!agent->packet_pool) {
    monitor_printf("snmp_pmpp_net_drv: nx_ip_create failed:0x%02X\n", NX_PTR_ERROR);
    return NX_PTR_ERROR;
  }
  auto* t = new (buffer) snmp_ppp_transport();
  t->id = SNMP_PPP_ID;
  t->who = "snmp_ppp_net_drv";
  t->memory = buffer + record;
  agent->transport_area = t;
  *length = record + SNMP_IP_MEMORY;

  if (nx_ppp_create(&t->link, "SNMP OVER PPP", &t->ip, agent, SNMP_PPP_WORKER_PRIORITY, ppp_write_none, nullptr) != 0)
    monitor_printf("snmp_ppp_net_drv PPP create for SNMP failed\n");
  const int status = snmp_ip_create(t, agent, "PPP over SNMP/IP", _nx_ppp_driver);
  if (status != 0 && !t->created) {
    // The agent is not created and its memory goes to the next one: the
    // link must not stay in the worker's table.
    ppp_destroy(&t->link);
    agent->transport_area = nullptr;
  }
  return status;
}

int send(snmp_agent* agent, snmp_ppp_transport* t, const uint8_t* message, uint32_t length) {
  // The thread that processed the request tells how it came; other callers
  // go by the way the last request came.
  TX_THREAD* self = tx_thread_identify();
  uint8_t protocol = t->link.last_data_protocol;
  uint8_t kind = t->last_receive_kind;
  if (self && self == &agent->udp_thread) {
    protocol = 0x21;
    kind = SNMP_IP_UDP;
  } else if (self && self == &agent->tcp_thread) {
    protocol = 0x21;
    kind = SNMP_IP_TCP;
  } else if (ppp_in_worker()) {
    protocol = 0xC1;
  }
  if (protocol == 0x21) {
    snmp_ip_send(agent, t, kind, message, length);
  } else if (protocol == 0xC1) {
    ntcip_packet_send(agent, &t->link, message, length);
  } else {
    monitor_printf("snmp_ppp_net_drv: invalid IPI specified\n");
  }
  return 0;
}

}  // namespace

uint32_t snmp_ppp_link_memory() { return align_up(sizeof(snmp_ppp_transport)) + SNMP_IP_MEMORY; }

uint32_t snmp_ppp_memory_size(uint32_t stack_size) {
  return align_up(sizeof(snmp_ppp_transport)) + SNMP_IP_MEMORY + 2 * align_up(SNMP_AGENT_BUFFER) +
         2 * align_up(stack_size) + kAlign;
}

snmp_ppp_transport* snmp_ppp_transport_of(snmp_agent* agent) {
  if (!agent) return nullptr;
  auto* t = static_cast<snmp_ppp_transport*>(agent->transport_area);
  return t && t->id == SNMP_PPP_ID ? t : nullptr;
}

ppp_link* ppp_link_of(snmp_agent* agent) {
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  return t ? &t->link : nullptr;
}

void snmp_ppp_set_chap(snmp_agent* agent, bool required) {
  ppp_link* link = ppp_link_of(agent);
  if (!link) return;
  link->chap_requested = required ? 1 : 0;
  if (required) {
    nx_ppp_chap_enable(link, chap_get_challenge_values, chap_get_responder_values, chap_get_verification_values);
    return;
  }
  link->challenge_hook = nullptr;
  link->response_hook = nullptr;
  link->verification_hook = nullptr;
  link->own_auth_protocol = 0;
  link->peer_auth_protocol = 0;
  link->chap_enabled = 0;
  link->authenticated = 1;
}

int snmp_ppp_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length) {
  if (!agent) return 1;
  if (operation == SNMP_NET_INITIALISE) return initialise(agent, buffer, length);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
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

void snmp_ppp_frame_receive(ppp_link* link) {
  auto* agent = static_cast<snmp_agent*>(link ? link->owner : nullptr);
  snmp_ppp_transport* t = snmp_ppp_transport_of(agent);
  if (!t) return;
  uint8_t* buffer = t->frame_buffer;
  uint32_t n = 0;
  while (n < 6 && ppp_input_byte(link, &buffer[n])) ++n;
  // The total is taken as the content and a 4-byte header (30 82 hh ll).
  uint32_t content = 0;
  if (n >= 2) {
    const uint8_t first = buffer[1];
    if (first < 0x80)
      content = first;
    else if (first == 0x81 && n >= 3)
      content = buffer[2];
    else if (first == 0x82 && n >= 4)
      content = (uint32_t(buffer[2]) << 8) | buffer[3];
    else
      content = SNMP_PPP_MESSAGE_MAX;  // a length the decoder refuses anyway
  }
  const uint32_t total = content + 4;
  if (total >= SNMP_PPP_MESSAGE_MAX) {
    monitor_printf("SNMP PACKET TOO LONG: %d\n", total);
    return;
  }
  if (n > total) n = total;
  while (n < total && ppp_input_byte(link, &buffer[n])) ++n;
  snmp_agent_process(agent, buffer, n);
}

void ntcip_packet_send(snmp_agent*, ppp_link* link, const uint8_t* message, uint32_t length) {
  if (!link || (!message && length)) return;
  UINT status = tx_mutex_get(&link->protect, TX_WAIT_FOREVER);
  if (status != TX_SUCCESS) monitor_printf("ntcip_packet_send: tx_mutex_get failed %02x\n", status);
  ppp_start_frame(link, PPP_PROTOCOL_SNMP);
  for (uint32_t i = 0; i < length; ++i) ppp_output_byte(link, message[i]);
  ppp_send_frame(link);
  if (status == TX_SUCCESS) {
    status = tx_mutex_put(&link->protect);
    if (status != TX_SUCCESS) monitor_printf("ntcip_packet_send: tx_mutex_put failed %02x\n", status);
  }
}

void snmp_ppp_forget() { snmp_ip_forget(); }
