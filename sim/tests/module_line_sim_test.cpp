// The module diagnostics against simulated display modules and their
// distribution board, through the whole path: requests leave through the
// module-data driver and the EPLD's FIFO; answers come back as EPLD
// interrupts to the driver, the module bus, the job queue, the core and
// the face's diagnostics.
#include <memory>
#include <string>
#include <vector>

#include "display/tests/diag_fixture.h"
#include "sim/modules/module_line.h"

namespace {

using fault = sim::module_line::fault;

class ModuleLineSimTest : public DiagTest {
 protected:
  void SetUp() override {
    DiagTest::SetUp();
    line_ = std::make_unique<sim::module_line>();
  }
  void TearDown() override {
    line_.reset();
    DiagTest::TearDown();
  }

  // What a line reset does: every module of the line answers its identity.
  void ResetLines() {
    InThread([&] {
      for (uint32_t line = 0; line < diag_.LineCount(); ++line) driver_->SendCanFrame(line + 1, 0, 16, 0, 0, nullptr);
    });
    rtos::settle();
  }
  void Steps(uint32_t n) {
    Tick(n);
    rtos::settle();
  }
  disp::info& Board() {
    disp::info* info = nullptr;
    diag_.GetBoardInfo(&info);
    return info[0];
  }
  std::vector<sim::module_line::request> Requests(uint32_t id) {
    std::vector<sim::module_line::request> out;
    for (const auto& r : line_->take_requests())
      if (r.id == id) out.push_back(r);
    return out;
  }

  std::unique_ptr<sim::module_line> line_;
};

TEST_F(ModuleLineSimTest, TheBoardIdentifiesItselfToTheFirstConfigurationRequest) {
  line_->set_board(36, 2, 1);
  OpenFace();
  Steps(1);
  EXPECT_EQ(line_->configuration_requests(), 1u);
  EXPECT_EQ(Board().state, disp::info::IDENTIFIED);
  EXPECT_EQ(Board().code, 30u);
  EXPECT_STREQ(Board().name, "PX8105273 - KM PROD BRD");
  EXPECT_EQ(Board().revision[1], 2);
  EXPECT_TRUE(diag_.TakeChangeFlag());
  EXPECT_EQ(driver_->m_configurationRequests, 0u);
  EXPECT_EQ(stream_.Errors(), 0u);
}

TEST_F(ModuleLineSimTest, ABoardThatDoesNotAnswerUsablyIsNotResponding) {
  const fault faults[] = {fault::silent, fault::wrong, fault::bad_checksum};
  for (fault f : faults) {
    SCOPED_TRACE(static_cast<int>(f));
    line_->set_board(30, 1);
    line_->set_board_fault(f);
    InThread([&] {
      core_.DetachFace(&face_);
      face_.Close();
    });
    diag_.m_BoardInfo[0] = disp::info();
    diag_.m_BoardInfo[1] = disp::info();
    diag_.m_wUnansweredConfig = 0;
    OpenFace();
    trace_capture trace;
    Steps(901);
    EXPECT_EQ(Board().state, disp::info::NOT_RESPONDING);
    EXPECT_EQ(diag_.m_BoardInfo[1].state, disp::info::NOT_RESPONDING);
    EXPECT_TRUE(diag_.TakeChangeFlag());
    EXPECT_EQ(trace.contains("checksum error\n"), f == fault::bad_checksum);
    // The board recovers: the next request finds it.
    line_->set_board_fault(fault::none);
    Steps(100);
    EXPECT_EQ(Board().state, disp::info::IDENTIFIED);
    EXPECT_TRUE(diag_.TakeChangeFlag());
  }
}

TEST_F(ModuleLineSimTest, ModulesIdentifyThemselvesButSilentOrWrongOnesDoNot) {
  sim::module_line::module_setup setup;
  setup.type = 21;
  setup.revision = 6;
  setup.quick_test = true;
  line_->add_modules(0, 4, setup);
  line_->add_modules(1, 4, setup);
  line_->set_module_fault(0, 1, fault::silent);
  line_->set_module_fault(1, 3, fault::wrong);
  OpenFace();
  ResetLines();
  for (uint32_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const bool answers = i != 1 && i != 7;
    EXPECT_EQ(diag_.m_Modules[i].identified, answers ? 1 : 0);
    EXPECT_EQ(diag_.m_Modules[i].revision, answers ? 6 : 0);
    EXPECT_EQ(diag_.m_Modules[i].quick_test, answers ? 1 : 0);
  }
  // The EPLD latched the answers: the wrong module answered, the silent one
  // did not.
  EXPECT_EQ(board::module_responses().word(0), 0xDu);
  EXPECT_EQ(board::module_responses().word(1), 0xFu);
  // Only the modules that identified themselves count for the quick test.
  trace_capture trace;
  InThread([&] { EXPECT_TRUE(diag_.QuickTestSupported()); });
  EXPECT_TRUE(trace.contains("found:6, cnt:6\n"));
}

TEST_F(ModuleLineSimTest, AQuickTestCollectsEveryLineFromTheModules) {
  sim::module_line::module_setup setup;
  setup.quick_test = true;
  line_->add_modules(0, 4, setup);
  line_->add_modules(1, 4, setup);
  line_->add_pixel_report(1, 2, 0x312, {0x01, 0, 0, 0, 0});
  // The sign driver's lines end one below the last line asked.
  line_->add_modules(2, 1, setup);
  s_sign_lines = 2;
  OpenFace();
  ResetLines();
  line_->take_requests();
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  const auto commands = Requests(0x22);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].line, 0u);
  EXPECT_EQ(commands[1].line, 1u);
  EXPECT_EQ(commands[0].data, (std::vector<uint8_t>{0x60, 1}));
  Steps(30);
  const auto requests = Requests(0x21);
  ASSERT_EQ(requests.size(), 3u) << "lines 0 to the sign's line count";
  for (uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(requests[k].line, k);
    EXPECT_EQ(requests[k].data, (std::vector<uint8_t>{0x15, 0, 0x60}));
  }
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTED);
  // The responses the modules latched were read at the end of the test.
  EXPECT_EQ(diag_.m_dwResponse[0][0], 0xFu);
  EXPECT_EQ(diag_.m_dwResponse[1][0], 0xFu);
  EXPECT_EQ(stream_.Errors(), 0u);
}

