// Login with each level, wrong passwords, the local mode and its traps,
// and the ways a user is logged out.
#include <string>
#include <vector>

#include "panel/lcd_keys.h"
#include "panel/pages/login.h"
#include "panel/tests/panel_fixture.h"

namespace {

// Keypad codes of the digit keys.
uint8_t pad(char digit) {
  static const uint8_t kCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
  return kCodes[digit - '0'];
}
std::vector<uint8_t> pads(const std::string& digits) {
  std::vector<uint8_t> out;
  for (char c : digits) out.push_back(pad(c));
  return out;
}

class LoginTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    MakeManager();
    Start();
    Traps();
  }
  CLCD_Login* Login() { return static_cast<CLCD_Login*>(mgr_->FindMenu(LCD_MENU_LOGIN, nullptr)); }
  CMenuItem* Current() { return mgr_->CurrentMenu(); }
};

TEST_F(LoginTest, EachLevelGetsItsRights) {
  const struct {
    const char* name;
    std::string keys;  // digits of the keypad
    int32_t level;
    uint32_t rights;
  } rows[] = {
      {"admin PIN", "1234", LCD_LEVEL_ADMIN_PIN, 0xFFFFFFFF},
      {"user PIN", "5678", LCD_LEVEL_USER_PIN, 0x00F80000},
      {"admin community by letter groups (A d m i n)", "23646", LCD_LEVEL_ADMIN, 0xFFFFFFFF},
      {"user community 0 (t e c h)", "8324", LCD_LEVEL_COMMUNITY, 0x00100800},
  };
  for (const auto& r : rows) {
    LoginWithPin(pads(r.keys));
    EXPECT_EQ(mgr_->m_iLevel, r.level) << r.name;
    EXPECT_EQ(mgr_->m_dwRights, r.rights) << r.name;
    ASSERT_EQ(Current()->m_iId, LCD_MENU_MAIN) << r.name;
    EXPECT_EQ(Current()->m_pParent, Login()) << r.name;
    EXPECT_EQ(mgr_->m_dwLogoutCountdown, 119) << r.name;  // 2 x 60 s, one tick gone
    EXPECT_TRUE(Unit().local_lamp());
    // CANCEL on the main menu logs out.
    PressKeys({LCD_PAD_CANCEL});
    EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT) << r.name;
    EXPECT_EQ(mgr_->m_dwRights, 0u);
    EXPECT_EQ(Current(), Login());
    EXPECT_EQ(V(vol::dmsControlMode), 4u);
    EXPECT_FALSE(Unit().local_lamp());
  }
}

TEST_F(LoginTest, AWrongPasswordShowsForFourTicksAndClearsTheEntry) {
  LoginWithPin(pads("1235"));
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_EQ(Current(), Login());
  EXPECT_EQ(Unit().line(4), std::string(6, ' ') + "     INVALID PASSWORD     " + std::string(8, ' '));
  Tick(2);
  EXPECT_EQ(Unit().line(4), std::string(6, ' ') + "     INVALID PASSWORD     " + std::string(8, ' '));
  Tick();
  EXPECT_EQ(Unit().line(4), std::string(6, ' ') + "PASSWORD: ________________" + std::string(8, ' '));
  EXPECT_EQ(Login()->m_dwKeyCount, 0u);
  // The right PIN now.
  PressKeys(pads("1234"));
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN_PIN);
}

TEST_F(LoginTest, AKeyEndsTheInvalidPasswordText) {
  LoginWithPin(pads("99"));
  ASSERT_TRUE(Login()->m_byWrong);
  PressKeys({pad('1')});  // swallowed: it only resets the page
  EXPECT_FALSE(Login()->m_byWrong);
  EXPECT_EQ(Login()->m_dwKeyCount, 0u);
  EXPECT_EQ(Unit().line(4).substr(6, 26), "PASSWORD: ________________");
}

TEST_F(LoginTest, TheEntryLineShowsStarsAndHoldsSixteenKeys) {
  GoLocal();
  PressKeys(pads("123"));
  EXPECT_EQ(Unit().line(4), std::string(6, ' ') + "PASSWORD: ***_____________" + std::string(8, ' '));
  EXPECT_TRUE(mgr_->m_byCursorVisible);
  EXPECT_EQ(mgr_->m_iCursorColumn, 20);
  PressKeys({LCD_PAD_LEFT});
  EXPECT_EQ(Login()->m_dwKeyCount, 2u);
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(Login()->m_dwKeyCount, 0u);
  PressKeys(pads("12345678901234567"));
  EXPECT_EQ(Login()->m_dwKeyCount, 16u);
  EXPECT_EQ(Unit().line(4).substr(6, 26), "PASSWORD: ****************");
  EXPECT_FALSE(mgr_->m_byCursorVisible);
}

