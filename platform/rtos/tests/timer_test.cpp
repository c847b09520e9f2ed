// Application timers.
#include "kernel_fixture.h"

namespace {

std::vector<std::string>* g_log;

void Note(ULONG id) { g_log->push_back(std::to_string(tx_time_get()) + " timer " + std::to_string(id)); }

class TimerTest : public KernelTest {
 protected:
  void SetUp() override { g_log = &log_; }
  TX_TIMER t1{}, t2{}, t3{};
};

TEST_F(TimerTest, DueTimersFireInOrderOfDueTickThenArming) {
  Start([&](void*) {
    tx_timer_create(&t1, "one-shot", Note, 1, 5, 0, TX_AUTO_ACTIVATE);
    tx_timer_create(&t2, "periodic", Note, 2, 2, 3, TX_AUTO_ACTIVATE);
    tx_timer_create(&t3, "idle", Note, 3, 1, 1, TX_NO_ACTIVATE);
  });
  rtos::advance(8);
  EXPECT_EQ(log_, (std::vector<std::string>{"2 timer 2", "5 timer 1", "5 timer 2", "8 timer 2"}));
  EXPECT_EQ(t2.reload_ticks, 3u);
}

TEST_F(TimerTest, DeactivateKeepsTheRemainderAndChangeNeedsAStoppedTimer) {
  Start([&](void*) { tx_timer_create(&t1, "t", Note, 1, 10, 10, TX_AUTO_ACTIVATE); });
  rtos::advance(4);
  {
    rtos::cpu_scope s;
    EXPECT_EQ(tx_timer_change(&t1, 5, 5), TX_ACTIVATE_ERROR);
    EXPECT_EQ(tx_timer_deactivate(&t1), TX_SUCCESS);
  }
  rtos::advance(20);
  EXPECT_TRUE(log_.empty());
  {
    rtos::cpu_scope s;
    EXPECT_EQ(tx_timer_activate(&t1), TX_SUCCESS);  // 6 ticks were left
    EXPECT_EQ(tx_timer_activate(&t1), TX_ACTIVATE_ERROR);
  }
  rtos::advance(6);
  EXPECT_EQ(log_, (std::vector<std::string>{"30 timer 1"}));
  {
    rtos::cpu_scope s;
    tx_timer_deactivate(&t1);
    EXPECT_EQ(tx_timer_change(&t1, 2, 0), TX_SUCCESS);
    EXPECT_EQ(tx_timer_change(&t1, 0, 0), TX_TICK_ERROR);
    tx_timer_activate(&t1);
  }
  rtos::advance(10);
  EXPECT_EQ(log_, (std::vector<std::string>{"30 timer 1", "32 timer 1"}));
}

TEST_F(TimerTest, CreateRefusesZeroInitialTicksAndBadActivation) {
  Start();
  rtos::cpu_scope s;
  EXPECT_EQ(tx_timer_create(&t1, "t", Note, 0, 0, 5, TX_AUTO_ACTIVATE), TX_TICK_ERROR);
  EXPECT_EQ(tx_timer_create(&t1, "t", Note, 0, 5, 5, 2), TX_ACTIVATE_ERROR);
  EXPECT_EQ(tx_timer_activate(&t1), TX_TIMER_ERROR);
}

TEST_F(TimerTest, ExpiryMayStopAnotherTimerDueOnTheSameTick) {
  static TX_TIMER* victim;
  victim = &t2;
  Start([&](void*) {
    tx_timer_create(&t1, "killer", [](ULONG) { tx_timer_delete(victim); g_log->push_back("killer"); }, 0, 3, 0,
                    TX_AUTO_ACTIVATE);
    tx_timer_create(&t2, "victim", Note, 2, 3, 0, TX_AUTO_ACTIVATE);
  });
  rtos::advance(5);
  EXPECT_EQ(log_, (std::vector<std::string>{"killer"}));
}

}  // namespace
