// A transport that keeps its messages in memory: messages delivered to it
// are what its receive returns, and what the agent sends is kept in order.
// For tests of the agent and of what runs behind it; no network is involved.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "ntcip/snmp/agent/snmp_agent.h"
#include "tx_api.h"

struct snmp_memory_message {
    std::vector<uint8_t> bytes;
    uint8_t address[4];
    uint16_t port;
    uint32_t ipi;
};

struct snmp_memory_transport {
    // Queues a message for the transport's receive (from a test or a device model).
    void Deliver(const std::vector<uint8_t>& bytes, const uint8_t address[4] = nullptr, uint16_t port = 5000,
                 uint32_t ipi = SNMP_IPI_UDP);
    // Messages sent so far, oldest first; Take empties the list.
    std::vector<snmp_memory_message> Take();
    size_t SentCount();

    int send_status = 0;  // what a send returns (non-zero: the send fails)
    uint32_t opens = 0;
    uint32_t closes = 0;
    uint32_t receives = 0;

    std::mutex lock;
    std::deque<snmp_memory_message> inbox;
    std::vector<snmp_memory_message> sent;
    TX_SEMAPHORE arrived{};
};

// The transport function (snmp_net_drv). Its initialise places the state at
// the start of the agent's memory.
int snmp_memory_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length);
snmp_memory_transport* snmp_memory_transport_of(snmp_agent* agent);
// Ends the transport's state (agents are otherwise never destroyed).
void snmp_memory_transport_destroy(snmp_agent* agent);
// A dispatch thread over the transport: opens it, then receives and processes
// messages for ever.
void snmp_memory_dispatch_entry(snmp_agent* agent);
