// The auto-detect wizard on its own: the detection step's screens and keys
// (the detection itself runs in the whole controller), and the records the
// HCB questions write, byte for byte.
#include <algorithm>
#include <string>
#include <vector>

#include "frame/bus/letter.h"
#include "panel/pages/autodetect_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/peripheral_records.h"
#include "peripherals/peripheral_task.h"

namespace {

constexpr CLCD_MenuId kWizard = 193;
constexpr CLCD_MenuId kPeripheralConfiguration = 153;

class AutoDetectPagesTest : public PanelTest {
 protected:
  void TearDown() override {
    g_hcb_distribution_board = 0;
    PanelTest::TearDown();
  }
  void OpenWizard() {
    Open(kPeripheralConfiguration);
    Open(kWizard);
  }
  // The peripheral task's report to the front panel.
  void Report(uint16_t code) {
    InThread([&] {
      letter_s report(MSG_PERIPHERAL_REPORT);
      report.kind = LETTER_KIND_PAIRS;
      report.payload[0] = 70u << 16 | code;
      mgr_->OnEvent(&report);
    });
    Tick();
  }
  // Keys: a digit is its keypad key, 'E' ENTER.
  void Keys(const std::string& keys) {
    for (char c : keys) PressKeys({c == 'E' ? static_cast<uint8_t>(LCD_PAD_ENTER) : pad(c)});
  }
  bool Shows(const std::string& text) { return Unit().screen().find(text) != std::string::npos; }
  CLCD_MenuId Current() { return mgr_->CurrentMenu()->m_iId; }
  static peripheral_records Records() {
    peripheral_records out;
    InThread([&] { out = read_peripheral_records(); });
    return out;
  }
  void Detected() {
    Keys("1");
    Report(CLCD_PeripheralAutoDetect::kReportDetectDone);
    Keys("E");
  }
};

TEST_F(AutoDetectPagesTest, TheDetectionStepWaitsForTheTasksReport) {
  BootWithAllRights();
  OpenWizard();
  EXPECT_TRUE(Shows("PERIPHERAL AUTO DETECT")) << Unit().screen();
  EXPECT_TRUE(Shows("1) CONFIRM")) << Unit().screen();
  EXPECT_TRUE(Shows("2) CANCEL")) << Unit().screen();
  Keys("1");
  EXPECT_TRUE(Shows("DETECTING, PLEASE WAIT")) << Unit().screen();
  EXPECT_FALSE(Shows("1) CONFIRM")) << Unit().screen();
  // The dots move while it waits.
  std::vector<std::string> seen;
  for (int i = 0; i < 8; ++i) {
    Tick();
    seen.push_back(Unit().screen());
  }
  EXPECT_NE(std::find_if(seen.begin(), seen.end(),
                         [](const std::string& s) { return s.find("WAIT...") != std::string::npos; }),
            seen.end());
  // Keys wait too, ESC included; a report of something else is no end.
  Keys("2E");
  KeyCode(LCD_KEY_ESC);
  Report(2);
  EXPECT_EQ(Current(), kWizard);
  EXPECT_TRUE(Shows("DETECTING, PLEASE WAIT")) << Unit().screen();

  Report(CLCD_PeripheralAutoDetect::kReportDetectDone);
  EXPECT_TRUE(Shows("COMPLETE")) << Unit().screen();
  EXPECT_TRUE(Shows("PRESS ENTER TO CONTINUE")) << Unit().screen();
  Keys("1");
  EXPECT_EQ(Current(), kWizard);
  // Without an HCB board the wizard ends here and writes nothing.
  Keys("E");
  EXPECT_EQ(Current(), kPeripheralConfiguration);
  EXPECT_TRUE(Records().empty());

  // Every visit starts at the question.
  OpenWizard();
  EXPECT_TRUE(Shows("1) CONFIRM")) << Unit().screen();
}

TEST_F(AutoDetectPagesTest, CancelLeavesAtOnce) {
  BootWithAllRights();
  for (uint16_t key : {static_cast<uint16_t>('2'), static_cast<uint16_t>(LCD_KEY_ESC)}) {
    OpenWizard();
    KeyCode(key);
    EXPECT_EQ(Current(), kPeripheralConfiguration) << key;
  }
  // A report that comes while nothing was asked changes nothing.
  OpenWizard();
  Report(CLCD_PeripheralAutoDetect::kReportDetectDone);
  EXPECT_TRUE(Shows("1) CONFIRM")) << Unit().screen();
}

struct hcb_case {
  const char* name;
  const char* answers;  // after the detection, ending the wizard
  peripheral_records expected;
  uint32_t beacon_type;
};

TEST_F(AutoDetectPagesTest, TheHcbAnswersWriteTheirRecords) {
  const std::string hcb = "42201,F0,F0,FF,F0,1";
  const std::vector<hcb_case> cases = {
      {"two doors, a surge suppressor, one beacon, intake fans",
       "2E1E22111" "1",
       {{55, hcb}, {30, "18,37"}, {31, "19,37"}, {75, "37,1000000"}, {700, "37,100000,5,5,6,0"}, {510, "28,37"}},
       3},
      {"two beacons synchronized, every fan and heater", "0E0E32222" "1",
       {{55, hcb}, {700, "37,300000,5,5,5,0"}, {510, "28,37"}, {526, "29,37"}, {534, "2A,37"}, {542, "2B,37"}},
       4},
      {"two beacons alternating", "0E0E41111" "1", {{55, hcb}, {700, "37,300000,5,5,6,0"}}, 5},
      {"no beacon", "0E2E11111" "1", {{55, hcb}, {75, "37,1000000"}, {76, "37,2000000"}}, 2},
      {"nine airflow sensors", "0E0E11111" "29E",
       {{55, hcb},
        {710, "37,100,0"},
        {711, "37,200,0"},
        {712, "37,400,0"},
        {713, "37,800,0"},
        {714, "37,1000,0"},
        {715, "37,2000,0"},
        {716, "37,4000,0"},
        {717, "37,8000,0"},
        {718, "24E,1,0"}},
       2},
      {"three rpm sensors", "0E0E11111" "33E",
       {{55, hcb}, {730, "42521,1,0"}, {731, "42522,1,0"}, {732, "42523,1,0"}}, 2},
      {"five fans with airflow and rpm", "0E0E11111" "45E",
       {{55, hcb},
        {730, "42521,1,0"},
        {731, "42522,1,0"},
        {732, "42523,1,0"},
        {733, "42524,1,0"},
        {738, "42529,1,0"},
        {710, "37,1000,0"},
        {711, "37,2000,0"},
        {712, "37,4000,0"},
        {713, "37,8000,0"},
        {714, "24E,1,0"}},
       2},
      {"ten fans with airflow and rpm: the mini boards", "0E0E11111" "410E",
       {{55, hcb},
        {730, "42521,1,0"},       {731, "42522,1,0"},       {732, "42523,1,0"}, {733, "42524,1,0"},
        {738, "42529,1,0"},       {739, "4252A,1,0"},       {740, "4252B,1,0"}, {741, "4252C,1,0"},
        {742, "4252D,1,0"},       {743, "4252E,1,0"},       {710, "37,1000,0"}, {711, "37,2000,0"},
        {712, "37,4000,0"},       {713, "37,8000,0"},       {714, "24E,1,0"},   {715, "24E,2,0"},
        {716, "24F,1,0"},         {717, "24F,2,0"},         {718, "250,1,0"},   {719, "250,2,0"}},
       2},
  };
  g_hcb_distribution_board = 1;
  BootWithAllRights();
  for (const hcb_case& c : cases) {
    SCOPED_TRACE(c.name);
    InThread([] {
      pl_iterator it;
      it.RemoveAll();
    });
    OpenWizard();
    Detected();
    EXPECT_TRUE(Shows("DOORS ON HCB")) << Unit().screen();
    Keys(c.answers);
    EXPECT_EQ(Current(), kPeripheralConfiguration) << Unit().screen();
    EXPECT_EQ(Records(), c.expected);
    EXPECT_EQ(Nv(nv::dmsBeaconType), c.beacon_type);
  }
}

TEST_F(AutoDetectPagesTest, CountsAboveTheRulesStay) {
  g_hcb_distribution_board = 1;
  BootWithAllRights();
  OpenWizard();
  Detected();
  Keys("9E");
  EXPECT_TRUE(Shows("DOORS ON HCB")) << Unit().screen();
  PressKeys({LCD_PAD_LEFT});
  Keys("8E3E");
  EXPECT_TRUE(Shows("SURGE SUPPRESSORS ON HCB")) << Unit().screen();
}

}  // namespace
