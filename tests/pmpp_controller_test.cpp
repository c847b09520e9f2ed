// The whole controller started in-process with its factory settings, its
// CCP port's host end a pty or a TCP serial end: a central system's SNMP
// tools reach the agent through the simulator's PMPP bridge, as over a
// serial line to a field station.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "comm/ntcip_endpoint.h"
#include "sim/pmpp/pmpp_bridge.h"
#include "tests/controller_fixture.h"
#include "tests/signctl_process.h"

namespace {

using signctl_test::run_result;

const char* const kSnmpGet = "/usr/bin/snmpget";
const char* const kSnmpSet = "/usr/bin/snmpset";
const std::string kSign = "1.3.6.1.4.1.1206.4.2.3.";
const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";

class PmppControllerTest : public controller_test {
 protected:
  void SetUp() override {
    if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
  }
  void TearDown() override {
    bridge_.stop();
    controller_test::TearDown();
  }

  // Boots with the CCP port (board port 0) on the given host end and waits
  // for the communication task to bind the ports.
  void BootWithCcp(board::serial_kind kind) {
    Boot([kind] {
      board::board_config config;
      config.serial[1].kind = board::serial_kind::pipe;
      config.serial[0].kind = kind;
      board::reset(config);
    });
    rtos::advance(1300);
  }

  // Runs a tool to its end while the controller's clock goes on.
  run_result Run(std::vector<std::string> args) {
    std::vector<std::string> all = {args[0], "-On", "-m", "", "-t", "2", "-r", "2"};
    all.insert(all.end(), args.begin() + 1, args.end());
    auto done = std::async(std::launch::async, [all] { return signctl_test::RunProgram(all); });
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) rtos::advance(1);
    return done.get();
  }
  std::string Agent() const { return "127.0.0.1:" + std::to_string(bridge_.udp_port()); }
  std::string Get(const std::string& oid, const char* community = "fernly") {
    run_result r = Run({kSnmpGet, "-Oqv", "-v", "2c", "-c", community, Agent(), oid});
    EXPECT_EQ(0, r.status) << oid << ": " << r.output;
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == ' ')) r.output.pop_back();
    return r.output;
  }
  run_result Set(const std::vector<std::vector<std::string>>& values) {
    std::vector<std::string> args = {kSnmpSet, "-v", "2c", "-c", "Fernly", Agent()};
    for (const auto& v : values) args.insert(args.end(), {kSign + v[0], v[1], v[2]});
    return Run(args);
  }

  sim::pmpp_bridge bridge_;
  // The trace goes here rather than out of the console's line.
  trace_capture trace_;
};

TEST_F(PmppControllerTest, DefineAndActivateThroughAPtyOfTheFactoryPort) {
  BootWithCcp(board::serial_kind::pty);
  EXPECT_EQ(2u, Nv(nv::quorCommConfigProtocol(0)));  // PMPP, as the factory set it
  sim::pmpp_bridge::options o;
  o.pty_path = board::serial(0).pty_path();
  o.station = Nv(nv::quorhdlcAddress);
  ASSERT_TRUE(bridge_.start(o)) << o.pty_path;

  EXPECT_NE(std::string::npos, Get(kSysDescr).find("Field Controller"));

  // A changeable message defined, validated and activated.
  run_result r = Set({{"5.8.1.9.3.1", "i", "6"}});
  ASSERT_EQ(0, r.status) << r.output;
  r = Set({{"5.8.1.3.3.1", "s", "AB"},
           {"5.8.1.4.3.1", "s", "district 4"},
           {"5.8.1.6.3.1", "i", "0"},
           {"5.8.1.7.3.1", "i", "0"},
           {"5.8.1.8.3.1", "i", "10"}});
  ASSERT_EQ(0, r.status) << r.output;
  r = Set({{"5.8.1.9.3.1", "i", "7"}});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_EQ("4", Get(kSign + "5.8.1.9.3.1"));  // valid
  const int crc = std::atoi(Get(kSign + "5.8.1.5.3.1").c_str());
  ASSERT_GT(crc, 0);
  char code[32];
  std::snprintf(code, sizeof code, "FFFFFF030001%04X7F000001", crc);
  r = Set({{"6.3.0", "x", code}});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_EQ("2", Get(kSign + "6.17.0"));            // dmsActivateMsgError: none
  EXPECT_EQ("\"AB\"", Get(kSign + "5.8.1.3.5.1"));  // the current buffer

  EXPECT_GE(bridge_.answers(), 9u);
  EXPECT_EQ(0u, bridge_.other_frames());
}

TEST_F(PmppControllerTest, AllStationsRequestsOverATcpSerialEndAreFetchedByPolls) {
  BootWithCcp(board::serial_kind::tcp);
  sim::pmpp_bridge::options o;
  o.tcp_port = board::serial(0).tcp_port();
  o.station = Nv(nv::quorhdlcAddress);
  o.broadcast = true;
  ASSERT_TRUE(bridge_.start(o));
  EXPECT_NE(std::string::npos, Get(kSysDescr).find("Field Controller"));
  // A community the controller does not know gets nothing, not even a held
  // answer for the next poll to bring.
  run_result r = Run({kSnmpGet, "-v", "2c", "-c", "public", "-t", "1", "-r", "0", Agent(), kSysDescr});
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, Get(kSysDescr).find("Field Controller"));
}

// The same tools over IP datagrams in PMPP frames: the requests reach the
// agent through the link's own IP instance, to individual and all-stations
// addresses.
TEST_F(PmppControllerTest, ManagersReachTheAgentOverIpInPmppFrames) {
  BootWithCcp(board::serial_kind::tcp);
  for (bool broadcast : {false, true}) {
    SCOPED_TRACE(broadcast);
    bridge_.stop();
    // The next central system calls once the line has seen this one hang up.
    for (int i = 0; i < 1000 && board::serial(0).connected(); ++i) rtos::advance(1);
    sim::pmpp_bridge::options o;
    o.tcp_port = board::serial(0).tcp_port();
    o.station = Nv(nv::quorhdlcAddress);
    o.broadcast = broadcast;
    const uint8_t* own = g_ntcip_ip.Own().bytes;
    o.station_ip = (uint32_t(own[0]) << 24) | (uint32_t(own[1]) << 16) | (uint32_t(own[2]) << 8) | own[3];
    ASSERT_TRUE(bridge_.start(o));
    EXPECT_NE(std::string::npos, Get(kSysDescr).find("Field Controller"));
    run_result r = Set({{"5.8.1.9.3.1", "i", "6"}});
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_GE(bridge_.answers(), 2u);
  }
}

}  // namespace

// A long answer leaves the serial port whole: the transmit ring takes the
// largest frame a link writes (it dropped the tail of any frame over 2000
// bytes on the line, flags and stuffing included).
TEST_F(PmppControllerTest, LongAnswersCrossTheSerialPortWhole) {
  BootWithCcp(board::serial_kind::tcp);
  sim::pmpp_bridge::options o;
  o.tcp_port = board::serial(0).tcp_port();
  o.station = Nv(nv::quorhdlcAddress);
  ASSERT_TRUE(bridge_.start(o));
  run_result r = Set({{"5.8.1.9.3.2", "i", "6"}});
  ASSERT_EQ(0, r.status) << r.output;
  // Within a request frame, but twice the ring's old size once stuffed.
  const std::string text(1900, '~');
  r = Set({{"5.8.1.3.3.2", "s", text}});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_EQ("\"" + text + "\"", Get(kSign + "5.8.1.3.3.2"));
  EXPECT_EQ(0u, bridge_.other_frames());
}
