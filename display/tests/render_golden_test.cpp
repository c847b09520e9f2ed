// Golden pictures: MULTI pages rendered into the surface and compared pixel
// for pixel. '#' is a lit pixel of a monochrome surface; colour surfaces
// name their colours R(ed), G(reen), B(lue), W(hite), Y (amber).
#include <cstring>
#include <string>
#include <vector>

#include "display/tests/render_fixture.h"
#include "frame/trace/trace.h"

namespace {

const std::map<uint32_t, char> kColours = {
    {0x001F, 'R'}, {0x03E0, 'G'}, {0x7C00, 'B'}, {0x7FFF, 'W'}, {0x02DF, 'Y'}};

}  // namespace

TEST_F(RenderTest, LineJustification) {
  struct {
    const char* multi;
    uint32_t width;
    Picture picture;
  } cases[] = {
      {"AB", 11, {".#..##.....",
                  "#.#.#.#....",
                  "###.##.....",
                  "#.#.#.#....",
                  "#.#.##....."}},
      {"[jl3]AB", 11, {"...#..##...",
                       "..#.#.#.#..",
                       "..###.##...",
                       "..#.#.#.#..",
                       "..#.#.##..."}},
      {"[jl4]AB", 11, {".....#..##.",
                       "....#.#.#.#",
                       "....###.##.",
                       "....#.#.#.#",
                       "....#.#.##."}},
      // Room 5 over two gaps: 2 each, the odd pixel to the last gap.
      {"[jl5]AIC", 12, {".#...#....##",
                        "#.#..#...#..",
                        "###..#...#..",
                        "#.#..#...#..",
                        "#.#..#....##"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.multi);
    Sign(c.width, 5);
    ASSERT_TRUE(Show(c.multi));
    EXPECT_EQ(Shot(), c.picture);
  }
}

TEST_F(RenderTest, PageJustification) {
  struct {
    const char* multi;
    int top;
  } cases[] = {{"[jp2]I", 0}, {"[jp3]I", 2}, {"[jp4]I", 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.multi);
    Sign(3, 9);
    ASSERT_TRUE(Show(c.multi));
    Picture expected(9, "...");
    for (int y = c.top; y < c.top + 5; ++y) expected[y] = "#..";
    EXPECT_EQ(Shot(), expected);
  }
}

TEST_F(RenderTest, TwoCentredLinesInTheMiddle) {
  Sign(7, 13);
  ASSERT_TRUE(Show("[jp3][jl3]AB[nl]C"));
  EXPECT_EQ(Shot(), (Picture{".......",
                             ".#..##.",
                             "#.#.#.#",
                             "###.##.",
                             "#.#.#.#",
                             "#.#.##.",
                             ".......",  // the line spacing of the font
                             "...##..",
                             "..#....",
                             "..#....",
                             "..#....",
                             "...##..",
                             "......."}));
}

TEST_F(RenderTest, PagesFollowEachOther) {
  Sign(7, 5);
  ASSERT_TRUE(Show("[jl3]A[np][jl4]B"));
  EXPECT_EQ(Shot(), (Picture{"...#...",
                             "..#.#..",
                             "..###..",
                             "..#.#..",
                             "..#.#.."}));
  ASSERT_TRUE(Next());
  EXPECT_EQ(Shot(), (Picture{"....##.",
                             "....#.#",
                             "....##.",
                             "....#.#",
                             "....##."}));
  EXPECT_FALSE(Next());  // the message has no third page
}

TEST_F(RenderTest, ColourRectangleOnAPageBackground) {
  Sign(6, 4, 15);
  FullColourModules();
  ASSERT_TRUE(Show("[pb3][cr2,2,3,2,1]"));
  EXPECT_EQ(Shot(kColours), (Picture{"GGGGGG",
                                     "GRRRGG",
                                     "GRRRGG",
                                     "GGGGGG"}));
}

TEST_F(RenderTest, FlashingTextInBothPhases) {
  Sign(9, 5);
  const Picture on{".#..##...",
                   "#.#.#.#..",
                   "###.##...",
                   "#.#.#.#..",
                   "#.#.##..."};
  const Picture off{"....##...",
                    "....#.#..",
                    "....##...",
                    "....#.#..",
                    "....##..."};
  // One second on, one off at 2 frames a second: two frames each.
  ASSERT_TRUE(Show("[flt10o10]A[/fl]B"));
  std::vector<Picture> frames{Shot()};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(Redraw());
    frames.push_back(Shot());
  }
  EXPECT_EQ(frames, (std::vector<Picture>{on, on, off, off, on}));

  // Off phase first.
  ASSERT_TRUE(Show("[flo10t10]A[/fl]B"));
  EXPECT_EQ(Shot(), off);
  ASSERT_TRUE(Redraw());
  ASSERT_TRUE(Redraw());
  EXPECT_EQ(Shot(), on);
}

