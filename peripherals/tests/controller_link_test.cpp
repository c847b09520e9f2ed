// The controller link on the controller bus of the simulated board: the
// primary's light mail, the secondary's node filter and time-out, malformed
// mails, and the light level the task takes from the link.
#include <string>
#include <vector>

#include "frame/timer/timer_scheduler.h"
#include "peripherals/devices/controller_link.h"
#include "peripherals/tests/task_fixture.h"
#include "sim/can/partner_controller.h"

namespace {

class ControllerLinkTest : public TaskFixture {
 protected:
  void SetUp() override {
    SetUpTask(true);
    // The controller bus runs on the EPLD's CAN channel 0.
    partner_ = std::make_unique<sim::partner_controller>(board::epld_wire(0));
  }
  void TearDown() override {
    partner_.reset();
    TaskFixture::TearDown();
  }
  controller_comm* Primary() { return dynamic_cast<controller_comm*>(Live(controller_comm::TYPE_ID)); }
  ctrl_secondary* Secondary() { return dynamic_cast<ctrl_secondary*>(Live(ctrl_secondary::TYPE_ID)); }
  // The partner sends, then the secondary polls (every second cycle).
  void Send(const std::vector<uint8_t>& mail) {
    ASSERT_TRUE(partner_->send_mail(mail));
    Steps(2);
  }
  void SendFrame(std::initializer_list<uint8_t> data) {
    ASSERT_TRUE(partner_->send_frame(board::make_frame(sim::partner_controller::MAIL_ID, true, data)));
  }

  std::unique_ptr<sim::partner_controller> partner_;
};

TEST_F(ControllerLinkTest, ThePrimarySendsItsLightLevelEveryOtherCycle) {
  Record(0, controller_comm::TYPE_ID, "");
  Start();
  controller_comm* primary = Primary();
  ASSERT_NE(primary, nullptr);
  EXPECT_EQ(primary->m_wPollInterval, 2);
  EXPECT_EQ(primary->m_byFromDatabase, 1);
  EXPECT_EQ(primary->m_byState, PERIPHERAL_READING);
  EXPECT_EQ(std::string(primary->name()), "CTRL COMM PRIMARY");
  EXPECT_EQ(primary->m_primary, 1);
  Steps(4);
  EXPECT_EQ(primary->m_byState, PERIPHERAL_VALID);
  EXPECT_TRUE(partner_->mails().empty()) << "a level of 0 is never sent";

  sensor_readings::light[2] = 0x1234;
  Sensor(2);
  Steps(1);
  Steps(4);
  const auto mails = partner_->mails();
  ASSERT_GE(mails.size(), 2u);
  EXPECT_LE(mails.size(), 3u);
  EXPECT_EQ(mails[0], (std::vector<uint8_t>{0x01, 0x01, 0x00, 0x00, 0x00, 0x02, 0x12, 0x34}));
  // On the wire: two frames with the link's own identifier.
  const auto log = board::epld_wire(0).log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].id, 0x5B001u);
  EXPECT_EQ(log[0].dlc, 8);
  EXPECT_EQ(std::vector<uint8_t>(log[0].data, log[0].data + 8),
            (std::vector<uint8_t>{0x81, 1, 2, 0x01, 0, 0, 0, 2}));
  EXPECT_EQ(std::vector<uint8_t>(log[1].data, log[1].data + 5), (std::vector<uint8_t>{0x81, 2, 2, 0x12, 0x34}));
}

TEST_F(ControllerLinkTest, TheSecondaryTakesMailsForItsNodeOrForAll) {
  Record(0, ctrl_secondary::TYPE_ID, "3");
  Start();
  ctrl_secondary* secondary = Secondary();
  ASSERT_NE(secondary, nullptr);
  EXPECT_EQ(secondary->Node(), 3);
  EXPECT_EQ(secondary->m_byState, PERIPHERAL_READING);
  struct Case {
    uint8_t destination;
    uint16_t level;
    uint16_t expected;
  } cases[] = {{3, 0x0101, 0x0101}, {0, 0x0202, 0x0202}, {2, 0x0303, 0x0202}, {15, 0x0404, 0x0202},
               {3, 0xFFFF, 0xFFFF}};
  for (const Case& c : cases) {
    Send(sim::light_mail(c.level, c.destination));
    EXPECT_EQ(secondary->GetLightLevel(), c.expected) << int(c.destination);
    EXPECT_EQ(secondary->m_byState, PERIPHERAL_VALID);
  }
}

