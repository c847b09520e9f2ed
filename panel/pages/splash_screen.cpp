#include "panel/pages/page_classes.h"
#include "panel/pages/splash_screen.h"

#include <new>

#include "panel/lcd.h"
#include "panel/lcd_indicators.h"
#include "panel/lcd_manager.h"
#include "panel/pages/version_text.h"

namespace {
constexpr uint32_t kBusyX = 232;
}  // namespace

CLCD_SplashScreen::CLCD_SplashScreen()
    : CMenuItem(LCD_MENU_SPLASH, "QUORVANTIS PALISADE", "QUORVANTIS PALISADE", 0, 0) {}

bool CLCD_SplashScreen::HandleKey(CLCD_Manager*, LCDKeyEvent*) { return true; }

void CLCD_SplashScreen::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  switch (m_byAnimation) {
    case 4: lcd->Bitmap(kBusyX, 0, 8, 8, g_lcd_picture_hourglass[0]); break;
    case 3: lcd->Bitmap(kBusyX, 0, 8, 8, g_lcd_picture_hourglass[1]); break;
    case 2: lcd->Bitmap(kBusyX, 0, 8, 8, g_lcd_picture_hourglass[2]); break;
    default: lcd->DrawRect(0, kBusyX, 0, kBusyX + 8, 8); break;
  }
  --m_byAnimation;
  if (mode != LCD_DRAW_FULL) return;

  lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd_draw_indicator_picture(lcd, LCD_LED_LAPTOP, 2);
  lcd_draw_indicator_picture(lcd, LCD_LED_MODEM, 3);
  lcd_draw_indicator_picture(lcd, LCD_LED_ETHERNET, 1);
  lcd->Printf(2, LCD_ALIGN_LEFT, "||                VMS                |||");
  lcd->Printf(3, LCD_ALIGN_LEFT, "||                         ETHERNET <-||");
  lcd->Printf(4, LCD_ALIGN_LEFT, "|--> MODEM                    POWER <--|");
  lcd->Printf(5, LCD_ALIGN_LEFT, "---> LAPTOP                    BUSY <---");
  lcd->ClearLine(6);
  lcd->ClearLine(7);
  char version[64];
  lcd_version_text(version, sizeof version);
  lcd->PrintfLine(8, LCD_ALIGN_CENTRE, "%s", version);
}

namespace {
CMenuItem* create_splash(CLCD_MenuId, uint32_t) { return new (std::nothrow) CLCD_SplashScreen(); }
}  // namespace

const class_descriptor g_splash_screen_class = {LCD_CLASS_SPLASH, create_splash};
