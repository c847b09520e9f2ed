// Mutexes, semaphores and event flags.
#include "kernel_fixture.h"

namespace {

class SyncTest : public KernelTest {
 protected:
  TestThread a, b, c;
};

TEST_F(SyncTest, MutexIsRecursiveForItsOwnerAndRefusesOthers) {
  TX_MUTEX m;
  std::vector<UINT> got;
  Start([&](void*) {
    tx_mutex_create(&m, "m", TX_NO_INHERIT);
    a.Create("owner", 3, [&] {
      got.push_back(tx_mutex_get(&m, TX_NO_WAIT));
      got.push_back(tx_mutex_get(&m, TX_NO_WAIT));
      tx_thread_sleep(5);
      got.push_back(tx_mutex_put(&m));
      got.push_back(tx_mutex_put(&m));
      got.push_back(tx_mutex_put(&m));
    });
    b.Create("other", 3, [&] {
      tx_thread_sleep(1);
      got.push_back(tx_mutex_get(&m, TX_NO_WAIT));
      got.push_back(tx_mutex_put(&m));
      got.push_back(tx_mutex_get(&m, 2));
    });
  });
  rtos::advance(10);
  EXPECT_EQ(got, (std::vector<UINT>{TX_SUCCESS, TX_SUCCESS, TX_NOT_AVAILABLE, TX_NOT_OWNED, TX_NOT_AVAILABLE,
                                    TX_SUCCESS, TX_SUCCESS, TX_NOT_OWNED}));
}

TEST_F(SyncTest, MutexFromOutsideAThreadIsACallerError) {
  TX_MUTEX m;
  Start([&](void*) { tx_mutex_create(&m, "m", TX_INHERIT); });
  rtos::cpu_scope s;
  EXPECT_EQ(tx_mutex_get(&m, TX_NO_WAIT), TX_CALLER_ERROR);
  EXPECT_EQ(tx_mutex_put(&m), TX_CALLER_ERROR);
  TX_MUTEX never{};
  EXPECT_EQ(tx_mutex_get(&never, TX_NO_WAIT), TX_MUTEX_ERROR);
  EXPECT_EQ(tx_mutex_create(&m, "again", TX_NO_INHERIT), TX_MUTEX_ERROR);
}

// A low-priority owner runs at its waiter's priority, so a middle-priority
// thread cannot hold the waiter off.
TEST_F(SyncTest, PriorityInheritanceLiftsTheOwner) {
  TX_MUTEX m;
  TX_SEMAPHORE go;
  Start([&](void*) {
    tx_mutex_create(&m, "pi", TX_INHERIT);
    tx_semaphore_create(&go, "go", 0);
    a.Create("low", 10, [&] {
      tx_mutex_get(&m, TX_WAIT_FOREVER);
      tx_semaphore_put(&go);  // wakes high
      Log("low holds, priority " + std::to_string(a.cb.priority));
      tx_mutex_put(&m);
      Log("low released, priority " + std::to_string(a.cb.priority));
    });
    b.Create("high", 1, [&] {
      tx_semaphore_get(&go, TX_WAIT_FOREVER);
      c.Create("middle", 5, [&] { Log("middle"); });
      tx_mutex_get(&m, TX_WAIT_FOREVER);
      Log("high got mutex");
    });
  });
  EXPECT_EQ(log_, (std::vector<std::string>{"0 low holds, priority 1", "0 high got mutex", "0 middle",
                                            "0 low released, priority 10"}));
}

TEST_F(SyncTest, DeletingAMutexWakesItsWaiters) {
  TX_MUTEX m;
  Start([&](void*) {
    tx_mutex_create(&m, "m", TX_NO_INHERIT);
    a.Create("owner", 3, [&] {
      tx_mutex_get(&m, TX_WAIT_FOREVER);
      tx_thread_sleep(3);
      Log("delete " + std::to_string(tx_mutex_delete(&m)));
    });
    b.Create("waiter", 4, [&] { Log("waiter " + std::to_string(tx_mutex_get(&m, TX_WAIT_FOREVER))); });
  });
  rtos::advance(3);
  EXPECT_EQ(log_, (std::vector<std::string>{"3 delete 0", "3 waiter " + std::to_string(TX_DELETED)}));
}

TEST_F(SyncTest, SemaphoreCountsAndTimesOut) {
  TX_SEMAPHORE s;
  Start([&](void*) {
    tx_semaphore_create(&s, "s", 2);
    a.Create("taker", 3, [&] {
      Log(std::to_string(tx_semaphore_get(&s, TX_NO_WAIT)));
      Log(std::to_string(tx_semaphore_get(&s, TX_NO_WAIT)));
      Log(std::to_string(tx_semaphore_get(&s, TX_NO_WAIT) == TX_NO_INSTANCE));
      Log(std::to_string(tx_semaphore_get(&s, 4) == TX_NO_INSTANCE));
      Log(std::to_string(tx_semaphore_get(&s, TX_WAIT_FOREVER)));
    });
  });
  rtos::advance(6);
  {
    rtos::cpu_scope scope;
    EXPECT_EQ(tx_semaphore_get(&s, 1), TX_WAIT_ERROR);  // cannot wait here
    EXPECT_EQ(tx_semaphore_put(&s), TX_SUCCESS);         // hands the count to the waiter
    ULONG count = 9;
    const CHAR* name = nullptr;
    EXPECT_EQ(tx_semaphore_info_get(&s, &name, &count), TX_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_STREQ(name, "s");
  }
  rtos::settle();
  EXPECT_EQ(log_, (std::vector<std::string>{"0 0", "0 0", "0 1", "4 1", "6 0"}));
}

TEST_F(SyncTest, EventFlagsOptions) {
  TX_EVENT_FLAGS_GROUP g;
  Start([&](void*) { tx_event_flags_create(&g, "g"); });
  rtos::cpu_scope s;
  ULONG actual = 0;
  tx_event_flags_set(&g, 0x5, TX_OR);
  EXPECT_EQ(tx_event_flags_get(&g, 0x7, TX_AND, &actual, TX_NO_WAIT), TX_NO_EVENTS);
  EXPECT_EQ(tx_event_flags_get(&g, 0x5, TX_AND, &actual, TX_NO_WAIT), TX_SUCCESS);
  EXPECT_EQ(actual, 0x5u);
  EXPECT_EQ(tx_event_flags_get(&g, 0x6, TX_OR_CLEAR, &actual, TX_NO_WAIT), TX_SUCCESS);
  EXPECT_EQ(actual, 0x5u);  // flags before the clear
  EXPECT_EQ(g.current, 0x1u);
  tx_event_flags_set(&g, 0xF0, TX_OR);
  tx_event_flags_set(&g, ~0x10u, TX_AND);  // keeps only the given mask
  EXPECT_EQ(g.current, 0xE1u);
  EXPECT_EQ(tx_event_flags_get(&g, 0x1, TX_OR, &actual, 5), TX_WAIT_ERROR);
  EXPECT_EQ(tx_event_flags_get(&g, 0x1, 4, &actual, TX_NO_WAIT), TX_OPTION_ERROR);
  EXPECT_EQ(tx_event_flags_delete(&g), TX_CALLER_ERROR);
  TX_EVENT_FLAGS_GROUP never{};
  EXPECT_EQ(tx_event_flags_set(&never, 1, TX_OR), TX_GROUP_ERROR);
  EXPECT_EQ(tx_event_flags_create(&g, "again"), TX_GROUP_ERROR);
}

// Waiters are served in arrival order; one that clears takes the flags from
// those behind it.
TEST_F(SyncTest, ClearingWaiterTakesFlagsFromLaterWaiters) {
  TX_EVENT_FLAGS_GROUP g;
  Start([&](void*) {
    tx_event_flags_create(&g, "g");
    a.Create("first", 3, [&] {
      ULONG actual;
      tx_event_flags_get(&g, 0x1, TX_OR_CLEAR, &actual, TX_WAIT_FOREVER);
      Log("first " + std::to_string(actual));
    });
    b.Create("second", 3, [&] {
      ULONG actual;
      UINT st = tx_event_flags_get(&g, 0x1, TX_OR, &actual, 3);
      Log("second timed out " + std::to_string(st == TX_NO_EVENTS));
    });
  });
  {
    rtos::cpu_scope s;
    tx_event_flags_set(&g, 0x3, TX_OR);
  }
  rtos::advance(3);
  EXPECT_EQ(log_, (std::vector<std::string>{"0 first 3", "3 second timed out 1"}));
  EXPECT_EQ(g.current, 0x2u);
}

TEST_F(SyncTest, DeletingAGroupWakesWaitersWithDeleted) {
  TX_EVENT_FLAGS_GROUP g;
  Start([&](void*) {
    tx_event_flags_create(&g, "g");
    a.Create("waiter", 3, [&] {
      ULONG actual;
      Log(std::to_string(tx_event_flags_get(&g, 1, TX_OR, &actual, TX_WAIT_FOREVER) == TX_DELETED));
    });
    b.Create("deleter", 4, [&] {
      tx_thread_sleep(2);
      tx_event_flags_delete(&g);
    });
  });
  rtos::advance(2);
  EXPECT_EQ(log_, (std::vector<std::string>{"2 1"}));
}

}  // namespace
