#include "panel/pages/page_classes.h"
#include "panel/pages/main_menu.h"

#include <new>

#include "panel/lcd.h"
#include "panel/lcd_manager.h"

CLCD_MainMenu::CLCD_MainMenu()
    : CLCD_MenuItemEx(LCD_MENU_MAIN, "** WELCOME TO THE MAIN MENU **", "** BIENVENUE AU MENU PRINCIPAL **", 1) {}

bool CLCD_MainMenu::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (key && lcd_key_code(*key) == LCD_KEY_ESC) {
    mgr->Logout();
    return true;
  }
  return CLCD_MenuItemEx::HandleKey(mgr, key);
}

void CLCD_MainMenu::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_FULL) {
    lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
    DrawSubMenus(mgr, lcd, 2, 1);
    if (mgr->m_dwLanguage == 0)
      lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "LOCAL MODE - CANCEL TO LOGOUT");
    else if (mgr->m_dwLanguage == 1)
      lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "MODE LOCAL - ESC POUR FERMER LA SESSION");
  } else if (mode == LCD_DRAW_PARTIAL) {
    DrawSubMenus(mgr, lcd, 2, 1);
  }
}

namespace {
CMenuItem* create_main_menu(CLCD_MenuId, uint32_t) { return new (std::nothrow) CLCD_MainMenu(); }
}  // namespace

const class_descriptor g_main_menu_class = {LCD_CLASS_MAIN_MENU, create_main_menu};
