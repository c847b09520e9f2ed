// The event-log objects and the nvdot subtree through the registry: the
// configuration rows and their refusals, the class limits that must fit
// the log, the log table as a manager reads it.
#include "ntcip/tests/event_log_fixture.h"

#include "ntcip/snmp/local/snmp_local.h"

namespace {

using namespace evlog;

constexpr uint32_t kAll = 0xFFFFFFFF;
constexpr uint8_t kChecked = SNMP_LOCAL_NOTIFY | SNMP_LOCAL_VALIDATE;

std::string Report(const std::string& rest) { return dotted(O("ENT.4.2.6.4." + rest)); }

class GlobalReportTest : public EventLogTest {
protected:
    int SetInt(const std::string& oid, uint32_t value, uint32_t mask = kAll)
    {
        return snmp_local_set_int(oid.data(), static_cast<uint32_t>(oid.size()), value, kChecked, mask);
    }
    // -1 when the get fails.
    int64_t GetInt(const std::string& oid)
    {
        uint32_t v = 0;
        return snmp_local_get_int(oid.data(), static_cast<uint32_t>(oid.size()), &v) ? static_cast<int64_t>(v) : -1;
    }
    std::string GetBytes(const std::string& oid)
    {
        uint8_t buffer[600];
        uint32_t n = 0;
        if (!snmp_local_get_octets(oid.data(), static_cast<uint32_t>(oid.size()), buffer, sizeof buffer, &n))
            return "<failed>";
        return to_hex(buffer, n);
    }

