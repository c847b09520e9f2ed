// Message operations of the front panel in the whole controller: a message
// chosen on the panel runs through activation slot 6, and deleting it from
// the panel while it runs blanks the sign.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board_host.h"
#include "display/codes/msg_codes.h"
#include "display/render/render.h"
#include "display/task/display.h"
#include "panel/controller_tests/panel_unit_driver.h"
#include "panel/lcd_manager.h"
#include "peripherals/peripheral_task.h"
#include "sim/panel/front_panel.h"
#include "tests/controller_fixture.h"

namespace {

class PanelMessagesTest : public picture_controller_test, protected panel_unit_driver {
 protected:
  PanelMessagesTest() : panel_unit_driver(unit_) {}

  void SetUp() override {
    BootWithPicture("panel_messages");
    unit_.attach(&board::serial(4));
  }
  // Stores and validates changeable message n.
  static void StoreChangeable(uint32_t n, const std::string& text) {
    uint8_t* nv = Db().mib_nv;
    Set(nv, nv::dmsMessageStatus(n - 1), 2);
    Db().SetString(nv::dmsMessageMultiString(n - 1).offset, 4, text.data(), static_cast<uint32_t>(text.size()), nv,
                   DB_NOTIFY);
    Db().SetString(nv::dmsMessageOwner(n - 1).offset, 4, "tmc", 3, nv, DB_NOTIFY);
    Set(nv, nv::dmsMessageRunTimePriority(n - 1), 10, DB_NOTIFY);
    EXPECT_EQ(Db().SetValue(nv::dmsMessageStatus(n - 1).offset, 1, 7, nv, DB_NOTIFY), DB_OK);
  }
  // The frame the display task rendered, columns from `first` on.
  static std::vector<std::string> Rendered(uint32_t first = 0, uint32_t count = 0xFFFF) {
    const CSurface& s = g_render.Surface();
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < s.Height(); ++y) {
      std::string r;
      for (uint32_t x = first; x < s.Width() && x - first < count; ++x) r += s.GetPixel(x, y) ? '#' : '.';
      rows.push_back(r);
    }
    return rows;
  }
  static std::string Joined(const std::vector<std::string>& rows) {
    std::string s;
    for (const std::string& r : rows) s += r + "\n";
    return s;
  }
  // Runs until the unit's pixels in the box show `rows` (the live view
  // draws one frame in 19).
  bool RunUntilPixels(unsigned x, unsigned y, const std::vector<std::string>& rows) {
    const std::string want = Joined(rows);
    for (uint32_t t = 0; t < 20000; t += 10) {
      rtos::advance(10);
      unit_.pump();
      if (unit_.pixels(x, y, static_cast<unsigned>(rows[0].size()), static_cast<unsigned>(rows.size())) == want)
        return true;
    }
    return false;
  }
  static bool Lit(const std::vector<std::string>& rows) {
    for (const std::string& r : rows)
      if (r.find('#') != std::string::npos) return true;
    return false;
  }
  // Presses the digit of the entry of the page shown whose text is `entry`
  // (no page turning: the lists here are checked page by page).
  void Choose(const std::string& entry) {
    ASSERT_TRUE(RunUntil(") " + entry)) << unit_.screen();
    panel_unit_driver::Choose(entry);
  }
  static CMsgIDCode Running() {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(nv::dmsMsgTableSource.offset, 4, Db().mib_nv, &n);
    CMsgIDCode id;
    id.Decode(p, n);
    return id;
  }
  static CMsgActivationCode Slot6() {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(vol::activationSlotCode(6).offset, 4, Db().mib_v, &n);
    CMsgActivationCode code;
    code.Decode(p, n);
    return code;
  }

  trace_capture trace_;
  sim::front_panel unit_;
};

