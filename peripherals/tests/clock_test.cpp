// The clock: calendar conversions over the whole unsigned range, the
// daylight-saving rules of both hemispheres, and the poll that keeps the
// global and local time.
#include <ctime>

#include "frame/trace/trace.h"
#include "mon_api.h"
#include "peripherals/clock.h"
#include "peripherals/tests/peripheral_fixture.h"

namespace {

clock_date Date(uint32_t year, uint32_t month, uint32_t day, uint32_t h = 0, uint32_t m = 0, uint32_t s = 0) {
  clock_date d{};
  d.year = year - 1900;
  d.month = month - 1;
  d.day = day;
  d.hours = h;
  d.minutes = m;
  d.seconds = s;
  return d;
}

uint32_t Seconds(const clock_date& d) {
  uint32_t t = 0;
  CClock::DateToSeconds(&d, &t);
  return t;
}

TEST(ClockCalendar, WorkedExamples) {
  struct Row {
    uint32_t t;
    uint32_t year, month, day, h, m, s, weekday, yday;
  } rows[] = {
      {0, 1970, 1, 1, 0, 0, 0, 4, 0},
      {951782400, 2000, 2, 29, 0, 0, 0, 2, 59},   // a leap day of a year divisible by 400
      {2147483647, 2038, 1, 19, 3, 14, 7, 2, 18},  // the last second a signed count holds
      {2147483648, 2038, 1, 19, 3, 14, 8, 2, 18},
      {4107542399, 2100, 2, 28, 23, 59, 59, 0, 58},  // 2100 is not a leap year
      {4107542400, 2100, 3, 1, 0, 0, 0, 1, 59},
      {4294967295, 2106, 2, 7, 6, 28, 15, 0, 37},  // the last second of the range
  };
  for (const Row& r : rows) {
    clock_date d{};
    d.extra = 0xABCD;
    CClock::SecondsToDate(r.t, &d);
    EXPECT_EQ(d.year, r.year - 1900) << r.t;
    EXPECT_EQ(d.month, r.month - 1) << r.t;
    EXPECT_EQ(d.day, r.day) << r.t;
    EXPECT_EQ(d.hours, r.h) << r.t;
    EXPECT_EQ(d.minutes, r.m) << r.t;
    EXPECT_EQ(d.seconds, r.s) << r.t;
    EXPECT_EQ(d.weekday, r.weekday) << r.t;
    EXPECT_EQ(d.yday, r.yday) << r.t;
    EXPECT_EQ(d.extra, 0xABCDu) << r.t;  // not the conversions' word
    EXPECT_EQ(Seconds(Date(r.year, r.month, r.day, r.h, r.m, r.s)), r.t) << r.t;
  }
}

TEST(ClockCalendar, AgreesWithTheHostCalendarOverTheWholeRange) {
  // A step that is prime to a day visits every time of day and every
  // weekday; the edges of each leap-day kind are added.
  std::vector<uint64_t> times;
  for (uint64_t t = 0; t <= 0xFFFFFFFFull; t += 86399ull * 37 + 11) times.push_back(t);
  for (uint64_t t : {68169599ull, 68169600ull, 951868799ull, 951868800ull, 4107542399ull, 4294967295ull})
    times.push_back(t);
  for (uint64_t t : times) {
    time_t host = static_cast<time_t>(t);
    struct tm tm {};
    gmtime_r(&host, &tm);
    clock_date d{};
    CClock::SecondsToDate(static_cast<uint32_t>(t), &d);
    ASSERT_EQ(d.year, static_cast<uint32_t>(tm.tm_year)) << t;
    ASSERT_EQ(d.month, static_cast<uint32_t>(tm.tm_mon)) << t;
    ASSERT_EQ(d.day, static_cast<uint32_t>(tm.tm_mday)) << t;
    ASSERT_EQ(d.hours * 3600 + d.minutes * 60 + d.seconds,
              static_cast<uint32_t>(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec))
        << t;
    ASSERT_EQ(d.weekday, static_cast<uint32_t>(tm.tm_wday)) << t;
    ASSERT_EQ(d.yday, static_cast<uint32_t>(tm.tm_yday)) << t;
    uint32_t back = 0;
    CClock::DateToSeconds(&d, &back);
    ASSERT_EQ(back, t);
  }
}

TEST(ClockCalendar, RecordsOutsideTheRange) {
  struct Row {
    const char* what;
    clock_date date;
    uint32_t t;
  } rows[] = {
      {"past the last second", Date(2106, 2, 7, 6, 28, 16), 0xFFFFFFFF},
      {"far past it", Date(2200, 1, 1), 0xFFFFFFFF},
      {"a year below 1970 adds no years", Date(1969, 1, 1), 0},
      {"only the months of 1969 count", Date(1969, 12, 1), 334 * 86400},
      {"month 13 is next year's second", Date(2009, 14, 1), Seconds(Date(2010, 2, 1))},
      {"day 0 is the day before", Date(2010, 3, 0), Seconds(Date(2010, 2, 28))},
  };
  for (const Row& r : rows) EXPECT_EQ(Seconds(r.date), r.t) << r.what;
  // Huge fields answer at once.
  clock_date huge{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0, 0};
  EXPECT_EQ(Seconds(huge), 0xFFFFFFFFu);
}

// The rules on a clock of this fixture's database.
class ClockTest : public PeripheralTest {
 protected:
  void SetUp() override {
    PeripheralTest::SetUp();
    SetNv(nv::controllerStandardTimeZone, static_cast<uint32_t>(-21600));
    SetNv(nv::globalDaylightSaving, 3);
    SetV(vol::dstEntryCount, 10);
    pl_record record;
    record.type_id = 90;
    clock_.reset(static_cast<CClock*>(CClock::Create(record)));
    ASSERT_NE(clock_, nullptr);
  }
  void TearDown() override {
    clock_.reset();
    PeripheralTest::TearDown();
  }
  // Transitions of the year of t.
  void At(uint32_t t) {
    clock_->SetGlobalTime(t);
    clock_->ComputeDst();
  }
  bool DstAt(uint32_t t) {
    clock_->SetGlobalTime(t);
    return clock_->InDst();
  }

