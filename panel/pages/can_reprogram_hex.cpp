#include "panel/pages/can_reprogram_hex.h"

#include <cstring>

namespace {

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Byte(const char* p, uint8_t* out) {
  int hi = Digit(p[0]), lo = Digit(p[1]);
  if (hi < 0 || lo < 0) return false;
  *out = static_cast<uint8_t>(hi << 4 | lo);
  return true;
}

}  // namespace

bool hex_parse_record(const char* text, size_t size, size_t pos, HexRecord* out) {
  if (pos >= size || text[pos] != ':' || size - pos < 11) return false;
  const char* p = text + pos + 1;
  uint8_t ll, ah, al, type;
  if (!Byte(p, &ll) || !Byte(p + 2, &ah) || !Byte(p + 4, &al) || !Byte(p + 6, &type)) return false;
  // The loaders' record buffer holds 32 data bytes; longer records would overrun it.
  if (ll > HexRecord::MAX_DATA) return false;
  uint32_t chars = 9 + 2u * ll + 4;
  if (size - pos < chars) return false;
  uint8_t sum = static_cast<uint8_t>(ll + ah + al + type);
  for (uint32_t i = 0; i < ll; ++i) {
    if (!Byte(p + 8 + 2 * i, &out->data[i])) return false;
    sum = static_cast<uint8_t>(sum + out->data[i]);
  }
  uint8_t check;
  if (!Byte(p + 8 + 2 * ll, &check)) return false;
  if (type != 0x02 && type != 0x04 && static_cast<uint8_t>(sum + check) != 0) return false;
  out->length = ll;
  out->address = static_cast<uint16_t>(ah << 8 | al);
  out->type = type;
  out->chars = chars;
  return true;
}

HexBlockReader::Result HexBlockReader::Next() {
  std::memset(m_block, 0xFF, sizeof(m_block));
  m_block_page = m_page;
  m_block_extended = m_extended;
  m_ends = false;
  size_t pos = m_consumed;
  bool split = m_split, have_base = false, parsed = false;
  uint32_t base = 0;
  for (int taken = 0; taken < 5; ++taken) {
    HexRecord r;
    if (!hex_parse_record(m_text, m_size, pos, &r)) break;
    parsed = true;
    bool data = r.type == 0x00;
    if (r.type == 0x01 || (!m_board && !data)) {
      // The end record (any other type on a module image).
      // Left unconsumed: once the block is accepted, the next call ends.
      if (taken == 0) return END;
      m_ends = true;
      break;
    }
    if (r.type == 0x02) {
      if (taken > 0) break;  // the new page applies from the next block
      m_block_page = static_cast<uint8_t>(r.data[0] >> 2);
      base = r.address;
      have_base = true;
      pos += r.chars;
      continue;
    }
    if (r.type == 0x04) {
      m_block_extended = r.data[1];
      pos += r.chars;
      continue;
    }
    if (!data) {  // unknown types on a board image carry nothing
      pos += r.chars;
      continue;
    }
    if (!have_base) {
      base = (r.address & ~63u) + (split ? 64 : 0);
      have_base = true;
    }
    if (r.address >= base + BLOCK) break;
    for (uint32_t i = 0; i < r.length; ++i) {
      uint32_t a = r.address + i;
      if (a < base) continue;  // sent with the previous block
      if (a >= base + BLOCK) break;
      m_block[a - base] = r.data[i];
    }
    if (r.address + r.length > base + BLOCK) {
      // Does not fit: the rest starts the next block.
      m_next_consumed = pos;
      m_next_split = true;
      m_base = static_cast<uint16_t>(base);
      return BLOCK_READY;
    }
    split = false;
    pos += r.chars;
  }
  if (!parsed) return FAILED;
  m_base = static_cast<uint16_t>(base);
  m_next_consumed = pos;
  m_next_split = false;
  return BLOCK_READY;
}

void HexBlockReader::Accept() {
  m_consumed = m_next_consumed;
  m_split = m_next_split;
  m_page = m_block_page;
  m_extended = m_block_extended;
}
