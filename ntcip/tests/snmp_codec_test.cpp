#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_codec.h"
#include "ntcip/tests/snmp_test_util.h"

namespace {

const char* const kName = "06 08 2B 06 01 02 01 01 01 00";  // sysDescr.0
const uint32_t kNameIds[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};

class SnmpCodec : public snmp_test {
protected:
    void SetUp() override
    {
        snmp_test::SetUp();
        m_record = std::make_unique<snmp_record>();
        std::memset(m_record.get(), 0, sizeof *m_record);
        m_entry = std::make_unique<snmp_varbind>();
        std::memset(m_entry.get(), 0, sizeof *m_entry);
    }

    asn1_stream open(const std::string& text)
    {
        m_data = hex(text);
        asn1_stream s;
        g_asn1_open(&s, m_data.data(), static_cast<uint32_t>(m_data.size()), ASN1_DECODE);
        return s;
    }

    int decode_varbind(const std::string& text, snmp_varbind* entry)
    {
        asn1_stream s = open(text);
        return g_snmp_object_decode(&s, entry) && s.cursor == m_data.data() + m_data.size();
    }

    static void set_name(snmp_varbind* v)
    {
        std::memcpy(v->name, kNameIds, sizeof kNameIds);
        v->name_length = 9;
    }

    // A varbind of sysDescr.0 around the value TLV, with the SEQUENCE length worked out.
    static std::string varbind_hex(const std::string& value_tlv)
    {
        size_t length = hex(kName).size() + hex(value_tlv).size();
        return "30 " + to_hex(bytes{static_cast<uint8_t>(length)}) + " " + kName + " " + value_tlv;
    }

