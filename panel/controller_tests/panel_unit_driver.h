// The simulated front-panel unit on the panel line of a whole controller,
// driven as a technician would: run the clock until the screen shows a
// text, press keys, log in, choose list entries by their text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board_host.h"
#include "rtos_host.h"
#include "sim/panel/front_panel.h"

struct panel_unit_driver {
  sim::front_panel unit;

  void Attach() { unit.attach(&board::serial(4)); }
  // Runs the controller, the unit following its line, until the screen
  // holds the text (or the time is up).
  bool RunUntil(const std::string& text, uint32_t max_ticks = 5000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      rtos::advance(10);
      unit.pump();
      if (unit.screen().find(text) != std::string::npos) return true;
    }
    return false;
  }
  void Run(uint32_t ticks) {
    for (uint32_t t = 0; t < ticks; t += 10) {
      rtos::advance(10);
      unit.pump();
    }
  }
  // One task cycle takes a key.
  void Key(uint8_t code) {
    unit.press(code);
    unit.pump();
    Run(60);
  }
  void Digits(const std::string& digits) {
    static const uint8_t kCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
    for (char c : digits) Key(kCodes[c - '0']);
  }
  // Local mode and the factory PIN of the administrator.
  ::testing::AssertionResult Login() {
    if (!RunUntil("REMOTE MODE - LOGGED OUT")) return ::testing::AssertionFailure() << unit.screen();
    unit.key_switch_local();
    if (!RunUntil("LOCAL MODE - LOGGED OUT")) return ::testing::AssertionFailure() << unit.screen();
    for (uint8_t k : {2, 11, 7, 3, 8}) Key(k);  // 4 3 2 1 ENTER
    if (!RunUntil("** WELCOME TO THE MAIN MENU **")) return ::testing::AssertionFailure() << unit.screen();
    return ::testing::AssertionSuccess();
  }
  // Turns the pages of the list shown (DOWN) until the entry is there, then
  // presses its digit.
  ::testing::AssertionResult Choose(const std::string& entry) {
    const std::string wanted = ") " + entry;
    for (int page = 0; page < 8 && !RunUntil(wanted, 100); ++page) Key(14);
    const std::string screen = unit.screen();
    const size_t at = screen.find(wanted);
    if (at == std::string::npos || at < 1) return ::testing::AssertionFailure() << "no " << entry << "\n" << screen;
    const char digit = screen[at - 1];
    if (digit < '1' || digit > '9') return ::testing::AssertionFailure() << screen;
    Digits(std::string(1, digit));
    return ::testing::AssertionSuccess();
  }
};
