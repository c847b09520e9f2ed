// Text layout: spacing between characters and runs, clipping, flashing,
// backgrounds and full justification, at every depth.
#include <string>
#include <vector>

#include "display/font/orvel_font.h"
#include "display/surface/surface.h"
#include "display/surface/text.h"
#include "display/tests/font_fixture.h"
#include "frame/trace/trace.h"

namespace {

// A font of solid blocks: character c is (c - 'A' + 1) columns wide ('A'
// one, 'B' two, ...), every pixel lit except the rows listed as holes.
class BlockFont : public CFontBase {
 public:
  BlockFont(uint32_t spacing, uint32_t line = 0, uint32_t height = 3)
      : m_spacing(spacing), m_line(line), m_height(height) {}
  uint32_t GetHeight() const override { return m_height; }
  uint32_t GetCharWidth(uint32_t c) const override { return c >= 'A' && c <= 'Z' ? c - 'A' + 1 : 0; }
  bool IsPixelSet(uint32_t c, uint32_t x, uint32_t y) const override {
    return x < GetCharWidth(c) && y < m_height;
  }
  uint32_t GetCharSpacing() const override { return m_spacing; }
  uint32_t GetLineSpacing() const override { return m_line; }
  const char* GetName() const override { return "block"; }

 private:
  uint32_t m_spacing, m_line, m_height;
};

const uint8_t* T(const char* s) { return reinterpret_cast<const uint8_t*>(s); }
uint32_t N(const char* s) { return static_cast<uint32_t>(std::strlen(s)); }

}  // namespace

class TextTest : public FontDbTest {
 protected:
  void SetUp() override {
    FontDbTest::SetUp();
    ASSERT_NE(s_.Allocate(4, 24, 8), nullptr);
    s_.m_dwTextForeground = 1;
    s_.m_dwTextBackground = SURFACE_NO_BACKGROUND;
  }

  // Row y of the surface as digits ('.' for 0).
  std::string Row(uint32_t y) {
    std::string r;
    for (uint32_t x = 0; x < s_.Width(); ++x) {
      uint32_t v = s_.GetPixel(x, y);
      r += v ? static_cast<char>('0' + v) : '.';
    }
    return r;
  }

  int32_t Draw(const CFontBase& f, const char* text, int32_t x, int32_t spacing, bool first = false,
               text_rect clip = {0, 0, 24, 4}, bool flash_off = false, bool moving = false,
               text_glyph_xs* full = nullptr) {
    int32_t y = 0;
    DrawText(s_, f, T(text), N(text), &x, &y, clip, flash_off, spacing, first, moving, full);
    return x;
  }

  CSurface s_;
};

TEST_F(TextTest, AveragedSpacingBetweenRunsInTwoFonts) {
  BlockFont one(1), two(2);
  // "AB" first on its line, then "CD" with the averaged spacing:
  // (1 + 2 + 1) / 2 = 2 before C, then D's own spacing 2.
  int32_t x = Draw(one, "AB", 0, TEXT_SPACING_AVERAGE, true);
  EXPECT_EQ(x, 4);  // A, gap 1, B
  x = Draw(two, "CD", x, TEXT_SPACING_AVERAGE);
  EXPECT_EQ(x, 4 + 2 + 3 + 2 + 4);
  EXPECT_EQ(Row(0), "1.11..111..1111.........");

  // Measuring keeps its own memory of the last run's spacing.
  text_rect r{0, 0, 100, 4};
  int32_t mx = 0, sp = TEXT_SPACING_AVERAGE;
  uint32_t ls = 0, over = 0;
  MeasureText(one, T("AB"), 2, &mx, r, &sp, &ls, &over, false, true);
  EXPECT_EQ(mx, 4);
  EXPECT_EQ(sp, 0);  // first on the line
  sp = TEXT_SPACING_AVERAGE;
  EXPECT_EQ(MeasureText(two, T("CD"), 2, &mx, r, &sp, &ls, &over, false, false), 3u);
  EXPECT_EQ(mx, 15);
  EXPECT_EQ(sp, 2);
}

