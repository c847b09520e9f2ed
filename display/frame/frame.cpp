#include "display/frame/frame.h"

#include <cstring>
#include <new>

namespace disp {

namespace {

uint32_t bits_per_pixel(uint32_t colour_type) {
  switch (colour_type) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    case 15: return 16;
    case 24: return 24;
  }
  return 0;
}

}  // namespace

// ------------------------------------------------------------- frame_state

frame_state::~frame_state() {
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
}

bool frame_state::Begin(uint16_t height, uint16_t width, uint32_t fill, uint32_t max_value, uint32_t bits) {
  if (IsOpen() || fill > max_value) return false;
  const uint64_t n = static_cast<uint64_t>(height) * width;
  const uint64_t bit_count = n * bits;
  const uint64_t byte_count = (bit_count + 7) / 8;
  // The counts are kept in 32 bits; a geometry beyond that is refused
  // rather than wrapped into a buffer smaller than its pixels.
  if (bit_count > 0xFFFFFFFFull) return false;
  uint8_t* buffer = new (std::nothrow) uint8_t[byte_count ? byte_count : 1];
  if (!buffer) return false;
  delete[] m_pBuffer;
  m_pBuffer = buffer;
  m_wHeight = height;
  m_wWidth = width;
  m_dwFill = fill;
  m_dwBitCount = static_cast<uint32_t>(bit_count);
  m_dwByteCount = static_cast<uint32_t>(byte_count);
  m_dwLitCount = 0;
  return true;
}

bool frame_state::End() {
  m_byState = OPEN;
  return true;
}

bool frame_state::IndexOf(const pixel& p, uint64_t* index) const {
  if (!IsOpen() || !m_pBuffer || p.x >= m_wWidth || p.y >= m_wHeight) return false;
  *index = static_cast<uint64_t>(p.y) * m_wWidth + p.x;
  return true;
}

void frame_state::CountChange(uint32_t before, uint32_t after) {
  if (before == 0 && after != 0) ++m_dwLitCount;
  else if (before != 0 && after == 0 && m_dwLitCount > 0) --m_dwLitCount;
}

bool frame_state::Clear() {
  if (!IsOpen()) return false;
  for (uint32_t x = 0; x < m_wWidth; ++x)
    for (uint32_t y = 0; y < m_wHeight; ++y) {
      pixel p(static_cast<uint16_t>(x), static_cast<uint16_t>(y), m_dwFill);
      SetPixel(p);
    }
  return m_dwLitCount == 0;
}

uint32_t frame_state::CountLit(uint64_t first, uint64_t end) {
  if (!IsOpen() || m_wWidth == 0) return 0;
  const uint64_t n = static_cast<uint64_t>(m_wHeight) * m_wWidth;
  if (end > n) end = n;
  uint32_t lit = 0;
  for (uint64_t i = first; i < end; ++i) {
    pixel p(static_cast<uint16_t>(i % m_wWidth), static_cast<uint16_t>(i / m_wWidth));
    if (GetPixel(p) && p.value) ++lit;
  }
  return lit;
}

void frame_state::PixelsOfBytes(uint64_t first, uint64_t end, uint64_t* pixel_first, uint64_t* pixel_end) const {
  const uint64_t bits = bits_per_pixel(m_dwColourType);
  const uint64_t n = static_cast<uint64_t>(m_wHeight) * m_wWidth;
  *pixel_first = bits ? first * 8 / bits : 0;
  *pixel_end = bits ? (end * 8 + bits - 1) / bits : 0;
  if (*pixel_end > n) *pixel_end = n;
}

// ------------------------------------------------------------------ 1 bit

frame_1bit::~frame_1bit() { Close(); }

bool frame_1bit::Open(uint16_t height, uint16_t width, uint32_t fill) {
  if (!Begin(height, width, fill, 1, 1)) return false;
  // The bits past the last pixel are set with the pixels.
  std::memset(m_pBuffer, fill ? 0xFF : 0x00, m_dwByteCount);
  m_dwLitCount = fill ? static_cast<uint32_t>(height) * width : 0;
  return End();
}

bool frame_1bit::Close() {
  if (!IsOpen()) return false;
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
  m_byState = 1;
  return true;
}

bool frame_1bit::GetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  p.value = (m_pBuffer[i / 8] >> (i % 8)) & 1u;
  return true;
}

bool frame_1bit::SetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  uint8_t& byte = m_pBuffer[i / 8];
  const uint8_t bit = static_cast<uint8_t>(1u << (i % 8));
  const uint32_t after = p.value ? 1 : 0;
  CountChange((byte & bit) ? 1 : 0, after);
  byte = static_cast<uint8_t>(after ? byte | bit : byte & ~bit);
  return true;
}

// ------------------------------------------------------------------ 2 bits

frame_2bit::~frame_2bit() { Close(); }

