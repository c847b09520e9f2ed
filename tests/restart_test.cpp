// The whole controller started twice on one state folder, each run a
// process of its own, with the board's battery-backed clock register kept
// in the folder: a message activated for ten minutes runs again after a
// power cut of three, for what is left of its time, and each start reads
// the cause of the one before.
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "display/codes/msg_codes.h"
#include "frame/startup/startup.h"
#include "tests/controller_fixture.h"

namespace {

constexpr int64_t kPowerOff = 1700000000;
constexpr int64_t kOutage = 185;  // three minutes and a bit

class RestartTest : public controller_test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "signstate.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    folder_ = buf.data();
    s_register_file = folder_ + "/rtc";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // The board's clock register survives the power cut: it lives in a file.
  static uint32_t ClockRead() {
    std::ifstream in(s_register_file);
    uint32_t v = 0;
    in >> v;
    return v;
  }
  static void ClockWrite(uint32_t v) { std::ofstream(s_register_file) << v; }

  // Powers up at host time `now` on the folder.
  void Start(int64_t now) {
    board::board_config config;
    config.serial[1].kind = board::serial_kind::pipe;
    board::reset(config);
    monitor::monitor_config mon;
    mon.state_folder = folder_;
    mon.host_time = [now] { return now; };
    monitor::reset(mon);
    net_host_config net;
    net.ephemeral = true;
    ASSERT_TRUE(net_host_configure(net));
    // The register the clock peripheral measures the outage against.
    Db().SetBoardRegs({ClockRead, ClockWrite, [] { return uint8_t(0); }, [](uint8_t) {}});
    startup_subscribe();
    rtos::kernel_config k;
    k.memory_size = 32u << 20;
    rtos::kernel_start(k, [](void* mem) { tx_application_define(mem); });
  }

  [[noreturn]] static void PowerOff(const std::string& failure) {
    std::fflush(nullptr);
    std::fprintf(stderr, "%s\n", failure.empty() ? "run done" : ("run failed: " + failure).c_str());
    std::_Exit(failure.empty() ? 0 : 1);
  }
  void Run(const std::function<std::string()>& run) {
    EXPECT_EXIT(PowerOff(run()), ::testing::ExitedWithCode(0), "run done");
  }

  std::string folder_;
  static std::string s_register_file;
};

std::string RestartTest::s_register_file;

TEST_F(RestartTest, TimedMessageRunsAgainWithTheOutageTakenOff) {
  Run([&]() -> std::string {
    trace_capture cap;
    Start(kPowerOff);
    rtos::advance(350);
    FirstDisplayStep();
    InThread([&] { ConfigureSmallSign(); });
    DisplaySteps(1);
    InThread([&] { StoreChangeable1("HELLO"); });
    DisplaySteps(1);
    if (Nv(nv::dmsMessageStatus(0)) != 4) return "message not valid";
    CMsgActivationCode code;
    code.m_wDuration = 10;
    code.m_byPriority = 200;
    code.m_byMemoryType = 3;
    code.m_wMessageNumber = 1;
    code.m_wCRC = static_cast<uint16_t>(Nv(nv::dmsMessageCRC(0)));
    code.Encode();
    InThread([&] {
      uint8_t* v = Db().mib_v;
      Set(v, vol::activationSlotSourceMode(6), 8, DB_NOTIFY);
      Set(v, vol::activationSlotReason(6), 2, DB_NOTIFY);
      Db().SetString(vol::activationSlotCode(6).offset, 4, code.m_encoded, 12, v, DB_NOTIFY);
    });
    DisplaySteps(2);
    if (NvText(nv::currentBufferMultiString) != "HELLO") return "not running";
    if (Nv(nv::dmsMessageTimeRemaining) != 10) return "time " + std::to_string(Nv(nv::dmsMessageTimeRemaining));
    if (ClockRead() != kPowerOff) return "clock register " + std::to_string(ClockRead());
    rtos::advance(200);
    return "";
  });
  Run([&]() -> std::string {
    trace_capture cap;
    Start(kPowerOff + kOutage);
    rtos::advance(350);
    FirstDisplayStep();
    DisplaySteps(20);
    if (NvText(nv::currentBufferMultiString) != "HELLO")
      return "running '" + NvText(nv::currentBufferMultiString) + "'\n" + cap.text();
    // No orderly reset went before: the start counts as a watchdog's, and
    // the reset message (the current buffer) brings the message back.
    if (Nv(nv::dmsMsgSourceMode) != 11) return "source " + std::to_string(Nv(nv::dmsMsgSourceMode));
    if (Nv(nv::dmsMessageTimeRemaining) != 7) return "time " + std::to_string(Nv(nv::dmsMessageTimeRemaining));
    if (g_reset_mode != 1) return "reset mode " + std::to_string(g_reset_mode);
    if (Nv(nv::watchdogFailureCount) != 2) return "failures " + std::to_string(Nv(nv::watchdogFailureCount));
    // The power-loss shutdown of the supply is orderly: written before the
    // cut, it makes the next start a cold one.
    InThread([&] { Set(Db().mib_nv, nv::dmsSWReset, 3, 0); });
    rtos::advance(200);
    return "";
  });
  Run([&]() -> std::string {
    trace_capture cap;
    Start(kPowerOff + 2 * kOutage);
    rtos::advance(350);
    FirstDisplayStep();
    DisplaySteps(20);
    if (g_reset_mode != 0) return "reset mode " + std::to_string(g_reset_mode);
    if (Nv(nv::watchdogFailureCount) != 2) return "failures " + std::to_string(Nv(nv::watchdogFailureCount));
    if (Nv(nv::dmsSWReset) != 0) return "reset cause kept";
    // The power-recovery message (the current buffer) after a long loss.
    if (NvText(nv::currentBufferMultiString) != "HELLO") return "running '" + NvText(nv::currentBufferMultiString) + "'";
    if (Nv(nv::dmsMsgSourceMode) != 10) return "source " + std::to_string(Nv(nv::dmsMsgSourceMode));
    if (Nv(nv::dmsMessageTimeRemaining) != 4) return "time " + std::to_string(Nv(nv::dmsMessageTimeRemaining));
    return "";
  });
}

}  // namespace
