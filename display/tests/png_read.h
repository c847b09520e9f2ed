// Reads a PNG picture back as 8-bit RGB with libpng: for tests that look at
// the sign's picture.
#pragma once

#include <png.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct png_rgb_picture {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, rows top first

  const uint8_t* at(uint32_t x, uint32_t y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// False unless `png` is a whole, sound 8-bit RGB picture.
inline bool png_read_rgb(const std::vector<uint8_t>& png, png_rgb_picture* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png.empty() || !png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  const bool rgb8 = image.format == PNG_FORMAT_RGB;
  image.format = PNG_FORMAT_RGB;
  out->width = image.width;
  out->height = image.height;
  out->rgb.assign(PNG_IMAGE_SIZE(image), 0);
  if (!rgb8 || !png_image_finish_read(&image, nullptr, out->rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

inline bool png_read_file(const std::string& path, png_rgb_picture* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), {});
  return png_read_rgb(png, out);
}
