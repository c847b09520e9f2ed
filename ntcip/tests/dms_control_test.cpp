// The sign control objects through request processing, byte for byte over
// the memory transport, with the sign's factory defaults in the database
// and the display's services stood in for by a log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/defaults.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/bus/subscriber.h"
#include "ntcip/mib/dms_control.h"
#include "ntcip/tests/agent_fixture.h"
#include "ntcip/tests/dms_fixture.h"

namespace {

using namespace dms;

// What the display's services were asked.
struct service_log {
    uint32_t activations = 0;
    bool activation_result = true;
    std::vector<std::string> activated;  // dmsActivateMessage at each activation
    uint32_t memory_calls = 0;
    std::vector<uint32_t> memory_seen;    // dmsMemoryMgmt at each call
    std::vector<uint8_t> memory_commit;   // the commit indicator at each call
};
service_log& slog()
{
    static service_log log;
    return log;
}

uint32_t vol_value(const db_object& o) { return g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_v, 0); }
std::string vol_text(const db_object& o)
{
    uint32_t n = 0;
    const uint8_t* p = g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_v, &n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
}

class DmsControlTest : public SnmpDbTest {
protected:
    void SetUp() override
    {
        SnmpDbTest::SetUp();
        // Written as the database's start writes them, past the write hooks.
        db_->SetHooksEnabled(false);
        defaults_sign_nv(*db_, 0);
        defaults_sign_v(*db_);
        db_->SetHooksEnabled(true);
        add_communities(*db_);
        build_registry();
        manager_.Create();
        snmp_network_settings_clear();
        slog() = service_log{};
        static const snmp_display_services services = {
            [] {
                ++slog().activations;
                slog().activated.push_back(vol_text(vol::dmsActivateMessage));
                return slog().activation_result;
            },
            nullptr,
            nullptr,
            [] {
                // As the display's service does: act on the value, then back to normal.
                ++slog().memory_calls;
                slog().memory_seen.push_back(vol_value(vol::dmsMemoryMgmt));
                slog().memory_commit.push_back(g_snmp_commit_indicator);
                g_pDataBase->SetValue(vol::dmsMemoryMgmt.offset, 1, 2, g_pDataBase->mib_v, DB_NOTIFY);
            },
        };
        snmp_set_display_services(&services);
    }
    void TearDown() override
    {
        snmp_set_display_services(nullptr);
        snmp_network_settings_clear();
        SnmpDbTest::TearDown();
    }
    void AfterKernelStop() override { manager_.Destroy(); }

    void SetNvBytes(const db_object& o, const std::string& s)
    {
        db_->SetString(o.offset, 4, s.data(), static_cast<uint32_t>(s.size()), db_->mib_nv, DB_NO_VALIDATE);
    }
    void SetVBytes(const db_object& o, const std::string& s)
    {
        db_->SetString(o.offset, 4, s.data(), static_cast<uint32_t>(s.size()), db_->mib_v, DB_NO_VALIDATE);
    }
    std::string NvText(const db_object& o)
    {
        uint32_t n = 0;
        const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &n);
        return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }
    uint32_t TakeFlags()
    {
        ULONG actual = 0;
        return tx_event_flags_get(&g_database_flags, 0xFFFFFFFF, TX_OR_CLEAR, &actual, TX_NO_WAIT) == TX_SUCCESS
                   ? actual
                   : 0;
    }

    manager manager_;
};

const std::string kCode = std::string("\x00\x0A\xC8\x03\x00\x02\x12\x34\x0A\x01\x02\x03", 12);
const std::string kLastCode = std::string("\xFF\xFF\xFF\x07\x00\x01\x00\x00\x00\x00\x00\x00", 12);

