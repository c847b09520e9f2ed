// The board control register at 0xF0200000 is write-only: every change goes
// through a shadow copy (0x0086 at power-up). Bit 0 is the EPLD configuration
// error indicator.
#pragma once

#include <cstdint>

constexpr uint16_t BOARD_CONTROL_EPLD_ERROR = 0x0001;

uint16_t board_control_shadow();
void board_control_set(uint16_t bits);
void board_control_clear(uint16_t bits);
// Shadow back to the power-up value (board reset; tests).
void board_control_power_on();
