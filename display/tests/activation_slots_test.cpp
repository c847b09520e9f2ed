// The activation slots: the first slot holding a code wins, a message
// overridden by a more urgent slot comes back with the time it has left,
// and an empty set of slots blanks the sign.
#include "display/task/display_peripherals.h"
#include "display/tests/activation_fixture.h"

#include "frame/bus/subscriber.h"

namespace {

class SlotsTest : public ActivationTest {
 protected:
  void SetUp() override {
    ActivationTest::SetUp();
    crcA_ = StoreChangeable(1, "A");
    crcB_ = StoreChangeable(2, "B");
    crcC_ = StoreChangeable(3, "C");
    SetTime(100000);
  }
  uint32_t EndTime(uint32_t slot) { return Vol(vol::activationSlotEndTime(slot)); }
  Bytes A(uint16_t minutes) { return Code(3, 1, crcA_, 255, minutes); }
  Bytes B(uint16_t minutes) { return Code(3, 2, crcB_, 255, minutes); }
  static Bytes Blank() { return Code(7, 1, 0); }

  uint16_t crcA_ = 0, crcB_ = 0, crcC_ = 0;
};

TEST_F(SlotsTest, EmptySlotsFallBackToTheBlankMessage) {
  trace_capture cap;
  Arbitrate();
  EXPECT_TRUE(cap.contains("Error! fail safe blank msg\n"));
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_NONE);
  EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), (Bytes{7, 0, 1, 0, 0}));
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 2u);
  EXPECT_EQ(Vol(vol::quorActivationReason), 2u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 0xFFFFu);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_BLANK);

  // Slots of the wrong length count as empty; so do 12 zero bytes.
  Bytes short_code = A(5), long_code = A(5);
  short_code.pop_back();
  long_code.push_back(0);
  WriteSlot(1, short_code);
  WriteSlot(3, long_code);
  WriteSlot(4, Bytes(12, 0));
  uint8_t slot = 0;
  EXPECT_FALSE(display_->determine_msg_to_run(&slot));
  WriteSlot(5, A(5));
  EXPECT_TRUE(display_->determine_msg_to_run(&slot));
  EXPECT_EQ(slot, 5);
}

TEST_F(SlotsTest, OverriddenMessageResumesWithTheMinutesLeft) {
  // Through the task: each slot write posts the letter that the next step
  // arbitrates on.
  WriteSlot(6, A(10), 8, 2);
  RunToStep(1);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(EndTime(6), 100000u + 600);
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 8u);

  SetTime(100000 + 150);
  WriteSlot(2, Blank(), 1, 5);
  RunToStep(2);
  EXPECT_EQ(Running(), "");
  EXPECT_EQ(Vol(vol::quorActivationReason), 5u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 0xFFFFu);

  // 200 seconds left when slot 2 goes: 3 whole minutes.
  SetTime(100000 + 400);
  Withdraw(2);
  RunToStep(3);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 3u);
  EXPECT_EQ(Duration(VolCode(vol::activationSlotCode(6))), 3);
  EXPECT_EQ(EndTime(6), 100000u + 600);
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 8u);
  EXPECT_EQ(Vol(vol::quorActivationReason), 2u);
}

TEST_F(SlotsTest, TimeThatRanOutUnderAnOverrideStartsTheEndDurationMessage) {
  SetNvBytes(nv::dmsEndDurationMessage, {3, 0, 3, static_cast<uint8_t>(crcC_ >> 8), static_cast<uint8_t>(crcC_)});
  WriteSlot(6, A(10), 8, 2);
  RunToStep(1);
  SetTime(100000 + 60);
  WriteSlot(0, Blank(), 1, 6);
  RunToStep(2);
  EXPECT_EQ(Running(), "");

  // Fifteen minutes under slot 0: slot 6's message is not shown again.
  SetTime(100000 + 60 + 900);
  trace_capture cap;
  Withdraw(0);
  RunToStep(3);
  EXPECT_TRUE(cap.contains("activating end duration msg\n"));
  EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 14u);
  // The end-duration code's own letter starts it.
  RunToStep(4);
  EXPECT_EQ(Running(), "C");
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 14u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 0xFFFFu);
}

