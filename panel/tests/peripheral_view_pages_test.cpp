// The peripheral list with its pages and detail screens, the status words,
// the deletion of one or every record and the init-error list, through the
// simulated unit.
#include <string>

#include "panel/pages/peripheral_view_pages.h"
#include "panel/tests/live_peripherals_fixture.h"
#include "panel/tests/screen_text.h"
#include "peripherals/devices/io_based.h"

namespace {

using namespace screen_text;

// A list row: the text from column 1, the status right-aligned up to
// column 39.
std::string Row(const std::string& text, const std::string& status) {
  std::string s = Line(text);
  s.replace(39 - status.size(), status.size(), status);
  return s;
}

class PeripheralViewTest : public LivePeripheralsTest {
 protected:
  void Boot() { BootWithAllRights(); }
  uint32_t Slot(uint32_t slot) { return Nv(nv::quorPeripheralID(slot)); }
};

TEST_F(PeripheralViewTest, NothingConfigured) {
  Boot();
  Load();
  Open(188);
  EXPECT_EQ(Unit().line(1), Centred("VIEW PERIPHERALS"));
  EXPECT_EQ(Unit().line(2), Line("1) NONE"));
  KeyCode(LCD_KEY_DOWN);
  KeyCode(LCD_KEY_UP);
  EXPECT_EQ(Unit().line(2), Line("1) NONE"));
  KeyCode('1');
  EXPECT_EQ(Unit().line(2), Line("1) NONE")) << "no row to open";
  EXPECT_FALSE(Offered(189));
  Open(190);
  EXPECT_EQ(Unit().line(1), Centred("DELETE PERIPHERALS"));
  EXPECT_EQ(Unit().line(2), kBlank) << Unit().screen();
}

TEST_F(PeripheralViewTest, SevenPeripheralsTakeTwoPages) {
  const uint16_t types[7] = {75, 76, 710, 711, 712, 713, 714};
  for (uint16_t t : types) Record(t);
  Load();
  Boot();
  Open(188);
  for (uint32_t i = 0; i < 6; ++i)
    EXPECT_EQ(Unit().line(i + 2), Row(std::to_string(i + 1) + ") " + peripheral_type_name(types[i]), "OK"))
        << Unit().screen();
  EXPECT_EQ(Unit().line(8), Centred("(MORE)"));
  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Unit().line(2), Row(std::string("1) ") + peripheral_type_name(714), "OK")) << Unit().screen();
  for (uint32_t l = 3; l <= 8; ++l) EXPECT_EQ(Unit().line(l), kBlank) << l << "\n" << Unit().screen();
  KeyCode(LCD_KEY_DOWN);
  EXPECT_EQ(Unit().line(2), Row(std::string("1) ") + peripheral_type_name(714), "OK")) << "no third page";
  KeyCode(LCD_KEY_UP);
  EXPECT_EQ(Unit().line(2), Row(std::string("1) ") + peripheral_type_name(75), "OK"));

  // Built-ins are not listed; a peripheral gone from the list goes at the
  // next refresh.
  InThread([&] { ASSERT_TRUE(task_->Mediator().Create(PTYPE_TEMP_CONTROLLER, "")); });
  InThread([&] { ASSERT_TRUE(task_->Mediator().Remove(76)); });
  Tick(8);
  EXPECT_EQ(Unit().line(3), Row(std::string("2) ") + peripheral_type_name(710), "OK")) << Unit().screen();
  EXPECT_EQ(Unit().line(7), Row(std::string("6) ") + peripheral_type_name(714), "OK")) << Unit().screen();
  EXPECT_EQ(Unit().screen().find(peripheral_type_name(PTYPE_TEMP_CONTROLLER)), std::string::npos);
}

