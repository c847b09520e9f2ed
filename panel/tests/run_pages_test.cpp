// Running a chosen message through the panel's slot for a while or until
// replaced, the quick schedule, and the panel's picture of the sign.
#include <string>
#include <vector>

#include "display/codes/msg_codes.h"
#include "panel/sign_view.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class RunPagesTest : public PanelTest {
 protected:
  void Boot() {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignHeightPixels, 7);
    SetNv(nv::vmsSignWidthPixels, 30);
    SetNvText(nv::dmsMessageMultiString(6), "ACCIDENT");
    SetNv(nv::dmsMessageStatus(6), 4);
    SetNv(nv::dmsMessageCRC(6), 0xBEEF);
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});  // 1 2 3 4
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  }
  // Message 7 chosen on the run list.
  void ChooseMessage7() {
    Open(22);
    TypeDigits("7");
    PressKeys({LCD_PAD_ENTER});
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_RUN_OPTIONS);
  }
  static std::string Slot6Bytes() { return VText(vol::activationSlotCode(6)); }
  static CMsgActivationCode Slot6() {
    const std::string bytes = Slot6Bytes();
    CMsgActivationCode code;
    code.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    return code;
  }
};

TEST_F(RunPagesTest, RunContinuousPutsTheExactCodeInSlot6) {
  Boot();
  ChooseMessage7();
  EXPECT_EQ(Unit().line(1), Centred("RUN MESSAGE OPTIONS"));
  EXPECT_EQ(Unit().line(2), Line("1) RUN CONTINUOUS"));
  EXPECT_EQ(Unit().line(5), Line("4) GO BACK"));
  PressKeys({pad('1')});
  // duration, priority, memory type, number, CRC, source address 0.
  const std::string expected("\xFF\xFF\xFF\x03\x00\x07\xBE\xEF\x00\x00\x00\x00", 12);
  EXPECT_EQ(Slot6Bytes(), expected);
  EXPECT_EQ(V(vol::activationSlotSourceMode(6)), 2u);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
}

TEST_F(RunPagesTest, OptionsThatDoNotRunLeaveTheSlotAlone) {
  Boot();
  ChooseMessage7();
  PressKeys({pad('3')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  ChooseMessage7();
  PressKeys({pad('4')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 22);
  EXPECT_EQ(Slot6Bytes(), "");
}

TEST_F(RunPagesTest, RunDurationRollsAtFourDigitsAndNeedsAValue) {
  Boot();
  ChooseMessage7();
  PressKeys({pad('2')});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 24);
  EXPECT_EQ(Unit().line(8), Centred("ENTER DURATION IN MINUTES"));
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 24);
  TypeDigits("12345");
  EXPECT_EQ(Unit().line(4).substr(13, 15), "DURATION: 2345 ");
  PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});  // keypad LEFT takes digits back
  TypeDigits("5");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MESSAGE_CONTROL);
  EXPECT_EQ(Slot6().m_wDuration, 25);
  EXPECT_EQ(Slot6().m_wMessageNumber, 7);
}

TEST_F(RunPagesTest, TheQuickScheduleOffersOnlyWhatChangesSomething) {
  Boot();
  Open(LCD_MENU_QUICK_SCHEDULE);
  EXPECT_EQ(Unit().line(2), Line("1) START SCHEDULE"));
  EXPECT_EQ(Unit().line(3), kBlank);
  PressKeys({pad('1')});
  ASSERT_EQ(mgr_->CurrentMenu()->m_iId, 37);
  PressKeys({pad('2')});  // CANCEL
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_QUICK_SCHEDULE);
  EXPECT_EQ(Slot6Bytes(), "");
  PressKeys({pad('1'), pad('1')});
  EXPECT_EQ(Slot6().m_byMemoryType, 6);
  EXPECT_EQ(Slot6().m_wMessageNumber, 1);
  EXPECT_EQ(Slot6().m_wDuration, 65535);

  // The schedule runs the sign: only STOP is offered, and it blanks.
  SetNv(nv::dmsMsgSourceMode, 9);
  Tick(2);
  EXPECT_EQ(Unit().line(2), Line("1) STOP SCHEDULE"));
  PressKeys({pad('1'), pad('1')});
  EXPECT_EQ(Slot6().m_byMemoryType, 7);
  EXPECT_EQ(Slot6().m_wMessageNumber, 1);
  EXPECT_EQ(Slot6().m_wDuration, 65535);
}

// The layouts of the sign's picture on the panel.
TEST_F(RunPagesTest, ThePictureIsCentredFramedOrCutToTheLeftPartOrRightEnd) {
  MakeManager();
  Start();
  std::vector<uint8_t> bits;
  auto draw = [&](uint32_t h, uint32_t w, uint8_t view) {
    const uint32_t stride = (w + 7) / 8;
    bits.assign(stride * h, 0);
    // Column 0 and the last column of every row lit.
    for (uint32_t y = 0; y < h; ++y) {
      bits[y * stride] |= 0x80;
      bits[y * stride + (w - 1) / 8] |= static_cast<uint8_t>(0x80 >> ((w - 1) % 8));
    }
    Unit().clear_log();
    InThread([&] {
      lcd_draw_sign_picture(&mgr_->m_Lcd, sign_picture{bits.data(), stride, h, w, h, w}, view);
    });
  };
  auto params = [&](uint8_t letter) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& c : Unit().commands())
      if (c.letter == letter) out.push_back(c.params);
    return out;
  };

  draw(16, 96, SIGN_VIEW_LEFT);
  ASSERT_EQ(params('r').size(), 1u);
  EXPECT_EQ(params('r')[0], (std::vector<uint8_t>{1, 71, 23, 168, 40}));
  ASSERT_EQ(params('d').size(), 1u);
  EXPECT_EQ(params('d')[0], (std::vector<uint8_t>{72, 24, 167, 39}));
  EXPECT_TRUE(Unit().pixel(72, 24));
  EXPECT_TRUE(Unit().pixel(167, 39));
  EXPECT_FALSE(Unit().pixel(73, 24));

  draw(64, 240, SIGN_VIEW_LEFT);
  EXPECT_EQ(params('r')[0], (std::vector<uint8_t>{1, 0, 255, 239, 255}));
  EXPECT_EQ(params('r')[1], (std::vector<uint8_t>{1, 0, 64, 239, 64}));
  EXPECT_EQ(params('d')[0], (std::vector<uint8_t>{0, 0, 239, 63}));

  // 288 columns: the right end shows columns 56..287 from x 0, the left
  // part columns 0..238 from x 1, a row at a time.
  draw(32, 288, SIGN_VIEW_RIGHT);
  ASSERT_EQ(params('d').size(), 32u);
  EXPECT_EQ(params('d')[0], (std::vector<uint8_t>{0, 16, 231, 16}));
  EXPECT_EQ(params('r')[2], (std::vector<uint8_t>{1, 232, 15, 232, 48}));
  EXPECT_TRUE(Unit().pixel(231, 16));  // the sign's last column
  EXPECT_FALSE(Unit().pixel(0, 16));
  draw(32, 288, SIGN_VIEW_LEFT);
  EXPECT_EQ(params('d')[5], (std::vector<uint8_t>{1, 21, 239, 21}));
  EXPECT_EQ(params('r')[2], (std::vector<uint8_t>{1, 0, 15, 0, 48}));
  EXPECT_TRUE(Unit().pixel(1, 21));  // the sign's first column
}

}  // namespace
