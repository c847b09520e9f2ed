// Display drivers: the interface's own behaviour, the module-type table,
// the frame-keeping driver and its PNG picture, and the front panel's
// mirror bitmap.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "display/driver/display_driver.h"
#include "display/driver/frame_keeping_driver.h"
#include "display/driver/lcd_display_driver.h"
#include "display/driver/module_type.h"
#include "display/driver/png_writer.h"
#include "display/multi/multi_hooks.h"
#include "display/surface/surface.h"
#include "display/tests/png_read.h"

namespace {

struct bare_driver : display_driver {
  void SetBrightness(int32_t) override {}
  uint8_t GetBrightness() override { return 0; }
  int32_t WriteFrame(CSurface*) override { return 0; }
};

TEST(DisplayDriver, BaseBehaviour) {
  bare_driver d;
  EXPECT_EQ(d.GetHeight(), 0);
  EXPECT_EQ(d.GetWidth(), 0);
  EXPECT_STREQ(d.GetName(), "DEFAULT");
  EXPECT_EQ(d.GetMaxFrameRate(), 120u);
  EXPECT_EQ(d.m_byActive, 1);
  EXPECT_EQ(d.Self(), &d);
  // Stored unchecked; 0 tells the caller nothing was set up.
  EXPECT_EQ(d.Configure(-3, 70000, 106), 0);
  EXPECT_EQ(d.GetHeight(), -3);
  EXPECT_EQ(d.GetWidth(), 70000);
  EXPECT_EQ(d.m_nModuleType, 106);
  d.SetDiagnosticsEnabled(1);
  EXPECT_EQ(d.m_byDiagnosticsEnabled, 1);
}

class ModuleTypeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    g_module_type_table = nullptr;
    g_module_type_count = 0;
    g_multi_hooks = {};
  }
};

