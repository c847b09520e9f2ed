#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "frame/trace/trace.h"
#include "ntcip/snmp/asn1.h"
#include "ntcip/tests/snmp_test_util.h"

namespace {

class Asn1 : public snmp_test {
protected:
    // A decoding stream over a copy of the bytes.
    asn1_stream open(const std::string& text)
    {
        m_data = hex(text);
        asn1_stream s;
        g_asn1_open(&s, m_data.data(), static_cast<uint32_t>(m_data.size()), ASN1_DECODE);
        return s;
    }
    uint8_t* data_end() { return m_data.data() + m_data.size(); }

    bytes m_data;
};

// A whole primitive TLV: contents, then the header in front of them.
auto int_tlv(int32_t v)
{
    return [v](asn1_stream* s) {
        uint8_t* end = nullptr;
        return g_asn1_int_encode(s, &end, v) && g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_INT);
    };
}

auto uint_tlv(uint32_t v, uint32_t cls = ASN1_UNI, uint32_t tag = ASN1_INT)
{
    return [=](asn1_stream* s) {
        uint8_t* end = nullptr;
        return g_asn1_uint_encode(s, &end, v) && g_asn1_header_encode(s, end, cls, ASN1_PRI, tag);
    };
}

auto oid_tlv(std::vector<uint32_t> ids)
{
    return [ids](asn1_stream* s) {
        uint8_t* end = nullptr;
        return g_asn1_oid_encode(s, &end, ids.data(), static_cast<uint32_t>(ids.size())) &&
               g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OJI);
    };
}

uint32_t size_of(const std::string& hex_text) { return static_cast<uint32_t>(hex(hex_text).size()); }

TEST_F(Asn1, SignedIntegersEncodeAndDecode)
{
    struct {
        int32_t value;
        const char* tlv;
    } cases[] = {
        {0, "02 01 00"},
        {127, "02 01 7F"},
        {128, "02 02 00 80"},
        {255, "02 02 00 FF"},
        {256, "02 02 01 00"},
        {-1, "02 04 FF FF FF FF"},
        {-128, "02 04 FF FF FF 80"},
        {-129, "02 04 FF FF FF 7F"},
        {INT32_MIN, "02 04 80 00 00 00"},
        {INT32_MAX, "02 04 7F FF FF FF"},
    };
    for (const auto& c : cases) {
        uint32_t n = size_of(c.tlv);
        EXPECT_EQ(c.tlv, encoded(n, int_tlv(c.value))) << c.value;
        // One byte short of room is error 1, never a write before the buffer.
        EXPECT_EQ("FAIL 1", encoded(n - 1, int_tlv(c.value))) << c.value;

        asn1_stream s = open(c.tlv);
        uint8_t* end = nullptr;
        uint32_t cls = 9, form = 9, tag = 9;
        int32_t v = 0;
        ASSERT_TRUE(g_asn1_header_decode(&s, &end, &cls, &form, &tag));
        EXPECT_EQ(ASN1_UNI, cls);
        EXPECT_EQ(ASN1_PRI, form);
        EXPECT_EQ(ASN1_INT, tag);
        ASSERT_TRUE(g_asn1_int_decode(&s, end, &v)) << c.tlv;
        EXPECT_EQ(c.value, v);
        EXPECT_EQ(end, s.cursor);
    }
}

