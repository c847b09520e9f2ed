// The sign's picture as a PNG file: 8-bit RGB, encoded by libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// rgb holds width * height pixels of 3 bytes, rows top first. False for an
// empty or oversized picture, or when the encoder fails; `out` is then empty.
bool png_encode_rgb(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& out);

// Writes `png` beside `path` and renames it over it, so that a reader never
// sees half a picture. On failure `error` names the file that could not be
// written.
bool png_save(const std::string& path, const std::vector<uint8_t>& png, std::string* error);
