// The six indicators of line 1: one shared table of states that any task
// sets, drawn by the manager's tick only where a state changed, with the
// short animations of the busy and comm indicators.
#include "panel/lcd_indicators.h"

#include "panel/lcd_manager.h"
#include "peripherals/peripheral_task.h"

const uint8_t g_lcd_picture_modem[8] = {0x7E, 0xC3, 0xC3, 0x3C, 0x7E, 0x66, 0x7E, 0x00};
const uint8_t g_lcd_picture_ring[8] = {0x00, 0x78, 0x44, 0x78, 0x48, 0x44, 0x44, 0x00};
const uint8_t g_lcd_picture_laptop[8] = {0x00, 0x40, 0x4E, 0x44, 0x44, 0x74, 0x04, 0x00};
const uint8_t g_lcd_picture_comm[8] = {0x00, 0x04, 0x22, 0x4F, 0xF2, 0x44, 0x20, 0x00};
const uint8_t g_lcd_picture_hourglass[3][8] = {{0x7E, 0x7E, 0x3C, 0x18, 0x24, 0x42, 0x7E, 0x00},
                                               {0x7E, 0x42, 0x3C, 0x18, 0x24, 0x7E, 0x7E, 0x00},
                                               {0x7E, 0x42, 0x24, 0x18, 0x3C, 0x7E, 0x7E, 0x00}};
const uint8_t g_lcd_picture_plug[8] = {0x0C, 0x1F, 0x3C, 0x5F, 0x8C, 0x80, 0x80, 0x00};
const uint8_t g_lcd_picture_battery[8] = {0x00, 0x18, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x00};
const uint8_t g_lcd_picture_ethernet[8] = {0x04, 0x4E, 0x55, 0x44, 0x44, 0x40, 0x78, 0x00};

namespace {

// The table in its shared order: indicators 2, 1, 3, 4, 5, 6.
constexpr uint8_t kSlotOf[LCD_LEDS + 1] = {0, 1, 0, 2, 3, 4, 5};
constexpr uint8_t kPowerUp[LCD_LEDS] = {1, 1, 5, 7, 2, 5};
volatile uint8_t g_indicators[LCD_LEDS] = {1, 1, 5, 7, 2, 5};

CLCD_Manager* s_comm_manager = nullptr;

constexpr uint8_t kIdle = 5;

}  // namespace

void lcd_set_led(uint32_t indicator, uint8_t state) {
  if (indicator < 1 || indicator > LCD_LEDS) return;
  volatile uint8_t& slot = g_indicators[kSlotOf[indicator]];
  // A ring during a connection keeps the connected picture.
  if (indicator == LCD_LED_MODEM && slot == 3 && state != 1) return;
  slot = state;
}

uint8_t lcd_get_led(uint32_t indicator) {
  if (indicator < 1 || indicator > LCD_LEDS) return 0;
  return g_indicators[kSlotOf[indicator]];
}

void lcd_indicators_reset() {
  for (uint32_t i = 0; i < LCD_LEDS; ++i) g_indicators[i] = kPowerUp[i];
}

void lcd_comm_activity() {
  if (!s_comm_manager && g_pPeripheralTask) {
    CPeripheral* p = g_pPeripheralTask->GetPeripheral(CLCD_Manager::TYPE_LCD01);
    if (p && p->m_byClass == CLCD_Manager::CLASS_CODE) s_comm_manager = static_cast<CLCD_Manager*>(p);
  }
  if (s_comm_manager) s_comm_manager->m_byCommActivity = 1;
}

void lcd_forget_manager(CLCD_Manager* manager) {
  if (s_comm_manager == manager) s_comm_manager = nullptr;
}

void lcd_draw_indicator_picture(CLCD* lcd, uint32_t indicator, uint8_t state) {
  const uint8_t* picture = nullptr;
  uint32_t x = 0;
  switch (indicator) {
    case LCD_LED_MODEM:
      x = 8;
      picture = state == 3 ? g_lcd_picture_modem : state == 4 ? g_lcd_picture_ring : nullptr;
      break;
    case LCD_LED_LAPTOP:
      x = 0;
      picture = state == 2 ? g_lcd_picture_laptop : nullptr;
      break;
    case LCD_LED_BUSY:
      x = 232;
      picture = state >= 1 && state <= 3 ? g_lcd_picture_hourglass[state - 1] : nullptr;
      break;
    case LCD_LED_POWER:
      x = 224;
      picture = state == 1 ? g_lcd_picture_plug : state == 2 ? g_lcd_picture_battery : nullptr;
      break;
    case LCD_LED_ETHERNET:
      x = 216;
      picture = state == 1 ? g_lcd_picture_ethernet : nullptr;
      break;
    case LCD_LED_COMM:
      x = 16;
      picture = state >= 1 && state <= 3 ? g_lcd_picture_comm : nullptr;
      break;
    default:
      return;
  }
  if (picture)
    lcd->Bitmap(x, 0, 8, 8, picture);
  else
    lcd->DrawRect(0, x, 0, x + 8, 8);
}

void CLCD_Manager::DrawIndicators(uint8_t cleared) {
  if (cleared == 1)
    for (uint8_t& s : m_abyShadow) s = 0;
  static const uint8_t kAll[] = {1, 2, 3, 4, 5, 6};
  static const uint8_t kTop[] = {1, 2, 3, 4};
  static const uint8_t kPair[] = {2, 3};
  const uint8_t* list = kAll;
  uint32_t count = 6;
  switch (m_byScreenLayout) {
    case 1: list = kTop; count = 4; break;
    case 2: list = kPair; count = 2; break;
    case 3: count = 0; break;
    default: break;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t led = list[i];
    const uint8_t state = lcd_get_led(led);
    uint8_t& shadow = m_abyShadow[led - 1];
    if (led == LCD_LED_BUSY || led == LCD_LED_COMM) {
      if (state != shadow) shadow = state;
      if (shadow == kIdle) continue;
      // One step of the animation per tick.
      switch (state) {
        case 1:
          lcd_draw_indicator_picture(&m_Lcd, led, 1);
          lcd_set_led(led, 2);
          break;
        case 2:
          if (led == LCD_LED_BUSY) lcd_draw_indicator_picture(&m_Lcd, led, 2);
          lcd_set_led(led, 3);
          break;
        case 3:
          if (led == LCD_LED_BUSY) lcd_draw_indicator_picture(&m_Lcd, led, 3);
          lcd_set_led(led, 4);
          break;
        case 4:
          lcd_draw_indicator_picture(&m_Lcd, led, 0);
          lcd_set_led(led, kIdle);
          break;
        default:
          break;
      }
      continue;
    }
    if (state == shadow) continue;
    shadow = state;
    lcd_draw_indicator_picture(&m_Lcd, led, state);
    if (led == LCD_LED_MODEM && state == 4) lcd_set_led(LCD_LED_MODEM, 1);
  }
}
