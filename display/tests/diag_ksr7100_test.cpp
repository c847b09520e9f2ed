// The module diagnostics of the module bus: the distribution board's
// identification, the configuration requests that look for it, pixel tests
// of both module classes and the quick test, the module records, and the
// module replies that fill them. Packets are handed to the diagnostics as
// the stream would; what the diagnostics send is read back from the
// board's EPLD FIFO.
#include <string>
#include <vector>

#include "display/tests/diag_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kConfigurationRequest = {0x55, 0xAA, 0xC5, 0x00, 0x3C};
const Bytes kResultRequest = {0x55, 0xAA, 0x5E, 0x00, 0xA3};

// ------------------------------------------------------------------ board identification

struct BoardCase {
  uint8_t code, revision, sender_bits;
  uint32_t stored;
  const char* name;
  uint8_t kind;
  uint8_t second_stream;  // after the reply (the flag starts at 7: "untouched")
  uint8_t info_c;         // likewise
};

TEST_F(DiagTest, BoardIdentificationStoresCodeNameAndKind) {
  OpenFace();
  const BoardCase cases[] = {
      {1, 5, 1, 28, "KB61937 - CAN DIST BOARD", 2, 0, 28},
      {28, 5, 1, 28, "KB61937 - CAN DIST BOARD", 2, 0, 28},
      {2, 5, 1, 18, "KB70254 - MPSC DIST BRD", 2, 7, 7},
      {18, 10, 1, 18, "KB61937 - CAN DIST BOARD", 2, 7, 7},
      {18, 11, 2, 18, "KB61937 - CAN DIST BOARD", 2, 7, 7},
      {18, 9, 1, 18, "KB70254 - MPSC DIST BRD", 2, 7, 7},
      {27, 4, 1, 27, "PX9356148 - HCB DIST BRD", 2, 1, 27},
      {29, 4, 1, 29, "KB83419 - CAN PROD BOARD", 3, 7, 7},
      {30, 4, 1, 30, "PX8105273 - KM PROD BRD", 3, 7, 7},
      {36, 4, 1, 30, "PX8105273 - KM PROD BRD", 3, 7, 7},
      // Any other code is kept as received; the name stays the last one.
      {77, 4, 2, 77, "PX8105273 - KM PROD BRD", 0, 7, 7},
  };
  for (const BoardCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "code " << int(c.code) << " revision " << int(c.revision));
    second_stream_ = 7;
    module_info_c_ = 7;
    Handle(static_cast<uint8_t>(c.sender_bits << 6 | 5), 3, {0, c.revision, c.code});
    disp::info* info = nullptr;
    ASSERT_TRUE(diag_.GetBoardInfo(&info));
    EXPECT_EQ(info[0].code, c.stored);
    EXPECT_STREQ(info[0].name, c.name);
    EXPECT_EQ(info[0].kind, c.kind);
    EXPECT_EQ(info[0].revision[c.sender_bits - 1], c.revision);
    EXPECT_EQ(info[0].state, disp::info::IDENTIFIED);
    EXPECT_EQ(info[1].state, disp::info::IDENTIFIED);
    EXPECT_EQ(second_stream_, c.second_stream);
    EXPECT_EQ(module_info_c_, c.info_c);
    EXPECT_TRUE(diag_.TakeChangeFlag());
    EXPECT_FALSE(diag_.TakeChangeFlag()) << "taking the flag clears it";
  }
}

TEST_F(DiagTest, RepliesOfTheWrongShapeIdentifyNothing) {
  OpenFace();
  struct Shape {
    uint8_t kind, length_byte;
    Bytes payload;
  };
  const Shape shapes[] = {
      {0xC5, 3, {0, 1, 36}},     // sender bits 3: sender 2
      {0x05, 3, {0, 1, 36}},     // sender bits 0
      {0x45, 3, {1, 1, 36}},     // first payload byte not 0
      {0x45, 2, {0, 1}},         // too short
      {0x45, 3, {0, 1, 36, 0}},  // four bytes under a length byte of 3
      {0x45, 5, {0, 1, 36, 0, 0}},
  };
  for (const Shape& s : shapes) Handle(s.kind, s.length_byte, s.payload);
  disp::info* info = nullptr;
  ASSERT_TRUE(diag_.GetBoardInfo(&info));
  EXPECT_EQ(info[0].state, disp::info::UNKNOWN);
  EXPECT_EQ(info[0].code, 0u);
  EXPECT_FALSE(diag_.TakeChangeFlag());
  // Four payload bytes under a length byte of 4 are a good reply.
  Handle(0x45, 4, {0, 1, 36, 0});
  EXPECT_EQ(info[0].code, 30u);
}

