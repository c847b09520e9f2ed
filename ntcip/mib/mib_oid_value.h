// OID-valued objects as the handlers answer them. The database keeps an
// OID as 4 bytes per sub-identifier, most significant first.
#pragma once

#include <cstdint>

#include "ntcip/mib/dms_common.h"

namespace dms_mib {

// Whether stored bytes form an OID a response can carry: whole
// sub-identifiers, at least two, first arcs that BER can join.
inline bool oid_bytes_encodable(const uint8_t* bytes, uint32_t length)
{
    if (!bytes || length < 8 || length % 4 != 0 || length / 4 > SNMP_MAX_OID_VALUE)
        return false;
    uint32_t first[2];
    bytes_to_oid(first, 2, bytes, 8);
    return first[0] <= 2 && (first[0] == 2 || first[1] < 40) && first[1] <= UINT32_MAX - 80;
}

// An OID object; 0.0 when the stored bytes are no OID a response can carry
// (an answer the encoder refuses would lose the whole response).
inline uintptr_t* answer_oid(const db_object& o, bool nv, uint32_t* value_length, snmp_request* record, int index)
{
    static const uint8_t kNullOid[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    uint32_t length = 0;
    const uint8_t* bytes = g_pDataBase ? g_pDataBase->GetString(o.offset, 4, area(nv), &length) : nullptr;
    if (!oid_bytes_encodable(bytes, length))
        return answer_bytes(kNullOid, sizeof kNullOid, value_length, record, index);
    return answer_bytes(bytes, length, value_length, record, index);
}

// Whether the varbind being set carries the row's own syntax. The registry
// checks it, except for rows written under the SNMP write override; internal
// sets by OID carry no varbind and pass.
inline bool value_matches_row(const snmp_request* record, int index, const mib_variable* row)
{
    const snmp_varbind* v = varbind_of(record, index);
    return !v || snmp_check_syntax(v->syntax, row->syntax);
}

// An IpAddress value must hold its four bytes: a shorter one reaches the
// handlers as 0.0.0.0.
inline bool address_is_whole(const snmp_request* record, int index)
{
    const snmp_varbind* v = varbind_of(record, index);
    return !v || v->syntax != SNMP_IPADDRESS || v->value_length == 4;
}

}  // namespace dms_mib
