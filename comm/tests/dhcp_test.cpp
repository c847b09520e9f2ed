// DHCP at the network start: the message reader against malformed
// messages, and the client against the simulated server on loopback: a lease
// is applied to the instance, the interface settings and the boot monitor's
// environment; without a server the stored addresses stay.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "comm/comm_services.h"
#include "comm/comm_task.h"
#include "comm/dhcp/dhcp_codec.h"
#include "comm/dhcp/dhcp_startup.h"
#include "comm/tests/comm_fixture.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "monitor_host.h"
#include "sim/net/dhcp_server.h"

namespace {

using namespace ct;

// ---------------------------------------------------------------- reader

std::string Word(uint32_t v) {
  std::string s(4, '\0');
  for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(v >> (24 - 8 * k));
  return s;
}

// A reply with the given options after the magic cookie.
std::string Reply(const std::string& options) {
  std::string m(236, '\0');
  m[0] = 2;
  m[1] = 1;
  m[2] = 6;
  m.replace(4, 4, Word(0x12345678));
  m.replace(16, 4, Word(0xC0A80A32));
  return m + Word(DHCP_MAGIC) + options;
}

const std::string kAck = std::string("\x35\x01\x05", 3) + std::string("\x01\x04\xFF\xFF\xFF\x00", 6) +
                         std::string("\x03\x04\xC0\xA8\x0A\x01", 6) + std::string("\x33\x04\x00\x00\x0E\x10", 6) +
                         std::string("\x36\x04\xC0\xA8\x0A\x02", 6) + "\xFF";

int Parse(const std::string& bytes, dhcp_message* m = nullptr) {
  dhcp_message spare{};
  return dhcp_parse(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
                    m ? m : &spare);
}

TEST(DhcpCodec, ReadsASoundAcknowledge) {
  dhcp_message m{};
  ASSERT_EQ(DHCP_PARSE_OK, Parse(Reply(kAck), &m));
  EXPECT_EQ(DHCP_BOOTREPLY, m.op);
  EXPECT_EQ(0x12345678u, m.xid);
  EXPECT_EQ(DHCP_ACK, m.type);
  EXPECT_EQ(0xC0A80A32u, m.yiaddr);
  EXPECT_EQ(0xFFFFFF00u, m.mask);
  EXPECT_EQ(0xC0A80A01u, m.router);
  EXPECT_EQ(3600u, m.lease);
  EXPECT_EQ(0xC0A80A02u, m.server_id);
  // Pads and unknown options are passed over.
  ASSERT_EQ(DHCP_PARSE_OK, Parse(Reply(std::string("\0\0\x0C\x03""abc", 7) + kAck), &m));
  EXPECT_EQ(DHCP_ACK, m.type);
}

TEST(DhcpCodec, MalformedMessagesAreRefused) {
  const std::string type = std::string("\x35\x01\x05", 3);
  struct row {
    const char* name;
    std::string bytes;
    int result;
  } rows[] = {
      {"empty", "", DHCP_PARSE_SHORT},
      {"fixed part only", std::string(236, '\0'), DHCP_PARSE_SHORT},
      {"bad magic", Reply(kAck).replace(236, 4, Word(0x63825364)), DHCP_PARSE_BAD_MAGIC},
      {"hardware type 6", Reply(kAck).replace(1, 1, "\x06"), DHCP_PARSE_BAD_HARDWARE},
      {"hardware length 17", Reply(kAck).replace(2, 1, "\x11"), DHCP_PARSE_BAD_HARDWARE},
      {"option length past the end", Reply(type + std::string("\x0C\x20""abc", 5)), DHCP_PARSE_OPTION_OVERRUN},
      {"option code as last byte", Reply(type + "\x0C"), DHCP_PARSE_OPTION_OVERRUN},
      {"type of 2 bytes", Reply(std::string("\x35\x02\x05\x05\xFF", 5)), DHCP_PARSE_OPTION_LENGTH},
      {"type of 0 bytes", Reply(std::string("\x35\x00\xFF", 3)), DHCP_PARSE_OPTION_LENGTH},
      {"mask of 3 bytes", Reply(type + std::string("\x01\x03\xFF\xFF\xFF\xFF", 6)), DHCP_PARSE_OPTION_LENGTH},
      {"lease of 8 bytes", Reply(type + std::string("\x33\x08", 2) + std::string(8, '\x01') + "\xFF"),
       DHCP_PARSE_OPTION_LENGTH},
      {"router of 5 bytes", Reply(type + std::string("\x03\x05", 2) + std::string(5, '\x01') + "\xFF"),
       DHCP_PARSE_OPTION_LENGTH},
      {"router of 0 bytes", Reply(type + std::string("\x03\x00\xFF", 3)), DHCP_PARSE_OPTION_LENGTH},
      {"server id of 2 bytes", Reply(type + std::string("\x36\x02\x01\x02\xFF", 5)), DHCP_PARSE_OPTION_LENGTH},
      {"no end option", Reply(type), DHCP_PARSE_NO_END},
      {"no type", Reply(std::string("\x01\x04\xFF\xFF\xFF\x00\xFF", 7)), DHCP_PARSE_NO_TYPE},
      {"sound", Reply(kAck), DHCP_PARSE_OK},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    // Exactly the bytes of the row, so a read past them is seen.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[r.bytes.size() + 1]);
    std::memcpy(exact.get(), r.bytes.data(), r.bytes.size());
    dhcp_message m{};
    EXPECT_EQ(r.result, dhcp_parse(exact.get(), static_cast<uint32_t>(r.bytes.size()), &m));
  }
}

TEST(DhcpCodec, EveryPrefixOfAnAcknowledgeIsRefused) {
  const std::string whole = Reply(kAck);
  for (size_t n = 0; n < whole.size(); ++n) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[n + 1]);
    std::memcpy(exact.get(), whole.data(), n);
    dhcp_message m{};
    EXPECT_NE(DHCP_PARSE_OK, dhcp_parse(exact.get(), static_cast<uint32_t>(n), &m)) << n << " bytes";
  }
}

