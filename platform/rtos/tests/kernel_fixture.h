// A kernel on the manual clock per test, and a log of what happened at which
// tick, so that scenarios can be compared with their exact expected course.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "rtos_host.h"

class KernelTest : public ::testing::Test {
 protected:
  void Start(std::function<void(void*)> define = [](void*) {}, uint32_t start_tick = 0) {
    rtos::kernel_config c;
    c.clock = rtos::clock_source::manual;
    c.start_tick = start_tick;
    c.memory_size = 8u << 20;
    rtos::kernel_start(c, define);
  }
  void TearDown() override { rtos::kernel_stop(); }

  // Called from kernel threads and timers; the kernel runs one context at a
  // time, so no lock is needed.
  void Log(const std::string& what) { log_.push_back(std::to_string(tx_time_get()) + " " + what); }

  std::vector<std::string> log_;
};

// A thread with its own stack and an entry that calls a std::function.
struct TestThread {
  TX_THREAD cb{};
  std::vector<uint8_t> stack = std::vector<uint8_t>(4096);
  std::function<void()> body;

  UINT Create(const char* name, UINT priority, std::function<void()> fn, UINT start = TX_AUTO_START) {
    body = std::move(fn);
    Registry().push_back(this);
    return tx_thread_create(&cb, name, &TestThread::Trampoline, Registry().size() - 1, stack.data(),
                            stack.size(), priority, priority, 0, start);
  }

 private:
  static std::vector<TestThread*>& Registry() {
    static std::vector<TestThread*> r;
    return r;
  }
  static void Trampoline(ULONG index) { Registry()[index]->body(); }
};
