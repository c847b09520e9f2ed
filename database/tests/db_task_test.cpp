// Strings shared between threads, the database's start-up and its cycle.
#include <atomic>
#include <cstring>
#include <thread>

#include "database/objects.h"
#include "db_fixture.h"
#include "frame/trace/trace.h"

namespace {

// Writers keep changing strings (of changing lengths, so blocks are
// replaced) while readers hold the bytes they were given across kernel
// calls. Every string is one repeated letter, so a reader that saw freed or
// half-written memory notices; under AddressSanitizer a read of a block
// that went back to the pool is reported at once.
TEST_F(DatabaseTest, StringsStaySoundAcrossThreads) {
  constexpr int kObjects = 4, kRounds = 300;
  struct Worker {
    TX_THREAD cb{};
    std::vector<uint8_t> stack = std::vector<uint8_t>(8192);
  };
  static CDataBase* db;
  static int bad;
  static int done;
  db = db_.get();
  bad = 0;
  done = 0;
  Worker workers[6];
  auto writer = [](ULONG seed) {
    for (int round = 0; round < kRounds; ++round) {
      uint32_t obj = (seed + round) % kObjects;
      uint32_t len = 1 + (seed * 7 + round * 13) % 300;
      std::string s(len, static_cast<char>('a' + (round + seed) % 26));
      db->SetString(vol::activationSlotCode(obj).offset, 4, s.data(), len, db->mib_v, 0);
      if (round % 3 == 0) tx_thread_sleep(1);
      tx_thread_relinquish();
    }
    ++done;
  };
  auto reader = [](ULONG seed) {
    for (int round = 0; round < kRounds; ++round) {
      uint32_t len = 0;
      const uint8_t* p = db->GetString(vol::activationSlotCode((seed + round) % kObjects).offset, 4, db->mib_v, &len);
      tx_thread_relinquish();  // other threads write meanwhile
      if (round % 5 == 0) tx_thread_sleep(1);
      for (uint32_t i = 1; i < len; ++i)
        if (p[i] != p[0]) ++bad;
      if (len && p[len] != 0) ++bad;
    }
    ++done;
  };
  {
    rtos::cpu_scope s;
    for (int i = 0; i < 6; ++i) {
      auto entry = i < 3 ? +writer : +reader;
      ASSERT_EQ(tx_thread_create(&workers[i].cb, "worker", entry, i, workers[i].stack.data(), 8192, 5, 5, 0,
                                 TX_AUTO_START),
                TX_SUCCESS);
    }
  }
  for (int t = 0; t < 1000 && done < 6; ++t) {
    rtos::advance(1);
  }
  EXPECT_EQ(done, 6);
  EXPECT_EQ(bad, 0);
}

// At the pool's cap: kernel writers, a host writer and host readers that
// really run in parallel, on a pool so small that many allocations fail.
// Each object's strings are made of its own letter, so a reader that got
// bytes of another object, or of a freed block, notices; AddressSanitizer
// reports a read of memory that went back. When all is emptied the pool has
// every byte back: no block lost, none freed twice.
TEST_F(DatabaseTest, StringsStaySoundAtThePoolsCap) {
  TearDown();
  Boot(24 * 1024);
  constexpr int kObjects = 6, kRounds = 400, kWriters = 4;
  static CDataBase* db;
  static std::atomic<int> bad, written, refused, done;
  db = db_.get();
  bad = written = refused = done = 0;
  uint32_t total = 0, free_before = 0, free_after = 0;
  os_byte_pool_info(&pool_, nullptr, &total, &free_before, nullptr);
  auto object = [](uint32_t o) { return vol::activationSlotCode(o).offset; };
  static uint32_t (*offset_of)(uint32_t) = +object;
  auto write_one = [](uint32_t seed, int round) {
    uint32_t o = (seed * 5 + round) % kObjects;
    uint32_t len = 1 + (seed * 977 + round * 131) % 3000;
    std::string text(len, static_cast<char>('A' + o));
    if (db->SetString(offset_of(o), 4, text.data(), len, db->mib_v, 0) == DB_OK)
      ++written;
    else
      ++refused;
  };
  static void (*write)(uint32_t, int) = +write_one;
  auto check_one = [](uint32_t o) {
    uint32_t len = 0;
    const uint8_t* p = db->GetString(offset_of(o), 4, db->mib_v, &len);
    for (uint32_t i = 0; i < len; ++i)
      if (p[i] != 'A' + o) return ++bad, void();
    if (p[len] != 0) ++bad;
  };
  static void (*check)(uint32_t) = +check_one;
  struct Worker {
    TX_THREAD cb{};
    std::vector<uint8_t> stack = std::vector<uint8_t>(16384);
  };
  Worker workers[kWriters + 1];
  auto writer = [](ULONG seed) {
    for (int round = 0; round < kRounds; ++round) {
      write(seed, round);
      if (round % 7 == 0) tx_thread_sleep(1);
      tx_thread_relinquish();
    }
    ++done;
  };
  auto reader = [](ULONG seed) {
    for (int round = 0; done < kWriters; ++round) {
      check((seed + round) % kObjects);
      if (round % 3 == 0) tx_thread_relinquish();
      if (round % 11 == 0) tx_thread_sleep(1);
    }
  };
  {
    rtos::cpu_scope cpu;
    for (int i = 0; i < kWriters; ++i)
      ASSERT_EQ(tx_thread_create(&workers[i].cb, "writer", writer, i + 1, workers[i].stack.data(), 16384, 5, 5, 0,
                                 TX_AUTO_START),
                TX_SUCCESS);
    ASSERT_EQ(tx_thread_create(&workers[kWriters].cb, "reader", reader, 7, workers[kWriters].stack.data(), 16384, 5,
                               5, 0, TX_AUTO_START),
              TX_SUCCESS);
  }
  std::vector<std::thread> host;
  for (int h = 0; h < 2; ++h)
    host.emplace_back([h] {
      for (int round = 0; done < kWriters; ++round) check((h + round) % kObjects);
    });
  host.emplace_back([] {
    for (int round = 0; done < kWriters; ++round) write(99, round);
  });
  for (int t = 0; t < 20000 && done < kWriters; ++t) rtos::advance(1);
  EXPECT_EQ(done, kWriters);
  done = kWriters;
  for (auto& t : host) t.join();
  rtos::advance(5);  // the kernel reader sees the end
  EXPECT_EQ(bad, 0);
  EXPECT_GT(written, 0);
  EXPECT_GT(refused, 0) << "the pool never ran short";
  for (uint32_t o = 0; o < kObjects; ++o) ASSERT_EQ(db->SetString(offset_of(o), 4, "", 0, db->mib_v, 0), DB_OK);
  // Free blocks merge when the pool is searched: the whole of it is one
  // block again.
  void* whole = nullptr;
  {
    rtos::cpu_scope cpu;
    EXPECT_EQ(os_byte_allocate(&pool_, &whole, free_before, OS_NO_WAIT), OS_SUCCESS);
    if (whole) os_byte_release(whole);
  }
  os_byte_pool_info(&pool_, nullptr, &total, &free_after, nullptr);
  EXPECT_EQ(free_after, free_before);
}

TEST_F(DatabaseTest, FontVersionOfAFontWithoutCharacters) {
  db_->SetHooksEnabled(false);  // set up a font without characters
  db_->SetValue(nv::fontNumber(2).offset, 1, 3, db_->mib_nv, 0);
  db_->SetValue(nv::fontHeight(2).offset, 1, 7, db_->mib_nv, 0);
  db_->SetValue(nv::fontCharSpacing(2).offset, 1, 1, db_->mib_nv, 0);
  db_->SetValue(nv::fontLineSpacing(2).offset, 1, 2, db_->mib_nv, 0);
  db_->UpdateFontVersionID(2);
  // X.25 over 3, 7, 1, 2 and the 255 pairs (n, 0), complemented and stored
  // with its bytes exchanged.
  std::vector<uint8_t> bytes = {3, 7, 1, 2};
  for (int c = 1; c <= 255; ++c) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
  }
  crc = static_cast<uint16_t>(~crc);
  uint16_t stored = static_cast<uint16_t>((crc << 8) | (crc >> 8));
  EXPECT_EQ(db_->GetValue(nv::fontVersionID(2).offset, 2, db_->mib_nv, 0), stored);
  // A slot without a height is left alone.
  db_->UpdateFontVersionID(3);
  EXPECT_EQ(db_->GetValue(nv::fontVersionID(3).offset, 2, db_->mib_nv, 0), 0u);
}

