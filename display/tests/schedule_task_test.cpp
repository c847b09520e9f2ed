// The schedule task: the message it requests after each kind of start, its
// letters, the trap destination, and its steps on the manual clock.
#include <algorithm>

#include "comm/ntcip_endpoint.h"
#include "display/tests/schedule_fixture.h"

namespace {

class ScheduleTaskTest : public ScheduleTest {
 protected:
  void SetUp() override {
    ScheduleTest::SetUp();
    SetNvBytes(nv::sysLocation, B("Hwy 1"));
    SetTime(1700000000);
    SetNvBytes(nv::dmsShortPowerRecoveryMessage, IdCode(MEMORY_CHANGEABLE, 1, crc1_));
    SetNvBytes(nv::dmsLongPowerRecoveryMessage, IdCode(MEMORY_CHANGEABLE, 2, crc2_));
    SetNvBytes(nv::dmsResetMessage, IdCode(MEMORY_CHANGEABLE, 3, crc3_));
    SetNv(nv::dmsShortPowerLossTime, 30);
  }

  // Each check sleeps 40 ticks; the display task stays put meanwhile, so
  // that it neither runs nor remembers what the last case requested.
  void CheckReset(int first = 1) {
    if (!display_held_) InThread([&] { display_->Suspend(); });
    display_held_ = true;
    InThread([&] { task_->CheckResetType(first); });
  }
  void ClearSlot6() {
    db_->SetString(vol::activationSlotCode(6).offset, 4, "", 0, db_->mib_v, DB_NO_VALIDATE);
    SetVol(vol::activationSlotSourceMode(6), 0);
    SetVol(vol::activationSlotReason(6), 0);
    Requests();
  }
  void Publish(uint32_t id) {
    InThread([&] { g_post_office.Publish(id); });
  }

  bool display_held_ = false;
  // The time binding as the agent takes a counter: a u32 in host order.
  static std::string TimeValue(uint32_t t) { return std::string(reinterpret_cast<const char*>(&t), 4); }
};

TEST_F(ScheduleTaskTest, ColdStartRequestsTheShortOrLongRecoveryMessage) {
  reset_mode_ = 0;
  struct Case {
    const char* name;
    uint32_t short_loss;
    bool clock;
    uint32_t outage;
    bool short_message;
  } cases[] = {
      {"10 s of 30", 30, true, 10, true},  {"29 s of 30", 30, true, 29, true},
      {"30 s of 30", 30, true, 30, false}, {"no short time", 0, true, 10, false},
      {"no clock: 0 s", 30, false, 500, true},
  };
  for (const Case& c : cases) {
    trace_capture cap;
    ClearSlot6();
    schedule_world().traps.clear();
    schedule_world().clock_present = c.clock;
    schedule_world().outage = c.outage;
    SetNv(nv::dmsShortPowerLossTime, c.short_loss);
    SetVol(vol::quorActivationReason, 2);
    CheckReset();
    EXPECT_EQ(Requests(), 1u) << c.name;
    EXPECT_EQ(Slot6(), c.short_message ? LocalCode(MEMORY_CHANGEABLE, 1, crc1_) : LocalCode(MEMORY_CHANGEABLE, 2, crc2_))
        << c.name;
    EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 10u) << c.name;
    EXPECT_EQ(Vol(vol::activationSlotReason(6)), 2u) << c.name;
    EXPECT_EQ(Vol(vol::quorActivationReason), c.short_message ? 2u : 7u) << c.name;
    EXPECT_EQ(cap.contains("CScheduleTask::CheckResetType: error finding clock\n"), !c.clock) << c.name;

    const auto& traps = schedule_world().traps;
    ASSERT_EQ(traps.size(), 2u) << c.name;
    EXPECT_EQ(traps[0].generic, 0u);
    EXPECT_EQ(traps[0].count, 0u);
    EXPECT_EQ(traps[1].generic, 6u);
    EXPECT_EQ(traps[1].specific, 19u);
    ASSERT_EQ(traps[1].count, 2u);
    EXPECT_EQ(traps[1].oids[0], (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 6, 0}));
    EXPECT_EQ(traps[1].values[0], "Hwy 1");
    EXPECT_EQ(traps[1].oids[1], (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}));
    EXPECT_EQ(traps[1].values[1], TimeValue(1700000000));
  }
}

