// SNMP over PMPP: the transport of the agents of the PMPP endpoints
// ("ccp_pmpp", "aux_pmpp", "modem_pmpp", "laptop_pmpp", "ethernet_pmpp").
// Requests come in PMPP frames of IPI 0xC1 and are processed in the link's
// worker; each answer goes back on the link it came from.
#pragma once

#include <cstdint>

#include "comm/pmpp/pmpp_link.h"
#include "ntcip/snmp/agent/snmp_agent.h"

constexpr uint32_t SNMP_PMPP_ID = 0x504D5050;  // "PMPP"
constexpr UINT SNMP_PMPP_WORKER_PRIORITY = 3;

struct snmp_pmpp_transport {
  uint32_t id;
  pmpp_link link;
};

// The bytes of the agent's memory the transport's area takes.
uint32_t snmp_pmpp_link_memory();
// The transport (snmp_net_drv).
int snmp_pmpp_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length);
pmpp_link* pmpp_link_of(snmp_agent* agent);
