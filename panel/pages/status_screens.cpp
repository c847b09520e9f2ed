#include "panel/pages/status_screens.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "comm/comm_task.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/peripheral/peripheral.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"
#include "panel/pages/page_classes.h"
#include "peripherals/clock.h"
#include "peripherals/peripheral_task.h"
#include "peripherals/peripheral_types.h"

namespace {

constexpr uint32_t kFirstBodyLine = 2;
constexpr uint32_t kLastListLine = 7;
constexpr uint32_t kMoreLine = 8;
constexpr uint32_t kTextSize = 64;
// Rows the status tables have room for; a row count beyond is not trusted.
constexpr uint32_t kPowerRows = 300;
constexpr uint32_t kLightRows = 12;
constexpr uint32_t kHumidityRows = 6;
constexpr uint32_t kTemperatureRows = 12;
constexpr uint32_t kClimateRows = 32;
constexpr uint8_t kStateCommError = 3;
constexpr uint16_t kCanProductBoard = 610;
// Classes listed by the attached-device screen, in its order.
const uint8_t kAttachedClasses[] = {PCLASS_BEACON,     PCLASS_BEACON_IO, PCLASS_DOOR,        PCLASS_DCIO, PCLASS_MINI_DCIO,
                                    PCLASS_OVERHEIGHT, PCLASS_UPS,       PCLASS_TEMPERATURE, PCLASS_FAN_RPM};

CDataBase* db() { return g_pDataBase; }
uint32_t v_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_v, 0) : 0; }
uint32_t nv_value(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }

// A volatile string as a terminated text (cut to the buffer).
const char* v_text(db_object o, char* out, uint32_t size) {
  out[0] = 0;
  if (!db()) return out;
  uint32_t length = 0;
  const uint8_t* bytes = db()->GetString(o.offset, 4, db()->mib_v, &length);
  if (!bytes) return out;
  if (length > size - 1) length = size - 1;
  std::memcpy(out, bytes, length);
  out[length] = 0;
  return out;
}

// Bit r of a status map; rows past the end of the string are clear.
bool map_bit(db_object map, uint32_t r) {
  if (!db()) return false;
  uint32_t length = 0;
  const uint8_t* bytes = db()->GetString(map.offset, 4, db()->mib_v, &length);
  if (!bytes || (r >> 3) >= length) return false;
  return (bytes[r >> 3] >> (r & 7)) & 1;
}

uint32_t rows_of(db_object count, uint32_t limit) {
  const uint32_t n = v_value(count);
  return n < limit ? n : limit;
}

void clear_list_lines(CLCD* lcd) {
  for (uint32_t line = kFirstBodyLine; line <= kLastListLine; ++line) lcd->ClearLine(line);
}

const char* type_name(uint16_t type_id) {
  const char* name = peripheral_type_name(type_id);
  return name ? name : "";
}

// Places of a list: item n (from 0) is on page n / 6 + 1, at place
// n % 6 + 1 of it.
struct list_walk {
  uint32_t page;
  uint32_t items = 0;
  uint32_t on_page = 0;
  explicit list_walk(uint32_t p) : page(p) {}
  // The place (1..6) of the next item when it is on the page shown, else 0.
  uint32_t next() {
    const uint32_t n = items++;
    if (n / CLCD_SimpleErrorMenuBase::kPerPage + 1 != page) return 0;
    ++on_page;
    return n % CLCD_SimpleErrorMenuBase::kPerPage + 1;
  }
};

}  // namespace

// ---------------------------------------------------------------- base

CLCD_SimpleErrorMenuBase::CLCD_SimpleErrorMenuBase(CLCD_MenuId id, const char* title, const char* title_fr)
    : CMenuItem(id, title, title_fr, 0, 0) {}

bool CLCD_SimpleErrorMenuBase::ErrorBitsSet(uint32_t bits) { return (v_value(vol::shortErrorStatus) & bits) != 0; }

void CLCD_SimpleErrorMenuBase::Enter(CLCD_Manager*) {
  m_byPage = 1;
  m_byPageCount = 1;
  m_byItemsOnPage = 0;
}

