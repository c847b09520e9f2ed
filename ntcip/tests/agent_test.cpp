// The SNMP agent on the memory transport: creation, the message wrappers of
// SNMPv1, SNMPv2c and version 3, the request slots, the dispatch thread and
// the response path, driven end to end over the stub MIB.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/trace/trace.h"
#include "ntcip/tests/agent_fixture.h"

namespace {

const oid_t kDescr = O("1.3.6.1.2.1.1.1.0");
const oid_t kByte = O("1.3.6.1.2.1.1.2.0");
const oid_t kCode = O("1.3.6.1.2.1.1.4.0");

uint32_t align16(uint32_t n) { return (n + 15) & ~15u; }

TEST_F(AgentTest, CreateCarvesItsMemory)
{
    EXPECT_STREQ("ethernet_udp", agent_.name);
    EXPECT_EQ(161, agent_.snmp_port);
    EXPECT_EQ(162, agent_.trap_port);
    EXPECT_EQ(10, agent_.own_address[0]);
    EXPECT_EQ(9, agent_.own_address[3]);
    EXPECT_EQ(0, agent_.local);
    EXPECT_EQ(memory_.get(), agent_.transport_area);
    uint32_t area = align16(sizeof(snmp_memory_transport));
    EXPECT_EQ(memory_.get() + area, agent_.response_buffer);
    EXPECT_EQ(memory_.get() + area + align16(SNMP_AGENT_BUFFER), agent_.receive_buffer);
    EXPECT_EQ(area + 2 * align16(SNMP_AGENT_BUFFER), used_);
    EXPECT_EQ(0, SlotsInUse());

    // With both dispatch threads their stacks follow.
    ASSERT_EQ(0, Create(snmp_memory_dispatch_entry, snmp_memory_dispatch_entry));
    EXPECT_EQ(area + 2 * align16(SNMP_AGENT_BUFFER) + 2 * align16(2048), used_);
    EXPECT_STREQ("SNMP UDP Dispatch", agent_.udp_thread.name);
    EXPECT_STREQ("SNMP TCP Dispatch", agent_.tcp_thread.name);
    EXPECT_EQ(SNMP_DISPATCH_PRIORITY, agent_.udp_thread.priority);
}

int failing_transport(snmp_agent*, uint32_t, uint32_t, uint8_t*, uint32_t*) { return 7; }

TEST_F(AgentTest, CreateFailures)
{
    trace_capture trace;
    EXPECT_EQ(7, Create(nullptr, nullptr, test_processor, test_second, failing_transport));
    EXPECT_TRUE(trace.contains("snmp_agent_create: snmp_net_drv failed 7\n"));
    EXPECT_EQ(nullptr, agent_.response_buffer);

    trace.clear();
    EXPECT_EQ(static_cast<int>(TX_SIZE_ERROR),
              Create(nullptr, nullptr, test_processor, test_second, snmp_memory_net_drv, 4096));
    EXPECT_TRUE(trace.contains("snmp_agent_create: 4096 bytes of memory"));
    EXPECT_EQ(nullptr, agent_.response_buffer);
}

TEST_F(AgentTest, V1GetIsAnswered)
{
    agent_.last_sender_port = 40000;
    std::vector<response> out = Process(request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)}, 0x1234));
    ASSERT_EQ(1u, out.size());
    const response& r = out[0];
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.version);
    EXPECT_EQ("public", r.community);
    EXPECT_EQ(SNMP_PDU_RESPONSE, r.pdu_type);
    EXPECT_EQ(0x1234u, r.request_id);
    EXPECT_EQ(0u, r.error_status);
    ASSERT_EQ(1u, r.varbinds.size());
    EXPECT_EQ("sign", r.varbinds[0].text);
    // The counters are the database's.
    EXPECT_EQ(1u, V(vol::snmpInPkts));
    EXPECT_EQ(1u, V(vol::snmpOutPkts));
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, V2cGetIsAnsweredInV2c)
{
    std::vector<response> out = Process(request_message(1, "private", SNMP_PDU_GET, {vb_null(kByte)}));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(1u, out[0].version);
    EXPECT_EQ("private", out[0].community);
    EXPECT_EQ(17u, out[0].varbinds[0].integer);
}

