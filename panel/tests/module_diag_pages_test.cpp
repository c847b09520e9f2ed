// The module table: five modules a page with "(MORE)" while more follow,
// three views turned by LEFT and RIGHT, the lines as the modules report
// them, and the page only where the modules report diagnostics.
#include <algorithm>
#include <memory>
#include <string>

#include "display/core/diagnostics.h"
#include "display/driver/module_type.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "panel/pages/module_diag_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using screen_text::Centred;
using screen_text::kBlank;
using screen_text::Line;

constexpr CLCD_MenuId kPage = 35;

class ModuleDiagPagesTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    display_ = std::make_unique<CDisplay>(&g_post_office);
    display_->FaceDescription(0).diag = &diag_;
    diag_.m_pDescription = &desc_;
    g_diag_ksr7100.m_bySingleInput = 0;
    SetNv(nv::quorModuleID, 21);
  }
  void TearDown() override {
    g_diag_ksr7100.m_bySingleInput = 0;
    display_.reset();
    PanelTest::TearDown();
  }
  // `count` modules of 7 x 5 pixels, `across` to a display line.
  void Modules(uint32_t count, uint32_t across = 12) {
    desc_.total_modules = static_cast<uint16_t>(count);
    desc_.module_width = 5;
    desc_.module_height = 7;
    for (uint32_t i = 0; i < count; ++i) {
      const disp::pixel tl(static_cast<uint16_t>(i % across * 5), static_cast<uint16_t>(i / across * 7));
      const disp::pixel br(static_cast<uint16_t>(tl.x + 4), static_cast<uint16_t>(tl.y + 6));
      diag_.m_Modules[i].Close();
      diag_.m_Modules[i].Open(&tl, &br, nullptr, nullptr);
      diag_.m_Modules[i].temperature = static_cast<int8_t>(20 + i);
    }
  }
  std::string Format(const disp::module& m, uint8_t view, bool single_input = false, bool single_colour = true) {
    char text[64];
    CLCD_ModuleDiagnostics::FormatLine(text, sizeof text, m, view, single_input, single_colour);
    return text;
  }
  CLCD_ModuleDiagnostics* Page() { return static_cast<CLCD_ModuleDiagnostics*>(mgr_->FindMenu(kPage, nullptr)); }

  disp::face_description desc_;
  disp::diagnostics diag_;
  std::unique_ptr<CDisplay> display_;
};

TEST_F(ModuleDiagPagesTest, TwelveModulesTakeThreePages) {
  Modules(12);
  BootWithAllRights();
  Open(kPage);
  EXPECT_EQ(Unit().line(1), Centred("MODULE DIAGNOSTICS"));
  EXPECT_EQ(Unit().line(2), Line("MODULE   VIN1 VIN2  PS T(C) mA1 mA2 mA3"));
  EXPECT_EQ(Unit().line(3).substr(0, 4), "A101");
  EXPECT_EQ(Unit().line(7).substr(0, 4), "A105");
  EXPECT_EQ(Unit().line(8), Centred("(MORE)"));

  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Unit().line(3).substr(0, 4), "A106");
  EXPECT_EQ(Unit().line(7).substr(0, 4), "A110");
  EXPECT_EQ(Unit().line(8), Centred("(MORE)"));

  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Unit().line(3).substr(0, 4), "A111");
  EXPECT_EQ(Unit().line(4).substr(0, 4), "A112");
  for (int line = 5; line <= 8; ++line) EXPECT_EQ(Unit().line(line), kBlank) << line;
  // The last page: DOWN does nothing, but is taken.
  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Page()->m_byPage, 2);
  EXPECT_EQ(mgr_->CurrentMenu(), Page());

  KeyCode(LCD_KEY_UP);
  KeyCode(LCD_KEY_UP);
  KeyCode(LCD_KEY_UP);
  EXPECT_EQ(Page()->m_byPage, 0);
  EXPECT_EQ(Unit().line(3).substr(0, 4), "A101");

  // A second line of modules: their names carry the line.
  Modules(14);
  KeyCode(LCD_KEY_DOWN);
  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Unit().line(5).substr(0, 4), "A201");
  EXPECT_EQ(Unit().line(6).substr(0, 4), "A202");
}

TEST_F(ModuleDiagPagesTest, ViewsTurnWithLeftAndRightWithinTheirRange) {
  Modules(2);
  diag_.m_Modules[0].value[2] = 35;
  diag_.m_Modules[0].revision = 7;
  BootWithAllRights();
  Open(kPage);
  // RIGHT reaches the page from the keypad.
  EXPECT_EQ(mgr_->m_byKey12Pass, 1);
  KeyCode(LCD_KEY_LEFT);
  EXPECT_EQ(Page()->m_byView, 0);
  EXPECT_EQ(mgr_->CurrentMenu(), Page()) << "LEFT in the first view is taken";

  KeyCode(LCD_KEY_RIGHT);
  EXPECT_EQ(Unit().line(2), Line("MODULE   VLED1 VLED2 VLED3 REV"));
  EXPECT_EQ(Unit().line(3), Line("A101       3.5   0.0   0.0   7"));
  KeyCode(LCD_KEY_RIGHT);
  EXPECT_EQ(Unit().line(2), Line("MODULE   VOUT(AVG,RANGE)"));
  KeyCode(LCD_KEY_RIGHT);
  EXPECT_EQ(Page()->m_byView, 2);
  EXPECT_EQ(mgr_->CurrentMenu(), Page());
  // Other keys are the manager's.
  LCDKeyEvent other = lcd_key_event(LCD_KEY_ENTER);
  bool taken = true;
  InThread([&] { taken = Page()->HandleKey(mgr_, &other); });
  EXPECT_FALSE(taken);

  // Entering again starts at page 0, view 0; leaving gives the flag back.
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(mgr_->m_byKey12Pass, 0);
  Open(kPage);
  EXPECT_EQ(Page()->m_byView, 0);
  EXPECT_EQ(Unit().line(2), Line("MODULE   VIN1 VIN2  PS T(C) mA1 mA2 mA3"));
}

