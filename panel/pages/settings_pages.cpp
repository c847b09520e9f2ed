#include "panel/pages/settings_pages.h"

#include <cstdio>
#include <new>

#include "database/objects.h"
#include "display/driver/module_type.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_FactoryType kCriticalTempType = 57;
constexpr CLCD_FactoryType kFailedPixelType = 58;
constexpr CLCD_FactoryType kCtrlSerialNumberType = 60;
constexpr CLCD_FactoryType kLineLengthType = 67;
constexpr CLCD_FactoryType kBeaconTypeType = 145;

constexpr uint32_t kControllerModuleRow = 1;
constexpr int32_t kFactoryLevel = 0;
constexpr uint32_t kFailedPixelStart = 34;

const char* const kBeaconTypes[14] = {"OTHER",
                                      "NONE",
                                      "ONE BEACON",
                                      "TWO SYNC FLASH",
                                      "TWO OPPOSITE FLASH",
                                      "FOUR SYNC FLASH",
                                      "FOUR ALTERNATE ROW FLASH",
                                      "FOUR ALTERNATE COLUMN FLASH",
                                      "FOUR ALTERNATE DIAGONAL FLASH",
                                      "FOUR NO SYNC FLASH",
                                      "ONE BEACON STROBE",
                                      "TWO BEACON STROBE",
                                      "FOUR BEACON STROBE",
                                      nullptr};
constexpr uint32_t kBeaconTypeCount = 13;

}  // namespace

// ---------------------------------------------------------------- one number

CLCD_OneNumberWizard::CLCD_OneNumberWizard(CLCD_MenuId id, const char* title, const char* label, const char* rule,
                                           const char* restriction)
    : CLCD_SimpleWizardBase(id, title, title, LCD_RIGHT_CONFIGURATION) {
  m_Item.kind = WIZARD_NUMBER;
  m_Item.number.title = title;
  m_Item.number.label = label;
  m_Item.number.rule = rule;
  m_Item.number.restriction = restriction;
  m_Item.number.line8 = "PRESS ENTER TO SAVE";
  AddItem(&m_Item);
}

void CLCD_OneNumberWizard::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Item.number.value = 0;
}

// ---------------------------------------------------------------- critical temperature

CLCD_CriticalTemp::CLCD_CriticalTemp(CLCD_MenuId id)
    : CLCD_OneNumberWizard(id, "CRITICAL TEMPERATURE", "CELSIUS", "<111", "<111") {}

bool CLCD_CriticalTemp::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && g_diag_ksr7100.HasNonGen4Modules();
}

void CLCD_CriticalTemp::Enter(CLCD_Manager* mgr) {
  CLCD_OneNumberWizard::Enter(mgr);
  // The factory login may go up to the modules' own limit.
  m_Item.number.rule = mgr && mgr->m_iLevel == kFactoryLevel ? "<127" : "<111";
  m_Item.number.restriction = m_Item.number.rule;
}

void CLCD_CriticalTemp::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t temperature = lcd_nv(nv::quorShutOffTemp);
  const char* mark = m_byChanged ? "*" : "";
  if (temperature != 0)
    lcd->Printf(line, align, "%d%s ", static_cast<int>(temperature), mark);
  else if (m_byChanged)
    lcd->Printf(line, align, "%s%s", "DISABLED", mark);
  else
    lcd->Printf(line, align, "%s ", "DISABLED");
}

void CLCD_CriticalTemp::Finish(CLCD_Manager*) {
  m_byChanged = 1;
  lcd_set_nv(nv::quorShutOffTemp, m_Item.number.value);
}

// ---------------------------------------------------------------- controller serial number

CLCD_CtrlSerialNumber::CLCD_CtrlSerialNumber(CLCD_MenuId id)
    : CLCD_SignSerialNumber(id, "CONTROLLER SERIAL NUMBER", nv::quorControllerSerialNum, kControllerModuleRow) {}

// ---------------------------------------------------------------- failed pixels

CLCD_FailedPixelThreshold::CLCD_FailedPixelThreshold(CLCD_MenuId id)
    : CLCD_OneNumberWizard(id, "FAILED PIXEL THRESHOLD", "PIXELS", ">0,<35", ">=1 AND <=34") {}

void CLCD_FailedPixelThreshold::Enter(CLCD_Manager* mgr) {
  CLCD_OneNumberWizard::Enter(mgr);
  m_Item.number.value = kFailedPixelStart;
}

void CLCD_FailedPixelThreshold::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t threshold = lcd_nv(nv::fdotMaxNumPixelFailure);
  if (threshold == kDisabled)
    lcd->Printf(line, align, "%s ", "DISABLED");
  else
    lcd->Printf(line, align, "%u ", static_cast<unsigned>(threshold));
}

