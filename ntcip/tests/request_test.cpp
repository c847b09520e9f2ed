// Request processing, byte for byte through the memory transport: get,
// get-next and set in their passes, the error statuses, the community's
// rights, the control-mode gate, the protected nodes and the work that
// follows a set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/trace/trace.h"
#include "ntcip/tests/request_fixture.h"

namespace {

using namespace rq;

TEST_F(RequestTest, GetIsAnsweredInTheRequestsVersion)
{
    for (uint32_t version : {0u, 1u}) {
        response r = Get({vb_null(Oid(kDescr)), vb_null(Oid(kAddress)), vb_null(Oid(kCounter))}, "fernly-less",
                         version);
        EXPECT_FALSE(r.ok);  // unknown community: no answer
        r = Get({vb_null(Oid(kDescr)), vb_null(Oid(kAddress)), vb_null(Oid(kCounter))}, "public", version);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(version, r.version);
        EXPECT_EQ(SNMP_PDU_RESPONSE, r.pdu_type);
        EXPECT_EQ(0u, r.error_status);
        ASSERT_EQ(3u, r.varbinds.size());
        EXPECT_EQ(SNMP_OCTET_STRING, r.varbinds[0].syntax);
        EXPECT_EQ("sign", r.varbinds[0].text);
        EXPECT_EQ(SNMP_IPADDRESS, r.varbinds[1].syntax);
        EXPECT_EQ(std::string("\x0A\x00\x00\x09", 4), r.varbinds[1].text);
        EXPECT_EQ(SNMP_COUNTER, r.varbinds[2].syntax);
        EXPECT_EQ(200u, r.varbinds[2].integer);
    }
    EXPECT_EQ(2u, V(vol::snmpInGetRequests));
    EXPECT_EQ(2u, V(vol::snmpInBadCommunityNames));
    // A get only reads: every handler call ran outside the commit.
    for (uint32_t i = 0; i < g_mib_stub_calls && i < MIB_STUB_LOG; ++i)
        EXPECT_EQ(static_cast<uint32_t>(MIB_GET), g_mib_stub_log[i].operation);
}

// An object no subtree holds: noSuchName at its index, no SNMPv2 exception,
// and the varbinds returned as they came.
TEST_F(RequestTest, GetOfAnUnknownObjectAnswersNoSuchName)
{
    const oid_t unknown = O("1.3.6.1.2.1.99.1.0");
    for (uint32_t version : {0u, 1u}) {
        response r = Get({vb_null(Oid(kDescr)), vb_null(unknown)}, "public", version);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(2u, r.error_status);
        EXPECT_EQ(2u, r.error_index);
        ASSERT_EQ(2u, r.varbinds.size());
        EXPECT_EQ(unknown, r.varbinds[1].name);
        EXPECT_EQ(SNMP_NULL, r.varbinds[1].syntax);
        EXPECT_EQ(SNMP_NULL, r.varbinds[0].syntax);
    }
}

TEST_F(RequestTest, GetNextWalksAndStopsAtTheEnd)
{
    response r = Next({vb_null(Oid(kDescr)), vb_null(O("1.3.6.1.2.1"))});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(Oid(kByte), r.varbinds[0].name);
    EXPECT_EQ(17u, r.varbinds[0].integer);
    EXPECT_EQ(Oid(kDescr), r.varbinds[1].name);
    EXPECT_EQ("sign", r.varbinds[1].text);

    // Nothing follows the last object: its name comes back with noSuchName.
    const oid_t last = O("ENT.4.2.6.7.3.1.5.2.24");
    r = Next({vb_null(last)});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(2u, r.error_status);
    EXPECT_EQ(1u, r.error_index);
    EXPECT_EQ(last, r.varbinds[0].name);
    EXPECT_EQ(2u, V(vol::snmpInGetNexts));
}

// A set runs every varbind's check before any commit, and answers the
// values written.
TEST_F(RequestTest, SetChecksAllThenCommitsAll)
{
    response r = Set({vb_int(Oid(kA), 5), vb_str(Oid(kText), "new text")});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(5u, g_mib_stub[kAObj].value);
    EXPECT_EQ("new text", std::string(reinterpret_cast<char*>(g_mib_stub[kTextObj].bytes), g_mib_stub[kTextObj].length));
    EXPECT_EQ(5u, r.varbinds[0].integer);
    EXPECT_EQ("new text", r.varbinds[1].text);

    std::vector<std::pair<uint8_t, uint8_t>> calls;  // (object, commit indicator)
    for (uint32_t i = 0; i < g_mib_stub_calls; ++i)
        calls.emplace_back(g_mib_stub_log[i].column, g_mib_stub_log[i].commit);
    const std::vector<std::pair<uint8_t, uint8_t>> expected = {{kAObj, 0}, {kTextObj, 0}, {kAObj, 1}, {kTextObj, 1}};
    EXPECT_EQ(expected, calls);
    EXPECT_EQ(1, g_snmp_commit_indicator);  // left at 1 between requests
    EXPECT_EQ(1u, V(vol::snmpInSetRequests));
}

TEST_F(RequestTest, ErrorStatusesOfASet)
{
    const oid_t unknown = O("1.3.6.1.2.1.99.1.0");
    struct {
        const char* what;
        const char* community;
        std::vector<vb> vbs;
        uint32_t status, index;
    } cases[] = {
        {"out of range", "private", {vb_int(Oid(kByte), 256)}, 3, 1},
        {"wrong syntax", "private", {vb_str(Oid(kByte), "x")}, 3, 1},
        {"read-only object", "administrator", {vb_str(Oid(kDescr), "new")}, 2, 1},
        {"read-only second", "administrator", {vb_int(Oid(kA), 1), vb_str(Oid(kDescr), "x")}, 2, 2},
        {"unknown object", "administrator", {vb_int(Oid(kA), 1), vb_int(unknown, 1)}, 2, 2},
        {"write mask shares no bit", "public", {vb_int(Oid(kByte), 5)}, 2, 1},
        {"community mask 0", "nobody", {vb_int(Oid(kA), 5)}, 2, 1},
        {"bad value, then more", "administrator", {vb_int(Oid(kB), 1), vb_str(Oid(kA), "x"), vb_int(unknown, 1)}, 3, 2},
    };
    for (const auto& c : cases) {
        for (uint32_t version : {0u, 1u}) {
            rq::build();
            response r = Set(c.vbs, c.community, version);
            ASSERT_TRUE(r.ok) << c.what;
            EXPECT_EQ(c.status, r.error_status) << c.what;
            EXPECT_EQ(c.index, r.error_index) << c.what;
            // A refused set writes none of its varbinds, and returns them as sent.
            for (uint32_t o = 0; o < MIB_STUB_OBJECTS; ++o)
                EXPECT_EQ(0u, g_mib_stub[o].commits) << c.what << " object " << o;
            ASSERT_EQ(c.vbs.size(), r.varbinds.size()) << c.what;
            for (size_t i = 0; i < c.vbs.size(); ++i) {
                EXPECT_EQ(c.vbs[i].syntax, r.varbinds[i].syntax) << c.what;
                EXPECT_EQ(c.vbs[i].integer, r.varbinds[i].integer) << c.what;
                EXPECT_EQ(c.vbs[i].text, r.varbinds[i].text) << c.what;
            }
        }
    }
    EXPECT_EQ(4u, V(vol::snmpInReadOnlys));
}

// No undo: a commit that fails keeps what came before it and still commits
// what follows; the response names the first failure.
TEST_F(RequestTest, SetWhoseSecondVarbindFailsInTheCommitPass)
{
    g_mib_stub[kBObj].refuse = 2;
    response r = Set({vb_int(Oid(kA), 1), vb_int(Oid(kB), 2), vb_str(Oid(kText), "third")});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(5u, r.error_status);
    EXPECT_EQ(2u, r.error_index);
    EXPECT_EQ(1u, g_mib_stub[kAObj].commits);
    EXPECT_EQ(0u, g_mib_stub[kBObj].commits);
    EXPECT_EQ(1u, g_mib_stub[kTextObj].commits);
    EXPECT_EQ(1u, g_mib_stub[kAObj].value);
    EXPECT_EQ(1u, r.varbinds[0].integer);  // answered before the failure
    EXPECT_EQ(2u, r.varbinds[1].integer);  // as sent
    EXPECT_EQ(1u, V(vol::snmpInGenErrs));
}

TEST_F(RequestTest, UnknownCommunityIsCountedUntilAKnownOneComes)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(Get({vb_null(Oid(kDescr))}, "intruder").ok);
    EXPECT_EQ(3u, V(vol::quorBadCommunityCount));
    EXPECT_EQ(3u, V(vol::snmpInBadCommunityUses));
    EXPECT_EQ(0, SlotsInUse());
    EXPECT_TRUE(Get({vb_null(Oid(kDescr))}, "public").ok);
    EXPECT_EQ(0u, V(vol::quorBadCommunityCount));
}