TEST_F(ModuleDiagPagesTest, LinesShowWhatTheModulesReport) {
  Modules(24);
  disp::module& m = diag_.m_Modules[22];  // display line 2, column 11
  // Supplies 24.3 V and 24.1 V, both in use; LEDs at 3.2, 10.5 and 0.7 V.
  const uint16_t values[5] = {243, 241, 32, 105, 7};
  std::copy(values, values + 5, m.value);
  m.status_code = 2;
  m.temperature = 35;
  m.revision = 12;
  m.field_a = 20, m.field_e = 21, m.field_f = 19;   // the LED currents
  m.field_d = 255, m.field_b = 0, m.field_c = 128;  // output average, low, high
  EXPECT_EQ(Format(m, 0), "A211     24.3 24.1 1&2   35  20  21  19");
  EXPECT_EQ(Format(m, 0, true), "A211     24.3    35  20  21  19");
  EXPECT_EQ(Format(m, 1), "A211       3.2  10.5   0.7  12");
  EXPECT_EQ(Format(m, 2), "A211      5.0, 0.0-> 2.5");
  EXPECT_EQ(Format(m, 2, false, false), "A211     N/A");

  struct {
    uint8_t code;
    const char* text;
  } const supplies[] = {{0, "PS1"}, {1, "PS2"}, {2, "1&2"}, {3, "  ?"}, {200, "  ?"}};
  for (const auto& s : supplies) {
    m.status_code = s.code;
    EXPECT_EQ(Format(m, 0).substr(19, 3), s.text) << static_cast<int>(s.code);
  }
  // Values past their columns still end at the line's width.
  m.value[0] = m.value[1] = 65535;
  m.temperature = -128;
  EXPECT_LE(Format(m, 0).size(), 40u);
}

TEST_F(ModuleDiagPagesTest, OneSupplyInputAndTheModuleTypeChooseTheLayout) {
  Modules(1);
  diag_.m_Modules[0].value[0] = 121;
  g_diag_ksr7100.m_bySingleInput = 1;
  BootWithAllRights();
  Open(kPage);
  EXPECT_EQ(Unit().line(2), Line("MODULE    VIN  T(C) mA1 mA2 mA3"));
  EXPECT_EQ(Unit().line(3), Line("A101     12.1    20   0   0   0"));
  for (int line = 4; line <= 8; ++line) EXPECT_EQ(Unit().line(line), kBlank) << line;

  // A full-colour module type has no output voltage to show.
  select_module_type_table(5);
  SetNv(nv::quorModuleID, 97);
  KeyCode(LCD_KEY_RIGHT);
  KeyCode(LCD_KEY_RIGHT);
  EXPECT_EQ(Unit().line(3), Line("A101     N/A"));
  select_module_type_table(0);
}

TEST_F(ModuleDiagPagesTest, WithoutModulesOnlyTheHeaderShows) {
  BootWithAllRights();
  diag_.m_Modules[0].revision = 9;  // a record the face does not have
  Open(kPage);
  EXPECT_EQ(Unit().line(2), Line("MODULE   VIN1 VIN2  PS T(C) mA1 mA2 mA3"));
  for (int line = 3; line <= 8; ++line) EXPECT_EQ(Unit().line(line), kBlank) << line;
  // Without a display at all, the same.
  display_.reset();
  KeyCode(LCD_KEY_RIGHT);
  for (int line = 3; line <= 8; ++line) EXPECT_EQ(Unit().line(line), kBlank) << line;
}

TEST_F(ModuleDiagPagesTest, ThePageIsThereOnlyForModulesThatReportDiagnostics) {
  BootWithAllRights();
  CLCD_ModuleDiagnostics* page = Page();
  ASSERT_NE(page, nullptr);
  bool rights = false;
  InThread([&] { rights = page->HasRights(mgr_); });
  EXPECT_TRUE(rights);
  SetNv(nv::quorModuleID, 1);  // an older module family
  InThread([&] { rights = page->HasRights(mgr_); });
  EXPECT_FALSE(rights);
  SetNv(nv::quorModuleID, 21);
  InThread([&] {
    mgr_->m_dwRights = LCD_RIGHTS_ALL & ~LCD_RIGHT_DIAGNOSTICS;
    rights = page->HasRights(mgr_);
  });
  EXPECT_FALSE(rights);
}

TEST_F(ModuleDiagPagesTest, ThePeriodicRedrawShowsNewValues) {
  Modules(1);
  BootWithAllRights();
  Open(kPage);
  EXPECT_EQ(Unit().line(3), Line("A101      0.0  0.0 PS1   20   0   0   0"));
  diag_.m_Modules[0].temperature = 41;
  Tick(CLCD_ModuleDiagnostics::kRedrawInterval + 2);
  EXPECT_EQ(Unit().line(3), Line("A101      0.0  0.0 PS1   41   0   0   0"));
}

}  // namespace
