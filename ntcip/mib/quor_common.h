// What the private object groups (the quor and vestrel subtrees) share on top
// of the sign groups' helpers: one database object per served value, written
// in the commit pass and read back into the varbind's cell.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_registry.h"

namespace quor_mib {

using namespace dms_mib;

// A served value and where it lives.
struct stored {
    db_object object;
    bool nv;
    bool text;
};

inline uintptr_t* answer(const stored& s, uint32_t* value_length, snmp_request* record, int index)
{
    return s.text ? answer_string(s.object, s.nv, value_length, record, index)
                  : answer_object(s.object, s.nv, value_length, record, index);
}

// The largest value an integer object of this width holds.
inline uint32_t width_max(const db_object& o)
{
    return o.width >= 4 ? 0xFFFFFFFFu : (1u << (8 * o.width)) - 1;
}

// The set value into the object. A value the database refuses leaves the
// object as it was and becomes the request's error status: a manager must
// not be told that a value it sent was stored when it was not. A string
// that reached the handler cut short (longer than the set value holds) is
// refused rather than stored in part. Returns the database's result.
inline uint32_t write(const stored& s, snmp_request* record, int index)
{
    uint32_t result = DB_OK;
    if (s.text) {
        if (!string_fits(record, index, MIB_SET_BYTES))
            result = DB_BAD_VALUE;
        else
            result = write_string(s.object, s.nv, g_snmp_set_value.bytes, g_snmp_set_value.length);
    } else {
        result = write_value(s.object, s.nv, g_snmp_set_value.integer);
    }
    if (result != DB_OK)
        fail(record, result);
    return result;
}

// The same for a row that the SNMP write override opens: the registry has
// checked neither the syntax nor the range, so a value of another syntax, or
// one the object cannot hold, is refused here (badValue) instead of being
// stored cut to the object's width.
inline uint32_t write_unchecked(const stored& s, snmp_request* record, int index)
{
    if (!syntax_is(record, index, s.text ? SNMP_OCTET_STRING : SNMP_INTEGER) ||
        (!s.text && g_snmp_set_value.integer > width_max(s.object))) {
        fail(record, DB_BAD_VALUE);
        return DB_BAD_VALUE;
    }
    return write(s, record, index);
}

// The commit pass writes, every operation answers the stored value.
inline uintptr_t* serve(const stored& s, uint32_t operation, uint32_t* value_length, snmp_request* record, int index)
{
    if (committing(operation))
        write(s, record, index);
    return answer(s, value_length, record, index);
}

// The index of a single-index column instance the registry's check let
// through (from 1).
inline uint32_t index_of(const mib_variable* row, const uint32_t* name)
{
    return name[row->oid_length - 1];
}

}  // namespace quor_mib
