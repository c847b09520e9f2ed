#include "display/driver/frame_keeping_driver.h"

#include <cstdio>
#include <cstring>

#include "display/driver/png_writer.h"
#include "display/surface/surface.h"
#include "frame/trace/trace.h"

CFrameKeepingDriver g_frame_keeping_driver;

namespace {

struct rgb_s {
  uint8_t r, g, b;
};

constexpr rgb_s kDark = {40, 40, 40};
constexpr rgb_s kAmber = {255, 180, 0};

uint8_t expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

// One stored pixel as the sign shows it; pixels at depths 1 and 2 are the
// module's own colours.
rgb_s colour_of(const uint8_t* p, uint8_t depth) {
  switch (depth) {
    case 1:
      return p[0] ? kAmber : kDark;
    case 2: {
      if (!(p[0] & 3)) return kDark;
      return {static_cast<uint8_t>(p[0] & 1 ? 255 : 0), static_cast<uint8_t>(p[0] & 2 ? 255 : 0), 0};
    }
    case 8:
      return p[0] ? rgb_s{p[0], p[0], p[0]} : kDark;
    default: {
      const uint32_t c = static_cast<uint32_t>(p[0]) << 8 | p[1];
      if (!(c & 0x7FFF)) return kDark;
      return {expand5(c & 0x1F), expand5((c >> 5) & 0x1F), expand5((c >> 10) & 0x1F)};
    }
  }
}

}  // namespace

void CFrameKeepingDriver::SetBrightness(int32_t level) {
  m_byBrightness = static_cast<uint8_t>(level <= 0 ? 1 : level > 255 ? 255 : level);
}

int32_t CFrameKeepingDriver::Configure(int32_t height, int32_t width, int32_t moduleType) {
  display_driver::Configure(height, width, moduleType);
  m_frame.clear();
  m_byDepth = 0;
  m_dwHeight = m_dwWidth = 0;
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
  if (!m_picturePath.empty()) SavePicture();
  return 1;
}

std::vector<uint8_t> CFrameKeepingDriver::Picture() const {
  std::vector<uint8_t> png;
  const uint32_t bpp = CSurface::BytesPerPixel(m_byDepth);
  if (m_frame.empty() || m_frame.size() < static_cast<size_t>(m_dwHeight) * m_dwWidth * bpp) return png;
  const uint32_t w = m_dwWidth * DOT, h = m_dwHeight * DOT;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3, 0);
  for (uint32_t y = 0; y < m_dwHeight; ++y)
    for (uint32_t x = 0; x < m_dwWidth; ++x) {
      const rgb_s c = colour_of(&m_frame[(static_cast<size_t>(y) * m_dwWidth + x) * bpp], m_byDepth);
      // A dot of DOT - 1 pixels square; the last row and column stay black.
      for (uint32_t dy = 0; dy + 1 < DOT; ++dy)
        for (uint32_t dx = 0; dx + 1 < DOT; ++dx) {
          uint8_t* p = &rgb[((static_cast<size_t>(y) * DOT + dy) * w + x * DOT + dx) * 3];
          p[0] = c.r;
          p[1] = c.g;
          p[2] = c.b;
        }
    }
  png_encode_rgb(rgb.data(), w, h, png);
  return png;
}

// Written beside the picture and renamed over it, so that a viewer never
// reads half a picture.
bool CFrameKeepingDriver::SavePicture() {
  const std::vector<uint8_t> png = Picture();
  if (png.empty()) return false;
  const std::string temp = m_picturePath + ".new";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    monitor_printf("CFrameKeepingDriver::SavePicture: cannot write %s\n", temp.c_str());
    return false;
  }
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temp.c_str(), m_picturePath.c_str()) != 0) {
    monitor_printf("CFrameKeepingDriver::SavePicture: cannot write %s\n", m_picturePath.c_str());
    std::remove(temp.c_str());
    return false;
  }
  ++m_dwPictures;
  return true;
}
