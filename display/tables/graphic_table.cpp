// The graphic table's status pass: the agent leaves a request in a row's
// status (modify, ready for use, not used) and the pass carries it out; a
// graphic declared ready gets its ID here.
#include "display/tables/graphic_table.h"

#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/task/display.h"
#include "display/task/display_db.h"
#include "display/task/display_lock.h"
#include "frame/trace/trace.h"
#include "frame/util/crc16.h"

namespace {

constexpr uint32_t kRowFlags = DB_NOTIFY | DB_NO_VALIDATE;

void update(crc16_state* crc, uint32_t value, uint32_t bytes) {
  uint8_t b[4];
  for (uint32_t i = 0; i < bytes; ++i) b[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
  crc16_update(crc, b, bytes);
}

void clear_row(uint32_t g) {
  const uint8_t black = 0;
  set_nv(nv::dmsGraphicStatus(g), GRAPHIC_NOT_USED, kRowFlags);
  set_nv(nv::dmsGraphicNumber(g), 0, kRowFlags);
  set_nv_bytes(nv::dmsGraphicName(g), "", 0, kRowFlags);
  set_nv(nv::dmsGraphicHeight(g), 0, kRowFlags);
  set_nv(nv::dmsGraphicWidth(g), 0, kRowFlags);
  set_nv(nv::dmsGraphicID(g), 0, DB_NOTIFY);
  set_nv(nv::dmsGraphicTransparentEnabled(g), 0, kRowFlags);
  set_nv_bytes(nv::dmsGraphicTransparentColor(g), &black, 1, kRowFlags);
  for (uint32_t b = 0; b < GRAPHIC_BLOCKS; ++b) set_nv_bytes(nv::dmsGraphicBitmap(g, b), "", 0, kRowFlags);
}

}  // namespace

uint32_t graphic_bitmap_size(uint32_t type, uint32_t height, uint32_t width) {
  const uint32_t pixels = height * width;  // at most 255 x 65535
  switch (type) {
    case 1:
      return (pixels + 7) / 8;
    case 2:
    case 3:
      return pixels;
    case 4:
      return 3 * pixels;
    default:
      return 0;
  }
}

uint32_t graphic_block_count(uint32_t size, uint32_t blockSize) {
  if (!blockSize) return 0;
  const uint32_t blocks = size / blockSize + (size % blockSize ? 1 : 0);
  // Blocks past the row's own would be the next row's, or objects that are
  // no blocks at all.
  return blocks < GRAPHIC_BLOCKS ? blocks : GRAPHIC_BLOCKS;
}

uint16_t graphic_id(uint32_t g) {
  if (g >= GRAPHIC_ROWS) return 0;
  const uint32_t height = nv_value(nv::dmsGraphicHeight(g));
  const uint32_t width = nv_value(nv::dmsGraphicWidth(g));
  const uint32_t type = nv_value(nv::dmsGraphicType(g));

  crc16_state crc{};
  crc16_begin(&crc, 0xFFFF);
  update(&crc, nv_value(nv::dmsGraphicNumber(g)), 1);
  update(&crc, height, 2);
  update(&crc, width, 2);
  update(&crc, type, 1);
  update(&crc, nv_value(nv::dmsGraphicTransparentEnabled(g)), 1);

  uint32_t length = 0;
  const uint8_t* colour = nv_bytes(nv::dmsGraphicTransparentColor(g), &length);
  uint8_t rgb[3] = {0, 0, 0};
  for (uint32_t i = 0; i < 3 && colour && i < length; ++i) rgb[i] = colour[i];
  for (uint8_t c : rgb) monitor_printf("color:0x%0X\r", c);
  crc16_update(&crc, rgb, 3);

  const uint32_t blocks =
      graphic_block_count(graphic_bitmap_size(type, height, width), vol_value(vol::dmsGraphicBlockSize));
  for (uint32_t b = 0; b < blocks; ++b) {
    const uint8_t* bytes = nv_bytes(nv::dmsGraphicBitmap(g, b), &length);
    if (bytes && length) crc16_update(&crc, bytes, length);
  }

  uint16_t id = 0;
  crc16_result(&crc, &id, CRC16_COMPLEMENT | CRC16_SWAP);
  crc16_end(&crc);
  return id;
}

void CDisplay::ProcessGraphicTable() {
  // Two passes at once (the display step and the agent's thread) would both
  // take the same request and count the graphic twice.
  display_lock lock(this);
  if (!lock.ok()) return;
  for (uint32_t g = 0; g < GRAPHIC_ROWS; ++g) {
    switch (nv_value(nv::dmsGraphicStatus(g))) {
      case GRAPHIC_MODIFY_REQ:
        set_nv(nv::dmsGraphicStatus(g), GRAPHIC_MODIFYING, kRowFlags);
        break;
      case GRAPHIC_READY_FOR_USE_REQ: {
        set_nv(nv::dmsGraphicID(g), graphic_id(g), DB_NOTIFY);
        set_nv(nv::dmsGraphicStatus(g), GRAPHIC_READY_FOR_USE, kRowFlags);
        const uint32_t entries = vol_value(vol::dmsGraphicNumEntries) + 1;
        set_vol(vol::dmsGraphicNumEntries, entries, DB_NOTIFY);
        monitor_printf_debug("Add - Num Graphics:%d\n", static_cast<int>(entries));
        break;
      }
      case GRAPHIC_NOT_USED_REQ:
        clear_row(g);
        break;
      default:  // settled states and anything unknown
        break;
    }
  }
}