    std::unique_ptr<snmp_record> m_record;
    std::unique_ptr<snmp_varbind> m_entry;
    bytes m_data;
};

TEST_F(SnmpCodec, TagTableBothWays)
{
    struct {
        uint16_t syntax;
        uint32_t cls, tag;
    } rows[] = {
        {SNMP_NULL, ASN1_UNI, 5},       {SNMP_INTEGER, ASN1_UNI, 2},        {SNMP_OCTET_STRING, ASN1_UNI, 4},
        {SNMP_OBJECT_ID, ASN1_UNI, 6},  {SNMP_IPADDRESS, ASN1_APL, 0},      {SNMP_COUNTER, ASN1_APL, 1},
        {SNMP_GAUGE, ASN1_APL, 2},      {SNMP_TIMETICKS, ASN1_APL, 3},      {SNMP_OPAQUE, ASN1_APL, 4},
        {SNMP_BIT_STRING, ASN1_UNI, 3}, {SNMP_COUNTER64, ASN1_APL, 6},      {SNMP_NO_SUCH_OBJECT, ASN1_CTX, 0},
        {SNMP_NO_SUCH_INSTANCE, ASN1_CTX, 1}, {SNMP_END_OF_MIB_VIEW, ASN1_CTX, 2},
    };
    for (const auto& r : rows) {
        uint32_t cls = 9, tag = 9;
        uint16_t syntax = 99;
        ASSERT_TRUE(g_snmp_syntax2tag_cls(r.syntax, &tag, &cls)) << r.syntax;
        EXPECT_EQ(r.cls, cls);
        EXPECT_EQ(r.tag, tag);
        ASSERT_TRUE(g_snmp_tag_cls2syntax(r.tag, r.cls, &syntax));
        EXPECT_EQ(r.syntax, syntax);
    }
    uint32_t cls, tag;
    uint16_t syntax;
    EXPECT_FALSE(g_snmp_syntax2tag_cls(10, &tag, &cls));
    EXPECT_FALSE(g_snmp_tag_cls2syntax(7, ASN1_APL, &syntax));
}

TEST_F(SnmpCodec, EveryValueSyntaxEncodesAndDecodes)
{
    struct {
        const char* what;
        std::function<void(snmp_varbind*)> fill;
        const char* value_tlv;
    } cases[] = {
        {"null", [](snmp_varbind* v) { v->syntax = SNMP_NULL; }, "05 00"},
        {"integer 5", [](snmp_varbind* v) { v->syntax = SNMP_INTEGER; v->value_words[0] = 5; v->value_length = 4; },
         "02 01 05"},
        {"integer -1", [](snmp_varbind* v) { v->syntax = SNMP_INTEGER; v->value_words[0] = 0xFFFFFFFF; v->value_length = 4; },
         "02 04 FF FF FF FF"},
        {"string", [](snmp_varbind* v) { v->syntax = SNMP_OCTET_STRING; std::memcpy(v->value, "sign", 5); v->value_length = 4; },
         "04 04 73 69 67 6E"},
        {"empty string", [](snmp_varbind* v) { v->syntax = SNMP_OCTET_STRING; v->value_length = 0; }, "04 00"},
        {"oid", [](snmp_varbind* v) {
             const uint32_t ids[] = {1, 3, 6, 1, 4, 1, 1206, 0xFFFFFFFF};
             v->syntax = SNMP_OBJECT_ID;
             std::memcpy(v->value_words, ids, sizeof ids);
             v->value_length = 8;  // sub-identifiers when encoding
         },
         "06 0C 2B 06 01 04 01 89 36 8F FF FF FF 7F"},
        {"ip address", [](snmp_varbind* v) { v->syntax = SNMP_IPADDRESS; std::memcpy(v->value, "\x0A\x01\x02\x03", 4); v->value_length = 4; },
         "40 04 0A 01 02 03"},
        {"counter 200", [](snmp_varbind* v) { v->syntax = SNMP_COUNTER; v->value_words[0] = 200; v->value_length = 4; },
         "41 02 00 C8"},
        {"counter max", [](snmp_varbind* v) { v->syntax = SNMP_COUNTER; v->value_words[0] = 0xFFFFFFFF; v->value_length = 4; },
         "41 05 00 FF FF FF FF"},
        {"gauge max", [](snmp_varbind* v) { v->syntax = SNMP_GAUGE; v->value_words[0] = 0xFFFFFFFF; v->value_length = 4; },
         "42 05 00 FF FF FF FF"},
        {"timeticks 128", [](snmp_varbind* v) { v->syntax = SNMP_TIMETICKS; v->value_words[0] = 128; v->value_length = 4; },
         "43 02 00 80"},
        {"opaque", [](snmp_varbind* v) { v->syntax = SNMP_OPAQUE; std::memcpy(v->value, "\xAB\xCD", 2); v->value_length = 2; },
         "44 02 AB CD"},
        {"noSuchObject", [](snmp_varbind* v) { v->syntax = SNMP_NO_SUCH_OBJECT; }, "80 00"},
        {"noSuchInstance", [](snmp_varbind* v) { v->syntax = SNMP_NO_SUCH_INSTANCE; }, "81 00"},
        {"endOfMibView", [](snmp_varbind* v) { v->syntax = SNMP_END_OF_MIB_VIEW; }, "82 00"},
    };
    for (const auto& c : cases) {
        auto in = std::make_unique<snmp_varbind>();
        std::memset(in.get(), 0, sizeof *in);
        set_name(in.get());
        c.fill(in.get());
        std::string expected = varbind_hex(c.value_tlv);
        EXPECT_EQ(expected, encoded(512, [&](asn1_stream* s) { return g_snmp_object_encode(s, in.get()); })) << c.what;

        std::memset(m_entry.get(), 0xEE, sizeof *m_entry);
        ASSERT_TRUE(decode_varbind(expected, m_entry.get())) << c.what;
        EXPECT_EQ(9u, m_entry->name_length);
        EXPECT_EQ(0, std::memcmp(kNameIds, m_entry->name, sizeof kNameIds));
        EXPECT_EQ(in->syntax, m_entry->syntax) << c.what;
        // A decoded OID value counts 4 bytes per sub-identifier.
        uint32_t length = in->syntax == SNMP_OBJECT_ID ? 4 * in->value_length : in->value_length;
        EXPECT_EQ(length, m_entry->value_length) << c.what;
        EXPECT_EQ(0, std::memcmp(in->value, m_entry->value, length)) << c.what;
        if (in->syntax == SNMP_OCTET_STRING || in->syntax == SNMP_OPAQUE) {
            EXPECT_EQ(0, m_entry->value[length]) << "NUL after the string: " << c.what;
        }
    }
}

TEST_F(SnmpCodec, VarbindDecodeRefusals)
{
    struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"constructed value", varbind_hex("24 00")},
        {"unknown application tag", varbind_hex("47 00")},
        {"unknown context tag", varbind_hex("83 00")},
        {"empty INTEGER", varbind_hex("02 00")},
        {"empty Counter", varbind_hex("41 00")},
        {"name not an OID", "30 0C 04 08 2B 06 01 02 01 01 01 00 05 00"},
        {"not a SEQUENCE", "31 0C 06 08 2B 06 01 02 01 01 01 00 05 00"},
        {"value runs past the varbind", "30 0B 06 08 2B 06 01 02 01 01 01 00 05 00"},
        {"varbind runs past its value", "30 0D 06 08 2B 06 01 02 01 01 01 00 05 00 00"},
        {"value missing", "30 0A 06 08 2B 06 01 02 01 01 01 00"},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(decode_varbind(c.bytes, m_entry.get())) << c.what;

