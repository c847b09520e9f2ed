// The simulated front-panel unit: what it makes of the controller's bytes,
// good and cut short, and the bytes it sends.
#include <gtest/gtest.h>

#include <string>

#include "frame/can/can_cp_driver.h"
#include "sim/can/field_board.h"
#include "sim/panel/front_panel.h"

namespace {

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST(FrontPanelSim, TextPositionsAndTheRevisionAnswers) {
  sim::front_panel unit;
  unit.receive(B({0xFE, 'G', 39, 2}) + "ABC" + B({0xFE, 'G', 0, 4}) + "x");
  EXPECT_EQ(unit.line(2).substr(38), "AB");
  EXPECT_EQ(unit.line(3).substr(0, 2), "C ");  // the text runs on to the next line
  EXPECT_EQ(unit.line(4).substr(0, 2), "x ");  // column 0 is the first column
  unit.receive(B({0xFE, '6', 0xFE, '7'}));
  EXPECT_EQ(unit.take_output(), B({0xFF, 0xA7, 0xFF, 0xA9}));
  unit.receive(B({0xFE, 'X'}));
  EXPECT_EQ(unit.line(2), std::string(40, ' '));
}

TEST(FrontPanelSim, BitmapsAndBoxesWithEscapedParameters) {
  sim::front_panel unit;
  // 10 x 2 at (0xFE - 0xFE ...): the data bytes 0xFE and 0xFF come escaped.
  unit.receive(B({0xFE, 'd', 4, 1, 13, 2, 0xFF, 0xDE, 0xC0, 0xFF, 0xDF, 0x40}));
  EXPECT_EQ(unit.pixels(4, 1, 10, 2), "#######.##\n########.#\n");
  unit.receive(B({0xFE, 'x', 0xFF, 0xDF, 0, 5, 2, 6, 0xFE, 'r', 1, 10, 10, 12, 12}));
  EXPECT_EQ(unit.pixels(0, 5, 3, 2), "###\n###\n");
  EXPECT_EQ(unit.pixels(10, 10, 3, 3), "###\n#.#\n###\n");
  EXPECT_EQ(unit.unknown_commands(), 0u);
}

TEST(FrontPanelSim, CutAndUnknownCommandsAreCountedAndSkipped) {
  sim::front_panel unit;
  // A position cut short by the next command, an unknown letter, a stray
  // escape byte in the text, and a box whose corners are the wrong way.
  unit.receive(B({0xFE, 'G', 5, 0xFE, 'Q', 'A', 0xFF, 0xFE, 'd', 9, 0, 1, 0}) + "Z");
  EXPECT_EQ(unit.unknown_commands(), 3u);
  EXPECT_EQ(unit.stray_bytes(), 1u);
  EXPECT_EQ(unit.line(1).substr(0, 2), "AZ");
}

TEST(FrontPanelSim, AnOldUnitTakesParametersRaw) {
  sim::front_panel::config old;
  old.hardware_revision = 3;
  sim::front_panel unit(old);
  unit.receive(B({0xFE, '6'}));
  EXPECT_EQ(unit.take_output(), B({0xFF, 0xA3}));
  unit.receive(B({0xFE, 'c', 0xFE}));
  ASSERT_EQ(unit.commands().size(), 2u);
  EXPECT_EQ(unit.commands()[1].params, std::vector<uint8_t>{0xFE});
}

TEST(FrontPanelSim, FramesOfItsCanPortAndKeys) {
  sim::front_panel unit;
  unit.can_frame(0x42000, true, {0x11, 0x22}, true);
  EXPECT_EQ(unit.take_output(), B({0xFF, 0xB8, 0x00, 0x38, 0x40, 0x01, 0x02, 0x11, 0x22}));
  unit.can_frame(0x123, false, {0xFE}, true);
  EXPECT_EQ(unit.take_output(), B({0xFF, 0xB8, 0x24, 0x70, 0x01, 0xFE, 0xDE}));
  unit.press(8);
  unit.keyboard(0x04, {0x1C});
  unit.toggle_local();
  EXPECT_EQ(unit.take_output(), B({8, 0xFF, 0xBD, 0x04, 0x1C, 0xED, 0xFF, 0xB9}));
  // A frame for the unit's CAN port: the standard form is 13 bytes long.
  unit.receive(B({0xFE, 'A', 0x24, 0x70, 0x01, 0x7F, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(unit.can_frames().size(), 1u);
  EXPECT_EQ(unit.can_frames()[0].size(), 11u);
}

// The controller's FE 'A' command as the panel link carries it: the first
// byte raw, FE and FF among the others escaped.
std::string Tunnel(bool extended, uint32_t id, bool remote, const std::vector<uint8_t>& data) {
  uint8_t frame[can_cp_driver::EXTENDED_SIZE];
  const uint32_t n = can_cp_driver::BuildFrame(extended, id, remote, static_cast<uint8_t>(data.size()), data.data(),
                                               frame);
  std::string s(1, static_cast<char>(frame[0]));
  for (uint32_t k = 1; k < n; ++k) {
    if (frame[k] == 0xFE || frame[k] == 0xFF) s += B({0xFF, frame[k] ^ 0x20});
    else s.push_back(static_cast<char>(frame[k]));
  }
  return s;
}

TEST(FrontPanelSim, ItsCanPortCarriesFramesToTheBoardsAndTheirAnswersBack) {
  board::can_wire wire("panel");
  sim::field_board sensor(wire, 0x42109, 0x01FE);
  sim::front_panel unit;
  // Unplugged, a frame goes nowhere.
  unit.receive(Tunnel(true, 0x42109, false, {0x02, 0x01, 0x01}));
  EXPECT_EQ(sensor.frames_for_me(), 0u);

  unit.plug_can(&wire);
  unit.receive(Tunnel(true, 0x42109, false, {0x02, 0x01, 0x01, 0, 0, 0, 0, 0}));
  ASSERT_EQ(sensor.received().size(), 1u);
  EXPECT_EQ(sensor.received()[0], board::make_frame(0x42109, true, {0x02, 0x01, 0x01, 0, 0, 0, 0, 0}));
  // The identify answer, firmware 01 FE escaped on the way back.
  sim::front_panel expected;
  expected.can_frame(0x42109 + 128, true, {0x42, 0x01, 0x01, 0, 0, 0x01, 0xFE, 0});
  EXPECT_EQ(unit.take_output(), expected.take_output());

  // A standard remote request reaches the bus as one; no board answers it.
  unit.receive(Tunnel(false, 0x123, true, {}));
  const std::vector<board::can_frame> log = wire.log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().id, 0x123u);
  EXPECT_FALSE(log.back().extended);
  EXPECT_TRUE(log.back().remote);
  EXPECT_TRUE(unit.take_output().empty());
  unit.plug_can(nullptr);
}

}  // namespace