TEST_F(DiagTest, BoardCode27SetsTheLinkRateOnce) {
  OpenFace();
  // Remembered while the second stream is off: nothing is sent yet.
  InThread([&] { EXPECT_TRUE(diag_.SetModuleBaud(9600)); });
  InThread([&] { EXPECT_FALSE(diag_.SetModuleBaud(0)); });
  EXPECT_EQ(diag_.m_dwLinkRate, 9600u);
  EXPECT_TRUE(Packets().empty());
  Handle(0x45, 3, {0, 1, 27});
  const Bytes link_rate = {0x55, 0xAA, 0x68, 0x01, 0x0C, 0x8C};
  EXPECT_EQ(Count(Packets(), link_rate), 1u);
  // The same board again: the link is set up already.
  Handle(0x45, 3, {0, 1, 27});
  EXPECT_EQ(Count(Packets(), link_rate), 0u);
}

TEST_F(DiagTest, TenUnansweredConfigurationRequestsMarkTheBoardNotResponding) {
  OpenFace();
  disp::info* info = nullptr;
  ASSERT_TRUE(diag_.GetBoardInfo(&info));
  // The first request goes out at the first step, then one every 100.
  Tick(1);
  EXPECT_EQ(Count(Packets(), kConfigurationRequest), 1u);
  Tick(99);
  EXPECT_EQ(Count(Packets(), kConfigurationRequest), 0u);
  Tick(800);
  EXPECT_EQ(Count(Packets(), kConfigurationRequest), 8u);
  EXPECT_EQ(driver_->m_configurationRequests, 9u);
  EXPECT_EQ(info[0].state, disp::info::UNKNOWN);
  EXPECT_FALSE(diag_.TakeChangeFlag());

  Tick(100);  // the tenth
  EXPECT_EQ(info[0].state, disp::info::NOT_RESPONDING);
  EXPECT_EQ(info[1].state, disp::info::NOT_RESPONDING);
  EXPECT_TRUE(diag_.TakeChangeFlag());
  EXPECT_TRUE(Packets().size() == 1u);

  // From the eleventh on, each request brings the driver's configuration
  // packet with the lines' bit-rate code (module type 21: code 1).
  trace_capture trace;
  Tick(100);
  const auto packets = Packets();
  EXPECT_EQ(Count(packets, kConfigurationRequest), 1u);
  Bytes setup = {0x55, 0xAA, 0xCA, 0x0A, 0x01, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  setup.push_back(module_bus::checksum(setup.data(), static_cast<uint32_t>(setup.size())));
  EXPECT_EQ(Count(packets, setup), 1u);
  EXPECT_TRUE(trace.contains("resending configuration\n"));
  EXPECT_FALSE(diag_.TakeChangeFlag()) << "not responding already";

  // The board answers: identified, and the counting starts again.
  Handle(0x45, 3, {0, 2, 36});
  EXPECT_EQ(info[0].state, disp::info::IDENTIFIED);
  EXPECT_TRUE(diag_.TakeChangeFlag());
  EXPECT_EQ(driver_->m_configurationRequests, 0u);
  Tick(100);
  EXPECT_EQ(Count(Packets(), setup), 0u);
  EXPECT_EQ(driver_->m_configurationRequests, 1u);
}

TEST_F(DiagTest, NoBusNoRequests) {
  OpenFace();
  InThread([&] { core_.DetachBus(&bus_); });
  Tick(1);
  EXPECT_TRUE(Packets().empty());
  EXPECT_EQ(driver_->m_configurationRequests, 0u);
}

// ------------------------------------------------------------------ pixel tests

TEST_F(DiagTest, AClass2TestEndsOnlyOnTheCompletionPacket) {
  desc_.module_class = 2;
  OpenFace();
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  EXPECT_EQ(diag_.ResultsReady(), 0);
  EXPECT_EQ(diag_.m_wTestCountdown, 200);
  // The test command goes to every line after one rate period.
  Tick(10);
  EXPECT_EQ(CanFrames(Packets()),
            (std::vector<SentFrame>{{1, 0x22, {0x60, 0}}, {2, 0x22, {0x60, 0}}}));
  // The result request at countdown 49; the countdown never runs out.
  Tick(140);
  EXPECT_EQ(Count(Packets(), kResultRequest), 0u);
  Tick(1);
  EXPECT_EQ(Count(Packets(), kResultRequest), 1u);
  Tick(500);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  EXPECT_EQ(Count(Packets(), kConfigurationRequest), 0u) << "no configuration requests during a test";

  Handle(0x1E, 3, {0, 1, 0});  // not a completion
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  Handle(0x1E, 3, {0, 0, 0});
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTED);
  EXPECT_EQ(diag_.ResultsReady(), 1);
  EXPECT_EQ(diag_.AuxResultsReady(), 1);
  EXPECT_EQ(diag_.m_wTestCountdown, 0);
}

