// The reset options, password change and version pages through the
// simulated unit.
#include <string>

#include "panel/pages/maintenance_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

uint8_t pad(char digit) {
  static const uint8_t kCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
  return kCodes[digit - '0'];
}

class MaintenancePageTest : public PanelTest {
 protected:
  void Boot(int32_t level) {
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});
    InThread([&] {
      mgr_->Login(level);
      mgr_->m_dwRights = LCD_RIGHTS_ALL;
    });
    Tick();
  }
  void Open(CLCD_MenuId id) {
    CMenuItem* from = mgr_->CurrentMenu();
    InThread([&] { ASSERT_TRUE(mgr_->ActivateMenu(id, from, false)); });
    Tick();
  }
  void Key(uint16_t code) {
    InThread([&] {
      LCDKeyEvent k = lcd_key_event(code);
      if (!mgr_->CurrentMenu()->HandleKey(mgr_, &k)) mgr_->UnhandledKey(k, true);
    });
    Tick();
  }
  void Type(const std::string& text) {
    for (char c : text) Key(static_cast<uint8_t>(c));
  }
  static std::string NvText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_nv, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
};

TEST_F(MaintenancePageTest, ResetScreenAndEveryChoice) {
  struct row {
    char digit;
    uint32_t sw_reset;
    uint32_t mode;
  };
  const row rows[] = {{'1', 0, 1}, {'2', 1, 1}, {'3', 0, 2}, {'4', 0, 6}, {'5', 0, 4}, {'6', 0, 5}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.digit);
    SetNv(nv::dmsSWReset, 0);
    SetV(vol::quorResetOption, 1);
    if (!mgr_) Boot(3);
    Open(195);
    EXPECT_EQ(Unit().screen(), Screen({Centred("RESET OPTIONS"), Line("1) CANCEL"), Line("2) RESET ONLY"),
                                       Line("3) CLEAR MEMORY"), Line("4) RESTORE FACTORY DEFAULTS"),
                                       Line("5) BOOT FROM FLASH"), Line("6) BOOT FROM CONFIG"), kBlank}))
        << Unit().screen();
    PressKeys({pad(r.digit)});
    EXPECT_NE(mgr_->CurrentMenu()->m_iId, 195);
    EXPECT_EQ(Nv(nv::dmsSWReset), r.sw_reset);
    EXPECT_EQ(V(vol::quorResetOption), r.mode);
  }
}

TEST_F(MaintenancePageTest, ResetSecondPageContrastAndScriptInFrench) {
  SetNv(nv::dmsSWReset, 0);
  SetV(vol::quorResetOption, 1);
  Boot(3);
  mgr_->m_dwLanguage = 1;
  Open(195);
  EXPECT_EQ(Unit().line(1), Centred("OPTIONS DE REDEMARAGE"));
  EXPECT_EQ(Unit().line(2), Line("1) ANNULER"));
  Key(LCD_KEY_PAGE_DOWN);
  EXPECT_EQ(Unit().line(2), Line("1) REINITIALISER LE CONTRASTE DE L'ACL")) << Unit().screen();
  EXPECT_EQ(Unit().line(3), Line("2) REDEMARRER A PARTIR DU SCRIPT"));
  Unit().take_commands();
  Key('1');
  bool contrast = false;
  for (const auto& c : Unit().take_commands())
    if (c.letter == 'P') contrast = c.params.size() == 1 && c.params[0] == 16;
  EXPECT_TRUE(contrast);
  EXPECT_EQ(Nv(nv::dmsSWReset), 0u);
  EXPECT_EQ(V(vol::quorResetOption), 1u);
  Open(195);
  Key(LCD_KEY_PAGE_DOWN);
  Key('2');
  EXPECT_EQ(V(vol::quorResetOption), 7u);
}

TEST_F(MaintenancePageTest, PasswordIsHiddenFromPinUsers) {
  MakeManager();
  Start();
  LoginWithPin({3, 7, 11, 2});
  ASSERT_LE(mgr_->m_iLevel, 2);
  CMenuItem* page = nullptr;
  for (uint32_t i = 0; i < mgr_->MenuCount(); ++i)
    if (mgr_->MenuAt(i)->m_iId == 212) page = mgr_->MenuAt(i);
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->HasRights(mgr_));
  InThread([&] { mgr_->Login(4); });
  EXPECT_TRUE(page->HasRights(mgr_));
}

