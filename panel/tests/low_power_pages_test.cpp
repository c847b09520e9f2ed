// The share of pixels kept on when dimmed for low power and the message
// backup time: shown beside their entries, stored as typed (hours as
// minutes), and hidden without a sign power mode peripheral.
#include <string>

#include "panel/pages/low_power_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class LowPowerPagesTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    SetV(vol::quorPowerModeStatus, 2);
    SetNv(nv::quorLowPowerDuration, 65535);
    SetNv(nv::quorPixelDimPercent(0), 50);
  }
  // The value CONFIGURE OPTIONS shows beside an entry, on whichever of its
  // pages the entry stands; "absent" when the entry is not listed.
  std::string ValueOf(const std::string& title) {
    Open(48);
    for (int page = 0; page < 4; ++page) {
      if (page > 0) PressKeys({LCD_PAD_DOWN});
      for (uint32_t l = 2; l <= 7; ++l) {
        std::string line = Unit().line(l);
        const size_t at = line.find(title);
        if (at == std::string::npos) continue;
        line = line.substr(at + title.size());
        line.erase(0, line.find_first_not_of(' '));
        line.erase(line.find_last_not_of(' ') + 1);
        return line;
      }
    }
    return "absent";
  }
  uint32_t Minutes() { return Nv(nv::quorLowPowerDuration); }
};

TEST_F(LowPowerPagesTest, ListShowsHoursRoundedUpOrDisabled) {
  BootWithAllRights();
  struct row {
    uint32_t minutes;
    const char* shown;
  };
  for (const row& r : {row{90, "2"}, row{120, "2"}, row{1, "1"}, row{65535, "DISABLED"}}) {
    SetNv(nv::quorLowPowerDuration, r.minutes);
    EXPECT_EQ(ValueOf("SET MESSAGE BACKUP TIME"), r.shown) << r.minutes;
  }
  EXPECT_EQ(ValueOf("SET PERCENT PIXELS ON DIM"), "50");
}

TEST_F(LowPowerPagesTest, HiddenWithoutTheSignPowerModePeripheral) {
  BootWithAllRights();
  SetV(vol::quorPowerModeStatus, 1);
  EXPECT_EQ(ValueOf("SET MESSAGE BACKUP TIME"), "absent");
  EXPECT_EQ(ValueOf("SET PERCENT PIXELS ON DIM"), "absent");
  SetV(vol::quorPowerModeStatus, 2);
  EXPECT_EQ(ValueOf("SET MESSAGE BACKUP TIME"), "DISABLED");
}

TEST_F(LowPowerPagesTest, BackupTimeNeverBlankOrHoursAsMinutes) {
  BootWithAllRights();
  SetNv(nv::quorLowPowerDuration, 30);
  Open(197);
  EXPECT_EQ(Unit().line(1), Centred("SET MESSAGE BACKUP TIME"));
  EXPECT_EQ(Unit().line(2), Line("1) NEVER BLANK "));
  PressKeys({pad('1')});
  EXPECT_EQ(Minutes(), 65535u) << "no hours asked";
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 197);

  Open(197);
  PressKeys({pad('2')});
  EXPECT_NE(Unit().screen().find("HOURS:"), std::string::npos) << Unit().screen();
  TypeDigits("12");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Minutes(), 720u);

  // 1093 hours are more minutes than the object holds: the old time stays.
  Open(197);
  PressKeys({pad('2')});
  TypeDigits("1093");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Minutes(), 720u);
  Open(197);
  PressKeys({pad('2')});
  TypeDigits("1092");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Minutes(), 65520u);
}

TEST_F(LowPowerPagesTest, PercentUpTo100StartsFromZero) {
  BootWithAllRights();
  Open(196);
  EXPECT_EQ(Unit().line(1), Centred("SET PERCENT PIXELS ON DIM"));
  TypeDigits("101");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorPixelDimPercent(0)), 50u);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 196) << "the page waits";
  PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});
  TypeDigits("35");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorPixelDimPercent(0)), 35u);
  // Opened again, the entry starts empty rather than at the last number.
  Open(196);
  TypeDigits("7");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorPixelDimPercent(0)), 7u);
}

}  // namespace
