// Setting the controller's links up from the front panel in the whole
// controller: a new Ethernet link mode restarts it, network settings that
// only a start reads are written to the boot monitor's start-up file and
// restart it when the technician leaves IP SETTINGS (others do not), the
// cellular modem is detected and activated against a simulated modem, and
// a port switched to PMPP at the panel carries a central system's requests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "comm/comm_task.h"
#include "comm/modem/modem_task.h"
#include "frame/startup/startup.h"
#include "mon_api.h"
#include "panel/controller_tests/panel_controller_fixture.h"
#include "panel/tests/screen_text.h"
#include "sim/modem/cell_modem.h"
#include "sim/pmpp/pmpp_bridge.h"
#include "tests/controller_fixture.h"
#include "tests/signctl_process.h"

namespace {

constexpr uint32_t kFeatureCellModem = 0x20;

class PanelNetworkTest : public panel_controller<controller_test> {
 protected:
  void TearDown() override {
    bridge_.stop();
    controller_test::TearDown();
    g_startup_configure = nullptr;
  }
  void BootWithPanel(const std::function<void()>& before_kernel = nullptr) {
    Boot([&] {
      // The restarting thread stays where it asked for the restart: the
      // rest of the controller goes on for the test to look at.
      monitor::monitor_config m;
      m.restart_hook = [](monitor::restart_kind) { tx_thread_suspend(tx_thread_identify()); };
      monitor::reset(m);
      if (before_kernel) before_kernel();
    });
    AttachUnit();
    Login();
  }
  // Runs until the controller has restarted once more than `before`.
  bool RestartsAfter(uint32_t before, uint32_t max_ticks = 3000) {
    for (uint32_t t = 0; t < max_ticks && monitor::restart_count() <= before; t += 10) Advance(10);
    return monitor::restart_count() > before;
  }
  static std::string FlashText(const char* name) {
    const tfs_header* h = mon_tfsstat(name);
    if (!h) return "";
    return std::string(reinterpret_cast<const char*>(h) + h->hdr_size, h->data_size);
  }
  std::string ValueOf(const std::string& entry) { return screen_text::EntryValue(unit_.screen(), entry); }
  const std::string& Screen() {
    screen_ = unit_.screen();
    return screen_;
  }

