// The event log over a parameter database and a registry of the event-log
// objects and a few watched objects whose values the tests set: a logger of
// the test's own, the global time under the test's control, and the trap
// admission queuing into a buffer of the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/defaults.h"
#include "ntcip/eventlog/event_logging.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/trap/trap_capture.h"
#include "ntcip/tests/agent_fixture.h"
#include "ntcip/tests/snmp_test_util.h"

namespace evlog {

// Watched objects, by column.
enum : uint8_t {
    kInt,
    kText,
    kCounter,
    kOpaque,
    kOid,
    kAddress,
    kGauge,
    kTicks,
    kDoor,      // dmsStatDoorOpen.0, on the start-up deferral list
    kSecurity,  // an object under the community-name node
    kWatched,
};

struct watched_value {
    uint32_t integer = 0;
    std::string bytes;
};
inline watched_value g_watched[kWatched];

inline uintptr_t* var_watched(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                              uint32_t* value_length, snmp_request* record, int index)
{
    if (header_exact(row, name, *name_length) != 0)
        return nullptr;
    const watched_value& w = g_watched[row->column];
    switch (row->syntax) {
    case MIB_OCTET_STRING:
    case MIB_OPAQUE:
    case MIB_OBJECT_ID:
        return dms_mib::answer_bytes(reinterpret_cast<const uint8_t*>(w.bytes.data()),
                                     static_cast<uint32_t>(w.bytes.size()), value_length, record, index);
    default:
        return dms_mib::answer_integer(w.integer, value_length, record, index);
    }
}

#define W 1, 3, 6, 1, 2, 1, 1
inline constexpr uint32_t kIntOid[] = {W, 60, 0};
inline constexpr uint32_t kTextOid[] = {W, 61, 0};
inline constexpr uint32_t kCounterOid[] = {W, 62, 0};
inline constexpr uint32_t kOpaqueOid[] = {W, 63, 0};
inline constexpr uint32_t kOidOid[] = {W, 64, 0};
inline constexpr uint32_t kAddressOid[] = {W, 65, 0};
inline constexpr uint32_t kGaugeOid[] = {W, 66, 0};
inline constexpr uint32_t kTicksOid[] = {W, 67, 0};
#undef W
inline constexpr uint32_t kDoorOid[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 6, 0};
inline constexpr uint32_t kSecurityOid[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5, 1, 0};

inline const mib_variable kClsB[] = {
    mib_row(kIntOid, MIB_INTEGER, kInt, MIB_READ_ONLY, var_watched),
    mib_row(kTextOid, MIB_OCTET_STRING, kText, MIB_READ_ONLY, var_watched),
    mib_row(kCounterOid, MIB_COUNTER, kCounter, MIB_READ_ONLY, var_watched),
    mib_row(kOpaqueOid, MIB_OPAQUE, kOpaque, MIB_READ_ONLY, var_watched),
    mib_row(kOidOid, MIB_OBJECT_ID, kOid, MIB_READ_ONLY, var_watched),
    mib_row(kAddressOid, MIB_IPADDRESS, kAddress, MIB_READ_ONLY, var_watched),
    mib_row(kGaugeOid, MIB_GAUGE, kGauge, MIB_READ_ONLY, var_watched),
    mib_row(kTicksOid, MIB_TIMETICKS, kTicks, MIB_READ_ONLY, var_watched),
};
inline const mib_variable kDms[] = {mib_row(kDoorOid, MIB_INTEGER, kDoor, MIB_READ_ONLY, var_watched)};
inline const mib_variable kGlobal[] = {mib_row(kSecurityOid, MIB_INTEGER, kSecurity, MIB_READ_ONLY, var_watched)};
inline const mib_group kGroups[] = {
    {"cls b", kClsB, sizeof kClsB / sizeof kClsB[0]},
    {"dms", kDms, 1},
    {"global", kGlobal, 1},
};

// A stored OID: 4 bytes per sub-identifier, most significant first.
inline std::string OidBytes(const uint32_t* subids, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i)
        for (int b = 3; b >= 0; --b)
            out += static_cast<char>((subids[i] >> (8 * b)) & 0xFF);
    return out;
}
template <size_t N>
std::string OidBytes(const uint32_t (&subids)[N])
{
    return OidBytes(subids, N);
}

class EventLogTest : public SnmpDbTest {
protected:
    void SetUp() override
    {
        SnmpDbTest::SetUp();
        for (auto& w : g_watched)
            w = watched_value{};
        defaults_global_nv(*db_, 0);
        defaults_global_v(*db_);
        const mib_group* groups[] = {&kGroups[0], &kGroups[1], &kGroups[2], &g_global_report_group,
                                     &g_nvdot_group};
        ASSERT_EQ(1, snmp_mib_build(groups, 5));
        logger_ = std::make_unique<CEventLogging>();
        SetTime(1000);
    }
    void TearDown() override
    {
        logger_.reset();
        CEventLogging::SetCommLossQuery(nullptr);
        SnmpDbTest::TearDown();
    }

    void SetTime(uint32_t t) { db_->SetTimeValue(nv::globalTime.offset, 4, t, db_->mib_nv, DB_GLOBAL_TIME); }

    // Configuration i (0-based), written as central would have left it.
    void Configure(uint32_t i, uint32_t cls, uint32_t mode, uint32_t cv1, uint32_t cv2, const std::string& compare,
                   const std::string& log, uint32_t action = EVENT_ACTION_LOG)
    {
        SetNv(nv::eventConfigClass(i), cls);
        SetNv(nv::eventConfigMode(i), mode);
        SetNv(nv::eventConfigCompareValue(i), cv1);
        SetNv(nv::eventConfigCompareValue2(i), cv2);
        SetNvOid(nv::eventConfigCompareOID(i), compare);
        SetNvOid(nv::eventConfigLogOID(i), log);
        SetNv(nv::eventConfigAction(i), action);
    }
    void SetNvOid(const db_object& o, const std::string& bytes)
    {
        ASSERT_EQ(DB_OK, db_->SetString(o.offset, o.width, bytes.data(), static_cast<uint32_t>(bytes.size()),
                                        db_->mib_nv, DB_NO_VALIDATE));
    }

    // An entry of class c, number k (both from 0).
    struct entry {
        uint32_t id;
        uint32_t time;
        std::string value;  // hex
        bool operator==(const entry&) const = default;
    };
    entry Entry(uint32_t c, uint32_t k)
    {
        const uint32_t n = 255 * c + k;
        uint32_t length = 0;
        const db_object o = nv::eventLogValue(n);
        const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &length);
        return {Nv(nv::eventLogID(n)), Nv(nv::eventLogTime(n)), p ? to_hex(p, length) : std::string()};
    }
    uint32_t Rows(uint32_t c) { return Nv(nv::eventClassNumRowsInLog(c)); }
    // Times of the used entries of class c, in index order.
    std::vector<uint32_t> Times(uint32_t c)
    {
        std::vector<uint32_t> out;
        for (uint32_t k = 0; k < 255; ++k)
            if (uint32_t t = Nv(nv::eventLogTime(255 * c + k)))
                out.push_back(t);
        return out;
    }

    // One schedule step at global time t.
    void StepAt(uint32_t t)
    {
        SetTime(t);
        logger_->Update();
    }

    std::unique_ptr<CEventLogging> logger_;
};

}  // namespace evlog