TEST_F(Asn1, SignedDecodeOfShortAndLongForms)
{
    struct {
        const char* contents;
        int ok;
        int32_t value;
        uint32_t error;
    } cases[] = {
        {"FF", 1, -1, 0},
        {"80", 1, -128, 0},
        {"FF 7F", 1, -129, 0},
        {"00 00 00 00 01", 1, 1, 0},
        {"00 FF FF FF FF", 1, -1, 0},                     // unsigned pattern with a 0x00 lead
        {"00 80 00 00 00", 1, INT32_MIN, 0},              // keeps the 32 bits
        {"FF 80 00 00 00", 1, INT32_MIN, 0},              // non-minimal negative, in range
        {"01 00 00 00 00", 0, 0, ASN1_ERR_OVERFLOW},      // 2^32: outside 32 bits
        {"FF 7F FF FF FF", 0, 0, ASN1_ERR_OVERFLOW},      // below INT32_MIN
        {"00 00 00 00 00 01", 0, 0, ASN1_ERR_OVERFLOW},   // six octets
        {"", 0, 0, ASN1_ERR_ENDED},                       // no contents at all
    };
    for (const auto& c : cases) {
        asn1_stream s = open(c.contents);
        int32_t v = 0;
        EXPECT_EQ(c.ok, g_asn1_int_decode(&s, data_end(), &v)) << c.contents;
        EXPECT_EQ(c.error, s.error) << c.contents;
        if (c.ok) {
            EXPECT_EQ(c.value, v) << c.contents;
        }
    }
}

TEST_F(Asn1, UnsignedIntegersEncodeAndDecode)
{
    struct {
        uint32_t value;
        const char* contents;
    } cases[] = {
        {0, "00"},
        {127, "7F"},
        {200, "00 C8"},
        {0x7FFFFFFF, "7F FF FF FF"},
        {0x80000000, "00 80 00 00 00"},
        {0xFFFFFFFF, "00 FF FF FF FF"},
    };
    for (const auto& c : cases) {
        std::string tlv = "02 " + to_hex(bytes{static_cast<uint8_t>(size_of(c.contents))}) + " " + c.contents;
        EXPECT_EQ(tlv, encoded(size_of(tlv), uint_tlv(c.value))) << c.value;
        asn1_stream s = open(c.contents);
        uint32_t v = 1;
        ASSERT_TRUE(g_asn1_uint_decode(&s, data_end(), &v)) << c.contents;
        EXPECT_EQ(c.value, v);
    }
    // Counter, Gauge and TimeTicks share the rule: a high top octet gets a 0x00 lead.
    EXPECT_EQ("41 02 00 C8", encoded(8, uint_tlv(200, ASN1_APL, 1)));
    EXPECT_EQ("42 05 00 FF FF FF FF", encoded(8, uint_tlv(0xFFFFFFFF, ASN1_APL, 2)));
    EXPECT_EQ("43 02 00 80", encoded(8, uint_tlv(128, ASN1_APL, 3)));

    struct {
        const char* contents;
        int ok;
        uint32_t value;
    } decodes[] = {
        {"FF FF FF FE", 1, 0xFFFFFFFE},  // not sign-extended
        {"00 FF FF FF FF", 1, 0xFFFFFFFF},
        {"01 00 00 00 00", 0, 0},
        {"00 00 00 00 00 00", 0, 0},
    };
    for (const auto& c : decodes) {
        asn1_stream s = open(c.contents);
        uint32_t v = 0;
        EXPECT_EQ(c.ok, g_asn1_uint_decode(&s, data_end(), &v)) << c.contents;
        if (c.ok)
            EXPECT_EQ(c.value, v);
        else
            EXPECT_EQ(ASN1_ERR_OVERFLOW, s.error);
    }
}

