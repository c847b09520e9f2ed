// Settings made at the front panel in the whole controller: the local date
// and time with its zone read back by a central system over SNMP (through
// the PMPP bridge on the CCP port) in UTC, the radio settings applied to the
// running PMPP link, the trap switches, and the sign and controller
// settings pages.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "board_host.h"
#include "comm/ntcip_endpoint.h"
#include "comm/pmpp/pmpp_link.h"
#include "comm/pmpp/snmp_pmpp.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "panel/controller_tests/panel_controller_fixture.h"
#include "peripherals/clock.h"
#include "sim/panel/front_panel.h"
#include "sim/pmpp/pmpp_bridge.h"
#include "tests/controller_fixture.h"
#include "tests/signctl_process.h"

namespace {

const char* const kSnmpGet = "/usr/bin/snmpget";
const std::string kTime = "1.3.6.1.4.1.1206.4.2.6.3.";

class PanelSettingsTest : public panel_controller<controller_test> {
 protected:
  void SetUp() override {
    // The CCP port's host end is a TCP serial end for the PMPP bridge.
    Boot([] {
      board::board_config config;
      config.serial[1].kind = board::serial_kind::pipe;
      config.serial[0].kind = board::serial_kind::tcp;
      board::reset(config);
    });
    AttachUnit();
    Login();
  }
  void TearDown() override {
    bridge_.stop();
    controller_test::TearDown();
  }

  // snmpget through the bridge while the controller's clock goes on.
  std::string Get(const std::string& oid) {
    std::vector<std::string> args = {kSnmpGet, "-On", "-m", "", "-t", "2", "-r", "2", "-Oqv",
                                     "-v", "2c", "-c", "fernly", "127.0.0.1:" + std::to_string(bridge_.udp_port()),
                                     oid};
    auto done = std::async(std::launch::async, [args] { return signctl_test::RunProgram(args); });
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) rtos::advance(1);
    signctl_test::run_result r = done.get();
    EXPECT_EQ(0, r.status) << oid << ": " << r.output;
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == ' ')) r.output.pop_back();
    return r.output;
  }
  static std::string V(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }

  sim::pmpp_bridge bridge_;
};

TEST_F(PanelSettingsTest, LocalDateAndTimeReadBackOverSnmpInUtc) {
  if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
  EXPECT_EQ(static_cast<int32_t>(Nv(nv::controllerStandardTimeZone)), -21600) << "the factory zone";
  Walk({"CONFIGURATION", "SYSTEM CONFIGURATION", "SET DATE AND TIME"});
  ASSERT_TRUE(RunUntil("TIMEZONE")) << unit_.screen();
  Choose("EASTERN");
  ASSERT_TRUE(RunUntil("DST")) << unit_.screen();
  Choose("ENABLE");
  ASSERT_TRUE(RunUntil("MM/DD/YYYY")) << unit_.screen();
  // 4 July 2030, 10:15 PM local: daylight time in the east, 02:15 UTC the
  // next day.
  Digits("07042030" "1015" "7");
  ASSERT_TRUE(RunUntil("PRESS ENTER TO SAVE")) << unit_.screen();
  EXPECT_NE(unit_.screen().find("TIME: 10:15P"), std::string::npos) << unit_.screen();
  Digits("\n");
  ASSERT_TRUE(RunUntil("SYSTEM CONFIGURATION")) << unit_.screen();
  for (int i = 0; i < 10; ++i) rtos::advance(50);

  clock_date d{};
  d.year = 130;
  d.month = 6;
  d.day = 5;
  d.hours = 2;
  d.minutes = 15;
  uint32_t expected = 0;
  CClock::DateToSeconds(&d, &expected);

  sim::pmpp_bridge::options o;
  o.tcp_port = board::serial(0).tcp_port();
  o.station = Nv(nv::quorhdlcAddress);
  ASSERT_TRUE(bridge_.start(o));
  const uint32_t utc = static_cast<uint32_t>(std::strtoul(Get(kTime + "1.0").c_str(), nullptr, 10));
  EXPECT_GE(utc, expected);
  EXPECT_LE(utc, expected + 120) << utc - expected << " s late";
  EXPECT_EQ(Get(kTime + "5.0"), "-18000");
  EXPECT_EQ(Get(kTime + "2.0"), "3");
  // The local time the controller keeps is the one typed.
  const uint32_t local = static_cast<uint32_t>(std::strtoul(Get(kTime + "6.0").c_str(), nullptr, 10));
  EXPECT_GE(local, expected - 4 * 3600);
  EXPECT_LE(local, expected - 4 * 3600 + 120);
}