bool CLCD_SimpleErrorMenuBase::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  switch (code) {
    case LCD_KEY_PAGE_UP:
    case LCD_KEY_UP:
      if (m_byPage > 1) {
        --m_byPage;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      return false;
    case LCD_KEY_PAGE_DOWN:
    case LCD_KEY_DOWN:
      if (m_byPage < m_byPageCount) {
        ++m_byPage;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      return false;
    case LCD_KEY_LEFT:
      return true;
    default:
      break;
  }
  // The screens have no detail view: an item's digit does nothing, and
  // the page keys keep working.
  return code >= '1' && code <= '0' + kPerPage;
}

void CLCD_SimpleErrorMenuBase::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  DrawBody(mgr, lcd, m_byPage, 0);
}

void CLCD_SimpleErrorMenuBase::SetPages(uint32_t items) {
  const uint32_t pages = items ? (items - 1) / kPerPage + 1 : 1;
  m_byPageCount = static_cast<uint8_t>(pages < 255 ? pages : 255);
  // A list that shrank while shown keeps a page to show.
  if (m_byPage > m_byPageCount) m_byPage = m_byPageCount;
}

void CLCD_SimpleErrorMenuBase::DrawMore(CLCD* lcd) {
  if (m_byPage < m_byPageCount)
    lcd->Printf(kMoreLine, LCD_ALIGN_CENTRE, "(MORE)");
  else
    lcd->Printf(kMoreLine, LCD_ALIGN_CENTRE, "      ");
}

// ---------------------------------------------------------------- the screens

#define LCD_ERROR_SCREEN_BASICS(NAME, TITLE, TITLE_FR, BITS)                          \
  NAME::NAME(CLCD_MenuId id) : CLCD_SimpleErrorMenuBase(id, TITLE, TITLE_FR) {}      \
  NAME::~NAME() = default;                                                           \
  bool NAME::HasRights(CLCD_Manager*) { return ErrorBitsSet(BITS); }

LCD_ERROR_SCREEN_BASICS(CLCD_OtherErrorStatus, "OTHER ERROR STATUS", "AUTRES ERREURS", 0x1)
LCD_ERROR_SCREEN_BASICS(CLCD_CommErrorStatus, "COMM ERROR STATUS", "ERREUR DE COMMUNICATION", 0x2)
LCD_ERROR_SCREEN_BASICS(CLCD_PowerErrorStatus, "POWER SUPPLY ERROR STATUS", "ERREUR D'ALIMENTATION", 0x4)
LCD_ERROR_SCREEN_BASICS(CLCD_AttachedDeviceErrorStatus, "ATTACHED DEVICE ERROR STATUS",
                        "ERREUR DE DISPOSITIF EXTERNE", 0x8)
LCD_ERROR_SCREEN_BASICS(CLCD_PhotocellErrorStatus, "PHOTOCELL ERROR STATUS", "ERREUR DE CELLULE PHOTOELECTRIQUE",
                        0x40)
LCD_ERROR_SCREEN_BASICS(CLCD_MessageErrorStatus, "MESSAGE ERROR STATUS", "ERREUR DE MESSAGE", 0x80)
LCD_ERROR_SCREEN_BASICS(CLCD_ControllerErrorStatus, "CONTROLLER ERROR STATUS", "ERREUR DU CONTROLLEUR", 0x100)
LCD_ERROR_SCREEN_BASICS(CLCD_TemperatureErrorStatus, "TEMPERATURE WARNING STATUS", "AVERTISSEMENT DE TEMPERATURE",
                        0x800 | 0x200)
LCD_ERROR_SCREEN_BASICS(CLCD_ClimateErrorStatus, "CLIMATE ERROR STATUS", "ERREUR CLIMATIQUE", 0x400)
LCD_ERROR_SCREEN_BASICS(CLCD_DoorOpenStatus, "DOOR OPEN STATUS", "PORTE OUVERTE", 0x2000)
LCD_ERROR_SCREEN_BASICS(CLCD_HumidityWarningStatus, "HUMIDITY WARNING STATUS", "AVERTISSEMENT D'HUMIDITE", 0x4000)

#undef LCD_ERROR_SCREEN_BASICS

bool CLCD_OtherErrorStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t, uint32_t) {
  lcd->Printf(2, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "NO EXTENDED STATUS", "AUCUNE INFORMATION ETENDUE"));
  m_byItemsOnPage = 0;
  return true;
}

