// The MIB registry: every SNMP object of the controller is a row (OID,
// syntax, access, constraint, write mask, handler) in one of eleven subtrees.
// The lookup (getStatPtr) finds the row of a name for a get, a set or a
// get-next and calls its handler, which serves the value from the parameter
// database.
//
// Rows are written per object group: a group file under ntcip/mib/ defines a
// constant table of rows (in any order) and its handler, and joins the
// registry by one line in mib_groups.cpp. At the engine's start the registry
// merges the groups of each subtree into one table in OID order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ntcip/snmp/snmp_codec.h"

constexpr uint32_t MIB_MAX_OID = SNMP_MAX_OID;  // sub-identifiers of a name or a row
constexpr uint32_t MIB_PREFIX_MAX = 17;         // sub-identifiers of a subtree's OIDs
constexpr uint32_t MIB_PLACEHOLDER = 255;       // where a column's index goes
constexpr uint32_t MIB_SUBTREES = 11;
constexpr uint32_t MIB_MAX_ROWS = 1024;         // all subtrees together
constexpr uint32_t MIB_VISIT_LIMIT = 1000;      // row visits of one get-next search
constexpr uint32_t MIB_SET_BYTES = 3000;     // a whole MULTI text of the longest the sign takes
constexpr uint32_t MIB_CONSTRAINT_VALUES = 20;
constexpr uint32_t MIB_INTERFACES = 5;

// Row syntax codes.
enum mib_syntax : uint8_t {
    MIB_OBJECT_ID = 4,
    MIB_OCTET_STRING = 5,
    MIB_INTEGER = 6,
    MIB_IPADDRESS = 8,
    MIB_COUNTER = 9,
    MIB_GAUGE = 10,
    MIB_TIMETICKS = 11,
    MIB_OPAQUE = 12,
};

enum mib_access : uint8_t {
    MIB_READ_ONLY = 1,
    MIB_READ_WRITE = 2,
    MIB_READ_ONLY_SNMP = 3,  // read-only unless the SNMP write override is on
};

// Operations of the lookup and of the handlers.
enum mib_operation : uint32_t { MIB_GETNEXT = 0, MIB_GET = 1, MIB_SET = 2 };

// Error codes of the lookup.
enum : uint32_t {
    MIB_ERR_NONE = 0,
    MIB_ERR_NO_OBJECT = 1,     // no subtree holds the name, and nothing follows it
    MIB_ERR_NO_SUCH_NAME = 2,  // not served, or denied
    MIB_ERR_BAD_VALUE = 10,    // wrong syntax, or the constraint refuses the value
};

// Constraint kinds and list kinds.
enum : uint8_t { MIB_SIGNED_RANGES = 2, MIB_LENGTH_RANGE = 3, MIB_UNSIGNED_RANGES = 4 };
enum : uint8_t { MIB_LIST_PAIRS = 1, MIB_LIST_VALUES = 2 };

struct mib_variable;

// The handler contract. The row is a copy of the matched row (for a set of
// an access-3 row, access and operation are already adjusted). The handler
// compares the name with the row (header_exact, header_index, ...), may
// rewrite the name during get-next, puts the value into the varbind's value
// cell (the integer, or a pointer to the bytes with their count in the value
// length) and returns the cell's address; null when it does not serve the
// name. It writes only when the operation is a set and the commit indicator
// is 1, taking the value from the set value; it may set the record's
// error-status.
typedef uintptr_t* (*var_handler)(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index);

// One registry row.
struct mib_variable {
    const uint32_t* oid;  // a scalar ends in 0, a column in MIB_PLACEHOLDER
    uint8_t oid_length;
    uint8_t syntax;
    uint8_t column;  // the handler picks the object by it
    uint8_t access;
    var_handler handler;
    uint8_t constraint_kind;
    uint8_t constraint_list;
    uint8_t constraint_count;  // pairs or values; 0 = no constraint
    uint32_t constraint_values[MIB_CONSTRAINT_VALUES];
    uint8_t write_override;  // run-time state of access-3 rows; 0 in the tables
    uint32_t write_mask;     // 0 = no restriction
    uint8_t index_count;     // 0 scalar, 1, 2 or 3
};

