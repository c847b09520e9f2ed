#include "ntcip/snmp/snmp_codec.h"

#include <cstring>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"
#include "tx_api.h"

namespace {

struct tag_row {
    uint16_t syntax;
    uint32_t cls;
    uint32_t tag;
};

// Searched in order, first match wins.
const tag_row g_tag_table[] = {
    {SNMP_NULL, ASN1_UNI, ASN1_NUL},
    {SNMP_INTEGER, ASN1_UNI, ASN1_INT},
    {SNMP_OCTET_STRING, ASN1_UNI, ASN1_OTS},
    {SNMP_OCTET_STRING, ASN1_UNI, ASN1_OTS},
    {SNMP_OBJECT_ID, ASN1_UNI, ASN1_OJI},
    {SNMP_IPADDRESS, ASN1_APL, 0},
    {SNMP_COUNTER, ASN1_APL, 1},
    {SNMP_GAUGE, ASN1_APL, 2},
    {SNMP_TIMETICKS, ASN1_APL, 3},
    {SNMP_OPAQUE, ASN1_APL, 4},
    {SNMP_BIT_STRING, ASN1_UNI, ASN1_BTS},
    {SNMP_COUNTER64, ASN1_APL, 6},
    {SNMP_NO_SUCH_OBJECT, ASN1_CTX, 0},
    {SNMP_NO_SUCH_INSTANCE, ASN1_CTX, 1},
    {SNMP_END_OF_MIB_VIEW, ASN1_CTX, 2},
    {0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
};


int uint_field_encode(asn1_stream* s, uint32_t cls, uint32_t tag, uint32_t value)
{
    uint8_t* end = nullptr;
    return g_asn1_uint_encode(s, &end, value) && g_asn1_header_encode(s, end, cls, ASN1_PRI, tag);
}

// 32-bit trace values of pointers (the traces print them as words).
uint32_t trace_word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// The request-id keeps the octets it came in: 1 to 4 signed, or 5 with a 0x00
// lead for managers that count request-ids as unsigned.
int request_id_decode(asn1_stream* s, uint32_t* value, uint8_t* octets)
{
    uint8_t* end = nullptr;
    if (!g_asn1_expect_header(s, &end, ASN1_UNI, ASN1_PRI, ASN1_INT))
        return 0;
    uint32_t n = static_cast<uint32_t>(end - s->cursor);
    if (n == 5 && s->cursor[0] != 0x00) {
        if (s->error == ASN1_ERR_NONE)
            s->error = ASN1_ERR_OVERFLOW;
        return 0;
    }
    int32_t v = 0;
    if (!g_asn1_int_decode(s, end, &v))
        return 0;
    *value = static_cast<uint32_t>(v);
    *octets = static_cast<uint8_t>(n);
    return 1;
}

bool request_id_fits(uint32_t value, uint32_t octets)
{
    if (octets == 5)
        return true;
    if (octets == 0 || octets > 5)
        return false;
    if (octets == 4)
        return true;
    uint32_t shift = 32 - 8 * octets;
    int32_t extended = static_cast<int32_t>(value << shift) >> shift;
    return static_cast<uint32_t>(extended) == value;
}

int request_id_encode(asn1_stream* s, uint32_t value, uint8_t octets)
{
    uint8_t* end = nullptr;
    if (!request_id_fits(value, octets)) {
        if (!g_asn1_int_encode(s, &end, static_cast<int32_t>(value)))
            return 0;
    } else {
        end = s->cursor;
        uint32_t bits = value;
        for (uint32_t i = 0; i < octets && i < 4; ++i, bits >>= 8)
            if (!g_asn1_octet_encode(s, static_cast<uint8_t>(bits & 0xFF)))
                return 0;
        if (octets == 5 && !g_asn1_octet_encode(s, 0x00))
            return 0;
    }
    return g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_INT);
}

bool request_type_v1(uint32_t type) { return type <= SNMP_PDU_SET; }

bool request_type_v2(uint32_t type) { return type <= SNMP_PDU_SET || (type >= SNMP_PDU_GETBULK && type <= SNMP_PDU_TRAP2); }

int16_t kept_count(int total)
{
    if (total > static_cast<int>(SNMP_MAX_VARBINDS)) {
        monitor_printf("**** MAX OBJECTS EXCEEDED!");
        return SNMP_MAX_VARBINDS;
    }
    return static_cast<int16_t>(total);
}

}  // namespace

