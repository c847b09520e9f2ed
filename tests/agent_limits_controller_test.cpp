// The controller's agent at its limits, asked by net-snmp's command-line
// tools as a new user would: a full walk by the read community changes
// nothing, requests with too many varbinds answer tooBig, wrongly typed
// values are refused with an answer, and sysUpTime counts hundredths of a
// second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "comm/network.h"
#include "tests/controller_fixture.h"
#include "tests/signctl_process.h"

namespace {

using namespace signctl_test;

const char* const kSnmpGet = "/usr/bin/snmpget";
const char* const kSnmpWalk = "/usr/bin/snmpwalk";
const char* const kSnmpSet = "/usr/bin/snmpset";
const std::string kSign = "1.3.6.1.4.1.1206.4.2.3.";
const char* const kReader = "fernly";
const char* const kCentral = "Fernly";
const char* const kSysUpTime = "1.3.6.1.2.1.1.3.0";
const char* const kSysLocation = "1.3.6.1.2.1.1.6.0";
const char* const kTimeZone = "1.3.6.1.4.1.1206.4.2.6.3.5.0";

// The message CRC as a central system computes it (X.25 over the MULTI text,
// the beacon and the pixel-service byte, its two bytes exchanged).
uint16_t MessageCrc(const std::string& text) {
  std::string bytes = text + std::string(2, '\0');
  uint16_t crc = 0xFFFF;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  crc = static_cast<uint16_t>(~crc);
  return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}

std::string Hex4(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%04X", v & 0xFFFF);
  return b;
}

class AgentLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
    ASSERT_TRUE(controller_.Start()) << controller_.Output();
  }
  void TearDown() override { controller_.Stop(); }

  run_result Tool(const char* tool, const char* version, const char* community, std::vector<std::string> args) {
    std::vector<std::string> all = {tool, "-On", "-Oqv", "-m", "", "-t", "3", "-r", "2", "-v", version, "-c",
                                    community, transport_ + controller_.Agent()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(all);
  }
  std::string GetOne(const std::string& oid) {
    run_result r = Tool(kSnmpGet, "2c", kReader, {oid});
    EXPECT_EQ(0, r.status) << r.output;
    std::string out = r.output;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
  }
  run_result Set(const char* community, const std::vector<std::vector<std::string>>& values,
                 const char* version = "2c") {
    std::vector<std::string> args;
    for (const auto& v : values) args.insert(args.end(), v.begin(), v.end());
    return Tool(kSnmpSet, version, community, args);
  }
  // Edits changeable message n: modify, write, validate.
  run_result Edit(uint32_t n, const std::string& text) {
    const std::string row = ".3." + std::to_string(n);
    run_result r = Set(kCentral, {{kSign + "5.8.1.9" + row, "i", "6"}});
    if (r.status != 0) return r;
    r = Set(kCentral, {{kSign + "5.8.1.3" + row, "s", text}});
    if (r.status != 0) return r;
    return Set(kCentral, {{kSign + "5.8.1.9" + row, "i", "7"}});
  }

  signctl_process controller_;
  std::string transport_;  // "tcp:" for SNMP over TCP
};

// A full walk by the read community passes the time-compatibility object and
// changes nothing: the read community stays read-only, the activation CRC
// is still checked, the time zone stays.
TEST_F(AgentLimitsTest, AFullWalkByTheReadCommunityChangesNothing) {
  const std::string zone = GetOne(kTimeZone);
  run_result walk = Tool(kSnmpWalk, "1", kReader, {"1.3.6.1.4.1.1206"});
  EXPECT_EQ(0, walk.status) << walk.output.substr(0, 2000);
  EXPECT_GT(std::count(walk.output.begin(), walk.output.end(), '\n'), 1000);

  run_result r = Set(kReader, {{kSysLocation, "s", "walked"}});
  EXPECT_NE(0, r.status) << r.output;
  EXPECT_EQ("\"Unknown\"", GetOne(kSysLocation));
  EXPECT_EQ(zone, GetOne(kTimeZone));

  ASSERT_EQ(0, Edit(1, "AB").status);
  const uint16_t wrong = static_cast<uint16_t>(MessageCrc("AB") ^ 0x0101);
  r = Set(kCentral, {{kSign + "6.3.0", "x", "FFFFFF030001" + Hex4(wrong) + "7F000001"}});
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("genErr")) << r.output;
  EXPECT_EQ("7", GetOne(kSign + "6.17.0"));  // dmsActivateMsgError: messageCRC
}

