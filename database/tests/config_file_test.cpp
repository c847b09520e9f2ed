// CONFIG.XML: the configuration-object table, the file's text, the round
// trip through the flash file system, damaged and foreign files, and the one
// write that follows a burst of configuration changes.
#include <cstring>
#include <set>

#include "database/config_file.h"
#include "database/config_table.h"
#include "database/files/file_config.h"
#include "database/objects.h"
#include "files_fixture.h"
#include "frame/trace/trace.h"

namespace {

uint32_t Elements(const config_object_entry& row) { return config_object_elements(row); }

uint32_t WidthMask(uint32_t width) { return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1; }

TEST(ConfigTable, RowsCoverTheirElementsAndAreFoundByAnyOfThem) {
  std::set<std::string> names;
  for (const config_object_entry& row : g_config_objects) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_TRUE(row.kind == CONFIG_INTEGER || row.kind == CONFIG_STRING) << row.name;
    EXPECT_EQ(row.first_index, 0u) << row.name;
    // The port parameters are given as one object but span all five ports.
    uint32_t span = std::strcmp(row.name, "quorCommConfigParameters[0]") == 0 ? 5
                    : row.element_count                                        ? row.element_count
                                                                               : 1;
    EXPECT_EQ(Elements(row), span) << row.name;
    EXPECT_EQ(row.last_offset, row.offset + (span - 1) * row.element_size) << row.name;
    EXPECT_EQ(config_object_find(row.offset), &row) << row.name;
    EXPECT_EQ(config_object_find(row.last_offset), &row) << row.name;
  }
  EXPECT_EQ(config_object_find(nv::dmsSWReset.offset), nullptr);
  EXPECT_EQ(config_object_find(nv::globalTime.offset), nullptr);
}

class ConfigFileTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    // As during the database's start-up, where the restore runs.
    db_->SetHooksEnabled(false);
    g_config_write_request = 0;
    g_config_module_id_restored = nullptr;
  }

  std::string BuildText() {
    std::vector<char> buffer(CFile_Config::kBufferSize);
    uint32_t length = 0;
    EXPECT_EQ(CFile_Config::Build(buffer.data(), static_cast<uint32_t>(buffer.size()), &length), 0u);
    return std::string(buffer.data(), length);
  }

  int Restore() { return CFile_Config::Restore(&g_fs_media, g_pFileSystemDriver); }
  int Write() { return CFile_Config::Write(&g_fs_media, g_pFileSystemDriver); }

  // The factory state that a start without a journal restores onto.
  void ResetToFactory() {
    std::memset(db_->mib_nv, 0, sizeof db_->mib_nv);
    db_->LoadDefaults(0);
  }
};

