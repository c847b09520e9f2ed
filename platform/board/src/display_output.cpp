// The display FPGA: its registers, and the frames it receives decoded back
// into the sign's pixels.
#include <algorithm>

#include "display_models.h"

namespace board {

display_format format_for_image(const std::string& part) {
  display_format f;
  if (part == "PX5581320") {
    f.layout = 1;  // 16 x 16 modules: bands of 8 rows
  } else if (part == "PX6642915") {
    f.layout = 9;
    f.colours = 2;
  } else if (part == "PX7730468") {
    f.layout = 9;
    f.colours = 3;
  }
  // The monochrome image, and whatever the board was powered up with:
  // column by column.
  return f;
}

void display_frame_size(uint32_t module_type, uint16_t width_reg, uint16_t height_reg, uint32_t* width,
                        uint32_t* height) {
  uint32_t w = width_reg, h = height_reg;
  if (module_type == 5) {
    // Modules 7 wide and 5 high stand on their side.
    w = width_reg / 5u * 7u;
    h = height_reg / 7u * 5u;
  } else if (module_type == 27) {
    h = height_reg / 8u * 5u;
  } else if (module_type == 106) {
    // The frame carries a blank row after every 8 and a blank column after
    // every 5: the registers count them.
    auto undo = [](uint32_t reg, uint32_t every) {
      for (uint32_t v = reg * every / (every + 1) > 2 ? reg * every / (every + 1) - 2 : 0; v <= reg; ++v)
        if (v + v / every == reg) return v;
      return reg * every / (every + 1);
    };
    h = undo(height_reg, 8);
    w = undo(width_reg, 5);
  }
  *width = w;
  *height = h;
}

namespace {

// Where each byte of a frame comes from: pixel index * 2 + 1 for a pixel's
// byte (or a word's low byte), pixel index * 2 for a word's high byte, -1
// for a byte that is not a pixel. Stops growing past `limit` entries.
class frame_map {
 public:
  frame_map(uint32_t w, uint32_t h, size_t limit) : m_w(w), m_h(h), m_limit(limit) {}

  void pixel(uint64_t x, uint64_t y, int part = 1) {
    push(x < m_w && y < m_h ? static_cast<int64_t>((y * m_w + x) * 2 + part) : -1);
  }
  void index(int64_t i, int part = 1) {
    push(i >= 0 && static_cast<uint64_t>(i) < static_cast<uint64_t>(m_w) * m_h ? i * 2 + part : -1);
  }
  void blank(uint64_t n) {
    for (uint64_t k = 0; k < n && !over(); ++k) push(-1);
  }
  bool over() const { return m_map.size() > m_limit; }
  const std::vector<int64_t>& entries() const { return m_map; }

