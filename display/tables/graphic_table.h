// The NTCIP graphic table: 50 rows of graphics that MULTI texts draw with
// the graphic tag, their status requests and the graphic ID.
#pragma once

#include <cstdint>

constexpr uint32_t GRAPHIC_ROWS = 50;
// Bitmap blocks each row has room for.
constexpr uint32_t GRAPHIC_BLOCKS = 63;

// NTCIP dmsGraphicStatus.
enum graphic_status : uint8_t {
  GRAPHIC_NOT_USED = 1,
  GRAPHIC_MODIFYING = 2,
  GRAPHIC_CALCULATING_ID = 3,
  GRAPHIC_READY_FOR_USE = 4,
  GRAPHIC_IN_USE = 5,
  GRAPHIC_PERMANENT = 6,
  GRAPHIC_MODIFY_REQ = 7,
  GRAPHIC_READY_FOR_USE_REQ = 8,
  GRAPHIC_NOT_USED_REQ = 9,
};

// Bytes of a bitmap by graphic type: 1 (1 bit a pixel) (h x w + 7) / 8,
// 2 and 3 (a byte a pixel) h x w, 4 (24-bit colour) 3 x h x w; 0 for any
// other type.
uint32_t graphic_bitmap_size(uint32_t type, uint32_t height, uint32_t width);

// Blocks a bitmap of that size takes: size / block size rounded up, but
// never more than the row holds; 0 for a block size of 0.
uint32_t graphic_block_count(uint32_t size, uint32_t blockSize);

// The graphic ID of row g as stored in mib_nv.dmsGraphicID: the CRC-16
// over number, height, width, type, transparent-enabled, the three bytes of
// the transparent colour and the bitmap blocks, complemented and its bytes
// exchanged.
uint16_t graphic_id(uint32_t g);
