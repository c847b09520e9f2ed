// The journal at start: which file is replayed, what a replay restores, and
// what it refuses.
#include <atomic>
#include <cstring>

#include <unistd.h>

#include "journal_fixture.h"

namespace {

const db_object kWord = nv::watchdogFailureCount;  // u32
const db_object kHalf = nv::dmsSignHeight;         // u16
const db_object kByte = nv::dmsSignType;           // u8
const db_object kText = nv::sysLocation;           // string
const db_object kText2 = nv::chapName;             // string

TEST_F(JournalTest, ValuesOfEveryKindComeBackAfterARestart) {
  Fresh();
  EXPECT_NE(load_trace_.find(" - Find Flash DB File\t\t\t\t\t[FAIL]\n\tCreating nv1.dat\n"), std::string::npos)
      << load_trace_;
  SetNv(kWord, 0xDEADBEEF);
  SetNv(kHalf, 0x1234);
  SetNv(kByte, 7);
  SetStr(kText, "roadside");
  SetStr(kText2, std::string("a\0b", 3));
  // Later records of an object win.
  SetNv(kWord, 0xFFFFFFFF);
  SetStr(kText, "hill top");
  ASSERT_EQ(Replay(), 1);
  EXPECT_NE(load_trace_.find(" - Find Flash DB File\t\t\t\t\t[ OK ]\n - Loading off nv1.dat\t\t\t\t\t[ OK ]\n"),
            std::string::npos)
      << load_trace_;
  EXPECT_EQ(Nv(kWord), 0xFFFFFFFFu);
  EXPECT_EQ(Nv(kHalf), 0x1234u);
  EXPECT_EQ(Nv(kByte), 7u);
  EXPECT_EQ(Str(kText), "hill top");
  EXPECT_EQ(Str(kText2), std::string("a\0b", 3));
  // The record layout: '~', L, offset, value, CRC low byte first, '|'.
  uint32_t size = 0;
  const uint8_t* d = Data("nv1.dat", &size);
  const uint8_t expected[] = {'~', 0, 10, 0, 0, 0x87, 0x60, 0xDE, 0xAD, 0xBE, 0xEF};  // offset 34656
  ASSERT_EQ(std::memcmp(d + JOURNAL_HEADER_SIZE, expected, sizeof expected), 0);
  uint16_t crc = journal_crc(d + JOURNAL_HEADER_SIZE + 1, 10);
  EXPECT_EQ(d[JOURNAL_HEADER_SIZE + 11], crc & 0xFF);
  EXPECT_EQ(d[JOURNAL_HEADER_SIZE + 12], crc >> 8);
  EXPECT_EQ(d[JOURNAL_HEADER_SIZE + 13], '|');
}

TEST_F(JournalTest, NewHeaderIsValidOnlyOnceTheDefaultsAreIn) {
  ASSERT_EQ(Load(), 0);
  const uint8_t* d = Data("nv1.dat");
  ASSERT_NE(d, nullptr);
  // Marker 0xFF, revision 0, sequence 0, database revision 0, size 98108.
  const uint8_t head[] = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x7F, 0x3C};
  EXPECT_EQ(std::memcmp(d, head, sizeof head), 0);
  EXPECT_EQ(d[13], '|');
  SetNv(kWord, 5);
  // Cut before the header became valid: the next start begins anew.
  ASSERT_EQ(Replay(), 0);
  EXPECT_EQ(Nv(kWord), 0u);
  journal_validate_new_header(journal_);
  EXPECT_EQ(Data("nv1.dat")[0], 0x7F);
  SetNv(kWord, 6);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 6u);
}

