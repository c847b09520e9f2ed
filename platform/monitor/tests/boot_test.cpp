// The monitor's boot and the board's restarts: what the state folder keeps,
// the defragment asked for through the UART0 scratch register, the
// boot-loader installation, the start-up script, the restart actions, the
// hardware watchdog and the board clock.
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "monitor_fixture.h"
#include "rtos_host.h"
#include "tx_api.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string BootImage(const std::string& version, size_t body = 1000) {
  std::string img = "BOOTIMG1";
  uint32_t len = static_cast<uint32_t>(8 + 4 + 48 + body + 4);
  for (int s = 24; s >= 0; s -= 8) img += char(len >> s);
  std::string text = version;
  text.resize(48, '\0');
  img += text;
  for (size_t i = 0; i < body; ++i) img += char(i * 7);
  uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(img.data()), img.size()));
  for (int s = 24; s >= 0; s -= 8) img += char(crc >> s);
  return img;
}

using BootTest = MonitorTest;

TEST_F(BootTest, FilesEnvironmentAndImageSizeSurviveARestart) {
  config_.flash_size = 1u << 20;
  Boot();
  ASSERT_EQ(Add("CONFIG.XML", "<cfg/>", "p"), TFS_OKAY);
  ASSERT_EQ(mon_tfsadd("nv1.dat", nullptr, "i", nullptr, 4096), TFS_OKAY);
  uint8_t marker = 0x7F;
  ASSERT_EQ(mon_tfsipmod("nv1.dat", &marker, 0, 1), TFS_OKAY);
  ASSERT_EQ(mon_setenv("IPADD", "10.1.2.3"), 0);
  config_.flash_size = 2u << 20;  // an existing image keeps its size
  Restart();
  EXPECT_EQ(monitor::flash_size(), 1u << 20);
  EXPECT_EQ(Data("CONFIG.XML"), "<cfg/>");
  EXPECT_EQ(mon_tfsstat("CONFIG.XML")->flags, TFS_FLAG_P);
  EXPECT_EQ(Data("nv1.dat")[0], '\x7F');
  EXPECT_STREQ(mon_getenv("IPADD"), "10.1.2.3");
}

TEST_F(BootTest, FreshBoardEnvironmentAndChanges) {
  Boot();
  EXPECT_STREQ(mon_getenv("ETHERADD"), "02:00:00:00:00:01");
  EXPECT_STREQ(mon_getenv("NETMASK"), "255.255.255.0");
  EXPECT_EQ(mon_getenv("NOSUCH"), nullptr);
  const char* before = mon_getenv("GIPADD");
  ASSERT_EQ(mon_setenv("GIPADD", "0.0.0.0"), 0);
  EXPECT_STREQ(before, "192.168.1.1");  // a text handed out stays valid
  EXPECT_EQ(mon_setenv("bad name", "x"), -1);
  EXPECT_EQ(mon_setenv("X", "line\nbreak"), -1);
  EXPECT_EQ(mon_setenv(nullptr, "x"), -1);
  ASSERT_EQ(mon_setenv("NETMASK", nullptr), 0);
  Restart();
  EXPECT_STREQ(mon_getenv("GIPADD"), "0.0.0.0");
  EXPECT_EQ(mon_getenv("NETMASK"), nullptr);
}

TEST_F(BootTest, StartupScriptRunsAtBoot) {
  Boot();
  ASSERT_EQ(Add("monrc", "set IPADD 172.16.1.5\r\nset NETMASK 255.255.0.0\r\nset ETHERADD 00:1A:2B:3C:4D:5E\r\n", "e"),
            TFS_OKAY);
  EXPECT_STREQ(mon_getenv("IPADD"), "192.168.1.20");
  Restart();
  EXPECT_STREQ(mon_getenv("IPADD"), "172.16.1.5");
  EXPECT_STREQ(mon_getenv("NETMASK"), "255.255.0.0");
  EXPECT_STREQ(mon_getenv("ETHERADD"), "00:1A:2B:3C:4D:5E");
}

