#include "display/driver/module_type.h"

#include "display/driver/epld_images.h"
#include "display/multi/multi_hooks.h"

const module_type_row g_default_module_type = {
    0, 7, 5, 1, 1, "UNKNOWN", 0, nullptr, "UNKNOWN", 0, 0, {0, 0, 0}, 0, 0};

#define MONO_GEN4(type, h, w, name, command, part, fpga, rate, flags) \
  {type, h, w, 1, 1, name, command, g_epld_image_##part, #part, sizeof g_epld_image_##part, \
   fpga, {0x00, 0x00, 0x81}, rate, flags}

const module_type_row g_builtin_module_types[BUILTIN_MODULE_TYPE_COUNT] = {
    MONO_GEN4(22, 9, 5, "9x5 MONO GEN4", 50, PX2214087, 0, 1, 2),
    MONO_GEN4(21, 7, 5, "7x5 MONO GEN4", 51, PX2214087, 1, 1, 2),
    MONO_GEN4(22, 9, 5, "9x5 MONO GEN4", 52, PX2214087, 0, 1, 2),
    MONO_GEN4(21, 7, 5, "7x5 MONO GEN4", 53, PX2214087, 1, 1, 2),
    MONO_GEN4(23, 8, 8, "8x8 MONO GEN4", 54, PX2214087, 2, 1, 2),
    MONO_GEN4(24, 16, 16, "16x16 MONO GEN4", 55, PX5581320, 0, 4, 0),
    MONO_GEN4(23, 8, 8, "8x8 MONO GEN4", 56, PX2214087, 2, 1, 2),
    MONO_GEN4(118, 9, 15, "9x15 MONO GEN4", 57, PX2214087, 0, 1, 4),
    MONO_GEN4(154, 7, 15, "7x15 MONO GEN4", 121, PX2214087, 1, 1, 6),
    {102, 7, 5, 15, 2, "7x5 RED-GREEN GEN4", 66, g_epld_image_PX6642915, "PX6642915", 38533, 1, {0x81, 0x00, 0xC1}, 1, 4},
    {102, 7, 5, 15, 2, "7x5 RED-GREEN GEN4", 68, g_epld_image_PX6642915, "PX6642915", 38533, 1, {0x81, 0x00, 0xC1}, 1, 4},
    {169, 7, 15, 15, 2, "7x15 RED-GREEN GEN4", 122, g_epld_image_PX6642915, "PX6642915", 38533, 1, {0x81, 0x00, 0xC1}, 1, 4},
    {97, 16, 16, 15, 3, "16x16 FULL COLOR GEN4", 80, g_epld_image_PX7730468, "PX7730468", 38185, 0, {0x81, 0x00, 0xE5}, 4, 0},
};

#undef MONO_GEN4

const module_type_row* g_module_type_table = nullptr;
uint32_t g_module_type_count = 0;

const module_type_row* find_module_type(const module_type_row* table, uint32_t count, uint32_t type) {
  if (table)
    for (uint32_t i = 0; i < count; ++i)
      if (table[i].type == type) return &table[i];
  return &g_default_module_type;
}

const module_type_row* find_module_type(uint32_t type) {
  return find_module_type(g_module_type_table, g_module_type_count, type);
}

namespace {

void module_info(uint32_t module_type, multi_module_info* out) {
  const module_type_row* row = find_module_type(module_type);
  out->width = row->width;
  out->colour_type = row->colour_type;
}

}  // namespace

void select_module_type_table(uint8_t product_board_id) {
  if (product_board_id == 5 || product_board_id == 6 || product_board_id == 254) {
    g_module_type_table = g_builtin_module_types;
    g_module_type_count = BUILTIN_MODULE_TYPE_COUNT;
  } else {
    g_module_type_table = nullptr;
    g_module_type_count = 0;
  }
  g_multi_hooks.module_info = module_info;
}
