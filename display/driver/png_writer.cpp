#include "display/driver/png_writer.h"

#include <png.h>

#include <cstdio>

bool png_encode_rgb(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
  out.clear();
  // Far beyond any sign; keeps the sizes below within 32 bits.
  constexpr uint32_t kMaxSide = 8192;
  if (!rgb || width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  // Written a few times a second: speed matters more than the last bytes.
  image.flags = PNG_IMAGE_FLAG_FAST;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb, 0, nullptr) || size == 0) {
    png_image_free(&image);
    return false;
  }
  out.resize(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgb, 0, nullptr)) {
    png_image_free(&image);
    out.clear();
    return false;
  }
  out.resize(size);
  return true;
}

bool png_save(const std::string& path, const std::vector<uint8_t>& png, std::string* error) {
  const std::string temp = path + ".new";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    if (error) *error = temp;
    return false;
  }
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    if (error) *error = path;
    std::remove(temp.c_str());
    return false;
  }
  return true;
}