TEST_F(DmsControlTest, GetsAnswerWhatTheDatabaseHolds)
{
    SetNvBytes(nv::quorLastActivatedCode, kLastCode);
    SetVBytes(vol::dmsActivateMessage, kCode);  // the last request: not what a get answers
    SetNv(nv::dmsMessageTimeRemaining, 17);
    SetNvBytes(nv::dmsMsgTableSource, std::string("\x03\x00\x02\x12\x34", 5));
    SetNv(nv::dmsMsgRequesterID, 0x0A010203);
    SetNv(nv::dmsActivateMsgError, 7);
    SetVBytes(vol::dmsMessageCodeOfActivationError, kCode);
    struct {
        uint32_t object;
        uint16_t syntax;
        uint32_t integer;
        std::string text;
    } cases[] = {
        {kControlMode, SNMP_INTEGER, 4, ""},  // central at every start
        {kSWReset, SNMP_INTEGER, 0, ""},
        {kActivateMessage, SNMP_OCTET_STRING, 0, kLastCode},
        {kMessageTimeRemaining, SNMP_INTEGER, 17, ""},
        {kMsgTableSource, SNMP_OCTET_STRING, 0, std::string("\x03\x00\x02\x12\x34", 5)},
        {kMsgRequesterID, SNMP_IPADDRESS, 0, "\x0A\x01\x02\x03"},
        {kMsgSourceMode, SNMP_INTEGER, 11, ""},
        {kShortPowerLossTime, SNMP_INTEGER, 60, ""},
        {kMemoryMgmt, SNMP_INTEGER, 2, ""},
        {kActivateMsgError, SNMP_INTEGER, 7, ""},
        {kMultiSyntaxError, SNMP_INTEGER, 2, ""},
        {20, SNMP_OCTET_STRING, 0, ""},
        {22, SNMP_INTEGER, 0, ""},
        {kMessageCodeOfActivationError, SNMP_OCTET_STRING, 0, kCode},
        {kActivateMessageState, SNMP_INTEGER, 1, ""},
    };
    for (uint32_t version : {0u, 1u}) {
        std::vector<vb> all;
        for (const auto& c : cases)
            all.push_back(vb_null(Obj(c.object)));
        response r = manager_.Ask(version, "viewer", SNMP_PDU_GET, all);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(0u, r.error_status);
        ASSERT_EQ(all.size(), r.varbinds.size());
        for (size_t i = 0; i < all.size(); ++i) {
            EXPECT_EQ(cases[i].syntax, r.varbinds[i].syntax) << "object " << cases[i].object;
            EXPECT_EQ(cases[i].integer, r.varbinds[i].integer) << "object " << cases[i].object;
            EXPECT_EQ(cases[i].text, r.varbinds[i].text) << "object " << cases[i].object;
        }
    }
}

// A walk meets every object once, in order, and ends; passing dmsMemoryMgmt
// while it holds a request carries nothing out.
TEST_F(DmsControlTest, WalkVisitsTheGroupAndActsOnNothing)
{
    SetV(vol::dmsMemoryMgmt, 3);
    oid_t at = O("ENT.4.2.3");
    std::vector<oid_t> seen;
    for (int guard = 0; guard < 40; ++guard) {
        response r = manager_.Next({vb_null(at)});
        ASSERT_TRUE(r.ok);
        if (r.error_status != 0) {
            EXPECT_EQ(2u, r.error_status);
            EXPECT_EQ(at, r.varbinds[0].name);
            break;
        }
        at = r.varbinds[0].name;
        seen.push_back(at);
        if (at == Obj(kMemoryMgmt)) {
            EXPECT_EQ(3u, r.varbinds[0].integer);
        }
    }
    std::vector<oid_t> expected;
    for (uint32_t n = 1; n <= 25; ++n)
        expected.push_back(Obj(n));
    EXPECT_EQ(expected, seen);

    response r = manager_.Get({vb_null(Obj(kMemoryMgmt))});
    EXPECT_EQ(3u, r.varbinds[0].integer);
    EXPECT_EQ(0u, slog().memory_calls);
    EXPECT_EQ(3u, V(vol::dmsMemoryMgmt));
}

