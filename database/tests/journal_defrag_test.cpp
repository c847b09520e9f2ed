// Defragmentation of the journal: the copy into the other file, appends
// that come in meanwhile, the deletion index across the switch, and a flash
// without room for a new file.
#include <functional>

#include "journal_fixture.h"

namespace {

const db_object kWord = nv::watchdogFailureCount;
const db_object kHalf = nv::dmsSignHeight;
const db_object kByte = nv::dmsSignType;
const db_object kText = nv::sysLocation;
constexpr uint32_t kFirstOfMarch = 1709251200;  // 2024-03-01 00:00
constexpr uint32_t kDay = 86400;

class DefragTest : public JournalTest {
 protected:
  void SetLocalTime(uint32_t seconds) {
    db_->SetValue(vol::controllerLocalTime.offset, 4, seconds, db_->mib_v, DB_NO_VALIDATE);
  }
  // Asks for the monthly cleanup and runs the steps up to the one that
  // creates the copy's file.
  void StartCleanup() {
    SetNv(nv::quorSpecialFeatureSet, Nv(nv::quorSpecialFeatureSet) | 0x400);
    SetLocalTime(kFirstOfMarch - kDay);
    for (int i = 0; i < 7; ++i) journal_->StateMachine_Defrag();  // the countdown, then one look at the date
    ASSERT_EQ(journal_->DefragState(), 0);
    SetLocalTime(kFirstOfMarch + 3600);
    journal_->StateMachine_Defrag();
  }
  // The copy, in the database task's thread, and the cleaning step.
  void FinishDefrag() {
    ASSERT_EQ(journal_->DefragState(), 1);
    ASSERT_TRUE(rtos::run_in_thread([&] { journal_->StateMachine_Defrag(); }, 4));
    EXPECT_EQ(journal_->DefragState(), 2);
    journal_->StateMachine_Defrag();
    EXPECT_EQ(journal_->DefragState(), 0);
  }
  std::string Markers(const char* name) {
    std::string out;
    for (const auto& r : Records(name)) out += static_cast<char>(r.marker);
    return out;
  }
};

TEST_F(DefragTest, ScheduledCleanupCopiesTheLiveRecordsIntoTheOtherFile) {
  Fresh();
  SetNv(kWord, 1);
  SetNv(kWord, 2);
  SetStr(kText, "old text");
  journal_->Deleting();
  SetStr(kText, "new text");
  SetNv(kHalf, 300);
  trace_capture cap;
  StartCleanup();
  EXPECT_TRUE(cap.contains("kick off scheduled cleanup event\n"));
  ASSERT_TRUE(Exists("nv2.dat"));
  EXPECT_EQ(Data("nv2.dat")[0], JOURNAL_HEADER_VALID);
  EXPECT_EQ(Sequence("nv2.dat"), Sequence("nv1.dat") + 1);
  FinishDefrag();
  EXPECT_TRUE(cap.contains("CDatabase::StateMachine_Defrag: copying\n"));
  EXPECT_TRUE(cap.contains("CDatabase::StateMachine_Defrag: cleaning\n"));
  EXPECT_FALSE(cap.contains("copying failed"));
  EXPECT_FALSE(Exists("nv1.dat"));
  EXPECT_STREQ(journal_->CurrentFileName(), "nv2.dat");
  // Deleted records stay behind; those not yet deleted are copied, and the
  // next pass deletes them in the new file.
  EXPECT_EQ(Markers("nv2.dat"), "~~~~~");
  journal_->Deleting();
  EXPECT_EQ(Markers("nv2.dat"), "~>~~~");
  // The same date does not start another cleanup.
  for (int i = 0; i < 3; ++i) journal_->StateMachine_Defrag();
  EXPECT_EQ(journal_->DefragState(), 0);
  SetNv(kByte, 9);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 2u);
  EXPECT_EQ(Str(kText), "new text");
  EXPECT_EQ(Nv(kHalf), 300u);
  EXPECT_EQ(Nv(kByte), 9u);
}

