#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "frame/trace/trace.h"
#include "ntcip/snmp/snmp_message.h"
#include "ntcip/tests/snmp_golden.h"
#include "ntcip/tests/snmp_test_util.h"

namespace {

std::string length_octets(size_t n)
{
    if (n < 128)
        return to_hex(bytes{uint8_t(n)});
    if (n < 256)
        return "81 " + to_hex(bytes{uint8_t(n)});
    return "82 " + to_hex(bytes{uint8_t(n >> 8), uint8_t(n)});
}

std::string tlv(const char* id, const std::string& body) { return std::string(id) + " " + length_octets(hex(body).size()) + " " + body; }

std::string octets_hex(const std::string& text) { return to_hex(reinterpret_cast<const uint8_t*>(text.data()), text.size()); }

// An SNMPv1 or SNMPv2c message around one PDU.
std::string community_message(int version, const std::string& community, const std::string& pdu)
{
    return tlv("30", "02 01 0" + std::to_string(version) + " " + tlv("04", octets_hex(community)) + " " + pdu);
}

const char* const kGetPdu = "A0 19 02 01 01 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 01 01 01 00 05 00";

// A version-3 message with the given msgID, security parameters and context.
std::string v3_message(uint32_t msg_id, const std::string& security, const std::string& engine, const std::string& name,
                       const std::string& pdu = kGetPdu)
{
    std::string id = to_hex(bytes{uint8_t(msg_id >> 24), uint8_t(msg_id >> 16), uint8_t(msg_id >> 8), uint8_t(msg_id)});
    std::string global = tlv("30", "02 04 " + id + " 02 02 0B B8 04 01 00 02 01 03");
    std::string scoped = tlv("30", tlv("04", octets_hex(engine)) + " " + tlv("04", octets_hex(name)) + " " + pdu);
    return tlv("30", "02 01 03 " + global + " " + tlv("04", octets_hex(security)) + " " + scoped);
}

class SnmpMessage : public snmp_test {
protected:
    void SetUp() override
    {
        snmp_test::SetUp();
        m_msg = new_message();
        std::memset(m_slots, 0, sizeof m_slots);
    }

    int decode(const std::string& text)
    {
        m_data = hex(text);
        return snmp_message_decode(m_msg.get(), m_data.data(), static_cast<uint32_t>(m_data.size()), m_slots);
    }

    // The response of the decoded message, or "FAIL".
    std::string respond()
    {
        uint8_t buffer[SNMP_MAX_MESSAGE];
        uint8_t* start = nullptr;
        uint32_t length = 0;
        if (!snmp_response_encode(m_slots, m_msg.get(), buffer, sizeof buffer, &start, &length))
            return "FAIL";
        EXPECT_GE(start, buffer);
        EXPECT_EQ(buffer + sizeof buffer, start + length);
        return to_hex(start, length);
    }

    int slots_in_use() const
    {
        int n = 0;
        for (const auto& s : m_slots)
            n += s.in_use;
        return n;
    }

    snmp_request& request() { return m_msg->record.request; }