TEST_F(DmsControlTest, SetsStoreTheValueAndAnswerIt)
{
    const std::string id = std::string("\x03\x00\x02\x12\x34", 5);
    struct {
        vb value;
        db_object object;
        bool nv;
    } cases[] = {
        {vb_int(Obj(kSWReset), 1), nv::dmsSWReset, true},
        {vb_int(Obj(kMessageTimeRemaining), 30), nv::dmsMessageTimeRemaining, true},
        {vb_str(Obj(kShortPowerRecoveryMessage), id), nv::dmsShortPowerRecoveryMessage, true},
        {vb_str(Obj(9), id), nv::dmsLongPowerRecoveryMessage, true},
        {vb_int(Obj(kShortPowerLossTime), 90), nv::dmsShortPowerLossTime, true},
        {vb_str(Obj(11), id), nv::dmsResetMessage, true},
        {vb_str(Obj(12), id), nv::dmsCommunicationsLossMessage, true},
        {vb_int(Obj(kTimeCommLoss), 15), nv::dmsTimeCommLoss, true},
        {vb_str(Obj(14), id), nv::dmsPowerLossMessage, true},
        {vb_str(Obj(kEndDurationMessage), id), nv::dmsEndDurationMessage, true},
        {vb_int(Obj(21), 100), vol::vmsPixelServiceDuration, false},
        {vb_int(Obj(22), 1440), vol::vmsPixelServiceFrequency, false},
        {vb_int(Obj(23), 720), vol::vmsPixelServiceTime, false},
    };
    for (const auto& c : cases) {
        response r = manager_.Set({c.value});
        ASSERT_TRUE(r.ok) << dotted(c.value.name);
        EXPECT_EQ(0u, r.error_status) << dotted(c.value.name);
        EXPECT_EQ(c.value.integer, r.varbinds[0].integer) << dotted(c.value.name);
        EXPECT_EQ(c.value.text, r.varbinds[0].text) << dotted(c.value.name);
        if (c.value.syntax == SNMP_INTEGER) {
            EXPECT_EQ(c.value.integer, c.nv ? Nv(c.object) : V(c.object)) << dotted(c.value.name);
        } else {
            EXPECT_EQ(c.value.text, NvText(c.object)) << dotted(c.value.name);
        }
    }
    EXPECT_EQ(0u, slog().activations);
}

// The stored request is not announced: the activation follows at once, and a
// notice would have the display task arbitrate it a second time. Other
// writes are announced.
TEST_F(DmsControlTest, ActivationCodeIsStoredWithoutNoticeAndActivatedOnce)
{
    SetNvBytes(nv::quorLastActivatedCode, kLastCode);
    TakeFlags();
    response r = manager_.Set({vb_str(Obj(kActivateMessage), kCode)}, "operator");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(kCode, r.varbinds[0].text);  // the request as stored
    EXPECT_EQ(kCode, vol_text(vol::dmsActivateMessage));
    EXPECT_EQ(std::vector<std::string>{kCode}, slog().activated);
    EXPECT_EQ(0u, TakeFlags() & (1u << 14));

    // A get answers the code of the message that became active.
    r = manager_.Get({vb_null(Obj(kActivateMessage))});
    EXPECT_EQ(kLastCode, r.varbinds[0].text);

    manager_.Set({vb_int(Obj(kTimeCommLoss), 25)});
    EXPECT_NE(0u, TakeFlags() & (1u << 15));

    // A failed activation answers genErr at its varbind; the code stays stored.
    slog().activation_result = false;
    const std::string other = std::string("\x00\x0A\xC8\x03\x00\x03\x12\x34\x0A\x01\x02\x03", 12);
    r = manager_.Set({vb_int(Obj(kTimeCommLoss), 26), vb_str(Obj(kActivateMessage), other)});
    EXPECT_EQ(5u, r.error_status);
    EXPECT_EQ(2u, r.error_index);
    EXPECT_EQ(other, vol_text(vol::dmsActivateMessage));
    EXPECT_EQ(26u, Nv(nv::dmsTimeCommLoss));
    EXPECT_EQ(2u, slog().activations);
}

