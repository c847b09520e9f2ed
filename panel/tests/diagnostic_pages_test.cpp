// The status counters, the test-pattern choice and the manual fan and
// heater run through the simulated unit.
#include <memory>
#include <string>

#include "frame/peripheral/peripheral.h"
#include "panel/pages/diagnostic_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

using namespace screen_text;

class DiagnosticPagesTest : public PanelTest {
 protected:
  void Boot() { BootWithAllRights(); }
  // The value the DIAGNOSTICS list shows beside an entry: the line's text
  // after the entry's title, blanks trimmed.
  std::string ValueOf(const std::string& title) {
    Open(4);
    for (uint32_t l = 2; l <= 8; ++l) {
      std::string line = Unit().line(l);
      const size_t at = line.find(title);
      if (at == std::string::npos) continue;
      line = line.substr(at + title.size());
      line.erase(0, line.find_first_not_of(' '));
      line.erase(line.find_last_not_of(' ') + 1);
      return line;
    }
    return "no entry " + title + "\n" + Unit().screen();
  }
  CMenuItem* Page(CLCD_MenuId id) {
    CMenuItem* p = nullptr;
    InThread([&] { p = mgr_->FindMenu(id, nullptr); });
    return p;
  }
};

TEST_F(DiagnosticPagesTest, PatternValueNamesTheStoredCode) {
  Boot();
  SetNv(nv::quorDisplayMode, 1);
  EXPECT_EQ(ValueOf("TEST PATTERNS"), "NONE");
  SetNv(nv::quorDisplayMode, 7);
  EXPECT_EQ(ValueOf("TEST PATTERNS"), "OTHER");
  SetNv(nv::quorDisplayMode, 17);
  EXPECT_EQ(ValueOf("TEST PATTERNS"), "ALL ON BLUE 100 PERCENT");
}

TEST_F(DiagnosticPagesTest, ChoosingAPatternStoresItsCode) {
  Boot();
  Open(5);
  EXPECT_EQ(Unit().line(1), Centred("TEST PATTERNS"));
  EXPECT_EQ(Unit().line(5), Line("4) MOVING ROWS")) << Unit().screen();
  PressKeys({pad('4')});
  EXPECT_EQ(Nv(nv::quorDisplayMode), 4u);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 5);
}

TEST_F(DiagnosticPagesTest, ColourTestAsksTheColourAndKeepsLowBytes) {
  Boot();
  SetNv(nv::quorDisplayMode, 1);
  Open(5);
  // COLOR TEST: the 24th text, page 4, digit 6.
  for (int i = 0; i < 3; ++i) PressKeys({LCD_PAD_DOWN});
  PressKeys({pad('6')});
  EXPECT_EQ(Nv(nv::quorDisplayMode), 1u) << "nothing stored before the colour";
  EXPECT_NE(Unit().screen().find("ENTER RED VALUE"), std::string::npos) << Unit().screen();
  TypeDigits("255");
  PressKeys({LCD_PAD_ENTER});
  TypeDigits("0");
  PressKeys({LCD_PAD_ENTER});
  TypeDigits("384");  // no rule: the low byte, 128
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::quorDisplayMode), 32u);
  EXPECT_EQ(ValueOf("TEST PATTERNS"), "COLOR R:255 G:0 B:128");
}

TEST_F(DiagnosticPagesTest, StatusInfoShowsTheCounters) {
  SetNv(nv::watchdogFailureCount, 3);
  Boot();
  Open(7);
  EXPECT_EQ(Unit().line(1), Centred("STATUS INFO"));
  const std::string screen = Unit().screen();
  EXPECT_NE(screen.find("WATCHDOG COUNT"), std::string::npos) << screen;
  EXPECT_EQ(Unit().line(2).substr(30), Line("3", 8).substr(0, 10)) << screen;
  EXPECT_NE(screen.find("FLASH DATABASE USAGE"), std::string::npos) << screen;
  EXPECT_NE(Unit().line(6).find('%'), std::string::npos) << screen;
  // Choosing a counter does nothing.
  PressKeys({pad('1')});
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, 7);
}

// ---------------------------------------------------------------- fans and heaters

// A live fan or heater control without a board: its output reads off.
class fake_output : public CPeripheral {
 public:
  explicit fake_output(const pl_record& r) : CPeripheral(r.class_code, r.type_id) {}
  void Poll() override {}
};
CPeripheral* make_fake(const pl_record& r) { return new fake_output(r); }
const pl_creator kFanRow{PCLASS_FAN_CONTROL, make_fake};
const pl_creator kHeaterRow{PCLASS_HEATER_CONTROL, make_fake};

