// Layout by the render callback: segment widths and positions, vertical
// placement, full justification, moving-text offsets frame by frame, the
// record limits, and the layout errors with their positions and traces.
#include <string>

#include "display/tests/render_fixture.h"
#include "frame/trace/trace.h"

class RenderLayoutTest : public RenderTest {
 protected:
  // Line records of rectangle 0 as the measuring pass leaves them (the
  // drawing pass starts its segment widths afresh).
  struct spy {
    CRender* render;
    line_record_s lines[4];
    static uint32_t Callback(void* context, CMessage* m) {
      auto* self = static_cast<spy*>(context);
      if (m->m_event.kind == RE_MEASURED)
        for (int i = 0; i < 4; ++i) {
          const line_record_s& l = m->m_lines[0][i];
          line_record_s& c = self->lines[i];
          c.x_left = l.x_left;
          c.x_centre = l.x_centre;
          c.x_right = l.x_right;
          c.x = l.x;
          c.w_left = l.w_left;
          c.w_centre = l.w_centre;
          c.w_right = l.w_right;
          c.top = l.top;
          c.height = l.height;
        }
      return CRender::OnFieldFound(self->render, m);
    }
  };

  // Draws the first page through the spy.
  bool Measure(const std::string& text) {
    spy_.render = render_.get();
    msg_->m_defaults.Load();
    parser_.Load(&spy_, &spy::Callback, msg_.get(), reinterpret_cast<const uint8_t*>(text.data()),
                 static_cast<uint32_t>(text.size()));
    return parser_.ParsePage(&spy_, &spy::Callback, msg_.get(), 1);
  }

  uint32_t Validate(const std::string& text) {
    return render_->Validate(&parser_, msg_.get(), reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint32_t>(text.size()));
  }

  // One event straight to the callback, as in the drawing pass of a page
  // already started.
  uint32_t Event(uint32_t kind) {
    msg_->m_byMeasuring = 0;
    msg_->m_byPageStarted = 1;
    msg_->m_event.Clear();
    msg_->m_event.kind = kind;
    return CRender::OnFieldFound(render_.get(), msg_.get());
  }

  spy spy_{};
};

TEST_F(RenderLayoutTest, SegmentsOfALine) {
  Sign(96, 32);
  ASSERT_TRUE(Measure("[fo2][jl3]AB"));
  EXPECT_EQ(spy_.lines[0].w_centre, 11);
  EXPECT_EQ(spy_.lines[0].x_centre, 42);
  EXPECT_EQ(spy_.lines[0].x, 42);

  // Left, centre and right: the gap before the centre run is taken off the
  // centre width and again off the right width.
  ASSERT_TRUE(Measure("[fo2][jl2]A[jl3]B[jl4]A"));
  EXPECT_EQ(spy_.lines[0].w_left, 5);
  EXPECT_EQ(spy_.lines[0].w_centre, 5);
  EXPECT_EQ(spy_.lines[0].w_right, 6);
  EXPECT_EQ(spy_.lines[0].x_centre, 45);
  EXPECT_EQ(spy_.lines[0].x_right, 90);
  EXPECT_EQ(spy_.lines[0].x, 0);
}

TEST_F(RenderLayoutTest, SegmentsWiderThanTheRectangleFallBackToLeft) {
  Sign(16, 7);
  ASSERT_TRUE(Measure("[fo2][jl3][mvcl20,1,5,AB]"));
  EXPECT_EQ(spy_.lines[0].x, 0);
  EXPECT_EQ(spy_.lines[0].x_left, 0);
  EXPECT_EQ(spy_.lines[0].x_centre, 0);  // never placed at (16 - 20) / 2
}

TEST_F(RenderLayoutTest, MiddleOfTheSignByKindOfSign) {
  Sign(96, 32);
  ASSERT_TRUE(Show("[fo2][jp3]A"));
  EXPECT_EQ(Line(0, 0).top, 12);

  // Character rows of 7 pixels: the line goes up to the row boundary.
  SetNv(nv::dmsSignType, 4);
  ASSERT_TRUE(Show("[fo2][jp3]A"));
  EXPECT_EQ(Line(0, 0).top, 7);
}

TEST_F(RenderLayoutTest, TopOfARectangleOnMatrixSigns) {
  // Two character rows of 7 pixels; the second rectangle starts at row 2.
  Sign(15, 14);
  for (uint32_t type : {4u, 5u}) {
    SCOPED_TRACE(type);
    SetNv(nv::dmsSignType, type);
    ASSERT_TRUE(Show("[jp2]A[tr1,8,15,7][jp2]B"));
    EXPECT_EQ(Line(0, 0).top, 2);  // the 5-pixel font on the bottom of row 1
    EXPECT_EQ(Line(1, 0).top, 9);  // within its own rectangle, not over row 1
    const Picture shot = Shot();
    EXPECT_EQ(shot[2].substr(0, 3), ".#.");
    EXPECT_EQ(shot[9].substr(0, 3), "##.");
  }
}

