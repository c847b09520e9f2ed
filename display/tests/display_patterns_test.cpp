// Test patterns drawn by the display task, one display step per call as
// the frame step makes them: what each pattern shows and for how long, the
// brightness forced and given back, the auto test's order and the patterns
// the modules show themselves.
#include <string>
#include <vector>

#include "display/driver/q5_display_driver.h"
#include "display/tests/display_fixture.h"

namespace {

class PatternsTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    saved_gamma_ = CQ5DisplayDriver::GammaSelect();
    SetVol(vol::dmsIllumNumBrightLevels, 248);
    SetNv(nv::quorIllumBrightnessScaler, 100);
  }
  void TearDown() override {
    CQ5DisplayDriver::SetGammaSelect(saved_gamma_);
    DisplayTest::TearDown();
  }
  // A sign of the module type, registered with the surface depth of its
  // colour code.
  void Sign(uint32_t moduleType, uint16_t height, uint16_t width) {
    SetNv(nv::quorModuleID, moduleType);
    const module_type_row* row = find_module_type(moduleType);
    Register(height, width, row->colour_code);
  }
  CSurface& Surface() { return g_render.Surface(); }
  // One display step of the pattern, as the frame step draws it.
  void Step(uint32_t mode) {
    InThread([&] {
      Surface().Fill(0);
      display_->DrawTestPattern(mode);
    });
  }
  Picture Rows() {
    Picture rows;
    for (uint32_t y = 0; y < Surface().Height(); ++y) {
      std::string r;
      for (uint32_t x = 0; x < Surface().Width(); ++x) r += Surface().GetPixel(x, y) ? '#' : '.';
      rows.push_back(r);
    }
    return rows;
  }
  // Steps of the mode as runs of (what a step shows, steps).
  template <typename T, typename Show>
  std::vector<std::pair<T, uint32_t>> Runs(uint32_t mode, uint32_t steps, Show show) {
    std::vector<std::pair<T, uint32_t>> runs;
    for (uint32_t i = 0; i < steps; ++i) {
      Step(mode);
      T v = show();
      if (!runs.empty() && runs.back().first == v)
        ++runs.back().second;
      else
        runs.push_back({v, 1});
    }
    return runs;
  }

  uint8_t saved_gamma_ = 0;
};

TEST_F(PatternsTest, MovingColumnsStepOncePerColourCycle) {
  // One colour, 20 columns, 10 frames a second.
  Sign(21, 7, 20);
  auto runs = Runs<std::string>(3, 90, [&] { return Rows()[0]; });
  const std::vector<std::pair<std::string, uint32_t>> mono = {
      {"#.......#.......#...", 10}, {".#.......#.......#..", 10}, {"..#.......#.......#.", 10},
      {"...#.......#.......#", 10}, {"....#.......#.......", 10}, {".....#.......#......", 10},
      {"......#.......#.....", 10}, {".......#.......#....", 10}, {"#.......#.......#...", 10}};
  EXPECT_EQ(runs, mono);
  EXPECT_EQ(display_->m_byPatternActive, 1);
  EXPECT_EQ(g_render.m_dwPatternMode, 1u);
}

TEST_F(PatternsTest, MovingColumnsShowEachColourOfAFullColourSign) {
  Sign(97, 16, 16);
  ASSERT_EQ(display_->PatternColour(4), 32767u);
  auto runs = Runs<std::pair<uint32_t, uint32_t>>(3, 40, [&] {
    return std::make_pair(Surface().GetPixel(0, 0), Surface().GetPixel(1, 0));
  });
  const std::vector<std::pair<std::pair<uint32_t, uint32_t>, uint32_t>> expected = {
      {{31, 0}, 10}, {{992, 0}, 10}, {{31744, 0}, 10}, {{0, 31}, 10}};
  EXPECT_EQ(runs, expected);
}