TEST_F(ControllerLinkTest, TheSecondaryTimesOutAndTheSignFallsBackToItsOwnSensors) {
  Record(0, ctrl_secondary::TYPE_ID, "1");
  Start();
  sensor_readings::light[1] = 0x0030;
  Sensor(1);
  Send(sim::light_mail(0x0500));
  Steps(1);
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0x0500u) << "the primary's level";
  EXPECT_EQ(V(vol::lightLevelAmbient), 0x30u) << "its own objects still written";

  // The primary goes away: 120 s later the link is in error.
  rtos::advance(ctrl_secondary::TIMEOUT - 4 * kCycle);
  EXPECT_EQ(Secondary()->m_byState, PERIPHERAL_VALID);
  rtos::advance(4 * kCycle);
  EXPECT_EQ(Secondary()->m_byState, PERIPHERAL_COMM_ERROR);
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0x0030u);
  EXPECT_EQ(V(vol::peripheralLoadStatus(0)), 2u);
  EXPECT_EQ(V(vol::shortErrorStatus) & 0x8, 0u) << "the link is no attached device";

  Send(sim::light_mail(0x0600));
  EXPECT_EQ(Secondary()->m_byState, PERIPHERAL_VALID);
  Steps(1);
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0x0600u);
}

TEST_F(ControllerLinkTest, WithBothEndsThePrimaryWins) {
  // The secondary registers last and turns the bus's raw identifiers off.
  Record(0, controller_comm::TYPE_ID, "");
  Record(1, ctrl_secondary::TYPE_ID, "1");
  Start();
  sensor_readings::light[2] = 0x0077;
  Sensor(2);
  Send(sim::light_mail(0x0900));
  ASSERT_EQ(Secondary()->GetLightLevel(), 0x0900);
  Steps(1);
  EXPECT_EQ(V(vol::dmsIllumPhotocellLevelStatus), 0x0077u);
  Steps(2);
  const auto levels = partner_->light_levels();
  ASSERT_FALSE(levels.empty());
  EXPECT_EQ(levels.back(), 0x0077) << "its mails still leave with the link's identifier";
  EXPECT_EQ(board::epld_wire(0).log().back().id, 0x5B001u);
}

TEST_F(ControllerLinkTest, MalformedMailsAreDropped) {
  Record(0, ctrl_secondary::TYPE_ID, "0");
  Start();
  Send(sim::light_mail(0x0100));
  ASSERT_EQ(Secondary()->GetLightLevel(), 0x0100);
  trace_capture trace;
  // A mail too short to hold a level.
  Send({0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x77});
  EXPECT_EQ(Secondary()->GetLightLevel(), 0x0100);
  EXPECT_TRUE(trace.contains("ctrl_set_light::OnFrame: mail of 1 bytes dropped\n"));
  // A length beyond any mail, a continuation without a start, a frame short
  // of eight bytes, and a count of frames that does not fit the length.
  SendFrame({0x81, 1, 2, 0x01, 0, 0, 0xFF, 0xFF});
  SendFrame({0x81, 2, 2, 0x77, 0x77, 0, 0, 0});
  SendFrame({0x81, 1, 2, 0x01, 0, 0});
  SendFrame({0x81, 2, 2, 0x77, 0x77, 0, 0, 0});
  SendFrame({0x81, 1, 5, 0x01, 0, 0, 0, 2});
  SendFrame({0x81, 2, 5, 0x77, 0x77, 0, 0, 0});
  // The start of a mail, then a frame of another mail in its place.
  SendFrame({0x81, 1, 2, 0x01, 0, 0, 0, 2});
  SendFrame({0x81, 3, 3, 0x77, 0x77, 0, 0, 0});
  Steps(2);
  EXPECT_EQ(Secondary()->GetLightLevel(), 0x0100);
  // Another action's mail is not a light level.
  Send({0x01, 0x01, 0x00, 0x05, 0x00, 0x02, 0x66, 0x66});
  EXPECT_EQ(Secondary()->GetLightLevel(), 0x0100);
  // And the link still works.
  Send(sim::light_mail(0x0200));
  EXPECT_EQ(Secondary()->GetLightLevel(), 0x0200);
}

