// The module link in the whole controller: start-up runs the job queue,
// the display task binds its primary face to the module bus and the
// module diagnostics, and once the module-data driver is there, the
// diagnostics' configuration requests reach the link and the board's
// answer comes back through the EPLD, the job queue and the display core.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "display/core/job_queue.h"
#include "display/driver/q5_display_driver.h"
#include "display/modbus/bus_ksr7100.h"
#include "display/modbus/diag_ksr7100.h"
#include "frame/console/vms_command.h"
#include "frame/can/can_db_driver.h"
#include "tests/controller_fixture.h"

namespace {

class ModuleLinkControllerTest : public controller_test {
 protected:
  void TearDown() override {
    if (CQ5DisplayDriver::LineDriver()) CQ5DisplayDriver::LineDriver()->SetReceiver(nullptr);
    CQ5DisplayDriver::SetLineDriver(nullptr);
    controller_test::TearDown();
    driver_.reset();
  }
  size_t ConfigurationRequests() {
    size_t n = 0;
    for (const std::vector<uint8_t>& p : board::can_fifo().take_packets())
      if (p == std::vector<uint8_t>{0x55, 0xAA, 0xC5, 0x00, 0x3C}) ++n;
    return n;
  }

  std::unique_ptr<can_db_driver> driver_;
  // The trace goes here, not through the console's serial port.
  trace_capture cap_;
};

TEST_F(ModuleLinkControllerTest, TheBoardIsFoundThroughTheRunningController) {
  Boot();
  FirstDisplayStep();
  EXPECT_TRUE(g_job_queue.IsOpen());
  const disp::face_description& d = g_pDisplay->FaceDescription(0);
  EXPECT_EQ(d.diag, &g_diag_ksr7100);
  EXPECT_EQ(g_diag_ksr7100.m_pBus, &g_bus_ksr7100) << "the primary face is bound to the module bus";

  // The module-data driver of the controller (the peripheral task's, or
  // one of the test's while there is none) carries the module link; the
  // bus becomes its receiver.
  can_db_driver* db = vms_get_links().db_can;
  if (!db) {
    driver_ = std::make_unique<can_db_driver>();
    db = driver_.get();
  }
  InThread([&] { ASSERT_EQ(db->Initialize(0, 0, 0), 1u); });
  CQ5DisplayDriver::SetLineDriver(db);
  db->SetReceiver(&g_bus_ksr7100);
  board::can_fifo().take_packets();

  // A configuration request every 100 display steps; the next one soon.
  g_diag_ksr7100.m_wConfigCountdown = 2;
  DisplaySteps(2);
  ASSERT_EQ(ConfigurationRequests(), 1u);
  board::can_fifo().inject({0x55, 0xAA, 0x45, 0x03, 0x00, 0x02, 0x1D, 0x9A});
  DisplaySteps(1);
  disp::info* info = nullptr;
  ASSERT_TRUE(g_diag_ksr7100.GetBoardInfo(&info));
  EXPECT_EQ(info[0].state, disp::info::IDENTIFIED);
  EXPECT_EQ(info[0].code, 29u);
  EXPECT_STREQ(info[0].name, "KB83419 - CAN PROD BOARD");
  EXPECT_EQ(db->m_configurationRequests, 0u);
}

TEST_F(ModuleLinkControllerTest, AStartAgainInTheSameProcessFindsTheLinkWorking) {
  Boot();
  FirstDisplayStep();
  // The second controller of this process finds the queue, the bus and the
  // diagnostics as the first left them, in a kernel of its own.
  controller_test::TearDown();
  Boot();
  FirstDisplayStep();
  EXPECT_TRUE(g_job_queue.IsOpen());
  EXPECT_TRUE(g_diag_ksr7100.IsOpen());
  InThread([&] {
    EXPECT_TRUE(g_diag_ksr7100.Lock());
    g_diag_ksr7100.Unlock();
  });
  // A byte from the link is parsed in the new kernel's job queue.
  const uint32_t errors = g_bus_ksr7100.ErrorCount();
  rtos::raise_interrupt([] { g_bus_ksr7100.ReceiveByte(uint8_t{0x13}); });
  rtos::settle();
  EXPECT_FALSE(g_bus_ksr7100.IsQueued());
  EXPECT_EQ(g_bus_ksr7100.ErrorCount(), errors + 1);
}

}  // namespace
