// The poll schedule and the module replies against simulated display
// modules: requests leave through the sign driver and the module-data
// driver, the modules answer on their lines, and the answers come back
// through the module bus to the diagnostics' records. Replies that name
// no module of the face are dropped.
#include <memory>
#include <vector>

#include "display/tests/diag_fixture.h"
#include "sim/modules/module_line.h"

namespace {

using fault = sim::module_line::fault;
using setup = sim::module_line::module_setup;

class ModulePollSimTest : public DiagTest {
 protected:
  void SetUp() override {
    DiagTest::SetUp();
    line_ = std::make_unique<sim::module_line>();
    InThread([&] { sign_.PowerOn(); });
    SetNv(nv::quorFrameRate, 1);  // a poll cycle of 21 steps
    desc_.modules_per_line = 4;
  }
  void TearDown() override {
    line_.reset();
    DiagTest::TearDown();
  }
  void Poll(uint32_t steps) {
    for (uint32_t i = 0; i < steps; ++i) {
      InThread([&] { diag_.PollModules(&sign_); });
      rtos::settle();
    }
  }
  void ResetAllLines() {
    InThread([&] { sign_.ResetLines(-1); });
    rtos::settle();
  }

  std::unique_ptr<sim::module_line> line_;
  CQ5DisplayDriver sign_;
};

TEST_F(ModulePollSimTest, ThePollKeepsTheRecordsAndLosesTheSilentModule) {
  setup row0, row1;
  row0.temperature = 35;
  row1.temperature = 40;
  row1.voltage1 = 200;
  line_->add_modules(0, 4, row0);
  line_->add_modules(1, 4, row1);
  line_->set_module_fault(0, 2, fault::silent);
  OpenFace();
  trace_capture trace;
  // Every line once, then line 0 again up to its fifth request.
  Poll(21 * 9 + 16);
  EXPECT_TRUE(trace.contains("mod r:1 c:3 comm lost\n"));
  EXPECT_EQ(diag_.m_Modules[2].lost, 1);
  EXPECT_EQ(diag_.m_Modules[2].revision, 0);
  for (uint32_t i : {0u, 1u, 3u, 4u, 5u, 6u, 7u}) {
    SCOPED_TRACE(i);
    const disp::module& m = diag_.m_Modules[i];
    EXPECT_EQ(m.lost, 0);
    EXPECT_EQ(m.identified, 1);
    EXPECT_EQ(m.type, 21);
    EXPECT_EQ(m.revision, 3);
    EXPECT_EQ(m.measurements_valid, 1);
    EXPECT_LT(m.unanswered, 2) << "only the time-out goes unanswered";
    int8_t t = 0;
    EXPECT_TRUE(diag_.GetModuleValue(i, t));
    EXPECT_EQ(t, i < 4 ? 35 : 40);
    EXPECT_EQ(m.value[0], i < 4 ? 120 : 200);
  }
  EXPECT_EQ(stream_.Errors(), 0u);
  int8_t avg = 0, lo = 0, hi = 0;
  EXPECT_EQ(diag_.GetModuleTemperatureStats(avg, lo, hi), 6u);
  EXPECT_EQ(lo, 35);
  EXPECT_EQ(hi, 40);

  // The module answers again: its identity brings it back at the next visit.
  line_->set_module_fault(0, 2, fault::none);
  Poll(21 * 9);
  EXPECT_EQ(diag_.m_Modules[2].lost, 0);
  EXPECT_EQ(diag_.m_Modules[2].identified, 1);
}

TEST_F(ModulePollSimTest, NewLayoutModulesReportTheirMeasurementsWithACode) {
  setup s;
  s.type = 40;
  s.revision = 5;
  s.voltage1 = 121;
  s.voltage2 = 119;
  s.temperature = 33;
  s.status = 2;
  line_->add_modules(0, 4, s);
  desc_.module_type = 40;
  OpenFace();
  Poll(13);  // through the volt-temp request at 60
  const disp::module& m = diag_.m_Modules[3];
  EXPECT_EQ(m.new_format, 1);
  EXPECT_EQ(m.value[0], 121);
  EXPECT_EQ(m.value[1], 119);
  EXPECT_EQ(m.temperature, 33);
  EXPECT_EQ(m.status_code, 2);
  disp::pixel p(3, 0);
  ASSERT_TRUE(diag_.m_Frames[diag_ksr7100::FRAME_VOLTAGE2].GetPixel(p));
  EXPECT_EQ(p.value, 119u);
}

TEST_F(ModulePollSimTest, RepliesOutsideTheFaceAreDropped) {
  // A short second row: six records.
  desc_.modules_per_row[1] = 2;
  desc_.total_modules = 6;
  line_->add_modules(0, 5, {});  // position 4 is past the line
  line_->add_modules(1, 4, {});  // positions 2 and 3 are past the row
  line_->add_module(2, 0, {});   // no third row
  line_->add_module(8, 31, {});
  OpenFace();
  ResetAllLines();
  line_->module_send(0, 0x5FF, {0, 21, 9, 0, 1});
  line_->module_send(1, 0x5FF, {2, 21, 9, 0, 1, 0, 0, 0});
  line_->module_send(0, 0x500, {});
  rtos::settle();
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(diag_.m_Modules[i].identified, 1) << i;
  for (uint32_t i = 6; i < disp::diagnostics::MAX_MODULES; ++i) ASSERT_EQ(diag_.m_Modules[i].revision, 0) << i;
  EXPECT_EQ(stream_.Errors(), 0u);

  // Two response words: positions are the identifier's low byte.
  desc_.two_response_words = 1;
  line_->set_two_response_words(true);
  line_->add_module(0, 40, {});
  InThread([&] {
    core_.DetachFace(&face_);
    face_.Close();
  });
  OpenFace();
  ResetAllLines();
  for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(diag_.m_Modules[i].identified, 1) << i;
  for (uint32_t i = 6; i < disp::diagnostics::MAX_MODULES; ++i) ASSERT_EQ(diag_.m_Modules[i].revision, 0) << i;
}

}  // namespace
