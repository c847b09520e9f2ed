// The whole controller started twice on one state folder, each run a
// process of its own: a non-volatile change made in the first run is there
// in the second, through the flash journal in the folder's flash image.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "board_host.h"
#include "database/database.h"
#include "database/fs/fs_system.h"
#include "database/objects.h"
#include "frame/startup/startup.h"
#include "frame/trace/trace.h"
#include "monitor_host.h"
#include "rtos_host.h"

// The program's database object (start-up's global).
extern CDataBase g_database;

namespace {

class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "signstate.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    folder_ = buf.data();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Powers the board up and runs the controller's start-up on the folder.
  void Start() {
    board::board_config config;
    config.serial[1].kind = board::serial_kind::pipe;
    board::reset(config);
    monitor::monitor_config mon;
    mon.state_folder = folder_;
    monitor::reset(mon);
    startup_subscribe();
    rtos::kernel_config k;
    k.memory_size = 32u << 20;
    cap_.clear();
    rtos::kernel_start(k, [](void* mem) { tx_application_define(mem); });
  }

  // The run ends as at a power-off: the process ends, the flash image stays.
  [[noreturn]] void PowerOff(const std::string& failure) {
    std::fflush(nullptr);
    if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
    std::fprintf(stderr, "%s\n", failure.empty() ? "run done" : "run failed");
    std::_Exit(failure.empty() ? 0 : 1);
  }

  static std::string Text(db_object o) {
    uint32_t len = 0;
    const uint8_t* p = g_database.GetString(o.offset, 4, g_database.mib_nv, &len);
    return std::string(reinterpret_cast<const char*>(p), len);
  }
  static uint32_t Value(db_object o) { return g_database.GetValue(o.offset, o.width, g_database.mib_nv, 0); }

  // Runs the controller in a process of its own; "" when `run` found
  // nothing wrong.
  void Run(const std::function<std::string()>& run) {
    EXPECT_EXIT(PowerOff(run()), ::testing::ExitedWithCode(0), "run done");
  }

  std::string folder_;
  trace_capture cap_;
};

TEST_F(PersistenceTest, NonVolatileChangeSurvivesARestart) {
  Run([&]() -> std::string {
    Start();
    if (!cap_.contains(" - Find Flash DB File\t\t\t\t\t[FAIL]\n\tCreating nv1.dat\n")) return "no new journal";
    if (g_fs_media.id != FS_MEDIA_ID) return "system drive not open";
    // Journalling comes on with the database task's first cycle.
    rtos::advance(350);
    if (!cap_.contains("enabling flash database, running in non-volatile mode\n")) return "journalling off";
    CDataBase& db = g_database;
    uint32_t r1 = 0, r2 = 0;
    rtos::run_in_thread([&] {
      r1 = db.SetValue(nv::dmsSignHeight.offset, 2, 1234, db.mib_nv, DB_NOTIFY);
      r2 = db.SetString(nv::sysLocation.offset, 4, "Exit 12 north", 13, db.mib_nv, DB_NOTIFY);
    });
    if (r1 != DB_OK || r2 != DB_OK) return "writes refused";
    rtos::advance(200);
    return "";
  });
  Run([&]() -> std::string {
    Start();
    if (!cap_.contains(" - Find Flash DB File\t\t\t\t\t[ OK ]\n - Loading off nv1.dat\t\t\t\t\t[ OK ]\n"))
      return "journal not replayed:\n" + cap_.text();
    if (Value(nv::dmsSignHeight) != 1234) return "height " + std::to_string(Value(nv::dmsSignHeight));
    if (Text(nv::sysLocation) != "Exit 12 north") return "location " + Text(nv::sysLocation);
    // Still there once the tasks run.
    rtos::advance(350);
    if (Value(nv::dmsSignHeight) != 1234) return "height lost";
    return "";
  });
}

}  // namespace
