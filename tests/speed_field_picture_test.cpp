// A speed radar on AUX feeds the sign: the whole controller on the manual
// clock, the simulated radar on the board's AUX line, a message with the
// MULTI speed field, and the sign's picture showing the speed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "display/render/render.h"
#include "display/task/display_peripherals.h"
#include "peripherals/devices/radar.h"
#include "sim/serial/speed_radar.h"
#include "tests/controller_fixture.h"

namespace {

using Rows = std::vector<std::string>;

class SpeedFieldPictureTest : public picture_controller_test {
 protected:
  void SetUp() override { BootWithPicture("speed_field_picture_e2e"); }

  static Rows Rendered() {
    const CSurface& s = g_render.Surface();
    Rows rows;
    for (uint32_t y = 0; y < s.Height(); ++y) {
      std::string r;
      for (uint32_t x = 0; x < s.Width(); ++x) r += s.GetPixel(x, y) ? '#' : '.';
      rows.push_back(r);
    }
    return rows;
  }
  // Shows changeable message 1 with `text` and returns what was rendered.
  Rows Show(const std::string& text) {
    InThread([&] { StoreChangeable1(text); });
    DisplaySteps(1);
    EXPECT_EQ(Nv(nv::dmsMessageStatus(0)), 4u) << text;
    CMsgActivationCode code;
    code.m_wDuration = 0xFFFF;
    code.m_byPriority = 200;
    code.m_byMemoryType = 3;
    code.m_wMessageNumber = 1;
    code.m_wCRC = static_cast<uint16_t>(Nv(nv::dmsMessageCRC(0)));
    code.Encode();
    bool failed = true;
    InThread([&] {
      Db().SetString(vol::dmsActivateMessage.offset, 4, code.m_encoded, 12, Db().mib_v, 0);
      failed = display_activate_message();
    });
    EXPECT_FALSE(failed) << text;
    DisplaySteps(4);
    return Rendered();
  }

  trace_capture trace_;
};

TEST_F(SpeedFieldPictureTest, TheRadarsSpeedIsShownInTheSpeedField) {
  FirstDisplayStep();
  InThread([&] { ConfigureSmallSign(); });
  DisplaySteps(1);
  // Without a radar the speed field is refused.
  InThread([&] { StoreChangeable1("[f5]"); });
  DisplaySteps(1);
  EXPECT_NE(Nv(nv::dmsMessageStatus(0)), 4u);

  sim::speed_radar radar;
  radar.attach(&board::serial(2));
  int created = 0;
  InThread([&] { created = g_display_peripherals.create(CRadar::TYPE_ID, ""); });
  ASSERT_EQ(created, 1);
  // Vehicles keep coming: the port changes hands while the first pass.
  for (int i = 0; i < 400 && Db().GetValue(vol::dmsCurrentSpeed.offset, 1, Db().mib_v, 0) != 55; ++i) {
    if (i % 20 == 0) radar.vehicle(55);
    radar.pump();
    rtos::advance(10);
  }
  ASSERT_EQ(Db().GetValue(vol::dmsCurrentSpeed.offset, 1, Db().mib_v, 0), 55u);

  const Rows field = Show("[f5]");
  const Rows literal = Show(" 55");
  bool lit = false;
  for (const std::string& r : literal) lit = lit || r.find('#') != std::string::npos;
  EXPECT_TRUE(lit);
  EXPECT_EQ(field, literal) << "the field shows the radar's speed";
  EXPECT_EQ(Picture(), literal);
}

}  // namespace