TEST_F(AgentTest, Version2IsProcessedButNeverAnswered)
{
    std::vector<response> out = Process(request_message(2, "private", SNMP_PDU_SET, {vb_int(kByte, 99)}));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(1u, plog().processed);
    EXPECT_EQ(99u, g_mib_stub[1].value);  // performed
    EXPECT_EQ(0, plog().last_response_result);
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, V3WithAMessageIdGoesToTheSecondCallback)
{
    std::vector<response> out = Process(v3_message(5, SNMP_PDU_GET, {vb_null(kDescr)}));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(1u, plog().second);
    EXPECT_EQ(0u, plog().processed);
    EXPECT_EQ(0u, g_mib_stub_calls);  // nothing performed
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, V3WithoutAMessageIdIsProcessedButNotAnswered)
{
    // Its community is the security parameters; the response encoder takes
    // no version-3 message whose wrapper tag is its msgVersion.
    std::vector<response> out = Process(v3_message(0, SNMP_PDU_GET, {vb_null(kDescr)}, "public"));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(1u, plog().processed);
    EXPECT_EQ(0u, plog().second);
    EXPECT_EQ(0, plog().last_response_result);
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, V1GetResponseIsCountedAndNotAnswered)
{
    std::vector<response> out = Process(request_message(0, "public", SNMP_PDU_RESPONSE, {vb_null(kDescr)}));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(1u, V(vol::snmpInGetResponses));
    EXPECT_EQ(1u, plog().second);
    EXPECT_EQ(0u, plog().processed);
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, MalformedMessagesAreDropped)
{
    std::vector<uint8_t> good = request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)});
    std::vector<std::vector<uint8_t>> bad = {
        {},
        {0x30},
        {0x02, 0x01, 0x00},
        std::vector<uint8_t>(good.begin(), good.end() - 1),
        std::vector<uint8_t>(3001, 0x30),
    };
    for (const auto& m : bad)
        EXPECT_TRUE(Process(m).empty());
    EXPECT_EQ(bad.size(), V(vol::snmpInPkts));
    EXPECT_EQ(0u, plog().processed);
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, UnknownObjectsAreAnsweredWithNoSuchName)
{
    struct {
        const char* what;
        uint32_t pdu;
        std::vector<vb> vbs;
        uint32_t index;
    } cases[] = {
        {"no subtree", SNMP_PDU_GET, {vb_null(O("1.3.6.1.2.1.99.1.0"))}, 1},
        {"empty subtree", SNMP_PDU_GET, {vb_null(O("ENT.3.11.1.1.0"))}, 1},
        {"before the first object", SNMP_PDU_GET, {vb_null(O("ENT.4.2.3.0"))}, 1},
        {"not served", SNMP_PDU_GET, {vb_null(O("1.3.6.1.2.1.1.9.0"))}, 1},
        {"index 0", SNMP_PDU_GET, {vb_null(O("ENT.2.1.1.3.1.2.0.1"))}, 1},
        {"second of two", SNMP_PDU_GET, {vb_null(kDescr), vb_null(O("1.3.6.1.2.1.1.9.0"))}, 2},
        {"past the end", SNMP_PDU_GETNEXT, {vb_null(O("ENT.4.2.6.7.3.1.8.255.255"))}, 1},
        {"set of nothing", SNMP_PDU_SET, {vb_int(O("1.3.6.1.2.1.99.1.0"), 1)}, 1},
        {"set in an empty subtree", SNMP_PDU_SET, {vb_int(O("ENT.3.6.11.1.0"), 1)}, 1},
    };
    for (const auto& c : cases) {
        for (uint32_t version : {0u, 1u}) {
            std::vector<response> out = Process(request_message(version, "administrator", c.pdu, c.vbs));
            ASSERT_EQ(1u, out.size()) << c.what;
            EXPECT_EQ(2u, out[0].error_status) << c.what;
            EXPECT_EQ(c.index, out[0].error_index) << c.what;
            ASSERT_EQ(c.vbs.size(), out[0].varbinds.size()) << c.what;
            EXPECT_EQ(c.vbs.back().name, out[0].varbinds.back().name) << c.what;  // returned as received
        }
    }
}