TEST_F(DiagTest, AClass4TestOnSplitLinesRunsItsCountdown) {
  // 4 modules a row, 3 a line: every row takes two lines.
  desc_.modules_per_line = 3;
  OpenFace();
  EXPECT_EQ(diag_.LineCount(), 4u);
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  EXPECT_EQ(diag_.m_wTestCountdown, 120);  // rate x 12 at depth 1
  Tick(10);
  EXPECT_EQ(CanFrames(Packets()), (std::vector<SentFrame>{{1, 0x22, {0x60, 0}},
                                                         {2, 0x22, {0x60, 0}},
                                                         {3, 0x22, {0x60, 0}},
                                                         {4, 0x22, {0x60, 0}}}));
  Tick(109);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  Tick(1);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTED);
  EXPECT_EQ(diag_.ResultsReady(), 1);
}

TEST_F(DiagTest, ATestEndsEarlyOnceTheLastLineAnswered) {
  OpenFace();
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  Tick(20);
  EXPECT_EQ(diag_.m_wTestCountdown, 100);
  // The last line (1) answers: ten more rate periods at most.
  board::module_responses().latch(1, 0x1);
  Tick(1);
  EXPECT_EQ(diag_.m_wTestCountdown, 100);
  EXPECT_EQ(diag_.m_byEarlyFinish, 1);
  Tick(99);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  Tick(1);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTED);
  EXPECT_EQ(board::module_responses().word(1), 0u) << "the test's end resets the responses";
}

TEST_F(DiagTest, AQuickTestRequestsEveryLineOneRatePeriodApart) {
  OpenFace();
  // Every module identifies itself with the quick-test flag.
  for (uint32_t line = 1; line <= 2; ++line)
    for (uint32_t p = 0; p < 4; ++p) Reply(line, 0x500 + p, {0, 21, 3, 0, 1});
  s_sign_lines = 3;
  trace_capture trace;
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  EXPECT_TRUE(trace.contains("all modules support quick pixel test\n"));
  EXPECT_TRUE(trace.contains("found:8, cnt:8\n"));
  EXPECT_EQ(CanFrames(Packets()), (std::vector<SentFrame>{{1, 0x22, {0x60, 1}}, {2, 0x22, {0x60, 1}}}));
  EXPECT_EQ(diag_.ResultsReady(), 1);
  EXPECT_EQ(diag_.AuxResultsReady(), 0);

  std::vector<SentFrame> requests;
  for (uint32_t line = 0; line < 4; ++line) {
    Tick(9);
    EXPECT_TRUE(CanFrames(Packets()).empty());
    Tick(1);
    auto frames = CanFrames(Packets());
    requests.insert(requests.end(), frames.begin(), frames.end());
    EXPECT_EQ(diag_.m_byState, line < 3 ? disp::diagnostics::TESTING : disp::diagnostics::TESTED);
  }
  EXPECT_EQ(requests, (std::vector<SentFrame>{{1, 0x21, {0x15, 0, 0x60}},
                                             {2, 0x21, {0x15, 0, 0x60}},
                                             {3, 0x21, {0x15, 0, 0x60}},
                                             {4, 0x21, {0x15, 0, 0x60}}}));
  EXPECT_EQ(diag_.AuxResultsReady(), 1);
  EXPECT_EQ(diag_.m_byCollecting, 0);
}

TEST_F(DiagTest, OneModuleWithoutTheQuickTestMeansAFullTest) {
  OpenFace();
  for (uint32_t p = 0; p < 4; ++p) Reply(1, 0x500 + p, {0, 21, 3, 0, p == 2 ? uint8_t(0) : uint8_t(1)});
  trace_capture trace;
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  EXPECT_TRUE(trace.contains("found:4, cnt:3\n"));
  EXPECT_FALSE(trace.contains("all modules support"));
  EXPECT_EQ(diag_.m_byCollecting, 0);
  EXPECT_TRUE(CanFrames(Packets()).empty()) << "the command follows after a rate period";
}

