#include "ntcip/snmp/agent/memory_transport.h"

#include <cstring>
#include <new>

#include "ntcip/snmp/snmp_counters.h"

void snmp_memory_transport::Deliver(const std::vector<uint8_t>& bytes, const uint8_t address[4], uint16_t port,
                                    uint32_t ipi)
{
    snmp_memory_message m{bytes, {127, 0, 0, 1}, port, ipi};
    if (address)
        std::memcpy(m.address, address, 4);
    {
        std::lock_guard<std::mutex> g(lock);
        inbox.push_back(std::move(m));
    }
    tx_semaphore_put(&arrived);
}

std::vector<snmp_memory_message> snmp_memory_transport::Take()
{
    std::lock_guard<std::mutex> g(lock);
    std::vector<snmp_memory_message> out;
    out.swap(sent);
    return out;
}

size_t snmp_memory_transport::SentCount()
{
    std::lock_guard<std::mutex> g(lock);
    return sent.size();
}

snmp_memory_transport* snmp_memory_transport_of(snmp_agent* agent)
{
    return agent ? static_cast<snmp_memory_transport*>(agent->transport_area) : nullptr;
}

void snmp_memory_transport_destroy(snmp_agent* agent)
{
    snmp_memory_transport* t = snmp_memory_transport_of(agent);
    if (!t)
        return;
    tx_semaphore_delete(&t->arrived);
    t->~snmp_memory_transport();
    agent->transport_area = nullptr;
}

int snmp_memory_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length)
{
    if (!agent)
        return 1;
    if (operation == SNMP_NET_INITIALISE) {
        if (!buffer || !length || agent->memory_size < sizeof(snmp_memory_transport))
            return 1;
        snmp_memory_transport* t = new (buffer) snmp_memory_transport();
        if (tx_semaphore_create(&t->arrived, "memory transport", 0) != TX_SUCCESS) {
            t->~snmp_memory_transport();
            return 1;
        }
        agent->transport_area = t;
        *length = sizeof(snmp_memory_transport);
        return 0;
    }
    snmp_memory_transport* t = snmp_memory_transport_of(agent);
    if (!t)
        return 1;
    switch (operation) {
    case SNMP_NET_OPEN:
        ++t->opens;
        return 0;
    case SNMP_NET_RECEIVE: {
        if (!buffer || !length)
            return 1;
        if (tx_semaphore_get(&t->arrived, tx_thread_identify() ? TX_WAIT_FOREVER : TX_NO_WAIT) != TX_SUCCESS)
            return 1;
        std::lock_guard<std::mutex> g(t->lock);
        if (t->inbox.empty())
            return 1;
        snmp_memory_message m = std::move(t->inbox.front());
        t->inbox.pop_front();
        uint32_t n = m.bytes.size() < SNMP_AGENT_BUFFER ? static_cast<uint32_t>(m.bytes.size()) : SNMP_AGENT_BUFFER;
        std::memcpy(buffer, m.bytes.data(), n);
        *length = n;
        std::memcpy(agent->last_sender_address, m.address, 4);
        agent->last_sender_port = m.port;
        ++t->receives;
        return 0;
    }
    case SNMP_NET_SEND: {
        if (!buffer || !length)
            return 1;
        if (t->send_status != 0)
            return t->send_status;
        snmp_memory_message m{std::vector<uint8_t>(buffer, buffer + *length), {}, agent->last_sender_port, ipi};
        std::memcpy(m.address, agent->last_sender_address, 4);
        {
            std::lock_guard<std::mutex> g(t->lock);
            t->sent.push_back(std::move(m));
        }
        snmp_counter_add(snmp_counter::snmpOutPkts);
        return 0;
    }
    case SNMP_NET_CLOSE:
        ++t->closes;
        return 0;
    default:
        return 1;
    }
}

void snmp_memory_dispatch_entry(snmp_agent* agent)
{
    if (snmp_memory_net_drv(agent, SNMP_IPI_UDP, SNMP_NET_OPEN, nullptr, nullptr) != 0)
        return;
    for (;;) {
        uint32_t length = 0;
        if (snmp_memory_net_drv(agent, SNMP_IPI_UDP, SNMP_NET_RECEIVE, agent->receive_buffer, &length) == 0)
            snmp_agent_process(agent, agent->receive_buffer, length);
    }
}
