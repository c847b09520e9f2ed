// The boot-monitor connection: the start-up sequence, the lock around monitor
// calls, the clock hooks, the boot-loader age check and replacement, the
// flash space check and the board id.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "board_host.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/bus/post_office.h"
#include "frame/monitor/monitor_task.h"
#include "frame/monitor_link/bootloader_image.h"
#include "frame/monitor_link/micromonitor.h"
#include "frame/serial/serial_driver.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "monitor_host.h"
#include "rtos_host.h"

namespace {

std::vector<std::string> g_steps;
int g_open_result = 0;
bool g_clock_exists = false;
int g_clock_valid = 0;
uint32_t g_clock_now = 0;
bool g_lock_held_in_hook = false;

class MonlinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_steps.clear();
    g_open_result = 0;
    g_clock_exists = false;
    g_clock_valid = 0;
    g_clock_now = 0;
    micromonitor_set_steps({[] { g_steps.push_back("network"); }, [] { g_steps.push_back("media hook"); },
                            [] {
                              g_steps.push_back("media open");
                              return g_open_result;
                            }});
    micromonitor_set_clock({[] { return g_clock_exists ? 1 : 0; },
                            [](uint32_t* s) {
                              g_lock_held_in_hook = g_micromonitor_mutex.owner != nullptr &&
                                                    g_micromonitor_mutex.owner == tx_thread_identify();
                              *s = g_clock_now;
                              return g_clock_valid;
                            }});
    mon_.restart_hook = [this](monitor::restart_kind k) { restarts_.push_back(k); };
    // The monitor's own console lines stay off the UART, which no far end
    // empties here.
    mon_.console_out = [](const char*, size_t) {};
  }
  void TearDown() override {
    if (rtos::kernel_running()) {
      g_gpbuffer.~CGPBuffer();
      new (&g_gpbuffer) CGPBuffer();
    }
    rtos::kernel_stop();
    monitor_.reset();
    monitor::shutdown();
    board::shutdown();
    micromonitor_set_steps({nullptr, nullptr, nullptr});
    micromonitor_set_clock({nullptr, nullptr});
    monConnect(0, nullptr, nullptr);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  void UseStateFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "monlink.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    folder_ = buf.data();
    mon_.state_folder = folder_;
    mon_.flash_size = 2u << 20;
  }

  // Power-up: board, boot monitor and kernel; `define` runs where start-up
  // runs, before any thread.
  void PowerUp(const std::function<void(uint8_t**)>& define, const std::string& typed = "") {
    board::board_config b;
    b.serial[1].kind = board::serial_kind::pipe;
    interrupt_power_on();
    board_control_power_on();
    board::reset(b);
    monitor::reset(mon_);
    if (!typed.empty()) board::serial(1).send(typed);
    monitor_ = std::make_unique<CMonitorTask>(&router_);
    monitor_->SetPrintLevel(level_);
    rtos::kernel_config k;
    k.memory_size = 8u << 20;
    rtos::kernel_start(k, [&](void* memory) {
      uint8_t* cursor = static_cast<uint8_t*>(memory);
      define(&cursor);
    });
  }
  void Init(const std::string& typed = "") {
    PowerUp([this](uint8_t** cursor) { result_ = platform_init_micromonitor(cursor); }, typed);
  }
  // Power goes and comes back on the same state folder.
  void PowerCycle() {
    rtos::kernel_stop();
    monitor_.reset();
    monitor::shutdown();
    board::shutdown();
  }

  monitor::monitor_config mon_;
  std::vector<monitor::restart_kind> restarts_;
  std::string folder_;
  post_office router_;
  std::unique_ptr<CMonitorTask> monitor_;
  uint32_t level_ = 0;
  int result_ = -1;
  trace_capture cap_;
};

TEST_F(MonlinkTest, StartupConnectsAndOpensTheFileSystem) {
  Init();
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(cap_.text(),
            " - Is Bootloader Current?\t\t\t\t[ OK ]\n"
            " - Initialize Q5 Platform Specific Items\t\t[ OK ]\n");
  EXPECT_EQ(g_steps, (std::vector<std::string>{"network", "media hook", "media open"}));
  EXPECT_EQ(g_gpbuffer.Size(), uint32_t(GPBUFFER_POOL_SIZE));
  // The monitor's own watchdog is off until the watchdog task starts.
  EXPECT_FALSE(monitor::watchdog_enabled());
  EXPECT_STREQ(g_micromonitor_mutex.name, "MicromonitorMutex");
  EXPECT_EQ(g_micromonitor_mutex.inherit, 1u);

  // "vms" and "VMS" are the monitor's commands now: alone it prints an
  // empty line, with an operation it does not know its help.
  cap_.clear();
  rtos::run_in_thread([] {
    EXPECT_EQ(mon_docommand("vms", 0), 0);
    EXPECT_EQ(mon_docommand("VMS help", 0), 0);
  });
  std::string help;
  for (const char* const* l = g_vms_help; *l; ++l) help += std::string(*l) + "\n";
  EXPECT_EQ(cap_.text(), "\n" + help);
  EXPECT_EQ(help.substr(0, 15), "VMS Functions.\n");
}

