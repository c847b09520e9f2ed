#include "panel/pages/run_pages.h"

#include <new>

#include "database/database.h"
#include "database/objects.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr uint16_t kUntilReplaced = 65535;
constexpr uint8_t kSourceScheduler = 9;
enum : uint32_t { MEM_SCHEDULE = 6, MEM_BLANK = 7 };
constexpr CLCD_MenuId kMenuRunDuration = 24;

}  // namespace

// ---------------------------------------------------------------- options

CLCD_RunOptions::CLCD_RunOptions(CLCD_MenuId id)
    : CMenuItem(id, "RUN MESSAGE OPTIONS", "OPTIONS D'AFFICHAGE", LCD_RIGHT_RUN_MESSAGES, 0) {}

bool CLCD_RunOptions::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  switch (lcd_key_code(*key)) {
    case '1':
      mgr->ActivateMessage(kUntilReplaced);
      mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
      return true;
    case '2':
      mgr->ActivateMenu(kMenuRunDuration, this, false);
      return true;
    case '3':
      mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
      return true;
    case '4':
      mgr->ActivateMenu(LCD_MENU_PARENT, this, false);
      return true;
    default:
      return false;
  }
}

void CLCD_RunOptions::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode != LCD_DRAW_FULL) return;
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd->Printf(2, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "1) RUN CONTINUOUS", "1) AFFICHAGE CONTINU"));
  lcd->Printf(3, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "2) RUN DURATION", "2) AFFICHAGE DUREE DEFINIE"));
  lcd->Printf(4, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "3) DO NOT RUN", "3) NE PAS AFFICHER"));
  lcd->Printf(5, LCD_ALIGN_LEFT, "%s", lcd_text(mgr, "4) GO BACK", "4) RETOUR"));
}

// ---------------------------------------------------------------- duration

CLCD_RunDuration::CLCD_RunDuration(CLCD_MenuId id)
    : CMenuItem(id, "RUN MESSAGE DURATION", "DUREE D'AFFICHAGE", LCD_RIGHT_RUN_MESSAGES, 0) {}

void CLCD_RunDuration::Enter(CLCD_Manager*) { m_dwDuration = 0; }

bool CLCD_RunDuration::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  if (mgr->EditNumber(&m_dwDuration, kMaxMinutes, *key, 1)) return true;
  if (lcd_key_code(*key) != LCD_KEY_ENTER) return false;
  if (m_dwDuration > 0) {
    mgr->ActivateMessage(static_cast<uint16_t>(m_dwDuration));
    mgr->ActivateMenu(LCD_MENU_MESSAGE_CONTROL, this, false);
  }
  return true;
}

void CLCD_RunDuration::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  const bool french = mgr->m_dwLanguage == 1;
  const uint32_t column = french ? 21 : 24;
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    lcd->PrintfAt(4, 14, "%s", french ? "DUREE:" : "DURATION:");
    lcd->Printf(8, LCD_ALIGN_CENTRE, "%s", french ? "ENTRER LA DUREE EN MINUTES" : "ENTER DURATION IN MINUTES");
  }
  mgr->DrawNumberField(4, column, m_dwDuration, 4, true);
}

// ---------------------------------------------------------------- schedule

CLCD_Schedule::CLCD_Schedule(CLCD_MenuId id, bool start)
    : CLCD_ConfirmMenu(id, start ? "START SCHEDULE" : "STOP SCHEDULE",
                       start ? "ACTIVER L'HORAIRE" : "DESACTIVER L'HORAIRE", LCD_RIGHT_SCHEDULE),
      m_bStart(start) {}

bool CLCD_Schedule::HasRights(CLCD_Manager* mgr) {
  if (!CMenuItem::HasRights(mgr)) return false;
  const bool scheduled = lcd_nv(nv::dmsMsgSourceMode) == kSourceScheduler;
  return m_bStart ? !scheduled : scheduled;
}

void CLCD_Schedule::OnSelect(CLCD_Manager* mgr, CLCD_MenuOption* option) {
  if (!option || option->m_dwValue == 0) return;
  mgr->SetActivationTarget(m_bStart ? MEM_SCHEDULE : MEM_BLANK, 1);
  mgr->ActivateMessage(kUntilReplaced);
}

// ---------------------------------------------------------------- factory

namespace {
CMenuItem* create_run_options(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_RunOptions(id); }
CMenuItem* create_run_duration(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_RunDuration(id); }
CMenuItem* create_schedule_start(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_Schedule(id, true); }
CMenuItem* create_schedule_stop(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_Schedule(id, false); }
}  // namespace

const class_descriptor g_run_options_class = {8, create_run_options};
const class_descriptor g_run_duration_class = {9, create_run_duration};
const class_descriptor g_schedule_start_class = {18, create_schedule_start};
const class_descriptor g_schedule_stop_class = {19, create_schedule_stop};
