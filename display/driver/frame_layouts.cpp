#include "display/driver/frame_layouts.h"

#include <cstddef>

#include "display/surface/surface.h"

namespace {

const uint8_t kGamma20[32] = {0,  0,  1,  1,  1,  2,  2,  3,  3,  4,  4,  5,  6,  7,  8,  9,
                              10, 11, 12, 13, 14, 15, 16, 18, 19, 21, 22, 24, 25, 27, 28, 31};
const uint8_t kGamma21[32] = {0,  0,  1,  1,  1,  1,  2,  2,  3,  3,  4,  5,  5,  6,  7,  8,
                              9,  10, 11, 12, 13, 15, 16, 17, 19, 20, 22, 23, 25, 27, 28, 31};
const uint8_t kGamma23[32] = {0,  0,  0,  1,  1,  1,  1,  2,  2,  3,  3,  4,  5,  5,  6,  7,
                              8,  9,  10, 11, 12, 14, 15, 16, 18, 19, 21, 22, 24, 26, 28, 31};
const uint8_t kGammaOther[32] = {0, 0, 0,  1,  1,  1,  2,  2,  3,  3,  4,  4,  5,  6,  7,  7,
                                 8, 9, 10, 12, 13, 14, 15, 17, 18, 20, 21, 23, 25, 26, 28, 31};

// Bands of a layout that pads to an even number of them: n is raised by one
// when it is odd and at most `most`.
uint32_t even_bands(uint32_t n, uint32_t most) { return (n & 1) && n <= most ? n + 1 : n; }

bool raw_colour_type(uint32_t type) { return type == 11 || (type >= 98 && type <= 101); }

// The output cursor: every byte written or skipped counts.
class frame_out {
 public:
  frame_out(uint8_t* buf, uint32_t capacity) : m_buf(buf), m_cap(capacity) {}
  void put(uint8_t b) {
    if (m_pos < m_cap) m_buf[m_pos] = b;
    ++m_pos;
  }
  void zeros(uint64_t n) {
    for (uint64_t k = 0; k < n; ++k) put(0);
  }
  void skip(uint64_t n) { m_pos += n; }
  uint64_t count() const { return m_pos; }

 private:
  uint8_t* m_buf;
  uint64_t m_cap;
  uint64_t m_pos = 0;
};

// The surface as the layouts read it: the byte of pixel (x, y) at x + y * W,
// 0 outside.
class pixels_in {
 public:
  explicit pixels_in(const CSurface& s) : m_s(s), m_p(s.Pixels()), m_w(s.Width()), m_h(s.Height()) {}
  uint8_t p(uint64_t x, uint64_t y) const { return x < m_w && y < m_h ? m_p[x + y * m_w] : 0; }
  uint8_t at(int64_t index) const {
    return index >= 0 && static_cast<uint64_t>(index) < static_cast<uint64_t>(m_w) * m_h ? m_p[index] : 0;
  }
  uint16_t word(uint32_t x, uint32_t y) const {
    const uint8_t* q = m_p + 2 * (static_cast<size_t>(x) + static_cast<size_t>(y) * m_w);
    return static_cast<uint16_t>(q[0] << 8 | q[1]);
  }
  uint8_t low(uint64_t x, uint64_t y) const {
    return x < m_w && y < m_h ? static_cast<uint8_t>(m_s.GetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y)))
                              : 0;
  }

 private:
  const CSurface& m_s;
  const uint8_t* m_p;
  uint32_t m_w, m_h;
};

void write_bands(const pixels_in& in, frame_out& out, uint32_t w, uint32_t rows, uint32_t bands) {
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t x = 0; x < w; ++x)
      for (uint32_t j = 0; j < bands; ++j) out.put(in.p(x, static_cast<uint64_t>(rows) * j + r));
}

struct record_walk {
  int64_t a, b, c, f, d, e, start, s1, s7, s9, s11, s13;
};

