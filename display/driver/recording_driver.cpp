#include "display/driver/recording_driver.h"

#include "display/surface/surface.h"

std::vector<std::string> recording_display_driver::frame_s::Rows() const {
  std::vector<std::string> rows;
  const uint32_t bpp = CSurface::BytesPerPixel(depth);
  for (uint32_t y = 0; y < height; ++y) {
    std::string row;
    for (uint32_t x = 0; x < width; ++x) {
      const size_t at = (static_cast<size_t>(y) * width + x) * bpp;
      bool lit = false;
      for (uint32_t b = 0; b < bpp && at + b < bytes.size(); ++b) lit = lit || bytes[at + b];
      row += lit ? '#' : '.';
    }
    rows.push_back(row);
  }
  return rows;
}

bool recording_display_driver::frame_s::Lit() const {
  for (uint8_t b : bytes)
    if (b) return true;
  return false;
}

int32_t recording_display_driver::WriteFrame(CSurface* surface) {
  if (!surface) return 0;
  frame_s f{surface->Depth(), surface->Height(), surface->Width(), {}};
  if (surface->IsAllocated() && surface->Pixels()) f.bytes.assign(surface->Pixels(), surface->Pixels() + surface->Size());
  frames.push_back(std::move(f));
  if (on_write) on_write();
  return 1;
}
