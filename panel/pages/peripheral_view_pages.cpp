#include "panel/pages/peripheral_view_pages.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "comm/modem/modem.h"
#include "comm/modem/modem_driver.h"
#include "database/database.h"
#include "database/objects.h"
#include "display/modbus/diag_ksr7100.h"
#include "display/task/display.h"
#include "frame/peripheral/peripheral.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "peripherals/devices/beacons.h"
#include "peripherals/devices/dcio.h"
#include "peripherals/devices/door_sensor.h"
#include "peripherals/devices/fan_heater_io.h"
#include "peripherals/devices/fan_rpm.h"
#include "peripherals/devices/humidity_light.h"
#include "peripherals/devices/io_based.h"
#include "peripherals/devices/isolation.h"
#include "peripherals/devices/lvdb.h"
#include "peripherals/devices/overheight.h"
#include "peripherals/devices/temperature.h"
#include "peripherals/devices/ups.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"
#include "peripherals/pl_iterator.h"

namespace {

constexpr CLCD_FactoryType kViewType = 118;
constexpr CLCD_FactoryType kErrorsType = 119;
constexpr CLCD_FactoryType kDeleteType = 120;
constexpr CLCD_FactoryType kDeleteAllType = 121;

constexpr uint32_t kStatusColumn = 27;
constexpr uint8_t kLoadFailed = 0x01;
constexpr uint32_t kSwitch5Port = 3;
constexpr uint8_t kSwitch5Inputs = 0xF0;

const char* const kConfirmChoices[3] = {"CONFIRM", "CANCEL", nullptr};
enum : uint8_t { kChoiceConfirm = 0 };

int fahrenheit(int celsius) { return celsius * 9 / 5 + 32; }

const char* power_source_text(const char* ac, const char* battery, const char* unknown) {
  switch (lcd_v(vol::powerSource)) {
    case CUninterruptiblePowerSupply::SOURCE_AC: return ac;
    case CUninterruptiblePowerSupply::SOURCE_BATTERY: return battery;
    default: return unknown;
  }
}

bool on_off(bool on, char* out, uint32_t size) {
  std::snprintf(out, size, "%s", on ? "ON" : "OFF");
  return true;
}

// The one-word status of an I/O-based peripheral by its type id.
void io_based_status(CIO_BasedPeripheral* p, char* out, uint32_t size) {
  const uint16_t type = p->m_wTypeId;
  const uint8_t sub = p->SubState();
  if ((type >= 75 && type <= 80) || (type >= 710 && type <= 719) || (type >= 850 && type <= 863)) {
    std::snprintf(out, size, "%s", sub == 1 ? "FAIL" : "PASS");
  } else if (type == CIO_BasedPeripheral::TYPE_SWITCH_BCD_ACT || type == CIO_BasedPeripheral::TYPE_CURRENT_MESSAGE) {
    std::snprintf(out, size, "%4d MSG", static_cast<int>(p->LastNumber()));
  } else if (type == CIO_BasedPeripheral::TYPE_BLANK_SWITCH) {
    on_off(sub == 3, out, size);
  } else if (type == CIO_BasedPeripheral::TYPE_BLANK_INDICATOR) {
    on_off(sub == 2, out, size);
  } else if (type == CIO_BasedPeripheral::TYPE_FAULT_LED) {
    std::snprintf(out, size, "%s", sub == 1 ? "FAULT ON" : "OK ON");
  } else if (type == CIO_BasedPeripheral::TYPE_FLOW_POWER_SENSE || type == CIO_BasedPeripheral::TYPE_RPM_POWER_SENSE) {
    on_off(sub != 2, out, size);
  } else {
    std::snprintf(out, size, "OK");
  }
}

// The modem driver's state byte; 0 without a driver.
uint8_t modem_driver_state(CModem* modem) {
  CModemDriver* driver = modem->Driver();
  if (!driver) return 0;
  auto* dialup = dynamic_cast<CModemDriver_Dialup*>(driver);
  return dialup ? dialup->InitState() : 1;
}

// Line 3 of the detail screen: which sensor bus the board is on.
void draw_network_line(CLCD_Manager* mgr, CLCD* lcd, CPeripheral* p) {
  const char* bus = p->GetVersionText();
  if (!bus) return;
  const char* text = nullptr;
  if (std::strcmp(bus, "CAN DB Driver") == 0)
    text = lcd_text(mgr, " ON DISTRIBUTION BOARD CAN NETWORK", " RESEAU CAN SUR LA CARTE DE DISTRIBUTION");
  else if (std::strcmp(bus, "CAN Q5 Driver") == 0)
    text = lcd_text(mgr, " ON Q5 LOCAL SENSOR CAN NETWORK", " RESEAU CAN SUR LE Q5");
  else if (std::strcmp(bus, "CAN Control Panel Driver") == 0)
    text = lcd_text(mgr, " ON VMS CONTROL PANEL CAN NETWORK", " RESEAU CAN SUR LE PANNEAU AUXILIAIRE");
  if (text) lcd->PrintfLine(3, LCD_ALIGN_LEFT, "%s", text);
}

}  // namespace

