#include "ntcip/snmp/snmp_message.h"

#include <cstring>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_counters.h"

namespace {


int uint_field_encode(asn1_stream* s, uint32_t value)
{
    uint8_t* end = nullptr;
    return g_asn1_uint_encode(s, &end, value) && g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_INT);
}

// An OCTET STRING into a NUL-terminated buffer of size bytes; a longer
// string refuses the message rather than being cut.
int string_field_decode(asn1_stream* s, char* buffer, uint32_t size, uint32_t* length)
{
    uint8_t* end = nullptr;
    *length = 0;
    buffer[0] = 0;
    if (!g_asn1_expect_header(s, &end, ASN1_UNI, ASN1_PRI, ASN1_OTS))
        return 0;
    if (!g_asn1_octets_decode(s, end, reinterpret_cast<uint8_t*>(buffer), size - 1, length))
        return 0;
    buffer[*length] = 0;
    return 1;
}

int string_field_encode(asn1_stream* s, const char* bytes, uint32_t length, uint32_t size)
{
    uint8_t* end = nullptr;
    if (length >= size)
        return 0;
    return g_asn1_octets_encode(s, &end, reinterpret_cast<const uint8_t*>(bytes), length) &&
           g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OTS);
}

// SEQUENCE { INTEGER version, OCTET STRING community, PDU } of SNMPv1 and SNMPv2c.
int community_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, bool v2)
{
    asn1_stream s;
    uint8_t* end = nullptr;
    g_asn1_open(&s, const_cast<uint8_t*>(data), length, ASN1_DECODE);
    if (!g_asn1_expect_header(&s, &end, ASN1_UNI, ASN1_CON, ASN1_SEQ) || !g_asn1_uint_field_decode(&s, &m->version))
        return 0;
    if (!string_field_decode(&s, m->community, SNMP_COMMUNITY_SIZE, &m->community_length))
        return 0;
    int ok = v2 ? g_snmp_pdu_v2_decode(&s, &m->record.request) : g_snmp_pdu_v1_decode(&s, &m->record);
    return ok && g_asn1_eoc_decode(&s, end);
}

// After a clean decode: a response takes no slot, anything else one slot.
int take_slot(snmp_message* m, snmp_request_slot* slots, uint32_t message_id)
{
    if (m->record.pdu_type == SNMP_PDU_RESPONSE) {
        m->message_id = 0xFFFFFFFF;
        return 1;
    }
    m->message_id = message_id;
    m->slot = snmp_request_slot_alloc(slots, message_id);
    return m->slot != SNMP_NO_SLOT;
}

void reset_wrapper(snmp_message* m, uint32_t version_tag, uint32_t wrapper_tag)
{
    m->version_tag = version_tag;
    m->flags = 0;
    m->wrapper_tag = wrapper_tag;
    m->community[0] = 0;
    m->community_length = 0;
    std::memset(m->context_engine_id, 0, sizeof m->context_engine_id);
    std::memset(m->context_name, 0, sizeof m->context_name);
    m->context_engine_id_length = 0;
    m->context_name_length = 0;
    m->message_id = 0;
    m->slot = SNMP_NO_SLOT;
}

int parse_error()
{
    snmp_counter_add(snmp_counter::snmpInASNParseErrs);
    return 0;
}

}  // namespace

int snmp_request_slot_alloc(snmp_request_slot* slots, uint32_t message_id)
{
    for (int i = 0; i < SNMP_REQUEST_SLOTS; ++i) {
        uint8_t expected = 0;
        if (__atomic_compare_exchange_n(&slots[i].in_use, &expected, 1, false, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED)) {
            slots[i].message_id = message_id;
            return i;
        }
    }
    return SNMP_NO_SLOT;
}

int snmp_request_slot_free(snmp_request_slot* slots, int index, uint32_t* message_id)
{
    if (index < 0 || index >= SNMP_REQUEST_SLOTS || !__atomic_load_n(&slots[index].in_use, __ATOMIC_ACQUIRE))
        return 0;
    *message_id = slots[index].message_id;
    __atomic_store_n(&slots[index].in_use, 0, __ATOMIC_RELEASE);
    return 1;
}

