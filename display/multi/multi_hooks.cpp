#include "display/multi/multi_hooks.h"

multi_hooks_s g_multi_hooks = {};

uint8_t multi_frame_rate() { return g_multi_hooks.frame_rate ? g_multi_hooks.frame_rate() : 2; }

multi_module_info multi_module(uint32_t module_type) {
  multi_module_info info{5, 1};
  if (g_multi_hooks.module_info) g_multi_hooks.module_info(module_type, &info);
  return info;
}
bool multi_field_device(uint32_t field) { return !g_multi_hooks.field_device || g_multi_hooks.field_device(field); }