// ---------------------------------------------------------------- view

CLCD_PeripheralView::CLCD_PeripheralView(CLCD_MenuId id)
    : CMenuItem(id, "VIEW PERIPHERALS", "AFFICHER LES PERIPHERIQUES", LCD_RIGHT_PERIPHERALS, 6) {}

bool CLCD_PeripheralView::HasRights(CLCD_Manager* mgr) {
  const bool diagnostics = m_pParent && m_pParent->m_iId == LCD_MENU_DIAGNOSTICS;
  m_dwRights = diagnostics ? LCD_RIGHT_DIAGNOSTICS : LCD_RIGHT_PERIPHERALS;
  return CMenuItem::HasRights(mgr);
}

void CLCD_PeripheralView::Enter(CLCD_Manager*) {
  m_byMode = MODE_LIST;
  m_byPage = 0;
  m_bySelected = 0;
  m_byRedrawInterval = 6;
}

void CLCD_PeripheralView::BuildList() {
  m_dwCount = 0;
  if (!g_pPeripheralTask) return;
  pl_mediator& live = g_pPeripheralTask->Mediator();
  pl_mediator::cursor it = 0;
  CPeripheral* p = nullptr;
  for (int ok = live.FindFirst(PCLASS_ANY, &it, &p); ok && p && m_dwCount < kMaxPeripherals;
       ok = live.FindNext(PCLASS_ANY, &it, &p))
    if (p->m_byFromDatabase) m_apPeripherals[m_dwCount++] = p;
}

bool CLCD_PeripheralView::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (code == LCD_KEY_ESC) {
    if (m_byMode != MODE_DETAIL) return false;
    m_byMode = MODE_LIST;
    mgr->RequestRedraw(LCD_DRAW_FULL);
    return true;
  }
  if (code >= '1' && code <= '0' + kPerPage) {
    if (m_byMode != MODE_LIST) return false;
    const uint32_t row = code - '1';
    if (row < m_byDrawn) {
      m_bySelected = static_cast<uint8_t>(row);
      m_byMode = MODE_DETAIL;
      mgr->RequestRedraw(LCD_DRAW_FULL);
    }
    return true;
  }
  if (code == LCD_KEY_UP || code == LCD_KEY_DOWN) {
    if (m_byMode == MODE_LIST) {
      if (code == LCD_KEY_UP && m_byPage > 0) --m_byPage;
      if (code == LCD_KEY_DOWN && m_dwCount && m_byPage < LastPage()) ++m_byPage;
    }
    mgr->RequestRedraw(LCD_DRAW_FULL);
    return true;
  }
  return false;
}

void CLCD_PeripheralView::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  // The manager clears the screen before a full draw.
  if (!mgr || !lcd || mode == LCD_DRAW_REFRESH) return;
  if (m_byMode == MODE_DETAIL) {
    if (DrawDetail(mgr, lcd)) return;
    mode = LCD_DRAW_FULL;
  }
  DrawList(mgr, lcd, mode);
}

