// Message operations of the front panel in the whole controller: a message
// chosen on the panel runs through activation slot 6, and deleting it from
// the panel while it runs blanks the sign.
#include <gtest/gtest.h>

#include <string>

#include "board_host.h"
#include "display/codes/msg_codes.h"
#include "display/task/display.h"
#include "panel/lcd_manager.h"
#include "peripherals/peripheral_task.h"
#include "sim/panel/front_panel.h"
#include "tests/controller_fixture.h"

namespace {

class PanelMessagesTest : public controller_test {
 protected:
  void SetUp() override {
    Boot();
    unit_.attach(&board::serial(4));
  }
  bool RunUntil(const std::string& text, uint32_t max_ticks = 5000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      rtos::advance(10);
      unit_.pump();
      if (unit_.screen().find(text) != std::string::npos) return true;
    }
    return false;
  }
  void Key(uint8_t code) {
    unit_.press(code);
    unit_.pump();
    for (int i = 0; i < 6; ++i) {
      rtos::advance(10);
      unit_.pump();
    }
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

  ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
  unit_.key_switch_local();
  ASSERT_TRUE(RunUntil("LOCAL MODE - LOGGED OUT")) << unit_.screen();
  for (uint8_t k : {2, 11, 7, 3, 8}) Key(k);  // 4 3 2 1 ENTER
  ASSERT_TRUE(RunUntil("** WELCOME TO THE MAIN MENU **")) << unit_.screen();

  // MESSAGE CONTROL: without the run-options page the run list is not
  // offered, as it would lead nowhere.
  Key(3);
  ASSERT_TRUE(RunUntil("1) BLANK DISPLAY")) << unit_.screen();
  EXPECT_EQ(unit_.screen().find("RUN SAVED MESSAGE"), std::string::npos);

  CLCD_Manager* panel = nullptr;
  InThread([&] { panel = static_cast<CLCD_Manager*>(g_pPeripheralTask->GetPeripheral(70)); });
  ASSERT_NE(panel, nullptr);
  // What the run list and the run-options page do with message 1.
  InThread([&] {
    panel->SetActivationTarget(3, 1);
    EXPECT_TRUE(panel->ActivateMessage(65535));
  });
  const CMsgActivationCode code = Slot6();
  EXPECT_EQ(code.m_byMemoryType, 3);
  EXPECT_EQ(code.m_wMessageNumber, 1);
  EXPECT_EQ(code.m_wCRC, Nv(nv::dmsMessageCRC(0)));
  DisplaySteps(2);
  EXPECT_EQ(Running().m_byMemoryType, 3);
  EXPECT_EQ(Running().m_wMessageNumber, 1);
  EXPECT_EQ(NvText(nv::currentBufferMultiString), "HELLO");

  // DELETE MESSAGE, message 1.
  ASSERT_TRUE(RunUntil("2) DELETE MESSAGE")) << unit_.screen();
  Key(7);
  ASSERT_TRUE(RunUntil("PRESS ENTER TO DELETE:")) << unit_.screen();
  Key(3);
  Key(8);
  ASSERT_TRUE(RunUntil("MESSAGE IS RUNNING")) << unit_.screen();
  EXPECT_NE(unit_.screen().find("1) DELETE MESSAGE 1"), std::string::npos);
  Key(3);
  ASSERT_TRUE(RunUntil("1) BLANK DISPLAY")) << unit_.screen();
  DisplaySteps(2);
  EXPECT_EQ(Nv(nv::dmsMessageStatus(0)), 1u);
  EXPECT_EQ(Slot6().m_byMemoryType, 7);
  EXPECT_EQ(Running().m_byMemoryType, 7);
}

}  // namespace