// Sixty varbinds are more than the agent keeps: tooBig, in GET and SET, and
// the SET changes nothing.
TEST_F(AgentLimitsTest, SixtyVarbindsAnswerTooBig) {
  std::vector<std::string> gets(60, kSysLocation);
  std::vector<std::vector<std::string>> sets(60, {kSysLocation, "s", "sixty"});
  for (const char* version : {"1", "2c"}) {
    run_result r = Tool(kSnmpGet, version, kReader, gets);
    EXPECT_NE(0, r.status) << version;
    EXPECT_NE(std::string::npos, r.output.find("tooBig")) << version << ": " << r.output;
    r = Set(kCentral, sets, version);
    EXPECT_NE(0, r.status) << version;
    EXPECT_NE(std::string::npos, r.output.find("tooBig")) << version << ": " << r.output;
  }
  EXPECT_EQ("\"Unknown\"", GetOne(kSysLocation));
}

// Values no object takes are refused with an answer, never dropped.
TEST_F(AgentLimitsTest, WronglyTypedValuesAreRefusedWithAnAnswer) {
  struct {
    const char* what;
    std::vector<std::string> value;
  } cases[] = {
      {"an INTEGER over 32 bits", {kSign + "6.1.0", "i", "5000000000"}},
      {"an address for a number", {kSign + "6.1.0", "a", "10.0.0.1"}},
  };
  for (const auto& c : cases) {
    for (const char* version : {"1", "2c"}) {
      run_result r = Set(kCentral, {c.value}, version);
      EXPECT_NE(0, r.status) << c.what << ", version " << version << ": " << r.output;
      EXPECT_EQ(std::string::npos, r.output.find("Timeout")) << c.what << ", version " << version << ": " << r.output;
      EXPECT_NE(std::string::npos, r.output.find("Reason")) << c.what << ", version " << version << ": " << r.output;
    }
  }
  EXPECT_EQ("4", GetOne(kSign + "6.1.0"));
}

// A MULTI text of 3,000 bytes (the longest the sign takes) is stored whole
// through snmpset over UDP and TCP, read back whole, and is still there
// after a restart; one byte more is refused with an answer.
TEST_F(AgentLimitsTest, ALongMultiTextIsStoredWholeAndKept) {
  std::string text;
  while (text.size() < 3000 - 5) text += "[jl2]";
  text += "ABCDE";
  ASSERT_EQ(3000u, text.size());
  {
    const run_result over = Edit(3, text + "F");
    EXPECT_NE(0, over.status);
    EXPECT_EQ(std::string::npos, over.output.find("Timeout")) << over.output;
  }
  const std::string row = ".3.1";
  run_result r = Edit(1, text);
  EXPECT_EQ(0, r.status) << r.output;
  EXPECT_EQ("\"" + text + "\"", GetOne(kSign + "5.8.1.3" + row));

  // The same over TCP, into the next message.
  transport_ = "tcp:";
  r = Edit(2, text);
  EXPECT_EQ(0, r.status) << r.output;
  EXPECT_EQ("\"" + text + "\"", GetOne(kSign + "5.8.1.3.3.2"));
  transport_.clear();

  ASSERT_TRUE(controller_.Restart()) << controller_.Output();
  EXPECT_EQ("\"" + text + "\"", GetOne(kSign + "5.8.1.3" + row));
}

// sysUpTime counts hundredths: two reads 5 s apart on the manual clock
// differ by 500.
class UpTimeTest : public controller_test {};

TEST_F(UpTimeTest, TwoReadsFiveSecondsApartDifferBy500) {
  if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
  trace_capture quiet;
  Boot();
  rtos::advance(1300);  // the network is up after the communication task's first steps
  const uint16_t port = net_host_port(&g_netx_ip, net_proto::udp, 161);
  ASSERT_NE(0, port);
  auto read = [port] {
    run_result r = RunProgram({kSnmpGet, "-On", "-Oqvt", "-m", "", "-t", "5", "-r", "1", "-v", "2c", "-c", kReader,
                               "127.0.0.1:" + std::to_string(port), kSysUpTime});
    EXPECT_EQ(0, r.status) << r.output;
    return std::strtoll(r.output.c_str(), nullptr, 10);
  };
  const long long first = read();
  rtos::advance(500);
  const long long second = read();
  EXPECT_GT(first, 0);
  EXPECT_EQ(500, second - first);
}

}  // namespace
