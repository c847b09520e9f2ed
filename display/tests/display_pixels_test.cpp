// Failed pixels in the display task: the failure rows and their details,
// the failed-module map, the pixel test's countdown and completion, the
// failed-pixel bitmap, the legibility ratio and the blanking rules with
// their trap.
#include <string>
#include <vector>

#include "display/core/module_link.h"
#include "display/tests/display_fixture.h"
#include "frame/peripheral/peripheral_trap.h"

namespace {

// Module diagnostics with result frames of their own, as the module bus's
// diagnostics keep them.
struct FrameDiagnostics : disp::diagnostics {
  bool quick = true;
  uint32_t starts = 0;
  disp::frame test, realtime;
  void Size(uint16_t height, uint16_t width) {
    test.Close();
    realtime.Close();
    test.Open(height, width, 0, 1);
    realtime.Open(height, width, 0, 1);
    m_pResults = &test;
    m_pAuxResults = &realtime;
  }
  bool QuickTestSupported() override { return quick; }
  bool StartPixelTest() override {
    ++starts;
    return diagnostics::StartPixelTest();
  }
};

void Mark(disp::frame& f, uint16_t x, uint16_t y, uint32_t value = 1) {
  disp::pixel p(x, y, value);
  f.SetPixel(p);
}

struct trap_s {
  uint32_t generic, specific;
  std::vector<std::vector<uint32_t>> oids;
  std::vector<uint8_t> types;
  std::string location;
  uint32_t time = 0;
};
std::vector<trap_s> g_traps;
void RecordTrap(uint32_t generic, uint32_t specific, uint32_t count, const peripheral_trap_binding* b) {
  trap_s t{generic, specific, {}, {}, {}, 0};
  for (uint32_t i = 0; i < count; ++i) {
    t.oids.emplace_back(b[i].oid, b[i].oid + b[i].oid_length);
    t.types.push_back(b[i].type);
    if (b[i].type == TRAP_VALUE_OCTETS) t.location.assign(reinterpret_cast<const char*>(b[i].value), b[i].length);
    if (b[i].type == TRAP_VALUE_COUNTER) std::memcpy(&t.time, b[i].value, 4);
  }
  g_traps.push_back(t);
}

class PixelsTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    display_->SetModuleLink(g_display_module_link.bus, g_display_module_link.stream, &diag_);
    g_traps.clear();
    peripheral_set_trap_sender(&RecordTrap);
  }
  void TearDown() override {
    peripheral_set_trap_sender(nullptr);
    DisplayTest::TearDown();
  }
  // A sign of height x width whose result frames fit it.
  void Sign(uint16_t height, uint16_t width) {
    Register(height, width);
    const disp::face_description& d = display_->FaceDescription(0);
    diag_.Size(d.height, d.width);
  }
  CSurface& Surface() { return g_render.Surface(); }
  uint32_t Row(uint32_t type, uint32_t index, char column) {
    switch (column) {
      case 'x': return Vol(vol::pixelFailureXLocation(type - 1, index));
      case 'y': return Vol(vol::pixelFailureYLocation(type - 1, index));
      case 's': return Vol(vol::pixelFailureStatus(type - 1, index));
      default: return Vol(vol::quorPixelFailureDetail((type - 1) * 500 + index));
    }
  }
  std::vector<uint8_t> VolVector(db_object o) {
    const std::string s = VolBytes(o);
    return std::vector<uint8_t>(s.begin(), s.end());
  }

  FrameDiagnostics diag_;
};

