// A watchdog task on the manual clock, with a fresh board and boot monitor
// whose restarts are recorded: the restarting thread parks in the restart,
// as the board would have gone.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board_host.h"
#include "board_io.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "frame/bus/post_office.h"
#include "frame/timer/timer_scheduler.h"
#include "frame/trace/trace.h"
#include "frame/watchdog/watchdog_task.h"
#include "monitor_host.h"
#include "rtos_host.h"
#include "tx_api.h"

class WatchdogTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kCycle = 50;

  void SetUp() override {
    rtos::kernel_config k;
    k.memory_size = 1u << 20;
    rtos::kernel_start(k, [this](void* memory) {
      tx_byte_pool_create(&pool_, "thread stacks", memory, 256u << 10);
      timer_scheduler_tx_rtos::Instance();
    });
    restarts_.clear();
    park_on_restart_ = true;
    interrupt_power_on();
    board_control_power_on();
    board::reset();
    monitor::monitor_config m;
    m.watchdog_timeout_ms = 3000;
    m.restart_hook = [this](monitor::restart_kind kind) {
      restarts_.push_back(kind);
      if (park_on_restart_) tx_thread_suspend(tx_thread_identify());
    };
    monitor::reset(m);
    trace_set_level(1);
    g_reset_wait_countdown = 20;
    g_reset_preserve_flags = RESET_PRESERVE_CONFIG;
    g_reset_busy_count = 1000;
    wdt_ = std::make_unique<CWatchdogTask>(&router_);
    ASSERT_EQ(wdt_->Subscribe(), 1);
  }
  void TearDown() override {
    rtos::kernel_stop();
    timer_scheduler_tx_rtos::DestroyInstance();
    wdt_.reset();
    monitor::shutdown();
    board::shutdown();
    trace_set_level(0);
    g_reset_busy_count = 235000000;
  }

  // Creates the task and lets it start (its first expiry is at tick 1); its
  // cycles then fall at ticks 51, 101, ...
  void Start() {
    ASSERT_EQ(wdt_->Create(&pool_), 1);
    rtos::advance(1);
  }
  void Cycles(uint32_t n) { rtos::advance(n * kCycle); }
  void Publish(uint32_t id) {
    rtos::cpu_scope s;
    router_.Publish(id);
  }
  uint8_t KickBit() { return board::epld().reg(0x22) & 0x01; }
  size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  TX_BYTE_POOL pool_{};
  post_office router_;
  std::unique_ptr<CWatchdogTask> wdt_;
  std::vector<monitor::restart_kind> restarts_;
  // The thread that restarts stays in the restart, as on the board; tests
  // that call a restart routine themselves let it come back.
  bool park_on_restart_ = true;
  trace_capture cap_;
};
