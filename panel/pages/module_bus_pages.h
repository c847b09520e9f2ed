// How the controller drives the display modules and which optional
// behaviours it uses: bits per colour, frame rate, line length on the module
// bus, the bus speed, the module time-out and the special-feature bits.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

// One number of the display's timing or of the module bus.
class CLCD_ModuleNumber : public CLCD_SimpleNumberEntry {
 public:
  enum kind_e : uint8_t { BITS_PER_COLOUR, FRAMES_PER_SECOND, PIXELS_PER_LINE, MODULE_TIMEOUT };

  CLCD_ModuleNumber(CLCD_MenuId id, kind_e kind);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void StoreValue(CLCD_Manager* mgr) override;
  bool ValidateValue(CLCD_Manager* mgr) override;

  kind_e m_eKind;
};

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
