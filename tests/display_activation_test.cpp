// The main road of the sign, in the whole controller started in-process on
// the manual clock: a message is stored in the changeable table and
// validated by the display task, its code written into activation slot 6,
// and the next display step activates it, renders it with a built-in font
// and hands the frame to the sign's driver.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "display/driver/recording_driver.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "tests/controller_fixture.h"

namespace {

class DisplayRoadTest : public controller_test {
 protected:
  void SetUp() override { Boot(); }

  recording_display_driver driver_;
  // The trace goes here, not through the console's serial port.
  trace_capture cap_;
};

TEST_F(DisplayRoadTest, StoredMessageIsActivatedFromSlotSixAndReachesTheDriver) {
  FirstDisplayStep();
  InThread([&] { ConfigureSmallSign(&driver_); });
  DisplaySteps(1);
  ASSERT_FALSE(driver_.configures.empty());
  EXPECT_EQ(driver_.configures.back().width, 30);

  // The manager stores changeable message 1 and asks for its validation.
  const std::string text = "HELLO";
  InThread([&] { StoreChangeable1(text); });
  DisplaySteps(1);
  ASSERT_EQ(Nv(nv::dmsMessageStatus(0)), 4u);
  const uint16_t crc = static_cast<uint16_t>(Nv(nv::dmsMessageCRC(0)));
  EXPECT_EQ(crc, 0xECF8);  // X.25 0xF8EC over "HELLO", 0, 0

  // Its code goes into slot 6 as every ordinary request does.
  CMsgActivationCode code;
  code.m_wDuration = 0xFFFF;
  code.m_byPriority = 200;
  code.m_byMemoryType = 3;
  code.m_wMessageNumber = 1;
  code.m_wCRC = crc;
  code.Encode();
  InThread([&] {
    uint8_t* v = Db().mib_v;
    Set(v, vol::activationSlotSourceMode(6), 8, DB_NOTIFY);
    Set(v, vol::activationSlotReason(6), 2, DB_NOTIFY);
    Db().SetString(vol::activationSlotCode(6).offset, 4, code.m_encoded, 12, v, DB_NOTIFY);
  });
  driver_.Clear();
  // One step arbitrates, activates and draws the first page, the next
  // hands the frame out.
  DisplaySteps(1);
  DisplaySteps(1);
  ASSERT_FALSE(driver_.frames.empty());
  const std::vector<std::string> hello = {
      "#...#.#####.#.....#......###..",
      "#...#.#.....#.....#.....#...#.",
      "#...#.#.....#.....#.....#...#.",
      "#####.####..#.....#.....#...#.",
      "#...#.#.....#.....#.....#...#.",
      "#...#.#.....#.....#.....#...#.",
      "#...#.#####.#####.#####..###..",
  };
  EXPECT_EQ(driver_.frames.back().Rows(), hello);

  // The NTCIP objects describe what runs.
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), 2u);
  EXPECT_EQ(Nv(nv::dmsMultiSyntaxError), 2u);
  EXPECT_EQ(NvText(nv::currentBufferMultiString), text);
  EXPECT_EQ(NvText(nv::currentBufferOwner), "tmc");
  EXPECT_EQ(Nv(nv::currentBufferCRC), crc);
  EXPECT_EQ(Nv(nv::currentBufferRunTimePriority), 10u);
  EXPECT_EQ(Nv(nv::currentBufferStatus), 4u);
  EXPECT_EQ(NvText(nv::dmsMsgTableSource),
            std::string({3, 0, 1, static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)}));
  EXPECT_EQ(Nv(nv::dmsMsgSourceMode), 8u);
  EXPECT_EQ(Nv(nv::dmsMessageTimeRemaining), 0xFFFFu);

  // The agent's recorder of refused activations asks the display why a
  // code would fail (the hook start-up installed): a wrong CRC is the
  // table's own reason.
  code.m_wCRC = crc ^ 1;
  code.Encode();
  InThread([&] { snmp_activation_refused(code.m_encoded, 12); });
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), 7u);

  // The agent's central path refuses it the same way, and the message stays.
  InThread([&] {
    Db().SetString(vol::dmsActivateMessage.offset, 4, code.m_encoded, 12, Db().mib_v, 0);
    EXPECT_TRUE(display_activate_message());
  });
  EXPECT_EQ(Nv(nv::dmsActivateMsgError), 7u);
  DisplaySteps(1);
  EXPECT_EQ(driver_.frames.back().Rows(), hello);
  EXPECT_EQ(NvText(nv::currentBufferMultiString), text);
}

}  // namespace
