// A small PNG encoder for the sign's picture: 8-bit RGB, no interlace, one
// zlib stream in one IDAT chunk.
#pragma once

#include <cstdint>
#include <vector>

// rgb holds width * height pixels of 3 bytes, rows top first. False for an
// empty or oversized picture, or when zlib fails; `out` is then empty.
bool png_encode_rgb(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& out);
