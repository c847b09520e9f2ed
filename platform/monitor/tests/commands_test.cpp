// The monitor's command interpreter: splitting lines, the application's
// added commands, the monitor's own commands as the application issues
// them, the output hook and the lock pair around calls.
#include <string>
#include <vector>

#include "monitor_fixture.h"

namespace {

std::vector<std::string> g_args;
int g_lock_depth = 0;
int g_depth_in_command = -1;
std::string g_hooked;

int Record(int argc, char** argv) {
  g_args.assign(argv, argv + argc);
  g_depth_in_command = g_lock_depth;
  return argc;
}
void Lock() { ++g_lock_depth; }
void Unlock() { --g_lock_depth; }
int Hook(int c) {
  g_hooked += char(c);
  return 0;
}

const char* const kHelp[] = {"VMS Functions.", "-[s:d:t] operation [args]...", nullptr};
const mon_command kTable[] = {{"vms", Record, kHelp}, {"VMS", Record, kHelp}, {nullptr, nullptr, nullptr}};

class CommandTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    Boot();
    g_args.clear();
    g_lock_depth = 0;
    g_depth_in_command = -1;
    g_hooked.clear();
    monitor::console_output();
  }
  std::string Out() { return monitor::console_output(); }
};

TEST_F(CommandTest, LinesAreSplitIntoWords) {
  ASSERT_EQ(mon_addcommand(kTable), 0);
  struct Row {
    const char* line;
    std::vector<std::string> words;
  } rows[] = {
      {"vms", {"vms"}},
      {"vms -d thread suspend display", {"vms", "-d", "thread", "suspend", "display"}},
      {"  VMS\t-t   1 \r\n", {"VMS", "-t", "1"}},
      {"vms \"two words\" x\"y z\"", {"vms", "two words", "xy z"}},
      {"vms \"\"", {"vms", ""}},
  };
  for (const Row& r : rows) {
    g_args.clear();
    EXPECT_EQ(mon_docommand(r.line, 0), int(r.words.size())) << r.line;
    EXPECT_EQ(g_args, r.words) << r.line;
  }
}

TEST_F(CommandTest, LinesThatCannotBeRunAreRefused) {
  ASSERT_EQ(mon_addcommand(kTable), 0);
  std::string many = "vms";
  for (int i = 0; i < 32; ++i) many += " w";
  const char* bad[] = {"vms \"open", many.c_str(), nullptr};
  for (const char* line : bad) {
    g_args.clear();
    EXPECT_EQ(mon_docommand(line, 0), -1) << (line ? line : "null");
    EXPECT_TRUE(g_args.empty());
  }
  EXPECT_EQ(mon_docommand(std::string(256, 'x').c_str(), 0), -1);
  EXPECT_NE(Out().find("line too long"), std::string::npos);
  EXPECT_EQ(mon_docommand("nosuch a b", 0), -1);
  EXPECT_NE(Out().find("Command not found: nosuch\n"), std::string::npos);
  EXPECT_EQ(mon_docommand("", 0), 0);
  // 31 words after the command still run.
  std::string most = "vms";
  for (int i = 0; i < 31; ++i) most += " w";
  EXPECT_EQ(mon_docommand(most.c_str(), 0), 32);
}

TEST_F(CommandTest, HelpPrintsTheAddedHelpLines) {
  ASSERT_EQ(mon_addcommand(kTable), 0);
  EXPECT_EQ(mon_docommand("help vms", 0), 0);
  EXPECT_EQ(Out(), "VMS Functions.\n-[s:d:t] operation [args]...\n");
  EXPECT_EQ(mon_docommand("help", 0), 0);
  std::string all = Out();
  EXPECT_NE(all.find("\ntfs\n"), std::string::npos);
  EXPECT_NE(all.find("\nvms\nVMS\n"), std::string::npos);
  EXPECT_EQ(mon_addcommand(nullptr), -1);
}

TEST_F(CommandTest, FilesRemovedByNameAndPattern) {
  for (const char* n : {"CONFIG.XML", "a.bmp", "Bitmaps/b.bmp", "c.bmp.txt", "nv1.dat"}) ASSERT_EQ(Add(n, "x"), 0);
  EXPECT_EQ(mon_docommand("tfs rm CONFIG.XML", 0), 0);
  EXPECT_EQ(mon_docommand("tfs rm *.bmp", 0), 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"c.bmp.txt", "nv1.dat"}));
  EXPECT_EQ(mon_docommand("tfs rm CONFIG.XML", 0), -1);
  EXPECT_NE(Out().find("CONFIG.XML: no such file"), std::string::npos);
  EXPECT_EQ(mon_docommand("tfs rm *.none", 0), 0);
}

