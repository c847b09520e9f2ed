// Setting the sign up from the front panel in the whole controller: a test
// pattern chosen at the panel shows on the sign, a new width from the panel
// reaches the sign's picture and the size objects the agent serves, the
// manual brightness level chosen at the panel is the one the display uses,
// the module picker of the small boards sets the module the display takes,
// and the module table shows what the modules on the line report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "board_host.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "frame/can/can_db_driver.h"
#include "frame/console/vms_command.h"
#include "panel/controller_tests/panel_controller_fixture.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "sim/modules/module_line.h"

namespace {

using Rows = std::vector<std::string>;

class PanelSignSetupTest : public panel_controller<picture_controller_test> {
 protected:
  void SetUp() override {
    BootWithPicture("panel_sign_setup");
    AttachUnit();
    FirstDisplayStep();
    InThread([] { ConfigureSmallSign(); });
    DisplaySteps(2);
    Login();
  }
  void TearDown() override {
    modules_.reset();
    CQ5DisplayDriver::SetLineDriver(nullptr);
    picture_controller_test::TearDown();
    line_driver_.reset();
  }
  // The module-data driver carries the display lines (the controller's, or
  // one of the test's while there is none).
  void OpenLineDriver() {
    can_db_driver* lines = vms_get_links().db_can;
    if (!lines) {
      line_driver_ = std::make_unique<can_db_driver>();
      lines = line_driver_.get();
    }
    InThread([&] { ASSERT_EQ(lines->Initialize(0, 0, 0), 1u); });
    CQ5DisplayDriver::SetLineDriver(lines);
  }
  // From the main menu: CONFIGURATION, SYSTEM CONFIGURATION, then the list.
  void OpenSystemConfiguration(const std::string& list) {
    Choose("CONFIGURATION");
    Choose("SYSTEM CONFIGURATION");
    Choose(list);
  }
  void OpenSpecialFeatures() {
    OpenSystemConfiguration("CONFIGURE OPTIONS");
    Choose("SPECIAL FEATURES");
  }
  static uint32_t V(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_v, 0); }

  std::unique_ptr<can_db_driver> line_driver_;
  std::unique_ptr<sim::module_line> modules_;
};

TEST_F(PanelSignSetupTest, PatternChosenAtThePanelShowsOnTheSign) {
  Choose("DIAGNOSTICS");
  Choose("TEST PATTERNS");
  Choose("EVEN ROWS");
  DisplaySteps(4);
  const std::string lit(30, '#'), dark(30, '.');
  EXPECT_EQ(Picture(), (Rows{dark, lit, dark, lit, dark, lit, dark}));
  EXPECT_EQ(g_pDisplay->m_dwDisplayState, CDisplay::STATE_TEST_PATTERN);

  Choose("TEST PATTERNS");
  Choose("NONE");
  DisplaySteps(4);
  EXPECT_EQ(Picture(), Rows(7, dark));
}

TEST_F(PanelSignSetupTest, WidthFromThePanelReachesThePictureAndTheSizeObjects) {
  InThread([] {
    Set(Db().mib_nv, nv::vmsHorizontalPitch, 44);
    Set(Db().mib_nv, nv::quorFrameRate, 7);
  });
  OpenSystemConfiguration("CONFIGURE DISPLAY");
  Choose("DISPLAY PIXEL WIDTH");
  // 42 is not whole 5-column modules: the display makes it 45.
  Digits("42");
  Key(8);
  DisplaySteps(4);
  EXPECT_EQ(Nv(nv::vmsSignWidthPixels), 45u);
  EXPECT_EQ(Nv(nv::vmsSignHeightPixels), 7u);
  EXPECT_NE(Nv(nv::quorFrameRate), 7u) << "reset for the display to work out again";
  const uint32_t border = Nv(nv::dmsHorizontalBorder);
  EXPECT_EQ(Nv(nv::dmsSignWidth), 44u * 45 + 2 * border);
  EXPECT_EQ(Picture(), Rows(7, std::string(45, '.')));
}