 private:
  void push(int64_t v) {
    if (!over()) m_map.push_back(v);
  }
  uint32_t m_w, m_h;
  size_t m_limit;
  std::vector<int64_t> m_map;
};

bool map_bands(frame_map& m, uint32_t w, uint32_t rows, uint32_t bands) {
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t x = 0; x < w; ++x) {
      if (m.over()) return false;
      for (uint32_t j = 0; j < bands; ++j) m.pixel(x, static_cast<uint64_t>(rows) * j + r);
    }
  return true;
}

uint32_t raise_to_even(uint32_t n, uint32_t most) { return (n & 1) && n <= most ? n + 1 : n; }

// The byte order of each layout, as the FPGA reads a frame.
bool build_map(const display_format& f, uint32_t w, uint32_t h, frame_map& m, bool* wide) {
  *wide = false;
  const uint32_t type = f.module_type;
  switch (f.layout) {
    case 1: return map_bands(m, w, 8, (h + 7) / 8);
    case 2: return map_bands(m, w, 4, (h + 3) / 4);
    case 3: return map_bands(m, w, 16, raise_to_even(h / 16, 7));
    case 4: return map_bands(m, w, 24, raise_to_even(h / 24, 7));
    case 5: {
      const uint32_t n = raise_to_even(h / 7, 15);
      for (uint32_t r = 0; r < 7; ++r)
        for (uint32_t x = 0; x < w; ++x) {
          if (m.over()) return false;
          for (uint32_t j = 0; j < n; j += 2) m.pixel(x, 7ull * j + r);
          for (uint32_t j = 1; j < n; j += 2) m.pixel(x, 7ull * j + r);
        }
      return true;
    }
    case 6:
      if (type == 5) {
        for (uint32_t g = 0; g < w / 7; ++g)
          for (uint32_t r = 0; r < 5; ++r)
            for (uint32_t b = 0; b < h / 5; ++b) {
              if (m.over()) return false;
              for (uint32_t c = 0; c < 7; ++c) m.pixel(7ull * g + c, 5ull * b + 4 - r);
              m.blank(1);
            }
        return true;
      }
      for (uint32_t x = 0; x < w; ++x) {
        if (m.over()) return false;
        for (uint32_t y = 0; y < h; ++y) {
          m.pixel(x, y);
          if ((y + 1) % 7 == 0) m.blank(1);
        }
      }
      return true;
    case 7:
      for (uint32_t x = 0; x < w; ++x) {
        if (m.over()) return false;
        for (uint32_t y = 0; y < h; ++y) m.pixel(x, y);
      }
      return true;
    case 8:
      for (uint32_t x = 0; x < w; ++x) {
        if (m.over()) return false;
        for (uint32_t y = 0; y < h; ++y) {
          m.pixel(x, y);
          if (type == 106 ? (y + 1) % 8 == 0 : (y + 1) % 9 == 0) m.blank(type == 106 ? 2 : 1);
        }
        if (type == 106 && (x + 1) % 5 == 0) m.blank(static_cast<uint64_t>(h) + h / 4);
      }
      return true;
    case 9:
      *wide = true;
      for (uint32_t x = 0; x < w; ++x) {
        if (m.over()) return false;
        for (uint32_t y = 0; y < h; ++y) {
          m.pixel(x, y, 0);
          m.pixel(x, y, 1);
          if (type == 27 && (y + 1) % 5 == 0) m.blank(6);
        }
      }
      return true;
    case 10: {
      const int64_t a = f.chain_columns, b = f.chain_rows, c = f.blank_records, chains = f.chains;
      if (!f.module_width || !f.module_height) return false;
      const int64_t d = w / f.module_width, e = h / f.module_height;
      if (d * e > 24) return false;
      int64_t start, s1, s7, s9, s11, s13;
      if (!f.rotated) {
        start = a * d * (b - 1) + (a - 1);
        s1 = a * d * b;
        s7 = -(a * d);
        s9 = -1;
        s11 = a * d * b * chains;
        s13 = a;
      } else {
        start = b - 1;
        s1 = b * d * a;
        s7 = -1;
        s9 = b * d;
        s11 = b * d * a * chains;
        s13 = b;
      }
      for (int64_t i = 0; i < chains; ++i) {
        m.blank(static_cast<uint64_t>(c) * 24);
        for (int64_t i7 = 0; i7 < b; ++i7)
          for (int64_t i9 = 0; i9 < a; ++i9) {
            if (m.over()) return false;
            for (int64_t i11 = 0; i11 < e; ++i11)
              for (int64_t i13 = 0; i13 < d; ++i13)
                m.index(start + i * s1 + i7 * s7 + i9 * s9 + i11 * s11 + i13 * s13);
            m.blank(static_cast<uint64_t>(24 - d * e));
          }
      }
      return true;
    }
    case 11:
      if (h == 7 || h == 8) {
        for (uint32_t x = 0; x < w; ++x) {
          if (m.over()) return false;
          for (uint32_t k = 0; k < 8; ++k) {
            m.pixel(x, k);
            m.blank(1);
          }
        }
        return true;
      }
      [[fallthrough]];
    case 12: {
      const uint32_t n = h / 16;
      for (uint32_t x = 0; x < w; ++x) {
        if (m.over()) return false;
        for (uint32_t k = 0; k < 16; k += 2)
          for (uint32_t j = 0; j < n; ++j) {
            m.pixel(x, 16ull * j + k);
            m.pixel(x, 16ull * j + k + 1);
          }
      }
      return true;
    }
    default:
      // The plain copy: the surface's bytes in their own order.
      for (uint32_t y = 0; y < h; ++y) {
        if (m.over()) return false;
        for (uint32_t x = 0; x < w; ++x) m.pixel(x, y);
      }
      return true;
  }
}

}  // namespace

