// A panel with a technician logged in holding every right, and keys handed
// to the current page as the manager does.
#pragma once

#include "panel/tests/panel_fixture.h"

class LoggedInPanelTest : public PanelTest {
 protected:
  void Boot() {
    MakeManager();
    Start();
    LoginWithPin({3, 7, 11, 2});
    InThread([&] { mgr_->m_dwRights = LCD_RIGHTS_ALL; });
    Tick();
  }
  void Key(uint16_t code) {
    InThread([&] {
      LCDKeyEvent k = lcd_key_event(code);
      if (!mgr_->CurrentMenu()->HandleKey(mgr_, &k)) mgr_->UnhandledKey(k, true);
    });
    Tick(2);
  }
};
