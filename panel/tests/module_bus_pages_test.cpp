// Bits per colour, frame rate, line length, time-out, bus speed and the
// special-feature bits through the simulated unit (no display task: the
// pages keep to the database objects).
#include <string>

#include "display/driver/module_type.h"
#include "panel/lcd_manager.h"
#include "panel/pages/module_bus_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class ModuleBusPagesTest : public PanelTest {
 protected:
  void TearDown() override {
    select_module_type_table(0);
    PanelTest::TearDown();
  }
  void Boot() {
    select_module_type_table(5);
    SetNv(nv::quorModuleID, 21);  // 7 x 5
    BootWithAllRights();
  }
  void Store(CLCD_MenuId id, const std::string& digits) {
    Open(id);
    TypeDigits(digits);
    PressKeys({LCD_PAD_ENTER});
  }
  // The SPECIAL FEATURES list (both pages) as the unit shows it.
  std::string Values() {
    Open(60);
    std::string s = Unit().screen();
    PressKeys({LCD_PAD_DOWN});
    s += Unit().screen();
    PressKeys({LCD_PAD_DOWN});
    return s + Unit().screen();
  }
};

TEST_F(ModuleBusPagesTest, NumbersKeepTheirRangesAndStore) {
  Boot();
  SetNv(nv::quorBitsPerColour, 0x2D);
  Store(61, "3");
  EXPECT_EQ(Nv(nv::quorBitsPerColour), 0x2Bu) << "the high flags stay";
  Store(61, "6");
  EXPECT_EQ(Nv(nv::quorBitsPerColour), 0x2Bu);

  Store(62, "11");
  EXPECT_NE(Nv(nv::quorFrameRate), 11u);
  Store(62, "10");
  EXPECT_EQ(Nv(nv::quorFrameRate), 10u);

  SetNv(nv::quorModTimeout, 10);
  Store(85, "65536");
  EXPECT_EQ(Nv(nv::quorModTimeout), 10u);
  Store(85, "0");
  EXPECT_EQ(Nv(nv::quorModTimeout), 0u);
}

TEST_F(ModuleBusPagesTest, PixelsPerLineStoresWholeModules) {
  Boot();
  EXPECT_NE(Values().find("DEFAULT"), std::string::npos);
  struct row {
    const char* pixels;
    uint32_t modules;
  };
  for (const row& r : {row{"100", 20}, row{"103", 20}}) {
    SetNv(nv::quorFrameRate, 7);
    SetNv(nv::quorBitsPerColour, 3);
    Store(63, r.pixels);
    EXPECT_EQ(Nv(nv::quorCANMaxLineLength), r.modules) << r.pixels;
    EXPECT_EQ(Nv(nv::quorFrameRate), 0u);
    EXPECT_EQ(Nv(nv::quorBitsPerColour), 0u);
  }
  const std::string values = Values();
  EXPECT_NE(values.find("MAXIMUM PIXELS PER CAN LINE"), std::string::npos) << values;
  EXPECT_NE(values.find(" 100 "), std::string::npos) << values;
}

TEST_F(ModuleBusPagesTest, BaudRateStoresTheCodeAndNamesTheDefault) {
  Boot();
  Open(65);
  PressKeys({pad('3')});  // 250K
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 4u);
  Open(65);
  PressKeys({pad('1')});
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 1u);
  const std::string name = find_module_type(21)->line_bitrate == 1 ? "DEFAULT (100K)" : "DEFAULT (";
  EXPECT_NE(Values().find(name), std::string::npos);
}

TEST_F(ModuleBusPagesTest, FeatureTogglesFlipTheirBits) {
  SetNv(nv::quorSpecialFeatureSet, 0x800);
  Boot();
  Open(64);
  EXPECT_EQ(Unit().line(1), Centred("QUOR SPECIAL FEATURES"));
  EXPECT_EQ(Unit().line(2).substr(0, 30), Line("1) DEFAULT 50 PERCENT DIMMING").substr(0, 30));
  EXPECT_EQ(Unit().line(7).substr(35, 4), " OFF") << Unit().screen();
  PressKeys({pad('3')});
  EXPECT_EQ(Nv(nv::quorSpecialFeatureSet), 0x808u);
  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Unit().line(5).substr(0, 24), "4) USE VOLATILE DATABASE") << Unit().screen();
  EXPECT_EQ(Unit().line(5).substr(36, 3), " ON");
  EXPECT_EQ(Unit().line(7), kBlank);
  PressKeys({pad('6')});  // nothing there
  EXPECT_EQ(Nv(nv::quorSpecialFeatureSet), 0x808u);
  PressKeys({pad('4')});
  EXPECT_EQ(Nv(nv::quorSpecialFeatureSet), 0x8u);
  EXPECT_EQ(Unit().line(5).substr(35, 4), " OFF");
  KeyCode(LCD_KEY_ESC);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 64);
}

}  // namespace
