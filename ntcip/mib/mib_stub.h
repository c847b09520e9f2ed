// A stand-in object group for tests of the registry, the agent and request
// processing: handlers that follow the handler contract over a small store
// in memory, selected by the row's column selector. Not part of the
// program's groups.
#pragma once

#include <cstdint>

#include "ntcip/mib/mib_registry.h"

constexpr uint32_t MIB_STUB_OBJECTS = 16;
constexpr uint32_t MIB_STUB_BYTES = 64;
constexpr uint32_t MIB_STUB_LOG = 64;

struct mib_stub_object {
    // Integer objects; a column answers value + its index, a two-index table
    // value + 1000 x first index + second index.
    uint32_t value;
    // String objects (OCTET STRING and Opaque rows).
    uint8_t bytes[MIB_STUB_BYTES];
    uint32_t length;
    uint32_t highest[3];  // index bounds of a column or table
    uint8_t refuse;       // 1: serves no name; 2: a commit sets error-status 5 and writes nothing
    // What the commit passes wrote.
    uint32_t commits;
    uint32_t last_index[3];
};

// One handler call, for checks of the passes.
struct mib_stub_call {
    uint8_t column;
    uint32_t operation;
    uint8_t commit;  // the commit indicator at the call
    uint32_t name[MIB_MAX_OID];
    uint32_t name_length;
};

extern mib_stub_object g_mib_stub[MIB_STUB_OBJECTS];
extern mib_stub_call g_mib_stub_log[MIB_STUB_LOG];
extern uint32_t g_mib_stub_calls;  // all calls; the log keeps the first MIB_STUB_LOG

void mib_stub_reset();

// A scalar (header_exact).
uintptr_t* var_stub_scalar(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index);
// A single-index column (header_index, bound highest[0]).
uintptr_t* var_stub_column(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index);
// A column of the row's index count (header_index_n, bounds highest[]).
uintptr_t* var_stub_table(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                          uint32_t* value_length, snmp_request* record, int index);
// A get-next handler that asks for the same row again forever.
uintptr_t* var_stub_carry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                          uint32_t* value_length, snmp_request* record, int index);