void CLCD_PeripheralView::StatusText(CLCD_Manager* mgr, CPeripheral* p, char* out, uint32_t size) {
  if (!out || size == 0) return;
  out[0] = 0;
  if (!p) return;
  const char* state = nullptr;
  if (!p->GetStateText(&state)) {
    std::snprintf(out, size, "%s", state ? state : "");
    return;
  }
  switch (p->m_byClass) {
    case PCLASS_BEACON:
    case PCLASS_BEACON_IO:
    case PCLASS_ISOLATION:
      std::snprintf(out, size, "%s", p->m_pszStatusText ? p->m_pszStatusText : "");
      return;
    case PCLASS_DOOR: {
      auto* door = dynamic_cast<CDoorSensor*>(p);
      const bool open = door && door->DoorState() == CDoorSensor::DOOR_OPEN;
      std::snprintf(out, size, "%s", open ? lcd_text(mgr, "    OPEN", " OUVERTE") : lcd_text(mgr, "  CLOSED", "  FERMEE"));
      return;
    }
    case PCLASS_FAN_CONTROL:
    case PCLASS_HEATER_CONTROL: {
      auto* point = dynamic_cast<climate_point*>(p);
      bool on = point && point->IsOutputOn();
      // Modules of this kind switch their fans and heaters the other way.
      if (module_type_class(lcd_nv(nv::quorModuleID)) == 2) on = !on;
      on_off(on, out, size);
      return;
    }
    case PCLASS_FAN_STATUS:
    case PCLASS_HEATER_STATUS: {
      // The status relay closes (input low) while the output runs.
      auto* point = dynamic_cast<climate_point*>(p);
      on_off(!(point && point->IsOutputOn()), out, size);
      return;
    }
    case PCLASS_FAN_RPM:
      if (auto* rpm = dynamic_cast<CFanRPM*>(p)) {
        std::snprintf(out, size, "%s-%d", rpm->IsPassing() ? "    PASS" : "    FAIL", static_cast<int>(rpm->GetRpm()));
        return;
      }
      break;
    case PCLASS_GP_OUTPUT:
      if (auto* output = dynamic_cast<CGeneralPurposeOutput*>(p)) {
        on_off(output->IsOutputOn(), out, size);
        return;
      }
      break;
    case PCLASS_HUMIDITY:
      if (auto* humidity = dynamic_cast<CHumidity*>(p)) {
        std::snprintf(out, size, "%5d%%RH", static_cast<int>(humidity->Reading()));
        return;
      }
      break;
    case PCLASS_IO_BASED:
      if (auto* io = dynamic_cast<CIO_BasedPeripheral*>(p)) {
        io_based_status(io, out, size);
        return;
      }
      break;
    case PCLASS_LIGHT:
      if (auto* light = dynamic_cast<CLight*>(p)) {
        std::snprintf(out, size, "%8d", static_cast<int>(light->GetOutputLevel()));
        return;
      }
      break;
    case PCLASS_LVDB:
      if (auto* board = dynamic_cast<CLVDB*>(p)) {
        const uint8_t faults = board->GetFaultFlags();
        if (faults & CLVDB::FAULT_POWER)
          std::snprintf(out, size, "PWR FAIL");
        else if (faults & CLVDB::FAULT_FUSE)
          std::snprintf(out, size, "FUSEFAIL");
        else
          std::snprintf(out, size, "%2d.%1dV OK", static_cast<int>(board->Voltage()), static_cast<int>(board->Tenths()));
        return;
      }
      break;
    case PCLASS_MODEM:
      if (auto* modem = dynamic_cast<CModem*>(p)) {
        const uint8_t driver = modem_driver_state(modem);
        std::snprintf(out, size, "%s",
                      driver == 0 ? " CENTRAL" : driver == 2 ? lcd_text(mgr, "ACCESSORY", "ACCESSOIRE") : "OK");
        return;
      }
      break;
    case PCLASS_OVERHEIGHT:
      if (auto* detector = dynamic_cast<COverheightDetector*>(p)) {
        on_off(detector->ActivationState() == COverheightDetector::ACTIVE, out, size);
        return;
      }
      break;
    case PCLASS_TEMPERATURE:
      if (auto* sensor = dynamic_cast<CTemperature*>(p)) {
        const int c = sensor->Reading();
        std::snprintf(out, size, "%3dC/%3dF", c, fahrenheit(c));
        return;
      }
      break;
    case PCLASS_UPS:
      std::snprintf(out, size, "%s", power_source_text("AC LINE", "BATTERY", "UNKNOWN"));
      return;
    default:
      break;
  }
  std::snprintf(out, size, "OK");
}