TEST_F(JournalTest, TornLastRecordIsIgnored) {
  Fresh();
  SetNv(kWord, 1);
  SetStr(kText, "kept");
  // Every proper prefix of the last record, the terminator last of all.
  const uint32_t record = 4 + 6 + 12;  // "torn string"
  uint32_t word = 1;
  for (uint32_t cut = 1; cut < record; ++cut) {
    Restart();
    ASSERT_EQ(Load(), 1) << cut;
    monitor::fault_power_cut_after(cut);
    db_->SetString(kText.offset, 4, "torn string", 11, db_->mib_nv, DB_NO_VALIDATE);
    ASSERT_EQ(Replay(), 1) << cut;
    EXPECT_EQ(Nv(kWord), word) << cut;
    EXPECT_EQ(Str(kText), "kept") << cut;
    // The journal goes on after the torn bytes.
    word = 100 + cut;
    SetNv(kWord, word);
    ASSERT_EQ(Replay(), 1) << cut;
    EXPECT_EQ(Nv(kWord), word) << cut;
    EXPECT_EQ(Str(kText), "kept") << cut;
    if (HasFailure()) return;
  }
}

TEST_F(JournalTest, HeaderOfAnotherDatabaseStartsAFreshFile) {
  struct Row {
    std::vector<uint8_t> header;
    const char* message;
  } rows[] = {
      {Header(3, MIB_NV_SIZE - 1), "[FAIL]\n\tdatabase size changed\n\tCreating nv1.dat\n"},
      {Header(3, MIB_NV_SIZE, 1), "[FAIL]\n\tinvalid header rev:1\n\tCreating nv1.dat\n"},
      {Header(3, MIB_NV_SIZE, 0, 2), "[FAIL]\n\tinvalid database revision:2\n\tCreating nv1.dat\n"},
  };
  for (const Row& r : rows) {
    Wipe();
    std::vector<uint8_t> file = r.header;
    Append(&file, Record(kWord.offset, Int32(42)));
    WriteFile("nv1.dat", file);
    EXPECT_EQ(Load(), 0) << r.message;
    EXPECT_NE(load_trace_.find(r.message), std::string::npos) << load_trace_;
    EXPECT_EQ(Nv(kWord), 0u);
    // The new file: marker 0xFF and sequence 0, nothing after the header.
    uint32_t size = 0;
    const uint8_t* d = Data("nv1.dat", &size);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d[0], 0xFF);
    EXPECT_EQ(Sequence("nv1.dat"), 0u);
    EXPECT_EQ(journal_->UsedLength(), JOURNAL_HEADER_SIZE);
    EXPECT_TRUE(Records("nv1.dat").empty());
  }
}

TEST_F(JournalTest, TwoValidFilesKeepTheCompleteOlderOne) {
  // A defragmentation cut short leaves its copy with the next sequence; the
  // file it copied from is the complete one.
  struct Row {
    uint32_t seq1, seq2;
    const char* kept;
    const char* gone;
    uint32_t value;
  } rows[] = {
      {5, 6, "nv1.dat", "nv2.dat", 1},
      {6, 5, "nv2.dat", "nv1.dat", 2},
      {7, 7, "nv1.dat", "nv2.dat", 1},
  };
  for (const Row& r : rows) {
    Wipe();
    std::vector<uint8_t> one = Header(r.seq1), two = Header(r.seq2);
    Append(&one, Record(kWord.offset, Int32(1)));
    Append(&two, Record(kWord.offset, Int32(2)));
    WriteFile("nv1.dat", one);
    WriteFile("nv2.dat", two);
    ASSERT_EQ(Load(), 1) << r.kept;
    EXPECT_EQ(Nv(kWord), r.value) << r.kept;
    EXPECT_TRUE(Exists(r.kept));
    EXPECT_FALSE(Exists(r.gone));
    EXPECT_STREQ(journal_->CurrentFileName(), r.kept);
    // Appends go to the file kept.
    SetNv(kWord, 9);
    ASSERT_EQ(Replay(), 1);
    EXPECT_EQ(Nv(kWord), 9u);
  }
}