TEST_F(ScheduleTaskTest, StartReportCarriesTheValuesOfBeforeTheWait) {
  reset_mode_ = 1;
  schedule_world().on_startup_time = [this] {
    SetNvBytes(nv::sysLocation, B("Somewhere else entirely"));
    SetTime(1800000000);
  };
  CheckReset();
  const auto& traps = schedule_world().traps;
  ASSERT_EQ(traps.size(), 2u);
  EXPECT_EQ(traps[1].specific, 20u);
  EXPECT_EQ(traps[1].values[0], "Hwy 1");
  EXPECT_EQ(traps[1].values[1], TimeValue(1700000000));
}

TEST_F(ScheduleTaskTest, WarmStartAndShortLossStartRequestTheResetMessage) {
  struct Case {
    const char* name;
    uint8_t mode;
    int first;
    std::vector<std::pair<uint32_t, uint32_t>> traps;  // generic, specific
    Bytes code;
    uint8_t source;
  } cases[] = {
      {"warm start", 1, 1, {{1, 0}, {6, 20}}, LocalCode(MEMORY_CHANGEABLE, 3, crc3_), 11},
      {"after a short power loss", 2, 1, {}, LocalCode(MEMORY_CHANGEABLE, 3, crc3_), 11},
      {"warm start, not the first", 1, 0, {}, LocalCode(MEMORY_CHANGEABLE, 3, crc3_), 11},
      {"cold start, not the first", 0, 0, {}, LocalCode(MEMORY_CHANGEABLE, 2, crc2_), 10},
  };
  schedule_world().outage = 3600;
  for (const Case& c : cases) {
    ClearSlot6();
    schedule_world().traps.clear();
    reset_mode_ = c.mode;
    CheckReset(c.first);
    std::vector<std::pair<uint32_t, uint32_t>> traps;
    for (const auto& t : schedule_world().traps) traps.emplace_back(t.generic, t.specific);
    EXPECT_EQ(traps, c.traps) << c.name;
    EXPECT_EQ(Slot6(), c.code) << c.name;
    EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), c.source) << c.name;
  }
}

TEST_F(ScheduleTaskTest, CurrentBufferResetMessageRunsTheLastMessageForItsRemainingTime) {
  SetNvBytes(nv::dmsResetMessage, IdCode(MEMORY_CURRENT_BUFFER, 1, 0));
  const Bytes last = Code(MEMORY_CHANGEABLE, 2, crc2_, 3, 45, {10, 0, 0, 9});
  const Bytes blank1 = LocalCode(MEMORY_BLANK, 1, 0);
  struct Case {
    const char* name;
    Bytes last;
    uint32_t remaining;  // minutes
    uint32_t outage;     // seconds
    Bytes expected;      // empty: nothing requested
  } cases[] = {
      {"30 min less 10", last, 30, 600, LocalCode(MEMORY_CHANGEABLE, 2, crc2_, 20)},
      {"11 min less 10 min 59 s", last, 11, 659, LocalCode(MEMORY_CHANGEABLE, 2, crc2_, 1)},
      {"without end", last, 0xFFFF, 86400, LocalCode(MEMORY_CHANGEABLE, 2, crc2_, 0xFFFF)},
      {"10 min, ran out in 10", last, 10, 600, blank1},
      {"0 min", last, 0, 0, blank1},
      {"volatile: lost", Code(MEMORY_VOLATILE, 1, 0x55), 0xFFFF, 0, blank1},
      {"last code not 12 bytes", Bytes(11, 1), 30, 0, Bytes()},
  };
  for (const Case& c : cases) {
    ClearSlot6();
    SetNvBytes(nv::quorLastActivatedCode, c.last);
    SetNv(nv::dmsMessageTimeRemaining, c.remaining);
    schedule_world().outage = c.outage;
    CheckReset();
    EXPECT_EQ(Slot6(), c.expected) << c.name;
    EXPECT_EQ(Requests(), c.expected.empty() ? 0u : 1u) << c.name;
    if (!c.expected.empty()) {
      EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 11u) << c.name;
    }
  }
}

TEST_F(ScheduleTaskTest, MissingResetMessageRequestsNothingAndKeepsTheDisplayMode) {
  SetNv(nv::quorDisplayMode, 3);
  for (const Bytes& message : {Bytes(), Bytes{3, 0, 1}}) {
    trace_capture cap;
    ClearSlot6();
    SetNvBytes(nv::dmsResetMessage, message);
    CheckReset();
    EXPECT_TRUE(cap.contains("CScheduleTask::CheckResetType: error null pointer\n")) << message.size();
    EXPECT_EQ(Requests(), 0u);
    EXPECT_EQ(Slot6(), Bytes());
    EXPECT_EQ(Nv(nv::quorDisplayMode), 3u);
  }
}

