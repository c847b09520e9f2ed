// The firmware's part number and version as the panel shows them:
// "PX3907561 v1.9.4588.42".
#pragma once

#include <cstdint>

void lcd_version_text(char* out, uint32_t size);
