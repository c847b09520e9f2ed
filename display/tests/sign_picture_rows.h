// The sign's face as its picture file shows it: a row of '#' (a lit dot)
// and '.' per sign row; empty when there is no readable picture.
#pragma once

#include <string>
#include <vector>

#include "display/driver/sign_picture.h"
#include "display/tests/png_read.h"

inline std::vector<std::string> sign_picture_rows(const std::string& path) {
  png_rgb_picture p;
  if (!png_read_file(path, &p)) return {};
  std::vector<std::string> rows;
  for (uint32_t y = 0; y < p.height; y += CSignPicture::DOT) {
    std::string row;
    for (uint32_t x = 0; x < p.width; x += CSignPicture::DOT) {
      const uint8_t* c = p.at(x, y);
      row += c[0] == SIGN_DARK.r && c[1] == SIGN_DARK.g && c[2] == SIGN_DARK.b ? '.' : '#';
    }
    rows.push_back(row);
  }
  return rows;
}