TEST_F(PanelSettingsTest, RadioSettingsGoToTheRunningPmppLink) {
  InThread([] { Set(Db().mib_nv, nv::quorCommConfigProtocol(0), 14); });
  pmpp_link* link = nullptr;
  InThread([&] {
    CNTCIP* ccp = CNTCIP::Endpoint("ccp_pmpp");
    ASSERT_NE(ccp, nullptr);
    link = pmpp_link_of(ccp->Agent());
  });
  ASSERT_NE(link, nullptr);
  Walk({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "CENTRAL CONTROL PORT", "RDI OPTIONS",
        "LID, ACK2, RETRIES"});
  ASSERT_TRUE(RunUntil("LOGICAL ID")) << unit_.screen();
  Digits("77\n");
  ASSERT_TRUE(RunUntil("ACK2 TIMEOUT")) << unit_.screen();
  Digits("3000\n");
  ASSERT_TRUE(RunUntil("NUMBER OF RETRIES")) << unit_.screen();
  Digits("2\n");
  ASSERT_TRUE(RunUntil("77,3000,2")) << unit_.screen();
  EXPECT_EQ(Nv(nv::quorRdiLid), 77u);
  EXPECT_EQ(Nv(nv::quorRdiAck2Timeout), 3000u);
  EXPECT_EQ(Nv(nv::quorRdiRetries), 2u);
  // At once, without a restart.
  EXPECT_EQ(link->rdi.ack2_timeout, 3000u);
  EXPECT_EQ(link->rdi.retry_limit, 2u);
}

TEST_F(PanelSettingsTest, TrapSwitchesAndSettingsChangeTheirObjects) {
  InThread([] {
    Db().SetString(nv::quorTrapsEnterpriseSpecific.offset, 4, "", 0, Db().mib_nv, DB_NO_VALIDATE);
  });
  Walk({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS", "TRAP CONFIGURATION"});
  ASSERT_TRUE(RunUntil("1) MAX TEMP REACHED")) << unit_.screen();
  Digits("2");
  Key(kKeyDown);
  Key(kKeyDown);
  ASSERT_TRUE(RunUntil("4) WARM START")) << unit_.screen();
  Digits("4");
  EXPECT_EQ(NvText(nv::quorTrapsEnterpriseSpecific), std::string("\x02\x00\x04", 3));
  Digits("4");
  Key(kKeyUp);
  Key(kKeyUp);
  Digits("2");
  EXPECT_EQ(NvText(nv::quorTrapsEnterpriseSpecific), "");

  Key(kKeyCancel);  // back to CONFIGURE OPTIONS
  Choose("BEACON TYPE");
  ASSERT_TRUE(RunUntil("1) OTHER")) << unit_.screen();
  Key(kKeyDown);
  ASSERT_TRUE(RunUntil("1) FOUR ALTERNATE ROW FLASH")) << unit_.screen();
  Digits("1");
  EXPECT_EQ(Nv(nv::dmsBeaconType), 7u);

  Choose("FAILED PIXEL THRESHOLD");
  ASSERT_TRUE(RunUntil("PIXELS:34")) << unit_.screen();
  Key(kKeyLeft);
  Key(kKeyLeft);
  Digits("12\n");
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 12u);

  Key(kKeyCancel);  // back to SYSTEM CONFIGURATION
  Choose("CONTROLLER SERIAL NUMBER");
  Digits("90210\n");
  EXPECT_EQ(Nv(nv::quorControllerSerialNum), 90210u);
  EXPECT_EQ(V(vol::moduleVersion(1)), "SN: 90210");
}

TEST_F(PanelSettingsTest, LineLengthOfTheSignsOnlyLine) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });  // one line of six 7 x 5 modules
  DisplaySteps(2);
  Walk({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS", "SPECIAL FEATURES", "LINE LENGTHS"});
  ASSERT_TRUE(RunUntil("1) LINE 1 LENGTH")) << unit_.screen();
  EXPECT_EQ(unit_.screen().find("LINE 2 LENGTH"), std::string::npos) << unit_.screen();
  Digits("1");
  ASSERT_TRUE(RunUntil("RESTRICTIONS:<= 6")) << unit_.screen();
  Digits("7\n");
  ASSERT_TRUE(RunUntil("INVALID ENTRY")) << unit_.screen();
  Key(kKeyLeft);
  Digits("4\n");
  EXPECT_EQ(Nv(nv::quorLineLength(0)), 4u);
  DisplaySteps(4);
  EXPECT_EQ(g_pDisplay->FaceDescription(0).modules_per_row[0], 4u);
}

TEST_F(PanelSettingsTest, ShutOffTemperatureOfTheModulesThatReportOne) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(2);
  // No module has answered yet: there is no temperature to guard.
  Walk({"CONFIGURATION", "SYSTEM CONFIGURATION", "CONFIGURE OPTIONS"});
  ASSERT_TRUE(RunUntil("1) REAL-TIME PIXEL ERRORS")) << unit_.screen();
  EXPECT_EQ(unit_.screen().find("CRITICAL TEMPERATURE"), std::string::npos) << unit_.screen();
  // The first module reports its type.
  InThread([] { g_diag_ksr7100.m_Modules[0].type = 21; });
  Key(kKeyCancel);
  Walk({"CONFIGURE OPTIONS", "CRITICAL TEMPERATURE"});
  ASSERT_TRUE(RunUntil("RESTRICTIONS:<111")) << unit_.screen();
  Digits("111\n");
  EXPECT_EQ(Nv(nv::quorShutOffTemp), 0u);
  Key(kKeyLeft);
  Key(kKeyLeft);
  Key(kKeyLeft);
  Digits("100\n");
  EXPECT_EQ(Nv(nv::quorShutOffTemp), 100u);
  ASSERT_TRUE(RunUntil("100*")) << unit_.screen();
}

}  // namespace
