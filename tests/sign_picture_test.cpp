// The sign's face from end to end, in the whole controller started
// in-process on the manual clock: a stored message is activated through the
// agent's central path, the display task renders it, the sign's driver
// converts the frame to the display FPGA's layout and sends it by DMA, the
// board's display hardware decodes it back into pixels, and the picture in
// the state folder shows those pixels. The picture must show what was
// rendered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/activation/display_services.h"
#include "display/codes/msg_codes.h"
#include "display/driver/q5_display_driver.h"
#include "display/driver/sign_picture.h"
#include "display/render/render.h"
#include "frame/startup/host.h"
#include "tests/controller_fixture.h"

namespace {

using Rows = std::vector<std::string>;

class SignPictureTest : public picture_controller_test {
 protected:
  void SetUp() override { BootWithPicture("sign_picture_e2e"); }

  // The frame the display task rendered.
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

  // The boot's lines, kept off the console's slow serial line.
  trace_capture trace_;
};

TEST_F(SignPictureTest, ActivatedMessageIsWhatThePictureShows) {
  FirstDisplayStep();
  // The running controller drives the sign through its own driver, whose
  // EPLD runs the image of the module type.
  ASSERT_EQ(g_pDisplay->SignDriver(), &g_q5_display_driver);
  EXPECT_EQ(board::epld_config().part_number(), "PX2214087");
  EXPECT_EQ(CQ5DisplayDriver::EpldReady(), 1);

  // A sign of 7 x 30 pixels, and the built-in 7 x 5 font as font 1.
  InThread([&] { ConfigureSmallSign(); });
  DisplaySteps(1);

  // Changeable message 1, stored and validated.
  const std::string text = "HELLO";
  InThread([&] { StoreChangeable1(text); });
  DisplaySteps(1);
  ASSERT_EQ(Nv(nv::dmsMessageStatus(0)), 4u);

  // Central activates it, as an SNMP SET's commit does.
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
  ASSERT_FALSE(failed) << "activation error " << Nv(nv::dmsActivateMsgError);
  // Enough steps for a frame and for the picture's interval.
  DisplaySteps(4);

  const Rows hello = {
      "#...#.#####.#.....#......###..",
      "#...#.#.....#.....#.....#...#.",
      "#...#.#.....#.....#.....#...#.",
      "#####.####..#.....#.....#...#.",
      "#...#.#.....#.....#.....#...#.",
      "#...#.#.....#.....#.....#...#.",
      "#...#.#####.#####.#####..###..",
  };
  EXPECT_EQ(Rendered(), hello);
  EXPECT_EQ(Picture(), Rendered());
  // The display hardware took the frames in the layout of its image.
  const board::display_face face = board::display_output().face();
  EXPECT_EQ(face.layout, 7);
  EXPECT_EQ(face.width, 30u);
  EXPECT_EQ(board::display_output().bad_frames(), 0u);
  EXPECT_GE(host_sign_picture().PicturesWritten(), 2u) << "the blank sign, then the message";
}

}  // namespace
