// Test patterns on the sign, in the whole controller started in-process on
// the manual clock: the display mode is written as the front panel writes
// it, the display task draws the pattern, and the picture of the sign in
// the state folder shows it; mode 1 brings the running message back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/driver/q5_display_driver.h"
#include "display/render/render.h"
#include "tests/controller_fixture.h"

namespace {

using Rows = std::vector<std::string>;

class TestPatternPictureTest : public picture_controller_test {
 protected:
  void SetUp() override { BootWithPicture("test_pattern_e2e"); }

  // The mode as the front panel's test-pattern page writes it.
  void Mode(uint32_t mode) {
    InThread([&] { Set(Db().mib_nv, nv::quorDisplayMode, mode, DB_NOTIFY | DB_NO_VALIDATE); });
    DisplaySteps(4);
  }

  trace_capture trace_;
};

TEST_F(TestPatternPictureTest, PictureShowsEachPatternInTurn) {
  FirstDisplayStep();
  InThread([&] { ConfigureSmallSign(); });
  DisplaySteps(2);
  ASSERT_EQ(g_pDisplay->SignDriver(), &g_q5_display_driver);

  const std::string evenColumns = "#.#.#.#.#.#.#.#.#.#.#.#.#.#.#.";
  const std::string oddColumns = ".#.#.#.#.#.#.#.#.#.#.#.#.#.#.#";
  const std::string lit(30, '#'), dark(30, '.');

  Mode(21);
  EXPECT_EQ(Picture(), Rows(7, evenColumns));
  EXPECT_EQ(g_pDisplay->m_dwDisplayState, CDisplay::STATE_TEST_PATTERN);

  Mode(18);
  EXPECT_EQ(Picture(), (Rows{dark, lit, dark, lit, dark, lit, dark}));

  Mode(23);
  EXPECT_EQ(Picture(), (Rows{evenColumns, oddColumns, evenColumns, oddColumns, evenColumns, oddColumns, evenColumns}));

  // Mode 1 ends the patterns: the (blank) running message again.
  Mode(1);
  EXPECT_EQ(Picture(), Rows(7, dark));
  EXPECT_EQ(g_pDisplay->m_byPatternActive, 0);
}

}  // namespace
