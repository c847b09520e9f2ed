// How bright the sign is: automatic or manual dimming with the level in
// use, the master brightness every level is scaled by, and the failed-pixel
// share at which the display blanks. The display task does the dimming and
// the blanking; these pages read and write its objects.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_BrightnessControl : public CMenuItem {
 public:
  static constexpr uint8_t kLevelLineEvery = 9;

  explicit CLCD_BrightnessControl(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint32_t m_dwPercent = 0;
  uint8_t m_byLevelLine = 100;

 private:
  void DrawLevelLine(CLCD* lcd);
};

class CLCD_LegibilityThreshold : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_LegibilityThreshold(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};
