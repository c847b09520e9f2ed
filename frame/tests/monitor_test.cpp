// The monitor task's trace output: print levels, the output modes, lines
// dropped under contention, and the restart and shutdown announcements.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <string>

#include "board_fixture.h"
#include "platform/monitor/tests/uart_far_end.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "frame/monitor/monitor_task.h"
#include "frame/serial/serial_driver.h"
#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"

namespace {

// A console driver that keeps what it is given and can run a hook on the
// first byte (to let another thread print meanwhile).
class FakeConsole : public CSerialDriver {
 public:
  uint32_t PutTxByte(uint8_t b) override {
    out += static_cast<char>(b);
    if (on_first_byte) {
      auto hook = std::move(on_first_byte);
      on_first_byte = nullptr;
      hook();
    }
    return 1;
  }
  uint32_t ReadByte(uint32_t* v) override {
    *v = 0xFFFFFFFF;
    return 0;
  }
  uint32_t Open(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 1; }
  uint32_t SetBaudRate(uint32_t) override { return 1; }
  std::string out;
  std::function<void()> on_first_byte;
};

class MonitorTest : public BoardTest {
 protected:
  void SetUp() override {
    board::board_config config;
    config.serial[1].kind = board::serial_kind::pipe;
    StartBoard(config);
    monitor_ = std::make_unique<CMonitorTask>(&router_);
  }
  void TearDown() override {
    monitor_.reset();
    BoardTest::TearDown();
  }
  // Switches to the console driver as the task's first step does.
  void ToConsole() {
    monitor_->SetConsoleDriver(&console_);
    rtos::run_in_thread([&] { monitor_->Initialize(); });
    // The console starts with the line editor's prompt.
    EXPECT_EQ(console_.out, "VMS>");
    console_.out.clear();
  }
  post_office router_;
  FakeConsole console_;
  std::unique_ptr<CMonitorTask> monitor_;
};

TEST_F(MonitorTest, DebugLinesNeedTheVerboseLevel) {
  ToConsole();
  monitor_printf_debug("hidden\n");
  EXPECT_EQ(console_.out, "");
  EXPECT_EQ(monitor_->SetPrintLevel(2), 0);
  EXPECT_EQ(monitor_->PrintLevel(), 0u);
  EXPECT_EQ(monitor_->SetPrintLevel(1), 1);
  monitor_printf_debug("shown\n");
  monitor_printf("always\n");
  EXPECT_EQ(console_.out, "shown\r\nalways\r\n");
}

TEST_F(MonitorTest, BeforeTheConsoleTheUartCarriesTheText) {
  EXPECT_EQ(monitor_->Mode(), CMonitorTask::MODE_UART);
  // The far end takes the bytes as the line would, so the polled printer
  // sees its holding register empty.
  std::atomic<bool> stop{false};
  std::thread line([&] {
    while (!stop) board::serial(1).transmit(1);
  });
  monitor_printf("A\nB");
  stop = true;
  line.join();
  board::serial(1).transmit_all();
  EXPECT_EQ(board::serial(1).received(), "A\r\nB");
}

// The far end takes one character each few ticks of the kernel's clock: a
// printer that holds the processor while it waits would never see it go.
TEST_F(MonitorTest, SlowFarEndGetsEveryCharacterOfTheUartOutput) {
  const std::string text = "Booting PX3907561 ver 1.9.4588.42....\n - Detecting Hardware\t[ OK ]\n";
  std::string expected;
  for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  UartFarEnd far_end(3);
  const uint32_t start = tx_time_get();
  ASSERT_TRUE(rtos::run_in_thread([&] { monitor_printf("%s", text.c_str()); }));
  far_end.Stop();
  board::serial(1).transmit_all();
  EXPECT_EQ(board::serial(1).received(), expected);
  // The printer waited for the line, and never long enough to give it up.
  EXPECT_GE(tx_time_get() - start, 3 * (expected.size() - 1));
  EXPECT_LT(tx_time_get() - start, CMonitorTask::UART_STALL + 3 * expected.size());
  EXPECT_EQ(board::uart(1).tx_overruns(), 0u);
}

TEST_F(MonitorTest, DeadFarEndCostsOneWaitThenTheLineIsWaitedForAgain) {
  // Nothing takes the characters: the first wait runs out on the clock and
  // the rest of the text does not wait.
  const uint32_t start = tx_time_get();
  ASSERT_TRUE(rtos::run_in_thread([&] { monitor_printf("lost line\n"); }));
  const uint32_t waited = tx_time_get() - start;
  EXPECT_GE(waited, CMonitorTask::UART_STALL);
  EXPECT_LT(waited, 2 * CMonitorTask::UART_STALL);
  // Once the line has emptied, every character is waited for again.
  board::serial(1).transmit_all();
  board::serial(1).take_received();
  UartFarEnd line(1);
  ASSERT_TRUE(rtos::run_in_thread([&] { monitor_printf("back\n"); }));
  line.Stop();
  board::serial(1).transmit_all();
  EXPECT_EQ(board::serial(1).take_received(), "back\r\n");
}

TEST_F(MonitorTest, ContendedLineIsDropped) {
  ToConsole();
  static TX_SEMAPHORE go;
  static TX_THREAD urgent;
  static std::vector<uint8_t> stack(4096);
  {
    rtos::cpu_scope s;
    go = TX_SEMAPHORE{};
    urgent = TX_THREAD{};
    tx_semaphore_create(&go, "go", 0);
    tx_thread_create(
        &urgent, "urgent",
        [](ULONG) {
          tx_semaphore_get(&go, TX_WAIT_FOREVER);
          monitor_printf("second\n");
        },
        0, stack.data(), stack.size(), 1, 1, 0, TX_AUTO_START);
  }
  // The more urgent thread prints while the first is inside the printer.
  console_.on_first_byte = [] { tx_semaphore_put(&go); };
  rtos::run_in_thread([] { monitor_printf("first\n"); });
  EXPECT_EQ(console_.out, "first\r\n");
  // Without contention both get through.
  rtos::run_in_thread([] { monitor_printf("third\n"); });
  EXPECT_EQ(console_.out, "first\r\nthird\r\n");
}

TEST_F(MonitorTest, TelnetModeWithoutTheFeaturePrintsNothing) {
  ToConsole();
  monitor_->SetMode(CMonitorTask::MODE_TELNET);
  monitor_printf("lost\n");
  board::serial(1).transmit_all();
  EXPECT_EQ(console_.out, "");
  EXPECT_EQ(board::serial(1).received(), "");
}

TEST_F(MonitorTest, RestartAndShutdownLettersAreAnnounced) {
  ToConsole();
  monitor_->Subscribe();
  for (uint32_t id : {MSG_SYSTEM_RESET, MSG_POWER_SHUTDOWN, MSG_SHUTDOWN_REQUEST, MSG_DEFRAG_RESET})
    router_.Publish(id);
  rtos::run_in_thread([&] { monitor_->ProcessLetters(); });
  EXPECT_EQ(console_.out,
            "System Restart Requested\r\nSystem Power Loss Detected\r\nSystem Shutdown Requested\r\n"
            "System Defragmentation Restart Requested\r\n");
}

}  // namespace