TEST_F(DefragTest, FileOverThreeMegabytesIsCompactedAtTheNextStep) {
  Fresh();
  uint32_t address = 0;
  std::string s(3000, 'a');
  while (journal_->UsedLength() <= JOURNAL_DEFRAG_USED) {
    s[0] = static_cast<char>(s[0] + 1);
    ASSERT_EQ(journal_->STRING(kText.offset, reinterpret_cast<const uint8_t*>(s.data()), 3000, &address), 1);
  }
  journal_->Deleting();
  trace_capture cap;
  // The append that crossed the mark skipped the start-up countdown.
  journal_->StateMachine_Defrag();
  FinishDefrag();
  EXPECT_STREQ(journal_->CurrentFileName(), "nv2.dat");
  EXPECT_EQ(journal_->UsedLength(), JOURNAL_HEADER_SIZE + 3011);
  EXPECT_EQ(journal_->FillPercent(), 0u);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Str(kText), s);
}

TEST_F(DefragTest, AppendsDuringTheCopyAreKept) {
  Fresh();
  for (uint32_t i = 0; i < 60; ++i) db_->SetValue(60000 + i, 1, i + 1, db_->mib_nv, DB_NO_VALIDATE);
  StartCleanup();
  ASSERT_EQ(journal_->DefragState(), 1);
  // After the start-up, appends take the journal's lock.
  db_->m_byThreadsLaunched = 1;
  // A writer more urgent than the copy changes an object every third tick,
  // old objects and new ones, from before the copy catches up until after
  // the switch of files.
  static CDataBase* db;
  static int done;
  db = db_.get();
  done = 0;
  TX_THREAD writer{};
  std::vector<uint8_t> stack(16384);
  auto body = [](ULONG) {
    for (uint32_t n = 1; n <= 150; ++n) {
      switch (n % 3) {
        case 0: db->SetValue(kWord.offset, 4, n, db->mib_nv, DB_NO_VALIDATE); break;
        case 1: db->SetValue(60000 + n % 60, 1, 100 + n % 100, db->mib_nv, DB_NO_VALIDATE); break;
        default: db->SetValue(61000 + n, 1, n, db->mib_nv, DB_NO_VALIDATE); break;
      }
      tx_thread_sleep(3);
    }
    done = 1;
  };
  {
    rtos::cpu_scope scope;
    ASSERT_EQ(tx_thread_create(&writer, "writer", body, 0, stack.data(), static_cast<ULONG>(stack.size()), 1, 1, 0,
                               TX_AUTO_START),
              TX_SUCCESS);
  }
  trace_capture cap;
  ASSERT_TRUE(rtos::run_in_thread([&] { journal_->StateMachine_Defrag(); }, 4));
  EXPECT_FALSE(cap.contains("copying failed")) << cap.text();
  EXPECT_STREQ(journal_->CurrentFileName(), "nv2.dat");
  for (int t = 0; t < 1000 && !done; ++t) rtos::advance(1);
  ASSERT_TRUE(done);
  rtos::run_in_thread([&] { journal_->Deleting(); });
  std::vector<uint32_t> expected(MIB_NV_SIZE);
  for (uint32_t off = 60000; off < 62000; ++off) expected[off] = db_->GetValue(off, 1, db_->mib_nv, 0);
  uint32_t word = Nv(kWord);
  EXPECT_EQ(word, 150u);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), word);
  for (uint32_t off = 60000; off < 62000; ++off)
    ASSERT_EQ(db_->GetValue(off, 1, db_->mib_nv, 0), expected[off]) << off;
}

TEST_F(DefragTest, PendingDeletionsFollowTheRecordsIntoTheNewFile) {
  Fresh();
  // Many deleted records first, so that each object's copy lands at a lower
  // offset than its record in the old file.
  for (uint32_t i = 1; i <= 40; ++i) SetNv(kHalf, i);
  journal_->Deleting();
  SetNv(kWord, 7);  // its only record, still in the index
  SetNv(kByte, 1);
  SetNv(kByte, 2);  // two copies will be made of this one
  StartCleanup();
  FinishDefrag();
  ASSERT_STREQ(journal_->CurrentFileName(), "nv2.dat");
  journal_->Deleting();
  std::vector<record_info> recs = Records("nv2.dat");
  int live_words = 0, live_bytes = 0, dead_bytes = 0;
  for (const auto& r : recs) {
    if (r.offset == kWord.offset && r.marker == '~') ++live_words;
    if (r.offset == kByte.offset) (r.marker == '~' ? live_bytes : dead_bytes)++;
  }
  EXPECT_EQ(live_words, 1);
  EXPECT_EQ(live_bytes, 1);
  EXPECT_EQ(dead_bytes, 1);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 7u);
  EXPECT_EQ(Nv(kByte), 2u);
  EXPECT_EQ(Nv(kHalf), 40u);
}

