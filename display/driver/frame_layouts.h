// The byte orders in which the display FPGA takes a frame: the rendered
// surface rewritten, from the start of the frame buffer, into the order of
// the layout code the FPGA reports. Bytes a layout skips keep what the
// buffer held before.
#pragma once

#include <cstdint>

#include "display/driver/module_type.h"

class CSurface;

// The layout code of the plain copy (also what codes 0 and 13-255 do).
constexpr uint8_t LAYOUT_PLAIN = 0;
// The module-record layout (code 10) takes its chains from the module row.
constexpr uint8_t LAYOUT_MODULE_RECORDS = 10;

struct frame_layout_s {
  uint8_t code;               // the FPGA's layout code
  uint32_t module_type;       // the driver's module type (variants of 6, 8, 9)
  uint8_t gamma_select;       // colour correction of 15-bit frames (layout 9)
  const module_type_row* row; // the row of mib_nv.quorModuleID (layout 10)
};

enum frame_layout_result : uint8_t {
  FRAME_LAYOUT_OK = 0,
  FRAME_LAYOUT_TOO_LARGE,  // more bytes than the buffer holds: nothing written
  FRAME_LAYOUT_BAD_DEPTH,  // layout 9 with a colour depth it cannot send
  FRAME_LAYOUT_BAD_RECORD, // layout 10 with a module size that fits no record
  FRAME_LAYOUT_NO_SURFACE, // no pixels to read
};

// The bytes `layout` makes of a surface of this size: the transfer length.
// *height is the frame height the layout works with (codes 3, 4 and 5 pad to
// an even number of bands and raise it); nothing else is changed. 0 for a
// layout that sends nothing (the result says why).
uint64_t frame_layout_size(const frame_layout_s& layout, uint8_t depth, uint32_t width, uint32_t height,
                           uint32_t* raised_height, frame_layout_result* result);

// Converts the surface into buf (capacity bytes). On success *count is the
// output counter (bytes written or skipped) and *raised_height as above. A
// frame that would not fit is refused before a byte is written.
frame_layout_result frame_layout_write(const frame_layout_s& layout, const CSurface& surface, uint8_t* buf,
                                       uint32_t capacity, uint32_t* count, uint32_t* raised_height);

// The colour-correction table of a selector (null: the identity).
const uint8_t* frame_gamma_table(uint8_t gamma_select);
