// Setting the controller's clock at the panel: the time zone (one of four
// North American zones), daylight saving on or off, and the local date and
// time, which the wizard turns into UTC seconds for the global time.
#pragma once

#include <cstdint>

#include "panel/edit_fields.h"
#include "panel/menu_bases.h"

// The date and time fields as one step of the wizard.
class CLCD_DateTime : public CLCD_SimpleWizardBaseMenu {
 public:
  enum : uint8_t { EDIT_DATE = 0, EDIT_TIME = 1 };

  explicit CLCD_DateTime(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // The entered local time as seconds since 1970, without a zone.
  uint32_t EnteredSeconds() const;

  CDateField m_Date;
  CTimeField m_Time;
  uint8_t m_byEditing = EDIT_DATE;
  uint8_t m_byFormat = 1;  // 1: English (month first, 12-hour clock)

 private:
  bool HandleTimeKey(uint16_t code, bool back);
};

class CLCD_DateTimeWiz : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_DateTimeWiz(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  // The zone offset in seconds of a choice; 0 for none of the four.
  static int32_t ZoneOffset(uint32_t choice);

  CLCD_WizardItem m_Zone;
  CLCD_WizardItem m_Dst;
  CLCD_DateTime m_Page;
  const char* m_apszZones[5] = {};
  const char* m_apszDst[3] = {};
};
