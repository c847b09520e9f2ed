#include "display/font/orvel_font.h"

#include <zlib.h>

#include <cstring>

#include "display/font/builtin_data.h"
#include "frame/buffer/gpbuffer.h"
#include "frame/trace/trace.h"

// ------------------------------------------------------------ COrvelFontBase

bool COrvelFontBase::Attach(const uint8_t* file, uint32_t length) {
  Detach();
  if (!file || length < ORVEL_FONT_GLYPH_OFFSET) return false;
  const uint8_t* header = file + ORVEL_FONT_HEADER_OFFSET;
  if (header[16] == 0) return false;
  const uint8_t* counts = file + ORVEL_FONT_COUNTS_OFFSET;
  uint32_t total = 0;
  for (int c = 0; c < 256; ++c) total += counts[c];
  // Every glyph must lie inside the file: a short file would otherwise be
  // read past its end.
  if (total > length - ORVEL_FONT_GLYPH_OFFSET) return false;
  m_wGlyphOffset[0] = 0;
  for (int c = 0; c < 256; ++c) m_wGlyphOffset[c + 1] = static_cast<uint16_t>(m_wGlyphOffset[c] + counts[c]);
  m_pFontData = file;
  m_pHeader = header;
  m_pGlyphData = file + ORVEL_FONT_GLYPH_OFFSET;
  return true;
}

void COrvelFontBase::Detach() {
  m_pFontData = nullptr;
  m_pHeader = nullptr;
  m_pGlyphData = nullptr;
  std::memset(m_wGlyphOffset, 0, sizeof m_wGlyphOffset);
}

uint32_t COrvelFontBase::BytesPerColumn() const { return (GetHeight() + 7) / 8; }

uint32_t COrvelFontBase::GetHeight() const { return m_pHeader ? m_pHeader[16] : 0; }

uint32_t COrvelFontBase::GetLineSpacing() const { return m_pHeader ? m_pHeader[17] : 0; }

uint32_t COrvelFontBase::GetCharSpacing() const { return m_pHeader ? m_pHeader[18] : 0; }

uint32_t COrvelFontBase::GetCharWidth(uint32_t c) const {
  if (!m_pHeader || c > 255) return 0;
  uint32_t bpc = BytesPerColumn();
  uint32_t count = static_cast<uint32_t>(m_wGlyphOffset[c + 1] - m_wGlyphOffset[c]);
  return (count / bpc) % 256;
}

bool COrvelFontBase::IsPixelSet(uint32_t c, uint32_t x, uint32_t y) const {
  if (!m_pHeader || c > 255) return false;
  if (x >= GetCharWidth(c) || y >= GetHeight()) return false;
  const uint8_t* glyph = m_pGlyphData + m_wGlyphOffset[c];
  uint8_t byte = glyph[x * BytesPerColumn() + y / 8];
  return (byte >> (y % 8)) & 1;
}

// ---------------------------------------------------------------- COrvelFont

COrvelFont::COrvelFont() { m_szName[0] = 0; }

COrvelFont::~COrvelFont() { ReleaseBuffer(); }

bool COrvelFont::FindBuiltIn(const char* name, int* row) {
  if (!name) return false;
  for (int i = 0; i < BUILTIN_FONT_COUNT; ++i) {
    if (std::strcmp(g_builtin_font_images[i].name, name) == 0) {
      if (row) *row = i;
      return true;
    }
  }
  return false;
}

bool COrvelFont::Load(const char* name) {
  int row = 0;
  FindBuiltIn(name, &row);
  const builtin_font_image& image = g_builtin_font_images[row];
  return LoadImage(name, image.data, image.length);
}

bool COrvelFont::LoadImage(const char* name, const uint8_t* data, uint32_t length) {
  if (!name || std::strlen(name) >= ORVEL_FONT_NAME_SIZE) return false;
  // A second load gives the first buffer back rather than losing it.
  ReleaseBuffer();
  void* buffer = nullptr;
  if (!g_gpbuffer.Allocate(&buffer, ORVEL_FONT_BUFFER_SIZE)) {
    monitor_printf_debug("COrvelFont::Load: no buffer for %s\n", name);
    return false;
  }
  m_pBuffer = buffer;
  std::strcpy(m_szName, name);
  if (!data) return false;
  uLongf out = ORVEL_FONT_BUFFER_SIZE;
  int z = uncompress(static_cast<Bytef*>(m_pBuffer), &out, data, length);
  if (z != Z_OK) {
    monitor_printf_debug("COrvelFont::Load: %s does not inflate (%d)\n", name, z);
    return false;
  }
  if (!Attach(static_cast<const uint8_t*>(m_pBuffer), static_cast<uint32_t>(out))) {
    monitor_printf_debug("COrvelFont::Load: %s is damaged\n", name);
    return false;
  }
  return true;
}

void COrvelFont::ReleaseBuffer() {
  Detach();
  if (m_pBuffer) {
    g_gpbuffer.Release(&m_pBuffer);
    m_pBuffer = nullptr;
  }
}