TEST_F(ScheduleTaskTest, StartsAtItsFirstExpiryAndTheDisplayRunsTheResetMessage) {
  static const uint32_t ids[] = {MSG_WDT_SCHEDULE_START, MSG_WDT_SCHEDULE_ALIVE, 0};
  subscriber watchdog(&g_post_office, nullptr, 1, nullptr);
  ASSERT_EQ(watchdog.Subscribe(ids), 1);
  trace_capture cap;
  CreateTask();
  AdvanceTo(99);
  EXPECT_FALSE(cap.contains("Schedule Task Start...\n"));
  AdvanceTo(100);
  EXPECT_TRUE(cap.contains("Schedule Task Start...\n"));
  // The clock is given its first reading before the request.
  AdvanceTo(139);
  EXPECT_EQ(Slot6(), Bytes());
  EXPECT_EQ(task_->Initialised(), 0u);
  AdvanceTo(141);
  EXPECT_EQ(task_->Initialised(), 1u);
  EXPECT_EQ(Slot6(), LocalCode(MEMORY_CHANGEABLE, 3, crc3_));
  std::vector<uint32_t> letters;
  letter_s* l = nullptr;
  while (watchdog.Receive(&l)) {
    letters.push_back(l->Id());
    watchdog.Release(l);
  }
  EXPECT_EQ(letters, (std::vector<uint32_t>{MSG_WDT_SCHEDULE_START, MSG_WDT_SCHEDULE_ALIVE}));

  RunToStep(2);
  EXPECT_EQ(Running(), "C");
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 11u);
  // The logger stepped at every step of the task.
  EXPECT_EQ(schedule_world().log, (std::vector<std::string>{"update"}));
  watchdog.Unsubscribe();
}

TEST_F(ScheduleTaskTest, EvaluatesFromItsThirdStepAtTheClocksDate) {
  SetNvBytes(nv::dmsResetMessage, Bytes());
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  SetAction(1, MEMORY_CHANGEABLE, 1, 0);
  schedule_world().date = Date(At2024(2, 12, 0));
  CreateTask();
  AdvanceTo(199);
  EXPECT_EQ(Slot6(), Bytes());
  AdvanceTo(201);
  EXPECT_EQ(task_->LocalDate().mday, 3);
  EXPECT_EQ(Slot6(), LocalCode(MEMORY_CHANGEABLE, 1, crc1_));

  // A clock that lost its time leaves the last date.
  schedule_world().clock_valid = false;
  AdvanceTo(251);
  EXPECT_EQ(task_->LocalDate().mday, 3);
  EXPECT_EQ(task_->LocalDate().hour, 12);
}

TEST_F(ScheduleTaskTest, WithoutAClockTheScheduleRunsOutOnce) {
  SetNvBytes(nv::dmsResetMessage, Bytes());
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  schedule_world().clock_present = false;
  CreateTask();
  AdvanceTo(141);
  Requests();
  AdvanceTo(401);
  // The date stays zero, which no entry matches.
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(Slot6(), LocalCode(MEMORY_BLANK, 255, 0));
}

