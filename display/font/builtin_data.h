// The built-in fonts compiled into the program: each a zlib stream of a
// font file (see orvel_font.h for the format). Generated data lives in
// builtin_data.cpp (tools/fontgen/fontgen.py).
#pragma once

#include <cstdint>

constexpr int BUILTIN_FONT_COUNT = 8;

struct builtin_font_image {
  const char* name;
  const uint8_t* data;  // zlib stream
  uint32_t length;      // compressed length
};

extern const builtin_font_image g_builtin_font_images[BUILTIN_FONT_COUNT];
