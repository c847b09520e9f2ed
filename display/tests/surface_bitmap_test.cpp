// Windows bitmap files drawn into a surface, and the refusal of files that
// do not hold what their header promises.
#include <string>
#include <vector>

#include "display/surface/surface.h"
#include "display/surface/text.h"
#include "display/tests/font_fixture.h"

namespace {

struct Rgb {
  uint8_t r, g, b;
};

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// A bottom-up bitmap; `rows` are given top row first, as they appear.
std::vector<uint8_t> Bmp24(const std::vector<std::vector<Rgb>>& rows) {
  const uint32_t w = static_cast<uint32_t>(rows[0].size()), h = static_cast<uint32_t>(rows.size());
  const uint32_t stride = (w * 3 + 3) & ~3u;
  std::vector<uint8_t> f(54 + stride * h, 0);
  f[0] = 'B', f[1] = 'M';
  Put32(f, 2, static_cast<uint32_t>(f.size()));
  Put32(f, 10, 54);
  Put32(f, 14, 40);
  Put32(f, 18, w);
  Put32(f, 22, h);
  f[26] = 1;
  f[28] = 24;
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t i = 0; i < w; ++i) {
      const Rgb& p = rows[h - 1 - r][i];
      uint8_t* px = &f[54 + stride * r + 3 * i];
      px[0] = p.b, px[1] = p.g, px[2] = p.r;
    }
  return f;
}

std::vector<uint8_t> Bmp8(const std::vector<Rgb>& palette, const std::vector<std::vector<uint8_t>>& rows) {
  const uint32_t w = static_cast<uint32_t>(rows[0].size()), h = static_cast<uint32_t>(rows.size());
  const uint32_t stride = (w + 3) & ~3u;
  const uint32_t offset = 54 + 4 * static_cast<uint32_t>(palette.size());
  std::vector<uint8_t> f(offset + stride * h, 0);
  f[0] = 'B', f[1] = 'M';
  Put32(f, 2, static_cast<uint32_t>(f.size()));
  Put32(f, 10, offset);
  Put32(f, 14, 40);
  Put32(f, 18, w);
  Put32(f, 22, h);
  f[26] = 1;
  f[28] = 8;
  Put32(f, 46, static_cast<uint32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) {
    f[54 + 4 * i] = palette[i].b;
    f[55 + 4 * i] = palette[i].g;
    f[56 + 4 * i] = palette[i].r;
  }
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t i = 0; i < w; ++i) f[offset + stride * r + i] = rows[h - 1 - r][i];
  return f;
}

uint32_t Colour(Rgb c) { return (c.r >> 3) | ((c.g >> 3) << 5) | ((c.b >> 3) << 10); }

}  // namespace

class BitmapTest : public FontDbTest {
 protected:
  void SetUp() override {
    FontDbTest::SetUp();
    ASSERT_NE(s_.Allocate(6, 8, 15), nullptr);
  }
  bool Draw(const std::vector<uint8_t>& f, int32_t x, int32_t y, size_t size = SIZE_MAX) {
    return DrawBitmapFile(s_, f.data(), static_cast<uint32_t>(std::min(size, f.size())), x, y);
  }
  bool Blank() {
    for (uint32_t i = 0; i < s_.Size(); ++i)
      if (s_.Pixels()[i]) return false;
    return true;
  }
  CSurface s_;
};

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kAmber{255, 192, 0}, kGrey{128, 128, 128},
    kBlack{0, 0, 0};

TEST_F(BitmapTest, TwentyFourBitRowsArePaddedAndStoredBottomUp) {
  const std::vector<std::vector<Rgb>> rows = {{kRed, kGreen, kBlue}, {kAmber, kGrey, kBlack}};
  std::vector<uint8_t> f = Bmp24(rows);
  EXPECT_EQ(f.size(), 54u + 2 * 12);  // 9 bytes of pixels padded to 12
  ASSERT_TRUE(Draw(f, 4, 3));
  for (int32_t r = 0; r < 2; ++r)
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(s_.GetPixel(4 + i, 3 + r), Colour(rows[r][i])) << i << "," << r;
  EXPECT_EQ(s_.GetPixel(3, 3), 0u);
  EXPECT_EQ(s_.GetPixel(7, 3), 0u);
  EXPECT_EQ(s_.GetPixel(4, 2), 0u);
  EXPECT_EQ(s_.GetPixel(4, 5), 0u);
}

TEST_F(BitmapTest, EightBitPixelsIndexThePalette) {
  const std::vector<Rgb> palette = {kBlack, kRed, kGreen, kBlue, kGrey};
  const std::vector<std::vector<uint8_t>> rows = {{1, 2, 3, 4, 0}, {4, 4, 1, 0, 2}, {0, 0, 0, 3, 3}};
  ASSERT_TRUE(Draw(Bmp8(palette, rows), 0, 0));
  for (int32_t r = 0; r < 3; ++r)
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(s_.GetPixel(i, r), Colour(palette[rows[r][i]])) << i << "," << r;
}

