// SNMP over PMPP: the transport of the agents of the PMPP endpoints
// ("ccp_pmpp", "aux_pmpp", "modem_pmpp", "laptop_pmpp", "ethernet_pmpp").
// Two ways are served on one link:
//  - SNMP directly in frames of IPI 0xC1, processed in the link's worker;
//  - SNMP over IP: frames of IPI 0x21 carry datagrams to an IP instance of
//    the agent's own, "PMPP over SNMP/IP", where the agent listens on UDP
//    and TCP port 161 (snmp_ip.h).
// An answer goes back the way its request came; after an all-stations or
// group request it waits for the master's poll.
#pragma once

#include <cstdint>

#include "comm/pmpp/pmpp_link.h"
#include "comm/ppp/snmp_ip.h"
#include "ntcip/snmp/agent/snmp_agent.h"

constexpr uint32_t SNMP_PMPP_ID = 0x504D5050;  // "PMPP"
constexpr UINT SNMP_PMPP_WORKER_PRIORITY = 3;

struct snmp_pmpp_transport : snmp_ip_service {
  pmpp_link link;
};

// The bytes of the agent's memory the transport's area takes (the record
// and the IP instance's memory).
uint32_t snmp_pmpp_link_memory();
// The transport (snmp_net_drv).
int snmp_pmpp_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length);
pmpp_link* pmpp_link_of(snmp_agent* agent);
// The dispatch threads of a PMPP agent.
constexpr auto pmpp_udp_ip_thread_entry = snmp_ip_udp_thread_entry;
constexpr auto pmpp_tcp_ip_thread_entry = snmp_ip_tcp_thread_entry;
