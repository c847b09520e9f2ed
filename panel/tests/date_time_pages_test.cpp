// The date and time wizard through the simulated unit: the zone and
// daylight-saving choices, the local date and time typed in either
// language's format, and the UTC seconds it stores.
#include <string>
#include <vector>

#include "panel/pages/date_time_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"
#include "peripherals/clock.h"

namespace {

using namespace screen_text;

class DateTimePagesTest : public PanelTest {
 protected:
  static constexpr CLCD_MenuId kWizard = 54;

  void Boot(uint32_t language = 0) {
    BootWithAllRights();
    InThread([&] { mgr_->m_dwLanguage = language; });
    Open(kWizard);
  }
  bool Shows(const std::string& text) { return Unit().screen().find(text) != std::string::npos; }
  // Digits, and the letters A and P as the keypad types them (2 and 7).
  void Type(const std::string& keys) {
    for (char c : keys) PressKeys({pad(c == 'A' ? '2' : c == 'P' ? '7' : c)});
  }
  static uint32_t GlobalTime() { return Db().GetTimeValue(nv::globalTime.offset, 4, Db().mib_nv, DB_GLOBAL_TIME); }
  static uint32_t Seconds(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute) {
    clock_date d{};
    d.year = year - 1900;
    d.month = month - 1;
    d.day = day;
    d.hours = hour;
    d.minutes = minute;
    uint32_t s = 0;
    CClock::DateToSeconds(&d, &s);
    return s;
  }
};

TEST_F(DateTimePagesTest, PacificNewYearMidnightIsEightOClockUtc) {
  Boot();
  EXPECT_EQ(Unit().line(1), Centred("TIMEZONE"));
  EXPECT_TRUE(Shows("4) PACIFIC")) << Unit().screen();
  Type("4");
  EXPECT_EQ(Unit().line(1), Centred("DST"));
  Type("1");
  EXPECT_EQ(Unit().line(1), Centred("SET DATE AND TIME"));
  EXPECT_EQ(Unit().line(4), Line("DATE: MM/DD/YYYY", 11));
  EXPECT_EQ(Unit().line(5), Line("TIME: HH:MMA", 11));
  Type("01012000");
  EXPECT_EQ(Unit().line(4), Line("DATE: 01/01/2000", 11));
  Type("1200");
  EXPECT_EQ(Unit().line(5), Line("TIME: 12:00A", 11));
  EXPECT_EQ(Unit().line(7), kBlank) << "the AM/PM field is still open";
  Type("A");
  EXPECT_EQ(Unit().line(7), Centred("PRESS ENTER TO SAVE"));
  EXPECT_EQ(Unit().line(8), Centred("OR PRESS ESCAPE TO CANCEL"));
  EXPECT_EQ(mgr_->m_byCursorVisible, 0);
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(GlobalTime(), 946713600u);  // 2000-01-01 08:00 UTC
  EXPECT_EQ(static_cast<int32_t>(Nv(nv::controllerStandardTimeZone)), -28800);
  EXPECT_EQ(Nv(nv::globalDaylightSaving), 2u);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, kWizard);
}

TEST_F(DateTimePagesTest, HoursOfBothClocksAndTheZones) {
  struct row {
    uint32_t language;
    const char* zone;
    const char* dst;
    const char* keys;  // date then time
    uint32_t hour, minute;
    int32_t offset;
    uint32_t dst_value;
  };
  const row rows[] = {
      {0, "1", "2", "030520241230A", 0, 30, -18000, 3},
      {0, "2", "1", "030520241230P", 12, 30, -21600, 2},
      {0, "3", "1", "030520240130P", 13, 30, -25200, 2},
      {0, "1", "1", "030520241105P", 23, 5, -18000, 2},
      {1, "2", "2", "202403051230", 12, 30, -21600, 3},
      {1, "4", "1", "202403050005", 0, 5, -28800, 2},
  };
  Boot();
  for (const row& r : rows) {
    SCOPED_TRACE(r.keys);
    InThread([&] { mgr_->m_dwLanguage = r.language; });
    Open(kWizard);
    Type(r.zone);
    Type(r.dst);
    Type(r.keys);
    PressKeys({LCD_PAD_ENTER});
    EXPECT_NE(mgr_->CurrentMenu()->m_iId, kWizard);
    EXPECT_EQ(GlobalTime(), Seconds(2024, 3, 5, r.hour, r.minute) - r.offset);
    EXPECT_EQ(static_cast<int32_t>(Nv(nv::controllerStandardTimeZone)), r.offset);
    EXPECT_EQ(Nv(nv::globalDaylightSaving), r.dst_value);
  }
}

TEST_F(DateTimePagesTest, FrenchFieldsAndTexts) {
  Boot(1);
  EXPECT_EQ(Unit().line(1), Centred("FUSEAU HORAIRE"));
  EXPECT_TRUE(Shows("3) MONTAGNE")) << Unit().screen();
  Type("2");
  EXPECT_EQ(Unit().line(1), Centred("HEURE AVANCEE"));
  EXPECT_TRUE(Shows("2) ACTIVE")) << Unit().screen();
  Type("2");
  EXPECT_EQ(Unit().line(1), Centred("CHANGER LA DATE ET L'HEURE"));
  EXPECT_EQ(Unit().line(4), Line("DATE: AAAA/MM/JJ", 11));
  EXPECT_EQ(Unit().line(5), Line("HEURE: HH:MM", 10));
  Type("202402291745");
  EXPECT_EQ(Unit().line(4), Line("DATE: 2024/02/29", 11));
  EXPECT_EQ(Unit().line(7), Centred("APPUYER SUR ENTER POUR ENREGISTRER"));
  EXPECT_EQ(Unit().line(8), Centred("OU SUR ESCAPE POUR ANNULER"));
}

TEST_F(DateTimePagesTest, BackspaceAndEscapeWalkBack) {
  SetNv(nv::controllerStandardTimeZone, static_cast<uint32_t>(-21600));
  Boot();
  Type("31");
  Type("12312024");
  EXPECT_EQ(mgr_->m_iCursorLine, 5);
  EXPECT_EQ(mgr_->m_iCursorColumn, 18);
  // Backspace on the empty time takes the date's last digit.
  PressKeys({LCD_PAD_LEFT});
  EXPECT_EQ(Unit().line(4), Line("DATE: 12/31/202Y", 11));
  EXPECT_EQ(mgr_->m_iCursorLine, 4);
  EXPECT_EQ(mgr_->m_iCursorColumn, 27);
  Type("59");
  EXPECT_EQ(Unit().line(5), Line("TIME:  9:MMA", 11));
  EXPECT_EQ(mgr_->m_iCursorColumn, 21);
  // ESC on the time goes back to the daylight-saving choice; nothing is
  // stored.
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(Unit().line(1), Centred("DST"));
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, kWizard);
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(Unit().line(1), Centred("TIMEZONE"));
  KeyCode(LCD_KEY_ESC);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, kWizard);
  EXPECT_EQ(GlobalTime(), 0u);
  EXPECT_EQ(static_cast<int32_t>(Nv(nv::controllerStandardTimeZone)), -21600);
}

}  // namespace
