#include "ntcip/snmp/agent/request.h"

#include <algorithm>
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/snmp/snmp_counters.h"

volatile uint8_t g_comm_activity = 0;
volatile uint8_t g_modem_snmp_activity = 0;

namespace {

#define ENT 1, 3, 6, 1, 4, 1, 1206
// Names that request processing recognises, compared with the varbind names.
constexpr uint32_t kSecurityNode[] = {ENT, 4, 2, 6, 5};
constexpr uint32_t kChapNode[] = {ENT, 4, 1, 1, 1};
constexpr uint32_t kPanelAdminPassword[] = {ENT, 3, 11, 2, 12};
constexpr uint32_t kControlMode[] = {ENT, 4, 2, 3, 6, 1, 0};
constexpr uint32_t kActivateMessage[] = {ENT, 4, 2, 3, 6, 3, 0};
constexpr uint32_t kMessageStatusColumn[] = {ENT, 4, 2, 3, 5, 8, 1, 9};
constexpr uint32_t kGraphicStatusColumn[] = {ENT, 4, 2, 3, 10, 6, 1, 10};
constexpr uint32_t kGraphicBlockBitmap[] = {ENT, 4, 2, 3, 10, 7, 1, 3};
constexpr uint32_t kAuxPortValueColumn[] = {ENT, 4, 2, 6, 7, 3, 1, 5};
constexpr uint32_t kTimeCompatibility[] = {ENT, 3, 16, 1, 1, 20, 5, 0};
#undef ENT

constexpr uint32_t kCentralOverride = 5;
constexpr uint8_t kControlModeLocal = 2;
constexpr uint32_t kGraphicBlockBytes = 1023;
constexpr uint32_t kAuxPortRows = 136;  // rows of the peripheral-status model bytes

snmp_display_services g_display{};
snmp_polled_trap_answer g_polled_trap = nullptr;

template <size_t N>
bool begins_with(const uint32_t* name, uint32_t length, const uint32_t (&prefix)[N])
{
    return length >= N && std::equal(prefix, prefix + N, name);
}

template <size_t N>
bool is_name(const snmp_varbind& v, const uint32_t (&whole)[N])
{
    return v.name_length == N && std::equal(whole, whole + N, v.name);
}

// The protected node a name lies in, or null.
const uint32_t* protected_node(const uint32_t* name, uint32_t length)
{
    if (begins_with(name, length, kSecurityNode))
        return kSecurityNode;
    if (begins_with(name, length, kChapNode))
        return kChapNode;
    if (begins_with(name, length, kPanelAdminPassword))
        return kPanelAdminPassword;
    return nullptr;
}
constexpr uint32_t kProtectedLength = 11;  // all three nodes
static_assert(sizeof kSecurityNode / 4 == kProtectedLength && sizeof kChapNode / 4 == kProtectedLength &&
              sizeof kPanelAdminPassword / 4 == kProtectedLength);

bool is_v1_failure(uint32_t status) { return status == 1 || status == 2 || status == 3 || status == 5; }

void set_error(snmp_request& r, uint32_t status, int i)
{
    r.error_status = status;
    if (r.error_index == 0)
        r.error_index = static_cast<uint32_t>(i + 1);
}

void count_status(uint32_t status)
{
    switch (status) {
    case 1:
        snmp_counter_add(snmp_counter::snmpInTooBigs);
        break;
    case 3:
        snmp_counter_add(snmp_counter::snmpInBadValues);
        break;
    case 4:
        snmp_counter_add(snmp_counter::snmpInReadOnlys);
        break;
    case 5:
        snmp_counter_add(snmp_counter::snmpInGenErrs);
        break;
    default:
        snmp_counter_add(snmp_counter::snmpInNoSuchNames);
        break;
    }
}

uint32_t be_word(const uint8_t* b)
{
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}

// The varbind's value into the set value through which the handlers see it.
void copy_set_value(const snmp_varbind& v, bool count)
{
    uint32_t length = v.value_length;
    if (length > MIB_SET_BYTES) {
        monitor_printf_debug("*******TAS - Object Too Big!!!!\n");
        length = MIB_SET_BYTES;
        if (count)
            snmp_counter_add(snmp_counter::snmpInTooBigs);
    }
    mib_set_value& s = g_snmp_set_value;
    switch (v.syntax) {
    case SNMP_INTEGER:
    case SNMP_COUNTER:
    case SNMP_GAUGE:
        s.integer = v.value_words[0];
        s.length = 4;
        break;
    case SNMP_IPADDRESS:
        s.integer = v.value_length >= 4 ? be_word(v.value) : 0;
        s.length = 4;
        break;
    case SNMP_OCTET_STRING:
        std::memcpy(s.bytes, v.value, length);
        s.length = length;
        break;
    case SNMP_OBJECT_ID: {
        uint32_t count_words = length / 4;
        // The sub-identifiers are read before the bytes are written: the set
        // value never overlaps the varbind, but the order keeps that harmless.
        for (uint32_t k = 0; k < count_words; ++k) {
            uint32_t w = v.value_words[k];
            s.bytes[4 * k] = static_cast<uint8_t>(w >> 24);
            s.bytes[4 * k + 1] = static_cast<uint8_t>(w >> 16);
            s.bytes[4 * k + 2] = static_cast<uint8_t>(w >> 8);
            s.bytes[4 * k + 3] = static_cast<uint8_t>(w);
        }
        s.length = 4 * count_words;
        break;
    }
    default:
        monitor_printf_debug("processPppPDU: Set type error\n");
        break;
    }
}

// The model byte of a peripheral-status row, which holds an aux I/O port's
// resolution.
uint8_t status_model(uint32_t row)
{
    CDataBase* db = g_pDataBase;
    if (!db || row >= kAuxPortRows)
        return 0;
    const db_object o = vol::auxIOPortResolution(row);
    return static_cast<uint8_t>(db->GetValue(o.offset, o.width, db->mib_v, 0));
}

// A set of an aux I/O port's value must not exceed what its resolution holds.
bool aux_port_value_fits(const snmp_varbind& v)
{
    if (v.name_length < 2)
        return true;
    uint32_t port = v.name[v.name_length - 1];
    uint32_t type = v.name[v.name_length - 2];
    uint32_t row = type == 2 ? port + 111 : port - 1;
    uint32_t exponent = status_model(row) % 64;
    uint64_t limit = exponent >= 32 ? 0 : (uint64_t(1) << exponent);
    uint32_t value = 0;
    if (v.value_length == 2)
        value = v.value[0];
    else if (v.value_length == 4)
        value = v.value_words[0];
    return value <= limit;
}

uint32_t bad_community_count()
{
    CDataBase* db = g_pDataBase;
    return db ? db->GetValue(vol::quorBadCommunityCount.offset, vol::quorBadCommunityCount.width, db->mib_v, 0) : 0;
}

bool valid_row_syntax(uint8_t syntax)
{
    switch (syntax) {
    case MIB_OBJECT_ID:
    case MIB_OCTET_STRING:
    case MIB_INTEGER:
    case 7:
    case MIB_IPADDRESS:
    case MIB_COUNTER:
    case MIB_GAUGE:
    case MIB_TIMETICKS:
    case MIB_OPAQUE:
        return true;
    default:
        return false;
    }
}

// The handler's answer into the response varbind, by the row's syntax.
void fill_value(snmp_varbind& v, uint8_t syntax, uintptr_t cell, uint32_t length, bool pad_bitmap)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(cell);
    switch (syntax) {
    case MIB_OBJECT_ID: {
        uint32_t count = std::min<uint32_t>(length / 4, SNMP_MAX_OID_VALUE);
        v.syntax = SNMP_OBJECT_ID;
        for (uint32_t k = 0; k < count && bytes; ++k)
            v.value_words[k] = be_word(bytes + 4 * k);
        v.value_length = bytes ? count : 0;
        break;
    }
    case MIB_OCTET_STRING:
    case MIB_OPAQUE: {
        uint32_t n = bytes ? std::min<uint32_t>(length, SNMP_MAX_STRING) : 0;
        v.syntax = syntax == MIB_OPAQUE ? SNMP_OPAQUE : SNMP_OCTET_STRING;
        if (n)
            std::memmove(v.value, bytes, n);
        if (pad_bitmap && n < kGraphicBlockBytes) {
            std::memset(v.value + n, 0, kGraphicBlockBytes - n);
            n = kGraphicBlockBytes;
        }
        v.value[n] = 0;
        v.value_length = n;
        break;
    }
    case 7:
    case MIB_IPADDRESS: {
        uint32_t a = static_cast<uint32_t>(cell);
        v.syntax = SNMP_IPADDRESS;
        v.value[0] = static_cast<uint8_t>(a >> 24);
        v.value[1] = static_cast<uint8_t>(a >> 16);
        v.value[2] = static_cast<uint8_t>(a >> 8);
        v.value[3] = static_cast<uint8_t>(a);
        v.value_length = 4;
        break;
    }
    default:
        v.syntax = syntax == MIB_COUNTER  ? SNMP_COUNTER
                   : syntax == MIB_GAUGE  ? SNMP_GAUGE
                   : syntax == MIB_TIMETICKS ? SNMP_TIMETICKS
                                          : SNMP_INTEGER;
        v.value_words[0] = static_cast<uint32_t>(cell);
        v.value_length = 4;
        break;
    }
}

