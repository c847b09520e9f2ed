// Central message activation as a manager does it: a SET of
// dmsActivateMessage through the memory transport and request processing,
// activated at once by the display's own activation service with the display
// task running (7 x 15 sign, messages "A" and "B" stored and valid).
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "display/task/display_lock.h"
#include "display/tests/activation_fixture.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/tests/dms_fixture.h"

namespace {

using namespace dms;

class DmsActivationTest : public ActivationTest {
protected:
    void SetUp() override
    {
        ActivationTest::SetUp();
        snmp_entry();
        build_registry();
        add_communities(*db_);
        SetVol(vol::dmsControlMode, 4);
        crcA_ = StoreChangeable(1, "A");
        crcB_ = StoreChangeable(2, "B");
        // As start-up gives them to the agent.
        static const snmp_display_services services = {
            [] { return !display_activate_message(); },
            display_process_message_table,
            display_process_graphic_table,
            nullptr,
        };
        snmp_set_display_services(&services);
        snmp_set_activation_check(display_check_activation);
        manager_.Create();
    }
    void TearDown() override
    {
        snmp_set_display_services(nullptr);
        snmp_set_activation_check(nullptr);
        snmp_db_services_shutdown();
        ActivationTest::TearDown();
        manager_.Destroy();
        second_.Destroy();
    }

    Bytes A() const { return Code(3, 1, crcA_, 255, 0xFFFF, {10, 1, 2, 3}); }
    Bytes B() const { return Code(3, 2, crcB_, 255, 0xFFFF, {10, 1, 2, 4}); }
    static Bytes Blank() { return Code(7, 1, 0); }
    Bytes IdOf(uint8_t type, uint16_t number, uint16_t crc) const
    {
        return {type, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number),
                static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
    }
    response Activate(const Bytes& code, const std::string& community = "operator")
    {
        return manager_.Set({vb_str(Obj(kActivateMessage), Text(code))}, community);
    }
    uint32_t ShortErrorStatus() { return Vol(vol::shortErrorStatus); }

    uint16_t crcA_ = 0, crcB_ = 0;
    manager manager_;
    manager second_;  // a second endpoint's agent, when a test needs one
};

TEST_F(DmsActivationTest, StoredAndBlankMessagesAreActivatedAtOnce)
{
    response r = Activate(A());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(Text(A()), r.varbinds[0].text);
    EXPECT_EQ(Running(), "A");
    EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), IdOf(3, 1, crcA_));
    EXPECT_EQ(Nv(nv::dmsMsgRequesterID), 0x0A010203u);
    EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 8u);  // central
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), static_cast<uint32_t>(ACTIVATE_NONE));
    EXPECT_EQ(VolCode(vol::activationSlotCode(6)), A());

    // What a manager reads back.
    r = manager_.Get({vb_null(Obj(kActivateMessage)), vb_null(Obj(kMsgTableSource)), vb_null(Obj(kMsgRequesterID)),
                      vb_null(Obj(kActivateMsgError))},
                     "viewer");
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(Text(A()), r.varbinds[0].text);
    EXPECT_EQ(Text(IdOf(3, 1, crcA_)), r.varbinds[1].text);
    EXPECT_EQ("\x0A\x01\x02\x03", r.varbinds[2].text);
    EXPECT_EQ(2u, r.varbinds[3].integer);

    r = Activate(Blank());
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(Running(), "");
    EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_BLANK);
    EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), IdOf(7, 1, 0));
    EXPECT_EQ(NvBytes(nv::quorLastActivatedCode), Blank());

    // The display task's next steps keep what the agent activated.
    r = Activate(B());
    EXPECT_EQ(0u, r.error_status);
    RunToStep(3);
    EXPECT_EQ(Running(), "B");
    EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), IdOf(3, 2, crcB_));
}

TEST_F(DmsActivationTest, WrongCommunityChangesNothing)
{
    ASSERT_EQ(0u, Activate(A()).error_status);
    response r = Activate(B(), "viewer");  // no right to activate
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(2u, r.error_status);
    EXPECT_EQ(1u, r.error_index);
    EXPECT_FALSE(Activate(B(), "operators").ok);  // unknown: no answer
    EXPECT_EQ(Running(), "A");
    EXPECT_EQ(VolCode(vol::dmsActivateMessage), A());
    EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), IdOf(3, 1, crcA_));
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), static_cast<uint32_t>(ACTIVATE_NONE));
}

