// The monitor's own console output on UART 1 while no output hook is
// installed: a slow far end loses nothing, a dead one is given up on the
// kernel's clock.
#include <string>

#include "board_host.h"
#include "uart_far_end.h"
#include "monitor_fixture.h"
#include "rtos_host.h"
#include "tx_api.h"

namespace {

class UartConsoleTest : public KernelMonitorTest {
 protected:
  void SetUp() override {
    KernelMonitorTest::SetUp();
    board::board_config b;
    b.serial[1].kind = board::serial_kind::pipe;
    board::reset(b);
    Boot();
  }
  void TearDown() override {
    board::shutdown();
    KernelMonitorTest::TearDown();
  }
};

TEST_F(UartConsoleTest, SlowFarEndGetsEveryCharacter) {
  // One character each few ticks: more than the transmitter holds comes
  // while the far end is still busy.
  const std::string text = "[FAIL]\n\tFile was corrupt, the far end reads slowly\n";
  UartFarEnd far_end(3);
  ASSERT_TRUE(rtos::run_in_thread([&] { mon_printf("%s", text.c_str()); }));
  far_end.Stop();
  board::serial(1).transmit_all();
  std::string expected;
  for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(board::serial(1).received(), expected);
  EXPECT_EQ(board::uart(1).tx_overruns(), 0u);
}

TEST_F(UartConsoleTest, DeadFarEndIsGivenUpOnceOnTheClock) {
  // The second character waits out the clock; the rest is not waited for,
  // and what the transmitter cannot hold is lost with the line.
  const uint32_t start = tx_time_get();
  ASSERT_TRUE(rtos::run_in_thread([&] { mon_printf("%s", std::string(40, 'x').c_str()); }));
  const uint32_t waited = tx_time_get() - start;
  EXPECT_GE(waited, 100u);
  EXPECT_LT(waited, 200u);
  board::serial(1).transmit_all();
  // An emptied line is waited for again.
  board::serial(1).take_received();
  UartFarEnd line(1);
  ASSERT_TRUE(rtos::run_in_thread([&] { mon_printf("ok\n"); }));
  line.Stop();
  board::serial(1).transmit_all();
  EXPECT_EQ(board::serial(1).received(), "ok\r\n") << board::uart(1).tx_overruns();
}

}  // namespace
