// Helpers of the agent and registry tests: dotted OIDs, request messages
// built with the codec, responses read back without touching the counters,
// and a stub MIB laid over several subtrees.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ntcip/mib/mib_registry.h"
#include "ntcip/mib/mib_stub.h"
#include "ntcip/snmp/asn1.h"
#include "ntcip/snmp/snmp_codec.h"

using oid_t = std::vector<uint32_t>;

// "1.3.6.1.2.1.1.1.0"; "ENT" stands for 1.3.6.1.4.1.1206.
inline oid_t O(const std::string& dotted)
{
    std::string text = dotted;
    if (text.rfind("ENT", 0) == 0)
        text = "1.3.6.1.4.1.1206" + text.substr(3);
    oid_t out;
    uint64_t v = 0;
    bool any = false;
    for (char c : text + ".") {
        if (c == '.') {
            if (any)
                out.push_back(static_cast<uint32_t>(v));
            v = 0;
            any = false;
        } else {
            v = v * 10 + static_cast<uint32_t>(c - '0');
            any = true;
        }
    }
    return out;
}

inline std::string dotted(const uint32_t* s, uint32_t n)
{
    std::string out;
    for (uint32_t i = 0; i < n; ++i)
        out += (i ? "." : "") + std::to_string(s[i]);
    return out;
}
inline std::string dotted(const oid_t& o) { return dotted(o.data(), static_cast<uint32_t>(o.size())); }

// One varbind of a test message.
struct vb {
    oid_t name;
    uint16_t syntax = SNMP_NULL;
    uint32_t integer = 0;
    std::string text;
};

inline vb vb_null(const oid_t& o) { return {o, SNMP_NULL, 0, {}}; }
inline vb vb_int(const oid_t& o, uint32_t v) { return {o, SNMP_INTEGER, v, {}}; }
inline vb vb_str(const oid_t& o, const std::string& s) { return {o, SNMP_OCTET_STRING, 0, s}; }

inline void fill_varbind(snmp_varbind* e, const vb& v)
{
    std::memset(e, 0, sizeof *e);
    e->name_length = static_cast<uint32_t>(v.name.size());
    std::memcpy(e->name, v.name.data(), v.name.size() * sizeof(uint32_t));
    e->syntax = v.syntax;
    if (v.syntax == SNMP_OCTET_STRING || v.syntax == SNMP_OPAQUE) {
        e->value_length = static_cast<uint32_t>(v.text.size());
        std::memcpy(e->value, v.text.data(), v.text.size());
    } else if (v.syntax != SNMP_NULL) {
        e->value_words[0] = v.integer;
        e->value_length = 4;
    }
}