TEST_F(ConfigFileTest, TextHoldsEveryElementOfEveryRow) {
  db_->SetValue(nv::controllerStandardTimeZone.offset, 4, static_cast<uint32_t>(-18000), db_->mib_nv, 0);
  db_->SetValue(48196 + 3, 1, 10, db_->mib_nv, 0);  // dstBeginMonth, element 3
  db_->SetValue(nv::quorShutOffTemp.offset, 1, 85, db_->mib_nv, 0);  // the row's default
  db_->SetValue(48184, 1, 1, db_->mib_nv, 0);                         // globalDaylightSaving, also its default
  SetNvString(nv::chapName.offset, "line one\nline two");
  SetNvString(nv::chapSecret.offset, "");

  std::string text = BuildText();
  ASSERT_EQ(text.compare(0, 28, "<!-- CONFIG.XML Q5 V2.0 -->\n"), 0) << text.substr(0, 40);
  const char* records[] = {
      "\ncontrollerStandardTimeZone[0000]:XXXX,FFFFB9B0\n",
      "\ndstBeginMonth[0][0003]:XXXX,A\n",
      "\nquorShutOffTemp[0000]:XXXX,55\n",
      "\nglobalDaylightSaving[0000]:XXXX,1\n",
      "\nchapName[0][0000]:0011,line one\nline two\n",
      "\nchapSecret[0][0000]:0000,\n",
      "\nquorPeripheralID[0][00FE]:XXXX,0\n",
      "\nquorNTPPollTime[0000]:XXXX,0\n",
  };
  for (const char* r : records) EXPECT_NE(text.find(r), std::string::npos) << r;
  // An empty string has a record of its own.
  EXPECT_NE(text.find("\nquorCallbackNumber[0000]:0000,\n"), std::string::npos);
  // One record per integer element, in table order.
  uint32_t integers = 0;
  for (const config_object_entry& row : g_config_objects)
    if (row.kind == CONFIG_INTEGER) integers += Elements(row);
  uint32_t xxxx = 0;
  for (size_t at = text.find(":XXXX,"); at != std::string::npos; at = text.find(":XXXX,", at + 1)) ++xxxx;
  EXPECT_EQ(xxxx, integers);
  EXPECT_LT(text.find("dmsSignHeight[0000]"), text.find("dmsSignWidth[0000]"));
  EXPECT_LT(text.find("dstBeginMonth[0][0009]"), text.find("controllerStandardTimeZone[0000]"));
  EXPECT_EQ(text.back(), '\n');

  EXPECT_EQ(CFile_Config::Build(nullptr, 100, nullptr), 1u);
  // A buffer too small gives no text to write.
  char small[64];
  uint32_t length = 0;
  EXPECT_EQ(CFile_Config::Build(small, sizeof small, &length), 1u);
}