TEST_F(DiagTest, ATestStartsOnlyWhenOpenAndNotRunning) {
  InThread([&] { EXPECT_FALSE(diag_.StartPixelTest()); });
  OpenFace();
  InThread([&] {
    EXPECT_TRUE(diag_.StartPixelTest());
    EXPECT_FALSE(diag_.StartPixelTest());
    EXPECT_TRUE(diag_.FinishPixelTest());
    EXPECT_FALSE(diag_.FinishPixelTest());
    EXPECT_TRUE(diag_.StartPixelTest());
  });
}

// ------------------------------------------------------------------ records and replies

TEST_F(DiagTest, ModuleRecordsFollowTheRows) {
  OpenFace();
  uint32_t index = 99;
  disp::module* m = nullptr;
  ASSERT_TRUE(diag_.FirstModule(index, &m));
  EXPECT_EQ(index, 0u);
  uint32_t n = 1;
  while (diag_.NextModule(index, &m)) ++n;
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(index, 8u);
  EXPECT_EQ(m, &diag_.m_Modules[7]) << "out is left alone past the last";
  EXPECT_EQ(m->top_left.x, 15);
  EXPECT_EQ(m->top_left.y, 7);
  EXPECT_EQ(m->bottom_right.x, 19);
  EXPECT_EQ(m->bottom_right.y, 13);
  EXPECT_EQ(m->status_code, 3);
  EXPECT_FALSE(diag_.NextModule(index, nullptr));
}

TEST_F(DiagTest, ModuleRepliesIdentifyAndMeasure) {
  desc_.modules_per_line = 3;  // 4 lines: line 3 holds the last module of row 1
  OpenFace();
  // Channel 4, position 0: row 1, column 3, record 7.
  Reply(4, 0x500, {0, 21, 3, 0, 1});
  EXPECT_EQ(diag_.m_Modules[7].type, 21);
  EXPECT_EQ(diag_.m_Modules[7].revision, 3);
  EXPECT_EQ(diag_.m_Modules[7].quick_test, 1);
  EXPECT_EQ(diag_.m_Modules[7].new_format, 0) << "type 21 keeps the old layout";
  // An old-layout measurement.
  Reply(4, 0x500, {0x01, 0x2C, 0x01, 0x18, 0, 7, 41, 0});
  EXPECT_EQ(diag_.m_Modules[7].value[0], 0x012C);
  EXPECT_EQ(diag_.m_Modules[7].value[1], 0x0118);
  EXPECT_EQ(diag_.m_Modules[7].temperature, 41);
  EXPECT_EQ(diag_.m_Modules[7].status_code, 1);
  int8_t t = 0;
  EXPECT_TRUE(diag_.GetModuleValue(7, t));
  EXPECT_EQ(t, 41);
  disp::pixel p(3, 1);
  ASSERT_TRUE(diag_.m_Frames[diag_ksr7100::FRAME_TEMPERATURE].GetPixel(p));
  EXPECT_EQ(p.value, 41u);

  // A reply before the module's identity changes nothing.
  Reply(1, 0x500, {2, 9, 9, 9, 9, 9});
  EXPECT_EQ(diag_.m_Modules[0].identified, 0);
  EXPECT_EQ(diag_.m_Modules[0].value[0], 0);
  // Position 10 is beyond the line.
  Reply(1, 0x50A, {0, 21, 3, 0, 1});
  for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(diag_.m_Modules[i].identified, 0);
}

TEST_F(DiagTest, ALostModuleTakesOnlyItsIdentity) {
  desc_.depth = 1;
  desc_.module_type = 40;  // a module type of the new reply layout
  OpenFace();
  Reply(1, 0x501, {0, 40, 4, 0, 1});
  ASSERT_EQ(diag_.m_Modules[1].new_format, 1);
  Reply(1, 0x508, {2, 120, 118, 5, 35, 1});
  EXPECT_EQ(diag_.m_Modules[1].value[0], 120);
  EXPECT_EQ(diag_.m_Modules[1].temperature, 35);
  EXPECT_EQ(diag_.m_Modules[1].status_code, 1);

  diag_.m_Modules[1].lost = 1;
  diag_.m_Modules[1].Reset();
  trace_capture trace;
  Reply(1, 0x508, {2, 1, 1, 1, 1, 1});
  EXPECT_TRUE(trace.contains("drop mod reply at row:1 col:2 till rev is received\n"));
  EXPECT_EQ(diag_.m_Modules[1].lost, 1);
  Reply(1, 0x501, {0, 40, 5, 0, 1});
  EXPECT_EQ(diag_.m_Modules[1].lost, 0);
  EXPECT_EQ(diag_.m_Modules[1].revision, 5);
  // Lost modules read 0 in the module-value frames at the next step.
  diag_.m_Modules[1].lost = 1;
  Tick(1);
  disp::pixel p(1, 0);
  ASSERT_TRUE(diag_.m_Frames[diag_ksr7100::FRAME_VOLTAGE1].GetPixel(p));
  EXPECT_EQ(p.value, 0u);
}

