// The time-base schedule: which entry and which day-plan event are in force,
// and when the message of the event's action is requested.
#include "display/tests/schedule_fixture.h"

namespace {

class ScheduleEvalTest : public ScheduleTest {
 protected:
  void SetUp() override {
    ScheduleTest::SetUp();
    crc4_ = StoreChangeable(4, "AB");
    for (uint16_t a = 1; a <= 4; ++a) SetAction(a, MEMORY_CHANGEABLE, a, 0);
  }
  // A fresh start of each case: nothing scheduled, no request pending.
  void Forget() {
    SetNv(nv::scheduleMessageCRC, 0);
    SetVol(vol::activationSlotSourceMode(6), 0);
    db_->SetString(vol::activationSlotCode(6).offset, 4, "", 0, db_->mib_v, DB_NO_VALIDATE);
    Requests();
  }
  uint16_t Crc(uint16_t n) const { return n == 1 ? crc1_ : n == 2 ? crc2_ : n == 3 ? crc3_ : crc4_; }
  // The request of changeable message n by the scheduler.
  void ExpectRequested(uint16_t n, const std::string& where) {
    EXPECT_EQ(Requests(), 1u) << where;
    EXPECT_EQ(Slot6(), LocalCode(MEMORY_CHANGEABLE, n, Crc(n))) << where;
    EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 9u) << where;
    EXPECT_EQ(Vol(vol::activationSlotReason(6)), 2u) << where;
    EXPECT_EQ(Nv(nv::scheduleMessageCRC), Crc(n)) << where;
  }
  void ExpectBlankPeriod(const std::string& where) {
    EXPECT_EQ(Requests(), 1u) << where;
    EXPECT_EQ(Slot6(), LocalCode(MEMORY_BLANK, 255, 0)) << where;
    EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 9u) << where;
  }

  uint16_t crc4_ = 0;
};

// Wednesday 3 January 2024.
constexpr uint32_t kJan3 = 2;
constexpr uint32_t kAllMonths = 0x1FFE, kJanuary = 0x2, kFebruary = 0x4, kMarch = 0x8;
constexpr uint32_t kAllDays = 0xFE, kThursday = 1u << 5;
constexpr uint32_t kAllDates = 0xFFFFFFFE;

TEST_F(ScheduleEvalTest, NarrowerEntryWinsCountByCount) {
  // Plan n has one event at midnight that shows message n.
  for (uint32_t p = 1; p <= 4; ++p) SetEvent(p, 0, 0, 0, ActionOid(p));
  struct mask {
    uint32_t months, days, dates;
  };
  const mask A{kAllMonths, kAllDays, 1u << 3};   // every month, the 3rd
  const mask B{kJanuary, kAllDays, kAllDates};   // every day of January
  const mask C{kAllMonths, kAllDays, kAllDates};  // narrower in nothing
  const mask Feb{kFebruary, kAllDays, kAllDates};
  const mask Thu{kAllMonths, kThursday, kAllDates};
  struct Case {
    const char* name;
    std::vector<std::pair<mask, uint32_t>> entries;  // masks and day plan, from entry 0
    uint16_t message;
    uint32_t entry_status;
  } cases[] = {
      {"A then B: fewer months", {{A, 1}, {B, 2}}, 2, 2},
      {"B then A: same months, fewer dates", {{B, 2}, {A, 1}}, 1, 2},
      {"B then C: narrower in nothing", {{B, 2}, {C, 3}}, 2, 1},
      {"C then B", {{C, 3}, {B, 2}}, 2, 2},
      {"February does not match", {{Feb, 4}, {C, 3}}, 3, 2},
      {"Thursday does not match", {{Thu, 4}, {C, 3}}, 3, 2},
  };
  for (const Case& c : cases) {
    ClearEntries();
    Forget();
    uint32_t i = 0;
    for (const auto& [m, plan] : c.entries) SetEntry(i++, m.months, m.days, m.dates, plan);
    Evaluate(At2024(kJan3, 12, 0));
    ExpectRequested(c.message, c.name);
    EXPECT_EQ(Nv(nv::timeBaseScheduleTableStatus), c.entry_status) << c.name;
  }
}