TEST_F(RenderTest, CircularMovingTextOverSeveralFrames) {
  Sign(8, 5);
  // The text is 8 wide (a leading gap and "AB"); one step of 1 pixel a frame.
  ASSERT_TRUE(Show("[mvcl8,1,5,AB]"));
  std::vector<Picture> frames{Shot()};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(Redraw());
    frames.push_back(Shot());
  }
  EXPECT_EQ(frames, (std::vector<Picture>{
                        {".#..##..",
                         "#.#.#.#.",
                         "###.##..",
                         "#.#.#.#.",
                         "#.#.##.."},
                        {"#..##...",
                         ".#.#.#.#",
                         "##.##..#",
                         ".#.#.#.#",
                         ".#.##..#"},
                        {"..##...#",
                         "#.#.#.#.",
                         "#.##..##",
                         "#.#.#.#.",
                         "#.##..#."},
                    }));
  // After a whole turn the first frame comes back.
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(Redraw());
  EXPECT_EQ(Shot(), frames[0]);
}

TEST_F(RenderTest, EmptyMovingTextStandsStill) {
  Sign(10, 5);
  const Picture expected(5, "........#.");
  for (const char* multi : {"[mvcl8,1,5,]I", "[mvcr8,1,5,]I", "[mvl2l8,1,5,]I", "[mvl2r8,1,5,]I"}) {
    SCOPED_TRACE(multi);
    ASSERT_TRUE(Show(multi));
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(Shot(), expected);
      ASSERT_TRUE(Redraw());
    }
    EXPECT_EQ(msg_->m_moving[0].text_width, 0);
  }
}

TEST_F(RenderTest, MonochromeGraphic) {
  Sign(6, 5);
  SetNv(nv::dmsGraphicNumber(0), 7);
  SetNv(nv::dmsGraphicStatus(0), 4);
  SetNv(nv::dmsGraphicWidth(0), 4);
  SetNv(nv::dmsGraphicHeight(0), 3);
  SetNv(nv::dmsGraphicID(0), 0x1234);
  SetNv(nv::dmsGraphicType(0), 1);
  SetNvBytes(nv::dmsGraphicBitmap(0, 0), {0x96, 0x90});  // 1001 0110 1001
  ASSERT_TRUE(Show("[g7,2,2]"));
  EXPECT_EQ(Shot(), (Picture{"......",
                             ".#..#.",
                             "..##..",
                             ".#..#.",
                             "......"}));
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(0)), 5u);  // in use
}

