// The configured field devices on the panel: a live list with a one-word
// status each and a detail screen per device, the deletion of one record or
// of all of them, and the records that failed to load.
#pragma once

#include <cstdint>

#include "panel/menu_bases.h"

class CPeripheral;

class CLCD_PeripheralView : public CMenuItem {
 public:
  static constexpr uint32_t kMaxPeripherals = 255;
  static constexpr uint32_t kPerPage = 6;
  enum : uint8_t { MODE_LIST = 1, MODE_DETAIL = 2 };

  explicit CLCD_PeripheralView(CLCD_MenuId id);
  // Offered under DIAGNOSTICS with the diagnostics right, elsewhere with
  // the peripherals right.
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // The database-configured live peripherals, in live-list order.
  void BuildList();
  // The one-word status of a list row, at most size - 1 characters.
  static void StatusText(CLCD_Manager* mgr, CPeripheral* p, char* out, uint32_t size);

  uint8_t m_byMode = MODE_LIST;
  uint8_t m_byPage = 0;
  uint8_t m_bySelected = 0;
  uint32_t m_dwCount = 0;
  uint8_t m_byDrawn = 0;
  CPeripheral* m_apPeripherals[kMaxPeripherals] = {};

 private:
  uint32_t LastPage() const { return m_dwCount ? (m_dwCount - 1) / kPerPage : 0; }
  void DrawList(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode);
  // false, on a cleared screen, when the peripheral is gone.
  bool DrawDetail(CLCD_Manager* mgr, CLCD* lcd);
};

// A wizard over the display names of records, chosen by a test of the slot.
class CLCD_PeripheralRecordList : public CLCD_SimpleWizardBase {
 public:
  static constexpr uint32_t kMaxRecords = 255;

  CLCD_PeripheralRecordList(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights);
  // Fills the names and slots of the records the test passes; the count.
  uint32_t BuildNames(bool (*wanted)(uint32_t slot));

  const char* m_apszNames[kMaxRecords + 1] = {};  // null after the last
  uint8_t m_abySlots[kMaxRecords] = {};
  CLCD_WizardItem m_Names;
};

class CLCD_PeripheralDelete : public CLCD_PeripheralRecordList {
 public:
  explicit CLCD_PeripheralDelete(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Activate(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Confirm;
};

class CLCD_PeripheralDeleteAll : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_PeripheralDeleteAll(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Confirm;
};

// Offered only while a record has failed to load; the operator's rights
// are not asked.
class CLCD_PeripheralErrors : public CLCD_PeripheralRecordList {
 public:
  explicit CLCD_PeripheralErrors(CLCD_MenuId id);
  bool HasRights(CLCD_Manager* mgr) override;
  void Enter(CLCD_Manager* mgr) override;
  void Finish(CLCD_Manager* mgr) override;
};
