// The UDP and TCP clients of the main IP instance against peers on
// 127.0.0.1: what a datagram delivers, and the TCP client's connection:
// made for a buffer, kept while buffers come, left when the peer closes and
// made again for the next buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "comm/clients/tcp_client.h"
#include "comm/clients/udp_client.h"
#include "comm/tests/comm_fixture.h"
#include "frame/trace/trace.h"

namespace {

using namespace ct;

template <class F>
bool WaitUntil(F done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    rtos::settle();
    {
      rtos::cpu_scope s;
      if (done()) return true;
    }
    std::this_thread::yield();
  }
  rtos::cpu_scope s;
  return done();
}

class ClientTest : public CommTest {
 protected:
  bool WithNetwork() const override { return true; }
  void SetUp() override {
    CommTest::SetUp();
    stack_.reset(new uint8_t[TCP_CLIENT_STACK]);
  }
  void TearDown() override {
    CommTest::TearDown();
    tcp_client_forget_all();
  }
  int Listener() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 4);
    Bounded(fd);
    fds_.push_back(fd);
    return fd;
  }
  int Accept(int listener) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd >= 0) {
      Bounded(fd);
      fds_.push_back(fd);
    }
    return fd;
  }
  void StartTcp(uint16_t remote_port) {
    ASSERT_TRUE(rtos::run_in_thread([&] {
      uint8_t* cursor = stack_.get();
      tcp_client_initialize(&tcp_, &g_netx_ip, &cursor, &g_netx_pool);
      EXPECT_EQ(stack_.get() + TCP_CLIENT_STACK, cursor);
      tcp_client_configure(&tcp_, 162, IP_ADDRESS(127, 0, 0, 1), remote_port);
    }));
  }
  int Hand(const std::string& bytes) {
    int result = -1;
    rtos::run_in_thread([&] {
      result = tcp_client_send_data(&tcp_, reinterpret_cast<const uint8_t*>(bytes.data()),
                                    static_cast<uint32_t>(bytes.size()));
    });
    return result;
  }
  uint32_t State() {
    rtos::cpu_scope s;
    return tcp_.state;
  }

  tcp_client tcp_{};
  udp_client udp_{};
  std::unique_ptr<uint8_t[]> stack_;
};

TEST_F(ClientTest, UdpClientSendsToItsDestinationAndCutsWhatItReceives) {
  const int peer = HostUdp();
  fds_.push_back(peer);
  ASSERT_TRUE(rtos::run_in_thread([&] {
    udp_client_initialize(&udp_, &g_netx_ip, nullptr, &g_netx_pool);
    udp_client_configure(&udp_, 162, IP_ADDRESS(127, 0, 0, 1), LocalPort(peer));
    EXPECT_EQ(1, udp_client_send_data(&udp_, reinterpret_cast<const uint8_t*>("trap"), 4));
  }));
  EXPECT_EQ("trap", Recv(peer));

  // A 600-byte datagram into a 48-byte buffer: 48 bytes.
  SendTo(peer, HostPort(net_proto::udp, 162), std::string(600, 'x'));
  uint8_t buffer[48 + 4];
  std::memset(buffer, 0xA5, sizeof buffer);
  uint32_t got = 0;
  ASSERT_TRUE(WaitUntil([&] { return (got = udp_client_receive_data(&udp_, buffer, 48, NX_NO_WAIT)) != 0; }));
  EXPECT_EQ(48u, got);
  EXPECT_EQ(std::string(48, 'x'), std::string(reinterpret_cast<char*>(buffer), 48));
  for (int i = 48; i < 52; ++i) EXPECT_EQ(0xA5, buffer[i]);
  EXPECT_EQ(IP_ADDRESS(127, 0, 0, 1), udp_.source_address);
  EXPECT_EQ(LocalPort(peer), udp_.source_port);
  rtos::cpu_scope s;
  EXPECT_EQ(0u, udp_client_receive_data(&udp_, buffer, 48, NX_NO_WAIT));
}

TEST_F(ClientTest, TcpClientConnectsSendsAndReconnectsAfterThePeerCloses) {
  const int listener = Listener();
  StartTcp(LocalPort(listener));
  EXPECT_EQ(TCP_CLIENT_IDLE, State());

  ASSERT_EQ(1, Hand("first"));
  const int first = Accept(listener);
  ASSERT_GE(first, 0);
  EXPECT_EQ("first", Read(first, 5));
  ASSERT_TRUE(WaitUntil([&] { return tcp_.pending == 0; }));
  EXPECT_EQ(TCP_CLIENT_CONNECTED, State());

  // While connected, a buffer goes on the same connection.
  ASSERT_EQ(1, Hand("second"));
  EXPECT_EQ("second", Read(first, 6));

  // The peer closes: the client lets go at once and waits for a buffer.
  close(first);
  fds_.erase(std::find(fds_.begin(), fds_.end(), first));
  ASSERT_TRUE(WaitUntil([&] { return tcp_.state == TCP_CLIENT_IDLE; }));

  ASSERT_EQ(1, Hand("third"));
  const int again = Accept(listener);
  ASSERT_GE(again, 0);
  EXPECT_EQ("third", Read(again, 5));
}

TEST_F(ClientTest, TcpClientRefusesASecondBufferWhileOneIsPending) {
  // Nobody listens: the connect keeps failing and the buffer stays pending.
  const int listener = Listener();
  const uint16_t port = LocalPort(listener);
  close(listener);
  fds_.pop_back();
  StartTcp(port);
  trace_capture trace;
  ASSERT_EQ(1, Hand("one"));
  EXPECT_TRUE(tcp_client_busy(&tcp_));
  EXPECT_EQ(0, Hand("two"));
  EXPECT_TRUE(trace.contains("tcp_client_send_data: tcp client driver busy\n"));
}

TEST_F(ClientTest, TcpClientClosesAfterTenQuietWaits) {
  const int listener = Listener();
  StartTcp(LocalPort(listener));
  ASSERT_EQ(1, Hand("x"));
  const int conn = Accept(listener);
  ASSERT_GE(conn, 0);
  EXPECT_EQ("x", Read(conn, 1));
  ASSERT_TRUE(WaitUntil([&] { return tcp_.pending == 0; }));
  // Nine quiet waits of 100 ticks keep the connection; the tenth closes it.
  rtos::advance(9 * TCP_CLIENT_DATA_WAIT);
  EXPECT_EQ(TCP_CLIENT_CONNECTED, State());
  rtos::advance(2 * TCP_CLIENT_DATA_WAIT);
  ASSERT_TRUE(WaitUntil([&] { return tcp_.state == TCP_CLIENT_IDLE; }));
  char byte = 0;
  EXPECT_EQ(0, recv(conn, &byte, 1, 0)) << "the client closed the connection";
}

}  // namespace