TEST_F(PanelSignSetupTest, ManualLevelFromThePanelIsTheLevelInUse) {
  InThread([] {
    Set(Db().mib_nv, nv::dmsIllumControl, 2, DB_NOTIFY);
  });
  Choose("BRIGHTNESS CONTROL");
  ASSERT_TRUE(RunUntil("AUTOMATIC DIMMING")) << unit_.screen();
  Key(15);  // up arrow: manual
  ASSERT_TRUE(RunUntil("MANUAL DIMMING")) << unit_.screen();
  const db_object n = vol::dmsIllumNumBrightLevels;
  const uint32_t levels = Db().GetValue(n.offset, n.width, Db().mib_v, 0);
  ASSERT_GT(levels, 1u);
  Digits("50");
  Key(8);
  DisplaySteps(4);
  EXPECT_EQ(Nv(nv::dmsIllumControl), 4u);
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 50 * levels / 100);
  const db_object in_use = vol::dmsIllumBrightLevelStatus;
  const uint32_t shown = (Db().GetValue(in_use.offset, in_use.width, Db().mib_v, 0) * 100 + 254) / 255;
  char line[24];
  snprintf(line, sizeof line, "DIMMING LEVEL:%3u%%", shown);
  EXPECT_TRUE(RunUntil(line)) << unit_.screen();
}

TEST_F(PanelSignSetupTest, BusSpeedFromThePanelGoesToTheModules) {
  OpenLineDriver();
  OpenSpecialFeatures();
  Choose("MODULE BAUD RATE");
  ASSERT_TRUE(RunUntil("1) DEFAULT")) << unit_.screen();
  board::can_fifo().take_packets();
  Digits("3");  // 250K, speed index 2
  DisplaySteps(2);
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 4u);
  // The bit-rate set-up: parameter 1, then the speed index nine times.
  const std::vector<uint8_t> head{0x55, 0xAA, 0xCA, 0x0A, 0x01, 2, 2, 2, 2, 2, 2, 2, 2, 2};
  size_t found = 0;
  for (const std::vector<uint8_t>& p : board::can_fifo().take_packets())
    if (p.size() >= head.size() && std::equal(head.begin(), head.end(), p.begin())) ++found;
  EXPECT_EQ(found, 1u);
}

TEST_F(PanelSignSetupTest, FeatureToggleChangesTheObjectItNames) {
  InThread([] { Set(Db().mib_nv, nv::quorSpecialFeatureSet, 0, DB_NOTIFY); });
  DisplaySteps(2);
  auto builtin = [](bool short_table) {
    uint32_t n = 0;
    const uint8_t* t = CDisplay::BuiltinBrightnessTable(short_table, &n);
    return std::string(reinterpret_cast<const char*>(t), n);
  };
  OpenSpecialFeatures();
  Choose("QUOR SPECIAL FEATURES");
  ASSERT_TRUE(RunUntil("3) USE 8 DIMMING LEVELS")) << unit_.screen();
  // USE 8 DIMMING LEVELS: the display writes the short brightness table.
  Digits("3");
  EXPECT_EQ(Nv(nv::quorSpecialFeatureSet), 0x8u);
  DisplaySteps(4);
  EXPECT_EQ(NvText(nv::dmsIllumBrightnessValues), builtin(true));
  Digits("3");
  EXPECT_EQ(Nv(nv::quorSpecialFeatureSet), 0u);
  DisplaySteps(4);
  EXPECT_EQ(NvText(nv::dmsIllumBrightnessValues), builtin(false));
}

using Packets = std::vector<std::vector<uint8_t>>;
// The packets that carry the bytes.
static size_t Count(const Packets& packets, const std::vector<uint8_t>& bytes) {
  size_t n = 0;
  for (const std::vector<uint8_t>& p : packets)
    if (std::search(p.begin(), p.end(), bytes.begin(), bytes.end()) != p.end()) ++n;
  return n;
}
// The packets on the module line since the last call that carry the bytes;
// every packet goes to `seen` as text.
static size_t PacketsWith(const std::vector<uint8_t>& payload, std::string* seen) {
  const Packets packets = board::can_fifo().take_packets();
  for (const std::vector<uint8_t>& p : packets) {
    for (uint8_t b : p) *seen += std::to_string(b) + " ";
    *seen += "\n";
  }
  return Count(packets, payload);
}

