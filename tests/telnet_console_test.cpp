// The whole controller in-process on the manual clock, reached through its
// telnet console on the mapped host port: Debian's telnet client on a
// pseudo-terminal logs in and runs "vms -s", and a plain socket client does
// the same where the telnet client is not installed.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "board_host.h"
#include "comm/network.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/monitor/monitor_task.h"
#include "frame/startup/startup.h"
#include "frame/timer/timer_scheduler.h"
#include "monitor_host.h"
#include "net_host.h"
#include "rtos_host.h"

extern CDataBase g_database;

namespace {

const char* const kTelnet = "/usr/bin/telnet";

class TelnetConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The telnet port on an ephemeral host port, so runs do not collide.
    net_host_config nc = net_host_current_config();
    nc.ports.push_back({23, 0});
    ASSERT_TRUE(net_host_configure(nc));
    net_host_set_trace([](const char*) {});
    board::board_config config;
    config.serial[1].kind = board::serial_kind::none;
    board::reset(config);
    monitor::reset();
    startup_subscribe();
    rtos::kernel_config k;
    k.memory_size = 32u << 20;
    rtos::kernel_start(k, [](void* mem) { tx_application_define(mem); });
    // The telnet console is a service the sign's owner switches on.
    rtos::run_in_thread([&] {
      CDataBase& db = g_database;
      uint32_t features = db.GetValue(nv::quorFeatureSet.offset, 4, db.mib_nv, 0);
      db.SetValue(nv::quorFeatureSet.offset, 4, features | CMonitorTask::FEATURE_TELNET, db.mib_nv, 0);
      uint32_t len = 0;
      const uint8_t* p = db.GetString(nv::communityNameAdmin.offset, 4, db.mib_nv, &len);
      password_.assign(reinterpret_cast<const char*>(p), len);
    });
    ASSERT_FALSE(password_.empty());
    // The communication task brings the network up at its first step and
    // announces it; the monitor task starts the server at its next step.
    rtos::advance(1100);
    port_ = net_host_port(&g_netx_ip, net_proto::tcp, 23);
    ASSERT_NE(port_, 0) << "the telnet console did not start";
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
    net_host_shutdown();
    board::shutdown();
    rtos::kernel_stop();
    monitor::shutdown();
    timer_scheduler_tx_rtos::DestroyInstance();
    net_host_set_trace(nullptr);
  }

  // Reads until `want` has come, letting the controller's clock run while
  // nothing arrives (bounded).
  std::string ReadUntil(const std::string& want) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen_.find(want, from_) == std::string::npos && std::chrono::steady_clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 2) > 0) {
        char buf[512];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n <= 0) break;
        seen_.append(buf, static_cast<size_t>(n));
      } else {
        rtos::advance(1);
      }
    }
    size_t at = seen_.find(want, from_);
    EXPECT_NE(at, std::string::npos) << "waited for [" << want << "], got [" << seen_.substr(from_) << "]";
    std::string got = seen_.substr(from_, at == std::string::npos ? std::string::npos : at + want.size() - from_);
    if (at != std::string::npos) from_ = at + want.size();
    return got;
  }
  void Type(const std::string& text) {
    ASSERT_EQ(write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  // The login and the status, whichever client carries them.
  void LogInAndAskForTheStatus() {
    ReadUntil("Password: ");
    Type("wrong\r");
    ReadUntil("\r\nFAILURE\r\nPassword: ");
    EXPECT_NE(g_pMonitor->Mode(), CMonitorTask::MODE_TELNET);
    Type(password_ + "\r");
    ReadUntil("\r\nSUCCESS\r\nVMS>");
    EXPECT_EQ(g_pMonitor->Mode(), CMonitorTask::MODE_TELNET);
    Type("vms -s\r");
    std::string status = ReadUntil("VMS>");
    for (const char* line : {"-Uptime(y/d/h/m/s) = 0/0/00/00/", "-Display:", ", Peripheral:", ", Schedule:", ", Comm:",
                             "\r\n-Interrupts RX:", "\r\n-byte_pool_0 usage:0x", " of 0x30000\r\n",
                             "\r\n-dyn db usage:0x", " of 0x200000\r\n", "-Q5 CAN\t", "-DB CAN\t", "-LTP CAN\t"})
      EXPECT_NE(status.find(line), std::string::npos) << line << " in " << status;
  }

  std::string password_;
  uint16_t port_ = 0;
  int fd_ = -1;
  pid_t child_ = -1;
  std::string seen_;
  size_t from_ = 0;
};

TEST_F(TelnetConsoleTest, DebianTelnetClientLogsInAndReadsTheStatus) {
  if (access(kTelnet, X_OK) != 0) GTEST_SKIP() << "no telnet client (make deps installs it)";
  const std::string port = std::to_string(port_);
  child_ = forkpty(&fd_, nullptr, nullptr, nullptr);
  ASSERT_GE(child_, 0);
  if (child_ == 0) {
    execl(kTelnet, "telnet", "127.0.0.1", port.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ReadUntil("Connected to 127.0.0.1.");
  LogInAndAskForTheStatus();
  // The client goes away: the trace goes back to the serial console.
  kill(child_, SIGKILL);
  waitpid(child_, nullptr, 0);
  child_ = -1;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (g_pMonitor->Mode() == CMonitorTask::MODE_TELNET && std::chrono::steady_clock::now() < end) {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 2);
    rtos::advance(1);
  }
  EXPECT_EQ(g_pMonitor->Mode(), CMonitorTask::MODE_CONSOLE);
}

TEST_F(TelnetConsoleTest, SocketClientLogsInAndReadsTheStatus) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port_);
  ASSERT_EQ(connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  LogInAndAskForTheStatus();
}

}  // namespace
