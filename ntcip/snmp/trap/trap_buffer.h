// The trap queue: traps raised by the controller's events wait here, as
// fixed-size records with their values inside, until a port can carry them.
// One ring of 10 records is shared by all endpoints; a full ring drops its
// oldest record for the newest.
#pragma once

#include <cstdint>

#include "ntcip/snmp/snmp_codec.h"

constexpr uint32_t TRAP_MAX_VARBINDS = 10;
constexpr uint32_t TRAP_VALUE_BYTES = 20;  // value bytes a record keeps per varbind
constexpr uint32_t TRAP_BUFFER_RECORDS = 10;
constexpr uint32_t TRAP_MAX_SUBIDS = SNMP_MAX_OID;

// Generic trap types.
enum : uint32_t {
    TRAP_COLD_START = 0,
    TRAP_WARM_START = 1,
    TRAP_LINK_DOWN = 2,
    TRAP_LINK_UP = 3,
    TRAP_AUTHENTICATION_FAILURE = 4,
    TRAP_EGP_NEIGHBOR_LOSS = 5,
    TRAP_ENTERPRISE = 6,
};

// One varbind of a trap, as the code that raises an event hands it over.
// syntax: the value syntax codes of the codec (1 INTEGER, 2 OCTET STRING,
// 3 OBJECT IDENTIFIER, 4 IpAddress, 5 Counter, 6 Gauge, 7 TimeTicks,
// 8 Opaque). The value: a u32 in host order for the integer syntaxes, the
// bytes otherwise; an OID value is its sub-identifiers as u32s in host order
// (value_length = 4 x their count).
struct snmp_trap_varbind {
    uint32_t name[TRAP_MAX_SUBIDS];
    uint32_t name_length;
    uint8_t syntax;
    uint32_t value_length;
    const uint8_t* value;
};

// A queued trap. Its varbinds' values point into its own value area; a copy
// made with trap_record_copy points into the copy's.
struct trap_record {
    uint32_t generic_trap;
    uint32_t specific_trap;  // the enterprise-specific number
    uint32_t varbind_count;
    snmp_trap_varbind varbinds[TRAP_MAX_VARBINDS];
    uint8_t values[TRAP_MAX_VARBINDS][TRAP_VALUE_BYTES];
    uint32_t time_stamp;  // the expiry time given when it was built
};

// Copies a record, each value from where the source's pointer points (at
// most TRAP_VALUE_BYTES), into the destination's own value area.
void trap_record_copy(trap_record* to, const trap_record* from);

class CTrapBuffer {
public:
    CTrapBuffer();
    virtual ~CTrapBuffer() = default;
    CTrapBuffer(const CTrapBuffer&) = delete;
    CTrapBuffer& operator=(const CTrapBuffer&) = delete;

    // Fills a record: at most 10 varbinds, names of at most 40
    // sub-identifiers, values of at most 20 bytes (longer ones are cut); a
    // null value is empty.
    static void BuildRecord(trap_record* record, uint32_t generic, uint32_t specific, uint32_t count,
                            const snmp_trap_varbind* varbinds, uint32_t time_stamp);
    // Appends a copy; when full, the oldest record gives its place.
    void Put(const trap_record& record);
    // Copies out and removes the oldest record; false when empty.
    bool Get(trap_record* record);
    // Copies out the oldest record and keeps it, with its serial number for
    // Remove; false when empty.
    bool Peek(trap_record* record, uint32_t* serial);
    // Removes the oldest record when it is still the one of the serial
    // number (a full ring may have dropped it meanwhile).
    void Remove(uint32_t serial);
    bool IsEmpty() const;
    uint32_t Count() const;
    // Removes the oldest records while their time stamp is not after the time.
    void Expire(uint32_t time);
    // Empties the ring (tests).
    void Clear();

private:
    // Put, Get and Expire run in the event threads, the communication task
    // and the agents: each holds off the others for its few copies.
    uint32_t m_uHead;   // next record to write
    uint32_t m_uCount;  // records held
    uint32_t m_uTail;   // oldest record
    uint32_t m_uSerial = 0;  // of the next record put
    uint32_t m_Serials[TRAP_BUFFER_RECORDS] = {};
    trap_record m_Records[TRAP_BUFFER_RECORDS];
};

// The one trap buffer of the controller.
extern CTrapBuffer g_trap_buffer;
