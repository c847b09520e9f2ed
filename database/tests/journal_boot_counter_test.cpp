// The boot-failure counter over real journal files: starts that each end
// within 30 s count up, and from the eighth such run on the journal goes,
// at the fifteenth the configuration file too.
#include "journal_fixture.h"

namespace {

class BootCounterTest : public JournalTest {
 protected:
  void MakeFiles(bool journal) {
    if (journal) {
      ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 64), TFS_OKAY);
      ASSERT_EQ(mon_tfsadd("nv2.dat", nullptr, "i", nullptr, 64), TFS_OKAY);
    }
    ASSERT_EQ(mon_tfsadd("CONFIG.XML", nullptr, nullptr, "<config/>", 9), TFS_OKAY);
  }
};

TEST_F(BootCounterTest, TableOfAStart) {
  struct Row {
    uint8_t before;
    bool journal;  // a journal file present at the start
    uint8_t after;
    bool journal_deleted;
    bool config_deleted;
  } rows[] = {
      {0x00, true, 0x01, false, false},  {0x56, true, 0x57, false, false},
      {0x07, true, 0x08, false, false},  {0xA8, true, 0xA9, true, false},
      {0x0E, true, 0x0F, true, false},   {0x0F, true, 0x0F, true, true},
      {0x3F, true, 0x3F, true, true},
      // No journal: a first start; the count is cleared.
      {0x09, false, 0x00, false, false}, {0x5F, false, 0x50, false, false},
  };
  for (const Row& r : rows) {
    Wipe();
    MakeFiles(r.journal);
    s_boot_counter = r.before;
    db_->SetTimeValue(DB_GLOBAL_TIME_OFFSET, 4, 12345, db_->mib_nv, DB_GLOBAL_TIME);
    trace_set_level(1);
    trace_capture cap;
    db_->StateMachine_BootCounter(0);
    trace_set_level(0);
    char line[64];
    std::snprintf(line, sizeof line, "CDatabase::StateMachine_BootCounter:0x%02X\n", r.before);
    EXPECT_TRUE(cap.contains(line)) << cap.text();
    EXPECT_EQ(s_boot_counter, r.after) << int(r.before);
    EXPECT_EQ(Exists("nv1.dat"), r.journal && !r.journal_deleted) << int(r.before);
    EXPECT_EQ(Exists("nv2.dat"), r.journal && !r.journal_deleted) << int(r.before);
    EXPECT_EQ(Exists("CONFIG.XML"), !r.config_deleted) << int(r.before);
    // A first start also sets the clock to 0.
    EXPECT_EQ(db_->GetTimeValue(DB_GLOBAL_TIME_OFFSET, 4, db_->mib_nv, DB_GLOBAL_TIME), r.journal ? 12345u : 0u);
  }
}

TEST_F(BootCounterTest, RunsThatEndWithin30Seconds) {
  MakeFiles(false);
  Fresh();
  db_->SetValue(nv::watchdogFailureCount.offset, 4, 77, db_->mib_nv, DB_NO_VALIDATE);
  // The last long run cleared the count.
  s_boot_counter = 0;
  for (int short_runs = 0; short_runs <= 16; ++short_runs) {
    // Each new journal takes flash that the boot monitor gives back when it
    // compacts during a restart.
    mon_tfsctrl(TFS_CTRL_DEFRAG, 0, 0);
    Restart();
    db_->StateMachine_BootCounter(0);
    bool journal_kept = Exists("nv1.dat");
    EXPECT_EQ(journal_kept, short_runs < 8) << short_runs;
    EXPECT_EQ(Exists("CONFIG.XML"), short_runs < 15) << short_runs;
    // The start goes on: the journal replays, or a new one is made.
    int loaded = Load();
    EXPECT_EQ(loaded, journal_kept ? 1 : 0) << short_runs;
    if (!loaded) journal_validate_new_header(journal_);
    EXPECT_EQ(db_->GetValue(nv::watchdogFailureCount.offset, 4, db_->mib_nv, 0), journal_kept ? 77u : 0u)
        << short_runs;
    // ... and this run ends within 30 s too.
  }
}

TEST_F(BootCounterTest, RunPast30SecondsClearsTheCount) {
  MakeFiles(true);
  s_boot_counter = 0x45;
  db_->StateMachine_BootCounter(0);
  EXPECT_EQ(s_boot_counter, 0x46);
  // The database task clears it once the uptime passes 30 s, and only once.
  rtos::advance(2990);
  rtos::run_in_thread([&] { db_->Process(); });
  EXPECT_EQ(s_boot_counter, 0x46);
  rtos::advance(20);
  rtos::run_in_thread([&] { db_->Process(); });
  EXPECT_EQ(s_boot_counter, 0x40);
  s_boot_counter = 0x43;
  rtos::run_in_thread([&] { db_->Process(); });
  EXPECT_EQ(s_boot_counter, 0x43);
  EXPECT_TRUE(Exists("nv1.dat"));
}

}  // namespace
