// The web server's file calls over the driver, and the file peripherals as
// the peripheral task creates, polls and reports them.
#include <cstring>
#include <string>

#include "database/files/file_config.h"
#include "database/files/file_directory.h"
#include "database/files/file_manager.h"
#include "database/files/file_monrc.h"
#include "database/files/fx_shim.h"
#include "files_fixture.h"
#include "frame/trace/trace.h"
#include "frame/watchdog/watchdog_task.h"

namespace {

class WebFilesTest : public FilesTest {
 protected:
  void TearDown() override {
    // The shared object outlives the test: leave it closed.
    if (fx_shared_file()->id == FS_FILE_ID || fx_shared_file()->buffer) {
      g_pFileSystemDriver->FileClose(fx_shared_file());
      fs_file_init(fx_shared_file());
    }
    FilesTest::TearDown();
  }
  FX_MEDIA media_{};
};

TEST_F(WebFilesTest, OpenModesFollowTheNameAndTheOpenType) {
  ASSERT_EQ(Add("index.html", "<html/>"), TFS_OKAY);
  ASSERT_EQ(Add("page.html", "<p/>"), TFS_OKAY);
  ASSERT_EQ(Add("FIRMWARE.EXE", "MZ"), TFS_OKAY);
  ASSERT_EQ(Add("firmware.exe", "MZ"), TFS_OKAY);
  ASSERT_EQ(Add("quorstyle.css", "p{}"), TFS_OKAY);
  struct Row {
    const char* name;
    uint32_t open_type;
    const char* opened;
    uint32_t mode;
  } rows[] = {
      {"/index.html", FX_OPEN_FOR_READ, "index.html", 0x6000},
      {"index.html", FX_OPEN_FOR_READ, "index.html", 0x6000},
      {"/quorstyle.css", FX_OPEN_FOR_READ, "quorstyle.css", 0x6000},
      {"/page.html", FX_OPEN_FOR_READ, "page.html", 0x4000},
      {"FIRMWARE.EXE", FX_OPEN_FOR_WRITE, "FIRMWARE.EXE", 0x8040},
      {"firmware.exe", FX_OPEN_FOR_WRITE, "firmware.exe", 0x8000},
  };
  for (const Row& r : rows) {
    FX_FILE handle{};
    ASSERT_EQ(fx_file_open(&media_, &handle, r.name, r.open_type), FX_SUCCESS) << r.name;
    EXPECT_EQ(handle.file, fx_shared_file());
    EXPECT_EQ(fx_shared_file()->mode, r.mode) << r.name;
    EXPECT_STREQ(fx_shared_file()->name, r.opened);
    // One file at a time.
    FX_FILE second{};
    EXPECT_EQ(fx_file_open(&media_, &second, "page.html", FX_OPEN_FOR_READ), FX_IO_ERROR);
    EXPECT_EQ(fx_file_close(&handle), FX_SUCCESS);
  }
  FX_FILE handle{};
  EXPECT_EQ(fx_file_open(&media_, &handle, "/missing.html", FX_OPEN_FOR_READ), FX_IO_ERROR);
  EXPECT_EQ(fx_file_open(&media_, &handle, std::string(FS_PATH_MAX + 1, 'n').c_str(), FX_OPEN_FOR_READ),
            FX_IO_ERROR);
  EXPECT_EQ(fx_file_close(&handle), FX_IO_ERROR);
  EXPECT_EQ(fx_file_open(&media_, nullptr, "index.html", FX_OPEN_FOR_READ), FX_IO_ERROR);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(WebFilesTest, ReadSeekAndEndOfFile) {
  ASSERT_EQ(Add("list.html", "0123456789"), TFS_OKAY);
  FX_FILE handle{};
  ASSERT_EQ(fx_file_open(&media_, &handle, "/list.html", FX_OPEN_FOR_READ), FX_SUCCESS);
  char buffer[16] = {};
  uint32_t actual = 99;
  EXPECT_EQ(fx_file_read(&handle, buffer, 4, &actual), FX_SUCCESS);
  EXPECT_EQ(std::string(buffer, actual), "0123");
  EXPECT_EQ(fx_file_read(&handle, buffer, sizeof buffer, &actual), FX_SUCCESS);
  EXPECT_EQ(std::string(buffer, actual), "456789");
  EXPECT_EQ(fx_file_read(&handle, buffer, sizeof buffer, &actual), FX_END_OF_FILE);
  EXPECT_EQ(fx_file_seek(&handle, 8), FX_SUCCESS);
  EXPECT_EQ(fx_file_read(&handle, buffer, sizeof buffer, &actual), FX_SUCCESS);
  EXPECT_EQ(std::string(buffer, actual), "89");
  EXPECT_EQ(fx_file_close(&handle), FX_SUCCESS);
  // Nothing open: the seek fails with its own code, the others with 144.
  EXPECT_EQ(fx_file_seek(&handle, 0), FX_SEEK_ERROR);
  EXPECT_EQ(fx_file_read(&handle, buffer, 1, &actual), FX_IO_ERROR);
  EXPECT_EQ(fx_file_write(&handle, "x", 1), FX_IO_ERROR);
  FX_FILE never{};
  EXPECT_EQ(fx_file_read(&never, buffer, 1, &actual), FX_IO_ERROR);
}

TEST_F(WebFilesTest, UploadIsCreatedThenOpenedForWriting) {
  FX_FILE handle{};
  ASSERT_EQ(fx_file_create(&media_, "/upload.bin"), FX_SUCCESS);
  ASSERT_EQ(fx_file_open(&media_, &handle, "/upload.bin", FX_OPEN_FOR_WRITE), FX_SUCCESS);
  EXPECT_EQ(fx_file_write(&handle, "abc", 3), FX_SUCCESS);
  EXPECT_EQ(fx_file_write(&handle, "def", 3), FX_SUCCESS);
  ASSERT_EQ(fx_file_close(&handle), FX_SUCCESS);
  EXPECT_EQ(Content("upload.bin"), "abcdef");
  // An existing name cannot be created again; deleting takes it away.
  EXPECT_EQ(fx_file_create(&media_, "upload.bin"), FX_IO_ERROR);
  EXPECT_EQ(fx_file_delete(&media_, "/upload.bin"), FX_SUCCESS);
  EXPECT_EQ(mon_tfsstat("upload.bin"), nullptr);
  EXPECT_EQ(fx_file_delete(&media_, "/upload.bin"), FX_IO_ERROR);
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST_F(WebFilesTest, DirectoryInformationHasTheSizeAndAFixedDate) {
  ASSERT_EQ(Add("view.html", std::string(1234, 'v')), TFS_OKAY);
  uint32_t attributes = 9, size = 0, year = 0, month = 0, day = 0, hour = 9, minute = 9, second = 9;
  EXPECT_EQ(fx_directory_information_get(&media_, "/view.html", &attributes, &size, &year, &month, &day, &hour,
                                         &minute, &second),
            FX_SUCCESS);
  EXPECT_EQ(std::vector<uint32_t>({attributes, size, year, month, day, hour, minute, second}),
            std::vector<uint32_t>({0, 1234, 2004, 1, 1, 0, 0, 0}));
  EXPECT_EQ(fx_directory_information_get(&media_, "/gone.html", &attributes, &size, &year, &month, &day, &hour,
                                         &minute, &second),
            FX_NOT_FOUND);
  EXPECT_EQ(fx_directory_information_get(&media_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr),
            FX_NOT_FOUND);
}

TEST_F(WebFilesTest, BusyMediaIsAnError) {
  ASSERT_EQ(Add("diag.html", "d"), TFS_OKAY);
  FX_FILE handle{};
  ASSERT_EQ(fx_file_open(&media_, &handle, "diag.html", FX_OPEN_FOR_READ), FX_SUCCESS);
  static bool release;
  release = false;
  TX_THREAD holder{};
  std::vector<uint8_t> stack(16384);
  {
    rtos::cpu_scope scope;
    ASSERT_EQ(tx_thread_create(
                  &holder, const_cast<char*>("holder"),
                  [](ULONG) {
                    os_mutex_get(&g_fs_media.lock, OS_WAIT_FOREVER);
                    while (!release) tx_thread_sleep(1);
                    os_mutex_put(&g_fs_media.lock);
                  },
                  0, stack.data(), static_cast<ULONG>(stack.size()), 5, 5, 0, TX_AUTO_START),
              TX_SUCCESS);
  }
  rtos::advance(1);
  ASSERT_TRUE(rtos::run_in_thread([&] {
    char c;
    uint32_t actual = 0;
    EXPECT_EQ(fx_file_read(&handle, &c, 1, &actual), FX_IO_ERROR);
    EXPECT_EQ(fx_file_create(&media_, "new.bin"), FX_IO_ERROR);
  }));
  release = true;
  rtos::advance(2);
  {
    rtos::cpu_scope scope;
    tx_thread_terminate(&holder);
    tx_thread_delete(&holder);
  }
  EXPECT_EQ(fx_file_close(&handle), FX_SUCCESS);
}

// The hook after a whole-file write keeps the boot monitor's watchdog as the
// watchdog task has it.
TEST_F(WebFilesTest, MediaReadyFollowsTheWatchdogTask) {
  fx_media_hook_install();
  EXPECT_EQ(g_fs_media.watchdog_hook, &fx_media_ready);
  EXPECT_EQ(fx_media_ready(), 0u);  // no watchdog task
  {
    CWatchdogTask watchdog(&g_post_office);
    EXPECT_EQ(fx_media_ready(), 0u);  // not started yet
    mon_watchdog_enable(1);
    ASSERT_EQ(Add("a", "a"), TFS_OKAY);
    fs_file f;
    fs_file_init(&f);
    ASSERT_EQ(g_pFileSystemDriver->FileCreateWithData(&g_fs_media, &f, "b", 0, "b", 1), FS_SUCCESS);
    EXPECT_FALSE(monitor::watchdog_enabled());
    rtos::cpu_scope scope;
    watchdog.Init();
    EXPECT_EQ(fx_media_ready(), 1u);
    ASSERT_EQ(g_pFileSystemDriver->FileCreateWithData(&g_fs_media, &f, "b", 0, "b", 1), FS_SUCCESS);
    EXPECT_TRUE(monitor::watchdog_enabled());
  }
  EXPECT_EQ(fx_media_ready(), 0u);
}

// --- the file peripherals

const char* NameOf(uint16_t type) {
  switch (type) {
    case CFile_Directory::TYPE_ID: return CFile_Directory::NameOfType(type);
    case CFile_Config::TYPE_ID: return CFile_Config::NameOfType(type);
    case CFile_Monrc::TYPE_ID: return CFile_Monrc::NameOfType(type);
    case CFile_Manager::TYPE_ID: return CFile_Manager::NameOfType(type);
    default: return "UNKNOWN";
  }
}

TEST_F(FilesTest, FilePeripheralsAreMadeForTheirTypeOnly) {
  struct Row {
    pl_create_function create;
    uint16_t (*type_of_name)(const char*);
    uint16_t type;
    uint8_t class_code;
    const char* name;
    uint16_t interval;
    uint8_t state;  // after construction
  } rows[] = {
      {CFile_Directory::Create, CFile_Directory::TypeOfName, 300, 15, "DIRECTORY FILE", 1, PERIPHERAL_SETTING_UP},
      {CFile_Config::Create, CFile_Config::TypeOfName, 301, 14, "CONFIG FILE", 600, PERIPHERAL_VALID},
      {CFile_Monrc::Create, CFile_Monrc::TypeOfName, 302, 16, "MONRC FILE", 1, PERIPHERAL_SETTING_UP},
      {CFile_Manager::Create, CFile_Manager::TypeOfName, 304, 17, "FILE MANAGER", 5, PERIPHERAL_SETTING_UP},
  };
  peripheral_set_name_function(NameOf);
  for (const Row& r : rows) {
    for (uint16_t other : {uint16_t(0), uint16_t(300), uint16_t(301), uint16_t(302), uint16_t(303), uint16_t(304)}) {
      if (other == r.type) continue;
      pl_record wrong;
      wrong.type_id = other;
      EXPECT_EQ(r.create(wrong), nullptr) << r.name << " for " << other;
    }
    EXPECT_EQ(r.type_of_name(r.name), r.type);
    EXPECT_EQ(r.type_of_name("FILE"), 0);
    EXPECT_EQ(r.type_of_name(nullptr), 0);
    pl_record record;
    record.type_id = r.type;
    record.class_code = r.class_code;
    std::unique_ptr<CPeripheral> p(r.create(record));
    ASSERT_NE(p, nullptr) << r.name;
    EXPECT_EQ(p->m_wTypeId, r.type);
    EXPECT_EQ(p->m_byClass, r.class_code);
    EXPECT_EQ(p->m_wPollInterval, r.interval);
    EXPECT_EQ(p->m_wPollCountdown, 0);
    EXPECT_EQ(p->m_wConfigSlot, 65535);
    EXPECT_EQ(p->m_byEnabled, 1);
    EXPECT_EQ(p->m_byFromDatabase, 0);
    EXPECT_EQ(p->m_byState, r.state) << r.name;
    EXPECT_STREQ(p->GetVersionText(), "");
    trace_capture cap;
    p->ShowStatus();
    EXPECT_EQ(cap.text(), std::string(r.name) + " is currently enabled\n");
    // Polled once its interval has passed; VALID from then on.
    g_config_write_request = 0;
    for (uint16_t i = 0; i < r.interval; ++i) p->PollCycle();
    EXPECT_EQ(p->m_byState, PERIPHERAL_VALID) << r.name;
    // Going away tells the peripheral task that the live set changed.
    uint32_t flags = 0;
    os_event_get(&g_database_flags, 0x40, OS_EVENT_OR_CLEAR, &flags, OS_NO_WAIT);
    p.reset();
    EXPECT_EQ(os_event_get(&g_database_flags, 0x40, OS_EVENT_OR_CLEAR, &flags, OS_NO_WAIT), OS_SUCCESS);
  }
  peripheral_set_name_function(nullptr);
}

TEST_F(FilesTest, ManagerIsSettingUpForFiveCyclesAfterCreation) {
  pl_record record;
  record.type_id = CFile_Manager::TYPE_ID;
  std::unique_ptr<CPeripheral> p(CFile_Manager::Create(record));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(p->PollCycle(), 0);
    EXPECT_EQ(p->m_byState, PERIPHERAL_SETTING_UP);
  }
  EXPECT_EQ(p->PollCycle(), 1);
  EXPECT_EQ(p->m_byState, PERIPHERAL_VALID);
  p->SetEnabled(0);
  peripheral_set_name_function(NameOf);
  trace_capture cap;
  p->ShowStatus();
  EXPECT_EQ(cap.text(), "FILE MANAGER is currently disabled\n");
  peripheral_set_name_function(nullptr);
}

}  // namespace