TEST_F(RenderLayoutTest, DownloadedFontGoesByItsNumber) {
  // A font loaded into row 3 with number 30, and another row numbered 4.
  Font(3, 30, 5, 1, 1);
  Glyph(3, 'A', {"###", "#.#", "###", "#.#", "###"});
  Font(4, 4, 5, 1, 1);
  Glyph(4, 'A', {"#..", "#..", "#..", "#..", "###"});
  Sign(15, 7);
  ASSERT_TRUE(Show("[fo30]A"));
  EXPECT_EQ(Shot()[0].substr(0, 4), "###.");
  ASSERT_TRUE(Show("[fo4]A"));
  EXPECT_EQ(Shot()[0].substr(0, 4), "#...");
  // Font 30 has no "B".
  EXPECT_EQ(Validate("[fo30]AB"), MULTI_CHAR_NOT_DEFINED);
  EXPECT_EQ(msg_->m_nErrorPosition, 7);
}

TEST_F(RenderLayoutTest, FullJustificationSpreadsTheRemainder) {
  Sign(30, 7);
  ASSERT_TRUE(Show("[fo2][jl5]ABAB"));
  const line_record_s& line = Line(0, 0);
  ASSERT_EQ(line.glyph_x.Count(), 4u);
  EXPECT_EQ(line.glyph_x[0], 0);
  EXPECT_EQ(line.glyph_x[1], 8);
  EXPECT_EQ(line.glyph_x[2], 16);
  EXPECT_EQ(line.glyph_x[3], 25);
}

TEST_F(RenderLayoutTest, CircularLeftMovesAStepAFrameAndWraps) {
  moving_text_s& r = msg_->m_moving[0];
  r.Clear();
  r.mode = 1;
  r.window_width = 20;
  r.text_width = 50;
  r.step = 2;
  r.frames_per_step = 1;
  for (int frame = 1; frame <= 26; ++frame) {
    msg_->m_nMoving = 0;
    msg_->m_nTextX = 10;
    ASSERT_EQ(Event(RE_MOVING_START), MULTI_OK);
    EXPECT_EQ(msg_->m_nMovingX, 10 - (2 * frame) % 50) << "frame " << frame;
    EXPECT_EQ(msg_->m_nTextX, 30);  // the text after the window
  }
}