bool frame_2bit::Open(uint16_t height, uint16_t width, uint32_t fill) {
  if (!Begin(height, width, fill, 3, 2)) return false;
  std::memset(m_pBuffer, static_cast<int>(fill | fill << 2 | fill << 4 | fill << 6), m_dwByteCount);
  m_dwLitCount = fill ? static_cast<uint32_t>(height) * width : 0;
  return End();
}

bool frame_2bit::Close() {
  if (!IsOpen()) return false;
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
  m_byState = 1;
  return true;
}

bool frame_2bit::GetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  p.value = (m_pBuffer[i / 4] >> (2 * (i % 4))) & 3u;
  return true;
}

bool frame_2bit::SetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  uint8_t& byte = m_pBuffer[i / 4];
  const uint32_t shift = 2 * (i % 4);
  const uint32_t after = p.value & 3u;
  CountChange((byte >> shift) & 3u, after);
  byte = static_cast<uint8_t>((byte & ~(3u << shift)) | after << shift);
  return true;
}

// ------------------------------------------------------------------ 3 bits

frame_3bit::~frame_3bit() { Close(); }

bool frame_3bit::Open(uint16_t height, uint16_t width, uint32_t fill) {
  if (!Begin(height, width, fill, 7, 3)) return false;
  std::memset(m_pBuffer, 0, m_dwByteCount);
  End();
  if (fill)
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) {
        pixel p(static_cast<uint16_t>(x), static_cast<uint16_t>(y), fill);
        SetPixel(p);
      }
  return true;
}

bool frame_3bit::Close() {
  if (!IsOpen()) return false;
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
  m_byState = 1;
  return true;
}

// A pixel is read and written through the 16-bit window of its first byte
// and the next; the next byte is touched only when the pixel reaches into
// it, so the last pixel never touches a byte past the buffer.
bool frame_3bit::GetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  const uint64_t bit = 3 * i;
  const uint64_t at = bit / 8;
  const uint32_t shift = bit % 8;
  uint32_t window = m_pBuffer[at];
  if (shift > 5) window |= static_cast<uint32_t>(m_pBuffer[at + 1]) << 8;
  p.value = (window >> shift) & 7u;
  return true;
}

bool frame_3bit::SetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  const uint64_t bit = 3 * i;
  const uint64_t at = bit / 8;
  const uint32_t shift = bit % 8;
  const bool straddles = shift > 5;
  uint32_t window = m_pBuffer[at];
  if (straddles) window |= static_cast<uint32_t>(m_pBuffer[at + 1]) << 8;
  const uint32_t after = p.value & 7u;
  CountChange((window >> shift) & 7u, after);
  window = (window & ~(7u << shift)) | after << shift;
  m_pBuffer[at] = static_cast<uint8_t>(window);
  if (straddles) m_pBuffer[at + 1] = static_cast<uint8_t>(window >> 8);
  return true;
}

// ----------------------------------------------------------------- 15 bits

frame_15bit::~frame_15bit() { Close(); }

bool frame_15bit::Open(uint16_t height, uint16_t width, uint32_t fill) {
  if (!Begin(height, width, fill, 0xFFFF, 16)) return false;
  for (uint32_t i = 0; i + 1 < m_dwByteCount; i += 2) {
    m_pBuffer[i] = static_cast<uint8_t>(fill);
    m_pBuffer[i + 1] = static_cast<uint8_t>(fill >> 8);
  }
  m_dwLitCount = fill ? static_cast<uint32_t>(height) * width : 0;
  return End();
}

bool frame_15bit::Close() {
  if (!IsOpen()) return false;
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
  m_byState = 1;
  return true;
}

bool frame_15bit::GetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  p.value = m_pBuffer[2 * i] | static_cast<uint32_t>(m_pBuffer[2 * i + 1]) << 8;
  return true;
}

bool frame_15bit::SetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  uint8_t* b = m_pBuffer + 2 * i;
  const uint32_t after = p.value & 0xFFFFu;
  CountChange(b[0] | static_cast<uint32_t>(b[1]) << 8, after);
  b[0] = static_cast<uint8_t>(after);
  b[1] = static_cast<uint8_t>(after >> 8);
  return true;
}

// ----------------------------------------------------------------- 24 bits

frame_24bit::~frame_24bit() { Close(); }

bool frame_24bit::Open(uint16_t height, uint16_t width, uint32_t fill) {
  if (!Begin(height, width, fill, 0xFFFFFF, 24)) return false;
  for (uint32_t i = 0; i + 2 < m_dwByteCount; i += 3) {
    m_pBuffer[i] = static_cast<uint8_t>(fill);
    m_pBuffer[i + 1] = static_cast<uint8_t>(fill >> 8);
    m_pBuffer[i + 2] = static_cast<uint8_t>(fill >> 16);
  }
  m_dwLitCount = fill ? static_cast<uint32_t>(height) * width : 0;
  return End();
}

bool frame_24bit::Close() {
  if (!IsOpen()) return false;
  delete[] m_pBuffer;
  m_pBuffer = nullptr;
  m_byState = 1;
  return true;
}

bool frame_24bit::GetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  const uint8_t* b = m_pBuffer + 3 * i;
  p.value = b[0] | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16;
  return true;
}

