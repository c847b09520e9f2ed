// The indicator pictures of line 1 (8 x 8, one byte per row, most
// significant bit leftmost) and the drawing of one indicator's picture.
#pragma once

#include <cstdint>

class CLCD;

extern const uint8_t g_lcd_picture_modem[8];
extern const uint8_t g_lcd_picture_ring[8];
extern const uint8_t g_lcd_picture_laptop[8];
extern const uint8_t g_lcd_picture_comm[8];
extern const uint8_t g_lcd_picture_hourglass[3][8];
extern const uint8_t g_lcd_picture_plug[8];
extern const uint8_t g_lcd_picture_battery[8];
extern const uint8_t g_lcd_picture_ethernet[8];

// The picture of the indicator in that state at its place on line 1, or
// its blank box.
void lcd_draw_indicator_picture(CLCD* lcd, uint32_t indicator, uint8_t state);
