// SNMP over PPP: the transport of the agents of the PPP endpoints
// ("ccp_ppp", "aux_ppp", "modem_ppp", "laptop_ppp", "ethernet_ppp"). Two ways
// are served on one link:
//  - SNMP over IP: the link carries IP to an IP instance of the agent's own,
//    "PPP over SNMP/IP", where the agent listens on UDP and TCP port 161;
//  - SNMP directly in PPP frames of protocol 0xC1.
// An answer goes back the way its request came.
//
// Set-up of a PPP endpoint's agent (the endpoint side):
//   agent->packet_pool = &g_netx_pool;   // before creation
//   snmp_agent_create(agent, name, 1161, 1162, own_address, cursor,
//                     snmp_ppp_memory_size(2048), &used, 2048, processPppPdu, snmp_v3_hook,
//                     snmp_ppp_net_drv, ppp_udp_ip_thread_entry, ppp_tcp_ip_thread_entry);
//   snmp_ppp_set_chap(agent, chap_required);   // "nchap" turns it off
//   ppp_link* link = ppp_link_of(agent);       // bind with ppp_bind_serial (serial_glue.h)
//                                              // or ppp_set_port_hooks
#pragma once

#include <cstdint>

#include "comm/ppp/ppp_link.h"
#include "comm/ppp/snmp_ip.h"
#include "ntcip/snmp/agent/snmp_agent.h"
#include "nx_api.h"
#include "tx_api.h"

constexpr uint32_t SNMP_PPP_ID = 0x50505054;  // "PPPT"
constexpr UINT SNMP_PPP_WORKER_PRIORITY = 3;
constexpr uint32_t SNMP_PPP_MESSAGE_MAX = SNMP_IP_MESSAGE_MAX;

// The transport's state, at the start of the agent's memory: the IP side
// ("PPP over SNMP/IP"), then the link.
struct snmp_ppp_transport : snmp_ip_service {
  ppp_link link;
  // Messages of the frame receiver, apart from the dispatch threads'.
  uint8_t frame_buffer[SNMP_PPP_MESSAGE_MAX];
};

// Memory an agent on this transport needs, for snmp_agent_create; the part
// of it that the transport's area takes.
uint32_t snmp_ppp_memory_size(uint32_t stack_size);
uint32_t snmp_ppp_link_memory();

// The transport (snmp_net_drv).
int snmp_ppp_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length);
// The dispatch threads of a PPP agent.
constexpr auto ppp_udp_ip_thread_entry = snmp_ip_udp_thread_entry;
constexpr auto ppp_tcp_ip_thread_entry = snmp_ip_tcp_thread_entry;

snmp_ppp_transport* snmp_ppp_transport_of(snmp_agent* agent);
ppp_link* ppp_link_of(snmp_agent* agent);
// Installs (or removes) the agent's CHAP hooks on its link.
void snmp_ppp_set_chap(snmp_agent* agent, bool required);

// A frame of protocol 0xC1 from an authenticated peer: one SNMP message,
// processed in the calling (worker) thread.
void snmp_ppp_frame_receive(ppp_link* link);
// One SNMP message as a PPP frame of protocol 0xC1.
void ntcip_packet_send(snmp_agent* agent, ppp_link* link, const uint8_t* message, uint32_t length);
// Forgets the transports (a new start, tests).
void snmp_ppp_forget();