TEST_F(DiagTest, TemperatureStatisticsByModuleState) {
  OpenFace();
  int8_t avg = 1, lo = 1, hi = 1;
  for (disp::module& m : diag_.m_Modules) m.lost = 1;
  EXPECT_EQ(diag_.GetModuleTemperatureStats(avg, lo, hi), 3u);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  for (disp::module& m : diag_.m_Modules) m.lost = 0;
  EXPECT_EQ(diag_.GetModuleTemperatureStats(avg, lo, hi), 5u);
  const int8_t temps[3] = {30, -5, 41};
  for (uint32_t i = 0; i < 3; ++i) {
    diag_.m_Modules[i].measurements_valid = 1;
    diag_.m_Modules[i].temperature = temps[i];
  }
  EXPECT_EQ(diag_.GetModuleTemperatureStats(avg, lo, hi), 6u);
  EXPECT_EQ(avg, 22);
  EXPECT_EQ(lo, -5);
  EXPECT_EQ(hi, 41);
  SetNv(nv::quorModuleID, 50);
  EXPECT_EQ(diag_.GetModuleTemperatureStats(avg, lo, hi), 1u);
  EXPECT_EQ(lo, 0);
}

TEST_F(DiagTest, ModuleTypeQueriesAndTheModuleTableRow) {
  OpenFace();
  EXPECT_EQ(diag_.GetModuleType(), 0);
  Reply(1, 0x501, {0, 114, 7, 0, 1});
  Reply(1, 0x502, {0, 114, 4, 0, 1});
  EXPECT_EQ(diag_.GetModuleType(), 114);
  EXPECT_EQ(diag_.GetEffectiveModuleType(), 0) << "no subtype yet";
  EXPECT_FALSE(diag_.HasNonGen4Modules());
  Reply(1, 0x508, {12, 0, 0, 0, 0, 23});
  EXPECT_EQ(diag_.GetEffectiveModuleType(), 23);
  EXPECT_TRUE(diag_.HasNonGen4Modules());
  EXPECT_EQ(diag_.MinimumRevision(), 4);
  Tick(1);
  EXPECT_EQ(VolText(vol::moduleVersion(4)), " 4");
  EXPECT_EQ(VolText(vol::moduleModel(4)), "DISPLAY MODULE:23");
}

// ------------------------------------------------------------------ other packets

TEST_F(DiagTest, StreamAndBootloaderPacketsGoWhereTheyBelong) {
  OpenFace();
  std::vector<uint8_t> laptop;
  static std::vector<uint8_t>* s_laptop = nullptr;
  static std::vector<uint32_t>* s_boot = nullptr;
  std::vector<uint32_t> boot;
  s_laptop = &laptop;
  s_boot = &boot;
  g_module_link_services.laptop_put_byte = [](uint8_t b) { s_laptop->push_back(b); };
  g_module_link_services.reprogram_response = [](uint32_t channel, uint32_t id, uint32_t length, const uint8_t* d) {
    s_boot->insert(s_boot->end(), {channel, id, length, d[0], d[1]});
  };
  Handle(51, 3, {'a', 'b', 'c'});
  EXPECT_EQ(laptop, (std::vector<uint8_t>{'a', 'b', 'c'}));
  Handle(0x32, 2, {7, 8});  // kind 50 with sender bits: into the driver's ring
  uint8_t b = 0;
  ASSERT_TRUE(driver_->InStreamRing().Pop(b));
  EXPECT_EQ(b, 7);
  Reply(3, 0x32, {0x70, 0x01, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(boot, (std::vector<uint32_t>{2, 0x32, 8, 0x70, 0x01}));
  trace_capture trace;
  Handle(15, 0, {});
  EXPECT_TRUE(trace.contains("db reset!\n"));
  g_module_link_services = {};
}

}  // namespace