TEST_F(MonlinkTest, EveryMonitorCallHoldsTheMonitorMutex) {
  Init();
  g_clock_exists = true;
  g_clock_valid = 1;
  g_clock_now = 1234;
  g_lock_held_in_hook = false;
  // The time hook runs inside the add, which stamps the file.
  rtos::run_in_thread([] { EXPECT_EQ(mon_tfsadd("a", nullptr, nullptr, "x", 1), 0); });
  EXPECT_TRUE(g_lock_held_in_hook);
  EXPECT_EQ(mon_tfsstat("a")->mod_time, 1234u);
  EXPECT_EQ(g_micromonitor_mutex.owner, nullptr);
}

TEST_F(MonlinkTest, DigitTypedAtStartSetsTheTraceLevel) {
  struct Row {
    uint32_t before;
    const char* typed;
    uint32_t after;
  } rows[] = {
      {0, "", 0}, {1, "", 0}, {0, "1", 1}, {1, "0", 0}, {0, "2", 0}, {0, "5", 0},
      {0, "9", 0}, {0, "a", 0}, {0, "x", 0}, {1, "2", 1},  // 2 to 5 are refused: the level stays
  };
  for (const Row& r : rows) {
    level_ = r.before;
    Init(r.typed);
    EXPECT_EQ(monitor_->PrintLevel(), r.after) << "'" << r.typed << "' from " << r.before;
    TearDown();
  }
}

TEST_F(MonlinkTest, FailedMediaOpen) {
  g_open_result = 8;
  Init();
  EXPECT_EQ(result_, 1);
  EXPECT_TRUE(cap_.contains(" - Initialize Q5 Platform Specific Items\t\t[FAIL]\n"));
}

TEST_F(MonlinkTest, FlashSpaceDecidesTheDefragmentingRestart) {
  struct Row {
    uint32_t flash;
    uint32_t dead;
    uint32_t free_left;  // approximately
    bool restart;
  } rows[] = {
      {16u << 20, 600000, 1500000, true},     // little free, much dead
      {16u << 20, 400000, 1500000, false},    // little free, little dead
      {16u << 20, 600000, 2500000, false},    // enough free
      {16u << 20, 1700000, 10000000, true},   // more than 10 % of the flash dead
      {16u << 20, 1600000, 10000000, false},  // just under 10 %
      {4u << 20, 600000, 2500000, true},      // 14 % of a small flash
  };
  for (const Row& r : rows) {
    mon_.flash_size = r.flash;
    restarts_.clear();
    cap_.clear();
    Init();
    ASSERT_EQ(mon_tfsadd("dead", nullptr, "i", nullptr, r.dead), 0);
    ASSERT_EQ(mon_tfsunlink("dead"), 0);
    uint32_t free_now = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
    ASSERT_EQ(mon_tfsadd("fill", nullptr, "i", nullptr, free_now - r.free_left), 0);
    monitor::set_scratch(0);
    cap_.clear();
    rtos::kernel_stop();
    g_gpbuffer.~CGPBuffer();
    new (&g_gpbuffer) CGPBuffer();
    rtos::kernel_config k;
    k.memory_size = 8u << 20;
    rtos::kernel_start(k, [&](void* memory) {
      uint8_t* cursor = static_cast<uint8_t*>(memory);
      result_ = platform_init_micromonitor(&cursor);
    });
    EXPECT_EQ(cap_.contains("[FAIL]\n\t need to restart to defragment the flash drive\n"), r.restart) << r.dead;
    EXPECT_EQ(restarts_.size(), r.restart ? 1u : 0u) << r.dead;
    EXPECT_EQ(monitor::scratch() & 1, r.restart ? 1 : 0) << r.dead;
    EXPECT_EQ(result_, 0);
    TearDown();
  }
}

