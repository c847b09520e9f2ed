// PPP over the Ethernet TCP port of the whole controller, played by the
// suite's own PPP peer on loopback: every new connection is a new peer that
// negotiates and authenticates afresh; it is never served on the former
// peer's login, and the former peer's challenge answers nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "comm/network.h"
#include "comm/servers/udp_server.h"
#include "comm/tests/ppp_fixture.h"
#include "tests/controller_fixture.h"

namespace {

using namespace pt;

class PppTcpControllerTest : public controller_test {
 protected:
  void TearDown() override {
    for (int fd : fds_) close(fd);
    controller_test::TearDown();
  }

  int Connect() {
    const uint16_t port = net_host_port(&g_netx_ip, net_proto::tcp, 161);
    EXPECT_NE(0, port);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    timeval tv{0, 50000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    fds_.push_back(fd);
    return fd;
  }

  // Sends as the peer, then gathers what the controller sends until a frame
  // of the protocol and code came, or a bounded wait ends (the clock
  // stepping on): long when the frame is awaited, short when it must not
  // come.
  std::vector<frame> Exchange(int fd, const std::string& bytes, uint16_t protocol, int code, bool awaited = true) {
    if (!bytes.empty()) {
      EXPECT_EQ(static_cast<ssize_t>(bytes.size()), send(fd, bytes.data(), bytes.size(), 0));
    }
    std::string wire;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(awaited ? 20 : 3);
    while (std::chrono::steady_clock::now() < end) {
      char buf[4096];
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n > 0) wire.append(buf, static_cast<size_t>(n));
      if (Find(Parse(wire), protocol, code)) break;
      rtos::advance(1);
    }
    return Parse(wire);
  }
  static const frame* Find(const std::vector<frame>& frames, uint16_t protocol, int code) {
    for (const frame& f : frames)
      if (f.protocol == protocol && Code(f) == code) return &f;
    return nullptr;
  }
  // LCP both ways; the controller's Challenge that follows.
  frame OpenLcp(int fd) {
    auto frames = Exchange(fd, Frame(PPP_PROTOCOL_LCP, Packet(1, 1, Bytes({0x02, 0x06, 0, 0, 0, 0}))),
                           PPP_PROTOCOL_LCP, 1);
    const frame* request = Find(frames, PPP_PROTOCOL_LCP, 1);
    EXPECT_NE(nullptr, request) << "no Configure-Request";
    if (!request) return frame{};
    frames = Exchange(fd, Frame(PPP_PROTOCOL_LCP, Packet(2, Id(*request), Data(*request))), PPP_PROTOCOL_CHAP, 1);
    const frame* challenge = Find(frames, PPP_PROTOCOL_CHAP, 1);
    EXPECT_NE(nullptr, challenge) << "no Challenge";
    return challenge ? *challenge : frame{};
  }
  // The answer to an SNMP request in a frame of protocol 0xC1, if any.
  bool SnmpAnswered(int fd, bool awaited) {
    return Find(Exchange(fd, Frame(PPP_PROTOCOL_SNMP, GetSysDescr()), PPP_PROTOCOL_SNMP, 0x30, awaited),
                PPP_PROTOCOL_SNMP, 0x30) != nullptr;
  }

  std::vector<int> fds_;
  trace_capture trace_;
};

TEST_F(PppTcpControllerTest, ANewConnectionNegotiatesAndAuthenticatesAfresh) {
  Boot();
  {
    rtos::cpu_scope s;
    Set(Db().mib_nv, nv::quorCommConfigProtocol(4), ETHERNET_PROTOCOL_PPP);
  }
  rtos::advance(1300);

  // The first peer logs in and is served.
  const int first = Connect();
  const frame challenge = OpenLcp(first);
  ASSERT_EQ(1, Code(challenge));
  const std::string response = ChapResponse(challenge);
  ASSERT_TRUE(Find(Exchange(first, Frame(PPP_PROTOCOL_CHAP, response), PPP_PROTOCOL_CHAP, 3), PPP_PROTOCOL_CHAP, 3))
      << "no Success";
  EXPECT_TRUE(SnmpAnswered(first, true));
  close(first);
  fds_.clear();
  rtos::advance(100);

  // The second peer is not served on that login, and the first peer's
  // response, sent again, does not log it in.
  const int second = Connect();
  EXPECT_FALSE(SnmpAnswered(second, false));
  auto frames = Exchange(second, Frame(PPP_PROTOCOL_CHAP, response), PPP_PROTOCOL_CHAP, 3, false);
  EXPECT_EQ(nullptr, Find(frames, PPP_PROTOCOL_CHAP, 3)) << "the former peer's response was taken";
  EXPECT_FALSE(SnmpAnswered(second, false));

  // Its own negotiation brings a challenge of its own, and its answer logs
  // it in.
  const frame fresh = OpenLcp(second);
  ASSERT_EQ(1, Code(fresh));
  EXPECT_NE(Data(challenge), Data(fresh));
  ASSERT_TRUE(Find(Exchange(second, Frame(PPP_PROTOCOL_CHAP, ChapResponse(fresh)), PPP_PROTOCOL_CHAP, 3),
                   PPP_PROTOCOL_CHAP, 3))
      << "no Success";
  EXPECT_TRUE(SnmpAnswered(second, true));
}

}  // namespace
