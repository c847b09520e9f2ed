// Pixel frames: a rectangle of pixel values of a depth chosen at Open,
// held packed in one byte buffer with no gap between rows. The renderer's
// adapter, the display task and the module diagnostics all pass pictures
// and result maps around as disp::frame.
//
// Pixel i = y * width + x. Packed layouts, by depth:
//   1 bit   bit i % 8 of byte i / 8 (bit 0 least significant)
//   2 bits  bits 2(i % 4) .. 2(i % 4) + 1 of byte i / 4
//   3 bits  bits 3i .. 3i + 2 of the buffer as one little-endian bit stream
//   15      bytes 2i (low) and 2i + 1 (high), 16 bits stored
//   24      bytes 3i, 3i + 1, 3i + 2, least significant first
#pragma once

#include <cstdint>

namespace disp {

class pixel {
 public:
  pixel() = default;
  pixel(uint16_t px, uint16_t py, uint32_t v = 0) : x(px), y(py), value(v) {}
  virtual ~pixel() = default;

  uint16_t x = 0;
  uint16_t y = 0;
  uint32_t value = 0;  // only the low bits of the frame's depth count
};

// Three bytes a frame's producer sets and its consumer reads; the frame
// itself never looks at them. a0: pattern mode, a1 / a2: page on / off time.
class frame_attributes {
 public:
  virtual ~frame_attributes() = default;

  uint8_t a0 = 0;
  uint8_t a1 = 0;
  uint8_t a2 = 0;
};

// The pixel store of one depth. Counts the lit (non-zero) pixels as they
// are written.
class frame_state {
 public:
  static constexpr uint8_t OPEN = 2;

  virtual ~frame_state();
  virtual bool Open(uint16_t height, uint16_t width, uint32_t fill) = 0;
  virtual bool Close() = 0;
  virtual bool GetPixel(pixel& p) = 0;
  virtual bool SetPixel(pixel& p) = 0;
  // Writes the fill of Open into every pixel; true when no pixel is lit
  // afterwards.
  virtual bool Clear();

  bool IsOpen() const { return m_byState == OPEN; }
  // Lit pixels among pixel indexes [first, end).
  uint32_t CountLit(uint64_t first, uint64_t end);
  // Pixel indexes touched by packed bytes [first, end).
  void PixelsOfBytes(uint64_t first, uint64_t end, uint64_t* pixel_first, uint64_t* pixel_end) const;

  uint8_t m_byState = 0;
  uint32_t m_dwColourType = 0;
  uint16_t m_wHeight = 0;
  uint16_t m_wWidth = 0;
  uint32_t m_dwFill = 0;
  uint8_t* m_pBuffer = nullptr;
  uint32_t m_dwBitCount = 0;
  uint32_t m_dwByteCount = 0;
  uint32_t m_dwLitCount = 0;

 protected:
  explicit frame_state(uint32_t colour_type) : m_dwColourType(colour_type) {}
  // Common steps of Open up to the allocation: refused when open, when the
  // fill is beyond `max_value`, or when the buffer can't be had.
  bool Begin(uint16_t height, uint16_t width, uint32_t fill, uint32_t max_value, uint32_t bits_per_pixel);
  bool End();
  // Pixel index of an in-bounds pixel of an open store, or false.
  bool IndexOf(const pixel& p, uint64_t* index) const;
  // Keeps the lit count as a pixel goes from `before` to `after`.
  void CountChange(uint32_t before, uint32_t after);
};

class frame_1bit : public frame_state {
 public:
  frame_1bit() : frame_state(1) {}
  ~frame_1bit() override;
  bool Open(uint16_t height, uint16_t width, uint32_t fill) override;
  bool Close() override;
  bool GetPixel(pixel& p) override;
  bool SetPixel(pixel& p) override;
};

class frame_2bit : public frame_state {
 public:
  frame_2bit() : frame_state(2) {}
  ~frame_2bit() override;
  bool Open(uint16_t height, uint16_t width, uint32_t fill) override;
  bool Close() override;
  bool GetPixel(pixel& p) override;
  bool SetPixel(pixel& p) override;
};

class frame_3bit : public frame_state {
 public:
  frame_3bit() : frame_state(3) {}
  ~frame_3bit() override;
  bool Open(uint16_t height, uint16_t width, uint32_t fill) override;
  bool Close() override;
  bool GetPixel(pixel& p) override;
  bool SetPixel(pixel& p) override;
};

class frame_15bit : public frame_state {
 public:
  frame_15bit() : frame_state(15) {}
  ~frame_15bit() override;
  bool Open(uint16_t height, uint16_t width, uint32_t fill) override;
  bool Close() override;
  bool GetPixel(pixel& p) override;
  bool SetPixel(pixel& p) override;
};

class frame_24bit : public frame_state {
 public:
  frame_24bit() : frame_state(24) {}
  ~frame_24bit() override;
  bool Open(uint16_t height, uint16_t width, uint32_t fill) override;
  bool Close() override;
  bool GetPixel(pixel& p) override;
  bool SetPixel(pixel& p) override;
};

class frame {
 public:
  frame() = default;
  virtual ~frame();
  frame(const frame&) = delete;
  frame& operator=(const frame&) = delete;

  // Depth 1, 2, 3, 15 or 24; refused while open.
  virtual bool Open(uint16_t height, uint16_t width, uint32_t fill, uint32_t depth);
  virtual bool Close();
  virtual bool GetPixel(pixel& p);
  virtual bool SetPixel(pixel& p);
  // The packed pixels of a frame of the same colour type and size.
  virtual bool CopyFrom(frame* other);
  virtual bool Clear();
  // Packed bytes in at *cursor; refused (nothing written) when they would
  // run past the buffer.
  virtual bool WritePacked(uint32_t& cursor, const uint8_t* data, uint32_t length);
  // Up to `length` packed bytes out from *cursor; out is zeroed first.
  // False with got 0 at the end of the buffer.
  virtual bool ReadPacked(uint32_t& cursor, uint8_t* out, uint32_t length, uint32_t& got);
  virtual uint32_t LitCount();
  virtual uint32_t ColourType();
  virtual uint16_t Height();
  virtual uint16_t Width();

  frame_attributes m_attributes;
  frame_state* m_pStore = nullptr;
};

}  // namespace disp