TEST_F(CommandTest, FileListingSpaceAndClean) {
  ASSERT_EQ(mon_tfsadd("monrc", "script", "e", "set A 1\n", 8), 0);
  ASSERT_EQ(Add("gone", std::string(100, 'g')), 0);
  ASSERT_EQ(mon_tfsunlink("gone"), 0);
  EXPECT_EQ(mon_docommand("tfs ls", 0), 0);
  std::string ls = Out();
  EXPECT_NE(ls.find("monrc"), std::string::npos);
  EXPECT_NE(ls.find("script"), std::string::npos);
  EXPECT_EQ(ls.find("gone"), std::string::npos);
  EXPECT_EQ(mon_docommand("tfs cat monrc", 0), 0);
  EXPECT_EQ(Out(), "set A 1\n");
  EXPECT_EQ(mon_docommand("tfs df", 0), 0);
  EXPECT_NE(Out().find("dead 240,"), std::string::npos);
  // Cleaning restarts the board and compacts the flash on the way, while no
  // application holds a file's place.
  EXPECT_EQ(mon_docommand("tfs clean", 0), 0);
  EXPECT_EQ(monitor::restart_count(), 1u);
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), 240);
  Restart();
  EXPECT_EQ(mon_tfsctrl(TFS_CTRL_DEAD, 0, 0), 0);
  EXPECT_EQ(Data("monrc"), "set A 1\n");
  EXPECT_EQ(mon_docommand("tfs", 0), -1);
}

TEST_F(CommandTest, EnvironmentCommands) {
  EXPECT_EQ(mon_docommand("set NAME two words", 0), 0);
  EXPECT_STREQ(mon_getenv("NAME"), "two words");
  EXPECT_EQ(mon_docommand("set NAME", 0), 0);
  EXPECT_EQ(mon_getenv("NAME"), nullptr);
  EXPECT_EQ(mon_docommand("set", 0), 0);
  EXPECT_NE(Out().find("IPADD=192.168.1.20\n"), std::string::npos);
  EXPECT_EQ(mon_docommand("set bad-name x", 0), -1);

  EXPECT_EQ(mon_docommand("etheraddr set 00:1a:2B:3c:4D:5e", 0), 0);
  EXPECT_STREQ(mon_getenv("ETHERADD"), "00:1A:2B:3C:4D:5E");
  for (const char* bad : {"etheraddr set 00:1A:2B:3C:4D", "etheraddr set 00:1A:2B:3C:4D:5E:6F",
                          "etheraddr set 0G:1A:2B:3C:4D:5E", "etheraddr set 001A2B3C4D5E", "etheraddr get"})
    EXPECT_EQ(mon_docommand(bad, 0), -1) << bad;
  EXPECT_STREQ(mon_getenv("ETHERADD"), "00:1A:2B:3C:4D:5E");
}

TEST_F(CommandTest, OutputGoesThroughTheInstalledHook) {
  EXPECT_EQ(mon_service300(Hook), 0);
  mon_printf("%s %d\n", "value", 42);
  mon_docommand("echo a b", 0);
  EXPECT_EQ(g_hooked, "value 42\na b\n");
  EXPECT_EQ(Out(), "");
  mon_service300(nullptr);
  mon_printf("back\n");
  EXPECT_EQ(Out(), "back\n");
}

TEST_F(CommandTest, LockPairBracketsCallsButNotAddedCommands) {
  ASSERT_EQ(mon_addcommand(kTable), 0);
  // Without a lock pair nothing is called.
  EXPECT_EQ(monConnect(MON_TABLE_ADDRESS, nullptr, nullptr), 0);
  mon_getenv("IPADD");
  EXPECT_EQ(g_lock_depth, 0);
  EXPECT_EQ(monConnect(0x1234, Lock, Unlock), -1);
  EXPECT_EQ(monConnect(MON_TABLE_ADDRESS, Lock, Unlock), 0);
  mon_getenv("IPADD");
  EXPECT_EQ(g_lock_depth, 0);
  EXPECT_EQ(mon_docommand("vms -s", 0), 2);
  // The application's command runs without the monitor's lock, so that it
  // may wait for a task that itself needs the monitor.
  EXPECT_EQ(g_depth_in_command, 0);
  EXPECT_EQ(g_lock_depth, 0);
  monConnect(MON_TABLE_ADDRESS, nullptr, nullptr);
}

TEST_F(CommandTest, ConsoleInputComesFromTheFeed) {
  EXPECT_EQ(mon_gotachar(), 0);
  EXPECT_EQ(mon_getchar(), -1);
  monitor::console_feed("1x");
  EXPECT_NE(mon_gotachar(), 0);
  EXPECT_EQ(mon_getchar(), '1');
  EXPECT_EQ(mon_getchar(), 'x');
  EXPECT_EQ(mon_gotachar(), 0);
}

}  // namespace
