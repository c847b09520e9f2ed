// The enterprise-specific traps the front panel asks for, each with the
// bindings sysLocation and globalTime.
#pragma once

#include <cstdint>

enum : uint32_t {
  LCD_TRAP_LAPTOP_CONNECTED = 6,
  LCD_TRAP_LAPTOP_DISCONNECTED = 7,
  LCD_TRAP_CENTRAL_MODE = 13,
  LCD_TRAP_LOCAL_MODE = 14,
};

void lcd_send_panel_trap(uint32_t specific);
