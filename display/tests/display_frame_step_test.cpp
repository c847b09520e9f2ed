// The display task on the manual clock with a recording driver: a message
// started directly is drawn and handed to the driver with the page timing
// of its text, and its remaining time counts down to the end-duration
// message.
#include "display/tests/display_fixture.h"

#include <cstring>

#include "display/codes/msg_codes.h"

namespace {

const DisplayTest::Picture kPageA = {
    ".#.............", "#.#............", "###............", "#.#............", "#.#............",
    "...............", "..............."};
const DisplayTest::Picture kPageB = {
    "##.............", "#.#............", "##.............", "#.#............", "##.............",
    "...............", "..............."};
const DisplayTest::Picture kBlank(7, "...............");

TEST_F(DisplayTest, PageTimesOfTheTextPaceTheFramesHandedToTheDriver) {
  struct Case {
    const char* text;
    std::vector<std::pair<DisplayTest::Picture, uint32_t>> runs;  // after the first frame step
    uint32_t steps;
  } cases[] = {
      // Two pages of 3 s without off time: the page change draws the next
      // page at once, no blank frame between.
      {"[pt30o0]A[np]B", {{kPageA, 30}, {kPageB, 30}, {kPageA, 30}, {kPageB, 5}}, 96},
      // One page, 2 s on and 0.5 s off given by its tag: 20 frames, 5 blank,
      // then the page again.
      {"[pt20o5]A", {{kPageA, 20}, {kBlank, 5}, {kPageA, 20}, {kBlank, 5}, {kPageA, 3}}, 54},
      // One page without an off time is shown without end.
      {"A", {{kPageA, 60}}, 61},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TearDown();
    SetUp();
    ASSERT_EQ(Register(7, 15), 10);
    Start(c.text);
    RunToStep(c.steps);
    // The first step draws the first page; the frame goes out a step later.
    EXPECT_EQ(Runs(), c.runs);
  }
}

TEST_F(DisplayTest, PageChangeHappensInTheFirstStepOfThePageOffState) {
  Register(7, 15);
  Start("[pt30o0]A[np]B");
  RunToStep(30);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_PAGE_OFF);
  RunToStep(31);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_PAGE_ON);
  EXPECT_EQ(g_render.m_byAttribute1, 30);
  EXPECT_EQ(g_render.m_byAttribute2, 0);
}

TEST_F(DisplayTest, UndrawablePageBlanksTheSign) {
  Register(7, 15);
  trace_capture cap;
  Start("A[fo9]B");  // no font 9
  RunToStep(3);
  EXPECT_TRUE(cap.contains("ERROR PARSING FRAME\n"));
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_BLANK);
  for (const auto& f : driver_.frames) EXPECT_FALSE(f.Lit());
}

TEST_F(DisplayTest, BlankSignWritesDarkFramesBeforeAnyMessage) {
  Register(7, 15);
  RunToStep(4);
  ASSERT_EQ(driver_.frames.size(), 4u);
  for (const auto& f : driver_.frames) EXPECT_EQ(f.Rows(), kBlank);
}

class MessageTimeTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    // The end-duration message: changeable message 7, CRC 0x1234.
    CMsgIDCode id;
    id.Set(3, 7, 0x1234);
    SetNvBytes(nv::dmsEndDurationMessage, std::vector<uint8_t>(id.m_encoded, id.m_encoded + 5));
    // Valid, or the table pass at the task's start turns the reference into
    // a blank.
    SetNv(nv::dmsMessageStatus(6), 4);
    SetNv(nv::dmsMsgSourceMode, 8);
    Register(7, 15);
    Start("A");
    inbox_ = std::make_unique<subscriber>(&g_post_office, nullptr, 1, nullptr);
    inbox_->Subscribe(kActivationLetters);
  }
  void TearDown() override {
    inbox_.reset();
    DisplayTest::TearDown();
  }
  void SetTime(uint32_t seconds) {
    InThread([&] { db_->SetTimeValue(nv::globalTime.offset, 4, seconds, db_->mib_nv, DB_GLOBAL_TIME); });
  }
  // Activation letters since the last call.
  uint32_t ActivationLetters() {
    uint32_t n = 0;
    letter_s* l = nullptr;
    while (inbox_->Receive(&l)) {
      ++n;
      inbox_->Release(l);
    }
    return n;
  }
  uint32_t Step() {
    rtos::advance(10);
    return Nv(nv::dmsMessageTimeRemaining);
  }

  static const uint32_t kActivationLetters[];
  std::unique_ptr<subscriber> inbox_;
};