void CLCD_PeripheralView::DrawList(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  BuildList();
  m_byDrawn = 0;
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  // The list may have shrunk since the page was turned.
  if (m_byPage > LastPage()) m_byPage = static_cast<uint8_t>(LastPage());
  if (m_byPage < LastPage()) {
    lcd->Printf(8, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, "(MORE)", "(SUITE)"));
  } else if (m_dwCount == 0) {
    lcd->PrintfAt(2, 1, "1) NONE");
    return;
  }
  for (uint32_t i = m_byPage * kPerPage; i < m_dwCount && i < (m_byPage + 1u) * kPerPage; ++i) {
    CPeripheral* p = m_apPeripherals[i];
    const int row = ++m_byDrawn;
    const uint32_t line = m_byDrawn + 1u;
    const char* name = peripheral_type_name(p->m_wTypeId);
    char text[LCD_COLUMNS + 1];
    if (p->m_byClass == PCLASS_HUMIDITY || p->m_byClass == PCLASS_LIGHT || p->m_byClass == PCLASS_TEMPERATURE)
      std::snprintf(text, sizeof text, "%i) %.19s %s:%i", row, name, lcd_text(mgr, "ADDR", "ADR"),
                    static_cast<int>(p->GetCanAddress() & 0xF));
    else
      std::snprintf(text, sizeof text, "%i) %.33s", row, name);
    // Padded up to the status field: a refresh leaves nothing of a longer
    // name that stood on the line before.
    lcd->PrintfAt(line, 1, "%-*s", static_cast<int>(kStatusColumn - 1), text);
    char status[24];
    StatusText(mgr, p, status, sizeof status);
    lcd->PrintfField(line, kStatusColumn, LCD_ALIGN_RIGHT, "%s", status);
  }
  for (uint32_t line = m_byDrawn + 2u; line <= 7; ++line) lcd->ClearLine(line);
  if (mode == LCD_DRAW_FULL) lcd_draw_page_arrows(lcd, m_byPage, LastPage());
}

