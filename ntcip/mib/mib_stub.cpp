#include "ntcip/mib/mib_stub.h"

#include <algorithm>
#include <cstring>

mib_stub_object g_mib_stub[MIB_STUB_OBJECTS];
mib_stub_call g_mib_stub_log[MIB_STUB_LOG];
uint32_t g_mib_stub_calls = 0;

namespace {

mib_stub_object* object_of(const mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation)
{
    if (g_mib_stub_calls < MIB_STUB_LOG) {
        mib_stub_call& c = g_mib_stub_log[g_mib_stub_calls];
        c.column = row->column;
        c.operation = operation;
        c.commit = g_snmp_commit_indicator;
        c.name_length = std::min<uint32_t>(*name_length, MIB_MAX_OID);
        std::memcpy(c.name, name, c.name_length * sizeof(uint32_t));
    }
    ++g_mib_stub_calls;
    if (row->column >= MIB_STUB_OBJECTS || g_mib_stub[row->column].refuse == 1)
        return nullptr;
    return &g_mib_stub[row->column];
}

bool is_string(const mib_variable* row) { return row->syntax == MIB_OCTET_STRING || row->syntax == MIB_OPAQUE; }

// The commit of a set: the set value into the object.
void commit(mib_stub_object* o, const mib_variable* row, const uint32_t* indexes, uint32_t n, snmp_request* record)
{
    if (o->refuse == 2) {
        if (record && record->error_status == 0)
            record->error_status = 5;
        return;
    }
    if (is_string(row)) {
        o->length = std::min<uint32_t>(g_snmp_set_value.length, MIB_STUB_BYTES);
        std::memcpy(o->bytes, g_snmp_set_value.bytes, o->length);
    } else {
        o->value = g_snmp_set_value.integer;
    }
    for (uint32_t k = 0; k < 3; ++k)
        o->last_index[k] = k < n ? indexes[k] : 0;
    ++o->commits;
}

// The value into the varbind's cell; the address of the cell.
uintptr_t* answer(mib_stub_object* o, const mib_variable* row, uint32_t integer, uint32_t* value_length,
                  snmp_request* record, int index)
{
    static thread_local uintptr_t spare;  // for calls without a record
    uintptr_t* cell = record && index >= 0 && index < static_cast<int>(SNMP_MAX_VARBINDS)
                          ? &record->varbinds[index].value_cell
                          : &spare;
    if (is_string(row)) {
        *cell = reinterpret_cast<uintptr_t>(o->bytes);
        *value_length = o->length;
    } else {
        *cell = integer;
        *value_length = 4;
    }
    return cell;
}

bool writes(uint32_t operation) { return operation == MIB_SET && g_snmp_commit_indicator == 1; }

}  // namespace

void mib_stub_reset()
{
    std::memset(g_mib_stub, 0, sizeof g_mib_stub);
    std::memset(g_mib_stub_log, 0, sizeof g_mib_stub_log);
    g_mib_stub_calls = 0;
}

uintptr_t* var_stub_scalar(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index)
{
    mib_stub_object* o = object_of(row, name, name_length, operation);
    if (!o || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (writes(operation))
        commit(o, row, nullptr, 0, record);
    return answer(o, row, o->value, value_length, record, index);
}

uintptr_t* var_stub_column(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index)
{
    mib_stub_object* o = object_of(row, name, name_length, operation);
    if (!o || header_index(row, name, *name_length, operation, value_length, o->highest[0]) != 0)
        return nullptr;
    uint32_t i = name[row->oid_length - 1];
    if (writes(operation))
        commit(o, row, &i, 1, record);
    return answer(o, row, o->value + i, value_length, record, index);
}

uintptr_t* var_stub_table(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                          uint32_t* value_length, snmp_request* record, int index)
{
    mib_stub_object* o = object_of(row, name, name_length, operation);
    uint32_t n = row->index_count;
    if (!o || header_index_n(row, name, name_length, operation, value_length, o->highest, n) != 0)
        return nullptr;
    const uint32_t* idx = name + row->oid_length - 1;
    if (writes(operation))
        commit(o, row, idx, n, record);
    return answer(o, row, o->value + (n >= 2 ? 1000 * idx[0] + idx[1] : idx[0]), value_length, record, index);
}

uintptr_t* var_stub_carry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                          uint32_t* value_length, snmp_request* record, int index)
{
    object_of(row, name, name_length, operation);
    if (operation == MIB_GETNEXT)
        mib_set_carry_depth(1);
    return nullptr;
}
