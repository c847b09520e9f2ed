// Requests that database objects bring to the display task: the pixel-test
// request, the display mode, the option word and the HDLC address.
#include <string>

#include "display/core/module_link.h"
#include "display/modbus/info.h"
#include "display/task/display_links.h"
#include "display/tests/display_fixture.h"

namespace {

// Module diagnostics that count what the display asks of them.
struct CountingDiagnostics : disp::diagnostics {
  uint32_t clears = 0, aux_clears = 0, starts = 0, finishes = 0;
  void Reset() { clears = aux_clears = starts = finishes = 0; }
  bool ClearResults() override {
    ++clears;
    return diagnostics::ClearResults();
  }
  bool ClearAuxResults() override {
    ++aux_clears;
    return diagnostics::ClearAuxResults();
  }
  bool StartPixelTest() override {
    ++starts;
    return diagnostics::StartPixelTest();
  }
  bool FinishPixelTest() override {
    ++finishes;
    return diagnostics::FinishPixelTest();
  }
  bool TakeChangeFlag() override {
    const bool was = changed;
    changed = false;
    return was;
  }
  bool GetBoardInfo(disp::info** out) override {
    if (!out) return false;
    *out = boards;
    return true;
  }
  bool changed = false;
  disp::info boards[2];
};

class OptionsTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    display_->SetModuleLink(g_display_module_link.bus, g_display_module_link.stream, &diag_);
    Register(7, 15);
    display_->m_dwDisplayState = CDisplay::STATE_PAGE_ON;
    diag_.Reset();
    TakeFlags();
    static const uint32_t kIds[] = {MSG_PERIPHERALS_ALL_OFF, 0};
    ASSERT_EQ(peripherals_.Subscribe(kIds), 1);
  }
  void TearDown() override {
    peripherals_.Unsubscribe();
    g_pfnSetHdlcAddress = nullptr;
    DisplayTest::TearDown();
  }

  // A notified write, as the agent makes it.
  void Write(bool nv, db_object o, uint32_t value) {
    InThread([&] { db_->SetValue(o.offset, o.width, value, nv ? db_->mib_nv : db_->mib_v, DB_NOTIFY); });
  }
  // One pass of the task's request service (between its steps).
  void Serve() {
    InThread([&] { display_->ServiceRequests(); });
  }
  uint32_t Letters() {
    uint32_t n = 0;
    letter_s* l = nullptr;
    while (peripherals_.Receive(&l)) {
      ++n;
      peripherals_.Release(l);
    }
    return n;
  }

  CountingDiagnostics diag_;
  subscriber peripherals_{&g_post_office, nullptr, 1, nullptr};
};

TEST_F(OptionsTest, PixelTestRequestOtherSettlesAtNoActive) {
  // Under a test pattern and under a running message alike, other and
  // noActive change nothing but the object.
  for (const uint32_t state : {CDisplay::STATE_PAGE_ON, CDisplay::STATE_TEST_PATTERN}) {
    SCOPED_TRACE(state);
    display_->m_dwDisplayState = state;
    Write(false, vol::pixelTestActivation, 1);
    Serve();
    EXPECT_EQ(Vol(vol::pixelTestActivation), 2u);
    // The write of 2 raised the request again: with no test to end the
    // second pass leaves the sign alone.
    Serve();
    Serve();
    EXPECT_EQ(Vol(vol::pixelTestActivation), 2u);
    EXPECT_EQ(display_->m_dwDisplayState, state);
    EXPECT_EQ(diag_.finishes + diag_.clears + diag_.aux_clears + diag_.starts, 0u);
    EXPECT_EQ(display_->m_byPixelTestRunning, 0);
    EXPECT_EQ(Letters(), 0u);
  }
}

TEST_F(OptionsTest, PixelTestNoActiveEndsATestInProgress) {
  Write(false, vol::pixelTestActivation, 3);
  Serve();
  ASSERT_EQ(display_->m_byPixelTestRunning, 1);
  Write(false, vol::pixelTestActivation, 2);
  Serve();
  EXPECT_EQ(diag_.finishes, 1u);
  // The end of the test starts the message again, not the request.
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_PAGE_ON);
}

