// Through the simulated unit: the splash screen, the idle screen, the main
// menu, a page and back, the refusal page, and the same in French.
#include <string>
#include <vector>

#include "display/task/display_peripherals.h"
#include "panel/lcd_indicators.h"
#include "panel/tests/panel_fixture.h"

namespace {

std::string Line(const std::string& text, unsigned lead = 0) {
  std::string s = std::string(lead, ' ') + text;
  s.resize(40, ' ');
  return s;
}

// Centred as CLCD::Printf alignment 3 does on a cleared line.
std::string Centred(const std::string& text) { return Line(text, static_cast<unsigned>((42 - text.size()) / 2 - 1)); }
// Centred over the whole line (CLCD::PrintfLine).
std::string CentredLine(const std::string& text) { return Line(text, static_cast<unsigned>((40 - text.size()) / 2)); }
// A centred field from column 1 (39 wide).
std::string CentredField(const std::string& text) {
  return Line(text, static_cast<unsigned>(39 / 2 - text.size() / 2));
}

std::string Screen(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

class NavigationTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignHeightPixels, 7);
    SetNv(nv::vmsSignWidthPixels, 30);
    SetNv(nv::quorDisplayMode, 1);
    // 2010-03-14 13:05:09
    SetV(vol::controllerLocalTime, 1268524800 + 13 * 3600 + 5 * 60 + 9);
  }
  void AddMainMenuPages() {
    add_test_page_class(5, "MESSAGE CONTROL", 0);
    add_test_page_class(137, "CHANGE PASSWORD", 0x800);
  }
  const std::string kVersion = "PX3907561 v1.9.4588.42";
};

TEST_F(NavigationTest, SplashThenTheIdleScreen) {
  MakeManager();
  for (int i = 0; i < 8 && mgr_->m_byPanelState != CLCD_Manager::PANEL_SPLASH; ++i) Tick();
  ASSERT_EQ(mgr_->m_byPanelState, CLCD_Manager::PANEL_SPLASH);
  EXPECT_EQ(Unit().screen(), Screen({Centred("QUORVANTIS PALISADE"),
                                     "||                VMS                |||",
                                     "||                         ETHERNET <-||",
                                     "|--> MODEM                    POWER <--|",
                                     "---> LAPTOP                    BUSY <---",
                                     Line(""),
                                     Line(""),
                                     CentredLine(kVersion)}));
  // The pictures the legend points at: laptop, modem, Ethernet, power.
  const std::string laptop = "........\n.#......\n.#..###.\n.#...#..\n.#...#..\n.###.#..\n.....#..\n........\n";
  EXPECT_EQ(Unit().pixels(0, 0, 8, 8), laptop);
  EXPECT_TRUE(Unit().pixel(9, 0));    // modem
  EXPECT_TRUE(Unit().pixel(221, 1));  // Ethernet
  EXPECT_TRUE(Unit().pixel(228, 0));  // power plug
  // The hardware and firmware revisions are known.
  EXPECT_EQ(mgr_->m_byHardwareRevision, 7);
  EXPECT_EQ(mgr_->m_byFirmwareRevision, 9);
  EXPECT_EQ(VText(vol::moduleModel(3)), "KB52076 - CONTROL PANEL");
  EXPECT_EQ(VText(vol::moduleVersion(3)), "7/9");

  // Keys on the splash page do nothing.
  Unit().press(LCD_PAD_CANCEL);
  Tick();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_SPLASH);

  Start();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_LOGIN);
  EXPECT_EQ(Unit().screen(), Screen({Centred("VMS FULL 7X30 MONO"),
                                     Line(""),
                                     Line(""),
                                     Line("SWITCH TO LOCAL MODE TO LOGIN", 6),
                                     Line(""),
                                     CentredField("01:05:09 PM 03/14/2010"),
                                     CentredField("SIGN LEGIBILITY:  0%"),
                                     CentredField("REMOTE MODE - LOGGED OUT")}));
  // The rotating line holds each item for nine ticks.
  Tick(8);
  EXPECT_EQ(Unit().line(7), CentredField("SIGN LEGIBILITY:  0%"));
  Tick();
  EXPECT_EQ(Unit().line(7), CentredField("MSG:OTHER 0"));
}

TEST_F(NavigationTest, TheIdleBrightnessIsTheDisplaysDeratedLevel) {
  panel_install(5);
  g_display_peripherals.derating_percent = [] { return static_cast<uint8_t>(50); };
  SetNv(nv::dmsIllumControl, 4);
  SetNv(nv::dmsIllumManLevel, 200);
  MakeManager();
  Start();
  std::string line;
  for (int n = 0; n < 60 && line.find("BRIGHTNESS") == std::string::npos; ++n) {
    Tick();
    line = Unit().line(7);
  }
  g_display_peripherals.derating_percent = nullptr;
  // 200 derated to 100 of 255.
  EXPECT_EQ(line, CentredField("MANUAL BRIGHTNESS: 40%"));
}