TEST_F(PixelsTest, FailureRowsHoldPositionStatusAndColourDetail) {
  Sign(7, 15);
  struct Case {
    uint32_t type;
    int32_t index;
    uint8_t colours;
    uint16_t x, y;
    uint32_t value;
    uint32_t detail;
  } cases[] = {
      {2, 0, 1, 0, 0, 1, 1},     // the first pixel-test row
      {2, 7, 2, 4, 6, 3, 5},     // red-green: both colours
      {2, 8, 1, 4, 6, 3, 3},     // monochrome: the value as it is
      {3, 499, 3, 14, 2, 7, 21}, // full colour, the last message-display row
      {3, 1, 3, 1, 1, 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    InThread([&] { display_->StorePixelFailure(c.type, c.index, c.colours, disp::pixel(c.x, c.y, c.value)); });
    EXPECT_EQ(Row(c.type, c.index, 'x'), c.x + 1u);
    EXPECT_EQ(Row(c.type, c.index, 'y'), c.y + 1u);
    EXPECT_EQ(Row(c.type, c.index, 's'), 20u);
    EXPECT_EQ(Row(c.type, c.index, 'd'), c.detail);
  }
  // Row 500 of the flat table is the first of type 2.
  EXPECT_EQ(db_->GetValue(4688 + 2 * 500, 2, db_->mib_v, 0), 1u);
  // Rows outside the type's 500 are not written.
  InThread([&] { display_->StorePixelFailure(2, 500, 1, disp::pixel(9, 9, 1)); });
  EXPECT_EQ(Row(3, 0, 'x'), 1u) << "as cleared at registration";

  // Clearing a type resets its rows and leaves the other's.
  SetVol(vol::dmsPixelFailureTestRows, 3);
  SetVol(vol::dmsPixelFailureMessageRows, 2);
  SetVol(vol::shortErrorStatus, 0x20);
  InThread([&] { display_->ClearPixelTestFailures(); });
  EXPECT_EQ(Row(2, 7, 'x'), 1u);
  EXPECT_EQ(Row(2, 7, 's'), 0u);
  EXPECT_EQ(Row(2, 7, 'd'), 0u);
  EXPECT_EQ(Row(3, 499, 's'), 20u);
  EXPECT_EQ(Vol(vol::dmsPixelFailureTestRows), 0u);
  EXPECT_EQ(Vol(vol::shortErrorStatus), 0x20u) << "message-display rows remain";
  InThread([&] { display_->ClearRealtimeFailures(); });
  EXPECT_EQ(Row(3, 499, 's'), 0u);
  EXPECT_EQ(Vol(vol::shortErrorStatus), 0u);
}

TEST_F(PixelsTest, RealtimeFailuresAreSwitchedOffListedAndMapped) {
  // 7 modules of 5 x 7 pixels a row, two rows.
  Sign(14, 35);
  ASSERT_EQ(display_->FaceDescription(0).total_modules, 14u);
  EXPECT_EQ(display_->ModuleOfPixel(12, 9), 9);
  EXPECT_EQ(display_->ModuleOfPixel(34, 0), 6);
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 1);
  // Two failed pixels of module 9 and one of module 0.
  Mark(diag_.realtime, 12, 9);
  Mark(diag_.realtime, 13, 9);
  Mark(diag_.realtime, 1, 0, 1);
  InThread([&] {
    Surface().Fill(1);
    display_->StoreRealtimeResults();
    display_->ScanRenderedFrames();
  });
  EXPECT_EQ(Surface().GetPixel(12, 9), 0u);
  EXPECT_EQ(Surface().GetPixel(1, 0), 0u);
  EXPECT_NE(Surface().GetPixel(11, 9), 0u);
  EXPECT_EQ(VolVector(vol::quorFailedModuleMap), (std::vector<uint8_t>{0x01, 0x02}));
  EXPECT_EQ(Vol(vol::dmsPixelFailureMessageRows), 3u);
  EXPECT_EQ(Vol(vol::quorFailedPixelsDisplay), 3u);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x20, 0x20u);
  // In scan order: row 0 first.
  EXPECT_EQ(Row(3, 0, 'x'), 2u);
  EXPECT_EQ(Row(3, 0, 'y'), 1u);
  EXPECT_EQ(Row(3, 1, 'x'), 13u);
  EXPECT_EQ(Row(3, 2, 'x'), 14u);
  EXPECT_EQ(Row(3, 2, 'y'), 10u);
  // Lit 14 x 35, three switched off.
  InThread([&] { display_->UpdateFaceResults(0); });
  EXPECT_EQ(Vol(vol::quorLegibilityRatio), (14u * 35 - 3) * 100 / (14 * 35));

  // A step that does not complete the real-time counter still blanks and
  // maps but lists nothing new; the option off reads nothing.
  SetVol(vol::dmsPixelFailureMessageRows, 0);
  InThread([&] {
    Surface().Fill(1);
    display_->ScanRenderedFrames();
  });
  EXPECT_EQ(Surface().GetPixel(12, 9), 0u);
  EXPECT_EQ(Vol(vol::dmsPixelFailureMessageRows), 0u);
  SetNv(nv::quorEnableRealTimePixelDiagnostics, 0);
  InThread([&] {
    Surface().Fill(1);
    display_->ScanRenderedFrames();
    display_->UpdateFaceResults(0);
  });
  EXPECT_NE(Surface().GetPixel(12, 9), 0u);
  EXPECT_EQ(VolVector(vol::quorFailedModuleMap), (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(Vol(vol::quorLegibilityRatio), 100u);
}

TEST_F(PixelsTest, PixelTestCountsDownStartsAndStoresItsResults) {
  Sign(7, 15);
  static const uint32_t kIds[] = {MSG_PERIPHERALS_ALL_ON, 0};
  subscriber peripherals(&g_post_office, nullptr, 1, nullptr);
  ASSERT_EQ(peripherals.Subscribe(kIds), 1);
  display_->m_dwDisplayState = CDisplay::STATE_PAGE_ON;
  SetVol(vol::pixelTestActivation, 3);
  display_->m_byPixelTestRunning = 1;
  display_->m_byPixelTestCountdown = 2;
  diag_.quick = false;
  trace_capture cap;
  InThread([&] { display_->PixelTestCountdown(); });
  EXPECT_TRUE(cap.contains("paused frame for pixel test\n"));
  EXPECT_EQ(diag_.starts, 0u);
  InThread([&] { display_->PixelTestCountdown(); });
  EXPECT_EQ(diag_.starts, 1u);
  EXPECT_TRUE(cap.contains("primary face requires display data to halt\n"));
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_HALTED);

  // The modules report a pixel at column 0, row 0 and one at (3, 2).
  Mark(diag_.test, 0, 0);
  Mark(diag_.test, 3, 2);
  diag_.m_byAuxResultsReady = 0;
  InThread([&] { display_->ScanRenderedFrames(); });
  EXPECT_EQ(display_->m_byPixelTestRunning, 1) << "results not ready yet";
  EXPECT_TRUE(cap.contains("."));
  diag_.m_byAuxResultsReady = 1;
  InThread([&] { display_->ScanRenderedFrames(); });
  EXPECT_EQ(display_->m_byPixelTestRunning, 0);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_START_MESSAGE);
  EXPECT_EQ(display_->m_byRealtimeHoldoff, 50);
  EXPECT_EQ(Vol(vol::pixelTestActivation), 2u);
  EXPECT_EQ(Vol(vol::dmsPixelFailureTestRows), 2u);
  EXPECT_EQ(Vol(vol::quorFailedPixelsTest), 2u);
  EXPECT_EQ(Vol(vol::shortErrorStatus) & 0x20, 0x20u);
  EXPECT_EQ(Row(2, 0, 'x'), 1u);
  EXPECT_EQ(Row(2, 0, 'y'), 1u);
  EXPECT_EQ(Row(2, 0, 's'), 20u);
  EXPECT_EQ(Row(2, 1, 'x'), 4u);
  EXPECT_EQ(Row(2, 1, 'y'), 3u);
  // The bitmap: bits 0 and 3 + 2 x 15 of 105 pixels.
  std::vector<uint8_t> bitmap(14, 0);
  bitmap[0] = 0x01;
  bitmap[4] = 0x02;
  EXPECT_EQ(VolVector(vol::dmsPixelStatus(0)), bitmap);
  letter_s* l = nullptr;
  ASSERT_TRUE(peripherals.Receive(&l));
  EXPECT_EQ(l->Id(), static_cast<uint32_t>(MSG_PERIPHERALS_ALL_ON));
  peripherals.Release(l);
  peripherals.Unsubscribe();

  // Modules that test while frames come keep the sign running.
  display_->m_dwDisplayState = CDisplay::STATE_PAGE_ON;
  diag_.quick = true;
  display_->m_byPixelTestCountdown = 1;
  InThread([&] { display_->PixelTestCountdown(); });
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_PAGE_ON);
  EXPECT_EQ(Vol(vol::dmsPixelFailureTestRows), 0u) << "a started test clears the rows";
}

