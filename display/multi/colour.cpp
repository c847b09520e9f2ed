#include "display/multi/colour.h"

#include "display/message/db_read.h"
#include "display/multi/multi_hooks.h"

namespace {

constexpr uint32_t kColours = 10;

const uint16_t kFullColour[kColours] = {0, 0x001F, 0x031F, 0x03E0, 0x6300, 0x7C00, 0x6018, 0x7FFF, 0x019F, 0x02DF};
const uint16_t kTwoColour[kColours] = {0, 0x001F, 0, 0, 0, 0, 0, 0, 0x03FF, 0x03E0};
const uint32_t kFullColour24[kColours] = {0x000000, 0x0000F8, 0x00C0F8, 0x00F800, 0xC0C000,
                                          0xF80000, 0xC000C0, 0xFFFFFF, 0x0060F8, 0x00B4FF};
const uint32_t kTwoColour24[kColours] = {0, 0x0000F8, 0, 0, 0, 0, 0, 0, 0x00FFFF, 0x00FF00};

uint32_t module_type() { return nv_value(nv::quorModuleID); }

uint32_t default_colour(const db_object& rgb_object) {
  uint32_t length = 0;
  const uint8_t* rgb = nv_bytes(rgb_object, &length);
  uint8_t c[3] = {0, 0, 0};
  for (uint32_t i = 0; i < 3 && i < length; ++i) c[i] = rgb[i];
  if (nv_value(nv::dmsColorScheme) == 4) return rgb_colour_value(c[0], c[1], c[2]);
  return colour_value(c[0]);
}

}  // namespace

bool is_two_colour_module_type(uint32_t type) { return type == 11 || type == 12 || (type >= 98 && type <= 101); }

uint32_t colour_value(uint32_t index) {
  if (index >= kColours) return 0;
  return is_two_colour_module_type(module_type()) ? kTwoColour[index] : kFullColour[index];
}

uint32_t colour_value_for_module_type(uint32_t index) { return colour_value_for_module_type(index, module_type()); }

uint32_t colour_value_for_module_type(uint32_t index, uint32_t type) {
  if (index >= kColours) return 0;
  return is_two_colour_module_type(type) ? kTwoColour24[index] : kFullColour24[index];
}

uint32_t colour_rect_rgb_value(uint32_t r, uint32_t g, uint32_t b) {
  if (!is_two_colour_module_type(module_type())) return rgb_colour_value(r, g, b);
  if (r && g) return 0x03E0;
  if (r) return 0x001F;
  return 0;
}

uint32_t default_background_colour_value() { return default_colour(nv::defaultBackgroundRGB); }
uint32_t default_foreground_colour_value() { return default_colour(nv::defaultForegroundRGB); }

uint8_t module_colour_code() { return multi_module(module_type()).colour_type; }