TEST_F(PeripheralViewTest, SensorRowsShowTheirAddressAndStateTextBeforeValues) {
  Record(11, "42303");  // TEMPCABINET, valid
  Record(51, "42221,3");  // a DC I/O board in COMM ERROR
  Load();
  Boot();
  Open(188);
  EXPECT_EQ(Unit().line(2).substr(0, 20), Line("1) TEMPCABINET ADDR:3").substr(0, 20)) << Unit().screen();
  EXPECT_EQ(Unit().line(2).substr(0, 26), Line("1) TEMPCABINET ADDR:3").substr(0, 26));
  EXPECT_EQ(Unit().line(3), Row(std::string("2) ") + peripheral_type_name(51), "COMM ERROR")) << Unit().screen();
}

TEST_F(PeripheralViewTest, DetailScreenOpensByDigitAndEscReturns) {
  SetV(vol::powerSource, 7);
  SetV(vol::lineVolts, 118);
  SetV(vol::signVolts, 1305);
  Record(20);  // UPS without line readings
  Record(21);  // UPS with them
  Load();
  Boot();
  Open(188);
  EXPECT_EQ(Unit().line(2), Row(std::string("1) ") + peripheral_type_name(20), "BATTERY"));
  KeyCode('3');
  EXPECT_EQ(Unit().line(1), Centred("VIEW PERIPHERALS")) << "a digit above the rows is ignored";
  KeyCode('2');
  EXPECT_EQ(Unit().line(1), Centred(peripheral_type_name(21))) << Unit().screen();
  EXPECT_EQ(Unit().line(2), Line("REVISION:0"));
  EXPECT_EQ(Unit().line(3), Line(" SOURCE: BATTERY BACKUP"));
  EXPECT_EQ(Unit().line(4), Line(" LINE VOLTAGE: 118V"));
  EXPECT_EQ(Unit().line(5), Line(" BATTERY VOLTAGE: 13.05V"));
  KeyCode(LCD_KEY_ESC);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 188);
  EXPECT_EQ(Unit().line(1), Centred("VIEW PERIPHERALS"));
  KeyCode('1');
  EXPECT_EQ(Unit().line(3), Line(" SOURCE: BATTERY BACKUP"));
  EXPECT_EQ(Unit().line(4), kBlank) << "this make reports no line voltage";

  // A peripheral unloaded while its screen is open sends the page back to
  // the list.
  InThread([&] { ASSERT_TRUE(task_->Mediator().Remove(20)); });
  Tick(9);
  EXPECT_EQ(Unit().line(1), Centred("VIEW PERIPHERALS")) << Unit().screen();
  EXPECT_EQ(Unit().line(2), Row(std::string("1) ") + peripheral_type_name(21), "BATTERY"));
  KeyCode(LCD_KEY_ESC);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 188) << "ESC in the list leaves the page";
}

TEST_F(PeripheralViewTest, OtherClassesHaveNoExtendedInfo) {
  Record(75);
  Load();
  Boot();
  Open(188);
  KeyCode('1');
  EXPECT_EQ(Unit().line(4), Centred("NO EXTENDED INFO")) << Unit().screen();
}

TEST_F(PeripheralViewTest, RightsDependOnTheListItIsOfferedIn) {
  Boot();
  CMenuItem* view = Page(188);
  struct row {
    CLCD_MenuId parent;
    uint32_t rights;
    bool shown;
  };
  for (const row& r : {row{4, 0x100000, true}, row{4, 0x200, false}, row{153, 0x200, true},
                       row{153, 0x100000, false}}) {
    bool shown = false;
    CMenuItem* parent = Page(r.parent);
    InThread([&] {
      view->m_pParent = parent;
      mgr_->m_dwRights = r.rights;
      shown = view->HasRights(mgr_);
    });
    EXPECT_EQ(shown, r.shown) << r.parent << " " << r.rights;
  }
}

// The status word of each kind of I/O-based point.
TEST_F(PeripheralViewTest, IoBasedStatusWords) {
  Boot();
  struct row {
    uint16_t type;
    uint8_t sub;
    const char* text;
  };
  for (const row& r : {row{75, 1, "FAIL"}, row{712, 0, "PASS"}, row{863, 2, "PASS"}, row{580, 0, "   0 MSG"},
                       row{640, 3, "ON"}, row{640, 2, "OFF"}, row{641, 2, "ON"}, row{670, 1, "FAULT ON"},
                       row{670, 0, "OK ON"}, row{720, 2, "OFF"}, row{749, 1, "ON"}, row{560, 1, "OK"}}) {
    char text[24] = {};
    InThread([&] {
      CIO_BasedPeripheral p(r.type);
      p.SetSubState(r.sub);
      p.m_byState = PERIPHERAL_VALID;
      CLCD_PeripheralView::StatusText(mgr_, &p, text, sizeof text);
    });
    EXPECT_STREQ(text, r.text) << r.type;
  }
}

