#include "display/surface/text.h"

#include "display/surface/surface.h"
#include "frame/trace/trace.h"

namespace {

// The spacing each routine used for its last run, for averaged spacing
// between runs in different fonts.
uint8_t g_byMeasureLastSpacing = 0;
uint8_t g_byDrawLastSpacing = 0;

struct run_spacing {
  int32_t each;   // between characters
  int32_t first;  // before the first character
};

run_spacing spacing_for(const CFontBase& font, int32_t spacing, uint8_t* last) {
  run_spacing s;
  s.each = spacing >= 0 ? spacing : static_cast<int32_t>(font.GetCharSpacing());
  s.first = spacing == TEXT_SPACING_AVERAGE ? (*last + s.each + 1) / 2 : s.each;
  *last = static_cast<uint8_t>(s.each);
  return s;
}

}  // namespace

uint32_t MeasureText(const CFontBase& font, const uint8_t* text, uint32_t count, int32_t* x, const text_rect& rect,
                     int32_t* spacing, uint32_t* line_spacing, uint32_t* overflow, bool no_clip, bool first_on_line) {
  const run_spacing s = spacing_for(font, *spacing, &g_byMeasureLastSpacing);
  const bool abut = surface_character_matrix_sign();
  if (first_on_line) *line_spacing = 0;
  if (font.GetLineSpacing() > *line_spacing) *line_spacing = font.GetLineSpacing();
  *spacing = first_on_line || abut ? 0 : s.first;

  const int64_t room = static_cast<int64_t>(rect.right) - rect.left;
  int64_t pos = *x;
  for (uint32_t i = 0; i < count && text; ++i) {
    int32_t gap = i == 0 ? (first_on_line ? 0 : s.first) : s.each;
    pos += font.GetCharWidth(text[i]) + (abut ? 0 : gap);
    if (!no_clip && pos > room) {
      *overflow += i;
      break;
    }
  }
  *x = static_cast<int32_t>(pos);
  if (pos <= room) *overflow = 0;
  return font.GetHeight();
}

void DrawText(CSurface& surface, const CFontBase& font, const uint8_t* text, uint32_t count, int32_t* x, int32_t* y,
              const text_rect& clip, bool flash_off, int32_t spacing, bool first_on_line, bool moving,
              text_glyph_xs* full) {
  run_spacing s = spacing_for(font, spacing, &g_byDrawLastSpacing);
  const bool draw = !surface_simulation_mode();
  const bool abut = surface_character_matrix_sign();
  const bool justified = !moving && full;
  if (justified) s.each = s.first = 0;
  const uint32_t height = font.GetHeight();
  const uint32_t fg = surface.m_dwTextForeground;
  const uint32_t bg = surface.m_dwTextBackground;
  const bool has_bg = bg != SURFACE_NO_BACKGROUND;
  bool clipped_left = false;

  int64_t pos = *x;
  for (uint32_t i = 0; i < count && text; ++i) {
    const uint8_t c = text[i];
    const uint32_t w = font.GetCharWidth(c);
    if (justified && full->counter && *full->counter >= 0 && static_cast<uint32_t>(*full->counter) < full->count) {
      pos = full->x[*full->counter];
      ++*full->counter;
    }
    const bool first = first_on_line && i == 0 && !moving;
    int32_t gap = i == 0 ? s.first : s.each;
    if (abut || first) gap = 0;
    if (draw) {
      if (has_bg && gap > 0) {
        for (int64_t gx = pos; gx < pos + gap; ++gx) {
          if (gx < clip.left || gx >= clip.right) continue;
          for (uint32_t row = 0; row < height; ++row) {
            int64_t sy = static_cast<int64_t>(*y) + row;
            if (sy >= clip.bottom) break;
            surface.SetPixel(static_cast<int32_t>(gx), static_cast<int32_t>(sy), bg);
          }
        }
      }
      for (uint32_t col = 0; col < w; ++col) {
        const int64_t sx = pos + gap + col;
        if (sx >= clip.right) break;
        for (uint32_t row = 0; row < height; ++row) {
          const int64_t sy = static_cast<int64_t>(*y) + row;
          if (sy >= clip.bottom) break;
          if (font.IsPixelSet(c, col, row) && !flash_off) {
            if (sx < clip.left) {
              clipped_left = true;
              continue;
            }
            surface.SetPixel(static_cast<int32_t>(sx), static_cast<int32_t>(sy), fg);
          } else if (has_bg && sx >= clip.left) {
            surface.SetPixel(static_cast<int32_t>(sx), static_cast<int32_t>(sy), bg);
          }
        }
      }
    }
    pos += w + gap;
  }
  // Once per run rather than per pixel: moving text passes the left edge
  // on every frame.
  if (clipped_left) monitor_printf_debug("error1\r");
  *x = static_cast<int32_t>(pos);
}
