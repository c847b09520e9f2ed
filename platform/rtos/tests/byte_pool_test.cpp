// Byte pools run out like the board's memory does.
#include "kernel_fixture.h"

namespace {

class PoolTest : public KernelTest {
 protected:
  TX_BYTE_POOL pool{};
  TestThread a, b;
};

TEST_F(PoolTest, LargeBlocksUseUpThePool) {
  Start([&](void* mem) { ASSERT_EQ(tx_byte_pool_create(&pool, "gpbuffer", mem, 3149824), TX_SUCCESS); });
  rtos::cpu_scope s;
  void *two = nullptr, *one = nullptr, *quarter = nullptr;
  EXPECT_EQ(tx_byte_allocate(&pool, &two, 2097152, TX_NO_WAIT), TX_SUCCESS);
  EXPECT_EQ(tx_byte_allocate(&pool, &one, 1048576, TX_NO_WAIT), TX_SUCCESS);
  EXPECT_EQ(tx_byte_allocate(&pool, &quarter, 262144, TX_NO_WAIT), TX_NO_MEMORY);
  EXPECT_EQ(quarter, nullptr);
  EXPECT_EQ(tx_byte_release(one), TX_SUCCESS);
  EXPECT_EQ(tx_byte_allocate(&pool, &quarter, 262144, TX_NO_WAIT), TX_SUCCESS);
  EXPECT_EQ(quarter, one);  // first fit reuses the freed space
  static_cast<uint8_t*>(two)[2097151] = 1;  // the whole block is usable
}

TEST_F(PoolTest, AccountingFollowsAllocationsAndMerges) {
  Start([&](void* mem) { tx_byte_pool_create(&pool, "p", mem, 4096); });
  rtos::cpu_scope s;
  ULONG avail0 = 0, frags0 = 0;
  tx_byte_pool_info_get(&pool, nullptr, &avail0, &frags0);
  EXPECT_GT(avail0, 4000u);
  EXPECT_LE(avail0, 4096u);
  void* blocks[3];
  for (auto& p : blocks) ASSERT_EQ(tx_byte_allocate(&pool, &p, 100, TX_NO_WAIT), TX_SUCCESS);
  ULONG avail = 0, frags = 0;
  tx_byte_pool_info_get(&pool, nullptr, &avail, &frags);
  EXPECT_LT(avail, avail0 - 300);
  EXPECT_EQ(frags, frags0 + 3);
  for (auto& p : blocks) EXPECT_EQ(tx_byte_release(p), TX_SUCCESS);
  void* big = nullptr;
  // Only fits once the freed neighbours have been merged again.
  EXPECT_EQ(tx_byte_allocate(&pool, &big, avail0, TX_NO_WAIT), TX_SUCCESS);
  EXPECT_EQ(big, blocks[0]);
}

TEST_F(PoolTest, ReleaseRefusesWhatThePoolDidNotHandOut) {
  Start([&](void* mem) { tx_byte_pool_create(&pool, "p", mem, 4096); });
  rtos::cpu_scope s;
  void* p = nullptr;
  ASSERT_EQ(tx_byte_allocate(&pool, &p, 64, TX_NO_WAIT), TX_SUCCESS);
  int local = 0;
  EXPECT_EQ(tx_byte_release(&local), TX_PTR_ERROR);
  EXPECT_EQ(tx_byte_release(static_cast<uint8_t*>(p) + 16), TX_PTR_ERROR);
  EXPECT_EQ(tx_byte_release(nullptr), TX_PTR_ERROR);
  EXPECT_EQ(tx_byte_release(p), TX_SUCCESS);
  EXPECT_EQ(tx_byte_release(p), TX_PTR_ERROR);  // already free
}

TEST_F(PoolTest, WaitingAllocationIsServedByARelease) {
  void* held = nullptr;
  Start([&](void* mem) {
    tx_byte_pool_create(&pool, "p", mem, 4096);
    tx_byte_allocate(&pool, &held, 3000, TX_NO_WAIT);
    a.Create("waiter", 3, [&] {
      void* got = nullptr;
      UINT st = tx_byte_allocate(&pool, &got, 2000, TX_WAIT_FOREVER);
      Log("got " + std::to_string(st) + (got ? " block" : " null"));
      void* none = nullptr;
      st = tx_byte_allocate(&pool, &none, 3000, 2);
      Log(st == TX_NO_MEMORY && !none ? "timed out" : "unexpected");
    });
    b.Create("releaser", 4, [&] {
      tx_thread_sleep(4);
      tx_byte_release(held);
    });
  });
  rtos::advance(8);
  EXPECT_EQ(log_, (std::vector<std::string>{"4 got 0 block", "6 timed out"}));
}

TEST_F(PoolTest, AllocationOutsideAThreadCannotWait) {
  Start([&](void* mem) { tx_byte_pool_create(&pool, "p", mem, 4096); });
  rtos::cpu_scope s;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(tx_byte_allocate(&pool, &p, 8000, 10), TX_SIZE_ERROR);
  EXPECT_EQ(tx_byte_allocate(&pool, &p, 4000, 10), TX_WAIT_ERROR);
  EXPECT_EQ(p, nullptr);
}

#if defined(RTOS_POOLS_POISONED)
// An overrun of a pool block is caught like a heap overrun.
TEST_F(PoolTest, OverrunOfABlockIsReported) {
  Start([&](void* mem) { tx_byte_pool_create(&pool, "p", mem, 4096); });
  void* p = nullptr;
  {
    rtos::cpu_scope s;
    tx_byte_allocate(&pool, &p, 40, TX_NO_WAIT);
  }
  EXPECT_DEATH(static_cast<volatile uint8_t*>(p)[40] = 1, "use-after-poison");
}
#endif

}  // namespace