struct mib_constraint {
    uint8_t kind;
    uint8_t list;
    uint8_t count;
    uint32_t values[MIB_CONSTRAINT_VALUES];
};

constexpr mib_constraint mib_no_constraint() { return {}; }
constexpr mib_constraint mib_unsigned_range(uint32_t min, uint32_t max)
{
    return {MIB_UNSIGNED_RANGES, MIB_LIST_PAIRS, 1, {min, max}};
}
constexpr mib_constraint mib_signed_range(int32_t min, int32_t max)
{
    return {MIB_SIGNED_RANGES, MIB_LIST_PAIRS, 1, {static_cast<uint32_t>(min), static_cast<uint32_t>(max)}};
}
constexpr mib_constraint mib_length_range(uint32_t min, uint32_t max)
{
    return {MIB_LENGTH_RANGE, MIB_LIST_PAIRS, 1, {min, max}};
}

// A row of a group table: mib_row(kOid, MIB_INTEGER, 4, MIB_READ_WRITE, var_x, 0, 0x40000, mib_unsigned_range(1, 6)).
template <size_t N>
constexpr mib_variable mib_row(const uint32_t (&oid)[N], uint8_t syntax, uint8_t column, uint8_t access,
                               var_handler handler, uint8_t index_count = 0, uint32_t write_mask = 0,
                               mib_constraint c = {})
{
    static_assert(N <= MIB_MAX_OID, "a row's OID holds at most 40 sub-identifiers");
    mib_variable v{};
    v.oid = oid;
    v.oid_length = static_cast<uint8_t>(N);
    v.syntax = syntax;
    v.column = column;
    v.access = access;
    v.handler = handler;
    v.constraint_kind = c.kind;
    v.constraint_list = c.list;
    v.constraint_count = c.count;
    for (uint32_t i = 0; i < MIB_CONSTRAINT_VALUES; ++i)
        v.constraint_values[i] = c.values[i];
    v.write_mask = write_mask;
    v.index_count = index_count;
    return v;
}

// The rows one object group adds to a subtree (named by its label).
struct mib_group {
    const char* subtree;
    const mib_variable* rows;
    uint16_t count;
};

struct mib_oid {
    uint32_t sub[MIB_PREFIX_MAX];
    uint8_t length;
};

// One registry entry.
struct mib_subtree {
    mib_oid prefix;
    mib_oid first;  // the OID of its first row (a scalar)
    mib_oid end;    // just past its last row
    mib_variable* rows;
    uint16_t row_count;
    uint16_t row_width;
    char label[20];
    mib_subtree* next;
    mib_subtree* previous;
    // The rows' keys rise strictly and none starts the next, so the lookup
    // may search them by halves (set when the registry is built).
    bool keys_ordered;
};

// A row's key: its OID, a column's without the index placeholder.
inline uint32_t mib_key_length(const mib_variable& r)
{
    return r.oid[r.oid_length - 1] != 0 ? r.oid_length - 1u : r.oid_length;
}

// The registry's array, in its historic order (cls b, auxio, fdot, quor,
// nvdot, zezaro, vestrel, protocol, global, dms, ess); the list links them in
// OID order, "cls b" first.
extern mib_subtree g_mib_subtrees[MIB_SUBTREES];
mib_subtree* snmp_subtree_head();
mib_subtree* snmp_subtree_find(const char* label);

// The program's object groups (mib_groups.cpp).
extern const mib_group* const g_mib_groups[];
extern const uint32_t g_mib_group_count;

// Builds the registry from the program's groups and links the list; run by
// snmp_entry before any lookup. Returns 1, or 0 when some row was left out.
int snmp_mib_init();
// The same from the given groups (tests). Rows of an unknown subtree, rows
// outside their subtree, rows with too long an OID and second rows of one
// OID are traced and left out.
int snmp_mib_build(const mib_group* const* groups, uint32_t count);
void snmp_subtree_list_init();

// The SNMP write override: every access-3 row of the registry on or off.
void snmp_mib_set_write_override(uint8_t on);

