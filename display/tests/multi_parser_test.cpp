#include <gtest/gtest.h>

#include <string>

#include "frame/trace/trace.h"
#include "multi_fixture.h"

namespace {

using MultiParserTest = MultiTest;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST_F(MultiParserTest, CountsPagesByNewPageTags) {
  struct {
    std::string text;
    uint32_t pages;
  } cases[] = {
      {"", 0}, {"A", 1}, {"[np]", 2}, {"A[NP]B[nP]C", 3}, {"A[np]", 2}, {"[np][np]", 3}, {"[n p]", 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parser_.CountPages(Bytes(c.text), static_cast<uint32_t>(c.text.size())), c.pages) << c.text;
  EXPECT_EQ(parser_.CountPages(nullptr, 5), 0);

  // Counted in 8 bits: more pages than that stay at the largest count.
  std::string many;
  for (int i = 0; i < 300; ++i) many += "[np]";
  EXPECT_EQ(parser_.CountPages(Bytes(many), static_cast<uint32_t>(many.size())), 255);
}

TEST_F(MultiParserTest, ValidatesUpToSixPages) {
  EXPECT_EQ(Validate("[np]"), MULTI_OK);
  EXPECT_EQ(Validate(""), MULTI_OK);
  EXPECT_EQ(Validate("A[np]B[np]C[np]D[np]E[np]F"), MULTI_OK);
  EXPECT_EQ(Validate("A[np]B[np]C[np]D[np]E[np]F[np]G"), MULTI_TOO_MANY_PAGES);
  // A trailing new-page tag makes one more, empty page.
  EXPECT_EQ(Validate("A[np]B[np]C[np]D[np]E[np]F[np]"), MULTI_TOO_MANY_PAGES);
  EXPECT_EQ(Validate("A[np]B[np]C[np]D[np]E[np]"), MULTI_OK);
}

TEST_F(MultiParserTest, StrayClosingBracketIsAnUnsupportedTag) {
  EXPECT_EQ(Validate("ABC]"), MULTI_UNSUPPORTED_TAG);
  EXPECT_EQ(msg_->m_nErrorPosition, 3);
  EXPECT_EQ(Validate("]"), MULTI_UNSUPPORTED_TAG);
  EXPECT_EQ(msg_->m_nErrorPosition, 0);
}

TEST_F(MultiParserTest, DoubledBracketsAreLiteralRuns) {
  EXPECT_EQ(Validate("[[ABC]]"), MULTI_OK);
  EXPECT_EQ(rec_.Trace(), "1:[ABC 1:] 14 15");

  rec_.events.clear();
  Load("[[ABC]]");
  ASSERT_TRUE(parser_.ParsePage(&rec_, &Recorder::Callback, msg_.get(), 1));
  EXPECT_EQ(rec_.Trace(), "1:[ABC 1:] 14 15 17 | 1:[ABC 1:]");
}

TEST_F(MultiParserTest, EventSequenceOfASimplePage) {
  Load("[jl3]AB[nl]C");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.Trace(), "1:AB 14 16 1:C 14 15 17 | 1:AB 16 1:C");
  EXPECT_EQ(msg_->m_dwNextPageStart, 12u);
  EXPECT_EQ(msg_->m_byShownPage, 1);
  // The run keeps its position (offset of its first character + 1).
  EXPECT_EQ(rec_.last.arg.run.position, 12u);
  EXPECT_FALSE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(msg_->m_byShownPage, 0);
}

TEST_F(MultiParserTest, PagesFollowOneAnother) {
  Load("A[np]B[NP]");
  std::string shown;
  while (parser_.NextPage(msg_.get())) {
    for (const auto& e : rec_.events)
      if (e.kind == RE_TEXT && !e.measuring) shown += e.text;
    shown += "/";
    rec_.events.clear();
  }
  EXPECT_EQ(shown, "A/B//");  // the trailing [np] leaves an empty page
  EXPECT_TRUE(parser_.Restart(msg_.get()));
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(msg_->m_dwNextPageStart, 5u);

  // ParsePage finds the page by its new-page tags and leaves the cursor.
  rec_.events.clear();
  ASSERT_TRUE(parser_.ParsePage(&rec_, &Recorder::Callback, msg_.get(), 2));
  EXPECT_EQ(rec_.events.back().text, "B");
  EXPECT_EQ(msg_->m_dwNextPageStart, 5u);
  EXPECT_FALSE(parser_.ParsePage(&rec_, &Recorder::Callback, msg_.get(), 4));

  // The shown page redraws in place.
  rec_.events.clear();
  ASSERT_TRUE(parser_.CurrentPage(msg_.get()));
  EXPECT_EQ(rec_.Trace(), "1:A 14 15 17 | 1:A");
}

TEST_F(MultiParserTest, CallbackErrorsStopThePageWithTheirPosition) {
  // The renderer refuses the run "BC" at its own position.
  rec_.hook = [](CMessage* m) -> uint32_t {
    if (m->m_event.kind == RE_TEXT && m->m_event.arg.run.text[0] == 'B') {
      m->m_nErrorPosition = static_cast<int32_t>(m->m_event.arg.run.position);
      return MULTI_TEXT_TOO_BIG;
    }
    return MULTI_OK;
  };
  EXPECT_EQ(Validate("A[nl]BC[nl]D"), MULTI_TEXT_TOO_BIG);
  EXPECT_EQ(msg_->m_nErrorPosition, 6);

  // Without a position of its own the parser gives where the run ended.
  rec_.hook = [](CMessage* m) -> uint32_t {
    return m->m_event.kind == RE_TEXT && m->m_event.arg.run.text[0] == 'B' ? MULTI_TEXT_TOO_BIG : MULTI_OK;
  };
  EXPECT_EQ(Validate("A[nl]BC[nl]D"), MULTI_TEXT_TOO_BIG);
  EXPECT_EQ(msg_->m_nErrorPosition, 7);
  EXPECT_EQ(Validate("A[nl]BC"), MULTI_TEXT_TOO_BIG);
  EXPECT_EQ(msg_->m_nErrorPosition, 7);
}

TEST_F(MultiParserTest, OverlappingSegmentsAreTooBig) {
  // The renderer lays out a left segment that runs into the centred one.
  rec_.hook = [](CMessage* m) -> uint32_t {
    if (m->m_event.kind == RE_RECT_END) {
      line_record_s& l = m->m_lines[0][0];
      l.x_left = 0;
      l.w_left = 20;
      l.x_centre = 20;
      l.w_centre = 10;
    }
    return MULTI_OK;
  };
  EXPECT_EQ(Validate("[jl2]ABCD[jl3]EF"), MULTI_TEXT_TOO_BIG);
  // A page that ends with [np] is checked as well.
  EXPECT_EQ(Validate("[jl2]ABCD[jl3]EF[np]G"), MULTI_TEXT_TOO_BIG);

  rec_.hook = [](CMessage* m) -> uint32_t {
    if (m->m_event.kind == RE_RECT_END) {
      line_record_s& l = m->m_lines[0][0];
      l.x_left = 0;
      l.w_left = 20;
      l.x_centre = 21;
      l.w_centre = 10;
    }
    return MULTI_OK;
  };
  EXPECT_EQ(Validate("[jl2]ABCD[jl3]EF"), MULTI_OK);
}

TEST_F(MultiParserTest, LinesBelowTheirRectangleAreTooTall) {
  trace_capture capture;
  trace_set_level(1);
  rec_.hook = [](CMessage* m) -> uint32_t {
    if (m->m_event.kind == RE_TEXT) {
      m->m_lines[0][0].top = 30;
      m->m_lines[0][0].height = 7;
    }
    return MULTI_OK;
  };
  EXPECT_EQ(Validate("A"), MULTI_TEXT_TOO_BIG);
  EXPECT_TRUE(capture.contains("CMultiParser::Validate: Error Message too tall\n"));
  trace_set_level(0);
}

TEST_F(MultiParserTest, MovingTextRunsBetweenItsTagAndItsBracket) {
  EXPECT_EQ(Validate("X[mvcl20,2,5,AB[[]C"), MULTI_OK);
  EXPECT_EQ(rec_.Trace(), "1:X 12 1:AB 1:[ 11 1:C 14 15");

  Load("X[mvcl20,2,5,AB[[]C");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  const moving_text_s& r = msg_->m_moving[0];
  EXPECT_EQ(r.mode, 1);
  EXPECT_EQ(r.window_width, 20);
  EXPECT_EQ(r.step, 2);
  EXPECT_EQ(r.frames_per_step, 1);  // 5 tenths at 2 frames a second
  // The window's width joins the line's centred segment.
  EXPECT_EQ(msg_->m_lines[0][0].w_centre, 20);
  EXPECT_TRUE(msg_->m_lines[0][0].HasMoving());

  // Tags inside the moving text are tags; its own "]" ends it.
  g_multi_hooks.frame_rate = [] { return uint8_t(10); };
  rec_.events.clear();
  Load("[jl2][mvl3r50,4,5,A[fo2]B]");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  EXPECT_EQ(rec_.Trace(), "12 1:A 1:B 11 14 15 17 | 12 1:A 1:B 11");
  const moving_text_s& l = msg_->m_moving[0];
  EXPECT_EQ(l.mode, 4);
  EXPECT_EQ(l.pause_count, 3);
  EXPECT_EQ(l.step, 4);
  EXPECT_EQ(l.frames_per_step, 5);
  EXPECT_EQ(msg_->m_lines[0][0].w_left, 50);
}

TEST_F(MultiParserTest, BothPassesSeeTheSameAttributes) {
  // The font, colours and justification reached at the end of the
  // measuring pass do not leak into the start of the drawing pass.
  Load("A[fo2][cf1][jl4]B");
  ASSERT_TRUE(parser_.NextPage(msg_.get()));
  std::vector<uint8_t> measured, drawn;
  for (const auto& e : rec_.events)
    if (e.kind == RE_TEXT) (e.measuring ? measured : drawn).push_back(e.font);
  EXPECT_EQ(measured, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(drawn, measured);
  // What the page ends with carries into the next one.
  EXPECT_EQ(msg_->m_byFont, 2);
  EXPECT_EQ(msg_->m_dwForeground, 0x001Fu);
  EXPECT_EQ(msg_->m_byLineJustification[0], 4);
}

TEST_F(MultiParserTest, PageBackgroundGoesBeforeEverythingDrawn) {
  EXPECT_EQ(Validate("[pb1]A"), MULTI_OK);
  struct {
    const char* text;
    int32_t position;
  } cases[] = {{"A[pb1]", 1}, {"[g7][pb1]", 4}, {"[cr1,1,5,5,1][pb1]", 13}, {"[f1][pb1]", 4}, {"[hc41][pb]", 6}};
  for (const auto& c : cases) {
    EXPECT_EQ(Validate(c.text), MULTI_TAG_CONFLICT) << c.text;
    EXPECT_EQ(msg_->m_nErrorPosition, c.position) << c.text;
  }
}

TEST_F(MultiParserTest, FlashPhasesAdvanceOneFramePerStep) {
  g_multi_hooks.frame_rate = [] { return uint8_t(10); };
  msg_->m_byFlashMode = 1;
  msg_->m_byFlashOn = 3;
  msg_->m_byFlashOff = 2;
  std::vector<uint32_t> phases;
  for (int i = 0; i < 8; ++i) {
    msg_->m_nFlash = 0;
    FlashStep(msg_.get());
    phases.push_back(msg_->m_flash[0].phase);
  }
  EXPECT_EQ(phases, (std::vector<uint32_t>{2, 2, 2, 1, 1, 2, 2, 2}));

  // An off phase of no length shows for a single frame, not for 255.
  msg_->Reset(0);
  msg_->m_byFlashOff = 0;
  phases.clear();
  for (int i = 0; i < 6; ++i) {
    msg_->m_nFlash = 0;
    FlashStep(msg_.get());
    phases.push_back(msg_->m_flash[0].phase);
  }
  EXPECT_EQ(phases, (std::vector<uint32_t>{2, 2, 2, 1, 2, 2}));

  // Off phase first. The 25th region steps the last record and is left
  // pointing past it, so that it reads its own record; further regions
  // share that record without stepping it again.
  msg_->Reset(0);
  msg_->m_byFlashMode = 2;
  msg_->m_byFlashOff = 2;
  msg_->m_nFlash = MSG_FLASH - 1;
  FlashStep(msg_.get());
  EXPECT_EQ(msg_->m_nFlash, MSG_FLASH);
  EXPECT_EQ(msg_->m_flash[MSG_FLASH - 1].phase, 1u);
  const uint8_t frames = msg_->m_flash[MSG_FLASH - 1].frames;
  FlashStep(msg_.get());
  EXPECT_EQ(msg_->m_nFlash, MSG_FLASH);
  EXPECT_EQ(msg_->m_flash[MSG_FLASH - 1].frames, frames);
  EXPECT_EQ(msg_->m_flash[MSG_FLASH - 2].phase, 0u);
}

TEST_F(MultiParserTest, FlashTagsStepTheirRecordWhileDrawing) {
  g_multi_hooks.frame_rate = [] { return uint8_t(10); };
  Load("[flt2o2]A[/fl]B");
  std::vector<uint32_t> phases;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(parser_.CurrentPage(msg_.get()));
    phases.push_back(msg_->m_flash[0].phase);
  }
  EXPECT_EQ(phases, (std::vector<uint32_t>{2, 2, 1, 1, 2}));
  EXPECT_EQ(msg_->m_byFlashMode, 0);
}

TEST_F(MultiParserTest, MissingArgumentsParseNothing) {
  EXPECT_FALSE(parser_.ParsePage(&rec_, &Recorder::Callback, msg_.get(), 1));  // no text
  EXPECT_TRUE(parser_.CurrentPage(msg_.get()));
  EXPECT_FALSE(parser_.NextPage(nullptr));
  EXPECT_FALSE(parser_.Restart(nullptr));
  Load("A");
  EXPECT_FALSE(parser_.ParsePage(nullptr, &Recorder::Callback, msg_.get(), 1));
  EXPECT_FALSE(parser_.ParsePage(&rec_, nullptr, msg_.get(), 1));
  EXPECT_TRUE(rec_.events.empty());
}

}  // namespace
