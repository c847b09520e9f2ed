// What the display task derives from the module type: colours, size limits,
// the line timing and EPLD registers, the module-table texts and the model
// text, the refresh rate; the module-temperature peripheral, the
// over-temperature count, the module report and the tolerant-mode switch.
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "database/files/file_config.h"
#include "display/core/diagnostics.h"
#include "display/core/module.h"
#include "display/task/display_peripherals.h"
#include "display/tests/display_fixture.h"

namespace {

constexpr uint32_t kLineControl = 0xF0500028;
constexpr uint32_t kModulesPerLine = 0xF0500029;
constexpr uint32_t kColour1 = 0xF0500051, kColour2 = 0xF0500054, kColour3 = 0xF0500057;

class IdentityTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    board::reset();
    g_display_peripherals = {};
  }
  void TearDown() override {
    g_display_peripherals = {};
    DisplayTest::TearDown();
    board::shutdown();
  }

  std::string NvText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = db_->GetString(o.offset, 4, db_->mib_nv, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  std::vector<uint8_t> NvBytes(db_object o) {
    const std::string s = NvText(o);
    return std::vector<uint8_t>(s.begin(), s.end());
  }
  void Size(uint32_t height, uint32_t width) {
    SetNv(nv::vmsSignHeightPixels, height);
    SetNv(nv::vmsSignWidthPixels, width);
  }
};

