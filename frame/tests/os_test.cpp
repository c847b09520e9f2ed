// The OS layer's translation of kernel statuses and options.
#include <gtest/gtest.h>

#include "frame/os/os.h"
#include "rtos_host.h"

namespace {

class OsTest : public ::testing::Test {
 protected:
  void Start(std::function<void(void*)> define = [](void*) {}) {
    rtos::kernel_config c;
    c.memory_size = 1u << 20;
    rtos::kernel_start(c, define);
  }
  void TearDown() override { rtos::kernel_stop(); }
};

TEST(OsOptions, EventOptionTable) {
  struct Row {
    os_event_option option;
    int mapped;
    UINT kernel;
  } rows[] = {{1, 1, TX_AND}, {2, 1, TX_AND_CLEAR}, {3, 1, TX_OR}, {4, 1, TX_OR_CLEAR}, {0, 0, 77}, {5, 0, 77}};
  for (const Row& r : rows) {
    UINT k = 77;
    EXPECT_EQ(os_event_option_map(r.option, &k), r.mapped) << r.option;
    EXPECT_EQ(k, r.kernel) << r.option;
  }
  uint8_t b = 9;
  EXPECT_EQ(os_bool_option(1, &b), 1);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(os_bool_option(2, &b), 0);
  EXPECT_EQ(b, 1);
}

TEST(OsOptions, ThreadNameBeforeTheKernelRunsLeavesTheOutput) {
  const char* name = "untouched";
  EXPECT_EQ(os_thread_name(&name), OS_CALLER_ERROR);
  EXPECT_STREQ(name, "untouched");
}

TEST_F(OsTest, EventWrappers) {
  TX_EVENT_FLAGS_GROUP g{};
  Start([&](void*) { EXPECT_EQ(os_event_create(&g, "g"), OS_SUCCESS); });
  EXPECT_EQ(os_event_create(&g, "again"), OS_CREATE_ERROR);
  uint32_t actual = 0;
  EXPECT_EQ(os_event_get(&g, 1, 5, &actual, OS_NO_WAIT), OS_FAILURE);
  EXPECT_EQ(os_event_set(&g, 0xFF, 6), OS_FAILURE);
  EXPECT_EQ(os_event_set(&g, 0xFF, OS_EVENT_OR), OS_SUCCESS);
  EXPECT_EQ(os_event_set(&g, ~0x4u, OS_EVENT_AND), OS_SUCCESS);  // clears only 0x4
  EXPECT_EQ(os_event_get(&g, 0xFF, OS_EVENT_AND, &actual, OS_NO_WAIT), OS_NO_EVENTS);
  EXPECT_EQ(os_event_get(&g, 0xFB, OS_EVENT_AND, &actual, OS_NO_WAIT), OS_SUCCESS);
  EXPECT_EQ(actual, 0xFBu);
  EXPECT_EQ(os_event_get(&g, 1, OS_EVENT_OR, &actual, 10), OS_WAIT_ERROR);  // not a thread
  EXPECT_EQ(os_event_delete(&g), OS_CALLER_ERROR);
  EXPECT_TRUE(rtos::run_in_thread([&] { EXPECT_EQ(os_event_delete(&g), OS_SUCCESS); }));
}

TEST_F(OsTest, OrClearWaitsForeverThenClearsWhatItReturned) {
  TX_EVENT_FLAGS_GROUP g{};
  Start([&](void*) { os_event_create(&g, "g"); });
  uint32_t actual = 0;
  os_status st = 99;
  TX_TIMER t{};
  static TX_EVENT_FLAGS_GROUP* grp;
  grp = &g;
  os_timer_create(&t, "set", [](ULONG) { os_event_set(grp, 0x6, OS_EVENT_OR); }, 7, 0, 1);
  EXPECT_TRUE(rtos::run_in_thread([&] { st = os_event_get(&g, 0x3, OS_EVENT_OR_CLEAR, &actual, OS_WAIT_FOREVER); }));
  EXPECT_EQ(st, OS_SUCCESS);
  EXPECT_EQ(actual, 0x6u);
  EXPECT_EQ(tx_time_get(), 7u);
  EXPECT_EQ(g.current, 0x4u);
}

TEST_F(OsTest, MutexWrappers) {
  TX_MUTEX m{};
  Start([&](void*) { EXPECT_EQ(os_mutex_create(&m, "m", 1), OS_SUCCESS); });
  EXPECT_EQ(os_mutex_create(&m, "m", 1), OS_CREATE_ERROR);
  EXPECT_EQ(os_mutex_get(&m, OS_NO_WAIT), OS_CALLER_ERROR);
  EXPECT_TRUE(rtos::run_in_thread([&] {
    EXPECT_EQ(os_mutex_put(&m), OS_NOT_OWNED);
    EXPECT_EQ(os_mutex_get(&m, OS_NO_WAIT), OS_SUCCESS);
    EXPECT_EQ(os_mutex_put(&m), OS_SUCCESS);
  }));
}

TEST_F(OsTest, SemaphoreAndPoolWrappers) {
  TX_SEMAPHORE s{};
  TX_BYTE_POOL p{};
  Start([&](void* mem) {
    EXPECT_EQ(os_semaphore_create(&s, "s", 200), OS_SUCCESS);
    EXPECT_EQ(os_byte_pool_create(&p, "p", mem, 65536), OS_SUCCESS);
  });
  EXPECT_EQ(os_semaphore_create(&s, "s", 1), OS_SEMAPHORE_ERROR);
  uint32_t count = 0;
  EXPECT_EQ(os_semaphore_info(&s, nullptr, &count), OS_SUCCESS);
  EXPECT_EQ(count, 200u);
  TX_SEMAPHORE never{};
  EXPECT_EQ(os_semaphore_put(&never), OS_SEMAPHORE_ERROR);
  EXPECT_EQ(os_semaphore_get(&s, 5), OS_WAIT_ERROR);

  void* a = nullptr;
  EXPECT_EQ(os_byte_allocate(&p, &a, 70000, OS_NO_WAIT), OS_FAILURE);  // larger than the pool
  EXPECT_EQ(os_byte_allocate(&p, &a, 60000, OS_NO_WAIT), OS_SUCCESS);
  void* b = nullptr;
  EXPECT_EQ(os_byte_allocate(&p, &b, 6000, OS_NO_WAIT), OS_NO_MEMORY);
  const char* name = nullptr;
  uint32_t total = 0, avail = 0, frags = 0;
  EXPECT_EQ(os_byte_pool_info(&p, &name, &total, &avail, &frags), OS_SUCCESS);
  EXPECT_STREQ(name, "p");
  EXPECT_EQ(total, 65536u);
  EXPECT_LT(avail, 6000u);
  EXPECT_EQ(os_byte_release(a), OS_SUCCESS);
  EXPECT_EQ(os_byte_release(a), OS_FAILURE);
  TX_BYTE_POOL none{};
  total = 5;
  EXPECT_EQ(os_byte_pool_info(&none, &name, &total, &avail, &frags), OS_FAILURE);
  EXPECT_EQ(total, 5u);
}

TEST_F(OsTest, TimerWrappers) {
  TX_TIMER t{};
  Start();
  auto fn = [](ULONG) {};
  EXPECT_EQ(os_timer_create(&t, "t", fn, 10, 20, 2), OS_FAILURE);
  EXPECT_EQ(os_timer_create(&t, "t", fn, 10, 20, 1), OS_SUCCESS);
  uint32_t old = 0;
  EXPECT_EQ(os_timer_change(&t, 5, 5, &old), OS_FAILURE);  // still active
  EXPECT_EQ(old, 20u);                                     // written all the same
  EXPECT_EQ(os_timer_deactivate(&t), OS_SUCCESS);
  EXPECT_EQ(os_timer_change(&t, 5, 7, &old), OS_SUCCESS);
  EXPECT_EQ(os_timer_change(&t, 5, 7, &old), OS_SUCCESS);
  EXPECT_EQ(old, 7u);
  EXPECT_EQ(os_timer_activate(&t), OS_SUCCESS);
  EXPECT_EQ(os_timer_delete(&t), OS_SUCCESS);
  EXPECT_EQ(os_timer_activate(&t), OS_FAILURE);
}

TEST_F(OsTest, SleepAndThreadName) {
  Start();
  EXPECT_EQ(os_sleep(3), OS_CALLER_ERROR);
  const char* name = nullptr;
  EXPECT_TRUE(rtos::run_in_thread([&] {
    EXPECT_EQ(os_sleep(3), OS_SUCCESS);
    EXPECT_EQ(os_thread_name(&name), OS_SUCCESS);
  }));
  EXPECT_STREQ(name, "host");
  EXPECT_EQ(tx_time_get(), 3u);
}

}  // namespace
