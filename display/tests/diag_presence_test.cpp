// Module replies located on their lines, the presence scan over the
// EPLD's response bits, and the poll schedule that asks the lines in turn
// and declares silent modules lost.
#include <string>
#include <tuple>
#include <vector>

#include "display/task/display.h"
#include "display/tests/diag_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class DiagPresenceTest : public DiagTest {
 protected:
  void SetUp() override {
    DiagTest::SetUp();
    diag_.SetTestState(&test_running_, &display_state_);
    InThread([&] { sign_.PowerOn(); });
  }
  void TearDown() override {
    diag_.SetTestState(nullptr, nullptr);
    DiagTest::TearDown();
  }

  void Reopen() {
    InThread([&] {
      core_.DetachFace(&face_);
      face_.Close();
    });
    OpenFace();
  }
  void Scan(uint32_t n = 1) {
    InThread([&] {
      for (uint32_t i = 0; i < n; ++i) diag_.ScanModules();
    });
  }
  // Poll steps; the CAN frames they sent.
  std::vector<SentFrame> Poll(uint32_t n = 1, display_driver* driver = nullptr) {
    InThread([&] {
      for (uint32_t i = 0; i < n; ++i) diag_.PollModules(driver ? driver : &sign_);
    });
    return CanFrames(Packets());
  }
  // Failed pixels of the aux frame as (row, column), both from 1.
  std::vector<std::pair<int, int>> AuxMarks() {
    std::vector<std::pair<int, int>> out;
    disp::frame& f = diag_.m_Frames[diag_ksr7100::FRAME_AUX];
    for (uint16_t y = 0; y < f.Height(); ++y)
      for (uint16_t x = 0; x < f.Width(); ++x) {
        disp::pixel p(x, y);
        if (f.GetPixel(p) && p.value) out.emplace_back(y + 1, x + 1);
      }
    return out;
  }
  bool ModuleMarked(uint32_t column, uint32_t row) {
    disp::pixel p(static_cast<uint16_t>(column * desc_.module_width), static_cast<uint16_t>(row * desc_.module_height));
    return diag_.m_Frames[diag_ksr7100::FRAME_AUX].GetPixel(p) && p.value;
  }
  can_packet Frame(uint32_t channel, uint32_t id, const Bytes& data) {
    can_packet f;
    f.id = id;
    f.channel = static_cast<uint8_t>(channel);
    f.length = static_cast<uint8_t>(data.size());
    for (size_t i = 0; i < data.size(); ++i) f.data[i] = data[i];
    return f;
  }

  uint8_t test_running_ = 0;
  uint32_t display_state_ = CDisplay::STATE_PAGE_ON;
  CQ5DisplayDriver sign_;
};

// ------------------------------------------------------------------ replies

struct LocateCase {
  const char* face;
  uint32_t channel, id;
  uint8_t data0;
  bool found;
  uint32_t column, row;
};

