// The SNTP client against the simulated server on loopback: an exchange
// moves the global time by the measured offset, replies it must not trust
// leave the clock alone, and the communication task's step sends its
// requests on schedule until a reply is accepted.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "comm/sntp/sntp_client.h"
#include "comm/tests/comm_fixture.h"
#include "database/objects.h"
#include "sim/net/sntp_server.h"

namespace {

using namespace ct;

constexpr ULONG kServer = IP_ADDRESS(10, 1, 1, 5);
constexpr uint32_t kStart = 1000000000;  // controller's global time, 2001
constexpr uint32_t kNtpStart = kStart + NTP_UNIX_OFFSET;

void put32(std::string& s, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) s[at + k] = static_cast<char>(v >> (24 - 8 * k));
}

uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int k = 0; k < 4; ++k) v = (v << 8) | static_cast<uint8_t>(s[at + k]);
  return v;
}

class SntpTest : public CommTest {
 protected:
  bool WithNetwork() const override { return true; }

  void SetUp() override {
    CommTest::SetUp();
    server_ = std::make_unique<sim::sntp_server>();
    ASSERT_NE(0, server_->port());
    // The server's address stands for the simulated server on loopback.
    net_host_config config;
    config.ephemeral = true;
    config.peers.push_back({kServer, NTP_PORT, IP_ADDRESS(127, 0, 0, 1), server_->port()});
    ASSERT_TRUE(net_host_configure(config));
    SetClock(kStart);
    server_->set_time(kStart);
    ASSERT_TRUE(rtos::run_in_thread([] { sntp_start(&g_netx_ip, kServer); }));
  }

  void TearDown() override {
    CommTest::TearDown();
    server_.reset();
  }

  void SetClock(uint32_t t) {
    rtos::cpu_scope s;
    db_->SetTimeValue(nv::globalTime.offset, 4, t, db_->mib_nv, DB_GLOBAL_TIME);
  }
  uint32_t Clock() {
    rtos::cpu_scope s;
    return db_->GetTimeValue(nv::globalTime.offset, 4, db_->mib_nv, DB_GLOBAL_TIME);
  }

  int Poll() {
    int result = -1;
    EXPECT_TRUE(rtos::run_in_thread([&] { result = g_sntp_client.Poll(); }));
    return result;
  }

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
    return false;
  }
  NX_UDP_SOCKET& Socket() { return g_sntp_client.Udp().socket; }
  // Waits until a datagram waits on the client's socket.
  bool ReplyQueued() {
    return WaitUntil([&] { return Socket().nx_udp_socket_queued > 0; });
  }

  // A request now, then the poll that reads the reply: its result. The reply
  // may come so fast that the request's own poll reads it.
  int Exchange() {
    const uint32_t before = server_->requests();
    ULONG received = 0;
    {
      rtos::cpu_scope s;
      g_sntp_client.SetPollInterval(0);
      received = Socket().nx_udp_socket_packets_received;
    }
    const int first = Poll();
    {
      rtos::cpu_scope s;
      g_sntp_client.SetPollInterval(100);
    }
    if (!server_->wait_requests(before + 1)) return -1;
    if (!WaitUntil([&] { return Socket().nx_udp_socket_packets_received > received; })) return -2;
    {
      rtos::cpu_scope s;
      if (Socket().nx_udp_socket_queued == 0) return first;
    }
    EXPECT_EQ(0, first);
    return Poll();
  }

  // After the step that sent a request: waits for the reply, and runs one
  // more step when that step did not read it already.
  void TakeReplyInStep(uint32_t replies) {
    ASSERT_TRUE(WaitUntil([&] { return Socket().nx_udp_socket_packets_received >= replies; }));
    bool queued = false;
    {
      rtos::cpu_scope s;
      queued = Socket().nx_udp_socket_queued > 0;
    }
    if (queued) {
      ASSERT_TRUE(rtos::run_in_thread([] { sntp_step(); }));
    }
  }

  uint32_t RequestsSent() {
    rtos::cpu_scope s;
    return g_sntp_client.Udp().socket.nx_udp_socket_packets_sent;
  }

  void SetPollTime(uint32_t minutes) {
    rtos::cpu_scope s;
    db_->SetValue(nv::quorNTPPollTime.offset, 2, minutes, db_->mib_nv, 0);
  }

  std::unique_ptr<sim::sntp_server> server_;
};