    EXPECT_TRUE(decode_varbind(varbind_hex("40 10 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"), m_entry.get()));
    EXPECT_EQ(16u, m_entry->value_length);
    // The shortest name there is.
    EXPECT_TRUE(decode_varbind("30 05 06 01 2B 05 00", m_entry.get()));
    EXPECT_EQ(2u, m_entry->name_length);
}

// Values of a type or size no object takes are kept as they came, so that a
// SET of them can be refused with an answer that repeats them.
TEST_F(SnmpCodec, UnusableValuesAreKeptAsTheyCame)
{
    struct {
        const char* what;
        const char* value_tlv;
        uint16_t syntax;
    } cases[] = {
        {"Counter64", "46 01 01", SNMP_WRONG_TYPE},
        {"BIT STRING", "03 02 00 FF", SNMP_WRONG_TYPE},
        {"IpAddress of 1 byte", "40 01 0A", SNMP_WRONG_LENGTH},
        {"IpAddress of 5 bytes", "40 05 0A 01 02 03 04", SNMP_WRONG_LENGTH},
        {"IpAddress of 17 bytes", "40 11 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10", SNMP_WRONG_LENGTH},
        {"INTEGER of 6 octets", "02 06 00 00 00 00 00 01", SNMP_WRONG_LENGTH},
        {"INTEGER of 5 octets, lead 0x01", "02 05 01 00 00 00 00", SNMP_WRONG_LENGTH},
        {"Counter of 5 octets without 0x00 lead", "41 05 01 00 00 00 00", SNMP_WRONG_LENGTH},
    };
    for (const auto& c : cases) {
        const std::string bytes = varbind_hex(c.value_tlv);
        std::memset(m_entry.get(), 0xEE, sizeof *m_entry);
        ASSERT_TRUE(decode_varbind(bytes, m_entry.get())) << c.what;
        EXPECT_EQ(c.syntax, m_entry->syntax) << c.what;
        EXPECT_EQ(bytes, encoded(512, [&](asn1_stream* s) { return g_snmp_object_encode(s, m_entry.get()); }))
            << c.what;
    }
}