// A get-next by a community other than the administrator walks past the
// protected nodes: from the first name after a node's whole subtree.
uintptr_t* next_outside_protected(snmp_varbind& v, uint32_t* length, uint16_t* type, uint32_t* value_length,
                                  uint8_t* access, snmp_request& r, int i, uint32_t* error, uintptr_t* cell)
{
    for (int guard = 0; cell && guard < 8; ++guard) {
        const uint32_t* node = protected_node(v.name, *length);
        if (!node)
            return cell;
        std::memcpy(v.name, node, kProtectedLength * sizeof(uint32_t));
        v.name[kProtectedLength] = UINT32_MAX;
        *length = kProtectedLength + 1;
        *type = v.syntax;
        cell = getStatPtr(v.name, length, type, value_length, access, MIB_GETNEXT, &r, i, error);
    }
    return cell && !protected_node(v.name, *length) ? cell : nullptr;
}

}  // namespace

int snmp_set_lock()
{
    if (tx_mutex_get(&g_snmp_protect_mutex, TX_WAIT_FOREVER) != TX_SUCCESS) {
        monitor_printf_debug("processPppPdu tx_mutex_get failed\n");
        return 0;
    }
    return 1;
}

void snmp_set_unlock() { tx_mutex_put(&g_snmp_protect_mutex); }