bool CLCD_PeripheralView::DrawDetail(CLCD_Manager* mgr, CLCD* lcd) {
  const uint32_t index = m_byPage * kPerPage + m_bySelected;
  CPeripheral* p = index < m_dwCount ? m_apPeripherals[index] : nullptr;
  // The peripheral task may have unloaded it since the list was drawn: the
  // list comes back in its place.
  if (!p || !g_pPeripheralTask || !g_pPeripheralTask->Mediator().Contains(p)) {
    m_byMode = MODE_LIST;
    lcd->Clear();
    return false;
  }
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", peripheral_type_name(p->m_wTypeId));
  lcd->PrintfAt(2, 1, "REVISION:%d", static_cast<int>(p->m_wVersion));
  switch (p->m_byClass) {
    case PCLASS_DCIO: {
      draw_network_line(mgr, lcd, p);
      auto* board = dynamic_cast<DCIO*>(p);
      if (board && board->GetPortDirection(kSwitch5Port) == kSwitch5Inputs)
        lcd->PrintfAt(4, 1, "SWITCH 5 ON (TB5 AND TB8 INPUT)");
      else
        lcd->PrintfAt(4, 1, "SWITCH 5 OFF (TB5 AND TB8 OUTPUT)");
      return true;
    }
    case PCLASS_HUMIDITY:
    case PCLASS_LIGHT:
    case PCLASS_MINI_DCIO:
      draw_network_line(mgr, lcd, p);
      return true;
    case PCLASS_ISOLATION:
      if (auto* board = dynamic_cast<CIsolationBoard*>(p)) {
        lcd->PrintfAt(3, 1, "VOLTAGE IN:%02d.%d V", static_cast<int>(board->VoltsIn()),
                      static_cast<int>(board->TenthsIn()));
        lcd->PrintfAt(4, 1, "VOLTAGE OUT:%02d.%d V", static_cast<int>(board->VoltsOut()),
                      static_cast<int>(board->TenthsOut()));
        return true;
      }
      break;
    case PCLASS_LVDB:
      if (auto* board = dynamic_cast<CLVDB*>(p)) {
        lcd->PrintfAt(3, 1, " VOLTAGE:%02d.%d V", static_cast<int>(board->Voltage()), static_cast<int>(board->Tenths()));
        lcd->PrintfAt(5, 1, "FUSE STATUS (P=PASS, F=FAIL)");
        lcd->PrintfAt(6, 1, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
        char fuses[LCD_COLUMNS + 1];
        uint32_t n = 0;
        for (uint32_t k = 1; k <= 16; ++k) {
          fuses[n++] = (board->FuseBits() >> (16 - k) & 1) ? 'F' : 'P';
          fuses[n++] = ' ';
          if (k >= 9) fuses[n++] = ' ';
        }
        fuses[n] = 0;
        lcd->PrintfAt(7, 1, "%s", fuses);
        return true;
      }
      break;
    case PCLASS_TEMPERATURE:
      if (p->m_wTypeId == CTemperature::TYPE_SIGN_MODULES) {
        int8_t average = 0, minimum = 0, maximum = 0;
        g_diag_ksr7100.GetModuleTemperatureStats(average, minimum, maximum);
        lcd->PrintfAt(4, 1, "   AVERAGE TEMP: %dC/ %dF", average, fahrenheit(average));
        lcd->PrintfAt(5, 1, "   MINIMUM TEMP: %dC/ %dF", minimum, fahrenheit(minimum));
        lcd->PrintfAt(6, 1, "   MAXIMUM TEMP: %dC/ %dF", maximum, fahrenheit(maximum));
      }
      draw_network_line(mgr, lcd, p);
      return true;
    case PCLASS_UPS: {
      lcd->PrintfLine(3, LCD_ALIGN_LEFT, "%s",
                      power_source_text(" SOURCE: AC LINE", " SOURCE: BATTERY BACKUP", " SOURCE: UNKNOWN"));
      const uint16_t type = p->m_wTypeId;
      if (type == CUninterruptiblePowerSupply::TYPE_MINUTEMAN || type == CUninterruptiblePowerSupply::TYPE_ALPHA_FXM ||
          type == CUninterruptiblePowerSupply::TYPE_ALPHA_3500 || type == CUninterruptiblePowerSupply::TYPE_TRIPP) {
        const uint32_t battery = lcd_v(vol::signVolts);
        lcd->PrintfLine(4, LCD_ALIGN_LEFT, " LINE VOLTAGE: %dV", static_cast<int>(lcd_v(vol::lineVolts)));
        // Hundredths of a volt: 13.05 V, not 13.5 V.
        lcd->PrintfLine(5, LCD_ALIGN_LEFT, " BATTERY VOLTAGE: %d.%02dV", static_cast<int>(battery / 100),
                        static_cast<int>(battery % 100));
      }
      return true;
    }
    default:
      break;
  }
  lcd->PrintfLine(4, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, "NO EXTENDED INFO", "AUCUNE INFORMATION ETENDUE"));
  return true;
}

// ---------------------------------------------------------------- record lists

CLCD_PeripheralRecordList::CLCD_PeripheralRecordList(CLCD_MenuId id, const char* title, const char* title_fr,
                                                     uint32_t rights)
    : CLCD_SimpleWizardBase(id, title, title_fr, rights) {
  m_Names.kind = WIZARD_CHOICE;
  m_Names.choice.title = title;
  m_Names.choice.choices = m_apszNames;
  m_Names.choice.per_page = 6;
  AddItem(&m_Names);
}

uint32_t CLCD_PeripheralRecordList::BuildNames(bool (*wanted)(uint32_t slot)) {
  uint32_t n = 0;
  for (const char*& name : m_apszNames) name = nullptr;
  if (!g_pDataBase) return 0;
  pl_iterator records;
  pl_record record;
  while (n < kMaxRecords && records.Next(&record)) {
    if (!wanted(record.slot)) continue;
    m_abySlots[n] = static_cast<uint8_t>(record.slot);
    m_apszNames[n++] = peripheral_type_name(record.type_id);
  }
  return n;
}