TEST_F(MaintenancePageTest, PasswordChangeIsConfirmedAndStored) {
  SetNvText(nv::communityNameUser(1), "oldpass");
  Boot(5);
  Open(212);
  EXPECT_EQ(Unit().screen(), Screen({Centred("CHANGE PASSWORD"), kBlank, Line("PASSWORD:"), kBlank, Line("CONFIRM"),
                                     Line("PASSWORD:"), kBlank, Centred("ENTER AT LEAST 6 CHARACTERS")}))
      << Unit().screen();
  Type("short");
  Key(LCD_KEY_ENTER);  // five characters: stays
  EXPECT_EQ(Unit().line(3), Line("PASSWORD: short"));
  EXPECT_EQ(Unit().line(8), Centred("ENTER AT LEAST 6 CHARACTERS"));
  Type("er");
  EXPECT_EQ(Unit().line(8), Centred("PRESS ENTER TO CONTINUE"));
  Key(LCD_KEY_ENTER);
  EXPECT_EQ(Unit().line(8), Centred("ENTER AT LEAST 6 CHARACTERS"));
  Type("shortez");  // differs: nothing happens
  Key(LCD_KEY_ENTER);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 212);
  Key(LCD_KEY_BACKSPACE);
  Key(LCD_KEY_BACKSPACE);
  Type("er");
  EXPECT_EQ(Unit().line(6), Line("PASSWORD: shorter"));
  Key(LCD_KEY_ENTER);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 212);
  EXPECT_EQ(NvText(nv::communityNameUser(1)), "shorter");
}

TEST_F(MaintenancePageTest, ANonUniquePasswordIsRefused) {
  SetNvText(nv::communityNameAdmin, "public");
  SetNvText(nv::communityNameUser(0), "mine12");
  Boot(4);
  Open(212);
  Type("public");
  Key(LCD_KEY_ENTER);
  Type("public");
  Key(LCD_KEY_ENTER);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 212);
  EXPECT_EQ(Unit().line(8), Centred("CANNOT ENTER NON-UNIQUE PASSWORD"));
  EXPECT_EQ(NvText(nv::communityNameUser(0)), "mine12");
  // Backspace on an empty confirmation returns to the new password.
  Type("abcdef");
  Key(LCD_KEY_ENTER);
  Key(LCD_KEY_BACKSPACE);
  EXPECT_EQ(Unit().line(8), Centred("PRESS ENTER TO CONTINUE"));
  Key(LCD_KEY_BACKSPACE);
  EXPECT_EQ(Unit().line(3), Line("PASSWORD: abcde"));
  EXPECT_EQ(Unit().line(8), Centred("ENTER AT LEAST 6 CHARACTERS"));
}

TEST_F(MaintenancePageTest, VersionListsModulesWithAModel) {
  auto set_v_text = [](db_object o, const std::string& t) {
    Db().SetString(o.offset, 4, t.data(), static_cast<uint32_t>(t.size()), Db().mib_v, DB_NO_VALIDATE);
  };
  Boot(3);
  // The panel fills its own row at start-up: set the rows afterwards.
  for (uint32_t i = 0; i < 8; ++i) {
    set_v_text(vol::moduleModel(i), "");
    set_v_text(vol::moduleVersion(i), "");
  }
  set_v_text(vol::moduleModel(0), "CONTROLLER");
  set_v_text(vol::moduleVersion(0), "1.9.4588");
  set_v_text(vol::moduleModel(3), "DISPLAY BOARD");
  Open(6);
  EXPECT_EQ(Unit().line(1), Centred("VERSION INFO"));
  EXPECT_EQ(Unit().line(2).substr(0, 13), "1) CONTROLLER");
  EXPECT_EQ(Unit().line(2).substr(30), " 1.9.4588 ") << Unit().screen();
  EXPECT_EQ(Unit().line(3).substr(0, 16), "2) DISPLAY BOARD");
  EXPECT_EQ(Unit().line(3).substr(37), " ? ");
  EXPECT_EQ(Unit().line(4), kBlank);
}

}  // namespace
