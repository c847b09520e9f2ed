// Pixel reports of the display modules: which pixels of which colour
// failed, by the report layout of the module type, marked in the result
// frame during a test and in the aux frame (real-time diagnostics)
// outside one. Whole modules that do not answer are marked here too.
//
// A report is a CAN frame on line L with identifier base + k (base 0x300,
// or 0x500 for faces with two response words); k names the module and the
// part of it (and for single-bit layouts the colour). Two-plane layouts
// give each pixel a two-bit failure code from a high and a low byte;
// single-bit layouts one bit per pixel.
#include <cstring>

#include "display/core/face.h"
#include "display/modbus/diag_ksr7100.h"
#include "frame/trace/trace.h"

namespace {

enum class layout { none, A, B, C, D, E, F, G, H, I, J, K, L, M, N, P, Q, R };

bool in(uint32_t v, std::initializer_list<uint32_t> set) {
  for (uint32_t s : set)
    if (s == v) return true;
  return false;
}

layout layout_of(uint32_t type) {
  if (in(type, {1, 6, 126})) return layout::A;
  if (in(type, {2, 7, 127})) return layout::B;
  if (in(type, {3, 128})) return layout::C;
  if (type == 4) return layout::D;
  if (type == 5) return layout::E;
  if (type == 8) return layout::F;
  if (type == 106) return layout::G;
  if (in(type, {17, 94, 98, 102, 155, 169})) return layout::H;
  if (in(type, {18, 95, 99, 103, 119})) return layout::I;
  if (in(type, {21, 154})) return layout::J;
  if (in(type, {22, 118})) return layout::K;
  if (type == 23) return layout::L;
  if (in(type, {11, 15, 19, 96, 100, 104})) return layout::M;
  if (type == 24) return layout::N;
  if (in(type, {97, 101, 105})) return layout::P;
  if (type == 27) return layout::Q;
  if (type == 172) return layout::R;
  return layout::none;
}

inline uint8_t bit(uint8_t byte, uint32_t b) { return static_cast<uint8_t>((byte >> b) & 1u); }

// The two-bit failure code of bit b of a high and a low plane byte.
inline uint8_t plane_code(uint8_t high, uint8_t low, uint32_t b) {
  return static_cast<uint8_t>(bit(high, b) << 1 | bit(low, b));
}

}  // namespace

uint8_t diag_ksr7100::FailureBits(uint8_t code, uint32_t colour) const {
  if (!code || !m_pDescription) return 0;
  if (colour >= 1 && colour <= 3) return static_cast<uint8_t>(1u << (colour - 1));
  if (m_pDescription->depth == 3) return 0x7;
  if (m_pDescription->depth == 2 || m_pDescription->module_type_flag == 1) return 0x3;
  return 0x1;
}

bool diag_ksr7100::PixelInModules(int32_t row, int32_t column) const {
  if (!m_pDescription || row < 1 || column < 1) return false;
  const disp::face_description& d = *m_pDescription;
  if (!d.module_height || static_cast<uint32_t>(row - 1) >= d.height) return false;
  const uint32_t module_row = static_cast<uint32_t>(row - 1) / d.module_height;
  if (module_row >= 9) return false;
  return static_cast<uint32_t>(column - 1) < static_cast<uint32_t>(d.module_width) * d.modules_per_row[module_row];
}

void diag_ksr7100::MarkPixel(int32_t row, int32_t column, uint8_t code, uint32_t colour) {
  if (!PixelInModules(row, column)) return;
  const uint8_t bits = FailureBits(code, colour);
  const uint16_t x = static_cast<uint16_t>(column - 1), y = static_cast<uint16_t>(row - 1);
  if (m_byState < TESTING) {
    disp::frame* f = m_pAuxResults;
    if (!f) return;
    disp::pixel p(x, y);
    if (code) {
      if (!f->GetPixel(p)) return;
      p.value |= bits;
    } else {
      p.value = 0;
    }
    f->SetPixel(p);
    return;
  }
  // A test only adds failures; its frame is cleared when it starts.
  if (!code || !m_pResults) return;
  disp::pixel p(x, y);
  if (!m_pResults->GetPixel(p)) return;
  p.value |= bits;
  m_pResults->SetPixel(p);
}

