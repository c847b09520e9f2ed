// Traps from the event that raises them to the manager: which traps the
// settings let into the queue, how long they wait, and how they leave over
// Ethernet (pushed over UDP or TCP to the trap manager, or to a manager
// connected to port 162), checked as the bytes a manager on 127.0.0.1
// receives.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "comm/comm_services.h"
#include "comm/tests/endpoints_fixture.h"
#include "comm/tests/trap_bytes.h"

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

int HostListener() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, 4);
  Bounded(fd);
  return fd;
}

const uint8_t kOwn[4] = {192, 168, 1, 20};
const std::vector<uint32_t> kName = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7, 1, 0};

class TrapPathTest : public EndpointsTest {
 protected:
  void SetUp() override {
    with_network_ = true;
    EndpointsTest::SetUp();
    CNTCIP::InstallTrapPaths();
    SetNv(nv::quorCommConfigTraps(4), 3);
    SetNv(nv::quorCommConfigProtocol(4), 11);
    SetNv(nv::quorTrapsGeneric, 0x41);
    SetEnterpriseMask(std::string("\x00\x80\x00", 3));  // 17
    g_ntcip_ip.SetAddress(IP_ADDRESS(192, 168, 1, 20));
    client_memory_.reset(new uint8_t[4096]);
    InThread([&] {
      uint8_t* cursor = client_memory_.get();
      trap_clients_create(&g_netx_ip, &cursor, &g_netx_pool);
    });
  }
  void TearDown() override {
    comm_set_services(comm_services{});
    g_ntcip_ip.SetTrapAddress(0);
    g_ntcip_ip.SetTrapPort(162);
    EndpointsTest::TearDown();
  }
  void SetEnterpriseMask(const std::string& bytes) {
    rtos::cpu_scope s;
    db_->SetString(nv::quorTrapsEnterpriseSpecific.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()),
                   db_->mib_nv, DB_NO_VALIDATE);
  }
  void AimAt(uint16_t port) {
    g_ntcip_ip.SetTrapAddress(IP_ADDRESS(127, 0, 0, 1));
    g_ntcip_ip.SetTrapPort(port);
    InThread([&] { trap_clients_configure(IP_ADDRESS(127, 0, 0, 1), port); });
  }
  // An event raises enterprise-specific trap 17 with one INTEGER.
  void Raise(uint32_t value) {
    value_ = value;
    snmp_trap_varbind v{};
    std::copy(kName.begin(), kName.end(), v.name);
    v.name_length = static_cast<uint32_t>(kName.size());
    v.syntax = 1;
    v.value_length = 4;
    v.value = reinterpret_cast<const uint8_t*>(&value_);
    InThread([&] { snmp_raise_trap(6, 17, 1, &v); });
  }
  void Step() { InThread([] { CNTCIP::ProcessTraps(); }); }
  uint32_t Queued() {
    rtos::cpu_scope s;
    return g_trap_buffer.Count();
  }
  static std::string Expected(const std::string& got, uint8_t value) {
    const int64_t ts = trap_bytes::TimeStamp(got);
    EXPECT_GE(ts, 0) << "not a trap message";
    return trap_bytes::Message("fernly", kOwn, 6, 17, static_cast<uint32_t>(ts),
                               trap_bytes::Varbind(kName, std::string("\x02\x01", 2) + static_cast<char>(value)));
  }

  uint32_t value_ = 0;
  std::unique_ptr<uint8_t[]> client_memory_;
};

TEST_F(TrapPathTest, RaisedTrapReachesAUdpListenerAsSnmpV1Bytes) {
  const int fd = HostUdp();
  fds_.push_back(fd);
  AimAt(LocalPort(fd));
  Raise(5);
  ASSERT_EQ(1u, Queued());
  Step();
  EXPECT_EQ(0u, Queued());
  const std::string got = Recv(fd);
  EXPECT_EQ(Expected(got, 5), got);

  // UDP traps leave at most one every three steps.
  Raise(6);
  Step();
  Step();
  EXPECT_EQ(1u, Queued());
  Step();
  EXPECT_EQ(0u, Queued());
  const std::string second = Recv(fd);
  EXPECT_EQ(Expected(second, 6), second);
}

