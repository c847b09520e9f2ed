// Text layout: measuring and drawing runs of characters with spacing,
// clipping and flashing, the routines the renderer calls for every run.
#pragma once

#include <cstdint>

#include "display/font/font_base.h"

class CSurface;

// A text rectangle or clip, in pixels; right and bottom exclusive.
struct text_rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// A fully justified line: where each glyph goes (the line's glyph x list)
// and the counter of the next glyph, which DrawText advances. The renderer
// passes one when the rectangle's line justification is full.
struct text_glyph_xs {
  const int32_t* x;
  uint32_t count;
  int16_t* counter;
};

// Spacing argument that asks for the average of this run's and the last
// run's spacing before the run's first character.
constexpr int32_t TEXT_SPACING_AVERAGE = -1;

// Adds the width of a run to *x without drawing. *spacing: the spacing to
// use (a negative value: the font's own; -1: averaged with the last run's
// before the first character); on return the spacing used before the first
// character (0 when first on the line). *line_spacing: the largest line
// spacing of the line's fonts (reset when first on the line). Unless
// no_clip, the run stops at the first character that takes *x beyond the
// rectangle's width and *overflow grows by that character's index; when
// the run fits, *overflow becomes 0. Returns the font's height.
uint32_t MeasureText(const CFontBase& font, const uint8_t* text, uint32_t count, int32_t* x, const text_rect& rect,
                     int32_t* spacing, uint32_t* line_spacing, uint32_t* overflow, bool no_clip, bool first_on_line);

// Draws a run at (*x, *y) in the surface's text colours, clipped to `clip`
// (left, right and bottom), lit pixels left blank while flash_off. `full`
// (null unless fully justified) places every glyph at its listed x. *x is
// advanced past the run.
void DrawText(CSurface& surface, const CFontBase& font, const uint8_t* text, uint32_t count, int32_t* x, int32_t* y,
              const text_rect& clip, bool flash_off, int32_t spacing, bool first_on_line, bool moving,
              text_glyph_xs* full);

// Draws a Windows bitmap file (8 or 24 bits per pixel, bottom-up rows) with
// its lower left corner at (x, y + height - 1). False, with nothing drawn,
// for other depths and for a file that does not hold what its header says.
bool DrawBitmapFile(CSurface& surface, const uint8_t* file, uint32_t size, int32_t x, int32_t y);