TEST_F(ScheduleEvalTest, EventInForceFallsBackToYesterdaysLastEvent) {
  // Friday 1 March 2024 and the day before it, 29 February.
  constexpr uint32_t kMarch1 = 60;
  SetEntry(0, kMarch, kAllDays, 1u << 1, 1);
  SetEntry(1, kFebruary, kAllDays, 1u << 29, 2);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  SetEvent(1, 1, 18, 0, ActionOid(2));
  SetEvent(2, 0, 6, 0, ActionOid(3));
  SetEvent(2, 1, 18, 0, ActionOid(4));
  struct Case {
    uint32_t hour, minute;
    uint16_t message;
    uint32_t entry_status, event_status;
  } cases[] = {
      {0, 0, 4, 2, 2},  {5, 59, 4, 2, 2},  {6, 0, 1, 1, 1},
      {17, 59, 1, 1, 1}, {18, 0, 2, 1, 2}, {23, 59, 2, 1, 2},
  };
  for (const Case& c : cases) {
    const std::string at = std::to_string(c.hour) + ":" + std::to_string(c.minute);
    Forget();
    Evaluate(At2024(kMarch1, c.hour, c.minute));
    ExpectRequested(c.message, at);
    EXPECT_EQ(Nv(nv::timeBaseScheduleTableStatus), c.entry_status) << at;
    EXPECT_EQ(Nv(nv::dayPlanStatus), c.event_status) << at;
  }
  // The scheduled row holds what was requested last.
  EXPECT_EQ(RowText(msg_row{true, nv::scheduleMessageMultiString, nv::scheduleMessageOwner, nv::scheduleMessageCRC,
                            nv::scheduleMessageBeacon, nv::scheduleMessagePixelService,
                            nv::scheduleMessageRunTimePriority, nv::scheduleMessageStatus},
                    nv::scheduleMessageMultiString),
            "B");
  EXPECT_EQ(Nv(nv::scheduleMessageStatus), 4u);

  // Of two events at the same time the later one counts.
  SetEvent(1, 5, 18, 0, ActionOid(3));
  Forget();
  Evaluate(At2024(kMarch1, 20, 0));
  ExpectRequested(3, "tie");
  EXPECT_EQ(Nv(nv::dayPlanStatus), 6u);
}

TEST_F(ScheduleEvalTest, EventsWithoutAnActionOidOfTheActionTableAreIgnored) {
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  std::vector<uint32_t> foreign(kPrefix, kPrefix + 14);
  foreign[13] = 2;  // another column of the action table
  foreign.push_back(2);
  SetEvent(1, 1, 7, 0, Oid(foreign));
  SetEvent(1, 2, 7, 30, Oid(std::vector<uint32_t>(kPrefix, kPrefix + 14)));  // no action number
  Bytes cut = ActionOid(3);
  cut.resize(cut.size() - 1);  // a partial last sub-identifier
  SetEvent(1, 3, 7, 40, cut);
  SetEvent(1, 4, 7, 50, Bytes());
  Evaluate(At2024(kJan3, 8, 0));
  ExpectRequested(1, "08:00");
  EXPECT_EQ(Nv(nv::dayPlanStatus), 1u);
}

TEST_F(ScheduleEvalTest, MessageIsRequestedOnceAndAgainWhenItChanges) {
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  SetEvent(1, 1, 18, 0, ActionOid(5));
  SetAction(5, MEMORY_BLANK, 1, 0);

  Evaluate(At2024(kJan3, 12, 0));
  ExpectRequested(1, "first");
  Evaluate(At2024(kJan3, 12, 1));
  EXPECT_EQ(Requests(), 0u) << "unchanged";

  // A new text gives a new CRC: the message is requested again.
  const uint16_t changed = StoreChangeable(1, "ABC");
  ASSERT_NE(changed, crc1_);
  Evaluate(At2024(kJan3, 12, 2));
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(Slot6(), LocalCode(MEMORY_CHANGEABLE, 1, changed));

  // The blank action once; then its CRC 0 matches the row's.
  Evaluate(At2024(kJan3, 18, 0));
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(Slot6(), LocalCode(MEMORY_BLANK, 1, 0));
  EXPECT_EQ(Nv(nv::scheduleMessageCRC), 0u);
  EXPECT_EQ(VolBytes(vol::activationSlotCode(6)).size(), 12u);
  for (uint32_t m = 1; m <= 3; ++m) Evaluate(At2024(kJan3, 18, m));
  EXPECT_EQ(Requests(), 0u);
}

TEST_F(ScheduleEvalTest, RunningOutOfEntriesOrEventsEndsThePeriodOnce) {
  ClearEntries();
  for (uint32_t m = 0; m < 3; ++m) Evaluate(At2024(kJan3, 12, m));
  ExpectBlankPeriod("no entry");
  EXPECT_EQ(Nv(nv::scheduleMessageStatus), 4u);

  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  Evaluate(At2024(kJan3, 12, 3));
  ExpectRequested(1, "entry again");

  ClearEntries();
  Evaluate(At2024(kJan3, 12, 4));
  Evaluate(At2024(kJan3, 12, 5));
  ExpectBlankPeriod("entries gone");

  // Today's entry alone, before its first event: no event in force.
  SetEntry(0, kJanuary, kAllDays, 1u << 3, 1);
  Evaluate(At2024(kJan3, 5, 0));
  Evaluate(At2024(kJan3, 5, 1));
  ExpectBlankPeriod("no event yet");
  Evaluate(At2024(kJan3, 6, 0));
  ExpectRequested(1, "first event");
}

