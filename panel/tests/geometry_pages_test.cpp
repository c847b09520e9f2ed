// The module picker on both kinds of product board, the matrix type, the
// access side, the address, the serial number and the limits of the size
// pages through the simulated unit (no display task: what the size pages
// store is checked in the whole controller).
#include <string>

#include "display/driver/module_type.h"
#include "panel/lcd_manager.h"
#include "panel/pages/geometry_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class GeometryPagesTest : public PanelTest {
 protected:
  void TearDown() override {
    lcd_set_product_board(0);
    select_module_type_table(0);
    PanelTest::TearDown();
  }
  void Boot(uint8_t board) {
    lcd_set_product_board(board);
    select_module_type_table(board);
    BootWithAllRights();
  }
  void Pick(const std::string& digits) {
    for (char c : digits) PressKeys({pad(c)});
  }
  void ResetBusSettings() {
    SetNv(nv::quorCANBaudRate, 9);
    SetNv(nv::quorCANMaxLineLength, 9);
    SetNv(nv::quorFrameRate, 9);
    SetNv(nv::quorBitsPerColour, 9);
  }
};

TEST_F(GeometryPagesTest, SmallBoardPicksMonochrome9x5At66mm) {
  Boot(5);
  ResetBusSettings();
  Open(49);
  EXPECT_EQ(Unit().line(1), Centred("MODULE TYPE"));
  EXPECT_EQ(Unit().line(2), Line("1) MONOCHROME", 1));
  EXPECT_EQ(Unit().line(4), Line("3) FULL COLOR", 1));
  Pick("1");
  EXPECT_EQ(Unit().line(2), Line(" 1) GEN 4 (24 Volt Bus)"));
  EXPECT_EQ(Unit().line(3), kBlank) << "one generation on this board";
  Pick("1");
  EXPECT_EQ(Unit().line(6), Line(" 5) 16x16"));
  EXPECT_EQ(Unit().line(7), kBlank);
  Pick("2");
  EXPECT_EQ(Unit().line(2), Line(" 1) 44mm (12\" Character)"));
  EXPECT_EQ(Unit().line(3), Line(" 2) 66mm (18\" Character)"));
  Pick("3");  // not on the list: ignored
  EXPECT_EQ(Nv(nv::quorModuleID), 0u);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 49);
  Pick("2");
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 49);
  EXPECT_EQ(Nv(nv::quorModuleID), 22u);
  EXPECT_EQ(Nv(nv::vmsHorizontalPitch), 66u);
  EXPECT_EQ(Nv(nv::vmsVerticalPitch), 66u);
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 1u);
  EXPECT_EQ(Nv(nv::quorCANMaxLineLength), 0u);
  EXPECT_EQ(Nv(nv::quorFrameRate), 0u);
  EXPECT_EQ(Nv(nv::quorBitsPerColour), 0u);
  // The display list shows the module's name beside the page.
  Open(47);
  EXPECT_NE(Unit().screen().find("9x5 MONO GEN4"), std::string::npos) << Unit().screen();
}

TEST_F(GeometryPagesTest, PickerExamplesOnBothBoards) {
  struct row {
    uint8_t board;
    const char* digits;
    uint32_t type;
    uint32_t pitch;
  };
  const row rows[] = {
      {6, "3112", 97, 34},   // full colour 16x16, 34 mm
      {5, "1154", 24, 66},   // monochrome 16x16, 66 mm
      {5, "2121", 169, 34},  // red-green 7x15
      {3, "2241", 27, 25},   // red-green smart driver 5x4, 25 mm
      {3, "1431", 8, 44},    // MPSC upgrade 9x6
      {3, "3232", 19, 46},   // full colour smart driver 8x8: the pitch of its text
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.digits);
    lcd_set_product_board(r.board);
    if (!mgr_) Boot(r.board);
    SetNv(nv::quorModuleID, 0);
    Open(49);
    Pick(r.digits);
    EXPECT_EQ(Nv(nv::quorModuleID), r.type);
    EXPECT_EQ(Nv(nv::vmsHorizontalPitch), r.pitch);
  }
}

TEST_F(GeometryPagesTest, EscapeStepsBackAndWritesNothing) {
  Boot(3);
  SetNv(nv::quorModuleID, 2);
  SetNv(nv::vmsHorizontalPitch, 10);
  Open(49);
  Pick("12");  // monochrome, smart driver
  EXPECT_EQ(Unit().line(6), Line(" 5) 5x7"));
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(Unit().line(5), Line(" 4) MPSC UPGRADE")) << "back on the generations of the colour kept";
  KeyCode(LCD_KEY_ESC);
  KeyCode(LCD_KEY_ESC);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 49);
  EXPECT_EQ(Nv(nv::quorModuleID), 2u);
  EXPECT_EQ(Nv(nv::vmsHorizontalPitch), 10u);
}

TEST_F(GeometryPagesTest, MatrixTypeSetsCharacterSizeFromTheModules) {
  Boot(5);
  SetNv(nv::quorModuleID, 21);  // 7 x 5
  Open(50);
  Pick("2");
  TypeDigits("10");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::dmsSignType), 5u);
  EXPECT_EQ(Nv(nv::vmsCharacterHeightPixels), 14u);
  EXPECT_EQ(Nv(nv::vmsCharacterWidthPixels), 0u);
  SetNv(nv::quorModuleID, 22);  // 9 x 5
  Open(50);
  Pick("3");
  EXPECT_EQ(Nv(nv::dmsSignType), 4u);
  EXPECT_EQ(Nv(nv::vmsCharacterHeightPixels), 9u);
  EXPECT_EQ(Nv(nv::vmsCharacterWidthPixels), 5u);
  Open(50);
  Pick("1");
  EXPECT_EQ(Nv(nv::dmsSignType), 6u);
  EXPECT_EQ(Nv(nv::vmsCharacterHeightPixels), 0u);
}

TEST_F(GeometryPagesTest, AccessAddressAndSerialNumber) {
  Boot(5);
  Open(57);
  Pick("4");
  EXPECT_EQ(Nv(nv::dmsSignAccess), 8u);
  Open(56);
  TypeDigits("257");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorhdlcAddress), 0u) << "above 256 refused";
  PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});
  TypeDigits("256");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorhdlcAddress), 256u);
  struct row {
    const char* digits;
    const char* text;
  };
  for (const row& r : {row{"1234", "SN: 1234"}, row{"0", "SN: ----"}}) {
    Open(81);
    TypeDigits(r.digits);
    PressKeys({LCD_PAD_ENTER});
    EXPECT_EQ(VText(vol::moduleVersion(6)), r.text);
  }
  EXPECT_EQ(Nv(nv::quorSignSerialNum), 0u);
}

// The size pages take 1..496 columns and 1..255 rows; a value outside
// stays on the page with the invalid-entry line.
TEST_F(GeometryPagesTest, SizePagesKeepToTheirLimits) {
  Boot(5);
  struct row {
    CLCD_MenuId page;
    const char* digits;
    bool taken;
  };
  for (const row& r : {row{52, "497", false}, row{52, "0", false}, row{52, "496", true}, row{53, "256", false},
                       row{53, "255", true}}) {
    SCOPED_TRACE(std::to_string(r.page) + " " + r.digits);
    Open(r.page);
    TypeDigits(r.digits);
    PressKeys({LCD_PAD_ENTER});
    EXPECT_EQ(mgr_->CurrentMenu()->m_iId != r.page, r.taken);
    EXPECT_EQ(Unit().line(6) == Centred("INVALID ENTRY"), !r.taken) << Unit().screen();
  }
}

}  // namespace
