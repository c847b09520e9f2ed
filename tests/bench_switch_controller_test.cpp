// The bench's switch lines on a running controller: an I/O board of the
// bench with the blank push button on one input and its indicator on an
// output; a saved switch line presses the button, the sign blanks and the
// indicator lights, and the bench reports the output.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "frame/startup/bench.h"
#include "frame/peripheral/peripheral.h"
#include "peripherals/peripheral_task.h"
#include "tests/controller_fixture.h"

namespace {

class BenchSwitchControllerTest : public controller_test {
 protected:
  void SetUp() override {
    Boot();
    bench_config c;
    c.modules = false;
    c.panel = false;
    c.can_boards.push_back({0x42401, "io", 0});
    devices_ = std::make_unique<bench_devices>(c);
  }
  void TearDown() override {
    devices_.reset();
    controller_test::TearDown();
  }
  static CPeripheral* Live(uint16_t type) {
    CPeripheral* p = nullptr;
    InThread([&] { p = g_pPeripheralTask->GetPeripheral(type); });
    return p;
  }
  template <class F>
  static bool RunUntil(F done, uint32_t max_ticks = 6000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      rtos::advance(10);
      if (done()) return true;
    }
    return false;
  }

  trace_capture trace_;
  std::unique_ptr<bench_devices> devices_;
};

TEST_F(BenchSwitchControllerTest, ASavedSwitchLinePressesTheBlankButton) {
  ASSERT_TRUE(RunUntil([] { return g_pPeripheralTask && g_pPeripheralTask->RunState() == CPeripheralTask::RUN_STARTED; }));
  // The board as the bench's record has it, the button on point 24, its
  // indicator on output 32.
  InThread([] {
    ASSERT_EQ(g_pPeripheralTask->CreatePeripheral(52, "42401,F0,FF,F0,FF,0,0"), 1);
    ASSERT_EQ(g_pPeripheralTask->CreatePeripheral(640, "18,34"), 1);
    ASSERT_EQ(g_pPeripheralTask->CreatePeripheral(641, "20,34"), 1);
  });
  ASSERT_TRUE(RunUntil([] { return Live(52)->m_byState == PERIPHERAL_VALID; }));
  // Its inputs read open: nothing happens, and the indicator is dark (1).
  ASSERT_TRUE(RunUntil([&] { return devices_->output_changes().find("bench: 0x42401 output 32 on\n") != std::string::npos; }));
  EXPECT_NE(Nv(nv::dmsMsgSourceMode), 3u);

  std::string error;
  ASSERT_TRUE(devices_->set_switches("can 0x42401 io\nswitch 0x42401 24 on\n", &error)) << error;
  ASSERT_TRUE(RunUntil([] { return Nv(nv::dmsMsgSourceMode) == 3; })) << "the blank switch took the sign";
  std::string changes;
  ASSERT_TRUE(RunUntil([&] {
    changes += devices_->output_changes();
    return changes.find("bench: 0x42401 output 32 off\n") != std::string::npos;
  })) << changes;

  // Released by dropping the line; a line for a board the bench has not
  // got is refused and changes nothing.
  ASSERT_TRUE(devices_->set_switches("can 0x42401 io\n", &error)) << error;
  EXPECT_FALSE(devices_->set_switches("can 0x42402 io\nswitch 0x42402 24 on\n", &error));
  EXPECT_EQ(error, "switch at 0x42402: the board came after the start; restart for it");
  EXPECT_FALSE(devices_->set_switches("switch 0x42401 24 on\n", &error));
  EXPECT_EQ(error, "switch at 0x42401: no io or acio board there");
}

TEST_F(BenchSwitchControllerTest, BoardsOnThePanelsCanPortGetRecordsOnSensorBusC) {
  bench_config c;
  c.factory_sign = true;
  c.can_boards = {{0x42632, "humidity", 40, true}, {0x43001, "io", 0, true}, {0x42109, "temperature", 20, false}};
  InThread([&] { bench_configure(c); });
  std::map<uint32_t, std::string> records;
  for (uint32_t slot = 0; slot < 255; ++slot)
    if (const uint32_t type = Nv(nv::quorPeripheralID(slot))) records[type] = NvText(nv::quorPeripheralParameters(slot));
  EXPECT_EQ(records[631], "42632,4,0");
  EXPECT_EQ(records[52], "43001,F0,FF,F0,FF,4,0");
  EXPECT_EQ(records[13], "42109,0,0");
}

}  // namespace
