#include "panel/pages/diagnostic_pages.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "display/task/display.h"
#include "frame/board/interrupt.h"
#include "frame/trace/trace.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

constexpr CLCD_FactoryType kStatusInfoType = 26;
constexpr CLCD_FactoryType kTestPatternType = 24;
constexpr CLCD_FactoryType kFansHeatersType = 32;

// Written by the modem task; signed dB.
constexpr db_object kModemSignalStrength{17284, 2};

struct pattern_row {
  const char* text;
  uint8_t code;
};
const pattern_row kPatternRows[CLCD_TestPattern::kPatterns] = {
    {"NONE", 1},
    {"AUTO TEST", 10},
    {"MOVING COLUMNS", 3},
    {"MOVING ROWS", 4},
    {"ALL ON 100%", 8},
    {"ALPHABET", 5},
    {"LINE NUMBERS", 6},
    {"ALL ON/OFF", 2},
    {"ALL ON DIMMING LEVELS", 9},
    {"MODULE REVISION", 24},
    {"ALL ON/OFF BURN", 30},
    {"ALL ON 100% BURN", 31},
    {"EVEN COLUMNS", 20},
    {"ODD COLUMNS", 21},
    {"EVEN ROWS", 18},
    {"ODD ROWS", 19},
    {"EVEN DIAGONALS", 22},
    {"ODD DIAGONALS", 23},
    {"ON/OFF DIMMING BURN", 25},
    {"7 SEGMENT", 34},
    {"POWER SUPPLY", 36},
    {"PIXEL TEST", 28},
    {"ON/OFF DIMMING LEVELS", 35},
    {"COLOR TEST", 32},
    {"MODULE ADDRESS", 33},
    {"PIXEL TEST RESULTS1", 26},
    {"PIXEL TEST RESULTS2", 27},
    {"QUORVANTIS LOGO", 11},
    {"ALL ON RED 10 PERCENT", 12},
    {"ALL ON GREEN 10 PERCENT", 13},
    {"ALL ON BLUE 10 PERCENT", 14},
    {"ALL ON RED 100 PERCENT", 15},
    {"ALL ON GREEN 100 PERCENT", 16},
    {"ALL ON BLUE 100 PERCENT", 17},
};

const char* const* pattern_texts() {
  static const char* texts[CLCD_TestPattern::kPatterns + 1] = {};
  if (!texts[0])
    for (uint32_t i = 0; i < CLCD_TestPattern::kPatterns; ++i) texts[i] = kPatternRows[i].text;
  return texts;
}

uint8_t chosen_pattern(const CLCD_WizardItem* item) {
  return item->choice.selected < CLCD_TestPattern::kPatterns ? kPatternRows[item->choice.selected].code : 1;
}

// The colour test asks the colour; every other pattern is stored at once.
bool pattern_next_item(CLCD_WizardItem* item, uint32_t& index) {
  if (item->kind != WIZARD_CHOICE || chosen_pattern(item) != CLCD_TestPattern::kColourTest) return false;
  index = 1;
  return true;
}

const char* const kTurnOn = "TURN ON";
const char* const kTurnOff = "TURN OFF";
const char* const kRestore = "RESTORE NORMAL OPERATION";
enum : uint8_t { MODE_AUTOMATIC = 1, MODE_FORCED_ON = 2, MODE_FORCED_OFF = 3 };

}  // namespace

// ---------------------------------------------------------------- status info

CLCD_StatusInfo::CLCD_StatusInfo(CLCD_MenuId id)
    : CLCD_SimpleMenuBase(id, "STATUS INFO", "", LCD_RIGHT_DIAGNOSTICS, 4) {
  static const char* const kTexts[kOptions] = {"WATCHDOG COUNT", "UPTIME", "MODEM SIGNAL STRENGTH",
                                               "ETHERNET JOB COUNT", "FLASH DATABASE USAGE"};
  m_byAutoNavigate = 0;
  for (uint32_t i = 0; i < kOptions; ++i) {
    // The counters have no French names: the English ones serve both.
    m_aOptions[i] = CLCD_MenuOption(i, kTexts[i], kTexts[i], 0);
    AddOption(&m_aOptions[i]);
  }
}

