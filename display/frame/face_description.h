// What the display task knows of one face of the sign (the "primary" face
// and a possible second one): its size, its modules and the bus that
// serves it, and the frame engine and diagnostics that work on it. Filled
// by the display task before it opens the face.
#pragma once

#include <cstdint>
#include <cstring>

namespace disp {

class diagnostics;
class frame_engine;

struct face_description {
  face_description() {
    std::memcpy(face_name, "null", 5);
    std::memcpy(bus_name, "null", 5);
  }

  uint8_t face_number = 0;     // 0-based
  char face_name[12] = {};     // NUL-terminated
  char bus_name[13] = {};      // NUL-terminated
  uint16_t height = 0;         // pixel rows, whole modules
  uint16_t width = 0;          // pixel columns, whole modules
  uint16_t origin_x = 0;       // position of the face on the sign
  uint16_t origin_y = 0;
  uint8_t rate = 0;            // frames per second
  uint8_t colour_code = 0;
  uint8_t depth = 0;           // frame depth: 1, 2, 3, 15 or 24
  uint8_t modules_per_row[9] = {};  // top module row first
  uint8_t module_rows = 0;
  uint8_t modules_per_line = 0;     // most modules one CAN line serves
  uint16_t total_modules = 0;
  uint16_t module_type = 0;
  uint8_t module_class = 0;
  uint8_t module_height = 0;
  uint8_t module_width = 0;
  uint8_t module_type_flag = 0;
  uint8_t reserved = 0;
  uint8_t two_response_words = 0;
  uint8_t horizontal_pitch = 0;
  uint8_t vertical_pitch = 0;
  diagnostics* diag = nullptr;
  frame_engine* engine = nullptr;
};

}  // namespace disp