int g_snmp_syntax2tag_cls(uint16_t syntax, uint32_t* tag, uint32_t* cls)
{
    for (const tag_row* row = g_tag_table; row->syntax != 0xFFFF; ++row) {
        if (row->syntax == syntax) {
            *tag = row->tag;
            *cls = row->cls;
            return 1;
        }
    }
    return 0;
}

int g_snmp_tag_cls2syntax(uint32_t tag, uint32_t cls, uint16_t* syntax)
{
    for (const tag_row* row = g_tag_table; row->syntax != 0xFFFF; ++row) {
        if (row->tag == tag && row->cls == cls) {
            *syntax = row->syntax;
            return 1;
        }
    }
    return 0;
}

namespace {

// The contents of a value the agent cannot take, kept with its class and tag.
int unusable_value_decode(asn1_stream* s, uint8_t* end, snmp_varbind* entry, uint32_t cls, uint32_t tag,
                          uint32_t* length)
{
    if (!g_asn1_octets_decode(s, end, entry ? entry->value : nullptr, SNMP_MAX_STRING, length))
        return 0;
    if (entry) {
        entry->value[*length] = 0;
        entry->raw_class = static_cast<uint8_t>(cls);
        entry->raw_tag = tag;
    }
    return 1;
}

uint32_t contents_length(const asn1_stream* s, const uint8_t* end)
{
    return end && end >= s->cursor ? static_cast<uint32_t>(end - s->cursor) : 0;
}

// A number whose contents overflow 32 bits is a value of the wrong length;
// any other failure a broken message.
bool number_overflows(const asn1_stream* s, uint8_t* end, bool is_signed)
{
    asn1_stream trial = *s;
    int32_t i = 0;
    uint32_t u = 0;
    const int ok = is_signed ? g_asn1_int_decode(&trial, end, &i) : g_asn1_uint_decode(&trial, end, &u);
    return !ok && trial.error == ASN1_ERR_OVERFLOW;
}

}  // namespace

int g_snmp_object_decode(asn1_stream* s, snmp_varbind* entry)
{
    uint8_t* vb_end = nullptr;
    uint8_t* end = nullptr;
    if (!g_asn1_expect_header(s, &vb_end, ASN1_UNI, ASN1_CON, ASN1_SEQ))
        return 0;
    if (!g_asn1_expect_header(s, &end, ASN1_UNI, ASN1_PRI, ASN1_OJI))
        return 0;
    uint32_t n = 0;
    if (!g_asn1_oid_decode(s, end, entry ? entry->name : nullptr, SNMP_MAX_OID, &n)) {
        monitor_printf("g_snmp_object_decode failed at g_asn1_oid_decode\n");
        return 0;
    }
    if (entry)
        entry->name_length = n;

    uint16_t syntax = SNMP_NULL;
    uint32_t length = 0;
    if (s->cursor == vb_end && g_asn1_tolerant()) {
        // A varbind without a value: NULL, and its end moved back so that the
        // tolerant end test takes it.
        vb_end -= 2;
    } else {
        uint32_t cls = 0, form = 0, tag = 0;
        if (!g_asn1_header_decode(s, &end, &cls, &form, &tag))
            return 0;
        if (form != ASN1_PRI || !g_snmp_tag_cls2syntax(tag, cls, &syntax))
            return 0;
        if ((syntax == SNMP_INTEGER && number_overflows(s, end, true)) ||
            ((syntax == SNMP_COUNTER || syntax == SNMP_GAUGE || syntax == SNMP_TIMETICKS) &&
             number_overflows(s, end, false)) ||
            (syntax == SNMP_IPADDRESS && contents_length(s, end) != 4 && contents_length(s, end) != 16))
            syntax = SNMP_WRONG_LENGTH;
        else if (syntax == SNMP_BIT_STRING || syntax == SNMP_COUNTER64)
            syntax = SNMP_WRONG_TYPE;
        switch (syntax) {
        case SNMP_NULL:
        case SNMP_NO_SUCH_OBJECT:
        case SNMP_NO_SUCH_INSTANCE:
        case SNMP_END_OF_MIB_VIEW:
            if (!g_asn1_set_cursor(s, end))
                return 0;
            break;
        case SNMP_INTEGER: {
            int32_t v = 0;
            if (!g_asn1_int_decode(s, end, &v))
                return 0;
            if (entry)
                entry->value_words[0] = static_cast<uint32_t>(v);
            length = 4;
            break;
        }
        case SNMP_OCTET_STRING:
        case SNMP_OPAQUE:
        case SNMP_IPADDRESS: {
            uint32_t capacity = syntax == SNMP_IPADDRESS ? 16 : SNMP_MAX_STRING;
            if (!g_asn1_octets_decode(s, end, entry ? entry->value : nullptr, capacity, &length))
                return 0;
            if (entry)
                entry->value[length] = 0;
            break;
        }
        case SNMP_OBJECT_ID: {
            uint32_t count = 0;
            if (!g_asn1_oid_decode(s, end, entry ? entry->value_words : nullptr, SNMP_MAX_OID_VALUE, &count))
                return 0;
            length = 4 * count;
            break;
        }
        case SNMP_COUNTER:
        case SNMP_GAUGE:
        case SNMP_TIMETICKS: {
            uint32_t v = 0;
            if (!g_asn1_uint_decode(s, end, &v))
                return 0;
            if (entry)
                entry->value_words[0] = v;
            length = 4;
            break;
        }
        case SNMP_WRONG_TYPE:
        case SNMP_WRONG_LENGTH:
            if (!unusable_value_decode(s, end, entry, cls, tag, &length))
                return 0;
            break;
        default:
            return 0;
        }
    }
    if (entry) {
        entry->syntax = syntax;
        entry->value_length = length;
    }
    return g_asn1_eoc_decode(s, vb_end);
}

