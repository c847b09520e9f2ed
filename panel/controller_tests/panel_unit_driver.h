// A technician at the simulated front-panel unit of a whole controller on
// the manual clock: the unit on the panel line (serial port 4), keys pressed
// with the controller run until they are taken, the login, and menu entries
// chosen by their text.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <thread>

#include "board_host.h"
#include "rtos_host.h"
#include "sim/panel/front_panel.h"

class panel_unit_driver {
 protected:
  // The keypad codes of the digits 0..9, and of the keys tests press.
  static constexpr uint8_t kDigitCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
  static constexpr uint8_t kKeyCancel = 0;
  static constexpr uint8_t kKeyEnter = 8;
  static constexpr uint8_t kKeyLeft = 13;
  static constexpr uint8_t kKeyDown = 14;
  static constexpr uint8_t kKeyUp = 15;

  void AttachUnit() { unit_.attach(&board::serial(4)); }
  // Runs the controller, the unit following its line, until the unit's
  // screen holds the text (or the time is up).
  bool RunUntil(const std::string& text, uint32_t max_ticks = 5000) {
    for (uint32_t t = 0; t < max_ticks; t += 10) {
      Advance(10);
      unit_.pump();
      if (unit_.screen().find(text) != std::string::npos) return true;
    }
    return false;
  }
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
  // Runs the controller and the unit for a while.
  void RunFor(uint32_t ticks) {
    for (uint32_t t = 0; t < ticks; t += 10) {
      Advance(10);
      unit_.pump();
    }
  }
  void Key(uint8_t code) {
    unit_.press(code);
    unit_.pump();
    RunFor(60);  // one task cycle takes it
  }
  // Digits, and ENTER for a new line.
  void Digits(const std::string& digits) {
    for (char c : digits) Key(c == '\n' ? kKeyEnter : kDigitCodes[c - '0']);
  }
  // From the idle screen: the key switch, then the factory PIN of the
  // administrator, up to the main menu.
  void Login() {
    ASSERT_TRUE(RunUntil("REMOTE MODE - LOGGED OUT")) << unit_.screen();
    unit_.key_switch_local();
    ASSERT_TRUE(RunUntil("LOCAL MODE - LOGGED OUT")) << unit_.screen();
    Digits("4321");
    Key(kKeyEnter);
    ASSERT_TRUE(RunUntil("** WELCOME TO THE MAIN MENU **")) << unit_.screen();
  }
  // Turns the pages of the list shown (DOWN, then back UP) until the entry
  // is there, then presses its digit.
  void Choose(const std::string& entry) {
    const std::string wanted = ") " + entry;
    for (int page = 0; page < 8 && !RunUntil(wanted, 100); ++page) Key(kKeyDown);
    for (int page = 0; page < 8 && !RunUntil(wanted, 100); ++page) Key(kKeyUp);
    const std::string screen = unit_.screen();
    const size_t at = screen.find(wanted);
    ASSERT_NE(at, std::string::npos) << screen;
    ASSERT_GE(at, 1u);
    const char digit = screen[at - 1];
    ASSERT_TRUE(digit >= '1' && digit <= '9') << screen;
    Digits(std::string(1, digit));
  }
  // Chooses the entries one after the other, from the list shown.
  void Walk(std::initializer_list<const char*> entries) {
    for (const char* e : entries) {
      Choose(e);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  // A line of the unit's screen: the text from column lead + 1.
  static std::string Line(const std::string& text, unsigned lead = 0) {
    std::string s = std::string(lead, ' ') + text;
    s.resize(40, ' ');
    return s;
  }

  sim::front_panel unit_;

 private:
  bool paced_ = false;
};