TEST_F(IdentityTest, ColourSchemeAndDefaultColoursByModuleType) {
  struct Case {
    uint32_t module, scheme_before;
    std::vector<uint8_t> foreground_before;
    uint32_t scheme;
    std::vector<uint8_t> background, foreground;
  } cases[] = {
      {97, 3, {9}, 4, {0, 0, 0}, {255, 180, 0}},  // full colour
      {22, 4, {1, 2, 0}, 3, {0}, {9}},            // monochrome
      {102, 4, {1, 2, 0}, 3, {0}, {9}},           // red-green
      // The scheme already matches: the colours stay as they are.
      {97, 4, {1, 2, 0}, 4, {0}, {1, 2, 0}},
      {22, 3, {1}, 3, {0}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    SetNv(nv::quorModuleID, c.module);
    SetNv(nv::dmsColorScheme, c.scheme_before);
    SetNvBytes(nv::defaultBackgroundRGB, {0});
    SetNvBytes(nv::defaultForegroundRGB, c.foreground_before);
    trace_capture cap;
    InThread([&] { display_->ReconfigureColours(); });
    EXPECT_EQ(cap.text(), "reconfigure the color settings\n");
    EXPECT_EQ(Nv(nv::dmsColorScheme), c.scheme);
    EXPECT_EQ(NvBytes(nv::defaultBackgroundRGB), c.background);
    EXPECT_EQ(NvBytes(nv::defaultForegroundRGB), c.foreground);
  }

  // A configuration restore that wrote the module type asks the same.
  ASSERT_NE(g_config_module_id_restored, nullptr);
  SetNv(nv::quorModuleID, 97);
  SetNv(nv::dmsColorScheme, 3);
  InThread([&] { g_config_module_id_restored(); });
  EXPECT_EQ(Nv(nv::dmsColorScheme), 4u);
}

TEST_F(IdentityTest, GeometryIsLimitedByTheModuleType) {
  struct Case {
    const char* name;
    uint16_t module, height, width;
    uint8_t module_height, module_width;
    uint32_t sign_type;
    uint32_t out_height, out_width, char_height, char_width;
  } cases[] = {
      {"raised to whole modules", 22, 9, 101, 9, 5, 6, 9, 105, 0, 0},
      {"three rows may double the line", 22, 27, 200, 9, 5, 6, 27, 200, 0, 0},
      {"at most twice the line", 22, 27, 400, 9, 5, 6, 27, 310, 0, 0},
      {"six rows keep to one line", 22, 54, 200, 9, 5, 6, 54, 155, 0, 0},
      {"at most nine rows", 21, 100, 20, 7, 5, 6, 63, 20, 0, 0},
      {"no height is one row", 21, 0, 0, 7, 5, 6, 7, 5, 0, 0},
      {"full colour pixel budget", 97, 144, 400, 16, 16, 6, 144, 352, 0, 0},
      {"short lines, larger sign", 118, 9, 700, 9, 15, 6, 9, 630, 0, 0},
      {"short lines, larger sign, five rows", 154, 35, 700, 7, 15, 6, 35, 315, 0, 0},
      {"line matrix", 21, 14, 50, 7, 5, 5, 14, 50, 7, 0},
      {"character matrix", 21, 14, 50, 7, 5, 4, 14, 50, 7, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetNv(nv::quorModuleID, 0);
    SetNv(nv::dmsSignType, c.sign_type);
    InThread([&] {
      display_->SetSignGeometry(c.module, c.height, c.width, c.module_height, c.module_width);
    });
    EXPECT_EQ(Nv(nv::quorModuleID), c.module);
    EXPECT_EQ(Nv(nv::vmsSignHeightPixels), c.out_height);
    EXPECT_EQ(Nv(nv::vmsSignWidthPixels), c.out_width);
    EXPECT_EQ(Nv(nv::vmsCharacterHeightPixels), c.char_height);
    EXPECT_EQ(Nv(nv::vmsCharacterWidthPixels), c.char_width);
  }
  // The new geometry reloads the display configuration.
  EXPECT_NE(TakeFlags(DB_FLAG_DISPLAY_CONFIG), 0u);
}

TEST_F(IdentityTest, GeometryOfOtherModuleRows) {
  static const module_type_row table[] = {
      {119, 9, 15, 1, 1, "SHORT", 0, nullptr, "NONE", 0, 0, {0, 0, 0}, 1, 0},
      {40, 16, 16, 1, 1, "MONO", 0, nullptr, "NONE", 0, 0, {0, 0, 0}, 1, MODULE_FLAG_LARGE_SIGN},
      {30, 16, 16, 15, 2, "RG", 0, nullptr, "NONE", 0, 0, {0, 0, 0}, 1, MODULE_FLAG_LARGE_SIGN},
  };
  g_module_type_table = table;
  g_module_type_count = 3;
  struct Case {
    uint16_t module, height, width;
    uint32_t out_width;
  } cases[] = {
      // Short lines without the larger-sign flag: ten modules a line,
      // twenty up to four module rows.
      {119, 9, 400, 300},
      {119, 45, 400, 150},
      // Pixel budgets: 99000 / 144 / 16 = 42 modules; 52000 / 144 / 16 = 22.
      {40, 144, 1008, 672},
      {40, 64, 1008, 1008},
      {30, 144, 800, 352},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.module << ": " << c.height << " x " << c.width);
    const module_type_row* row = find_module_type(c.module);
    InThread([&] { display_->SetSignGeometry(c.module, c.height, c.width, row->height, row->width); });
    EXPECT_EQ(Nv(nv::vmsSignHeightPixels), c.height);
    EXPECT_EQ(Nv(nv::vmsSignWidthPixels), c.out_width);
  }
}

TEST_F(IdentityTest, LineTimingByModuleTypeAndLayout) {
  struct Case {
    const char* name;
    uint32_t module, height, width, access, v_pitch, max_line;
    uint8_t face_value, register_value, two_words;
  } cases[] = {
      {"configured, at most 63", 22, 9, 105, 2, 66, 70, 63, 63, 0},
      {"configured", 22, 9, 105, 2, 66, 20, 20, 20, 0},
      {"older module class", 0, 14, 50, 2, 66, 0, 31, 31, 0},
      {"front access, 66, width of threes", 22, 9, 105, 8, 66, 0, 12, 12, 0},
      {"front access, 66, one over", 22, 9, 100, 8, 66, 0, 11, 11, 0},
      {"front access, 66, two over", 22, 9, 50, 8, 66, 0, 13, 13, 0},
      {"short lines, many modules and rows", 118, 45, 165, 2, 66, 0, 63, 63, 1},
      {"short lines, many modules, four rows", 118, 36, 165, 2, 66, 0, 63, 42, 1},
      {"short lines, ten modules", 118, 45, 150, 2, 66, 0, 30, 30, 0},
      {"larger sign", 102, 35, 165, 2, 66, 0, 63, 63, 1},
      {"larger sign, four rows", 102, 28, 165, 2, 66, 0, 31, 31, 0},
      {"plain", 22, 45, 500, 2, 66, 0, 31, 31, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetNv(nv::quorModuleID, c.module);
    Size(c.height, c.width);
    SetNv(nv::dmsSignAccess, c.access);
    SetNv(nv::vmsVerticalPitch, c.v_pitch);
    SetNv(nv::vmsHorizontalPitch, 66);
    SetNv(nv::quorCANMaxLineLength, c.max_line);
    // Bit 7 belongs to another driver and is kept.
    reg_write8(kLineControl, c.two_words ? 0x80 : 0xC0);
    reg_write8(kModulesPerLine, 0);
    disp::face_description d;
    InThread([&] { display_->FillFaceDescription(&d); });
    EXPECT_EQ(d.modules_per_line, c.face_value);
    EXPECT_EQ(d.two_response_words, c.two_words);
    EXPECT_EQ(reg_read8(kModulesPerLine), c.register_value);
    EXPECT_EQ(reg_read8(kLineControl), c.two_words ? 0xC0 : 0x80);
    EXPECT_EQ(d.vertical_pitch, c.v_pitch);
    EXPECT_EQ(d.horizontal_pitch, 66);
  }
}

TEST_F(IdentityTest, FaceDescriptionFromTheDatabase) {
  SetNv(nv::quorModuleID, 22);
  Size(20, 101);
  SetNv(nv::quorLineLength(1), 5);
  disp::face_description d;
  InThread([&] { display_->FillFaceDescription(&d); });
  EXPECT_EQ(d.height, 27);
  EXPECT_EQ(d.width, 105);
  EXPECT_EQ(d.module_rows, 3);
  EXPECT_EQ(d.module_type, 22);
  EXPECT_EQ(d.module_class, 4);
  EXPECT_EQ(d.module_height, 9);
  EXPECT_EQ(d.module_width, 5);
  EXPECT_EQ(d.depth, 1);
  EXPECT_EQ(d.modules_per_row[0], 21);
  EXPECT_EQ(d.modules_per_row[1], 5);
  EXPECT_EQ(d.modules_per_row[2], 21);
  EXPECT_EQ(d.modules_per_row[3], 0);
  EXPECT_EQ(d.total_modules, 47);
}

TEST_F(IdentityTest, FrontAccessWidePitch44SignsGetTheFasterLines) {
  SetNv(nv::quorModuleID, 22);
  SetNv(nv::dmsSignAccess, 8);
  SetNv(nv::vmsVerticalPitch, 44);
  SetNv(nv::quorCANBaudRate, 1);
  Size(9, 110);
  disp::face_description d;
  InThread([&] { display_->FillFaceDescription(&d); });
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 3u);
  // Not wide enough, or a rate chosen already: left alone.
  SetNv(nv::quorCANBaudRate, 1);
  Size(9, 105);
  InThread([&] { display_->FillFaceDescription(&d); });
  EXPECT_EQ(Nv(nv::quorCANBaudRate), 1u);
}

TEST_F(IdentityTest, ModelText) {
  struct Case {
    uint32_t module, access, sign_type, height, width, char_height, char_width, pitch;
    const char* model;
  } cases[] = {
      {22, 2, 6, 27, 105, 0, 0, 66, "KT-26X0-27x105-66-A"},
      {97, 8, 6, 48, 96, 0, 0, 20, "KM-1820-48x96-20-RGB"},
      {102, 4, 5, 21, 100, 7, 0, 50, "KT-27X0-3-7x100-50-RG"},
      {21, 4, 4, 14, 90, 7, 5, 66, "KT-27X0-2-18-66-A"},
      {5, 2, 4, 14, 90, 7, 5, 50, "KT-1400-2-18-50-A"},
      {10, 2, 6, 16, 80, 0, 0, 50, "KT-1400-16x80-50-RA"},
      {18, 2, 6, 16, 80, 0, 0, 50, "KT-1400-16x80-50-RGB"},
      {110, 2, 6, 30, 80, 0, 0, 44, "KP-6100-30x80-12-A"},
      {121, 2, 5, 30, 80, 10, 0, 66, "KP-6000-3-10x80-18-A"},
      {30, 2, 6, 32, 160, 0, 0, 33, "KL-5XXX-32x160-33-A"},
      {60, 2, 6, 32, 160, 0, 0, 33, "KL-5XXX-32x160-33-RG"},
      {80, 2, 6, 32, 160, 0, 0, 33, "KL-5XXX-32x160-33-RGB"},
      {116, 2, 6, 32, 160, 0, 0, 33, "KS-8XXX-X-18-W"},
      {0, 2, 6, 7, 30, 0, 0, 66, "KT-1400-7x30-66- "},
      {200, 2, 6, 7, 30, 0, 0, 66, "KT-1400-7x30-66- "},
      // No character width: no character count.
      {21, 2, 4, 14, 90, 7, 0, 66, "KT-26X0-2-0-66-A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    SetNv(nv::quorModuleID, c.module);
    SetNv(nv::dmsSignAccess, c.access);
    SetNv(nv::dmsSignType, c.sign_type);
    Size(c.height, c.width);
    SetNv(nv::vmsCharacterHeightPixels, c.char_height);
    SetNv(nv::vmsCharacterWidthPixels, c.char_width);
    SetNv(nv::vmsHorizontalPitch, c.pitch);
    InThread([&] { display_->BuildModelString(); });
    EXPECT_EQ(VolBytes(vol::moduleModel(6)), c.model);
  }

  // A character sign without a character height has 7-pixel characters.
  SetNv(nv::quorModuleID, 21);
  SetNv(nv::dmsSignType, 4);
  SetNv(nv::vmsCharacterHeightPixels, 0);
  SetNv(nv::vmsCharacterWidthPixels, 5);
  Size(14, 90);
  InThread([&] { display_->BuildModelString(); });
  EXPECT_EQ(VolBytes(vol::moduleModel(6)), "KT-26X0-2-18-66-A");
  EXPECT_EQ(Nv(nv::vmsCharacterHeightPixels), 7u);

  // Serial numbers of the controller and the sign.
  EXPECT_EQ(VolBytes(vol::moduleVersion(1)), "SN: ----");
  EXPECT_EQ(VolBytes(vol::moduleVersion(6)), "SN: ----");
  SetNv(nv::quorControllerSerialNum, 120345);
  SetNv(nv::quorSignSerialNum, 7);
  InThread([&] { display_->BuildModelString(); });
  EXPECT_EQ(VolBytes(vol::moduleVersion(1)), "SN: 120345");
  EXPECT_EQ(VolBytes(vol::moduleVersion(6)), "SN: 7");
}

TEST_F(IdentityTest, DriverInfoOfTheModuleType) {
  SetNv(nv::quorModuleID, 22);
  SetNv(nv::fdotMaxNumPixelFailure, 0xFFFFFFFF);
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  Register(9, 15);
  // Module-table row 3: the display modules.
  EXPECT_EQ(VolBytes(vol::moduleModel(2)), "9x5 MONO GEN4 - EPLD");
  EXPECT_EQ(VolBytes(vol::moduleMake(2)), "Quorvantis, Inc.");
  EXPECT_EQ(VolBytes(vol::moduleVersion(2)), "21");
  // No access set: the family's generic text.
  EXPECT_EQ(VolBytes(vol::moduleModel(6)), "KT-2XX0-9x15-0-A");
  // No more failed pixels than a module has.
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 44u);
  // EPLD diagnostics type: register 3 follows the option, register 1 the
  // bits per colour with the row's high nibble.
  EXPECT_EQ(reg_read8(kColour3), 0x80);
  EXPECT_EQ(reg_read8(kColour1), 0x81);
  EXPECT_EQ(display_->BitsPerColour(), 1);
  EXPECT_EQ(Nv(nv::quorBitsPerColour), 1u);

  SetNv(nv::quorEnableRealTimePixelDiagnostics, 0);
  SetNv(nv::quorBitsPerColour, 3);
  SetNv(nv::fdotMaxNumPixelFailure, 30);
  InThread([&] { display_->UpdateDriverInfo(); });
  EXPECT_EQ(reg_read8(kColour3), 0x00);
  EXPECT_EQ(reg_read8(kColour1), 0x83);
  EXPECT_EQ(display_->BitsPerColour(), 3);
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 30u);

  // Any other type: the row's three registers, one bit per colour.
  static const module_type_row table[] = {
      {50, 8, 8, 1, 1, "OTHER", 0, nullptr, "NONE", 0, 0, {0x11, 0x22, 0x3F}, 1, 0}};
  g_module_type_table = table;
  g_module_type_count = 1;
  SetNv(nv::quorModuleID, 50);
  SetNv(nv::fdotMaxNumPixelFailure, 64);
  InThread([&] { display_->UpdateDriverInfo(); });
  EXPECT_EQ(reg_read8(kColour1), 0x11);
  EXPECT_EQ(reg_read8(kColour2), 0x22);
  EXPECT_EQ(reg_read8(kColour3), 0x3F);
  EXPECT_EQ(Nv(nv::quorBitsPerColour), 1u);
  EXPECT_EQ(Nv(nv::fdotMaxNumPixelFailure), 63u);
  EXPECT_EQ(VolBytes(vol::moduleModel(2)), "OTHER - EPLD");
}