TEST_F(ModuleTypeTest, LookupTakesTheFirstRowOrTheDefaultRecord) {
  select_module_type_table(5);
  struct Case {
    uint32_t type;
    uint16_t command;
    uint8_t height, width, colour_code, colour_type;
    const char* name;
  } cases[] = {
      {22, 50, 9, 5, 1, 1, "9x5 MONO GEN4"},  // never row 2
      {21, 51, 7, 5, 1, 1, "7x5 MONO GEN4"},
      {102, 66, 7, 5, 15, 2, "7x5 RED-GREEN GEN4"},
      {97, 80, 16, 16, 15, 3, "16x16 FULL COLOR GEN4"},
      {154, 121, 7, 15, 1, 1, "7x15 MONO GEN4"},
      {0, 0, 7, 5, 1, 1, "UNKNOWN"},
      {99, 0, 7, 5, 1, 1, "UNKNOWN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const module_type_row* row = find_module_type(c.type);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->command, c.command);
    EXPECT_EQ(row->height, c.height);
    EXPECT_EQ(row->width, c.width);
    EXPECT_EQ(row->colour_code, c.colour_code);
    EXPECT_EQ(row->colour_type, c.colour_type);
    EXPECT_STREQ(row->name, c.name);
  }
  EXPECT_EQ(find_module_type(nullptr, 13, 22), &g_default_module_type);
  EXPECT_STREQ(g_default_module_type.part_number, "UNKNOWN");
  EXPECT_EQ(g_default_module_type.image_size, 0u);
}

TEST_F(ModuleTypeTest, OnlyTheNamedBoardsHaveTheBuiltInTable) {
  for (uint8_t board : {0, 1, 4, 7, 15, 5, 6, 254}) {
    SCOPED_TRACE(board);
    select_module_type_table(board);
    const bool built_in = board == 5 || board == 6 || board == 254;
    EXPECT_EQ(g_module_type_count, built_in ? 13u : 0u);
    EXPECT_EQ(find_module_type(97)->colour_type, built_in ? 3 : 1);
  }
  // The MULTI tags see the same table.
  select_module_type_table(6);
  EXPECT_EQ(multi_module(97).colour_type, 3);
  EXPECT_EQ(multi_module(118).width, 15);
  EXPECT_EQ(multi_module(3).width, 5);
}

TEST_F(ModuleTypeTest, RowsNameTheImagesTheControllerCarries) {
  const std::string here = __FILE__;
  const std::string root = here.substr(0, here.rfind("display/tests/"));
  for (uint32_t i = 0; i < BUILTIN_MODULE_TYPE_COUNT; ++i) {
    const module_type_row& row = g_builtin_module_types[i];
    SCOPED_TRACE(row.part_number);
    std::ifstream image(root + "data/epld/" + row.part_number + ".zlib", std::ios::binary | std::ios::ate);
    ASSERT_TRUE(image.good());
    EXPECT_EQ(static_cast<uint32_t>(image.tellg()), row.image_size);
  }
}

// ------------------------------------------------------------------- PNG

TEST(PngWriter, PicturesReadBackPixelForPixel) {
  const uint32_t w = 5, h = 3;
  std::vector<uint8_t> rgb(w * h * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 37);
  std::vector<uint8_t> png;
  ASSERT_TRUE(png_encode_rgb(rgb.data(), w, h, png));
  png_rgb_picture img;  // 8-bit RGB, or the read fails
  ASSERT_TRUE(png_read_rgb(png, &img));
  EXPECT_EQ(img.width, w);
  EXPECT_EQ(img.height, h);
  EXPECT_EQ(img.rgb, rgb);
  // Half a picture, or one bit wrong, is no picture.
  std::vector<uint8_t> half(png.begin(), png.begin() + png.size() / 2);
  EXPECT_FALSE(png_read_rgb(half, &img));
  std::vector<uint8_t> flipped = png;
  flipped[png.size() / 2] ^= 0x10;
  EXPECT_FALSE(png_read_rgb(flipped, &img));

  EXPECT_FALSE(png_encode_rgb(nullptr, 1, 1, png));
  EXPECT_TRUE(png.empty());
  EXPECT_FALSE(png_encode_rgb(rgb.data(), 0, 3, png));
  EXPECT_FALSE(png_encode_rgb(rgb.data(), 1, 100000, png));
}

// ------------------------------------------------- frame-keeping driver

class FrameKeepingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "sign_" + std::to_string(getpid()) + ".png";
    std::remove(path_.c_str());
    driver_.SetPictureFile(path_);
  }
  void TearDown() override { std::remove(path_.c_str()); }

  png_rgb_picture ReadPicture() {
    driver_.FlushPicture();
    png_rgb_picture img;
    EXPECT_TRUE(png_read_file(path_, &img));
    return img;
  }
  // The colour of the dot of sign pixel (x, y).
  static std::vector<uint8_t> Dot(const png_rgb_picture& img, uint32_t x, uint32_t y) {
    const size_t at = ((size_t(y) * CFrameKeepingDriver::DOT) * img.width + x * CFrameKeepingDriver::DOT) * 3;
    return {img.rgb[at], img.rgb[at + 1], img.rgb[at + 2]};
  }

  std::string path_;
  CFrameKeepingDriver driver_;
};

TEST_F(FrameKeepingTest, KeepsTheLastFrameAndPicturesItWhenItChanges) {
  EXPECT_EQ(driver_.Configure(7, 10, 21), 1);
  CSurface s;
  EXPECT_EQ(driver_.WriteFrame(&s), 0);  // nothing allocated
  EXPECT_EQ(driver_.WriteFrame(nullptr), 0);
  ASSERT_NE(s.Allocate(7, 10, 1), nullptr);
  s.SetPixel(2, 3, 1);
  EXPECT_EQ(driver_.WriteFrame(&s), 1);
  EXPECT_EQ(driver_.WriteFrame(&s), 1);
  EXPECT_EQ(driver_.FramesWritten(), 2u);
  png_rgb_picture img = ReadPicture();
  EXPECT_EQ(driver_.PicturesWritten(), 1u);

  EXPECT_EQ(img.width, 10 * CFrameKeepingDriver::DOT);
  EXPECT_EQ(img.height, 7 * CFrameKeepingDriver::DOT);
  EXPECT_EQ(Dot(img, 2, 3), (std::vector<uint8_t>{255, 180, 0}));
  EXPECT_EQ(Dot(img, 3, 3), (std::vector<uint8_t>{40, 40, 40}));

  s.SetPixel(2, 3, 0);
  driver_.WriteFrame(&s);
  EXPECT_EQ(Dot(ReadPicture(), 2, 3), (std::vector<uint8_t>{40, 40, 40}));
  EXPECT_EQ(driver_.PicturesWritten(), 2u);
  // A new geometry forgets the frame: the same picture is drawn anew.
  driver_.Configure(7, 10, 21);
  driver_.WriteFrame(&s);
  driver_.FlushPicture();
  EXPECT_EQ(driver_.PicturesWritten(), 3u);
}

