// The data-key page (menu 198): copies the firmware and CONFIG.XML to the
// key and installs them, or a hex file, from it. The jobs run on the
// "Datakey" worker; the page shows their state and takes keys.
#pragma once

#include "panel/menu_item.h"

class CDataKeyJobs;

enum : CLCD_FactoryType { LCD_CLASS_DATAKEY = 142 };

// The jobs the page drives (set at start-up; none: the page only asks for a key).
void lcd_datakey_set_jobs(CDataKeyJobs* jobs);

class CLCD_DataKey : public CMenuItem {
 public:
  CLCD_DataKey();
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  bool HasRights(CLCD_Manager*) override { return true; }
  bool IsBusy() override { return m_byLastState >= 3 && m_byLastState <= 17; }

  uint8_t m_byLastState = 0xFF;
  uint8_t m_byPhase = 0;
};
