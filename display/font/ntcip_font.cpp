#include "display/font/ntcip_font.h"

#include "database/database.h"
#include "database/objects.h"

uint32_t CNTCIPFont::Read(uint32_t offset) const {
  if (!g_pDataBase || m_dwFontIndex >= NTCIP_FONT_ROWS) return 0;
  return g_pDataBase->GetValue(offset, 1, g_pDataBase->mib_nv, 0);
}

uint32_t CNTCIPFont::GetHeight() const { return Read(nv::fontHeight(m_dwFontIndex).offset); }

uint32_t CNTCIPFont::GetCharWidth(uint32_t c) const {
  if (c < 1 || c > 255) return 0;
  return Read(nv::characterWidth(m_dwFontIndex, c - 1).offset);
}

bool CNTCIPFont::IsPixelSet(uint32_t c, uint32_t x, uint32_t y) const {
  uint32_t w = GetCharWidth(c);
  if (x >= w || y >= GetHeight()) return false;
  uint32_t length = 0;
  const uint8_t* bits = g_pDataBase->GetString(nv::characterBitmap(m_dwFontIndex, c - 1).offset, 4,
                                               g_pDataBase->mib_nv, &length);
  if (!bits || length == 0) return false;
  uint32_t b = y * w + x;
  if (b / 8 >= length) return false;
  return (bits[b / 8] >> (7 - b % 8)) & 1;
}

uint32_t CNTCIPFont::GetCharSpacing() const { return Read(nv::fontCharSpacing(m_dwFontIndex).offset); }

uint32_t CNTCIPFont::GetLineSpacing() const {
  if (!g_pDataBase) return 0;
  uint32_t type = g_pDataBase->GetValue(nv::dmsSignType.offset, 1, g_pDataBase->mib_nv, 0);
  if (type == 4 || type == 5 || type == 132 || type == 133) return 0;
  return Read(nv::fontLineSpacing(m_dwFontIndex).offset);
}

uint32_t CNTCIPFont::GetStatus() const { return Read(nv::fontStatus(m_dwFontIndex).offset); }
