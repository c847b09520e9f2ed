// SNMPv1 trap messages byte for byte, their routes, and their failures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/trace/trace.h"
#include "ntcip/snmp/trap/snmp_trap.h"
#include "ntcip/snmp/trap/trap_capture.h"
#include "ntcip/tests/snmp_test_util.h"
#include "rtos_host.h"

namespace {

// What the endpoint's own link was handed.
struct link_send {
    uint32_t ipi;
    bytes message;
};
std::vector<link_send>& LinkSends()
{
    static std::vector<link_send> sends;
    return sends;
}
int RecordingLink(snmp_agent*, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length)
{
    if (operation == SNMP_NET_SEND)
        LinkSends().push_back({ipi, bytes(buffer, buffer + *length)});
    return 0;
}

const uint8_t kAddress[4] = {10, 0, 0, 9};
const std::vector<uint32_t> kSysLocation = {1, 3, 6, 1, 2, 1, 1, 6, 0};
const std::vector<uint32_t> kGlobalTime = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};

snmp_trap_varbind Varbind(const std::vector<uint32_t>& name, uint8_t syntax, const void* value, uint32_t length)
{
    snmp_trap_varbind v{};
    std::copy(name.begin(), name.end(), v.name);
    v.name_length = static_cast<uint32_t>(name.size());
    v.syntax = syntax;
    v.value = static_cast<const uint8_t*>(value);
    v.value_length = length;
    return v;
}

class TrapMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rtos::kernel_config c;
        c.memory_size = 1u << 20;
        rtos::kernel_start(c, [](void*) {});
        rtos::advance(123);  // 1.23 s: time-stamps count hundredths
        LinkSends().clear();
        std::strcpy(agent_.name, "ccp_ppp");
        agent_.transport = RecordingLink;
    }
    void TearDown() override { rtos::kernel_stop(); }

    snmp_agent agent_{};
    snmp_trap_capture capture_;
};

// The nearly-full trap of the event log, to 10.0.0.9 over the UDP client:
// sysLocation.0 "abc" and globalTime.0 as a Counter of 200.
const char* const kNearlyFull =
    "30 4B"                                         // SEQUENCE, 75 bytes
    " 02 01 00"                                     // version-1
    " 04 06 66 65 72 6E 6C 79"                      // community "fernly"
    " A4 3E"                                        // Trap-PDU, 62 bytes
    "   06 05 2B 06 01 04 0B"                       // enterprise 1.3.6.1.4.11
    "   40 04 0A 00 00 09"                          // agent-addr 10.0.0.9
    "   02 01 06"                                   // generic-trap enterpriseSpecific
    "   02 01 11"                                   // specific-trap 17
    "   43 01 7B"                                   // time-stamp 123
    "   30 26"                                      // variable-bindings, 38 bytes
    "     30 0F 06 08 2B 06 01 02 01 01 06 00"      //   sysLocation.0
    "           04 03 61 62 63"                     //   "abc"
    "     30 13 06 0D 2B 06 01 04 01 89 36 04 02 06 03 01 00"  // globalTime.0
    "           41 02 00 C8";                       //   Counter 200

TEST_F(TrapMessageTest, EnterpriseSpecificTrapByteForByte)
{
    const uint32_t time = 200;
    snmp_trap_varbind v[2] = {Varbind(kSysLocation, SNMP_OCTET_STRING, "abc", 3),
                              Varbind(kGlobalTime, SNMP_COUNTER, &time, 4)};
    ASSERT_EQ(1, snmp_trap(&agent_, SNMP_TRAP_UDP_CLIENT, 0, kAddress, 0, 0, nullptr, 0, "", "", 0, TRAP_ENTERPRISE,
                           17, 2, v));
    std::vector<snmp_trap_message> sent = capture_.Take();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(to_hex(hex(kNearlyFull)), to_hex(sent[0].bytes));
    EXPECT_EQ(SNMP_TRAP_UDP_CLIENT, sent[0].subnetwork);
    EXPECT_EQ(162, sent[0].port) << "port 0 goes to 162";
    EXPECT_EQ(0, std::memcmp(kAddress, sent[0].address, 4));
    EXPECT_TRUE(LinkSends().empty());
}