TEST_F(PatternsTest, AllOnOffCyclesTheModuleColoursThenOff) {
  Sign(102, 7, 15);
  ASSERT_EQ(display_->PatternColour(4), 1023u);
  auto runs = Runs<uint32_t>(2, 120, [&] { return Surface().GetPixel(3, 3); });
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{31, 30}, {992, 30}, {0, 30}, {31, 30}};
  EXPECT_EQ(runs, expected);
}

TEST_F(PatternsTest, ControllerDrawnPatterns) {
  Sign(102, 8 * 7, 15);  // 56 rows, depth 15
  display_->m_byCustomRed = 255;
  display_->m_byCustomGreen = 128;
  display_->m_byCustomBlue = 0;
  struct Case {
    uint32_t mode;
    std::vector<std::string> top;  // rows 0..2, first 8 columns
  } cases[] = {
      {18, {"........", "########", "........"}},
      {19, {"########", "........", "########"}},
      {20, {".#.#.#.#", ".#.#.#.#", ".#.#.#.#"}},
      {21, {"#.#.#.#.", "#.#.#.#.", "#.#.#.#."}},
      {22, {".#.#.#.#", "#.#.#.#.", ".#.#.#.#"}},
      {23, {"#.#.#.#.", ".#.#.#.#", "#.#.#.#."}},
      {11, {"........", ".####..#", ".#####.#"}},
      {0, {"........", "........", "........"}},
      {29, {"........", "........", "........"}},
      {37, {"........", "........", "........"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Step(c.mode);
    const Picture rows = Rows();
    std::vector<std::string> top;
    for (uint32_t y = 0; y < 3; ++y) top.push_back(rows[y].substr(0, 8));
    EXPECT_EQ(top, c.top);
  }
  // The logo's tile repeats every 6 columns and 8 rows.
  Step(11);
  EXPECT_NE(Surface().GetPixel(6 + 2, 8 + 3), 0u);
  EXPECT_EQ(Surface().GetPixel(6 + 3, 8 + 3), 0u);
  // The colour chosen on the front panel.
  Step(32);
  EXPECT_EQ(Surface().GetPixel(5, 5), 543u);
}

TEST_F(PatternsTest, FullBrightnessIsSavedOnceAndGivenBack) {
  Sign(21, 7, 15);
  SetNv(nv::dmsIllumControl, 4);
  SetNv(nv::dmsIllumManLevel, 7);
  CQ5DisplayDriver::SetGammaSelect(3);
  driver_.Clear();
  Step(15);
  EXPECT_EQ(Nv(nv::dmsIllumControl), 5u);
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 248u);
  EXPECT_EQ(CQ5DisplayDriver::GammaSelect(), 0);
  ASSERT_FALSE(driver_.brightness_calls.empty());
  EXPECT_EQ(driver_.brightness_calls.front(), 248);
  // Another full-brightness mode keeps what was saved.
  Step(16);
  EXPECT_EQ(Nv(nv::dmsIllumControl), 5u);
  EXPECT_EQ(CQ5DisplayDriver::GammaSelect(), 0);
  // 10 %.
  Step(13);
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 24u);
  // Out of the group: everything as it was.
  Step(3);
  EXPECT_EQ(Nv(nv::dmsIllumControl), 4u);
  EXPECT_EQ(Nv(nv::dmsIllumManLevel), 7u);
  EXPECT_EQ(CQ5DisplayDriver::GammaSelect(), 3);
  // And restored once only: a later group mode saves afresh.
  SetNv(nv::dmsIllumControl, 6);
  Step(8);
  Step(1);
  EXPECT_EQ(Nv(nv::dmsIllumControl), 6u);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_START_MESSAGE);
}

TEST_F(PatternsTest, DimmingLevelsRiseEveryTwoPatternSteps) {
  Sign(21, 7, 15);
  driver_.Clear();
  for (uint32_t i = 0; i < 30 * 25; ++i) Step(9);
  std::vector<std::pair<int32_t, uint32_t>> runs;
  for (int32_t level : driver_.brightness_calls) {
    if (!runs.empty() && runs.back().first == level)
      ++runs.back().second;
    else
      runs.push_back({level, 1});
  }
  std::vector<std::pair<int32_t, uint32_t>> expected;
  for (int32_t l = 0; l <= 216; l += 24) expected.push_back({l, 60});
  expected.push_back({240, 30});
  expected.push_back({0, 60});
  expected.push_back({24, 60});
  EXPECT_EQ(runs, expected);
}