TEST_F(MonlinkTest, DefragmentingRestartCompactsTheFlash) {
  UseStateFolder();
  mon_.flash_size = 4u << 20;
  Init();
  ASSERT_EQ(mon_tfsadd("dead", nullptr, "i", nullptr, 600000), 0);
  ASSERT_EQ(mon_tfsunlink("dead"), 0);
  ASSERT_EQ(mon_tfsadd("fill", nullptr, "i", nullptr, mon_tfsctrl(TFS_CTRL_FREE, 0, 0) - 1500000), 0);
  PowerCycle();
  Init();
  ASSERT_EQ(restarts_.size(), 1u);
  PowerCycle();
  cap_.clear();
  Init();  // the monitor compacted its flash on the way
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), 0);
  EXPECT_NE(mon_tfsstat("fill"), nullptr);
  EXPECT_TRUE(cap_.contains(" - Initialize Q5 Platform Specific Items\t\t[ OK ]\n"));
  EXPECT_EQ(restarts_.size(), 1u);
}

// ---- boot-loader age

TEST(BootloaderAge, DecisionTable) {
  struct Row {
    const char* version;
    bool readable;
    int32_t age;
    bool current;
  } rows[] = {
      {"Sep  8 2006 11:12:13, monitor 2.0", true, 2446, true},
      {"Sep  7 2006", true, 2445, false},
      {"Sep 08 2006", true, 2446, true},
      {"Dec 31 2005", true, 2197, false},
      {"Jan  1 2007", true, 2556, true},
      {"Nov 20 2006 09:41:07, boot monitor 2.4 (host)", true, 2520, true},
      {"Xyz  8 2006", true, 2167, false},  // no month: 31 below January
      {"Jan  8 2006", true, 2198, false},
      {"Sep  8 200", false, 0, false},     // too short
      {"Sep  x 2006", false, 0, false},
      {"Sep 1x 2006", false, 0, false},
      {"Sep  8 20O6", false, 0, false},
      {"", false, 0, false},
      {nullptr, false, 0, false},
  };
  for (const Row& r : rows) {
    int32_t age = 0;
    EXPECT_EQ(bootloader_age(r.version, &age), r.readable) << (r.version ? r.version : "null");
    if (!r.readable) continue;
    EXPECT_EQ(age, r.age) << r.version;
    EXPECT_EQ(age >= BOOTLOADER_MIN_AGE, r.current) << r.version;
  }
}

TEST_F(MonlinkTest, OldBootMonitorIsReplacedByTheCarriedOne) {
  UseStateFolder();
  mon_.version = "Sep  7 2006 23:59:59, old monitor";
  int checked = -1;
  PowerUp([&](uint8_t**) { checked = platform_check_bootloader(); });
  EXPECT_EQ(checked, 1);
  EXPECT_EQ(cap_.text(), " - Is Bootloader Current?\t\t\t\t[FAIL]\nPlease standby for system restart...\n");
  tfs_header* h = mon_tfsstat(BOOTLOADER_FILE_NAME);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->data_size, 262144u);
  EXPECT_EQ(h->flags, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h) + h->hdr_size, 8), "BOOTIMG1");
  EXPECT_EQ(restarts_, std::vector<monitor::restart_kind>{monitor::restart_kind::bootloader});

  // The board comes back with the new monitor, which the check accepts.
  PowerCycle();
  cap_.clear();
  PowerUp([&](uint8_t**) { checked = platform_check_bootloader(); });
  EXPECT_STREQ(mon_version(), monitor::CURRENT_VERSION);
  EXPECT_EQ(checked, 0);
  EXPECT_EQ(cap_.text(), " - Is Bootloader Current?\t\t\t\t[ OK ]\n");
  EXPECT_EQ(mon_tfsstat(BOOTLOADER_FILE_NAME), nullptr);
}

TEST_F(MonlinkTest, BootMonitorKeptWhenCurrentUnreadableOrNotStored) {
  struct Row {
    const char* version;
    bool flash_full;
    const char* output;
  } rows[] = {
      {"Sep  8 2006", false, " - Is Bootloader Current?\t\t\t\t[ OK ]\n"},
      {"bad", false, " - Is Bootloader Current?\t\t\t\t[FAIL]\n\tunreadable boot monitor date, keeping it\n"},
      {"Sep ?? 2006", false, " - Is Bootloader Current?\t\t\t\t[FAIL]\n\tunreadable boot monitor date, keeping it\n"},
      {"Jan  1 2001", true, " - Is Bootloader Current?\t\t\t\t[FAIL]\nPlease standby for system restart...\n"},
  };
  for (const Row& r : rows) {
    mon_.version = r.version;
    restarts_.clear();
    int checked = -1;
    PowerUp([&](uint8_t**) {
      monitor::fault_flash_full(r.flash_full);
      checked = platform_check_bootloader();
    });
    EXPECT_EQ(checked, 0) << r.version;
    EXPECT_EQ(cap_.text(), r.output) << r.version;
    EXPECT_TRUE(restarts_.empty()) << r.version;
    EXPECT_EQ(mon_tfsstat(BOOTLOADER_FILE_NAME), nullptr) << r.version;
    cap_.clear();
    TearDown();
  }
}

