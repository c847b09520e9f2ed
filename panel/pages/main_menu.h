// The main menu (menu id 3): the numbered list of the top-level pages that
// a login opens; CANCEL logs out.
#pragma once

#include "panel/menu_bases.h"

class CLCD_MainMenu : public CLCD_MenuItemEx {
 public:
  CLCD_MainMenu();
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};
