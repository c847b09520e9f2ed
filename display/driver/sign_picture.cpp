#include "display/driver/sign_picture.h"

#include <algorithm>
#include <cstdio>

#include "display/driver/png_writer.h"
#include "frame/trace/trace.h"

namespace {

constexpr sign_rgb_s kAmber = {255, 180, 0};
constexpr sign_rgb_s kRed = {255, 40, 0};
constexpr sign_rgb_s kGreen = {0, 220, 60};

uint8_t expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

}  // namespace

sign_rgb_s sign_pixel_colour(uint16_t value, bool wide, uint8_t colours) {
  if (!value) return SIGN_DARK;
  switch (colours) {
    case 2: {
      const bool red = wide ? (value & 0x1F) != 0 : (value & 1) != 0;
      const bool green = wide ? ((value >> 5) & 0x1F) != 0 : (value & 2) != 0;
      if (red && green) return kAmber;
      if (red) return kRed;
      if (green) return kGreen;
      return SIGN_DARK;  // what these modules cannot show stays dark
    }
    case 3:
      if (!wide) return {static_cast<uint8_t>(value), static_cast<uint8_t>(value), static_cast<uint8_t>(value)};
      return {expand5(value & 0x1F), expand5((value >> 5) & 0x1F), expand5((value >> 10) & 0x1F)};
    default: return kAmber;
  }
}

std::vector<uint8_t> CSignPicture::Picture(const sign_face_s& face) {
  std::vector<uint8_t> png;
  if (!face.pixels || !face.width || !face.height) return png;
  const uint64_t w = static_cast<uint64_t>(face.width) * DOT, h = static_cast<uint64_t>(face.height) * DOT;
  if (w > 0xFFFF || h > 0xFFFF) return png;
  std::vector<uint8_t> rgb(w * h * 3, 0);
  for (uint32_t y = 0; y < face.height; ++y)
    for (uint32_t x = 0; x < face.width; ++x) {
      const sign_rgb_s c = sign_pixel_colour(face.pixels[static_cast<size_t>(y) * face.width + x], face.wide,
                                             face.colours);
      for (uint32_t dy = 0; dy + 1 < DOT; ++dy)
        for (uint32_t dx = 0; dx + 1 < DOT; ++dx) {
          uint8_t* p = &rgb[((static_cast<size_t>(y) * DOT + dy) * w + static_cast<size_t>(x) * DOT + dx) * 3];
          p[0] = c.r;
          p[1] = c.g;
          p[2] = c.b;
        }
    }
  png_encode_rgb(rgb.data(), static_cast<uint32_t>(w), static_cast<uint32_t>(h), png);
  return png;
}

bool CSignPicture::Offer(const sign_face_s& face, uint32_t tick) {
  if (m_path.empty() || !face.pixels) return false;
  const size_t n = static_cast<size_t>(face.width) * face.height;
  const bool same = m_bWritten && face.width == m_dwWidth && face.height == m_dwHeight && face.wide == m_bWide &&
                    face.colours == m_byColours && m_pixels.size() == n &&
                    std::equal(m_pixels.begin(), m_pixels.end(), face.pixels);
  if (same) return false;
  // A failed write waits as long as a good one: the trace says it once per
  // interval at most.
  if (m_bTried && tick - m_dwLastTick < MIN_TICKS) return false;
  m_bTried = true;
  m_dwLastTick = tick;
  const std::vector<uint8_t> png = Picture(face);
  if (png.empty() || !Save(png)) return false;
  m_bWritten = true;
  m_dwWidth = face.width;
  m_dwHeight = face.height;
  m_bWide = face.wide;
  m_byColours = face.colours;
  m_pixels.assign(face.pixels, face.pixels + n);
  ++m_dwPictures;
  return true;
}

// Written beside the picture and renamed over it, so that a viewer never
// reads half a picture.
bool CSignPicture::Save(const std::vector<uint8_t>& png) {
  const std::string temp = m_path + ".new";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    monitor_printf("CSignPicture::Save: cannot write %s\n", temp.c_str());
    return false;
  }
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temp.c_str(), m_path.c_str()) != 0) {
    monitor_printf("CSignPicture::Save: cannot write %s\n", m_path.c_str());
    std::remove(temp.c_str());
    return false;
  }
  return true;
}
