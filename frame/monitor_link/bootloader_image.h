// The current boot monitor's flash file, as a zlib stream in read-only data
// (made by tools/gen_bootloader_image.py).
#pragma once

#include <cstdint>

extern const uint8_t g_bootloader_image[95601];
extern const uint32_t g_bootloader_image_size;
// The inflated file is at most this long.
constexpr uint32_t BOOTLOADER_INFLATED_MAX = 300000;
constexpr const char* BOOTLOADER_FILE_NAME = "KB90521.BIN";