TEST_F(IdentityTest, FrameRateZeroMeansTwoFramesASecond) {
  Register(7, 15);
  RunToStep(1);
  SetNv(nv::quorFrameRate, 0);
  InThread([&] { display_->UpdateDriverInfo(); });
  EXPECT_EQ(display_->FaceDescription(0).rate, 2);
  EXPECT_EQ(g_render.m_byFrameRate, 2);
  EXPECT_EQ(Nv(nv::quorFrameRate), 2u);
  EXPECT_EQ(display_->LoopsPerSecond(), 2);
  // The task steps every 50 ticks (after one first period of its own).
  rtos::advance(200);
  const uint32_t before = display_->LoopCount();
  rtos::advance(200);
  EXPECT_EQ(display_->LoopCount() - before, 4u);
}

// A face's module diagnostics with records made up by the test.
class FakeDiagnostics : public disp::diagnostics {
 public:
  bool FirstModule(uint32_t& index, disp::module** out) override {
    index = 0;
    if (modules.empty()) return false;
    *out = &modules[0];
    return true;
  }
  bool NextModule(uint32_t& index, disp::module** out) override {
    if (++index >= modules.size()) return false;
    *out = &modules[index];
    return true;
  }
  bool GetModuleValue(uint32_t index, int8_t& out) override {
    if (index >= temperatures.size() || temperatures[index] == kSilent) return false;
    out = temperatures[index];
    return true;
  }
  static constexpr int8_t kSilent = -128;
  std::vector<disp::module> modules;
  std::vector<int8_t> temperatures;
};

