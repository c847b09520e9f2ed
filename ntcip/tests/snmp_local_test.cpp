// Get and set by OID text through the registry, as the start-up script, the
// web pages and the event logger use them: the registry's checks, the two
// passes, the database's switches and the bounds of the text and buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/bus/subscriber.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/local/snmp_local.h"
#include "ntcip/tests/agent_fixture.h"

namespace {

constexpr uint32_t kAll = 0xFFFFFFFF;

// A row over a volatile object whose write hook refuses the value 4 (a
// climate-control test activation), written with notification.
constexpr uint32_t kHooked[] = {1, 3, 6, 1, 2, 1, 1, 50, 0};

uintptr_t* var_hooked(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                      uint32_t* value_length, snmp_request* record, int index)
{
    using namespace dms_mib;
    if (header_exact(row, name, *name_length) != 0)
        return nullptr;
    const db_object o = vol::climateTestActivation(0);
    if (committing(operation)) {
        uint32_t result = write_value(o, false, g_snmp_set_value.integer);
        if (result != DB_OK)
            fail(record, result);
    }
    return answer_object(o, false, value_length, record, index);
}

const mib_variable kTestRows[] = {mib_row(kHooked, MIB_INTEGER, 0, MIB_READ_WRITE, var_hooked)};
const mib_group kTestGroup = {"cls b", kTestRows, 1};

std::string Text(const oid_t& o) { return dotted(o); }

class LocalAccessTest : public SnmpDbTest {
protected:
    void SetUp() override
    {
        SnmpDbTest::SetUp();
        Reset();
        ASSERT_EQ(OS_SUCCESS, os_event_create(&inbox_flags_, "inbox"));
        inbox_ = std::make_unique<subscriber>(&g_post_office, &inbox_flags_, 1, nullptr);
        static const uint32_t kLetters[] = {MSG_EVENT_CLASS_LIMIT, 0};
        inbox_->Subscribe(kLetters);
        SetV(vol::maxEventClasses, 16);
        SetV(vol::maxEventLogSize, 255);
    }
    void TearDown() override
    {
        inbox_.reset();
        SnmpDbTest::TearDown();
    }

    // The stub objects' values, and the registry of the stub and test groups.
    void Reset()
    {
        stub::build();
        const mib_group* groups[] = {&stub::kGroups[0], &stub::kGroups[1], &stub::kGroups[2],
                                     &stub::kGroups[3], &kTestGroup,        &g_global_report_group};
        ASSERT_EQ(1, snmp_mib_build(groups, 6));
    }

    uint32_t Letters()
    {
        uint32_t n = 0;
        letter_s* l = nullptr;
        while (inbox_->Receive(&l)) {
            ++n;
            inbox_->Release(l);
        }
        return n;
    }

    int GetInt(const std::string& oid, uint32_t* value)
    {
        return snmp_local_get_int(oid.data(), static_cast<uint32_t>(oid.size()), value);
    }
    int SetInt(const std::string& oid, uint32_t value, uint8_t switches = 0, uint32_t mask = kAll)
    {
        return snmp_local_set_int(oid.data(), static_cast<uint32_t>(oid.size()), value, switches, mask);
    }
    int SetText(const std::string& oid, const std::string& bytes, uint8_t switches = 0)
    {
        return snmp_local_set_octets(oid.data(), static_cast<uint32_t>(oid.size()),
                                     reinterpret_cast<const uint8_t*>(bytes.data()),
                                     static_cast<uint32_t>(bytes.size()), switches, kAll);
    }
    std::string GetText(const std::string& oid, uint32_t size = 64)
    {
        std::string out(size, '\0');
        uint32_t length = 0;
        if (!snmp_local_get_octets(oid.data(), static_cast<uint32_t>(oid.size()),
                                   reinterpret_cast<uint8_t*>(out.data()), size, &length))
            return "<failed>";
        out.resize(length);
        return out;
    }

