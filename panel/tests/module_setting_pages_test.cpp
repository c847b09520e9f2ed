// The module setting wizards ask one value per colour of the module type
// and keep values to a byte (the payloads are checked in the whole
// controller, where the display lines exist).
#include <string>

#include "display/driver/module_type.h"
#include "panel/pages/module_setting_pages.h"
#include "panel/tests/panel_fixture.h"

namespace {

class ModuleSettingPagesTest : public PanelTest {
 protected:
  void TearDown() override {
    select_module_type_table(0);
    PanelTest::TearDown();
  }
  bool Shows(const std::string& text) { return Unit().screen().find(text) != std::string::npos; }
};

TEST_F(ModuleSettingPagesTest, CurrentDotAsksEachColourOfTheModuleType) {
  select_module_type_table(5);
  SetNv(nv::quorModuleID, 97);  // full colour
  BootWithAllRights();
  Open(66);
  for (const char* label : {"RED/AMBER", "GREEN/AMBER", "BLUE"}) {
    SCOPED_TRACE(label);
    EXPECT_TRUE(Shows(label)) << Unit().screen();
    TypeDigits("256");
    PressKeys({LCD_PAD_ENTER});
    EXPECT_TRUE(Shows(label)) << "256 stays on the item";
    PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});
    TypeDigits("40");
    PressKeys({LCD_PAD_ENTER});
  }
  EXPECT_TRUE(Shows("DONT SAVE (RECOMMENDED)")) << Unit().screen();
  PressKeys({pad('2')});
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 66);

  // A single-colour type: one value only.
  SetNv(nv::quorModuleID, 21);
  Open(66);
  TypeDigits("40");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_TRUE(Shows("DONT SAVE (RECOMMENDED)")) << Unit().screen();
}

TEST_F(ModuleSettingPagesTest, AutoAdjustDisableSkipsTheVoltage) {
  BootWithAllRights();
  Open(68);
  PressKeys({pad('1')});
  EXPECT_TRUE(Shows("DONT SAVE (RECOMMENDED)")) << Unit().screen();
  KeyCode(LCD_KEY_ESC);
  PressKeys({pad('2')});
  EXPECT_TRUE(Shows("10 * VOLTAGE")) << Unit().screen();
}

}  // namespace
