// The peripheral record that the peripheral list hands to every creator. The
// peripheral task's list and factory own it; the built-in file peripherals
// take it already.
#pragma once

#include <cstdint>

class CPeripheral;

struct pl_record {
  uint16_t slot = 65535;  // configuration slot 0..254; 65535 for a built-in
  uint16_t type_id = 0;
  uint8_t class_code = 0;
  const char* parameters = nullptr;  // null when there is none
};

// A creator of the peripheral factory: the new peripheral, or null when the
// record is not of its type or the object cannot be made.
typedef CPeripheral* (*pl_create_function)(const pl_record& record);
