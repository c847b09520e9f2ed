#include "panel/pages/version_text.h"

#include <cstdio>

void lcd_version_text(char* out, uint32_t size) {
  if (!out || size == 0) return;
  std::snprintf(out, size, "%s v%s.%s.%s.%s%s", "PX3907561", "1", "9", "4588", "42", "");
}
