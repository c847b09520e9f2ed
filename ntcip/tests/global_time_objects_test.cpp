// The time management objects as a manager sets them: the global time in the
// real-time clock, the daylight-saving selection and table under the
// database's rules, the time zone and the local time, and the rows of the
// time-base schedule and its day plans.
#include <gtest/gtest.h>

#include "frame/bus/letter.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/global_time.h"
#include "ntcip/tests/mib_group_fixture.h"

namespace {

using namespace mg;

oid_t T(const std::string& rest) { return O("ENT.4.2.6.3." + rest); }
const oid_t kGlobalTime = T("1.0"), kDaylightSaving = T("2.0"), kDifferential = T("4.0"), kTimeZone = T("5.0"),
            kLocalTime = T("6.0");
oid_t Dst(uint32_t column, uint32_t row) { return At("ENT.4.2.6.3.7.2.1." + std::to_string(column), {row}); }
oid_t Schedule(uint32_t column, uint32_t row) { return At("ENT.4.2.6.3.3.2.1." + std::to_string(column), {row}); }
oid_t DayPlan(uint32_t column, uint32_t plan, uint32_t event)
{
    return At("ENT.4.2.6.3.3.5.1." + std::to_string(column), {plan, event});
}

std::vector<uint32_t> g_observed;

class GlobalTimeTest : public MibGroupTest {
protected:
    void SetUp() override
    {
        MibGroupTest::SetUp();
        g_observed.clear();
        snmp_set_global_time_observer([](uint32_t t) { g_observed.push_back(t); });
    }
    void TearDown() override
    {
        snmp_set_global_time_observer(nullptr);
        MibGroupTest::TearDown();
    }
    uint32_t Clock() { return db_->GetTimeValue(nv::globalTime.offset, 4, db_->mib_nv, DB_GLOBAL_TIME); }
    void SetClock(uint32_t t) { db_->SetTimeValue(nv::globalTime.offset, 4, t, db_->mib_nv, 0); }
    std::vector<uint32_t> BeginMonths()
    {
        std::vector<uint32_t> out;
        for (const value& v : Walk(O("ENT.4.2.6.3.7.2.1.2"), O("ENT.4.2.6.3.7.2.1.2")))
            out.push_back(v.integer);
        return out;
    }
};

constexpr uint32_t kNow = 1700000000;

TEST_F(GlobalTimeTest, GlobalTimeLivesInTheClock)
{
    trace_capture trace;
    trace_set_level(1);
    reply r = Set({mg::Counter(kGlobalTime, kNow)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(kNow, r.at(0).integer);
    EXPECT_EQ(SNMP_COUNTER, r.at(0).syntax);
    EXPECT_EQ(kNow, Clock());
    // The check pass and the commit each read the clock back.
    ASSERT_FALSE(g_observed.empty());
    EXPECT_EQ(kNow, g_observed.back());

    SetClock(kNow + 42);
    g_observed.clear();
    EXPECT_EQ(kNow + 42, Integer(kGlobalTime));
    // Each pass of the request reads it again.
    ASSERT_FALSE(g_observed.empty());
    EXPECT_EQ(std::vector<uint32_t>(g_observed.size(), kNow + 42), g_observed);
    EXPECT_TRUE(trace.contains("Get Global Time = 1700000042\n"));
    trace_set_level(0);

    // An INTEGER is not a Counter; a user without the time bit may not set it.
    EXPECT_EQ(3u, Set({Int(kGlobalTime, 5)}).status);
    AddUser(4, "scheduler", 0x80000);
    EXPECT_EQ(2u, Set({mg::Counter(kGlobalTime, 5)}, "scheduler").status);
    EXPECT_EQ(kNow + 42, Clock());
    EXPECT_EQ(2u, Set({mg::Counter(kLocalTime, 5)}).status);
}

TEST_F(GlobalTimeTest, DaylightSavingSelectionAndBeginMonths)
{
    // After a full reset: row 1 begins in March, the others are unused.
    std::vector<uint32_t> months = BeginMonths();
    ASSERT_EQ(10u, months.size());
    EXPECT_EQ(3u, months[0]);
    EXPECT_EQ(14u, months[9]);

    EXPECT_EQ(0u, Set({Int(kDaylightSaving, 2)}).status);
    EXPECT_EQ(std::vector<uint32_t>(10, 14), BeginMonths());
    EXPECT_EQ(0u, Set({Int(kDaylightSaving, 3)}).status);
    EXPECT_EQ(std::vector<uint32_t>(10, 15), BeginMonths());

    // "Other" is never set directly, and the table needs a month in row 1.
    struct {
        uint32_t value;
        uint32_t status;
    } refused[] = {{1, 5}, {20, 5}, {21, 3}, {0, 3}};
    for (const auto& c : refused) {
        reply r = Set({Int(kDaylightSaving, c.value)});
        EXPECT_EQ(c.status, r.status) << c.value;
        EXPECT_EQ(1u, r.index);
        EXPECT_EQ(3u, Integer(kDaylightSaving));
    }
    EXPECT_EQ(std::vector<uint32_t>(10, 15), BeginMonths());

    // A begin month selects the table ("other"); 14 disables daylight saving.
    EXPECT_EQ(0u, Set({Int(Dst(2, 1), 3)}).status);
    EXPECT_EQ(1u, Integer(kDaylightSaving));
    EXPECT_EQ(0u, Set({Int(kDaylightSaving, 20)}).status);
    EXPECT_EQ(20u, Integer(kDaylightSaving));
    EXPECT_EQ(0u, Set({Int(Dst(2, 4), 14)}).status);
    EXPECT_EQ(2u, Integer(kDaylightSaving));
    // The marker 15 is the database's own.
    EXPECT_EQ(3u, Set({Int(Dst(2, 2), 15)}).status);
    EXPECT_EQ(2u, Integer(kDaylightSaving));
}

TEST_F(GlobalTimeTest, DaylightSavingTableRows)
{
    EXPECT_EQ(10u, Integer(T("7.1.0")));
    EXPECT_EQ(10u, Integer(Dst(1, 10)));
    for (uint32_t row : {0u, 11u, 100u})
        EXPECT_EQ(2u, GetStatus(Dst(3, row))) << row;
    EXPECT_EQ(Dst(2, 1), Next(Dst(1, 10)).at(0).name);

    reply r = Set({Int(Dst(3, 2), 5), Int(Dst(4, 2), 7), Int(Dst(5, 2), 31), Int(Dst(6, 2), 86399),
                   Int(Dst(7, 2), 10), Int(Dst(8, 2), 9), Int(Dst(9, 2), 1), Int(Dst(10, 2), 15),
                   Int(Dst(11, 2), 3600), Int(Dst(12, 2), 1800)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(5u, Nv(nv::dstBeginOccurrences(1)));
    EXPECT_EQ(7u, Nv(nv::dstBeginDayOfWeek(1)));
    EXPECT_EQ(31u, Nv(nv::dstBeginDayOfMonth(1)));
    EXPECT_EQ(86399u, Nv(nv::dstBeginSecondsToTransition(1)));
    EXPECT_EQ(10u, Nv(nv::dstEndMonth(1)));
    EXPECT_EQ(9u, Nv(nv::dstEndOccurrences(1)));
    EXPECT_EQ(1u, Nv(nv::dstEndDayOfWeek(1)));
    EXPECT_EQ(15u, Nv(nv::dstEndDayOfMonth(1)));
    EXPECT_EQ(3600u, Nv(nv::dstEndSecondsToTransition(1)));
    EXPECT_EQ(1800u, Nv(nv::dstSecondsToAdjust(1)));

    struct {
        value v;
        uint32_t status;
    } refused[] = {
        {Int(Dst(3, 1), 0), 3},  {Int(Dst(4, 1), 8), 3},     {Int(Dst(5, 1), 32), 3}, {Int(Dst(7, 1), 13), 3},
        {Int(Dst(12, 1), 21601), 3}, {Int(Dst(1, 1), 1), 2}, {Int(Dst(3, 11), 1), 2},
    };
    for (const auto& c : refused)
        EXPECT_EQ(c.status, Set({c.v}).status) << dotted(c.v.name);
    EXPECT_EQ(2u, Nv(nv::dstBeginOccurrences(0)));
    EXPECT_EQ(3600u, Nv(nv::dstSecondsToAdjust(0)));
}

TEST_F(GlobalTimeTest, TimeZoneAndLocalTime)
{
    SetClock(kNow);
    letter_listener letters({MSG_CHG_NV48188, MSG_TIME_ZONE_CHANGED});

    reply r = Set({Int(kTimeZone, static_cast<uint32_t>(-18000))});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(static_cast<uint32_t>(-18000), r.at(0).integer);
    EXPECT_EQ(kNow - 18000, V(vol::controllerLocalTime));
    EXPECT_EQ(kNow - 18000, Integer(kLocalTime));
    EXPECT_EQ(std::vector<uint32_t>{MSG_TIME_ZONE_CHANGED}, letters.Take());

    // The difference in force is answered, daylight time included, whatever
    // was stored: as the clock writes it during daylight time.
    SetNv(nv::globalLocalTimeDifferential, 12345);
    SetV(vol::controllerLocalTime, kNow - 21600 + 3600);
    EXPECT_EQ(static_cast<uint32_t>(-18000), Integer(kDifferential));

    r = Set({Int(kDifferential, static_cast<uint32_t>(-25200))});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(static_cast<uint32_t>(-25200), r.at(0).integer);
    EXPECT_EQ(static_cast<uint32_t>(-25200), Nv(nv::globalLocalTimeDifferential));
    EXPECT_EQ(kNow - 25200, V(vol::controllerLocalTime));
    EXPECT_EQ(std::vector<uint32_t>{MSG_CHG_NV48188}, letters.Take());

    for (uint32_t v : {43201u, static_cast<uint32_t>(-43201)}) {
        EXPECT_EQ(3u, Set({Int(kTimeZone, v)}).status);
        EXPECT_EQ(3u, Set({Int(kDifferential, v)}).status);
    }
    EXPECT_EQ(0u, Set({Int(kTimeZone, 43200)}).status);
    EXPECT_EQ(kNow + 43200, V(vol::controllerLocalTime));
}

TEST_F(GlobalTimeTest, ScheduleRows)
{
    reply r = Get({T("3.1.0"), T("3.3.0"), T("3.4.0"), T("3.6.0"), T("3.7.0")});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(29u, r.at(0).integer);
    EXPECT_EQ(20u, r.at(1).integer);
    EXPECT_EQ(24u, r.at(2).integer);

    r = Set({Int(Schedule(2, 29), 0x1FFE), Int(Schedule(3, 29), 0x82), Int(Schedule(4, 29), 0xFFFFFFFE),
             Int(Schedule(5, 29), 20)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(0x1FFEu, Nv(nv::timeBaseScheduleMonth(28)));
    EXPECT_EQ(0x82u, Nv(nv::timeBaseScheduleDay(28)));
    EXPECT_EQ(0xFFFFFFFEu, Nv(nv::timeBaseScheduleDate(28)));
    EXPECT_EQ(20u, Nv(nv::timeBaseScheduleDayPlan(28)));
    EXPECT_EQ(29u, Integer(Schedule(1, 29)));
    EXPECT_EQ(0xFFFFFFFEu, Integer(Schedule(4, 29)));

    for (uint32_t row : {0u, 30u})
        EXPECT_EQ(2u, GetStatus(Schedule(2, row))) << row;
    EXPECT_EQ(2u, Set({Int(Schedule(2, 30), 1)}).status);
    EXPECT_EQ(3u, Set({Int(Schedule(2, 1), 65536)}).status);
    EXPECT_EQ(3u, Set({Int(Schedule(3, 1), 256)}).status);
    EXPECT_EQ(2u, Set({Int(T("3.1.0"), 30)}).status);
    EXPECT_EQ(Schedule(3, 1), Next(Schedule(2, 29)).at(0).name);

    // The schedule's write mask is its own.
    AddUser(4, "clock", 0x10000);
    AddUser(5, "scheduler", 0x80000);
    EXPECT_EQ(2u, Set({Int(Schedule(5, 1), 2)}, "clock").status);
    EXPECT_EQ(0u, Set({Int(Schedule(5, 1), 2)}, "scheduler").status);
    EXPECT_EQ(0u, Set({Int(kTimeZone, 0)}, "clock").status);
    EXPECT_EQ(2u, Set({Int(kTimeZone, 0)}, "scheduler").status);
}

TEST_F(GlobalTimeTest, DayPlanEvents)
{
    const oid_t globalTimeOid = O("ENT.4.2.6.3.1.0");
    const oid_t activate = O("ENT.4.2.3.6.3.0");
    reply r = Get({DayPlan(1, 20, 24), DayPlan(2, 20, 24), DayPlan(5, 20, 24)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(20u, r.at(0).integer);
    EXPECT_EQ(24u, r.at(1).integer);
    EXPECT_EQ(globalTimeOid, r.at(2).oid);

    r = Set({Int(DayPlan(3, 20, 24), 23), Int(DayPlan(4, 20, 24), 59), Oid(DayPlan(5, 20, 24), activate)});
    ASSERT_EQ(0u, r.status);
    EXPECT_EQ(activate, r.at(2).oid);
    EXPECT_EQ(23u, Nv(nv::dayPlanHour(19, 23)));
    EXPECT_EQ(59u, Nv(nv::dayPlanMinute(19, 23)));
    EXPECT_EQ(activate, One(DayPlan(5, 20, 24)).oid);
    EXPECT_EQ(0u, Nv(nv::dayPlanHour(19, 22)));

    for (auto idx : std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {1, 0}, {21, 1}, {1, 25}, {255, 255}})
        EXPECT_EQ(2u, GetStatus(DayPlan(3, idx.first, idx.second))) << idx.first << "." << idx.second;
    EXPECT_EQ(2u, GetStatus(At("ENT.4.2.6.3.3.5.1.3", {1})));
    EXPECT_EQ(2u, GetStatus(At("ENT.4.2.6.3.3.5.1.3", {1, 1, 1})));

    struct {
        value v;
        uint32_t status;
    } refused[] = {
        {Int(DayPlan(3, 1, 1), 24), 3},
        {Int(DayPlan(4, 1, 1), 60), 3},
        {Int(DayPlan(5, 1, 1), 1), 3},
        {Oid(DayPlan(5, 1, 1), oid_t(41, 1)), 3},
        {Int(DayPlan(1, 1, 1), 1), 2},
        {Int(DayPlan(3, 21, 1), 1), 2},
    };
    for (const auto& c : refused) {
        r = Set({c.v});
        EXPECT_EQ(c.status, r.status) << dotted(c.v.name);
    }
    EXPECT_EQ(globalTimeOid, One(DayPlan(5, 1, 1)).oid);
    oid_t longest(40, 1);
    longest[0] = 1;
    longest[1] = 3;
    EXPECT_EQ(0u, Set({Oid(DayPlan(5, 1, 1), longest)}).status);
    EXPECT_EQ(longest, One(DayPlan(5, 1, 1)).oid);

    // A walk of a column runs through each plan's events, then to the next column.
    EXPECT_EQ(DayPlan(3, 1, 1), Next(O("ENT.4.2.6.3.3.5.1.3")).at(0).name);
    EXPECT_EQ(DayPlan(3, 2, 1), Next(DayPlan(3, 1, 24)).at(0).name);
    EXPECT_EQ(DayPlan(4, 1, 1), Next(DayPlan(3, 20, 24)).at(0).name);
    EXPECT_EQ(480u, Walk(O("ENT.4.2.6.3.3.5.1.4"), O("ENT.4.2.6.3.3.5.1.4")).size());
}

}  // namespace