    TX_EVENT_FLAGS_GROUP inbox_flags_{};
    std::unique_ptr<subscriber> inbox_;
};

TEST_F(LocalAccessTest, GetsOfEachForm)
{
    uint32_t v = 0;
    EXPECT_EQ(1, GetInt(Text(O("1.3.6.1.2.1.1.2.0")), &v));
    EXPECT_EQ(17u, v);
    // Any separator between the numbers.
    EXPECT_EQ(1, GetInt(" 1,3/6 1-2.1.1.3.0 ", &v));
    EXPECT_EQ(3u, v);
    // A column instance and a two-index instance.
    EXPECT_EQ(1, GetInt(Text(O("1.3.6.1.2.1.2.2.1.2.3")), &v));
    EXPECT_EQ(103u, v);
    EXPECT_EQ(1, GetInt(Text(O("ENT.2.1.1.3.1.2.2.3")), &v));
    EXPECT_EQ(8000u + 2000u + 3u, v);

    EXPECT_EQ("sign", GetText("1.3.6.1.2.1.1.1.0"));
    // A buffer shorter than the value takes its first bytes.
    EXPECT_EQ("ABCD", GetText("1.3.6.1.2.1.1.4.0", 4));

    char text[32] = {};
    uint32_t n = 0;
    const std::string code = "1.3.6.1.2.1.1.4.0";
    ASSERT_EQ(1, snmp_local_get_octets_decoded(code.data(), static_cast<uint32_t>(code.size()), text, sizeof text, &n));
    EXPECT_EQ("QUJDREVGR0hJSktM", std::string(text, n));
    // The text of 12 bytes needs 17 characters with its NUL.
    EXPECT_EQ(0, snmp_local_get_octets_decoded(code.data(), static_cast<uint32_t>(code.size()), text, 16, &n));

    uint32_t address = 0;
    g_mib_stub[2].value = 0x0A000009;
    const std::string choice = "1.3.6.1.2.1.1.3.0";
    EXPECT_EQ(1, snmp_local_get_ip(choice.data(), static_cast<uint32_t>(choice.size()), &address));
    EXPECT_EQ(0x0A000009u, address);
}

TEST_F(LocalAccessTest, GetsThatFail)
{
    uint32_t v = 99;
    struct {
        const char* what;
        std::string oid;
    } cases[] = {
        {"no such object", "1.3.6.1.2.1.1.99.0"},
        {"a scalar without its instance", "1.3.6.1.2.1.1.2"},
        {"a column index beyond the table", "1.3.6.1.2.1.2.2.1.2.4"},
        {"outside every subtree", "1.2.3"},
        {"empty", ""},
        {"no number at all", "...."},
        {"an integer asked of a string", "1.3.6.1.2.1.1.1.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(0, GetInt(c.oid, &v)) << c.what;
    EXPECT_EQ(99u, v);
    EXPECT_EQ("<failed>", GetText("1.3.6.1.2.1.1.2.0")) << "bytes asked of an integer";

    // 40 numbers are parsed (and name nothing here); 41 fail before the lookup.
    std::string forty = "1.3.6.1.2.1.1.2.0";
    for (int k = 9; k < 40; ++k)
        forty += ".1";
    uint32_t name[SNMP_LOCAL_MAX_SUBIDS], length = 0;
    EXPECT_EQ(1, snmp_local_parse_oid(forty.data(), static_cast<uint32_t>(forty.size()), name, &length));
    EXPECT_EQ(40u, length);
    const std::string fortyone = forty + ".1";
    EXPECT_EQ(0, snmp_local_parse_oid(fortyone.data(), static_cast<uint32_t>(fortyone.size()), name, &length));
    EXPECT_EQ(0, GetInt(fortyone, &v));

    // Null arguments.
    EXPECT_EQ(0, snmp_local_get_int(nullptr, 5, &v));
    EXPECT_EQ(0, snmp_local_get_int("1.3.6.1.2.1.1.2.0", 17, nullptr));
    EXPECT_EQ(0, snmp_local_get_octets("1.3.6.1.2.1.1.1.0", 17, nullptr, 4, &length));
}

TEST_F(LocalAccessTest, SetsThroughTheRegistry)
{
    struct {
        const char* what;
        std::string oid;
        uint32_t value;
        uint32_t mask;
        int result;
        uint32_t stored;  // the stub object's value afterwards
        uint32_t commits;
        uint32_t object;
    } cases[] = {
        {"in range", "1.3.6.1.2.1.1.2.0", 200, kAll, 1, 200, 1, 1},
        {"above the range", "1.3.6.1.2.1.1.2.0", 256, kAll, 0, 17, 0, 1},
        {"not in the value list", "1.3.6.1.2.1.1.3.0", 4, kAll, 0, 3, 0, 2},
        {"in the value list", "1.3.6.1.2.1.1.3.0", 5, kAll, 1, 5, 1, 2},
        {"a column instance", "1.3.6.1.2.1.2.2.1.2.2", 7, kAll, 1, 7, 1, 5},
        {"read-only: served as a get", "1.3.6.1.2.1.2.2.1.1.2", 7, kAll, 1, 0, 0, 4},
        {"outside the write mask", "1.3.6.1.2.1.1.2.0", 9, 0x400000, 0, 17, 0, 1},
        {"inside the write mask", "1.3.6.1.2.1.1.2.0", 9, 0x800000, 1, 9, 1, 1},
    };
    for (const auto& c : cases) {
        Reset();
        EXPECT_EQ(c.result, SetInt(c.oid, c.value, 0, c.mask)) << c.what;
        EXPECT_EQ(c.stored, g_mib_stub[c.object].value) << c.what;
        EXPECT_EQ(c.commits, g_mib_stub[c.object].commits) << c.what;
        EXPECT_EQ(1, g_snmp_commit_indicator) << c.what;
    }

    // Unknown objects and values of the wrong syntax write nothing.
    Reset();
    EXPECT_EQ(0, SetInt("1.3.6.1.2.1.1.99.0", 1));
    EXPECT_EQ(0, SetInt("1.3.6.1.2.1.1.4.0", 1)) << "an integer for a string";
    EXPECT_EQ(0, SetText("1.3.6.1.2.1.1.2.0", "x")) << "bytes for an integer";
    EXPECT_EQ(0, SetText("1.3.6.1.2.1.1.4.0", "short")) << "outside the length constraint";
    EXPECT_EQ(1, SetText("1.3.6.1.2.1.1.4.0", "0123456789AB"));
    EXPECT_EQ("0123456789AB", GetText("1.3.6.1.2.1.1.4.0"));
    for (uint32_t k = 0; k < MIB_STUB_OBJECTS; ++k)
        EXPECT_EQ(k == 3 ? 1u : 0u, g_mib_stub[k].commits) << k;
}

TEST_F(LocalAccessTest, CheckPassThenCommitPass)
{
    Reset();
    ASSERT_EQ(1, SetInt("1.3.6.1.2.1.1.2.0", 5));
    ASSERT_EQ(2u, g_mib_stub_calls);
    EXPECT_EQ(MIB_SET, g_mib_stub_log[0].operation);
    EXPECT_EQ(0, g_mib_stub_log[0].commit);
    EXPECT_EQ(1, g_mib_stub_log[1].commit);
    // A value refused in the check pass never reaches the commit pass.
    Reset();
    EXPECT_EQ(0, SetInt("1.3.6.1.2.1.1.2.0", 300));
    ASSERT_EQ(1u, g_mib_stub_calls);
    EXPECT_EQ(0, g_mib_stub_log[0].commit);
}

TEST_F(LocalAccessTest, AHandlersRefusalFailsTheSet)
{
    Reset();
    g_mib_stub[1].refuse = 2;  // the commit reports genErr and writes nothing
    EXPECT_EQ(0, SetInt("1.3.6.1.2.1.1.2.0", 5));
    EXPECT_EQ(17u, g_mib_stub[1].value);
}

TEST_F(LocalAccessTest, EncodedSets)
{
    Reset();
    const std::string code = "1.3.6.1.2.1.1.4.0";
    const std::string text = "QUJDREVGR0hJSktM";  // "ABCDEFGHIJKL"
    EXPECT_EQ(1, snmp_local_set_octets_encoded(code.data(), static_cast<uint32_t>(code.size()), text.data(),
                                               static_cast<uint32_t>(text.size()), 0, kAll, nullptr));
    EXPECT_EQ("ABCDEFGHIJKL", GetText(code));

    // The transform sees the decoded bytes and may rewrite them.
    static std::string seen;
    auto lower = [](const char* oid, uint32_t oid_length, uint8_t* bytes, uint32_t* count, uint32_t) {
        seen.assign(oid, oid_length);
        for (uint32_t i = 0; i < *count; ++i)
            bytes[i] = static_cast<uint8_t>(bytes[i] | 0x20);
    };
    EXPECT_EQ(1, snmp_local_set_octets_encoded(code.data(), static_cast<uint32_t>(code.size()), text.data(),
                                               static_cast<uint32_t>(text.size()), 0, kAll, lower));
    EXPECT_EQ(code, seen);
    EXPECT_EQ("abcdefghijkl", GetText(code));

    EXPECT_EQ(0, snmp_local_set_octets_encoded(code.data(), static_cast<uint32_t>(code.size()), "", 0, 0, kAll,
                                               nullptr));
    EXPECT_EQ(0, snmp_local_set_octets_encoded(code.data(), static_cast<uint32_t>(code.size()), nullptr, 4, 0, kAll,
                                               nullptr));
    // More bytes than one set carries.
    std::string big(4 * ((SNMP_LOCAL_MAX_OCTETS + 3) / 3), 'A');
    EXPECT_EQ(0, snmp_local_set_octets_encoded(code.data(), static_cast<uint32_t>(code.size()), big.data(),
                                               static_cast<uint32_t>(big.size()), 0, kAll, nullptr));
    std::string bytes(SNMP_LOCAL_MAX_OCTETS + 1, 'x');
    EXPECT_EQ(0, SetText(code, bytes));
}

TEST_F(LocalAccessTest, DatabaseSwitchesHoldForTheSetOnly)
{
    const std::string hooked = dotted(kHooked, sizeof kHooked / 4);
    const std::string limit = Text(O("ENT.4.2.6.4.6.1.2.3"));  // eventClassLimit.3
    db_->SetHooksEnabled(true);
    db_->SetNotifyEnabled(true);

    // Switches 0: the hook does not refuse, no change is announced.
    EXPECT_EQ(1, SetInt(hooked, 4, 0));
    EXPECT_EQ(4u, V(vol::climateTestActivation(0)));
    EXPECT_EQ(1, SetInt(limit, 10, 0));
    EXPECT_EQ(10u, Nv(nv::eventClassLimit(2)));
    EXPECT_EQ(0u, Letters());

    // Validation on: the hook refuses, nothing is written, the set fails.
    SetV(vol::climateTestActivation(0), 1);
    EXPECT_EQ(0, SetInt(hooked, 4, SNMP_LOCAL_VALIDATE));
    EXPECT_EQ(1u, V(vol::climateTestActivation(0)));
    EXPECT_EQ(1, SetInt(hooked, 3, SNMP_LOCAL_VALIDATE));
    EXPECT_EQ(3u, V(vol::climateTestActivation(0)));

    // Notification on: the change is announced.
    EXPECT_EQ(1, SetInt(limit, 11, SNMP_LOCAL_NOTIFY));
    EXPECT_EQ(1u, Letters());

    // Only the set's own writes were quiet; the database's switches are untouched.
    EXPECT_TRUE(db_->HooksEnabled());
    EXPECT_TRUE(db_->NotifyEnabled());
    EXPECT_EQ(0u, db_->QuietBits());
    // A quiet scope of the caller's own survives the set.
    const uint32_t outer = db_->BeginQuiet(DB_QUIET_NOTIFY);
    EXPECT_EQ(1, SetInt(limit, 13, SNMP_LOCAL_NOTIFY | SNMP_LOCAL_VALIDATE));
    EXPECT_EQ(0u, Letters());
    EXPECT_EQ(static_cast<uint32_t>(DB_QUIET_NOTIFY), db_->QuietBits());
    db_->EndQuiet(outer);
}

TEST_F(LocalAccessTest, ASetInsideARequestLeavesTheRequestsValues)
{
    Reset();
    g_snmp_community_mask = 0x400000;
    g_snmp_set_value.integer = 77;
    g_snmp_set_value.length = 4;
    ASSERT_EQ(1, SetText("1.3.6.1.2.1.1.4.0", "0123456789AB"));
    EXPECT_EQ(0x400000u, g_snmp_community_mask);
    EXPECT_EQ(77u, g_snmp_set_value.integer);
    EXPECT_EQ(4u, g_snmp_set_value.length);
}

TEST_F(LocalAccessTest, SetsFromAKernelThreadHoldTheSetLock)
{
    Reset();
    int result = 0;
    ASSERT_TRUE(rtos::run_in_thread([&] { result = SetInt("1.3.6.1.2.1.1.2.0", 42); }));
    EXPECT_EQ(1, result);
    EXPECT_EQ(42u, g_mib_stub[1].value);
    // Released again: another thread takes it at once.
    UINT status = TX_NOT_AVAILABLE;
    ASSERT_TRUE(rtos::run_in_thread([&] {
        status = tx_mutex_get(&g_snmp_protect_mutex, TX_NO_WAIT);
        if (status == TX_SUCCESS)
            tx_mutex_put(&g_snmp_protect_mutex);
    }));
    EXPECT_EQ(TX_SUCCESS, status);
}

}  // namespace
