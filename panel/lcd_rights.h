// Login levels and the rights they give. A page opens when it needs no
// right or the user holds every bit it needs.
#pragma once

#include <cstdint>

typedef uint32_t LCDRightsMask;

enum : int32_t {
  LCD_LEVEL_LOGGED_OUT = -1,
  LCD_LEVEL_ADMIN_PIN = 1,   // the first panel PIN
  LCD_LEVEL_USER_PIN = 2,    // the second panel PIN
  LCD_LEVEL_ADMIN = 3,       // the admin community name
  LCD_LEVEL_COMMUNITY = 4,   // + i: user community name i
  LCD_COMMUNITIES = 100,
};

enum : LCDRightsMask {
  LCD_RIGHT_DATAKEY = 0x100,
  LCD_RIGHT_PERIPHERALS = 0x200,
  LCD_RIGHT_PASSWORD = 0x800,
  LCD_RIGHT_CONFIGURATION = 0x1000,
  LCD_RIGHT_DATE_TIME = 0x10000,
  LCD_RIGHT_RESET = 0x20000,
  LCD_RIGHT_SCHEDULE = 0x80000,
  LCD_RIGHT_DIAGNOSTICS = 0x100000,
  LCD_RIGHT_BRIGHTNESS = 0x200000,
  LCD_RIGHT_EDIT_MESSAGES = 0x400000,
  LCD_RIGHT_RUN_MESSAGES = 0x800000,
  LCD_RIGHT_COMMUNICATION = 0x2000000,
  LCD_RIGHT_DEFAULT_FONT = 0x40000000,
  LCD_RIGHTS_ALL = 0xFFFFFFFF,
  // What the second panel PIN gives: bits 19..23.
  LCD_RIGHTS_USER_PIN = 0x00F80000,
};

// The rights of a login level; the user community levels read
// mib_nv.communityNameAccessMask. 0 for a level without rights.
LCDRightsMask lcd_rights_of_level(int32_t level);