TEST_F(JournalTest, FileWithAnInvalidHeaderIsDropped) {
  std::vector<uint8_t> bad = Header(1), good = Header(4);
  bad[0] = 0xFF;  // never made valid
  Append(&bad, Record(kWord.offset, Int32(1)));
  Append(&good, Record(kWord.offset, Int32(2)));
  WriteFile("nv1.dat", bad);
  WriteFile("nv2.dat", good);
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(Nv(kWord), 2u);
  EXPECT_FALSE(Exists("nv1.dat"));
  EXPECT_STREQ(journal_->CurrentFileName(), "nv2.dat");
}

TEST_F(JournalTest, LongestStringIsJournalledWhole) {
  // A MULTI text of the longest length a message takes, with its CRC.
  const db_object text = nv::dmsMessageMultiString(7), crc = nv::dmsMessageCRC(7);
  Fresh();
  SetStr(text, "short");
  SetNv(crc, 1);
  std::string longest(JOURNAL_STRING_MAX, ' ');
  for (size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<char>('A' + i % 26);
  longest.replace(1100, 1800, 1800, '\xFF');  // erased-looking bytes inside a record
  SetStr(text, longest);
  SetNv(crc, 2);
  SetNv(kWord, 9);  // a record after the long one
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Str(text), longest);
  EXPECT_EQ(Nv(crc), 2u);
  EXPECT_EQ(Nv(kWord), 9u);
  // A longer string is refused and leaves the object, in RAM and in the
  // journal, as it was.
  trace_capture cap;
  std::string over(JOURNAL_STRING_MAX + 1, 'x');
  EXPECT_EQ(db_->SetString(text.offset, 4, over.data(), JOURNAL_STRING_MAX + 1, db_->mib_nv, DB_NO_VALIDATE),
            DB_BAD_VALUE);
  EXPECT_EQ(Str(text), longest);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Str(text), longest);
}

TEST_F(JournalTest, WriteTheJournalRefusesIsAnErrorAndChangesNothing) {
  // A file with room for the header and one 14-byte record only.
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, JOURNAL_HEADER_SIZE + 15), TFS_OKAY);
  std::vector<uint8_t> h = Header(0);
  ASSERT_EQ(mon_tfsipmod("nv1.dat", h.data(), 0, JOURNAL_HEADER_SIZE), TFS_OKAY);
  ASSERT_EQ(Load(), 1);
  SetNv(kWord, 1);
  trace_capture cap;
  EXPECT_EQ(db_->SetValue(kWord.offset, 4, 2, db_->mib_nv, DB_NO_VALIDATE), DB_GEN_ERR);
  EXPECT_EQ(db_->SetString(kText.offset, 4, "lost", 4, db_->mib_nv, DB_NO_VALIDATE), DB_GEN_ERR);
  EXPECT_TRUE(cap.contains("journal refused")) << cap.text();
  EXPECT_EQ(Nv(kWord), 1u);
  EXPECT_EQ(Str(kText), "");
  // Unchanged values and writes outside the journal still succeed.
  EXPECT_EQ(db_->SetValue(kWord.offset, 4, 1, db_->mib_nv, DB_NO_VALIDATE), DB_OK);
  EXPECT_EQ(db_->SetValue(kWord.offset, 4, 3, db_->mib_nv, DB_NO_VALIDATE | DB_NO_JOURNAL), DB_OK);
  EXPECT_EQ(db_->SetValue(vol::controllerLocalTime.offset, 4, 3, db_->mib_v, DB_NO_VALIDATE), DB_OK);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 1u);
}

TEST_F(JournalTest, EmptiedStringReadsEmptyAfterARestart) {
  Fresh();
  SetStr(kText, "first");
  SetStr(kText, "second");
  journal_->Deleting();
  SetStr(kText, "");
  journal_->Deleting();
  // Every earlier record of the object is deleted; the newest says empty.
  auto recs = Records("nv1.dat");
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].marker, '>');
  EXPECT_EQ(recs[1].marker, '>');
  EXPECT_EQ(recs[2].marker, '~');
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Str(kText), "");
}