TEST_F(RequestTest, OtherPduTypesAreNotServed)
{
    EXPECT_FALSE(Ask(1, "administrator", SNMP_PDU_GETBULK, {vb_null(Oid(kDescr))}).ok);
    EXPECT_FALSE(Ask(1, "administrator", SNMP_PDU_TRAP2, {vb_null(Oid(kDescr))}).ok);
    EXPECT_EQ(2u, V(vol::snmpInGenErrs));
    EXPECT_EQ(0u, g_mib_stub_calls);
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(RequestTest, ProtectedNodesAreHiddenFromUsers)
{
    for (const char* user : {"public", "private", "nobody"}) {
        for (const oid_t& name : {Oid(kSecurity), Oid(kChap), Oid(kPanel)}) {
            response r = Get({vb_null(Oid(kDescr)), vb_null(name)}, user);
            ASSERT_TRUE(r.ok);
            EXPECT_EQ(2u, r.error_status) << user;
            EXPECT_EQ(2u, r.error_index) << user;
        }
        // A walk into the security node comes out after it.
        response r = Next({vb_null(O("ENT.4.2.6.5"))}, user);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(Oid(kAfter), r.varbinds[0].name) << user;
        EXPECT_EQ(66u, r.varbinds[0].integer);
    }
    EXPECT_EQ(0u, g_mib_stub[kSecurityObj].commits);

    response r = Get({vb_null(Oid(kSecurity)), vb_null(Oid(kChap)), vb_null(Oid(kPanel))});
    EXPECT_EQ(0u, r.error_status);
    r = Next({vb_null(O("ENT.4.2.6.5"))});
    EXPECT_EQ(Oid(kSecurity), r.varbinds[0].name);
    EXPECT_EQ("secret", r.varbinds[0].text);
}

class ControlModeTest : public RequestTest {
protected:
    std::string Code(uint8_t message)
    {
        return std::string("\xFF\xFF\x01\x03\x00", 5) + char(message) + std::string("\x12\x34\x7F\x00\x00\x01", 6);
    }
};

// In local mode central's sets are refused and served as gets; the refusal
// of an activation is recorded.
TEST_F(ControlModeTest, LocalModeRefusesCentralSets)
{
    SetV(vol::dmsControlMode, 2);
    set_text(kActivateObj, Code(9));
    response r = Set({vb_str(Oid(kActivate), Code(3)), vb_int(Oid(kA), 1)});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(5u, r.error_status);
    EXPECT_EQ(1u, r.error_index);
    EXPECT_EQ(Code(9), r.varbinds[0].text);  // what a get answers
    EXPECT_EQ(0x0A000009u, r.varbinds[1].integer);
    for (uint32_t o = 0; o < MIB_STUB_OBJECTS; ++o)
        EXPECT_EQ(0u, g_mib_stub[o].commits);
    EXPECT_EQ(0u, dlog().activations);
    EXPECT_EQ(9u, Nv(nv::dmsActivateMsgError));  // localMode
    EXPECT_EQ(0x80u, V(vol::shortErrorStatus) & 0x80);
    EXPECT_EQ(Code(3), VText(vol::dmsMessageCodeOfActivationError));
    EXPECT_EQ(1u, V(vol::snmpOutGenErrs));

    // Central override passes the gate.
    r = Set({vb_int(Oid(kMode), 5)});
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(5u, g_mib_stub[kModeObj].value);
}

TEST_F(ControlModeTest, TheLocalPortSetsOnlyInLocalMode)
{
    agent_.local = 1;
    SetV(vol::dmsControlMode, 2);
    response r = Set({vb_int(Oid(kA), 7)});
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(7u, g_mib_stub[kAObj].value);

    SetV(vol::dmsControlMode, 4);
    r = Set({vb_int(Oid(kA), 8)});
    EXPECT_EQ(5u, r.error_status);
    EXPECT_EQ(7u, g_mib_stub[kAObj].value);
}

TEST_F(ControlModeTest, ActivationRunsInTheCommitPass)
{
    response r = Set({vb_str(Oid(kActivate), Code(3))});
    EXPECT_EQ(0u, r.error_status);
    ASSERT_EQ(1u, dlog().activations);
    EXPECT_EQ(1, dlog().commit_at_activation[0]);

    dlog().activation_result = false;
    r = Set({vb_int(Oid(kA), 1), vb_str(Oid(kActivate), Code(4))});
    EXPECT_EQ(5u, r.error_status);
    EXPECT_EQ(2u, r.error_index);
    EXPECT_EQ(2u, dlog().activations);
}

TEST_F(RequestTest, TableWorkFollowsTheResponseOfASet)
{
    response r = Set({vb_int(Instance(kMsgStatus, {3, 1}), 6), vb_int(Instance(kGraphicStatus, {2}), 7),
                      vb_int(Instance(kMsgStatus, {3, 2}), 6)});
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(2u, dlog().message_table);
    EXPECT_EQ(1u, dlog().graphic_table);

    // A get of the same names asks for nothing.
    Get({vb_null(Instance(kMsgStatus, {3, 1})), vb_null(Instance(kGraphicStatus, {2}))});
    EXPECT_EQ(2u, dlog().message_table);
    EXPECT_EQ(1u, dlog().graphic_table);
}

// Reading the time-compatibility object (a get, or a walk passing it) must
// change nothing; only a SET that commits switches the tolerant mode on.
TEST_F(RequestTest, OnlyACommittedSetOfTimeCompatibilitySwitchesTheTolerantModeOn)
{
    Get({vb_null(Oid(kCompat))});
    Next({vb_null(Oid(kPanel))});
    EXPECT_FALSE(special_feature_bit5_enabled());

    // A SET refused on another varbind commits nothing.
    response refused = Set({vb_int(Oid(kCompat), 1), vb_int(Oid(kDescr), 1)});
    EXPECT_NE(0u, refused.error_status);
    EXPECT_FALSE(special_feature_bit5_enabled());

    response done = Set({vb_int(Oid(kCompat), 1)});
    EXPECT_EQ(0u, done.error_status);
    EXPECT_TRUE(special_feature_bit5_enabled());
}

// An aux I/O port's value may not exceed 2 to the power of its resolution.
TEST_F(RequestTest, AuxPortValueIsHeldToItsResolution)
{
    SetV(vol::auxIOPortResolution(2 + 111), 1);  // port type 2, port 2
    SetV(vol::auxIOPortResolution(0), 40);       // port type 1, port 1: 2^(40 mod 64) does not fit
    struct {
        oid_t name;
        uint32_t value, status;
    } cases[] = {
        {Instance(kAux, {2, 2}), 0, 0}, {Instance(kAux, {2, 2}), 1, 0}, {Instance(kAux, {2, 2}), 2, 0},
        {Instance(kAux, {2, 2}), 3, 3}, {Instance(kAux, {1, 1}), 0, 0}, {Instance(kAux, {1, 1}), 1, 3},
    };
    for (const auto& c : cases) {
        response r = Set({vb_int(c.name, c.value)});
        EXPECT_EQ(c.status, r.error_status) << dotted(c.name) << " = " << c.value;
    }
}

TEST_F(RequestTest, LongValuesReachTheHandlerWhole)
{
    // Any value a message the agent takes can carry fits the set value.
    response r = Set({vb_str(Oid(kText), std::string(2900, 'x'))});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(2900u, g_snmp_set_value.length);
    EXPECT_EQ(0u, V(vol::snmpInTooBigs));
    EXPECT_EQ(1u, g_mib_stub[kTextObj].commits);
}

TEST_F(RequestTest, GraphicBlockIsAnsweredAsAWholeBlock)
{
    response r = Get({vb_null(Instance(kBitmap, {1, 1}))});
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(1023u, r.varbinds[0].text.size());
    EXPECT_EQ("bits", r.varbinds[0].text.substr(0, 4));
    EXPECT_EQ(std::string(1019, '\0'), r.varbinds[0].text.substr(4));
}

TEST_F(RequestTest, RowOfAnUnknownSyntaxEndsTheRequest)
{
    trace_capture trace;
    EXPECT_FALSE(Get({vb_null(Oid(kBadSyntax))}).ok);
    EXPECT_TRUE(trace.contains("processPppPDU: type error, type = 3\n"));
    EXPECT_EQ(0, SlotsInUse());
}

TEST_F(RequestTest, PolledTrapAnswerTakesTheRequestOfSerialEndpointsOnly)
{
    static uint32_t asked;
    asked = 0;
    snmp_set_polled_trap_answer([](snmp_agent*) {
        ++asked;
        return true;
    });
    EXPECT_TRUE(Get({vb_null(Oid(kDescr))}).ok);  // "ethernet_udp" never asks
    EXPECT_EQ(0u, asked);
    std::strcpy(agent_.name, "aux_ppp");
    EXPECT_FALSE(Get({vb_null(Oid(kDescr))}).ok);
    EXPECT_EQ(1u, asked);
    EXPECT_EQ(0, SlotsInUse());
}

// One lock covers a whole set: two sets that run at once never leave a mix
// of their values, even when a handler gives the processor away mid-commit.
uintptr_t* var_slow(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                    uint32_t* value_length, snmp_request* record, int index)
{
    if (operation == MIB_SET && g_snmp_commit_indicator == 1)
        tx_thread_sleep(2);
    return var_stub_scalar(row, name, name_length, operation, value_length, record, index);
}

TEST_F(RequestTest, ConcurrentSetsNeverMixTheirValues)
{
    static const mib_variable rows[] = {
        mib_row(kA, MIB_INTEGER, kAObj, MIB_READ_WRITE, var_slow),
        mib_row(kB, MIB_INTEGER, kBObj, MIB_READ_WRITE, var_slow),
    };
    static const mib_group group = {"cls b", rows, 2};
    static const mib_group* const list[] = {&group};
    ASSERT_EQ(1, snmp_mib_build(list, 1));

    // Two agents, as the UDP and TCP endpoints have, each in its own thread.
    snmp_agent second{};
    std::unique_ptr<uint8_t[]> memory(new uint8_t[kMemory]);
    uint32_t used = 0;
    const uint8_t own[4] = {10, 0, 0, 9};
    ASSERT_EQ(0, snmp_agent_create(&second, "ethernet_tcp", 161, 162, own, memory.get(), kMemory, &used, 2048,
                                   processPppPdu, snmp_v3_hook, snmp_memory_net_drv, nullptr, nullptr));
    std::vector<uint8_t> one = request_message(0, "administrator", SNMP_PDU_SET, {vb_int(Oid(kA), 1), vb_int(Oid(kB), 1)});
    std::vector<uint8_t> two = request_message(0, "administrator", SNMP_PDU_SET, {vb_int(Oid(kB), 2), vb_int(Oid(kA), 2)});
    struct job {
        snmp_agent* agent;
        std::vector<uint8_t>* message;
    };
    static job jobs[2];
    jobs[0] = {&agent_, &one};
    jobs[1] = {&second, &two};
    TX_THREAD threads[2];
    static std::vector<uint8_t> stacks[2];
    for (ULONG t = 0; t < 2; ++t) {
        stacks[t].assign(4096, 0);
        ASSERT_EQ(TX_SUCCESS, tx_thread_create(
                                  &threads[t], "setter",
                                  [](ULONG input) {
                                      job& j = jobs[input];
                                      snmp_agent_process(j.agent, j.message->data(),
                                                         static_cast<uint32_t>(j.message->size()));
                                  },
                                  t, stacks[t].data(), 4096, 5, 5, 0, TX_AUTO_START));
    }
    rtos::advance(20);
    EXPECT_EQ(g_mib_stub[kAObj].value, g_mib_stub[kBObj].value);
    EXPECT_EQ(2u, g_mib_stub[kAObj].commits);
    EXPECT_EQ(1u, Transport().SentCount());
    EXPECT_EQ(1u, snmp_memory_transport_of(&second)->SentCount());
    for (TX_THREAD& t : threads)
        tx_thread_delete(&t);
    snmp_memory_transport_destroy(&second);
}

// An internal set holds the same lock: a SET that arrives meanwhile commits
// only after it, so it never writes while the database's switches are off.
bool g_internal_running = false;
std::vector<bool> g_commit_saw_internal;

uintptr_t* var_watching(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (operation == MIB_SET && g_snmp_commit_indicator == 1)
        g_commit_saw_internal.push_back(g_internal_running);
    return var_stub_scalar(row, name, name_length, operation, value_length, record, index);
}

TEST_F(RequestTest, SetWaitsForAnInternalSetInProgress)
{
    static const mib_variable rows[] = {mib_row(kA, MIB_INTEGER, kAObj, MIB_READ_WRITE, var_watching)};
    static const mib_group group = {"cls b", rows, 1};
    static const mib_group* const list[] = {&group};
    ASSERT_EQ(1, snmp_mib_build(list, 1));
    g_commit_saw_internal.clear();
    static std::vector<uint8_t> message;
    message = request_message(0, "administrator", SNMP_PDU_SET, {vb_int(Oid(kA), 9)});
    static snmp_agent* agent;
    agent = &agent_;
    TX_THREAD internal{}, manager{};
    static std::vector<uint8_t> stacks[2];
    for (auto& s : stacks)
        s.assign(4096, 0);
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(
                              &internal, "internal set",
                              [](ULONG) {
                                  snmp_set_guard guard;
                                  g_internal_running = true;
                                  tx_thread_sleep(5);
                                  g_internal_running = false;
                              },
                              0, stacks[0].data(), 4096, 6, 6, 0, TX_AUTO_START));
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(
                              &manager, "manager",
                              [](ULONG) {
                                  tx_thread_sleep(1);
                                  snmp_agent_process(agent, message.data(), static_cast<uint32_t>(message.size()));
                              },
                              0, stacks[1].data(), 4096, 5, 5, 0, TX_AUTO_START));
    rtos::advance(20);
    EXPECT_EQ(std::vector<bool>{false}, g_commit_saw_internal);
    EXPECT_EQ(9u, g_mib_stub[kAObj].value);
    tx_thread_delete(&internal);
    tx_thread_delete(&manager);
}