TEST_F(PatternsTest, LineNumbersOnACharacterSign) {
  SetNv(nv::dmsSignType, 4);
  SetNv(nv::vmsCharacterHeightPixels, 7);
  Glyph(0, '1', {".#.", "##.", ".#.", ".#.", "###"});
  Glyph(0, '2', {"##.", "..#", ".#.", "#..", "###"});
  Glyph(0, '3', {"##.", "..#", ".#.", "..#", "##."});
  Sign(21, 21, 15);
  Step(6);
  const Picture rows = Rows();
  ASSERT_EQ(rows.size(), 21u);
  EXPECT_EQ(rows[0], ".#..#..#..#..#.");
  EXPECT_EQ(rows[4], "###############");
  EXPECT_EQ(rows[5], "...............");
  EXPECT_EQ(rows[7], "##.##.##.##.##.");
  EXPECT_EQ(rows[8], "..#..#..#..#..#");
  EXPECT_EQ(rows[14 + 3], "..#..#..#..#..#");
  EXPECT_EQ(rows[14 + 4], "##.##.##.##.##.");
}

TEST_F(PatternsTest, AlphabetStartsEachLineWithA) {
  // Font 0 has 3 x 5 glyphs A, B, C and a line spacing of 1.
  Sign(21, 14, 15);
  Step(5);
  const Picture rows = Rows();
  // "ABC" then glyphs the font lacks; every 6-row line starts again.
  EXPECT_EQ(rows[0].substr(0, 11), ".#..##...##");
  EXPECT_EQ(rows[6].substr(0, 11), ".#..##...##");
}

TEST_F(PatternsTest, AutoTestRunsItsPatternsInOrder) {
  Sign(21, 7, 15);
  std::vector<uint32_t> order;
  for (uint32_t i = 0; i < 400; ++i) {
    Step(10);
    const uint32_t s = display_->m_Pattern.autoStep;
    if (order.empty() || order.back() != s) order.push_back(s);
  }
  ASSERT_GE(order.size(), 9u);
  order.resize(9);
  EXPECT_EQ(order, (std::vector<uint32_t>{7, 8, 5, 3, 4, 6, 24, 7, 8}));
  // Leaving while the modules show their revision ends it; the next auto
  // test resumes with pattern 7.
  while (display_->m_Pattern.autoStep != 24) Step(10);
  EXPECT_EQ(display_->m_byModuleTestActive, 1);
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  Step(1);
  EXPECT_EQ(display_->m_byModuleTestActive, 0);
  EXPECT_EQ(driver_.diagnostics_calls.back(), 1);
  EXPECT_EQ(display_->m_Pattern.autoStep, 7u);
}

TEST_F(PatternsTest, ModuleDrivenPatternsHandOverToTheModules) {
  Sign(21, 7, 15);
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  driver_.Clear();
  Step(24);
  EXPECT_EQ(display_->m_byModuleTestActive, 1);
  EXPECT_EQ(driver_.diagnostics_calls, (std::vector<uint8_t>{0}));
  EXPECT_EQ(Rows()[0], "...............") << "the controller draws nothing";
  // The pixel-test results: the test is ordered once.
  for (uint32_t i = 0; i < 12; ++i) Step(26);
  EXPECT_EQ(driver_.pixel_tests, (std::vector<uint32_t>{0}));
  // 26 to 28 leaves 26 first, then orders the test of 28 once.
  Step(28);
  Step(28);
  EXPECT_EQ(driver_.pixel_tests.size(), 2u);
  Step(1);
  EXPECT_EQ(display_->m_byModuleTestActive, 0);
  EXPECT_EQ(driver_.diagnostics_calls.back(), 1);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_START_MESSAGE);
  EXPECT_EQ(display_->m_byBeaconRequest, 0);
}

}  // namespace