TEST_F(BitmapTest, TwoColourModulesShowRedAndAmberOnly) {
  const std::vector<std::vector<Rgb>> rows = {{kRed, kAmber, kGreen, kBlue, kGrey, kBlack}};
  const struct {
    uint32_t module;
    bool two_colour;
  } cases[] = {{11, true}, {98, true}, {101, true}, {97, false}, {102, false}, {0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.module);
    SetNv(nv::quorModuleID, c.module);
    s_.Clear();
    ASSERT_TRUE(Draw(Bmp24(rows), 0, 0));
    for (int32_t i = 0; i < 6; ++i) {
      const Rgb p = rows[0][i];
      uint32_t want = Colour(p);
      if (c.two_colour) want = p.r && p.g ? 0x03E0 : p.r ? 0x001F : 0;
      EXPECT_EQ(s_.GetPixel(i, 0), want) << i;
    }
  }
}

TEST_F(BitmapTest, BitmapsAreClippedAtTheSurfaceEdges) {
  std::vector<std::vector<Rgb>> rows(4, std::vector<Rgb>(5, kGrey));
  ASSERT_TRUE(Draw(Bmp24(rows), 6, -2));  // 2 columns and 2 rows inside
  uint32_t lit = 0;
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 8; ++x)
      if (s_.GetPixel(x, y)) {
        ++lit;
        EXPECT_GE(x, 6);
        EXPECT_LT(y, 2);
      }
  EXPECT_EQ(lit, 4u);
  s_.Clear();
  ASSERT_TRUE(Draw(Bmp24(rows), -100, 100));
  EXPECT_TRUE(Blank());
  ASSERT_TRUE(Draw(Bmp24(rows), INT32_MAX, INT32_MAX));
  EXPECT_TRUE(Blank());
}

TEST_F(BitmapTest, OtherBitCountsDrawNothing) {
  std::vector<uint8_t> f = Bmp24({{kRed, kRed}, {kRed, kRed}});
  for (uint8_t bits : {0, 1, 4, 16, 32}) {
    f[28] = bits;
    EXPECT_FALSE(Draw(f, 0, 0)) << int(bits);
    EXPECT_TRUE(Blank());
  }
}

TEST_F(BitmapTest, EveryCutOfAValidFileIsRefused) {
  const std::vector<std::vector<uint8_t>> files = {
      Bmp24({{kRed, kGreen, kBlue}, {kGrey, kGrey, kGrey}}),
      Bmp8({kBlack, kRed, kGreen}, {{1, 2, 1}, {2, 1, 2}}),
  };
  for (const auto& f : files) {
    ASSERT_TRUE(Draw(f, 0, 0));
    s_.Clear();
    for (size_t n = 0; n < f.size(); ++n) {
      EXPECT_FALSE(Draw(f, 0, 0, n)) << n;
      EXPECT_TRUE(Blank()) << n;
    }
  }
  EXPECT_FALSE(DrawBitmapFile(s_, nullptr, 100, 0, 0));
}

TEST_F(BitmapTest, HeadersThatLieAreRefused) {
  const std::vector<uint8_t> good = Bmp24({{kRed, kGreen}, {kBlue, kGrey}});
  const struct {
    const char* what;
    size_t at;
    uint32_t value;
  } lies[] = {
      {"pixels past the end", 10, 60},
      {"offset beyond the file", 10, 0xFFFFFFF0},
      {"wider than the data", 18, 3},
      {"taller than the data", 22, 3},
      {"width that overflows", 18, 0x7FFFFFFF},
      {"height that overflows", 22, 0x7FFFFFFF},
      {"zero width", 18, 0},
      {"zero height", 22, 0},
      {"top-down rows", 22, static_cast<uint32_t>(-2)},
      {"negative width", 18, static_cast<uint32_t>(-2)},
  };
  for (const auto& l : lies) {
    std::vector<uint8_t> f = good;
    Put32(f, l.at, l.value);
    EXPECT_FALSE(Draw(f, 0, 0)) << l.what;
    EXPECT_TRUE(Blank()) << l.what;
  }
  // An 8-bit pixel naming a palette entry beyond the file.
  std::vector<uint8_t> f8 = Bmp8({kBlack, kRed}, {{1, 1, 1, 1}});
  ASSERT_TRUE(Draw(f8, 0, 0));
  s_.Clear();
  f8[f8.size() - 2] = 250;
  EXPECT_FALSE(Draw(f8, 0, 0));
  EXPECT_TRUE(Blank());
  // Pixel data that starts inside the headers is not a palette bitmap.
  std::vector<uint8_t> f8b = Bmp8({kBlack, kRed}, {{1, 1, 1, 1}});
  Put32(f8b, 10, 20);
  EXPECT_FALSE(Draw(f8b, 0, 0));
}