// BER helpers for requests the codec itself would never encode: values of
// types no object has, more varbinds than a record holds.
std::string Tlv(uint8_t tag, const std::string& content)
{
    std::string out(1, static_cast<char>(tag));
    if (content.size() < 128) {
        out += static_cast<char>(content.size());
    } else {
        out += '\x82';
        out += static_cast<char>(content.size() >> 8);
        out += static_cast<char>(content.size() & 0xFF);
    }
    return out + content;
}
std::string RawVarbind(const oid_t& name, const std::string& value)
{
    std::string oid = std::string(1, static_cast<char>(40 * name[0] + name[1]));
    for (size_t k = 2; k < name.size(); ++k) {
        uint32_t v = name[k];
        std::string groups(1, static_cast<char>(v & 0x7F));
        for (v >>= 7; v; v >>= 7)
            groups.insert(groups.begin(), static_cast<char>(0x80 | (v & 0x7F)));
        oid += groups;
    }
    return Tlv(0x30, Tlv(0x06, oid) + value);
}
std::vector<uint8_t> RawRequest(uint8_t pdu_tag, uint32_t version, const std::string& varbinds)
{
    const std::string zero(1, '\0');
    const std::string pdu = Tlv(pdu_tag, Tlv(0x02, "\x07") + Tlv(0x02, zero) + Tlv(0x02, zero) + Tlv(0x30, varbinds));
    const std::string m =
        Tlv(0x30, Tlv(0x02, std::string(1, static_cast<char>(version))) + Tlv(0x04, "administrator") + pdu);
    return std::vector<uint8_t>(m.begin(), m.end());
}
std::string Repeated(const std::string& varbind, size_t n)
{
    std::string all;
    for (size_t k = 0; k < n; ++k)
        all += varbind;
    return all;
}