// Every configuration object set, some to their row's default where the
// factory value differs: all of them come back over a reset to factory
// values.
TEST_F(ConfigFileTest, RoundTripRestoresEveryValueOverFactoryDefaults) {
  struct Expected {
    uint32_t offset, width;
    uint32_t value;
    std::string text;
    bool is_string;
  };
  std::vector<Expected> expected;
  uint32_t r = 0;
  for (const config_object_entry& row : g_config_objects) {
    for (uint32_t e = 0; e < Elements(row); ++e) {
      uint32_t offset = row.offset + e * row.element_size;
      if (row.kind == CONFIG_INTEGER) {
        uint32_t mask = WidthMask(row.element_size);
        uint32_t value = ((r + e) % 3 == 0) ? static_cast<uint32_t>(row.default_value) & mask
                                             : (0x5AC30000u + r * 97 + e * 5 + 1) & mask;
        ASSERT_EQ(db_->SetValue(offset, row.element_size, value, db_->mib_nv, 0), DB_OK) << row.name;
        expected.push_back({offset, row.element_size, value, {}, false});
      } else {
        std::string s = "v" + std::to_string(r) + "." + std::to_string(e);
        if (e == 1) s += "\nwith a line feed";
        if (e == 2) s = std::string("nul\0inside", 10);
        if (e == 3) s = "";
        SetNvString(offset, s);
        expected.push_back({offset, 4, 0, s, true});
      }
    }
    ++r;
  }
  trace_capture cap;
  ASSERT_EQ(Write(), 1) << cap.text();
  EXPECT_TRUE(cap.contains(" - Writing CONFIG.XML\t\t\t\t\t[ OK ]\n"));
  ResetToFactory();
  uint32_t differing = 0;
  for (const Expected& x : expected)
    differing += x.is_string ? NvString(x.offset) != x.text : NvValue(x.offset, x.width) != x.value;
  ASSERT_GT(differing, 0u);

  Letters();
  cap.clear();
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(cap.text(), " - Restore Config File\t\t\t\t\trestoring module id\n[ OK ]\n");
  for (const Expected& x : expected) {
    if (x.is_string)
      EXPECT_EQ(NvString(x.offset), x.text) << x.offset;
    else
      EXPECT_EQ(NvValue(x.offset, x.width), x.value) << x.offset;
  }
  std::vector<uint32_t> letters = Letters();
  EXPECT_NE(std::find(letters.begin(), letters.end(), MSG_CONFIG_LOADED), letters.end());
  EXPECT_NE(std::find(letters.begin(), letters.end(), MSG_SIGN_TYPE_CHANGED), letters.end());
  EXPECT_EQ(db_->GetValue(vol::peripheralTableLock.offset, 1, db_->mib_v, 0), 2u);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(ConfigFileTest, StartWithoutJournalRestoresTheFileAndOneWithoutFileWritesIt) {
  db_->SetValue(nv::quorShutOffTemp.offset, 1, 85, db_->mib_nv, 0);
  db_->SetValue(nv::dmsSignWidth.offset, 2, 1234, db_->mib_nv, 0);
  ASSERT_EQ(Add("CONFIG.XML", BuildText(), "p"), TFS_OKAY);
  db_->SetValue(nv::quorShutOffTemp.offset, 1, 60, db_->mib_nv, 0);
  db_->SetValue(nv::dmsSignWidth.offset, 2, 7, db_->mib_nv, 0);

  trace_capture cap;
  db_->SetNotifyEnabled(false);
  ASSERT_EQ(db_->Init(), 1);
  EXPECT_TRUE(cap.contains(" - Restore Config File\t\t\t\t\trestoring module id\n[ OK ]\n")) << cap.text();
  EXPECT_EQ(NvValue(nv::quorShutOffTemp.offset, 1), 85u);
  EXPECT_EQ(NvValue(nv::dmsSignWidth.offset, 2), 1234u);

  // No file at all: the present configuration is saved instead.
  ASSERT_EQ(mon_tfsunlink("CONFIG.XML"), TFS_OKAY);
  cap.clear();
  EXPECT_EQ(config_file_restore(), 0);
  EXPECT_EQ(cap.text(),
            " - Restore Config File\t\t\t\t\t[FAIL]\n\tFile Does Not Exist\n"
            " - Writing CONFIG.XML\t\t\t\t\t[ OK ]\n");
  EXPECT_NE(Content("CONFIG.XML").find("dmsSignWidth[0000]:XXXX,4D2\n"), std::string::npos);
  EXPECT_EQ(mon_tfsstat("CONFIG.XML")->flags & TFS_FLAG_P, TFS_FLAG_P);
}

TEST_F(ConfigFileTest, BackupIsReadWhenTheFileIsMissingAndRemovedByTheNextWrite) {
  ASSERT_EQ(Add("CONFIG.BAK", "<!-- CONFIG.XML Q5 V2.0 -->\ndmsSignHeight[0000]:XXXX,99\n"), TFS_OKAY);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 0x99u);
  EXPECT_EQ(Write(), 1);
  EXPECT_EQ(mon_tfsstat("CONFIG.BAK"), nullptr);
  EXPECT_NE(mon_tfsstat("CONFIG.XML"), nullptr);
}

TEST_F(ConfigFileTest, ForeignFilesAreDeletedAsCorrupt) {
  const char* texts[] = {
      "<CFG version=1>\ndmsSignHeight[0000]:XXXX,99\n",
      "<!-- CONFIG.XML WIN32 V2.0 -->\ndmsSignHeight[0000]:XXXX,99\n",
  };
  for (const char* t : texts) {
    db_->SetValue(nv::dmsSignHeight.offset, 2, 5, db_->mib_nv, 0);
    ASSERT_EQ(Add("CONFIG.XML", t), TFS_OKAY);
    Letters();
    trace_capture cap;
    EXPECT_EQ(Restore(), 0) << t;
    EXPECT_EQ(cap.text(), " - Restore Config File\t\t\t\t\t[FAIL]\n\tFile was corrupt\n") << t;
    EXPECT_EQ(mon_tfsstat("CONFIG.XML"), nullptr) << t;
    EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 5u) << t;
    EXPECT_TRUE(Letters().empty()) << t;
    EXPECT_EQ(db_->GetValue(vol::peripheralTableLock.offset, 1, db_->mib_v, 0), 2u) << t;
    EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u) << t;
  }
  EXPECT_EQ(CFile_Config::ParseFile("<CFG", 4), CFile_Config::PARSE_CORRUPT);
  EXPECT_EQ(CFile_Config::ParseFile("<CF", 3), 0u);
  EXPECT_EQ(CFile_Config::ParseFile(nullptr, 0), CFile_Config::PARSE_CORRUPT);
}