TEST_F(DatabaseTest, InitLoadsDefaultsAndSwitchesNoticesOn) {
  db_->SetNotifyEnabled(false);
  trace_capture cap;
  EXPECT_EQ(db_->Init(), 1);
  EXPECT_TRUE(db_->NotifyEnabled());
  EXPECT_TRUE(db_->HooksEnabled());
  EXPECT_EQ(db_->m_byReady, 1);
  // The area header of the defaults.
  EXPECT_EQ(db_->GetValue(0, 4, db_->mib_nv, 0), 3u);
  EXPECT_EQ(db_->GetValue(4, 4, db_->mib_nv, 0), MIB_NV_SIZE);
  EXPECT_EQ(db_->GetValue(16, 4, db_->mib_nv, 0), 95008u);
  EXPECT_EQ(db_->GetValue(98100, 4, db_->mib_nv, 0), 12u);
  // Journalling stays off until the task's first cycle.
  EXPECT_EQ(db_->IsFlashMode(), 0);
  EXPECT_TRUE(Letters().empty());
}

TEST_F(DatabaseTest, WritesMadeBeforeJournallingIsOnReachTheJournal) {
  db_->Init();
  ASSERT_EQ(db_->IsFlashMode(), 0);
  // As start-up does: the reset kind cleared, a failure counted, a string
  // written by the start-up script.
  db_->SetValue(nv::dmsSWReset.offset, 1, 0, db_->mib_nv, 0);
  db_->SetValue(nv::watchdogFailureCount.offset, 4, 0x01020304, db_->mib_nv, 0);
  db_->SetString(nv::sysLocation.offset, 4, "north", 5, db_->mib_nv, 0);
  journal_.records.clear();
  db_->m_pJournal = &journal_;
  rtos::run_in_thread([&] { db_->Process(); });
  ASSERT_EQ(db_->IsFlashMode(), 1);
  // Replayed onto the area as it was, the records give the area as it is.
  std::vector<uint8_t> area(MIB_NV_SIZE);
  std::string location;
  for (const auto& r : journal_.records) {
    if (r.width == 0) {
      if (r.offset == nv::sysLocation.offset) location = r.bytes;
      continue;
    }
    for (uint32_t i = 0; i < r.width; ++i) area[r.offset + i] = static_cast<uint8_t>(r.value >> (8 * (r.width - 1 - i)));
  }
  EXPECT_EQ(location, "north");
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(area[nv::watchdogFailureCount.offset + i], i + 1) << i;
  // Nothing is journalled twice at the next cycle.
  journal_.records.clear();
  rtos::run_in_thread([&] { db_->Process(); });
  EXPECT_TRUE(journal_.records.empty());
}

TEST_F(DatabaseTest, CycleSwitchesJournallingWithTheFeatureBit) {
  db_->Init();
  trace_capture cap;
  journal_.records.clear();
  db_->m_pJournal = &journal_;
  rtos::run_in_thread([&] { db_->Process(); });
  EXPECT_TRUE(cap.contains("enabling flash database, running in non-volatile mode\n"));
  EXPECT_EQ(db_->IsFlashMode(), 1);
  // The feature set went to the journal twice, ending with the bit clear.
  ASSERT_GE(journal_.records.size(), 2u);
  EXPECT_EQ(journal_.records.back().offset, nv::quorSpecialFeatureSet.offset);
  EXPECT_EQ(journal_.records.back().value & 0x800, 0u);
  cap.clear();
  db_->SetValue(nv::quorSpecialFeatureSet.offset, 4, 0x800, db_->mib_nv, 0);
  rtos::run_in_thread([&] { db_->Process(); });
  EXPECT_TRUE(cap.contains("disabling flash database, running in volatile only mode\n"));
  EXPECT_EQ(db_->IsFlashMode(), 0);
}

}  // namespace