TEST_F(PanelSignSetupTest, ModuleSettingsFromThePanelGoDownTheLines) {
  OpenLineDriver();
  OpenSpecialFeatures();
  board::can_fifo().take_packets();
  std::string seen;

  // Single-colour modules: one value, then SAVE.
  Choose("MODULE CURRENT DOT CORRECTION");
  ASSERT_TRUE(RunUntil("RED/AMBER")) << unit_.screen();
  Digits("40");
  Key(8);
  Choose("SAVE");
  DisplaySteps(2);
  EXPECT_GE(PacketsWith({7, 40, 1, 0}, &seen), 1u) << seen;

  // Disabling the automatic adjustment asks no voltage.
  Choose("MODULE AUTO ADJUST VOLTAGE");
  Choose("DISABLE");
  Choose("SAVE");
  DisplaySteps(2);
  seen.clear();
  const std::vector<std::vector<uint8_t>> disabled = board::can_fifo().take_packets();
  EXPECT_GE(Count(disabled, {4, 32, 11, 0, 1, 0}), 1u);
  EXPECT_EQ(Count(disabled, {4, 32, 8}), 0u) << "no target voltage";

  Choose("MODULE AUTO ADJUST VOLTAGE");
  Choose("ENABLE");
  Digits("120");
  Key(8);
  Choose("DONT SAVE (RECOMMENDED)");
  DisplaySteps(2);
  seen.clear();
  const std::vector<std::vector<uint8_t>> packets = board::can_fifo().take_packets();
  size_t target = packets.size(), enable = packets.size();
  for (size_t i = 0; i < packets.size(); ++i) {
    const std::vector<uint8_t>& p = packets[i];
    for (uint8_t b : p) seen += std::to_string(b) + " ";
    seen += "\n";
    const std::vector<uint8_t> t{8, 120, 0, 0}, e{11, 1, 0, 0};
    if (target == packets.size() && std::search(p.begin(), p.end(), t.begin(), t.end()) != p.end()) target = i;
    if (enable == packets.size() && std::search(p.begin(), p.end(), e.begin(), e.end()) != p.end()) enable = i;
  }
  EXPECT_LT(target, enable) << "the target goes first\n" << seen;
  EXPECT_LT(enable, packets.size()) << seen;

  // Restore defaults: CANCEL sends nothing, CONFIRM sends 13 1 0.
  Choose("MODULE RESTORE DEFAULTS");
  Choose("CANCEL");
  DisplaySteps(2);
  seen.clear();
  EXPECT_EQ(PacketsWith({13, 1, 0}, &seen), 0u) << seen;
  Choose("MODULE RESTORE DEFAULTS");
  Choose("CONFIRM");
  DisplaySteps(2);
  EXPECT_GE(PacketsWith({13, 1, 0}, &seen), 1u) << seen;
}

