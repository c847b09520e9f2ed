// Boot-monitor services that the drivers call by number, beside the named
// calls of the monitor's table. The board layer provides them until the boot
// monitor's stand-in takes them over (same signatures).
#pragma once

#include <cstdint>

// Service 53: configures processor UART `port` (0 or 1): divisor for `baud`
// from the UART clock, word length from `data_bits`, FIFOs on, received-data
// interrupt enabled. The frame-format bits of `options` are left to the
// driver. Returns 0, or -1 for another port or a baud rate of 0.
int mon_service53(uint32_t port, uint32_t baud, uint32_t data_bits, uint32_t options);
