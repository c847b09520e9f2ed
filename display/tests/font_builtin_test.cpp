// The built-in fonts: their metrics, glyph layout at the edges, and the
// refusal of damaged font images.
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/font/builtin_data.h"
#include "display/font/orvel_font.h"
#include "display/tests/font_fixture.h"

namespace {

// A font file in the built-in format with the given glyph columns.
struct FontFile {
  uint8_t height = 7, line = 1, spacing = 1;
  std::vector<uint8_t> glyphs[256];

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> f(ORVEL_FONT_GLYPH_OFFSET, 0);
    f[1] = 'R', f[2] = '4', f[3] = '1', f[4] = '7', f[5] = 6, f[6] = 1;
    f[160] = height, f[161] = line, f[162] = spacing;
    for (int c = 0; c < 256; ++c) {
      f[ORVEL_FONT_COUNTS_OFFSET + c] = static_cast<uint8_t>(glyphs[c].size());
      f.insert(f.end(), glyphs[c].begin(), glyphs[c].end());
    }
    return f;
  }
};

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
  uLongf n = compressBound(raw.size());
  std::vector<uint8_t> z(n);
  EXPECT_EQ(compress(z.data(), &n, raw.data(), raw.size()), Z_OK);
  z.resize(n);
  return z;
}

std::string Picture(const CFontBase& f, uint32_t c) {
  std::string s;
  for (uint32_t y = 0; y < f.GetHeight(); ++y) {
    for (uint32_t x = 0; x < f.GetCharWidth(c); ++x) s += f.IsPixelSet(c, x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

}  // namespace

using BuiltinFontTest = FontDbTest;

struct BuiltinRow {
  const char* name;
  uint32_t height, line, spacing, characters;
  uint32_t first, last;  // lowest and highest code with a glyph
  uint32_t widest_max;   // no glyph wider than this
};

TEST_F(BuiltinFontTest, EachFontLoadsWithItsMetrics) {
  const BuiltinRow rows[] = {
      {"07X04_1_CP1252.FNT", 7, 1, 1, 222, 32, 255, 255},
      {"07X06_2_CP1252.FNT", 7, 1, 1, 222, 32, 255, 255},
      {"FW07X5_1_NEMA4.FNT", 7, 1, 1, 222, 32, 255, 5},
      {"07GRAPH.FNT", 7, 0, 0, 94, 32, 125, 32},
      {"09X06_2_CP1252.FNT", 9, 1, 1, 218, 32, 255, 255},
      {"09X05_1_CP1252.FNT", 9, 1, 1, 220, 32, 255, 255},
      {"09X08_3_CP1252.FNT", 9, 1, 1, 217, 32, 255, 255},
      {"07X05_1_KM.FNT", 7, 1, 1, 224, 32, 255, 5},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const BuiltinRow& r = rows[i];
    SCOPED_TRACE(r.name);
    int row = -1;
    EXPECT_TRUE(COrvelFont::FindBuiltIn(r.name, &row));
    EXPECT_EQ(row, static_cast<int>(i));
    COrvelFont f;
    ASSERT_TRUE(f.Load(r.name));
    EXPECT_STREQ(f.GetName(), r.name);
    EXPECT_EQ(f.GetHeight(), r.height);
    EXPECT_EQ(f.GetLineSpacing(), r.line);
    EXPECT_EQ(f.GetCharSpacing(), r.spacing);
    EXPECT_EQ(f.GetStatus(), 0u);
    uint32_t count = 0, first = 256, last = 0, widest = 0;
    for (uint32_t c = 0; c < 256; ++c) {
      uint32_t w = f.GetCharWidth(c);
      if (!w) continue;
      ++count;
      first = std::min(first, c);
      last = std::max(last, c);
      widest = std::max(widest, w);
    }
    EXPECT_EQ(count, r.characters);
    EXPECT_EQ(first, r.first);
    EXPECT_EQ(last, r.last);
    EXPECT_LE(widest, r.widest_max);
    // Every text font has its letters; the graphics font has a 32-column glyph.
    if (r.line) EXPECT_GT(f.GetCharWidth('A'), 0u);
    else EXPECT_EQ(widest, 32u);
  }
}

TEST_F(BuiltinFontTest, Nema4CapitalAIsTheUsualFiveBySeven) {
  COrvelFont f;
  ASSERT_TRUE(f.Load("FW07X5_1_NEMA4.FNT"));
  EXPECT_EQ(f.GetHeight(), 7u);
  EXPECT_EQ(f.GetCharWidth('A'), 5u);
  EXPECT_EQ(Picture(f, 'A'),
            "..#..\n"
            ".#.#.\n"
            "#...#\n"
            "#...#\n"
            "#####\n"
            "#...#\n"
            "#...#\n");
}

TEST_F(BuiltinFontTest, UnknownNameLoadsTheFirstFontUnderItsOwnName) {
  COrvelFont first, other;
  ASSERT_TRUE(first.Load("07X04_1_CP1252.FNT"));
  ASSERT_TRUE(other.Load("nosuch.fnt"));
  EXPECT_STREQ(other.GetName(), "nosuch.fnt");
  EXPECT_EQ(other.GetHeight(), first.GetHeight());
  for (uint32_t c = 0; c < 256; ++c) {
    ASSERT_EQ(other.GetCharWidth(c), first.GetCharWidth(c)) << c;
    EXPECT_EQ(Picture(other, c), Picture(first, c)) << c;
  }
  // The lookup is exact: another case is another name.
  int row = 5;
  EXPECT_FALSE(COrvelFont::FindBuiltIn("fw07x5_1_nema4.fnt", &row));
  EXPECT_EQ(row, 5);
}

TEST_F(BuiltinFontTest, PixelsOutsideTheGlyphAreUnlit) {
  COrvelFont f;
  ASSERT_TRUE(f.Load("07X05_1_KM.FNT"));
  for (uint32_t c : {uint32_t('A'), uint32_t('|'), uint32_t(0xFF)}) {
    uint32_t w = f.GetCharWidth(c), h = f.GetHeight();
    ASSERT_GT(w, 0u);
    for (uint32_t y = 0; y < h + 2; ++y) EXPECT_FALSE(f.IsPixelSet(c, w, y)) << c;
    for (uint32_t x = 0; x < w + 2; ++x) EXPECT_FALSE(f.IsPixelSet(c, x, h)) << c;
  }
  // A solid glyph is lit right up to its last column and row.
  ASSERT_TRUE(f.Load("07GRAPH.FNT"));
  EXPECT_EQ(f.GetCharWidth('@'), 32u);
  EXPECT_TRUE(f.IsPixelSet('@', 31, 6));
  EXPECT_FALSE(f.IsPixelSet('@', 32, 6));
  EXPECT_FALSE(f.IsPixelSet('@', 31, 7));
  // Codes without a glyph: width 0, nothing lit.
  for (uint32_t c : {0u, 31u, 126u, 255u, 256u, 1000u}) {
    EXPECT_EQ(f.GetCharWidth(c), 0u) << c;
    EXPECT_FALSE(f.IsPixelSet(c, 0, 0)) << c;
  }
}

TEST_F(BuiltinFontTest, NineRowColumnsTakeTwoBytes) {
  FontFile file;
  file.height = 9;
  // 'a': column 0 lights row 8 only (bit 0 of its second byte); column 1
  // lights row 0 only; column 2 rows 7 and 8.
  file.glyphs['a'] = {0x00, 0x01, 0x01, 0x00, 0x80, 0x01};
  file.glyphs['b'] = {0xFF, 0x01};  // one full column
  std::vector<uint8_t> z = Deflate(file.Bytes());
  COrvelFont f;
  ASSERT_TRUE(f.LoadImage("nine.fnt", z.data(), static_cast<uint32_t>(z.size())));
  EXPECT_EQ(f.GetHeight(), 9u);
  EXPECT_EQ(f.GetCharWidth('a'), 3u);
  EXPECT_EQ(f.GetCharWidth('b'), 1u);
  EXPECT_EQ(Picture(f, 'a'),
            ".#.\n"
            "...\n"
            "...\n"
            "...\n"
            "...\n"
            "...\n"
            "...\n"
            "..#\n"
            "#.#\n");
  EXPECT_EQ(Picture(f, 'b'), "#\n#\n#\n#\n#\n#\n#\n#\n#\n");
}

TEST_F(BuiltinFontTest, BuiltInNineRowFontsUseTheirLastRow) {
  for (const char* name : {"09X06_2_CP1252.FNT", "09X05_1_CP1252.FNT", "09X08_3_CP1252.FNT"}) {
    COrvelFont f;
    ASSERT_TRUE(f.Load(name));
    // Descenders reach the ninth row.
    bool lit = false;
    for (uint32_t x = 0; x < f.GetCharWidth('g'); ++x) lit |= f.IsPixelSet('g', x, 8);
    EXPECT_TRUE(lit) << name;
  }
}

TEST_F(BuiltinFontTest, NamesThatCannotBeKeptAreRefused) {
  COrvelFont f;
  EXPECT_FALSE(f.Load(nullptr));
  EXPECT_FALSE(f.Load(std::string(50, 'x').c_str()));
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
  EXPECT_TRUE(f.Load(std::string(49, 'x').c_str()));
  EXPECT_EQ(f.GetHeight(), 7u);
}

TEST_F(BuiltinFontTest, BuffersComeFromThePoolAndGoBack) {
  {
    COrvelFont a, b;
    ASSERT_TRUE(a.Load("07GRAPH.FNT"));
    ASSERT_TRUE(a.Load("07X05_1_KM.FNT"));  // the first buffer goes back
    EXPECT_EQ(g_gpbuffer.BuffersOut(), 1u);
    ASSERT_TRUE(b.Load("07GRAPH.FNT"));
    EXPECT_EQ(g_gpbuffer.BuffersOut(), 2u);
    b.ReleaseBuffer();
    EXPECT_EQ(g_gpbuffer.BuffersOut(), 1u);
  }
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);

  // An exhausted pool refuses the font.
  void* held[3] = {};
  int taken = 0;
  while (taken < 3 && g_gpbuffer.Allocate(&held[taken], ORVEL_FONT_BUFFER_SIZE)) ++taken;
  ASSERT_GT(taken, 0);
  COrvelFont f;
  EXPECT_FALSE(f.Load("07GRAPH.FNT"));
  for (int i = 0; i < taken; ++i) g_gpbuffer.Release(&held[i]);
  EXPECT_TRUE(f.Load("07GRAPH.FNT"));
}

class BuiltinFontNoPoolTest : public FontDbTest {
  void SetUp() override { Boot(false); }
};

TEST_F(BuiltinFontNoPoolTest, WithoutThePoolNoFontLoads) {
  COrvelFont f;
  EXPECT_FALSE(f.Load("07GRAPH.FNT"));
}

TEST_F(BuiltinFontTest, DamagedImagesAreRefused) {
  FontFile good;
  good.glyphs['A'] = {0x7E, 0x09, 0x09, 0x7E};
  good.glyphs['B'] = {0x7F, 0x49, 0x49, 0x36};
  const std::vector<uint8_t> raw = good.Bytes();

  COrvelFont f;
  std::vector<uint8_t> z = Deflate(raw);
  ASSERT_TRUE(f.LoadImage("good", z.data(), static_cast<uint32_t>(z.size())));
  EXPECT_EQ(f.GetCharWidth('B'), 4u);

  // Every shorter file: its glyph counts promise more than it holds.
  for (size_t n = 0; n < raw.size(); ++n) {
    std::vector<uint8_t> cut(raw.begin(), raw.begin() + n);
    std::vector<uint8_t> zc = Deflate(cut);
    EXPECT_FALSE(f.LoadImage("cut", zc.data(), static_cast<uint32_t>(zc.size()))) << n;
    EXPECT_EQ(f.GetCharWidth('A'), 0u);
    EXPECT_FALSE(f.IsPixelSet('A', 1, 1));
  }
  // Every cut of the compressed stream.
  for (size_t n = 0; n < z.size(); ++n)
    EXPECT_FALSE(f.LoadImage("cut", z.data(), static_cast<uint32_t>(n))) << n;
  // A stream that is not zlib, one that inflates beyond a buffer, a font of
  // height 0, no data at all.
  std::vector<uint8_t> junk(200, 0x5A);
  EXPECT_FALSE(f.LoadImage("junk", junk.data(), static_cast<uint32_t>(junk.size())));
  std::vector<uint8_t> big = raw;
  big.resize(ORVEL_FONT_BUFFER_SIZE + 1, 0);
  std::vector<uint8_t> zbig = Deflate(big);
  EXPECT_FALSE(f.LoadImage("big", zbig.data(), static_cast<uint32_t>(zbig.size())));
  FontFile flat = good;
  flat.height = 0;
  std::vector<uint8_t> zflat = Deflate(flat.Bytes());
  EXPECT_FALSE(f.LoadImage("flat", zflat.data(), static_cast<uint32_t>(zflat.size())));
  EXPECT_FALSE(f.LoadImage("none", nullptr, 10));
  // The refusals kept only the object's own buffer.
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 1u);
  f.ReleaseBuffer();
  EXPECT_EQ(g_gpbuffer.BuffersOut(), 0u);
}

TEST(BuiltinFontData, TableHoldsTheEightStreams) {
  for (const builtin_font_image& image : g_builtin_font_images) {
    SCOPED_TRACE(image.name);
    std::vector<uint8_t> out(ORVEL_FONT_BUFFER_SIZE);
    uLongf n = out.size();
    ASSERT_EQ(uncompress(out.data(), &n, image.data, image.length), Z_OK);
    ASSERT_GE(n, ORVEL_FONT_GLYPH_OFFSET);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&out[1]), 4), "R417");
    EXPECT_EQ(out[5], 6);
    EXPECT_EQ(out[6], 1);
    uint32_t total = 0;
    for (int c = 0; c < 256; ++c) total += out[ORVEL_FONT_COUNTS_OFFSET + c];
    EXPECT_EQ(n, ORVEL_FONT_GLYPH_OFFSET + total);
  }
}