TEST_F(DefragTest, FailedCopyKeepsTheOldFile) {
  Fresh();
  SetNv(kWord, 5);
  StartCleanup();
  ASSERT_TRUE(Exists("nv2.dat"));
  // The copy cannot program the new file.
  monitor::fault_ipmod_failures(-1);
  trace_capture cap;
  ASSERT_TRUE(rtos::run_in_thread([&] { journal_->StateMachine_Defrag(); }, 4));
  monitor::fault_ipmod_failures(0);
  EXPECT_TRUE(cap.contains("CDB::SM_D flash error\n"));
  EXPECT_TRUE(cap.contains("copying failed\n"));
  EXPECT_FALSE(Exists("nv2.dat"));
  EXPECT_STREQ(journal_->CurrentFileName(), "nv1.dat");
  journal_->StateMachine_Defrag();
  SetNv(kWord, 6);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 6u);
}

// ------------------------------------------------------------ no room in flash

// Leaves `bytes` of deleted files in the flash, which only a restart of the
// boot monitor gives back.
void LeaveDeadSpace(uint32_t bytes) {
  ASSERT_EQ(mon_tfsadd("filler", nullptr, nullptr, nullptr, bytes), TFS_OKAY);
  ASSERT_EQ(mon_tfsunlink("filler"), TFS_OKAY);
}

TEST_F(DefragTest, NoRoomThatCompactingCouldMakeMeansVolatileOperation) {
  monitor::fault_flash_full(true);
  trace_capture cap;
  EXPECT_EQ(Load(), 0);
  EXPECT_NE(load_trace_.find("no room for nv1.dat in flash"), std::string::npos) << load_trace_;
  EXPECT_NE(load_trace_.find("running in volatile only mode\n"), std::string::npos);
  EXPECT_EQ(monitor::restart_count(), 0u);
  EXPECT_EQ(journal_->CurrentFileName(), nullptr);
  // The database works from RAM, says so, and reports volatile-only mode.
  EXPECT_NE(load_trace_.find("CDatabase::Load: no journal file, running in volatile only mode\n"), std::string::npos);
  EXPECT_EQ(db_->IsFlashMode(), 0);
  SetNv(kWord, 3);
  EXPECT_EQ(Nv(kWord), 3u);
  uint32_t address = 0;
  EXPECT_EQ(journal_->INT32(kWord.offset, 4, &address), 0);
  journal_->Deleting();
  for (int i = 0; i < 10; ++i) journal_->StateMachine_Defrag();
}

TEST_F(DefragTest, DefragmentingRestartsAreBounded) {
  LeaveDeadSpace(JOURNAL_FILE_SIZE);
  // Compacting would make room, but the restarts bring none (the flash
  // stays as full): a few restarts, then the controller runs on.
  for (uint32_t start = 1; start <= JOURNAL_RESTARTS_MAX + 2; ++start) {
    Restart();
    monitor::fault_flash_full(true);
    EXPECT_EQ(Load(), 0);
    bool restarted = start <= JOURNAL_RESTARTS_MAX;
    EXPECT_EQ(monitor::restart_count(), restarted ? 1u : 0u) << start;
    EXPECT_EQ(load_trace_.find("running in volatile only mode") != std::string::npos, !restarted)
        << start << load_trace_;
  }
  // Once there is room the journal is made, and the count starts over.
  Restart();
  EXPECT_EQ(Load(), 0);
  EXPECT_STREQ(journal_->CurrentFileName(), "nv1.dat");
  EXPECT_EQ(mon_getenv(JOURNAL_RESTART_VARIABLE), nullptr);
}

TEST_F(DefragTest, NoRoomForTheCopyKeepsTheLiveFileAndWaits) {
  Fresh();
  SetNv(kWord, 1);
  monitor::fault_flash_full(true);
  trace_capture cap;
  StartCleanup();
  EXPECT_TRUE(cap.contains("failed to create header unlinking nv2.dat\n")) << cap.text();
  EXPECT_EQ(journal_->DefragState(), 0);
  EXPECT_EQ(monitor::restart_count(), 0u);
  // Not tried again on every step.
  cap.clear();
  for (int i = 0; i < 300; ++i) journal_->StateMachine_Defrag();
  EXPECT_FALSE(cap.contains("FFS_SDH")) << cap.text();
  // The live file goes on.
  monitor::fault_flash_full(false);
  SetNv(kWord, 2);
  ASSERT_EQ(Replay(), 1);
  EXPECT_EQ(Nv(kWord), 2u);
}

}  // namespace
