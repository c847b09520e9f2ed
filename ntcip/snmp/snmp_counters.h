// The SNMP statistics counters (MIB-II snmp group) that the engine counts.
// They live in the volatile area of the parameter database, in group order,
// counter k at volatile offset snmp_counter_offset(k). The agent's database
// services install the store that reaches them; the codec alone (its tests
// and the fuzz target, which link no database) counts in a store of its own.
#pragma once

#include <cstdint>

enum class snmp_counter : uint32_t {
    snmpInPkts,
    snmpOutPkts,
    snmpInBadVersions,
    snmpInBadCommunityNames,
    snmpInBadCommunityUses,
    snmpInASNParseErrs,
    snmpInTooBigs,
    snmpInNoSuchNames,
    snmpInBadValues,
    snmpInReadOnlys,
    snmpInGenErrs,
    snmpInGetRequests,
    snmpInGetNexts,
    snmpInSetRequests,
    snmpInGetResponses,
    snmpInTraps,
    snmpOutTooBigs,
    snmpOutNoSuchNames,
    snmpOutBadValues,
    snmpOutGenErrs,
    snmpOutGetRequests,
    snmpOutGetNexts,
    snmpOutSetRequests,
    snmpOutGetResponses,
    snmpOutTraps,
    count,
};

constexpr uint32_t snmp_counter_offset(snmp_counter c) { return 25156 + 4 * static_cast<uint32_t>(c); }

// Where the counters are kept: read one, write one back.
struct snmp_counter_store {
    uint32_t (*get)(snmp_counter c);
    void (*set)(snmp_counter c, uint32_t value);
};

// Installs the store the counters live in; null goes back to the codec's own.
void snmp_counter_set_store(const snmp_counter_store* store);

// Adds 1; the counters wrap at 2^32.
void snmp_counter_add(snmp_counter c);
uint32_t snmp_counter_get(snmp_counter c);
// Sets every counter to 0 (start-up and tests).
void snmp_counters_clear();