// ---------------------------------------------------------------- delete and errors

TEST_F(PeripheralViewTest, DeleteRemovesTheChosenRecordOnlyWhenConfirmed) {
  for (uint16_t t : {75, 76, 710, 711}) Record(t);
  Boot();
  Open(190);
  EXPECT_EQ(Unit().line(4), Line(std::string("3) ") + peripheral_type_name(710) + " ")) << Unit().screen();
  PressKeys({pad('3')});
  EXPECT_EQ(Unit().line(2), Line("1) CONFIRM ")) << Unit().screen();
  PressKeys({pad('2')});  // CANCEL
  EXPECT_EQ(Slot(2), 710u);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 190);
  Open(190);
  PressKeys({pad('3'), pad('1')});
  EXPECT_EQ(Slot(2), 0u);
  EXPECT_EQ(Slot(0), 75u);
  EXPECT_EQ(Slot(1), 76u);
  EXPECT_EQ(Slot(3), 711u);
  Open(190);
  EXPECT_EQ(Unit().line(4), Line(std::string("3) ") + peripheral_type_name(711) + " ")) << "the list closes up";
}

TEST_F(PeripheralViewTest, DeleteAllClearsEveryRecordOnlyWhenConfirmed) {
  for (uint16_t t : {75, 76, 710}) Record(t);
  Boot();
  Open(191);
  EXPECT_EQ(Unit().line(1), Centred("DELETE ALL PERIPHERALS"));
  PressKeys({pad('2')});
  EXPECT_EQ(Slot(1), 76u);
  Open(191);
  PressKeys({pad('1')});
  for (uint32_t s = 0; s < 3; ++s) EXPECT_EQ(Slot(s), 0u) << s;
}

TEST_F(PeripheralViewTest, DeletePagesSpeakFrench) {
  SetNv(nv::quorLanguage, 1);
  Record(75);
  Boot();
  InThread([&] { mgr_->m_dwLanguage = 1; });
  Open(190);
  EXPECT_EQ(Unit().line(1), Centred("SUPPRESSION DE PERIPHERIQUES")) << Unit().screen();
  Open(191);
  EXPECT_EQ(Unit().line(1), Centred("SUPPRIMER TOUS LES PERIPHERIQUES")) << Unit().screen();
}

TEST_F(PeripheralViewTest, InitErrorsListTheFailedRecords) {
  for (uint16_t t : {75, 76, 710, 711, 712, 713, 714, 715, 716, 717}) Record(t);
  Boot();
  EXPECT_FALSE(Offered(189));
  SetV(vol::peripheralLoadStatus(2), 1);
  SetV(vol::peripheralLoadStatus(9), 3);
  SetV(vol::peripheralLoadStatus(4), 2);  // bit 0 clear: loaded
  InThread([&] { mgr_->m_dwRights = 0; });
  EXPECT_TRUE(Offered(189)) << "the operator's rights are not asked";
  InThread([&] { mgr_->m_dwRights = LCD_RIGHTS_ALL; });
  Open(189);
  EXPECT_EQ(Unit().line(1), Centred("PERIPHERAL INIT ERRORS"));
  EXPECT_EQ(Unit().line(2), Line(std::string("1) ") + peripheral_type_name(710) + " ")) << Unit().screen();
  EXPECT_EQ(Unit().line(3), Line(std::string("2) ") + peripheral_type_name(717) + " ")) << Unit().screen();
  EXPECT_EQ(Unit().line(4), kBlank);
  PressKeys({pad('1')});
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 189);
  EXPECT_EQ(Slot(2), 710u) << "choosing a name changes nothing";
}

}  // namespace
