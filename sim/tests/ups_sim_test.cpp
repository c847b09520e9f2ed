// The simulated UPS: its answers per dialect and script, and the AUX port's
// pipe end of the board as its transport.
#include <memory>
#include <string>

#include "frame/serial/q5_quad_serial_driver.h"
#include "frame/tests/board_fixture.h"
#include "sim/ups/ups_unit.h"

namespace {

using sim::ups_unit;

TEST(UpsSim, AnswersFollowTheScript) {
  ups_unit colon(ups_unit::dialect::colon_command);
  colon.set_line_volts(118);
  colon.set_battery_volts(27);
  colon.receive(std::string(":D\xBB\r"));
  EXPECT_EQ(colon.take_output(), std::string("D0\x76" "0\x1B\r"));
  colon.set_mode(ups_unit::mode::battery);
  colon.receive(std::string(":S\xAC\r"));
  EXPECT_EQ(colon.take_output(), std::string("S000\x01\r", 6));
  colon.receive(std::string(":S\xAD\r"));  // a wrong check byte
  EXPECT_EQ(colon.take_output(), "");
  EXPECT_EQ(colon.queries(), 2u);
  EXPECT_EQ(colon.stray_bytes(), 4u);

  ups_unit q1(ups_unit::dialect::q1_line);
  q1.set_mode(ups_unit::mode::low_battery);
  q1.receive("Q1\r");
  const std::string line = q1.take_output();
  EXPECT_EQ(line, "(120.0 140.0 120.0 034 59.9 2.70 35.0 11000000\r");

  ups_unit status(ups_unit::dialect::status_byte);
  status.set_overload(true);
  status.receive(std::string("\x01", 1));
  const std::string reply = status.take_output();
  ASSERT_EQ(reply.size(), 11u);
  EXPECT_EQ(reply[9], 0x20);
  status.set_mode(ups_unit::mode::silent);
  status.receive(std::string("\x01", 1));
  EXPECT_FALSE(status.has_output());
  status.set_mode(ups_unit::mode::garbage);
  status.receive(std::string("\x01", 1));
  EXPECT_LT(status.take_output().size(), 10u);
}

class UpsOnAuxLine : public BoardTest {};

TEST_F(UpsOnAuxLine, QueriesAndAnswersCrossTheQuadChannel) {
  CQ5QuadSerialDriver drv;
  ASSERT_EQ(drv.Open(2, 2400, 8, SERIAL_OPT_INTERRUPTS | SERIAL_OPT_RTS_LOW, 0, 256), 1u);
  ups_unit unit(ups_unit::dialect::colon_command);
  unit.attach(&board::serial(2));
  unit.set_mode(ups_unit::mode::battery);
  ASSERT_EQ(drv.WriteString(":S\xAC\r"), 1u);
  EXPECT_EQ(unit.pump(), 4u);
  std::string got;
  uint32_t b = 0;
  while (drv.ReadByte(&b)) got += static_cast<char>(b);
  EXPECT_EQ(got, std::string("S000\x01\r", 6));
}

}  // namespace