TEST_F(JournalTest, DeletionPassKeepsOnlyTheNewestRecordOfEachObject) {
  Fresh();
  SetNv(kWord, 1);
  SetNv(kByte, 1);
  SetNv(kWord, 2);
  SetNv(kWord, 3);
  SetNv(kHalf, 4);
  EXPECT_EQ(journal_->PendingCount(), 3u);
  trace_capture cap;
  journal_->Deleting();
  EXPECT_EQ(journal_->PendingCount(), 0u);
  std::string markers;
  for (const auto& r : Records("nv1.dat")) markers += static_cast<char>(r.marker);
  EXPECT_EQ(markers, ">~>~~");
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 3u);
  EXPECT_EQ(Nv(kByte), 1u);
  EXPECT_EQ(Nv(kHalf), 4u);
}

TEST_F(JournalTest, FullPendingIndexDeletesTheOlderRecordsAtOnce) {
  Fresh();
  SetNv(kWord, 1);
  journal_->Deleting();
  std::vector<uint32_t> offsets;
  for (uint32_t off = 52580; offsets.size() < JOURNAL_INDEX_SIZE; ++off)
    if (!CDataBase::IsStringObject(off)) offsets.push_back(off);
  for (uint32_t off : offsets) ASSERT_EQ(db_->SetValue(off, 1, 1, db_->mib_nv, DB_NO_VALIDATE), DB_OK);
  EXPECT_EQ(journal_->PendingCount(), JOURNAL_INDEX_SIZE);
  ASSERT_EQ(Records("nv1.dat").front().marker, '~');
  // The 8001st distinct object finds no room in the index.
  SetNv(kWord, 2);
  auto recs = Records("nv1.dat");
  EXPECT_EQ(recs.front().offset, kWord.offset);
  EXPECT_EQ(recs.front().marker, '>');
  EXPECT_EQ(recs.back().marker, '~');
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 2u);
  EXPECT_EQ(db_->GetValue(offsets.back(), 1, db_->mib_nv, 0), 1u);
}

TEST_F(JournalTest, FillPercentOfTheLiveFile) {
  EXPECT_EQ(journal_->FillPercent(), 0u);  // no journal yet
  Fresh();
  // Records up to 11 bytes short of 3 MB: 1600-byte strings, then two to
  // fill up.
  const uint32_t full = 1600 + 11;
  const uint32_t target = JOURNAL_DEFRAG_USED - 11;
  uint32_t used = JOURNAL_HEADER_SIZE;
  uint32_t address = 0;
  char fill = 'a';
  auto put = [&](uint32_t record) {
    std::string s(record - 11, fill);
    fill = fill == 'z' ? 'a' : fill + 1;
    ASSERT_EQ(journal_->STRING(kText.offset, reinterpret_cast<const uint8_t*>(s.data()),
                               static_cast<uint16_t>(s.size()), &address),
              1);
    EXPECT_EQ(address, used);
    used += record;
  };
  while (target - used >= 2 * full) put(full);
  uint32_t half = (target - used) / 2;
  put(half);
  put(target - used);
  EXPECT_EQ(journal_->UsedLength(), target);
  EXPECT_EQ(journal_->FillPercent(), 74u);
  SetNv(kByte, 1);  // 11 more bytes
  EXPECT_EQ(journal_->UsedLength(), JOURNAL_DEFRAG_USED);
  EXPECT_EQ(journal_->FillPercent(), 75u);
}

TEST_F(JournalTest, AppendThatDoesNotFitIsDropped) {
  // A file with room for the header and one 14-byte record only.
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, JOURNAL_HEADER_SIZE + 15), TFS_OKAY);
  std::vector<uint8_t> h = Header(0);
  ASSERT_EQ(mon_tfsipmod("nv1.dat", h.data(), 0, JOURNAL_HEADER_SIZE), TFS_OKAY);
  ASSERT_EQ(Load(), 1);
  uint32_t address = 0;
  EXPECT_EQ(journal_->INT32(kWord.offset, 1, &address), 1);
  EXPECT_EQ(address, JOURNAL_HEADER_SIZE);
  EXPECT_EQ(journal_->INT32(kWord.offset, 2, &address), 0);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 1u);
}

