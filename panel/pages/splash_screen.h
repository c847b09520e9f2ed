// The splash page (menu id 1), the manager's start menu: shown while the
// panel starts, it explains the indicators of line 1.
#pragma once

#include "panel/menu_item.h"

class CLCD_SplashScreen : public CMenuItem {
 public:
  CLCD_SplashScreen();
  // Every key is taken and ignored.
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint8_t m_byAnimation = 8;
};
