#include "ntcip/snmp/trap/trap_capture.h"

#include <cstring>
#include <mutex>

namespace {
std::mutex g_lock;
}

snmp_trap_capture* snmp_trap_capture::s_active = nullptr;

snmp_trap_capture::snmp_trap_capture(CTrapBuffer* buffer) : m_pBuffer(buffer)
{
    s_active = this;
    snmp_set_trap_route(SNMP_TRAP_UDP_CLIENT, &Route<SNMP_TRAP_UDP_CLIENT>);
    snmp_set_trap_route(SNMP_TRAP_TCP_CLIENT, &Route<SNMP_TRAP_TCP_CLIENT>);
    snmp_set_trap_route(SNMP_TRAP_TCP_PORT, &Route<SNMP_TRAP_TCP_PORT>);
    if (buffer)
        snmp_set_trap_admission(&Admit);
}

snmp_trap_capture::~snmp_trap_capture()
{
    for (uint32_t n = SNMP_TRAP_UDP_CLIENT; n <= SNMP_TRAP_TCP_PORT; ++n)
        snmp_set_trap_route(n, nullptr);
    if (m_pBuffer)
        snmp_set_trap_admission(nullptr);
    std::lock_guard<std::mutex> hold(g_lock);
    s_active = nullptr;
}

std::vector<snmp_trap_message> snmp_trap_capture::Take()
{
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<snmp_trap_message> out;
    out.swap(m_Messages);
    return out;
}

template <uint32_t N>
int snmp_trap_capture::Route(const uint8_t* message, uint32_t length, uint16_t port, const uint8_t address[4])
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!s_active)
        return 1;
    snmp_trap_message m{N, std::vector<uint8_t>(message, message + length), port, {0, 0, 0, 0}};
    if (address)
        std::memcpy(m.address, address, 4);
    s_active->m_Messages.push_back(std::move(m));
    return s_active->route_status;
}

void snmp_trap_capture::Admit(uint32_t generic, uint32_t specific, uint32_t count, const snmp_trap_varbind* varbinds)
{
    CTrapBuffer* buffer = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        buffer = s_active ? s_active->m_pBuffer : nullptr;
    }
    if (!buffer)
        return;
    trap_record record;
    CTrapBuffer::BuildRecord(&record, generic, specific, count, varbinds, 0);
    buffer->Put(record);
}
