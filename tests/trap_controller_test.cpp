// The whole controller started in-process: the trap of its cold start goes
// from the schedule task through the trap queue and the communication
// task's UDP trap client to the trap manager, whose address the host
// configuration maps to a listener on 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "comm/ntcip_endpoint.h"
#include "comm/tests/trap_bytes.h"
#include "tests/controller_fixture.h"

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
  // Before any task runs: a cold start, and traps pushed over UDP.
  g_reset_mode = 0;
  {
    rtos::cpu_scope s;
    uint8_t* nv = Db().mib_nv;
    Set(nv, nv::quorRemoteIPAddress, IP_ADDRESS(10, 20, 30, 40));
    Set(nv, nv::quorRemoteIPPort, 162);
    Set(nv, nv::quorCommConfigTraps(4), 3);
    Set(nv, nv::quorCommConfigProtocol(4), 11);
    Set(nv, nv::quorTrapsGeneric, 0x41);
  }
  // The schedule task raises the trap; the network is up after 1000 ticks
  // and the communication task's next step sends it.
  rtos::advance(1300);
  const std::string got = Receive();
  ASSERT_FALSE(got.empty()) << "no trap came";
  const int64_t ts = trap_bytes::TimeStamp(got);
  ASSERT_GE(ts, 0);
  EXPECT_EQ(trap_bytes::Message("fernly", g_ntcip_ip.Own().bytes, 0, 0, static_cast<uint32_t>(ts)), got);
}

}  // namespace
