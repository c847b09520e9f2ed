// Boot-monitor services that the application calls by number, beside the
// named calls of the monitor's table (mon_api.h).
#pragma once

#include <cstdint>

// Service 31: called by the display driver after it starts a frame transfer.
// Nothing to do on this board; 0.
int mon_service31(uint32_t a, uint32_t b);

// Service 53: configures processor UART `port` (0 or 1): divisor for `baud`
// from the UART clock, word length from `data_bits`, FIFOs on, received-data
// interrupt enabled. The frame-format bits of `options` are left to the
// driver. Returns 0, or -1 for another port or a baud rate of 0.
int mon_service53(uint32_t port, uint32_t baud, uint32_t data_bits, uint32_t options);

// Service 57: the controller board's temperature in degrees Celsius.
int8_t mon_service57();

// Service 300: installs the monitor's output hook; every character the
// monitor prints goes to it (null: back to the console). 0.
typedef int (*mon_putc_hook)(int c);
int mon_service300(mon_putc_hook hook);