void CLCD_StatusInfo::DrawOptionValue(CLCD_Manager* mgr, CLCD* lcd, uint32_t index, uint32_t line, uint8_t align) {
  if (!lcd) return;
  switch (index) {
    case 0:
      lcd->Printf(line, align, "%d", static_cast<int>(lcd_nv(nv::watchdogFailureCount)));
      break;
    case 1: {
      uptime_s up{};
      if (g_pPeripheralTask) g_pPeripheralTask->GetUptime(&up);
      lcd->Printf(line, align, "%3d %s %02d:%02d.%02d", static_cast<int>(up.days % 365),
                  lcd_text(mgr, "DAYS", "JOURS"), static_cast<int>(up.hours), static_cast<int>(up.minutes),
                  static_cast<int>(up.seconds));
      break;
    }
    case 2:
      lcd->Printf(line, align, "%ddB", static_cast<int>(static_cast<int16_t>(lcd_v(kModemSignalStrength))));
      break;
    case 3:
      lcd->Printf(line, align, "%d", static_cast<int>(g_ethernet_interrupt_count));
      break;
    case 4:
      lcd->Printf(line, align, "%d%%", static_cast<int>(g_pDataBase ? snmp_db_fill_percent(g_pDataBase) : 0));
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- test patterns

CLCD_TestPattern::CLCD_TestPattern(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "TEST PATTERNS", "", LCD_RIGHT_DIAGNOSTICS) {
  m_Pattern.kind = WIZARD_CHOICE;
  m_Pattern.choice.title = "TEST PATTERNS";
  m_Pattern.choice.choices = pattern_texts();
  m_Pattern.choice.per_page = 6;
  m_Pattern.next_item = pattern_next_item;
  AddItem(&m_Pattern);
  static const char* const kTitles[3] = {"ENTER RED VALUE", "ENTER GREEN VALUE", "ENTER BLUE VALUE"};
  for (uint32_t i = 0; i < 3; ++i) {
    m_aColour[i].kind = WIZARD_NUMBER;
    m_aColour[i].number.title = kTitles[i];
    m_aColour[i].number.label = "VALUE";
    m_aColour[i].number.line8 = "PRESS ENTER TO SAVE";
    AddItem(&m_aColour[i]);
  }
}

void CLCD_TestPattern::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  for (CLCD_WizardItem& c : m_aColour) c.number.value = 0;
  m_Pattern.choice.choices = pattern_texts();
  m_Pattern.choice.selected = 0;
  m_Pattern.choice.value = nullptr;
}

void CLCD_TestPattern::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  const uint32_t code = lcd_nv(nv::quorDisplayMode);
  for (const pattern_row& p : kPatternRows) {
    if (p.code != code) continue;
    if (code == kColourTest)
      lcd->Printf(line, align, "COLOR R:%d G:%d B:%d", m_abyColour[0], m_abyColour[1], m_abyColour[2]);
    else
      lcd->Printf(line, align, "%s", p.text);
    return;
  }
  lcd->Printf(line, align, "OTHER");
}

void CLCD_TestPattern::Finish(CLCD_Manager*) {
  const uint8_t code = chosen_pattern(&m_Pattern);
  lcd_set_nv(nv::quorDisplayMode, code);
  if (code != kColourTest) return;
  // The numbers have no rule: a colour keeps the low byte.
  for (uint32_t i = 0; i < 3; ++i) m_abyColour[i] = static_cast<uint8_t>(m_aColour[i].number.value);
  monitor_printf_debug("Color=%d\n", static_cast<int>(m_aColour[0].number.value));
}

// ---------------------------------------------------------------- fans and heaters

CLCD_TestFansHeaters::CLCD_TestFansHeaters(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "RUN FANS / HEATERS", "", LCD_RIGHT_PERIPHERALS) {
  m_Output.kind = WIZARD_CHOICE;
  m_Output.choice.title = "RUN FANS / HEATERS";
  m_Output.choice.choices = m_apszNames;
  m_Action.kind = WIZARD_CHOICE;
  m_Action.choice.title = "RUN FANS / HEATERS";
  m_Action.choice.choices = m_apszActions;
  m_Minutes.kind = WIZARD_NUMBER;
  m_Minutes.number.title = "FOR HOW LONG";
  m_Minutes.number.label = "MINUTES";
  m_Minutes.number.rule = "<501";
  m_Minutes.number.line8 = m_szLine8;
  AddItem(&m_Output);
  AddItem(&m_Action);
  AddItem(&m_Minutes);
}

uint32_t CLCD_TestFansHeaters::ClimateSlot(uint16_t type_id) {
  switch (type_id) {
    case 526: return 1;  // face fan
    case 518: return 2;  // pixel fan
    case 534: return 3;  // heater
    case 542: return 4;  // maintenance heater
    default: return 0;   // intake fan
  }
}

