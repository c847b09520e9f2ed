// The object store: integers, strings, the global time, the journal and
// out-of-range accesses.
#include <cstring>

#include "database/objects.h"
#include "db_fixture.h"
#include "frame/trace/trace.h"

const uint32_t DatabaseTest::kAllLetters[] = {
    MSG_EVENT_CLASS_CLEAR_TIME + 3, MSG_CHG_VOL243,       MSG_ACTIVATION_WRITTEN,    MSG_SIGN_TYPE_CHANGED,
    MSG_TIME_ZONE_CHANGED,          MSG_CONFIG_OBJECT_CHANGED, MSG_SPECIAL_FEATURES_CHANGED,
    MSG_PORT_SETTINGS_CHANGED,      MSG_FONT_STATUS_CHANGED, 0};

namespace {

TEST_F(DatabaseTest, IntegerWidths) {
  struct Row {
    uint32_t offset, width, written, read_back;
  } rows[] = {
      {95016, 1, 300, 44},            // cut to the low 8 bits
      {95030, 2, 0xBEEF, 0xBEEF},     //
      {62, 2, 70000, 0},              // too wide for 2 bytes: not stored
      {95052, 4, 0xDEADBEEF, 0xDEADBEEF},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(db_->SetValue(r.offset, r.width, r.written, db_->mib_nv, 0), DB_OK) << r.offset;
    EXPECT_EQ(db_->GetValue(r.offset, r.width, db_->mib_nv, 0), r.read_back) << r.offset;
  }
  // Most significant byte first.
  EXPECT_EQ(db_->mib_nv[95052], 0xDE);
  EXPECT_EQ(db_->mib_nv[95055], 0xEF);
  // Another width stores nothing and reads 0.
  EXPECT_EQ(db_->SetValue(100, 3, 0x010203, db_->mib_v, 0), DB_OK);
  EXPECT_EQ(db_->mib_v[100], 0);
  EXPECT_EQ(db_->GetValue(100, 3, db_->mib_v, 0), 0u);
}

TEST_F(DatabaseTest, TooWideValueIsTraced) {
  trace_capture cap;
  db_->SetValue(62, 2, 70000, db_->mib_nv, 0);
  EXPECT_TRUE(cap.contains("70000"));
}

TEST_F(DatabaseTest, AbsentAreaIsAnError) {
  uint8_t other[8] = {};
  EXPECT_EQ(db_->SetValue(0, 1, 1, other, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->SetValue(0, 1, 1, nullptr, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->SetString(0, 4, "x", 1, nullptr, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->SetTimeValue(48180, 4, 5, nullptr, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->GetValue(0, 1, nullptr, 0), 0u);
  uint32_t len = 7;
  const uint8_t* s = db_->GetString(0, 4, nullptr, &len);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(len, 0u);
}

TEST_F(DatabaseTest, OutOfRangeAccessesAreRefused) {
  trace_capture cap;
  uint8_t before[4];
  std::memcpy(before, db_->mib_v + MIB_V_SIZE - 4, 4);
  EXPECT_EQ(db_->SetValue(MIB_NV_SIZE - 1, 4, 0xFFFFFFFF, db_->mib_nv, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->SetValue(0xFFFFFFFE, 4, 1, db_->mib_nv, 0), DB_GEN_ERR);  // would wrap
  EXPECT_EQ(db_->SetValue(MIB_V_SIZE, 1, 1, db_->mib_v, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->SetString(MIB_V_SIZE - 2, 4, "abc", 3, db_->mib_v, 0), DB_GEN_ERR);
  EXPECT_EQ(std::memcmp(before, db_->mib_v + MIB_V_SIZE - 4, 4), 0);
  EXPECT_EQ(db_->GetValue(MIB_NV_SIZE - 1, 2, db_->mib_nv, 0), 0u);
  EXPECT_EQ(Str(MIB_NV_SIZE, db_->mib_nv), "");
  // The last object of each area is still reachable.
  EXPECT_EQ(db_->SetValue(MIB_V_SIZE - 4, 4, 7, db_->mib_v, 0), DB_OK);
  EXPECT_EQ(db_->GetValue(MIB_V_SIZE - 4, 4, db_->mib_v, 0), 7u);
  EXPECT_TRUE(cap.contains("outside"));
}

TEST_F(DatabaseTest, JournalTakesOnlyNonVolatileChanges) {
  db_->SetHooksEnabled(false);  // storing only
  db_->SetValue(95016, 1, 5, db_->mib_nv, 0);
  db_->SetValue(95016, 1, 5, db_->mib_nv, DB_NOTIFY);  // unchanged: dropped
  db_->SetValue(95030, 2, 9, db_->mib_nv, DB_NO_JOURNAL);
  db_->SetValue(144, 1, 3, db_->mib_v, 0);
  db_->SetFlashMode(0);
  db_->SetValue(95052, 4, 1, db_->mib_nv, 0);
  db_->SetFlashMode(1);
  db_->SetValue(95052, 4, 2, db_->mib_nv, 0);
  db_->SetString(33624, 4, "ab", 2, db_->mib_nv, 0);
  db_->SetString(33624, 4, nullptr, 0, db_->mib_nv, 0);  // tells the journal the object is empty
  ASSERT_EQ(journal_.records.size(), 4u);
  EXPECT_EQ(journal_.records[0].offset, 95016u);
  EXPECT_EQ(journal_.records[0].width, 1u);
  EXPECT_EQ(journal_.records[1].offset, 95052u);
  EXPECT_EQ(journal_.records[1].value, 2u);
  EXPECT_EQ(journal_.records[2].bytes, "ab");
  EXPECT_EQ(journal_.records[3].value, 0u);
  EXPECT_EQ(db_->GetValue(95030, 2, db_->mib_nv, 0), 9u);  // the area changed all the same
}

TEST_F(DatabaseTest, StringsReadBackAndNeverAsNull) {
  db_->SetHooksEnabled(false);
  EXPECT_EQ(Str(33624, db_->mib_nv), "");
  EXPECT_EQ(db_->SetString(33624, 4, "hello", 5, db_->mib_nv, 0), DB_OK);
  EXPECT_EQ(Str(33624, db_->mib_nv), "hello");
  uint32_t len = 0;
  const uint8_t* p = db_->GetString(33624, 4, db_->mib_nv, &len);
  EXPECT_EQ(p[len], 0);  // terminated
  EXPECT_EQ(db_->SetString(33624, 4, "", 0, db_->mib_nv, 0), DB_OK);
  EXPECT_EQ(Str(33624, db_->mib_nv), "");
  EXPECT_EQ(db_->GetValue(33624, 4, db_->mib_nv, 0), 0u);  // an empty object's slot reads 0
}

TEST_F(DatabaseTest, NonVolatileStringsTakeUpToTheLongestObject) {
  db_->SetHooksEnabled(false);
  std::string longest(DB_NV_STRING_MAX, 'x'), over(DB_NV_STRING_MAX + 1, 'y');
  EXPECT_EQ(db_->SetString(33624, 4, longest.data(), DB_NV_STRING_MAX, db_->mib_nv, DB_NO_JOURNAL), DB_OK);
  EXPECT_EQ(Str(33624, db_->mib_nv), longest);
  EXPECT_EQ(db_->SetString(33624, 4, over.data(), DB_NV_STRING_MAX + 1, db_->mib_nv, DB_NO_JOURNAL), DB_BAD_VALUE);
  EXPECT_EQ(Str(33624, db_->mib_nv), longest);
  // The volatile area has no such bound.
  EXPECT_EQ(db_->SetString(140, 4, over.data(), DB_NV_STRING_MAX + 1, db_->mib_v, 0), DB_OK);
  EXPECT_EQ(Str(140, db_->mib_v), over);
}

TEST_F(DatabaseTest, ReplacedBlocksGoBackToThePoolAtOnceWhileReadersKeepTheirBytes) {
  uint32_t total = 0, avail0 = 0, avail = 0;
  os_byte_pool_info(&pool_, nullptr, &total, &avail0, nullptr);
  std::string s(1000, 'a');
  db_->SetString(140, 4, s.data(), 1000, db_->mib_v, 0);
  uint32_t len = 0;
  const uint8_t* old = db_->GetString(140, 4, db_->mib_v, &len);
  db_->SetString(140, 4, "b", 1, db_->mib_v, 0);
  os_byte_pool_info(&pool_, nullptr, &total, &avail, nullptr);
  EXPECT_GT(avail, avail0 - 100);  // only the 1-byte block is out
  // The block went back, but the reader's bytes are its own.
  db_->SetString(144, 4, std::string(1000, 'z').data(), 1000, db_->mib_v, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(old), len), s);
}

// A second start in one process makes the string pool afresh: what the
// areas held of the last one is dropped, integers of mib_nv stay until the
// journal is replayed, and nothing of the old pool is handed back to the new.
TEST_F(DatabaseTest, PoolMadeAfreshByANewStartDropsTheOldHandles) {
  db_->SetHooksEnabled(false);
  ASSERT_EQ(db_->SetString(33624, 4, "hello", 5, db_->mib_nv, DB_NO_JOURNAL), DB_OK);
  ASSERT_EQ(db_->SetString(140, 4, "first", 5, db_->mib_v, 0), DB_OK);
  ASSERT_EQ(db_->SetString(140, 4, "second", 6, db_->mib_v, 0), DB_OK);
  ASSERT_EQ(db_->SetValue(95052, 4, 0xDEADBEEF, db_->mib_nv, DB_NO_JOURNAL), DB_OK);
  uint32_t total = 0, avail0 = 0, avail = 0;
  rtos::run_in_thread([&] {
    void* start = pool_.start;
    const uint32_t size = pool_.size;
    ASSERT_EQ(tx_byte_pool_delete(&pool_), TX_SUCCESS);
    ASSERT_EQ(os_byte_pool_create(&pool_, "dynamic database", start, size), OS_SUCCESS);
  });
  os_byte_pool_info(&pool_, nullptr, &total, &avail0, nullptr);
  db_->SetStringPool(&pool_);
  EXPECT_EQ(Str(33624, db_->mib_nv), "");
  EXPECT_EQ(Str(140, db_->mib_v), "");
  EXPECT_EQ(db_->GetValue(95052, 4, db_->mib_nv, 0), 0xDEADBEEFu);
  EXPECT_EQ(db_->SetString(33624, 4, "again", 5, db_->mib_nv, DB_NO_JOURNAL), DB_OK);
  EXPECT_EQ(Str(33624, db_->mib_nv), "again");
  os_byte_pool_info(&pool_, nullptr, &total, &avail, nullptr);
  EXPECT_GT(avail, avail0 - 100);  // only the new block is out
}

TEST_F(DatabaseTest, GlobalTimeLivesInTheClock) {
  trace_capture cap;
  db_->SetValue(48180, 4, 1234, db_->mib_nv, DB_NO_JOURNAL);  // the area's copy
  EXPECT_EQ(db_->SetTimeValue(48180, 4, 1700000000, db_->mib_nv, 0), DB_OK);
  EXPECT_EQ(db_->GetValue(48180, 4, db_->mib_nv, 0), 1234u);
  EXPECT_TRUE(cap.contains("DATABASE ERROR: Getting Global Time\n"));
  EXPECT_EQ(db_->GetTimeValue(48180, 4, db_->mib_nv, 0), 1700000000u);
  cap.clear();
  db_->GetValue(48180, 4, db_->mib_nv, DB_GLOBAL_TIME);
  db_->SetValue(48180, 4, 5, db_->mib_nv, DB_GLOBAL_TIME);
  EXPECT_FALSE(cap.contains("DATABASE ERROR"));
  EXPECT_EQ(db_->SetTimeValue(48180, 2, 5, db_->mib_nv, 0), DB_GEN_ERR);
  EXPECT_EQ(db_->GetTimeValue(48180, 4, db_->mib_nv, 0), 1700000000u);
  EXPECT_EQ(db_->GetTimeValue(48180, 2, db_->mib_nv, 0), 0u);
  EXPECT_TRUE(journal_.records.empty() || journal_.records.back().offset != 48180 ||
              journal_.records.back().value != 1700000000u);
}

TEST_F(DatabaseTest, FailedAllocationLeavesTheObjectAsItWas) {
  TearDown();
  Boot(8192);
  std::string big(6000, 'x');
  EXPECT_EQ(db_->SetString(140, 4, big.data(), 6000, db_->mib_v, 0), DB_OK);
  trace_capture cap;
  EXPECT_EQ(db_->SetString(144 + 4, 4, big.data(), 6000, db_->mib_v, 0), DB_GEN_ERR);
  EXPECT_EQ(Str(148, db_->mib_v), "");
  EXPECT_EQ(db_->SetString(140, 4, std::string(6000, 'w').data(), 6000, db_->mib_v, 0), DB_GEN_ERR);
  EXPECT_EQ(Str(140, db_->mib_v), big);
  // Another length releases the old block, which makes room again.
  EXPECT_EQ(db_->SetString(140, 4, "y", 1, db_->mib_v, 0), DB_OK);
  EXPECT_EQ(db_->SetString(148, 4, big.data(), 6000, db_->mib_v, 0), DB_OK);
  EXPECT_EQ(Str(148, db_->mib_v), big);
}

}  // namespace

namespace {

TEST_F(DatabaseTest, RefusedWriteKeepsTheValueAndReturnsTheHooksCode) {
  trace_capture cap;
  db_->SetValue(4215, 1, 2, db_->mib_v, DB_NO_VALIDATE);
  EXPECT_EQ(db_->SetValue(4215, 1, 4, db_->mib_v, DB_NOTIFY), DB_BAD_VALUE);
  EXPECT_EQ(db_->GetValue(4215, 1, db_->mib_v, 0), 2u);
  EXPECT_TRUE(cap.contains("Validate Bad Value\r\n"));
  EXPECT_TRUE(Letters().empty());
  // Skipping validation, or hooks switched off, accepts anything.
  EXPECT_EQ(db_->SetValue(4215, 1, 4, db_->mib_v, DB_NO_VALIDATE), DB_OK);
  db_->SetValue(4215, 1, 2, db_->mib_v, 0);
  db_->SetHooksEnabled(false);
  EXPECT_EQ(db_->SetValue(4215, 1, 4, db_->mib_v, 0), DB_OK);
}

}  // namespace
