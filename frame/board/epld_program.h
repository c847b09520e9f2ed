// Loading a configuration image into the EPLD through its passive-serial
// port (GPIO pins nCONFIG, DATA0, DCLK out; nSTATUS, CONF_DONE in).
#pragma once

#include <cstdint>

// Shifts an inflated image into the EPLD. 1 when the EPLD reports
// CONF_DONE afterwards, 0 otherwise (error indicator set, reason printed).
uint32_t ProgramEPLD(const uint8_t* image, uint32_t length);
// 0x80 while the EPLD reports a finished configuration (CONF_DONE), else 0.
uint32_t epld_status_bit();
// 0x20 while nSTATUS is high, else 0.
uint32_t epld_nstatus_bit();