TEST_F(IdentityTest, OverTemperatureNeedsATenthOfTheModulesAndAtLeastTwo) {
  FakeDiagnostics diag;
  Register(7, 15);
  disp::face_description& d = display_->FaceDescription(0);
  disp::diagnostics* const own = d.diag;
  d.diag = &diag;
  struct Case {
    uint32_t modules, hot, silent_hot;
    uint8_t module_class;
    bool over;
  } cases[] = {
      {15, 1, 0, 4, false}, {15, 2, 0, 4, true},  {40, 3, 0, 4, false}, {40, 4, 0, 4, true},
      {40, 3, 5, 4, false},  // modules that do not answer do not count
      {40, 40, 0, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.modules << " modules, " << c.hot << " hot");
    d.total_modules = static_cast<uint16_t>(c.modules);
    d.module_class = c.module_class;
    diag.temperatures.assign(c.modules, 60);
    for (uint32_t i = 0; i < c.hot; ++i) diag.temperatures[i] = 81;
    for (uint32_t i = 0; i < c.silent_hot; ++i) diag.temperatures[c.modules - 1 - i] = FakeDiagnostics::kSilent;
    // At the limit is not above it.
    diag.temperatures.back() = c.silent_hot ? FakeDiagnostics::kSilent : 80;
    bool over = false;
    InThread([&] { over = display_->ModulesOverTemperature(80); });
    EXPECT_EQ(over, c.over);
  }
  d.diag = own;
}