void snmp_set_display_services(const snmp_display_services* services)
{
    g_display = services ? *services : snmp_display_services{};
}

void snmp_display_memory_management()
{
    if (g_display.memory_management)
        g_display.memory_management();
}

void snmp_set_polled_trap_answer(snmp_polled_trap_answer answer) { g_polled_trap = answer; }

void processPppPdu(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                   const char* context_engine_id, const char* context_name, uint32_t wrapper_tag,
                   snmp_record* record, int slot)
{
    if (!agent || !record)
        return;

    // A serial endpoint with traps to deliver answers a poll with its oldest trap.
    if (std::strncmp(agent->name, "ethernet", 8) != 0 && g_polled_trap && g_polled_trap(agent))
        return;

    uint32_t mask = 0;
    int cls = snmp_community_lookup(community, &mask);
    if (cls == SNMP_COMMUNITY_UNKNOWN) {
        snmp_counter_add(snmp_counter::snmpInBadCommunityNames);
        snmp_counter_add(snmp_counter::snmpInBadCommunityUses);
        snmp_inc_counter_25280();
        return;
    }
    // The access mask: all objects for the administrator, the entry's for a user.
    if (cls == SNMP_COMMUNITY_ADMIN)
        mask = 0xFFFFFFFF;
    g_snmp_community_mask = mask;
    g_comm_activity = 1;
    g_modem_snmp_activity = 1;
    const bool admin = cls == SNMP_COMMUNITY_ADMIN;

    snmp_request& r = record->request;
    uint32_t op = 0;
    switch (r.pdu_type) {
    case SNMP_PDU_GET:
        snmp_counter_add(snmp_counter::snmpInGetRequests);
        op = MIB_GET;
        break;
    case SNMP_PDU_GETNEXT:
        snmp_counter_add(snmp_counter::snmpInGetNexts);
        op = MIB_GETNEXT;
        break;
    case SNMP_PDU_SET:
        snmp_counter_add(snmp_counter::snmpInSetRequests);
        op = MIB_SET;
        break;
    default:
        snmp_counter_add(snmp_counter::snmpInGenErrs);
        return;
    }
    // The response's status starts clean whatever the request carried.
    r.error_status = 0;
    r.error_index = 0;
    // More varbinds than the record keeps: answered tooBig as a whole, with
    // nothing served, rather than an answer to the first ones only.
    if (r.overflow) {
        snmp_counter_add(snmp_counter::snmpOutTooBigs);
        r.error_status = 1;
        r.count = 0;
    }
    const int count = std::clamp<int>(r.count, 0, static_cast<int>(SNMP_MAX_VARBINDS));

    // One lock over the whole SET: the record of a refusal, both passes and
    // the display's work in the commit, so that two SETs (or a SET and an
    // internal set, which may switch the database's validation or
    // notification off) never interleave their writes.
    const bool locked = op == MIB_SET && snmp_set_lock();

    // Control-mode gate: in local mode only the agent of the local port (or
    // a central override) may set; a refused set is served as a get.
    bool refused = false;
    if (op == MIB_SET) {
        const uint8_t mode = snmp_get_control_mode();
        if (mode == kControlModeLocal && !agent->local) {
            const snmp_varbind* first = count > 0 ? &r.varbinds[0] : nullptr;
            refused = !(first && is_name(*first, kControlMode) && first->syntax == SNMP_INTEGER &&
                        first->value_words[0] == kCentralOverride);
        } else if (mode != kControlModeLocal && agent->local) {
            refused = true;
        }
        if (refused && count > 0 && is_name(r.varbinds[0], kActivateMessage)) {
            const snmp_varbind& v = r.varbinds[0];
            bool bytes = v.syntax == SNMP_OCTET_STRING;
            snmp_activation_refused(bytes ? v.value : nullptr, bytes ? v.value_length : 0);
        }
    }
    const uint32_t lookup_op = refused ? MIB_GET : op;
    bool gate_pending = refused;

    bool stop = false, last = false, type_error = false;
    for (int pass = op == MIB_GETNEXT ? 1 : 0; pass <= 1 && !stop && !last; ++pass) {
        g_snmp_commit_indicator = static_cast<uint8_t>(pass);
        for (int i = 0; i < count && !stop; ++i) {
            snmp_varbind& v = r.varbinds[i];
            if (v.name_length > MIB_MAX_OID)
                v.name_length = MIB_MAX_OID;
            if (lookup_op == MIB_SET && (v.syntax == SNMP_WRONG_TYPE || v.syntax == SNMP_WRONG_LENGTH)) {
                // No object takes it: badValue in SNMPv1, the precise error in v2c.
                monitor_printf_debug("ProcessPppPdu: Bad Value\n");
                set_error(r, version == 0 ? 3 : v.syntax == SNMP_WRONG_TYPE ? 7 : 8, i);
                snmp_counter_add(snmp_counter::snmpInBadValues);
                stop = true;
                break;
            }
            if (lookup_op == MIB_SET)
                copy_set_value(v, pass == 0);

            if (!admin && lookup_op != MIB_GETNEXT &&
                (protected_node(v.name, v.name_length) ||
                 (lookup_op == MIB_SET && cls == SNMP_COMMUNITY_USER && mask == 0))) {
                monitor_printf_debug("ProcessPppPdu: Access Denied\n");
                set_error(r, 2, i);
                snmp_counter_add(snmp_counter::snmpInNoSuchNames);
                stop = true;
                break;
            }

            uint32_t original[MIB_MAX_OID];
            const uint32_t original_length = v.name_length;
            std::memcpy(original, v.name, original_length * sizeof(uint32_t));
            uint16_t type = v.syntax;
            uint32_t length = v.name_length, value_length = 0, error = 0;
            uint8_t access = 0;
            const uint32_t status_before = r.error_status;
            uintptr_t* cell =
                getStatPtr(v.name, &length, &type, &value_length, &access, lookup_op, &r, i, &error);
            if (lookup_op == MIB_GETNEXT && !admin) {
                cell = next_outside_protected(v, &length, &type, &value_length, &access, r, i, &error, cell);
                if (!cell) {
                    std::memcpy(v.name, original, original_length * sizeof(uint32_t));
                    length = original_length;
                    if (error == MIB_ERR_NONE)
                        error = MIB_ERR_NO_OBJECT;
                }
            }

            if (lookup_op == MIB_SET && r.error_status == 0 && begins_with(v.name, v.name_length, kAuxPortValueColumn) &&
                !aux_port_value_fits(v))
                r.error_status = 3;

            if (lookup_op == MIB_GETNEXT)
                v.name_length = length;

            if (r.error_status != 0) {
                if (status_before == 0) {
                    if (r.error_index == 0)
                        r.error_index = static_cast<uint32_t>(i + 1);
                    count_status(r.error_status);
                }
                value_length = v.value_length;
                last = true;
            } else if (error == MIB_ERR_BAD_VALUE) {
                monitor_printf_debug("ProcessPppPdu: Bad Value\n");
                set_error(r, 3, i);
                snmp_counter_add(snmp_counter::snmpInBadValues);
                last = true;
            } else if (error != MIB_ERR_NONE) {
                monitor_printf_debug("ProcessPppPdu: No Such Object\n");
                set_error(r, 2, i);
                snmp_counter_add(snmp_counter::snmpInNoSuchNames);
                stop = true;
                break;
            }

            if (gate_pending) {
                if (!is_v1_failure(r.error_status)) {
                    monitor_printf_debug("ProcessPppPdu: General Error1\n");
                    r.error_status = 5;
                }
                if (r.error_index == 0)
                    r.error_index = static_cast<uint32_t>(i + 1);
                snmp_counter_add(snmp_counter::snmpOutGenErrs);
                gate_pending = false;
                last = true;
            }

            if (lookup_op == MIB_SET && pass == 1 && cell && error == MIB_ERR_NONE && is_name(v, kActivateMessage) &&
                g_display.activate_message && !g_display.activate_message() && !is_v1_failure(r.error_status)) {
                set_error(r, 5, i);
            }

            if (lookup_op == MIB_SET && cell && access == MIB_READ_ONLY) {
                monitor_printf_debug("ProcessPppPdu: Error - ReadOnly\n");
                // Answered as SNMPv1 agents do: noSuchName, counted both ways.
                if (r.error_status == 0)
                    r.error_status = 2;
                if (r.error_index == 0)
                    r.error_index = static_cast<uint32_t>(i + 1);
                snmp_counter_add(snmp_counter::snmpInNoSuchNames);
                snmp_counter_add(snmp_counter::snmpInReadOnlys);
                last = true;
            }

            if (value_length > MIB_SET_BYTES && (r.error_status == 0 || r.error_status > 3)) {
                monitor_printf("Error, variable too large:%d type:%d No object:%d\n", value_length, type, error);
                set_error(r, 1, i);
                value_length = MIB_SET_BYTES;
                snmp_counter_add(snmp_counter::snmpInTooBigs);
                last = true;
            }

            if (pass == 0 && lookup_op != MIB_GETNEXT && r.error_status == 0)
                continue;
            if (!cell)
                continue;
            if (!valid_row_syntax(static_cast<uint8_t>(type))) {
                monitor_printf("processPppPDU: type error, type = %d\n", type);
                type_error = true;
                stop = true;
                break;
            }
            // An error response returns the varbinds as they came, but a set
            // the gate refused answers what a get of its objects returns.
            if (r.error_status == 0 || refused) {
                bool pad = op != MIB_SET && begins_with(v.name, v.name_length, kGraphicBlockBitmap);
                fill_value(v, static_cast<uint8_t>(type), *cell, value_length, pad);
            }
        }
    }
    g_snmp_commit_indicator = 1;
    if (locked)
        snmp_set_unlock();
    if (type_error)
        return;

    r.pdu_type = SNMP_PDU_RESPONSE;
    // A known community ends the count of unknown ones; the set just served
    // may have renamed it, so it is looked up again (only while there is a
    // count to end).
    uint32_t again = 0;
    if (bad_community_count() != 0 && snmp_community_lookup(community, &again) != SNMP_COMMUNITY_UNKNOWN)
        snmp_clear_counter_25280();
    if (returnResponsePdu(agent, version, version_tag, community, flags, context_engine_id, context_name,
                          wrapper_tag, record, slot) != 1)
        monitor_printf("snmp_preocess: returnResponsePdu Failed\n");

    if (op == MIB_SET) {
        for (int i = 0; i < count; ++i)
            if (begins_with(r.varbinds[i].name, r.varbinds[i].name_length, kMessageStatusColumn) &&
                g_display.process_message_table)
                g_display.process_message_table();
        for (int i = 0; i < count; ++i)
            if (begins_with(r.varbinds[i].name, r.varbinds[i].name_length, kGraphicStatusColumn) &&
                g_display.process_graphic_table)
                g_display.process_graphic_table();
    }
    // Only a committed SET of the time-compatibility object switches the
    // tolerant mode on: a get or a walk that passes it must change nothing.
    if (op == MIB_SET && !refused && r.error_status == 0)
        for (int i = 0; i < count; ++i)
            if (is_name(r.varbinds[i], kTimeCompatibility))
                special_feature_bit5_set(1);
}
