// The module-type table: what a module type code (mib_nv.quorModuleID)
// means — the module's size in pixels, its colours, the EPLD image that
// drives it, the command and line bit-rate codes and feature flags. The
// board selects the table at start-up; every reader looks rows up with
// find_module_type, which never fails.
#pragma once

#include <cstdint>

struct module_type_row {
  uint32_t type;              // the lookup key
  uint8_t height;             // module rows of pixels
  uint8_t width;              // module columns of pixels
  uint8_t colour_code;        // 1 monochrome, 15 colour (the face set-up's colour code)
  uint8_t colour_type;        // 1 monochrome, 2 red-green, 3 full colour (frame depth)
  const char* name;           // display name ("%s - EPLD")
  uint16_t command;           // EPLD command packet code of the module pages
  const uint8_t* image;       // EPLD configuration image (zlib stream), null: none
  const char* part_number;    // identifies the image
  uint32_t image_size;        // compressed bytes
  uint8_t fpga_control;       // high byte of the FPGA control register after programming
  uint8_t pixel_test[3];      // bytes 29..31: pixel test, layout 10, EPLD colour registers
  uint8_t line_bitrate;       // CAN bit-rate code of the display lines
  uint8_t flags;              // see MODULE_FLAG_*
};

// Bits of module_type_row::flags.
constexpr uint8_t MODULE_FLAG_CLASS2 = 0x01;        // module class 2 (else 3)
constexpr uint8_t MODULE_FLAG_PIXEL_TEST_60 = 0x02; // pixel-test data 0x60; face row flag 2
constexpr uint8_t MODULE_FLAG_LARGE_SIGN = 0x04;    // larger sign-geometry limits

// The record of every code without a row: 7 x 5 monochrome, "UNKNOWN".
extern const module_type_row g_default_module_type;
// The 13 built-in rows.
extern const module_type_row g_builtin_module_types[];
constexpr uint32_t BUILTIN_MODULE_TYPE_COUNT = 13;

// The table in use and its row count (null, 0: empty).
extern const module_type_row* g_module_type_table;
extern uint32_t g_module_type_count;

// The first row of `table` whose type is `type`; the default record when
// the table is null or has no such row. Never null.
const module_type_row* find_module_type(const module_type_row* table, uint32_t count, uint32_t type);
// The same in the table in use.
const module_type_row* find_module_type(uint32_t type);

// Start-up: the built-in rows for product boards 5, 6 and 254, an empty
// table for every other board. Also gives the MULTI tags their view of the
// table.
void select_module_type_table(uint8_t product_board_id);
