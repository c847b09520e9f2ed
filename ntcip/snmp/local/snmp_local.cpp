#include "ntcip/snmp/local/snmp_local.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "database/database.h"
#include "frame/trace/trace.h"
#include "frame/util/base64.h"
#include "frame/util/strings.h"
#include "ntcip/mib/mib_registry.h"
#include "ntcip/snmp/agent/request.h"
#include "tx_api.h"

namespace {

// A handler may itself read an object by OID (the private status object
// does), so each thread keeps a few records, one per nesting level. A record
// is about 400 KB: it lives on the heap, allocated once per thread and level.
constexpr uint32_t kMaxDepth = 4;
// Base64 text of an encoded set: far more than any object's value needs.
constexpr uint32_t kMaxText = 1u << 20;

thread_local std::vector<std::unique_ptr<snmp_request>> t_records;
thread_local uint32_t t_depth = 0;

// The record of the current nesting level for the life of one call.
class record_scope {
public:
    record_scope()
    {
        if (t_depth >= kMaxDepth) {
            monitor_printf("snmp_local: nested too deep\n");
            return;
        }
        if (t_records.size() <= t_depth)
            t_records.resize(t_depth + 1);
        if (!t_records[t_depth])
            t_records[t_depth].reset(new (std::nothrow) snmp_request);
        m_pRecord = t_records[t_depth].get();
        if (m_pRecord)
            ++t_depth;
    }
    ~record_scope()
    {
        if (m_pRecord)
            --t_depth;
    }
    record_scope(const record_scope&) = delete;
    record_scope& operator=(const record_scope&) = delete;
    snmp_request* get() const { return m_pRecord; }

private:
    snmp_request* m_pRecord = nullptr;
};

// One varbind, index 0: the name and the syntax of the call.
void prepare(snmp_request* r, uint32_t pdu, const uint32_t* name, uint32_t name_length, uint16_t syntax)
{
    r->pdu_type = pdu;
    r->request_id = 0;
    r->error_status = 0;
    r->error_index = 0;
    r->count = 1;
    r->request_id_octets = 0;
    r->overflow = 0;
    snmp_varbind& v = r->varbinds[0];
    std::memcpy(v.name, name, name_length * sizeof(uint32_t));
    v.name_length = name_length;
    v.syntax = syntax;
    v.value_length = 0;
    v.value_cell = 0;
}

bool is_bytes(uint8_t syntax)
{
    return syntax == MIB_OCTET_STRING || syntax == MIB_OPAQUE || syntax == MIB_OBJECT_ID;
}

// A get through the registry in the given syntax of the call.
int get(const uint32_t* name, uint32_t name_length, uint16_t syntax, snmp_local_value* out)
{
    record_scope scope;
    snmp_request* r = scope.get();
    if (!r || name_length == 0 || name_length > SNMP_LOCAL_MAX_SUBIDS)
        return 0;
    prepare(r, SNMP_PDU_GET, name, name_length, syntax);
    snmp_varbind& v = r->varbinds[0];
    uint16_t type = syntax;
    uint32_t length = name_length, value_length = 0, error = MIB_ERR_NO_OBJECT;
    uint8_t access = 0;
    uintptr_t* cell = getStatPtr(v.name, &length, &type, &value_length, &access, MIB_GET, r, 0, &error);
    if (!cell || error != MIB_ERR_NONE)
        return 0;
    out->syntax = static_cast<uint8_t>(type);
    out->cell = *cell;
    out->length = value_length;
    return 1;
}

int get_text(const char* oid, uint32_t oid_length, uint16_t syntax, snmp_local_value* out)
{
    uint32_t name[SNMP_LOCAL_MAX_SUBIDS];
    uint32_t length = 0;
    if (!snmp_local_parse_oid(oid, oid_length, name, &length))
        return 0;
    return get(name, length, syntax, out);
}

// What a set changes for its own duration: the database's notification and
// validation for this thread's writes (the writes of other threads go on as
// before), and the calling thread's set value and community mask, which are
// given back (an internal set may run inside an agent's request).
class set_scope {
public:
    explicit set_scope(uint8_t switches) : m_pDb(g_pDataBase)
    {
        m_uMask = g_snmp_community_mask;
        m_pSaved.reset(new (std::nothrow) mib_set_value(g_snmp_set_value));
        uint32_t quiet = 0;
        if (!(switches & SNMP_LOCAL_NOTIFY))
            quiet |= DB_QUIET_NOTIFY;
        if (!(switches & SNMP_LOCAL_VALIDATE))
            quiet |= DB_QUIET_HOOKS;
        if (m_pDb && quiet) {
            m_uQuiet = m_pDb->BeginQuiet(quiet);
            m_bQuiet = true;
        }
    }
    ~set_scope()
    {
        if (m_bQuiet)
            m_pDb->EndQuiet(m_uQuiet);
        if (m_pSaved)
            g_snmp_set_value = *m_pSaved;
        g_snmp_community_mask = m_uMask;
        g_snmp_commit_indicator = 1;
    }
    set_scope(const set_scope&) = delete;
    set_scope& operator=(const set_scope&) = delete;

private:
    CDataBase* m_pDb;
    bool m_bQuiet = false;
    uint32_t m_uQuiet = 0;
    uint32_t m_uMask = 0;
    std::unique_ptr<mib_set_value> m_pSaved;
};

// The two passes of a set with the set value already filled.
int run_set(const uint32_t* name, uint32_t name_length, uint16_t syntax)
{
    record_scope scope;
    snmp_request* r = scope.get();
    if (!r)
        return 0;
    uint32_t error = MIB_ERR_NO_OBJECT;
    for (uint8_t pass = 0; pass < 2; ++pass) {
        g_snmp_commit_indicator = pass;
        prepare(r, SNMP_PDU_SET, name, name_length, syntax);
        snmp_varbind& v = r->varbinds[0];
        // The varbind carries the value as a request from the network would,
        // for handlers that look at the other values of their request.
        if (syntax == SNMP_INTEGER) {
            v.value_words[0] = g_snmp_set_value.integer;
            v.value_length = 4;
        } else {
            std::memcpy(v.value, g_snmp_set_value.bytes, g_snmp_set_value.length);
            v.value[g_snmp_set_value.length] = 0;
            v.value_length = g_snmp_set_value.length;
        }
        uint16_t type = syntax;
        uint32_t length = name_length, value_length = 0;
        uint8_t access = 0;
        error = MIB_ERR_NO_OBJECT;
        getStatPtr(v.name, &length, &type, &value_length, &access, MIB_SET, r, 0, &error);
        // A handler's refusal (a database hook's code) fails the set too.
        if (error != MIB_ERR_NONE || r->error_status != 0)
            return 0;
    }
    return 1;
}

// A set under the agents' set lock (recursive within a thread; only kernel
// threads take it, start-up runs alone).
int set(const char* oid, uint32_t oid_length, uint16_t syntax, uint8_t switches, uint32_t mask,
        void (*fill)(const void*, uint32_t), const void* data, uint32_t count)
{
    uint32_t name[SNMP_LOCAL_MAX_SUBIDS];
    uint32_t length = 0;
    if (!snmp_local_parse_oid(oid, oid_length, name, &length))
        return 0;
    const bool locked = tx_thread_identify() != nullptr && snmp_set_lock();
    int ok = 0;
    {
        set_scope scope(switches);
        g_snmp_community_mask = mask;
        fill(data, count);
        ok = run_set(name, length, syntax);
    }
    if (locked)
        snmp_set_unlock();
    return ok;
}

void fill_integer(const void* data, uint32_t)
{
    g_snmp_set_value.integer = *static_cast<const uint32_t*>(data);
    g_snmp_set_value.length = 4;
}

void fill_bytes(const void* data, uint32_t count)
{
    if (count)
        std::memcpy(g_snmp_set_value.bytes, data, count);
    g_snmp_set_value.length = count;
}

}  // namespace