TEST_F(IdentityTest, TemperaturePeripheralFollowsTheModuleClass) {
  static std::vector<std::string> calls;
  static bool live = false;
  calls.clear();
  live = false;
  g_display_peripherals.is_live = [](uint32_t type) { return type == 16 && live; };
  g_display_peripherals.create = [](uint32_t type, const char* text) {
    calls.push_back("create " + std::to_string(type) + " " + text);
    return 1;
  };
  g_display_peripherals.remove = [](uint32_t type) {
    calls.push_back("remove " + std::to_string(type));
    return true;
  };
  int result = 0;
  SetNv(nv::quorModuleID, 22);
  InThread([&] { result = display_->UpdateTemperatureSensor(); });
  EXPECT_EQ(result, 1);
  live = true;
  InThread([&] { display_->UpdateTemperatureSensor(); });
  SetNv(nv::quorModuleID, 0);
  InThread([&] { display_->UpdateTemperatureSensor(); });
  EXPECT_EQ(calls, (std::vector<std::string>{"create 16 42109,1", "remove 16"}));

  // Without a peripheral task nothing is made.
  g_display_peripherals = {};
  SetNv(nv::quorModuleID, 22);
  InThread([&] { result = display_->UpdateTemperatureSensor(); });
  EXPECT_EQ(result, 0);
}

