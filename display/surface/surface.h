// The in-memory picture of the whole sign face: the renderer draws a page
// into it, the display driver reads it out.
//
// Colours are 15-bit values: red in bits 0-4, green 5-9, blue 10-14. The
// store is row-major without gaps between rows; a pixel takes one byte at
// depths 1, 2 and 8 and two (big-endian) at depth 15.
#pragma once

#include <cstdint>

constexpr uint32_t SURFACE_NO_BACKGROUND = 0xFFFFFFFF;

class CSurface {
 public:
  CSurface() = default;
  virtual ~CSurface();
  CSurface(const CSurface&) = delete;
  CSurface& operator=(const CSurface&) = delete;

  // Depth 1, 2, 8 or 15. A store of the same size and depth is kept as it
  // is; otherwise a new zeroed one replaces it. Null when the heap is
  // exhausted or the depth or size can't be had (the surface is then
  // unallocated).
  uint8_t* Allocate(uint32_t height, uint32_t width, uint8_t depth);
  void Clear();
  void Free();

  // Outside the surface: 0, and nothing is set.
  uint32_t GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, uint32_t colour);
  // Not with a non-zero colour while the sign is in simulation.
  void Fill(uint32_t colour);
  void DrawColumn(int32_t x, uint32_t colour);
  void DrawRow(int32_t y, uint32_t colour);
  void FillRect(int32_t x, int32_t y, uint32_t width, uint32_t height, uint32_t colour);

  uint8_t* Pixels() const { return m_pPixels; }
  uint8_t Depth() const { return m_byDepth; }
  bool IsAllocated() const { return m_byAllocated != 0; }
  uint32_t Width() const { return m_dwWidth; }
  uint32_t Height() const { return m_dwHeight; }
  uint32_t Size() const { return m_dwSize; }
  // Bytes per pixel of a depth: fractions count as a whole byte.
  static uint32_t BytesPerPixel(uint8_t depth) { return (depth + 7u) / 8u; }

  uint8_t* m_pPixels = nullptr;
  uint8_t m_byDepth = 0;
  uint8_t m_byAllocated = 0;
  // Set by the renderer before each text run; SURFACE_NO_BACKGROUND = none.
  uint32_t m_dwTextForeground = 0;
  uint32_t m_dwTextBackground = SURFACE_NO_BACKGROUND;
  uint32_t m_dwWidth = 0;
  uint32_t m_dwHeight = 0;
  // While set, Clear leaves the pixels alone.
  uint32_t m_dwHold = 0;
  uint32_t m_dwSize = 0;

 private:
  bool Inside(int32_t x, int32_t y) const {
    return m_byAllocated && x >= 0 && y >= 0 && static_cast<uint32_t>(x) < m_dwWidth &&
           static_cast<uint32_t>(y) < m_dwHeight;
  }
  // SetPixel without the bounds test.
  void Put(uint32_t x, uint32_t y, uint32_t colour);
};

// True while the sign runs in simulation (mib_v.dmsControlMode 6): nothing
// is drawn then.
bool surface_simulation_mode();
// Character-matrix sign (mib_nv.dmsSignType 4 or 132): characters abut.
bool surface_character_matrix_sign();
