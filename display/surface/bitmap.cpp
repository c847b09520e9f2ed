// Windows bitmap files drawn into a surface. Bitmaps come from central
// systems and from files, so the header is checked against the file's size
// before a single pixel is read.
#include <cstdint>

#include "database/database.h"
#include "database/objects.h"
#include "display/surface/surface.h"
#include "display/surface/text.h"

namespace {

constexpr uint32_t kInfoHeaderEnd = 54;  // file header 14 + info header 40
constexpr uint32_t kPaletteOffset = 54;

uint32_t le32(const uint8_t* p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Modules that show only red and amber: amber where red and green meet.
bool two_colour_module() {
  if (!g_pDataBase) return false;
  uint32_t id = g_pDataBase->GetValue(nv::quorModuleID.offset, 2, g_pDataBase->mib_nv, 0);
  return id == 11 || (id >= 98 && id <= 101);
}

uint32_t colour_of(uint8_t red, uint8_t green, uint8_t blue, bool two_colour) {
  if (two_colour) {
    if (red && green) return 0x03E0;
    if (red) return 0x001F;
    return 0;
  }
  return (red >> 3) | (static_cast<uint32_t>(green >> 3) << 5) | (static_cast<uint32_t>(blue >> 3) << 10);
}

}  // namespace

bool DrawBitmapFile(CSurface& surface, const uint8_t* file, uint32_t size, int32_t x, int32_t y) {
  if (!file || size < kInfoHeaderEnd) return false;
  const uint32_t offset = le32(file + 10);
  const int32_t width = static_cast<int32_t>(le32(file + 18));
  const int32_t height = static_cast<int32_t>(le32(file + 22));
  const uint16_t bits = le16(file + 28);
  if (bits != 8 && bits != 24) return false;
  // Top-down bitmaps (negative height) and empty ones are not drawn.
  if (width <= 0 || height <= 0) return false;
  const uint64_t row_bytes = (static_cast<uint64_t>(width) * (bits / 8) + 3) & ~3ull;
  if (static_cast<uint64_t>(offset) + row_bytes * static_cast<uint64_t>(height) > size) return false;
  if (bits == 8) {
    // Every index the pixels use must name a palette entry inside the file.
    if (offset < kPaletteOffset) return false;
    uint32_t largest = 0;
    for (int32_t r = 0; r < height; ++r) {
      const uint8_t* row = file + offset + row_bytes * r;
      for (int32_t i = 0; i < width; ++i)
        if (row[i] > largest) largest = row[i];
    }
    if (kPaletteOffset + 4ull * largest + 3 >= size) return false;
  }

  const bool two_colour = two_colour_module();
  for (int32_t r = 0; r < height; ++r) {
    const uint8_t* row = file + offset + row_bytes * r;
    const int64_t py = static_cast<int64_t>(y) + height - 1 - r;
    for (int32_t i = 0; i < width; ++i) {
      const uint8_t* bgr = bits == 24 ? row + 3 * i : file + kPaletteOffset + 4 * row[i];
      const int64_t px = static_cast<int64_t>(x) + i;
      if (px < INT32_MIN || px > INT32_MAX || py < INT32_MIN || py > INT32_MAX) continue;
      surface.SetPixel(static_cast<int32_t>(px), static_cast<int32_t>(py), colour_of(bgr[2], bgr[1], bgr[0], two_colour));
    }
  }
  return true;
}
