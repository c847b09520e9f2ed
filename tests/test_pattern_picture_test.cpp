// Test patterns on the sign, in the whole controller started in-process on
// the manual clock: the display mode is written as the front panel writes
// it, the display task draws the pattern, and the picture of the sign in
// the state folder shows it; mode 1 brings the running message back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "display/driver/q5_display_driver.h"
#include "display/driver/sign_picture.h"
#include "display/render/render.h"
#include "display/tests/png_read.h"
#include "frame/startup/host.h"
#include "tests/controller_fixture.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

class TestPatternPictureTest : public controller_test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("test_pattern_e2e_" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    Boot([&] { host_show_sign((folder_ / HOST_SIGN_PICTURE).string()); });
  }
  void TearDown() override {
    controller_test::TearDown();
    fs::remove_all(folder_);
  }

  Rows Picture() {
    png_rgb_picture p;
    if (!png_read_file((folder_ / HOST_SIGN_PICTURE).string(), &p)) return {"no picture"};
    Rows rows;
    for (uint32_t y = 0; y < p.height; y += CSignPicture::DOT) {
      std::string r;
      for (uint32_t x = 0; x < p.width; x += CSignPicture::DOT) {
        const uint8_t* c = p.at(x, y);
        r += c[0] == SIGN_DARK.r && c[1] == SIGN_DARK.g && c[2] == SIGN_DARK.b ? '.' : '#';
      }
      rows.push_back(r);
    }
    return rows;
  }
  // The mode as the front panel's test-pattern page writes it.
  void Mode(uint32_t mode) {
    InThread([&] { Set(Db().mib_nv, nv::quorDisplayMode, mode, DB_NOTIFY | DB_NO_VALIDATE); });
    DisplaySteps(4);
  }

  fs::path folder_;
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
