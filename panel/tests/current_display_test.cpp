// The current-display pages through the simulated unit: the live view's
// modes, keys, layout and time-out, and the pages of the running MULTI text.
#include <string>

#include "display/codes/msg_codes.h"
#include "panel/pages/current_display.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class CurrentDisplayTest : public PanelTest {
 protected:
  void Boot(uint32_t width, uint32_t height) {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignWidthPixels, width);
    SetNv(nv::vmsSignHeightPixels, height);
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});  // 1 2 3 4
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  }
  void Open(CLCD_MenuId id) {
    CMenuItem* from = mgr_->CurrentMenu();
    InThread([&] { ASSERT_TRUE(mgr_->ActivateMenu(id, from, false)); });
    Tick();
  }
  static void Running(uint8_t memory_type, uint16_t number, const std::string& multi) {
    CMsgIDCode id;
    id.Set(memory_type, number, 0x55AA);
    Db().SetString(nv::dmsMsgTableSource.offset, 4, id.m_encoded, MSG_ID_CODE_SIZE, Db().mib_nv, DB_NO_VALIDATE);
    SetNvText(nv::currentBufferMultiString, multi);
  }
};

TEST_F(CurrentDisplayTest, ASmallSignShowsTheTitleAndIgnoresLeftAndRight) {
  Boot(96, 16);
  Open(LCD_MENU_CURRENT_DISPLAY);
  EXPECT_EQ(Unit().line(1), Centred("CURRENT DISPLAY"));
  EXPECT_EQ(mgr_->m_byShowFrames, 1);
  EXPECT_EQ(mgr_->m_byKey12Pass, 1);
  EXPECT_EQ(mgr_->m_byScreenLayout, 0);
  PressKeys({LCD_PAD_RIGHT, LCD_PAD_LEFT});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_CURRENT_DISPLAY);
  EXPECT_EQ(mgr_->m_byShowFrames, 1);
  // CANCEL leaves, and the live view stops.
  PressKeys({LCD_PAD_CANCEL});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  EXPECT_EQ(mgr_->m_byShowFrames, 0);
  EXPECT_EQ(mgr_->m_byKey12Pass, 0);
}

TEST_F(CurrentDisplayTest, AWideSignHasTwoViewsAndNoTitle) {
  Boot(288, 48);
  Open(LCD_MENU_CURRENT_DISPLAY);
  EXPECT_EQ(Unit().line(1), kBlank);
  EXPECT_EQ(mgr_->m_byShowFrames, 1);
  PressKeys({LCD_PAD_RIGHT});
  EXPECT_EQ(mgr_->m_byShowFrames, 2);
  PressKeys({LCD_PAD_LEFT});
  EXPECT_EQ(mgr_->m_byShowFrames, 1);
  // ENTER opens the MULTI text and stops the live view.
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 20);
  EXPECT_EQ(mgr_->m_byShowFrames, 0);
}

TEST_F(CurrentDisplayTest, ATallSignSetsTheLayoutWhileShown) {
  const struct {
    uint32_t width;
    uint8_t layout;
  } rows[] = {{192, 0}, {200, 1}, {208, 1}, {224, 2}, {225, 3}};
  Boot(200, 56);
  for (const auto& r : rows) {
    SetNv(nv::vmsSignWidthPixels, r.width);
    mgr_->m_byScreenLayout = 0;
    Open(LCD_MENU_CURRENT_DISPLAY);
    EXPECT_EQ(mgr_->m_byScreenLayout, r.layout) << r.width;
    EXPECT_EQ(Unit().line(1), kBlank);
    PressKeys({LCD_PAD_CANCEL});
    EXPECT_EQ(mgr_->m_byScreenLayout, 0) << r.width;
  }
}

TEST_F(CurrentDisplayTest, OutsideLocalControlThePageLeavesByItself) {
  SetNv(nv::fdotDmsPanelLogoutTime, 3);
  Boot(96, 16);
  Open(LCD_MENU_CURRENT_DISPLAY);
  // The login's own time-out (from the same setting) is kept out of the way.
  mgr_->m_dwLogoutCountdown = 1000;
  // Local control: it stays.
  Tick(10);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_CURRENT_DISPLAY);
  SetV(vol::dmsControlMode, 4);
  PressKeys({LCD_PAD_LEFT});  // reloads the countdown: 6 ticks
  mgr_->m_dwLogoutCountdown = 1000;
  Tick(4);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_CURRENT_DISPLAY);
  Tick(2);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  EXPECT_EQ(mgr_->m_byShowFrames, 0);
}

TEST_F(CurrentDisplayTest, TheMultiTextInPagesOfSixRows) {
  Boot(96, 16);
  std::string text;
  for (int i = 0; i < 250; ++i) text += static_cast<char>('A' + i % 26);
  Running(3, 5, text);
  Open(20);
  auto row = [&](int r) { return Line(text.substr(38 * r, 38)); };
  EXPECT_EQ(Unit().screen(),
            Screen({Centred("MULTI MESSAGE STRING"), row(0), row(1), row(2), row(3), row(4), row(5), Centred("(MORE)")}));
  PressKeys({LCD_PAD_DOWN});
  EXPECT_EQ(Unit().screen(),
            Screen({Centred("MULTI MESSAGE STRING"), Line(text.substr(228)), kBlank, kBlank, kBlank, kBlank, kBlank,
                    kBlank}));
  // Past the end: back to the last page.
  PressKeys({LCD_PAD_DOWN});
  Tick();
  EXPECT_EQ(Unit().line(2), Line(text.substr(228)));
  PressKeys({LCD_PAD_UP});
  EXPECT_EQ(Unit().line(2), row(0));
  PressKeys({LCD_PAD_UP});
  EXPECT_EQ(Unit().line(2), row(0));

  // A blank sign has no text.
  Running(7, 1, text);
  mgr_->RequestRedraw(LCD_DRAW_FULL);
  Tick();
  EXPECT_EQ(Unit().screen(), Screen({Centred("MULTI MESSAGE STRING"), kBlank, kBlank, kBlank, kBlank, kBlank, kBlank,
                                     kBlank}));
  PressKeys({LCD_PAD_DOWN});
  Tick();
  EXPECT_EQ(Unit().line(2), kBlank);
  // ENTER goes back to the live view.
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_CURRENT_DISPLAY);
}

}  // namespace