bool decode_display_frame(const display_format& format, uint32_t width, uint32_t height, const uint8_t* data,
                          size_t length, display_face* out) {
  frame_map m(width, height, length);
  bool wide = false;
  if (!build_map(format, width, height, m, &wide) || m.over()) return false;
  const size_t n = m.entries().size();
  // The DMA channel moves 16-bit units: an odd frame comes with one more byte.
  if (length != n + (n & 1)) return false;
  out->width = width;
  out->height = height;
  out->wide = wide;
  out->colours = format.colours;
  out->layout = format.layout;
  out->pixels.assign(static_cast<size_t>(width) * height, 0);
  for (size_t k = 0; k < n; ++k) {
    const int64_t e = m.entries()[k];
    if (e < 0) continue;
    uint16_t& p = out->pixels[static_cast<size_t>(e / 2)];
    if (!wide)
      p = data[k];
    else if (e & 1)
      p = static_cast<uint16_t>((p & 0xFF00) | data[k]);
    else
      p = static_cast<uint16_t>((p & 0x00FF) | (data[k] << 8));
  }
  return true;
}

// ------------------------------------------------------------------ registers

uint32_t display_output_model::read(uint32_t offset, unsigned width) {
  std::lock_guard<std::mutex> lk(m_lock);
  auto reg = [&](uint32_t o) -> uint16_t {
    switch (o) {
      case 0x0: return m_control;
      case 0x2: return m_width;
      case 0x4: return m_height;
      case 0x8: return static_cast<uint16_t>((m_control & 0xFF00) | format_locked().layout);
      case 0xE: return VERSION;
      default: return 0;
    }
  };
  uint32_t v = 0;
  for (unsigned i = 0; i < width; ++i) {
    const uint32_t o = (offset + i) % SIZE;
    v = (v << 8) | ((reg(o & ~1u) >> ((o & 1) ? 0 : 8)) & 0xFF);
  }
  return v;
}

void display_output_model::write(uint32_t offset, unsigned width, uint32_t value) {
  std::lock_guard<std::mutex> lk(m_lock);
  for (unsigned i = 0; i < width; ++i) {
    const uint32_t o = (offset + i) % SIZE;
    const uint8_t b = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
    uint16_t* r = nullptr;
    switch (o & ~1u) {
      case 0x0: r = &m_control; break;
      case 0x2: r = &m_width; break;
      case 0x4: r = &m_height; break;
      default: break;  // status and version are read-only
    }
    if (!r) continue;
    *r = (o & 1) ? static_cast<uint16_t>((*r & 0xFF00) | b) : static_cast<uint16_t>((*r & 0x00FF) | (b << 8));
  }
}

display_format display_output_model::format_locked() {
  return m_fixed ? m_format : format_for_image(m_epld.part_number());
}

// ------------------------------------------------------------------ frames

void display_output_model::receive(const uint8_t* data, size_t length) {
  std::function<void()> notify;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_last.assign(data, data + length);
    const display_format f = format_locked();
    uint32_t w = 0, h = 0;
    display_frame_size(f.module_type, m_width, m_height, &w, &h);
    display_face face;
    if (!decode_display_frame(f, w, h, data, length, &face)) {
      ++m_bad;
      return;
    }
    face.sequence = ++m_frames;
    m_face = std::move(face);
    notify = on_frame;
  }
  if (notify) notify();
}

void display_output_model::set_format(const display_format& format) {
  std::lock_guard<std::mutex> lk(m_lock);
  m_fixed = true;
  m_format = format;
}

void display_output_model::clear_format() {
  std::lock_guard<std::mutex> lk(m_lock);
  m_fixed = false;
}

display_format display_output_model::format() {
  std::lock_guard<std::mutex> lk(m_lock);
  return format_locked();
}

display_face display_output_model::face() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_face;
}

std::vector<uint8_t> display_output_model::last_frame() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_last;
}

uint64_t display_output_model::frames() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_frames;
}

uint64_t display_output_model::bad_frames() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_bad;
}

uint8_t display_output_model::brightness() {
  std::lock_guard<std::mutex> lk(m_lock);
  return static_cast<uint8_t>(m_control & 0xFF);
}

uint8_t display_output_model::control_bits() {
  std::lock_guard<std::mutex> lk(m_lock);
  return static_cast<uint8_t>(m_control >> 8);
}

uint16_t display_output_model::frame_width() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_width;
}

uint16_t display_output_model::frame_height() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_height;
}

}  // namespace board
