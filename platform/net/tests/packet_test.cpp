// Packet pools and packets: carving, header room, chains, and allocations
// that wait, fail or time out on the kernel's clock.
#include "net_fixture.h"

namespace {

class PacketTest : public NetTest {
 protected:
  KThread a_, b_;
};

TEST_F(PacketTest, PoolCarvesFixedPacketsFromTheGivenMemoryAndRunsOut) {
  NX_PACKET_POOL enet{};
  std::vector<uint8_t> memory(69696);
  Start([&] { ASSERT_EQ(nx_packet_pool_create(&enet, "enet packet pool", 1540, memory.data(), 69696), NX_SUCCESS); });
  rtos::cpu_scope s;
  // Each packet takes its header and payload, rounded up to 16 bytes: on
  // this host 43 packets where the board's 44-byte headers gave 44.
  ULONG stride = static_cast<ULONG>((NX_PACKET_HEADER_SIZE + 1540 + 15) & ~size_t{15});
  ULONG expected = 69696 / stride;
  EXPECT_EQ(expected, 43u);
  EXPECT_EQ(enet.nx_packet_pool_total, expected);
  EXPECT_EQ(enet.nx_packet_pool_payload_size, 1540u);

  std::vector<NX_PACKET*> all;
  for (ULONG i = 0; i < expected; ++i) {
    NX_PACKET* p = nullptr;
    ASSERT_EQ(nx_packet_allocate(&enet, &p, NX_RECEIVE_PACKET, NX_NO_WAIT), NX_SUCCESS);
    auto* at = reinterpret_cast<uint8_t*>(p);
    // Every packet and its payload lie inside the caller's memory, and the
    // payload follows the header.
    ASSERT_GE(at, memory.data());
    ASSERT_LE(p->nx_packet_data_end, memory.data() + memory.size());
    EXPECT_EQ(p->nx_packet_data_start, at + NX_PACKET_HEADER_SIZE);
    EXPECT_EQ(p->nx_packet_data_end - p->nx_packet_data_start, 1540);
    EXPECT_EQ(p->nx_packet_queue_next, NX_PACKET_NOT_QUEUED);
    all.push_back(p);
  }
  NX_PACKET* none = reinterpret_cast<NX_PACKET*>(1);
  EXPECT_EQ(nx_packet_allocate(&enet, &none, NX_RECEIVE_PACKET, NX_NO_WAIT), NX_NO_PACKET);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(enet.nx_packet_pool_available, 0u);
  EXPECT_EQ(enet.nx_packet_pool_empty_requests, 1u);
  for (NX_PACKET* p : all) EXPECT_EQ(nx_packet_release(p), NX_SUCCESS);
  EXPECT_EQ(enet.nx_packet_pool_available, expected);
}

TEST_F(PacketTest, HeaderRoomPutsTheDataBehindTheHeaders) {
  Start();
  rtos::cpu_scope s;
  struct Row {
    ULONG type;
    long offset;
  } rows[] = {{NX_RECEIVE_PACKET, 0}, {NX_IP_PACKET, 36}, {NX_UDP_PACKET, 44}, {NX_TCP_PACKET, 56}};
  for (const Row& r : rows) {
    NX_PACKET* p = nullptr;
    ASSERT_EQ(nx_packet_allocate(&pool_, &p, r.type, NX_NO_WAIT), NX_SUCCESS);
    EXPECT_EQ(p->nx_packet_prepend_ptr - p->nx_packet_data_start, r.offset);
    EXPECT_EQ(p->nx_packet_append_ptr, p->nx_packet_prepend_ptr);
    EXPECT_EQ(p->nx_packet_length, 0u);
    nx_packet_release(p);
  }
  NX_PACKET* p = nullptr;
  EXPECT_EQ(nx_packet_allocate(&pool_, &p, 1501, NX_NO_WAIT), NX_OPTION_ERROR);
}

// A 3000-byte message does not fit one 1500-byte packet: append chains it,
// and retrieval gives it back whole.
TEST_F(PacketTest, AppendChainsAndRetrieveReassembles) {
  Start();
  rtos::cpu_scope s;
  std::string message(3000, '\0');
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 7 + 1);
  ULONG before = pool_.nx_packet_pool_available;
  NX_PACKET* p = Packet(message, NX_TCP_PACKET);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->nx_packet_length, 3000u);
  int packets = 0;
  for (NX_PACKET* at = p; at; at = at->nx_packet_next) ++packets;
  EXPECT_EQ(packets, 3);  // 1444 + 1500 + 56
  EXPECT_EQ(Text(p), message);

  // Bounded copies from an offset never pass the buffer's size.
  char guard[40];
  memset(guard, 0x5A, sizeof guard);
  ULONG n = 0;
  ASSERT_EQ(nx_packet_data_copy(p, 1440, guard + 4, 8, &n), NX_SUCCESS);
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::string(guard + 4, 8), message.substr(1440, 8));
  EXPECT_EQ(guard[3], 0x5A);
  EXPECT_EQ(guard[12], 0x5A);
  ASSERT_EQ(nx_packet_data_copy(p, 2995, guard, sizeof guard, &n), NX_SUCCESS);
  EXPECT_EQ(n, 5u);

  EXPECT_EQ(nx_packet_release(p), NX_SUCCESS);
  EXPECT_EQ(pool_.nx_packet_pool_available, before);
}

