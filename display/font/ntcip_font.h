// A font of the NTCIP font table, read live from the parameter database:
// a font changed over SNMP or loaded from a built-in font takes effect with
// the next character drawn. The renderer draws only with this font.
#pragma once

#include <cstdint>

#include "display/font/font_base.h"

constexpr uint32_t NTCIP_FONT_ROWS = 20;

class CNTCIPFont : public CFontBase {
 public:
  CNTCIPFont() = default;
  explicit CNTCIPFont(uint32_t index) : m_dwFontIndex(index) {}

  // The 0-based row of the font table (0..19).
  void SetFontIndex(uint32_t index) { m_dwFontIndex = index; }
  uint32_t GetFontIndex() const { return m_dwFontIndex; }

  uint32_t GetHeight() const override;
  // Character codes 1..255; code 0 and codes above 255 have no glyph.
  uint32_t GetCharWidth(uint32_t c) const override;
  // Rows packed one after the other, w bits each, most significant bit
  // first. A bitmap shorter than the glyph leaves the rest unlit.
  bool IsPixelSet(uint32_t c, uint32_t x, uint32_t y) const override;
  uint32_t GetCharSpacing() const override;
  // 0 on character-matrix and line-matrix signs.
  uint32_t GetLineSpacing() const override;
  const char* GetName() const override { return nullptr; }
  uint32_t GetStatus() const override;

 private:
  uint32_t Read(uint32_t offset) const;

  uint32_t m_dwFontIndex = 0;
};