TEST_F(PanelMessagesTest, RunFromThePanelThenDeleteTheRunningMessage) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(1);
  InThread([] { StoreChangeable1("HELLO"); });
  DisplaySteps(1);
  ASSERT_EQ(Nv(nv::dmsMessageStatus(0)), 4u);

  Login();

  // MESSAGE CONTROL, RUN SAVED MESSAGE, message 1, RUN CONTINUOUS.
  Choose("MESSAGE CONTROL");
  Choose("RUN SAVED MESSAGE");
  ASSERT_TRUE(RunUntil("PRESS ENTER TO RUN:")) << unit_.screen();
  Key(3);  // 1
  Key(8);
  ASSERT_TRUE(RunUntil("1) RUN CONTINUOUS")) << unit_.screen();
  Key(3);
  ASSERT_TRUE(RunUntil("BLANK DISPLAY")) << unit_.screen();
  const CMsgActivationCode code = Slot6();
  EXPECT_EQ(code.m_wDuration, 65535);
  EXPECT_EQ(code.m_byMemoryType, 3);
  EXPECT_EQ(code.m_wMessageNumber, 1);
  EXPECT_EQ(code.m_wCRC, Nv(nv::dmsMessageCRC(0)));
  DisplaySteps(2);
  EXPECT_EQ(Running().m_byMemoryType, 3);
  EXPECT_EQ(Running().m_wMessageNumber, 1);
  EXPECT_EQ(NvText(nv::currentBufferMultiString), "HELLO");

  // DELETE MESSAGE, message 1.
  Choose("DELETE MESSAGE");
  ASSERT_TRUE(RunUntil("PRESS ENTER TO DELETE:")) << unit_.screen();
  Key(3);
  Key(8);
  ASSERT_TRUE(RunUntil("MESSAGE IS RUNNING")) << unit_.screen();
  EXPECT_NE(unit_.screen().find("1) DELETE MESSAGE 1"), std::string::npos);
  Key(3);
  ASSERT_TRUE(RunUntil("MESSAGE CONTROL")) << unit_.screen();
  DisplaySteps(2);
  EXPECT_EQ(Nv(nv::dmsMessageStatus(0)), 1u);
  EXPECT_EQ(Slot6().m_byMemoryType, 7);
  EXPECT_EQ(Running().m_byMemoryType, 7);
}