TEST_F(IdentityTest, ModuleReportPrintsEveryRecord) {
  FakeDiagnostics diag;
  Register(14, 10);
  // The geometry written back would make the first step register anew.
  TakeFlags();
  disp::diagnostics* const own = display_->FaceDescription(0).diag;
  display_->FaceDescription(0).diag = &diag;
  diag.modules.resize(2);
  const disp::pixel a0(0, 0), a1(4, 6), b0(5, 7), b1(9, 13);
  diag.modules[0].Open(&a0, &a1, nullptr, nullptr);
  diag.modules[1].Open(&b0, &b1, nullptr, nullptr);
  disp::module& m = diag.modules[1];
  m.type = 22;
  m.revision = 3;
  m.status_code = 1;
  m.temperature = -5;
  m.field_a = 10;
  m.field_e = 11;
  m.field_f = 12;
  m.field_b = 20;
  m.field_c = 21;
  m.field_d = 22;
  m.field_g = 23;
  const uint16_t values[5] = {241, 238, 35, 36, 101};
  for (int i = 0; i < 5; ++i) m.value[i] = values[i];
  m.quick_test = 1;

  trace_capture cap;
  letter_s report(MSG_MODULE_INFO);
  report.payload[0] = 0;
  InThread([&] { g_post_office.Deliver(&report); });
  // Ten ticks a module.
  RunToStep(5);
  EXPECT_TRUE(cap.contains("mod:A101 type:0 rev:0 ps:1 Temp:0 mA:0,0,0 Vmn,mx,a,c:0,0,0,0\n"
                           "\tVps1,2:0.0,0.0 Vled1->3:0.0,0.0,0.0 legacy\n\n"))
      << cap.text();
  EXPECT_TRUE(cap.contains("mod:A202 type:22 rev:3 ps:2 Temp:-5 mA:10,11,12 Vmn,mx,a,c:20,21,22,23\n"
                           "\tVps1,2:24.1,23.8 Vled1->3:3.5,3.6,10.1 quick\n\n"))
      << cap.text();
  display_->FaceDescription(0).diag = own;
}

