// The timer service on the manual clock: ids, due ticks, period changes,
// restarts, one-shot events, arming of wake-ups and ticks that wrap.
#include <functional>

#include "frame/tests/frame_kernel.h"
#include "frame/timer/timer_scheduler.h"

namespace {

// Logs "<tick> <name>" each time it fires, and its own destruction.
struct probe_event : timer_event {
  probe_event(std::function<void(const std::string&)> log, std::string name)
      : m_log(std::move(log)), m_name(std::move(name)) {}
  ~probe_event() override {
    if (m_destroyed) *m_destroyed = true;
  }
  void Fire() override {
    m_log(m_name);
    if (m_onFire) m_onFire();
  }
  std::function<void(const std::string&)> m_log;
  std::string m_name;
  std::function<void()> m_onFire;
  bool* m_destroyed = nullptr;
};

class TimerServiceTest : public FrameKernelTest {
 protected:
  probe_event* Probe(const std::string& name) {
    return new probe_event([this](const std::string& n) { Log(n); }, name);
  }
  template <class F>
  auto Host(F f) {
    rtos::cpu_scope scope;
    return f();
  }
};

TEST_F(TimerServiceTest, IdsCountUpWhateverWasRemovedAndNullIsRefused) {
  Start();
  EXPECT_EQ(Host([&] { return timers_->AddEvent(nullptr, 5, 1); }), 0u);
  EXPECT_EQ(Host([&] { return timers_->AddEvent(Probe("a"), 5, 1); }), 1u);
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(1); }), 1);
  EXPECT_EQ(Host([&] { return timers_->AddEvent(Probe("b"), 5, 1); }), 2u);
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(1); }), 0);
  EXPECT_EQ(Host([&] { return timers_->RestartEvent(1); }), 0);
  EXPECT_EQ(Host([&] { return timers_->ChangePeriod(1, 3); }), 0);
  // One event listed twice would be destroyed while still listed.
  probe_event* c = Probe("c");
  EXPECT_EQ(Host([&] { return timers_->AddEvent(c, 5, 1); }), 3u);
  EXPECT_EQ(Host([&] { return timers_->AddEvent(c, 5, 1); }), 0u);
  EXPECT_EQ(timers_->EventCount(), 2u);
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(2) + timers_->RemoveEvent(3); }), 2);
}

TEST_F(TimerServiceTest, RepeatingEventFiresEachPeriodAndAPeriodOfOneFiresEveryTick) {
  Start();
  uint32_t id = Host([&] { return timers_->AddEvent(Probe("rep"), 30, 1); });
  rtos::advance(65);
  EXPECT_EQ(log_, (strings{"30 rep", "60 rep"}));
  log_.clear();
  EXPECT_EQ(Host([&] { return timers_->ChangePeriod(id, 1); }), 1);
  rtos::advance(3);
  EXPECT_EQ(log_, (strings{"66 rep", "67 rep", "68 rep"}));
  log_.clear();
  // From a thread the operations take the service's mutex.
  EXPECT_TRUE(rtos::run_in_thread([&] { EXPECT_EQ(timers_->ChangePeriod(id, 10), 1); }));
  rtos::advance(21);
  EXPECT_EQ(log_, (strings{"78 rep", "88 rep"}));
  Host([&] { return timers_->RemoveEvent(id); });
}

TEST_F(TimerServiceTest, RestartPushesARepeatingEventBackAndRefusesAOneShot) {
  Start();
  uint32_t rep = Host([&] { return timers_->AddEvent(Probe("rep"), 20, 1); });
  probe_event* once = Probe("once");
  uint32_t one = Host([&] { return timers_->AddEvent(once, 25, 0); });
  rtos::advance(15);
  EXPECT_EQ(Host([&] { return timers_->RestartEvent(rep); }), 1);
  EXPECT_EQ(Host([&] { return timers_->RestartEvent(one); }), 0);
  rtos::advance(30);
  EXPECT_EQ(log_, (strings{"25 once", "35 rep"}));
  EXPECT_EQ(once->Expiry(), 25u);
  delete once;
  Host([&] { return timers_->RemoveEvent(rep); });
}

TEST_F(TimerServiceTest, OneShotLeavesTheListButStaysItsOwners) {
  Start();
  bool destroyed = false;
  probe_event* once = Probe("once");
  once->m_destroyed = &destroyed;
  uint32_t id = Host([&] { return timers_->AddEvent(once, 3, 0); });
  rtos::advance(10);
  EXPECT_EQ(log_, (strings{"3 once"}));
  EXPECT_EQ(timers_->EventCount(), 0u);
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(id); }), 0);
  EXPECT_FALSE(destroyed);
  delete once;
  EXPECT_TRUE(destroyed);
}