TEST_F(FrameKeepingTest, ColourSurfacesKeepTheirColours) {
  CSurface s;
  ASSERT_NE(s.Allocate(2, 3, 15), nullptr);
  s.SetPixel(0, 0, 0x001F);  // red
  s.SetPixel(1, 0, 0x03E0);  // green
  s.SetPixel(2, 1, 0x7C00);  // blue
  driver_.WriteFrame(&s);
  png_rgb_picture img = ReadPicture();
  EXPECT_EQ(Dot(img, 0, 0), (std::vector<uint8_t>{255, 0, 0}));
  EXPECT_EQ(Dot(img, 1, 0), (std::vector<uint8_t>{0, 255, 0}));
  EXPECT_EQ(Dot(img, 2, 1), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(Dot(img, 0, 1), (std::vector<uint8_t>{40, 40, 40}));
}

TEST_F(FrameKeepingTest, UnwritablePictureIsReportedAndTheFrameKept) {
  driver_.SetPictureFile("/nonexistent-folder/sign.png");
  CSurface s;
  ASSERT_NE(s.Allocate(1, 1, 1), nullptr);
  s.SetPixel(0, 0, 1);
  EXPECT_EQ(driver_.WriteFrame(&s), 1);
  driver_.FlushPicture();
  EXPECT_EQ(driver_.PicturesWritten(), 0u);
  EXPECT_EQ(driver_.FrameBytes(), std::vector<uint8_t>{1});
}

TEST_F(FrameKeepingTest, BrightnessNeverSwitchesTheSignOff) {
  EXPECT_EQ(driver_.GetMaxFrameRate(), 10u);
  driver_.SetBrightness(0);
  EXPECT_EQ(driver_.GetBrightness(), 1);
  driver_.SetBrightness(300);
  EXPECT_EQ(driver_.GetBrightness(), 255);
  driver_.SetBrightness(128);
  EXPECT_EQ(driver_.GetBrightness(), 128);
}

// ------------------------------------------------------ panel mirror

TEST(LcdDisplayDriver, BitmapOfTheSignsSize) {
  CLCDDisplayDriver lcd;
  EXPECT_EQ(lcd.GetMaxFrameRate(), 1u);
  EXPECT_EQ(lcd.Bitmap(), nullptr);
  EXPECT_EQ(lcd.Configure(3, 10, 0), 1);
  ASSERT_NE(lcd.Bitmap(), nullptr);
  EXPECT_EQ(lcd.BitmapRowBytes(), 2u);
  const uint8_t* first = lcd.Bitmap();
  EXPECT_EQ(lcd.Configure(3, 10, 0), 1);
  EXPECT_EQ(lcd.Bitmap(), first);

  CSurface s;
  ASSERT_NE(s.Allocate(3, 10, 1), nullptr);
  s.SetPixel(0, 0, 1);
  s.SetPixel(9, 2, 1);
  CLCDDisplayDriver::RenderFrame(&lcd, &s);
  EXPECT_TRUE(lcd.BitmapPixel(0, 0));
  EXPECT_TRUE(lcd.BitmapPixel(9, 2));
  EXPECT_FALSE(lcd.BitmapPixel(1, 0));
  EXPECT_FALSE(lcd.BitmapPixel(20, 9));
  // A larger surface is cut to the bitmap.
  CSurface big;
  ASSERT_NE(big.Allocate(8, 40, 1), nullptr);
  big.Fill(1);
  CLCDDisplayDriver::RenderFrame(&lcd, &big);
  EXPECT_TRUE(lcd.BitmapPixel(15, 2));
  EXPECT_EQ(lcd.WriteFrame(&s), 0);
  EXPECT_EQ(lcd.ShowFrame(nullptr), 0);
  EXPECT_EQ(lcd.Configure(0, 0, 0), 1);
  EXPECT_EQ(lcd.Bitmap(), nullptr);
}

}  // namespace