TEST_F(ConfigFileTest, UnknownAndOutOfRangeRecordsAreReportedAndTheRestRestored) {
  const std::string text =
      "<!-- CONFIG.XML Q5 V2.0 -->\n"
      "dmsSignHeight[0000]:XXXX,10\n"
      "noSuchObject[0000]:XXXX,1\n"
      "dstBeginMonth[0][000A]:XXXX,7\n"   // one past the ten months
      "dmsSignHeightX[0000]:XXXX,3\n"     // a row name followed by something else
      "garbage without a colon\n"
      "dmsSignWidth[0000]:XXXX,20\n"
      "chapName[0][0000]:0005,hello\n"
      "chapSecret[0][0001]:0003,abc\n"    // a single object has element 0 only
      "quorModuleID[0000]:XXXX,3\n"
      "dmsVerticalBorder[0000]:XXXX,30";   // no line feed: the file was cut
  ASSERT_EQ(Add("CONFIG.XML", text), TFS_OKAY);
  static int colour_reloads;
  colour_reloads = 0;
  g_config_module_id_restored = [] { ++colour_reloads; };
  uint32_t occurrences = NvValue(48206, 1);  // the element after dstBeginMonth's last
  trace_capture cap;
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 0x10u);
  EXPECT_EQ(NvValue(nv::dmsSignWidth.offset, 2), 0x20u);
  EXPECT_EQ(NvString(nv::chapName.offset), "hello");
  EXPECT_EQ(NvString(nv::chapSecret.offset), "");
  EXPECT_EQ(NvValue(48206, 1), occurrences);
  EXPECT_EQ(NvValue(nv::quorModuleID.offset, 2), 3u);
  EXPECT_EQ(colour_reloads, 1);
  EXPECT_TRUE(cap.contains("restoring module id\n"));
  EXPECT_NE(NvValue(54, 2), 0x30u);
  for (const char* line : {"noSuchObject[0000]:XXXX,1", "dstBeginMonth[0][000A]:XXXX,7", "dmsSignHeightX[0000]:XXXX,3",
                           "garbage without a colon", "chapSecret[0][0001]:0003,abc"})
    EXPECT_TRUE(cap.contains(std::string("CFile_Config::Parse: failed to restore:") + line + "\n")) << line;
  EXPECT_TRUE(cap.contains("[ OK ]\n"));
}

TEST_F(ConfigFileTest, VersionOneFileRestoresHexIntegersAndStringsToTheLineEnd) {
  const std::string text =
      "dmsSignHeight[0000]:1F\n"
      "controllerStandardTimeZone[0000]:FFFFB9B0\n"
      "quorCallbackNumber[0000]:555 0100, ext 7\n"
      "dstEndMonth[0][0002]:B\n";
  ASSERT_EQ(Add("CONFIG.XML", text), TFS_OKAY);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 0x1Fu);
  EXPECT_EQ(NvValue(nv::controllerStandardTimeZone.offset, 4), static_cast<uint32_t>(-18000));
  EXPECT_EQ(NvString(95144), "555 0100, ext 7");
  EXPECT_EQ(NvValue(48276 + 2, 1), 0xBu);
}

