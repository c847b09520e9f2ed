// The front panel in the whole controller: the simulated unit on the panel
// line (serial port 4), the manager made by the peripheral task as its
// built-in peripheral of type 70, polled every task cycle.
#include <gtest/gtest.h>

#include <string>

#include "database/config_table.h"
#include "panel/controller_tests/panel_controller_fixture.h"
#include "panel/lcd_manager.h"
#include "peripherals/peripheral_task.h"

namespace {

class PanelControllerTest : public panel_controller<controller_test> {
 protected:
  void SetUp() override {
    Boot();
    AttachUnit();
  }
};

TEST_F(PanelControllerTest, TheUnitShowsTheSplashThenTheIdleScreenAndTakesALogin) {
  ASSERT_TRUE(RunUntil("QUORVANTIS PALISADE")) << unit_.screen();
  EXPECT_EQ(unit_.line(5), "---> LAPTOP                    BUSY <---");
  ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
  EXPECT_EQ(unit_.line(4), Line("SWITCH TO LOCAL MODE TO LOGIN", 6));

  CPeripheral* panel = nullptr;
  InThread([&] { panel = g_pPeripheralTask->GetPeripheral(70); });
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->m_byClass, CLCD_Manager::CLASS_CODE);
  EXPECT_EQ(panel->m_byState, PERIPHERAL_VALID);
  EXPECT_EQ(panel->m_wVersion, 7);

  EXPECT_EQ(Nv(nv::quorLCDAdminPassword), DB_FACTORY_ADMIN_PIN);
  Login();
  EXPECT_TRUE(unit_.local_lamp());
  EXPECT_EQ(unit_.line(8), Line("LOCAL MODE - CANCEL TO LOGOUT", 5));

  // CANCEL logs out and hands the sign back to central control.
  Key(kKeyCancel);
  ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
  EXPECT_FALSE(unit_.local_lamp());
}

// A second controller in the same process starts as the first did: its
// start-up writes reach the journal, so its sign's geometry is there when
// the display first configures the EPLD, and the panel line still carries
// the screen once the sign is set up.
TEST_F(PanelControllerTest, ASecondStartInTheSameProcessReachesTheIdleScreen) {
  ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
  controller_test::TearDown();
  trace_.clear();
  Boot();
  sim::front_panel unit;
  unit.attach(&board::serial(4));
  EXPECT_FALSE(trace_.contains("journal refused")) << trace_.text().substr(0, 2000);
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(4);
  bool shown = false;
  for (uint32_t t = 0; t < 5000 && !shown; t += 10) {
    rtos::advance(10);
    unit.pump();
    shown = unit.screen().find("REMOTE MODE - LOGGED OUT") != std::string::npos;
  }
  EXPECT_TRUE(shown) << unit.screen();
}

}  // namespace
