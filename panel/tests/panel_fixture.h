// A manager on the manual-clock kernel with a database, talking to a
// simulated front-panel unit through an in-memory serial port. Ticks run the
// manager's Process in a kernel thread, as the peripheral task does.
// Traps the panel asks for are recorded.
//
// test_page is a page class a test can put under any type of the menu
// table (lcd_add_page_class before the manager is made): it edits a text
// with the manager's editor and records the keys it is given.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/menu_bases.h"
#include "rtos_host.h"
#include "sim/panel/front_panel.h"

class test_page : public CMenuItem {
 public:
  test_page(CLCD_MenuId id, const char* title, uint32_t rights) : CMenuItem(id, title, "", rights, 0) {}
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  void Enter(CLCD_Manager*) override {
    ++enters;
    text[0] = 0;
  }

  char text[17] = {};
  std::vector<LCDKeyEvent> keys;
  std::vector<uint8_t> modes;  // of every Draw
  uint32_t enters = 0;
  // Every page of this class the factory made, newest last.
  static std::vector<test_page*> s_made;
};

// A descriptor of test_page for a factory type: the page takes the menu id
// of the table row and this title and rights.
struct test_page_class {
  class_descriptor descriptor;
  const char* title;
  uint32_t rights;
};
// Registers the type with the given title and rights for managers made from
// now on; the descriptor lives as long as the process.
void add_test_page_class(CLCD_FactoryType type, const char* title, uint32_t rights);

// The keypad code of a digit key.
inline uint8_t pad(char digit) {
  static const uint8_t kCodes[10] = {4, 3, 7, 11, 2, 6, 10, 1, 5, 9};
  return kCodes[digit - '0'];
}

class PanelTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kStringPool = 2u << 20;

  void SetUp() override;
  void TearDown() override;

  // Builds the manager (after the database holds the language and the
  // other settings the constructor reads) and opens it on the unit.
  void MakeManager(const sim::front_panel::config& unit = sim::front_panel::config());
  // n manager ticks.
  void Tick(uint32_t n = 1);
  // Ticks until the start-up is over and the login page runs.
  void Start();
  // Puts the panel in local mode (FF B3) and lets a tick take it.
  void GoLocal();
  // Types keypad codes (one tick each) and ENTER.
  void PressKeys(const std::vector<uint8_t>& keys);
  void LoginWithPin(const std::vector<uint8_t>& digits);
  // Opens the page from the current one, and lets a tick draw it.
  void Open(CLCD_MenuId id);
  void TypeDigits(const std::string& digits);
  // Starts, logs in with the PIN and grants every right.
  void BootWithAllRights();
  // Hands a key code (not a keypad code) to the current page, then ticks.
  void KeyCode(uint16_t code);

  static void InThread(const std::function<void()>& fn) { ASSERT_TRUE(rtos::run_in_thread(fn)); }
  static CDataBase& Db() { return *g_pDataBase; }
  static uint32_t Nv(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_nv, 0); }
  static uint32_t V(db_object o) { return Db().GetValue(o.offset, o.width, Db().mib_v, 0); }
  static void SetNv(db_object o, uint32_t v) { Db().SetValue(o.offset, o.width, v, Db().mib_nv, DB_NO_VALIDATE); }
  static void SetV(db_object o, uint32_t v) { Db().SetValue(o.offset, o.width, v, Db().mib_v, DB_NO_VALIDATE); }
  static void SetNvText(db_object o, const std::string& text) {
    Db().SetString(o.offset, 4, text.data(), static_cast<uint32_t>(text.size()), Db().mib_nv, DB_NO_VALIDATE);
  }
  static std::string VText(db_object o) {
    uint32_t n = 0;
    const uint8_t* p = Db().GetString(o.offset, 4, Db().mib_v, &n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }

  // The specific codes of the traps asked for since the last call.
  static std::vector<uint32_t> Traps();

  TX_BYTE_POOL strings_{};
  std::unique_ptr<CDataBase> db_;
  sim::front_panel& Unit() { return *unit_; }

  std::unique_ptr<sim::front_panel> unit_ = std::make_unique<sim::front_panel>();
  std::unique_ptr<sim::front_panel_port> port_;
  CLCD_Manager* mgr_ = nullptr;
  trace_capture trace_;
};