TEST_F(DmsControlTest, RefusedSetsWriteNothing)
{
    const std::string id = std::string("\x03\x00\x02\x12\x34", 5);
    struct {
        const char* what;
        const char* community;
        std::vector<vb> vbs;
        uint32_t status, index;
    } cases[] = {
        {"read-only object", "administrator", {vb_str(Obj(kMsgTableSource), id)}, 2, 1},
        {"read-only second", "administrator", {vb_int(Obj(kTimeCommLoss), 5), vb_int(Obj(kActivateMsgError), 2)}, 2, 2},
        {"activation code of 11 bytes", "administrator", {vb_str(Obj(kActivateMessage), kCode.substr(1))}, 3, 1},
        {"activation code of 13 bytes", "administrator", {vb_str(Obj(kActivateMessage), kCode + "x")}, 3, 1},
        {"activation code as integer", "administrator", {vb_int(Obj(kActivateMessage), 7)}, 3, 1},
        {"message ID of 4 bytes", "administrator", {vb_str(Obj(kEndDurationMessage), id.substr(1))}, 3, 1},
        {"control mode 7", "administrator", {vb_int(Obj(kControlMode), 7)}, 3, 1},
        {"control mode 0", "administrator", {vb_int(Obj(kControlMode), 0)}, 3, 1},
        {"memory management 5", "administrator", {vb_int(Obj(kMemoryMgmt), 5)}, 3, 1},
        {"reset 2", "administrator", {vb_int(Obj(kSWReset), 2)}, 3, 1},
        {"pixel service frequency 1441", "administrator", {vb_int(Obj(22), 1441)}, 3, 1},
        {"bad value, then more", "administrator", {vb_int(Obj(kTimeCommLoss), 5), vb_int(Obj(kSWReset), 9)}, 3, 2},
        {"no right to the control mode", "operator", {vb_int(Obj(kControlMode), 5)}, 2, 1},
        {"no right to the reset", "operator", {vb_int(Obj(kSWReset), 1)}, 2, 1},
        {"no right at all", "viewer", {vb_int(Obj(kTimeCommLoss), 5)}, 2, 1},
        {"no right to memory management", "operator", {vb_int(Obj(kMemoryMgmt), 3)}, 2, 1},
    };
    const uint32_t comm_loss = Nv(nv::dmsTimeCommLoss);
    const std::string end_duration = NvText(nv::dmsEndDurationMessage);
    for (const auto& c : cases) {
        response r = manager_.Set(c.vbs, c.community);
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(c.status, r.error_status) << c.what;
        EXPECT_EQ(c.index, r.error_index) << c.what;
        // Returned as sent.
        ASSERT_EQ(c.vbs.size(), r.varbinds.size()) << c.what;
        for (size_t i = 0; i < c.vbs.size(); ++i) {
            EXPECT_EQ(c.vbs[i].syntax, r.varbinds[i].syntax) << c.what;
            EXPECT_EQ(c.vbs[i].text, r.varbinds[i].text) << c.what;
        }
        EXPECT_EQ(4u, V(vol::dmsControlMode)) << c.what;
        EXPECT_EQ(0u, Nv(nv::dmsSWReset)) << c.what;
        EXPECT_EQ(comm_loss, Nv(nv::dmsTimeCommLoss)) << c.what;
        EXPECT_EQ(end_duration, NvText(nv::dmsEndDurationMessage)) << c.what;
        EXPECT_EQ("", vol_text(vol::dmsActivateMessage)) << c.what;
        EXPECT_EQ(0u, V(vol::vmsPixelServiceFrequency)) << c.what;
    }
    EXPECT_EQ(0u, slog().activations);
    EXPECT_EQ(0u, slog().memory_calls);

    // A community the controller does not know gets no answer at all.
    EXPECT_FALSE(manager_.Set({vb_str(Obj(kActivateMessage), kCode)}, "intruder").ok);
    EXPECT_EQ("", vol_text(vol::dmsActivateMessage));
    EXPECT_EQ(0u, slog().activations);
    EXPECT_EQ(1u, V(vol::quorBadCommunityCount));
}

// Only local may hand over to central override; a set to the mode in force
// is refused like any other.
TEST_F(DmsControlTest, ControlModeIsTheDatabasesDecision)
{
    struct {
        uint8_t mode;
        bool local_agent;
        uint32_t value, status, after;
    } cases[] = {
        {4, false, 4, 3, 4},  // the mode it already has
        {4, false, 5, 3, 4},
        {4, false, 2, 3, 4},
        {2, false, 5, 0, 5},  // central override takes over from local
        {2, true, 2, 3, 2},   // the mode it already has, from the local port
        {2, true, 4, 3, 2},
        {2, false, 4, 5, 2},  // the gate refuses central in local mode
        {5, false, 4, 3, 5},
    };
    for (const auto& c : cases) {
        SetV(vol::dmsControlMode, c.mode);
        manager_.agent_.local = c.local_agent ? 1 : 0;
        response r = manager_.Set({vb_int(Obj(kControlMode), c.value)});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(c.status, r.error_status) << int(c.mode) << " -> " << c.value;
        EXPECT_EQ(c.after, V(vol::dmsControlMode)) << int(c.mode) << " -> " << c.value;
    }
}