// More varbinds than the agent keeps: tooBig for the whole request (both
// versions), nothing served, nothing set; an answer to the first ones only
// would look complete.
TEST_F(RequestTest, MoreVarbindsThanTheAgentKeepsAnswerTooBig)
{
    const std::string get = RawVarbind(Oid(kB), Tlv(0x05, ""));
    const std::string set = RawVarbind(Oid(kByte), Tlv(0x02, "\x63"));
    for (uint32_t version : {0u, 1u}) {
        for (uint8_t pdu : {uint8_t(0xA0), uint8_t(0xA3)}) {
            std::vector<response> out = Process(RawRequest(pdu, version, Repeated(pdu == 0xA0 ? get : set, 60)));
            ASSERT_EQ(1u, out.size()) << "version " << version;
            EXPECT_EQ(SNMP_PDU_RESPONSE, out[0].pdu_type);
            EXPECT_EQ(1u, out[0].error_status) << "version " << version;
            EXPECT_EQ(0u, out[0].error_index);
            EXPECT_TRUE(out[0].varbinds.empty());
        }
    }
    EXPECT_EQ(17u, g_mib_stub[kByteObj].value);
    // Exactly as many as it keeps are served.
    std::vector<response> out = Process(RawRequest(0xA0, 0, Repeated(get, SNMP_MAX_VARBINDS)));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(0u, out[0].error_status);
    EXPECT_EQ(SNMP_MAX_VARBINDS, out[0].varbinds.size());
}

