// The numbered option list: a digit selects an option of the page shown.
#include <cstdio>

#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"

CLCD_SimpleMenuBase::CLCD_SimpleMenuBase(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights,
                                         uint8_t redraw_interval)
    : CMenuItem(id, title, title_fr, rights, redraw_interval) {}

void CLCD_SimpleMenuBase::Enter(CLCD_Manager*) { m_byPage = 0; }

CLCD_ConfirmMenu::CLCD_ConfirmMenu(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights)
    : CLCD_SimpleMenuBase(id, title, title_fr, rights),
      m_Confirm(1, "CONFIRM", "CONFIRMER", 0),
      m_Cancel(0, "CANCEL", "ANNULER", 0) {
  AddOption(&m_Confirm);
  AddOption(&m_Cancel);
}

void CLCD_SimpleMenuBase::OnSelect(CLCD_Manager*, CLCD_MenuOption*) {}

void CLCD_SimpleMenuBase::DrawOptionValue(CLCD_Manager*, CLCD*, uint32_t, uint32_t, uint8_t) {}

void CLCD_SimpleMenuBase::AddOption(CLCD_MenuOption* option) {
  if (!option || m_dwOptionCount >= kMaxOptions) return;
  m_apOptions[m_dwOptionCount++] = option;
}

void CLCD_SimpleMenuBase::ClearOptions() {
  for (CLCD_MenuOption*& o : m_apOptions) o = nullptr;
  m_dwOptionCount = 0;
  m_byPage = 0;
}

bool CLCD_SimpleMenuBase::FindOption(uint32_t value, CLCD_MenuOption** out) {
  for (uint32_t i = 0; i < m_dwOptionCount; ++i) {
    if (m_apOptions[i] && m_apOptions[i]->m_dwValue == value) {
      if (out) *out = m_apOptions[i];
      return true;
    }
  }
  if (out) *out = nullptr;
  return false;
}

bool CLCD_SimpleMenuBase::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (code >= '1' && code <= '0' + kPerPage) {
    const uint32_t k = code - '0';
    if (k > m_byDrawnCount) return true;
    const uint32_t index = (k - 1) + m_byPage * kPerPage;
    CLCD_MenuOption* option = index < m_dwOptionCount ? m_apOptions[index] : nullptr;
    if (!option) return true;
    m_dwSelected = index;
    OnSelect(mgr, option);
    if (m_byAutoNavigate) mgr->ActivateMenu(option->m_iNextMenu, this, option->m_iNextMenu == 0);
    return true;
  }
  const lcd_page_key page_key = lcd_page_key_of(*key);
  if (page_key == LCD_PAGE_NONE) return false;
  const uint32_t last = m_dwOptionCount ? (m_dwOptionCount - 1) / kPerPage : 0;
  switch (page_key) {
    case LCD_PAGE_PREVIOUS:
      if (m_byPage > 0) {
        --m_byPage;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      break;
    case LCD_PAGE_NEXT:
      if (m_dwOptionCount && m_byPage < last) {
        ++m_byPage;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      break;
    case LCD_PAGE_FIRST:
      m_byPage = 0;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      break;
    case LCD_PAGE_LAST:
      if (m_dwOptionCount) {
        m_byPage = static_cast<uint8_t>(last);
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      break;
    default:
      break;
  }
  return true;
}

void CLCD_SimpleMenuBase::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  DrawOptions(mgr, lcd);
}

void CLCD_SimpleMenuBase::DrawOptions(CLCD_Manager* mgr, CLCD* lcd) {
  if (m_dwOptionCount == 0) return;
  uint32_t drawn = 0;
  for (uint32_t i = 0; i < kPerPage; ++i) {
    const uint32_t index = i + kPerPage * m_byPage;
    const uint32_t line = i + 2;
    CLCD_MenuOption* option = index < kMaxOptions && index < m_dwOptionCount ? m_apOptions[index] : nullptr;
    if (!option) {
      lcd->ClearLineFrom(line, 1);
      continue;
    }
    char prefix[16] = "";
    if (!m_byNoNumbering)
      std::snprintf(prefix, sizeof prefix, "%d) ", static_cast<int>(m_byContinuousNumbering ? index + 1 : i + 1));
    lcd->PrintfField(line, 1, LCD_ALIGN_LEFT, "%s%s", prefix, lcd_text(mgr, option->m_pszText, option->m_pszTextFr));
    DrawOptionValue(mgr, lcd, index, line, LCD_ALIGN_RIGHT);
    ++drawn;
  }
  m_byDrawnCount = static_cast<uint8_t>(drawn);
  lcd_draw_page_arrows(lcd, m_byPage, (m_dwOptionCount - 1) / kPerPage);
}
