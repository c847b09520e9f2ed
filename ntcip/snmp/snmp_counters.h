// The SNMP statistics counters (MIB-II snmp group) that the engine counts.
// They belong in the volatile area of the parameter database; until the
// database serves them they live here, in group order, so that counter k sits
// at volatile offset snmp_counter_offset(k).
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

// Adds 1; the counters wrap at 2^32.
void snmp_counter_add(snmp_counter c);
uint32_t snmp_counter_get(snmp_counter c);
// Sets every counter to 0 (start-up and tests).
void snmp_counters_clear();
