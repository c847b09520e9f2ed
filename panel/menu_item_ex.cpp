// The numbered submenu list, and what every list page shares: texts by
// language, the page arrows and the page keys.
#include "panel/pages/page_classes.h"
#include <new>

#include "frame/trace/trace.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/menu_bases.h"

namespace {

const uint8_t kUpArrow[8] = {0x10, 0x38, 0x54, 0x10, 0x10, 0x10, 0x10, 0x00};
const uint8_t kDownArrow[8] = {0x10, 0x10, 0x10, 0x10, 0x10, 0x54, 0x38, 0x10};

}  // namespace

const char* lcd_text(const CLCD_Manager* mgr, const char* en, const char* fr) {
  if (mgr && mgr->m_dwLanguage == 1 && fr && *fr) return fr;
  return en ? en : "";
}

void lcd_draw_up_arrow_area(CLCD* lcd, uint32_t page, uint32_t x) {
  if (page != 0)
    lcd->Bitmap(x, 24, 8, 8, kUpArrow);
  else
    lcd->DrawRect(0, x, 24, x + 7, 31);
}

void lcd_draw_page_arrows(CLCD* lcd, uint32_t page, uint32_t last_page, uint32_t x) {
  lcd_draw_up_arrow_area(lcd, page, x);
  if (page < last_page)
    lcd->Bitmap(x, 32, 8, 8, kDownArrow);
  else
    lcd->DrawRect(0, x, 32, x + 7, 40);
}

lcd_page_key lcd_page_key_of(LCDKeyEvent key) {
  switch (lcd_key_code(key)) {
    case LCD_KEY_PAGE_UP:
    case LCD_KEY_UP:
      return LCD_PAGE_PREVIOUS;
    case LCD_KEY_PAGE_DOWN:
    case LCD_KEY_DOWN:
      return LCD_PAGE_NEXT;
    case LCD_KEY_HOME:
      return LCD_PAGE_FIRST;
    case LCD_KEY_END:
      return LCD_PAGE_LAST;
    default:
      return LCD_PAGE_NONE;
  }
}

// ---------------------------------------------------------------- CLCD_MenuItemEx

CLCD_MenuItemEx::CLCD_MenuItemEx(CLCD_MenuId id, const char* title, const char* title_fr, uint8_t redraw_interval)
    : CMenuItem(id, title, title_fr, 0, redraw_interval) {}

void CLCD_MenuItemEx::Enter(CLCD_Manager* mgr) {
  mgr->m_byPeriodicInterval = m_byRedrawInterval;
  m_byPage = 0;
}

bool CLCD_MenuItemEx::HasRights(CLCD_Manager* mgr) { return CountVisible(mgr) != 0; }

bool CLCD_MenuItemEx::IsRunning(CLCD_Manager*) { return false; }

void CLCD_MenuItemEx::DrawRunning(CLCD_Manager*, CLCD*, uint32_t, uint32_t) {}

uint32_t CLCD_MenuItemEx::CountVisible(CLCD_Manager* mgr) {
  uint32_t visible = 0;
  for (CMenuItem* sub : m_apSubMenus) {
    if (!sub) continue;
    sub->m_pParent = this;
    if (sub->HasRights(mgr)) ++visible;
  }
  return visible;
}

CMenuItem* CLCD_MenuItemEx::GetVisible(CLCD_Manager* mgr, uint32_t n) {
  if (n == 0) return nullptr;
  uint32_t seen = 0;
  for (CMenuItem* sub : m_apSubMenus)
    if (sub && sub->HasRights(mgr) && ++seen == n) return sub;
  return nullptr;
}

bool CLCD_MenuItemEx::AddSubMenu(CMenuItem* submenu) {
  if (m_dwSubMenuCount >= MAX_SUBMENUSIZE) {
    monitor_printf("Error: Add LCD Menu Failure, %d selection, MAX_SUBMENUSIZE) = %d\n",
                   static_cast<int>(m_dwSubMenuCount), static_cast<int>(MAX_SUBMENUSIZE));
    return false;
  }
  if (!submenu) {
    monitor_printf("Error: Add LCD menu Failure, % d pointer = NULL\n", static_cast<int>(m_dwSubMenuCount));
    return false;
  }
  submenu->m_pParent = this;
  m_apSubMenus[m_dwSubMenuCount++] = submenu;
  return true;
}