TEST_F(OptionsTest, ChangedBoardInfoIsReportedOnce) {
  subscriber peripheral(&g_post_office, nullptr, 1, nullptr);
  static const uint32_t kIds[] = {MSG_DISPLAY_TO_PERIPHERAL, 0};
  ASSERT_EQ(peripheral.Subscribe(kIds), 1);
  auto letters = [&] {
    std::vector<uint32_t> words;
    letter_s* l = nullptr;
    while (peripheral.Receive(&l)) {
      EXPECT_EQ(l->kind, LETTER_KIND_PAIRS);
      words.push_back(l->payload[0]);
      peripheral.Release(l);
    }
    return words;
  };
  disp::info& board = diag_.boards[0];
  board.state = disp::info::IDENTIFIED;
  board.kind = disp::info::KIND_PRODUCTION;
  board.revision[0] = 7;
  board.revision[1] = 0;
  board.code = 0x1234;
  board.name = "PRODUCTION BOARD";
  diag_.changed = true;
  InThread([&] { display_->Process(); });
  EXPECT_EQ(letters(), std::vector<uint32_t>{disp::info::IDENTIFIED});  // face 0 high, state low
  EXPECT_EQ(VolBytes(vol::moduleModel(5)), "PRODUCTION BOARD");
  EXPECT_EQ(VolBytes(vol::moduleVersion(5)), "7/0");
  EXPECT_EQ(display_->m_byModuleInfoA, disp::info::KIND_PRODUCTION);
  EXPECT_EQ(display_->m_byModuleInfoB, 1);
  EXPECT_EQ(display_->m_byModuleInfoC, 0x34);
  // Nothing new, nothing reported.
  InThread([&] { display_->Process(); });
  EXPECT_TRUE(letters().empty());

  // A board that stopped answering is reported; its texts stay.
  board.state = disp::info::NOT_RESPONDING;
  board.name = "UNKNOWN";
  diag_.changed = true;
  InThread([&] { display_->Process(); });
  EXPECT_EQ(letters(), std::vector<uint32_t>{disp::info::NOT_RESPONDING});
  EXPECT_EQ(VolBytes(vol::moduleModel(5)), "PRODUCTION BOARD");
  peripheral.Unsubscribe();
}

TEST_F(OptionsTest, PixelTestRequestsClearResultsAndStartTests) {
  struct Case {
    uint32_t value;
    uint32_t after;
    uint32_t clears;
    uint8_t running, countdown;
    uint32_t letters;
  } cases[] = {
      {4, 2, 1, 0, 0, 0},  // clear the tables only
      {3, 3, 1, 1, 2, 1},  // test: peripherals off, the test two steps on
      {5, 5, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    diag_.Reset();
    display_->m_byPixelTestRunning = 0;
    display_->m_byPixelTestCountdown = 0;
    SetVol(vol::pixelTestActivation, 2);
    Write(false, vol::pixelTestActivation, c.value);
    Serve();
    EXPECT_EQ(Vol(vol::pixelTestActivation), c.after);
    EXPECT_EQ(diag_.clears, c.clears);
    EXPECT_EQ(diag_.aux_clears, c.clears);
    EXPECT_EQ(diag_.starts, 0u);
    EXPECT_EQ(display_->m_byPixelTestRunning, c.running);
    EXPECT_EQ(display_->m_byPixelTestCountdown, c.countdown);
    EXPECT_EQ(Letters(), c.letters);
  }
}

TEST_F(OptionsTest, PixelTestStartsOnEveryFace) {
  trace_capture cap;
  InThread([&] { display_->StartPixelTest(); });
  EXPECT_EQ(diag_.starts, 1u);
  EXPECT_TRUE(cap.contains("kick off pixel test on face:primary\n"));
}

TEST_F(OptionsTest, DisplayModeChangeShowsTheTestPatternAtOnce) {
  display_->m_dwCapFlags &= ~CDisplay::CAP_MEASURE;
  Write(true, nv::quorDisplayMode, 3);
  Serve();
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_TEST_PATTERN);
  EXPECT_NE(display_->m_dwCapFlags & CDisplay::CAP_MEASURE, 0u);
}

TEST_F(OptionsTest, OptionBitSetsThePriorityOfPermanentMessageOne) {
  SetVol(vol::permanentMessageRunTimePriority(0), 255);
  Write(true, nv::quorSpecialFeatureSet, 0x2);
  Serve();
  EXPECT_EQ(Vol(vol::permanentMessageRunTimePriority(0)), 50u);
  // Other bits leave it alone; clearing the bit gives 255 back.
  Write(true, nv::quorSpecialFeatureSet, 0x102);
  Serve();
  EXPECT_EQ(Vol(vol::permanentMessageRunTimePriority(0)), 50u);
  Write(true, nv::quorSpecialFeatureSet, 0x100);
  Serve();
  EXPECT_EQ(Vol(vol::permanentMessageRunTimePriority(0)), 255u);
}

TEST_F(OptionsTest, HdlcAddressGoesToTheEndpoints) {
  // Without endpoints nothing happens.
  Write(true, nv::quorhdlcAddress, 0x1234);
  Serve();
  static std::vector<uint8_t> given;
  given.clear();
  g_pfnSetHdlcAddress = [](uint8_t a) { given.push_back(a); };
  Write(true, nv::quorhdlcAddress, 0x1299);
  Serve();
  EXPECT_EQ(given, (std::vector<uint8_t>{0x99}));
}

}  // namespace