// SEQUENCE { INTEGER version, OCTET STRING community, PDU }.
inline std::vector<uint8_t> request_message(uint32_t version, const std::string& community, uint32_t pdu_type,
                                            const std::vector<vb>& vbs, uint32_t request_id = 7)
{
    auto record = std::make_unique<snmp_record>();
    snmp_request& r = record->request;
    r.pdu_type = pdu_type;
    r.request_id = request_id;
    r.error_status = 0;
    r.error_index = 0;
    r.request_id_octets = 0;
    r.count = static_cast<int16_t>(vbs.size());
    for (size_t i = 0; i < vbs.size(); ++i)
        fill_varbind(&r.varbinds[i], vbs[i]);
    std::vector<uint8_t> buffer(8192);
    asn1_stream s;
    g_asn1_open(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), ASN1_ENCODE);
    uint8_t* end = nullptr;
    uint8_t* field = nullptr;
    g_asn1_eoc_encode(&s, &end);
    bool ok = (version == 0 ? g_snmp_pdu_v1_encode(&s, record.get()) : g_snmp_pdu_v2_encode(&s, &r)) &&
              g_asn1_octets_encode(&s, &field, reinterpret_cast<const uint8_t*>(community.data()),
                                   static_cast<uint32_t>(community.size())) &&
              g_asn1_header_encode(&s, field, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
              g_asn1_uint_encode(&s, &field, version) && g_asn1_header_encode(&s, field, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
              g_asn1_header_encode(&s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
    EXPECT_TRUE(ok);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    g_asn1_close(&s, &start, &length);
    return std::vector<uint8_t>(start, start + length);
}

// A version-3 message (no security) around one PDU of the given msgID.
inline std::vector<uint8_t> v3_message(uint32_t msg_id, uint32_t pdu_type, const std::vector<vb>& vbs,
                                       const std::string& security = std::string("\x30\x00", 2))
{
    auto record = std::make_unique<snmp_record>();
    snmp_request& r = record->request;
    std::memset(&r, 0, sizeof r);
    r.pdu_type = pdu_type;
    r.request_id = 9;
    r.count = static_cast<int16_t>(vbs.size());
    for (size_t i = 0; i < vbs.size(); ++i)
        fill_varbind(&r.varbinds[i], vbs[i]);
    std::vector<uint8_t> buffer(8192);
    asn1_stream s;
    g_asn1_open(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), ASN1_ENCODE);
    uint8_t *end = nullptr, *global = nullptr, *f = nullptr;
    const uint8_t engine[] = {0x80, 0x00, 0x1F, 0x88, 0x04};
    const uint8_t flags = 4;
    g_asn1_eoc_encode(&s, &end);
    bool ok = g_snmp_pdu_v3_encode(&s, &r, engine, sizeof engine, reinterpret_cast<const uint8_t*>("ctx"), 3) &&
              g_asn1_octets_encode(&s, &f, reinterpret_cast<const uint8_t*>(security.data()),
                                   static_cast<uint32_t>(security.size())) &&
              g_asn1_header_encode(&s, f, ASN1_UNI, ASN1_PRI, ASN1_OTS);
    g_asn1_eoc_encode(&s, &global);
    ok = ok && g_asn1_uint_encode(&s, &f, 3) && g_asn1_header_encode(&s, f, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
         g_asn1_octets_encode(&s, &f, &flags, 1) && g_asn1_header_encode(&s, f, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
         g_asn1_uint_encode(&s, &f, 1500) && g_asn1_header_encode(&s, f, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
         g_asn1_uint_encode(&s, &f, msg_id) && g_asn1_header_encode(&s, f, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
         g_asn1_header_encode(&s, global, ASN1_UNI, ASN1_CON, ASN1_SEQ) && g_asn1_uint_encode(&s, &f, 3) &&
         g_asn1_header_encode(&s, f, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
         g_asn1_header_encode(&s, end, ASN1_UNI, ASN1_CON, ASN1_SEQ);
    EXPECT_TRUE(ok);
    uint8_t* start = nullptr;
    uint32_t length = 0;
    g_asn1_close(&s, &start, &length);
    return std::vector<uint8_t>(start, start + length);
}

struct response {
    bool ok = false;
    uint32_t version = 0;
    std::string community;
    uint32_t pdu_type = 0;
    uint32_t request_id = 0;
    uint32_t error_status = 0;
    uint32_t error_index = 0;
    std::vector<vb> varbinds;
};

// Reads a response of SNMPv1 or SNMPv2c with the codec's PDU decoders only,
// so that the agent's counters do not move.
inline response read_response(const std::vector<uint8_t>& bytes)
{
    response out;
    auto record = std::make_unique<snmp_record>();
    std::vector<uint8_t> copy = bytes;
    asn1_stream s;
    g_asn1_open(&s, copy.data(), static_cast<uint32_t>(copy.size()), ASN1_DECODE);
    uint8_t *end = nullptr, *f = nullptr;
    uint32_t cls = 0, form = 0, tag = 0;
    char community[64] = {};
    uint32_t n = 0;
    if (!g_asn1_header_decode(&s, &end, &cls, &form, &tag) || tag != ASN1_SEQ ||
        !g_asn1_header_decode(&s, &f, &cls, &form, &tag) || !g_asn1_uint_decode(&s, f, &out.version) ||
        !g_asn1_header_decode(&s, &f, &cls, &form, &tag) ||
        !g_asn1_octets_decode(&s, f, reinterpret_cast<uint8_t*>(community), sizeof community - 1, &n))
        return out;
    out.community.assign(community, n);
    if (!g_snmp_pdu_v2_decode(&s, &record->request) || !g_asn1_eoc_decode(&s, end))
        return out;
    const snmp_request& r = record->request;
    out.pdu_type = r.pdu_type;
    out.request_id = r.request_id;
    out.error_status = r.error_status;
    out.error_index = r.error_index;
    for (int i = 0; i < r.count; ++i) {
        const snmp_varbind& e = r.varbinds[i];
        vb v{oid_t(e.name, e.name + e.name_length), e.syntax, 0, {}};
        if (e.syntax == SNMP_OCTET_STRING || e.syntax == SNMP_OPAQUE || e.syntax == SNMP_IPADDRESS)
            v.text.assign(reinterpret_cast<const char*>(e.value), e.value_length);
        else if (e.syntax != SNMP_NULL)
            v.integer = e.value_words[0];
        out.varbinds.push_back(v);
    }
    out.ok = true;
    return out;
}

// The stub MIB of the tests, over five subtrees. Column selectors pick the
// stub objects (g_mib_stub[column]).
namespace stub {

// cls b
inline constexpr uint32_t kDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};         // 0 string, read-only
inline constexpr uint32_t kByte[] = {1, 3, 6, 1, 2, 1, 1, 2, 0};          // 1 0..255, mask 0x800000
inline constexpr uint32_t kChoice[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};        // 2 values 1, 3, 5
inline constexpr uint32_t kCode[] = {1, 3, 6, 1, 2, 1, 1, 4, 0};          // 3 string, length 12..12
inline constexpr uint32_t kIfIndex[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 255};  // 4 column, read-only
inline constexpr uint32_t kIfValue[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 255};  // 5 column, read-write
inline constexpr uint32_t kFlag[] = {1, 3, 6, 1, 2, 1, 4, 1, 0};          // 13 scalar before a column of its length
inline constexpr uint32_t kFlagColumn[] = {1, 3, 6, 1, 2, 1, 4, 2, 255};  // 14 column
inline constexpr uint32_t kLast[] = {1, 3, 6, 1, 2, 1, 11, 30, 0};        // 6 the last of "cls b"
// auxio
inline constexpr uint32_t kAuxFirst[] = {1, 3, 6, 1, 4, 1, 1206, 2, 1, 1, 1, 0};             // 7 access 3
inline constexpr uint32_t kPortValue[] = {1, 3, 6, 1, 4, 1, 1206, 2, 1, 1, 3, 1, 2, 255};    // 8 two indexes
inline constexpr uint32_t kPortState[] = {1, 3, 6, 1, 4, 1, 1206, 2, 1, 1, 3, 1, 3, 255};    // 9 two indexes
// dms
inline constexpr uint32_t kDmsFirst[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 1, 1, 0};  // 10
// global
inline constexpr uint32_t kGlobalFirst[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 1, 1, 0};              // 11
inline constexpr uint32_t kGlobalTable[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 7, 3, 1, 5, 255};       // 12 two indexes

inline const mib_variable kClsB[] = {
    // Out of order on purpose: the registry sorts each subtree.
    mib_row(kLast, MIB_INTEGER, 6, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kDescr, MIB_OCTET_STRING, 0, MIB_READ_ONLY, var_stub_scalar),
    mib_row(kByte, MIB_INTEGER, 1, MIB_READ_WRITE, var_stub_scalar, 0, 0x800000, mib_unsigned_range(0, 255)),
    mib_row(kChoice, MIB_INTEGER, 2, MIB_READ_WRITE, var_stub_scalar, 0, 0,
            mib_constraint{MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {1, 3, 5}}),
    mib_row(kCode, MIB_OCTET_STRING, 3, MIB_READ_WRITE, var_stub_scalar, 0, 0, mib_length_range(12, 12)),
    mib_row(kIfIndex, MIB_INTEGER, 4, MIB_READ_ONLY, var_stub_column, 1),
    mib_row(kIfValue, MIB_INTEGER, 5, MIB_READ_WRITE, var_stub_column, 1),
    mib_row(kFlag, MIB_INTEGER, 13, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kFlagColumn, MIB_INTEGER, 14, MIB_READ_ONLY, var_stub_column, 1),
};
inline const mib_variable kAuxio[] = {
    mib_row(kAuxFirst, MIB_INTEGER, 7, MIB_READ_ONLY_SNMP, var_stub_scalar),
    mib_row(kPortValue, MIB_INTEGER, 8, MIB_READ_WRITE, var_stub_table, 2),
    mib_row(kPortState, MIB_INTEGER, 9, MIB_READ_ONLY, var_stub_table, 2),
};
inline const mib_variable kDms[] = {
    mib_row(kDmsFirst, MIB_INTEGER, 10, MIB_READ_WRITE, var_stub_scalar),
};
inline const mib_variable kGlobal[] = {
    mib_row(kGlobalFirst, MIB_INTEGER, 11, MIB_READ_WRITE, var_stub_scalar),
    mib_row(kGlobalTable, MIB_INTEGER, 12, MIB_READ_WRITE, var_stub_table, 2),
};

inline const mib_group kGroups[] = {
    {"cls b", kClsB, sizeof kClsB / sizeof kClsB[0]},
    {"auxio", kAuxio, sizeof kAuxio / sizeof kAuxio[0]},
    {"dms", kDms, sizeof kDms / sizeof kDms[0]},
    {"global", kGlobal, sizeof kGlobal / sizeof kGlobal[0]},
};
inline const mib_group* const kGroupList[] = {&kGroups[0], &kGroups[1], &kGroups[2], &kGroups[3]};

// Builds the stub MIB and gives its objects their values.
inline void build()
{
    EXPECT_EQ(1, snmp_mib_build(kGroupList, 4));
    mib_stub_reset();
    std::memcpy(g_mib_stub[0].bytes, "sign", 4);
    g_mib_stub[0].length = 4;
    g_mib_stub[1].value = 17;
    g_mib_stub[2].value = 3;
    std::memcpy(g_mib_stub[3].bytes, "ABCDEFGHIJKL", 12);
    g_mib_stub[3].length = 12;
    g_mib_stub[4].value = 0;
    g_mib_stub[4].highest[0] = 3;
    g_mib_stub[5].value = 100;
    g_mib_stub[5].highest[0] = 3;
    g_mib_stub[6].value = 2;
    g_mib_stub[7].value = 70;
    g_mib_stub[8].value = 8000;
    g_mib_stub[8].highest[0] = 2;
    g_mib_stub[8].highest[1] = 3;
    g_mib_stub[9].value = 9000;
    g_mib_stub[9].highest[0] = 2;
    g_mib_stub[9].highest[1] = 3;
    g_mib_stub[10].value = 10;
    g_mib_stub[11].value = 11;
    g_mib_stub[12].value = 12000;
    g_mib_stub[12].highest[0] = 2;
    g_mib_stub[12].highest[1] = 2;
    g_mib_stub[13].value = 13;
    g_mib_stub[14].value = 1400;
    g_mib_stub[14].highest[0] = 2;
}

}  // namespace stub