// RUN message 7 continuous from the keys: the exact code in slot 6, the
// sign shows it, and so does the panel's live view in its three layouts.
TEST_F(PanelMessagesTest, RunMessage7ContinuousAndWatchItOnThePanel) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(1);
  InThread([] { StoreChangeable(7, "[jl2]HI[jl4]HO"); });
  DisplaySteps(1);
  ASSERT_EQ(Nv(nv::dmsMessageStatus(6)), 4u);
  const uint32_t crc = Nv(nv::dmsMessageCRC(6));

  Login();
  Choose("MESSAGE CONTROL");
  Choose("RUN SAVED MESSAGE");
  ASSERT_TRUE(RunUntil("PRESS ENTER TO RUN:")) << unit_.screen();
  Key(1);  // 7
  Key(8);
  ASSERT_TRUE(RunUntil("1) RUN CONTINUOUS")) << unit_.screen();
  Key(3);
  ASSERT_TRUE(RunUntil("MESSAGE CONTROL")) << unit_.screen();
  uint32_t n = 0;
  const uint8_t* p = Db().GetString(vol::activationSlotCode(6).offset, 4, Db().mib_v, &n);
  const std::string expected = {'\xFF', '\xFF', '\xFF', '\x03', '\x00', '\x07', static_cast<char>(crc >> 8),
                                static_cast<char>(crc & 0xFF), 0, 0, 0, 0};
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), n), expected);
  DisplaySteps(4);
  EXPECT_EQ(Running().m_byMemoryType, 3);
  EXPECT_EQ(Running().m_wMessageNumber, 7);
  ASSERT_TRUE(Lit(Rendered()));
  EXPECT_EQ(Picture(), Rendered());

  // CURRENT DISPLAY: the 30-column sign centred and framed.
  Key(0);
  Choose("CURRENT DISPLAY");
  EXPECT_TRUE(RunUntilPixels(105, 28, Rendered())) << Joined(Rendered());
  EXPECT_TRUE(unit_.pixel(104, 27));  // the frame's corner

  // As wide as the panel. A new geometry starts the sign afresh: the panel
  // runs the message again as its run page did.
  CLCD_Manager* panel = nullptr;
  InThread([&] { panel = static_cast<CLCD_Manager*>(g_pPeripheralTask->GetPeripheral(70)); });
  ASSERT_NE(panel, nullptr);
  auto widen = [&](uint32_t width) {
    InThread([&] { Set(Db().mib_nv, nv::vmsSignWidthPixels, width, DB_NOTIFY | DB_NO_VALIDATE); });
    DisplaySteps(2);
    InThread([&] {
      panel->SetActivationTarget(3, 7);
      panel->ActivateMessage(65535);
    });
    DisplaySteps(4);
  };
  widen(240);
  ASSERT_EQ(Rendered()[0].size(), 240u);
  ASSERT_TRUE(Lit(Rendered()));
  EXPECT_TRUE(RunUntilPixels(0, 28, Rendered())) << Joined(Rendered());

  // Wider: the left part from x 1, RIGHT the right end from x 0.
  widen(290);
  ASSERT_EQ(Rendered()[0].size(), 290u);
  ASSERT_TRUE(Lit(Rendered(0, 239)));
  EXPECT_TRUE(RunUntilPixels(1, 28, Rendered(0, 239))) << Joined(Rendered(0, 239));
  Key(12);
  ASSERT_TRUE(Lit(Rendered(56)));
  EXPECT_TRUE(RunUntilPixels(0, 28, Rendered(56))) << Joined(Rendered(56));
}

// A message typed at the panel, saved into the first free slot and run;
// its preview on the panel is the renderer's frame.
TEST_F(PanelMessagesTest, TypeSaveRunAndPreviewAMessage) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(1);
  Login();
  Choose("MESSAGE CONTROL");
  Choose("CREATE MESSAGE");
  ASSERT_TRUE(RunUntil("PAGE: 1/1")) << unit_.screen();
  for (uint8_t k : {2, 2}) Key(k);         // 4 G
  for (uint8_t k : {10, 10, 10, 10}) Key(k);  // 6 M N O
  ASSERT_TRUE(RunUntil("GO")) << unit_.screen();
  Key(0);
  ASSERT_TRUE(RunUntil("1) SAVE IN 1")) << unit_.screen();
  Key(3);
  ASSERT_TRUE(RunUntil("1) RUN CONTINUOUS")) << unit_.screen();
  EXPECT_EQ(Nv(nv::dmsMessageStatus(0)), 4u);
  EXPECT_EQ(NvText(nv::dmsMessageMultiString(0)), "[pt30o0][jp2][jl2][fo1]GO");
  EXPECT_EQ(NvText(nv::dmsMessageOwner(0)), "LOCAL EDITOR");
  Key(3);
  ASSERT_TRUE(RunUntil("BLANK DISPLAY")) << unit_.screen();
  EXPECT_EQ(Slot6().m_byMemoryType, 3);
  EXPECT_EQ(Slot6().m_wMessageNumber, 1);
  EXPECT_EQ(Slot6().m_wCRC, Nv(nv::dmsMessageCRC(0)));
  DisplaySteps(4);
  EXPECT_EQ(Running().m_wMessageNumber, 1);
  ASSERT_TRUE(Lit(Rendered()));
  EXPECT_EQ(Picture(), Rendered());

  Choose("PREVIEW A MESSAGE");
  ASSERT_TRUE(RunUntil("PRESS ENTER TO PREVIEW:")) << unit_.screen();
  Key(3);
  Key(8);
  ASSERT_TRUE(RunUntil("PREVIEW MESSAGE FRAME 1/1")) << unit_.screen();
  EXPECT_TRUE(RunUntilPixels(105, 28, Rendered())) << Joined(Rendered());
  // ENTER on the last frame returns to MESSAGE CONTROL.
  Key(8);
  ASSERT_TRUE(RunUntil("BLANK DISPLAY")) << unit_.screen();
}