TEST_F(DiagPresenceTest, RepliesAreLocatedOnlyWithinTheLinesModules) {
  const LocateCase cases[] = {
      // 2 rows of 12 modules, 12 a line.
      {"wide", 1, 0x50A, 0, true, 10, 0},
      {"wide", 1, 0x50A, 2, true, 1, 0},
      {"wide", 2, 0x50B, 0, true, 11, 1},
      {"wide", 1, 0x50C, 0, false, 0, 0},  // the line's 13th position
      {"wide", 1, 0x5FF, 1, false, 0, 0},
      {"wide", 0, 0x500, 0, false, 0, 0},
      {"wide", 10, 0x500, 0, false, 0, 0},
      {"wide", 3, 0x500, 0, false, 0, 0},  // no third row
      // 2 rows of 4, 3 a line: four lines.
      {"split", 4, 0x500, 0, true, 3, 1},
      {"split", 4, 0x501, 0, false, 0, 0},  // past the row
      {"split", 3, 0x502, 0, true, 2, 1},
      {"split", 2, 0x503, 0, false, 0, 0},  // past the line
      // The fourth module of row 0 is the second line's: the first line has
      // no position 3.
      {"split", 1, 0x503, 0, false, 0, 0},
      {"split", 2, 0x500, 0, true, 3, 0},
      // Two response words: the position is the identifier's low byte.
      {"two words", 1, 0x703, 5, true, 3, 0},
      {"two words", 2, 0x704, 0, false, 0, 0},
      // Modules 15 pixels wide count in thirds: 6 a line is 2 modules.
      {"thirds", 2, 0x501, 0, true, 3, 0},
      {"thirds", 2, 0x502, 0, false, 0, 0},
  };
  std::string open;
  for (const LocateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.face << " channel " << c.channel << " id 0x" << std::hex << c.id);
    if (open != c.face) {
      desc_.module_width = 5;
      desc_.width = 20;
      desc_.modules_per_row[0] = desc_.modules_per_row[1] = 4;
      desc_.two_response_words = 0;
      desc_.modules_per_line = 4;
      const std::string f = c.face;
      if (f == "wide") {
        desc_.width = 60;
        desc_.modules_per_row[0] = desc_.modules_per_row[1] = 12;
        desc_.modules_per_line = 12;
      } else if (f == "split") {
        desc_.modules_per_line = 3;
      } else if (f == "two words") {
        desc_.two_response_words = 1;
      } else if (f == "thirds") {
        desc_.module_width = 15;
        desc_.width = 60;
        desc_.modules_per_line = 6;
      }
      desc_.total_modules = static_cast<uint16_t>(desc_.modules_per_row[0] + desc_.modules_per_row[1]);
      if (open.empty())
        OpenFace();
      else
        Reopen();
      open = c.face;
    }
    uint32_t column = 99, row = 99;
    EXPECT_EQ(diag_.LocateModule(Frame(c.channel, c.id, {c.data0}), column, row), c.found);
    if (c.found) {
      EXPECT_EQ(column, c.column);
      EXPECT_EQ(row, c.row);
    }
  }
}

TEST_F(DiagPresenceTest, NoReplyReachesPastTheRecords) {
  // A short second row: 6 records.
  desc_.modules_per_row[1] = 2;
  desc_.total_modules = 6;
  desc_.modules_per_line = 4;
  OpenFace();
  for (uint32_t channel = 0; channel <= 10; ++channel)
    for (uint32_t p : {0, 1, 2, 3, 4, 5, 8, 31, 32, 63, 64, 255}) Reply(channel, 0x500 + p, {0, 21, 9, 0, 1});
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(diag_.m_Modules[i].revision, 9) << i;
  for (uint32_t i = 6; i < disp::diagnostics::MAX_MODULES; ++i) ASSERT_EQ(diag_.m_Modules[i].revision, 0) << i;
}

TEST_F(DiagPresenceTest, AFaceHasAtMost576Modules) {
  // Nine rows of 64 modules fit; 65 do not.
  desc_.height = 63;
  desc_.module_rows = 9;
  desc_.modules_per_line = 64;
  for (uint8_t across : {65, 64}) {
    SCOPED_TRACE(int(across));
    desc_.width = static_cast<uint16_t>(across * 5);
    for (uint8_t& n : desc_.modules_per_row) n = across;
    desc_.total_modules = static_cast<uint16_t>(9 * across);
    bool opened = false;
    InThread([&] { opened = face_.Open(&desc_); });
    EXPECT_EQ(opened, across == 64);
    EXPECT_EQ(diag_.IsOpen(), across == 64);
  }
  InThread([&] { ASSERT_TRUE(core_.AttachFace(&face_)); });
  // The last module of the last line is the last record.
  Reply(9, 0x500 + 31, {0, 21, 4, 0, 1});
  EXPECT_EQ(diag_.m_Modules[8 * 64 + 31].revision, 4);
  EXPECT_EQ(diag_.ModuleCount(), 576u);
  // A description whose total alone is too large is refused too.
  disp::face_description d = desc_;
  d.total_modules = 577;
  EXPECT_FALSE(disp::ValidateDescription(&d));
}

// ------------------------------------------------------------------ presence scan

