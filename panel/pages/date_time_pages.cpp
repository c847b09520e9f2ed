#include "panel/pages/date_time_pages.h"

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"
#include "peripherals/clock.h"
#include "peripherals/pl_mediator.h"
#include "peripherals/peripheral_task.h"

namespace {

constexpr CLCD_FactoryType kDateTimeWizType = 41;
constexpr CLCD_MenuId kDateTimePage = 55;
constexpr uint8_t kEnglishFormat = 1;
constexpr uint8_t kFrenchFormat = 0;
constexpr uint32_t kDstOn = 3;
constexpr uint32_t kDstOff = 2;

const char* const kTitle = "SET DATE AND TIME";
const char* const kTitleFr = "CHANGER LA DATE ET L'HEURE";
const char* const kZonesEn[4] = {"EASTERN", "CENTRAL", "MOUNTAIN", "PACIFIC"};
const char* const kZonesFr[4] = {"EST", "CENTRE", "MONTAGNE", "PACIFIQUE"};
constexpr int32_t kZoneOffsets[4] = {-18000, -21600, -25200, -28800};
const char* const kDstEn[2] = {"DISABLE", "ENABLE"};
const char* const kDstFr[2] = {"DESACTIVE", "ACTIVE"};

constexpr uint32_t kTextColumn = 18;

bool is_back_key(uint16_t code) { return code == LCD_KEY_BACKSPACE || code == LCD_KEY_LEFT; }

}  // namespace

// ---------------------------------------------------------------- date and time fields

CLCD_DateTime::CLCD_DateTime(CLCD_MenuId id)
    : CLCD_SimpleWizardBaseMenu(id, kTitle, kTitleFr, LCD_RIGHT_DATE_TIME, 0) {}

void CLCD_DateTime::Enter(CLCD_Manager* mgr) {
  m_byFormat = mgr && mgr->m_dwLanguage == 1 ? kFrenchFormat : kEnglishFormat;
  m_Date.Reset(m_byFormat);
  m_Time.Reset(m_byFormat);
  m_byEditing = EDIT_DATE;
  m_Item.after_key = 0;
}

bool CLCD_DateTime::HandleTimeKey(uint16_t code, bool back) {
  if (back) {
    if (!m_Time.HandleKey(LCD_KEY_BACKSPACE)) {
      m_byEditing = EDIT_DATE;
      m_Date.HandleKey(LCD_KEY_BACKSPACE);
    }
    return true;
  }
  if (m_Time.HandleKey(code)) return true;
  if (code != LCD_KEY_ENTER) return false;
  // ENTER on a finished time: the wizard moves past this last step.
  if (m_Time.IsComplete()) m_Item.after_key = WIZARD_AFTER_KEY_NEXT;
  m_byEditing = EDIT_DATE;
  m_Date.HandleKey(code);
  return true;
}

bool CLCD_DateTime::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint16_t code = lcd_key_code(*key);
  const bool back = is_back_key(code);
  bool consumed;
  if (m_byEditing == EDIT_TIME) {
    consumed = HandleTimeKey(code, back);
  } else if (back) {
    consumed = m_Date.HandleKey(LCD_KEY_BACKSPACE);
  } else if (m_Date.HandleKey(code)) {
    if (m_Date.IsComplete()) m_byEditing = EDIT_TIME;
    consumed = true;
  } else if (m_Date.IsComplete()) {
    m_byEditing = EDIT_TIME;
    consumed = HandleTimeKey(code, false);
  } else {
    consumed = false;
  }
  if (consumed) mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  return consumed;
}

void CLCD_DateTime::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (!mgr || !lcd || mode == LCD_DRAW_REFRESH) return;
  const bool french = mgr->m_dwLanguage == 1;
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    lcd->PrintfAt(4, 12, "DATE:");
    if (french)
      lcd->PrintfAt(5, 11, "HEURE:");
    else
      lcd->PrintfAt(5, 12, "TIME:");
    mgr->ShowCursor(true, 4, kTextColumn);
  }
  char date[24] = {};
  char time[24] = {};
  m_Date.Format(date);
  m_Time.Format(time);
  lcd->PrintfAt(4, kTextColumn, "%s", date);
  lcd->PrintfAt(5, kTextColumn, "%s", time);
  if (m_byEditing == EDIT_DATE) {
    mgr->ShowCursor(true, 4, static_cast<int32_t>(kTextColumn + std::strspn(date, "0123456789/")));
    return;
  }
  if (!m_Time.IsComplete()) {
    mgr->ShowCursor(true, 5, static_cast<int32_t>(kTextColumn + std::strspn(time, "0123456789: ")));
    lcd->ClearLine(7);
    lcd->ClearLine(8);
    return;
  }
  mgr->ShowCursor(false, 5, kTextColumn);
  lcd->PrintfLine(7, LCD_ALIGN_CENTRE, "%s", french ? "APPUYER SUR ENTER POUR ENREGISTRER" : "PRESS ENTER TO SAVE");
  lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", french ? "OU SUR ESCAPE POUR ANNULER" : "OR PRESS ESCAPE TO CANCEL");
}

