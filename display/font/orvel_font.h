// Fonts in the controller's own font-file format, decompressed from one of
// the fonts built into the firmware.
//
// File format (after zlib decompression; all fields bytes):
//   0      1    0
//   1      4    magic "R417"
//   5      1    6
//   6      1    1
//   7    137    rest of the preamble, not read
//   144   32    header: byte 16 height in rows, 17 line spacing, 18 character spacing
//   176  256    glyph byte counts per character code (0 = no glyph)
//   432   ...   glyph bitmaps in character-code order
// A glyph is stored column by column, left column first; a column takes
// (height + 7) / 8 bytes, the first byte rows 0-7 with the least
// significant bit the upper row, the next rows 8-15 and so on.
#pragma once

#include <cstdint>

#include "display/font/font_base.h"

constexpr uint32_t ORVEL_FONT_HEADER_OFFSET = 144;
constexpr uint32_t ORVEL_FONT_COUNTS_OFFSET = 176;
constexpr uint32_t ORVEL_FONT_GLYPH_OFFSET = 432;
constexpr uint32_t ORVEL_FONT_BUFFER_SIZE = 0x40000;  // one pool buffer
constexpr uint32_t ORVEL_FONT_NAME_SIZE = 50;

class COrvelFontBase : public CFontBase {
 public:
  uint32_t GetHeight() const override;
  uint32_t GetCharWidth(uint32_t c) const override;
  bool IsPixelSet(uint32_t c, uint32_t x, uint32_t y) const override;
  uint32_t GetCharSpacing() const override;
  uint32_t GetLineSpacing() const override;
  uint32_t GetStatus() const override { return 0; }

 protected:
  // Points the font at a decompressed file of `length` bytes. False (and
  // the font left empty) when the file is shorter than its glyph counts
  // say or its height is 0.
  bool Attach(const uint8_t* file, uint32_t length);
  void Detach();
  uint32_t BytesPerColumn() const;

  const uint8_t* m_pFontData = nullptr;
  const uint8_t* m_pHeader = nullptr;
  const uint8_t* m_pGlyphData = nullptr;
  uint16_t m_wGlyphOffset[257] = {};
};

class COrvelFont : public COrvelFontBase {
 public:
  COrvelFont();
  ~COrvelFont() override;
  COrvelFont(const COrvelFont&) = delete;
  COrvelFont& operator=(const COrvelFont&) = delete;

  // Loads a built-in font by name; a name that matches none loads the
  // first one (and keeps the given name). False for a missing or too long
  // name, an exhausted buffer pool or a damaged image.
  bool Load(const char* name);
  // The same from a zlib-compressed font file held by the caller (a font
  // file read from the file system).
  bool LoadImage(const char* name, const uint8_t* data, uint32_t length);
  void ReleaseBuffer();
  const char* GetName() const override { return m_szName; }
  uint32_t GetStatus() const override { return 0; }

  // Row of the built-in font of that exact name.
  static bool FindBuiltIn(const char* name, int* row);

 private:
  char m_szName[ORVEL_FONT_NAME_SIZE];
  void* m_pBuffer = nullptr;
};