bool CLCD_CommErrorStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t, uint32_t) {
  clock_date date{};
  CClock::SecondsToDate(g_comm_task.LastCommTimestamp(), &date);
  lcd->Printf(3, LCD_ALIGN_CENTRE, "%s",
              lcd_text(mgr, "COMM LOST WITH CENTRAL...", "PERTE DE COMMUNICATION AVEC CENTRAL..."));
  lcd->Printf(5, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, "LAST CONNECTION OCCURRED AT:", "DERNIERE CONNECTION A:"));
  lcd->Printf(6, LCD_ALIGN_CENTRE, "%02d/%02d/%04d @ %02d:%02d:%02d (GMT)", static_cast<int>(date.month + 1),
              static_cast<int>(date.day), static_cast<int>(date.year + 1900), static_cast<int>(date.hours),
              static_cast<int>(date.minutes), static_cast<int>(date.seconds));
  m_byItemsOnPage = 0;
  return true;
}

bool CLCD_PowerErrorStatus::DrawBody(CLCD_Manager*, CLCD* lcd, uint32_t page, uint32_t) {
  clear_list_lines(lcd);
  list_walk walk(page);
  const uint32_t rows = rows_of(vol::dmsPowerNumRows, kPowerRows);
  for (uint32_t r = 0; r < rows; ++r) {
    if (!map_bit(vol::dmsPowerFailureStatusMap, r)) continue;
    const uint32_t place = walk.next();
    if (!place) continue;
    char description[kTextSize];
    char status[kTextSize];
    lcd->PrintfAt(place + 1, 1, "%d) %s - %s", static_cast<int>(place),
                  v_text(vol::dmsPowerDescription(r), description, sizeof description),
                  v_text(vol::dmsPowerMfrStatus(r), status, sizeof status));
  }
  if (walk.items == 0) lcd->PrintfAt(2, 1, "ALL POWER SUPPLIES PASSED");
  m_byItemsOnPage = static_cast<uint8_t>(walk.on_page);
  SetPages(walk.items);
  DrawMore(lcd);
  return true;
}

bool CLCD_AttachedDeviceErrorStatus::DrawBody(CLCD_Manager*, CLCD* lcd, uint32_t page, uint32_t) {
  clear_list_lines(lcd);
  list_walk walk(page);
  if (g_pPeripheralTask) {
    CPeripheral* board = g_pPeripheralTask->GetPeripheral(kCanProductBoard);
    if (board && board->m_byState == kStateCommError) {
      if (walk.next()) lcd->PrintfAt(2, 1, "%s COMM ERR", type_name(board->m_wTypeId));
    }
    pl_mediator& live = g_pPeripheralTask->Mediator();
    for (uint8_t class_code : kAttachedClasses) {
      pl_mediator::cursor it = 0;
      CPeripheral* p = nullptr;
      for (int more = live.FindFirst(class_code, &it, &p); more && p; more = live.FindNext(class_code, &it, &p)) {
        if (p->m_byState != kStateCommError) continue;
        if (const uint32_t place = walk.next())
          lcd->PrintfAt(place + 1, 1, "%s COMM ERRORS", type_name(p->m_wTypeId));
      }
    }
  }
  if (walk.items == 0) lcd->PrintfAt(2, 1, "NO ATTACHED DEVICE ERRORS");
  m_byItemsOnPage = static_cast<uint8_t>(walk.on_page);
  SetPages(walk.items);
  DrawMore(lcd);
  return true;
}

bool CLCD_PhotocellErrorStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t page, uint32_t) {
  clear_list_lines(lcd);
  list_walk walk(page);
  const uint32_t rows = rows_of(vol::lightNumRows, kLightRows);
  for (uint32_t r = 0; r < rows; ++r) {
    if (!map_bit(vol::lightFailureMap, r)) continue;
    const uint32_t place = walk.next();
    if (!place) continue;
    char description[kTextSize];
    lcd->PrintfAt(place + 1, 1, "%d) %s -- %s", static_cast<int>(place),
                  v_text(vol::lightDescription(r), description, sizeof description),
                  lcd_text(mgr, "COMM ERROR", "ERREUR DE COMMUNICATION"));
  }
  if (walk.items == 0)
    lcd->PrintfAt(2, 1, "%s", lcd_text(mgr, "NO PHOTOCELL ERRORS", "AUCUNE ERREUR DE CELLULE PHOTOELECTRIQUE"));
  m_byItemsOnPage = static_cast<uint8_t>(walk.on_page);
  SetPages(walk.items);
  DrawMore(lcd);
  return true;
}

