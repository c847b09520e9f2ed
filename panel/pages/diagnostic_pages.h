// Diagnostics of the controller itself: its counters, the display's test
// patterns and a manual run of one fan or heater output for a while.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CLCD_StatusInfo : public CLCD_SimpleMenuBase {
 public:
  static constexpr uint32_t kOptions = 5;

  explicit CLCD_StatusInfo(CLCD_MenuId id);
  void DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align) override;

  CLCD_MenuOption m_aOptions[kOptions];
};

class CLCD_TestPattern : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kPatterns = 34;
  static constexpr uint8_t kColourTest = 32;

  explicit CLCD_TestPattern(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Pattern;
  CLCD_WizardItem m_aColour[3];
  uint8_t m_abyColour[3] = {};
};

class CLCD_TestFansHeaters : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kOutputs = 6;
  static constexpr uint32_t kMaxMinutes = 500;

  explicit CLCD_TestFansHeaters(CLCD_MenuId id);
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  void EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;

  // The live fan then heater control outputs, at most six; the count.
  uint32_t BuildOutputs();
  // The climate output slot of a control peripheral's type.
  static uint32_t ClimateSlot(uint16_t type_id);

  CLCD_WizardItem m_Output;
  CLCD_WizardItem m_Action;
  CLCD_WizardItem m_Minutes;
  const char* m_apszNames[kOutputs + 1] = {};
  uint16_t m_awTypes[kOutputs] = {};
  const char* m_apszActions[3] = {};
  char m_szLine8[40] = {};
};