int snmp_local_parse_oid(const char* oid, uint32_t oid_length, uint32_t* name, uint32_t* name_length)
{
    uint32_t count = 0;
    if (!oid || !name || !name_length)
        return 0;
    if (parse_number_list(oid, oid_length, name, SNMP_LOCAL_MAX_SUBIDS, &count) != 0 || count == 0)
        return 0;
    *name_length = count;
    return 1;
}

int snmp_local_get_oid(const uint32_t* name, uint32_t name_length, snmp_local_value* out)
{
    if (!name || !out)
        return 0;
    return get(name, name_length, SNMP_NULL, out);
}

int snmp_local_get_int(const char* oid, uint32_t oid_length, uint32_t* value)
{
    snmp_local_value v{};
    if (!value || !get_text(oid, oid_length, SNMP_INTEGER, &v) || is_bytes(v.syntax))
        return 0;
    *value = static_cast<uint32_t>(v.cell);
    return 1;
}

int snmp_local_get_ip(const char* oid, uint32_t oid_length, uint32_t* value)
{
    snmp_local_value v{};
    if (!value || !get_text(oid, oid_length, SNMP_IPADDRESS, &v) || is_bytes(v.syntax))
        return 0;
    *value = static_cast<uint32_t>(v.cell);
    return 1;
}

