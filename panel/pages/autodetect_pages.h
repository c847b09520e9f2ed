// Auto-detection from the panel: the operator confirms, the peripheral task
// forgets every configured peripheral and searches its sensor buses for
// utility boards; when the search is done and the sign has an HCB cabinet
// board, the wizard asks how that board is wired and writes one record for
// each device the answers describe.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

// The detection step, run as the wizard's first item.
class CLCD_PeripheralAutoDetect : public CLCD_SimpleWizardBaseMenu {
 public:
  enum : uint8_t { ASKING = 0, DETECTING = 1, COMPLETE = 2 };
  static constexpr CLCD_MenuId kId = 192;
  static constexpr uint16_t kReportDetectDone = 1;

  CLCD_PeripheralAutoDetect();
  void Enter(CLCD_Manager* mgr) override;
  void Activate(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  void OnEvent(letter_s* letter) override;

  uint8_t m_byState = ASKING;
  uint8_t m_byDots = 0;
};

class CLCD_PeripheralAutoDetectWiz : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralAutoDetectWiz(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Activate(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void Finish(CLCD_Manager* mgr) override;

  // The records of the HCB's wiring, from the answers.
  void WriteHcbRecords();

  CLCD_PeripheralAutoDetect m_Detect;
  CLCD_WizardItem m_Doors;
  CLCD_WizardItem m_Surge;
  CLCD_WizardItem m_Beacons;
  CLCD_WizardItem m_IntakeFans;
  CLCD_WizardItem m_FaceFans;
  CLCD_WizardItem m_FaceHeaters;
  CLCD_WizardItem m_CabinetHeaters;
  CLCD_WizardItem m_Monitoring;
  CLCD_WizardItem m_Airflow;
  CLCD_WizardItem m_Rpm;
  CLCD_WizardItem m_Fans;
};