int snmp_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots)
{
    std::memset(m->context_engine_id, 0, sizeof m->context_engine_id);
    std::memset(m->context_name, 0, sizeof m->context_name);
    m->context_engine_id_length = 0;
    m->context_name_length = 0;
    m->slot = SNMP_NO_SLOT;
    snmp_counter_add(snmp_counter::snmpInPkts);
    if ((data == nullptr && length != 0) || length > SNMP_MAX_MESSAGE)
        return 0;

    asn1_stream s;
    uint8_t* end = nullptr;
    uint32_t version = 0;
    g_asn1_open(&s, const_cast<uint8_t*>(data), length, ASN1_DECODE);
    if (!g_asn1_expect_header(&s, &end, ASN1_UNI, ASN1_CON, ASN1_SEQ) || !g_asn1_uint_field_decode(&s, &version))
        return parse_error();
    m->version = version;
    switch (version) {
    case 0:
        return snmp_v1_message_decode(m, data, length, slots);
    case 1:
    case 2:
        return snmp_v2_message_decode(m, data, length, slots);
    case 3:
        return snmp_v3_message_decode(m, data, length, slots);
    default:
        // Only versions that no wrapper takes are bad ones.
        snmp_counter_add(snmp_counter::snmpInBadVersions);
        return 0;
    }
}

int snmp_v1_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots)
{
    reset_wrapper(m, 1, 0);
    if (!community_message_decode(m, data, length, false))
        return parse_error();
    if (m->record.pdu_type == SNMP_PDU_RESPONSE)
        snmp_counter_add(snmp_counter::snmpInGetResponses);
    return take_slot(m, slots, 0);
}

int snmp_v2_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots)
{
    reset_wrapper(m, 2, 2);
    if (!community_message_decode(m, data, length, true))
        return parse_error();
    return take_slot(m, slots, 0);
}

