// The lookup: the subtree that holds a name, the scan of its rows for a get,
// a set or a get-next, the checks of a set, and the get-next walk across
// rows, tables and subtrees.
#include <algorithm>
#include <cstring>

#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/mib/mib_walk_state.h"

namespace {

using mib_walk::t_carry_depth;
using mib_walk::t_column_done;

bool is_column(const mib_variable& r) { return r.oid[r.oid_length - 1] != 0; }

// The row against the name, over the shorter of the two so that neither is
// read past its end: < 0 the row sorts before the name, > 0 after it, 0 when
// the name is the row's: the scalar itself (or longer), or any instance of
// the column. A column is compared without its index placeholder, so that
// an index of 255 or more is an instance like any other. A name that stops
// short of the row sorts before it.
int row_compare(const mib_variable& r, const uint32_t* name, uint32_t length)
{
    uint32_t own = mib_key_length(r);
    uint32_t n = std::min<uint32_t>(length, own);
    for (uint32_t i = 0; i < n; ++i)
        if (r.oid[i] != name[i])
            return r.oid[i] < name[i] ? -1 : 1;
    if (length < own || (length == own && own < r.oid_length))
        return 1;
    return 0;
}

// The first row that may match the name for any operation: the rows
// before it sort below the name. Found by halves where the registry found
// the keys in order.
uint32_t first_candidate(const mib_subtree& t, const uint32_t* name, uint32_t length)
{
    if (!t.keys_ordered)
        return 0;
    const mib_variable* at = std::partition_point(t.rows, t.rows + t.row_count, [&](const mib_variable& r) {
        return row_compare(r, name, length) < 0;
    });
    return static_cast<uint32_t>(at - t.rows);
}

void copy_name(uint32_t* name, uint32_t* length, const uint32_t* from, uint32_t count)
{
    std::memmove(name, from, count * sizeof(uint32_t));
    *length = count;
}

// The column's first instance: every index 1.
void first_instance(const mib_variable& r, uint32_t* name, uint32_t* length)
{
    uint32_t p = r.oid_length - 1u;
    copy_name(name, length, r.oid, p);
    for (uint32_t k = 0; k < r.index_count; ++k)
        name[p + k] = 1;
    *length = p + r.index_count;
}

// Makes the name the row's first instance after it, for a get-next visit.
// With a carry, the instance the handler refused moves on: its last `carry`
// indexes start again at 1 and the one before them goes up by 1; a carry
// through the first index means the column has run out. Returns false when
// nothing of the row follows the name.
bool prepare_next(const mib_variable& r, uint32_t* name, uint32_t* length, uint8_t carry)
{
    uint32_t n = r.index_count;
    if (n == 0) {
        copy_name(name, length, r.oid, r.oid_length);
        return true;
    }
    if (n >= 3)  // the handler walks its own indexes
        return true;
    uint32_t p = r.oid_length - 1u;
    bool in_column = *length >= p && oid_compare_n(name, *length, r.oid, p, p) == 0;
    if (carry > 0) {
        if (carry >= n || !in_column || *length != p + n)
            return false;
        uint32_t k = n - carry - 1u;
        if (name[p + k] == UINT32_MAX)
            return false;
        ++name[p + k];
        for (uint32_t j = k + 1; j < n; ++j)
            name[p + j] = 1;
        return true;
    }
    if (!in_column) {
        if (oid_compare(name, *length, r.oid, p) > 0)
            return false;
        first_instance(r, name, length);
        return true;
    }
    // The indexes the name gives, missing ones 0: a name that stops inside
    // the index part sorts before that position's first instance, a whole
    // instance (or a longer name) is followed by the next one.
    uint32_t m = *length - p;
    uint32_t idx[2] = {0, 0};
    for (uint32_t k = 0; k < n && k < m; ++k)
        idx[k] = name[p + k];
    if (m >= n) {
        int k = static_cast<int>(n) - 1;
        for (; k >= 0; --k) {
            if (idx[k] != UINT32_MAX) {
                ++idx[k];
                break;
            }
            idx[k] = 0;
        }
        if (k < 0)
            return false;
    }
    // No element 0: the first instance at or after it.
    for (uint32_t k = 0; k < n; ++k) {
        if (idx[k] == 0) {
            for (uint32_t j = k; j < n; ++j)
                idx[j] = 1;
            break;
        }
    }
    copy_name(name, length, r.oid, p);
    for (uint32_t k = 0; k < n; ++k)
        name[p + k] = idx[k];
    *length = p + n;
    return true;
}

// The checks of a set before the handler: syntax, then the constraint.
bool set_value_fits(const mib_variable& r, uint16_t value_syntax)
{
    if (!snmp_check_syntax(value_syntax, r.syntax))
        return false;
    if (r.constraint_count == 0)
        return true;
    switch (r.syntax) {
    case MIB_OBJECT_ID:
    case MIB_OCTET_STRING:
    case MIB_OPAQUE:
        return snmp_check_length_constraint(g_snmp_set_value.bytes, g_snmp_set_value.length, &r);
    case MIB_INTEGER:
    case MIB_COUNTER:
    case MIB_GAUGE:
    case MIB_TIMETICKS:
        return snmp_check_int_constraint(g_snmp_set_value.integer, &r);
    default:
        return true;
    }
}

}  // namespace