TEST(DhcpCodec, BuiltRequestReadsBack) {
  dhcp_message m{};
  m.op = DHCP_BOOTREQUEST;
  m.xid = 77;
  m.type = DHCP_REQUEST;
  m.has_requested = true;
  m.requested = 0x0A000005;
  m.has_server_id = true;
  m.server_id = 0x0A000001;
  uint8_t small[100];
  EXPECT_EQ(0u, dhcp_build(m, small, sizeof small));
  uint8_t out[DHCP_MESSAGE_MAX];
  const uint32_t n = dhcp_build(m, out, sizeof out);
  ASSERT_GT(n, 240u);
  dhcp_message back{};
  ASSERT_EQ(DHCP_PARSE_OK, dhcp_parse(out, n, &back));
  EXPECT_EQ(77u, back.xid);
  EXPECT_EQ(DHCP_REQUEST, back.type);
  EXPECT_EQ(0x0A000005u, back.requested);
  EXPECT_EQ(0x0A000001u, back.server_id);
}

// ---------------------------------------------------------------- client

std::function<void()>* g_job = nullptr;
std::atomic<bool> g_job_done{false};
void job_entry(ULONG) {
  (*g_job)();
  g_job_done = true;
}

class DhcpTest : public CommTest {
 protected:
  bool WithNetwork() const override { return true; }

  void SetUp() override {
    monitor::monitor_config mon;
    mon.flash_size = 1u << 20;
    mon.initial_env = {{"ETHERADD", "02:00:00:00:00:01"},
                       {"IPADD", "10.20.30.40"},
                       {"NETMASK", "255.255.0.0"},
                       {"GIPADD", "10.20.0.1"}};
    monitor::reset(mon);
    CommTest::SetUp();
    interface_settings = {};
    rtos::cpu_scope s;
    // The start-up reads the stored addresses, then starts DHCP on 0.0.0.0.
    parse_net_address(mon_getenv("ETHERADD"), mon_getenv("IPADD"), mon_getenv("GIPADD"), mon_getenv("NETMASK"));
    nx_ip_address_set(&g_netx_ip, 0, 0xFFFFFF00);
  }

  void TearDown() override {
    CommTest::TearDown();
    server_.reset();
    monitor::shutdown();
    g_job = nullptr;
  }

