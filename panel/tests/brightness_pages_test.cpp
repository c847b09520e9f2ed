// Dimming mode and manual level, master brightness and the legibility
// threshold through the simulated unit.
#include <string>

#include "panel/pages/brightness_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

constexpr db_object kLevelCap{95021, 1};

class BrightnessPagesTest : public PanelTest {
 protected:
  void Boot() { BootWithAllRights(); }
  std::string Screen() { return Unit().screen(); }
};

TEST_F(BrightnessPagesTest, UpArrowSwitchesModesAndManualEntryStoresALevel) {
  SetNv(nv::dmsIllumControl, 2);
  SetV(vol::dmsIllumNumBrightLevels, 16);
  SetNv(nv::dmsIllumManLevel, 3);
  Boot();
  Open(44);
  EXPECT_EQ(Unit().line(3), Centred("AUTOMATIC DIMMING"));
  EXPECT_EQ(Unit().line(6), Centred("PRESS UP ARROW FOR MANUAL DIMMING"));
  TypeDigits("5");
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 3u) << "no entry in automatic mode";
  KeyCode(LCD_KEY_UP);
  EXPECT_EQ(Nv(nv::dmsIllumControl), 4u);
  EXPECT_EQ(Unit().line(3), Centred("MANUAL DIMMING"));
  EXPECT_NE(Unit().line(8).find("ENTER PERCENTAGE:"), std::string::npos) << Screen();

  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 3u) << "an entered 0 keeps the level";
  struct row {
    const char* typed;
    uint32_t level;
  };
  for (const row& r : {row{"50", 8}, row{"99", 15}, row{"100", 16}}) {
    SCOPED_TRACE(r.typed);
    TypeDigits(r.typed);
    PressKeys({LCD_PAD_ENTER});
    EXPECT_EQ(Nv(nv::dmsIllumManLevel), r.level);
  }
  TypeDigits("1000");  // a fourth digit above 100 is refused
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 16u);

  for (uint32_t from : {4u, 5u, 6u}) {
    SetNv(nv::dmsIllumControl, from);
    KeyCode(LCD_KEY_UP);
    EXPECT_EQ(Nv(nv::dmsIllumControl), 2u) << from;
  }
}

TEST_F(BrightnessPagesTest, LevelLineFollowsTheDisplayRoundedUp) {
  SetNv(nv::dmsIllumControl, 2);
  SetV(vol::dmsIllumBrightLevelStatus, 128);
  SetV(vol::quorBrightnessLimitReason, 1);
  Boot();
  Open(44);
  EXPECT_EQ(Unit().line(4), Centred("DIMMING LEVEL: 51%"));
  SetV(vol::dmsIllumBrightLevelStatus, 255);
  Tick(12);
  EXPECT_EQ(Unit().line(4), Centred("DIMMING LEVEL:100%"));
  SetV(vol::dmsIllumBrightLevelStatus, 128);
  SetV(vol::quorRequestedBrightness, 255);
  SetV(vol::quorBrightnessLimitReason, 2);
  Tick(12);
  EXPECT_EQ(Unit().line(4), Centred("DIMMING LEVEL: 51% (DESIRED 100%)"));
  EXPECT_EQ(Unit().line(5), Centred("LIMITED DUE TO TEMPERATURE"));
  SetV(vol::dmsIllumBrightLevelStatus, 0);
  SetV(vol::quorBrightnessLimitReason, 1);
  Tick(12);
  EXPECT_EQ(Unit().line(4), Centred("DIMMING LEVEL:  0%"));
  EXPECT_EQ(Unit().line(5), kBlank);
}

TEST_F(BrightnessPagesTest, MasterBrightnessPullsTheCapDown) {
  struct row {
    uint32_t cap_before;
    uint32_t cap_after;
  };
  for (const row& r : {row{80, 60}, row{40, 40}}) {
    SCOPED_TRACE(r.cap_before);
    SetNv(nv::quorIllumBrightnessScaler, 100);
    SetNv(kLevelCap, r.cap_before);
    if (!mgr_) Boot();
    Open(83);
    EXPECT_NE(Screen().find("ENTER % OF MAXIMUM BRIGHTNESS"), std::string::npos) << Screen();
    TypeDigits("60");
    PressKeys({LCD_PAD_ENTER});
    EXPECT_EQ(Nv(nv::quorIllumBrightnessScaler), 60u);
    EXPECT_EQ(Nv(kLevelCap), r.cap_after);
  }
  for (const char* bad : {"0", "101"}) {
    Open(83);
    TypeDigits(bad);
    PressKeys({LCD_PAD_ENTER});
    EXPECT_EQ(Nv(nv::quorIllumBrightnessScaler), 60u) << bad;
  }
}

TEST_F(BrightnessPagesTest, LegibilityThresholdStoresUpTo100) {
  SetNv(nv::quorLegibilityRatioThreshold, 0);
  Boot();
  Open(78);
  TypeDigits("101");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorLegibilityRatioThreshold), 0u);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 78);
  PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});
  TypeDigits("25");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorLegibilityRatioThreshold), 25u);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 78);
}

}  // namespace
