// How the sign behaves on battery power while a sign power mode peripheral
// runs: the share of pixels kept on when it dims, and how long the message
// stays before the sign blanks. Both pages are hidden without that
// peripheral.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

// The two pages share the number item, its reset and the visibility test.
class CLCD_LowPowerPage : public CLCD_SimpleWizardBase {
 public:
  CLCD_LowPowerPage(CLCD_MenuId id, const char* title, const char* label);
  void Activate(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Number;
};

class CLCD_LowPowerPercent : public CLCD_LowPowerPage {
 public:
  explicit CLCD_LowPowerPercent(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;
};

class CLCD_LowPowerDuration : public CLCD_LowPowerPage {
 public:
  static constexpr uint32_t kNeverBlank = 65535;

  explicit CLCD_LowPowerDuration(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Choice;
};