TEST_F(SlotsTest, ArbitrationCases) {
  struct Case {
    const char* what;
    Bytes first;              // slot 6's code before the override
    Bytes during;             // slot 6 rewritten while slot 2 holds (empty: not)
    uint32_t away;            // seconds under slot 2
    std::string shown;        // after slot 2 is withdrawn
    uint16_t remaining;       // dmsMessageTimeRemaining then
    uint32_t end;             // slot 6's end time then
  } cases[] = {
      {"the same message comes back with the minutes left", A(10), {}, 130, "A", 7, 100000 + 600},
      {"another message starts with its full duration", A(10), B(4), 130, "B", 4, 100000 + 130 + 240},
      {"the same message rewritten counts as uncovered", A(10), A(10), 130, "A", 7, 100000 + 600},
      {"the same message whose time passed ends", A(3), A(3), 200, "", 0, 100000 + 180},
      {"a message without end resumes unchanged", A(0xFFFF), {}, 1000000, "A", 0xFFFF, 100000 + 60 * 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    SetNvBytes(nv::dmsEndDurationMessage, {7, 0, 1, 0, 0});
    WriteSlot(6, c.first, 8, 2);
    Arbitrate();
    ASSERT_EQ(Running(), "A");
    WriteSlot(2, Blank(), 1, 5);
    Arbitrate();
    ASSERT_EQ(Running(), "");
    SetTime(100000 + c.away);
    if (!c.during.empty()) WriteSlot(6, c.during, 8, 2);
    Withdraw(2);
    Arbitrate();
    EXPECT_EQ(Running(), c.shown);
    if (!c.shown.empty()) {
      EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), c.remaining);
    }
    EXPECT_EQ(EndTime(6), c.end);
  }
}

TEST_F(SlotsTest, NewCodeInTheRunningSlotRestartsItsTime) {
  WriteSlot(6, A(10));
  Arbitrate();
  SetTime(100000 + 300);
  WriteSlot(6, A(10));
  Arbitrate();
  EXPECT_EQ(EndTime(6), 100000u + 300 + 600);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 10u);
}

TEST_F(SlotsTest, FirstArbitrationAfterStartUpTreatsTheWinnerAsNew) {
  // Left from before: the same message, run from slot 6 long ago.
  db_->SetString(vol::activationSlotLastCode(6).offset, 4, A(10).data(), 12, db_->mib_v, 0);
  SetVol(vol::activationSlotEndTime(6), 5);
  WriteSlot(6, A(10));
  Arbitrate();
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(EndTime(6), 100000u + 600);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 10u);
  EXPECT_EQ(VolCode(vol::activationSlotLastCode(6)), A(10));
}

TEST_F(SlotsTest, RefusedCodeLeavesTheArbitrationAsItWas) {
  WriteSlot(6, A(10));
  Arbitrate();
  WriteSlot(3, Code(3, 1, crcA_ ^ 1), 3, 2);
  Arbitrate();
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_MESSAGE_CRC);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(VolCode(vol::activationSlotLastCode(3)), Bytes());
  // The refused code stays in its slot and keeps winning the arbitration.
  Arbitrate();
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_MESSAGE_CRC);
  EXPECT_EQ(Running(), "A");
}

TEST_F(SlotsTest, ScheduleActivationIsAnnouncedAndCurrentBufferIsNotRemembered) {
  static const uint32_t ids[] = {MSG_MESSAGE_ACTIVATED, 0};
  subscriber listener(&g_post_office, nullptr, 1, nullptr);
  ASSERT_EQ(listener.Subscribe(ids), 1);
  const msg_row schedule{true, nv::scheduleMessageMultiString, nv::scheduleMessageOwner, nv::scheduleMessageCRC,
                         nv::scheduleMessageBeacon, nv::scheduleMessagePixelService,
                         nv::scheduleMessageRunTimePriority, nv::scheduleMessageStatus};
  WriteRow(schedule, "B", MSG_STATUS_NOT_USED, 0);

  WriteSlot(6, Code(6, 1, 0), 9, 2);
  Arbitrate();
  EXPECT_EQ(Running(), "B");
  letter_s* letter = nullptr;
  ASSERT_TRUE(listener.Receive(&letter));
  EXPECT_EQ(letter->Id(), static_cast<uint32_t>(MSG_MESSAGE_ACTIVATED));
  listener.Release(letter);
  EXPECT_EQ(NvBytes(nv::quorLastActivatedCode), Code(6, 1, 0));

  // The current buffer runs again; the last activated code stays.
  const uint16_t crc = static_cast<uint16_t>(Nv(nv::currentBufferCRC));
  WriteSlot(6, Code(5, 1, crc), 2, 2);
  Arbitrate();
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_NONE);
  EXPECT_EQ(NvBytes(nv::dmsMsgTableSource), (Bytes{5, 0, 1, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)}));
  EXPECT_EQ(NvBytes(nv::quorLastActivatedCode), Code(6, 1, 0));
  EXPECT_FALSE(listener.Receive(&letter));
  listener.Unsubscribe();
}