class FansHeatersTest : public DiagnosticPagesTest {
 protected:
  void SetUp() override {
    DiagnosticPagesTest::SetUp();
    task_ = std::make_unique<CPeripheralTask>(nullptr);
    task_->Factory().Register(&kFanRow);
    task_->Factory().Register(&kHeaterRow);
    InThread([&] { ASSERT_TRUE(task_->Mediator().Open(&task_->Factory(), task_.get())); });
    g_pPeripheralTask = task_.get();
  }
  void TearDown() override {
    g_pPeripheralTask = nullptr;
    InThread([&] { task_->Mediator().Close(); });
    task_.reset();
    DiagnosticPagesTest::TearDown();
  }
  void Add(uint16_t type) {
    InThread([&] { ASSERT_TRUE(task_->Mediator().Create(type, "")); });
  }
  std::unique_ptr<CPeripheralTask> task_;
};

TEST_F(FansHeatersTest, HiddenWithoutOutputsListedFansFirst) {
  Boot();
  CMenuItem* page = Page(17);
  ASSERT_NE(page, nullptr);
  bool shown = true;
  InThread([&] { shown = page->HasRights(mgr_); });
  EXPECT_FALSE(shown);
  Add(534);
  Add(510);
  Add(518);
  InThread([&] { shown = page->HasRights(mgr_); });
  EXPECT_TRUE(shown);
  Open(17);
  EXPECT_EQ(Unit().line(2).substr(0, 3), "1) ");
  EXPECT_NE(Unit().line(2).find(peripheral_type_name(510)), std::string::npos) << Unit().screen();
  EXPECT_NE(Unit().line(3).find(peripheral_type_name(518)), std::string::npos) << Unit().screen();
  EXPECT_NE(Unit().line(4).find(peripheral_type_name(534)), std::string::npos) << Unit().screen();
}

TEST_F(FansHeatersTest, ForceForMinutesThenRestoreWithoutAskingTime) {
  Boot();
  Add(510);
  Add(518);
  Add(534);
  Open(17);
  PressKeys({pad('2')});  // pixel fan, now off
  EXPECT_NE(Unit().screen().find("1) TURN ON"), std::string::npos) << Unit().screen();
  PressKeys({pad('1')});
  EXPECT_NE(Unit().screen().find("PRESS ENTER TO SAVE"), std::string::npos) << Unit().screen();
  TypeDigits("501");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(task_->m_abyClimateMode[2], 1) << "above 500 minutes stays on the item";
  PressKeys({LCD_PAD_LEFT, LCD_PAD_LEFT, LCD_PAD_LEFT});
  TypeDigits("10");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(task_->m_abyClimateMode[2], 2);
  EXPECT_EQ(task_->m_adwForcedDuration[2], 600u);

  Open(17);
  PressKeys({pad('2')});
  EXPECT_NE(Unit().screen().find("1) RESTORE NORMAL OPERATION"), std::string::npos) << Unit().screen();
  EXPECT_NE(Unit().screen().find("2) TURN OFF"), std::string::npos) << Unit().screen();
  PressKeys({pad('1')});
  EXPECT_EQ(task_->m_abyClimateMode[2], 1);
  EXPECT_EQ(task_->m_adwForcedDuration[2], 0u);
  EXPECT_NE(mgr_->CurrentMenu()->m_iId, 17);

  // A heater warns when it will switch off.
  Open(17);
  PressKeys({pad('3'), pad('1')});
  EXPECT_NE(Unit().screen().find("OFF WHEN SIGN TEMP >= 25"), std::string::npos) << Unit().screen();
  TypeDigits("5");
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(task_->m_abyClimateMode[3], 2);
  EXPECT_EQ(task_->m_adwForcedDuration[3], 300u);
}

TEST_F(FansHeatersTest, AForcedOutputReturnsToAutomaticWhenItsTimeIsUp) {
  Boot();
  Add(526);  // face fan: climate output 1
  Open(17);
  PressKeys({pad('1'), pad('1')});
  TypeDigits("1");
  PressKeys({LCD_PAD_ENTER});
  ASSERT_EQ(task_->m_abyClimateMode[1], 2);
  // The task's climate step counts the minute from the global time.
  auto at = [](uint32_t seconds) { Db().SetTimeValue(nv::globalTime.offset, 4, seconds, Db().mib_nv, 0); };
  at(100000);
  uint8_t forced = 0;
  InThread([&] { forced = task_->EvaluateOverrides(0); });
  EXPECT_EQ(forced, 0x2);
  at(100060);
  InThread([&] { forced = task_->EvaluateOverrides(0); });
  EXPECT_EQ(forced, 0x2) << "still within the minute";
  at(100061);
  InThread([&] { forced = task_->EvaluateOverrides(0); });
  EXPECT_EQ(forced, 0);
  EXPECT_EQ(task_->m_abyClimateMode[1], 1);
}

}  // namespace
