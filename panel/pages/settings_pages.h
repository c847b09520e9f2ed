// Settings of the sign and the controller that are one number or one
// choice each: the modules' shut-off temperature, the controller's serial
// number, the failed-pixel threshold, the modules of each text line and the
// beacon type.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"
#include "panel/pages/geometry_pages.h"

// A wizard of one number item titled like the page.
class CLCD_OneNumberWizard : public CLCD_SimpleWizardBase {
 public:
  CLCD_OneNumberWizard(CLCD_MenuId id, const char* title, const char* label, const char* rule,
                       const char* restriction);
  void Enter(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};

class CLCD_CriticalTemp : public CLCD_OneNumberWizard {
 public:
  explicit CLCD_CriticalTemp(CLCD_MenuId id);
  // Only display modules that report their temperature have a shut-off.
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  uint8_t m_byChanged = 0;
};

class CLCD_CtrlSerialNumber : public CLCD_SignSerialNumber {
 public:
  explicit CLCD_CtrlSerialNumber(CLCD_MenuId id);
};

class CLCD_FailedPixelThreshold : public CLCD_OneNumberWizard {
 public:
  static constexpr uint32_t kDisabled = 0xFFFFFFFF;

  explicit CLCD_FailedPixelThreshold(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;
};

// Modules on one text line (0: the whole width); one page per line, and
// only lines the sign has are offered.
class CLCD_LineLength : public CLCD_SimpleNumberEntry {
 public:
  static constexpr CLCD_MenuId kFirstMenu = 87;
  static constexpr uint32_t kLines = 9;

  explicit CLCD_LineLength(CLCD_MenuId id);
  void Activate(CLCD_Manager* mgr) override;
  bool HasRights(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void StoreValue(CLCD_Manager* mgr) override;
  bool ValidateValue(CLCD_Manager* mgr) override;

  // The sign's width in modules and its lines of modules.
  static uint32_t SignWidthInModules();
  static uint32_t SignLines();

  uint8_t m_byLine;
  char m_szTitle[16] = {};
  char m_szRestriction[16] = {};
};

class CLCD_BeaconType : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_BeaconType(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};