  void Serve(const sim::dhcp_lease& lease = sim::dhcp_lease()) {
    server_ = std::make_unique<sim::dhcp_server>(lease);
    ASSERT_NE(0, server_->port());
    net_host_config config;
    config.ephemeral = true;
    config.peers.push_back({0xFFFFFFFFu, DHCP_SERVER_PORT, IP_ADDRESS(127, 0, 0, 1), server_->port()});
    ASSERT_TRUE(net_host_configure(config));
  }

  // dhcp_initialize on a kernel thread of its own; the clock moves only
  // when the test advances it.
  void StartInitialize() {
    job_ = [this] { result_ = dhcp_initialize(&g_netx_ip, &g_dhcp_client); };
    g_job = &job_;
    g_job_done = false;
    rtos::cpu_scope s;
    ASSERT_EQ(TX_SUCCESS, tx_thread_create(&job_thread_, "dhcp test", job_entry, 0, job_stack_, sizeof job_stack_,
                                           10, 10, TX_NO_TIME_SLICE, TX_AUTO_START));
  }

  // The start's own waits look at the instance once a tick: the clock moves
  // a tick at a time until the start has returned.
  bool Finish() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!g_job_done.load()) {
      if (std::chrono::steady_clock::now() > end) return false;
      rtos::advance(1);
      std::this_thread::yield();
    }
    return true;
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

  std::string Env(const char* name) {
    const char* v = mon_getenv(name);
    return v ? v : "(unset)";
  }
  uint32_t Vol(const db_object& o) {
    rtos::cpu_scope s;
    return db_->GetValue(o.offset, o.width, db_->mib_v, 0);
  }
  ULONG InstanceAddress() {
    rtos::cpu_scope s;
    return g_netx_ip.nx_ip_address;
  }

  std::unique_ptr<sim::dhcp_server> server_;
  std::function<void()> job_;
  TX_THREAD job_thread_{};
  uint8_t job_stack_[16384];
  int result_ = -1;
};

TEST_F(DhcpTest, LeaseIsAppliedAndWrittenToTheEnvironment) {
  Serve();
  trace_capture trace;
  StartInitialize();
  ASSERT_TRUE(Finish());
  EXPECT_EQ(1, result_);
  EXPECT_TRUE(trace.contains("dhcp initialized ok\n"));
  EXPECT_TRUE(trace.contains("dhcp_state_changed, new state:5\n"));
  EXPECT_TRUE(trace.contains("IP Address c0a80a32:192.168.10.50\n"));
  EXPECT_TRUE(trace.contains("Subnet ffffff00:255.255.255.0\n"));
  EXPECT_TRUE(trace.contains("Gateway c0a80a01:192.168.10.1\n"));

  EXPECT_EQ(IP_ADDRESS(192, 168, 10, 50), InstanceAddress());
  EXPECT_EQ("192.168.10.50", Env("IPADD"));
  EXPECT_EQ("255.255.255.0", Env("NETMASK"));
  EXPECT_EQ("192.168.10.1", Env("GIPADD"));
  EXPECT_EQ("02:00:00:00:00:01", Env("ETHERADD"));
  EXPECT_EQ(IP_ADDRESS(192, 168, 10, 50), interface_settings.address);
  EXPECT_EQ(IP_ADDRESS(255, 255, 255, 0), interface_settings.mask);
  EXPECT_EQ(IP_ADDRESS(192, 168, 10, 1), interface_settings.gateway);
  EXPECT_EQ(IP_ADDRESS(192, 168, 10, 50), Vol(vol::ipAdEntAddr));
  EXPECT_EQ(IP_ADDRESS(255, 255, 255, 0), Vol(vol::ipAdEntNetMask));
  EXPECT_EQ(IP_ADDRESS(192, 168, 10, 1), Vol(vol::ipRouteDest));
  const uint32_t requests = server_->requests();
  EXPECT_GE(requests, 1u);

  // A renewal asks the same server again; the lease is announced anew.
  trace.clear();
  uint32_t status = 1;
  dhcp_install_services();
  ASSERT_TRUE(rtos::run_in_thread([&] { status = comm_get_services().dhcp_force_renew(); }, 16, 10));
  EXPECT_EQ(0u, status);
  ASSERT_TRUE(WaitUntil([&] { return server_->requests() > requests && trace.contains("new state:5\n"); }));
  EXPECT_TRUE(trace.contains("dhcp_state_changed, new state:6\n"));
  EXPECT_EQ("192.168.10.50", Env("IPADD"));
}