TEST_F(IdentityTest, ModuleGridPosition) {
  disp::module m;
  uint8_t column = 9, row = 9;
  EXPECT_FALSE(m.GetGridPosition(column, row));
  const disp::pixel top_left(10, 14), bottom_right(14, 20);
  ASSERT_TRUE(m.Open(&top_left, &bottom_right, nullptr, nullptr));
  EXPECT_FALSE(m.Open(&top_left, &bottom_right, nullptr, nullptr));
  ASSERT_TRUE(m.GetGridPosition(column, row));
  EXPECT_EQ(column, 2);
  EXPECT_EQ(row, 2);
  EXPECT_TRUE(m.Close());
  EXPECT_FALSE(m.GetGridPosition(column, row));
}

TEST_F(IdentityTest, TolerantModeOpensTheUserCommunity) {
  subscriber watchdog(&g_post_office, nullptr, 1, nullptr);
  static const uint32_t kIds[] = {MSG_WDT_DISPLAY_START, MSG_WDT_DISPLAY_STOP, 0};
  watchdog.Subscribe(kIds);
  auto take = [&] {
    std::vector<uint32_t> ids;
    letter_s* l = nullptr;
    while (watchdog.Receive(&l)) {
      ids.push_back(l->Id());
      watchdog.Release(l);
    }
    return ids;
  };
  SetNvBytes(nv::communityNameUser(0), {'p', 'u', 'b'});
  SetNv(nv::communityNameAccessMask(0), 5);

  // The bit as it was at power-up: nothing.
  SetNv(nv::quorSpecialFeatureSet, 0x08);
  InThread([&] { display_->ApplyTolerantModeChange(); });
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(NvText(nv::communityNameUser(0)), "pub");

  SetNv(nv::quorSpecialFeatureSet, 0x28);
  InThread([&] { display_->ApplyTolerantModeChange(); });
  EXPECT_EQ(take(), (std::vector<uint32_t>{MSG_WDT_DISPLAY_STOP, MSG_WDT_DISPLAY_START}));
  EXPECT_EQ(NvText(nv::communityNameUser(0)), "fernly");
  EXPECT_EQ(Nv(nv::communityNameAccessMask(0)), 0xFFFFFFFFu);

  // Unchanged bit: nothing, even when the community was changed since.
  SetNv(nv::communityNameAccessMask(0), 7);
  InThread([&] { display_->ApplyTolerantModeChange(); });
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(Nv(nv::communityNameAccessMask(0)), 7u);

  SetNv(nv::quorSpecialFeatureSet, 0x08);
  InThread([&] { display_->ApplyTolerantModeChange(); });
  EXPECT_EQ(take(), (std::vector<uint32_t>{MSG_WDT_DISPLAY_STOP, MSG_WDT_DISPLAY_START}));
  EXPECT_EQ(NvText(nv::communityNameUser(0)), "fernly");
  EXPECT_EQ(Nv(nv::communityNameAccessMask(0)), 0u);
}

}  // namespace