TEST_F(JournalTest, FailedProgrammingIsReportedAndSteppedOver) {
  Fresh();
  SetNv(kWord, 1);
  monitor::fault_ipmod_failures(1);
  trace_capture cap;
  uint32_t address = 0;
  EXPECT_EQ(journal_->INT32(kWord.offset, 2, &address), 0);
  EXPECT_TRUE(cap.contains("CDatabase::write: mon_tfsipmod failed:-13\n")) << cap.text();
  // Not indexed: the deletion pass leaves the last good record alone.
  journal_->Deleting();
  EXPECT_EQ(Records("nv1.dat").size(), 1u);
  EXPECT_EQ(Records("nv1.dat")[0].marker, '~');
  // The gap of erased bytes is stepped over.
  SetNv(kHalf, 3);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 1u);
  EXPECT_EQ(Nv(kHalf), 3u);
}

TEST_F(JournalTest, ReplayNeitherJournalsNorValidatesNorNotifies) {
  Fresh();
  SetNv(kWord, 11);
  Restart();
  db_->SetNotifyEnabled(true);
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(journal_->PendingCount(), 0u);
  EXPECT_EQ(journal_->UsedLength(), JOURNAL_HEADER_SIZE + 14);
  uint32_t flags = 0;
  EXPECT_NE(os_event_get(&g_database_flags, 0xFFFFFFFF, OS_EVENT_OR, &flags, OS_NO_WAIT), OS_SUCCESS);
}

TEST_F(JournalTest, AfterTheLaunchAnAppendNeedsTheLock) {
  Fresh();
  uint32_t address = 0;
  // Before the threads run, start-up code appends alone, unlocked.
  EXPECT_EQ(journal_->INT8(kByte.offset, 1, &address), 1);
  db_->m_byThreadsLaunched = 1;
  trace_capture cap;
  // Outside a thread the lock cannot be had: the record is dropped.
  EXPECT_EQ(journal_->INT16(kHalf.offset, 2, &address), 0);
  EXPECT_EQ(journal_->STRING(kText.offset, reinterpret_cast<const uint8_t*>("x"), 1, &address), 0);
  EXPECT_TRUE(cap.contains("CD::INT16: tx_mutex_get failed\n"));
  EXPECT_TRUE(cap.contains("CD::STRING: tx_mutex_get failed\n"));
  int ok = 0;
  rtos::run_in_thread([&] { ok = journal_->INT32(kWord.offset, 3, &address); });
  EXPECT_EQ(ok, 1);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kByte), 1u);
  EXPECT_EQ(Nv(kHalf), 0u);
  EXPECT_EQ(Str(kText), "");
  EXPECT_EQ(Nv(kWord), 3u);
}

// The value of the newest live record of an object in the journal file.
uint32_t LastJournalled(const uint8_t* data, uint32_t size, db_object o) {
  impl_token::iterator it;
  it.Open(data + JOURNAL_HEADER_SIZE, data + size);
  impl_token::record_view v;
  uint32_t value = 0;
  while (it.Next(&v))
    if (v.offset == o.offset) {
      value = 0;
      for (uint32_t i = 0; i < o.width; ++i) value = value << 8 | v.value[i];
    }
  return value;
}