TEST_F(ScheduleTaskTest, LettersReachTheLoggerTheTrapFlagAndTheSchedule) {
  SetNvBytes(nv::dmsResetMessage, Bytes());
  SetNv(nv::dmsMsgSourceMode, 8);
  CreateTask();
  AdvanceTo(141);
  schedule_world().log.clear();
  uint32_t tick = 150;
  auto step = [&] {
    AdvanceTo(++tick);
    tick += 49;
    auto& log = schedule_world().log;
    log.erase(std::remove(log.begin(), log.end(), "update"), log.end());
  };

  Publish(MSG_EVENT_CLASS_CLEAR_TIME + 1);
  Publish(MSG_EVENT_CLASS_CLEAR_TIME + 15);
  Publish(MSG_EVENT_CLASS_LIMIT);
  step();
  EXPECT_EQ(schedule_world().log, (std::vector<std::string>{"clear 1", "clear 15", "trim"}));

  Publish(MSG_TCP_CLIENT_CONNECTED);
  step();
  EXPECT_EQ(g_tcp_client_connected, 1u);
  Publish(MSG_TCP_CLIENT_CLOSED);
  step();
  EXPECT_EQ(g_tcp_client_connected, 0u);

  // The schedule message was activated: an empty row and a blank from the
  // scheduler.
  WriteRow(msg_row{true, nv::scheduleMessageMultiString, nv::scheduleMessageOwner, nv::scheduleMessageCRC,
                   nv::scheduleMessageBeacon, nv::scheduleMessagePixelService, nv::scheduleMessageRunTimePriority,
                   nv::scheduleMessageStatus},
           "B", MSG_STATUS_NOT_USED, crc2_, 1, 1, 1);
  Requests();
  Publish(MSG_MESSAGE_ACTIVATED);
  step();
  EXPECT_EQ(Requests(), 1u);
  EXPECT_EQ(Slot6(), LocalCode(MEMORY_BLANK, 255, 0));
  EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 9u);
  EXPECT_EQ(Vol(vol::activationSlotReason(6)), 2u);
  EXPECT_EQ(NvBytes(nv::scheduleMessageMultiString), Bytes());
  EXPECT_EQ(NvBytes(nv::scheduleMessageOwner), Bytes());
  EXPECT_EQ(Nv(nv::scheduleMessageCRC), 0u);
  EXPECT_EQ(Nv(nv::scheduleMessageBeacon), 0u);
  EXPECT_EQ(Nv(nv::scheduleMessagePixelService), 0u);
  EXPECT_EQ(Nv(nv::scheduleMessageStatus), 4u);
}

TEST_F(ScheduleTaskTest, ChangedTrapManagerIsAppliedAtTheNextStep) {
  const CNTCIP_IP::record saved = g_ntcip_ip.Trap();
  SetNvBytes(nv::dmsResetMessage, Bytes());
  CreateTask();
  AdvanceTo(141);
  schedule_world().log.clear();
  InThread([&] {
    db_->SetValue(nv::quorRemoteIPAddress.offset, 4, 0x0A000009, db_->mib_nv, DB_NOTIFY);
    db_->SetValue(nv::quorRemoteIPPort.offset, 2, 1620, db_->mib_nv, DB_NOTIFY);
  });
  AdvanceTo(151);
  EXPECT_EQ(g_ntcip_ip.Trap().address, 0x0A000009u);
  EXPECT_EQ(g_ntcip_ip.Trap().port, 1620u);
  auto& log = schedule_world().log;
  EXPECT_EQ(std::count(log.begin(), log.end(), "clients 167772169:1620"), 1);

  // Unannounced writes change nothing.
  InThread([&] { db_->SetValue(nv::quorRemoteIPPort.offset, 2, 999, db_->mib_nv, 0); });
  AdvanceTo(201);
  EXPECT_EQ(g_ntcip_ip.Trap().port, 1620u);
  g_ntcip_ip.SetTrapAddress(saved.address);
  g_ntcip_ip.SetTrapPort(saved.port);
}

// The schedule message hands the sign to the scheduler, which then shows
// the message of the event in force.
TEST_F(ScheduleTaskTest, ActivatingTheScheduleMessageStartsTheSchedule) {
  SetNvBytes(nv::dmsResetMessage, Bytes());
  SetNv(nv::dmsMsgSourceMode, 8);
  SetEveryDay(0, 1);
  SetEvent(1, 0, 6, 0, ActionOid(1));
  SetEvent(1, 1, 18, 0, ActionOid(2));
  SetAction(1, MEMORY_CHANGEABLE, 1, 0);
  SetAction(2, MEMORY_CHANGEABLE, 2, 0);
  schedule_world().date = Date(At2024(2, 12, 0));
  CreateTask();
  AdvanceTo(161);
  EXPECT_EQ(Slot6(), Bytes()) << "another source owns the sign";

  WriteSlot(6, Code(MEMORY_SCHEDULE, 1, 0), 8, 2);
  AdvanceTo(400);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 9u);
  EXPECT_EQ(Nv(nv::timeBaseScheduleTableStatus), 1u);
  EXPECT_EQ(Nv(nv::dayPlanStatus), 1u);

  schedule_world().date = Date(At2024(2, 18, 0));
  AdvanceTo(500);
  EXPECT_EQ(Running(), "B");
  EXPECT_EQ(Nv(nv::dayPlanStatus), 2u);
}

}  // namespace
