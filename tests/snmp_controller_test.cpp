// The controller program as a process on a fresh state folder, its SNMP
// port on a free host port given by the folder's net.conf, asked by
// net-snmp's command-line tools on 127.0.0.1 as a traffic centre would.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/signctl_process.h"

namespace {

using namespace signctl_test;

const char* const kSnmpGet = "/usr/bin/snmpget";
const char* const kSnmpWalk = "/usr/bin/snmpwalk";
const char* const kSnmpSet = "/usr/bin/snmpset";
const std::string kDescription = "\"Quorvantis, Inc. KSR-7100 Palisade(tm) VMS Field Controller\"";
const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kSysLocation = "1.3.6.1.2.1.1.6.0";
const char* const kDms = "1.3.6.1.4.1.1206.4.2.3";
const char* const kActivateMessage = "1.3.6.1.4.1.1206.4.2.3.6.3.0";
const char* const kMsgTableSource = "1.3.6.1.4.1.1206.4.2.3.6.5.0";
const char* const kActivateMsgError = "1.3.6.1.4.1.1206.4.2.3.6.17.0";
// Activation codes: duration 65535 (for ever), priority 255, memory type 7
// (blank), message number, CRC 0, the requester 127.0.0.1.
const char* const kBlank1 = "FFFFFF07000100007F000001";
const char* const kBlank3 = "FFFFFF07000300007F000001";
const char* const kBlank4 = "FFFFFF07000400007F000001";

class SnmpControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
    ASSERT_TRUE(controller_.Start()) << controller_.Output();
  }
  void TearDown() override { controller_.Stop(); }

  // A tool with numeric OIDs and no MIB files.
  run_result Tool(const char* tool, std::vector<std::string> args) {
    std::vector<std::string> all = {tool, "-On", "-m", "", "-t", "2", "-r", "3"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(all);
  }

  signctl_process controller_;
};

TEST_F(SnmpControllerTest, GetOfSysDescrInBothVersions) {
  for (const char* version : {"1", "2c"}) {
    run_result r = Tool(kSnmpGet, {"-v", version, "-c", "fernly", controller_.Agent(), kSysDescr});
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(".1.3.6.1.2.1.1.1.0 = STRING: " + kDescription + "\n", r.output) << "version " << version;
  }
}

TEST_F(SnmpControllerTest, WalkOfTheSystemGroupEndsCleanly) {
  for (const char* version : {"1", "2c"}) {
    run_result r = Tool(kSnmpWalk, {"-v", version, "-c", "fernly", controller_.Agent(), "1.3.6.1.2.1.1"});
    EXPECT_EQ(0, r.status) << r.output;
    std::istringstream lines(r.output);
    std::vector<std::string> names;
    for (std::string line; std::getline(lines, line);) names.push_back(line.substr(0, line.find(' ')));
    const std::vector<std::string> expected = {".1.3.6.1.2.1.1.1.0", ".1.3.6.1.2.1.1.2.0", ".1.3.6.1.2.1.1.3.0",
                                               ".1.3.6.1.2.1.1.4.0", ".1.3.6.1.2.1.1.5.0", ".1.3.6.1.2.1.1.6.0",
                                               ".1.3.6.1.2.1.1.7.0"};
    ASSERT_GE(names.size(), expected.size()) << r.output;
    EXPECT_EQ(expected, std::vector<std::string>(names.begin(), names.begin() + 7)) << r.output;
    EXPECT_NE(std::string::npos, r.output.find(".1.3.6.1.2.1.1.2.0 = OID: .1.3.6.1.4.1.1206.4.2.3")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find(".1.3.6.1.2.1.1.7.0 = INTEGER: 67")) << r.output;
  }
}

// A community the controller does not know gets no answer at all.
TEST_F(SnmpControllerTest, WrongCommunityGetsNoAnswer) {
  run_result r = RunProgram({kSnmpGet, "-On", "-m", "", "-t", "1", "-r", "0", "-v", "2c", "-c", "public",
                      controller_.Agent(), kSysDescr});
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("Timeout: No Response")) << r.output;
  r = Tool(kSnmpGet, {"-v", "1", "-c", "fernly", controller_.Agent(), kSysDescr});
  EXPECT_EQ(0, r.status) << r.output;
}

// Two managers poll at once, each with its own object: each loop sees only
// its own answers.
TEST_F(SnmpControllerTest, TwoGetLoopsInParallelEachGetTheirOwnAnswers) {
  constexpr int kRounds = 25;
  struct loop {
    const char* oid;
    std::string expected;
    std::vector<std::string> wrong;
  } loops[2] = {
      {kSysDescr, std::string(".1.3.6.1.2.1.1.1.0 = STRING: ") + kDescription + "\n", {}},
      {kSysLocation, ".1.3.6.1.2.1.1.6.0 = STRING: \"Unknown\"\n", {}},
  };
  auto run_loop = [&](loop* l) {
    for (int i = 0; i < kRounds; ++i) {
      run_result r = Tool(kSnmpGet, {"-v", "2c", "-c", "fernly", controller_.Agent(), l->oid});
      if (r.status != 0 || r.output != l->expected) l->wrong.push_back(r.output);
    }
  };
  std::thread other(run_loop, &loops[1]);
  run_loop(&loops[0]);
  other.join();
  for (const loop& l : loops) EXPECT_TRUE(l.wrong.empty()) << l.oid << ": " << l.wrong.size() << " wrong, first: "
                                                         << (l.wrong.empty() ? "" : l.wrong.front());
}

