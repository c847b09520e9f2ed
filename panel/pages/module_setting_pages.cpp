#include "panel/pages/module_setting_pages.h"

#include <new>

#include "database/objects.h"
#include "display/driver/module_type.h"
#include "display/driver/q5_display_driver.h"
#include "display/task/display.h"
#include "panel/db_values.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kCurrentDotType = 47;
constexpr CLCD_FactoryType kLedVoltageType = 48;
constexpr CLCD_FactoryType kAutoVoltageType = 49;
constexpr CLCD_FactoryType kRestoreDefaultsType = 50;

// Payload selectors of module command 33.
constexpr uint8_t kCurrentDot = 7;
constexpr uint8_t kAutoTarget = 8;
constexpr uint8_t kLedVoltage = 10;
constexpr uint8_t kAutoEnable = 11;

const char* const kSaveChoices[3] = {"SAVE", "DONT SAVE (RECOMMENDED)", nullptr};
const char* const kEnableChoices[3] = {"DISABLE", "ENABLE", nullptr};
const char* const kConfirmChoices[3] = {"CONFIRM", "CANCEL", nullptr};

void make_choice(CLCD_WizardItem* item, const char* title, const char* const* choices) {
  item->kind = WIZARD_CHOICE;
  item->choice.title = title;
  item->choice.choices = choices;
  item->choice.per_page = 6;
}

void make_number(CLCD_WizardItem* item, const char* title, const char* label) {
  item->kind = WIZARD_NUMBER;
  item->number.title = title;
  item->number.label = label;
  item->number.rule = "<256";
  item->number.line8 = "PRESS ENTER TO SAVE";
  item->number.value = 0;
}

uint8_t save_flag(const CLCD_WizardItem& save) { return save.choice.selected == 0 ? 1 : 0; }

// Disabling needs no target voltage.
bool auto_next_item(CLCD_WizardItem* item, uint32_t& index) {
  index = item->choice.selected == 1 ? 1 : 2;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- current and voltage

CLCD_ModuleSetting::CLCD_ModuleSetting(CLCD_MenuId id, kind_e kind)
    : CLCD_SimpleWizardBase(id, kind == CURRENT_DOT ? "MODULE CURRENT DOT CORRECTION" : "MODULE LED VOLTAGE",
                            kind == CURRENT_DOT ? "MODULE CURRENT DOT CORRECTION" : "MODULE LED VOLTAGE",
                            LCD_RIGHT_CONFIGURATION),
      m_eKind(kind) {
  make_choice(&m_Save, m_pszTitle, kSaveChoices);
}

uint32_t CLCD_ModuleSetting::Colours() const {
  uint32_t n = 1;
  if (m_eKind == CURRENT_DOT) {
    n = find_module_type(lcd_nv(nv::quorModuleID))->colour_type;
  } else if (g_pDisplay) {
    const uint8_t depth = g_pDisplay->FaceDescription(0).depth;
    n = depth == 2 || depth == 3 ? depth : 1;
  }
  return n < 1 ? 1 : (n > kMaxColours ? kMaxColours : n);
}

void CLCD_ModuleSetting::Enter(CLCD_Manager* mgr) {
  ClearItems();
  CLCD_SimpleWizardBase::Enter(mgr);
  m_dwColours = Colours();
  static const char* const kCurrentLabels[kMaxColours] = {"RED/AMBER", "GREEN/AMBER", "BLUE"};
  static const char* const kTwoColours[2] = {"MODULE RED LED VOLTAGE", "MODULE GREEN OR AMBER LED VOLTAGE"};
  static const char* const kThreeColours[3] = {"MODULE RED LED VOLTAGE", "MODULE GREEN LED VOLTAGE",
                                               "MODULE BLUE LED VOLTAGE"};
  for (uint32_t i = 0; i < m_dwColours; ++i) {
    if (m_eKind == CURRENT_DOT) {
      make_number(&m_aValues[i], m_pszTitle, kCurrentLabels[i]);
    } else {
      const char* title = m_dwColours == 2 ? kTwoColours[i] : m_dwColours == 3 ? kThreeColours[i] : m_pszTitle;
      make_number(&m_aValues[i], title, "D/A VALUE");
    }
    AddItem(&m_aValues[i]);
  }
  m_Save.choice.selected = 1;
  AddItem(&m_Save);
}

void CLCD_ModuleSetting::Finish(CLCD_Manager*) {
  uint8_t payload[kMaxColours + 3] = {m_eKind == CURRENT_DOT ? kCurrentDot : kLedVoltage};
  uint32_t n = 1;
  for (uint32_t i = 0; i < m_dwColours; ++i) payload[n++] = static_cast<uint8_t>(m_aValues[i].number.value);
  payload[n++] = save_flag(m_Save);
  payload[n++] = 0;
  g_q5_display_driver.SendToAllLines(payload, n);
}

// ---------------------------------------------------------------- auto adjust

CLCD_ModAutoVoltage::CLCD_ModAutoVoltage(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "MODULE AUTO ADJUST VOLTAGE", "MODULE AUTO ADJUST VOLTAGE", LCD_RIGHT_CONFIGURATION) {
  make_choice(&m_Enable, m_pszTitle, kEnableChoices);
  m_Enable.next_item = auto_next_item;
  make_number(&m_Target, m_pszTitle, "10 * VOLTAGE");
  make_choice(&m_Save, m_pszTitle, kSaveChoices);
  AddItem(&m_Enable);
  AddItem(&m_Target);
  AddItem(&m_Save);
}

void CLCD_ModAutoVoltage::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Target.number.value = 0;
}

void CLCD_ModAutoVoltage::Finish(CLCD_Manager*) {
  const uint8_t enable = m_Enable.choice.selected == 1 ? 1 : 0;
  const uint8_t save = save_flag(m_Save);
  if (enable) {
    const uint8_t target[4] = {kAutoTarget, static_cast<uint8_t>(m_Target.number.value), save, 0};
    g_q5_display_driver.SendToAllLines(target, sizeof target);
  }
  g_q5_display_driver.SendModuleSetting(kAutoEnable, enable, save);
}

// ---------------------------------------------------------------- restore defaults

CLCD_ModRestoreDefaults::CLCD_ModRestoreDefaults(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "MODULE RESTORE DEFAULTS", "MODULE RESTORE DEFAULTS", LCD_RIGHT_CONFIGURATION) {
  make_choice(&m_Item, m_pszTitle, kConfirmChoices);
  AddItem(&m_Item);
}

void CLCD_ModRestoreDefaults::Finish(CLCD_Manager*) {
  if (m_Item.choice.selected == 0) g_q5_display_driver.RestoreModuleDefaults();
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_current_dot(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ModuleSetting(id, CLCD_ModuleSetting::CURRENT_DOT);
}
CMenuItem* create_led_voltage(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) CLCD_ModuleSetting(id, CLCD_ModuleSetting::LED_VOLTAGE);
}
CMenuItem* create_auto_voltage(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ModAutoVoltage(id); }
CMenuItem* create_restore(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_ModRestoreDefaults(id); }
}  // namespace

const class_descriptor g_mod_current_dot_class = {kCurrentDotType, create_current_dot};
const class_descriptor g_mod_led_voltage_class = {kLedVoltageType, create_led_voltage};
const class_descriptor g_mod_auto_voltage_class = {kAutoVoltageType, create_auto_voltage};
const class_descriptor g_mod_restore_defaults_class = {kRestoreDefaultsType, create_restore};