TEST_F(AgentTest, SetsThroughTheAgent)
{
    struct {
        const char* what;
        const char* community;
        vb value;
        uint32_t status;
        uint32_t commits;
    } cases[] = {
        {"in range", "private", vb_int(kByte, 200), 0, 1},
        {"out of range", "private", vb_int(kByte, 256), 3, 0},
        {"wrong syntax", "private", vb_str(kByte, "x"), 3, 0},
        {"mask shares no bit", "public", vb_int(kByte, 5), 2, 0},
        {"mask 0", "nobody", vb_int(kByte, 5), 2, 0},
        {"administrator", "administrator", vb_int(kByte, 5), 0, 1},
        {"length 11", "administrator", vb_str(kCode, "12345678901"), 3, 0},
        {"length 12", "administrator", vb_str(kCode, "123456789012"), 0, 1},
        {"read-only", "administrator", vb_str(kDescr, "new"), 2, 0},
    };
    for (const auto& c : cases) {
        stub::build();
        std::vector<response> out = Process(request_message(0, c.community, SNMP_PDU_SET, {c.value}));
        ASSERT_EQ(1u, out.size()) << c.what;
        EXPECT_EQ(c.status, out[0].error_status) << c.what;
        EXPECT_EQ(c.commits, g_mib_stub[1].commits + g_mib_stub[3].commits + g_mib_stub[0].commits) << c.what;
        if (c.status == 0 && c.value.syntax == SNMP_INTEGER) {
            EXPECT_EQ(c.value.integer, out[0].varbinds[0].integer) << c.what;  // the value as stored
        }
    }
}

TEST_F(AgentTest, GetNextAcrossSubtrees)
{
    std::vector<response> out =
        Process(request_message(1, "public", SNMP_PDU_GETNEXT,
                                {vb_null(O("1.3.6.1.2.1")), vb_null(O("1.3.6.1.2.1.11.30.0")),
                                 vb_null(O("ENT.2.1.1.3.1.2.1.3"))}));
    ASSERT_EQ(1u, out.size());
    ASSERT_EQ(3u, out[0].varbinds.size());
    EXPECT_EQ(kDescr, out[0].varbinds[0].name);
    EXPECT_EQ(O("ENT.2.1.1.1.0"), out[0].varbinds[1].name);
    EXPECT_EQ(70u, out[0].varbinds[1].integer);
    EXPECT_EQ(O("ENT.2.1.1.3.1.2.2.1"), out[0].varbinds[2].name);
    EXPECT_EQ(0u, out[0].error_status);
}

