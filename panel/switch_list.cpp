// Pages of on/off switches turned six at a time.
#include "panel/lcd_keys.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"

CLCD_SwitchList::CLCD_SwitchList(CLCD_MenuId id, const char* title, const char* title_fr, uint32_t rights,
                                 uint8_t pages)
    : CMenuItem(id, title, title_fr, rights, 0), m_byPageCount(pages) {}

void CLCD_SwitchList::Enter(CLCD_Manager*) { m_byPage = 0; }

bool CLCD_SwitchList::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!mgr || !key) return false;
  const uint16_t code = lcd_key_code(*key);
  if (code >= '1' && code <= '0' + kPerPage) {
    if (Toggle(m_byPage * kPerPage + (code - '1'))) mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  if (code == LCD_KEY_UP || code == LCD_KEY_DOWN) {
    if (code == LCD_KEY_UP && m_byPage > 0) --m_byPage;
    if (code == LCD_KEY_DOWN && m_byPage + 1 < m_byPageCount) ++m_byPage;
    mgr->RequestRedraw(LCD_DRAW_PARTIAL);
    return true;
  }
  if (code == LCD_KEY_ESC) {
    mgr->ActivateMenu(LCD_MENU_PARENT, this, true);
    return true;
  }
  return false;
}