TEST_F(RenderTest, ColourGraphicWithATransparentPixel) {
  Sign(4, 2, 15);
  FullColourModules();
  SetNv(nv::dmsGraphicNumber(1), 8);
  SetNv(nv::dmsGraphicStatus(1), 6);
  SetNv(nv::dmsGraphicWidth(1), 3);
  SetNv(nv::dmsGraphicHeight(1), 1);
  SetNv(nv::dmsGraphicID(1), 0x42);
  SetNv(nv::dmsGraphicType(1), 4);
  SetNv(nv::dmsGraphicTransparentEnabled(1), 1);
  SetNvBytes(nv::dmsGraphicTransparentColor(1), {0x00, 0x00, 0xF8});  // blue
  // Pixels as blue, green, red bytes: red, white, blue.
  SetNvBytes(nv::dmsGraphicBitmap(1, 0), {0x00, 0x00, 0xF8, 0xF8, 0xF8, 0xF8, 0xF8, 0x00, 0x00});
  ASSERT_TRUE(Show("[pb3][g8,1,1]"));
  EXPECT_EQ(Shot(kColours), (Picture{"RWGG",
                                     "GGGG"}));
  EXPECT_EQ(Nv(nv::dmsGraphicStatus(1)), 6u);  // permanent stays permanent
}

TEST_F(RenderTest, BitmapFileGraphic) {
  // A 24-bit file 2 x 1: red, blue; the row padded to 8 bytes.
  static std::vector<uint8_t> file(54 + 8, 0);
  file[0] = 'B';
  file[1] = 'M';
  file[10] = 54;
  file[14] = 40;
  file[18] = 2;
  file[22] = 1;
  file[26] = 1;
  file[28] = 24;
  const uint8_t pixels[6] = {0x00, 0x00, 0xF8, 0xF8, 0x00, 0x00};
  std::memcpy(file.data() + 54, pixels, sizeof pixels);
  g_multi_hooks.file_exists = [](const char* name) { return std::strcmp(name, "Bitmaps/pic.bmp") == 0; };
  g_render_hooks.file_contents = [](const char* name, const uint8_t** data, uint32_t* size) {
    if (std::strcmp(name, "Bitmaps/pic.bmp") != 0) return false;
    *data = file.data();
    *size = static_cast<uint32_t>(file.size());
    return true;
  };
  Sign(4, 3, 15);
  ASSERT_TRUE(Show("[ms11,g,1,1,pic.bmp]"));
  EXPECT_EQ(Shot(kColours), (Picture{"....",
                                     ".RB.",
                                     "...."}));
}

TEST_F(RenderTest, FieldsAreDrawnLikeText) {
  ASSERT_TRUE(Show("AB"));
  const Picture ab = Shot();
  ASSERT_TRUE(Show("[hc41]B"));
  EXPECT_EQ(Shot(), ab);
  SetVolBytes(vol::quorRealTimeData, "--A");
  ASSERT_TRUE(Show("[ms11,r,2,5]B"));
  EXPECT_EQ(Shot(), ab);
}

// The database may describe a larger sign than the surface holds (a
// configuration change not yet applied): nothing is drawn outside it.
TEST_F(RenderTest, DrawingStaysInsideASmallerSurface) {
  trace_capture quiet;
  ASSERT_TRUE(render_->SizeSurface(5, 8, 1));
  SetNv(nv::vmsSignWidthPixels, 40);
  SetNv(nv::vmsSignHeightPixels, 30);
  SetNv(nv::dmsGraphicNumber(0), 7);
  SetNv(nv::dmsGraphicStatus(0), 4);
  SetNv(nv::dmsGraphicWidth(0), 10);
  SetNv(nv::dmsGraphicHeight(0), 10);
  SetNv(nv::dmsGraphicType(0), 2);
  SetNvBytes(nv::dmsGraphicBitmap(0, 0), std::vector<uint8_t>(100, 1));
  for (const char* multi : {"[jl4]AB[nl]C", "[cr5,3,36,28,1]", "[g7,30,20]", "[g7,6,4]", "[jp4][mvcr30,2,5,ABC]"}) {
    SCOPED_TRACE(multi);
    Show(multi);
    Redraw();
    EXPECT_EQ(Shot().size(), 5u);
  }
  ASSERT_TRUE(Show("[g7,6,4]"));
  EXPECT_EQ(Shot(), (Picture{"........",
                             "........",
                             "........",
                             ".....###",
                             ".....###"}));
}
