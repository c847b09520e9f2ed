// The front panel in the whole controller: the simulated unit on the panel
// line (serial port 4), the manager made by the peripheral task as its
// built-in peripheral of type 70, polled every task cycle.
#include <gtest/gtest.h>

#include <string>

#include "board_host.h"
#include "database/config_table.h"
#include "panel/controller_tests/panel_unit_driver.h"
#include "panel/lcd_manager.h"
#include "peripherals/peripheral_task.h"
#include "sim/panel/front_panel.h"
#include "tests/controller_fixture.h"

namespace {

class PanelControllerTest : public controller_test, protected panel_unit_driver {
 protected:
  PanelControllerTest() : panel_unit_driver(unit_) {}

  void SetUp() override {
    Boot();
    unit_.attach(&board::serial(4));
  }
  static std::string Line(const std::string& text, unsigned lead = 0) {
    std::string s = std::string(lead, ' ') + text;
    s.resize(40, ' ');
    return s;
  }

  trace_capture trace_;
  sim::front_panel unit_;
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

  // The key switch, then the factory PIN of the administrator.
  unit_.key_switch_local();
  ASSERT_TRUE(RunUntil("LOCAL MODE - LOGGED OUT")) << unit_.screen();
  EXPECT_EQ(Nv(nv::quorLCDAdminPassword), DB_FACTORY_ADMIN_PIN);
  for (uint8_t k : {2, 11, 7, 3, 8}) Key(k);  // 4 3 2 1 ENTER
  ASSERT_TRUE(RunUntil("** WELCOME TO THE MAIN MENU **")) << unit_.screen();
  EXPECT_TRUE(unit_.local_lamp());
  EXPECT_EQ(unit_.line(8), Line("LOCAL MODE - CANCEL TO LOGOUT", 5));

  // CANCEL logs out and hands the sign back to central control.
  Key(0);
  ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
  EXPECT_FALSE(unit_.local_lamp());
}

}  // namespace