TEST_F(SnmpCodec, NamesAndOidValuesAreBoundedByTheirDestination)
{
    auto oid_of = [](int subids) {
        std::string contents = "2B";
        for (int i = 2; i < subids; ++i)
            contents += " 01";
        return contents;
    };
    auto oid_tlv = [](const std::string& contents) {
        size_t n = hex(contents).size();
        std::string len = n < 128 ? to_hex(bytes{uint8_t(n)}) : "82 " + to_hex(bytes{uint8_t(n >> 8), uint8_t(n)});
        return "06 " + len + " " + contents;
    };
    auto sequence = [](const std::string& body) {
        size_t n = hex(body).size();
        std::string len = n < 128 ? to_hex(bytes{uint8_t(n)}) : "82 " + to_hex(bytes{uint8_t(n >> 8), uint8_t(n)});
        return "30 " + len + " " + body;
    };
    {
        trace_capture trace;
        EXPECT_TRUE(decode_varbind(sequence(oid_tlv(oid_of(40)) + " 05 00"), m_entry.get()));
        EXPECT_EQ(40u, m_entry->name_length);
        EXPECT_FALSE(decode_varbind(sequence(oid_tlv(oid_of(41)) + " 05 00"), m_entry.get()));
        EXPECT_TRUE(trace.contains("g_snmp_object_decode failed at g_asn1_oid_decode\n"));
    }
    EXPECT_TRUE(decode_varbind(sequence(std::string(kName) + " " + oid_tlv(oid_of(SNMP_MAX_OID_VALUE))), m_entry.get()));
    EXPECT_EQ(4 * SNMP_MAX_OID_VALUE, m_entry->value_length);
    EXPECT_FALSE(decode_varbind(sequence(std::string(kName) + " " + oid_tlv(oid_of(SNMP_MAX_OID_VALUE + 1))), m_entry.get()));

    // Encoding refuses names and values a record cannot have held.
    set_name(m_entry.get());
    m_entry->syntax = SNMP_NULL;
    m_entry->name_length = SNMP_MAX_OID + 1;
    EXPECT_EQ("FAIL 0", encoded(512, [&](asn1_stream* s) { return g_snmp_object_encode(s, m_entry.get()); }));
    m_entry->name_length = 1;
    EXPECT_EQ("FAIL 6", encoded(512, [&](asn1_stream* s) { return g_snmp_object_encode(s, m_entry.get()); }));
    set_name(m_entry.get());
    m_entry->syntax = SNMP_OCTET_STRING;
    m_entry->value_length = SNMP_MAX_VALUE + 1;
    EXPECT_EQ("FAIL 0", encoded(9000, [&](asn1_stream* s) { return g_snmp_object_encode(s, m_entry.get()); }));
}

