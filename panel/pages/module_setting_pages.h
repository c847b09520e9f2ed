// Settings sent to every module of the sign over the display lines: the
// current (dot) correction, the LED drive voltage, the automatic voltage
// adjustment and a return to the modules' factory defaults. Each wizard
// collects the values and hands one payload per setting to the display
// driver, which sends it down every line.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_ModuleSetting : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kMaxColours = 3;
  enum kind_e : uint8_t { CURRENT_DOT, LED_VOLTAGE };

  CLCD_ModuleSetting(CLCD_MenuId id, kind_e kind);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  // Colours asked: the module type's depth (current) or the primary
  // face's (voltage), 1..3.
  uint32_t Colours() const;

  kind_e m_eKind;
  uint32_t m_dwColours = 1;
  CLCD_WizardItem m_aValues[kMaxColours];
  CLCD_WizardItem m_Save;
};

class CLCD_ModAutoVoltage : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_ModAutoVoltage(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Enable;
  CLCD_WizardItem m_Target;
  CLCD_WizardItem m_Save;
};

class CLCD_ModRestoreDefaults : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_ModRestoreDefaults(CLCD_MenuId id);
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};