TEST_F(ModuleLineSimTest, AClass2TestEndsWhenTheBoardReportsItsResults) {
  desc_.module_class = 2;
  line_->add_modules(0, 4, {});
  line_->add_modules(1, 4, {});
  line_->set_test_done_reply(true);
  OpenFace();
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  Steps(150);
  EXPECT_EQ(line_->result_requests(), 0u);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  Steps(1);
  EXPECT_EQ(line_->result_requests(), 1u);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTED);
  EXPECT_EQ(diag_.ResultsReady(), 1);
}

TEST_F(ModuleLineSimTest, AFullTestEndsEarlyWhenTheLastLineAnswers) {
  line_->add_modules(0, 4, {});
  line_->add_modules(1, 4, {});
  line_->set_module_fault(0, 3, fault::silent);
  OpenFace();
  InThread([&] { ASSERT_TRUE(diag_.StartPixelTest()); });
  // The command goes out one rate period after the start; the lines answer
  // at once, and the test ends ten rate periods later.
  Steps(10);
  EXPECT_EQ(Requests(0x22).size(), 2u);
  EXPECT_EQ(diag_.m_byEarlyFinish, 1);
  EXPECT_EQ(diag_.m_wTestCountdown, 100);
  Steps(99);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTING);
  Steps(1);
  EXPECT_EQ(diag_.m_byState, disp::diagnostics::TESTED);
  EXPECT_EQ(diag_.m_dwResponse[0][0], 0x7u) << "the silent module did not answer";
  EXPECT_EQ(diag_.m_dwResponse[1][0], 0xFu);
}

}  // namespace