TEST_F(ScheduleEvalTest, OnlyKeepsTheTableStatusWhileAnotherSourceOwnsTheSign) {
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  SetNv(nv::timeBaseScheduleTableStatus, 5);
  SetNv(nv::dmsMsgSourceMode, 8);
  Evaluate(At2024(kJan3, 12, 0));
  EXPECT_EQ(Nv(nv::timeBaseScheduleTableStatus), 0u);
  EXPECT_EQ(Requests(), 0u);
  EXPECT_EQ(Slot6(), Bytes());
}

// Message numbers and table numbers outside their tables name nothing;
// they are never read at the neighbouring objects.
TEST_F(ScheduleEvalTest, NumbersOutsideTheirTablesRequestNothing) {
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  msg_row permanent1{}, permanent3{};
  // The 500-message mode: the upper rows hold permanent messages.
  SetNv(nv::quorMessageTableMode, 1);
  SetVol(vol::dmsNumPermanentMsg, 3);
  ASSERT_EQ(msg_find_row(MEMORY_PERMANENT, 1, &permanent1), ACTIVATE_NONE);
  ASSERT_EQ(msg_find_row(MEMORY_PERMANENT, 3, &permanent3), ACTIVATE_NONE);
  WriteRow(permanent1, "P1", MSG_STATUS_VALID, 0x1111);
  WriteRow(permanent3, "P3", MSG_STATUS_VALID, 0x3333);
  // Where an unchecked message number 0 would read its status, "valid".
  SetNv(nv::dmsMessageRunTimePriority(549), MSG_STATUS_VALID);
  SetVol(vol::permanentMessageRunTimePriority(1), MSG_STATUS_VALID);

  struct Case {
    uint8_t type;
    uint16_t number;
    uint32_t permanent_count;
    uint16_t crc;  // requested with this CRC; 0: nothing requested
  } cases[] = {
      {MEMORY_PERMANENT, 1, 3, 0x1111}, {MEMORY_PERMANENT, 3, 3, 0x3333}, {MEMORY_PERMANENT, 0, 3, 0},
      {MEMORY_PERMANENT, 3, 2, 0},      {MEMORY_PERMANENT, 60, 100, 0},   {MEMORY_CHANGEABLE, 0, 3, 0},
      {MEMORY_CHANGEABLE, 551, 3, 0},   {MEMORY_VOLATILE, 1, 3, 0},       {MEMORY_BLANK, 256, 3, 0},
      {MEMORY_CURRENT_BUFFER, 1, 3, 0}, {0, 1, 3, 0},
      // Row 500 is permanent message 3 here, not changeable message 501.
      {MEMORY_CHANGEABLE, 501, 3, 0},   {MEMORY_BLANK, 0, 3, 0},
  };
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.type) + "/" + std::to_string(c.number);
    Forget();
    SetNv(nv::scheduleMessageCRC, 0xABCD);  // something else was scheduled
    SetVol(vol::dmsNumPermanentMsg, c.permanent_count);
    SetAction(1, c.type, c.number, 0);
    Evaluate(At2024(kJan3, 12, 0));
    if (c.crc) {
      EXPECT_EQ(Requests(), 1u) << name;
      EXPECT_EQ(Slot6(), LocalCode(c.type, c.number, c.crc)) << name;
    } else {
      EXPECT_EQ(Requests(), 0u) << name;
      EXPECT_EQ(Nv(nv::scheduleMessageCRC), 0xABCDu) << name;
    }
  }

  // Action numbers outside the action table: the event is in force but
  // names no message.
  SetAction(1, MEMORY_CHANGEABLE, 1, 0);
  for (uint32_t action : {0u, 256u, 0xFFFFFFFFu}) {
    Forget();
    SetEvent(1, 0, 6, 0, ActionOid(action));
    Evaluate(At2024(kJan3, 12, 0));
    EXPECT_EQ(Requests(), 0u) << action;
  }

  // A day plan outside the table has no events: the period ends.
  SetEvent(1, 0, 6, 0, ActionOid(1));
  for (uint32_t plan : {0u, 21u, 255u}) {
    Forget();
    SetEveryDay(0, plan);
    Evaluate(At2024(kJan3, 12, 0));
    Evaluate(At2024(kJan3, 12, 1));  // the blank only once
    Evaluate(At2024(kJan3, 12, 2));
    SetEveryDay(0, 1);
    Evaluate(At2024(kJan3, 12, 3));  // and back
    EXPECT_EQ(Requests(), 2u) << plan;
    EXPECT_EQ(Slot6(), LocalCode(MEMORY_CHANGEABLE, 1, crc1_)) << plan;
  }
}

}  // namespace
