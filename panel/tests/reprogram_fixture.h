// A kernel on the manual clock and simulated boot-loader micros on the
// programmer's CAN link (replies come back at once).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "panel/pages/can_reprogram.h"
#include "rtos_host.h"
#include "sim/can/boot_loader_micro.h"

class ReprogramFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    rtos::kernel_config k;
    k.clock = rtos::clock_source::manual;
    k.memory_size = 1u << 20;
    rtos::kernel_start(k, [](void*) {});
  }
  void TearDown() override { rtos::kernel_stop(); }

  sim::boot_loader_micro& AddMicro(uint8_t node, uint16_t type) {
    micros.push_back(std::make_unique<sim::boot_loader_micro>(
        node, type, [this](const uint8_t d[8]) { prog.HandleResponse(can_reprogram::REPLY_ID, 8, d); }));
    return *micros.back();
  }
  // Runs `fn` on a kernel thread to its end (the clock advanced as needed).
  void InThread(const std::function<void()>& fn) { EXPECT_TRUE(rtos::run_in_thread(fn, 16, 2000000)); }

  std::vector<std::unique_ptr<sim::boot_loader_micro>> micros;
  std::vector<uint32_t> channels;
  can_reprogram prog{[this](uint32_t channel, const uint8_t* data, uint8_t length) {
    channels.push_back(channel);
    for (auto& m : micros) m->receive(data, length);
    return true;
  }};
};