TEST_F(PixelsTest, BitmapComesInPiecesOf400Bytes) {
  Sign(7, 15);
  struct Case {
    uint16_t height, width;
    uint16_t x, y;
    std::vector<size_t> lengths;
    uint32_t piece, byte;
    uint8_t bit;
  } cases[] = {
      {32, 100, 99, 31, {400, 0}, 0, 399, 0x80},
      {40, 100, 0, 39, {400, 100}, 1, 87, 0x10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    display_->m_FaceDesc[0].height = c.height;
    display_->m_FaceDesc[0].width = c.width;
    diag_.Size(c.height, c.width);
    Mark(diag_.test, c.x, c.y);
    InThread([&] { display_->StorePixelStatusBitmap(); });
    for (size_t k = 0; k < c.lengths.size(); ++k) EXPECT_EQ(VolBytes(vol::dmsPixelStatus(k)).size(), c.lengths[k]);
    const std::string piece = VolBytes(vol::dmsPixelStatus(c.piece));
    ASSERT_GT(piece.size(), c.byte);
    EXPECT_EQ(static_cast<uint8_t>(piece[c.byte]), c.bit);
  }
}

TEST_F(PixelsTest, LegibilityRuleBlanksBelowItsThreshold) {
  Sign(7, 15);
  struct Case {
    uint32_t threshold, ratio, state;
    uint32_t sourceMode, reason;  // of the running message
    bool blanks;
  } cases[] = {
      {0, 10, CDisplay::STATE_PAGE_ON, 8, 1, false},
      {80, 80, CDisplay::STATE_PAGE_ON, 8, 1, false},
      {80, 79, CDisplay::STATE_TEST_PATTERN, 8, 1, false},
      {80, 79, CDisplay::STATE_PAGE_ON, 1, 3, false},  // the failed-pixel blank runs
      {80, 79, CDisplay::STATE_PAGE_ON, 8, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ratio);
    SetVol(vol::activationSlotReason(6), 0);
    SetNv(nv::quorLegibilityRatioThreshold, c.threshold);
    SetVol(vol::quorLegibilityRatio, c.ratio);
    SetNv(nv::dmsMsgSourceMode, c.sourceMode);
    SetVol(vol::quorActivationReason, c.reason);
    display_->m_dwDisplayState = c.state;
    g_traps.clear();
    trace_capture cap;
    InThread([&] { display_->CheckLegibility(); });
    EXPECT_EQ(Vol(vol::activationSlotReason(6)), c.blanks ? 4u : 0u);
    EXPECT_EQ(g_traps.size(), c.blanks ? 1u : 0u);
    EXPECT_EQ(cap.contains("Legiblity Threshold(80%) Exceeded! Blanking.. Current Ratio:79%\n"), c.blanks);
  }
}

TEST_F(PixelsTest, FailedPixelLimitBlanksOnceWithOneTrap) {
  SetNvBytes(nv::sysLocation, {'R', 'a', 'm', 'p'});
  Register(7, 15);
  Start("A");
  RunToStep(3);
  ASSERT_EQ(display_->m_dwDisplayState, CDisplay::STATE_PAGE_ON);
  const std::string source = "src1";
  SetNvBytes(nv::dmsMsgTableSource, std::vector<uint8_t>(source.begin(), source.end()));
  SetNv(nv::fdotMaxNumPixelFailure, 0);
  SetVol(vol::dmsPixelFailureMessageRows, 1);
  trace_capture cap;
  RunToStep(10);
  ASSERT_EQ(g_traps.size(), 1u);
  EXPECT_TRUE(cap.contains("Max(0) Fail Pixels Exceeded! Blanking.. RT cnt:1 PT cnt:0\n"));
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 1u);
  EXPECT_EQ(Vol(vol::quorActivationReason), 3u);
  EXPECT_EQ(VolBytes(vol::quorBlankedMessage), source);
  const trap_s& t = g_traps[0];
  EXPECT_EQ(t.generic, 6u);
  EXPECT_EQ(t.specific, 16u);
  EXPECT_EQ(t.oids, (std::vector<std::vector<uint32_t>>{{1, 3, 6, 1, 2, 1, 1, 6, 0},
                                                        {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0}}));
  EXPECT_EQ(t.types, (std::vector<uint8_t>{TRAP_VALUE_OCTETS, TRAP_VALUE_COUNTER}));
  EXPECT_EQ(t.location, "Ramp");
  // The blank runs: the rule stays quiet.
  RunToStep(40);
  EXPECT_EQ(g_traps.size(), 1u);

  // No limit, or a limit above the rows, never blanks; nor does a large one.
  for (uint32_t limit : {0xFFFFFFFFu, 1u, 0x80000000u}) {
    SetNv(nv::fdotMaxNumPixelFailure, limit);
    display_->m_dwDisplayState = CDisplay::STATE_PAGE_ON;
    EXPECT_FALSE(display_->FailedPixelLimitExceeded()) << limit;
  }
  SetNv(nv::fdotMaxNumPixelFailure, 0);
  display_->m_dwDisplayState = CDisplay::STATE_TEST_PATTERN;
  EXPECT_FALSE(display_->FailedPixelLimitExceeded());
}

}  // namespace
