// The pixel test from the panel: starting it, waiting for it, its results
// as a picture and as a list, and which result pages are offered where.
#include <string>

#include "panel/pages/pixel_test_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class PixelTestPagesTest : public PanelTest {
 protected:
  // A 96 x 16 sign of modules 5 columns wide and 7 rows high.
  void Boot() {
    SetNv(nv::dmsSignType, 6);
    SetNv(nv::vmsSignWidthPixels, 96);
    SetNv(nv::vmsSignHeightPixels, 16);
    SetNv(nv::vmsCharacterWidthPixels, 5);
    SetNv(nv::vmsCharacterHeightPixels, 7);
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});  // 1 2 3 4
    ASSERT_EQ(mgr_->CurrentMenu()->m_iId, LCD_MENU_MAIN);
  }
  // Failure row r of the pixel test (source 0) or of real-time detection.
  static void Failure(uint32_t row, uint32_t x, uint32_t y, uint32_t status) {
    SetV(vol::pixelFailureXLocation(0, row), x);
    SetV(vol::pixelFailureYLocation(0, row), y);
    SetV(vol::pixelFailureStatus(0, row), status);
  }
  uint32_t CurrentId() const { return static_cast<uint32_t>(mgr_->CurrentMenu()->m_iId); }
};

TEST_F(PixelTestPagesTest, ATestStartsRunsAndShowsItsResults) {
  Boot();
  Open(8);
  EXPECT_EQ(Unit().line(1), Centred("PIXEL TEST ACTIVATION"));
  EXPECT_EQ(Unit().line(2), Line("1) CONFIRM"));
  PressKeys({pad('1')});
  EXPECT_EQ(V(vol::pixelTestActivation), 3u);
  ASSERT_EQ(CurrentId(), 9u);
  EXPECT_EQ(Unit().line(1), Centred("PIXEL TEST RESULTS"));
  EXPECT_EQ(Unit().line(2), Centred("RUNNING... PLEASE WAIT"));
  // Digits wait for the test.
  PressKeys({pad('1')});
  EXPECT_EQ(CurrentId(), 9u);

  // The test ends with three failures.
  Failure(0, 12, 5, 4);
  Failure(1, 1, 1, 5);
  Failure(2, 96, 16, 9);
  SetV(vol::dmsPixelFailureTestRows, 3);
  SetV(vol::pixelTestActivation, 2);
  Tick(2);
  EXPECT_EQ(Unit().line(2), Line("1) PIXEL TEST RESULTS BITMAP"));
  EXPECT_EQ(Unit().line(3), Line("2) PIXEL TEST RESULTS LIST"));
  EXPECT_EQ(Unit().line(4), Line("3) CLEAR PIXEL TEST RESULTS"));

  // The picture: the failed pixels where the sign's picture sits.
  PressKeys({pad('1')});
  ASSERT_EQ(CurrentId(), 10u);
  EXPECT_EQ(Unit().line(8), Centred("3 ERRORS!"));
  EXPECT_TRUE(Unit().pixel(72 + 11, 24 + 4));
  EXPECT_TRUE(Unit().pixel(72, 24));
  EXPECT_TRUE(Unit().pixel(72 + 95, 24 + 15));
  EXPECT_FALSE(Unit().pixel(72 + 1, 24));
  EXPECT_TRUE(Unit().pixel(71, 23));  // the frame

  // ENTER opens the list with module coordinates and what went wrong.
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(CurrentId(), 11u);
  EXPECT_EQ(Unit().line(2), Line("1) [12,5] module:[3,1]         STUCK OFF"));
  EXPECT_EQ(Unit().line(3).substr(0, 22), "2) [1,1] module:[1,1] ");
  EXPECT_NE(Unit().line(3).find("STUCK ON"), std::string::npos);
  EXPECT_NE(Unit().line(4).find("UNKNOWN ERROR"), std::string::npos);
}

TEST_F(PixelTestPagesTest, TheListHoldsFiveHundredRowsAndSaysWhenThereIsNone) {
  Boot();
  Open(11);
  auto* list = dynamic_cast<CLCD_PixelTestResultsList*>(mgr_->CurrentMenu());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->m_dwOptionCount, 1u);
  EXPECT_EQ(Unit().line(2), Line("1) NO ERROR"));
  SetV(vol::dmsPixelFailureTestRows, 600);
  Open(11);
  EXPECT_EQ(list->m_dwOptionCount, 500u);
}

TEST_F(PixelTestPagesTest, ResultPagesAreOfferedWhereTheyMeanSomething) {
  Boot();
  // Real-time detection off and no real-time rows: nothing to offer.
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 0);
  CMenuItem* real_time = mgr_->FindMenu(13, nullptr);
  ASSERT_NE(real_time, nullptr);
  EXPECT_FALSE(real_time->HasRights(mgr_));
  SetV(vol::dmsPixelFailureMessageRows, 2);
  EXPECT_TRUE(real_time->HasRights(mgr_));  // its clear page
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  Open(13);
  EXPECT_EQ(Unit().line(2), Line("1) REAL TIME PIXEL RESULTS BITMAP"));
  EXPECT_EQ(Unit().line(4), Line("3) CLEAR REAL TIME PIXEL RESULTS"));

  // Under SYSTEM ERRORS the test's pages only while it found failures.
  auto* errors = dynamic_cast<CLCD_MenuItemEx*>(mgr_->FindMenu(LCD_MENU_SYSTEM_ERRORS, nullptr));
  ASSERT_NE(errors, nullptr);
  CMenuItem* bitmap = mgr_->FindMenu(10, nullptr);
  const uint32_t without = errors->CountVisible(mgr_);
  EXPECT_FALSE(bitmap->HasRights(mgr_));
  SetV(vol::dmsPixelFailureTestRows, 1);
  EXPECT_EQ(errors->CountVisible(mgr_), without + 2);
}

TEST_F(PixelTestPagesTest, RealTimeDetectionIsSwitchedOnTheOptionsPage) {
  Boot();
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 0);
  Open(82);
  EXPECT_EQ(Unit().line(1), Centred("REAL-TIME PIXEL ERRORS"));
  EXPECT_NE(Unit().screen().find("2) ENABLE"), std::string::npos);
  PressKeys({pad('2')});
  EXPECT_EQ(Nv(nv::quorEnableRealTimePixelDiagnostics), 1u);
  PressKeys({LCD_PAD_CANCEL});
  Open(82);
  PressKeys({pad('1')});
  EXPECT_EQ(Nv(nv::quorEnableRealTimePixelDiagnostics), 0u);
}

}  // namespace