int g_snmp_object_encode(asn1_stream* s, const snmp_varbind* entry)
{
    uint8_t* vb_end = nullptr;
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &vb_end);
    switch (entry->syntax) {
    case SNMP_NULL:
    case SNMP_NO_SUCH_OBJECT:
    case SNMP_NO_SUCH_INSTANCE:
    case SNMP_END_OF_MIB_VIEW:
        g_asn1_eoc_encode(s, &end);
        break;
    case SNMP_INTEGER:
        if (!g_asn1_int_encode(s, &end, static_cast<int32_t>(entry->value_words[0])))
            return 0;
        break;
    case SNMP_OCTET_STRING:
    case SNMP_OPAQUE:
    case SNMP_IPADDRESS:
        if (entry->value_length > SNMP_MAX_VALUE)
            return 0;
        if (!g_asn1_octets_encode(s, &end, entry->value, entry->value_length))
            return 0;
        break;
    case SNMP_OBJECT_ID:
        monitor_printf_debug("asn1:0x%08X,end:0x%08X,ul:0x%08X,len:0x%08X\n", trace_word(s), trace_word(s->cursor),
                             trace_word(entry->value_words), entry->value_length);
        if (entry->value_length > SNMP_MAX_OID_VALUE)
            return 0;
        if (!g_asn1_oid_encode(s, &end, entry->value_words, entry->value_length))
            return 0;
        break;
    case SNMP_COUNTER:
    case SNMP_GAUGE:
    case SNMP_TIMETICKS:
        if (!g_asn1_uint_encode(s, &end, entry->value_words[0]))
            return 0;
        break;
    case SNMP_WRONG_TYPE:
    case SNMP_WRONG_LENGTH:
        if (entry->value_length > SNMP_MAX_VALUE || !g_asn1_octets_encode(s, &end, entry->value, entry->value_length))
            return 0;
        break;
    default:
        snmp_counter_add(snmp_counter::snmpOutBadValues);
        return 0;
    }
    uint32_t tag = 0, cls = 0;
    if (entry->syntax == SNMP_WRONG_TYPE || entry->syntax == SNMP_WRONG_LENGTH) {
        cls = entry->raw_class;
        tag = entry->raw_tag;
    } else if (!g_snmp_syntax2tag_cls(entry->syntax, &tag, &cls)) {
        return 0;
    }
    if (!g_asn1_header_encode(s, end, cls, ASN1_PRI, tag))
        return 0;
    if (entry->name_length > SNMP_MAX_OID)
        return 0;
    if (!g_asn1_oid_encode(s, &end, entry->name, entry->name_length) ||
        !g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OJI))
        return 0;
    return g_asn1_header_encode(s, vb_end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

int g_snmp_list_decode(asn1_stream* s, snmp_varbind* entries, int* count)
{
    *count = 0;
    uint8_t* end = nullptr;
    if (!g_asn1_expect_header(s, &end, ASN1_UNI, ASN1_CON, ASN1_SEQ))
        return 0;
    int n = 0;
    while (s->cursor < end) {
        // Varbinds past the record's room are checked and dropped.
        snmp_varbind* entry = n < static_cast<int>(SNMP_MAX_VARBINDS) ? &entries[n] : nullptr;
        if (!g_snmp_object_decode(s, entry)) {
            monitor_printf("g_snmp_list_decode: failed at g_snmp_object_decode idx %d\n", n);
            return 0;
        }
        ++n;
    }
    if (!g_asn1_eoc_decode(s, end))
        return 0;
    *count = n;
    return 1;
}

int g_snmp_list_encode(asn1_stream* s, const snmp_varbind* entries, int count)
{
    if (count < 0 || count > static_cast<int>(SNMP_MAX_VARBINDS))
        return 0;
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &end);
    for (int i = count - 1; i >= 0; --i) {
        if (!g_snmp_object_encode(s, &entries[i])) {
            monitor_printf_debug("g_snmp_list_encode: object encode failed,asn1:0x%08X,obj:0x%08X\n", trace_word(s),
                                 trace_word(&entries[i]));
            return 0;
        }
    }
    return g_asn1_header_encode(s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

int g_snmp_request_decode(asn1_stream* s, snmp_request* request)
{
    return request_id_decode(s, &request->request_id, &request->request_id_octets) &&
           g_asn1_uint_field_decode(s, &request->error_status) && g_asn1_uint_field_decode(s, &request->error_index);
}

int g_snmp_request_encode(asn1_stream* s, const snmp_request* request)
{
    return uint_field_encode(s, ASN1_UNI, ASN1_INT, request->error_index) &&
           uint_field_encode(s, ASN1_UNI, ASN1_INT, request->error_status) &&
           request_id_encode(s, request->request_id, request->request_id_octets);
}

int g_snmp_trap_decode(asn1_stream* s, snmp_trap_request* trap)
{
    uint8_t* end = nullptr;
    uint32_t cls = 0, form = 0, tag = 0, n = 0;
    if (!g_asn1_expect_header(s, &end, ASN1_UNI, ASN1_PRI, ASN1_OJI) ||
        !g_asn1_oid_decode(s, end, trap->enterprise, SNMP_MAX_OID, &trap->enterprise_length))
        return 0;
    if (!g_asn1_header_decode(s, &end, &cls, &form, &tag) || form != ASN1_PRI)
        return 0;
    if (!((cls == ASN1_APL && tag == 0) || (cls == ASN1_UNI && tag == ASN1_OTS)))
        return 0;
    std::memset(trap->agent_address, 0, sizeof trap->agent_address);
    if (!g_asn1_octets_decode(s, end, trap->agent_address, sizeof trap->agent_address, &n))
        return 0;
    if (!g_asn1_uint_field_decode(s, &trap->generic_trap) || !g_asn1_uint_field_decode(s, &trap->specific_trap))
        return 0;
    if (!g_asn1_header_decode(s, &end, &cls, &form, &tag) || form != ASN1_PRI)
        return 0;
    if (!((cls == ASN1_APL && tag == 3) || (cls == ASN1_UNI && tag == ASN1_INT)))
        return 0;
    return g_asn1_uint_decode(s, end, &trap->time_stamp);
}

int g_snmp_trap_encode(asn1_stream* s, const snmp_trap_request* trap)
{
    uint8_t* end = nullptr;
    if (!uint_field_encode(s, ASN1_APL, 3, trap->time_stamp) ||
        !uint_field_encode(s, ASN1_UNI, ASN1_INT, trap->specific_trap) ||
        !uint_field_encode(s, ASN1_UNI, ASN1_INT, trap->generic_trap))
        return 0;
    if (!g_asn1_octets_encode(s, &end, trap->agent_address, sizeof trap->agent_address) ||
        !g_asn1_header_encode(s, end, ASN1_APL, ASN1_PRI, 0))
        return 0;
    if (trap->enterprise_length > SNMP_MAX_OID)
        return 0;
    return g_asn1_oid_encode(s, &end, trap->enterprise, trap->enterprise_length) &&
           g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OJI);
}

int g_snmp_pdu_v1_decode(asn1_stream* s, snmp_record* record)
{
    uint8_t* end = nullptr;
    uint32_t cls = 0, form = 0, tag = 0;
    if (!g_asn1_header_decode(s, &end, &cls, &form, &tag) || cls != ASN1_CTX || form != ASN1_CON)
        return 0;
    int total = 0;
    if (request_type_v1(tag)) {
        snmp_request* request = &record->request;
        request->pdu_type = tag;
        if (!g_snmp_request_decode(s, request)) {
            monitor_printf("g_snmp_pdu_v1_decode: g_snmp_request_decode failed\n");
            return 0;
        }
        if (!g_snmp_list_decode(s, request->varbinds, &total)) {
            monitor_printf("g_snmp_pdu_v1_decode: g_snmp_list_decode failed\n");
            return 0;
        }
        request->count = kept_count(total);
        request->overflow = total > request->count;
    } else if (tag == SNMP_PDU_TRAP) {
        snmp_trap_request* trap = &record->trap;
        trap->pdu_type = tag;
        if (!g_snmp_trap_decode(s, trap) || !g_snmp_list_decode(s, trap->varbinds, &total))
            return 0;
        trap->count = kept_count(total);
    } else {
        return 0;
    }
    return g_asn1_eoc_decode(s, end);
}

int g_snmp_pdu_v2_decode(asn1_stream* s, snmp_request* request)
{
    uint8_t* end = nullptr;
    uint32_t cls = 0, form = 0, tag = 0;
    if (!g_asn1_header_decode(s, &end, &cls, &form, &tag) || cls != ASN1_CTX || form != ASN1_CON)
        return 0;
    if (!request_type_v2(tag))
        return 0;
    request->pdu_type = tag;
    int total = 0;
    if (!g_snmp_request_decode(s, request) || !g_snmp_list_decode(s, request->varbinds, &total))
        return 0;
    request->count = kept_count(total);
    request->overflow = total > request->count;
    return g_asn1_eoc_decode(s, end);
}

int g_snmp_pdu_v1_encode(asn1_stream* s, const snmp_record* record)
{
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &end);
    uint32_t type = record->pdu_type;
    if (request_type_v1(type)) {
        const snmp_request* request = &record->request;
        if (!g_snmp_list_encode(s, request->varbinds, request->count)) {
            monitor_printf_debug("g_snmp_pdu_v1_encode: g_snmp_list_encode failed\n");
            return 0;
        }
        if (!g_snmp_request_encode(s, request)) {
            monitor_printf_debug("g_snmp_pdu_v1_encode: g_snmp_request_encode failed\n");
            return 0;
        }
    } else if (type == SNMP_PDU_TRAP) {
        if (!g_snmp_list_encode(s, record->trap.varbinds, record->trap.count) || !g_snmp_trap_encode(s, &record->trap))
            return 0;
    } else {
        return 0;
    }
    if (!g_asn1_header_encode(s, end, ASN1_CTX, ASN1_CON, type)) {
        monitor_printf("g_snmp_pdu_v1_encode: g_snmp_header_encode failed\n");
        return 0;
    }
    return 1;
}

int g_snmp_pdu_v2_encode(asn1_stream* s, const snmp_request* request)
{
    if (!request_type_v2(request->pdu_type))
        return 0;
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &end);
    return g_snmp_list_encode(s, request->varbinds, request->count) && g_snmp_request_encode(s, request) &&
           g_asn1_header_encode(s, end, ASN1_CTX, ASN1_CON, request->pdu_type);
}

int g_snmp_pdu_v3_encode(asn1_stream* s, const snmp_request* request, const uint8_t* engine_id,
                         uint32_t engine_id_length, const uint8_t* context_name, uint32_t context_name_length)
{
    uint8_t* scoped_end = nullptr;
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &scoped_end);
    return g_snmp_pdu_v2_encode(s, request) &&
           g_asn1_octets_encode(s, &end, context_name, context_name_length) &&
           g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
           g_asn1_octets_encode(s, &end, engine_id, engine_id_length) &&
           g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
           g_asn1_header_encode(s, scoped_end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

// The kernel tick is 10 ms: one tick is one hundredth of a second.
uint32_t snmp_time_ticks() { return static_cast<uint32_t>(tx_time_get()); }