TEST_F(LoginTest, APs2LetterMustMatchExactly) {
  // A shifted 'A', then "dmin": the admin community name.
  GoLocal();
  Unit().keyboard(0, {0x12, 0x1C, 0xF0, 0x1C, 0xF0, 0x12, 0x23, 0x3A, 0x43, 0x31, 0x5A});
  Tick();
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN);
  PressKeys({LCD_PAD_CANCEL});
  // "admin" in lower case is not it.
  GoLocal();
  Unit().keyboard(0, {0x1C, 0x23, 0x3A, 0x43, 0x31, 0x5A});
  Tick();
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_TRUE(Login()->m_byWrong);
}

TEST_F(LoginTest, Ps2NumericKeypadDigitsMatchLikeTheKeypad) {
  GoLocal();
  // Num Lock, then shifted keypad 8 3 2 4 ("tech" by letter groups).
  Unit().keyboard(0, {0x77, 0x12, 0x75, 0x7A, 0x72, 0x6B, 0xF0, 0x12, 0x5A});
  Tick();
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_COMMUNITY);
}

// PS/2 make codes of a text of digits and 'a', then ENTER.
std::vector<uint8_t> ps2_entry(const std::string& text) {
  static const uint8_t kDigits[] = {0x45, 0x16, 0x1E, 0x26, 0x25, 0x2E, 0x36, 0x3D, 0x3E, 0x46};
  std::vector<uint8_t> codes;
  for (char c : text) codes.push_back(c == 'a' ? 0x1C : kDigits[c - '0']);
  codes.push_back(0x5A);
  return codes;
}

TEST_F(LoginTest, PinsAreDigitsThatFitAndNeverEmpty) {
  const struct {
    const char* entry;
    uint32_t pin;
    bool match;
  } rows[] = {
      {"", 0, false},                     // ENTER alone is not PIN 0
      {"0", 0, true},                     //
      {"1a", 10 + ('a' - '0'), false},    // a letter is no digit
      {"4294968530", 1234, false},        // 2^32 + 1234 does not wrap onto 1234
      {"4294967295", 4294967295u, true},  // the largest that fits
  };
  SetNv(nv::quorLCDAdminPassword, 99999);
  for (const auto& r : rows) {
    SetNv(nv::quorLCDPassword, r.pin);
    GoLocal();
    Unit().keyboard(0, ps2_entry(r.entry));
    Tick();
    EXPECT_EQ(mgr_->m_iLevel, r.match ? LCD_LEVEL_USER_PIN : LCD_LEVEL_LOGGED_OUT) << r.entry;
    if (r.match) PressKeys({LCD_PAD_CANCEL});
    PressKeys({LCD_PAD_CANCEL});
  }
  // From the keypad, too.
  SetNv(nv::quorLCDPassword, 0);
  LoginWithPin({});
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  PressKeys({LCD_PAD_CANCEL});
  LoginWithPin(pads("0"));
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_USER_PIN);
}

TEST_F(LoginTest, EmptyCommunityNamesNeverMatch) {
  SetNvText(nv::communityNameAdmin, "");
  SetNvText(nv::communityNameUser(0), "");
  SetNv(nv::quorLCDAdminPassword, 1);
  SetNv(nv::quorLCDPassword, 2);
  LoginWithPin({});
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
}

TEST_F(LoginTest, OutsideLocalModeOnlyRightUpAndDownDoSomething) {
  PressKeys(pads("1234"));
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Login()->m_dwKeyCount, 0u);
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_EQ(Unit().line(4), std::string(6, ' ') + "SWITCH TO LOCAL MODE TO LOGIN" + std::string(5, ' '));
  PressKeys({LCD_PAD_UP, LCD_PAD_UP, LCD_PAD_DOWN});
  EXPECT_EQ(Unit().contrast(), 1);
  // RIGHT opens the sign view; CANCEL comes back to the login page.
  PressKeys({LCD_PAD_RIGHT});
  EXPECT_EQ(Current()->m_iId, LCD_MENU_CURRENT_DISPLAY);
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(Current(), Login());
  // Function keys do nothing here.
  Unit().keyboard(0, {0x07});
  Tick();
  EXPECT_EQ(Current(), Login());
}

TEST_F(LoginTest, LocalModeEnteredAndLeftWithItsTraps) {
  Unit().key_switch_local();
  Tick();
  EXPECT_EQ(V(vol::dmsControlMode), 2u);
  EXPECT_EQ(Traps(), std::vector<uint32_t>{14});
  EXPECT_TRUE(Unit().local_lamp());
  EXPECT_EQ(Unit().backlight_level(), 10);
  EXPECT_EQ(Unit().line(8), std::string(8, ' ') + "LOCAL MODE - LOGGED OUT" + std::string(9, ' '));

  PressKeys(pads("1234"));
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(Current()->m_iId, LCD_MENU_MAIN);
  Traps();
  Unit().key_switch_remote();
  Tick();
  EXPECT_EQ(V(vol::dmsControlMode), 4u);
  EXPECT_EQ(Traps(), std::vector<uint32_t>{13});
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_EQ(Current(), Login());
  EXPECT_FALSE(Unit().local_lamp());
  EXPECT_EQ(Unit().line(8), std::string(7, ' ') + "REMOTE MODE - LOGGED OUT" + std::string(9, ' '));
}