TEST_F(TrapMessageTest, AQueuedRecordOverEachSubnetwork)
{
    const uint32_t time = 200;
    snmp_trap_varbind v[2] = {Varbind(kSysLocation, SNMP_OCTET_STRING, "abc", 3),
                              Varbind(kGlobalTime, SNMP_COUNTER, &time, 4)};
    trap_record record;
    CTrapBuffer::BuildRecord(&record, TRAP_ENTERPRISE, 17, 2, v, 0);
    for (uint32_t subnetwork = SNMP_TRAP_OWN_LINK; subnetwork <= SNMP_TRAP_TCP_PORT; ++subnetwork)
        EXPECT_EQ(1, snmp_trap_send_record(&agent_, subnetwork, 1162, kAddress, record)) << subnetwork;

    ASSERT_EQ(1u, LinkSends().size());
    EXPECT_EQ(SNMP_IPI_TCP, LinkSends()[0].ipi);
    EXPECT_EQ(to_hex(hex(kNearlyFull)), to_hex(LinkSends()[0].message));
    std::vector<snmp_trap_message> sent = capture_.Take();
    ASSERT_EQ(3u, sent.size());
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(SNMP_TRAP_UDP_CLIENT + k, sent[k].subnetwork);
        EXPECT_EQ(1162, sent[k].port);
        EXPECT_EQ(to_hex(hex(kNearlyFull)), to_hex(sent[k].bytes));
    }
}

TEST_F(TrapMessageTest, GenericTrapsCarryNoVarbinds)
{
    const uint32_t five = 5;
    snmp_trap_varbind v[3] = {Varbind(kSysLocation, SNMP_INTEGER, &five, 4),
                              Varbind(kSysLocation, SNMP_INTEGER, &five, 4),
                              Varbind(kSysLocation, SNMP_INTEGER, &five, 4)};
    ASSERT_EQ(1, snmp_trap(&agent_, SNMP_TRAP_TCP_CLIENT, 162, kAddress, 0, 0, "public", 0, "", "", 0, TRAP_LINK_DOWN,
                           9, 3, v));
    std::vector<snmp_trap_message> sent = capture_.Take();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(to_hex(hex("30 25 02 01 00 04 06 70 75 62 6C 69 63"
                         " A4 18 06 05 2B 06 01 04 0B 40 04 0A 00 00 09"
                         " 02 01 02 02 01 00 43 01 7B 30 00")),
              to_hex(sent[0].bytes));
}

