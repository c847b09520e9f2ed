// The decode and re-encode check shared by the libFuzzer target and the unit
// tests: whatever the message decoder accepts must encode again, and the
// encoded message must decode to the same record.
#pragma once

#include <cstdint>
#include <cstring>

#include "ntcip/snmp/asn1.h"
#include "ntcip/snmp/snmp_codec.h"
#include "ntcip/snmp/snmp_message.h"

enum snmp_roundtrip_result {
    SNMP_RT_REFUSED = 0,   // the decoder refused the bytes
    SNMP_RT_OK = 1,        // accepted, re-encoded and decoded to the same record
    SNMP_RT_MISMATCH = -1, // a fault: re-encoding failed or changed the record
};

namespace snmp_rt {

inline bool same_varbinds(const snmp_varbind* a, const snmp_varbind* b, int count)
{
    for (int i = 0; i < count; ++i) {
        const snmp_varbind& x = a[i];
        const snmp_varbind& y = b[i];
        if (x.name_length != y.name_length || std::memcmp(x.name, y.name, 4 * x.name_length) != 0)
            return false;
        if (x.syntax != y.syntax)
            return false;
        // The first record had its OID value lengths turned into counts to encode.
        uint32_t xl = x.syntax == SNMP_OBJECT_ID ? 4 * x.value_length : x.value_length;
        if (xl != y.value_length || std::memcmp(x.value, y.value, xl) != 0)
            return false;
    }
    return true;
}

inline bool same_message(const snmp_message* a, const snmp_message* b)
{
    if (a->community_length != b->community_length ||
        std::memcmp(a->community, b->community, a->community_length + 1) != 0)
        return false;
    if (a->context_engine_id_length != b->context_engine_id_length ||
        std::memcmp(a->context_engine_id, b->context_engine_id, sizeof a->context_engine_id) != 0 ||
        a->context_name_length != b->context_name_length ||
        std::memcmp(a->context_name, b->context_name, sizeof a->context_name) != 0)
        return false;
    if (a->record.pdu_type != b->record.pdu_type)
        return false;
    if (a->record.pdu_type == SNMP_PDU_TRAP && a->version == 0) {
        const snmp_trap_request& x = a->record.trap;
        const snmp_trap_request& y = b->record.trap;
        return x.enterprise_length == y.enterprise_length &&
               std::memcmp(x.enterprise, y.enterprise, 4 * x.enterprise_length) == 0 &&
               std::memcmp(x.agent_address, y.agent_address, 4) == 0 && x.generic_trap == y.generic_trap &&
               x.specific_trap == y.specific_trap && x.time_stamp == y.time_stamp && x.count == y.count &&
               same_varbinds(x.varbinds, y.varbinds, x.count);
    }
    const snmp_request& x = a->record.request;
    const snmp_request& y = b->record.request;
    return x.request_id == y.request_id && x.error_status == y.error_status && x.error_index == y.error_index &&
           x.count == y.count && same_varbinds(x.varbinds, y.varbinds, x.count);
}

inline void oid_lengths_to_counts(snmp_varbind* v, int count)
{
    for (int i = 0; i < count; ++i)
        if (v[i].syntax == SNMP_OBJECT_ID)
            v[i].value_length /= 4;
}

}  // namespace snmp_rt

// a and b are two records' worth of scratch (about 400 KB each).
inline snmp_roundtrip_result snmp_roundtrip(const uint8_t* data, size_t size, snmp_message* a, snmp_message* b)
{
    snmp_request_slot slots[SNMP_REQUEST_SLOTS] = {};
    if (size > UINT32_MAX || !snmp_message_decode(a, data, static_cast<uint32_t>(size), slots))
        return SNMP_RT_REFUSED;

    // Every PDU the decoder keeps is one the encoders can write back.
    bool trap = a->version == 0 && a->record.pdu_type == SNMP_PDU_TRAP;
    if (trap)
        snmp_rt::oid_lengths_to_counts(a->record.trap.varbinds, a->record.trap.count);
    else
        snmp_rt::oid_lengths_to_counts(a->record.request.varbinds, a->record.request.count);

    // Re-encoding may grow the message (short integers come back as 4 octets),
    // so the buffer is larger than the agent's.
    static uint8_t out[4 * SNMP_MAX_MESSAGE];
    asn1_stream s;
    g_asn1_open(&s, out, sizeof out, ASN1_ENCODE);
    int ok = 0;
    switch (a->version) {
    case 0:
        ok = snmp_v1_response_encode(&s, a);
        break;
    case 1:
    case 2:
        a->version = 1;
        ok = snmp_v2_response_encode(&s, a);
        break;
    case 3:
        a->wrapper_tag = 2;
        ok = snmp_v3_response_encode(&s, a, a->message_id);
        break;
    }
    if (!ok)
        return SNMP_RT_MISMATCH;
    uint8_t* start = nullptr;
    uint32_t length = 0;
    g_asn1_close(&s, &start, &length);
    if (length > SNMP_MAX_MESSAGE)
        return SNMP_RT_OK;  // too long for the agent to take back in; the encoding itself succeeded

    snmp_request_slot slots2[SNMP_REQUEST_SLOTS] = {};
    if (!snmp_message_decode(b, start, length, slots2))
        return SNMP_RT_MISMATCH;
    if (b->version != a->version || !snmp_rt::same_message(a, b))
        return SNMP_RT_MISMATCH;
    if (a->version == 3 && a->record.pdu_type != SNMP_PDU_RESPONSE && b->message_id != a->message_id)
        return SNMP_RT_MISMATCH;
    return SNMP_RT_OK;
}
