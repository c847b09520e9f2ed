// Reads back the pictures our PNG encoder writes (8-bit RGB, one zlib
// stream, no row filters), checking every chunk's CRC: for tests that look
// at the sign's picture.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct png_rgb_picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, rows top first

  const uint8_t* at(uint32_t x, uint32_t y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

inline bool png_read_rgb(const std::vector<uint8_t>& png, png_rgb_picture* out) {
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto be32 = [](const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
  };
  if (png.size() < 8 || std::memcmp(png.data(), sig, 8) != 0) return false;
  std::vector<uint8_t> idat;
  size_t at = 8;
  for (bool end = false; !end;) {
    if (at + 12 > png.size()) return false;
    const uint32_t length = be32(&png[at]);
    if (length > png.size() - at - 12) return false;
    const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    const uint8_t* data = &png[at + 8];
    if (crc32(0L, &png[at + 4], 4 + length) != be32(data + length)) return false;
    if (type == "IHDR") {
      if (length != 13 || data[8] != 8 || data[9] != 2) return false;
      out->width = be32(data);
      out->height = be32(data + 4);
    } else if (type == "IDAT") {
      idat.insert(idat.end(), data, data + length);
    } else if (type == "IEND") {
      end = true;
    }
    at += 12 + length;
  }
  const size_t row = size_t(out->width) * 3 + 1;
  std::vector<uint8_t> raw(row * out->height);
  uLongf size = raw.size();
  if (uncompress(raw.data(), &size, idat.data(), idat.size()) != Z_OK || size != raw.size()) return false;
  out->rgb.clear();
  for (uint32_t y = 0; y < out->height; ++y) {
    if (raw[y * row] != 0) return false;
    out->rgb.insert(out->rgb.end(), raw.begin() + y * row + 1, raw.begin() + (y + 1) * row);
  }
  return true;
}

inline bool png_read_file(const std::string& path, png_rgb_picture* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), {});
  return png_read_rgb(png, out);
}
