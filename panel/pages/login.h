// The login page (menu id 2), which is also the controller's idle status
// screen, and the page shown in place of one whose rights the user lacks.
#pragma once

#include "panel/menu_item.h"

class CLCD_Login : public CMenuItem {
 public:
  static constexpr uint32_t kMaxKeys = 16;
  static constexpr uint8_t kWrongTicks = 4;
  static constexpr uint8_t kHoldCalls = 8;

  CLCD_Login();
  void Enter(CLCD_Manager* mgr) override;
  void Activate(CLCD_Manager* mgr) override;
  void Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // The level of the entered password or PIN, -1 when none matches.
  int32_t CheckPassword();
  bool MatchString(const char* text, uint32_t length) const;
  bool MatchNumber(uint32_t number) const;

  LCDKeyEvent m_aKeys[kMaxKeys] = {};
  uint32_t m_dwKeyCount = 0;
  uint8_t m_byWrong = 0;
  uint8_t m_byWrongCountdown = 0;
  uint8_t m_byStatusItem = 0;
  uint8_t m_byStatusHold = 0;
  uint8_t m_bySavedKey12Pass = 0;
  uint8_t m_byPasswordLineDrawn = 0;

 private:
  void DrawStatusItem(CLCD_Manager* mgr, CLCD* lcd);
  void DrawSignDescription(CLCD_Manager* mgr, CLCD* lcd);
};

class CLCD_InsufficientRights : public CMenuItem {
 public:
  CLCD_InsufficientRights();
  // ENTER (and, not consumed, CANCEL) goes back to the page it came from.
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};