// Two threads write one integer object: a low-priority one over and over,
// until a high-priority one, woken by an interrupt at whatever point the
// low one has reached, has written once. The high one may run while the
// low one is between its journal record and its store; whatever the
// interleaving, RAM and the journal end with the same last value.
TEST_F(JournalTest, WritersOfOneObjectLeaveRamAndJournalInOneOrder) {
  Fresh();
  db_->m_byThreadsLaunched = 1;
  static CDataBase* db;
  static TX_SEMAPHORE wake;
  static std::atomic<bool> high_done, low_done;
  db = db_.get();
  struct Worker {
    TX_THREAD cb{};
    std::vector<uint8_t> stack = std::vector<uint8_t>(16384);
  };
  int mismatches = 0;
  for (int episode = 0; episode < 100; ++episode) {
    high_done = false;
    low_done = false;
    Worker low, high;
    auto low_entry = [](ULONG episode) {
      for (uint32_t round = 1; !high_done && round < 3000; ++round)
        db->SetValue(kWord.offset, 4, episode << 20 | round, db->mib_nv, DB_NO_VALIDATE);
      low_done = true;
    };
    auto high_entry = [](ULONG episode) {
      tx_semaphore_get(&wake, TX_WAIT_FOREVER);
      db->SetValue(kWord.offset, 4, 0xF0000000u | episode, db->mib_nv, DB_NO_VALIDATE);
      high_done = true;
    };
    {
      rtos::cpu_scope c;
      ASSERT_EQ(tx_semaphore_create(&wake, "wake", 0), TX_SUCCESS);
      ASSERT_EQ(tx_thread_create(&high.cb, "high writer", high_entry, episode, high.stack.data(), 16384, 5, 5, 0,
                                 TX_AUTO_START),
                TX_SUCCESS);
      ASSERT_EQ(tx_thread_create(&low.cb, "low writer", low_entry, episode, low.stack.data(), 16384, 10, 10, 0,
                                 TX_AUTO_START),
                TX_SUCCESS);
    }
    usleep(static_cast<useconds_t>(50 + episode * 37 % 400));
    rtos::raise_interrupt([] { tx_semaphore_put(&wake); });
    for (int t = 0; t < 20000 && !(high_done && low_done); ++t) usleep(500);
    ASSERT_TRUE(high_done && low_done);
    {
      rtos::cpu_scope c;
      tx_thread_delete(&low.cb);
      tx_thread_delete(&high.cb);
      tx_semaphore_delete(&wake);
    }
    uint32_t size = 0;
    const uint8_t* data = Data("nv1.dat", &size);
    ASSERT_NE(data, nullptr);
    if (LastJournalled(data, size, kWord) != Nv(kWord)) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
  const uint32_t last = Nv(kWord);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), last);
}

// ------------------------------------------------------------ record walk

std::vector<uint8_t> Rec(uint32_t offset, uint8_t value) {
  std::vector<uint8_t> r(32);
  r.resize(journal_make_record(r.data(), offset, &value, 1));
  return r;
}

std::vector<uint32_t> Walk(const std::vector<uint8_t>& bytes) {
  impl_token::iterator it;
  EXPECT_EQ(it.State(), impl_token::iterator::CLOSED);
  it.Open(bytes.data(), bytes.data() + bytes.size());
  EXPECT_EQ(it.State(), impl_token::iterator::OPEN);
  std::vector<uint32_t> out;
  impl_token::record_view v;
  while (it.Next(&v)) out.push_back(v.offset);
  // Rewound, the walk gives the same records again.
  it.Rewind();
  size_t again = 0;
  while (it.Next(&v)) ++again;
  EXPECT_EQ(again, out.size());
  return out;
}

TEST(JournalWalk, ErasedRunOfMoreThan1701BytesEndsTheWalk) {
  struct Row {
    uint32_t gap;
    std::vector<uint32_t> found;
  } rows[] = {{0, {1, 2}}, {1, {1, 2}}, {1701, {1, 2}}, {1702, {1}}};
  for (const Row& r : rows) {
    std::vector<uint8_t> b = Rec(1, 1);
    b.insert(b.end(), r.gap, 0xFF);
    std::vector<uint8_t> two = Rec(2, 2);
    b.insert(b.end(), two.begin(), two.end());
    b.insert(b.end(), 3000, 0xFF);
    EXPECT_EQ(Walk(b), r.found) << r.gap;
  }
}