bool record_walk_of(const module_type_row* row, uint32_t w, uint32_t h, record_walk* r) {
  if (!row || !row->width || !row->height) return false;
  r->f = row->pixel_test[0];
  r->a = row->pixel_test[1];
  r->b = row->pixel_test[2];
  r->c = row->line_bitrate;
  r->d = w / row->width;
  r->e = h / row->height;
  if (r->d * r->e > 24) return false;
  const int64_t a = r->a, b = r->b, d = r->d, f = r->f;
  if (!(row->fpga_control & 0x04)) {
    r->start = a * d * (b - 1) + (a - 1);
    r->s1 = a * d * b;
    r->s7 = -(a * d);
    r->s9 = -1;
    r->s11 = a * d * b * f;
    r->s13 = a;
  } else {
    r->start = b - 1;
    r->s1 = b * d * a;
    r->s7 = -1;
    r->s9 = b * d;
    r->s11 = b * d * a * f;
    r->s13 = b;
  }
  return true;
}

}  // namespace

const uint8_t* frame_gamma_table(uint8_t gamma_select) {
  switch (gamma_select) {
    case 0: return nullptr;
    case 20: return kGamma20;
    case 21: return kGamma21;
    case 23: return kGamma23;
    default: return kGammaOther;
  }
}

uint64_t frame_layout_size(const frame_layout_s& layout, uint8_t depth, uint32_t width, uint32_t height,
                           uint32_t* raised_height, frame_layout_result* result) {
  const uint64_t w = width, h = height;
  const uint32_t type = layout.module_type;
  *raised_height = height;
  *result = FRAME_LAYOUT_OK;
  switch (layout.code) {
    case 1: return 8 * w * ((h + 7) / 8);
    case 2: return 4 * w * ((h + 3) / 4);
    case 3:
    case 4:
    case 5: {
      const uint32_t rows = layout.code == 3 ? 16 : layout.code == 4 ? 24 : 7;
      const uint32_t n = height / rows;
      const uint32_t bands = even_bands(n, layout.code == 5 ? 15 : 7);
      if (bands != n) *raised_height = rows * bands;
      return rows * w * bands;
    }
    case 6:
      if (type == 5) return (w / 7) * 5 * (h / 5) * 8;
      return w * (h + h / 7);
    case 7: return w * h;
    case 8:
      if (type == 106) return w * (h + 2 * (h / 8)) + (w / 5) * (h + h / 4);
      return w * (h + h / 9);
    case 9:
      if (depth != 1 && depth != 2 && depth != 8 && depth != 15) {
        *result = FRAME_LAYOUT_BAD_DEPTH;
        return 0;
      }
      return 2 * w * h + (depth == 15 && type == 27 ? w * (h / 5) * 6 : 0);
    case 10: {
      record_walk r;
      if (!record_walk_of(layout.row, width, height, &r)) {
        *result = FRAME_LAYOUT_BAD_RECORD;
        return 0;
      }
      return static_cast<uint64_t>(r.a * r.b + r.c) * r.f * 24;
    }
    case 11:
      if (height == 7 || height == 8) return 16 * w;
      [[fallthrough]];
    case 12: return 16 * w * (h / 16);
    default: return w * h;
  }
}

