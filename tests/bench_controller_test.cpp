// The program on a bench as a new user sets one up: a full-matrix colour
// sign, a UPS and two CAN boards (loaded as peripherals from the records the
// bench writes), the telnet console and a trap manager.
// It boots without losing a module, shows an activated three-line message
// in sign.png, sends its cold start to snmptrapd, and lets the panel tool
// and telnet log in, each driven through a pseudo-terminal as a user types.
#include <gtest/gtest.h>
#include <pty.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "display/tests/sign_picture_rows.h"
#include "tests/signctl_process.h"

#ifndef SIGNCTL_PANEL_PATH
#define SIGNCTL_PANEL_PATH "signctl-panel"
#endif

namespace {

using namespace signctl_test;

// A program on a pseudo-terminal: what it prints, and keys typed to it.
class pty_program {
 public:
  explicit pty_program(const std::vector<std::string>& args) {
    // Made before the fork: the child of a threaded process must not
    // allocate before its exec.
    const std::vector<std::string> env = {"TERM=dumb"};
    std::vector<char*> argv = ArgvOf(args);
    std::vector<char*> envp = EnvironmentWith(env);
    pid_ = forkpty(&fd_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
  }
  ~pty_program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }
  void Type(const std::string& keys) { ASSERT_EQ(write(fd_, keys.data(), keys.size()), ssize_t(keys.size())); }
  // Reads until the text appears after what earlier waits consumed.
  bool WaitFor(const std::string& text, std::chrono::seconds bound = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
      const size_t at = output_.find(text, seen_);
      if (at != std::string::npos) {
        seen_ = at + text.size();
        return true;
      }
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 200) > 0) {
        char buf[4096];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) return false;
        output_.append(buf, static_cast<size_t>(n));
      }
    }
    return false;
  }
  const std::string& Output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string output_;
  size_t seen_ = 0;
};

std::string Snmp(const std::vector<std::string>& args) {
  const run_result r = RunProgram(args);
  EXPECT_EQ(r.status, 0) << r.output;
  return r.output;
}

// Rows of the sign with a lit dot, grouped into bands of adjacent rows.
int LitBands(const std::vector<std::string>& rows) {
  int bands = 0;
  bool in_band = false;
  for (const std::string& r : rows) {
    const bool lit = r.find('#') != std::string::npos;
    if (lit && !in_band) ++bands;
    in_band = lit;
  }
  return bands;
}