TEST_F(TrapPathTest, LinkDownOrNoDestinationKeepsTheTrapQueued) {
  const int fd = HostUdp();
  fds_.push_back(fd);
  Raise(1);
  Step();  // no destination yet
  EXPECT_EQ(1u, Queued());

  AimAt(LocalPort(fd));
  static int link;
  link = 0;
  comm_services s{};
  s.link_up = [] { return link; };
  comm_set_services(s);
  Step();  // link down: two steps of hold-off
  link = 1;
  Step();
  Step();
  EXPECT_EQ(1u, Queued());
  Step();
  EXPECT_EQ(0u, Queued());
  const std::string got = Recv(fd);
  EXPECT_EQ(Expected(got, 1), got);
}

TEST_F(TrapPathTest, TcpClientPushesTrapsToTheManager) {
  SetNv(nv::quorCommConfigTraps(4), 2);
  const int listener = HostListener();
  fds_.push_back(listener);
  AimAt(LocalPort(listener));
  Raise(7);
  Raise(8);
  Step();
  EXPECT_EQ(1u, Queued());
  const int conn = accept(listener, nullptr, nullptr);
  ASSERT_GE(conn, 0);
  fds_.push_back(conn);
  Bounded(conn);
  const std::string expected = Expected(trap_bytes::Message("fernly", kOwn, 6, 17, 0), 7);
  const std::string got = Read(conn, expected.size());
  EXPECT_EQ(Expected(got, 7), got);
  // The second goes on the same connection once the first has left.
  ASSERT_TRUE(WaitUntil([] { return !tcp_client_busy(&g_trap_tcp_client); }));
  Step();
  EXPECT_EQ(0u, Queued());
  const std::string next = Read(conn, expected.size());
  EXPECT_EQ(Expected(next, 8), next);
}

TEST_F(TrapPathTest, TrapPortCarriesTrapsWhileAManagerIsConnected) {
  SetNv(nv::quorCommConfigTraps(4), 4);
  InThread([] {
    void* entry = nullptr;
    ASSERT_TRUE(AttainPort(COMM_DRIVER_TRAP_SERVER, &entry));
    EXPECT_EQ(1, static_cast<CTCP_Server*>(entry)->Open(TRAP_PORT, 0));
    ReleaseDriver(COMM_DRIVER_TRAP_SERVER);
  });
  Raise(3);
  Step();  // nobody connected; no destination needed for this setting
  EXPECT_EQ(1u, Queued());

  const int manager = Connect(HostPort(net_proto::tcp, TRAP_PORT));
  ASSERT_GE(manager, 0);
  ASSERT_TRUE(WaitUntil([] {
    const tcp_thread_record* r = g_comm_task.TrapServer().Current();
    return r && r->connected;
  }));
  Step();
  EXPECT_EQ(0u, Queued());
  const std::string expected = Expected(trap_bytes::Message("fernly", kOwn, 6, 17, 0), 3);
  const std::string got = Read(manager, expected.size());
  EXPECT_EQ(Expected(got, 3), got);

  // Another user holds the trap port's server: the send fails and the trap
  // stays queued for the next try.
  Raise(4);
  ASSERT_TRUE(AttainPort(COMM_DRIVER_TRAP_SERVER, nullptr));
  Step();
  ReleaseDriver(COMM_DRIVER_TRAP_SERVER);
  EXPECT_EQ(1u, Queued());

  close(manager);
  ASSERT_TRUE(WaitUntil([] {
    const tcp_thread_record* r = g_comm_task.TrapServer().Current();
    return !r || !r->connected;
  }));
  Raise(5);
  Step();
  EXPECT_EQ(2u, Queued());
}

// ---------------------------------------------------------------- admission

class AdmissionTest : public EndpointsTest {
 protected:
  void SetUp() override {
    EndpointsTest::SetUp();
    CNTCIP::InstallTrapPaths();
  }
  void Mask(const std::string& bytes) {
    rtos::cpu_scope s;
    db_->SetString(nv::quorTrapsEnterpriseSpecific.offset, 4, bytes.data(), static_cast<uint32_t>(bytes.size()),
                   db_->mib_nv, DB_NO_VALIDATE);
  }
  bool Queues(uint32_t generic, uint32_t specific) {
    rtos::cpu_scope s;
    g_trap_buffer.Clear();
    CNTCIP::SendTrap(generic, specific, 0, nullptr);
    return g_trap_buffer.Count() == 1;
  }
};