void CLCD_FailedPixelThreshold::Finish(CLCD_Manager*) {
  lcd_set_nv(nv::fdotMaxNumPixelFailure, m_Item.number.value);
}

// ---------------------------------------------------------------- line lengths

CLCD_LineLength::CLCD_LineLength(CLCD_MenuId id)
    : CLCD_SimpleNumberEntry(id, "", "", LCD_RIGHT_CONFIGURATION),
      m_byLine(static_cast<uint8_t>(id >= kFirstMenu && id < kFirstMenu + static_cast<CLCD_MenuId>(kLines)
                                        ? id - kFirstMenu
                                        : 0)) {
  std::snprintf(m_szTitle, sizeof m_szTitle, "LINE %u LENGTH", m_byLine + 1u);
  m_pszTitle = m_szTitle;
  m_pszLabel = m_pszLabelFr = "MODULES";
  m_pszLine8 = m_pszLine8Fr = "ENTER NUMBER OF MODULES FOR LINE";
  m_pszRestriction = m_pszRestrictionFr = m_szRestriction;
}

uint32_t CLCD_LineLength::SignWidthInModules() {
  if (g_pDisplay) {
    const disp::face_description& d = g_pDisplay->FaceDescription(0);
    if (d.module_width) return d.width / d.module_width;
  }
  const module_type_row* module = find_module_type(lcd_nv(nv::quorModuleID));
  return module->width ? lcd_nv(nv::vmsSignWidthPixels) / module->width : 0;
}

uint32_t CLCD_LineLength::SignLines() {
  if (g_pDisplay) {
    const disp::face_description& d = g_pDisplay->FaceDescription(0);
    if (d.module_height) return d.module_rows;
  }
  const module_type_row* module = find_module_type(lcd_nv(nv::quorModuleID));
  return module->height ? lcd_nv(nv::vmsSignHeightPixels) / module->height : 0;
}

void CLCD_LineLength::Activate(CLCD_Manager* mgr) {
  CLCD_SimpleNumberEntry::Activate(mgr);
  std::snprintf(m_szRestriction, sizeof m_szRestriction, "<= %u", static_cast<unsigned>(SignWidthInModules()));
}

bool CLCD_LineLength::HasRights(CLCD_Manager* mgr) {
  return CMenuItem::HasRights(mgr) && m_byLine + 1u <= SignLines();
}

void CLCD_LineLength::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t length = lcd_nv(nv::quorLineLength(m_byLine));
  if (length)
    lcd->Printf(line, align, "%d", static_cast<int>(length));
  else
    lcd->Printf(line, align, "DEFAULT");
}

void CLCD_LineLength::StoreValue(CLCD_Manager*) { lcd_set_nv(nv::quorLineLength(m_byLine), m_dwValue); }

bool CLCD_LineLength::ValidateValue(CLCD_Manager*) { return m_dwValue <= SignWidthInModules(); }

// ---------------------------------------------------------------- beacon type

CLCD_BeaconType::CLCD_BeaconType(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "BEACON TYPE", "", LCD_RIGHT_CONFIGURATION) {
  m_Item.kind = WIZARD_CHOICE;
  m_Item.choice.title = "BEACON TYPE";
  m_Item.choice.choices = kBeaconTypes;
  m_Item.choice.per_page = 6;
  AddItem(&m_Item);
}

void CLCD_BeaconType::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t type = lcd_nv(nv::dmsBeaconType);
  lcd->Printf(line, align, "%s", type >= 1 && type <= kBeaconTypeCount ? kBeaconTypes[type - 1] : "");
}

void CLCD_BeaconType::Finish(CLCD_Manager*) {
  if (m_Item.choice.selected < kBeaconTypeCount) lcd_set_nv(nv::dmsBeaconType, m_Item.choice.selected + 1u);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_critical_temp(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_CriticalTemp(id); }
CMenuItem* create_ctrl_serial(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_CtrlSerialNumber(id); }
CMenuItem* create_failed_pixels(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_FailedPixelThreshold(id); }
CMenuItem* create_line_length(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_LineLength(id); }
CMenuItem* create_beacon_type(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_BeaconType(id); }
}  // namespace

const class_descriptor g_critical_temp_class = {kCriticalTempType, create_critical_temp};
const class_descriptor g_failed_pixel_threshold_class = {kFailedPixelType, create_failed_pixels};
const class_descriptor g_ctrl_serial_number_class = {kCtrlSerialNumberType, create_ctrl_serial};
const class_descriptor g_line_length_class = {kLineLengthType, create_line_length};
const class_descriptor g_beacon_type_class = {kBeaconTypeType, create_beacon_type};