TEST_F(Asn1, Lengths)
{
    struct {
        uint32_t length;
        const char* octets;
    } cases[] = {
        {0, "00"}, {127, "7F"}, {128, "81 80"}, {300, "82 01 2C"}, {65536, "83 01 00 00"}, {0xFFFFFFFF, "84 FF FF FF FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.octets, encoded(8, [&](asn1_stream* s) { return g_asn1_length_encode(s, 1, c.length); }));
        asn1_stream s = open(c.octets);
        uint32_t definite = 0, length = 1;
        ASSERT_TRUE(g_asn1_length_decode(&s, &definite, &length));
        EXPECT_EQ(1u, definite);
        EXPECT_EQ(c.length, length);
    }
    EXPECT_EQ("80", encoded(1, [](asn1_stream* s) { return g_asn1_length_encode(s, 0, 0); }));

    uint32_t definite = 1, length = 1;
    asn1_stream s = open("80");
    ASSERT_TRUE(g_asn1_length_decode(&s, &definite, &length));
    EXPECT_EQ(0u, definite);
    s = open("84 00 00 01 00");
    ASSERT_TRUE(g_asn1_length_decode(&s, &definite, &length));
    EXPECT_EQ(256u, length);
    // Five length octets would have to drop one.
    s = open("85 00 00 00 01 00");
    EXPECT_FALSE(g_asn1_length_decode(&s, &definite, &length));
    EXPECT_EQ(ASN1_ERR_LENGTH, s.error);
    s = open("82 01");
    EXPECT_FALSE(g_asn1_length_decode(&s, &definite, &length));
    EXPECT_EQ(ASN1_ERR_ENDED, s.error);
}

TEST_F(Asn1, HeaderDecodeKeepsTheEndInsideTheBuffer)
{
    struct {
        const char* bytes;
        uint32_t error;
    } refused[] = {
        {"30 80 02 01 00 00 00", ASN1_ERR_LENGTH},  // indefinite
        {"04 03 41 42", ASN1_ERR_ENDED},            // one byte past the end
        {"04 84 FF FF FF FF 41", ASN1_ERR_ENDED},   // a length that would wrap a pointer
        {"04 85 00 00 00 00 01 41", ASN1_ERR_LENGTH},
        {"04", ASN1_ERR_ENDED},
        {"", ASN1_ERR_ENDED},
        {"1F 81", ASN1_ERR_ENDED},                  // high tag number cut off
        {"1F 90 80 80 80 00 00", ASN1_ERR_OVERFLOW},  // tag number past 32 bits
    };
    for (const auto& c : refused) {
        asn1_stream s = open(c.bytes);
        uint8_t* end = nullptr;
        uint32_t cls, form, tag;
        EXPECT_FALSE(g_asn1_header_decode(&s, &end, &cls, &form, &tag)) << c.bytes;
        EXPECT_EQ(c.error, s.error) << c.bytes;
    }
    asn1_stream s = open("04 02 41 42");
    uint8_t* end = nullptr;
    uint32_t cls, form, tag;
    ASSERT_TRUE(g_asn1_header_decode(&s, &end, &cls, &form, &tag));
    EXPECT_EQ(data_end(), end);
}

TEST_F(Asn1, IdentifiersWithHighTagNumbers)
{
    struct {
        uint32_t cls, form, tag;
        const char* octets;
    } cases[] = {
        {ASN1_UNI, ASN1_CON, ASN1_SEQ, "30"},
        {ASN1_CTX, ASN1_CON, 3, "A3"},
        {ASN1_APL, ASN1_PRI, 30, "5E"},
        {ASN1_APL, ASN1_PRI, 31, "5F 1F"},
        {ASN1_PRV, ASN1_CON, 200, "FF 81 48"},
        {ASN1_UNI, ASN1_PRI, 0xFFFFFFFF, "1F 8F FF FF FF 7F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.octets, encoded(8, [&](asn1_stream* s) { return g_asn1_id_encode(s, c.cls, c.form, c.tag); }));
        asn1_stream s = open(c.octets);
        uint32_t cls = 9, form = 9, tag = 9;
        ASSERT_TRUE(g_asn1_id_decode(&s, &cls, &form, &tag)) << c.octets;
        EXPECT_EQ(c.cls, cls);
        EXPECT_EQ(c.form, form);
        EXPECT_EQ(c.tag, tag);
    }
}

TEST_F(Asn1, ObjectIdentifiers)
{
    struct {
        std::vector<uint32_t> ids;
        const char* tlv;
    } cases[] = {
        {{1, 3, 6, 1, 4, 1, 1206}, "06 07 2B 06 01 04 01 89 36"},
        {{0, 0}, "06 01 00"},
        {{1, 39, 127, 128, 16383, 16384}, "06 09 4F 7F 81 00 FF 7F 81 80 00"},
        {{2, 999, 3}, "06 03 88 37 03"},
        {{1, 3, 0xFFFFFFFF, 0x10000000}, "06 0B 2B 8F FF FF FF 7F 81 80 80 80 00"},
        {{2, 0xFFFFFFFF - 80}, "06 05 8F FF FF FF 7F"},
    };
    for (const auto& c : cases) {
        uint32_t n = size_of(c.tlv);
        EXPECT_EQ(c.tlv, encoded(n, oid_tlv(c.ids)));
        EXPECT_EQ("FAIL 1", encoded(n - 1, oid_tlv(c.ids)));

        asn1_stream s = open(c.tlv);
        uint8_t* end = nullptr;
        uint32_t cls, form, tag, ids[40], count = 0;
        ASSERT_TRUE(g_asn1_header_decode(&s, &end, &cls, &form, &tag));
        ASSERT_TRUE(g_asn1_oid_decode(&s, end, ids, 40, &count)) << c.tlv;
        EXPECT_EQ(c.ids, std::vector<uint32_t>(ids, ids + count));
    }
}

TEST_F(Asn1, ObjectIdentifierFaults)
{
    // Encoding: fewer than 2 arcs, or first arcs BER cannot carry.
    EXPECT_EQ("FAIL 6", encoded(16, oid_tlv({1})));
    EXPECT_EQ("FAIL 6", encoded(16, oid_tlv({3, 1})));
    EXPECT_EQ("FAIL 6", encoded(16, oid_tlv({1, 40})));
    EXPECT_EQ("FAIL 6", encoded(16, oid_tlv({2, 0xFFFFFFFF})));

    struct {
        const char* contents;
        uint32_t capacity;
        uint32_t error;
        const char* trace;
    } cases[] = {
        {"", 40, ASN1_ERR_ENDED, "g_asn1_oid_decode failed 1\n"},
        {"AB", 40, ASN1_ERR_ENDED, "g_asn1_oid_decode failed 1\n"},     // first group unfinished
        {"2B 06 81", 40, ASN1_ERR_ENDED, "g_asn1_oid_decode failed 3\n"},  // later group unfinished
        {"2B 90 80 80 80 00", 40, ASN1_ERR_OVERFLOW, "g_asn1_oid_decode failed 3\n"},  // past 32 bits
        {"2B 06 01 04", 3, ASN1_ERR_CAPACITY, "g_asn1_oid_decode failed 4\n"},
        {"2B", 1, ASN1_ERR_CAPACITY, "g_asn1_oid_decode failed 4\n"},
    };
    for (const auto& c : cases) {
        trace_capture trace;
        asn1_stream s = open(c.contents);
        uint32_t ids[40];
        uint32_t count = 99;
        EXPECT_FALSE(g_asn1_oid_decode(&s, data_end(), ids, c.capacity, &count)) << c.contents;
        EXPECT_EQ(0u, count);
        EXPECT_EQ(c.error, s.error) << c.contents;
        EXPECT_EQ(c.trace, trace.text()) << c.contents;
    }
    // Exactly the capacity fits, and a null array only counts.
    asn1_stream s = open("2B 06 01");
    uint32_t ids[4], count = 0;
    ASSERT_TRUE(g_asn1_oid_decode(&s, data_end(), ids, 4, &count));
    EXPECT_EQ(4u, count);
    s = open("2B 06 01");
    ASSERT_TRUE(g_asn1_oid_decode(&s, data_end(), nullptr, 4, &count));
    EXPECT_EQ(4u, count);
}

TEST_F(Asn1, OctetStringsHonourTheDestinationCapacity)
{
    EXPECT_EQ("04 03 61 62 63", encoded(5, [](asn1_stream* s) {
                  uint8_t* end = nullptr;
                  return g_asn1_octets_encode(s, &end, reinterpret_cast<const uint8_t*>("abc"), 3) &&
                         g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OTS);
              }));
    EXPECT_EQ("FAIL 1", encoded(2, [](asn1_stream* s) {
                  uint8_t* end = nullptr;
                  return g_asn1_octets_encode(s, &end, reinterpret_cast<const uint8_t*>("abc"), 3);
              }));

    uint8_t out[8];
    std::memset(out, 0xA5, sizeof out);
    uint32_t count = 9;
    asn1_stream s = open("61 62 63 64");
    EXPECT_FALSE(g_asn1_octets_decode(&s, data_end(), out, 3, &count));
    EXPECT_EQ(ASN1_ERR_CAPACITY, s.error);
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0xA5, out[0]);  // nothing copied

    s = open("61 62 63 64");
    ASSERT_TRUE(g_asn1_octets_decode(&s, data_end(), out, 4, &count));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(0, std::memcmp(out, "abcd", 4));
    EXPECT_EQ(0xA5, out[4]);

    // An end before the cursor or past the buffer is never read.
    s = open("61 62");
    EXPECT_FALSE(g_asn1_octets_decode(&s, data_end() + 1, out, 8, &count));
    s = open("61 62");
    s.cursor += 2;
    EXPECT_FALSE(g_asn1_octets_decode(&s, s.cursor - 1, out, 8, &count));
}