frame_layout_result frame_layout_write(const frame_layout_s& layout, const CSurface& surface, uint8_t* buf,
                                       uint32_t capacity, uint32_t* count, uint32_t* raised_height) {
  *count = 0;
  *raised_height = surface.Height();
  if (!surface.IsAllocated() || !surface.Pixels()) return FRAME_LAYOUT_NO_SURFACE;
  const uint32_t w = surface.Width(), h = surface.Height();
  const uint8_t depth = surface.Depth();
  frame_layout_result result;
  uint32_t raised = h;
  const uint64_t size = frame_layout_size(layout, depth, w, h, &raised, &result);
  if (result != FRAME_LAYOUT_OK) return result;
  if (size > capacity) return FRAME_LAYOUT_TOO_LARGE;

  const pixels_in in(surface);
  frame_out out(buf, capacity);
  const uint32_t type = layout.module_type;
  switch (layout.code) {
    case 1: write_bands(in, out, w, 8, (h + 7) / 8); break;
    case 2: write_bands(in, out, w, 4, (h + 3) / 4); break;
    case 3: write_bands(in, out, w, 16, raised / 16); break;
    case 4: write_bands(in, out, w, 24, raised / 24); break;
    case 5: {
      const uint32_t n = raised / 7;
      for (uint32_t r = 0; r < 7; ++r)
        for (uint32_t x = 0; x < w; ++x) {
          for (uint32_t j = 0; j < n; j += 2) out.put(in.p(x, 7ull * j + r));
          for (uint32_t j = 1; j < n; j += 2) out.put(in.p(x, 7ull * j + r));
        }
      break;
    }
    case 6:
      if (type == 5) {
        for (uint32_t g = 0; g < w / 7; ++g)
          for (uint32_t r = 0; r < 5; ++r)
            for (uint32_t b = 0; b < h / 5; ++b) {
              for (uint32_t c = 0; c < 7; ++c) out.put(in.p(7ull * g + c, 5ull * b + 4 - r));
              out.skip(1);
            }
      } else {
        for (uint32_t x = 0; x < w; ++x)
          for (uint32_t y = 0; y < h; ++y) {
            out.put(in.p(x, y));
            if ((y + 1) % 7 == 0) out.skip(1);
          }
      }
      break;
    case 7:
      for (uint32_t x = 0; x < w; ++x)
        for (uint32_t y = 0; y < h; ++y) out.put(in.p(x, y));
      break;
    case 8:
      for (uint32_t x = 0; x < w; ++x) {
        for (uint32_t y = 0; y < h; ++y) {
          out.put(in.p(x, y));
          if (type == 106 && (y + 1) % 8 == 0) out.zeros(2);
          if (type != 106 && (y + 1) % 9 == 0) out.zeros(1);
        }
        // A blank column of the expanded height.
        if (type == 106 && (x + 1) % 5 == 0) out.zeros(static_cast<uint64_t>(h) + h / 4);
      }
      break;
    case 9: {
      const uint8_t* gamma = frame_gamma_table(layout.gamma_select);
      for (uint32_t x = 0; x < w; ++x)
        for (uint32_t y = 0; y < h; ++y) {
          if (depth != 15) {
            out.put(0);
            out.put(in.p(x, y));
            continue;
          }
          uint16_t v = in.word(x, y);
          if (!raw_colour_type(type)) {
            uint32_t a = v & 0x1F, b = (v >> 5) & 0x1F, c = (v >> 10) & 0x1F;
            if (gamma) {
              a = gamma[a];
              b = gamma[b];
              c = gamma[c];
            }
            v = static_cast<uint16_t>(c << 10 | b << 5 | a);
          }
          out.put(static_cast<uint8_t>(v >> 8));
          out.put(static_cast<uint8_t>(v));
          if (type == 27 && (y + 1) % 5 == 0) out.skip(6);
        }
      break;
    }
    case 10: {
      record_walk r;
      record_walk_of(layout.row, w, h, &r);
      for (int64_t i = 0; i < r.f; ++i) {
        out.zeros(static_cast<uint64_t>(r.c) * 24);
        for (int64_t i7 = 0; i7 < r.b; ++i7)
          for (int64_t i9 = 0; i9 < r.a; ++i9) {
            for (int64_t i11 = 0; i11 < r.e; ++i11)
              for (int64_t i13 = 0; i13 < r.d; ++i13)
                out.put(in.at(r.start + i * r.s1 + i7 * r.s7 + i9 * r.s9 + i11 * r.s11 + i13 * r.s13));
            out.zeros(static_cast<uint64_t>(24 - r.d * r.e));
          }
      }
      break;
    }
    case 11:
      if (h == 7 || h == 8) {
        for (uint32_t x = 0; x < w; ++x)
          for (uint32_t k = 0; k < 8; ++k) {
            out.put(in.low(x, k));
            out.put(0);
          }
        break;
      }
      [[fallthrough]];
    case 12: {
      const uint32_t n = h / 16;
      for (uint32_t x = 0; x < w; ++x)
        for (uint32_t k = 0; k < 16; k += 2)
          for (uint32_t j = 0; j < n; ++j) {
            out.put(in.low(x, 16ull * j + k));
            out.put(in.low(x, 16ull * j + k + 1));
          }
      break;
    }
    default:
      for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) out.put(in.p(x, y));
      break;
  }
  // The size was checked against the buffer above; the cursor agrees with it.
  *count = static_cast<uint32_t>(out.count());
  *raised_height = raised;
  return FRAME_LAYOUT_OK;
}