TEST_F(SnmpCodec, LongStringValueIsRefusedNotCut)
{
    // 7999 bytes and the NUL fill the value; one more byte refuses the varbind.
    for (uint32_t n : {SNMP_MAX_STRING, SNMP_MAX_STRING + 1}) {
        std::vector<uint8_t> text(n, 'x');
        std::vector<uint8_t> buffer(n + 64);
        asn1_stream s;
        g_asn1_open(&s, buffer.data(), static_cast<uint32_t>(buffer.size()), ASN1_ENCODE);
        uint8_t *vb = nullptr, *end = nullptr;
        ASSERT_TRUE(g_asn1_eoc_encode(&s, &vb) && g_asn1_octets_encode(&s, &end, text.data(), n) &&
                    g_asn1_header_encode(&s, end, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
                    g_asn1_oid_encode(&s, &end, kNameIds, 9) &&
                    g_asn1_header_encode(&s, end, ASN1_UNI, ASN1_PRI, ASN1_OJI) &&
                    g_asn1_header_encode(&s, vb, ASN1_UNI, ASN1_CON, ASN1_SEQ));
        asn1_stream d;
        g_asn1_open(&d, s.cursor, static_cast<uint32_t>(s.end - s.cursor), ASN1_DECODE);
        EXPECT_EQ(n == SNMP_MAX_STRING, g_snmp_object_decode(&d, m_entry.get()) == 1) << n;
        if (n != SNMP_MAX_STRING) {
            EXPECT_EQ(ASN1_ERR_CAPACITY, d.error);
        }
    }
}

TEST_F(SnmpCodec, UnsupportedResponseSyntaxCountsOutBadValues)
{
    const uint16_t syntaxes[] = {SNMP_BIT_STRING, 10, SNMP_COUNTER64, 15};
    for (uint16_t syntax : syntaxes) {
        set_name(m_entry.get());
        m_entry->syntax = syntax;
        m_entry->value_length = 4;
        EXPECT_EQ("FAIL 0", encoded(512, [&](asn1_stream* s) { return g_snmp_object_encode(s, m_entry.get()); }));
    }
    EXPECT_EQ(4u, counter(snmp_counter::snmpOutBadValues));
}

TEST_F(SnmpCodec, VarbindWithoutValueIsNullOnlyInTolerantMode)
{
    const char* bare = "30 0A 06 08 2B 06 01 02 01 01 01 00";
    EXPECT_FALSE(decode_varbind(bare, m_entry.get()));
    tolerant_flag() = true;
    m_entry->syntax = 77;
    ASSERT_TRUE(decode_varbind(bare, m_entry.get()));
    EXPECT_EQ(SNMP_NULL, m_entry->syntax);
    EXPECT_EQ(0u, m_entry->value_length);
    // With the value present the mode changes nothing.
    ASSERT_TRUE(decode_varbind(varbind_hex("05 00"), m_entry.get()));
    EXPECT_EQ(SNMP_NULL, m_entry->syntax);
}

std::string null_varbinds(int n)
{
    std::string body;
    for (int i = 0; i < n; ++i) {
        // sysORID.<i+1>: 1.3.6.1.2.1.1.9.1.2.<i+1>
        body += " 30 0E 06 0A 2B 06 01 02 01 01 09 01 02 " + to_hex(bytes{uint8_t(i + 1)}) + " 05 00";
    }
    return body;
}

std::string with_length(const char* id, const std::string& body)
{
    size_t n = hex(body).size();
    std::string len = n < 128 ? to_hex(bytes{uint8_t(n)})
                    : n < 256 ? "81 " + to_hex(bytes{uint8_t(n)})
                              : "82 " + to_hex(bytes{uint8_t(n >> 8), uint8_t(n)});
    return std::string(id) + " " + len + " " + body;
}

TEST_F(SnmpCodec, FiftyVarbindsAreKeptAndTheRestDropped)
{
    for (int n : {50, 51, 60}) {
        trace_capture trace;
        std::string pdu = with_length("A0", "02 01 01 02 01 00 02 01 00 " + with_length("30", null_varbinds(n)));
        asn1_stream s = open(pdu);
        ASSERT_TRUE(g_snmp_pdu_v1_decode(&s, m_record.get())) << n;
        EXPECT_EQ(50, m_record->request.count);
        EXPECT_EQ(50u, m_record->request.varbinds[49].name[10]);
        EXPECT_EQ(n > 50, trace.contains("**** MAX OBJECTS EXCEEDED!")) << n;
    }
    // Fifty go out; a fifty-first cannot.
    m_record->request.pdu_type = SNMP_PDU_RESPONSE;
    EXPECT_NE("FAIL 0", encoded(3000, [&](asn1_stream* s) { return g_snmp_pdu_v1_encode(s, m_record.get()); }));
    m_record->request.count = 51;
    EXPECT_EQ("FAIL 0", encoded(3000, [&](asn1_stream* s) { return g_snmp_pdu_v1_encode(s, m_record.get()); }));
}

TEST_F(SnmpCodec, ABadVarbindFailsTheListWithItsPosition)
{
    trace_capture trace;
    std::string list = with_length("30", null_varbinds(2) + " " + varbind_hex("47 00"));
    asn1_stream s = open(list);
    int count = 0;
    EXPECT_FALSE(g_snmp_list_decode(&s, m_record->request.varbinds, &count));
    EXPECT_TRUE(trace.contains("g_snmp_list_decode: failed at g_snmp_object_decode idx 2\n")) << trace.text();
}

TEST_F(SnmpCodec, RequestIdIsEchoedByteForByte)
{
    struct {
        const char* tlv;
        uint32_t value;
    } cases[] = {
        {"02 01 FF", 0xFFFFFFFF},
        {"02 01 80", 0xFFFFFF80},
        {"02 04 FF FF FF FE", 0xFFFFFFFE},
        {"02 05 00 80 00 00 00", 0x80000000},
        {"02 05 00 FF FF FF FF", 0xFFFFFFFF},
        {"02 01 01", 1},
        {"02 02 00 80", 128},
        {"02 02 00 01", 1},  // non-minimal, still repeated as it came
        {"02 04 7F FF FF FF", 0x7FFFFFFF},
        {"02 03 5A E8 F6", 0x5AE8F6},
    };
    for (const auto& c : cases) {
        std::string tail = " 02 01 00 02 01 00 30 00";
        asn1_stream s = open(with_length("A0", std::string(c.tlv) + tail));
        ASSERT_TRUE(g_snmp_pdu_v1_decode(&s, m_record.get())) << c.tlv;
        EXPECT_EQ(c.value, m_record->request.request_id) << c.tlv;
        m_record->request.pdu_type = SNMP_PDU_RESPONSE;
        EXPECT_EQ(to_hex(hex(with_length("A2", std::string(c.tlv) + tail))),
                  encoded(64, [&](asn1_stream* s) { return g_snmp_pdu_v1_encode(s, m_record.get()); }));
    }
    for (const char* bad : {"02 05 FF 80 00 00 00", "02 05 01 00 00 00 00", "02 06 00 00 00 00 00 01", "02 00"}) {
        asn1_stream s = open(with_length("A0", std::string(bad) + " 02 01 00 02 01 00 30 00"));
        EXPECT_FALSE(g_snmp_pdu_v1_decode(&s, m_record.get())) << bad;
    }
    // A record built here takes the signed rule.
    std::memset(m_record.get(), 0, sizeof *m_record);
    m_record->request.pdu_type = SNMP_PDU_RESPONSE;
    m_record->request.request_id = 0xFFFFFFFF;
    m_record->request.error_status = 5;
    m_record->request.error_index = 200;
    EXPECT_EQ("A2 0F 02 04 FF FF FF FF 02 01 05 02 02 00 C8 30 00",
              encoded(64, [&](asn1_stream* s) { return g_snmp_pdu_v1_encode(s, m_record.get()); }));
}

TEST_F(SnmpCodec, PduTypesPerVersion)
{
    const std::string body = "02 01 07 02 01 01 02 01 0A 30 00";
    for (uint32_t type = 0; type <= 9; ++type) {
        std::string id = to_hex(bytes{uint8_t(0xA0 | type)});
        bool v2_ok = type != 4 && type <= 7;
        asn1_stream s = open(with_length(id.c_str(), body));
        EXPECT_EQ(v2_ok, g_snmp_pdu_v2_decode(&s, &m_record->request) == 1) << type;
        if (v2_ok) {
            EXPECT_EQ(type, m_record->request.pdu_type);
            // GetBulkRequest: non-repeaters and max-repetitions.
            EXPECT_EQ(1u, m_record->request.error_status);
            EXPECT_EQ(10u, m_record->request.error_index);
        }
        if (type != 4) {
            s = open(with_length(id.c_str(), body));
            EXPECT_EQ(type <= 3, g_snmp_pdu_v1_decode(&s, m_record.get()) == 1) << type;
        }
    }
    for (const char* bad : {"30 0B", "80 0B", "60 0B"}) {
        asn1_stream s = open(std::string(bad) + " " + body);
        EXPECT_FALSE(g_snmp_pdu_v2_decode(&s, &m_record->request)) << bad;
    }
    // The PDU's end is tested: a spare byte inside it fails.
    asn1_stream s = open(with_length("A0", body + " 00"));
    EXPECT_FALSE(g_snmp_pdu_v2_decode(&s, &m_record->request));
}

// snmptrap -v1 -c public <agent> 1.3.6.1.4.1.1206 10.1.2.3 6 17 1234 1.3.6.1.2.1.1.5.0 s sign
const char* const kTrapPdu =
    "A4 2D 06 07 2B 06 01 04 01 89 36 40 04 0A 01 02 03 02 01 06 02 01 11 43 02 04 D2"
    " 30 12 30 10 06 08 2B 06 01 02 01 01 05 00 04 04 73 69 67 6E";

TEST_F(SnmpCodec, TrapPduBothWays)
{
    std::string as_string = kTrapPdu;
    as_string.replace(as_string.find("40 04"), 5, "04 04");
    std::string integer_stamp = kTrapPdu;
    integer_stamp.replace(integer_stamp.find("43 02"), 5, "02 02");
    for (const std::string& pdu : {std::string(kTrapPdu), as_string, integer_stamp}) {
        asn1_stream s = open(pdu);
        std::memset(m_record.get(), 0, sizeof *m_record);
        ASSERT_TRUE(g_snmp_pdu_v1_decode(&s, m_record.get())) << pdu;
        const snmp_trap_request& t = m_record->trap;
        EXPECT_EQ(SNMP_PDU_TRAP, t.pdu_type);
        EXPECT_EQ(7u, t.enterprise_length);
        EXPECT_EQ(1206u, t.enterprise[6]);
        EXPECT_EQ(0, std::memcmp(t.agent_address, "\x0A\x01\x02\x03", 4));
        EXPECT_EQ(6u, t.generic_trap);
        EXPECT_EQ(17u, t.specific_trap);
        EXPECT_EQ(1234u, t.time_stamp);
        ASSERT_EQ(1, t.count);
        EXPECT_EQ(SNMP_OCTET_STRING, t.varbinds[0].syntax);
        EXPECT_EQ(0, std::memcmp(t.varbinds[0].value, "sign", 5));
        // Always written back with [APPLICATION 0] and [APPLICATION 3].
        EXPECT_EQ(to_hex(hex(kTrapPdu)), encoded(256, [&](asn1_stream* s) { return g_snmp_pdu_v1_encode(s, m_record.get()); }));
    }
    // An agent address longer than 4 bytes does not fit the record.
    std::string long_address = kTrapPdu;
    long_address.replace(long_address.find("40 04 0A 01 02 03"), 17, "40 05 0A 01 02 03 04");
    long_address.replace(0, 5, "A4 2E");
    asn1_stream s = open(long_address);
    EXPECT_FALSE(g_snmp_pdu_v1_decode(&s, m_record.get()));
    EXPECT_EQ(ASN1_ERR_CAPACITY, s.error);
}

TEST_F(SnmpCodec, ScopedPduForVersion3)
{
    // The scoped PDU of: snmpget -v3 -l noAuthNoPriv -E 0x80001F8804 -n ctx ... sysDescr.0
    const char* pdu = "A0 1C 02 04 70 C9 4F 45 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00";
    asn1_stream s = open(pdu);
    ASSERT_TRUE(g_snmp_pdu_v2_decode(&s, &m_record->request));
    const uint8_t engine[] = {0x80, 0x00, 0x1F, 0x88, 0x04};
    EXPECT_EQ(to_hex(hex(std::string("30 2A 04 05 80 00 1F 88 04 04 03 63 74 78 ") + pdu)),
              encoded(256, [&](asn1_stream* s) {
                  return g_snmp_pdu_v3_encode(s, &m_record->request, engine, 5, reinterpret_cast<const uint8_t*>("ctx"), 3);
              }));
}

}  // namespace