// A central request ends the power-loss message of the sign power-mode
// peripheral, and each activation releases the outputs messages switched on.
TEST_F(SlotsTest, CentralRequestClearsThePowerLossMessageAndOutputs) {
  static int cleared_power_loss, cleared_outputs;
  cleared_power_loss = cleared_outputs = 0;
  const display_peripheral_links saved = g_display_peripherals;
  g_display_peripherals.clear_power_loss_activation = [] { ++cleared_power_loss; };
  g_display_peripherals.clear_gp_output_requests = [] { ++cleared_outputs; };
  const Bytes code = A(20);
  db_->SetString(vol::dmsActivateMessage.offset, 4, code.data(), 12, db_->mib_v, 0);
  bool failed = true;
  InThread([&] { failed = display_activate_message(); });
  g_display_peripherals = saved;
  EXPECT_FALSE(failed);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(cleared_power_loss, 1);
  EXPECT_GE(cleared_outputs, 1);
}

TEST_F(SlotsTest, CentralRequestGoesThroughSlotSix) {
  SetNv(nv::quorDisplayMode, 5);
  const Bytes code = A(20);
  db_->SetString(vol::dmsActivateMessage.offset, 4, code.data(), 12, db_->mib_v, 0);
  bool failed = true;
  InThread([&] { failed = display_activate_message(); });
  EXPECT_FALSE(failed);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(Nv(nv::quorDisplayMode), 1u);
  EXPECT_EQ(Vol(vol::activationSlotSourceMode(6)), 8u);
  EXPECT_EQ(Vol(vol::activationSlotReason(6)), 2u);
  EXPECT_EQ(VolCode(vol::activationSlotCode(6)), code);
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 8u);
  EXPECT_EQ(NvBytes(nv::quorLastActivatedCode), code);
  // The slot was filled without its letter: no second arbitration follows.
  letter_s* letter = nullptr;
  EXPECT_FALSE(display_->Inbox().Receive(&letter));

  // A refusal is reported to the agent.
  const Bytes bad = Code(3, 2, crcB_ ^ 1);
  db_->SetString(vol::dmsActivateMessage.offset, 4, bad.data(), 12, db_->mib_v, 0);
  InThread([&] { failed = display_activate_message(); });
  EXPECT_TRUE(failed);
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), ACTIVATE_MESSAGE_CRC);
  EXPECT_EQ(VolCode(vol::dmsMessageCodeOfActivationError), bad);
  EXPECT_EQ(Running(), "A");

  // And the same through the request bit of the database write.
  InThread([&] { db_->SetString(vol::dmsActivateMessage.offset, 4, B(6).data(), 12, db_->mib_v, DB_NOTIFY); });
  RunToStep(1);
  EXPECT_EQ(Running(), "B");
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 6u);
}

TEST_F(SlotsTest, CentralActivationGoesOnWhileTheDisplayTaskIsSuspended) {
  InThread([] { g_post_office.Publish(MSG_DISPLAY_SUSPEND); });
  RunToStep(1);  // the step suspends its own thread
  db_->SetString(vol::dmsActivateMessage.offset, 4, A(5).data(), 12, db_->mib_v, 0);
  bool failed = true;
  EXPECT_TRUE(rtos::run_in_thread([&] { failed = display_activate_message(); }, 16, 100));
  EXPECT_FALSE(failed);
  EXPECT_EQ(Running(), "A");
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 5u);
  // Resumed, the task finishes the step it was suspended in.
  InThread([&] { display_->Resume(); });
  RunToStep(3);
  EXPECT_EQ(display_->m_dwDisplayState, CDisplay::STATE_PAGE_ON);
}

}  // namespace
