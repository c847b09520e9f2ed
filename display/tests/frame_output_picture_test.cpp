// The sign's face as a picture: the colour of each pixel on its modules,
// dots scaled up, and a file written by a thread of its own when the face
// changes, a few times a second at most.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "display/driver/sign_picture.h"
#include "display/tests/png_read.h"
#include "frame/trace/trace.h"

namespace {

namespace fs = std::filesystem;

TEST(SignPicture, PixelsInTheColoursOfTheirModules) {
  struct {
    uint16_t value;
    bool wide;
    uint8_t colours;
    sign_rgb_s rgb;
  } cases[] = {
      {0, false, 1, SIGN_DARK},
      {1, false, 1, {255, 180, 0}},         // monochrome modules are amber
      {0x7C00, true, 1, {255, 180, 0}},     // whatever the word
      {0, true, 3, SIGN_DARK},
      {0x001F, true, 3, {255, 0, 0}},       // red in bits 0-4
      {0x03E0, true, 3, {0, 255, 0}},
      {0x7C00, true, 3, {0, 0, 255}},
      {0x0010, true, 3, {132, 0, 0}},
      {0x80, false, 3, {0x80, 0x80, 0x80}},
      {0x001F, true, 2, {255, 40, 0}},      // red-green: red
      {0x03E0, true, 2, {0, 220, 60}},      // green
      {0x03FF, true, 2, {255, 180, 0}},     // both: amber
      {0x7C00, true, 2, SIGN_DARK},         // blue it cannot show
      {1, false, 2, {255, 40, 0}},
      {2, false, 2, {0, 220, 60}},
      {3, false, 2, {255, 180, 0}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sign_pixel_colour(c.value, c.wide, c.colours), c.rgb)
        << std::hex << c.value << " wide " << c.wide << " colours " << int(c.colours);
}

TEST(SignPicture, EachPixelIsADotWithAGap) {
  const uint16_t pixels[] = {1, 0, 0, 1};
  sign_face_s face;
  face.width = 2;
  face.height = 2;
  face.pixels = pixels;
  png_rgb_picture p;
  ASSERT_TRUE(png_read_rgb(CSignPicture::Picture(face), &p));
  constexpr uint32_t D = CSignPicture::DOT;
  ASSERT_EQ(p.width, 2 * D);
  ASSERT_EQ(p.height, 2 * D);
  auto is = [&](uint32_t x, uint32_t y, sign_rgb_s c) {
    const uint8_t* q = p.at(x, y);
    return q[0] == c.r && q[1] == c.g && q[2] == c.b;
  };
  const sign_rgb_s amber = sign_pixel_colour(1, false, 1);
  for (uint32_t y = 0; y < 2 * D; ++y)
    for (uint32_t x = 0; x < 2 * D; ++x) {
      const bool gap = x % D == D - 1 || y % D == D - 1;
      const bool lit = (x / D) == (y / D);
      EXPECT_TRUE(is(x, y, gap ? SIGN_GAP : lit ? amber : SIGN_DARK)) << x << "," << y;
    }
  face.width = 0;
  EXPECT_TRUE(CSignPicture::Picture(face).empty());
}

class SignPictureFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("sign_picture_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = (dir_ / "sign.png").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  bool Offer(std::vector<uint16_t>& pixels, uint32_t tick) {
    sign_face_s face;
    face.width = static_cast<uint32_t>(pixels.size());
    face.height = 1;
    face.pixels = pixels.data();
    return picture_.Offer(face, tick);
  }
  // The lit dots of the picture's only row.
  std::string Lit() {
    picture_.Flush();
    png_rgb_picture p;
    if (!png_read_file(path_, &p)) return "?";
    std::string s;
    for (uint32_t x = 0; x < p.width; x += CSignPicture::DOT) s += p.at(x, 0)[0] == SIGN_DARK.r ? '.' : '#';
    return s;
  }

  fs::path dir_;
  std::string path_;
  CSignPicture picture_;
};

TEST_F(SignPictureFileTest, WrittenWhenTheFaceChangesAtMostAFewTimesASecond) {
  std::vector<uint16_t> a = {1, 0, 1}, b = {0, 1, 0};
  EXPECT_FALSE(Offer(a, 0)) << "no file given";
  picture_.SetFile(path_);
  EXPECT_TRUE(Offer(a, 100));
  EXPECT_EQ(Lit(), "#.#");
  EXPECT_FALSE(Offer(a, 200)) << "unchanged";
  EXPECT_TRUE(Offer(b, 201));
  EXPECT_EQ(Lit(), ".#.");
  // Changing faster than the pictures: the face shown when the interval
  // has passed is the one written.
  EXPECT_FALSE(Offer(a, 210));
  EXPECT_FALSE(Offer(b, 220)) << "same as the picture";
  EXPECT_FALSE(Offer(a, 225));
  EXPECT_TRUE(Offer(a, 226));
  EXPECT_EQ(Lit(), "#.#");
  EXPECT_EQ(picture_.PicturesWritten(), 3u);
  EXPECT_FALSE(fs::exists(path_ + ".new")) << "written beside and renamed over";
}

// The offering side copies the face and goes on; while the writer is busy
// a newer face replaces the one waiting, and only the newest is written.
TEST_F(SignPictureFileTest, TheWriterTakesACopyAndTheNewestFaceWins) {
  picture_.SetFile(path_);
  picture_.Hold(true);
  std::vector<uint16_t> face = {1, 1, 0};
  EXPECT_TRUE(Offer(face, 0));
  face = {0, 0, 1};  // the caller's buffer changes under the waiting copy
  picture_.Flush();  // returns at once while held
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_EQ(picture_.PicturesWritten(), 0u);
  std::vector<uint16_t> newer = {0, 1, 0};
  EXPECT_TRUE(Offer(newer, 30));
  newer = {1, 1, 1};
  picture_.Hold(false);
  EXPECT_EQ(Lit(), ".#.");
  EXPECT_EQ(picture_.PicturesWritten(), 1u);
  EXPECT_TRUE(Offer(face, 60));
  EXPECT_EQ(Lit(), "..#");
}

TEST_F(SignPictureFileTest, AFolderThatCannotBeWrittenIsSaidNotOften) {
  picture_.SetFile((dir_ / "missing" / "sign.png").string());
  std::vector<uint16_t> a = {1};
  trace_capture cap;
  EXPECT_TRUE(Offer(a, 0));
  picture_.Flush();
  EXPECT_FALSE(Offer(a, 10)) << "the failure is said, the face waits for the interval";
  EXPECT_FALSE(Offer(a, 20));
  EXPECT_EQ(cap.text(), "CSignPicture::Save: cannot write " + (dir_ / "missing" / "sign.png.new").string() + "\n");
  EXPECT_TRUE(Offer(a, 30)) << "tried again";
  picture_.Flush();
  EXPECT_EQ(picture_.PicturesWritten(), 0u);
  // Once the folder is there, the same face is written.
  fs::create_directories(dir_ / "missing");
  EXPECT_FALSE(Offer(a, 40));
  EXPECT_TRUE(Offer(a, 60));
  picture_.Flush();
  EXPECT_EQ(picture_.PicturesWritten(), 1u);
}

}  // namespace
