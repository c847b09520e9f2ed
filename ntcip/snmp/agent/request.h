// Request processing: the processing callback of every agent. It holds each
// decoded request against the community's access mask, the control mode and
// the protected nodes, performs it against the MIB registry in a check pass
// and a commit pass, fills the response and has the agent send it.
//
// Error statuses are SNMPv1's in every version: 1 tooBig, 2 noSuchName,
// 3 badValue, 4 readOnly, 5 genErr.
#pragma once

#include <cstdint>

#include "ntcip/snmp/agent/snmp_agent.h"

// The processing callback (snmp_request_callback) of every endpoint.
void processPppPdu(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                   const char* context_engine_id, const char* context_name, uint32_t wrapper_tag,
                   snmp_record* record, int slot);

// Set to 1 each time a request with a known community is accepted; the
// communication task reads and clears the first, the dial-up modem the
// second.
extern volatile uint8_t g_comm_activity;
extern volatile uint8_t g_modem_snmp_activity;

// --- The SET lock. One SET (both passes, and the display work done inside
// the commit pass) and every internal set by OID hold "SNMP PROTECT MUTEX"
// from their first check to their last write, so that two writers never mix
// their values and an internal set that switches the database's validation
// or notification off never does so under another writer. The mutex is
// recursive within one thread. Returns 1 when taken.
int snmp_set_lock();
void snmp_set_unlock();

class snmp_set_guard {
public:
    snmp_set_guard() : m_held(snmp_set_lock()) {}
    ~snmp_set_guard()
    {
        if (m_held)
            snmp_set_unlock();
    }
    snmp_set_guard(const snmp_set_guard&) = delete;
    snmp_set_guard& operator=(const snmp_set_guard&) = delete;

private:
    int m_held;
};

// --- Services of other subsystems that request processing calls. Each is
// installed by its owner at start-up; one that is not installed is passed
// over.
struct snmp_display_services {
    // Activates the code just stored in dmsActivateMessage; false when the
    // activation failed (the activation-error objects say why).
    bool (*activate_message)();
    // Serve the message-table and graphic-table status requests of a SET.
    void (*process_message_table)();
    void (*process_graphic_table)();
    // Acts on dmsMemoryMgmt (and the private memory-management request) and
    // puts the object back to normal.
    void (*memory_management)();
};
void snmp_set_display_services(const snmp_display_services* services);
// The memory-management service for the sign control group's commit of
// dmsMemoryMgmt; nothing when it is not installed.
void snmp_display_memory_management();

// The polled-trap answer of serial endpoints: given the agent of a request,
// sends the endpoint's oldest queued trap instead of serving the request and
// returns true; false when the request is to be served.
typedef bool (*snmp_polled_trap_answer)(snmp_agent* agent);
void snmp_set_polled_trap_answer(snmp_polled_trap_answer answer);