TEST_F(DiagPresenceTest, AModuleIsMissingAtThe51stScanAndBackAfterItsCounterFalls) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  db_->SetValue(vol::pixelTestActivation.offset, 1, 3, db_->mib_v, 0);
  OpenFace();
  // Every module of both lines answers but the second of line 0.
  diag_.m_dwResponse[0][0] = 0xD;
  diag_.m_dwResponse[1][0] = 0xF;
  Scan(50);
  EXPECT_TRUE(AuxMarks().empty());
  EXPECT_EQ(diag_.m_byPresence[0][1], 50);
  Scan(1);
  const auto marks = AuxMarks();
  ASSERT_EQ(marks.size(), 35u);
  EXPECT_EQ(marks.front(), (std::pair<int, int>{1, 6}));
  EXPECT_EQ(marks.back(), (std::pair<int, int>{7, 10}));
  EXPECT_EQ(diag_.m_dwPresentMap[0] & 0x2, 0u);
  Scan(20);
  EXPECT_EQ(diag_.m_byPresence[0][1], 51) << "still missing: nothing more happens";

  // Back: 50 answers bring the counter down to 1, the next clears the
  // module and puts it back in the map.
  diag_.m_dwResponse[0][0] = 0xF;
  Scan(50);
  EXPECT_EQ(diag_.m_byPresence[0][1], 1);
  EXPECT_EQ(AuxMarks().size(), 35u);
  Scan(1);
  EXPECT_TRUE(AuxMarks().empty());
  EXPECT_EQ(diag_.m_dwPresentMap[0] & 0x2, 0x2u);
  EXPECT_EQ(diag_.m_byPresence[0][1], 0);
}

TEST_F(DiagPresenceTest, OnlyTheSelectedLineIsScannedUnlessAllLinesAreAsked) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  OpenFace();
  diag_.m_pDisplayDriver = &sign_;
  sign_.m_dwSelectedLine = 1;
  Scan(51);
  for (uint32_t c = 0; c < 4; ++c) {
    EXPECT_FALSE(ModuleMarked(c, 0));
    EXPECT_TRUE(ModuleMarked(c, 1));
  }
  db_->SetValue(vol::pixelTestActivation.offset, 1, 3, db_->mib_v, 0);
  Scan(51);
  for (uint32_t c = 0; c < 4; ++c) EXPECT_TRUE(ModuleMarked(c, 0));
}

TEST_F(DiagPresenceTest, DuringAPixelTestEveryScanDecides) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  db_->SetValue(vol::pixelTestActivation.offset, 1, 3, db_->mib_v, 0);
  OpenFace();
  test_running_ = 1;
  display_state_ = CDisplay::STATE_HALTED;
  diag_.m_dwResponse[0][0] = 0xE;
  diag_.m_dwResponse[1][0] = 0xF;
  Scan(1);
  EXPECT_TRUE(ModuleMarked(0, 0));
  EXPECT_FALSE(ModuleMarked(1, 0));
  EXPECT_EQ(diag_.m_dwPresentMap[0], 0xEu);
  EXPECT_EQ(diag_.m_byPresence[0][0], 0) << "halted for the test: the counter stands";
  display_state_ = CDisplay::STATE_PAGE_ON;
  Scan(300);
  EXPECT_EQ(diag_.m_byPresence[0][0], 255) << "held at its top";
  diag_.m_dwResponse[0][0] = 0xF;
  Scan(1);
  EXPECT_FALSE(ModuleMarked(0, 0));
  EXPECT_EQ(diag_.m_dwPresentMap[0], 0xFu);
}

TEST_F(DiagPresenceTest, TwoResponseWordsAndModulesOfThreePositions) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  db_->SetValue(vol::pixelTestActivation.offset, 1, 3, db_->mib_v, 0);
  desc_.two_response_words = 1;
  OpenFace();
  // Positions 0-31 are in a line's second word.
  diag_.m_dwResponse[0][0] = 0xF;
  diag_.m_dwResponse[0][1] = 0x7;
  diag_.m_dwResponse[1][1] = 0xF;
  Scan(51);
  EXPECT_EQ(AuxMarks().size(), 35u);
  EXPECT_TRUE(ModuleMarked(3, 0));

  // Modules 15 wide take positions 0, 3, 6 and 9; the fourth is silent.
  desc_.two_response_words = 0;
  desc_.module_type = 118;
  desc_.module_width = 15;
  desc_.width = 60;
  desc_.modules_per_line = 12;
  Reopen();
  diag_.m_Frames[diag_ksr7100::FRAME_AUX].Clear();
  diag_.m_dwResponse[0][0] = 0x49;
  diag_.m_dwResponse[1][0] = 0x249;
  Scan(51);
  const auto marks = AuxMarks();
  ASSERT_EQ(marks.size(), 7u * 15u);
  EXPECT_EQ(marks.front(), (std::pair<int, int>{1, 46}));
}