bool CLCD_MenuItemEx::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  const uint32_t per_page = m_dwPerPage ? m_dwPerPage : 1;
  if (code >= '1' && code <= '8') {
    const uint32_t k = code - '0';
    if (IsRunning(mgr) || k > m_byDrawnCount) return true;
    CMenuItem* sub = GetVisible(mgr, k + m_byPage * per_page);
    if (!sub) return true;
    sub->m_pParent = this;
    mgr->ActivateMenu(sub->m_iId, this, false);
    return true;
  }
  const lcd_page_key page_key = lcd_page_key_of(*key);
  if (page_key == LCD_PAGE_NONE) return false;
  if (IsRunning(mgr)) return true;
  const uint32_t visible = CountVisible(mgr);
  const uint32_t last = visible ? (visible - 1) / per_page : 0;
  switch (page_key) {
    case LCD_PAGE_PREVIOUS:
      if (m_byPage > 0) {
        --m_byPage;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      break;
    case LCD_PAGE_NEXT:
      if (visible && m_byPage < last) {
        ++m_byPage;
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      break;
    case LCD_PAGE_FIRST:
      m_byPage = 0;
      mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      break;
    case LCD_PAGE_LAST:
      if (visible) {
        m_byPage = static_cast<uint8_t>(last);
        mgr->RequestRedraw(LCD_DRAW_PARTIAL);
      }
      break;
    default:
      break;
  }
  return true;
}

void CLCD_MenuItemEx::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  if (mode != LCD_DRAW_PARTIAL && IsRunning(mgr))
    DrawRunning(mgr, lcd, 2, 1);
  else
    DrawSubMenus(mgr, lcd, 2, 1);
}

void CLCD_MenuItemEx::DrawSubMenus(CLCD_Manager* mgr, CLCD* lcd, uint32_t first_line, uint32_t column) {
  if (m_dwSubMenuCount == 0) return;
  const uint32_t per_page = m_dwPerPage ? m_dwPerPage : 1;
  const uint32_t visible = CountVisible(mgr);
  uint32_t v = 0;
  uint32_t drawn = 0;
  bool walked_to_end = true;
  for (CMenuItem* sub : m_apSubMenus) {
    if (!sub || !sub->HasRights(mgr)) continue;
    const uint32_t page = v / per_page;
    if (page > m_byPage) {
      walked_to_end = false;
      break;
    }
    if (page == m_byPage) {
      const uint32_t line = first_line + v % per_page;
      lcd->PrintfField(line, column, LCD_ALIGN_LEFT, "%d) %s", static_cast<int>(v % per_page + 1), sub->Title(mgr));
      sub->DrawValue(mgr, lcd, line, LCD_ALIGN_RIGHT);
      ++drawn;
    }
    ++v;
  }
  m_byDrawnCount = static_cast<uint8_t>(drawn);
  uint32_t next_line = first_line + drawn;
  if (drawn == 0) {
    lcd->PrintfField(first_line, column, LCD_ALIGN_LEFT, "1) NO MENUS AVAILABLE");
    next_line = first_line + 1;
  }
  const char* footer = lcd_text(mgr, m_pszFooter, m_pszFooterFr);
  if (m_pszFooter && *footer) lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", footer);
  if (walked_to_end)
    for (uint32_t line = next_line; line < first_line + per_page; ++line) lcd->ClearLineFrom(line, column);
  if (visible == 0)
    lcd_draw_up_arrow_area(lcd, m_byPage);
  else
    lcd_draw_page_arrows(lcd, m_byPage, (visible - 1) / per_page);
}

// ---------------------------------------------------------------- the concrete list page

namespace {
CMenuItem* create_menu_item_ex(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MenuItemEx(id); }
}  // namespace

const class_descriptor g_menu_item_ex_class = {LCD_CLASS_MENU_ITEM_EX, create_menu_item_ex};
