// Sets the state of an auxiliary I/O port peripheral by hand: pick one of
// the live ports, type the state; the port takes it from its row of the
// peripheral status table.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_AuxIOPortControl : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kPorts = 6;
  static constexpr uint8_t kPortClass = 31;

  explicit CLCD_AuxIOPortControl(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  // The live ports, the first six; returns how many.
  uint32_t BuildPorts();

  const char* m_apszNames[kPorts + 1] = {};  // null after the last
  uint16_t m_awTypes[kPorts] = {};
  CLCD_WizardItem m_Port;
  CLCD_WizardItem m_State;
};
