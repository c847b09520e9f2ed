// What the MULTI tags need of other parts of the controller, reached through
// hooks so that the parser stands alone: the renderer's frame rate, the
// module-type table, the peripheral task's general-purpose outputs and the
// file system. The owners install their functions at start-up; a hook left
// null behaves as described beside it.
#pragma once

#include <cstdint>

struct multi_module_info {
  uint8_t width;        // module width in pixels (byte 5 of the module-type row)
  uint8_t colour_type;  // 1 monochrome, 2 red-green, 3 full colour (byte 7)
};

struct multi_hooks_s {
  // Display frames per second (the renderer's frame-rate byte). Null: 2.
  uint8_t (*frame_rate)();
  // The module-type row of a module type code. Null: the table's default
  // record (5 pixels wide, monochrome).
  void (*module_info)(uint32_t module_type, multi_module_info* out);
  // [ms11,gpo,N,V]: the peripheral task's SetGPOutputRequest (on) and
  // ClearGPOutputRequest (off) for output N. Null: nothing.
  void (*gp_output_request)(uint32_t output, bool on);
  // Whether a file of that name exists. Null: no file exists.
  bool (*file_exists)(const char* name);
  // Whether the device a field tag reads (a sensor, a radar) is present.
  // Null: every field's device is.
  bool (*field_device)(uint32_t field);
};

extern multi_hooks_s g_multi_hooks;

// The hooks with their null behaviour applied.
uint8_t multi_frame_rate();
multi_module_info multi_module(uint32_t module_type);
bool multi_field_device(uint32_t field);