// ------------------------------------------------------------------ polling

TEST_F(DiagPresenceTest, ThePollAsksOneLineAtATimeAndMovesOnEachCycle) {
  SetNv(nv::quorFrameRate, 1);  // 5 a step: a cycle of 21 steps
  SetNv(nv::quorModTimeout, 300);
  OpenFace();
  std::vector<std::pair<uint32_t, SentFrame>> sent;
  for (uint32_t step = 1; step <= 41; ++step)
    for (const SentFrame& f : Poll()) sent.emplace_back(step, f);
  std::vector<std::pair<uint32_t, SentFrame>> want = {
      {4, {1, 16, {}}},       {8, {1, 33, {9, 0}}},  {12, {1, 33, {2, 0}}},
  };
  for (uint32_t ch = 1; ch <= 9; ++ch) want.push_back({14, {ch, 33, {0x1D, 0x01, 0x2C, 0x00}}});
  want.push_back({16, {1, 33, {18, 0}}});
  // The next cycle asks line 1; the time-out goes out from line 0's cycle
  // only.
  want.push_back({25, {2, 16, {}}});
  want.push_back({29, {2, 33, {9, 0}}});
  want.push_back({33, {2, 33, {2, 0}}});
  want.push_back({37, {2, 33, {18, 0}}});
  EXPECT_EQ(sent, want);
  EXPECT_EQ(diag_.m_dwPollLine, 1u);
  EXPECT_EQ(diag_.m_Modules[0].unanswered, 5);
  EXPECT_EQ(diag_.m_Modules[4].unanswered, 4) << "no time-out request counts on line 1";
}

TEST_F(DiagPresenceTest, ACycleTakesStepsByTheFrameRate) {
  OpenFace();
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 101}, {1, 21}, {3, 21}, {4, 51}, {6, 51}, {7, 101}};
  for (auto [rate, steps] : cases) {
    SCOPED_TRACE(rate);
    SetNv(nv::quorFrameRate, rate);
    diag_.m_wPollCounter = 0;
    const uint32_t line = diag_.m_dwPollLine;
    Poll(steps - 1);
    EXPECT_EQ(diag_.m_dwPollLine, line);
    Poll(1);
    EXPECT_EQ(diag_.m_dwPollLine, (line + 1) % 9);
  }
}

TEST_F(DiagPresenceTest, TheModuleTimeoutIsRaisedToTenAndWrittenBack) {
  SetNv(nv::quorFrameRate, 1);
  SetNv(nv::quorModTimeout, 5);
  OpenFace();
  trace_set_level(1);
  trace_capture trace;
  const auto sent = Poll(14);
  EXPECT_EQ(db_->GetValue(nv::quorModTimeout.offset, 2, db_->mib_nv, 0), 10u);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), (SentFrame{9, 33, {0x1D, 0x00, 0x0A, 0x00}}));
  EXPECT_TRUE(trace.contains("send mod timeout, 10\n"));
}

