// The watchdog task on the manual clock: check-ins and kicks, the nested
// switch, its own control letters, and the orderly reset with its restart
// kinds.
#include <cstring>

#include "frame/bus/letter.h"
#include "mon_api.h"
#include "watchdog_fixture.h"

namespace {

TEST_F(WatchdogTest, StartArmsTheHardwareWatchdog) {
  board::epld().write(0x22, 1, 0x10);
  Start();
  EXPECT_TRUE(cap_.contains("Watchdog Task Start...\n"));
  EXPECT_TRUE(monitor::watchdog_enabled());
  EXPECT_EQ(wdt_->HardwareEnabled(), 1);
  EXPECT_EQ(board::epld().reg(0x22) & 0x10, 0);
  // With nobody watched every cycle kicks.
  uint64_t kicks = monitor::watchdog_kicks();
  Cycles(3);
  EXPECT_EQ(monitor::watchdog_kicks() - kicks, 3u);
}

TEST_F(WatchdogTest, CheckInsWithinTheLimitNeverFail) {
  Start();
  Publish(MSG_WDT_DISPLAY_START);
  Publish(MSG_WDT_COMM_START);
  for (int round = 0; round < 3; ++round) {
    Cycles(CWatchdogTask::CHECK_IN_CYCLES);
    Publish(MSG_WDT_DISPLAY_ALIVE);
    Publish(MSG_WDT_COMM_ALIVE);
  }
  Cycles(10);
  EXPECT_FALSE(cap_.contains("wdt failure"));
  EXPECT_TRUE(wdt_->IsWatched("Display"));
  EXPECT_TRUE(wdt_->IsWatched("Communication"));
  EXPECT_FALSE(monitor::watchdog_poll());
}

TEST_F(WatchdogTest, SilentTaskStopsTheKicksUntilItReportsAgain) {
  Start();
  Publish(MSG_WDT_SCHEDULE_START);
  const uint64_t kicks0 = monitor::watchdog_kicks();
  // The start is taken in the first cycle; the counter runs out in the 600th.
  Cycles(CWatchdogTask::CHECK_IN_CYCLES);
  EXPECT_FALSE(cap_.contains("wdt failure"));
  EXPECT_EQ(monitor::watchdog_kicks() - kicks0, CWatchdogTask::CHECK_IN_CYCLES);
  const uint8_t bit = KickBit();

  Cycles(3);
  EXPECT_EQ(Count(cap_.text(), "wdt failure Schedule\n"), 3u);
  EXPECT_EQ(monitor::watchdog_kicks() - kicks0, CWatchdogTask::CHECK_IN_CYCLES);
  EXPECT_EQ(KickBit(), bit);
  // No kicks: the hardware watchdog runs out and resets the board.
  rtos::advance(300);
  EXPECT_TRUE(monitor::watchdog_poll());
  EXPECT_EQ(restarts_, std::vector<monitor::restart_kind>{monitor::restart_kind::watchdog});

  // Reporting again brings the kicks back, on the kick line too.
  mon_watchdog_enable(1);
  Publish(MSG_WDT_SCHEDULE_ALIVE);
  cap_.clear();
  Cycles(1);
  EXPECT_EQ(monitor::watchdog_kicks() - kicks0, CWatchdogTask::CHECK_IN_CYCLES + 1);
  EXPECT_NE(KickBit(), bit);
  Cycles(1);
  EXPECT_EQ(KickBit(), bit);
  EXPECT_FALSE(cap_.contains("wdt failure"));
}

TEST_F(WatchdogTest, CheckInLetters) {
  Start();
  // An alive letter of a task never started changes nothing.
  Publish(MSG_WDT_PERIPHERAL_ALIVE);
  Cycles(1);
  EXPECT_EQ(wdt_->Reload(3), 0u);
  EXPECT_FALSE(wdt_->IsWatched("Peripheral"));
  Publish(MSG_WDT_PERIPHERAL_START);
  Publish(MSG_WDT_MONITOR_START);
  Cycles(1);
  EXPECT_EQ(wdt_->Reload(3), 600u);
  EXPECT_EQ(wdt_->Counter(3), 599u);
  Cycles(10);
  Publish(MSG_WDT_PERIPHERAL_ALIVE);
  Cycles(1);
  EXPECT_EQ(wdt_->Counter(3), 599u);
  EXPECT_EQ(wdt_->Counter(2), 588u);
  // A stopped task is no longer watched, however long it stays silent.
  Publish(MSG_WDT_PERIPHERAL_STOP);
  Publish(MSG_WDT_MONITOR_STOP);
  Cycles(700);
  EXPECT_FALSE(wdt_->IsWatched("Peripheral"));
  EXPECT_FALSE(cap_.contains("wdt failure"));
}

TEST_F(WatchdogTest, TaskNamesAndIndices) {
  const char* names[] = {"Display", "Schedule", "Monitor", "Peripheral", "Database", "Communication"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_STREQ(CWatchdogTask::TaskName(i), names[i]);
    EXPECT_EQ(CWatchdogTask::TaskIndex(names[i]), i);
  }
  EXPECT_EQ(CWatchdogTask::TaskName(6), nullptr);
  // An unknown name is nobody, not the first task.
  for (const char* n : {"display", "Nobody", "", "Display "})
    EXPECT_EQ(CWatchdogTask::TaskIndex(n), CWatchdogTask::TASK_NOT_FOUND) << n;
  EXPECT_EQ(CWatchdogTask::TaskIndex(nullptr), CWatchdogTask::TASK_NOT_FOUND);
  Start();
  Publish(MSG_WDT_DISPLAY_START);
  Cycles(1);
  EXPECT_TRUE(wdt_->IsWatched("Display"));
  EXPECT_FALSE(wdt_->IsWatched("Nobody"));
  EXPECT_FALSE(wdt_->IsWatched("Database"));
}

TEST_F(WatchdogTest, DisablesNest) {
  Start();
  rtos::run_in_thread([&] {
    cap_.clear();
    EXPECT_EQ(wdt_->Disable(), 1);
    EXPECT_EQ(wdt_->Disable(), 1);
    EXPECT_FALSE(monitor::watchdog_enabled());
    EXPECT_EQ(wdt_->HardwareEnabled(), 0);
    EXPECT_EQ(wdt_->Enable(), 1);
    EXPECT_FALSE(monitor::watchdog_enabled());
    EXPECT_FALSE(cap_.contains("Enabling Watchdog Timer\n"));
    EXPECT_EQ(wdt_->Enable(), 1);
    EXPECT_TRUE(monitor::watchdog_enabled());
    EXPECT_EQ(wdt_->HardwareEnabled(), 1);
    EXPECT_EQ(Count(cap_.text(), "Disabling Watchdog Timer\n"), 2u);
    EXPECT_EQ(Count(cap_.text(), "Enabling Watchdog Timer\n"), 1u);
  });
}

TEST_F(WatchdogTest, The201stDisableIsRefusedAndUnmatchedEnablesGiveNothingBack) {
  Start();
  bool finished = rtos::run_in_thread([&] {
    for (int i = 0; i < 200; ++i) ASSERT_EQ(wdt_->Disable(), 1) << i;
    // Refused at once instead of waiting for a unit with the lock held.
    EXPECT_EQ(wdt_->Disable(), 0);
    EXPECT_TRUE(cap_.contains("CWatchdogTask::Disable: 200 disables outstanding, refused\n"));
    for (int i = 0; i < 199; ++i) ASSERT_EQ(wdt_->Enable(), 1) << i;
    EXPECT_FALSE(monitor::watchdog_enabled());
    EXPECT_EQ(wdt_->Enable(), 1);
    EXPECT_TRUE(monitor::watchdog_enabled());
    // Enables without a disable: nothing is given back ...
    EXPECT_EQ(wdt_->Enable(), 0);
    EXPECT_EQ(wdt_->Enable(), 0);
    // ... so one disable still switches the watchdog off, and one enable on.
    EXPECT_EQ(wdt_->Disable(), 1);
    EXPECT_FALSE(monitor::watchdog_enabled());
    EXPECT_EQ(wdt_->Enable(), 1);
    EXPECT_TRUE(monitor::watchdog_enabled());
  });
  EXPECT_TRUE(finished);
}

TEST_F(WatchdogTest, WhileDisabledCountersStandStillAndNothingIsKicked) {
  Start();
  Publish(MSG_WDT_DISPLAY_START);
  Cycles(1);
  rtos::run_in_thread([&] { wdt_->Disable(); });
  const uint64_t kicks = monitor::watchdog_kicks();
  const uint32_t counter = wdt_->Counter(0);
  Cycles(700);
  EXPECT_EQ(monitor::watchdog_kicks(), kicks);
  EXPECT_EQ(wdt_->Counter(0), counter);
  EXPECT_FALSE(cap_.contains("wdt failure"));
  EXPECT_FALSE(monitor::watchdog_poll());  // switched off: no reset either
  // The letters 108 and 109 do the same from any task.
  Publish(MSG_WATCHDOG_ENABLE);
  Cycles(1);
  EXPECT_TRUE(monitor::watchdog_enabled());
  EXPECT_EQ(monitor::watchdog_kicks(), kicks + 3);  // the switch-on services it twice, the cycle once
  EXPECT_EQ(wdt_->Counter(0), counter - 1);
  Publish(MSG_WATCHDOG_DISABLE);
  Cycles(1);
  EXPECT_FALSE(monitor::watchdog_enabled());
}

TEST_F(WatchdogTest, SuspendFromTheConsoleKeepsTheWatchdogArmed) {
  Start();
  Publish(MSG_WATCHDOG_SUSPEND);
  Cycles(1);
  EXPECT_TRUE(cap_.contains("Suspending watchdog task refused"));
  EXPECT_TRUE(monitor::watchdog_enabled());
  const uint64_t kicks = monitor::watchdog_kicks();
  Cycles(2);
  EXPECT_EQ(monitor::watchdog_kicks(), kicks + 2);
  // A resume without a suspend leaves the nesting as it was.
  Publish(MSG_WATCHDOG_RESUME);
  Cycles(1);
  EXPECT_TRUE(cap_.contains("Resuming watchdog task\n"));
  rtos::run_in_thread([&] {
    EXPECT_EQ(wdt_->Disable(), 1);
    EXPECT_FALSE(monitor::watchdog_enabled());
    EXPECT_EQ(wdt_->Enable(), 1);
  });
  EXPECT_TRUE(monitor::watchdog_enabled());
  // The stop letter of the reset sequence is not for the watchdog.
  Publish(MSG_WATCHDOG_STOP);
  Cycles(1);
  EXPECT_EQ(monitor::watchdog_kicks(), kicks + 6);
}

TEST_F(WatchdogTest, CommunicationRunningQuery) {
  Start();
  auto ask = [&] {
    uint32_t answer = 99;
    rtos::run_in_thread([&] {
      letter_s request(MSG_COMM_RUNNING_QUERY), reply;
      ASSERT_EQ(router_.SendAndWait(&request, &reply), 1);
      EXPECT_EQ(reply.Id(), MSG_COMM_RUNNING_REPLY);
      answer = reply.payload[0];
    });
    return answer;
  };
  EXPECT_EQ(ask(), 0u);
  Publish(MSG_WDT_COMM_START);
  Cycles(1);
  EXPECT_EQ(ask(), 1u);
  Publish(MSG_WDT_COMM_STOP);
  Cycles(1);
  EXPECT_EQ(ask(), 0u);
}

// ---- the orderly reset

class ResetTest : public WatchdogTest {
 protected:
  void SetUp() override {
    WatchdogTest::SetUp();
    static const uint32_t kStops[] = {MSG_DISPLAY_STOP,    MSG_MONITOR_STOP,  MSG_SCHEDULE_STOP, MSG_DATABASE_STOP,
                                      MSG_PERIPHERAL_STOP, MSG_WATCHDOG_STOP, MSG_COMM_STOP,     0};
    stops_ = std::make_unique<subscriber>(&router_, nullptr, 0, nullptr);
    stops_->Subscribe(kStops);
    s_writes = 0;
    wdt_->SetConfigWriter([] { ++s_writes; });
  }
  void TearDown() override {
    WatchdogTest::TearDown();
    stops_.reset();
  }
  std::vector<uint32_t> Stops() {
    std::vector<uint32_t> ids;
    rtos::cpu_scope s;
    letter_s* l = nullptr;
    while (stops_->Receive(&l)) {
      ids.push_back(l->Id());
      stops_->Release(l);
    }
    return ids;
  }
  void WatchAll() {
    for (uint32_t id : {MSG_WDT_DISPLAY_START, MSG_WDT_SCHEDULE_START, MSG_WDT_MONITOR_START,
                        MSG_WDT_PERIPHERAL_START, MSG_WDT_COMM_START})
      Publish(id);
  }
  std::unique_ptr<subscriber> stops_;
  static int s_writes;
};
int ResetTest::s_writes = 0;

TEST_F(ResetTest, WaitsForTheTasksAtMost21CyclesThenRestarts) {
  Start();
  WatchAll();
  Publish(MSG_SYSTEM_RESET);
  Cycles(1);
  EXPECT_EQ(wdt_->ResetState(), CWatchdogTask::RESET_WAITING);
  EXPECT_EQ(Stops(), (std::vector<uint32_t>{44, 37, 53, 68, 60, 72, 97}));
  Cycles(20);
  EXPECT_EQ(wdt_->ResetState(), CWatchdogTask::RESET_WAITING);
  Cycles(1);
  EXPECT_EQ(wdt_->ResetState(), CWatchdogTask::RESET_RESTARTING);
  EXPECT_TRUE(restarts_.empty());
  cap_.clear();
  Cycles(1);  // the restart begins: the configuration, the notice, 50 ticks of grace
  EXPECT_EQ(s_writes, 1);
  EXPECT_TRUE(cap_.contains("Please Stand by for System Reset...\n"));
  EXPECT_TRUE(restarts_.empty());
  rtos::advance(50);
  EXPECT_TRUE(cap_.contains("Reset\n"));
  EXPECT_EQ(restarts_, std::vector<monitor::restart_kind>{monitor::restart_kind::application});
  // The watchdog was switched on for the hardware to end the wait.
  EXPECT_TRUE(monitor::watchdog_enabled());
  EXPECT_EQ(monitor::scratch() & 0x01, 0);
}

TEST_F(ResetTest, TasksThatStopEndTheWaitAtOnce) {
  Start();
  WatchAll();
  Publish(MSG_DEFRAG_RESET);
  Cycles(1);
  // Each task answers its stop letter with its watchdog stop.
  for (uint32_t id : {MSG_WDT_DISPLAY_STOP, MSG_WDT_SCHEDULE_STOP, MSG_WDT_MONITOR_STOP, MSG_WDT_PERIPHERAL_STOP,
                      MSG_WDT_COMM_STOP})
    Publish(id);
  Cycles(1);
  EXPECT_EQ(wdt_->ResetState(), CWatchdogTask::RESET_RESTARTING);
  Cycles(3);  // the restart, its 50 ticks of grace and the defragment's 10
  EXPECT_EQ(restarts_.size(), 1u);
}

TEST_F(ResetTest, EachResetTypeRestartsItsWay) {
  struct Row {
    uint32_t letter;
    uint8_t type;
    bool notice;
    uint8_t scratch_bit;
    uint8_t shutdown_register;
  } rows[] = {
      {MSG_SYSTEM_RESET, CWatchdogTask::RESET_SYSTEM, true, 0, 0x00},
      {MSG_SHUTDOWN_RESET, CWatchdogTask::RESET_SHUTDOWN, false, 0, 0xAA},
      {MSG_POWER_SHUTDOWN, CWatchdogTask::RESET_POWER_SHUTDOWN, false, 0, 0xAA},
      {MSG_DEFRAG_RESET, CWatchdogTask::RESET_DEFRAG, true, 1, 0x00},
  };
  for (const Row& r : rows) {
    TearDown();
    SetUp();
    Start();
    // A later request replaces an earlier one.
    Publish(r.letter == MSG_SYSTEM_RESET ? MSG_DEFRAG_RESET : MSG_SYSTEM_RESET);
    Publish(r.letter);
    Cycles(3);  // requested, waiting (nobody watched), restarting
    EXPECT_EQ(wdt_->ResetType(), r.type) << r.letter;
    rtos::advance(100);
    EXPECT_EQ(restarts_, std::vector<monitor::restart_kind>{monitor::restart_kind::application}) << r.letter;
    EXPECT_EQ(cap_.contains("Please Stand by for System Reset...\n"), r.notice) << r.letter;
    EXPECT_EQ(monitor::scratch() & 0x01, r.scratch_bit) << r.letter;
    EXPECT_EQ(board::epld().reg(0x30), r.shutdown_register) << r.letter;
    cap_.clear();
  }
}

TEST_F(ResetTest, ConfigurationIsWrittenOnlyWhenAskedFor) {
  g_reset_preserve_flags = 0;
  Start();
  Publish(MSG_SYSTEM_RESET);
  Cycles(3);
  rtos::advance(100);
  EXPECT_EQ(restarts_.size(), 1u);
  EXPECT_EQ(s_writes, 0);
}

// ---- the restart routines

TEST_F(WatchdogTest, DefragResetAsksTheMonitorToCompact) {
  park_on_restart_ = false;
  rtos::run_in_thread([] { system_defrag_reset(); });
  EXPECT_TRUE(cap_.contains("Defrag Reset\n"));
  EXPECT_EQ(monitor::scratch() & 0x01, 1);
  EXPECT_EQ(restarts_, std::vector<monitor::restart_kind>{monitor::restart_kind::application});
}

TEST_F(WatchdogTest, FailedEthernetResetReturnsAtTheCallersPriority) {
  UINT priority = 0;
  rtos::run_in_thread(
      [&] {
        system_ethernet_reset();
        priority = tx_thread_identify()->priority;
      },
      12);
  EXPECT_EQ(priority, 12u);
  EXPECT_TRUE(cap_.contains("Ethernet Reset\n"));
  EXPECT_TRUE(cap_.contains("Ethernet Reset Failed\n"));
  EXPECT_TRUE(restarts_.empty());
  EXPECT_TRUE(monitor::watchdog_enabled());
}

}  // namespace