bool frame_24bit::SetPixel(pixel& p) {
  uint64_t i;
  if (!IndexOf(p, &i)) return false;
  uint8_t* b = m_pBuffer + 3 * i;
  const uint32_t after = p.value & 0xFFFFFFu;
  CountChange(b[0] | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16, after);
  b[0] = static_cast<uint8_t>(after);
  b[1] = static_cast<uint8_t>(after >> 8);
  b[2] = static_cast<uint8_t>(after >> 16);
  return true;
}

// ------------------------------------------------------------------- frame

frame::~frame() { frame::Close(); }

bool frame::Open(uint16_t height, uint16_t width, uint32_t fill, uint32_t depth) {
  if (m_pStore) return false;
  frame_state* store = nullptr;
  switch (depth) {
    case 1: store = new (std::nothrow) frame_1bit(); break;
    case 2: store = new (std::nothrow) frame_2bit(); break;
    case 3: store = new (std::nothrow) frame_3bit(); break;
    case 15: store = new (std::nothrow) frame_15bit(); break;
    case 24: store = new (std::nothrow) frame_24bit(); break;
    default: return false;
  }
  if (!store) return false;
  if (!store->Open(height, width, fill)) {
    delete store;
    return false;
  }
  m_pStore = store;
  return true;
}

bool frame::Close() {
  if (!m_pStore) return false;
  m_pStore->Close();
  delete m_pStore;
  m_pStore = nullptr;
  return true;
}

bool frame::GetPixel(pixel& p) { return m_pStore && m_pStore->GetPixel(p); }

bool frame::SetPixel(pixel& p) { return m_pStore && m_pStore->SetPixel(p); }

bool frame::CopyFrom(frame* other) {
  if (!other) return false;
  if (other->ColourType() != ColourType() || other->Height() != Height() || other->Width() != Width()) return false;
  if (!m_pStore || !m_pStore->IsOpen() || !m_pStore->m_pBuffer) return false;
  const uint32_t count = m_pStore->m_dwByteCount;
  const frame_state* source = other->m_pStore;
  if (source && source->IsOpen() && source->m_pBuffer && source->m_dwByteCount == count) {
    std::memmove(m_pStore->m_pBuffer, source->m_pBuffer, count);
  } else {
    // A frame without a store of its own (the renderer's adapter) hands
    // out the same packed layout through ReadPacked.
    uint32_t cursor = 0;
    uint32_t done = 0;
    uint8_t chunk[256];
    while (done < count) {
      uint32_t want = count - done < sizeof chunk ? count - done : static_cast<uint32_t>(sizeof chunk);
      uint32_t got = 0;
      if (!other->ReadPacked(cursor, chunk, want, got) || got == 0) break;
      if (got > want) got = want;
      std::memcpy(m_pStore->m_pBuffer + done, chunk, got);
      done += got;
    }
    if (done < count) {
      m_pStore->m_dwLitCount = m_pStore->CountLit(0, UINT64_MAX);
      return false;
    }
  }
  m_pStore->m_dwLitCount = m_pStore->CountLit(0, UINT64_MAX);
  return true;
}

bool frame::Clear() { return m_pStore && m_pStore->Clear(); }

bool frame::WritePacked(uint32_t& cursor, const uint8_t* data, uint32_t length) {
  if (!m_pStore || !m_pStore->IsOpen() || !data) return false;
  if (static_cast<uint64_t>(cursor) + length > m_pStore->m_dwByteCount) return false;
  uint64_t first = 0, end = 0;
  m_pStore->PixelsOfBytes(cursor, static_cast<uint64_t>(cursor) + length, &first, &end);
  // The lit count follows the pixels the bytes replace.
  const uint32_t before = m_pStore->CountLit(first, end);
  if (length) std::memcpy(m_pStore->m_pBuffer + cursor, data, length);
  const uint32_t after = m_pStore->CountLit(first, end);
  m_pStore->m_dwLitCount = m_pStore->m_dwLitCount - before + after;
  cursor += length;
  return true;
}

bool frame::ReadPacked(uint32_t& cursor, uint8_t* out, uint32_t length, uint32_t& got) {
  got = 0;
  if (!m_pStore || !m_pStore->IsOpen() || !out || cursor >= m_pStore->m_dwByteCount) return false;
  std::memset(out, 0, length);
  const uint32_t left = m_pStore->m_dwByteCount - cursor;
  const uint32_t n = length < left ? length : left;
  std::memcpy(out, m_pStore->m_pBuffer + cursor, n);
  cursor += n;
  got = n;
  return true;
}

uint32_t frame::LitCount() { return m_pStore ? m_pStore->m_dwLitCount : 0; }

uint32_t frame::ColourType() { return m_pStore ? m_pStore->m_dwColourType : 0; }

uint16_t frame::Height() { return m_pStore ? m_pStore->m_wHeight : 0; }

uint16_t frame::Width() { return m_pStore ? m_pStore->m_wWidth : 0; }

}  // namespace disp