    std::unique_ptr<snmp_message> m_msg;
    snmp_request_slot m_slots[SNMP_REQUEST_SLOTS];
    bytes m_data;
};

TEST_F(SnmpMessage, GoldenRequestsAndResponses)
{
    struct {
        const char* what;
        const char* request;
        uint32_t version;
        uint32_t pdu_type;
        const char* community;
        int count;
        std::function<void(snmp_request&)> answer;
        const char* response;
    } cases[] = {
        {"v1 get", kV1Get, 0, SNMP_PDU_GET, "public", 1,
         [](snmp_request& r) {
             r.varbinds[0].syntax = SNMP_OCTET_STRING;
             std::memcpy(r.varbinds[0].value, "sign", 4);
             r.varbinds[0].value_length = 4;
         },
         kV1GetResponse},
        {"v1 get, noSuchName", kV1Get, 0, SNMP_PDU_GET, "public", 1,
         [](snmp_request& r) {
             r.error_status = 2;
             r.error_index = 1;
         },
         kV1GetNoSuchName},
        {"v1 get-next", kV1GetNext, 0, SNMP_PDU_GETNEXT, "public", 1,
         [](snmp_request& r) {
             const uint32_t name[] = {1, 3, 6, 1, 2, 1, 1, 2, 0};
             const uint32_t value[] = {1, 3, 6, 1, 4, 1, 1206};
             std::memcpy(r.varbinds[0].name, name, sizeof name);
             r.varbinds[0].name_length = 9;
             r.varbinds[0].syntax = SNMP_OBJECT_ID;
             std::memcpy(r.varbinds[0].value_words, value, sizeof value);
             r.varbinds[0].value_length = 7;
         },
         kV1GetNextResponse},
        {"v1 set", kV1Set, 0, SNMP_PDU_SET, "private", 1, [](snmp_request& r) {
             EXPECT_EQ(SNMP_INTEGER, r.varbinds[0].syntax);
             EXPECT_EQ(128u, r.varbinds[0].value_words[0]);
             EXPECT_EQ(13u, r.varbinds[0].name_length);
         },
         kV1SetResponse},
        {"v2c set", kV2Set, 1, SNMP_PDU_SET, "private", 1, [](snmp_request& r) {
             EXPECT_EQ(SNMP_OCTET_STRING, r.varbinds[0].syntax);
             EXPECT_EQ(5u, r.varbinds[0].value_length);
             EXPECT_STREQ("hello", reinterpret_cast<const char*>(r.varbinds[0].value));
         },
         kV2SetResponse},
        {"v2c get", kV2Get, 1, SNMP_PDU_GET, "public", 2,
         [](snmp_request& r) {
             EXPECT_EQ(0xFFFFFFFFu, r.request_id);
             r.varbinds[0].syntax = SNMP_TIMETICKS;
             r.varbinds[0].value_words[0] = 200;
             r.varbinds[1].syntax = SNMP_COUNTER;
             r.varbinds[1].value_words[0] = 0xFFFFFFFF;
         },
         kV2GetResponse},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(1, decode(c.request)) << c.what;
        EXPECT_EQ(c.version, m_msg->version) << c.what;
        EXPECT_STREQ(c.community, m_msg->community) << c.what;
        EXPECT_EQ(std::strlen(c.community), m_msg->community_length);
        EXPECT_EQ(0u, m_msg->message_id);
        EXPECT_EQ(0u, m_msg->flags);
        EXPECT_EQ(c.version == 0 ? 1u : 2u, m_msg->version_tag);
        EXPECT_EQ(c.version == 0 ? 0u : 2u, m_msg->wrapper_tag);
        EXPECT_EQ(c.pdu_type, request().pdu_type) << c.what;
        EXPECT_EQ(c.count, request().count) << c.what;
        EXPECT_EQ(1, slots_in_use());
        request().pdu_type = SNMP_PDU_RESPONSE;
        c.answer(request());
        EXPECT_EQ(to_hex(hex(c.response)), respond()) << c.what;
        EXPECT_EQ(0, slots_in_use()) << c.what;
    }
    EXPECT_EQ(0u, counter(snmp_counter::snmpInBadVersions));  // v2c is taken, not bad
    EXPECT_EQ(0u, counter(snmp_counter::snmpInASNParseErrs));
    EXPECT_EQ(6u, counter(snmp_counter::snmpInPkts));
}

TEST_F(SnmpMessage, VersionsTheAgentDoesNotTakeAreCountedAndDropped)
{
    for (int version : {4, 7}) {
        EXPECT_EQ(0, decode(community_message(version, "public", kGetPdu))) << version;
    }
    EXPECT_EQ(0, decode(tlv("30", "02 04 7F FF FF FF 04 06 70 75 62 6C 69 63 " + std::string(kGetPdu))));
    EXPECT_EQ(3u, counter(snmp_counter::snmpInBadVersions));
    EXPECT_EQ(0u, counter(snmp_counter::snmpInASNParseErrs));
    EXPECT_EQ(0, slots_in_use());

    // Version 2 goes through the SNMPv2c wrapper but is never answered.
    ASSERT_EQ(1, decode(community_message(2, "public", kGetPdu)));
    EXPECT_EQ(2u, m_msg->version);
    EXPECT_EQ(1, slots_in_use());
    request().pdu_type = SNMP_PDU_RESPONSE;
    EXPECT_EQ("FAIL", respond());
    EXPECT_EQ(0, slots_in_use());
    EXPECT_EQ(3u, counter(snmp_counter::snmpInBadVersions));
}

TEST_F(SnmpMessage, ResponsesAreNotRequests)
{
    ASSERT_EQ(1, decode(kV1GetResponse));
    EXPECT_EQ(0xFFFFFFFFu, m_msg->message_id);
    EXPECT_EQ(SNMP_NO_SLOT, m_msg->slot);
    EXPECT_EQ(1u, counter(snmp_counter::snmpInGetResponses));
    // Nothing to answer: there is no slot to give back.
    EXPECT_EQ("FAIL", respond());

    ASSERT_EQ(1, decode(kV2GetResponse));
    EXPECT_EQ(0xFFFFFFFFu, m_msg->message_id);
    EXPECT_EQ(1u, counter(snmp_counter::snmpInGetResponses));  // SNMPv2c responses count nothing
    EXPECT_EQ(0, slots_in_use());
}

TEST_F(SnmpMessage, TrapPduTakesASlot)
{
    ASSERT_EQ(1, decode(kV1Trap));
    EXPECT_EQ(SNMP_PDU_TRAP, m_msg->record.trap.pdu_type);
    EXPECT_EQ(17u, m_msg->record.trap.specific_trap);
    EXPECT_EQ(1, slots_in_use());
    EXPECT_EQ(1, snmp_request_slot_free(m_slots, m_msg->slot, &m_msg->message_id));
    // An SNMPv1 Trap-PDU has no place in an SNMPv2c message, nor GetBulk in SNMPv1.
    std::string trap_pdu = std::string(kV1Trap).substr(std::string(kV1Trap).find("A4"));
    EXPECT_EQ(0, decode(community_message(1, "public", trap_pdu)));
    EXPECT_EQ(0, decode(community_message(0, "public", "A5 0B 02 01 01 02 01 00 02 01 0A 30 00")));
    ASSERT_EQ(1, decode(community_message(1, "public", "A5 0B 02 01 01 02 01 00 02 01 0A 30 00")));
    EXPECT_EQ(SNMP_PDU_GETBULK, request().pdu_type);
    EXPECT_EQ(10u, request().error_index);
}

TEST_F(SnmpMessage, Version3IsDecodedWithoutSecurity)
{
    ASSERT_EQ(1, decode(kV3Get));
    EXPECT_EQ(3u, m_msg->version);
    EXPECT_EQ(3u, m_msg->wrapper_tag);  // msgVersion
    EXPECT_EQ(0x68EA9E25u, m_msg->message_id);
    EXPECT_EQ(0x68EA9E25u, m_slots[m_msg->slot].message_id);
    // msgSecurityParameters are kept whole, zero bytes included.
    EXPECT_EQ(26u, m_msg->community_length);
    EXPECT_EQ(to_hex(hex("30 18 04 05 80 00 1F 88 04 02 01 00 02 01 00 04 05 6E 74 63 69 70 04 00 04 00")),
              to_hex(reinterpret_cast<const uint8_t*>(m_msg->community), 26));
    EXPECT_EQ(5u, m_msg->context_engine_id_length);
    EXPECT_EQ("80 00 1F 88 04", to_hex(reinterpret_cast<const uint8_t*>(m_msg->context_engine_id), 5));
    EXPECT_STREQ("ctx", m_msg->context_name);
    EXPECT_EQ(SNMP_PDU_GET, request().pdu_type);
    EXPECT_EQ(0x70C94F45u, request().request_id);
    EXPECT_EQ(0u, counter(snmp_counter::snmpInBadVersions));

    // The decoder keeps msgVersion as the wrapper tag, which the response
    // encoder does not answer; the slot is given back all the same.
    request().pdu_type = SNMP_PDU_RESPONSE;
    EXPECT_EQ("FAIL", respond());
    EXPECT_EQ(0, slots_in_use());

    // With the wrapper tag the encoder takes, the response carries the
    // msgID from the slot, the agent's size and the kept parts.
    ASSERT_EQ(1, decode(kV3Get));
    request().pdu_type = SNMP_PDU_RESPONSE;
    m_msg->wrapper_tag = 2;
    m_msg->message_id = 0;  // the msgID comes from the slot, not from here
    EXPECT_EQ(to_hex(hex(kV3GetResponse)), respond());

    // msgID 0 goes to request processing.
    ASSERT_EQ(1, decode(v3_message(0, "", "", "")));
    EXPECT_EQ(0u, m_msg->message_id);
    EXPECT_EQ(0u, m_msg->context_engine_id_length);
    // An encrypted scopedPDU (an OCTET STRING) is refused.
    std::string encrypted = v3_message(5, "", "", "");
    size_t scoped = encrypted.rfind("30 ", encrypted.find("A0") - 1);
    encrypted[scoped] = '0';
    encrypted[scoped + 1] = '4';
    EXPECT_EQ(0, decode(encrypted));
}

TEST_F(SnmpMessage, RequestSlotsBoundTheRequestsInFlight)
{
    for (int i = 0; i < SNMP_REQUEST_SLOTS; ++i) {
        ASSERT_EQ(1, decode(kV1Get)) << i;
        EXPECT_EQ(i, m_msg->slot);
    }
    EXPECT_EQ(0, decode(kV1Get));  // the eleventh is dropped
    EXPECT_EQ(0u, counter(snmp_counter::snmpInASNParseErrs));
    EXPECT_EQ(11u, counter(snmp_counter::snmpInPkts));

    uint32_t id = 7;
    EXPECT_EQ(1, snmp_request_slot_free(m_slots, 3, &id));
    EXPECT_EQ(0u, id);
    EXPECT_EQ(0, snmp_request_slot_free(m_slots, 3, &id));  // not in use any more
    EXPECT_EQ(0, snmp_request_slot_free(m_slots, SNMP_REQUEST_SLOTS, &id));
    EXPECT_EQ(0, snmp_request_slot_free(m_slots, SNMP_NO_SLOT, &id));
    ASSERT_EQ(1, decode(kV1Get));
    EXPECT_EQ(3, m_msg->slot);  // the lowest free one

    // A response gives its slot back once; a second try sends nothing.
    request().pdu_type = SNMP_PDU_RESPONSE;
    EXPECT_NE("FAIL", respond());
    EXPECT_EQ("FAIL", respond());
}

TEST_F(SnmpMessage, StringsLongerThanTheirBuffersRefuseTheMessage)
{
    struct {
        const char* what;
        std::string message;
        int ok;
    } cases[] = {
        {"community of 51", community_message(0, std::string(51, 'c'), kGetPdu), 1},
        {"community of 52", community_message(0, std::string(52, 'c'), kGetPdu), 0},
        {"v2c community of 52", community_message(1, std::string(52, 'c'), kGetPdu), 0},
        {"security parameters of 51", v3_message(0, std::string(51, 's'), "", ""), 1},
        {"security parameters of 52", v3_message(0, std::string(52, 's'), "", ""), 0},
        {"contextEngineID of 49", v3_message(0, "", std::string(49, 'e'), ""), 1},
        {"contextEngineID of 50", v3_message(0, "", std::string(50, 'e'), ""), 0},
        {"contextName of 49", v3_message(0, "", "", std::string(49, 'n')), 1},
        {"contextName of 50", v3_message(0, "", "", std::string(50, 'n')), 0},
    };
    uint32_t refused = 0;
    for (const auto& c : cases) {
        std::memset(m_slots, 0, sizeof m_slots);
        EXPECT_EQ(c.ok, decode(c.message)) << c.what;
        refused += c.ok ? 0 : 1;
        EXPECT_EQ(refused, counter(snmp_counter::snmpInASNParseErrs)) << c.what;
    }
    ASSERT_EQ(1, decode(community_message(0, std::string(51, 'c'), kGetPdu)));
    EXPECT_EQ(std::string(51, 'c'), m_msg->community);
}

TEST_F(SnmpMessage, MessagesAreAtMost3000Bytes)
{
    auto set_of = [](size_t n) {
        std::string vb = tlv("30", "06 08 2B 06 01 02 01 01 05 00 " + tlv("04", octets_hex(std::string(n, 'x'))));
        return community_message(0, "private", tlv("A3", "02 01 01 02 01 00 02 01 00 " + tlv("30", vb)));
    };
    size_t n = 2900;
    while (hex(set_of(n)).size() < SNMP_MAX_MESSAGE)
        ++n;
    ASSERT_EQ(SNMP_MAX_MESSAGE, hex(set_of(n)).size());
    EXPECT_EQ(1, decode(set_of(n)));
    EXPECT_EQ(n, request().varbinds[0].value_length);
    EXPECT_EQ(0, decode(set_of(n + 1)));

    // A response that does not fit the agent's 3000 bytes is not sent.
    request().pdu_type = SNMP_PDU_RESPONSE;
    request().varbinds[0].value_length = SNMP_MAX_MESSAGE;
    EXPECT_EQ("FAIL", respond());
}

TEST_F(SnmpMessage, EveryPrefixIsRefusedCleanly)
{
    trace_capture quiet;
    const char* messages[] = {kV1Get, kV1GetNext, kV1Set, kV2Set, kV2Get, kV3Get, kV1Trap, kV1GetResponse};
    uint32_t prefixes = 0;
    for (int tolerant = 0; tolerant <= 1; ++tolerant) {
        tolerant_flag() = tolerant != 0;
        for (const char* message : messages) {
            bytes full = hex(message);
            for (size_t n = 0; n < full.size(); ++n) {
                // A copy of exactly n bytes, so that the sanitizer sees any read past it.
                std::vector<uint8_t> prefix(full.begin(), full.begin() + n);
                EXPECT_EQ(0, snmp_message_decode(m_msg.get(), prefix.data(), static_cast<uint32_t>(n), m_slots))
                    << message << " cut at " << n;
                ++prefixes;
            }
            ASSERT_EQ(1, snmp_message_decode(m_msg.get(), full.data(), static_cast<uint32_t>(full.size()), m_slots));
            std::memset(m_slots, 0, sizeof m_slots);
        }
    }
    EXPECT_EQ(0, slots_in_use());
    EXPECT_EQ(prefixes, counter(snmp_counter::snmpInASNParseErrs));
}

TEST_F(SnmpMessage, BadLengthsAreRefused)
{
    trace_capture quiet;
    std::string get = kV1Get;
    auto edit = [&](const char* from, const char* to) {
        std::string m = get;
        size_t at = m.find(from);
        EXPECT_NE(std::string::npos, at) << from;
        return m.replace(at, std::strlen(from), to);
    };
    struct {
        const char* what;
        std::string message;
    } cases[] = {
        {"indefinite outer length", "30 80" + get.substr(5) + " 00 00"},
        {"five length octets", "30 85 00 00 00 00 26" + get.substr(5)},
        {"outer length past the buffer", edit("30 26", "30 27")},
        {"community past the message", edit("04 06 70", "04 7F 70")},
        {"PDU shorter than its contents", edit("A0 19", "A0 18")},
        {"PDU longer than its contents", edit("A0 19", "A0 1A") + " 00"},
        {"list runs past the PDU", edit("30 0E 30 0C", "30 0F 30 0C") + " 00"},
        {"list ends inside its varbind", edit("30 0E 30 0C", "30 0D 30 0C")},
        {"varbind runs past the list", edit("30 0E 30 0C", "30 0E 30 0D") + " 00"},
        {"OID runs past the varbind", edit("06 08 2B", "06 0B 2B") + " 00"},
        {"integer runs past the PDU", edit("02 01 01 02 01 00", "02 1A 01 02 01 00")},
        {"request-id with a 0x80 length of 5 octets", edit("02 01 01 02", "02 85 00 00 00 00 01 01 02")},
    };
    for (int tolerant = 0; tolerant <= 1; ++tolerant) {
        tolerant_flag() = tolerant != 0;
        for (const auto& c : cases)
            EXPECT_EQ(0, decode(c.message)) << c.what << (tolerant ? " (tolerant)" : "");
    }
    EXPECT_EQ(0, slots_in_use());
    // A long-form length of 4 octets is still a length.
    tolerant_flag() = false;
    EXPECT_EQ(1, decode("30 84 00 00 00 26" + get.substr(5)));
}

TEST_F(SnmpMessage, OuterSequenceTwoBytesShortOnlyInTolerantMode)
{
    std::string short_outer = "30 24" + std::string(kV1Get).substr(5);
    EXPECT_EQ(0, decode(short_outer));
    EXPECT_EQ(1u, counter(snmp_counter::snmpInASNParseErrs));
    tolerant_flag() = true;
    ASSERT_EQ(1, decode(short_outer));
    EXPECT_EQ(1, request().count);
    // One or three bytes short never pass.
    EXPECT_EQ(0, decode("30 25" + std::string(kV1Get).substr(5)));
    EXPECT_EQ(0, decode("30 23" + std::string(kV1Get).substr(5)));
}

}  // namespace