TEST_F(SntpTest, ExchangeMovesTheClockByTheServersOffset) {
  server_->set_time(kStart + 2);
  ASSERT_EQ(1, Exchange());
  EXPECT_EQ(kStart + 2, Clock());
  EXPECT_EQ(0, g_sntp_client.TripDelay());

  // The request as it went: version 3 client, originate = transmit = now.
  const std::string request = server_->last_request();
  ASSERT_EQ(48u, request.size());
  EXPECT_EQ(0x1B, static_cast<uint8_t>(request[0]));
  EXPECT_EQ(kNtpStart, get32(request, 40));
  EXPECT_EQ(request.substr(24, 8), request.substr(40, 8));
  EXPECT_EQ(std::string(23, '\0'), request.substr(1, 23));  // stratum to reference: zero

  // A server behind the controller moves the clock back.
  server_->set_time(kStart + 2 - 100);
  ASSERT_EQ(1, Exchange());
  EXPECT_EQ(kStart + 2 - 100, Clock());
}

// Timestamps of a reply relative to the request's T1 (the arrival T4 is T1:
// the controller's clock does not move during the exchange). The clock moves
// by the offset alone, which already allows for the path.
TEST_F(SntpTest, OffsetAndTripDelayFromWholeSeconds) {
  struct row {
    int32_t receive, transmit;  // T2 - T1, T3 - T1
    int32_t moved, delay;
  } rows[] = {
      {2, 2, 2, 0},      // symmetric path, server 2 s ahead
      {3, 1, 2, 2},      // offset (3 + 1) / 2, delay 2 not added again
      {1, 4, 2, -3},     // offset 5/2 = 2
      {-5, -5, -5, 0},   // server behind
      {-1, -4, -2, 3},   // offset -5/2 = -2, toward zero
      {0, 1, 0, -1},     // offset 1/2 = 0
      {11, 13, 12, -2},  // server 12 s ahead
  };
  uint32_t clock = kStart;
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "T2-T1 " << r.receive << ", T3-T1 " << r.transmit);
    const uint32_t t1 = clock + NTP_UNIX_OFFSET;
    server_->set_tamper([&](std::string& reply) {
      put32(reply, 32, t1 + static_cast<uint32_t>(r.receive));
      put32(reply, 40, t1 + static_cast<uint32_t>(r.transmit));
    });
    ASSERT_EQ(1, Exchange());
    EXPECT_EQ(clock + static_cast<uint32_t>(r.moved), Clock());
    EXPECT_EQ(r.delay, g_sntp_client.TripDelay());
    clock = Clock();
  }
}

TEST_F(SntpTest, RepliesItCannotTrustLeaveTheClock) {
  struct row {
    const char* name;
    std::function<void(std::string&)> tamper;
    bool kept;  // becomes the last reply all the same
  } rows[] = {
      {"one byte short", [](std::string& r) { r.resize(47); }, false},
      {"a single byte", [](std::string& r) { r.resize(1); }, false},
      {"client mode", [](std::string& r) { r[0] = 0x1B; }, false},
      {"broadcast mode", [](std::string& r) { r[0] = 0x1D; }, false},
      {"mode 0", [](std::string& r) { r[0] = 0x18; }, false},
      {"an older request's originate", [](std::string& r) { put32(r, 24, get32(r, 24) - 1); }, true},
      {"originate fraction differs", [](std::string& r) { put32(r, 28, get32(r, 28) ^ 1); }, true},
      {"zero receive timestamp", [](std::string& r) { r.replace(32, 8, 8, '\0'); }, true},
  };
  server_->set_time(kStart + 50);
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const ntp_packet before = g_sntp_client.LastReply();
    std::string sent;
    server_->set_tamper([&](std::string& reply) {
      r.tamper(reply);
      sent = reply;
    });
    ASSERT_EQ(0, Exchange());
    EXPECT_EQ(kStart, Clock());
    ntp_packet decoded{};
    if (r.kept) {
      ASSERT_TRUE(ntp_decode(reinterpret_cast<const uint8_t*>(sent.data()), 48, &decoded));
      EXPECT_TRUE(g_sntp_client.LastReply().transmit == decoded.transmit);
      EXPECT_TRUE(g_sntp_client.LastReply().originate == decoded.originate);
    } else {
      EXPECT_TRUE(g_sntp_client.LastReply().transmit == before.transmit);
    }
  }
  // A sound reply after them all is taken.
  server_->set_tamper(nullptr);
  EXPECT_EQ(1, Exchange());
  EXPECT_EQ(kStart + 50, Clock());
}