TEST_F(Asn1, EndOfContents)
{
    // Definite: the cursor must sit on the end; exactly 2 past only when tolerant.
    for (int tolerant = 0; tolerant <= 1; ++tolerant) {
        tolerant_flag() = tolerant != 0;
        for (int past = 0; past <= 3; ++past) {
            asn1_stream s = open("00 00 00 00 00 00");
            s.cursor = s.begin + 2 + past;
            bool ok = past == 0 || (past == 2 && tolerant);
            EXPECT_EQ(ok, g_asn1_eoc_decode(&s, s.begin + 2) == 1) << "past " << past << " tolerant " << tolerant;
            EXPECT_EQ(ok ? 0u : ASN1_ERR_END_MISMATCH, s.error);
            EXPECT_EQ(s.begin + 2 + past, s.cursor);  // never moved back
        }
    }
    // Indefinite: two zero octets.
    asn1_stream s = open("00 00");
    EXPECT_TRUE(g_asn1_eoc_decode(&s, nullptr));
    s = open("00 01");
    EXPECT_FALSE(g_asn1_eoc_decode(&s, nullptr));
    EXPECT_EQ(ASN1_ERR_EOC, s.error);
    EXPECT_EQ("00 00", encoded(2, [](asn1_stream* s) { return g_asn1_eoc_encode(s, nullptr); }));
}

