#include "display/driver/lcd_display_driver.h"

#include <cstring>
#include <new>

#include "display/surface/surface.h"

CLCDDisplayDriver::show_hook CLCDDisplayDriver::s_show = nullptr;
CLCDDisplayDriver::panel_hook CLCDDisplayDriver::s_panel = nullptr;

CPeripheral* CLCDDisplayDriver::FrontPanel(uint8_t* view_mode) {
  if (view_mode) *view_mode = 0;
  return s_panel ? s_panel(view_mode) : nullptr;
}

int32_t CLCDDisplayDriver::Configure(int32_t height, int32_t width, int32_t moduleType) {
  const bool same = m_pBitmap && height == m_nHeight && width == m_nWidth;
  display_driver::Configure(height, width, moduleType);
  if (same) return 1;
  FreeBitmap();
  if (height <= 0 || width <= 0) return 1;
  const uint32_t row_bytes = (static_cast<uint32_t>(width) + 7) / 8;
  const size_t size = static_cast<size_t>(row_bytes) * static_cast<uint32_t>(height);
  m_pBitmap = new (std::nothrow) uint8_t[size];
  if (!m_pBitmap) return 1;
  std::memset(m_pBitmap, 0, size);
  m_dwRowBytes = row_bytes;
  m_dwRows = static_cast<uint32_t>(height);
  return 1;
}

void CLCDDisplayDriver::FreeBitmap() {
  delete[] m_pBitmap;
  m_pBitmap = nullptr;
  m_dwRowBytes = m_dwRows = 0;
}

int32_t CLCDDisplayDriver::ShowFrame(disp::frame* frame) {
  if (s_show && frame) s_show(this, frame);
  return 0;
}

bool CLCDDisplayDriver::BitmapPixel(uint32_t x, uint32_t y) const {
  if (!m_pBitmap || y >= m_dwRows || x / 8 >= m_dwRowBytes) return false;
  return m_pBitmap[y * m_dwRowBytes + x / 8] & (0x80 >> (x % 8));
}

void CLCDDisplayDriver::RenderFrame(CLCDDisplayDriver* driver, CSurface* surface) {
  if (!driver || !driver->m_pBitmap || !surface || !surface->IsAllocated() || !surface->Pixels()) return;
  std::memset(driver->m_pBitmap, 0, static_cast<size_t>(driver->m_dwRowBytes) * driver->m_dwRows);
  const uint32_t bpp = CSurface::BytesPerPixel(surface->Depth());
  const uint32_t rows = surface->Height() < driver->m_dwRows ? surface->Height() : driver->m_dwRows;
  const uint32_t cols = surface->Width() < driver->m_dwRowBytes * 8 ? surface->Width() : driver->m_dwRowBytes * 8;
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < cols; ++x) {
      const uint8_t* p = surface->Pixels() + (static_cast<size_t>(y) * surface->Width() + x) * bpp;
      bool lit = false;
      for (uint32_t b = 0; b < bpp; ++b) lit = lit || p[b];
      if (lit) driver->m_pBitmap[y * driver->m_dwRowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
}