TEST_F(TextTest, FirstCharacterOfALineHasNoGap) {
  BlockFont f(3);
  EXPECT_EQ(Draw(f, "AA", 5, -2, true), 5 + 1 + 3 + 1);
  EXPECT_EQ(Row(1), ".....1...1..............");
  // Not first on the line: the gap comes before it too.
  s_.Clear();
  EXPECT_EQ(Draw(f, "A", 0, 3), 4);
  EXPECT_EQ(Row(0), "...1....................");
  // Moving text never starts a line.
  s_.Clear();
  EXPECT_EQ(Draw(f, "A", 0, 3, true, {0, 0, 24, 4}, false, true), 4);
  EXPECT_EQ(Row(0), "...1....................");
}

TEST_F(TextTest, CharacterMatrixSignsHaveNoGaps) {
  BlockFont f(2);
  for (uint32_t type : {4u, 132u}) {
    SetNv(nv::dmsSignType, type);
    s_.Clear();
    EXPECT_EQ(Draw(f, "ABA", 1, 5), 1 + 1 + 2 + 1);
    EXPECT_EQ(Row(2), ".1111...................");
    text_rect r{0, 0, 100, 4};
    int32_t x = 0, sp = 5;
    uint32_t ls = 0, over = 0;
    MeasureText(f, T("ABA"), 3, &x, r, &sp, &ls, &over, false, false);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(sp, 0);
  }
}

TEST_F(TextTest, MeasuringStopsAtTheFirstCharacterThatDoesNotFit) {
  BlockFont f(1, 2);
  text_rect r{10, 0, 20, 4};  // 10 wide
  int32_t x = 0, sp = -2;
  uint32_t ls = 7, over = 30;
  // A(1) +1 B(2) +1 C(3) +1 D(4): D ends at 13, beyond 10: stops there.
  MeasureText(f, T("ABCD"), 4, &x, r, &sp, &ls, &over, false, true);
  EXPECT_EQ(x, 13);
  EXPECT_EQ(over, 33u);  // the run's position + D's index
  EXPECT_EQ(ls, 2u);     // reset on a new line, then the font's
  // Without clipping the whole run counts and the overflow clears.
  x = 0, sp = -2, over = 30;
  MeasureText(f, T("ABCDA"), 5, &x, r, &sp, &ls, &over, true, true);
  EXPECT_EQ(x, 15);
  EXPECT_EQ(over, 30u);
  // A run that fits clears the overflow position.
  x = 0, sp = -2, over = 30;
  MeasureText(f, T("ABC"), 3, &x, r, &sp, &ls, &over, false, true);
  EXPECT_EQ(x, 8);
  EXPECT_EQ(over, 0u);
  // Largest line spacing: kept when larger, unless the line is new.
  BlockFont wide(1, 1);
  ls = 5;
  MeasureText(wide, T("A"), 1, &x, r, &sp, &ls, &over, false, false);
  EXPECT_EQ(ls, 5u);
  MeasureText(wide, T("A"), 1, &x, r, &sp, &ls, &over, false, true);
  EXPECT_EQ(ls, 1u);
}

TEST_F(TextTest, ClipKeepsTextInsideItsRectangle) {
  BlockFont f(0, 0, 4);
  trace_capture trace;
  const int level = trace_level();
  trace_set_level(1);
  // Clip columns 3..8 and rows above 2; text starts left of the clip.
  int32_t x = Draw(f, "DDD", 1, 0, false, {3, 0, 9, 2});
  trace_set_level(level);
  EXPECT_EQ(x, 13);
  EXPECT_EQ(Row(0), "...111111...............");
  EXPECT_EQ(Row(1), "...111111...............");
  EXPECT_EQ(Row(2), "........................");
  EXPECT_TRUE(trace.contains("error1\r"));
}

