// A kernel on the manual clock with the timer service, for the tests of the
// message bus, the timer service and the task base.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/timer/timer_scheduler.h"
#include "rtos_host.h"

class FrameKernelTest : public ::testing::Test {
 protected:
  void Start(std::function<void(void*)> define = [](void*) {}, uint32_t start_tick = 0) {
    rtos::kernel_config c;
    c.clock = rtos::clock_source::manual;
    c.start_tick = start_tick;
    c.memory_size = 1u << 20;
    rtos::kernel_start(c, [&](void* memory) {
      timers_ = timer_scheduler_tx_rtos::Instance();
      define(memory);
    });
  }
  void TearDown() override {
    rtos::kernel_stop();
    timer_scheduler_tx_rtos::DestroyInstance();
  }

  // Kernel threads, timers and tests take turns, so the log needs no lock.
  void Log(const std::string& what) { log_.push_back(std::to_string(tx_time_get()) + " " + what); }

  timer_scheduler_tx_rtos* timers_ = nullptr;
  std::vector<std::string> log_;
};

using strings = std::vector<std::string>;

// A kernel thread running a std::function, with a stack of its own.
struct FrameThread {
  TX_THREAD cb{};
  std::vector<uint8_t> stack = std::vector<uint8_t>(4096);
  std::function<void()> body;

  UINT Create(const char* name, UINT priority, std::function<void()> fn) {
    body = std::move(fn);
    // The entry argument is 32 bits: the thread finds its object by index.
    Registry().push_back(this);
    return tx_thread_create(&cb, name, &FrameThread::Trampoline, static_cast<ULONG>(Registry().size() - 1),
                            stack.data(), stack.size(), priority, priority, 0, TX_AUTO_START);
  }

 private:
  static std::vector<FrameThread*>& Registry() {
    static std::vector<FrameThread*> r;
    return r;
  }
  static void Trampoline(ULONG index) { Registry()[index]->body(); }
};
