#include "display/driver/frame_keeping_driver.h"

#include <cstring>

#include "display/surface/surface.h"

CFrameKeepingDriver g_frame_keeping_driver;

// Every changed frame is pictured, however close to the last one.
CFrameKeepingDriver::CFrameKeepingDriver() { m_picture.SetMinTicks(0); }

void CFrameKeepingDriver::SetBrightness(int32_t level) {
  m_byBrightness = static_cast<uint8_t>(level <= 0 ? 1 : level > 255 ? 255 : level);
}

int32_t CFrameKeepingDriver::Configure(int32_t height, int32_t width, int32_t moduleType) {
  display_driver::Configure(height, width, moduleType);
  m_frame.clear();
  m_byDepth = 0;
  m_dwHeight = m_dwWidth = 0;
  // The next frame is pictured even when it looks like the last.
  m_picture.SetFile(m_picture.File());
  return 1;
}

int32_t CFrameKeepingDriver::WriteFrame(CSurface* surface) {
  if (!surface || !surface->IsAllocated() || !surface->Pixels()) return 0;
  ++m_dwFrames;
  const uint8_t* pixels = surface->Pixels();
  const uint32_t size = surface->Size();
  const bool same = m_byDepth == surface->Depth() && m_dwHeight == surface->Height() &&
                    m_dwWidth == surface->Width() && m_frame.size() == size &&
                    std::memcmp(m_frame.data(), pixels, size) == 0;
  if (same) return 1;
  m_byDepth = surface->Depth();
  m_dwHeight = surface->Height();
  m_dwWidth = surface->Width();
  m_frame.assign(pixels, pixels + size);
  if (m_picture.File().empty()) return 1;
  // The stored pixels as the picture's colour words: depths 1 and 2 are
  // the module's own colours, 8 a grey level, 15 and 16 colour words kept
  // high byte first.
  const uint32_t bpp = CSurface::BytesPerPixel(m_byDepth);
  const size_t n = static_cast<size_t>(m_dwHeight) * m_dwWidth;
  if (m_frame.size() < n * bpp) return 1;
  m_facePixels.resize(n);
  for (size_t i = 0; i < n; ++i)
    m_facePixels[i] = bpp == 2 ? static_cast<uint16_t>((m_frame[i * 2] << 8 | m_frame[i * 2 + 1]) & 0x7FFF)
                               : m_frame[i];
  sign_face_s face;
  face.width = m_dwWidth;
  face.height = m_dwHeight;
  face.wide = bpp == 2;
  face.colours = m_byDepth == 1 ? 1 : m_byDepth == 2 ? 2 : 3;
  face.pixels = m_facePixels.data();
  m_picture.Offer(face, m_dwFrames);
  return 1;
}
