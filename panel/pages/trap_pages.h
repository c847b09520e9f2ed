// The radio link of the central control port (PMPP through a radio modem:
// logical id, ACK2 time-out, retries, applied to the running link at once)
// and the switches of the enterprise-specific traps.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

// The RDI list is there only while the central port talks through the
// radio.
class CLCD_RDIOptions : public CLCD_MenuItemEx {
 public:
  explicit CLCD_RDIOptions(CLCD_MenuId id);
  bool HasRights(CLCD_Manager* mgr) override;
  // Leaving the list with a new controller address: the controller
  // rewrites its start-up file and restarts.
  void Deactivate(CLCD_Manager* mgr, CLCD_MenuId new_id) override;
};

class CLCD_RDISettings : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_RDISettings(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_LogicalId;
  CLCD_WizardItem m_Timeout;
  CLCD_WizardItem m_Retries;
};

class CLCD_TrapConfig : public CLCD_SwitchList {
 public:
  static constexpr uint32_t kBytes = 8;
  static constexpr uint32_t kArrowX = 232;

  explicit CLCD_TrapConfig(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool Toggle(uint32_t index) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint8_t m_abyBits[kBytes] = {};
};