TEST_F(LoginTest, TheToggleCodeSwitchesBothWays) {
  const struct {
    uint8_t mode_before;
    uint8_t mode_after;
    uint32_t trap;
  } rows[] = {{4, 2, 14}, {2, 4, 13}, {5, 4, 13}, {0, 2, 14}};
  for (const auto& r : rows) {
    SetV(vol::dmsControlMode, r.mode_before);
    Unit().toggle_local();
    Tick();
    EXPECT_EQ(V(vol::dmsControlMode), r.mode_after) << int(r.mode_before);
    EXPECT_EQ(Traps(), std::vector<uint32_t>{r.trap}) << int(r.mode_before);
  }
}

TEST_F(LoginTest, LeavingLocalModeStopsTheSignView) {
  mgr_->m_byShowFrames = 1;
  GoLocal();
  EXPECT_EQ(mgr_->m_byShowFrames, 1);
  Unit().key_switch_remote();
  Tick();
  EXPECT_EQ(mgr_->m_byShowFrames, 0);
}

TEST_F(LoginTest, LogoutKeepsTheCentralOverride) {
  LoginWithPin(pads("1234"));
  SetV(vol::dmsControlMode, 5);
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_EQ(V(vol::dmsControlMode), 5u);
  EXPECT_EQ(Unit().line(8), std::string(5, ' ') + "REMOTE OVERRIDE - LOGGED OUT" + std::string(7, ' '));
}

TEST_F(LoginTest, CentralTakingControlLogsOut) {
  LoginWithPin(pads("1234"));
  // Central writes the control mode; the peripheral task sees the change.
  SetV(vol::dmsControlMode, 4);
  mgr_->SetCentralCheck();
  Tick();
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN_PIN);
  Tick();
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  EXPECT_EQ(Current(), Login());
  // In local mode the check changes nothing.
  LoginWithPin(pads("1234"));
  mgr_->SetCentralCheck();
  Tick(2);
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN_PIN);
}

TEST_F(LoginTest, TheLogoutCountdownEndsTheSession) {
  SetNv(nv::fdotDmsPanelLogoutTime, 2);
  LoginWithPin(pads("1234"));
  EXPECT_EQ(mgr_->m_dwLogoutCountdown, 3);
  Tick(2);
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN_PIN);
  Tick();
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_LOGGED_OUT);
  // No time: no automatic logout.
  SetNv(nv::fdotDmsPanelLogoutTime, 0);
  LoginWithPin(pads("1234"));
  Tick(50);
  EXPECT_EQ(mgr_->m_iLevel, LCD_LEVEL_ADMIN_PIN);
  // Times above 32767 s count in full.
  for (uint32_t seconds : {32768u, 65535u}) {
    SetNv(nv::fdotDmsPanelLogoutTime, seconds);
    InThread([this] { mgr_->ReloadLogoutCountdown(); });
    EXPECT_EQ(mgr_->m_dwLogoutCountdown, 2 * seconds);
  }
}

TEST_F(LoginTest, LoginRefusesANegativeLevel) {
  bool result = true;
  InThread([&] { result = mgr_->Login(-1); });
  EXPECT_FALSE(result);
  EXPECT_EQ(Current(), Login());
}

TEST_F(LoginTest, PasswordsMustDifferByKeySequence) {
  EXPECT_EQ(CLCD_Manager::KeypadGroupOf('\\'), '1');
  EXPECT_EQ(CLCD_Manager::KeypadGroupOf('Y'), '9');
  EXPECT_EQ(CLCD_Manager::KeypadGroupOf(' '), '0');
  EXPECT_EQ(CLCD_Manager::KeypadGroupOf('q'), '7');
  EXPECT_EQ(CLCD_Manager::KeypadGroupOf('_'), 0);
  EXPECT_EQ(CLCD_Manager::KeypadGroupOf(0), 0);
  EXPECT_TRUE(CLCD_Manager::KeypadEquivalent("tech", "8324"));
  EXPECT_TRUE(CLCD_Manager::KeypadEquivalent("ADMIN", "bfogo"));
  EXPECT_FALSE(CLCD_Manager::KeypadEquivalent("tech", "832"));
  EXPECT_FALSE(CLCD_Manager::KeypadEquivalent("tech", "8325"));
  EXPECT_FALSE(mgr_->IsPasswordUnique("ufai"));   // 8324: like "tech"
  EXPECT_FALSE(mgr_->IsPasswordUnique("Bengo"));  // 23646: like "Admin"
  EXPECT_TRUE(mgr_->IsPasswordUnique("techs"));
  EXPECT_TRUE(mgr_->IsPasswordUnique("1234"));
}

}  // namespace
