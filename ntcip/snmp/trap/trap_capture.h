// A stand-in for the communication side's trap routes: while it lives it
// takes the encoded trap messages of subnetworks 2, 3 and 4 and keeps them
// in order, for tests of the trap path and of the code that raises traps.
// It also stands in for the endpoint layer's admission, queuing every raised
// trap into a trap buffer with time stamp 0. One at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "ntcip/snmp/trap/snmp_trap.h"

struct snmp_trap_message {
    uint32_t subnetwork;
    std::vector<uint8_t> bytes;
    uint16_t port;
    uint8_t address[4];
};

class snmp_trap_capture {
public:
    // buffer: where raised traps are queued; null leaves the admission alone.
    explicit snmp_trap_capture(CTrapBuffer* buffer = nullptr);
    ~snmp_trap_capture();
    snmp_trap_capture(const snmp_trap_capture&) = delete;
    snmp_trap_capture& operator=(const snmp_trap_capture&) = delete;

    // Messages sent so far, oldest first; Take empties the list.
    std::vector<snmp_trap_message> Take();
    // What a route returns (non-zero: the route refuses).
    int route_status = 0;

private:
    template <uint32_t N>
    static int Route(const uint8_t* message, uint32_t length, uint16_t port, const uint8_t address[4]);
    static void Admit(uint32_t generic, uint32_t specific, uint32_t count, const snmp_trap_varbind* varbinds);
    static snmp_trap_capture* s_active;
    CTrapBuffer* m_pBuffer;
    std::vector<snmp_trap_message> m_Messages;
};