TEST_F(TrapMessageTest, ValuesOfEachSyntax)
{
    const uint32_t five = 5, big = 0x80000000u;
    const uint32_t oid[] = {1, 3, 6, 1, 4};
    struct {
        const char* what;
        snmp_trap_varbind v;
        const char* value;  // the value's encoding in the message
    } cases[] = {
        {"INTEGER 5", Varbind({1, 3}, SNMP_INTEGER, &five, 4), "02 01 05"},
        {"Gauge 2^31", Varbind({1, 3}, SNMP_GAUGE, &big, 4), "42 05 00 80 00 00 00"},
        {"TimeTicks 5", Varbind({1, 3}, SNMP_TIMETICKS, &five, 4), "43 01 05"},
        {"IpAddress", Varbind({1, 3}, SNMP_IPADDRESS, kAddress, 4), "40 04 0A 00 00 09"},
        {"Opaque", Varbind({1, 3}, SNMP_OPAQUE, "\x01\x02", 2), "44 02 01 02"},
        {"OBJECT IDENTIFIER", Varbind({1, 3}, SNMP_OBJECT_ID, oid, 20), "06 04 2B 06 01 04"},
        {"an empty string", Varbind({1, 3}, SNMP_OCTET_STRING, nullptr, 9), "04 00"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(1, snmp_trap(&agent_, SNMP_TRAP_TCP_PORT, 0, kAddress, 0, 0, nullptr, 0, "", "", 0,
                               TRAP_ENTERPRISE, 2, 1, &c.v))
            << c.what;
        std::vector<snmp_trap_message> sent = capture_.Take();
        ASSERT_EQ(1u, sent.size()) << c.what;
        // The varbind is the end of the message: its name 1.3 (06 01 2B), then the value.
        const std::string tail = "06 01 2B " + to_hex(hex(c.value));
        const std::string all = to_hex(sent[0].bytes);
        EXPECT_EQ(tail, all.substr(all.size() - tail.size())) << c.what;
    }
}

TEST_F(TrapMessageTest, FailuresAndTheirTraces)
{
    trace_capture trace;
    const uint32_t five = 5;
    snmp_trap_varbind v = Varbind(kSysLocation, SNMP_INTEGER, &five, 4);

    EXPECT_EQ(-1, snmp_trap(nullptr, SNMP_TRAP_UDP_CLIENT, 0, kAddress, 0, 0, nullptr, 0, "", "", 0, 6, 2, 1, &v));
    EXPECT_TRUE(trace.contains("snmp_trap: invalid snmp agent pointer\n"));

    // A syntax without an encoding leaves the message unencodable.
    snmp_trap_varbind bad = Varbind(kSysLocation, 9, &five, 4);
    EXPECT_EQ(-1, snmp_trap(&agent_, SNMP_TRAP_UDP_CLIENT, 0, kAddress, 0, 0, nullptr, 0, "", "", 0, 6, 2, 1, &bad));
    EXPECT_TRUE(trace.contains("snmp_trap: trap varType error\n"));
    EXPECT_TRUE(trace.contains("sendPduTrap: Message processing failed!\n"));

    snmp_record record{};
    record.trap.pdu_type = SNMP_PDU_TRAP;
    record.trap.enterprise_length = 2;
    record.trap.enterprise[0] = 1;
    record.trap.enterprise[1] = 3;
    EXPECT_EQ(-1, sendPduTrap(&agent_, SNMP_TRAP_UDP_CLIENT, 0, kAddress, 1, 0, "public", 0, "", "", 0, &record.trap));
    EXPECT_TRUE(trace.contains("sendPduTrap: Unknown snmp version not supported\n"));

    // A subnetwork that does not exist: traced, and nothing was sent.
    trace.clear();
    EXPECT_EQ(0, sendPduTrap(&agent_, 0, 0, kAddress, 0, 0, "public", 0, "", "", 0, &record.trap));
    EXPECT_TRUE(trace.contains("sendTrapPdu: error no subnetwork specified\n"));
    EXPECT_TRUE(capture_.Take().empty());
    EXPECT_TRUE(LinkSends().empty());

    struct {
        uint32_t model, security, level, pdu_version;
        const char* trace;
    } refusals[] = {
        {1, 0, 0, 0, "snmpv1_prepare_trap_message: error in messageProcessingModel\n"},
        {0, 2, 0, 0, "snmpv1_prepare_trap_message: error in securityModel\n"},
        {0, 0, 1, 0, "snmpv1_prepare_trap_message: error in securityLevel\n"},
        {0, 0, 0, 1, "snmpv1_prepare_trap_message: error in pduVersion\n"},
    };
    uint8_t buffer[SNMP_MAX_MESSAGE];
    for (const auto& r : refusals) {
        trace.clear();
        uint16_t port = 0;
        uint8_t address[4];
        uint8_t* start = nullptr;
        uint32_t length = 0;
        EXPECT_EQ(0, snmpv1_prepare_trap_message(&agent_, 0, kAddress, r.model, r.security, "public", r.level,
                                                 &record.trap, r.pdu_version, &port, address, &start, &length, buffer,
                                                 sizeof buffer));
        EXPECT_TRUE(trace.contains(r.trace)) << r.trace;
    }
    // Security model 1 is taken.
    uint16_t port = 0;
    uint8_t address[4];
    uint8_t* start = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(1, snmpv1_prepare_trap_message(&agent_, 0, kAddress, 0, 1, "public", 0, &record.trap, 0, &port, address,
                                             &start, &length, buffer, sizeof buffer));
}

TEST_F(TrapMessageTest, NeverLargerThanTheAgentsMessage)
{
    // Ten varbinds of strings a tenth of the message long need more.
    std::string text(SNMP_MAX_MESSAGE / 10, 'z');
    snmp_trap_varbind v[10];
    for (auto& x : v)
        x = Varbind(kGlobalTime, SNMP_OCTET_STRING, text.data(), static_cast<uint32_t>(text.size()));
    EXPECT_EQ(-1, snmp_trap(&agent_, SNMP_TRAP_UDP_CLIENT, 0, kAddress, 0, 0, nullptr, 0, "", "", 0, 6, 2, 10, v));
    EXPECT_TRUE(capture_.Take().empty());

    // A buffer of the message's exact size takes it; guards around stay.
    std::vector<uint8_t> guarded(77 + 16, 0xA5);
    snmp_record record{};
    snmp_trap_request& t = record.trap;
    t.pdu_type = SNMP_PDU_TRAP;
    const uint32_t enterprise[] = {1, 3, 6, 1, 4, 11};
    std::memcpy(t.enterprise, enterprise, sizeof enterprise);
    t.enterprise_length = 6;
    std::memcpy(t.agent_address, kAddress, 4);
    t.generic_trap = 6;
    t.specific_trap = 17;
    t.time_stamp = 123;
    t.count = 2;
    const uint32_t time = 200;
    for (int k = 0; k < 2; ++k) {
        const std::vector<uint32_t>& name = k == 0 ? kSysLocation : kGlobalTime;
        std::copy(name.begin(), name.end(), t.varbinds[k].name);
        t.varbinds[k].name_length = static_cast<uint32_t>(name.size());
    }
    t.varbinds[0].syntax = SNMP_OCTET_STRING;
    std::memcpy(t.varbinds[0].value, "abc", 4);
    t.varbinds[0].value_length = 3;
    t.varbinds[1].syntax = SNMP_COUNTER;
    t.varbinds[1].value_words[0] = time;
    t.varbinds[1].value_length = 4;
    uint16_t port = 0;
    uint8_t address[4];
    uint8_t* start = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(1, snmpv1_prepare_trap_message(&agent_, 0, kAddress, 0, 0, "fernly", 0, &t, 0, &port, address, &start,
                                             &length, guarded.data() + 8, 77));
    EXPECT_EQ(to_hex(hex(kNearlyFull)), to_hex(start, length));
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(0xA5, guarded[k]);
        EXPECT_EQ(0xA5, guarded[guarded.size() - 1 - k]);
    }
    // One byte less does not.
    EXPECT_EQ(0, snmpv1_prepare_trap_message(&agent_, 0, kAddress, 0, 0, "fernly", 0, &t, 0, &port, address, &start,
                                             &length, guarded.data() + 8, 76));
}