TEST(BenchController, ARealisticBenchRunsAsTheReadmeSays) {
  for (const char* tool : {"/usr/bin/snmpset", "/usr/bin/snmpget", "/usr/sbin/snmptrapd", "/usr/bin/telnet"})
    if (access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is not installed";

  // The trap manager, started first, as the README has it.
  const uint16_t trap_port = FreePort();
  char folder[] = "/tmp/signctl-trapd-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string trapd_conf = std::string(folder) + "/snmptrapd.conf";
  std::ofstream(trapd_conf) << "disableAuthorization yes\n";
  pty_program trapd({"/usr/sbin/snmptrapd", "-f", "-Lo", "-C", "-m", "", "-c", trapd_conf,
                     "udp:127.0.0.1:" + std::to_string(trap_port)});
  ASSERT_TRUE(trapd.WaitFor("NET-SNMP version")) << trapd.Output();

  const uint16_t telnet_port = FreePort(), panel_port = FreePort();
  signctl_process controller;
  controller.SetBench("# the bench of this test\n"
                      "sign 97 32 112\n"
                      "ups q1\n"
                      "can 0x42109 temperature 23\n"
                      "can 0x42110 humidity 40\n"
                      "telnet on\n"
                      "traps 127.0.0.1:" + std::to_string(trap_port) + "\n");
  controller.MapPort(23, telnet_port);
  controller.MapPort(15002, panel_port);
  ASSERT_TRUE(controller.Start()) << controller.Output();
  EXPECT_NE(controller.Output().find("bench: 32 x 112 sign of 16x16 FULL COLOR GEN4 modules, front panel, UPS on AUX, "
                                     "2 CAN board(s)"),
            std::string::npos)
      << controller.Output();

  EXPECT_TRUE(trapd.WaitFor("Cold Start Trap (0)")) << trapd.Output();

  // A three-line message as changeable message 1, activated with its CRC.
  const std::string agent = controller.Agent();
  const std::string m = "1.3.6.1.4.1.1206.4.2.3.5.8.1";
  Snmp({"/usr/bin/snmpset", "-v2c", "-c", "Fernly", agent, m + ".9.3.1", "i", "6"});
  Snmp({"/usr/bin/snmpset", "-v2c", "-c", "Fernly", agent, m + ".3.3.1", "s",
        "FIRST LINE[nl]SECOND LINE[nl]THIRD LINE", m + ".4.3.1", "s", "tmc"});
  Snmp({"/usr/bin/snmpset", "-v2c", "-c", "Fernly", agent, m + ".9.3.1", "i", "7"});
  const std::string crc_text = Snmp({"/usr/bin/snmpget", "-v2c", "-c", "fernly", "-Oqv", agent, m + ".5.3.1"});
  const unsigned crc = static_cast<unsigned>(std::strtoul(crc_text.c_str(), nullptr, 10));
  char code[32];
  std::snprintf(code, sizeof code, "FFFFFF030001%04X7F000001", crc);
  Snmp({"/usr/bin/snmpset", "-v2c", "-c", "Fernly", agent, "1.3.6.1.4.1.1206.4.2.3.6.3.0", "x", code});
  std::vector<std::string> rows;
  for (int i = 0; i < 100 && LitBands(rows) != 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rows = sign_picture_rows(controller.Folder() + "/sign.png");
  }
  ASSERT_EQ(rows.size(), 32u);
  EXPECT_EQ(rows[0].size(), 112u);
  EXPECT_EQ(LitBands(rows), 3) << "three lines of text on the sign";

  // The panel tool: the status screen, then the key switch, the PIN and
  // the main menu.
  pty_program panel({SIGNCTL_PANEL_PATH, "--plain", "127.0.0.1:" + std::to_string(panel_port)});
  ASSERT_TRUE(panel.WaitFor("REMOTE MODE - LOGGED OUT")) << panel.Output();
  panel.Type("\x0c");  // Ctrl-L: the key switch to local
  ASSERT_TRUE(panel.WaitFor("LOCAL MODE - LOGGED OUT")) << panel.Output();
  panel.Type("\r");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  for (char digit : std::string("1234")) {
    panel.Type(std::string(1, digit));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
  }
  panel.Type("\r");
  EXPECT_TRUE(panel.WaitFor("WELCOME TO THE MAIN MENU")) << panel.Output();
  EXPECT_EQ(panel.Output().find("closed the panel link"), std::string::npos);

  // Telnet with the README's password.
  pty_program telnet({"/usr/bin/telnet", "127.0.0.1", std::to_string(telnet_port)});
  ASSERT_TRUE(telnet.WaitFor("Password:")) << telnet.Output();
  telnet.Type("quillfeathers\r\n");
  EXPECT_TRUE(telnet.WaitFor("SUCCESS")) << telnet.Output();
  telnet.Type("vms -s\r\n");
  EXPECT_TRUE(telnet.WaitFor("-Uptime")) << telnet.Output();
  // The CAN boards were loaded as peripherals from the records the bench
  // wrote for them.
  telnet.Type("vms -d peripheral\r\n");
  EXPECT_TRUE(telnet.WaitFor("-TEMPSIGN1(0x000D) state=")) << telnet.Output();
  EXPECT_TRUE(telnet.WaitFor("-HUMIDITY SIGN1(0x0277) state=")) << telnet.Output();

  // All this while, every module answered.
  EXPECT_EQ(controller.Output().find("comm lost"), std::string::npos) << controller.Output();
  EXPECT_EQ(controller.Output().find("reports no support of pixel test"), std::string::npos);
  std::filesystem::remove_all(folder);
}

}  // namespace