TEST_F(NavigationTest, MainMenuAPageAndBack) {
  AddMainMenuPages();
  MakeManager();
  Start();
  GoLocal();
  EXPECT_EQ(Unit().line(4), Line("PASSWORD: ________________", 6));
  PressKeys({3, 7, 11, 2, LCD_PAD_ENTER});  // 1 2 3 4
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  EXPECT_EQ(Unit().screen(), Screen({Centred("** WELCOME TO THE MAIN MENU **"), Line("1) MESSAGE CONTROL"),
                                     Line("2) DIAGNOSTICS"), Line("3) BRIGHTNESS CONTROL"), Line("4) CONFIGURATION"),
                                     Line("5) CURRENT DISPLAY"), Line("6) CHANGE PASSWORD"),
                                     CentredLine("LOCAL MODE - CANCEL TO LOGOUT")}));
  // No more pages: both arrow areas are blank.
  std::string blank;
  for (int i = 0; i < 16; ++i) blank += "......\n";
  EXPECT_EQ(Unit().pixels(234, 24, 6, 16), blank);

  PressKeys({10});  // '6'
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_CHANGE_PASSWORD);
  EXPECT_EQ(Unit().line(1), Centred("CHANGE PASSWORD"));
  EXPECT_EQ(Unit().line(4), Line("TEXT:"));

  PressKeys({LCD_PAD_CANCEL});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  EXPECT_EQ(Unit().line(1), Centred("** WELCOME TO THE MAIN MENU **"));
  EXPECT_EQ(Unit().line(7), Line("6) CHANGE PASSWORD"));

  // A digit past the entries does nothing.
  PressKeys({1});  // '7'
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);

  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_LOGIN);
  EXPECT_EQ(Unit().line(8), CentredField("REMOTE MODE - LOGGED OUT"));
}

TEST_F(NavigationTest, APageWithoutTheRightsShowsTheRefusal) {
  AddMainMenuPages();
  MakeManager();
  Start();
  GoLocal();
  PressKeys({6, 10, 1, 5, LCD_PAD_ENTER});  // 5 6 7 8: the user PIN
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  // CHANGE PASSWORD (and every page of CONFIGURATION built so far) needs a
  // right this user lacks: the list closes up.
  EXPECT_EQ(Unit().line(2), Line("1) MESSAGE CONTROL"));
  EXPECT_EQ(Unit().line(3), Line("2) DIAGNOSTICS"));
  EXPECT_EQ(Unit().line(4), Line("3) BRIGHTNESS CONTROL"));
  EXPECT_EQ(Unit().line(5), Line("4) CURRENT DISPLAY"));
  EXPECT_EQ(Unit().line(6), Line(""));

  CMenuItem* main = mgr_->CurrentMenu();
  InThread([&] { EXPECT_TRUE(mgr_->ActivateMenu(LCD_MENU_CHANGE_PASSWORD, main, false)); });
  Tick();
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_INSUFFICIENT_RIGHTS);
  EXPECT_EQ(Unit().screen(), Screen({Centred("INSUFFICIENT RIGHTS"), Line(""), Line(""),
                                     Centred("YOU DO NOT HAVE RIGHTS"), Centred("TO ACCESS THIS MENU"), Line(""),
                                     Line(""), Centred("PRESS ENTER OR CANCEL TO GO BACK")}));
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu(), main);

  // CANCEL goes back as well.
  InThread([&] { mgr_->ActivateMenu(LCD_MENU_CHANGE_PASSWORD, main, false); });
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(mgr_->CurrentMenu(), main);
}

TEST_F(NavigationTest, InFrench) {
  SetNv(nv::quorLanguage, 2);
  AddMainMenuPages();
  MakeManager();
  Start();
  EXPECT_EQ(Unit().line(4), Line("SWITCH TO LOCAL MODE TO LOGIN", 6));
  EXPECT_EQ(Unit().line(6), CentredField("13:05:09 03/14/2010"));
  EXPECT_EQ(Unit().line(8), CentredField("MODE A DISTANCE - SESSION FERMEE"));
  GoLocal();
  EXPECT_EQ(Unit().line(4), Line("M.D.PASSE:________________", 6));
  PressKeys({3, 7, 11, 2, LCD_PAD_ENTER});
  EXPECT_EQ(Unit().line(1), Centred("** BIENVENUE AU MENU PRINCIPAL **"));
  EXPECT_EQ(Unit().line(8), CentredLine("MODE LOCAL - ESC POUR FERMER LA SESSION"));

  SetNv(nv::communityNameAccessMask(0), 0);
  PressKeys({LCD_PAD_CANCEL});
  GoLocal();
  PressKeys({5, 11, 7, 2, LCD_PAD_ENTER});  // "tech", no rights at all
  CMenuItem* main = mgr_->CurrentMenu();
  ASSERT_EQ(main->m_iId, LCD_MENU_MAIN);
  InThread([&] { mgr_->ActivateMenu(LCD_MENU_CHANGE_PASSWORD, main, false); });
  Tick();
  // The capital A with grave accent reaches the unit as a plain A.
  EXPECT_EQ(Unit().screen(), Screen({Centred("DROITS INSUFFISANT"), Line(""), Line(""),
                                     Centred("VOUS N'AVEZ PAS LE DROIT"), Centred("D'ACCEDER A CE MENU"), Line(""),
                                     Line(""), Centred("PRESSEZ ENTER OU CANCEL")}));
}

TEST_F(NavigationTest, AListWithNothingToShow) {
  MakeManager();
  Start();
  LoginWithPin({3, 7, 11, 2});
  // Without the diagnostics right none of the diagnostics pages is there.
  mgr_->m_dwRights &= ~static_cast<uint32_t>(LCD_RIGHT_DIAGNOSTICS);
  CMenuItem* main = mgr_->CurrentMenu();
  InThread([&] { EXPECT_TRUE(mgr_->ActivateMenu(LCD_MENU_DIAGNOSTICS, main, false)); });
  Tick();
  EXPECT_EQ(Unit().line(2), Line("1) NO MENUS AVAILABLE"));
  EXPECT_EQ(Unit().line(3), Line(""));
}

}  // namespace
