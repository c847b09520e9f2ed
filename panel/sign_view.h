// The panel's picture of the sign: a 1-bit bitmap laid out on the 240 x 64
// panel, centred and framed, or for a sign wider than the panel its left
// part or its right end. The live view (the display task's frames while
// "CURRENT DISPLAY" is shown), the message preview and the pixel-test
// results all draw through it.
#pragma once

#include <cstdint>

class CLCD;
class CLCD_Manager;

struct sign_picture {
  const uint8_t* bits;  // rows of `stride` bytes, most significant bit leftmost
  uint32_t stride;
  uint32_t height;  // of the picture
  uint32_t width;
  uint32_t sign_height;  // of the sign, for the frame lines
  uint32_t sign_width;
};

enum : uint8_t { SIGN_VIEW_LEFT = 1, SIGN_VIEW_RIGHT = 2 };

// Where the picture's first column and row go on the panel.
void lcd_sign_picture_origin(uint32_t height, uint32_t width, uint32_t* left, uint32_t* top);
// 0, or the bitmap command's error when a picture no wider than the panel
// could not be sent.
uint32_t lcd_draw_sign_picture(CLCD* lcd, const sign_picture& picture, uint8_t view);
// Signs taller than the panel are not drawn: the panel says so.
bool lcd_sign_too_tall();
void lcd_draw_too_tall(CLCD_Manager* mgr, CLCD* lcd);

// Installs the live view into the display task's panel driver.
void lcd_install_sign_view();