  std::unique_ptr<CClock> clock_;
};

TEST_F(ClockTest, NorthernRuleAcrossItsChange) {
  struct Row {
    uint32_t rule;
    int32_t zone;
    uint32_t in_year;
    uint32_t begin, end;
  } rows[] = {
      // Rule 3 before 2007: first Sunday of April, last Sunday of October.
      {3, -21600, Seconds(Date(2006, 6, 1)), 1143964799, 1162105200},
      // From 2007: second Sunday of March, first Sunday of November.
      {3, -21600, Seconds(Date(2007, 6, 1)), 1173599999, 1194159600},
      {3, -21600, Seconds(Date(2010, 6, 1)), 1268553599, 1289113200},
      // Rule 9: given days of the month, 1 April 03:00 and 1 October 04:00.
      {9, 3600, Seconds(Date(2010, 6, 1)), 1270087199, 1285898400},
  };
  for (const Row& r : rows) {
    SetNv(nv::globalDaylightSaving, r.rule);
    SetNv(nv::controllerStandardTimeZone, static_cast<uint32_t>(r.zone));
    At(r.in_year);
    EXPECT_EQ(clock_->Begin(), r.begin) << r.rule << " " << r.in_year;
    EXPECT_EQ(clock_->End(), r.end) << r.rule << " " << r.in_year;
  }
  // The rule went into entry 0 of the table, its begin month excepted.
  EXPECT_EQ(Nv(nv::dstEndMonth(0)), 10u);
  EXPECT_EQ(Nv(nv::dstBeginOccurrences(0)), 9u);
  EXPECT_EQ(Nv(nv::dstEndSecondsToTransition(0)), 14400u);
  EXPECT_EQ(Nv(nv::dstSecondsToAdjust(0)), 3600u);
}

TEST_F(ClockTest, TransitionInstants) {
  At(Seconds(Date(2010, 6, 1)));
  // 14 March 2010 02:00 CST is 08:00 UTC; the second before is the
  // transition itself.
  EXPECT_FALSE(DstAt(1268553599));
  EXPECT_TRUE(DstAt(1268553600));
  EXPECT_TRUE(DstAt(1289113199));
  EXPECT_FALSE(DstAt(1289113200));  // the end instant is standard time again
  EXPECT_FALSE(DstAt(Seconds(Date(2010, 12, 31))));
  // Within the hour after a transition.
  clock_->SetGlobalTime(1268553599 + 3599);
  EXPECT_TRUE(clock_->NearTransition());
  clock_->SetGlobalTime(1268553599 + 3600);
  EXPECT_FALSE(clock_->NearTransition());
}

TEST_F(ClockTest, SouthernRuleSpansTheNewYear) {
  // Rule 5: last Sunday of October to last Sunday of March, at UTC+10.
  SetNv(nv::globalDaylightSaving, 5);
  SetNv(nv::controllerStandardTimeZone, 36000);
  At(Seconds(Date(2010, 6, 1)));
  EXPECT_EQ(clock_->Begin(), 1288454399u);
  EXPECT_EQ(clock_->End(), 1269702000u);
  EXPECT_EQ(clock_->NextEnd(), 1301151600u);
  struct Row {
    uint32_t t;
    bool dst;
  } rows[] = {
      {Seconds(Date(2010, 1, 15)), true},   // summer, before this year's end
      {1269701999, true},
      {1269702000, false},
      {Seconds(Date(2010, 6, 15)), false},  // winter
      {1288454399, false},
      {1288454400, true},
      {Seconds(Date(2010, 12, 15)), true},  // summer again, up to next year's end
      {Seconds(Date(2011, 1, 15)), true},   // a new year before the weekly re-evaluation
  };
  for (const Row& r : rows) EXPECT_EQ(DstAt(r.t), r.dst) << r.t;
}

TEST_F(ClockTest, RulesWithoutDaylightSaving) {
  const uint32_t summer = Seconds(Date(2010, 6, 1));
  // Begin month 14 disables daylight saving whatever the rule.
  SetNv(nv::dstBeginMonth(0), 14);
  At(summer);
  EXPECT_FALSE(DstAt(summer));
  // Rule 11 has no begin month: no transitions.
  SetNv(nv::dstBeginMonth(0), 3);
  SetNv(nv::globalDaylightSaving, 11);
  trace_capture trace;
  At(summer);
  EXPECT_TRUE(trace.contains("Month didn't match 0\n"));
  EXPECT_EQ(clock_->Begin(), 0u);
  EXPECT_EQ(clock_->End(), 0u);
  EXPECT_FALSE(DstAt(summer));
}

TEST_F(ClockTest, RuleOneTakesTheTableOrItsDefault) {
  SetNv(nv::globalDaylightSaving, 1);
  SetNv(nv::dstBeginMonth(0), 15);  // not set: the default rule is written
  At(Seconds(Date(2010, 6, 1)));
  EXPECT_EQ(clock_->Begin(), 1268553599u);
  EXPECT_EQ(Nv(nv::dstBeginMonth(0)), 3u);
  EXPECT_EQ(Nv(nv::globalDaylightSaving), 1u);
  // Rule 20 keeps its number when the default is written.
  SetNv(nv::globalDaylightSaving, 20);
  SetNv(nv::dstBeginMonth(0), 15);
  At(Seconds(Date(2010, 6, 1)));
  EXPECT_EQ(Nv(nv::globalDaylightSaving), 20u);
  // A table entry of the user's: third Friday of May 01:00 to first
  // Saturday of September.
  SetNv(nv::globalDaylightSaving, 1);
  SetNv(nv::dstBeginMonth(0), 5);
  SetNv(nv::dstBeginOccurrences(0), 3);
  SetNv(nv::dstBeginDayOfWeek(0), 6);
  SetNv(nv::dstBeginSecondsToTransition(0), 3600);
  SetNv(nv::dstEndMonth(0), 9);
  SetNv(nv::dstEndOccurrences(0), 1);
  SetNv(nv::dstEndDayOfWeek(0), 7);
  SetNv(nv::dstEndSecondsToTransition(0), 0);
  SetNv(nv::controllerStandardTimeZone, 0);
  At(Seconds(Date(2010, 6, 1)));
  EXPECT_EQ(clock_->Begin(), Seconds(Date(2010, 5, 21, 1)) - 1);
  EXPECT_EQ(clock_->End(), Seconds(Date(2010, 9, 4)) - 3600);
}

TEST_F(ClockTest, AbsoluteTransitions) {
  SetNv(nv::globalDaylightSaving, 1);
  SetNv(nv::controllerStandardTimeZone, 0);
  SetNv(nv::dstBeginMonth(0), 13);
  SetNv(nv::dstEndMonth(0), 13);
  // Entries of other years are passed over.
  SetNv(nv::dstBeginSecondsToTransition(0), Seconds(Date(2009, 4, 1)));
  SetNv(nv::dstEndSecondsToTransition(0), Seconds(Date(2009, 10, 1)));
  SetNv(nv::dstBeginSecondsToTransition(1), Seconds(Date(2010, 4, 2)));
  SetNv(nv::dstEndSecondsToTransition(1), Seconds(Date(2010, 10, 2)));
  At(Seconds(Date(2010, 6, 1)));
  EXPECT_EQ(clock_->Begin(), Seconds(Date(2010, 4, 2)) - 1);
  EXPECT_EQ(clock_->End(), Seconds(Date(2010, 10, 2)) - 3600);
  // A count beyond the table reads no further than its ten entries.
  SetV(vol::dstEntryCount, 200);
  At(Seconds(Date(2011, 6, 1)));
  EXPECT_EQ(clock_->Begin(), Seconds(Date(2011, 1, 1)) - 1);  // none found: the year's start
}

TEST_F(ClockTest, RulesNearTheEndOfTheRange) {
  // The transitions of 2106 lie beyond the range: they never come.
  At(Seconds(Date(2106, 1, 15)));
  EXPECT_EQ(clock_->Begin(), 0xFFFFFFFFu);
  EXPECT_FALSE(DstAt(Seconds(Date(2106, 1, 15))));
  At(Seconds(Date(2038, 6, 1)));
  EXPECT_TRUE(DstAt(Seconds(Date(2038, 6, 1))));
}

TEST_F(ClockTest, PollKeepsGlobalAndLocalTime) {
  uint32_t out = 0;
  EXPECT_EQ(clock_->GetLocalTime(&out), 0);  // before the first poll
  host_seconds_ = Seconds(Date(2010, 6, 1, 12));
  TakeFlags(CClock::kCentralTimeSet);
  clock_->Poll();
  EXPECT_EQ(clock_->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(Db().GetTimeValue(nv::globalTime.offset, 4, Db().mib_nv, DB_GLOBAL_TIME), host_seconds_);
  // CDT: UTC - 6 h + 1 h.
  EXPECT_EQ(V(vol::controllerLocalTime), host_seconds_ - 21600 + 3600);
  EXPECT_EQ(V(vol::dstActive), 2u);
  ASSERT_EQ(clock_->GetLocalTime(&out), 1);
  EXPECT_EQ(out, host_seconds_ - 18000);
  clock_date d{};
  ASSERT_EQ(clock_->GetLocalDate(&d), 1);
  EXPECT_EQ(d.hours, 7u);
  // The clock's own write announces nothing.
  EXPECT_EQ(TakeFlags(CClock::kCentralTimeSet), 0u);

  host_seconds_ = Seconds(Date(2010, 12, 1, 12));
  clock_->Poll();
  EXPECT_EQ(V(vol::controllerLocalTime), host_seconds_ - 21600);
  EXPECT_EQ(V(vol::dstActive), 1u);
}

TEST_F(ClockTest, CentralSetReachesTheBoardClock) {
  host_seconds_ = Seconds(Date(2010, 6, 1, 12));
  clock_->Poll();
  const uint32_t central = Seconds(Date(2011, 1, 2, 3, 4, 5));
  Db().SetTimeValue(nv::globalTime.offset, 4, central, Db().mib_nv, DB_NOTIFY | DB_GLOBAL_TIME);
  clock_->Poll();
  EXPECT_EQ(clock_->GlobalTime(), central);
  uint32_t words[10] = {};
  ASSERT_EQ(mon_clock_get(words), 0);
  EXPECT_EQ(words[5], 111u);
  EXPECT_EQ(words[3], 2u);
  // Re-evaluated at once: January is standard time.
  EXPECT_EQ(V(vol::dstActive), 1u);
  EXPECT_EQ(clock_->NextEvaluation(), central + 604800);
}

TEST_F(ClockTest, ZoneChangeTakesEffectOnTheSecondPoll) {
  host_seconds_ = Seconds(Date(2010, 12, 1, 12));
  clock_->Poll();
  SetNv(nv::controllerStandardTimeZone, static_cast<uint32_t>(-18000));
  clock_->RequestTimeZoneReload();
  trace_set_level(1);
  trace_capture trace;
  clock_->Poll();
  // Until re-evaluated, the zone already counts but the change is not
  // announced.
  EXPECT_FALSE(trace.contains("Time Zone Changed"));
  clock_->Poll();
  EXPECT_TRUE(trace.contains("Time Zone Changed\n"));
  trace_set_level(0);
  EXPECT_EQ(V(vol::controllerLocalTime), host_seconds_ - 18000);
}

TEST_F(ClockTest, DifferentialInSummerGivesTheStandardZone) {
  host_seconds_ = Seconds(Date(2010, 6, 1, 12));
  clock_->Poll();
  // Central writes the present offset, daylight saving included (EDT).
  SetNv(nv::controllerStandardTimeZone, 0);
  SetNv(nv::globalLocalTimeDifferential, static_cast<uint32_t>(-14400));
  clock_->RequestTimeDifferentialReload();
  clock_->Poll();
  clock_->Poll();
  EXPECT_EQ(static_cast<int32_t>(Nv(nv::controllerStandardTimeZone)), -18000);
  EXPECT_EQ(V(vol::controllerLocalTime), host_seconds_ - 14400);
  // In winter the differential is the zone itself.
  host_seconds_ = Seconds(Date(2010, 12, 1, 12));
  SetNv(nv::globalLocalTimeDifferential, static_cast<uint32_t>(-18000));
  clock_->RequestTimeDifferentialReload();
  clock_->Poll();
  clock_->Poll();
  EXPECT_EQ(static_cast<int32_t>(Nv(nv::controllerStandardTimeZone)), -18000);
  EXPECT_EQ(V(vol::controllerLocalTime), host_seconds_ - 18000);
}

TEST_F(ClockTest, PanelSetInSummerIsTakenAsLocalDaylightTime) {
  host_seconds_ = Seconds(Date(2010, 6, 1, 12));
  clock_->Poll();
  // The panel took 13:00 as UTC + 6 h, an hour late in summer.
  const uint32_t entered = Seconds(Date(2010, 6, 1, 13));
  Db().SetTimeValue(nv::globalTime.offset, 4, entered, Db().mib_nv, DB_NOTIFY | DB_GLOBAL_TIME);
  clock_->RequestTimeReload();
  clock_->Poll();
  EXPECT_EQ(clock_->GlobalTime(), entered - 3600);
  EXPECT_EQ(Db().GetTimeValue(nv::globalTime.offset, 4, Db().mib_nv, DB_GLOBAL_TIME), entered - 3600);
  // The corrected time reaches the board clock at the next poll.
  clock_->Poll();
  EXPECT_EQ(clock_->GlobalTime(), entered - 3600);
}

TEST_F(ClockTest, BadRules) {
  // At creation a rule outside 1..20 becomes 3.
  for (uint32_t bad : {0u, 21u}) {
    SetNv(nv::globalDaylightSaving, bad);
    pl_record record;
    record.type_id = 90;
    std::unique_ptr<CPeripheral> clock(CClock::Create(record));
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(Nv(nv::globalDaylightSaving), 3u) << bad;
  }
  // Later, such a rule stops the local time where it was.
  host_seconds_ = Seconds(Date(2010, 6, 1, 12));
  clock_->Poll();
  const uint32_t local = V(vol::controllerLocalTime);
  SetNv(nv::globalDaylightSaving, 0);
  host_seconds_ += 600;
  trace_capture trace;
  clock_->Poll();
  EXPECT_TRUE(trace.contains("Clock DST Error\n"));
  EXPECT_EQ(V(vol::controllerLocalTime), local);
  EXPECT_EQ(clock_->GlobalTime(), host_seconds_);
  // Rule 2: the zone alone.
  SetNv(nv::globalDaylightSaving, 2);
  clock_->Poll();
  EXPECT_EQ(V(vol::controllerLocalTime), host_seconds_ - 21600);
}

}  // namespace