mib_subtree* find_subtree_prev(const uint32_t* name, uint32_t length, mib_subtree* start)
{
    mib_subtree* found = nullptr;
    for (mib_subtree* t = start ? start : snmp_subtree_head(); t; t = t->next) {
        if (oid_compare(t->first.sub, t->first.length, name, length) > 0)
            break;
        found = t;
    }
    return found;
}

mib_subtree* find_subtree(const uint32_t* name, uint32_t length, mib_subtree* start, bool exact)
{
    mib_subtree* first = start ? start : snmp_subtree_head();
    for (mib_subtree* t = first; t; t = t->next) {
        if (oid_compare(t->first.sub, t->first.length, name, length) <= 0 &&
            oid_compare(name, length, t->end.sub, t->end.length) < 0)
            return t;
    }
    if (exact) {
        monitor_printf_debug("find_subtree: Warning Couldn't Find OID\n");
        return nullptr;
    }
    mib_subtree* prev = find_subtree_prev(name, length, first);
    return prev ? prev->next : first;
}

uintptr_t* fvars(mib_subtree* tp, uint32_t* name, uint32_t* name_length, uint16_t* type, uint32_t* value_length,
                 uint8_t* access, uint32_t operation, snmp_request* record, int index, uint32_t* error)
{
    *error = MIB_ERR_NO_SUCH_NAME;
    if (!tp || tp->row_count == 0)
        return nullptr;
    if (*name_length > MIB_MAX_OID)
        *name_length = MIB_MAX_OID;
    t_carry_depth = 0;
    t_column_done = 0;

    // Once a get-next has passed its starting point, every row follows it.
    bool passed = false;
    int c = oid_compare_n(name, *name_length, tp->prefix.sub, tp->prefix.length, tp->prefix.length);
    if (c != 0) {
        monitor_printf("fvars: cmp result0 %d\n", c);
        if (operation != MIB_GETNEXT)
            return nullptr;  // with noSuchName: a request always gets its answer
        monitor_printf("No Such Name #9\n");
        passed = true;
    } else if (oid_compare(name, *name_length, tp->first.sub, tp->first.length) < 0) {
        if (operation != MIB_GETNEXT) {
            monitor_printf("fvars: input name is not in the subtree\n");
            return nullptr;
        }
        monitor_printf("No Such Name #10\n");
        passed = true;
    }
    if (passed)  // before every row of the subtree
        copy_name(name, name_length, tp->prefix.sub, tp->prefix.length);

    uint32_t visits = 0;
    for (uint32_t i = passed ? 0 : first_candidate(*tp, name, *name_length); i < tp->row_count; ++i) {
        mib_variable* row = &tp->rows[i];
        uint8_t carry = 0;
        for (;;) {
            if (++visits > MIB_VISIT_LIMIT) {
                monitor_printf("timed out finding next object\n");
                return nullptr;
            }
            if (!passed) {
                int rc = row_compare(*row, name, *name_length);
                bool match = operation == MIB_GETNEXT ? (rc > 0 || (rc == 0 && is_column(*row)))
                                                      : (rc == 0 || (rc > 0 && is_column(*row)));
                if (!match)
                    break;
            }
            if (operation == MIB_GETNEXT) {
                passed = true;
                bool have = prepare_next(*row, name, name_length, carry);
                t_carry_depth = 0;
                t_column_done = 0;
                if (!have)
                    break;
            }

            mib_variable copy = *row;
            uint32_t op = operation;
            if (row->access == MIB_READ_ONLY_SNMP && row->write_override == 1) {
                copy.access = MIB_READ_WRITE;  // written like a read-write row, unchecked
            } else if (operation == MIB_SET) {
                if (!set_value_fits(*row, *type))
                    *error = MIB_ERR_BAD_VALUE;
                if (row->write_mask != 0 && (row->write_mask & g_snmp_community_mask) == 0) {
                    monitor_printf("access denied, zezaro\n");
                    *error = MIB_ERR_NO_SUCH_NAME;
                    return nullptr;
                }
                if (row->access == MIB_READ_ONLY) {
                    op = MIB_GET;
                } else if (row->access == MIB_READ_ONLY_SNMP) {
                    op = MIB_GET;
                    copy.access = MIB_READ_ONLY;
                }
            }

            *value_length = 0;
            uintptr_t* cell = row->handler(&copy, name, name_length, op, value_length, record, index);
            if (cell) {
                *type = row->syntax;
                *access = copy.access;
                if (*error != MIB_ERR_BAD_VALUE)
                    *error = MIB_ERR_NONE;
                return cell;
            }
            if (operation != MIB_GETNEXT) {
                *type = row->syntax;
                *access = copy.access;
                *error = MIB_ERR_NO_SUCH_NAME;
                monitor_printf("No Such Name #13\n");
                return nullptr;
            }
            carry = t_carry_depth;
            if (carry == 0)
                break;
        }
    }
    return nullptr;
}

