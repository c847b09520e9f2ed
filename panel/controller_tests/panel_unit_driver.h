// A technician at the simulated front-panel unit of a whole controller on
// the manual clock: the unit on the panel line (serial port 4), keys pressed
// with the controller run until they are taken, the login, and menu entries
// chosen by their text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "board_host.h"
#include "rtos_host.h"
#include "sim/panel/front_panel.h"

class panel_unit_driver {
 protected:
  void AttachUnit() { unit_.attach(&board::serial(4)); }
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
  void Key(uint8_t code) {
    unit_.press(code);
    unit_.pump();
    // One task cycle takes it.
    for (int i = 0; i < 6; ++i) {
      rtos::advance(10);
      unit_.pump();
    }
  }
  void Digits(const std::string& digits) {
    static const uint8_t kCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
    for (char c : digits) Key(kCodes[c - '0']);
  }
  // The key switch, then the factory PIN of the administrator.
  void Login() {
    ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
    unit_.key_switch_local();
    ASSERT_TRUE(RunUntil("LOCAL MODE - LOGGED OUT")) << unit_.screen();
    for (uint8_t k : {2, 11, 7, 3, 8}) Key(k);  // 4 3 2 1 ENTER
    ASSERT_TRUE(RunUntil("** WELCOME TO THE MAIN MENU **")) << unit_.screen();
  }
  // Turns the pages of the list shown (DOWN) until the entry is there, then
  // presses its digit.
  void Choose(const std::string& entry) {
    const std::string wanted = ") " + entry;
    for (int page = 0; page < 8 && !RunUntil(wanted, 100); ++page) Key(14);
    const std::string screen = unit_.screen();
    const size_t at = screen.find(wanted);
    ASSERT_NE(at, std::string::npos) << screen;
    ASSERT_GE(at, 1u);
    const char digit = screen[at - 1];
    ASSERT_TRUE(digit >= '1' && digit <= '9') << screen;
    Digits(std::string(1, digit));
  }

  sim::front_panel unit_;
};