TEST_F(TrapMessageTest, RaisedTrapsGoToTheAdmission)
{
    CTrapBuffer buffer;
    {
        snmp_trap_capture with_queue(&buffer);
        const uint32_t five = 5;
        snmp_trap_varbind v = Varbind(kSysLocation, SNMP_INTEGER, &five, 4);
        snmp_raise_trap(TRAP_ENTERPRISE, 13, 1, &v);
        snmp_raise_trap(TRAP_COLD_START, 0, 0, nullptr);
    }
    // Without an admission a raised trap is dropped.
    snmp_raise_trap(TRAP_WARM_START, 0, 0, nullptr);
    trap_record r;
    ASSERT_TRUE(buffer.Get(&r));
    EXPECT_EQ(13u, r.specific_trap);
    ASSERT_TRUE(buffer.Get(&r));
    EXPECT_EQ(TRAP_COLD_START, r.generic_trap);
    EXPECT_FALSE(buffer.Get(&r));
}

// A trap leaves the buffer only once a route or link took it; a send that
// failed leaves it for the next try.
TEST_F(TrapMessageTest, ATrapStaysQueuedUntilItWasSent)
{
    const uint32_t five = 5;
    snmp_trap_varbind v = Varbind(kSysLocation, SNMP_INTEGER, &five, 4);
    CTrapBuffer buffer;
    trap_record record;
    for (uint32_t specific : {3u, 4u}) {
        CTrapBuffer::BuildRecord(&record, TRAP_ENTERPRISE, specific, 1, &v, 0);
        buffer.Put(record);
    }
    struct {
        const char* what;
        uint32_t subnetwork;
        int route_status;
        uint32_t left;
    } steps[] = {
        {"a refusing route keeps it", SNMP_TRAP_UDP_CLIENT, 1, 2},
        {"no subnetwork keeps it", 0, 0, 2},
        {"a route that takes it removes it", SNMP_TRAP_TCP_CLIENT, 0, 1},
        {"then the next one", SNMP_TRAP_TCP_PORT, 0, 0},
    };
    std::vector<bytes> sent;
    for (const auto& s : steps) {
        capture_.route_status = s.route_status;
        EXPECT_TRUE(snmp_trap_send_oldest(buffer, &agent_, s.subnetwork, 162, kAddress)) << s.what;
        EXPECT_EQ(s.left, buffer.Count()) << s.what;
        for (const snmp_trap_message& m : capture_.Take())
            sent.push_back(m.bytes);
    }
    ASSERT_EQ(3u, sent.size());
    EXPECT_EQ(sent[0], sent[1]) << "the refused trap went out again";
    EXPECT_NE(sent[1], sent[2]);
    EXPECT_FALSE(snmp_trap_send_oldest(buffer, &agent_, SNMP_TRAP_UDP_CLIENT, 162, kAddress));
}

TEST_F(TrapMessageTest, ARecordDroppedByAFullRingIsNotRemovedTwice)
{
    CTrapBuffer buffer;
    trap_record record;
    for (uint32_t k = 0; k < TRAP_BUFFER_RECORDS; ++k) {
        CTrapBuffer::BuildRecord(&record, TRAP_ENTERPRISE, 2 + k, 0, nullptr, 0);
        buffer.Put(record);
    }
    uint32_t serial = 0;
    ASSERT_TRUE(buffer.Peek(&record, &serial));
    EXPECT_EQ(2u, record.specific_trap);
    CTrapBuffer::BuildRecord(&record, TRAP_ENTERPRISE, 20, 0, nullptr, 0);
    buffer.Put(record);  // the peeked record gives its place
    buffer.Remove(serial);
    EXPECT_EQ(TRAP_BUFFER_RECORDS, buffer.Count());
    ASSERT_TRUE(buffer.Get(&record));
    EXPECT_EQ(3u, record.specific_trap);
}

}  // namespace
