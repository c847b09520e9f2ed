// Bitmap files and memory management: which bitmap files stored messages
// keep, the purges, the dmsMemoryMgmt commands and the private reset
// options, over a boot monitor with its flash in memory and the
// file-system driver.
#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "database/fs/fs_system.h"
#include "display/task/display_links.h"
#include "display/tests/activation_fixture.h"
#include "frame/watchdog/watchdog_task.h"
#include "mon_api.h"
#include "monitor_host.h"

namespace {

// A journal that counts what reaches it and whether the agent's memory
// access bit was set at each record.
struct WatchingJournal : DisplayNullJournal {
  uint32_t records = 0;
  uint32_t with_access = 0;
  void Note() {
    ++records;
    if (g_pSnmpAccessWord && (*g_pSnmpAccessWord & MEMORY_ACCESS_BIT)) ++with_access;
  }
  int INT8(uint32_t, uint8_t, uint32_t*) override { return Note(), 1; }
  int INT16(uint32_t, uint16_t, uint32_t*) override { return Note(), 1; }
  int INT32(uint32_t, uint32_t, uint32_t*) override { return Note(), 1; }
  int STRING(uint32_t, const uint8_t*, uint16_t, uint32_t*) override { return Note(), 1; }
};

class MemoryTest : public ActivationTest {
 protected:
  void SetUp() override {
    monitor::monitor_config mon;
    mon.flash_size = 2u << 20;
    monitor::reset(mon);
    ActivationTest::SetUp();
    db_->m_pJournal = &watching_;
    InThread([] { ASSERT_EQ(file_system_media_open(), 0); });
    saved_preserve_ = g_reset_preserve_flags;
    access_ = MEMORY_ACCESS_BIT | 0x800000;
    g_pSnmpAccessWord = &access_;
  }
  void TearDown() override {
    g_pSnmpAccessWord = nullptr;
    g_reset_preserve_flags = saved_preserve_;
    InThread([] { g_pFileSystemDriver->MediaClose(&g_fs_media); });
    db_->m_pJournal = &journal_;
    ActivationTest::TearDown();
    monitor::shutdown();
  }

  static void Add(const std::string& name) { ASSERT_EQ(mon_tfsadd(name.c_str(), nullptr, "", "BM", 2), TFS_OKAY) << name; }
  static std::set<std::string> Files() {
    std::set<std::string> names;
    for (const tfs_header* h = mon_tfsnext(nullptr); h; h = mon_tfsnext(h)) names.insert(h->name);
    return names;
  }
  fs_status Purge() {
    fs_status st = FS_ERROR;
    InThread([&] { st = display_->PurgeUnusedBitmaps(g_pFileSystemDriver, &g_fs_media); });
    return st;
  }
  void Manage() {
    InThread([] { display_memory_management(); });
  }
  // A stored permanent message n >= 3 (row n + 497), counted.
  void StorePermanent(uint16_t n, const std::string& text) {
    WriteRow(msg_main_row(n + MSG_PERMANENT_ROW_OFFSET), text, MSG_STATUS_VALID, 0);
    SetVol(vol::dmsNumPermanentMsg, std::max<uint32_t>(Vol(vol::dmsNumPermanentMsg), n));
  }

