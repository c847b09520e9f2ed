// Drives the simulated front-panel unit of a whole controller as a
// technician would: keys with the task cycles that take them, waiting for a
// text, the factory PIN login and choosing list entries by their titles.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rtos_host.h"
#include "sim/panel/front_panel.h"

class panel_unit_driver {
 public:
  static constexpr uint8_t kEnter = 8;
  static constexpr uint8_t kCancel = 0;
  static constexpr uint8_t kLeft = 13;
  static constexpr uint8_t kDown = 14;
  static constexpr uint8_t kUp = 15;

  explicit panel_unit_driver(sim::front_panel& unit) : unit_(unit) {}

  // Runs the controller, the unit following its line, until the unit's
  // screen holds the text (or the time is up).
  bool RunUntil(const std::string& text, uint32_t max_ticks = 5000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      rtos::advance(10);
      unit_.pump();
      if (unit_.screen().find(text) != std::string::npos) return true;
    }
    return false;
  }
  // One keypad code; one task cycle takes it.
  void Key(uint8_t code) {
    unit_.press(code);
    unit_.pump();
    for (int i = 0; i < 6; ++i) {
      rtos::advance(10);
      unit_.pump();
    }
  }
  // Digits, and '\n' for ENTER.
  void Keys(const std::string& keys) {
    static const uint8_t kDigits[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
    for (char c : keys) Key(c == '\n' ? kEnter : kDigits[c - '0']);
  }
  // The key switch to local, then the factory PIN of the administrator.
  void Login() {
    ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
    unit_.key_switch_local();
    ASSERT_TRUE(RunUntil("LOCAL MODE - LOGGED OUT")) << unit_.screen();
    Keys("4321\n");
    ASSERT_TRUE(RunUntil("** WELCOME TO THE MAIN MENU **")) << unit_.screen();
  }
  // Turns the pages of the list shown until the entry is there, then
  // presses its digit.
  void Choose(const std::string& entry) {
    const std::string wanted = ") " + entry;
    for (int page = 0; page < 8 && !RunUntil(wanted, 100); ++page) Key(kDown);
    const std::string screen = unit_.screen();
    const size_t at = screen.find(wanted);
    ASSERT_NE(at, std::string::npos) << screen;
    ASSERT_GE(at, 1u);
    ASSERT_TRUE(screen[at - 1] >= '1' && screen[at - 1] <= '9') << screen;
    Keys(std::string(1, screen[at - 1]));
  }
  void Path(const std::vector<std::string>& entries) {
    for (const std::string& e : entries) Choose(e);
  }

 private:
  sim::front_panel& unit_;
};