TEST_F(PanelSignSetupTest, ModuleTableShowsWhatTheModulesOnTheLineReport) {
  // The small sign's six modules on display line 1, each on both supplies.
  sim::module_line::module_setup setup;
  setup.voltage1 = 243;
  setup.voltage2 = 241;
  setup.temperature = 35;
  setup.status = 2;
  modules_ = std::make_unique<sim::module_line>();
  modules_->add_modules(0, 6, setup);
  OpenLineDriver();
  CQ5DisplayDriver::LineDriver()->SetReceiver(&g_bus_ksr7100);
  InThread([] { g_q5_display_driver.ResetLines(-1); });
  for (uint32_t step = 0; step < 400 && !g_diag_ksr7100.m_Modules[5].measurements_valid; ++step) DisplaySteps(1);
  ASSERT_TRUE(g_diag_ksr7100.m_Modules[5].measurements_valid);

  Choose("DIAGNOSTICS");
  Choose("MODULE DIAGNOSTICS");
  ASSERT_TRUE(RunUntil("MODULE   VIN1 VIN2  PS T(C) mA1 mA2 mA3")) << unit_.screen();
  // mA1 shows the type byte of the module's information once it was asked.
  EXPECT_TRUE(RunUntil(Line("A102     24.3 24.1 1&2   35  21   0   0"))) << unit_.screen();
  EXPECT_EQ(unit_.line(7).substr(0, 4), "A105");
  EXPECT_EQ(unit_.line(8), Line("(MORE)", 17));

  // Module 3 reports its currents; a redraw shows them. The line's poll
  // cycle asks every module again now and then (and forgets the figures
  // until they answer), so the report is sent until a redraw shows it.
  bool shown = false;
  for (uint32_t t = 0; t < 5000 && !shown; t += 20) {
    modules_->module_send(0, 0x500 + 8 * 2, {9, 18, 200, 0, 0});
    shown = RunUntil("A103     24.3 24.1 1&2   35  18   0   0", 20);
  }
  EXPECT_TRUE(shown) << unit_.screen();
  // Module 2 warms up and its first supply sags.
  setup.temperature = 47;
  setup.voltage1 = 230;
  modules_->add_module(0, 1, setup);
  EXPECT_TRUE(RunUntil("A102     23.0 24.1 1&2   47")) << unit_.screen();

  // The revisions, then the output voltage, then the sixth module alone on
  // the second page.
  Key(LCD_PAD_RIGHT);
  EXPECT_EQ(unit_.line(2), Line("MODULE   VLED1 VLED2 VLED3 REV"));
  EXPECT_EQ(unit_.line(3), Line("A101       0.0   0.0   0.0   3"));
  Key(LCD_PAD_RIGHT);
  EXPECT_EQ(unit_.line(2), Line("MODULE   VOUT(AVG,RANGE)"));
  EXPECT_EQ(unit_.line(3), Line("A101      0.0, 0.0-> 0.0"));
  Key(LCD_PAD_DOWN);
  EXPECT_EQ(unit_.line(3), Line("A106      0.0, 0.0-> 0.0"));
  for (int line = 4; line <= 8; ++line) EXPECT_EQ(unit_.line(line), Line("")) << line;
}

// The module picker of the boards that drive only the fourth generation:
// the choices the panel offers set the module, its pitch and the module
// bus defaults, and the display takes the new module.
struct picker_example {
  uint8_t board;
  std::vector<std::string> choices;
  uint32_t type, pitch, rows, columns;
};
void PrintTo(const picker_example& e, std::ostream* out) { *out << "board " << static_cast<int>(e.board); }

class PanelModulePickerTest : public PanelSignSetupTest, public ::testing::WithParamInterface<picker_example> {};

TEST_P(PanelModulePickerTest, ChoicesSetTheModuleTheDisplayTakes) {
  const picker_example& e = GetParam();
  InThread([&] {
    lcd_set_product_board(e.board);
    Set(Db().mib_nv, nv::quorCANBaudRate, 4);
    Set(Db().mib_nv, nv::quorCANMaxLineLength, 3);
  });
  OpenSystemConfiguration("CONFIGURE DISPLAY");
  Choose("MODULE TYPE");
  for (const std::string& c : e.choices) Choose(c);
  DisplaySteps(4);
  EXPECT_EQ(Nv(nv::quorModuleID), e.type);
  EXPECT_EQ(Nv(nv::vmsHorizontalPitch), e.pitch);
  EXPECT_EQ(Nv(nv::vmsVerticalPitch), e.pitch);
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 1u);
  EXPECT_EQ(Nv(nv::quorCANMaxLineLength), 0u);
  const disp::face_description& face = g_pDisplay->FaceDescription(0);
  EXPECT_EQ(face.module_height, e.rows);
  EXPECT_EQ(face.module_width, e.columns);
  // The EPLD took the new module's image; the panel line still serves the
  // unit, which goes back to the main menu.
  bool back = false;
  for (int i = 0; i < 6 && !back; ++i) {
    Key(kKeyCancel);
    back = RunUntil("** WELCOME TO THE MAIN MENU **", 300);
  }
  EXPECT_TRUE(back) << unit_.screen();
}

INSTANTIATE_TEST_SUITE_P(
    SmallBoards, PanelModulePickerTest,
    ::testing::Values(
        picker_example{5, {"MONOCHROME", "GEN 4 (24 Volt Bus)", "9x5", "66mm (18\" Character)"}, 22, 66, 9, 5},
        picker_example{6, {"FULL COLOR", "GEN 4 (24 Volt Bus)", "16x16", "34mm ( 9\" Character)"}, 97, 34, 16, 16}),
    [](const ::testing::TestParamInfo<picker_example>& i) { return "Board" + std::to_string(i.param.board); });

}  // namespace