// No undo: the varbinds before a refused commit stay written and those after
// it are still committed; the response names the refused one.
TEST_F(DmsControlTest, RefusalInTheCommitKeepsTheOtherVarbinds)
{
    response r = manager_.Set(
        {vb_int(Obj(kTimeCommLoss), 30), vb_int(Obj(kControlMode), 4), vb_int(Obj(kShortPowerLossTime), 77)});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(3u, r.error_status);
    EXPECT_EQ(2u, r.error_index);
    EXPECT_EQ(30u, Nv(nv::dmsTimeCommLoss));
    EXPECT_EQ(77u, Nv(nv::dmsShortPowerLossTime));
    EXPECT_EQ(4u, V(vol::dmsControlMode));
    EXPECT_EQ(1u, V(vol::snmpInBadValues));
}

// Memory management clears messages, files and the flash journal: it is
// carried out for a committed set only, once, never for a read.
TEST_F(DmsControlTest, MemoryManagementActsOnlyOnACommittedSet)
{
    SetV(vol::dmsMemoryMgmt, 3);
    EXPECT_EQ(3u, manager_.Get({vb_null(Obj(kMemoryMgmt))}).varbinds[0].integer);
    EXPECT_EQ(Obj(kMemoryMgmt), manager_.Next({vb_null(Obj(kEndDurationMessage))}).varbinds[0].name);
    // A check pass that fails (a NULL is no INTEGER) commits nothing.
    EXPECT_EQ(3u, manager_.Set({vb_int(Obj(kTimeCommLoss), 3), vb_null(Obj(kMemoryMgmt))}).error_status);
    EXPECT_EQ(0u, slog().memory_calls);
    SetV(vol::dmsMemoryMgmt, 2);

    response r = manager_.Set({vb_int(Obj(kMemoryMgmt), 4)});
    EXPECT_EQ(0u, r.error_status);
    EXPECT_EQ(4u, r.varbinds[0].integer);  // as written, before the service put it back
    EXPECT_EQ(std::vector<uint32_t>{4}, slog().memory_seen);
    EXPECT_EQ(std::vector<uint8_t>{1}, slog().memory_commit);
    EXPECT_EQ(2u, V(vol::dmsMemoryMgmt));

    // Refused sets carry nothing out either.
    manager_.Set({vb_int(Obj(kMemoryMgmt), 3), vb_int(Obj(kSWReset), 9)});
    SetV(vol::dmsControlMode, 2);
    EXPECT_EQ(5u, manager_.Set({vb_int(Obj(kMemoryMgmt), 3)}).error_status);
    EXPECT_EQ(1u, slog().memory_calls);
}

// A reset requested after network settings changed has them written out
// first.
TEST_F(DmsControlTest, ResetRequestPublishesPendingNetworkSettings)
{
    subscriber listener(&g_post_office, nullptr, 1, nullptr);
    static const uint32_t ids[] = {MSG_NETWORK_CONFIG_CHANGED, 0};
    ASSERT_EQ(1, listener.Subscribe(ids));
    letter_s* letter = nullptr;

    EXPECT_EQ(0u, manager_.Set({vb_int(Obj(kSWReset), 1)}).error_status);
    EXPECT_EQ(1u, Nv(nv::dmsSWReset));
    EXPECT_FALSE(listener.Receive(&letter));

    snmp_network_settings_changed();
    SetNv(nv::dmsSWReset, 0);
    EXPECT_EQ(0u, manager_.Set({vb_int(Obj(kSWReset), 1)}).error_status);
    EXPECT_EQ(1u, Nv(nv::dmsSWReset));
    ASSERT_TRUE(listener.Receive(&letter));
    EXPECT_EQ(static_cast<uint32_t>(MSG_NETWORK_CONFIG_CHANGED), letter->Id());
    listener.Release(letter);
    EXPECT_FALSE(listener.Receive(&letter));
    listener.Unsubscribe();
}

}  // namespace
