// The EPLD configuration images that the module-type table refers to: zlib
// streams, each inflating to EPLD_IMAGE_SIZE bytes that the EPLD takes as
// they are. One per part number.
#pragma once

#include <cstdint>

constexpr uint32_t EPLD_IMAGE_SIZE = 98023;

extern const uint8_t g_epld_image_PX2214087[36901];
extern const uint8_t g_epld_image_PX5581320[36344];
extern const uint8_t g_epld_image_PX6642915[38533];
extern const uint8_t g_epld_image_PX7730468[38185];
