// The sign and controller settings pages through the simulated unit: the
// shut-off temperature by module kind and login level, the controller's
// serial number, the failed-pixel threshold, the line lengths of the sign's
// lines and the beacon type.
#include <string>

#include "display/driver/module_type.h"
#include "display/frame/face_description.h"
#include "display/modbus/diag_ksr7100.h"
#include "panel/pages/settings_pages.h"
#include "panel/tests/panel_fixture.h"
#include "panel/tests/screen_text.h"

namespace {

using namespace screen_text;

class SettingsPagesTest : public PanelTest {
 protected:
  static constexpr CLCD_MenuId kOptions = 48;
  static constexpr CLCD_MenuId kCriticalTemp = 77;
  static constexpr CLCD_MenuId kFailedPixels = 79;
  static constexpr CLCD_MenuId kSerialNumber = 80;
  static constexpr CLCD_MenuId kLineLengths = 86;
  static constexpr CLCD_MenuId kBeaconType = 199;

  void SetUp() override {
    PanelTest::SetUp();
    saved_limits_ = g_module_critical_limits;
    saved_description_ = g_diag_ksr7100.m_pDescription;
    saved_[0] = g_diag_ksr7100.m_Modules[0];
    saved_[1] = g_diag_ksr7100.m_Modules[1];
    description_.total_modules = 2;
    g_diag_ksr7100.m_pDescription = &description_;
    Modules(0, 0, 0, 0);
  }
  void TearDown() override {
    g_diag_ksr7100.m_Modules[0] = saved_[0];
    g_diag_ksr7100.m_Modules[1] = saved_[1];
    g_diag_ksr7100.m_pDescription = saved_description_;
    g_module_critical_limits = saved_limits_;
    select_module_type_table(0);
    PanelTest::TearDown();
  }
  // The types and subtypes the two display modules report (0: none).
  static void Modules(uint8_t type0, uint8_t subtype0, uint8_t type1, uint8_t subtype1) {
    g_diag_ksr7100.m_Modules[0].type = type0;
    g_diag_ksr7100.m_Modules[0].gen4_subtype = subtype0;
    g_diag_ksr7100.m_Modules[1].type = type1;
    g_diag_ksr7100.m_Modules[1].gen4_subtype = subtype1;
  }
  bool Shows(const std::string& text) { return Unit().screen().find(text) != std::string::npos; }
  bool Visible(CLCD_MenuId id) {
    bool visible = false;
    InThread([&] { visible = mgr_->FindMenu(id, nullptr)->HasRights(mgr_); });
    return visible;
  }
  void Enter(const std::string& digits) {
    TypeDigits(digits);
    PressKeys({LCD_PAD_ENTER});
  }
  void Erase(int n) {
    for (int i = 0; i < n; ++i) PressKeys({LCD_PAD_LEFT});
  }

  module_critical_limits_fn saved_limits_ = nullptr;
  disp::face_description description_;
  const disp::face_description* saved_description_ = nullptr;
  disp::module saved_[2];
};

TEST_F(SettingsPagesTest, CriticalTemperatureOnlyForModulesThatReportIt) {
  BootWithAllRights();
  const struct {
    uint8_t type0, subtype0, type1, subtype1;
    bool visible;
  } rows[] = {
      {0, 0, 0, 0, false},     {90, 0, 114, 0, false}, {125, 0, 0, 0, false},
      {114, 110, 0, 0, true},  {90, 0, 21, 0, true},   {0, 0, 102, 0, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << int(r.type0) << "/" << int(r.subtype0) << " " << int(r.type1));
    Modules(r.type0, r.subtype0, r.type1, r.subtype1);
    EXPECT_EQ(Visible(kCriticalTemp), r.visible);
  }
}

TEST_F(SettingsPagesTest, CriticalTemperatureLimitByLoginLevel) {
  Modules(21, 0, 21, 0);
  BootWithAllRights();
  SetNv(nv::quorShutOffTemp, 0);
  Open(kOptions);
  EXPECT_TRUE(Shows("2) CRITICAL TEMPERATURE")) << Unit().screen();
  EXPECT_TRUE(Shows("DISABLED")) << Unit().screen();
  EXPECT_FALSE(Shows("DISABLED*")) << Unit().screen();

  Open(kCriticalTemp);
  EXPECT_TRUE(Shows("RESTRICTIONS:<111")) << Unit().screen();
  Enter("111");
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, kCriticalTemp) << "111 is refused";
  Erase(3);
  Enter("110");
  EXPECT_EQ(Nv(nv::quorShutOffTemp), 110u);
  Open(kOptions);
  EXPECT_TRUE(Shows("110*")) << Unit().screen();

  // The factory level may go further (what the modules take is the
  // database's to check).
  g_module_critical_limits = [](int32_t* minimum, int32_t* maximum) {
    *minimum = 50;
    *maximum = 130;
  };
  InThread([&] { mgr_->m_iLevel = 0; });
  Open(kCriticalTemp);
  Enter("127");
  EXPECT_EQ(Nv(nv::quorShutOffTemp), 110u);
  Erase(3);
  Enter("126");
  EXPECT_EQ(Nv(nv::quorShutOffTemp), 126u);
  Open(kCriticalTemp);
  Enter("0");
  EXPECT_EQ(Nv(nv::quorShutOffTemp), 0u);
  Open(kOptions);
  EXPECT_TRUE(Shows("DISABLED*")) << Unit().screen();
}

