#include "display/surface/surface.h"

#include <cstring>
#include <new>

#include "database/database.h"
#include "database/objects.h"

bool surface_simulation_mode() {
  return g_pDataBase && g_pDataBase->GetValue(vol::dmsControlMode.offset, 1, g_pDataBase->mib_v, 0) == 6;
}

bool surface_character_matrix_sign() {
  if (!g_pDataBase) return false;
  uint32_t type = g_pDataBase->GetValue(nv::dmsSignType.offset, 1, g_pDataBase->mib_nv, 0);
  return type == 4 || type == 132;
}

CSurface::~CSurface() { Free(); }

uint8_t* CSurface::Allocate(uint32_t height, uint32_t width, uint8_t depth) {
  if (m_byAllocated && m_pPixels && m_byDepth == depth && m_dwWidth == width && m_dwHeight == height)
    return m_pPixels;
  Free();
  if (depth != 1 && depth != 2 && depth != 8 && depth != 15) return nullptr;
  uint64_t size = static_cast<uint64_t>(width) * height * BytesPerPixel(depth);
  if (size > 0xFFFFFFFFull) return nullptr;
  // At least one byte so that an empty surface still has a store.
  uint8_t* pixels = new (std::nothrow) uint8_t[size ? size : 1];
  if (!pixels) return nullptr;
  std::memset(pixels, 0, size ? size : 1);
  m_pPixels = pixels;
  m_dwSize = static_cast<uint32_t>(size);
  m_byDepth = depth;
  m_dwWidth = width;
  m_dwHeight = height;
  m_byAllocated = 1;
  return m_pPixels;
}

void CSurface::Clear() {
  if (!m_byAllocated || !m_pPixels || m_dwHold) return;
  std::memset(m_pPixels, 0, m_dwSize);
}

void CSurface::Free() {
  delete[] m_pPixels;
  m_pPixels = nullptr;
  m_dwSize = 0;
  m_byAllocated = 0;
}

uint32_t CSurface::GetPixel(int32_t x, int32_t y) const {
  if (!Inside(x, y)) return 0;
  const uint32_t bpp = BytesPerPixel(m_byDepth);
  const uint8_t* p = m_pPixels + (static_cast<uint32_t>(y) * m_dwWidth + static_cast<uint32_t>(x)) * bpp;
  switch (m_byDepth) {
    case 1:
      return *p ? 0x7C00 : 0;
    case 2:
      return ((*p & 1) ? 0x7C00u : 0u) + ((*p & 2) ? 0x0370u : 0u);
    case 8:
      return *p;
    default:
      return (static_cast<uint32_t>(p[0]) << 8) | p[1];
  }
}

void CSurface::Put(uint32_t x, uint32_t y, uint32_t colour) {
  const uint32_t bpp = BytesPerPixel(m_byDepth);
  uint8_t* p = m_pPixels + (y * m_dwWidth + x) * bpp;
  switch (m_byDepth) {
    case 1:
      *p = colour ? 1 : 0;
      break;
    case 2:
      *p = static_cast<uint8_t>(((colour & 0x001F) ? 1 : 0) | ((colour & 0x03E0) ? 2 : 0));
      break;
    case 8:
      *p = static_cast<uint8_t>(colour);
      break;
    default:
      p[0] = static_cast<uint8_t>(colour >> 8);
      p[1] = static_cast<uint8_t>(colour);
      break;
  }
}

void CSurface::SetPixel(int32_t x, int32_t y, uint32_t colour) {
  if (Inside(x, y)) Put(static_cast<uint32_t>(x), static_cast<uint32_t>(y), colour);
}

void CSurface::Fill(uint32_t colour) {
  if (!m_byAllocated || !m_pPixels) return;
  if (colour != 0 && surface_simulation_mode()) return;
  for (uint32_t y = 0; y < m_dwHeight; ++y)
    for (uint32_t x = 0; x < m_dwWidth; ++x) Put(x, y, colour);
}

void CSurface::DrawColumn(int32_t x, uint32_t colour) {
  for (uint32_t y = 0; y < m_dwHeight; ++y) SetPixel(x, static_cast<int32_t>(y), colour);
}

void CSurface::DrawRow(int32_t y, uint32_t colour) {
  for (uint32_t x = 0; x < m_dwWidth; ++x) SetPixel(static_cast<int32_t>(x), y, colour);
}

void CSurface::FillRect(int32_t x, int32_t y, uint32_t width, uint32_t height, uint32_t colour) {
  if (!m_byAllocated) return;
  // Only the part that overlaps the surface: the others would be refused
  // pixel by pixel anyway.
  int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
  int64_t x1 = static_cast<int64_t>(x) + width, y1 = static_cast<int64_t>(y) + height;
  if (x1 > m_dwWidth) x1 = m_dwWidth;
  if (y1 > m_dwHeight) y1 = m_dwHeight;
  for (int64_t py = y0; py < y1; ++py)
    for (int64_t px = x0; px < x1; ++px) Put(static_cast<uint32_t>(px), static_cast<uint32_t>(py), colour);
}