// A pixel test started at the panel: the panel waits for it, then shows
// what it found.
TEST_F(PanelMessagesTest, APixelTestFromThePanelAndItsResults) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(1);
  Login();
  Choose("DIAGNOSTICS");
  Choose("PIXEL TEST ACTIVATION");
  Choose("CONFIRM");
  ASSERT_TRUE(RunUntil("PIXEL TEST RESULTS")) << unit_.screen();
  ASSERT_TRUE(RunUntil("1) PIXEL TEST RESULTS BITMAP", 60000)) << unit_.screen();
  EXPECT_NE(Db().GetValue(vol::pixelTestActivation.offset, 1, Db().mib_v, 0), 3u);
  Choose("PIXEL TEST RESULTS BITMAP");
  const uint32_t rows = Db().GetValue(vol::dmsPixelFailureTestRows.offset, 2, Db().mib_v, 0);
  ASSERT_TRUE(RunUntil(rows ? std::to_string(rows) + " ERRORS!" : std::string("NO ERRORS!"))) << unit_.screen();
  // The picture's frame sits around the 30 x 7 sign.
  EXPECT_TRUE(unit_.pixel(104, 27));
  Key(0);
  Choose("PIXEL TEST RESULTS LIST");
  ASSERT_TRUE(RunUntil(rows ? "module:[" : "1) NO ERROR")) << unit_.screen();
}

// Previewing a message of three pages: ENTER steps through them, the
// failed pixel of the last test blinks on the picture, and the last ENTER
// returns to MESSAGE CONTROL.
TEST_F(PanelMessagesTest, PreviewStepsThroughThePagesAndMarksFailedPixels) {
  FirstDisplayStep();
  InThread([] { ConfigureSmallSign(); });
  DisplaySteps(1);
  InThread([] {
    StoreChangeable(2, "A[np]B[np]C");
    Set(Db().mib_v, vol::pixelFailureXLocation(0, 0), 10);
    Set(Db().mib_v, vol::pixelFailureYLocation(0, 0), 3);
    Set(Db().mib_v, vol::dmsPixelFailureTestRows, 1);
  });
  DisplaySteps(1);
  ASSERT_EQ(Nv(nv::dmsMessageStatus(1)), 4u);
  Login();
  Choose("MESSAGE CONTROL");
  Choose("PREVIEW A MESSAGE");
  ASSERT_TRUE(RunUntil("PRESS ENTER TO PREVIEW:")) << unit_.screen();
  Key(7);  // 2
  unit_.clear_log();
  Key(8);
  ASSERT_TRUE(RunUntil("PREVIEW MESSAGE FRAME 1/3")) << unit_.screen();
  // The sign's picture sits at 105, 28: column 10, row 3 is 114, 30.
  bool marked = false;
  for (uint32_t t = 0; t < 3000 && !marked; t += 10) {
    rtos::advance(10);
    unit_.pump();
    for (const auto& c : unit_.commands())
      if (c.letter == 'p' && c.params == std::vector<uint8_t>{114, 30}) marked = true;
  }
  EXPECT_TRUE(marked);
  EXPECT_GE(unit_.count('c'), 1u);
  Key(8);
  ASSERT_TRUE(RunUntil("PREVIEW MESSAGE FRAME 2/3")) << unit_.screen();
  Key(8);
  ASSERT_TRUE(RunUntil("PREVIEW MESSAGE FRAME 3/3")) << unit_.screen();
  Key(8);
  ASSERT_TRUE(RunUntil("BLANK DISPLAY")) << unit_.screen();
}

}  // namespace