uint32_t CLCD_DateTime::EnteredSeconds() const {
  clock_date date{};
  date.month = m_Date.m_byMonth ? m_Date.m_byMonth - 1u : 0u;
  date.day = m_Date.m_byDay;
  date.year = m_Date.m_wYear >= 1900 ? m_Date.m_wYear - 1900u : 0u;
  date.minutes = m_Time.m_byMinute;
  uint32_t hour = m_Time.m_byHour;
  if (m_byFormat == kEnglishFormat) {
    if (m_Time.m_byPm && hour != 12) hour += 12;
    if (!m_Time.m_byPm && hour == 12) hour = 0;
  }
  date.hours = hour;
  uint32_t seconds = 0;
  CClock::DateToSeconds(&date, &seconds);
  return seconds;
}

// ---------------------------------------------------------------- the wizard

CLCD_DateTimeWiz::CLCD_DateTimeWiz(CLCD_MenuId id)
    : CLCD_SimpleWizardBase(id, kTitle, kTitleFr, LCD_RIGHT_DATE_TIME), m_Page(kDateTimePage) {
  m_Zone.kind = WIZARD_CHOICE;
  m_Zone.choice.choices = m_apszZones;
  m_Zone.choice.per_page = 6;
  m_Dst.kind = WIZARD_CHOICE;
  m_Dst.choice.choices = m_apszDst;
  m_Dst.choice.per_page = 6;
  AddItem(&m_Zone);
  AddItem(&m_Dst);
  AddItem(&m_Page.m_Item);
}

void CLCD_DateTimeWiz::Enter(CLCD_Manager* mgr) {
  CLCD_SimpleWizardBase::Enter(mgr);
  m_Zone.choice.title = lcd_text(mgr, "TIMEZONE", "FUSEAU HORAIRE");
  m_Dst.choice.title = lcd_text(mgr, "DST", "HEURE AVANCEE");
  for (uint32_t i = 0; i < 4; ++i) m_apszZones[i] = lcd_text(mgr, kZonesEn[i], kZonesFr[i]);
  for (uint32_t i = 0; i < 2; ++i) m_apszDst[i] = lcd_text(mgr, kDstEn[i], kDstFr[i]);
}

int32_t CLCD_DateTimeWiz::ZoneOffset(uint32_t choice) { return choice < 4 ? kZoneOffsets[choice] : 0; }

void CLCD_DateTimeWiz::Finish(CLCD_Manager*) {
  const int32_t zone = ZoneOffset(m_Zone.choice.selected);
  lcd_set_nv(nv::controllerStandardTimeZone, static_cast<uint32_t>(zone));
  lcd_set_nv(nv::globalDaylightSaving, m_Dst.choice.selected == 1 ? kDstOn : kDstOff);
  // Local standard time to UTC; the clock takes daylight saving off itself.
  int64_t utc = static_cast<int64_t>(m_Page.EnteredSeconds()) - zone;
  if (utc < 0) utc = 0;
  if (utc > 0xFFFFFFFFll) utc = 0xFFFFFFFFll;
  if (g_pPeripheralTask) {
    CPeripheral* clock = nullptr;
    if (g_pPeripheralTask->Mediator().Find(CClock::TYPE_ID, &clock) && clock)
      if (auto* c = dynamic_cast<CClock*>(clock)) c->RequestTimeReload();
  }
  if (g_pDataBase)
    g_pDataBase->SetTimeValue(nv::globalTime.offset, nv::globalTime.width, static_cast<uint32_t>(utc),
                              g_pDataBase->mib_nv, DB_NOTIFY | DB_GLOBAL_TIME);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_date_time(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_DateTimeWiz(id); }
}  // namespace

const class_descriptor g_date_time_class = {kDateTimeWizType, create_date_time};