  sim::pmpp_bridge bridge_;
  std::string screen_;
};

TEST_F(PanelNetworkTest, AnEthernetLinkModeRestartsTheController) {
  BootWithPanel();
  Walk({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT", "BAUD RATE"});
  ASSERT_FALSE(HasFatalFailure());
  const uint32_t before = monitor::restart_count();
  Choose("100 FULL");
  EXPECT_EQ(Nv(nv::ifSpeed), 0x32000000u);
  EXPECT_EQ(Nv(nv::quorCommConfigFlowControl(4)), 6u);
  EXPECT_TRUE(RestartsAfter(before));
  EXPECT_EQ(monitor::last_restart(), monitor::restart_kind::application);
}

TEST_F(PanelNetworkTest, BootSettingsRestartWhenTheTechnicianLeavesIpSettings) {
  BootWithPanel();
  Walk({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT", "IP SETTINGS"});
  ASSERT_FALSE(HasFatalFailure());
  const uint32_t in_use = interface_settings.address;
  ASSERT_EQ(in_use, (192u << 24) | (168u << 16) | (1u << 8) | 20u);
  const uint32_t before = monitor::restart_count();

  // Telnet starts with the console: no restart for it.
  Walk({"TELNET INTERFACE", "ENABLE"});
  ASSERT_TRUE(RunUntil(") TELNET INTERFACE")) << Screen();
  EXPECT_EQ(ValueOf("TELNET INTERFACE"), "ENABLE*");
  Key(kKeyCancel);
  ASSERT_TRUE(RunUntil("ETHERNET CONTROL PORT")) << Screen();
  EXPECT_FALSE(RestartsAfter(before, 1000));
  EXPECT_EQ(Nv(nv::quorFeatureSet) & 0x8, 0x8u);

  // A new address is written for the next start.
  Choose("IP SETTINGS");
  Choose("CONTROLLER IP ADDRESS");
  ASSERT_TRUE(RunUntil("CURRENT:192.168.1.20")) << Screen();
  Digits("1921681");
  Key(12);  // on to the last number
  Digits("78");
  Key(kKeyEnter);
  ASSERT_TRUE(RunUntil(") CONTROLLER IP ADDRESS")) << Screen();
  EXPECT_EQ(ValueOf("CONTROLLER IP ADDRESS"), "192.168.1.78*");
  EXPECT_EQ(interface_settings.address, in_use);
  Key(kKeyCancel);
  EXPECT_TRUE(RestartsAfter(before));
  EXPECT_NE(FlashText("monrc").find("set IPADD 192.168.1.78\r\n"), std::string::npos) << FlashText("monrc");
}

// The modem task's answers as the technician sees them: detection of the
// simulated modem, the carrier's values, the activation and its success.
TEST_F(PanelNetworkTest, CellularModemIsDetectedAndActivated) {
  sim::cell_modem modem;
  const uint16_t modem_port = modem.port();
  static uint16_t s_port;
  s_port = modem_port;
  BootWithPanel([] {
    net_host_config config = net_host_current_config();
    net_peer_map peer;
    peer.address = CModemTask::MODEM_ADDRESS;
    peer.port = CModemTask::COMMAND_PORT;
    peer.host_port = s_port;
    config.peers = {peer};
    ASSERT_TRUE(net_host_configure(config));
    g_startup_configure = [] {
      Set(Db().mib_nv, nv::quorFeatureSet, Nv(nv::quorFeatureSet) | kFeatureCellModem);
    };
  });
  // The modem task starts with the network.
  for (int i = 0; i < 3000 && !g_pModemTask; ++i) Advance(1);
  ASSERT_NE(g_pModemTask, nullptr);
  SetPaced(true);
  Walk({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "ETHERNET CONTROL PORT", "IP SETTINGS",
               "MODEM CONFIGURATION"});
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(RunUntil("MODEM: CELL MODEM 2", 20000)) << Screen();
  EXPECT_EQ(unit_.line(3).substr(0, 15), "ESN: 0x5A0C71E2");
  EXPECT_EQ(unit_.line(4), "NETWORK: Verizon   PHONE#: 5551230000   ");

  Digits("1");
  ASSERT_TRUE(RunUntil("MDN:")) << Screen();
  Digits("5150");
  Key(kKeyEnter);
  ASSERT_TRUE(RunUntil("MSID:")) << Screen();
  Digits("2627");
  Key(kKeyEnter);
  ASSERT_TRUE(RunUntil("SUCCESS", 20000)) << Screen();
  bool provisioned = false;
  for (const std::string& c : modem.commands()) provisioned |= c == "AT*PROVISION2=417352,5150,2627";
  EXPECT_TRUE(provisioned);

  Key(kKeyEnter);
  ASSERT_TRUE(RunUntil("1) EXIT MENU")) << Screen();
  Digits("1");
  EXPECT_TRUE(RunUntil("* = TAKES EFFECT ON NEXT BOOT")) << Screen();
}

// The CCP port speaking PPP is switched to PMPP at the panel; a central
// system's tools then reach the agent through the PMPP bridge, and the
// port's status page counts their requests.
TEST_F(PanelNetworkTest, APortSwitchedToPmppCarriesTheBridgesRequests) {
  const char* const kSnmpGet = "/usr/bin/snmpget";
  if (access(kSnmpGet, X_OK) != 0) GTEST_SKIP() << "net-snmp's tools are not installed (Debian package snmp)";
  BootWithPanel([] {
    board::board_config config;
    config.serial[1].kind = board::serial_kind::pipe;
    config.serial[0].kind = board::serial_kind::tcp;
    board::reset(config);
  });
  InThread([] {
    Set(Db().mib_nv, nv::quorCommConfigProtocol(0), 4);
    Set(Db().mib_nv, nv::quorCommPortReinit, 4, DB_NOTIFY);
  });
  Advance(1000);

  sim::pmpp_bridge::options o;
  o.tcp_port = board::serial(0).tcp_port();
  o.station = Nv(nv::quorhdlcAddress);
  ASSERT_TRUE(bridge_.start(o));
  const std::string agent = "127.0.0.1:" + std::to_string(bridge_.udp_port());
  // sysDescr through the bridge, the controller's clock running meanwhile.
  auto get = [&](const char* tries) {
    const std::vector<std::string> args = {kSnmpGet, "-On", "-m",     "",    "-t",  "1",   "-r",
                                           tries,    "-Oqv", "-v",    "2c",  "-c",  "fernly", agent,
                                           "1.3.6.1.2.1.1.1.0"};
    auto done = std::async(std::launch::async, [args] { return signctl_test::RunProgram(args); });
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) rtos::advance(1);
    return done.get();
  };
  EXPECT_NE(get("0").status, 0) << "the port speaks PPP";

  Walk({"CONFIGURATION", "COMMUNICATION CONFIGURATION", "CENTRAL CONTROL PORT"});
  ASSERT_TRUE(RunUntil(") PROTOCOL")) << Screen();
  EXPECT_EQ(ValueOf("PROTOCOL"), "PPP");
  Walk({"PROTOCOL", "PMPP"});
  ASSERT_TRUE(RunUntil(") PROTOCOL")) << Screen();
  EXPECT_EQ(ValueOf("PROTOCOL"), "PMPP");
  EXPECT_EQ(Nv(nv::quorCommConfigProtocol(0)), 2u);
  Advance(1000);

  const signctl_test::run_result r = get("3");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Field Controller"), std::string::npos) << r.output;
  EXPECT_GE(bridge_.answers(), 1u);

  Choose("STATUS");
  ASSERT_TRUE(RunUntil("COMM RX CNT")) << Screen();
  EXPECT_GE(std::atoi(ValueOf("COMM RX CNT").c_str()), 1) << Screen();
}

}  // namespace