TEST_F(SntpTest, TheSameReplyTwiceIsTakenOnce) {
  std::string sent;
  server_->set_time(kStart + 10);
  server_->set_tamper([&](std::string& reply) { sent = reply; });
  ASSERT_EQ(1, Exchange());
  ASSERT_EQ(kStart + 10, Clock());

  // The same bytes again, with no new request: a duplicate.
  const int peer = HostUdp();
  fds_.push_back(peer);
  SendTo(peer, HostPort(net_proto::udp, NTP_PORT), sent);
  ASSERT_TRUE(ReplyQueued());
  EXPECT_EQ(0, Poll());
  EXPECT_EQ(kStart + 10, Clock());
}

TEST_F(SntpTest, LongerRepliesAreReadUpToTheMessage) {
  // A reply with a key identifier and digest (68 bytes) is a sound reply.
  server_->set_time(kStart + 7);
  server_->set_tamper([](std::string& r) { r.append(20, '\x5A'); });
  ASSERT_EQ(1, Exchange());
  EXPECT_EQ(kStart + 7, Clock());
}

TEST_F(SntpTest, StepRetriesEveryMinuteUntilAReplyThenFollowsThePollTime) {
  server_->set_silent(true);
  auto step = [&](int n) {
    ASSERT_TRUE(rtos::run_in_thread([n] {
      for (int i = 0; i < n; ++i) sntp_step();
    }));
  };
  // The first request leaves about a minute after the start.
  step(30);
  EXPECT_EQ(0u, RequestsSent());
  step(1);
  EXPECT_EQ(1u, RequestsSent());
  // No answer: again every 30 steps.
  step(30);
  EXPECT_EQ(1u, RequestsSent());
  step(1);
  EXPECT_EQ(2u, RequestsSent());
  ASSERT_TRUE(server_->wait_requests(2));
  EXPECT_EQ(kStart, Clock());

  // The server answers the next request; the accepted reply sets the poll
  // time (5 minutes = 150 steps).
  server_->set_silent(false);
  server_->set_time(kStart + 4);
  SetPollTime(5);
  step(31);
  EXPECT_EQ(3u, RequestsSent());
  ASSERT_TRUE(server_->wait_requests(3));
  TakeReplyInStep(1);
  EXPECT_EQ(kStart + 4, Clock());
  EXPECT_EQ(150u, g_sntp_client.PollInterval());
  step(150);
  EXPECT_EQ(3u, RequestsSent());
  step(1);
  EXPECT_EQ(4u, RequestsSent());
}

TEST_F(SntpTest, PollTimeZeroRequestsOnEveryStep) {
  SetPollTime(0);
  server_->set_time(kStart + 1);
  ASSERT_TRUE(rtos::run_in_thread([] {
    for (int i = 0; i < 31; ++i) sntp_step();
  }));
  ASSERT_EQ(1u, RequestsSent());
  ASSERT_TRUE(server_->wait_requests(1));
  TakeReplyInStep(1);  // the reply sets the interval to 0
  EXPECT_EQ(kStart + 1, Clock());
  ASSERT_TRUE(rtos::run_in_thread([] {
    for (int i = 0; i < 3; ++i) sntp_step();
  }));
  EXPECT_EQ(4u, RequestsSent());
}

TEST_F(SntpTest, OffUntilStartedInUnicastMode) {
  CSNTP_Client idle;
  EXPECT_EQ(SNTP_MODE_OFF, idle.Mode());
  EXPECT_EQ(5u, idle.Countdown());
  EXPECT_EQ(2048u, idle.PollInterval());
  rtos::cpu_scope s;
  EXPECT_EQ(0, idle.Poll());
  EXPECT_EQ(5u, idle.Countdown());
}

}  // namespace