TEST_F(SettingsPagesTest, ControllerSerialNumberAndItsVersionText) {
  BootWithAllRights();
  const struct {
    const char* digits;
    uint32_t number;
    const char* text;
  } rows[] = {{"4711", 4711, "SN: 4711"}, {"0", 0, "SN: ----"}, {"2000000000", 2000000000, "SN: 2000000000"}};
  for (const auto& r : rows) {
    Open(kSerialNumber);
    EXPECT_EQ(Unit().line(1), Centred("CONTROLLER SERIAL NUMBER"));
    Enter(r.digits);
    EXPECT_EQ(Nv(nv::quorControllerSerialNum), r.number);
    EXPECT_EQ(VText(vol::moduleVersion(1)), r.text);
  }
  EXPECT_EQ(VText(vol::moduleVersion(6)), "") << "the display's row is left alone";
}

TEST_F(SettingsPagesTest, FailedPixelThresholdStartsAt34AndKeepsToItsRange) {
  BootWithAllRights();
  SetNv(nv::fdotMaxNumPixelFailure, 0xFFFFFFFF);
  Open(kOptions);
  EXPECT_TRUE(Shows("FAILED PIXEL THRESHOLD")) << Unit().screen();
  EXPECT_TRUE(Shows("DISABLED")) << Unit().screen();
  Open(kFailedPixels);
  EXPECT_TRUE(Shows("RESTRICTIONS:>=1 AND <=34")) << Unit().screen();
  EXPECT_TRUE(Shows("PIXELS:34")) << Unit().screen();
  Erase(2);
  Enter("35");
  Erase(2);
  Enter("0");
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 0xFFFFFFFFu) << "0 and 35 are refused";
  Erase(1);
  Enter("1");
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 1u);
  Open(kFailedPixels);
  PressKeys({LCD_PAD_ENTER});
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 34u);
}

TEST_F(SettingsPagesTest, LineLengthsOfATwoLineSign24ModulesWide) {
  select_module_type_table(5);
  SetNv(nv::quorModuleID, 21);  // 7 x 5
  SetNv(nv::vmsSignHeightPixels, 14);
  SetNv(nv::vmsSignWidthPixels, 120);
  SetNv(nv::quorLineLength(0), 0);
  SetNv(nv::quorLineLength(1), 12);
  BootWithAllRights();
  Open(kLineLengths);
  EXPECT_EQ(Unit().line(2).substr(0, 17), "1) LINE 1 LENGTH ");
  EXPECT_EQ(Unit().line(3).substr(0, 17), "2) LINE 2 LENGTH ");
  EXPECT_NE(Unit().line(2).find("DEFAULT"), std::string::npos) << Unit().screen();
  EXPECT_NE(Unit().line(3).find("12"), std::string::npos) << Unit().screen();
  EXPECT_EQ(Unit().line(4), kBlank);
  EXPECT_FALSE(Visible(89));

  PressKeys({pad('2')});
  EXPECT_TRUE(Shows("RESTRICTIONS:<= 24")) << Unit().screen();
  EXPECT_EQ(Unit().line(8), Centred("ENTER NUMBER OF MODULES FOR LINE"));
  Enter("25");
  EXPECT_TRUE(Shows("INVALID ENTRY")) << Unit().screen();
  EXPECT_EQ(Nv(nv::quorLineLength(1)), 12u);
  Erase(2);
  Enter("24");
  EXPECT_EQ(Nv(nv::quorLineLength(1)), 24u);
  EXPECT_EQ(mgr_->CurrentMenu()->m_iId, kLineLengths);
  // 0 goes back to the whole width.
  PressKeys({pad('2')});
  Enter("0");
  EXPECT_EQ(Nv(nv::quorLineLength(1)), 0u);

  // A third line of modules offers a third page.
  SetNv(nv::vmsSignHeightPixels, 21);
  EXPECT_TRUE(Visible(89));
  EXPECT_FALSE(Visible(90));
}

TEST_F(SettingsPagesTest, BeaconTypeStoresItsNtcipValue) {
  BootWithAllRights();
  SetNv(nv::dmsBeaconType, 3);
  Open(kOptions);
  PressKeys({LCD_PAD_DOWN});
  EXPECT_TRUE(Shows("BEACON TYPE")) << Unit().screen();
  EXPECT_TRUE(Shows("ONE BEACON")) << Unit().screen();
  Open(kBeaconType);
  EXPECT_TRUE(Shows("1) OTHER")) << Unit().screen();
  PressKeys({LCD_PAD_DOWN, LCD_PAD_DOWN});
  EXPECT_TRUE(Shows("1) FOUR BEACON STROBE")) << Unit().screen();
  PressKeys({pad('1')});
  EXPECT_EQ(Nv(nv::dmsBeaconType), 13u);
  Open(kBeaconType);
  PressKeys({pad('2')});
  EXPECT_EQ(Nv(nv::dmsBeaconType), 2u);
}

}  // namespace