// Damaged texts, each in a buffer of exactly its size: nothing is read past
// the end, and nothing damaged reaches the database.
TEST_F(ConfigFileTest, DamagedTextsStayWithinTheirBytes) {
  SetNvString(nv::chapName.offset, "kept");
  db_->SetValue(nv::dmsSignHeight.offset, 2, 5, db_->mib_nv, 0);
  const std::string header = "<!-- CONFIG.XML Q5 V2.0 -->\n";
  const std::string texts[] = {
      "<",
      "<!-- CONFIG",
      header,
      header + "dmsSignHeight",
      header + "dmsSignHeight[00",
      header + "dmsSignHeight[0000]:",
      header + "dmsSignHeight[0000]:XXXX",
      header + "chapName[0][0000]:FFFF,abc\n",
      header + "chapName[0][0000]:FFFFFFFFFFFF,abc\n",
      header + "chapName[0][0000]:0010,short\n",
      header + "chapName[0][0000]:0003,abcX",
      header + "chapName[0][0000]:0003,ab",
      header + "chapName\n[0][0000]:0003,abc\n",
      header + ":,\n" + ":" + "\n,",
      header + std::string("dmsSignHeight[0000]:XX\0X,7\n", 27),
      "dmsSignHeight[0000]",
      "chapName[0][0000]:",
      std::string(300, 'x') + "\n",
  };
  for (const std::string& t : texts) {
    std::vector<char> exact(t.begin(), t.end());
    CFile_Config::ParseFile(exact.data(), static_cast<uint32_t>(exact.size()));
    EXPECT_EQ(NvString(nv::chapName.offset), "kept") << t;
    EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 5u) << t;
  }
  // A string record that ends with its line feed right at the end of the
  // text is whole.
  std::string whole = header + "chapName[0][0000]:0003,abc\n";
  std::vector<char> exact(whole.begin(), whole.end());
  CFile_Config::ParseFile(exact.data(), static_cast<uint32_t>(exact.size()));
  EXPECT_EQ(NvString(nv::chapName.offset), "abc");
  // A record longer than a line of other tools is still whole here.
  std::string long_text(700, 'p');
  whole = header + "quorPeripheralAuxIOTableIndex[0][0004]:02BC," + long_text + "\n";
  exact.assign(whole.begin(), whole.end());
  CFile_Config::ParseFile(exact.data(), static_cast<uint32_t>(exact.size()));
  EXPECT_EQ(NvString(96764 + 16), long_text);
}

// The file system reports an error in the middle of reading: nothing is
// restored and the restore reports failure.
TEST_F(ConfigFileTest, FailedReadRestoresNothingAndFails) {
  struct FailingRead : CFileSystem_DriverTFS {
    fs_status FileRead(fs_file*, void*, uint32_t, uint32_t* actual) override {
      if (actual) *actual = 0;
      return FS_ERROR;
    }
  } driver;
  ASSERT_EQ(Add("CONFIG.XML", "<!-- CONFIG.XML Q5 V2.0 -->\ndmsSignHeight[0000]:XXXX,99\n"), TFS_OKAY);
  db_->SetValue(nv::dmsSignHeight.offset, 2, 5, db_->mib_nv, 0);
  Letters();
  trace_capture cap;
  EXPECT_EQ(CFile_Config::Restore(&g_fs_media, &driver), 0);
  EXPECT_TRUE(cap.contains("[FAIL]")) << cap.text();
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 5u);
  EXPECT_TRUE(Letters().empty());
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
  // The file was closed and kept.
  EXPECT_NE(mon_tfsstat("CONFIG.XML"), nullptr);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 0x99u);
}

TEST_F(ConfigFileTest, FileLargerThanTheBufferIsNotRestored) {
  std::string text = "<!-- CONFIG.XML Q5 V2.0 -->\ndmsSignHeight[0000]:XXXX,99\n";
  text.resize(CFile_Config::kBufferSize - 1, 'x');
  text += '\n';
  ASSERT_EQ(Add("CONFIG.XML", text), TFS_OKAY);
  db_->SetValue(nv::dmsSignHeight.offset, 2, 5, db_->mib_nv, 0);
  EXPECT_EQ(Restore(), 0);
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 5u);
  text.erase(text.size() - 2, 1);
  ASSERT_EQ(Add("CONFIG.XML", text), TFS_OKAY);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(NvValue(nv::dmsSignHeight.offset, 2), 0x99u);
}

