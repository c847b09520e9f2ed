// What the sign is built of and how big it is: the display modules
// (colour, generation, module and character size), the matrix type, the
// size in pixels, the station address, the access side and the serial
// number. Size and module changes go through the display, which brings the
// sign to whole modules and rebuilds its geometry.
#pragma once

#include <cstdint>

#include "database/objects.h"
#include "panel/menu_bases.h"

// One module the panel offers: its type code, size in pixels and the
// character sizes built on it (indexes into the size texts).
struct lcd_module_choice {
  uint16_t type;
  uint8_t rows;
  uint8_t columns;
  uint8_t sizes[4];  // 0 ends the list; 1 = A .. 7 = G
  bool small_boards; // offered on product boards 5 and 6
};

class CLCD_ModuleType : public CMenuItem {
 public:
  static constexpr uint32_t kLevels = 4;
  static constexpr uint32_t kMaxChoices = 7;

  explicit CLCD_ModuleType(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;

  // The texts of the current level's list; their count.
  uint32_t ListOfLevel(const char* out[kMaxChoices]) const;
  // The module of the choices made; null when there is none.
  const lcd_module_choice* ChosenModule() const;
  void Apply();

  uint8_t m_byDrawn = 0;
  uint8_t m_byLevel = 0;
  uint8_t m_abyChoices[5] = {};
};

class CLCD_MatrixType : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_MatrixType(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Type;
  CLCD_WizardItem m_LineHeight;
  const char* m_apszChoices[4] = {};
};

class CLCD_SignAccess : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_SignAccess(CLCD_MenuId id);
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;
};

class CLCD_SignSerialNumber : public CLCD_SimpleWizardBase {
 public:
  explicit CLCD_SignSerialNumber(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  void DrawValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t line, uint8_t align) override;
  void Finish(CLCD_Manager* mgr) override;

  CLCD_WizardItem m_Item;

 protected:
  // A serial number kept in `number` and shown as "SN: n" in the version
  // text of module-table row `row`.
  CLCD_SignSerialNumber(CLCD_MenuId id, const char* title, db_object number, uint32_t row);

  db_object m_Number;
  uint32_t m_dwRow;
};