TEST_F(BootTest, ScratchBitAsksTheNextBootToDefragment) {
  Boot();
  ASSERT_EQ(Add("a", std::string(5000, 'a')), TFS_OKAY);
  ASSERT_EQ(Add("b", "b"), TFS_OKAY);
  ASSERT_EQ(mon_tfsunlink("a"), TFS_OKAY);
  const int32_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0);
  ASSERT_GT(dead, 0);

  // A restart without the bit keeps the dead space.
  monitor::set_scratch(0x40);
  mon_restart(0);
  Restart();
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), dead);
  EXPECT_EQ(monitor::scratch(), 0x40);

  monitor::set_scratch(0x41);
  mon_restart(0);
  Restart();
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), 0);
  EXPECT_EQ(Data("b"), "b");
  // The request is consumed; the other bits stay.
  EXPECT_EQ(monitor::scratch(), 0x40);
}

TEST_F(BootTest, StoredBootLoaderBecomesTheMonitorAtARestartOfKind1) {
  config_.version = "Jan  3 2005 10:00:00, old monitor";
  Boot();
  EXPECT_STREQ(mon_version(), "Jan  3 2005 10:00:00, old monitor");
  const std::string image = BootImage("Nov 20 2006 09:41:07, new monitor");
  ASSERT_EQ(mon_tfsadd(monitor::BOOTLOADER_FILE, nullptr, nullptr, image.data(), uint32_t(image.size())), TFS_OKAY);

  // Kind 0 leaves the file where it is.
  mon_restart(0);
  Restart();
  EXPECT_STREQ(mon_version(), "Jan  3 2005 10:00:00, old monitor");

  mon_restart(1);
  EXPECT_EQ(monitor::last_restart(), monitor::restart_kind::bootloader);
  Restart();
  EXPECT_STREQ(mon_version(), "Nov 20 2006 09:41:07, new monitor");
  EXPECT_EQ(mon_tfsstat(monitor::BOOTLOADER_FILE), nullptr);
  Restart();
  EXPECT_STREQ(mon_version(), "Nov 20 2006 09:41:07, new monitor");
}

TEST_F(BootTest, DamagedBootLoaderIsRefused) {
  config_.version = "Jan  3 2005 10:00:00, old monitor";
  Boot();
  std::string image = BootImage("Nov 20 2006 09:41:07, new monitor");
  image[100] ^= 1;
  ASSERT_EQ(mon_tfsadd(monitor::BOOTLOADER_FILE, nullptr, nullptr, image.data(), uint32_t(image.size())), TFS_OKAY);
  mon_restart(1);
  Restart();
  EXPECT_STREQ(mon_version(), "Jan  3 2005 10:00:00, old monitor");
  EXPECT_NE(monitor::console_output().find("KB90521.BIN refused"), std::string::npos);
}

TEST_F(BootTest, RecordedRestartCallsTheHook) {
  std::vector<monitor::restart_kind> seen;
  config_.restart_hook = [&](monitor::restart_kind k) { seen.push_back(k); };
  Boot();
  mon_restart(0);
  mon_restart(1);
  mon_restart(7);
  EXPECT_EQ(seen, (std::vector<monitor::restart_kind>{monitor::restart_kind::application,
                                                      monitor::restart_kind::bootloader,
                                                      monitor::restart_kind::application}));
  EXPECT_EQ(monitor::restart_count(), 3u);
}

// The death tests fork here: no kernel runs, and the child writes into this
// test's state folder.
TEST_F(BootTest, ExitRestartEndsTheProcessAndReportsTheKind) {
  config_.on_restart = monitor::restart_action::exit;
  Boot();
  EXPECT_EXIT(mon_restart(1), ::testing::ExitedWithCode(monitor::RESTART_EXIT_STATUS + 1),
              "monitor: restart \\(bootloader\\)");
  EXPECT_NE(ReadFile(Path(monitor::STATE_FILE)).find("last_restart=bootloader"), std::string::npos);
}

TEST_F(BootTest, ExecRestartRunsTheProgramAgain) {
  config_.on_restart = monitor::restart_action::exec;
  // The program run again is this test program, asked to run nothing.
  config_.argv = {"monitor_tests", "--gtest_filter=NoSuchTest.Nothing"};
  Boot();
  EXPECT_EXIT(mon_restart(0), ::testing::ExitedWithCode(0), "");
}

