// Threads, dispatching and the manual clock.
#include <alloca.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "kernel_fixture.h"

namespace {

TX_EVENT_FLAGS_GROUP g_flags;

class ThreadTest : public KernelTest {
 protected:
  TestThread a, b, c;
};

// The course of two threads that meet through event flags, sleeps, a
// time-out and a wait abort is exact on the manual clock.
TEST_F(ThreadTest, TwoThreadScenarioRunsExactlyOnTheManualClock) {
  Start([this](void*) {
    ASSERT_EQ(tx_event_flags_create(&g_flags, "flags"), TX_SUCCESS);
    ASSERT_EQ(a.Create("A", 2,
                       [this] {
                         ULONG actual = 0;
                         UINT s = tx_event_flags_get(&g_flags, 0x1, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
                         Log("A got " + std::to_string(actual) + " status " + std::to_string(s));
                         tx_thread_sleep(5);
                         Log("A woke");
                         s = tx_event_flags_get(&g_flags, 0x2, TX_OR, &actual, 10);
                         Log(s == TX_NO_EVENTS ? "A timed out" : "A unexpected");
                         s = tx_event_flags_get(&g_flags, 0x8, TX_AND, &actual, TX_WAIT_FOREVER);
                         Log(s == TX_WAIT_ABORTED ? "A aborted" : "A unexpected");
                       }),
              TX_SUCCESS);
    ASSERT_EQ(b.Create("B", 3,
                       [this] {
                         tx_thread_sleep(3);
                         tx_event_flags_set(&g_flags, 0x1, TX_OR);
                         Log("B set");
                         tx_thread_sleep(30);
                         UINT s = tx_thread_wait_abort(&a.cb);
                         Log("B aborted A " + std::to_string(s));
                       }),
              TX_SUCCESS);
  });
  rtos::advance(40);
  std::vector<std::string> expected = {"3 A got 1 status 0", "3 B set", "8 A woke", "18 A timed out",
                                       "33 A aborted", "33 B aborted A 0"};
  EXPECT_EQ(log_, expected);
  ULONG flags = 1;
  rtos::cpu_scope s;
  EXPECT_EQ(tx_event_flags_get(&g_flags, 0x1, TX_OR, &flags, TX_NO_WAIT), TX_NO_EVENTS);  // cleared by A
}

TEST_F(ThreadTest, HigherPriorityRunsFirstAndEqualPrioritiesInArrivalOrder) {
  Start([this](void*) {
    a.Create("low", 5, [this] { Log("low"); });
    b.Create("high", 1, [this] { Log("high"); });
    c.Create("low2", 5, [this] { Log("low2"); });
  });
  EXPECT_EQ(log_, (std::vector<std::string>{"0 high", "0 low", "0 low2"}));
}

TEST_F(ThreadTest, ReadyingAMoreUrgentThreadPreemptsTheCaller) {
  TX_SEMAPHORE sem;
  Start([&](void*) {
    tx_semaphore_create(&sem, "s", 0);
    a.Create("urgent", 1, [&] {
      tx_semaphore_get(&sem, TX_WAIT_FOREVER);
      Log("urgent");
    });
    b.Create("worker", 4, [&] {
      Log("before put");
      tx_semaphore_put(&sem);
      Log("after put");
    });
  });
  EXPECT_EQ(log_, (std::vector<std::string>{"0 before put", "0 urgent", "0 after put"}));
}

TEST_F(ThreadTest, IdentifyIsNullOutsideThreads) {
  EXPECT_EQ(tx_thread_identify(), nullptr);  // no kernel at all
  TX_THREAD* in_define = reinterpret_cast<TX_THREAD*>(1);
  TX_THREAD* in_thread = nullptr;
  TX_THREAD* in_timer = reinterpret_cast<TX_THREAD*>(1);
  static TX_TIMER timer;
  static TX_THREAD** timer_out;
  timer_out = &in_timer;
  Start([&](void*) {
    in_define = tx_thread_identify();
    a.Create("a", 3, [&] { in_thread = tx_thread_identify(); });
    tx_timer_create(&timer, "t", [](ULONG) { *timer_out = tx_thread_identify(); }, 0, 2, 0, TX_AUTO_ACTIVATE);
  });
  rtos::advance(2);
  EXPECT_EQ(in_define, nullptr);
  EXPECT_EQ(in_thread, &a.cb);
  EXPECT_EQ(in_timer, nullptr);
  TX_THREAD* in_isr = reinterpret_cast<TX_THREAD*>(1);
  std::thread device([&] { rtos::raise_interrupt([&] { in_isr = tx_thread_identify(); }); });
  device.join();
  EXPECT_EQ(in_isr, nullptr);
}

TEST_F(ThreadTest, SleepIsRefusedOutsideAThread) {
  Start();
  rtos::cpu_scope s;
  EXPECT_EQ(tx_thread_sleep(1), TX_CALLER_ERROR);
}

TEST_F(ThreadTest, ResumeOnlyLiftsAPlainSuspension) {
  static TX_TIMER timer;
  static TX_THREAD* target;
  static UINT from_timer;
  Start([&](void*) {
    a.Create("a", 3, [&] {
      Log("a suspends");
      tx_thread_suspend(tx_thread_identify());
      Log("a resumed");
      tx_thread_sleep(100);
    });
    target = &a.cb;
    tx_timer_create(&timer, "t", [](ULONG) { from_timer = tx_thread_resume(target); }, 0, 5, 0,
                    TX_AUTO_ACTIVATE);
  });
  rtos::advance(5);
  EXPECT_EQ(from_timer, TX_SUCCESS);
  EXPECT_EQ(log_, (std::vector<std::string>{"0 a suspends", "5 a resumed"}));
  rtos::cpu_scope s;
  EXPECT_EQ(tx_thread_resume(&a.cb), TX_RESUME_ERROR);  // sleeping, not suspended
}

TEST_F(ThreadTest, ThreadCreatedWithoutAutoStartWaitsForResume) {
  Start([&](void*) { a.Create("a", 3, [&] { Log("ran"); }, TX_DONT_START); });
  rtos::advance(3);
  EXPECT_TRUE(log_.empty());
  {
    rtos::cpu_scope s;
    EXPECT_EQ(tx_thread_resume(&a.cb), TX_SUCCESS);
  }
  rtos::settle();
  EXPECT_EQ(log_, (std::vector<std::string>{"3 ran"}));
}

TEST_F(ThreadTest, CreateRefusesBadArguments) {
  Start();
  rtos::cpu_scope s;
  TX_THREAD t{};
  std::vector<uint8_t> stack(1024);
  auto entry = [](ULONG) {};
  EXPECT_EQ(tx_thread_create(&t, "t", entry, 0, nullptr, 1024, 3, 3, 0, TX_AUTO_START), TX_PTR_ERROR);
  EXPECT_EQ(tx_thread_create(&t, "t", entry, 0, stack.data(), 1024, 32, 32, 0, TX_AUTO_START), TX_PRIORITY_ERROR);
  EXPECT_EQ(tx_thread_create(&t, "t", entry, 0, stack.data(), 1024, 3, 4, 0, TX_AUTO_START), TX_THRESH_ERROR);
  ASSERT_EQ(tx_thread_create(&t, "t", entry, 0, stack.data(), 1024, 3, 3, 0, TX_DONT_START), TX_SUCCESS);
  EXPECT_EQ(stack[0], 0xEF);
  EXPECT_EQ(stack[1023], 0xEF);
  EXPECT_EQ(tx_thread_create(&t, "t", entry, 0, stack.data(), 1024, 3, 3, 0, TX_AUTO_START), TX_THREAD_ERROR);
  EXPECT_EQ(tx_thread_delete(&t), TX_DELETE_ERROR);  // not finished
}

TEST_F(ThreadTest, TerminatedThreadReleasesItsMutexAndCanBeDeleted) {
  TX_MUTEX m;
  Start([&](void*) {
    tx_mutex_create(&m, "m", TX_NO_INHERIT);
    a.Create("holder", 3, [&] {
      tx_mutex_get(&m, TX_WAIT_FOREVER);
      tx_thread_sleep(TX_WAIT_FOREVER);
    });
    b.Create("waiter", 4, [&] {
      UINT s = tx_mutex_get(&m, TX_WAIT_FOREVER);
      Log("waiter got " + std::to_string(s));
    });
  });
  rtos::advance(2);
  EXPECT_TRUE(log_.empty());
  {
    rtos::cpu_scope s;
    EXPECT_EQ(tx_thread_terminate(&a.cb), TX_SUCCESS);
  }
  rtos::settle();
  EXPECT_EQ(log_, (std::vector<std::string>{"2 waiter got 0"}));
  rtos::cpu_scope s;
  EXPECT_EQ(tx_thread_delete(&a.cb), TX_SUCCESS);
  EXPECT_EQ(tx_thread_resume(&a.cb), TX_THREAD_ERROR);
}

TEST_F(ThreadTest, ClockKeepsWorkingAcrossTheWrap) {
  static TX_TIMER timer;
  static std::vector<ULONG>* fired;
  std::vector<ULONG> at;
  fired = &at;
  const uint32_t start = 0xFFFFFFFFu - 4;
  Start(
      [&](void*) {
        tx_timer_create(&timer, "p", [](ULONG) { fired->push_back(tx_time_get()); }, 0, 3, 3, TX_AUTO_ACTIVATE);
        a.Create("sleeper", 3, [&] {
          tx_thread_sleep(7);
          Log("woke");
        });
      },
      start);
  rtos::advance(10);
  EXPECT_EQ(at, (std::vector<ULONG>{start + 3, start + 6, start + 9}));
  EXPECT_EQ(log_, (std::vector<std::string>{std::to_string(uint32_t(start + 7)) + " woke"}));
  EXPECT_EQ(tx_time_get(), uint32_t(start + 10));
}

TEST_F(ThreadTest, InterruptPostureDefersInterruptsRaisedByTheThread) {
  static std::vector<std::string>* log;
  log = &log_;
  Start([&](void*) {
    a.Create("a", 3, [&] {
      UINT old = tx_interrupt_control(TX_INT_DISABLE);
      rtos::raise_interrupt([] { log->push_back("isr"); });
      log_.push_back("masked work");
      tx_interrupt_control(old);
      log_.push_back("after restore");
    });
  });
  EXPECT_EQ(log_, (std::vector<std::string>{"masked work", "isr", "after restore"}));
}

TEST_F(ThreadTest, InterruptFromADeviceWakesAWaitingThread) {
  TX_SEMAPHORE sem;
  Start([&](void*) {
    tx_semaphore_create(&sem, "rx", 0);
    a.Create("rx", 2, [&] {
      tx_semaphore_get(&sem, TX_WAIT_FOREVER);
      Log("received");
    });
  });
  std::thread device([&] { rtos::raise_interrupt([&] { tx_semaphore_put(&sem); }); });
  device.join();
  rtos::settle();
  EXPECT_EQ(log_, (std::vector<std::string>{"0 received"}));
}

// A descriptor watched during a wait: its interrupt runs on the waiting
// thread's own host thread, in interrupt context, and wakes the thread; an
// ordinary wake still ends the wait while the descriptor is watched.
TEST_F(ThreadTest, AWatchedDescriptorInterruptsOnTheWaitingThreadsHostThread) {
  struct pipe_watch : rtos::wait_watch {
    int fd = -1;
    TX_SEMAPHORE* sem = nullptr;
    std::thread::id ran_on;
    bool in_thread = true;
    char byte = 0;
    int begin() override { return fd; }
    bool end(bool readable) override { return readable && read(fd, &byte, 1) == 1; }
    void interrupt() override {
      ran_on = std::this_thread::get_id();
      in_thread = tx_thread_identify() != nullptr;
      tx_semaphore_put(sem);
    }
  };
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  TX_SEMAPHORE sem;
  pipe_watch watch;
  watch.fd = fds[0];
  watch.sem = &sem;
  std::thread::id waiter;
  Start([&](void*) {
    tx_semaphore_create(&sem, "rx", 0);
    a.Create("rx", 2, [&] {
      waiter = std::this_thread::get_id();
      rtos::set_wait_watch(&watch);
      for (int i = 0; i < 2; ++i) {
        UINT st = tx_semaphore_get(&sem, TX_WAIT_FOREVER);
        Log("woke " + std::to_string(st) + " byte " + std::string(1, watch.byte ? watch.byte : '-'));
      }
      rtos::set_wait_watch(nullptr);
    });
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  for (int i = 0; i < 500 && log_.empty(); ++i) {
    usleep(10000);
    rtos::settle();
  }
  EXPECT_EQ(watch.ran_on, waiter);
  EXPECT_FALSE(watch.in_thread);
  watch.byte = 0;
  {
    rtos::cpu_scope s;
    tx_semaphore_put(&sem);
  }
  rtos::settle();
  for (int i = 0; i < 500 && log_.size() < 2; ++i) {
    usleep(10000);
    rtos::settle();
  }
  EXPECT_EQ(log_, (std::vector<std::string>{"0 woke 0 byte x", "0 woke 0 byte -"}));
  close(fds[0]);
  close(fds[1]);
}

// A thread that raised its preemption threshold keeps the processor when an
// interrupt readies a more urgent thread, until it lowers the threshold.
TEST_F(ThreadTest, InterruptRespectsThePreemptionThreshold) {
  TX_SEMAPHORE sem;
  static TX_SEMAPHORE* psem;
  psem = &sem;
  Start([&](void*) {
    tx_semaphore_create(&sem, "irq", 0);
    a.Create("urgent", 1, [&] {
      tx_semaphore_get(&sem, TX_WAIT_FOREVER);
      Log("urgent");
    });
    b.Create("worker", 10, [&] {
      UINT old = 0;
      tx_thread_preemption_change(tx_thread_identify(), 0, &old);
      static std::atomic<bool> served;
      served = false;
      std::thread device([] {
        rtos::raise_interrupt([] {
          tx_semaphore_put(psem);
          served = true;
        });
      });
      // The interrupt is served at one of these kernel calls, but the worker
      // keeps running.
      while (!served) tx_time_get();
      device.join();
      tx_time_get();
      Log("worker protected");
      tx_thread_preemption_change(tx_thread_identify(), old, &old);
      Log("worker after");
    });
  });
  EXPECT_EQ(log_, (std::vector<std::string>{"0 worker protected", "0 urgent", "0 worker after"}));
}

TEST_F(ThreadTest, StopUnwindsBlockedThreads) {
  struct Guard {
    std::atomic<int>* n;
    ~Guard() { ++*n; }
  };
  std::atomic<int> unwound{0};
  TX_SEMAPHORE sem;
  Start([&](void*) {
    tx_semaphore_create(&sem, "never", 0);
    a.Create("a", 3, [&] {
      Guard g{&unwound};
      tx_semaphore_get(&sem, TX_WAIT_FOREVER);
    });
    b.Create("b", 3, [&] {
      Guard g{&unwound};
      tx_thread_sleep(1000);
    });
  });
  rtos::advance(1);
  rtos::kernel_stop();
  EXPECT_EQ(unwound, 2);
}

TEST_F(ThreadTest, RunInThreadGivesTestsAThreadContext) {
  Start();
  TX_THREAD* self = nullptr;
  EXPECT_TRUE(rtos::run_in_thread([&] {
    self = tx_thread_identify();
    tx_thread_sleep(20);
  }));
  EXPECT_NE(self, nullptr);
  EXPECT_EQ(tx_time_get(), 20u);
}

TEST_F(ThreadTest, RealClockTicksOnItsOwn) {
  rtos::kernel_config c;
  c.clock = rtos::clock_source::real;
  rtos::kernel_start(c, [](void*) {});
  ULONG before = tx_time_get();
  EXPECT_TRUE(rtos::run_in_thread([] { tx_thread_sleep(3); }, 5, 1000));
  EXPECT_GE(tx_time_get() - before, 3u);
}

// The tick thread sleeps while nothing is due: time still runs, and a timer
// or time-out armed meanwhile ends on its tick, not later.
TEST_F(ThreadTest, RealClockArmedWhileIdleFiresOnItsTick) {
  rtos::kernel_config c;
  c.clock = rtos::clock_source::real;
  rtos::kernel_start(c, [](void*) {});
  static std::atomic<ULONG> fired{0};
  fired = 0;
  TX_TIMER timer{};
  ULONG armed = 0;
  EXPECT_TRUE(rtos::run_in_thread([&] {
    // Nothing armed before this: the time runs on its own.
    ULONG start = tx_time_get();
    while (tx_time_get() == start) tx_thread_relinquish();
    armed = tx_time_get();
    ASSERT_EQ(tx_timer_create(&timer, "t", [](ULONG) { fired = tx_time_get(); }, 0, 4, 0, TX_AUTO_ACTIVATE),
              TX_SUCCESS);
    ULONG slept = tx_time_get();
    tx_thread_sleep(2);
    EXPECT_GE(tx_time_get() - slept, 2u);
    tx_thread_sleep(5);
  }, 5, 1000));
  ASSERT_NE(fired.load(), 0u);
  EXPECT_GE(fired.load() - armed, 4u);
  rtos::cpu_scope s;
  tx_timer_delete(&timer);
}

// Two senders hand every item to a taker of higher priority, which takes
// the processor at each put and gives it back at its next get: a sender
// preempted again and again gets it back every time, no put is lost, and
// never do two threads run at once.
TEST_F(ThreadTest, SendersPreemptedAtEveryPutGetTheProcessorBackEveryTime) {
  Start();
  constexpr int kEach = 3000;
  static std::vector<int> sent, got;
  static std::atomic<int> done{0}, running{0}, overlaps{0};
  sent.clear();
  got.clear();
  done = running = overlaps = 0;
  // Marks the caller as running until it next enters the kernel.
  struct on_cpu {
    on_cpu() {
      if (running.fetch_add(1) != 0) ++overlaps;
    }
    ~on_cpu() { --running; }
  };
  TX_SEMAPHORE items{};
  TestThread taker, first, second;
  {
    rtos::cpu_scope s;
    ASSERT_EQ(tx_semaphore_create(&items, "items", 0), TX_SUCCESS);
    ASSERT_EQ(taker.Create("taker", 3, [&items] {
      for (;;) {
        if (tx_semaphore_get(&items, TX_WAIT_FOREVER) != TX_SUCCESS) continue;
        on_cpu c;
        got.push_back(sent[got.size()]);
      }
    }), TX_SUCCESS);
    for (auto [t, base] : {std::pair{&first, 0}, std::pair{&second, 100000}})
      ASSERT_EQ(t->Create("sender", 9, [&items, base = base] {
        for (int i = 0; i < kEach; ++i) {
          {
            on_cpu c;
            sent.push_back(base + i);
          }
          EXPECT_EQ(tx_semaphore_put(&items), TX_SUCCESS);
        }
        ++done;
      }), TX_SUCCESS);
  }
  for (int i = 0; i < 3000 && done.load() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(done.load(), 2);
  {
    rtos::cpu_scope s;
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(got.size(), 2u * kEach);
    EXPECT_EQ(got, sent);
    int next[2] = {0, 100000};
    for (int m : got) EXPECT_EQ(m, next[m >= 100000]++);
  }
  rtos::kernel_stop();  // before the threads' stacks go
}

// On the real clock a waiting thread's own host thread ends its time-out:
// the waits end in the order of their deadlines, with the status of their
// kind, and a clock set forward ends a long one at once.
TEST_F(ThreadTest, RealClockTimeOutsEndInOrderAndFollowTheClock) {
  rtos::kernel_config c;
  c.clock = rtos::clock_source::real;
  rtos::kernel_start(c, [](void*) {});
  static std::vector<int> order;
  static std::atomic<bool> long_done{false};
  order.clear();
  long_done = false;
  TX_SEMAPHORE sem{};
  TestThread early, late, sleeper;
  {
    rtos::cpu_scope s;
    ASSERT_EQ(tx_semaphore_create(&sem, "s", 0), TX_SUCCESS);
    ASSERT_EQ(late.Create("late", 5, [&sem] {
      EXPECT_EQ(tx_semaphore_get(&sem, 8), TX_NO_INSTANCE);
      order.push_back(2);
    }), TX_SUCCESS);
    ASSERT_EQ(early.Create("early", 6, [] {
      tx_thread_sleep(3);
      order.push_back(1);
    }), TX_SUCCESS);
    ASSERT_EQ(sleeper.Create("sleeper", 7, [] {
      tx_thread_sleep(500);
      long_done = true;
    }), TX_SUCCESS);
  }
  EXPECT_TRUE(rtos::run_in_thread([] {
    tx_thread_sleep(20);
    // Five seconds ahead: the sleeper's deadline has passed.
    tx_time_set(tx_time_get() + 500);
  }, 8, 1000));
  for (int i = 0; i < 100 && !long_done.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(long_done.load());
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  {
    rtos::cpu_scope s;
    tx_semaphore_delete(&sem);
  }
  rtos::kernel_stop();  // before the threads' stacks go
}

}  // namespace

namespace {

// Bytes of a stack given to tx_thread_create that no longer hold the fill,
// counted from its low end as a stack report does.
size_t ShownUse(const TestThread& t) {
  size_t i = 0;
  while (i < t.stack.size() && t.stack[i] == 0xEF) ++i;
  return t.stack.size() - i;
}

__attribute__((noinline)) void UseStack(size_t bytes) {
  std::vector<uint8_t> sink(1);
  volatile uint8_t* deep = static_cast<uint8_t*>(alloca(bytes));
  for (size_t i = 0; i < bytes; i += 64) deep[i] = 1;
  sink[0] = deep[0];
}

}  // namespace

TEST_F(ThreadTest, GivenStackShowsTheHostThreadsDeepestUse) {
  Start();
  TestThread shallow, deep, idle;
  for (TestThread* t : {&shallow, &deep, &idle}) t->stack.assign(64u << 10, 0);
  {
    rtos::cpu_scope s;
    ASSERT_EQ(shallow.Create("shallow", 5, [] { for (;;) tx_thread_sleep(1); }), TX_SUCCESS);
    ASSERT_EQ(deep.Create("deep", 5, [] {
      tx_thread_sleep(1);
      UseStack(24u << 10);
      for (;;) tx_thread_sleep(1);
    }), TX_SUCCESS);
    ASSERT_EQ(idle.Create("idle", 5, [] {}, TX_DONT_START), TX_SUCCESS);
  }
  // Filled on creation; a thread that never ran used nothing.
  EXPECT_EQ(ShownUse(idle), 0u);
  rtos::advance(1);
  const size_t before = ShownUse(deep);
  EXPECT_GT(ShownUse(shallow), 0u);
  EXPECT_LT(before, 24u << 10);
  // The deep call shows once the thread has waited again; the figure stays
  // at the deepest point.
  rtos::advance(3);
  const size_t after = ShownUse(deep);
  // The sleep's own call chain lies beside the deep frame, not under it.
  EXPECT_GE(after, 24u << 10) << before;
  EXPECT_GT(after, before);
  EXPECT_LT(after, 64u << 10);
  rtos::advance(3);
  EXPECT_EQ(ShownUse(deep), after);
  EXPECT_EQ(ShownUse(idle), 0u);
  RecordProperty("shallow", static_cast<int>(ShownUse(shallow)));
  RecordProperty("deep", static_cast<int>(after));
  rtos::kernel_stop();  // before the threads' stacks go
}
