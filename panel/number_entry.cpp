// The entry of one unsigned decimal value with its restriction text.
#include <cstring>

#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"

namespace {
constexpr uint32_t kLargestPositive = 0x7FFFFFFF;
constexpr uint8_t kInvalidHoldInterval = 4;
}  // namespace

CLCD_SimpleNumberEntry::CLCD_SimpleNumberEntry(CLCD_MenuId id, const char* title, const char* title_fr,
                                               uint32_t rights)
    : CMenuItem(id, title, title_fr, rights, 0) {}

void CLCD_SimpleNumberEntry::Enter(CLCD_Manager*) { m_dwValue = 0; }

bool CLCD_SimpleNumberEntry::ValidateValue(CLCD_Manager*) { return true; }

bool CLCD_SimpleNumberEntry::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  if (mgr->EditNumber(&m_dwValue, kLargestPositive, *key)) return true;
  if (lcd_key_code(*key) != LCD_KEY_ENTER) return false;
  if (ValidateValue(mgr)) {
    StoreValue(mgr);
    mgr->ActivateMenu(m_iNextMenu, this, m_iNextMenu == 0);
    return true;
  }
  m_byInvalid = 1;
  mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  return false;
}

void CLCD_SimpleNumberEntry::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  const char* label = lcd_text(mgr, m_pszLabel, m_pszLabelFr);
  const uint32_t value_column = static_cast<uint32_t>(std::strlen(label)) + 12;
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    lcd->Printf(2, LCD_ALIGN_CENTRE, "RESTRICTIONS:%s", lcd_text(mgr, m_pszRestriction, m_pszRestrictionFr));
    mgr->ShowCursor(true, 4, static_cast<int32_t>(value_column));
    lcd->PrintfLine(7, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, m_pszLine7, m_pszLine7Fr));
    lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, m_pszLine8, m_pszLine8Fr));
  }
  lcd->ClearLine(4);
  lcd->PrintfAt(4, 10, "%s:", label);
  mgr->DrawNumberField(4, value_column, m_dwValue, 3, true);
  if (m_byRedrawInterval != 0) {
    // The invalid-entry text has had its time.
    m_byRedrawInterval = 0;
    mgr->m_byPeriodicInterval = 0;
    lcd->ClearLine(6);
  }
  if (m_byInvalid) {
    lcd->Printf(6, LCD_ALIGN_CENTRE, "%s", lcd_text(mgr, m_pszInvalid, m_pszInvalidFr));
    m_byRedrawInterval = kInvalidHoldInterval;
    mgr->m_byPeriodicInterval = kInvalidHoldInterval;
    mgr->m_byPeriodicCounter = 0;
    m_byInvalid = 0;
  }
}

// ---------------------------------------------------------------- described pages

CLCD_NumberPage::CLCD_NumberPage(CLCD_MenuId id, const lcd_number_page& page)
    : CLCD_SimpleNumberEntry(id, page.title, page.title_fr, page.rights), m_Page(page) {
  auto keep = [](const char*& field, const char* text) {
    if (text) field = text;
  };
  keep(m_pszLabel, page.label);
  keep(m_pszLabelFr, page.label_fr);
  keep(m_pszRestriction, page.restriction);
  keep(m_pszRestrictionFr, page.restriction_fr);
  keep(m_pszLine7, page.line7);
  keep(m_pszLine8, page.line8);
  keep(m_pszLine8Fr, page.line8_fr);
}

void CLCD_NumberPage::DrawValue(CLCD_Manager*, CLCD* lcd, uint32_t line, uint8_t align) {
  if (!lcd) return;
  if (m_Page.show)
    m_Page.show(lcd, line, align);
  else if (m_Page.object)
    lcd->Printf(line, align, "%d", static_cast<int>(lcd_nv(*m_Page.object)));
}

void CLCD_NumberPage::StoreValue(CLCD_Manager*) {
  if (m_Page.store)
    m_Page.store(m_dwValue);
  else if (m_Page.object)
    lcd_set_nv(*m_Page.object, m_dwValue);
}

bool CLCD_NumberPage::ValidateValue(CLCD_Manager*) { return m_dwValue >= m_Page.min && m_dwValue <= m_Page.max; }