TEST_F(Asn1, ConstructedValueIsWrittenBackwards)
{
    // SEQUENCE { INTEGER 5, OCTET STRING "ab" } with the members written last first.
    EXPECT_EQ("30 07 02 01 05 04 02 61 62", encoded(16, [](asn1_stream* s) {
                  uint8_t *seq = nullptr, *end = nullptr;
                  return g_asn1_eoc_encode(s, &seq) &&
                         g_asn1_octets_encode(s, &end, reinterpret_cast<const uint8_t*>("ab"), 2) &&
                         g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_OTS) &&
                         g_asn1_int_encode(s, &end, 5) && g_asn1_header_encode(s, end, ASN1_UNI, ASN1_PRI, ASN1_INT) &&
                         g_asn1_header_encode(s, seq, ASN1_UNI, ASN1_CON, ASN1_SEQ);
              }));
    // A first failure's code stays.
    asn1_stream s;
    uint8_t one[1];
    g_asn1_open(&s, one, 1, ASN1_ENCODE);
    EXPECT_TRUE(g_asn1_octet_encode(&s, 1));
    EXPECT_FALSE(g_asn1_octet_encode(&s, 2));
    uint8_t* end = nullptr;
    uint32_t ids[] = {1};
    EXPECT_FALSE(g_asn1_oid_encode(&s, &end, ids, 1));
    EXPECT_EQ(ASN1_ERR_NO_ROOM, s.error);
    EXPECT_FALSE(g_asn1_set_cursor(&s, s.end + 1));
}

}  // namespace
