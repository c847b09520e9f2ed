// The one interface through which text layout and drawing see a font: the
// built-in bitmap fonts (COrvelFont) and the fonts of the NTCIP font table
// (CNTCIPFont) both implement it.
#pragma once

#include <cstdint>

class CFontBase {
 public:
  virtual ~CFontBase() = default;
  // Font height in pixel rows.
  virtual uint32_t GetHeight() const = 0;
  // Width in pixel columns; 0 for a character the font lacks.
  virtual uint32_t GetCharWidth(uint32_t c) const = 0;
  // Whether pixel (x, y) of character c is lit; false outside the glyph.
  virtual bool IsPixelSet(uint32_t c, uint32_t x, uint32_t y) const = 0;
  // Pixels between characters.
  virtual uint32_t GetCharSpacing() const = 0;
  // Pixels between lines.
  virtual uint32_t GetLineSpacing() const { return 0; }
  // The font's name, or null.
  virtual const char* GetName() const = 0;
  virtual uint32_t GetStatus() const { return 0; }
};
