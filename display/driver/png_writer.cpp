#include "display/driver/png_writer.h"

#include <zlib.h>

#include <algorithm>

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

// Length, type, data, and the CRC-32 of type and data.
void chunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, uint32_t length) {
  put32(out, length);
  const size_t type_at = out.size();
  out.insert(out.end(), type, type + 4);
  if (length) out.insert(out.end(), data, data + length);
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, out.data() + type_at, static_cast<uInt>(4 + length));
  put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool png_encode_rgb(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
  out.clear();
  // Far beyond any sign; keeps the sizes below within 32 bits.
  constexpr uint32_t kMaxSide = 8192;
  if (!rgb || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;

  // Each row starts with its filter byte (0: none).
  const uint32_t row_bytes = width * 3 + 1;
  std::vector<uint8_t> raw(static_cast<size_t>(row_bytes) * height);
  for (uint32_t y = 0; y < height; ++y) {
    raw[static_cast<size_t>(y) * row_bytes] = 0;
    const uint8_t* src = rgb + static_cast<size_t>(y) * width * 3;
    std::copy(src, src + width * 3, raw.begin() + static_cast<size_t>(y) * row_bytes + 1);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packed_size);
  if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_SPEED) != Z_OK)
    return false;

  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out.assign(kSignature, kSignature + 8);
  uint8_t header[13];
  const uint32_t dims[2] = {width, height};
  for (int i = 0; i < 2; ++i)
    for (int b = 0; b < 4; ++b) header[i * 4 + b] = static_cast<uint8_t>(dims[i] >> (24 - 8 * b));
  header[8] = 8;   // bits per sample
  header[9] = 2;   // truecolour
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering
  header[12] = 0;  // no interlace
  chunk(out, "IHDR", header, sizeof header);
  chunk(out, "IDAT", packed.data(), static_cast<uint32_t>(packed_size));
  chunk(out, "IEND", nullptr, 0);
  return true;
}