TEST(JournalWalk, DamagedBytesAreSteppedOverAndDeletedRecordsSkippedWhole) {
  std::vector<uint8_t> b = Rec(1, 1);
  // A torn record: all but its terminator.
  std::vector<uint8_t> torn = Rec(2, 2);
  torn.pop_back();
  b.insert(b.end(), torn.begin(), torn.end());
  std::vector<uint8_t> three = Rec(3, 3);
  b.insert(b.end(), three.begin(), three.end());
  // A deleted string whose bytes hold something shaped like a record: the
  // walk must not take a value for a record.
  std::vector<uint8_t> inner = Rec(4, 4);
  std::vector<uint8_t> outer(64);
  outer.resize(journal_make_record(outer.data(), 5, inner.data(), static_cast<uint32_t>(inner.size())));
  outer[0] = JOURNAL_DELETED;
  b.insert(b.end(), outer.begin(), outer.end());
  // A record with a wrong CRC.
  std::vector<uint8_t> bad = Rec(6, 6);
  bad[7] ^= 1;
  b.insert(b.end(), bad.begin(), bad.end());
  std::vector<uint8_t> seven = Rec(7, 7);
  b.insert(b.end(), seven.begin(), seven.end());
  EXPECT_EQ(Walk(b), (std::vector<uint32_t>{1, 3, 7}));
  // A record running past the end of the range is not one.
  std::vector<uint8_t> cut = Rec(8, 8);
  cut.pop_back();
  EXPECT_TRUE(Walk(cut).empty());
}

TEST_F(JournalTest, RecordsThatNameNoObjectAreSkipped) {
  // CRC-valid records at offsets no object of their kind has: none may
  // plant a string handle or write past the area.
  struct Row {
    uint32_t offset;
    std::vector<uint8_t> value;
  } rows[] = {
      {kText.offset + 1, Int32(0x00000001)},        // an integer across a string handle
      {kText.offset + 2, {0x00, 0x10}},             // the handle's low half
      {kText.offset - 3, Int32(0x00000100)},        // from the object before into the handle
      {kText.offset, {'a', 'b', 'c'}},              // a string without its NUL
      {kWord.offset, {1, 2, 3}},                    // no integer is 3 bytes wide
      {MIB_NV_SIZE - 2, Int32(7)},                  // past the end of the area
  };
  for (const Row& r : rows) {
    Wipe();
    std::vector<uint8_t> file = Header(1);
    Append(&file, Record(kText.offset, {'o', 'k', 0}));
    Append(&file, Record(r.offset, r.value));
    Append(&file, Record(kHalf.offset, {0x12, 0x34}));  // replay goes on after it
    WriteFile("nv1.dat", file);
    ASSERT_EQ(Load(), 1) << r.offset;
    EXPECT_EQ(Str(kText), "ok") << r.offset;
    EXPECT_EQ(Nv(kHalf), 0x1234u) << r.offset;
    EXPECT_NE(load_trace_.find("1 records name no object, skipped"), std::string::npos) << load_trace_;
  }
}

TEST(JournalWalk, StringObjectTable) {
  struct Row {
    uint32_t offset;
    bool string;
  } rows[] = {{68, true},    {72, false},   {92, true},    {96, true},    {94, false},   {168, true},
              {172, false},  {5392, true},  {25788, true}, {25792, false}, {25804, true}, {25816, true},
              {25820, false}, {33568, true}, {34656, false}, {48124, true}, {48128, true}, {48132, false},
              {93660, true}, {95052, false}, {95144, true}, {97788, true}, {98024, false}, {98028, true},
              {98032, false}, {0, false},    {MIB_NV_SIZE, false}};
  for (const Row& r : rows) EXPECT_EQ(CDataBase::IsStringObject(r.offset), r.string) << r.offset;
}

}  // namespace