TEST_F(DiagPresenceTest, AModuleIsLostAtTheTenthUnansweredRequestToItsLine) {
  SetNv(nv::quorFrameRate, 1);
  OpenFace();
  // Module 1 of line 0 answered once; then nothing answers.
  Reply(1, 0x501, {0, 21, 3, 0, 1});
  Reply(1, 0x501, {0, 120, 0, 118, 0, 0, 35, 0});
  ASSERT_EQ(diag_.m_Modules[1].measurements_valid, 1);
  // Line 0 hears 5 requests a visit; the poll visits nine lines.
  Poll(21 * 9);
  EXPECT_EQ(diag_.m_dwPollLine, 0u);
  EXPECT_EQ(diag_.m_Modules[1].unanswered, 5);
  trace_capture trace;
  Poll(15);  // up to the time-out request at 70: nine
  EXPECT_EQ(diag_.m_Modules[1].unanswered, 9);
  EXPECT_EQ(diag_.m_Modules[1].lost, 0);
  EXPECT_FALSE(trace.contains("comm lost"));
  Poll(2);  // the request at 80 is the tenth
  EXPECT_EQ(diag_.m_Modules[1].lost, 1);
  EXPECT_EQ(diag_.m_Modules[1].unanswered, 10);
  EXPECT_EQ(diag_.m_Modules[1].identified, 0);
  EXPECT_EQ(diag_.m_Modules[1].status_code, 3);
  EXPECT_TRUE(trace.contains("mod r:1 c:2 comm lost\n"));
  EXPECT_TRUE(trace.contains("mod r:1 c:1 comm lost\n"));
  EXPECT_FALSE(trace.contains("mod r:2")) << "line 1 has heard four";
  int8_t t = 0;
  EXPECT_FALSE(diag_.GetModuleValue(1, t));
  Tick(1);
  disp::pixel p(1, 0);
  ASSERT_TRUE(diag_.m_Frames[diag_ksr7100::FRAME_TEMPERATURE].GetPixel(p));
  EXPECT_EQ(p.value, 0u) << "a lost module's values read 0";
  // The identity brings it back; further requests count from 0.
  Reply(1, 0x501, {0, 21, 3, 0, 1});
  EXPECT_EQ(diag_.m_Modules[1].lost, 0);
  EXPECT_EQ(diag_.m_Modules[1].unanswered, 0);
}

TEST_F(DiagPresenceTest, TheSubtypeIsAskedOfGen4ModulesUntilKnown) {
  SetNv(nv::quorFrameRate, 1);
  OpenFace();
  Reply(1, 0x500, {0, 114, 3, 0, 1});
  trace_set_level(1);
  trace_capture trace;
  auto sent = Poll(10);
  EXPECT_EQ(sent.back(), (SentFrame{1, 33, {12, 0}}));
  EXPECT_TRUE(trace.contains("request module subtype:114,0\n"));
  Reply(1, 0x500 + 8 * 0, {12, 0, 0, 0, 0, 110});
  Poll(11);
  sent = Poll(10 + 21);
  for (const SentFrame& f : sent) EXPECT_NE(f.data, (Bytes{12, 0}));
}

TEST_F(DiagPresenceTest, RealTimeDiagnosticsPauseForEachRequest) {
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  SetNv(nv::quorFrameRate, 1);
  OpenFace();
  diag_.m_byRealtimeReading = 0;
  trace_capture trace;
  Poll(1);
  EXPECT_EQ(sign_.m_byDiagnosticsEnabled, 1);
  EXPECT_EQ(diag_.m_byRealtimeReading, 1);
  EXPECT_TRUE(trace.contains("Mod Resp[8] 0x00000000\n"));
  Poll(3);  // the request at 20
  EXPECT_EQ(sign_.m_byDiagnosticsEnabled, 0);
  EXPECT_EQ(diag_.m_byRealtimeReading, 0);
  Poll(1);
  EXPECT_EQ(sign_.m_byDiagnosticsEnabled, 1);
  // At the wrap the driver moves on and the line just polled is selected.
  Poll(16);
  EXPECT_EQ(diag_.m_dwPollLine, 1u);
  EXPECT_EQ(sign_.m_dwSelectedLine, 0u);
}

TEST_F(DiagPresenceTest, NoRequestsWithoutTheSignDriverOrBelowClass4) {
  SetNv(nv::quorFrameRate, 1);
  desc_.module_class = 3;
  OpenFace();
  EXPECT_TRUE(Poll(21).empty());
  EXPECT_EQ(diag_.m_dwPollLine, 1u);
  desc_.module_class = 4;
  Reopen();
  InThread([&] {
    for (uint32_t i = 0; i < 42; ++i) diag_.PollModules(nullptr);
  });
  EXPECT_TRUE(CanFrames(Packets()).empty());
  EXPECT_EQ(diag_.m_Modules[0].unanswered, 0);
}

}  // namespace
