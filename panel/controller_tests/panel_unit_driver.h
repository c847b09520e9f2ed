// A technician at the simulated front-panel unit of a controller started in
// the test: runs the controller's clock while the unit follows its line,
// presses keys, logs in and walks the lists by the names of their entries.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "board_host.h"
#include "rtos_host.h"
#include "sim/panel/front_panel.h"

class panel_unit_driver {
 public:
  void Attach() { unit_.attach(&board::serial(4)); }

  // Host I/O of the controller (sockets) answers in real time: a paced
  // driver lets a millisecond pass with every tick.
  void SetPaced(bool paced) { paced_ = paced; }

  void Advance(uint32_t ticks) {
    if (!paced_) {
      rtos::advance(ticks);
      return;
    }
    for (uint32_t i = 0; i < ticks; ++i) {
      rtos::advance(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Runs until the screen holds the text (false when the time is up).
  bool RunUntil(const std::string& text, uint32_t max_ticks = 5000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      Advance(10);
      unit_.pump();
      if (unit_.screen().find(text) != std::string::npos) return true;
    }
    return false;
  }
  void Key(uint8_t code) {
    unit_.press(code);
    unit_.pump();
    for (int i = 0; i < 6; ++i) {
      Advance(10);
      unit_.pump();
    }
  }
  // Keypad digits; a digit repeated at once would be a second tap.
  void Digits(const std::string& digits) {
    for (char c : digits) Key(kDigitCodes[c - '0']);
  }
  void Login() {
    ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
    unit_.key_switch_local();
    ASSERT_TRUE(RunUntil("LOCAL MODE - LOGGED OUT")) << unit_.screen();
    for (uint8_t k : {2, 11, 7, 3, 8}) Key(k);  // 4 3 2 1 ENTER
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
    const char digit = screen[at - 1];
    ASSERT_TRUE(digit >= '1' && digit <= '9') << screen;
    Digits(std::string(1, digit));
  }
  // From the main menu.
  void Walk(std::initializer_list<const char*> entries) {
    for (const char* e : entries) {
      Choose(e);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  static constexpr uint8_t kDigitCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
  static constexpr uint8_t kCancel = 0;
  static constexpr uint8_t kEnter = 8;
  static constexpr uint8_t kDown = 14;

  sim::front_panel unit_;

 private:
  bool paced_ = false;
};
