// How long a chosen message runs, and the quick schedule: every page here
// starts what it starts through the manager's activation target and the
// panel's activation slot.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_RunOptions : public CMenuItem {
 public:
  explicit CLCD_RunOptions(CLCD_MenuId id);
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
};

class CLCD_RunDuration : public CMenuItem {
 public:
  static constexpr uint32_t kMaxMinutes = 9999;

  explicit CLCD_RunDuration(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint32_t m_dwDuration = 0;
};

// START SCHEDULE (start true) hands the sign to the time-based schedule;
// STOP SCHEDULE takes it back and blanks the sign. Each is listed only
// while it would change something.
class CLCD_Schedule : public CLCD_ConfirmMenu {
 public:
  CLCD_Schedule(CLCD_MenuId id, bool start);
  bool HasRights(CLCD_Manager* mgr) override;
  void OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) override;

  bool m_bStart;
};
