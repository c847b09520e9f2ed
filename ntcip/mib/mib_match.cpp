// OID comparison, the value checks of a set and the matching functions with
// which handlers accept or refuse a name.
#include <algorithm>
#include <cstring>

#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/mib/mib_walk_state.h"

namespace mib_walk {
thread_local uint8_t t_carry_depth = 0;
thread_local uint8_t t_column_done = 0;
}  // namespace mib_walk

void mib_set_carry_depth(uint8_t depth) { mib_walk::t_carry_depth = depth; }
uint8_t mib_carry_depth() { return mib_walk::t_carry_depth; }
void mib_set_column_done() { mib_walk::t_column_done = 1; }
uint8_t mib_column_done() { return mib_walk::t_column_done; }

void mib_walk_reset()
{
    mib_walk::t_carry_depth = 0;
    mib_walk::t_column_done = 0;
}

int oid_compare(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length)
{
    uint32_t n = std::min(a_length, b_length);
    for (uint32_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    if (a_length == b_length)
        return 0;
    return a_length < b_length ? -1 : 1;
}

int oid_compare_n(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length, uint32_t n)
{
    // Never past either OID.
    uint32_t common = std::min({n, a_length, b_length});
    for (uint32_t i = 0; i < common; ++i)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    if ((a_length >= n && b_length >= n) || a_length == b_length)
        return 0;
    return a_length >= b_length ? 1 : -1;
}

void oid_to_bytes(uint8_t* bytes, const uint32_t* subids, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        bytes[4 * i] = static_cast<uint8_t>(subids[i] >> 24);
        bytes[4 * i + 1] = static_cast<uint8_t>(subids[i] >> 16);
        bytes[4 * i + 2] = static_cast<uint8_t>(subids[i] >> 8);
        bytes[4 * i + 3] = static_cast<uint8_t>(subids[i]);
    }
    bytes[4 * count] = 0;
}

uint32_t bytes_to_oid(uint32_t* subids, uint32_t capacity, const uint8_t* bytes, uint32_t byte_count)
{
    uint32_t n = std::min(byte_count / 4, capacity);
    for (uint32_t i = 0; i < n; ++i)
        subids[i] = uint32_t(bytes[4 * i]) << 24 | uint32_t(bytes[4 * i + 1]) << 16 | uint32_t(bytes[4 * i + 2]) << 8 |
                    bytes[4 * i + 3];
    return n;
}

bool snmp_check_syntax(uint16_t value_syntax, uint8_t row_syntax)
{
    switch (value_syntax) {
    case SNMP_INTEGER:
        return row_syntax == MIB_INTEGER;
    case SNMP_OCTET_STRING:
        return row_syntax == MIB_OCTET_STRING;
    case SNMP_OBJECT_ID:
        return row_syntax == MIB_OBJECT_ID;
    case SNMP_IPADDRESS:
        return row_syntax == MIB_IPADDRESS;
    case SNMP_COUNTER:
        return row_syntax == MIB_COUNTER;
    case SNMP_GAUGE:
        return row_syntax == MIB_GAUGE;
    case SNMP_TIMETICKS:
        return row_syntax == MIB_TIMETICKS;
    case SNMP_OPAQUE:
        return row_syntax == MIB_OPAQUE;
    default:
        return false;
    }
}

bool snmp_check_int_constraint(uint32_t value, const mib_variable* row)
{
    uint32_t count = row->constraint_count;
    if (count == 0)
        return true;
    const uint32_t* v = row->constraint_values;
    if (row->constraint_list == MIB_LIST_VALUES) {
        count = std::min(count, MIB_CONSTRAINT_VALUES);
        return std::find(v, v + count, value) != v + count;
    }
    count = std::min(count, MIB_CONSTRAINT_VALUES / 2);
    for (uint32_t i = 0; i < count; ++i) {
        if (row->constraint_kind == MIB_UNSIGNED_RANGES && v[2 * i] <= value && value <= v[2 * i + 1])
            return true;
        if (row->constraint_kind == MIB_SIGNED_RANGES && int32_t(v[2 * i]) <= int32_t(value) &&
            int32_t(value) <= int32_t(v[2 * i + 1]))
            return true;
    }
    return false;
}

bool snmp_check_length_constraint(const uint8_t*, uint32_t length, const mib_variable* row)
{
    if (row->constraint_count == 0 || row->constraint_list != MIB_LIST_PAIRS)
        return true;
    return row->constraint_values[0] <= length && length <= row->constraint_values[1];
}

int header_exact(const mib_variable* row, const uint32_t* name, uint32_t name_length)
{
    return oid_compare(name, name_length, row->oid, row->oid_length) == 0 ? 0 : -1;
}

int header_index(const mib_variable* row, const uint32_t* name, uint32_t name_length, uint32_t operation,
                 uint32_t* value_length, uint32_t highest)
{
    uint32_t p = row->oid_length - 1u;  // the column, without its index
    int prefix = oid_compare_n(name, name_length, row->oid, p, p);
    if (prefix > 0 || (prefix == 0 && name_length >= row->oid_length && name[p] > highest)) {
        // Above the column's last instance: the walk goes on with the next column.
        if (operation == MIB_GETNEXT)
            mib_set_column_done();
        return -1;
    }
    // Only a whole instance of this column, index 1..highest, is served: a
    // name of another column or of index 0 addresses no element.
    if (prefix != 0 || name_length != row->oid_length || name[p] == 0)
        return -1;
    if (value_length)
        *value_length = 4;
    return 0;
}

int header_index_n(const mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                   uint32_t* value_length, const uint32_t* highest, uint32_t n)
{
    uint32_t p = row->oid_length - 1u;
    if (n == 0 || n > 3 || *name_length != p + n || oid_compare_n(name, *name_length, row->oid, p, p) != 0)
        return -1;
    for (uint32_t k = 0; k < n; ++k) {
        if (name[p + k] == 0) {
            // No element 0: get and set are refused, get-next takes the
            // first instance that follows.
            if (operation != MIB_GETNEXT)
                return -1;
            for (uint32_t j = k; j < n; ++j)
                name[p + j] = 1;
        }
        if (name[p + k] > highest[k]) {
            if (operation == MIB_GETNEXT)
                mib_set_carry_depth(static_cast<uint8_t>(n - k));
            return -1;
        }
    }
    if (value_length)
        *value_length = 4;
    return 0;
}

int header_at(const mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
              uint32_t* value_length)
{
    constexpr uint32_t kEntryLength = 16;
    if (row->oid_length >= 10) {
        for (uint32_t i = 0; i < MIB_INTERFACES; ++i) {
            const mib_interface_address* e = snmp_interface_address(i);
            if (!e)
                continue;
            uint32_t entry[kEntryLength];
            std::memcpy(entry, row->oid, 10 * sizeof(uint32_t));
            entry[10] = i + 1;
            entry[11] = 1;
            for (uint32_t b = 0; b < 4; ++b)
                entry[12 + b] = (e->address >> (24 - 8 * b)) & 0xFF;
            int c = oid_compare(entry, kEntryLength, name, *name_length);
            if ((operation == MIB_GETNEXT && c > 0) || (operation != MIB_GETNEXT && c == 0)) {
                std::memcpy(name, entry, sizeof entry);
                *name_length = kEntryLength;
                if (value_length)
                    *value_length = 4;
                return static_cast<int>(i + 1);
            }
        }
    }
    monitor_printf("header_at.. index out of range\n");
    return -1;
}