TEST_F(ControllerLinkTest, WithoutACanStackTheLinkDoesNotLoad) {
  Record(0, controller_comm::TYPE_ID, "");
  Record(1, ctrl_secondary::TYPE_ID, "2");
  task_->SetCan(nullptr);
  trace_capture trace;
  Start();
  EXPECT_EQ(Live(controller_comm::TYPE_ID), nullptr);
  EXPECT_EQ(Live(ctrl_secondary::TYPE_ID), nullptr);
  EXPECT_EQ(V(vol::peripheralLoadStatus(0)), 1u);
  EXPECT_EQ(V(vol::peripheralLoadStatus(1)), 1u);
  EXPECT_TRUE(trace.contains("load failure on CTRL COMM PRIMARY\n"));
}

TEST_F(ControllerLinkTest, RemovingTheLinkRemovesItsTimerAndDevice) {
  Record(0, ctrl_secondary::TYPE_ID, "1");
  Start();
  const uint32_t events = timer_scheduler_tx_rtos::Instance()->EventCount();
  ASSERT_NE(can_->core.find_device("CTRL COMM SECONDARY"), nullptr);
  InThread([] {
    pl_iterator records;
    ASSERT_EQ(records.Remove(ctrl_secondary::TYPE_ID), 1);
  });
  Steps(1);
  EXPECT_EQ(Live(ctrl_secondary::TYPE_ID), nullptr);
  EXPECT_EQ(can_->core.find_device("CTRL COMM SECONDARY"), nullptr);
  EXPECT_EQ(timer_scheduler_tx_rtos::Instance()->EventCount(), events - 1);
  // Its time-out no longer fires into a destroyed object.
  rtos::advance(ctrl_secondary::TIMEOUT + kCycle);
}

TEST(ControllerLinkNames, NamesOfTheTwoEnds) {
  EXPECT_STREQ(controller_comm::NameOfType(792), "CTRL COMM PRIMARY");
  EXPECT_STREQ(controller_comm::NameOfType(793), "CTRL COMM SECONDARY");
  EXPECT_EQ(controller_comm::NameOfType(794), nullptr);
  EXPECT_EQ(controller_comm::TypeOfName("CTRL COMM SECONDARY"), 793);
  EXPECT_EQ(controller_comm::TypeOfName("CTRL COMM PRIMARY"), 792);
  EXPECT_EQ(ctrl_secondary::NameOfType(792), nullptr);
  EXPECT_EQ(ctrl_secondary::TypeOfName("CTRL COMM PRIMARY"), 0);
  EXPECT_EQ(ctrl_secondary::TypeOfName("CTRL COMM SECONDARY"), 793);
  EXPECT_EQ(ctrl_secondary::TypeOfName(nullptr), 0);
}

TEST(ControllerLinkMail, TheLightMailRecord) {
  const can_mail mail = ctrl_set_light::LightMail(0x1234);
  EXPECT_EQ(mail.header, 0x01);
  EXPECT_EQ(mail.destination, 1);
  EXPECT_EQ(mail.type, 0);
  EXPECT_EQ(mail.length, 2);
  EXPECT_EQ(mail.payload[0], 0x12);
  EXPECT_EQ(mail.payload[1], 0x34);
}

}  // namespace
