// A fresh board and kernel per test: the board models from a configuration,
// the kernel on the manual clock, and the interrupt tables and board-control
// shadow in their power-up state.
#pragma once

#include <gtest/gtest.h>

#include "board_host.h"
#include "board_io.h"
#include "frame/board/board_control.h"
#include "frame/board/interrupt.h"
#include "rtos_host.h"

class BoardTest : public ::testing::Test {
 protected:
  void StartBoard(const board::board_config& config = board::board_config()) {
    rtos::kernel_config k;
    k.clock = rtos::clock_source::manual;
    k.memory_size = 1u << 20;
    rtos::kernel_start(k, [](void*) {});
    interrupt_power_on();
    board_control_power_on();
    board::reset(config);
  }
  void SetUp() override { StartBoard(); }
  void TearDown() override {
    // Host ends first: their threads may be delivering interrupts.
    board::shutdown();
    board_install_external_vector(nullptr);
    rtos::kernel_stop();
  }
  // Restarts with another board configuration.
  void Restart(const board::board_config& config) {
    TearDown();
    StartBoard(config);
  }
};