// Interface address table, read by header_at (the MIB-II address
// translation table); the endpoints fill entry 0 with the controller's own.
struct mib_interface_address {
    uint32_t address;  // IPv4, most significant byte first as a number
    uint8_t mac[6];
    uint8_t used;
};
void snmp_set_interface_address(uint32_t index, uint32_t address, const uint8_t* mac);
const mib_interface_address* snmp_interface_address(uint32_t index);
void snmp_clear_interface_addresses();

// --- The values through which a SET reaches the handlers. Each thread that
// runs requests (an agent's dispatch thread, a link's worker, the internal
// access) has its own, so concurrent requests never see each other's value;
// a request is processed wholly in one thread.
struct mib_set_value {
    uint32_t integer;               // INTEGER, IpAddress (big-endian word), Counter, Gauge
    uint8_t bytes[MIB_SET_BYTES];   // OCTET STRING; OID values as 4-byte big-endian groups
    uint32_t length;                // bytes in `bytes`, or 4
};
extern thread_local mib_set_value g_snmp_set_value;
// 1 while handlers may write: the commit pass, and between requests.
extern thread_local uint8_t g_snmp_commit_indicator;
// The access mask of the current request's community.
extern thread_local uint32_t g_snmp_community_mask;

// --- Lookup.
// name: at most MIB_MAX_OID sub-identifiers, rewritten in place by get-next.
// type: in the request's value syntax, out the row syntax. Returns the value
// cell, or null with a non-zero error code.
uintptr_t* getStatPtr(uint32_t* name, uint32_t* name_length, uint16_t* type, uint32_t* value_length, uint8_t* access,
                      uint32_t operation, snmp_request* record, int index, uint32_t* error);
// The search of one subtree.
uintptr_t* fvars(mib_subtree* tp, uint32_t* name, uint32_t* name_length, uint16_t* type, uint32_t* value_length,
                 uint8_t* access, uint32_t operation, snmp_request* record, int index, uint32_t* error);
// From start (or the head), the last subtree whose first object is not above the name.
mib_subtree* find_subtree_prev(const uint32_t* name, uint32_t length, mib_subtree* start);
// The subtree whose first object <= name < end; when none holds the name,
// null (exact) or the subtree that follows the name.
mib_subtree* find_subtree(const uint32_t* name, uint32_t length, mib_subtree* start, bool exact);

// --- Matching, for the handlers. Each returns 0 when the name may be served.
int header_exact(const mib_variable* row, const uint32_t* name, uint32_t name_length);
// A single-index column instance, index 1..highest.
int header_index(const mib_variable* row, const uint32_t* name, uint32_t name_length, uint32_t operation,
                 uint32_t* value_length, uint32_t highest);
// A column instance of n indexes (n <= 3), index k in 1..highest[k]. On
// get-next an index beyond its bound asks the walk to carry into the index
// before it; an index of 0 is raised to the first instance.
int header_index_n(const mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                   uint32_t* value_length, const uint32_t* highest, uint32_t n);
// The address-translation entry number (from 1), or -1.
int header_at(const mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
              uint32_t* value_length);

// Get-next state that handlers hand back to the walk.
void mib_set_carry_depth(uint8_t depth);  // ask for the same row again, carried
uint8_t mib_carry_depth();
void mib_set_column_done();  // this single-index column has run out
uint8_t mib_column_done();
void mib_walk_reset();  // both cleared (each search starts so)

// --- Value checks of a set.
bool snmp_check_syntax(uint16_t value_syntax, uint8_t row_syntax);
bool snmp_check_int_constraint(uint32_t value, const mib_variable* row);
bool snmp_check_length_constraint(const uint8_t* bytes, uint32_t length, const mib_variable* row);

// --- OIDs.
int oid_compare(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length);
int oid_compare_n(const uint32_t* a, uint32_t a_length, const uint32_t* b, uint32_t b_length, uint32_t n);
// Each sub-identifier as 4 bytes, most significant first, then one 0 byte:
// bytes needs 4 x count + 1.
void oid_to_bytes(uint8_t* bytes, const uint32_t* subids, uint32_t count);
// byte_count / 4 groups, at most capacity; returns the number written.
uint32_t bytes_to_oid(uint32_t* subids, uint32_t capacity, const uint8_t* bytes, uint32_t byte_count);
