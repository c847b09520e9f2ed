// The whole controller started in-process: the trap of its cold start goes
// from the schedule task through the trap queue and the communication
// task's UDP trap client to the trap manager, whose address the host
// configuration maps to a listener on 127.0.0.1; a trap manager moved by
// an SNMP SET gets the next trap at once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "comm/network.h"
#include "comm/ntcip_endpoint.h"
#include "comm/tests/trap_bytes.h"
#include "ntcip/snmp/trap/snmp_trap.h"
#include "tests/controller_fixture.h"
#include "tests/signctl_process.h"

namespace {

class TrapControllerTest : public controller_test {
 protected:
  void SetUp() override {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a));
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    timeval tv{20, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  void TearDown() override {
    controller_test::TearDown();
    close(fd_);
  }
  std::string Receive() {
    std::vector<char> buf(4096);
    ssize_t n = recv(fd_, buf.data(), buf.size(), 0);
    return n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
  }

  // Before any task runs: a cold start, and traps of the generic `kinds`
  // pushed over UDP to the manager 10.20.30.40:162.
  static void ColdStartPushingTraps(uint32_t kinds) {
    g_reset_mode = 0;
    rtos::cpu_scope s;
    uint8_t* nv = Db().mib_nv;
    Set(nv, nv::quorRemoteIPAddress, IP_ADDRESS(10, 20, 30, 40));
    Set(nv, nv::quorRemoteIPPort, 162);
    Set(nv, nv::quorCommConfigTraps(4), 3);
    Set(nv, nv::quorCommConfigProtocol(4), 11);
    Set(nv, nv::quorTrapsGeneric, kinds);
  }

  int fd_ = -1;
  uint16_t port_ = 0;
  // The trace goes here rather than out of the console's line.
  trace_capture trace_;
};

TEST_F(TrapControllerTest, ColdStartTrapReachesTheTrapManager) {
  // The manager 10.20.30.40:162 is, on this host, the listener.
  const uint16_t port = port_;
  Boot([port] {
    net_host_config net;
    net.ephemeral = true;
    net_peer_map peer;
    peer.address = IP_ADDRESS(10, 20, 30, 40);
    peer.port = 162;
    peer.host_port = port;
    net.peers.push_back(peer);
    ASSERT_TRUE(net_host_configure(net));
  });
  ColdStartPushingTraps(0x41);
  // The schedule task raises the trap; the network is up after 1000 ticks
  // and the communication task's next step sends it.
  rtos::advance(1300);
  const std::string got = Receive();
  ASSERT_FALSE(got.empty()) << "no trap came";
  const int64_t ts = trap_bytes::TimeStamp(got);
  ASSERT_GE(ts, 0);
  EXPECT_EQ(trap_bytes::Message("fernly", g_ntcip_ip.Own().bytes, 0, 0, static_cast<uint32_t>(ts)), got);
}

// net-snmp's trap receiver on two loopback ports, logging what it receives
// (with the port each trap came to) into a file.
class trap_receiver {
 public:
  bool Start(uint16_t first, uint16_t second) {
    char folder[] = "/tmp/signctl-traps-XXXXXX";
    if (!mkdtemp(folder)) return false;
    folder_ = folder;
    std::ofstream(folder_ + "/snmptrapd.conf") << "disableAuthorization yes\n";
    const std::string listen = "udp:127.0.0.1:" + std::to_string(first) + ",udp:127.0.0.1:" + std::to_string(second);
    pid_ = signctl_test::Spawn({kTrapd, "-f", "-Lf", folder_ + "/log", "-n", "-On", "-m", "", "-C", "-c",
                                folder_ + "/snmptrapd.conf", listen},
                               -1, -1, {"SNMP_PERSISTENT_DIR=" + folder_});
    return pid_ > 0 && WaitFor("NET-SNMP version");
  }
  ~trap_receiver() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  std::string Log() const {
    std::ifstream in(folder_ + "/log");
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  // Waits, the manual clock stepping on, until the log holds `text`.
  bool WaitFor(const std::string& text, bool step_clock = false) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      if (Log().find(text) != std::string::npos) return true;
      if (step_clock) rtos::advance(10);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // The log's mark of a trap that came to the port.
  static std::string Arrival(uint16_t port) { return "->[127.0.0.1]:" + std::to_string(port) + ") TRAP, SNMP v1"; }

  static constexpr const char* kTrapd = "/usr/sbin/snmptrapd";

 private:
  std::string folder_;
  pid_t pid_ = -1;
};

// The trap manager moved by a SET of its address: the trap client binds its
// port (a fixed host port, as in a running controller) again and the next
// trap goes to the new manager.
TEST_F(TrapControllerTest, TrapDestinationSetOverSnmpTakesEffectAtOnce) {
  if (access(trap_receiver::kTrapd, X_OK) != 0 || access("/usr/bin/snmpset", X_OK) != 0)
    GTEST_SKIP() << "net-snmp's tools are not installed (Debian packages snmp, snmptrapd)";
  const uint16_t first = signctl_test::FreePort();
  uint16_t second = signctl_test::FreePort();
  while (second == first) second = signctl_test::FreePort();
  const uint16_t trap_port = signctl_test::FreePort();
  trap_receiver manager;
  ASSERT_TRUE(manager.Start(first, second)) << manager.Log();
  Boot([&] {
    net_host_config net;
    net.ephemeral = true;
    net.ports.push_back({162, trap_port});
    net.peers.push_back({IP_ADDRESS(10, 20, 30, 40), 162, IP_ADDRESS(127, 0, 0, 1), first});
    net.peers.push_back({IP_ADDRESS(10, 20, 30, 41), 162, IP_ADDRESS(127, 0, 0, 1), second});
    ASSERT_TRUE(net_host_configure(net));
  });
  ColdStartPushingTraps(0x43);  // warm starts too
  rtos::advance(1300);
  ASSERT_TRUE(manager.WaitFor(trap_receiver::Arrival(first), true)) << manager.Log();

  const uint16_t agent = net_host_port(&g_netx_ip, net_proto::udp, 161);
  signctl_test::run_result r = signctl_test::RunProgram(
      {"/usr/bin/snmpset", "-m", "", "-t", "5", "-r", "1", "-v", "1", "-c", "Fernly",
       "127.0.0.1:" + std::to_string(agent), "1.3.6.1.4.1.1206.3.11.2.21.1.0", "a", "10.20.30.41"});
  ASSERT_EQ(0, r.status) << r.output;
  rtos::advance(300);  // the schedule task's next step aims the clients anew
  EXPECT_FALSE(trace_.contains("bind failed"));

  InThread([] { snmp_raise_trap(1, 0, 0, nullptr); });
  ASSERT_TRUE(manager.WaitFor("Warm Start", true)) << manager.Log();
  const std::string log = manager.Log();
  const size_t warm = log.find("Warm Start");
  EXPECT_EQ(log.rfind(trap_receiver::Arrival(second), warm), log.rfind("->[127.0.0.1]:", warm))
      << "the warm start came to another port: " << log;
}

}  // namespace