uintptr_t* getStatPtr(uint32_t* name, uint32_t* name_length, uint16_t* type, uint32_t* value_length, uint8_t* access,
                      uint32_t operation, snmp_request* record, int index, uint32_t* error)
{
    *error = MIB_ERR_NO_OBJECT;
    if (*name_length > MIB_MAX_OID)
        *name_length = MIB_MAX_OID;
    uint32_t start[MIB_MAX_OID];
    uint32_t start_length = *name_length;
    std::memcpy(start, name, start_length * sizeof(uint32_t));

    uint32_t op = operation;
    mib_subtree* tp = find_subtree(name, *name_length, nullptr, true);
    if (!tp) {
        if (operation != MIB_GETNEXT) {
            monitor_printf_debug("getStatPtr fvars tp == NULL\n");
            return nullptr;
        }
        // Before or between subtrees: the next subtree's first object.
        tp = find_subtree(name, *name_length, nullptr, false);
        if (tp) {
            copy_name(name, name_length, tp->first.sub, tp->first.length);
            op = MIB_GET;
        }
    }
    for (; tp; tp = tp->next) {
        uintptr_t* cell = fvars(tp, name, name_length, type, value_length, access, op, record, index, error);
        if (cell)
            return cell;
        if (operation != MIB_GETNEXT)
            return nullptr;
        if (op == MIB_GET) {
            // The first object is not served: walk on from it.
            op = MIB_GETNEXT;
            cell = fvars(tp, name, name_length, type, value_length, access, op, record, index, error);
            if (cell)
                return cell;
        }
    }
    copy_name(name, name_length, start, start_length);
    *error = MIB_ERR_NO_OBJECT;
    return nullptr;
}
