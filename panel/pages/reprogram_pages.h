// The reprogram wizards (menus 72, 73, 75): a firmware file from flash and
// the device type are chosen, then the embedded progress page (menu 76)
// posts the request that the display task carries out and follows it.
#pragma once

#include "panel/menu_bases.h"
#include "panel/pages/reprogram_run.h"

enum : CLCD_FactoryType { LCD_CLASS_REPROGRAM = 63 };

// What the pages need from the controller.
class reprogram_panel {
 public:
  virtual ~reprogram_panel() = default;
  // The flash file names, in directory order (index from 0); false past the last.
  virtual bool FileName(uint32_t index, char* out, uint32_t size) = 0;
  // The detected device type for the wizard's menu.
  virtual uint16_t DetectedType(uint32_t menu) = 0;
  // Hands the posted request to the display task.
  virtual void Post(reprogram_request& request) = 0;
  virtual can_reprogram* Programmer() = 0;
  // The display task has not left the reprogram mode yet.
  virtual bool Busy() { return false; }
};
void lcd_reprogram_set_panel(reprogram_panel* panel);
reprogram_request& lcd_reprogram_request();

class CLCD_ReprogramWiz;

class CLCD_Reprogram : public CLCD_SimpleWizardBaseMenu {
 public:
  explicit CLCD_Reprogram(CLCD_ReprogramWiz* owner);
  void Activate(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  CLCD_ReprogramWiz* m_pOwner;
  uint8_t m_byPhase = 0;
  uint8_t m_byState = 0;  // as drawn
};

class CLCD_ReprogramWiz : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kMaxFiles = 18;
  explicit CLCD_ReprogramWiz(CLCD_MenuId id);
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  void Activate(CLCD_Manager* mgr) override;
  bool GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) override;
  void InvalidateFiles() override { m_bRescan = true; }
  void Finish(CLCD_Manager*) override {}
  // Lists the flash files again when they changed.
  void RescanFiles();

  bool m_bRescan = true;
  char m_aszFiles[kMaxFiles][201] = {};
  const char* m_apszFiles[kMaxFiles + 1] = {};
  uint16_t m_wDetectedType = 0;
  CLCD_WizardItem m_File, m_Type, m_Number;
  CLCD_Reprogram m_Progress;
};