// A SET from central in local mode is refused: genErr, and the activation
// error objects say why; the running message stays.
TEST_F(DmsActivationTest, LocalModeAnswersGenErrAndSaysWhy)
{
    ASSERT_EQ(0u, Activate(A()).error_status);
    SetVol(vol::dmsControlMode, 2);
    response r = Activate(B());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(5u, r.error_status);
    EXPECT_EQ(1u, r.error_index);
    EXPECT_EQ(Text(A()), r.varbinds[0].text);  // what a get answers
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), 9u);  // localMode
    EXPECT_EQ(ShortErrorStatus() & 0x80, 0x80u);
    EXPECT_EQ(VolCode(vol::dmsMessageCodeOfActivationError), B());
    EXPECT_EQ(VolCode(vol::dmsActivateMessage), A());
    EXPECT_EQ(Running(), "A");

    // A code the table itself refuses is recorded with the table's reason.
    Bytes bad_crc = Code(3, 2, crcB_ ^ 1);
    EXPECT_EQ(5u, Activate(bad_crc).error_status);
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), static_cast<uint32_t>(ACTIVATE_MESSAGE_CRC));

    // The laptop port's agent is the local operator.
    manager_.agent_.local = 1;
    EXPECT_EQ(0u, Activate(B()).error_status);
    EXPECT_EQ(Running(), "B");
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), static_cast<uint32_t>(ACTIVATE_NONE));
    EXPECT_EQ(ShortErrorStatus() & 0x80, 0u);
}

// An activation the display refuses answers genErr at its varbind; the code
// stays stored and the error objects say why.
TEST_F(DmsActivationTest, RefusedActivationAnswersGenErr)
{
    ASSERT_EQ(0u, Activate(A()).error_status);
    WriteRow(msg_main_row(2), "C", MSG_STATUS_NOT_USED, 0);
    struct {
        Bytes code;
        uint32_t error;
    } cases[] = {
        {Code(3, 3, 0), ACTIVATE_MESSAGE_STATUS},
        {Code(3, 2, crcB_ ^ 1), ACTIVATE_MESSAGE_CRC},
        {Code(3, 0, 0), ACTIVATE_MESSAGE_NUMBER},
        {Code(1, 1, 0), ACTIVATE_MEMORY_TYPE},
        {Code(3, 2, crcB_, 0), ACTIVATE_PRIORITY},  // below the running message's priority
    };
    for (const auto& c : cases) {
        response r = manager_.Set({vb_int(Obj(kTimeCommLoss), 9), vb_str(Obj(kActivateMessage), Text(c.code))});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(5u, r.error_status) << c.error;
        EXPECT_EQ(2u, r.error_index) << c.error;
        EXPECT_EQ(Nv(nv::dmsActivateMsgError), c.error);
        EXPECT_EQ(VolCode(vol::dmsMessageCodeOfActivationError), c.code);
        EXPECT_EQ(VolCode(vol::dmsActivateMessage), c.code);
        EXPECT_EQ(ShortErrorStatus() & 0x80, 0x80u);
        EXPECT_EQ(Running(), "A");
        r = manager_.Get({vb_null(Obj(kActivateMessage)), vb_null(Obj(kActivateMsgError))});
        EXPECT_EQ(Text(A()), r.varbinds[0].text);
        EXPECT_EQ(c.error, r.varbinds[1].integer);
    }
}

// What the activation of each SET ran, in the SET's own thread: a SET must
// activate the code it stored, not another manager's.
thread_local std::string t_requested;
std::atomic<uint32_t> g_foreign_activations{0};

bool checked_activation()
{
    const bool failed = display_activate_message();
    uint32_t n = 0;
    const uint8_t* p = g_pDataBase->GetString(nv::quorLastActivatedCode.offset, 4, g_pDataBase->mib_nv, &n);
    if (!p || std::string(reinterpret_cast<const char*>(p), n) != t_requested)
        ++g_foreign_activations;
    return !failed;
}