TEST_F(SnmpControllerTest, GetOverTcpAndSetsOfTheSystemGroup) {
  run_result r = Tool(kSnmpGet, {"-v", "2c", "-c", "fernly", "tcp:" + controller_.Agent(), kSysDescr});
  EXPECT_EQ(0, r.status) << r.output;
  EXPECT_EQ(".1.3.6.1.2.1.1.1.0 = STRING: " + kDescription + "\n", r.output);

  r = Tool(kSnmpSet, {"-v", "2c", "-c", "Fernly", controller_.Agent(), kSysLocation, "s", "Exit 12 northbound"});
  EXPECT_EQ(0, r.status) << r.output;
  r = Tool(kSnmpGet, {"-v", "1", "-c", "fernly", "tcp:" + controller_.Agent(), kSysLocation});
  EXPECT_EQ(".1.3.6.1.2.1.1.6.0 = STRING: \"Exit 12 northbound\"\n", r.output);
  // A read-only object refuses the set as v1 agents do; a community without
  // rights is refused.
  r = Tool(kSnmpSet, {"-v", "1", "-c", "Fernly", controller_.Agent(), kSysDescr, "s", "mine"});
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("noSuchName")) << r.output;
  r = Tool(kSnmpSet, {"-v", "1", "-c", "fernly", controller_.Agent(), kSysLocation, "s", "nowhere"});
  EXPECT_NE(std::string::npos, r.output.find("noSuchName")) << r.output;
}

// A central system activates the blank message; the sign says what runs.
TEST_F(SnmpControllerTest, SetOfDmsActivateMessageRunsTheBlankMessage) {
  // Blank message 3 first: a source no start of the sign leaves behind.
  run_result r = Tool(kSnmpSet, {"-v", "2c", "-c", "Fernly", controller_.Agent(), kActivateMessage, "x", kBlank3});
  EXPECT_EQ(0, r.status) << r.output;
  EXPECT_EQ(std::string(".") + kActivateMessage + " = Hex-STRING: FF FF FF 07 00 03 00 00 7F 00 00 01 \n", r.output);
  r = Tool(kSnmpGet, {"-v", "2c", "-c", "fernly", controller_.Agent(), kMsgTableSource, kActivateMsgError});
  EXPECT_EQ(0, r.status) << r.output;
  EXPECT_EQ(std::string(".") + kMsgTableSource + " = Hex-STRING: 07 00 03 00 00 \n." + kActivateMsgError +
                " = INTEGER: 2\n",
            r.output);

  for (const char* version : {"1", "2c"}) {
    r = Tool(kSnmpSet, {"-v", version, "-c", "Fernly", controller_.Agent(), kActivateMessage, "x", kBlank1});
    EXPECT_EQ(0, r.status) << r.output;
    r = Tool(kSnmpGet, {"-v", version, "-c", "fernly", controller_.Agent(), kMsgTableSource, kActivateMessage});
    EXPECT_EQ(0, r.status) << r.output;
    EXPECT_EQ(std::string(".") + kMsgTableSource + " = Hex-STRING: 07 00 01 00 00 \n." + kActivateMessage +
                  " = Hex-STRING: FF FF FF 07 00 01 00 00 7F 00 00 01 \n",
              r.output)
        << "version " << version;
  }
}

// A community without the right, or one the controller does not know,
// changes nothing.
TEST_F(SnmpControllerTest, WrongCommunityActivatesNothing) {
  run_result r = Tool(kSnmpSet, {"-v", "2c", "-c", "Fernly", controller_.Agent(), kActivateMessage, "x", kBlank3});
  ASSERT_EQ(0, r.status) << r.output;

  r = RunProgram({kSnmpSet, "-On", "-m", "", "-t", "1", "-r", "0", "-v", "2c", "-c", "public", controller_.Agent(),
                  kActivateMessage, "x", kBlank4});
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("Timeout: No Response")) << r.output;
  r = Tool(kSnmpSet, {"-v", "1", "-c", "fernly", controller_.Agent(), kActivateMessage, "x", kBlank4});
  EXPECT_NE(0, r.status);
  EXPECT_NE(std::string::npos, r.output.find("noSuchName")) << r.output;

  r = Tool(kSnmpGet, {"-v", "2c", "-c", "fernly", controller_.Agent(), kMsgTableSource, kActivateMessage});
  EXPECT_EQ(std::string(".") + kMsgTableSource + " = Hex-STRING: 07 00 03 00 00 \n." + kActivateMessage +
                " = Hex-STRING: FF FF FF 07 00 03 00 00 7F 00 00 01 \n",
            r.output);
}

// A walk of the sign's subtree meets the sign control objects in order and
// ends without an error.
TEST_F(SnmpControllerTest, WalkOfTheDmsSubtreeEndsCleanly) {
  for (const char* version : {"1", "2c"}) {
    run_result r = Tool(kSnmpWalk, {"-v", version, "-c", "fernly", controller_.Agent(), kDms});
    EXPECT_EQ(0, r.status) << r.output.substr(r.output.size() > 2000 ? r.output.size() - 2000 : 0);
    std::istringstream lines(r.output);
    std::vector<std::string> control;
    size_t count = 0;
    for (std::string line; std::getline(lines, line);) {
      // Long strings go on over further lines; a v2c walk may end in "End of MIB".
      if (line.empty() || line[0] != '.') continue;
      ++count;
      EXPECT_EQ(0u, line.find(std::string(".") + kDms + ".")) << line;
      const std::string prefix = std::string(".") + kDms + ".6.";
      if (line.compare(0, prefix.size(), prefix) == 0) control.push_back(line.substr(0, line.find(' ')));
    }
    std::vector<std::string> expected;
    for (int n = 1; n <= 25; ++n) expected.push_back(std::string(".") + kDms + ".6." + std::to_string(n) + ".0");
    EXPECT_EQ(expected, control) << "version " << version;
    EXPECT_GE(count, expected.size());
  }
}

}  // namespace