TEST_F(DhcpTest, LeaseWithoutGatewayWritesZeros) {
  sim::dhcp_lease lease;
  lease.router = 0;
  Serve(lease);
  trace_capture trace;
  StartInitialize();
  ASSERT_TRUE(Finish());
  EXPECT_EQ(1, result_);
  EXPECT_EQ("0.0.0.0", Env("GIPADD"));
  EXPECT_EQ(0u, interface_settings.gateway);
  EXPECT_EQ(0u, Vol(vol::ipRouteDest));
  EXPECT_FALSE(trace.contains("Warning"));
}

TEST_F(DhcpTest, NoServerLeavesTheStoredAddresses) {
  Serve();
  server_->set_silent(true);
  trace_capture trace;
  StartInitialize();
  // Discovers go out again and again while the start waits.
  ASSERT_TRUE(server_->wait_received(1));
  for (int i = 0; i < 110 && !g_job_done.load(); ++i) rtos::advance(1000);
  ASSERT_TRUE(WaitUntil([] { return g_job_done.load(); }));
  EXPECT_EQ(0, result_);
  EXPECT_TRUE(trace.contains("nx_ip_status_check failed:0x43\n"));
  EXPECT_FALSE(trace.contains("dhcp initialized ok"));
  EXPECT_GE(server_->discovers(), 2u);
  EXPECT_EQ(0u, InstanceAddress());
  // The environment and the settings read from it keep the stored addresses.
  EXPECT_EQ("10.20.30.40", Env("IPADD"));
  EXPECT_EQ("255.255.0.0", Env("NETMASK"));
  EXPECT_EQ("10.20.0.1", Env("GIPADD"));
  EXPECT_EQ(IP_ADDRESS(10, 20, 30, 40), interface_settings.address);
  EXPECT_EQ(IP_ADDRESS(10, 20, 30, 40), Vol(vol::ipAdEntAddr));
  EXPECT_EQ(0u, g_dhcp_client.nx_dhcp_created);
}

TEST_F(DhcpTest, NoLinkCreatesNoClientAndSaysNothing) {
  Serve();
  {
    rtos::cpu_scope s;
    ULONG unused = 0;
    nx_ip_driver_direct_command(&g_netx_ip, NX_DRIVER_DISABLE, &unused);
  }
  trace_capture trace;
  StartInitialize();
  for (int i = 0; i < 20 && !g_job_done.load(); ++i) rtos::advance(100);
  ASSERT_TRUE(WaitUntil([] { return g_job_done.load(); }));
  EXPECT_EQ(0, result_);
  EXPECT_EQ("", trace.text());
  EXPECT_EQ(0u, server_->received());
}

TEST_F(DhcpTest, MalformedAnswersAreRefusedUntilASoundOneComes) {
  Serve();
  // Offers whose mask option claims 5 bytes, then one whose length runs past
  // the end of the message.
  std::atomic<int> bad{2};
  server_->set_tamper([&](std::string& a, uint8_t type) {
    if (type != 2 || bad.load() <= 0) return;
    const size_t mask = a.find(std::string("\x01\x04\xFF\xFF\xFF\x00", 6), 240);
    if (bad.fetch_sub(1) == 2)
      a[mask + 1] = 5;
    else
      a.back() = '\x40', a += '\x01';  // an option of 64 bytes with one there
  });
  trace_capture trace;
  StartInitialize();
  ASSERT_TRUE(WaitUntil([] { return g_dhcp_client.nx_dhcp_messages_refused >= 1; }));
  // The next discover, after the client's wait, gets the second bad offer;
  // the one after it a sound offer.
  ASSERT_TRUE(Finish());
  EXPECT_EQ(1, result_);
  // Late answers to an earlier discover are refused as well.
  EXPECT_GE(g_dhcp_client.nx_dhcp_messages_refused, 2u);
  EXPECT_EQ("192.168.10.50", Env("IPADD"));
}

}  // namespace
