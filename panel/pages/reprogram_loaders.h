// The built-in transfer loaders (zlib streams of Intel HEX text), made by
// tools/gen_loader_images.py.
#pragma once

#include <cstdint>

extern const uint8_t g_loader_module_small[];  // module types below 90
extern const uint32_t g_loader_module_small_size;
extern const uint8_t g_loader_module_large[];
extern const uint32_t g_loader_module_large_size;
extern const uint8_t g_loader_product_board[];
extern const uint32_t g_loader_product_board_size;
extern const uint8_t g_loader_distribution_hcb[];
extern const uint32_t g_loader_distribution_hcb_size;
extern const uint8_t g_loader_distribution[];
extern const uint32_t g_loader_distribution_size;