bool CLCD_MessageErrorStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t, uint32_t) {
  static const char* const kTexts[][2] = {
      {"OTHER ERROR", "AUTRE ERREUR"},
      {"NO ERROR", "AUCUNE ERREUR"},
      {"MESSAGE PRIORITY ERROR", "ERREUR DE PRIORITE DE MESSAGE"},
      {"MESSAGE STATUS ERROR", "ERREUR DE STATUT DE MESSAGE"},
      {"MEMORY TYPE ERROR", "ERREUR DE TYPE DE MESSAGE"},
      {"MESSAGE NUMBER ERROR", "ERREUR DU NUMERO DE MESSAGE"},
      {"MESSAGE CRC ERROR", "ERREUR DU CRC DU MESSAGE"},
      {"SYNTAX MULTI ERROR", "ERREUR DE SYNTAXE MULTI"},
      {"LOCAL MODE", "MODE LOCAL"},
      {"CENTRAL MODE", "MODE CENTRAL"},
      {"CENTRAL OVERRIDE MODE", "INTERRUPTION DU CENTRAL"},
  };
  const uint32_t error = nv_value(nv::dmsActivateMsgError);
  // A value outside the table has no text.
  if (error >= 1 && error <= sizeof kTexts / sizeof kTexts[0])
    lcd->Printf(3, LCD_ALIGN_LEFT, "%s", kTexts[error - 1][mgr->m_dwLanguage != 0 ? 1 : 0]);
  m_byItemsOnPage = 0;
  return true;
}

bool CLCD_ControllerErrorStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t, uint32_t) {
  static const char* const kTexts[][2] = {
      {"OTHER ERROR", "OTHER ERROR"},
      {"PROM ERROR", "ERREUR PROM"},
      {"PROGRAM ERROR", "ERREUR DE PROGRAMME"},
      {"RAM ERROR", "ERREUR RAM"},
      {"DISPLAY INTERFACE ERROR", "ERREUR D'INTERFACE D'AFFICHAGE"},
  };
  // Every error bit that is set has a line of its own, lowest bit first.
  const uint32_t bits = v_value(vol::controllerErrorStatus);
  uint32_t line = 2;
  for (uint32_t b = 0; b < sizeof kTexts / sizeof kTexts[0]; ++b)
    if (bits & (1u << b)) lcd->Printf(line++, LCD_ALIGN_LEFT, "%s", kTexts[b][mgr->m_dwLanguage != 0 ? 1 : 0]);
  m_byItemsOnPage = 0;
  return true;
}

bool CLCD_TemperatureErrorStatus::DrawBody(CLCD_Manager*, CLCD* lcd, uint32_t page, uint32_t) {
  clear_list_lines(lcd);
  const int32_t shut_off = static_cast<int32_t>(nv_value(nv::quorShutOffTemp));
  if (shut_off == 0 && page == 1) lcd->Printf(2, LCD_ALIGN_LEFT, "%d) SHUTDOWN TEMP SET AT %dC", 1, 0);
  // The first place of page 1 belongs to the shut-off line.
  uint32_t n = 1;
  uint32_t place = 0;
  const uint32_t rows = rows_of(vol::dmsTempSensorNumRows, kTemperatureRows);
  for (uint32_t r = 0; r < rows; ++r) {
    const bool critical = map_bit(vol::tempCriticalMap, r);
    const bool warning = map_bit(vol::tempWarningMap, r);
    if (!critical && !warning) continue;
    const uint32_t item = n++;
    if (item / kPerPage + 1 != page) continue;
    const uint32_t k = ++place;
    if (shut_off == 0) continue;
    const int32_t high = static_cast<int8_t>(v_value(vol::dmsTempSensorHighCriticalTemperature(r)));
    const int32_t reading = static_cast<int8_t>(v_value(vol::tempReading(r)));
    if (high < shut_off) continue;
    char description[kTextSize];
    v_text(vol::dmsTempSensorDescription(r), description, sizeof description);
    lcd->PrintfAt(k + 1, 1, critical ? "%d) %s - CRITICAL AT %dC" : "%d) %s - WARNING AT %dC", static_cast<int>(k),
                  description, static_cast<int>(reading));
  }
  m_byItemsOnPage = static_cast<uint8_t>(place);
  // n - 1 sensors after the shut-off place.
  SetPages(n);
  DrawMore(lcd);
  return true;
}