TEST_F(ConfigFileTest, NoBufferNoFile) {
  void* held[16] = {};
  int n = 0;
  while (n < 16 && g_gpbuffer.Allocate(&held[n], GPBUFFER_FILE)) ++n;
  trace_capture cap;
  EXPECT_EQ(Write(), 0);
  EXPECT_EQ(Restore(), 0);
  EXPECT_EQ(cap.text(), " - Writing CONFIG.XML\t\t\t\t\t[FAIL]\n - Restore Config File\t\t\t\t\t[FAIL]\n");
  EXPECT_EQ(mon_tfsstat("CONFIG.XML"), nullptr);
  for (int i = 0; i < n; ++i) g_gpbuffer.Release(&held[i]);
}

// The peripheral task's side, as it will run it: letter 93 restarts the
// countdown of type 301 and raises the request; every cycle polls.
TEST_F(ConfigFileTest, BurstOfChangesGivesOneWriteAFullIntervalAfterTheLast) {
  struct CountingDriver : CFileSystem_DriverTFS {
    int writes = 0;
    bool fail = false;
    fs_status FileCreateWithData(fs_media* m, fs_file* f, const char* name, uint32_t a, const void* d,
                                 uint32_t n) override {
      if (std::strcmp(name, "CONFIG.XML") != 0) return CFileSystem_DriverTFS::FileCreateWithData(m, f, name, a, d, n);
      ++writes;
      return fail ? FS_NO_SPACE : CFileSystem_DriverTFS::FileCreateWithData(m, f, name, a, d, n);
    }
  } driver;
  g_pFileSystemDriver = &driver;
  pl_record record;
  record.type_id = CFile_Config::TYPE_ID;
  std::unique_ptr<CPeripheral> config(CFile_Config::Create(record));
  ASSERT_NE(config, nullptr);
  Letters();
  auto cycles = [&](int n) {
    for (int i = 0; i < n; ++i) {
      for (uint32_t id : Letters()) {
        if (id != MSG_CONFIG_OBJECT_CHANGED) continue;
        config->m_wPollCountdown = 0;
        g_config_write_request = 1;
      }
      config->PollCycle();
    }
  };
  trace_capture cap;
  uint32_t width = 100;
  for (int change = 0; change < 5; ++change) {
    db_->SetValue(nv::dmsSignWidth.offset, 2, ++width, db_->mib_nv, DB_NOTIFY);
    cycles(120);  // a change every minute
  }
  EXPECT_EQ(driver.writes, 0);
  cycles(600 - 120 - 1);
  EXPECT_EQ(driver.writes, 0);
  cycles(1);
  EXPECT_EQ(driver.writes, 1);
  EXPECT_EQ(g_config_write_request, 0);
  EXPECT_NE(Content("CONFIG.XML").find("dmsSignWidth[0000]:XXXX,69\n"), std::string::npos);
  // Objects outside the table do not ask for a write.
  db_->SetValue(nv::dmsSWReset.offset, 1, 1, db_->mib_nv, DB_NOTIFY);
  cycles(1500);
  EXPECT_EQ(driver.writes, 1);

  // A failed write keeps the request; the next poll tries again.
  driver.fail = true;
  db_->SetValue(nv::dmsSignWidth.offset, 2, ++width, db_->mib_nv, DB_NOTIFY);
  cycles(600);
  EXPECT_EQ(driver.writes, 2);
  EXPECT_EQ(g_config_write_request, 1);
  driver.fail = false;
  cycles(600);
  EXPECT_EQ(driver.writes, 3);
  EXPECT_EQ(g_config_write_request, 0);
  EXPECT_TRUE(cap.contains(" - Writing CONFIG.XML\t\t\t\t\t[FAIL]\n"));
}

TEST_F(ConfigFileTest, ResetSequenceWriterSavesTheFile) {
  db_->SetValue(nv::dmsSignWidth.offset, 2, 77, db_->mib_nv, 0);
  trace_capture cap;
  config_file_write_on_reset();
  EXPECT_NE(Content("CONFIG.XML").find("dmsSignWidth[0000]:XXXX,4D\n"), std::string::npos);
}

}  // namespace