// Two managers set at once, each in its own receive thread, while the
// display is busy now and then (a step that a more urgent receive thread
// interrupted, holding the display lock): every SET is answered with its own
// values, activates its own code, and the pairs written together are never
// mixed.
TEST_F(DmsActivationTest, TwoManagersSettingAtOnceStayApart)
{
    static const snmp_display_services services = {checked_activation, display_process_message_table,
                                                   display_process_graphic_table, nullptr};
    snmp_set_display_services(&services);
    g_foreign_activations = 0;
    second_.Create("ethernet_tcp");
    constexpr uint32_t kRounds = 20;
    struct job {
        manager* m;
        std::vector<std::vector<vb>> requests;
        std::vector<std::string> wrong;
        bool done = false;
    };
    static job jobs[2];
    jobs[0] = job{&manager_, {}, {}, false};
    jobs[1] = job{&second_, {}, {}, false};
    const Bytes codes[2][2] = {{A(), Blank()}, {B(), Code(7, 2, 0)}};
    for (uint32_t t = 0; t < 2; ++t)
        for (uint32_t i = 0; i < kRounds; ++i) {
            const uint32_t v = 1000 * (t + 1) + i;
            jobs[t].requests.push_back({vb_int(Obj(kTimeCommLoss), v),
                                        vb_str(Obj(kActivateMessage), Text(codes[t][i % 2])),
                                        vb_int(Obj(kShortPowerLossTime), v)});
        }
    static CDisplay* display;
    display = display_.get();
    TX_THREAD threads[3];
    static std::vector<uint8_t> stacks[3];
    for (auto& stack : stacks)
        stack.assign(8192, 0);
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(
                              &threads[2], const_cast<char*>("busy display"),
                              [](ULONG) {
                                  while (!(jobs[0].done && jobs[1].done)) {
                                      {
                                          display_lock lock(display);
                                          tx_thread_sleep(3);
                                      }
                                      tx_thread_sleep(2);
                                  }
                              },
                              0, stacks[2].data(), 8192, 10, 10, 0, TX_AUTO_START));
    for (ULONG t = 0; t < 2; ++t) {
        ASSERT_EQ(TX_SUCCESS, tx_thread_create(
                                  &threads[t], const_cast<char*>("setter"),
                                  [](ULONG input) {
                                      job& j = jobs[input];
                                      for (const auto& request : j.requests) {
                                          t_requested = request[1].text;
                                          response r = j.m->Process(1, "administrator", SNMP_PDU_SET, request);
                                          bool same = r.ok && r.error_status == 0 && r.varbinds.size() == 3;
                                          for (size_t k = 0; same && k < 3; ++k)
                                              same = r.varbinds[k].text == request[k].text &&
                                                     r.varbinds[k].integer == request[k].integer;
                                          if (!same)
                                              j.wrong.push_back(std::to_string(request[0].integer));
                                          tx_thread_sleep(1);
                                      }
                                      j.done = true;
                                  },
                                  t, stacks[t].data(), 8192, 20, 20, 0, TX_AUTO_START));
    }
    for (uint32_t tick = 0; tick < 4000 && !(jobs[0].done && jobs[1].done); tick += 5)
        rtos::advance(5);
    rtos::advance(10);
    ASSERT_TRUE(jobs[0].done && jobs[1].done);
    for (const job& j : jobs)
        EXPECT_TRUE(j.wrong.empty()) << j.wrong.size() << " wrong answers, first "
                                     << (j.wrong.empty() ? "" : j.wrong.front());
    EXPECT_EQ(0u, g_foreign_activations.load());
    EXPECT_EQ(Nv(nv::dmsTimeCommLoss), Nv(nv::dmsShortPowerLossTime));
    // The last request stored is the one that runs.
    const Bytes last = VolCode(vol::dmsActivateMessage);
    EXPECT_EQ(NvBytes(nv::quorLastActivatedCode), last);
    EXPECT_EQ(Nv(nv::dmsActivateMsgError), static_cast<uint32_t>(ACTIVATE_NONE));
    const std::string expected = last == A() ? "A" : last == B() ? "B" : "";
    EXPECT_EQ(Running(), expected);
    for (TX_THREAD& t : threads)
        tx_thread_delete(&t);
}

}  // namespace