TEST_F(AdmissionTest, TrapSettingsDecideWhatIsQueued) {
  struct row {
    uint8_t port_setting;  // of every port
    uint8_t generic_mask;
    std::string enterprise_mask;
    uint32_t generic, specific;
    bool queued;
    const char* trace;
  } rows[] = {
      {0, 0xFF, "\xFF\xFF\xFF", 0, 0, false, nullptr},  // no port sends traps
      {1, 0x41, "", 0, 0, true, nullptr},                // coldStart
      {1, 0x41, "", 3, 0, false, nullptr},               // linkUp not enabled
      {1, 0x41, "\x01", 6, 2, true, nullptr},            // byte 0 bit 0x01
      {1, 0x41, std::string("\x00\x01", 2), 6, 10, true, nullptr},
      {1, 0x41, std::string("\x00\x00\x04", 3), 6, 20, true, nullptr},
      {1, 0x01, "\x01", 6, 2, false, nullptr},           // enterprise traps not enabled
      {1, 0x41, std::string("\x00\x00", 2), 6, 18, false, nullptr},  // mask too short: bit not there
      {5, 0x41, "", 0, 0, false, nullptr},               // no setting between 1 and 4
      {4, 0x41, "\xFF\xFF\xFF", 6, 1, false, "CNTCIP::SendTrap: unknown enterprise specific trap type\n"},
      {4, 0x41, "\xFF\xFF\xFF", 6, 21, false, "CNTCIP::SendTrap: unknown enterprise specific trap type\n"},
      {4, 0xFF, "", 7, 0, false, "CNTCIP::SendTrap: unknown generic trap type\n"},
  };
  for (const row& r : rows) {
    for (uint32_t p = 0; p < 5; ++p) SetNv(nv::quorCommConfigTraps(p), p == 2 ? r.port_setting : 0);
    SetNv(nv::quorTrapsGeneric, r.generic_mask);
    Mask(r.enterprise_mask);
    trace_capture trace;
    EXPECT_EQ(r.queued, Queues(r.generic, r.specific)) << r.generic << "/" << r.specific;
    if (r.trace)
      EXPECT_TRUE(trace.contains(r.trace)) << r.generic << "/" << r.specific;
    else
      EXPECT_EQ("", trace.text());
  }
}

TEST_F(AdmissionTest, SilentCentralHearsNoTrapsWhileTheMaxPollCheckIsOn) {
  SetNv(nv::quorCommConfigTraps(0), 1);
  SetNv(nv::quorTrapsGeneric, 0x01);
  SetNv(nv::fdotDmsMaxPollTimeEnable, 1);
  SetNv(nv::fdotDmsMaxPollTime, 5);
  InThread([] {
    g_comm_task.SetLastCommTimestamp(s_clock);
    g_comm_task.CheckFdotCommLoss(s_clock + 5 * 60 - 1);
  });
  EXPECT_TRUE(Queues(0, 0));
  InThread([] { g_comm_task.CheckFdotCommLoss(s_clock + 5 * 60); });
  EXPECT_EQ(1, g_comm_task.FdotCommLoss());
  EXPECT_FALSE(Queues(0, 0));
  SetNv(nv::fdotDmsMaxPollTimeEnable, 0);
  InThread([] { g_comm_task.CheckFdotCommLoss(s_clock); });
  EXPECT_TRUE(Queues(0, 0));
}

TEST_F(AdmissionTest, QueuedTrapsExpireAfterTheirDuration) {
  SetNv(nv::quorCommConfigTraps(0), 1);
  SetNv(nv::quorTrapsGeneric, 0x01);
  SetNv(nv::quorTrapsExpirationDuration, 2);
  const uint32_t start = s_clock;
  EXPECT_TRUE(Queues(0, 0));
  s_clock = start + 119;
  InThread([] { CNTCIP::ProcessTraps(); });
  EXPECT_FALSE(g_trap_buffer.IsEmpty());
  s_clock = start + 120;
  InThread([] { CNTCIP::ProcessTraps(); });
  EXPECT_TRUE(g_trap_buffer.IsEmpty());
  // Without a duration a trap waits for ever.
  SetNv(nv::quorTrapsExpirationDuration, 0);
  EXPECT_TRUE(Queues(0, 0));
  s_clock = start + 100000;
  InThread([] { CNTCIP::ProcessTraps(); });
  EXPECT_FALSE(g_trap_buffer.IsEmpty());
}

}  // namespace
