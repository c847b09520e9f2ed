// Sensor bus C in the whole controller: a board cabled to the front-panel
// unit's CAN port is reached through the panel line, its frames wrapped in
// the panel's command and its answers coming back after FF B8.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "board_host.h"
#include "frame/can/can_cp_driver.h"
#include "frame/console/vms_command.h"
#include "peripherals/devices/humidity_light.h"
#include "peripherals/peripheral_task.h"
#include "sim/can/field_board.h"
#include "sim/panel/front_panel.h"
#include "tests/controller_fixture.h"

namespace {

class PanelCanControllerTest : public controller_test {
 protected:
  void SetUp() override {
    Boot();
    unit_ = std::make_unique<sim::front_panel>();
    unit_->attach(&board::serial(4));
    unit_->plug_can(&board::panel_can_wire());
    // A cabinet humidity sensor: its records leave the bus to the panel's port.
    sensor_ = std::make_unique<sim::field_board>(board::panel_can_wire(), 0x42632, 0x0107);
    sensor_->set_reading({0x01, 0x01, 45});
  }
  void TearDown() override {
    sensor_.reset();
    unit_.reset();
    controller_test::TearDown();
  }
  // Runs the controller with the unit following its line until `done`.
  template <class F>
  bool RunUntil(F done, uint32_t max_ticks = 6000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      rtos::advance(10);
      unit_->pump();
      if (done()) return true;
    }
    return false;
  }
  static uint32_t V(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_v, 0); }
  static CPeripheral* Live(uint16_t type) {
    CPeripheral* p = nullptr;
    InThread([&] { p = g_pPeripheralTask->GetPeripheral(type); });
    return p;
  }

  trace_capture trace_;
  std::unique_ptr<sim::front_panel> unit_;
  std::unique_ptr<sim::field_board> sensor_;
};

TEST_F(PanelCanControllerTest, ABoardOnThePanelsCanPortIsReadThroughTheTunnel) {
  // The panel reports its revisions during its start; until then nothing is
  // sent on bus C.
  ASSERT_TRUE(RunUntil([] { return g_pPeripheralTask && g_pPeripheralTask->RunState() == CPeripheralTask::RUN_STARTED; }));
  int created = 0;
  InThread([&] { created = g_pPeripheralTask->CreatePeripheral(CHumidity::TYPE_CABINET, "42632"); });
  ASSERT_EQ(created, 1);
  ASSERT_TRUE(RunUntil([] { return V(vol::quorCabinetHumidity) == 45; }))
      << "sent " << g_can_cp_driver.m_packetsSent << ", received " << g_can_cp_driver.m_packetsReceived
      << ", errors " << g_can_cp_driver.m_streamErrors;
  CPeripheral* sensor = Live(CHumidity::TYPE_CABINET);
  ASSERT_NE(sensor, nullptr);
  EXPECT_EQ(sensor->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(sensor->m_wVersion, 0x0107) << "the identify answer came back too";
  EXPECT_GE(sensor_->frames_for_me(), 2u);
  EXPECT_FALSE(unit_->can_frames().empty());
  EXPECT_GE(g_can_cp_driver.m_packetsReceived, 2u);
  // The console's status line counts the tunnel's frames.
  char a0[] = "vms", a1[] = "-s";
  char* argv[] = {a0, a1};
  InThread([&] { EXPECT_EQ(vms_command(2, argv), 0); });
  EXPECT_TRUE(trace_.contains("-LTP CAN\tRX:")) << "the console knows the tunnel's driver";
  EXPECT_FALSE(trace_.contains("-LTP CAN\tnot available"));

  // A reading that changes reaches the database; a board that falls silent
  // fails the sensor.
  sensor_->set_reading({0x01, 0x01, 61});
  ASSERT_TRUE(RunUntil([] { return V(vol::quorCabinetHumidity) == 61; }));
  sensor_->set_silent(true);
  ASSERT_TRUE(RunUntil([&] { return sensor->m_byState == PERIPHERAL_COMM_ERROR; }, 30000));
}

}  // namespace