TEST_F(PacketTest, AnAppendThatCannotGetPacketsChangesNothing) {
  Start();
  rtos::cpu_scope s;
  NX_PACKET* p = Packet("abc");
  ASSERT_NE(p, nullptr);
  std::vector<NX_PACKET*> hog;
  for (NX_PACKET* h; nx_packet_allocate(&pool_, &h, 0, NX_NO_WAIT) == NX_SUCCESS;) hog.push_back(h);
  std::string big(4000, 'x');
  EXPECT_EQ(nx_packet_data_append(p, big.data(), 4000, &pool_, NX_NO_WAIT), NX_NO_PACKET);
  EXPECT_EQ(p->nx_packet_length, 3u);
  EXPECT_EQ(p->nx_packet_next, nullptr);
  EXPECT_EQ(Text(p), "abc");
  for (NX_PACKET* h : hog) nx_packet_release(h);
  nx_packet_release(p);
  EXPECT_EQ(pool_.nx_packet_pool_available, pool_.nx_packet_pool_total);
}

TEST_F(PacketTest, ReleaseRefusesWhatIsNotAnAllocatedPacket) {
  Start();
  rtos::cpu_scope s;
  NX_PACKET* p = Packet(std::string(2000, 'y'));
  ASSERT_NE(p, nullptr);
  NX_PACKET* second = p->nx_packet_next;
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(nx_packet_release(p), NX_SUCCESS);
  EXPECT_EQ(nx_packet_release(p), NX_ALREADY_RELEASED);
  EXPECT_EQ(nx_packet_release(second), NX_ALREADY_RELEASED);
  NX_PACKET fake{};
  fake.nx_packet_pool_owner = &pool_;
  EXPECT_EQ(nx_packet_release(&fake), NX_INVALID_PACKET);
  EXPECT_EQ(nx_packet_release(nullptr), NX_PTR_ERROR);
  EXPECT_EQ(pool_.nx_packet_pool_available, pool_.nx_packet_pool_total);
}

// Waiting allocations: a release wakes the first in time, a time-out ends
// on its exact tick, an aborted wait says so.
TEST_F(PacketTest, AllocationWaitsForAReleaseOrItsTimeOut) {
  std::vector<NX_PACKET*> hog;
  Start([&] {
    for (NX_PACKET* h; nx_packet_allocate(&pool_, &h, 0, NX_NO_WAIT) == NX_SUCCESS;) hog.push_back(h);
    a_.Create("waits 6000", 3, [&] {
      NX_PACKET* p = nullptr;
      UINT s = nx_packet_allocate(&pool_, &p, NX_UDP_PACKET, 6000);
      box_.Post("a " + std::to_string(s) + " at " + std::to_string(tx_time_get()));
      if (p) nx_packet_release(p);
    });
    b_.Create("waits forever", 4, [&] {
      NX_PACKET* p = nullptr;
      UINT s = nx_packet_allocate(&pool_, &p, NX_UDP_PACKET, NX_WAIT_FOREVER);
      box_.Post("b " + std::to_string(s) + " at " + std::to_string(tx_time_get()));
    });
  });
  rtos::advance(5999);
  EXPECT_EQ(box_.Size(), 0u);
  rtos::advance(1);
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "a " + std::to_string(NX_NO_PACKET) + " at 6000");
  {
    rtos::cpu_scope s;
    NX_PACKET* p = nullptr;
    EXPECT_EQ(nx_packet_allocate(&pool_, &p, 0, 10), NX_WAIT_ERROR);  // not from outside a thread
    EXPECT_EQ(tx_thread_wait_abort(&b_.cb), TX_SUCCESS);
  }
  rtos::settle();
  ASSERT_TRUE(box_.WaitFor(2));
  EXPECT_EQ(box_.At(1), "b " + std::to_string(NX_WAIT_ABORTED) + " at 6000");
  for (NX_PACKET* h : hog) {
    rtos::cpu_scope s;
    nx_packet_release(h);
  }
}

TEST_F(PacketTest, AReleaseWakesAWaitingAllocation) {
  std::vector<NX_PACKET*> hog;
  Start([&] {
    for (NX_PACKET* h; nx_packet_allocate(&pool_, &h, 0, NX_NO_WAIT) == NX_SUCCESS;) hog.push_back(h);
    a_.Create("waits", 3, [&] {
      NX_PACKET* p = nullptr;
      UINT s = nx_packet_allocate(&pool_, &p, NX_TCP_PACKET, 6000);
      box_.Post(std::to_string(s) + " at " + std::to_string(tx_time_get()) + " same " +
                std::to_string(p == hog.back()));
    });
  });
  rtos::advance(250);
  {
    rtos::cpu_scope s;
    nx_packet_release(hog.back());
  }
  ASSERT_TRUE(box_.WaitFor(1));
  EXPECT_EQ(box_.At(0), "0 at 250 same 1");
  rtos::cpu_scope s;
  hog.pop_back();
  for (NX_PACKET* h : hog) nx_packet_release(h);
}

}  // namespace