TEST_F(RenderLayoutTest, MovingModesFrameByFrame) {
  struct {
    const char* name;
    uint8_t mode, pause, step, frames;
    int32_t text, window;
    std::vector<int32_t> x;  // moving origin x of frames 1, 2, ...
  } cases[] = {
      // Linear left: from the window's left edge until the end of the text
      // shows, a pause of 2 frames, then back to the start.
      {"linear left", 3, 2, 5, 1, 30, 20, {0, -5, -10, -10, -10, 0, -5}},
      // Linear right: the end of the text first, moving right to 1 and
      // waiting there.
      {"linear right", 4, 1, 4, 1, 30, 20, {-10, -6, -2, 2, 2, -10}},
      // Circular right starts one pixel short of the text's end.
      {"circular right", 2, 0, 3, 1, 30, 20, {-8, -5, -2, 1, 4, 7, 10}},
      // Two frames a step.
      {"circular left, slow", 1, 0, 1, 2, 30, 20, {-1, -1, -2, -2, -3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    moving_text_s& r = msg_->m_moving[0];
    r.Clear();
    r.mode = c.mode;
    r.pause_count = c.pause;
    r.step = c.step;
    r.frames_per_step = c.frames;
    r.text_width = c.text;
    r.window_width = c.window;
    for (size_t i = 0; i < c.x.size(); ++i) {
      msg_->m_nMoving = 0;
      msg_->m_nTextX = 0;
      Event(RE_MOVING_START);
      EXPECT_EQ(msg_->m_nMovingX, c.x[i]) << "frame " << i + 1;
    }
  }
}

TEST_F(RenderLayoutTest, RecordsStopAtTheLastLineAndRectangle) {
  for (int i = 0; i < 25; ++i) Event(RE_NEW_LINE);
  EXPECT_EQ(msg_->m_nLine, MSG_LINES - 1);
  for (int i = 0; i < 15; ++i) Event(RE_NEW_RECT);
  EXPECT_EQ(msg_->m_nRect, MSG_RECTANGLES - 1);
  for (int i = 0; i < 25; ++i) Event(RE_MOVING_END);
  EXPECT_EQ(msg_->m_nMoving, MSG_MOVING - 1);
  for (int i = 0; i < 25; ++i) Event(RE_COLOUR_RECT);
  EXPECT_EQ(msg_->m_nColourRects, MSG_COLOUR_RECTS);
}

TEST_F(RenderLayoutTest, LayoutErrors) {
  SetNv(nv::fontNumber(2), 3);  // a font without height
  SetNv(nv::fontStatus(2), 4);
  trace_capture quiet;
  struct {
    const char* multi;
    uint32_t sign_type;
    uint32_t error;
    int32_t position;  // -1: not checked; else the offset of the character at fault
  } cases[] = {
      {"[jl3]A[jl2]B", 6, MULTI_TAG_CONFLICT, 11},   // left after centre: at the run
      {"[jl4]A[jl3]B", 6, MULTI_TAG_CONFLICT, 11},   // centre after right
      {"[jl5]AB[jl2]C", 6, MULTI_TAG_CONFLICT, 12},  // full mixed
      {"[jl5]AB", 4, MULTI_UNSUPPORTED_TAG, 5},      // full on a character-matrix sign
      {"[fo3]A", 6, MULTI_FONT_NOT_DEFINED, 5},
      {"ABCABC", 6, MULTI_TEXT_TOO_BIG, 3},          // the first character that does not fit
      {"[jl2]AB[jl4]CABC", 6, MULTI_TEXT_TOO_BIG, 13},
      {"A[nl]B", 6, MULTI_TEXT_TOO_BIG, 5},          // the line that does not fit
      {"AB d", 6, MULTI_CHAR_NOT_DEFINED, 3},        // no "d" in the font
      {"[jl2]ABC[nl]ABd", 6, MULTI_CHAR_NOT_DEFINED, 14},
      {"[hc41][hc64]", 6, MULTI_CHAR_NOT_DEFINED, 6},
      {"[hc141]", 6, MULTI_CHAR_NOT_DEFINED, 0},     // beyond the font's codes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.multi);
    SetNv(nv::dmsSignType, c.sign_type);
    EXPECT_EQ(Validate(c.multi), c.error);
    if (c.position >= 0) {
      EXPECT_EQ(msg_->m_nErrorPosition, c.position);
    }
  }
}

TEST_F(RenderLayoutTest, LayoutErrorsAreTraced) {
  trace_set_level(1);
  trace_capture trace;
  EXPECT_EQ(Validate("ABCABC"), MULTI_TEXT_TOO_BIG);
  EXPECT_TRUE(trace.contains("CRender:OnFieldFound Error Message too long at 3\n"));
  EXPECT_EQ(Validate("A[nl]B"), MULTI_TEXT_TOO_BIG);
  EXPECT_TRUE(trace.contains("CRender:OnFieldFound Error Message too tall at 5\n"));
  // A line-matrix sign of 5-pixel lines cannot take the 7-pixel font.
  SetNv(nv::dmsSignType, 5);
  SetNv(nv::vmsCharacterHeightPixels, 5);
  EXPECT_EQ(Validate("[fo2]A"), MULTI_TEXT_TOO_BIG);
  EXPECT_TRUE(trace.contains("CRender::OnFieldFound: Error font height > line height at 5\n"));
  trace_set_level(0);
}

TEST_F(RenderLayoutTest, GraphicEventsNeedAReadyGraphic) {
  SetNv(nv::dmsGraphicNumber(3), 5);
  SetNv(nv::dmsGraphicStatus(3), 2);
  for (uint8_t number : {99, 5}) {
    msg_->m_byMeasuring = 0;
    msg_->m_byPageStarted = 1;
    msg_->m_event.Clear();
    msg_->m_event.kind = RE_GRAPHIC;
    msg_->m_event.arg.graphic.number = number;
    EXPECT_EQ(CRender::OnFieldFound(render_.get(), msg_.get()), MULTI_GRAPHIC_NOT_DEFINED);
    EXPECT_EQ(msg_->m_event.kind, RE_GRAPHIC);  // left as it was
  }
}

TEST_F(RenderLayoutTest, FontsInUseAreMarked) {
  ASSERT_TRUE(Show("A[fo2]B"));
  EXPECT_EQ(Nv(nv::fontStatus(0)), 5u);
  EXPECT_EQ(Nv(nv::fontStatus(1)), 5u);
}
