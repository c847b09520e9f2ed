// Colour values and the NTCIP colour tables. A colour value has red in bits
// 0-4, green in 5-9 and blue in 10-14; COLOUR_NONE as a background means
// no background.
#pragma once

#include <cstdint>

constexpr uint32_t COLOUR_NONE = 0xFFFFFFFF;

// From 8-bit components, dropping their three low bits.
constexpr uint32_t rgb_colour_value(uint32_t r, uint32_t g, uint32_t b) {
  return ((r & 0xFF) >> 3) | (((g & 0xFF) >> 3) << 5) | (((b & 0xFF) >> 3) << 10);
}

// Module types whose modules show red and green only.
bool is_two_colour_module_type(uint32_t module_type);

// Colour value of an NTCIP classic colour index (0 black .. 9 amber; 10 and
// above black) for the configured module type.
uint32_t colour_value(uint32_t index);
// The same colours as 24-bit values, red in the low byte, blue in the high.
uint32_t colour_value_for_module_type(uint32_t index);
// The same for a given module type code (the factory defaults need the
// colours of the module type they are about to store).
uint32_t colour_value_for_module_type(uint32_t index, uint32_t module_type);
// An RGB triple on the configured module type as the colour rectangle tag
// draws it: on two-colour modules red and green give green, red alone red,
// anything else black.
uint32_t colour_rect_rgb_value(uint32_t r, uint32_t g, uint32_t b);

// The default colours straight from the database: the RGB bytes under the
// 24-bit colour scheme, otherwise the classic colour in their first byte.
uint32_t default_background_colour_value();
uint32_t default_foreground_colour_value();

// Colour type of the configured module type (1 monochrome, 2 red-green,
// 3 full colour).
uint8_t module_colour_code();