// ---- hooks, board id, product step

TEST_F(MonlinkTest, TimeHookCachesTheClocksTime) {
  Init();
  struct Row {
    bool exists;
    int valid;
    uint32_t now;
    uint32_t result;
  } rows[] = {
      {false, 1, 100, 0},  // no clock: the cache, 0 at start
      {true, 0, 200, 0},   // no valid time yet
      {true, 1, 300, 300},
      {true, 0, 400, 300},  // the last good time stays
      {false, 1, 500, 300},
      {true, 1, 600, 600},
  };
  for (const Row& r : rows) {
    g_clock_exists = r.exists;
    g_clock_valid = r.valid;
    g_clock_now = r.now;
    EXPECT_EQ(micromonitor_time_hook(), r.result) << r.now;
    EXPECT_EQ(micromonitor_cached_time(), r.result) << r.now;
  }
}

TEST_F(MonlinkTest, DateHookFormatsTheStamp) {
  struct Row {
    bool clock;
    uint32_t seconds;
    int size;
    const char* text;
  } rows[] = {
      {true, 1700000000, 18, "11/14/2023 22:13\n"},
      {true, 0, 64, "01/01/1970 00:00\n"},
      {true, 951782400, 18, "02/29/2000 00:00\n"},
      {true, 1700000000, 17, ""},  // too small for the stamp
      {true, 0xFFFFFFFF, 18, ""},
      {false, 1700000000, 18, ""},  // no clock: empty, not what the buffer held
  };
  for (const Row& r : rows) {
    g_clock_exists = r.clock;
    char buf[64];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(micromonitor_date_hook(r.seconds, buf, r.size), buf);
    EXPECT_STREQ(buf, r.text) << r.seconds << " " << r.size;
  }
  EXPECT_EQ(micromonitor_date_hook(0, nullptr, 18), nullptr);
}

TEST_F(MonlinkTest, BoardIdAndProductStep) {
  for (uint8_t id : {0, 5, 6, 15}) {
    board::board_config b;
    b.board_id = id;
    board::reset(b);
    EXPECT_EQ(platform_board_id(), id);
  }
  uint8_t* cursor = nullptr;
  EXPECT_EQ(platform_init_product(&cursor), 0);
  EXPECT_EQ(cap_.text(), " - Initialize KM Product Specific Items\t\t\t[ OK ]\n");
}

// Typed lines reach the monitor's interpreter from the monitor task's
// console reader, and the monitor's answers come back through the trace.
class TypedConsole : public CSerialDriver {
 public:
  uint32_t PutTxByte(uint8_t) override { return 1; }
  uint32_t ReadByte(uint32_t* v) override {
    if (input.empty()) return 0;
    *v = static_cast<uint8_t>(input[0]);
    input.erase(0, 1);
    return 1;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  std::string input;
};

TEST_F(MonlinkTest, ConsoleLinesRunAsMonitorCommands) {
  Init();
  TypedConsole console;
  monitor_->SetConsoleDriver(&console);
  rtos::run_in_thread([&] { monitor_->Initialize(); });
  cap_.clear();
  console.input = "vms\r\nnosuchx\b\r\r" + std::string(60, 'y');
  rtos::run_in_thread([&] { monitor_->ReadConsole(); });
  // The line editor echoes CR LF at each line end (a CR LF pair is one end).
  EXPECT_EQ(cap_.text(), "vms\r\n\nVMS>" + std::string("nosuchx\b \b\r\nCommand not found: nosuch\nVMS>\r\nVMS>") +
                             std::string(50, 'y'));
}

TEST(BootloaderImage, InflatesWithinItsBuffer) {
  EXPECT_EQ(g_bootloader_image_size, 95601u);
  EXPECT_EQ(g_bootloader_image[0], 0x78);
}

}  // namespace