namespace {
bool any_record(uint32_t) { return true; }
bool failed_record(uint32_t slot) { return lcd_v(vol::peripheralLoadStatus(slot)) & kLoadFailed; }
}  // namespace

// ---------------------------------------------------------------- delete one

CLCD_PeripheralDelete::CLCD_PeripheralDelete(CLCD_MenuId id)
    : CLCD_PeripheralRecordList(id, "DELETE PERIPHERALS", "SUPPRESSION DE PERIPHERIQUES", LCD_RIGHT_PERIPHERALS) {
  m_Confirm.kind = WIZARD_CHOICE;
  m_Confirm.choice.title = "DELETE PERIPHERALS";
  m_Confirm.choice.choices = kConfirmChoices;
  m_Confirm.choice.per_page = 6;
  AddItem(&m_Confirm);
}

void CLCD_PeripheralDelete::Enter(CLCD_Manager* mgr) {
  CLCD_PeripheralRecordList::Enter(mgr);
  m_Names.choice.title = m_Confirm.choice.title = Title(mgr);
}

void CLCD_PeripheralDelete::Activate(CLCD_Manager* mgr) {
  CLCD_PeripheralRecordList::Activate(mgr);
  BuildNames(any_record);
}

void CLCD_PeripheralDelete::Finish(CLCD_Manager*) {
  const uint32_t chosen = m_Names.choice.selected;
  if (m_Confirm.choice.selected != kChoiceConfirm || chosen >= ChoiceCount(&m_Names)) return;
  // The type now in the slot: a record written since the list was built
  // is the one removed, never a neighbour.
  const uint16_t type = static_cast<uint16_t>(lcd_nv(nv::quorPeripheralID(m_abySlots[chosen])));
  if (type) pl_iterator().Remove(type);
}

// ---------------------------------------------------------------- delete all

CLCD_PeripheralDeleteAll::CLCD_PeripheralDeleteAll(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, "DELETE ALL PERIPHERALS", "SUPPRIMER TOUS LES PERIPHERIQUES", LCD_RIGHT_PERIPHERALS) {
  m_Confirm.kind = WIZARD_CHOICE;
  m_Confirm.choice.title = "DELETE ALL PERIPHERALS";
  m_Confirm.choice.choices = kConfirmChoices;
  m_Confirm.choice.per_page = 6;
  AddItem(&m_Confirm);
}

void CLCD_PeripheralDeleteAll::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Confirm.choice.title = Title(mgr);
}

void CLCD_PeripheralDeleteAll::Finish(CLCD_Manager*) {
  if (m_Confirm.choice.selected == kChoiceConfirm) pl_iterator().RemoveAll();
}

// ---------------------------------------------------------------- init errors

CLCD_PeripheralErrors::CLCD_PeripheralErrors(CLCD_MenuId id)
    : CLCD_PeripheralRecordList(id, "PERIPHERAL INIT ERRORS", "", LCD_RIGHT_PERIPHERALS) {}

bool CLCD_PeripheralErrors::HasRights(CLCD_Manager*) {
  if (!g_pDataBase) return false;
  pl_iterator records;
  pl_record record;
  while (records.Next(&record))
    if (failed_record(record.slot)) return true;
  return false;
}

void CLCD_PeripheralErrors::Enter(CLCD_Manager* mgr) {
  CLCD_PeripheralRecordList::Enter(mgr);
  BuildNames(failed_record);
}

void CLCD_PeripheralErrors::Finish(CLCD_Manager*) {}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_view(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_PeripheralView(id); }
CMenuItem* create_errors(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_PeripheralErrors(id); }
CMenuItem* create_delete(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_PeripheralDelete(id); }
CMenuItem* create_delete_all(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_PeripheralDeleteAll(id); }
}  // namespace

const class_descriptor g_peripheral_view_class = {kViewType, create_view};
const class_descriptor g_peripheral_errors_class = {kErrorsType, create_errors};
const class_descriptor g_peripheral_delete_class = {kDeleteType, create_delete};
const class_descriptor g_peripheral_delete_all_class = {kDeleteAllType, create_delete_all};
