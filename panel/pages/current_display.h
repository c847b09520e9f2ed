// What the sign shows: a live picture of the sign on the panel ("CURRENT
// DISPLAY") and the MULTI text of the running message, a page of six rows
// at a time.
#pragma once

#include <cstdint>

#include "panel/menu_item.h"

class CLCD_CurrentDisplay : public CMenuItem {
 public:
  explicit CLCD_CurrentDisplay(CLCD_MenuId id);
  void Activate(CLCD_Manager* mgr) override;
  void Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  enum : uint8_t { VIEW_LEFT = 1, VIEW_RIGHT = 2 };

  uint32_t m_dwSavedKey12 = 0;
  uint8_t m_byView = VIEW_LEFT;
  uint16_t m_wCountdown = 0;
  uint8_t m_bySavedLayout = 0;
};

class CLCD_CurrentMultiString : public CMenuItem {
 public:
  static constexpr uint32_t kRowChars = 38;
  static constexpr uint32_t kRows = 6;

  explicit CLCD_CurrentMultiString(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // true when at least one row was drawn.
  bool DrawPage(CLCD* lcd, uint32_t page);
  // The MULTI text of the running message into m_szText; its length, 0
  // when the sign is blank.
  uint32_t FetchText();

  uint32_t m_dwPage = 1;
  char m_szText[2048] = {};
};

// The show-frames byte of the manager, under the panel view's lock.
void lcd_set_show_frames(CLCD_Manager* mgr, uint8_t mode);