TEST_F(TextTest, TextAtTheSurfaceEdgesNeverWritesOutside) {
  // Guard bytes on both sides of a surface-sized copy: the surface's own
  // store is exactly its size, so drawing across every edge must land only
  // on pixels of the surface.
  BlockFont f(1, 0, 6);
  text_rect huge{-1000, -1000, 1000, 1000};
  for (int32_t x : {-30, -3, 20, 23, 24, 100}) {
    for (int32_t y : {-5, -1, 2, 3, 4}) {
      s_.Clear();
      int32_t px = x, py = y;
      DrawText(s_, f, T("ZZ"), 2, &px, &py, huge, false, 1, true, false, nullptr);
      uint32_t lit = 0;
      for (uint32_t i = 0; i < s_.Size(); ++i) lit += s_.Pixels()[i] != 0;
      // Count what should be visible: columns of two 26-wide glyphs with
      // a gap of 1, rows y..y+5, inside 24 x 4.
      uint32_t want = 0;
      for (int32_t cx = 0; cx < 24; ++cx)
        for (int32_t cy = 0; cy < 4; ++cy) {
          int32_t dx = cx - x;
          bool col = (dx >= 0 && dx < 26) || (dx >= 27 && dx < 53);
          want += col && cy >= y && cy < y + 6;
        }
      EXPECT_EQ(lit, want) << x << "," << y;
    }
  }
}

TEST_F(TextTest, FlashOffAndBackground) {
  BlockFont f(2);
  // Flash off without a background: nothing, but the position advances.
  EXPECT_EQ(Draw(f, "AB", 0, -2, true, {0, 0, 24, 4}, true), 5);
  EXPECT_EQ(Row(0), "........................");
  // With a background the gap and the glyph cells get it; flash off turns
  // the lit pixels to background as well.
  s_.m_dwTextBackground = 7;
  Draw(f, "AB", 0, -2, true);
  EXPECT_EQ(Row(0), "17711...................");
  s_.Clear();
  Draw(f, "AB", 0, -2, true, {0, 0, 24, 4}, true);
  EXPECT_EQ(Row(0), "77777...................");
  // The background stops at the clip's left edge and the bottom.
  s_.Clear();
  Draw(f, "AB", 0, -2, true, {2, 0, 24, 2}, true);
  EXPECT_EQ(Row(0), "..777...................");
  EXPECT_EQ(Row(2), "........................");
}

TEST_F(TextTest, FullJustificationTakesEachGlyphFromTheList) {
  BlockFont f(3);
  const int32_t xs[] = {0, 6, 20};
  int16_t counter = 1;  // the first glyph of the line was drawn by an earlier run
  text_glyph_xs full{xs, 3, &counter};
  int32_t x = Draw(f, "AB", 2, 3, false, {0, 0, 24, 4}, false, false, &full);
  EXPECT_EQ(counter, 3);
  EXPECT_EQ(x, 22);
  EXPECT_EQ(Row(0), "......1.............11..");
  // Moving text is never justified.
  s_.Clear();
  counter = 0;
  Draw(f, "A", 0, 3, false, {0, 0, 24, 4}, false, true, &full);
  EXPECT_EQ(counter, 0);
  EXPECT_EQ(Row(0), "...1....................");
}

TEST_F(TextTest, NothingIsDrawnInSimulation) {
  BlockFont f(1);
  SetVol(vol::dmsControlMode, 6);
  EXPECT_EQ(Draw(f, "AB", 0, 1, true), 4);
  for (uint32_t i = 0; i < s_.Size(); ++i) EXPECT_EQ(s_.Pixels()[i], 0);
}

TEST_F(TextTest, BuiltInLetterAtEveryDepth) {
  COrvelFont nema;
  ASSERT_TRUE(nema.Load("FW07X5_1_NEMA4.FNT"));
  const struct {
    uint8_t depth;
    uint32_t colour, read;
  } depths[] = {{1, 0x7FFF, 0x7C00}, {2, 0x03FF, 0x7F70}, {8, 0x00AB, 0xAB}, {15, 0x5A5A, 0x5A5A}};
  const char* a[] = {"..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#"};
  for (const auto& d : depths) {
    SCOPED_TRACE(int(d.depth));
    CSurface s;
    ASSERT_NE(s.Allocate(9, 8, d.depth), nullptr);
    s.m_dwTextForeground = d.colour;
    int32_t x = 2, y = 1;
    DrawText(s, nema, T("A"), 1, &x, &y, {0, 0, 8, 9}, false, -2, true, false, nullptr);
    EXPECT_EQ(x, 7);
    for (int32_t py = 0; py < 9; ++py)
      for (int32_t px = 0; px < 8; ++px) {
        bool lit = px >= 2 && px < 7 && py >= 1 && py < 8 && a[py - 1][px - 2] == '#';
        EXPECT_EQ(s.GetPixel(px, py), lit ? d.read : 0u) << px << "," << py;
      }
  }
}