// An answer that would not fit the 3000-byte message goes out as tooBig,
// in both versions.
TEST_F(RequestTest, AnAnswerTooLargeForTheMessageIsTooBig)
{
    set_text(kTextObj, std::string(MIB_STUB_BYTES, 'x'));
    for (uint32_t version : {0u, 1u}) {
        response r = Get(std::vector<vb>(SNMP_MAX_VARBINDS, vb_null(Oid(kText))), "administrator", version);
        ASSERT_TRUE(r.ok) << "version " << version;
        EXPECT_EQ(1u, r.error_status);
        EXPECT_EQ(0u, r.error_index);
        EXPECT_TRUE(r.varbinds.empty());
    }
    response r = Get(std::vector<vb>(30, vb_null(Oid(kText))));
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(30u, r.varbinds.size());
}

// A SET value no object can take is refused with an answer: badValue in
// SNMPv1, wrongType or wrongLength in v2c; the object keeps its value.
TEST_F(RequestTest, ASetValueOfTheWrongTypeOrSizeIsAnswered)
{
    struct {
        const char* what;
        std::string value;
        uint32_t v2_status;
    } cases[] = {
        {"INTEGER over 32 bits", Tlv(0x02, std::string("\x01\x00\x00\x00\x00", 5)), 8},
        {"INTEGER of 9 bytes", Tlv(0x02, std::string(9, '\x7F')), 8},
        {"1-byte IpAddress", Tlv(0x40, "\x0A"), 8},
        {"Gauge over 32 bits", Tlv(0x42, std::string("\x01\x00\x00\x00\x00", 5)), 8},
        {"Counter64", Tlv(0x46, "\x05"), 7},
        {"BIT STRING", Tlv(0x03, std::string("\x00\xFF", 2)), 7},
    };
    for (const auto& c : cases) {
        for (uint32_t version : {0u, 1u}) {
            std::vector<response> out = Process(RawRequest(0xA3, version, RawVarbind(Oid(kA), c.value)));
            ASSERT_EQ(1u, out.size()) << c.what << ", version " << version;
            const response& r = out[0];
            ASSERT_TRUE(r.ok) << c.what;
            EXPECT_EQ(version == 0 ? 3u : c.v2_status, r.error_status) << c.what << ", version " << version;
            EXPECT_EQ(1u, r.error_index) << c.what;
            ASSERT_EQ(1u, r.varbinds.size()) << c.what;
            EXPECT_EQ(0x0A000009u, g_mib_stub[kAObj].value) << c.what;
        }
    }
    // In a GET the value is not looked at.
    std::vector<response> out = Process(RawRequest(0xA0, 1, RawVarbind(Oid(kA), Tlv(0x46, "\x05"))));
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ(0u, out[0].error_status);
}

}  // namespace
