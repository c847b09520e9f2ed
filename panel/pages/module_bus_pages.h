// How the controller drives the display modules and which optional
// behaviours it uses: bits per colour, frame rate, line length on the module
// bus, the bus speed, the module time-out and the special-feature bits.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_ModuleBaudRate : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_ModuleBaudRate(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};

class CLCD_SpecialFeatureConfig : public CLCD_SwitchList {
 public:
  static constexpr uint32_t kOptions = 11;

  explicit CLCD_SpecialFeatureConfig(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool Toggle(uint32_t index) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint8_t m_byDrawn = 0;
};
