// What the sign's object groups (message table, sign configuration, fonts,
// MULTI defaults) share: the value cell of a varbind, reads and writes of
// the parameter database, and the checks of a set value the registry cannot
// make.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"
#include "ntcip/mib/mib_registry.h"

namespace dms_mib {

// The varbind's value cell, or a spare cell for calls without a record (the
// database's hooks look names up that way).
inline uintptr_t* cell_of(snmp_request* record, int index)
{
    static thread_local uintptr_t spare;
    if (record && index >= 0 && index < static_cast<int>(SNMP_MAX_VARBINDS))
        return &record->varbinds[index].value_cell;
    return &spare;
}

inline uintptr_t* answer_integer(uint32_t value, uint32_t* value_length, snmp_request* record, int index)
{
    uintptr_t* cell = cell_of(record, index);
    *cell = value;
    *value_length = 4;
    return cell;
}

inline uintptr_t* answer_bytes(const uint8_t* bytes, uint32_t length, uint32_t* value_length, snmp_request* record,
                               int index)
{
    static const uint8_t kNothing[1] = {0};
    uintptr_t* cell = cell_of(record, index);
    *cell = reinterpret_cast<uintptr_t>(bytes ? bytes : kNothing);
    *value_length = bytes ? length : 0;
    return cell;
}

inline uint8_t* area(bool nv) { return nv ? g_pDataBase->mib_nv : g_pDataBase->mib_v; }

inline uint32_t read_value(const db_object& o, bool nv)
{
    return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, area(nv), 0) : 0;
}

inline uintptr_t* answer_object(const db_object& o, bool nv, uint32_t* value_length, snmp_request* record, int index)
{
    return answer_integer(read_value(o, nv), value_length, record, index);
}

inline uintptr_t* answer_string(const db_object& o, bool nv, uint32_t* value_length, snmp_request* record, int index)
{
    uint32_t length = 0;
    const uint8_t* bytes = g_pDataBase ? g_pDataBase->GetString(o.offset, 4, area(nv), &length) : nullptr;
    return answer_bytes(bytes, length, value_length, record, index);
}

// Whether a handler may write now: the commit pass of a set.
inline bool committing(uint32_t operation) { return operation == MIB_SET && g_snmp_commit_indicator == 1; }

// The request's error status, unless an earlier varbind set one.
inline void fail(snmp_request* record, uint32_t status)
{
    if (record && record->error_status == 0)
        record->error_status = status;
}

// The varbind being served, or null (internal sets by OID carry no record
// of their own).
inline const snmp_varbind* varbind_of(const snmp_request* record, int index)
{
    if (!record || index < 0 || index >= record->count || index >= static_cast<int>(SNMP_MAX_VARBINDS))
        return nullptr;
    return &record->varbinds[index];
}

// A string longer than the set value holds reaches the handlers cut short;
// it must not be stored as if it were whole. Also false beyond `most`.
inline bool string_fits(const snmp_request* record, int index, uint32_t most)
{
    const snmp_varbind* v = varbind_of(record, index);
    uint32_t length = g_snmp_set_value.length;
    if (v && v->syntax == SNMP_OCTET_STRING && v->value_length > length)
        length = v->value_length;
    return length <= most && length <= MIB_SET_BYTES;
}

// A row written past the registry's checks (the SNMP write override) still
// needs a value of its own syntax: the set value keeps whatever the last
// request of another syntax left in it.
inline bool syntax_is(const snmp_request* record, int index, uint16_t syntax)
{
    const snmp_varbind* v = varbind_of(record, index);
    return !v || v->syntax == syntax;
}

// Writes of the set value, with notification.
inline uint32_t write_value(const db_object& o, bool nv, uint32_t value)
{
    if (!g_pDataBase)
        return DB_GEN_ERR;
    return g_pDataBase->SetValue(o.offset, o.width, value, area(nv), DB_NOTIFY);
}

inline uint32_t write_string(const db_object& o, bool nv, const uint8_t* bytes, uint32_t length)
{
    if (!g_pDataBase)
        return DB_GEN_ERR;
    return g_pDataBase->SetString(o.offset, 4, bytes, length, area(nv), DB_NOTIFY);
}

}  // namespace dms_mib