void diag_ksr7100::MarkModule(uint32_t line, uint32_t position, uint8_t code, uint32_t colour) {
  if (!m_pDescription || line >= LINES) return;
  const disp::face_description& d = *m_pDescription;
  if (code) monitor_printf_debug("mark mod:%d,%d as failed\n", static_cast<int>(line), static_cast<int>(position));
  const bool split = SplitLines();
  const uint32_t column = split && line % 2 ? position + ModulesPerLine() : position;
  const int32_t x0 = static_cast<int32_t>(column * d.module_width);
  const int32_t y0 = static_cast<int32_t>((split ? line / 2 : line) * d.module_height);
  for (int32_t r = 1; r <= d.module_height; ++r)
    for (int32_t c = 1; c <= d.module_width; ++c) MarkPixel(y0 + r, x0 + c, code, colour);
}

void diag_ksr7100::DecodePixelErrors(uint32_t line, uint32_t id, uint32_t length, const uint8_t* data) {
  if (!m_pDescription || !data || length == 0 || line >= LINES) return;
  const disp::face_description& d = *m_pDescription;
  // Bytes the report did not carry read as 0.
  uint8_t b[8] = {};
  std::memcpy(b, data, length < 8 ? length : 8);
  // An identifier below the face's base names no module.
  const uint32_t base = TwoResponseWords() ? 0x500 : 0x300;
  if (id < base) return;
  const uint32_t k = id - base;

  const bool split = SplitLines();
  const uint32_t row_line = split ? line / 2 : line;
  // The second line of a split row starts after the first line's modules.
  const int32_t shift = split && line % 2 ? static_cast<int32_t>(ModulesPerLine() * d.module_width) : 0;
  // Row r (0-based) of a module of R rows on this line, column c (from 1).
  auto mark = [&](uint32_t R, uint32_t r, int32_t c, uint8_t code, uint32_t colour) {
    if (code) MarkPixel(static_cast<int32_t>(row_line * R + 1 + r), c + shift, code, colour);
  };
  // Layouts that ignore split lines.
  auto mark_plain = [&](int32_t row, int32_t c, uint8_t code, uint32_t colour) {
    if (code) MarkPixel(row, c, code, colour);
  };

  switch (layout_of(d.module_type)) {
    case layout::A:
    case layout::B:
    case layout::F:
    case layout::G: {
      const layout l = layout_of(d.module_type);
      const uint32_t W = l == layout::F ? 6 : 5;
      const uint32_t R = l == layout::A ? 7 : l == layout::G ? 8 : 9;
      int32_t c = static_cast<int32_t>((k >> 3) * W + (k & 7)) + 1;
      for (uint32_t j = 0; j < 2; ++j, ++c) {
        if (l == layout::G) {
          for (uint32_t r = 0; r < 8; ++r) mark(R, r, c, plane_code(b[j], b[j + 4], r), 1);
        } else {
          const uint32_t i = 2 * j;
          const uint32_t rows = l == layout::A ? 7 : 8;
          for (uint32_t r = 0; r < rows; ++r) mark(R, r, c, plane_code(b[i], b[i + 4], r), 1);
          if (l != layout::A) mark(R, 8, c, plane_code(b[i + 1], b[i + 5], 0), 1);
        }
        // The second column only within the same module (layout F always
        // reports two).
        if (l != layout::F && c % static_cast<int32_t>(W) == 0) break;
      }
      break;
    }
    case layout::C: {
      const int32_t first = static_cast<int32_t>(8 * (k >> 3) + 4 * (k & 1)) + 1;
      for (uint32_t j = 0; j < 4; ++j)
        for (uint32_t r = 0; r < 8; ++r) mark(8, r, first + static_cast<int32_t>(j), plane_code(b[j], b[j + 4], r), 1);
      break;
    }
    case layout::D: {
      for (uint32_t j = 0; j < 2; ++j) {
        const int32_t c = static_cast<int32_t>(2 * k + 1 + j);
        for (uint32_t r = 0; r < 8; ++r) {
          mark(16, r, c, plane_code(b[2 * j], b[2 * j + 4], r), 1);
          mark(16, r + 8, c, plane_code(b[2 * j + 1], b[2 * j + 5], r), 1);
        }
      }
      break;
    }
    case layout::E: {
      // A rotated module: bit b is the column; each report covers two rows,
      // its first half on the row offset, the second on the row above, so
      // that consecutive reports walk up the module.
      const int32_t offset = 4 - 2 * static_cast<int32_t>(k & 7);
      const int32_t first = static_cast<int32_t>((k >> 3) * 7) + 1;
      for (uint32_t half = 0; half < 2; ++half) {
        const int32_t r = offset - static_cast<int32_t>(half);
        if (r < 0 || r > 4) continue;
        const uint32_t i = 2 * half;
        for (uint32_t bb = 0; bb < 7; ++bb)
          mark(5, static_cast<uint32_t>(r), first + static_cast<int32_t>(bb), plane_code(b[i], b[i + 4], bb), 1);
      }
      break;
    }
    case layout::H:
    case layout::I: {
      const bool eighths = d.modules_per_line == 63;
      const uint32_t m = eighths ? k >> 3 : k >> 4;
      const uint32_t colour = eighths ? k & 7 : k & 15;
      const bool nine = layout_of(d.module_type) == layout::I;
      for (uint32_t j = 0; j < 5; ++j) {
        const int32_t c = static_cast<int32_t>(5 * m + 1 + j);
        for (uint32_t r = 0; r < (nine ? 8u : 7u); ++r) mark(nine ? 9 : 7, r, c, bit(b[j], r), colour);
        if (nine) mark(9, 8, c, bit(b[5], j), colour);
      }
      break;
    }
    case layout::J:
    case layout::K: {
      const uint32_t m = k >> 3, colour = k & 7;
      const bool nine = layout_of(d.module_type) == layout::K;
      for (uint32_t j = 0; j < 5; ++j) {
        const int32_t c = static_cast<int32_t>(5 * m + 1 + j);
        for (uint32_t r = 0; r < (nine ? 8u : 7u); ++r) mark(nine ? 9 : 7, r, c, bit(b[j], r), colour);
        if (nine) mark(9, 8, c, bit(b[5], 7 - j), colour);
      }
      break;
    }
    case layout::L:
    case layout::M: {
      const bool l = layout_of(d.module_type) == layout::L;
      const uint32_t first = l ? (k & ~7u) : 8 * (k >> 4);
      const uint32_t colour = l ? k & 7 : k & 15;
      for (uint32_t j = 0; j < 8; ++j)
        for (uint32_t r = 0; r < 8; ++r) mark(8, r, static_cast<int32_t>(first + 1 + j), bit(b[j], r), colour);
      break;
    }
    case layout::N: {
      const uint32_t first = (k >> 3) * 16 + (k & 3) * 4 + 1;
      for (uint32_t i = 0; i < 4; ++i)
        for (uint32_t r = 0; r < 8; ++r) {
          mark(16, r, static_cast<int32_t>(first + i), bit(b[2 * i], r), 1);
          mark(16, r + 8, static_cast<int32_t>(first + i), bit(b[2 * i + 1], r), 1);
        }
      break;
    }
    case layout::P: {
      // Four 8 x 8 quarters of a 16 x 16 module. On split lines both lines
      // of a row start at its top, the second line's modules after the
      // first line's.
      const uint32_t q = k & 3;
      const uint32_t colour = (k & 12) >> 2;
      const uint32_t first = (k & ~15u) + 1 + (q & 1 ? 8 : 0);
      const uint32_t row_base = q & 2 ? 8 : 0;
      for (uint32_t j = 0; j < 8; ++j)
        for (uint32_t r = 0; r < 8; ++r)
          mark(16, row_base + r, static_cast<int32_t>(first + j), bit(b[j], r), colour);
      break;
    }
    case layout::Q: {
      const uint32_t m = k >> 4, colour = k & 15;
      for (uint32_t j = 0; j < 8; ++j)
        for (uint32_t r = 0; r < 5; ++r)
          mark_plain(static_cast<int32_t>(line * 5 + 1 + r), static_cast<int32_t>(8 * m + 1 + j), bit(b[j], r),
                     colour);
      break;
    }
    case layout::R: {
      for (uint32_t j = 0; j < 3; ++j)
        for (uint32_t bb = 0; bb < 8; ++bb)
          mark_plain(static_cast<int32_t>(line * 24 + 17 - 8 * j + bb), static_cast<int32_t>(k + 1), bit(b[j], bb),
                     0);
      break;
    }
    case layout::none:
      break;
  }
}