const uint32_t MessageTimeTest::kActivationLetters[] = {MSG_ACTIVATION_WRITTEN, 0};

TEST_F(MessageTimeTest, RemainingMinutesCountDownToTheEndDurationMessage) {
  SetTime(1000);
  SetNv(nv::dmsMessageTimeRemaining, 3);
  RunToStep(2);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 3u);
  // Whole minutes since the time was first seen; the seconds of the
  // unfinished minute keep counting.
  SetTime(1059);
  EXPECT_EQ(Step(), 3u);
  SetTime(1090);
  EXPECT_EQ(Step(), 2u);
  SetTime(1119);
  EXPECT_EQ(Step(), 2u);
  SetTime(1120);
  EXPECT_EQ(Step(), 1u);
  SetTime(1179);
  EXPECT_EQ(Step(), 1u);
  EXPECT_EQ(ActivationLetters(), 0u);
  SetTime(1180);
  EXPECT_EQ(Step(), 0u);

  // Slot 6 asks for the end-duration message, once.
  EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 14u);
  EXPECT_EQ(Vol(vol::activationSlotReason(6)), 2u);
  CMsgActivationCode code;
  const std::string bytes = VolBytes(vol::activationSlotCode(6));
  ASSERT_TRUE(code.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())));
  EXPECT_EQ(code.m_wDuration, 65535);
  EXPECT_EQ(code.m_byPriority, 255);
  EXPECT_EQ(code.m_byMemoryType, 3);
  EXPECT_EQ(code.m_wMessageNumber, 7);
  EXPECT_EQ(code.m_wCRC, 0x1234);
  const uint8_t loopback[4] = {127, 0, 0, 1};
  EXPECT_EQ(std::memcmp(code.m_bySource, loopback, 4), 0);
  EXPECT_EQ(ActivationLetters(), 1u);

  // Once the end-duration message runs (its source mode), nothing more.
  SetNv(nv::dmsMsgSourceMode, 14);
  Step();
  Step();
  EXPECT_EQ(ActivationLetters(), 0u);
}

TEST_F(MessageTimeTest, NewTimeRestartsTheMinuteCount) {
  SetTime(5000);
  SetNv(nv::dmsMessageTimeRemaining, 10);
  RunToStep(2);
  SetTime(5050);
  // Set by hand 50 s into the first minute: counting starts again now.
  SetNv(nv::dmsMessageTimeRemaining, 4);
  EXPECT_EQ(Step(), 4u);
  SetTime(5100);
  EXPECT_EQ(Step(), 4u);
  SetTime(5110);
  EXPECT_EQ(Step(), 3u);
}

TEST_F(MessageTimeTest, MessagesWithoutEndAndMissingEndMessagesRequestNothing) {
  SetTime(0);
  SetNv(nv::dmsMessageTimeRemaining, 65535);
  RunToStep(3);
  SetTime(100000);
  Step();
  EXPECT_EQ(ActivationLetters(), 0u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 65535u);

  // An end-duration code that is not 5 bytes is ignored, every step.
  SetNvBytes(nv::dmsEndDurationMessage, {3, 0, 7});
  SetNv(nv::dmsMessageTimeRemaining, 0);
  Step();
  Step();
  EXPECT_EQ(ActivationLetters(), 0u);
  EXPECT_EQ(VolBytes(vol::activationSlotCode(6)), "");
}

}  // namespace