TEST_F(TimerServiceTest, RemovingDestroysAndTheLastRemovalStopsTheKernelTimer) {
  Start();
  bool destroyed = false;
  probe_event* e = Probe("e");
  e->m_destroyed = &destroyed;
  uint32_t a = Host([&] { return timers_->AddEvent(e, 4, 1); });
  uint32_t b = Host([&] { return timers_->AddEvent(Probe("f"), 6, 1); });
  rtos::advance(6);
  EXPECT_EQ(log_, (strings{"4 e", "6 f"}));
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(a); }), 1);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(b); }), 1);
  uint32_t runs = timers_->ExpiryRuns();
  rtos::advance(500);
  EXPECT_EQ(timers_->ExpiryRuns(), runs);
}

TEST_F(TimerServiceTest, EventsMayCallTheServiceFromTheirFire) {
  Start();
  // One removes itself, one adds a new event, one removes a later one.
  probe_event* self = Probe("self");
  probe_event* adder = Probe("adder");
  probe_event* victim = Probe("victim");
  probe_event* killer = Probe("killer");
  bool victim_gone = false;
  victim->m_destroyed = &victim_gone;
  uint32_t self_id = Host([&] { return timers_->AddEvent(self, 5, 1); });
  self->m_onFire = [&] { EXPECT_EQ(timers_->RemoveEvent(self_id), 1); };
  uint32_t adder_id = Host([&] { return timers_->AddEvent(adder, 5, 0); });
  probe_event* late = Probe("late");
  adder->m_onFire = [&] { timers_->AddEvent(late, 2, 0); };
  uint32_t killer_id = Host([&] { return timers_->AddEvent(killer, 5, 1); });
  uint32_t victim_id = Host([&] { return timers_->AddEvent(victim, 5, 1); });
  killer->m_onFire = [&] { timers_->RemoveEvent(victim_id); };
  rtos::advance(8);
  EXPECT_EQ(log_, (strings{"5 self", "5 adder", "5 killer", "7 late"}));
  EXPECT_TRUE(victim_gone);
  EXPECT_EQ(timers_->EventCount(), 1u);  // killer; the one-shots left the list
  EXPECT_EQ(Host([&] { return timers_->RemoveEvent(adder_id); }), 0);
  delete adder;
  delete late;
  Host([&] { return timers_->RemoveEvent(killer_id); });
}

TEST_F(TimerServiceTest, WakeEventResumesItsThreadOnlyOnceArmed) {
  FrameThread sleeper;
  wake_thread_event* wake = nullptr;
  uint32_t id = 0;
  Start([&](void*) {
    sleeper.Create("sleeper", 5, [&] {
      for (;;) {
        tx_thread_suspend(tx_thread_identify());
        Log("awake");
      }
    });
  });
  wake = new wake_thread_event(&sleeper.cb);
  id = Host([&] { return timers_->AddEvent(wake, 10, 1); });
  rtos::advance(35);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(wake->Armed(), 0);
  EXPECT_EQ(Host([&] { return timers_->ChangePeriod(id, 2); }), 1);
  EXPECT_EQ(wake->Armed(), 1);
  rtos::advance(4);
  EXPECT_EQ(log_, (strings{"37 awake", "39 awake"}));
  Host([&] { return timers_->RemoveEvent(id); });
}

TEST_F(TimerServiceTest, ExpiryComparesTicksAcrossTheWrap) {
  Start([](void*) {}, 0xFFFFFFF0u);
  uint32_t id = Host([&] { return timers_->AddEvent(Probe("wrap"), 30, 1); });
  uint32_t far = Host([&] { return timers_->AddEvent(Probe("far"), 100, 0); });
  // Its expiry, before the wrap, must not make the others look due.
  uint32_t near = Host([&] { return timers_->AddEvent(Probe("near"), 5, 1); });
  rtos::advance(15);
  EXPECT_EQ(log_, (strings{"4294967285 near", "4294967290 near", "4294967295 near"}));
  Host([&] { return timers_->RemoveEvent(near); });
  log_.clear();
  rtos::advance(14);
  EXPECT_TRUE(log_.empty()) << log_.front();
  rtos::advance(31);
  EXPECT_EQ(log_, (strings{"14 wrap", "44 wrap"}));
  Host([&] { return timers_->RemoveEvent(id) + timers_->RemoveEvent(far); });
}

}  // namespace