TEST_F(BootTest, BoardClockRunsFromTheHostAndKeepsItsSetting) {
  int64_t now = 1700000000;  // 2023-11-14 22:13:20 UTC, a Tuesday
  config_.host_time = [&] { return now; };
  Boot();
  uint32_t d[10];
  ASSERT_EQ(mon_clock_get(d), 0);
  EXPECT_EQ(std::vector<uint32_t>(d, d + 10), (std::vector<uint32_t>{20, 13, 22, 14, 10, 123, 2, 317, 0, 0}));
  // Set to 2030-01-01 00:00:00; an hour later it reads 01:00.
  uint32_t set[10] = {0, 0, 0, 1, 0, 130, 0, 0, 0, 0};
  ASSERT_EQ(mon_clock_set(set), 0);
  now += 3600;
  Restart();
  ASSERT_EQ(mon_clock_get(d), 0);
  EXPECT_EQ(d[2], 1u);
  EXPECT_EQ(d[3], 1u);
  EXPECT_EQ(d[4], 0u);
  EXPECT_EQ(d[5], 130u);
  uint32_t bad[10] = {0, 0, 25, 1, 0, 130, 0, 0, 0, 0};
  EXPECT_EQ(mon_clock_set(bad), -1);
  EXPECT_EQ(mon_clock_get(nullptr), -1);
}

TEST_F(BootTest, NumberedServices) {
  config_.board_temperature = -5;
  Boot();
  EXPECT_EQ(mon_service57(), -5);
  EXPECT_EQ(mon_service31(0, 18), 0);
  EXPECT_EQ(mon_service53(2, 9600, 8, 0), -1);
  EXPECT_EQ(mon_service53(0, 0, 8, 0), -1);
}

// ---- hardware watchdog on the kernel's manual clock

class HardwareWatchdogTest : public KernelMonitorTest {
 protected:
  void SetUp() override {
    KernelMonitorTest::SetUp();
    config_.watchdog_timeout_ms = 2000;
    config_.restart_hook = [this](monitor::restart_kind k) { kinds_.push_back(k); };
    Boot();
  }
  std::vector<monitor::restart_kind> kinds_;
};

TEST_F(HardwareWatchdogTest, RestartsTheBoardWhenNotServicedInTime) {
  EXPECT_FALSE(monitor::watchdog_enabled());
  rtos::advance(1000);
  EXPECT_FALSE(monitor::watchdog_poll());  // off at power-up
  EXPECT_EQ(mon_watchdog_enable(1), 0);
  for (int i = 0; i < 20; ++i) {
    rtos::advance(150);
    EXPECT_FALSE(monitor::watchdog_poll());
    mon_watchdog();
  }
  EXPECT_EQ(monitor::watchdog_kicks(), 20u);
  rtos::advance(200);
  EXPECT_FALSE(monitor::watchdog_poll());
  rtos::advance(1);
  EXPECT_TRUE(monitor::watchdog_poll());
  EXPECT_EQ(kinds_, std::vector<monitor::restart_kind>{monitor::restart_kind::watchdog});
  EXPECT_EQ(monitor::last_restart(), monitor::restart_kind::watchdog);
  EXPECT_FALSE(monitor::watchdog_enabled());
}

TEST_F(HardwareWatchdogTest, SwitchOffAndBack) {
  struct Row {
    int mode;
    int previous;
    bool after;
  } rows[] = {{1, 0, true}, {0, 1, false}, {0xFF, 0, true}, {0, 1, false}, {0, 0, false}, {0xFF, 0, false},
              {1, 0, true}};
  for (const Row& r : rows) {
    EXPECT_EQ(mon_watchdog_enable(r.mode), r.previous) << r.mode;
    EXPECT_EQ(monitor::watchdog_enabled(), r.after) << r.mode;
  }
  // While off, no time-out.
  mon_watchdog_enable(0);
  rtos::advance(1000);
  EXPECT_FALSE(monitor::watchdog_poll());
  // Switching on starts a fresh period.
  mon_watchdog_enable(1);
  rtos::advance(200);
  EXPECT_FALSE(monitor::watchdog_poll());
}

}  // namespace