TEST_F(AgentTest, ARunawayGetNextIsCutAndAnswered)
{
    static const uint32_t first[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    static const uint32_t runaway[] = {1, 3, 6, 1, 2, 1, 1, 2, 255};
    static const uint32_t next[] = {1, 3, 6, 1, 4, 1, 1206, 2, 1, 1, 1, 0};
    static const mib_variable clsb[] = {mib_row(first, MIB_INTEGER, 1, MIB_READ_ONLY, var_stub_scalar),
                                        mib_row(runaway, MIB_INTEGER, 2, MIB_READ_ONLY, var_stub_carry, 2)};
    static const mib_variable aux[] = {mib_row(next, MIB_INTEGER, 3, MIB_READ_ONLY, var_stub_scalar)};
    static const mib_group g1{"cls b", clsb, 2}, g2{"auxio", aux, 1};
    const mib_group* const groups[] = {&g1, &g2};
    ASSERT_EQ(1, snmp_mib_build(groups, 2));
    mib_stub_reset();
    g_mib_stub[3].value = 33;

    trace_capture trace;
    std::vector<response> out =
        Process(request_message(0, "public", SNMP_PDU_GETNEXT, {vb_null(O("1.3.6.1.2.1.1.1.0"))}));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(0u, out[0].error_status);
    EXPECT_EQ(O("ENT.2.1.1.1.0"), out[0].varbinds[0].name);
    EXPECT_EQ(33u, out[0].varbinds[0].integer);
    EXPECT_TRUE(trace.contains("timed out finding next object\n"));
}

// Eleven requests at once on one agent, each held in its processing until
// released; the eleventh finds every slot taken.
std::function<void()> g_hold;
uint32_t g_held = 0;
void held_processor(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                    const char* engine, const char* context, uint32_t wrapper_tag, snmp_record* record, int slot)
{
    ++g_held;
    g_hold();
    test_processor(agent, version, version_tag, community, flags, engine, context, wrapper_tag, record, slot);
}

struct worker {
    TX_THREAD thread{};
    std::vector<uint8_t> stack = std::vector<uint8_t>(4096);
    std::function<void()> body;
};
std::vector<worker*> g_workers;
void worker_entry(ULONG index) { g_workers[index]->body(); }

TEST_F(AgentTest, AnEleventhRequestInFlightIsDropped)
{
    ASSERT_EQ(0, Create(nullptr, nullptr, held_processor));
    TX_SEMAPHORE release{};
    ASSERT_EQ(TX_SUCCESS, tx_semaphore_create(&release, "release", 0));
    g_hold = [&release] { tx_semaphore_get(&release, TX_WAIT_FOREVER); };
    g_held = 0;

    std::vector<std::unique_ptr<worker>> workers;
    g_workers.clear();
    for (uint32_t i = 0; i < 11; ++i) {
        workers.push_back(std::make_unique<worker>());
        worker* w = workers.back().get();
        g_workers.push_back(w);
        w->body = [this, i] {
            std::vector<uint8_t> m = request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)}, 100 + i);
            snmp_agent_process(&agent_, m.data(), static_cast<uint32_t>(m.size()));
        };
        ASSERT_EQ(TX_SUCCESS, tx_thread_create(&w->thread, "request", worker_entry, i, w->stack.data(),
                                               static_cast<ULONG>(w->stack.size()), 10, 10, 0, TX_AUTO_START));
    }
    rtos::settle();
    EXPECT_EQ(10u, g_held);
    EXPECT_EQ(10, SlotsInUse());
    EXPECT_EQ(11u, V(vol::snmpInPkts));
    EXPECT_EQ(0u, Transport().SentCount());

    for (int i = 0; i < 10; ++i)
        tx_semaphore_put(&release);
    rtos::settle();
    std::vector<snmp_memory_message> sent = Transport().Take();
    ASSERT_EQ(10u, sent.size());
    std::vector<uint32_t> ids;
    for (const auto& m : sent)
        ids.push_back(read_response(m.bytes).request_id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(100u, ids.front());
    EXPECT_EQ(109u, ids.back());  // the eleventh, 110, was dropped
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, RequestsWithoutResponseGiveTheirSlotsBack)
{
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(Process(request_message(0, "stranger", SNMP_PDU_GET, {vb_null(kDescr)})).empty());
    EXPECT_EQ(10u, V(vol::quorBadCommunityCount));
    EXPECT_EQ(0, SlotsInUse());
    // Neither do PDU types the processing does not serve.
    EXPECT_TRUE(Process(request_message(1, "public", SNMP_PDU_GETBULK, {vb_null(kDescr)})).empty());
    EXPECT_EQ(0, SlotsInUse());
    EXPECT_EQ(1u, Process(request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)})).size());
}

TEST_F(AgentTest, DispatchThreadReceivesAndAnswersTheSender)
{
    ASSERT_EQ(0, Create(snmp_memory_dispatch_entry));
    rtos::settle();
    EXPECT_EQ(1u, Transport().opens);

    const uint8_t manager[4] = {127, 0, 0, 5};
    Transport().Deliver(request_message(0, "public", SNMP_PDU_GET, {vb_null(kByte)}), manager, 41000);
    rtos::settle();
    std::vector<snmp_memory_message> sent = Transport().Take();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(41000, sent[0].port);
    EXPECT_EQ(5, sent[0].address[3]);
    EXPECT_EQ(17u, read_response(sent[0].bytes).varbinds[0].integer);
    EXPECT_EQ(41000, agent_.last_sender_port);
}