int snmp_local_get_octets(const char* oid, uint32_t oid_length, uint8_t* buffer, uint32_t size, uint32_t* length)
{
    snmp_local_value v{};
    if (!buffer || !length || !get_text(oid, oid_length, SNMP_OCTET_STRING, &v) || !is_bytes(v.syntax))
        return 0;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(v.cell);
    uint32_t n = bytes ? (v.length < size ? v.length : size) : 0;
    if (n)
        std::memcpy(buffer, bytes, n);
    *length = n;
    return 1;
}

int snmp_local_get_octets_decoded(const char* oid, uint32_t oid_length, char* text, uint32_t size,
                                  uint32_t* text_length)
{
    if (!text || !text_length)
        return 0;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size ? size : 1]);
    if (!block)
        return 0;
    uint32_t count = 0;
    if (!snmp_local_get_octets(oid, oid_length, block.get(), size, &count))
        return 0;
    return base64_encode(block.get(), count, text, size, text_length) == 0 ? 1 : 0;
}

int snmp_local_set_int(const char* oid, uint32_t oid_length, uint32_t value, uint8_t switches, uint32_t mask)
{
    return set(oid, oid_length, SNMP_INTEGER, switches, mask, fill_integer, &value, 4);
}

int snmp_local_set_octets(const char* oid, uint32_t oid_length, const uint8_t* bytes, uint32_t count,
                          uint8_t switches, uint32_t mask)
{
    if ((!bytes && count) || count > SNMP_LOCAL_MAX_OCTETS)
        return 0;
    return set(oid, oid_length, SNMP_OCTET_STRING, switches, mask, fill_bytes, bytes, count);
}

int snmp_local_set_octets_encoded(const char* oid, uint32_t oid_length, const char* text, uint32_t text_length,
                                  uint8_t switches, uint32_t mask, snmp_local_transform transform)
{
    // An empty text names no value; a huge one no object's value either.
    if (!text || text_length == 0 || text_length > kMaxText)
        return 0;
    const uint32_t capacity = 2 * text_length;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[capacity]);
    if (!block)
        return 0;
    uint32_t count = 0;
    if (base64_decode(text, text_length, block.get(), capacity, &count) != 0)
        return 0;
    if (transform) {
        transform(oid, oid_length, block.get(), &count, capacity);
        if (count > capacity)
            return 0;
    }
    return snmp_local_set_octets(oid, oid_length, block.get(), count, switches, mask);
}
