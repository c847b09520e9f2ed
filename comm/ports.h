// The communication ports' serial drivers, lent out by id.
#pragma once

#include <cstdint>

class CSerialDriver;

enum : uint32_t { COMM_DRIVER_CONSOLE = 1 };

// The driver of a port, or null when the id is 12 or above or the driver
// is already lent out.
CSerialDriver* AttainDriver(uint32_t id);
// 1 after giving the driver back; 0 for an id of 16 or above.
uint32_t ReleaseDriver(uint32_t id);

// Opens the serial ports with the current settings and, on the first call
// with a memory cursor, creates the NTCIP endpoints.
void InitializeNTCIPObjects(uint8_t** cursor);
