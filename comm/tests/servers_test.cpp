// The UDP and TCP servers on host sockets, with managers at the other end:
// every answer reaches the manager that asked, whole, and one datagram never
// runs into another.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "comm/tests/comm_fixture.h"
#include "database/objects.h"

namespace {

using namespace ct;

CUDP_Server* g_udp = nullptr;
CTCP_Server* g_tcp = nullptr;

int udp_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  return g_udp && to ? g_udp->SendTo(frame, length, *to) : 0;
}
int tcp_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to) {
  return g_tcp && to ? g_tcp->SendTo(frame, length, *to) : 0;
}

class ServerTest : public CommTest {
 protected:
  bool WithNetwork() const override { return true; }
  void SetUp() override {
    CommTest::SetUp();
    g_udp = &udp_;
    g_tcp = &tcp_;
    udp_.SetProtocol(ETHERNET_PROTOCOL_SNMP);
    tcp_.SetProtocol(ETHERNET_PROTOCOL_SNMP);
  }
  void TearDown() override {
    CommTest::TearDown();
    g_udp = nullptr;
    g_tcp = nullptr;
  }
  int Udp() {
    fds_.push_back(HostUdp());
    return fds_.back();
  }
  uint16_t ListenUdp(uint16_t port) {
    {
      rtos::cpu_scope s;
      udp_.Listen(port);
    }
    return HostPort(net_proto::udp, port);
  }
  uint16_t OpenTcp(uint16_t port) {
    {
      rtos::cpu_scope s;
      EXPECT_EQ(1, tcp_.Open(port, 0));
    }
    return HostPort(net_proto::tcp, port);
  }

  CUDP_Server udp_;
  CTCP_Server tcp_;
};