int snmp_v3_message_decode(snmp_message* m, const uint8_t* data, uint32_t length, snmp_request_slot* slots)
{
    reset_wrapper(m, 0, 0);
    m->version = 3;
    asn1_stream s;
    uint8_t* end = nullptr;
    uint8_t* global_end = nullptr;
    uint8_t* scoped_end = nullptr;
    uint8_t* flags_end = nullptr;
    uint32_t message_id = 0, unused = 0;
    g_asn1_open(&s, const_cast<uint8_t*>(data), length, ASN1_DECODE);
    bool ok = g_asn1_expect_header(&s, &end, ASN1_UNI, ASN1_CON, ASN1_SEQ) && g_asn1_uint_field_decode(&s, &m->wrapper_tag) &&
              g_asn1_expect_header(&s, &global_end, ASN1_UNI, ASN1_CON, ASN1_SEQ) && g_asn1_uint_field_decode(&s, &message_id) &&
              g_asn1_uint_field_decode(&s, &unused) &&  // msgMaxSize
              g_asn1_expect_header(&s, &flags_end, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
              g_asn1_octets_decode(&s, flags_end, nullptr, UINT32_MAX, &unused) &&  // msgFlags
              g_asn1_uint_field_decode(&s, &unused) &&                                    // msgSecurityModel
              g_asn1_eoc_decode(&s, global_end) &&
              string_field_decode(&s, m->community, SNMP_COMMUNITY_SIZE, &m->community_length) &&
              g_asn1_expect_header(&s, &scoped_end, ASN1_UNI, ASN1_CON, ASN1_SEQ) &&
              string_field_decode(&s, m->context_engine_id, SNMP_CONTEXT_SIZE, &m->context_engine_id_length) &&
              string_field_decode(&s, m->context_name, SNMP_CONTEXT_SIZE, &m->context_name_length) &&
              g_snmp_pdu_v2_decode(&s, &m->record.request) && g_asn1_eoc_decode(&s, scoped_end) &&
              g_asn1_eoc_decode(&s, end);
    if (!ok)
        return parse_error();
    return take_slot(m, slots, message_id);
}

int snmp_v1_response_encode(asn1_stream* s, const snmp_message* m)
{
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &end);
    bool ok = (m->version_tag == 0 || m->version_tag == 1) && m->flags == 0 && m->wrapper_tag == 0 &&
              g_snmp_pdu_v1_encode(s, &m->record) &&
              string_field_encode(s, m->community, m->community_length, SNMP_COMMUNITY_SIZE) &&
              uint_field_encode(s, 0) && g_asn1_header_encode(s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
    if (!ok)
        monitor_printf_debug("returnResponsePdu: failed when snmpv1_prepare response  msg\n");
    return ok;
}

int snmp_v2_response_encode(asn1_stream* s, const snmp_message* m)
{
    uint8_t* end = nullptr;
    g_asn1_eoc_encode(s, &end);
    return m->version == 1 && m->version_tag <= 2 && m->flags == 0 && m->wrapper_tag == 2 &&
           g_snmp_pdu_v2_encode(s, &m->record.request) &&
           string_field_encode(s, m->community, m->community_length, SNMP_COMMUNITY_SIZE) &&
           uint_field_encode(s, 1) && g_asn1_header_encode(s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

int snmp_v3_response_encode(asn1_stream* s, const snmp_message* m, uint32_t message_id)
{
    if (m->version_tag == 1 || m->version_tag == 2 || m->wrapper_tag != 2)
        return 0;
    if (m->context_engine_id_length >= SNMP_CONTEXT_SIZE || m->context_name_length >= SNMP_CONTEXT_SIZE)
        return 0;
    uint8_t* end = nullptr;
    uint8_t* global_end = nullptr;
    uint8_t* flags_end = nullptr;
    uint32_t security_model = m->version_tag == 0 ? 3 : m->version_tag;
    g_asn1_eoc_encode(s, &end);
    if (!g_snmp_pdu_v3_encode(s, &m->record.request, reinterpret_cast<const uint8_t*>(m->context_engine_id),
                              m->context_engine_id_length, reinterpret_cast<const uint8_t*>(m->context_name),
                              m->context_name_length))
        return 0;
    if (!string_field_encode(s, m->community, m->community_length, SNMP_COMMUNITY_SIZE))
        return 0;
    g_asn1_eoc_encode(s, &global_end);
    return uint_field_encode(s, security_model) && g_asn1_octets_encode(s, &flags_end, &m->flags, 1) &&
           g_asn1_header_encode(s, flags_end, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
           uint_field_encode(s, SNMP_V3_MAX_SIZE) && uint_field_encode(s, message_id) &&
           g_asn1_header_encode(s, global_end, ASN1_UNI, ASN1_CON, ASN1_SEQ) && uint_field_encode(s, 3) &&
           g_asn1_header_encode(s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
}

int snmp_response_message_encode(const snmp_message* m, uint32_t message_id, uint8_t* buffer, uint32_t size,
                                 uint8_t** start, uint32_t* length)
{
    asn1_stream s;
    g_asn1_open(&s, buffer, size < SNMP_MAX_MESSAGE ? size : SNMP_MAX_MESSAGE, ASN1_ENCODE);
    int ok = 0;
    switch (m->version) {
    case 0:
        ok = snmp_v1_response_encode(&s, m);
        break;
    case 1:
    case 2:
        ok = snmp_v2_response_encode(&s, m);
        break;
    case 3:
        ok = snmp_v3_response_encode(&s, m, message_id);
        break;
    default:
        break;
    }
    if (!ok)
        return 0;
    return g_asn1_close(&s, start, length);
}

int snmp_response_encode(snmp_request_slot* slots, const snmp_message* m, uint8_t* buffer, uint32_t size,
                         uint8_t** start, uint32_t* length)
{
    uint32_t message_id = 0;
    if (!snmp_request_slot_free(slots, m->slot, &message_id))
        return 0;
    return snmp_response_message_encode(m, message_id, buffer, size, start, length);
}
