// Maintenance pages: the reset options, the change of a stored password and
// the version list of the module table.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_Reset : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kChoices = 8;
  explicit CLCD_Reset(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
  const char* m_apszChoices[kChoices + 1] = {};
};

class CLCD_Password : public CMenuItem {
 public:
  static constexpr uint32_t kSize = 17;
  static constexpr uint32_t kMinLength = 6;
  explicit CLCD_Password(CLCD_MenuId id);
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  uint32_t m_dwStep = 0;
  char m_szNew[kSize] = {};
  char m_szConfirm[kSize] = {};
  uint8_t m_byNotUnique = 0;

 private:
  void Store(CLCD_Manager* mgr);
};

class CLCD_VersionInfo : public CLCD_SimpleMenuBase {
 public:
  static constexpr uint32_t kModules = 8;
  static constexpr uint32_t kModelText = 25;
  explicit CLCD_VersionInfo(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align) override;

  CLCD_MenuOption m_aOptions[kModules];
  char m_aszModels[kModules][kModelText + 1] = {};
};