  WatchingJournal watching_;
  uint8_t saved_preserve_ = 0;
  uint32_t access_ = 0;
};

TEST(BitmapNames, NextNameIsFoundWithinTheText) {
  struct Case {
    const char* text;
    uint32_t from;
    bool found;
    uint32_t position;
  } cases[] = {
      {"[ms11,g,1,2,logo.bmp]", 0, true, 12},
      {"[MS11,G,10,20,logo.bmp]", 0, true, 14},
      {"A[ms11,g,1,2,a.bmp][ms11,g,3,4,b.bmp]", 0, true, 13},
      {"A[ms11,g,1,2,a.bmp][ms11,g,3,4,b.bmp]", 14, true, 31},
      {"A[ms11,g,1,2,a.bmp][ms11,g,3,4,b.bmp]", 32, false, 0},
      {"[ms11,g,1,2,", 0, true, 12},  // an empty name at the very end
      {"[ms11,g,1]", 0, false, 0},
      {"[ms11,g,", 0, false, 0},
      {"[ms11,g", 0, false, 0},
      {"[ms11,x,1,2,a.bmp]", 0, false, 0},
      {"no tag", 0, false, 0},
      {"[ms11,g,1,2,a.bmp]", 100, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " from " << c.from);
    // Exactly the text's bytes: a scan past them is caught.
    const std::vector<uint8_t> text(c.text, c.text + std::strlen(c.text));
    uint32_t at = 999;
    EXPECT_EQ(CDisplay::FindNextBitmapName(text.data(), static_cast<uint32_t>(text.size()), c.from, &at), c.found);
    if (c.found) {
      EXPECT_EQ(at, c.position);
    }
  }
  uint32_t at = 0;
  EXPECT_FALSE(CDisplay::FindNextBitmapName(nullptr, 10, 0, &at));
}

TEST_F(MemoryTest, UnusedBitmapsGoAndNamedOnesStay) {
  for (const char* f : {"Bitmaps/logo.bmp", "Bitmaps/other.bmp", "Bitmaps/vol.bmp", "Bitmaps/perm.bmp",
                        "Bitmaps/draft.bmp", "Bitmaps/notes.txt", "logo.bmp", "Fonts/x.bmp"})
    Add(f);
  StoreChangeable(1, "[ms11,g,1,2,logo.bmp]");
  WriteRow(msg_volatile_row(0), "A[ms11,g,1,1,vol.bmp]", MSG_STATUS_VALID, 0);
  StorePermanent(3, "[MS11,G,1,1,Bitmaps/perm.bmp]");
  // A message being modified keeps nothing.
  WriteRow(msg_main_row(1), "[ms11,g,1,1,draft.bmp]", MSG_STATUS_MODIFYING, 0);

  EXPECT_EQ(Purge(), FS_SUCCESS);
  EXPECT_EQ(Files(), (std::set<std::string>{"Bitmaps/logo.bmp", "Bitmaps/vol.bmp", "Bitmaps/perm.bmp",
                                            "Bitmaps/notes.txt", "logo.bmp", "Fonts/x.bmp"}));
  // The purge's current directory went with it.
  EXPECT_EQ(g_fs_media.local_paths.head, nullptr);

  // Dropping the message that names logo.bmp lets the table's pass purge it.
  SetNv(nv::dmsMessageStatus(0), MSG_STATUS_NOT_USED_REQ);
  InThread([] { display_process_message_table(); });
  EXPECT_EQ(Nv(nv::dmsMessageStatus(0)), MSG_STATUS_NOT_USED);
  EXPECT_EQ(Files().count("Bitmaps/logo.bmp"), 0u);
  EXPECT_EQ(Files().count("Bitmaps/vol.bmp"), 1u);
}

TEST_F(MemoryTest, ReferenceLookupByMemoryType) {
  StoreChangeable(5, "X[ms11,g,1,2,c.bmp]");
  WriteRow(msg_volatile_row(3), "[ms11,g,1,1,v.bmp]", MSG_STATUS_VALID, 0);
  StorePermanent(4, "[ms11,g,1,1,p.bmp]");
  WriteRow(msg_main_row(6), "[ms11,g,1,1,e.bmp]", MSG_STATUS_ERROR, 0);
  struct Case {
    uint8_t type;
    const char* name;
    bool referenced;
  } cases[] = {
      {3, "c.bmp", true},  {2, "c.bmp", false}, {4, "c.bmp", false}, {4, "v.bmp", true},
      {2, "p.bmp", true},  {3, "p.bmp", false}, {3, "e.bmp", false}, {1, "c.bmp", false},
      {5, "c.bmp", false}, {3, "", false},      {3, "d.bmp", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(display_->IsBitmapReferenced(c.type, c.name), c.referenced) << int(c.type) << " " << c.name;
  EXPECT_FALSE(display_->IsBitmapReferenced(3, nullptr));
}

TEST_F(MemoryTest, PurgeWithoutItsDirectoryDeletesNothing) {
  Add("Bitmaps/a.bmp");
  InThread([] { g_pFileSystemDriver->MediaClose(&g_fs_media); });
  EXPECT_EQ(Purge(), FS_MEDIA_NOT_OPEN);
  EXPECT_EQ(Files().count("Bitmaps/a.bmp"), 1u);
  InThread([] { ASSERT_EQ(file_system_media_open(), 0); });
}

TEST_F(MemoryTest, ClearingChangeableMessagesKeepsOnlyBitmapsOfPermanentOnes) {
  for (const char* f : {"Bitmaps/c.bmp", "Bitmaps/p.bmp", "Bitmaps/v.bmp", "z.bmp", "Bitmaps/keep.txt"}) Add(f);
  // A file whose name reads as a second command line word is only a name.
  Add("CONFIG.XML x.bmp");
  Add("CONFIG.XML");
  StoreChangeable(1, "[ms11,g,1,2,c.bmp]", 7, 1);
  StoreChangeable(500, "B", 9);
  WriteRow(msg_volatile_row(0), "[ms11,g,1,1,v.bmp]", MSG_STATUS_VALID, 0);
  StorePermanent(3, "[ms11,g,1,1,p.bmp]");
  TakeFlags();
  watching_ = WatchingJournal();

  SetVol(vol::dmsMemoryMgmt, 3);
  Manage();

  for (uint32_t r = 0; r < MSG_CHANGEABLE_ROWS; ++r) {
    const msg_row row = msg_main_row(r);
    ASSERT_EQ(RowValue(row, row.status), MSG_STATUS_NOT_USED) << r;
    ASSERT_EQ(RowValue(row, row.priority), 1u) << r;
    ASSERT_EQ(RowText(row, row.multi), "") << r;
  }
  const msg_row first = msg_main_row(0);
  EXPECT_EQ(RowText(first, first.owner), "");
  EXPECT_EQ(RowValue(first, first.crc), 0u);
  EXPECT_EQ(RowValue(first, first.beacon), 0u);
  // The permanent and the volatile message stay.
  const msg_row permanent = msg_main_row(500);
  EXPECT_EQ(RowValue(permanent, permanent.status), MSG_STATUS_VALID);
  EXPECT_EQ(RowValue(msg_volatile_row(0), msg_volatile_row(0).status), MSG_STATUS_VALID);
  EXPECT_EQ(Vol(vol::dmsMemoryMgmt), 2u);
  // Only bitmaps named by a stored permanent message are kept.
  EXPECT_EQ(Files(), (std::set<std::string>{"Bitmaps/p.bmp", "Bitmaps/keep.txt", "CONFIG.XML"}));
  // The rows were cleared with the agent's memory access withdrawn, and it
  // is given back.
  EXPECT_GE(watching_.records, 1000u);
  EXPECT_EQ(watching_.with_access, 0u);
  EXPECT_EQ(access_, MEMORY_ACCESS_BIT | 0x800000);
  // The message table's pass follows the new statuses.
  EXPECT_NE(TakeFlags(0x800), 0u);
}

TEST_F(MemoryTest, ClearingVolatileMessagesLeavesTheRest) {
  Add("Bitmaps/v.bmp");
  StoreChangeable(2, "A");
  for (uint32_t k = 0; k < MSG_VOLATILE_ROWS; ++k)
    WriteRow(msg_volatile_row(k), "[ms11,g,1,1,v.bmp]", MSG_STATUS_VALID, 0x1234, 5);
  access_ = 0;
  SetVol(vol::dmsMemoryMgmt, 4);
  Manage();
  for (uint32_t k = 0; k < MSG_VOLATILE_ROWS; ++k) {
    const msg_row row = msg_volatile_row(k);
    EXPECT_EQ(RowValue(row, row.status), MSG_STATUS_NOT_USED);
    EXPECT_EQ(RowValue(row, row.priority), 1u);
    EXPECT_EQ(RowValue(row, row.crc), 0u);
    EXPECT_EQ(RowText(row, row.multi), "");
  }
  EXPECT_EQ(RowValue(msg_main_row(1), msg_main_row(1).status), MSG_STATUS_VALID);
  EXPECT_EQ(Files().count("Bitmaps/v.bmp"), 1u);
  EXPECT_EQ(Vol(vol::dmsMemoryMgmt), 2u);
  EXPECT_EQ(access_, MEMORY_ACCESS_BIT);
}

TEST_F(MemoryTest, OtherCommandsOnlyReturnToNormal) {
  Add("Bitmaps/a.bmp");
  StoreChangeable(1, "A");
  for (uint32_t command : {0u, 2u, 5u, 9u, 255u}) {
    SCOPED_TRACE(command);
    SetVol(vol::dmsMemoryMgmt, command);
    Manage();
    EXPECT_EQ(Vol(vol::dmsMemoryMgmt), 2u);
    EXPECT_EQ(RowValue(msg_main_row(0), msg_main_row(0).status), MSG_STATUS_VALID);
    EXPECT_EQ(Files().count("Bitmaps/a.bmp"), 1u);
    EXPECT_EQ(Vol(vol::quorResetOption), 1u);
  }
}

TEST_F(MemoryTest, ReloadingDefaultsBlanksTheSignAndDropsBitmaps) {
  Add("Bitmaps/a.bmp");
  Add("b.bmp");
  Add("Bitmaps/readme.txt");
  StoreChangeable(1, "[ms11,g,1,2,a.bmp]");
  SetNv(nv::defaultFont, 1);
  db_->m_byThreadsLaunched = 1;

  SetVol(vol::dmsMemoryMgmt, 1);
  Manage();

  EXPECT_EQ(Vol(vol::dmsMemoryMgmt), 2u);
  EXPECT_EQ(Nv(nv::defaultFont), 8u);
  // The changeable messages are defaults again; no stored permanent message
  // is left to keep a bitmap.
  EXPECT_EQ(RowValue(msg_main_row(0), msg_main_row(0).status), MSG_STATUS_NOT_USED);
  EXPECT_EQ(Files(), (std::set<std::string>{"Bitmaps/readme.txt"}));
  // Slot 6 asks for blank message 1, locally.
  EXPECT_EQ(VolCode(vol::activationSlotCode(6)), Code(7, 1, 0, 255, 0xFFFF));
  EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 2u);
  EXPECT_EQ(Vol(vol::activationSlotReason(6)), 2u);
  // Journalling, change notices and hooks are as they were.
  EXPECT_EQ(db_->IsFlashMode(), 1);
  EXPECT_TRUE(db_->NotifyEnabled());
  EXPECT_TRUE(db_->HooksEnabled());
  EXPECT_EQ(db_->QuietBits(), 0u);
  EXPECT_GT(watching_.records, 0u);
  EXPECT_EQ(access_, MEMORY_ACCESS_BIT | 0x800000);
}

TEST_F(MemoryTest, ReloadingDefaultsInVolatileOnlyModeJournalsNothing) {
  SetNv(nv::quorSpecialFeatureSet, 0x800);
  db_->SetFlashMode(0);
  db_->m_byThreadsLaunched = 1;
  watching_ = WatchingJournal();
  SetVol(vol::dmsMemoryMgmt, 1);
  Manage();
  EXPECT_EQ(Nv(nv::defaultFont), 8u);
  EXPECT_EQ(db_->IsFlashMode(), 0);
  EXPECT_EQ(watching_.records, 0u);
}

// The defaults are loaded while the other tasks write: their writes keep
// their change notices and write hooks meanwhile.
struct LoadProbe {
  TX_SEMAPHORE go{};
  TX_THREAD cb{};
  std::vector<uint8_t> stack = std::vector<uint8_t>(16384);
  bool fired = false;
  bool other_done = false;
  uint32_t loader_quiet = 0;
  bool loader_switches_on = false;
  uint32_t own_refused = 99, other_refused = 99;
  uint32_t other_flags = 0;
};
LoadProbe* g_probe = nullptr;

TEST_F(MemoryTest, ReloadingDefaultsLeavesOtherThreadsWritesAlone) {
  LoadProbe probe;
  g_probe = &probe;
  // Permanent messages 3 and 4 are kept by the reload.
  StorePermanent(3, "A");
  StorePermanent(4, "B");
  SetVol(vol::pixelTestActivation, 2);
  InThread([&] {
    ASSERT_EQ(tx_semaphore_create(&probe.go, const_cast<char*>("probe"), 0), TX_SUCCESS);
    // More urgent than the loader: it runs the moment it is woken.
    ASSERT_EQ(tx_thread_create(
                  &probe.cb, const_cast<char*>("other task"),
                  [](ULONG) {
                    LoadProbe& p = *g_probe;
                    tx_semaphore_get(&p.go, TX_WAIT_FOREVER);
                    CDataBase* db = g_pDataBase;
                    // Valid to notValid is no transition the hook allows.
                    p.other_refused = db->SetValue(nv::dmsMessageStatus(500).offset, 1, MSG_STATUS_NOT_USED,
                                                   db->mib_nv, 0);
                    uint32_t actual = 0;
                    os_event_get(&g_database_flags, 0x200000, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT);
                    db->SetValue(vol::pixelTestActivation.offset, 1, 4, db->mib_v, DB_NOTIFY);
                    actual = 0;
                    os_event_get(&g_database_flags, 0x200000, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT);
                    p.other_flags = actual;
                    p.other_done = true;
                  },
                  0, probe.stack.data(), static_cast<ULONG>(probe.stack.size()), 1, 1, 0, TX_AUTO_START),
              TX_SUCCESS);
  });
  const builtin_font_loader saved = g_builtin_font_loader;
  g_builtin_font_loader = [](CDataBase& db, const char*, int) {
    LoadProbe& p = *g_probe;
    if (p.fired) return 1;
    p.fired = true;
    p.loader_quiet = db.QuietBits();
    p.loader_switches_on = db.NotifyEnabled() && db.HooksEnabled();
    // The loader's own write passes the hook.
    p.own_refused = db.SetValue(nv::dmsMessageStatus(501).offset, 1, MSG_STATUS_NOT_USED, db.mib_nv, 0);
    tx_semaphore_put(&p.go);
    return 1;
  };

  SetVol(vol::dmsMemoryMgmt, 1);
  Manage();
  g_builtin_font_loader = saved;
  g_probe = nullptr;

  EXPECT_TRUE(probe.fired);
  EXPECT_TRUE(probe.other_done);
  EXPECT_EQ(probe.loader_quiet, DB_QUIET_NOTIFY | DB_QUIET_HOOKS);
  EXPECT_TRUE(probe.loader_switches_on);
  EXPECT_EQ(probe.own_refused, DB_OK);
  EXPECT_EQ(probe.other_refused, DB_BAD_VALUE);
  EXPECT_EQ(probe.other_flags & 0x200000, 0x200000u);
  EXPECT_EQ(Nv(nv::dmsMessageStatus(500)), MSG_STATUS_VALID);
  EXPECT_EQ(Nv(nv::dmsMessageStatus(501)), MSG_STATUS_NOT_USED);
  InThread([&] {
    tx_thread_terminate(&probe.cb);
    tx_thread_delete(&probe.cb);
    tx_semaphore_delete(&probe.go);
  });
}

TEST_F(MemoryTest, ResetOptionsClearMemoryToTheirDepth) {
  struct Case {
    uint32_t option;
    bool journal_gone, config_gone, bitmaps_gone, preserve_cleared;
    uint32_t reset_cause, option_after;
    bool script;
  } cases[] = {
      {1, false, false, false, false, 0, 1, false}, {2, true, false, false, false, 1, 2, false},
      {3, true, true, true, true, 1, 3, false},     {4, false, false, false, false, 1, 4, false},
      {5, true, false, false, true, 1, 5, false},   {6, true, true, true, true, 1, 6, false},
      {7, false, false, false, false, 1, 1, true},  {8, false, false, false, false, 4, 1, false},
      {0, false, false, false, false, 0, 1, false}, {9, false, false, false, false, 0, 1, false},
  };
  // A permanent message names a.bmp: a depth that drops bitmaps drops it
  // all the same.
  StorePermanent(3, "[ms11,g,1,1,a.bmp]");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    for (const char* f : {"nv1.dat", "nv2.dat", "CONFIG.XML", "Bitmaps/a.bmp", "b.bmp", "monrc"}) Add(f);
    SetNv(nv::dmsSWReset, 0);
    SetNv(nv::quorRunScriptFlags, 2);
    SetVol(vol::dmsMemoryMgmt, 2);
    SetVol(vol::quorResetOption, c.option);
    g_reset_preserve_flags = RESET_PRESERVE_CONFIG | 0x01;

    Manage();

    const std::set<std::string> files = Files();
    EXPECT_EQ(files.count("nv1.dat") + files.count("nv2.dat"), c.journal_gone ? 0u : 2u);
    EXPECT_EQ(files.count("CONFIG.XML"), c.config_gone ? 0u : 1u);
    EXPECT_EQ(files.count("Bitmaps/a.bmp") + files.count("b.bmp"), c.bitmaps_gone ? 0u : 2u);
    EXPECT_EQ(files.count("monrc"), 1u);
    EXPECT_EQ(g_reset_preserve_flags, c.preserve_cleared ? 0x01 : RESET_PRESERVE_CONFIG | 0x01);
    EXPECT_EQ(Nv(nv::dmsSWReset), c.reset_cause);
    EXPECT_EQ(Vol(vol::quorResetOption), c.option_after);
    EXPECT_EQ(Nv(nv::quorRunScriptFlags), c.script ? 3u : 2u);
  }
}

TEST_F(MemoryTest, RequestsReachTheDisplayStepThroughTheirFlag) {
  StoreChangeable(1, "A");
  InThread([&] {
    db_->SetValue(vol::quorResetOption.offset, 1, 8, db_->mib_v, DB_NOTIFY);
    db_->SetValue(vol::dmsMemoryMgmt.offset, 1, 3, db_->mib_v, DB_NOTIFY);
  });
  RunToStep(2);
  EXPECT_EQ(Vol(vol::dmsMemoryMgmt), 2u);
  EXPECT_EQ(RowValue(msg_main_row(0), msg_main_row(0).status), MSG_STATUS_NOT_USED);
  EXPECT_EQ(Nv(nv::dmsSWReset), 4u);
  EXPECT_EQ(Vol(vol::quorResetOption), 1u);
}

}  // namespace