TEST_F(AgentTest, TolerantModeFollowsTheDatabase)
{
    // The outer SEQUENCE ends two bytes before its contents do.
    std::vector<uint8_t> m = request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)});
    ASSERT_LT(m[1], 0x80);
    m[1] -= 2;
    EXPECT_TRUE(Process(m).empty());
    SetNv(nv::quorSpecialFeatureSet, SNMP_FEATURE_TOLERANT);
    EXPECT_EQ(1u, Process(m).size());
}

// A response too large for the message goes out as tooBig without its
// varbinds, never not at all.
TEST_F(AgentTest, AResponseThatDoesNotFitIsAnsweredTooBig)
{
    g_mib_stub[3].length = MIB_STUB_BYTES;
    std::memset(g_mib_stub[3].bytes, 'A', MIB_STUB_BYTES);
    std::vector<vb> many(45, vb_null(kCode));
    const uint32_t too_bigs = snmp_counter_get(snmp_counter::snmpOutTooBigs);
    std::vector<response> out = Process(request_message(0, "public", SNMP_PDU_GET, many));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(1, plog().last_response_result);
    EXPECT_EQ(SNMP_PDU_RESPONSE, out[0].pdu_type);
    EXPECT_EQ(1u, out[0].error_status);
    EXPECT_EQ(0u, out[0].error_index);
    EXPECT_TRUE(out[0].varbinds.empty());
    EXPECT_EQ(too_bigs + 1, snmp_counter_get(snmp_counter::snmpOutTooBigs));
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(AgentTest, AFailedSendIsReported)
{
    Transport().send_status = 3;
    EXPECT_TRUE(Process(request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)})).empty());
    EXPECT_EQ(0, plog().last_response_result);
    EXPECT_EQ(0u, V(vol::snmpOutPkts));
    EXPECT_EQ(0, SlotsInUse());
}

int g_foreign_answer = -1;
int g_second_answer = -1;
void answer_twice(snmp_agent* agent, uint32_t version, uint32_t version_tag, const char* community, uint8_t flags,
                  const char* engine, const char* context, uint32_t wrapper_tag, snmp_record* record, int slot)
{
    g_foreign_answer = returnResponsePdu(agent, version, version_tag, community, flags, engine, context, wrapper_tag,
                                         record, 0);  // another request's slot
    test_processor(agent, version, version_tag, community, flags, engine, context, wrapper_tag, record, slot);
    g_second_answer =
        returnResponsePdu(agent, version, version_tag, community, flags, engine, context, wrapper_tag, record, slot);
}

TEST_F(AgentTest, ARequestIsAnsweredOnceAndFreesOnlyItsSlot)
{
    ASSERT_EQ(0, Create(nullptr, nullptr, answer_twice));
    ASSERT_EQ(0, snmp_request_slot_alloc(agent_.slots, 0));  // a request of another thread
    std::vector<response> out = Process(request_message(0, "public", SNMP_PDU_GET, {vb_null(kDescr)}));
    EXPECT_EQ(1u, out.size());
    EXPECT_EQ(0, g_foreign_answer);
    EXPECT_EQ(1, plog().last_response_result);
    EXPECT_EQ(0, g_second_answer);
    EXPECT_EQ(1, SlotsInUse());
    EXPECT_EQ(1, agent_.slots[0].in_use);
}

TEST(CommLed, RegistrationsRunOutAfterThirtyTwo)
{
    trace_capture trace;
    std::vector<uint32_t> masks;
    for (int i = 0; i < 40; ++i)
        masks.push_back(CommLED_RegisterAgent());
    // Earlier tests of this process may have registered already: the bits
    // that remain come in order, then only zeros.
    size_t first_zero = std::find(masks.begin(), masks.end(), 0u) - masks.begin();
    ASSERT_LE(first_zero, 32u);
    for (size_t i = 0; i < first_zero; ++i) {
        EXPECT_EQ(1u << (32 - first_zero + i), masks[i]);
    }
    for (size_t i = first_zero; i < masks.size(); ++i)
        EXPECT_EQ(0u, masks[i]);
    EXPECT_TRUE(trace.contains("CommLED_RegisterAgent: error\n"));
}

}  // namespace