// Two managers ask at once, each waiting for its answer before the next
// question as managers do; each gets the answers to its own questions, from
// the SNMP port.
TEST_F(ServerTest, UdpAnswersGoToTheManagerThatAsked) {
  Link("ethernet_udp", echo_deliver, udp_send);
  const uint16_t port = ListenUdp(161);
  ASSERT_NE(0, port);
  const int a = Udp(), b = Udp();
  constexpr int kRounds = 50;
  auto manager = [&](int fd, const std::string& name, std::vector<std::string>* wrong) {
    for (int i = 0; i < kRounds; ++i) {
      const std::string q = Sequence(name + std::to_string(i));
      SendTo(fd, port, q);
      sockaddr_in from{};
      socklen_t len = sizeof from;
      std::vector<char> buf(4096);
      ssize_t n = recvfrom(fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
      std::string answer = n < 0 ? std::string() : std::string(buf.data(), static_cast<size_t>(n));
      if (answer != "re:" + q || ntohs(from.sin_port) != port) wrong->push_back(q + " got " + answer);
    }
  };
  std::vector<std::string> wrong_a, wrong_b;
  std::thread second(manager, b, "b", &wrong_b);
  manager(a, "a", &wrong_a);
  second.join();
  EXPECT_TRUE(wrong_a.empty()) << wrong_a.front();
  EXPECT_TRUE(wrong_b.empty()) << wrong_b.front();
  EXPECT_EQ(2u * kRounds, deliveries().Items().size());
}

TEST_F(ServerTest, UdpShortOrMalformedDatagramStandsAlone) {
  Link("ethernet_udp", echo_deliver, udp_send);
  const uint16_t port = ListenUdp(161);
  const int a = Udp();
  const std::string m = Sequence("whole message");
  SendTo(a, port, m.substr(0, 5));  // short: dropped at its end
  SendTo(a, port, "\x02\x01\x05");  // no SEQUENCE
  SendTo(a, port, m);
  EXPECT_EQ("re:" + m, Recv(a));
  ASSERT_TRUE(deliveries().WaitFor(1));
  EXPECT_EQ(1u, deliveries().Items().size());
}

// An answer longer than a single frame goes whole, up to 3000 bytes.
TEST_F(ServerTest, UdpLongAnswersGoWhole) {
  Link("ethernet_udp", echo_deliver, udp_send);
  const uint16_t port = ListenUdp(161);
  const int a = Udp();
  const std::string m = Sequence(std::string(1990, 'L'));
  SendTo(a, port, m);
  EXPECT_EQ("re:" + m, Recv(a));
  ASSERT_TRUE(deliveries().WaitFor(1));
  const ethernet_peer peer = deliveries().Items()[0].from;
  const std::string full(ETHERNET_FRAME_SIZE, 'F');
  rtos::run_in_thread([&] {
    EXPECT_EQ(1, udp_.SendTo(reinterpret_cast<const uint8_t*>(full.data()), ETHERNET_FRAME_SIZE, peer));
    EXPECT_EQ(0, udp_.SendTo(reinterpret_cast<const uint8_t*>(full.data()), ETHERNET_FRAME_SIZE + 1, peer));
    EXPECT_EQ(1, udp_.Send(reinterpret_cast<const uint8_t*>("last"), 4));
  });
  EXPECT_EQ(full, Recv(a));
  EXPECT_EQ("last", Recv(a));
}

TEST_F(ServerTest, UdpProtocolsOfStreamsDropDatagrams) {
  Link("ethernet_udp", echo_deliver, udp_send);
  const uint16_t port = ListenUdp(161);
  const int a = Udp();
  udp_.SetProtocol(ETHERNET_PROTOCOL_PMPP);
  SendTo(a, port, Sequence("dropped"));
  // The server notes the sender of every datagram, served or not.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  auto last_port = [&] {
    rtos::cpu_scope s;
    return udp_.LastSenderPort();
  };
  while (last_port() != LocalPort(a) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  udp_.SetProtocol(7);  // any code but 9 and 10 carries SNMP
  SendTo(a, port, Sequence("served"));
  EXPECT_EQ("re:" + Sequence("served"), Recv(a));
  EXPECT_EQ(1u, deliveries().Items().size());
}

TEST_F(ServerTest, RealTimeDataDatagrams) {
  auto stored = [&] {
    rtos::cpu_scope s;
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(vol::quorRealTimeData.offset, 4, db_->mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  };
  struct {
    std::string datagram, stored;
  } cases[] = {
      {std::string("\x0D" "1234567", 8), ""},            // header only
      {std::string("\x0E" "1234567data", 12), ""},       // not marked 13
      {std::string("\x0D" "1234567speed 50", 16), "speed 50"},
  };
  for (const auto& c : cases) {
    rtos::run_in_thread([&] {
      udp_real_time_data(reinterpret_cast<const uint8_t*>(c.datagram.data()), static_cast<uint32_t>(c.datagram.size()));
    });
    EXPECT_EQ(c.stored, stored());
  }
  // And from a datagram on port 3002.
  const uint16_t port = ListenUdp(REAL_TIME_DATA_PORT);
  const int a = Udp();
  SendTo(a, port, std::string("\x0D" "1234567speed 55", 16));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (stored() != "speed 55" && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ("speed 55", stored());
}

TEST_F(ServerTest, TcpStreamIsAssembledAndAnsweredOnItsConnection) {
  Link("ethernet_tcp", echo_deliver, tcp_send);
  const uint16_t port = OpenTcp(161);
  ASSERT_NE(0, port);
  int c = Connect(port);
  ASSERT_GE(c, 0);
  fds_.push_back(c);
  const std::string a = Sequence("one"), b = Sequence(std::string(1800, 'y'));
  ASSERT_TRUE(Write(c, a.substr(0, 2)));
  ASSERT_TRUE(Write(c, a.substr(2) + b));  // the rest of one, then another whole
  const std::string expected = "re:" + a + "re:" + b;
  EXPECT_EQ(expected, Read(c, expected.size()));
}

// When a connection ends its port is listened again, and an answer meant
// for the old connection never reaches the new one.
TEST_F(ServerTest, TcpPortIsListenedAgainAfterAConnection) {
  Link("ethernet_tcp", echo_deliver, tcp_send);
  const uint16_t port = OpenTcp(161);
  int c = Connect(port);
  ASSERT_GE(c, 0);
  const std::string a = Sequence("first");
  ASSERT_TRUE(Write(c, a));
  EXPECT_EQ("re:" + a, Read(c, 3 + a.size()));
  ASSERT_TRUE(deliveries().WaitFor(1));
  const ethernet_peer old = deliveries().Items()[0].from;
  close(c);

  int d = Connect(port);
  ASSERT_GE(d, 0);
  fds_.push_back(d);
  const std::string b = Sequence("second");
  ASSERT_TRUE(Write(d, b));
  EXPECT_EQ("re:" + b, Read(d, 3 + b.size()));
  rtos::run_in_thread([&] { EXPECT_EQ(0, tcp_.SendTo(reinterpret_cast<const uint8_t*>("stale"), 5, old)); });
  const std::string c2 = Sequence("third");
  ASSERT_TRUE(Write(d, c2));
  EXPECT_EQ("re:" + c2, Read(d, 3 + c2.size()));  // nothing stale came before it
}

TEST_F(ServerTest, TcpLongAnswersGoWhole) {
  Link("ethernet_tcp", echo_deliver, tcp_send);
  const uint16_t port = OpenTcp(161);
  int c = Connect(port);
  ASSERT_GE(c, 0);
  fds_.push_back(c);
  const std::string a = Sequence("x");
  ASSERT_TRUE(Write(c, a));
  EXPECT_EQ("re:" + a, Read(c, 3 + a.size()));
  ASSERT_TRUE(deliveries().WaitFor(1));
  const ethernet_peer peer = deliveries().Items()[0].from;
  const std::string full(ETHERNET_FRAME_SIZE, 'T');
  rtos::run_in_thread([&] {
    EXPECT_EQ(1, tcp_.SendTo(reinterpret_cast<const uint8_t*>(full.data()), ETHERNET_FRAME_SIZE, peer));
    EXPECT_EQ(0, tcp_.SendTo(reinterpret_cast<const uint8_t*>(full.data()), ETHERNET_FRAME_SIZE + 1, peer));
  });
  EXPECT_EQ(full, Read(c, full.size()));
}

TEST_F(ServerTest, ListeningTakesFreeWorkersUntilNoneIsLeft) {
  rtos::cpu_scope s;
  for (uint16_t p : {161, 14001, 162, 15002}) EXPECT_EQ(0u, tcp_server_listen(p, &tcp_));
  uint32_t free = 0;
  for (uint32_t i = 0; i < TCP_WORKERS; ++i) free += tcp_thread_records()[i].free;
  EXPECT_EQ(1u, free);
  EXPECT_EQ(0u, tcp_server_listen(3000, &tcp_));
  EXPECT_EQ(1u, tcp_server_listen(3001, &tcp_));
  EXPECT_EQ(0u, udp_thread_listen_setup(161, &udp_));
  EXPECT_EQ(0u, udp_thread_listen_setup(3002, &udp_));
  EXPECT_EQ(1u, udp_thread_listen_setup(4000, &udp_));
}

}  // namespace