    // A SET of an OBJECT IDENTIFIER value in its two passes, as request
    // processing runs it: the lookup's error and the record's error status.
    struct result {
        uint32_t error;
        uint32_t status;
    };
    result SetOid(const oid_t& name, const oid_t& value)
    {
        auto record = std::make_unique<snmp_request>();
        record->count = 1;
        g_snmp_community_mask = kAll;
        const std::string bytes = OidBytes(value.data(), value.size());
        std::memcpy(g_snmp_set_value.bytes, bytes.data(), bytes.size());
        g_snmp_set_value.length = static_cast<uint32_t>(bytes.size());
        result r{MIB_ERR_NONE, 0};
        for (uint8_t pass = 0; pass < 2 && r.error == MIB_ERR_NONE && record->error_status == 0; ++pass) {
            g_snmp_commit_indicator = pass;
            snmp_varbind& v = record->varbinds[0];
            std::copy(name.begin(), name.end(), v.name);
            v.name_length = static_cast<uint32_t>(name.size());
            v.syntax = SNMP_OBJECT_ID;
            uint16_t type = SNMP_OBJECT_ID;
            uint32_t length = v.name_length, value_length = 0;
            uint8_t access = 0;
            getStatPtr(v.name, &length, &type, &value_length, &access, MIB_SET, record.get(), 0, &r.error);
        }
        g_snmp_commit_indicator = 1;
        r.status = record->error_status;
        return r;
    }
};

TEST_F(GlobalReportTest, SizesAndCounters)
{
    EXPECT_EQ(60, GetInt(Report("1.0")));
    EXPECT_EQ(255, GetInt(Report("3.0")));
    EXPECT_EQ(16, GetInt(Report("5.0")));
    EXPECT_EQ(0, GetInt(Report("7.0")));
    SetV(vol::numEvents, 9);
    EXPECT_EQ(9, GetInt(Report("7.0")));
    EXPECT_EQ(1, SetInt(Report("5.0"), 12));
    EXPECT_EQ(12u, V(vol::maxEventClasses));
    EXPECT_EQ(0, SetInt(Report("5.0"), 256));
    // Read-only objects are served as gets.
    EXPECT_EQ(1, SetInt(Report("1.0"), 5));
    EXPECT_EQ(60u, V(vol::maxEventLogConfigs));
}

TEST_F(GlobalReportTest, ConfigurationRows)
{
    const auto column = [](uint32_t c, uint32_t row) { return Report("2.1." + std::to_string(c) + "." + std::to_string(row)); };
    EXPECT_EQ(1, SetInt(column(2, 5), 3));
    EXPECT_EQ(1, SetInt(column(3, 5), EVENT_MODE_HYSTERESIS));
    EXPECT_EQ(1, SetInt(column(4, 5), static_cast<uint32_t>(-10)));
    EXPECT_EQ(1, SetInt(column(5, 5), 0xFFFFFFFF));
    EXPECT_EQ(1, SetInt(column(8, 5), EVENT_ACTION_LOG));
    EXPECT_EQ(3u, Nv(nv::eventConfigClass(4)));
    EXPECT_EQ(5u, Nv(nv::eventConfigMode(4)));
    EXPECT_EQ(0xFFFFFFF6u, Nv(nv::eventConfigCompareValue(4)));
    EXPECT_EQ(0xFFFFFFFFu, Nv(nv::eventConfigCompareValue2(4)));
    EXPECT_EQ(3u, Nv(nv::eventConfigAction(4)));
    EXPECT_EQ(3u, Nv(nv::eventConfigStatus(4))) << "the action is the status too";
    EXPECT_EQ(5, GetInt(column(1, 5)));
    EXPECT_EQ(3, GetInt(column(9, 5)));
    EXPECT_EQ(1, SetInt(column(8, 5), EVENT_ACTION_DISABLED));
    EXPECT_EQ(2, GetInt(column(9, 5)));

    struct {
        const char* what;
        uint32_t column, row, value, mask;
    } refused[] = {
        {"mode 8", 3, 5, 8, kAll},
        {"mode 0", 3, 5, 0, kAll},
        {"class 0", 2, 5, 0, kAll},
        {"action 4", 8, 5, 4, kAll},
        {"row 61", 2, 61, 1, kAll},
        {"row 0", 2, 0, 1, kAll},
        {"without the event-log bit of the community", 2, 5, 1, 0x400000},
    };
    for (const auto& r : refused)
        EXPECT_EQ(0, SetInt(column(r.column, r.row), r.value, r.mask)) << r.what;
    EXPECT_EQ(1, SetInt(column(2, 5), 1, 0x1000000));
    EXPECT_EQ(1u, Nv(nv::eventConfigClass(4)));
    EXPECT_EQ(5u, Nv(nv::eventConfigMode(4)));
    EXPECT_EQ(-1, GetInt(column(2, 61)));
}

TEST_F(GlobalReportTest, ObjectIdentifierColumnsMustNameServedObjects)
{
    const oid_t compare = O("ENT.4.2.6.4.2.1.6.4");
    const oid_t log = O("ENT.4.2.6.4.2.1.7.4");
    const oid_t watched(kIntOid, kIntOid + 9);
    SetNv(nv::eventConfigAction(3), EVENT_ACTION_LOG);

    result r = SetOid(compare, watched);
    EXPECT_EQ(MIB_ERR_NONE, r.error);
    EXPECT_EQ(0u, r.status);
    EXPECT_EQ(to_hex(hex("00 00 00 01 00 00 00 03 00 00 00 06 00 00 00 01 00 00 00 02 00 00 00 01"
                         " 00 00 00 01 00 00 00 3C 00 00 00 00")),
              GetBytes(dotted(compare)));

    // Objects the agent does not serve, and the community names.
    struct {
        const char* what;
        oid_t name;
        oid_t value;
    } refused[] = {
        {"an unknown compare object", compare, O("1.3.6.1.2.1.1.99.0")},
        {"an unknown log object", log, O("1.3.6.1.2.1.1.99.0")},
        {"a log object among the community names", log, oid_t(kSecurityOid, kSecurityOid + 13)},
    };
    for (const auto& c : refused) {
        SetNv(nv::eventConfigStatus(3), EVENT_ACTION_LOG);
        db_->m_dwOidErrors = 0;
        const std::string before = GetBytes(dotted(c.name));
        r = SetOid(c.name, c.value);
        EXPECT_EQ(3u, r.status) << c.what << ": badValue";
        EXPECT_EQ(4u, Nv(nv::eventConfigStatus(3))) << c.what << ": the row is in error";
        EXPECT_EQ(before, GetBytes(dotted(c.name))) << c.what << ": not stored";
    }
    // The community-name object may still be watched.
    db_->m_dwOidErrors = 0;
    r = SetOid(compare, oid_t(kSecurityOid, kSecurityOid + 13));
    EXPECT_EQ(0u, r.status);
    // Two sub-identifiers name nothing and are taken.
    r = SetOid(log, O("0.0"));
    EXPECT_EQ(0u, r.status);
}

TEST_F(GlobalReportTest, ClassLimitsMustFitTheLog)
{
    const auto limit = [](uint32_t c) { return Report("6.1.2." + std::to_string(c)); };
    EXPECT_EQ(1, SetInt(limit(1), 200));
    EXPECT_EQ(0, SetInt(limit(2), 56)) << "200 + 56 > 255";
    EXPECT_EQ(0u, Nv(nv::eventClassLimit(1)));
    EXPECT_EQ(1, SetInt(limit(2), 55));
    EXPECT_EQ(55u, Nv(nv::eventClassLimit(1)));
    EXPECT_EQ(1, SetInt(limit(1), 199)) << "a class's own limit is replaced, not added";
    EXPECT_EQ(1, SetInt(limit(3), 1));
    // Classes at or above maxEventClasses do not count: 200 + 55, without class 3's 1.
    SetV(vol::maxEventClasses, 2);
    EXPECT_EQ(1, SetInt(limit(1), 200));
    // Nor any past the 16 the log holds.
    SetV(vol::maxEventClasses, 255);
    EXPECT_EQ(0, SetInt(limit(4), 1)) << "200 + 55 + 1 + 1";
    EXPECT_EQ(0, SetInt(limit(17), 1));

    // Description and clear time; the row count is read-only.
    const std::string description = Report("6.1.4.2");
    const std::string text = "doors";
    EXPECT_EQ(1, snmp_local_set_octets(description.data(), static_cast<uint32_t>(description.size()),
                                       reinterpret_cast<const uint8_t*>(text.data()), 5, kChecked, kAll));
    EXPECT_EQ(to_hex(reinterpret_cast<const uint8_t*>("doors"), 5), GetBytes(description));
    EXPECT_EQ(0, SetInt(Report("6.1.3.2"), 5)) << "the clear time is a Counter";
    EXPECT_EQ(1, SetInt(Report("6.1.5.2"), 9));
    EXPECT_EQ(0u, Nv(nv::eventClassNumRowsInLog(1)));
    EXPECT_EQ(2, GetInt(Report("6.1.1.2")));
    SetV(vol::eventClassNumEvents(1), 77);
    EXPECT_EQ(77, GetInt(Report("6.1.6.2")));
}

TEST_F(GlobalReportTest, TheLogTableAnswersEveryEntry)
{
    SetNv(nv::eventClassLimit(2), 10);
    Configure(6, 3, EVENT_MODE_PERIODIC, 0, 0, OidBytes({0, 0}), OidBytes(kIntOid));
    g_watched[kInt].integer = 300;
    StepAt(1234);
    const auto cell = [](uint32_t column, uint32_t c, uint32_t k) {
        return Report("4.1." + std::to_string(column) + "." + std::to_string(c) + "." + std::to_string(k));
    };
    EXPECT_EQ(3, GetInt(cell(1, 3, 1)));
    EXPECT_EQ(1, GetInt(cell(2, 3, 1)));
    EXPECT_EQ(7, GetInt(cell(3, 3, 1)));
    EXPECT_EQ("02 02 01 2C", GetBytes(cell(5, 3, 1))) << "the stored BER bytes";
    // The time is a Counter: read as a number.
    uint32_t time = 0;
    const std::string t = cell(4, 3, 1);
    EXPECT_EQ(1, snmp_local_get_int(t.data(), static_cast<uint32_t>(t.size()), &time));
    EXPECT_EQ(1234u, time);
    // A free entry reads with time 0 and an empty value; the bounds are 16 and 255.
    EXPECT_EQ("", GetBytes(cell(5, 16, 255)));
    EXPECT_EQ(-1, GetInt(cell(1, 17, 1)));
    EXPECT_EQ(-1, GetInt(cell(1, 1, 256)));
    EXPECT_EQ(-1, GetInt(cell(1, 0, 1)));
    EXPECT_EQ(1, SetInt(cell(3, 3, 1), 9)) << "read-only";
    EXPECT_EQ(7, GetInt(cell(3, 3, 1)));
}

TEST_F(GlobalReportTest, GetNextWalksTheLogTable)
{
    // From the log table's column of classes, across the entries of class 1.
    oid_t name = O("ENT.4.2.6.4.4.1.1");
    uint32_t n[MIB_MAX_OID];
    std::copy(name.begin(), name.end(), n);
    uint32_t length = static_cast<uint32_t>(name.size()), value_length = 0, error = 0;
    uint16_t type = SNMP_NULL;
    uint8_t access = 0;
    auto record = std::make_unique<snmp_request>();
    record->count = 1;
    std::vector<std::string> seen;
    for (int k = 0; k < 3; ++k) {
        uintptr_t* c = getStatPtr(n, &length, &type, &value_length, &access, MIB_GETNEXT, record.get(), 0, &error);
        ASSERT_NE(nullptr, c);
        seen.push_back(dotted(n, length));
    }
    EXPECT_EQ(dotted(O("ENT.4.2.6.4.4.1.1.1.1")), seen[0]);
    EXPECT_EQ(dotted(O("ENT.4.2.6.4.4.1.1.1.2")), seen[1]);
    EXPECT_EQ(dotted(O("ENT.4.2.6.4.4.1.1.1.3")), seen[2]);
    // The last entry of the column is followed by the next column.
    name = O("ENT.4.2.6.4.4.1.1.16.255");
    std::copy(name.begin(), name.end(), n);
    length = static_cast<uint32_t>(name.size());
    ASSERT_NE(nullptr, getStatPtr(n, &length, &type, &value_length, &access, MIB_GETNEXT, record.get(), 0, &error));
    EXPECT_EQ(dotted(O("ENT.4.2.6.4.4.1.2.1.1")), dotted(n, length));
}

TEST_F(GlobalReportTest, NvdotRequestsAndStates)
{
    defaults_traps_nv(*db_, 0);
    defaults_traps_v(*db_);
    const std::string fan = dotted(O("ENT.3.35.1.0"));
    const std::string heater = dotted(O("ENT.3.35.3.0"));
    EXPECT_EQ(0, SetInt(fan, 3)) << "1..2";
    EXPECT_EQ(2u, Nv(nv::nvdotFanTest));
    EXPECT_EQ(1, SetInt(fan, 1));
    EXPECT_EQ(1u, Nv(nv::nvdotFanTest));
    EXPECT_EQ(2, GetInt(fan)) << "a get answers what the fan is doing";
    SetV(vol::nvdotFanState, 1);
    EXPECT_EQ(1, GetInt(fan));
    EXPECT_EQ(0, SetInt(fan, 1, 0x1000000)) << "the nvdot bit is another";
    EXPECT_EQ(1, SetInt(heater, 1, 0x100000));
    EXPECT_EQ(1u, Nv(nv::nvdotHeaterTest));
    EXPECT_EQ(2, GetInt(heater));
    EXPECT_EQ("00", GetBytes(dotted(O("ENT.3.35.2.0"))));
    EXPECT_EQ("00 00", GetBytes(dotted(O("ENT.3.35.4.0"))));
    EXPECT_EQ(-1, GetInt(dotted(O("ENT.3.35.5.0"))));
}

}  // namespace