bool CLCD_ClimateErrorStatus::DrawBody(CLCD_Manager*, CLCD* lcd, uint32_t page, uint32_t) {
  clear_list_lines(lcd);
  list_walk walk(page);
  const uint32_t rows = rows_of(vol::climateNumRows, kClimateRows);
  for (uint32_t r = 0; r < rows; ++r) {
    if (!map_bit(vol::climateFailureMap, r)) continue;
    const uint32_t place = walk.next();
    if (!place) continue;
    char description[kTextSize];
    lcd->PrintfAt(place + 1, 1, "%s FAILURE", v_text(vol::climateDescription(r), description, sizeof description));
  }
  if (walk.items == 0) lcd->PrintfAt(3, 1, "  NO CLIMATE CONTROL WARNINGS");
  m_byItemsOnPage = static_cast<uint8_t>(walk.on_page);
  SetPages(walk.items);
  DrawMore(lcd);
  return true;
}

bool CLCD_DoorOpenStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t, uint32_t) {
  uint32_t listed = 0;
  if (ErrorBitsSet(0x2000)) {
    const uint32_t doors = v_value(vol::dmsStatDoorOpen);
    for (uint32_t k = 0; k < 8; ++k) {
      if (!(doors & (1u << k))) continue;
      // Seven lines hold seven doors; an eighth shares the last line.
      if (listed < 7)
        lcd->PrintfAt(2 + listed, 1, "DOOR %d OPEN", static_cast<int>(k + 1));
      else
        lcd->PrintfAt(8, 21, "DOOR %d OPEN", static_cast<int>(k + 1));
      ++listed;
    }
  }
  if (listed == 0) lcd->PrintfAt(2, 1, "%s", lcd_text(mgr, "NO DOORS OPEN", "AUCUNE PORTE OUVERTE"));
  m_byItemsOnPage = 0;
  return true;
}

bool CLCD_HumidityWarningStatus::DrawBody(CLCD_Manager* mgr, CLCD* lcd, uint32_t page, uint32_t) {
  clear_list_lines(lcd);
  list_walk walk(page);
  const uint32_t rows = rows_of(vol::humidityNumRows, kHumidityRows);
  for (uint32_t r = 0; r < rows; ++r) {
    if (!map_bit(vol::humidityFailureMap, r)) continue;
    const uint32_t n = walk.items;
    const uint32_t place = walk.next();
    if (!place) continue;
    char description[kTextSize];
    v_text(vol::humidityDescription(r), description, sizeof description);
    if (mgr->m_dwLanguage == 1)
      lcd->PrintfAt(place + 1, 1, " %d) DEFAILLANCE DU CAPTEUR %s", static_cast<int>(n + 1), description);
    else
      lcd->PrintfAt(place + 1, 1, " %d) %s   SENSOR FAILURE", static_cast<int>(n + 1), description);
  }
  if (walk.items == 0)
    lcd->PrintfAt(2, 1, "%s", lcd_text(mgr, "  NO HUMIDITY WARNINGS", "  AUCUN AVERTISSEMENT D'HUMIDITE"));
  m_byItemsOnPage = static_cast<uint8_t>(walk.on_page);
  SetPages(walk.items);
  DrawMore(lcd);
  return true;
}

// ---------------------------------------------------------------- factory

namespace {
template <class Screen>
CMenuItem* create_screen(CLCD_MenuId id, uint32_t) {
  return new (std::nothrow) Screen(id);
}
}  // namespace

const class_descriptor g_status_screen_classes[kStatusScreenClasses] = {
    {126, create_screen<CLCD_OtherErrorStatus>},       {127, create_screen<CLCD_CommErrorStatus>},
    {128, create_screen<CLCD_PowerErrorStatus>},       {129, create_screen<CLCD_AttachedDeviceErrorStatus>},
    {130, create_screen<CLCD_PhotocellErrorStatus>},   {131, create_screen<CLCD_MessageErrorStatus>},
    {132, create_screen<CLCD_ControllerErrorStatus>},  {133, create_screen<CLCD_TemperatureErrorStatus>},
    {134, create_screen<CLCD_ClimateErrorStatus>},     {135, create_screen<CLCD_DoorOpenStatus>},
    {136, create_screen<CLCD_HumidityWarningStatus>},
};
