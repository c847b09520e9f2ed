// Auto-detection against simulated utility boards on the sensor buses of
// the simulated board: the records written for the boards that answer, the
// per-line records of a line-matrix sign, and the report to the front panel.
#include <algorithm>
#include <memory>
#include <vector>

#include "peripherals/tests/task_fixture.h"
#include "sim/can/utility_board.h"

namespace {

using records = std::map<uint16_t, std::string>;

class AutoDetectTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpTask(true);
    reports_ = std::make_unique<subscriber>(&g_post_office, &inbox_flags_, 1, nullptr);
    static const uint32_t kReports[] = {MSG_PERIPHERAL_REPORT, 0};
    reports_->Subscribe(kReports);
  }
  void TearDown() override {
    boards_.clear();
    reports_.reset();
    TaskFixture::TearDown();
  }
  // A board on sensor bus B (the controller's own CAN controller).
  sim::utility_board* OnBusB(uint32_t address) {
    boards_.push_back(std::make_unique<sim::utility_board>(board::q5_wire(), address));
    return boards_.back().get();
  }
  // A board on sensor bus A, behind the EPLD, on one of its channels.
  sim::utility_board* OnBusA(uint32_t address, unsigned channel = 0) {
    boards_.push_back(std::make_unique<sim::utility_board>(board::epld_wire(channel), address, 0x0102, 0));
    return boards_.back().get();
  }
  // Asks for a detection and lets it run to its end (the queries take the
  // buses' time: longer where nothing answers), then one step more for the
  // report and the reload.
  void Detect() {
    Deliver(MSG_AUTO_DETECT, 0, 0, LETTER_KIND_NONE);
    Steps(1);
    ASSERT_NE(task_->AutoDetectState(), CPeripheralTask::DETECT_IDLE);
    for (int i = 0; i < 100 && task_->AutoDetectState() != CPeripheralTask::DETECT_IDLE; ++i) Steps(1);
    ASSERT_EQ(task_->AutoDetectState(), CPeripheralTask::DETECT_IDLE);
    Steps(2);
  }
  // The completion reports since the last call, as (a, b).
  std::vector<std::pair<uint16_t, uint16_t>> Reports() {
    std::vector<std::pair<uint16_t, uint16_t>> out;
    letter_s* l = nullptr;
    while (reports_->Receive(&l)) {
      if (l->kind == LETTER_KIND_PAIRS) out.push_back({l->HighHalf(0), l->LowHalf(0)});
      reports_->Release(l);
    }
    return out;
  }
  void LineSign(uint32_t height, uint32_t character) {
    SetNv(nv::dmsSignType, 5);
    SetNv(nv::vmsSignHeightPixels, height);
    SetNv(nv::vmsCharacterHeightPixels, character);
  }

  std::vector<std::unique_ptr<sim::utility_board>> boards_;
  std::unique_ptr<subscriber> reports_;
};

TEST_F(AutoDetectTest, BoardsOnTheSensorBusesGetTheirRecords) {
  OnBusA(0x42201);     // the product board's I/O
  OnBusA(0x43003);     // isolation board 3, found on bus 1 first
  OnBusA(0x43007);     // a second board of the family
  OnBusA(0x42101);     // a temperature sensor: answers, but is no utility board
  OnBusA(0x42222, 2);  // answers on EPLD channel 2: not the board looked for
  OnBusB(0x42221);     // mini DC I/O 1
  OnBusB(0x43003);
  OnBusB(0x42225)->set_silent(true);
  Record(0, 660, "1");       // deleted by the request
  Start();
  trace_capture trace;
  Detect();
  EXPECT_EQ(Records(), (records{{75, "32,1"},
                                {30, "19,32"},
                                {796, "43003,1"},
                                {800, "43007,1"},
                                {590, "42221,2"},
                                {76, "24E,1"},
                                {31, "19,24E"}}));
  EXPECT_TRUE(trace.contains("auto detect complete\n"));
  EXPECT_EQ(Reports(), (std::vector<std::pair<uint16_t, uint16_t>>{{70, 1}}));
  // The front panel heard of it on the task's next letter pass, and the new
  // records were loaded.
  EXPECT_NE(Test(70), nullptr);
  const std::vector<uint32_t>& events = Test(70)->events;
  EXPECT_NE(std::find(events.begin(), events.end(), MSG_PERIPHERAL_REPORT), events.end());
  EXPECT_NE(Live(30), nullptr);
  EXPECT_NE(Live(31), nullptr);
  EXPECT_EQ(boards_[4]->detections(), 1u) << "asked once, on its own channel";
  EXPECT_EQ(boards_[5]->detections(), 7u) << "asked on each of the seven channels";
}

TEST_F(AutoDetectTest, NothingAnswersOnAnOrdinarySign) {
  Record(0, 30, "1");
  Record(7, 160, "42101,1,1");
  Start();
  Detect();
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(Reports(), (std::vector<std::pair<uint16_t, uint16_t>>{{70, 1}}));
  EXPECT_EQ(Live(30), nullptr);
}

TEST_F(AutoDetectTest, ALineMatrixSignGetsItsLineRecords) {
  LineSign(21, 7);
  Start();
  Detect();
  EXPECT_EQ(Records(), (records{{151, "42001,1,2"},
                                {152, "42001,1,3"},
                                {160, "42101,1,1"},
                                {161, "42101,1,2"},
                                {162, "42101,1,3"},
                                {170, "42221,1,1"},
                                {171, "42221,1,2"},
                                {172, "42221,1,3"},
                                {180, "18,AA"},
                                {181, "18,AB"},
                                {182, "18,AC"}}));
}

TEST_F(AutoDetectTest, LineRecordsStopAtTheTenthLine) {
  // 28 lines: from the eleventh on, a line's light sensor would take the
  // first line's temperature sensor's type.
  LineSign(196, 7);
  Start();
  Detect();
  const records r = Records();
  EXPECT_EQ(r.size(), 39u);
  EXPECT_EQ(r.at(159), "42001,1,A");
  EXPECT_EQ(r.at(160), "42101,1,1");
  EXPECT_EQ(r.at(189), "18,B3");
  EXPECT_EQ(r.count(190), 0u);
  EXPECT_EQ(r.count(150), 0u);
}

TEST_F(AutoDetectTest, LinesNeedACharacterHeight) {
  LineSign(21, 0);
  OnBusB(0x42226);
  Start();
  Detect();
  EXPECT_EQ(Records(), (records{{595, "42226,2"}}));
}

TEST_F(AutoDetectTest, ARequestDuringARunIsIgnored) {
  OnBusB(0x43008);
  Start();
  Deliver(MSG_AUTO_DETECT, 0, 0, LETTER_KIND_NONE);
  Steps(1);
  ASSERT_NE(task_->AutoDetectState(), CPeripheralTask::DETECT_IDLE);
  Deliver(MSG_AUTO_DETECT, 0, 0, LETTER_KIND_NONE);
  Steps(20);
  EXPECT_EQ(Records(), (records{{801, "43008,2"}}));
  EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(AutoDetectTest, WithoutACanStackTheRunStillCompletes) {
  task_->SetCan(nullptr);
  LineSign(14, 7);
  Start();
  Detect();
  EXPECT_EQ(Records().size(), 7u);  // 151, 160, 161, 170, 171, 180, 181
  EXPECT_EQ(Reports().size(), 1u);
}

}  // namespace