uint32_t CLCD_TestFansHeaters::BuildOutputs() {
  uint32_t n = 0;
  for (uint32_t i = 0; i <= kOutputs; ++i) m_apszNames[i] = nullptr;
  for (uint16_t& t : m_awTypes) t = 0;
  if (!g_pPeripheralTask) return 0;
  pl_mediator& list = g_pPeripheralTask->Mediator();
  for (uint8_t cls : {static_cast<uint8_t>(PCLASS_FAN_CONTROL), static_cast<uint8_t>(PCLASS_HEATER_CONTROL)}) {
    pl_mediator::cursor it = 0;
    CPeripheral* p = nullptr;
    for (int ok = list.FindFirst(cls, &it, &p); ok && p && n < kOutputs; ok = list.FindNext(cls, &it, &p)) {
      m_awTypes[n] = p->m_wTypeId;
      m_apszNames[n] = peripheral_type_name(p->m_wTypeId);
      if (!m_apszNames[n]) m_apszNames[n] = "?";
      ++n;
    }
  }
  return n;
}

bool CLCD_TestFansHeaters::HasRights(CLCD_Manager* mgr) {
  if (!CMenuItem::HasRights(mgr)) return false;
  return BuildOutputs() > 0;
}

void CLCD_TestFansHeaters::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Minutes.number.value = 0;
  m_szLine8[0] = 0;
  m_Output.choice.selected = 0;
  BuildOutputs();
}

void CLCD_TestFansHeaters::EnterItem(CLCD_Manager* mgr, CLCD_WizardItem* item) {
  CLCD_SimpleWizardBase::EnterItem(mgr, item);
  const uint32_t chosen = m_Output.choice.selected;
  const uint16_t type = chosen < kOutputs ? m_awTypes[chosen] : 0;
  CPeripheral* p = nullptr;
  if (item == &m_Action) {
    // An output gone meanwhile keeps the choices it had.
    if (!g_pPeripheralTask || !type || !g_pPeripheralTask->Mediator().Find(type, &p) || !p) return;
    climate_point* point = dynamic_cast<climate_point*>(p);
    bool on = point && point->IsOutputOn();
    if (module_type_class(lcd_nv(nv::quorModuleID)) == 2) on = !on;
    m_apszActions[1] = m_apszActions[2] = nullptr;
    switch (g_pPeripheralTask->m_abyClimateMode[ClimateSlot(type)]) {
      case MODE_FORCED_ON:
        m_apszActions[0] = kRestore;
        m_apszActions[1] = kTurnOff;
        break;
      case MODE_FORCED_OFF:
        m_apszActions[0] = kRestore;
        m_apszActions[1] = kTurnOn;
        break;
      default:
        m_apszActions[0] = on ? kTurnOff : kTurnOn;
        break;
    }
    m_Action.choice.selected = 0;
  } else if (item == &m_Minutes) {
    const bool heater = g_pPeripheralTask && type && g_pPeripheralTask->Mediator().Find(type, &p) && p &&
                        p->m_byClass == PCLASS_HEATER_CONTROL;
    if (heater)
      snprintf(m_szLine8, sizeof m_szLine8, "OFF WHEN SIGN TEMP >= %d", 25);
    else
      snprintf(m_szLine8, sizeof m_szLine8, "%s", "PRESS ENTER TO SAVE");
  }
}

bool CLCD_TestFansHeaters::GetNextItem(CLCD_Manager* mgr, CLCD_WizardItem* item, uint32_t& index) {
  if (item == &m_Action && m_apszActions[0] == kRestore) {
    if (m_Action.choice.selected == 0) return false;  // restoring needs no time
    index = 2;
    return true;
  }
  return CLCD_SimpleWizardBase::GetNextItem(mgr, item, index);
}

void CLCD_TestFansHeaters::Finish(CLCD_Manager*) {
  const uint32_t chosen = m_Output.choice.selected;
  if (!g_pPeripheralTask || chosen >= kOutputs || !m_awTypes[chosen] || !m_apszActions[0]) return;
  const char* action = m_apszActions[m_Action.choice.selected < 2 ? m_Action.choice.selected : 0];
  if (!action) return;
  uint8_t mode = MODE_AUTOMATIC;
  if (action == kTurnOn) mode = MODE_FORCED_ON;
  if (action == kTurnOff) mode = MODE_FORCED_OFF;
  const uint32_t k = ClimateSlot(m_awTypes[chosen]);
  const uint32_t minutes = mode == MODE_AUTOMATIC ? 0 : m_Minutes.number.value;
  g_pPeripheralTask->m_abyClimateMode[k] = mode;
  g_pPeripheralTask->m_adwForcedDuration[k] = minutes * 60;
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_status_info(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_StatusInfo(id); }
CMenuItem* create_test_pattern(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_TestPattern(id); }
CMenuItem* create_fans_heaters(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_TestFansHeaters(id); }
}  // namespace

const class_descriptor g_status_info_class = {kStatusInfoType, create_status_info};
const class_descriptor g_test_pattern_class = {kTestPatternType, create_test_pattern};
const class_descriptor g_test_fans_heaters_class = {kFansHeatersType, create_fans_heaters};
