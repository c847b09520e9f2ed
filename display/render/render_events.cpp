// The render callback: turns the parser's events into line and segment
// sizes and positions in the measuring pass, and into pixels on the
// message's target surface in the drawing pass.
#include <cstring>

#include "database/database.h"
#include "display/message/db_read.h"
#include "display/multi/colour.h"
#include "display/multi/multi_hooks.h"
#include "display/multi/tags.h"
#include "display/render/render.h"
#include "display/render/render_hooks.h"
#include "display/render/render_internal.h"
#include "display/surface/text.h"
#include "frame/trace/trace.h"

using namespace render_detail;

namespace {

constexpr uint32_t kGraphicRows = 50;
constexpr uint32_t kGraphicBlocks = 63;

int16_t clamp16(int64_t v) { return static_cast<int16_t>(v < INT16_MIN ? INT16_MIN : v > INT16_MAX ? INT16_MAX : v); }
uint16_t clampu16(int64_t v) { return static_cast<uint16_t>(v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : v); }

// Rounds down to a multiple of unit (a unit of 0 leaves v alone).
int64_t floor_to(int64_t v, int64_t unit) {
  if (unit <= 0) return v;
  int64_t r = v % unit;
  if (r < 0) r += unit;
  return v - r;
}

uint32_t fail(CMessage* m, int64_t position, uint32_t code) {
  m->m_nErrorPosition = static_cast<int32_t>(position);
  return code;
}

uint32_t sign_type() { return nv_value(nv::dmsSignType); }

// Offset in the MULTI text of a run's first character, from the run's
// position (offset + 1; 0 for field text, which has none).
uint32_t run_offset(uint32_t p) { return p ? p - 1 : 0; }

text_rect rect_of(const CMessage* m) {
  const text_rect_s& r = m->m_rects[m->Rect()];
  return {r.left, r.top, r.right, r.bottom};
}

moving_text_s& moving_record(CMessage* m) {
  int i = m->m_nMoving < 0 ? 0 : m->m_nMoving >= MSG_MOVING ? MSG_MOVING - 1 : m->m_nMoving;
  return m->m_moving[i];
}

int font_row(uint8_t member) { return multi_tags::font_row_of_member(member); }

// Points the message's font at the row of its font reference.
void select_font(CMessage* m) {
  int row = font_row(m->m_byFont);
  m->m_font.SetFontIndex(row < 0 ? NTCIP_FONT_ROWS : static_cast<uint32_t>(row));
}

uint32_t current_font_height(CMessage* m) {
  select_font(m);
  return m->m_font.GetHeight();
}

void origin_to_line(CMessage* m) {
  const line_record_s& line = m->CurrentLine();
  m->m_nTextX = line.x;
  m->m_nTextY = line.top;
}

// ---------------------------------------------------------------- layout

void page_start(CMessage* m) {
  if (!m->m_byMeasuring) {
    if (m->m_pSurface) m->m_pSurface->Fill(m->m_dwPageBackground);
    // Every redraw reports its fields from the first row of the table.
    m->m_wFieldCounter = 0;
  } else {
    for (int r = m->Rect(); r < MSG_RECTANGLES; ++r)
      for (auto& line : m->m_lines[r]) {
        line.x_left = line.x_centre = line.x_right = line.x = 0;
        line.w_left = line.w_centre = line.w_right = 0;
        line.top = 0;
        line.height = 0;
      }
    for (auto& moving : m->m_moving) moving.text_width = 0;
  }
  m->m_nLine = 0;
  m->m_nMoving = 0;
  origin_to_line(m);
}

void new_line(CMessage* m, bool rectangle) {
  line_record_s& line = m->CurrentLine();
  if (line.height == 0) line.height = clampu16(current_font_height(m));
  if (rectangle) {
    if (m->m_nRect < MSG_RECTANGLES - 1) ++m->m_nRect;
  } else {
    if (m->m_nLine < MSG_LINES - 1) ++m->m_nLine;
  }
  origin_to_line(m);
}

void end_segment(CMessage* m) {
  line_record_s& line = m->CurrentLine();
  const int r = m->Rect();
  const text_rect_s& rect = m->m_rects[r];
  if (line.height == 0) line.height = clampu16(current_font_height(m));
  line.SetSpacingOverride(255);
  const int64_t width = static_cast<int64_t>(rect.right) - rect.left;
  if (width < static_cast<int64_t>(line.w_left) + line.w_centre + line.w_right) m->m_byLineJustification[r] = 2;
  const bool char_matrix = sign_is_character_matrix(sign_type());
  const int64_t module = char_matrix ? multi_module(nv_value(nv::quorModuleID)).width : 0;
  switch (m->m_byLineJustification[r]) {
    case 1:
    case 5:
      break;
    case 3: {
      int64_t x = rect.left + (width - line.w_centre) / 2;
      if (char_matrix) x = floor_to(x, module);
      line.x_centre = clamp16(x);
      if (line.w_left == 0) line.x = line.x_centre;
      break;
    }
    case 4: {
      int64_t x = static_cast<int64_t>(rect.right) - line.w_right;
      if (char_matrix) x = floor_to(x, module);
      line.x_right = clamp16(x);
      if (line.w_left == 0 && line.w_centre == 0) line.x = line.x_right;
      break;
    }
    default:
      m->m_byLineJustification[r] = 2;
      line.x_left = clamp16(rect.left);
      line.x = line.x_left;
      break;
  }
}

void vertical_layout(CMessage* m) {
  const int r = m->Rect();
  const int current = m->Line();
  const text_rect_s& rect = m->m_rects[r];
  line_record_s* lines = m->m_lines[r];
  int64_t total = 0;
  for (int i = 0; i < MSG_LINES; ++i) total += lines[i].height + lines[i].SpacingAfter();
  const int64_t height = static_cast<int64_t>(rect.bottom) - rect.top;
  const uint8_t justification = m->m_byPageJustification[r];

  if (sign_is_matrix(sign_type())) {
    const int64_t c = nv_value(nv::vmsCharacterHeightPixels);
    int64_t top;
    switch (justification) {
      case 1:
      case 5:
        return;
      case 3:
        top = floor_to(rect.top + (height - total) / 2, c);
        break;
      case 4:
        top = floor_to(rect.bottom - total, c);
        break;
      default:
        // Each line sits on the bottom of its character row, counted from
        // the rectangle's top.
        for (int i = 0; i <= current; ++i) lines[i].top = clamp16(rect.top + (i + 1) * c - lines[i].height);
        return;
    }
    for (int i = 0; i <= current; ++i) lines[i].top = clamp16(top + i * c);
    return;
  }

  int64_t top;
  switch (justification) {
    case 5:
      return;
    case 1:
    case 3:
      top = rect.top + (height - total) / 2;
      break;
    case 4:
      top = rect.bottom - total;
      break;
    default:
      top = rect.top;
      break;
  }
  for (int i = 0; i <= current; ++i) {
    lines[i].top = clamp16(top);
    top += lines[i].height + lines[i].SpacingAfter();
  }
}

// ----------------------------------------------------------- moving text

void start_moving(CMessage* m) {
  moving_text_s& r = moving_record(m);
  r.x = m->m_nTextX;
  r.y = m->m_nTextY;
  r.window_height = 255;
  m->m_nTextX += r.window_width;
  if (m->m_byMeasuring) return;

  const bool fresh = !r.started || r.offset == MOVING_NOT_STARTED;
  const int32_t tw = r.text_width;
  const int32_t ww = r.window_width;
  auto frame_due = [&r]() {
    if (r.frame_counter < 255) ++r.frame_counter;
    if (r.frame_counter < r.frames_per_step) return false;
    r.frame_counter = 0;
    return true;
  };
  auto pause_over = [&r]() {
    uint8_t before = r.pause_counter;
    if (r.pause_counter < 255) ++r.pause_counter;
    if (before < r.pause_count) return false;
    r.pause_counter = 0;
    return true;
  };
  // An empty moving text (width 0) stands still instead of dividing by 0.
  switch (r.mode) {
    case 1:
      if (frame_due() || fresh) {
        r.frame_counter = 0;
        if (fresh) {
          r.started = 1;
          r.offset = 0;
        }
        r.offset = tw > 0 ? (r.offset + r.step) % tw : 0;
      }
      m->m_nMovingX = r.x - r.offset;
      break;
    case 2:
      if (frame_due() || fresh) {
        r.frame_counter = 0;
        if (fresh) {
          r.started = 1;
          r.offset = tw - ww + 1;
        }
        r.offset = tw > 0 ? (r.offset - r.step) % tw : 0;
      }
      m->m_nMovingX = r.x - r.offset;
      break;
    case 3:
      if (fresh) {
        r.started = 1;
        r.pause_counter = 0;
        r.offset = ww;
      } else if (r.offset < tw) {
        if (frame_due()) r.offset += r.step;
      } else if (pause_over()) {
        r.offset = ww;
      }
      m->m_nMovingX = r.x + ww - r.offset;
      break;
    case 4:
      if (fresh) {
        r.started = 1;
        r.pause_counter = 0;
        r.offset = tw - ww;
      } else if (r.offset < 2) {
        if (pause_over()) r.offset = tw - ww;
      } else if (frame_due()) {
        r.offset -= r.step;
      }
      m->m_nMovingX = r.x - r.offset;
      break;
    default:
      m->m_nMovingX = r.x;
      break;
  }
  m->m_nMovingY = m->m_nTextY;
}

// ----------------------------------------------------------------- text

void full_justify(CMessage* m) {
  line_record_s& line = m->CurrentLine();
  const text_rect_s& rect = m->m_rects[m->Rect()];
  const uint32_t n = line.widths.Count();
  int64_t total = 0;
  for (uint32_t i = 0; i < n; ++i) total += line.widths[i];
  const int64_t room = static_cast<int64_t>(rect.right) - rect.left - total;
  line.glyph_x.Clear();
  if (n == 0 || !line.glyph_x.Reserve(n)) return;
  // Gap i lies after character i; the remainder goes one pixel a gap from
  // the last gap and the first alternately.
  const uint32_t gaps = n - 1;
  int64_t gap = gaps ? room / gaps : 0;
  int64_t extra = gaps ? room - gap * gaps : 0;
  int64_t x = rect.left;
  for (uint32_t i = 0; i < n; ++i) {
    line.glyph_x.Append(static_cast<int32_t>(x));
    if (i == gaps) break;
    int64_t g = gap;
    // Rank of gap i in the hand-out order: last, first, second-to-last, ...
    uint32_t from_end = gaps - 1 - i;
    uint32_t rank = from_end <= i ? 2 * from_end : 2 * i + 1;
    if (extra > 0 && rank < static_cast<uint64_t>(extra)) ++g;
    x += line.widths[i] + g;
  }
}

void measure_run(CMessage* m, const uint8_t* text, uint32_t count, uint32_t p, uint8_t j, uint32_t font_height,
                 uint32_t* result) {
  line_record_s& line = m->CurrentLine();
  const text_rect rect = rect_of(m);
  const bool char_matrix = sign_is_character_matrix(sign_type());
  *result = MULTI_OK;
  if (!m->m_byInMoving) {
    int32_t x = m->m_nTextX;
    int32_t spacing = m->m_nCharSpacing;
    uint32_t line_spacing = line.FontLineSpacing();
    uint32_t overflow = p;
    MeasureText(m->m_font, text, count, &x, rect, &spacing, &line_spacing, &overflow, false, m->m_byLineBreak != 0);
    line.SetFontLineSpacing(static_cast<uint8_t>(line_spacing > 255 ? 255 : line_spacing));
    m->m_byLineBreak = 0;
    m->m_nTextX = x;
    switch (j) {
      case 2:
        line.w_left = clampu16(x);
        if (line.w_centre || line.w_right) {
          *result = fail(m, run_offset(p), MULTI_TAG_CONFLICT);
          return;
        }
        break;
      case 3: {
        // The gap before the segment's first run is not part of the
        // segment: it is kept to take off the right segment as well.
        if (line.w_centre == 0) line.SetLeadSpacing(static_cast<uint8_t>(char_matrix || spacing < 0 ? 0 : spacing));
        int64_t w = static_cast<int64_t>(x) - line.w_left - (char_matrix ? 0 : line.LeadSpacing());
        line.w_centre = clampu16(w);
        if (line.w_right) {
          *result = fail(m, run_offset(p), MULTI_TAG_CONFLICT);
          return;
        }
        break;
      }
      case 4: {
        int64_t w = static_cast<int64_t>(x) - line.w_left - line.w_centre;
        if (!char_matrix && line.w_centre) w -= line.LeadSpacing();
        line.w_right = clampu16(w);
        break;
      }
      default:
        break;
    }
    if (font_height > line.height) line.height = clampu16(font_height);
    // Only text runs carry a position: a field that does not fit is drawn
    // cut off rather than refused.
    if (overflow && p != 0) {
      // The overflow counts from the run's position: the first character
      // that does not fit.
      monitor_printf("CRender:OnFieldFound Error Message too long at %d\n", static_cast<int>(overflow - 1));
      *result = fail(m, overflow - 1, MULTI_TEXT_TOO_BIG);
      return;
    }
  } else {
    m->m_nMovingX = 0;
    m->m_nMovingY = 0;
    int32_t x = 0;
    int32_t spacing = m->m_nCharSpacing;
    uint32_t line_spacing = line.FontLineSpacing();
    uint32_t overflow = 0;
    MeasureText(m->m_font, text, count, &x, rect, &spacing, &line_spacing, &overflow, true, false);
    m->m_byLineBreak = 0;
    moving_text_s& r = moving_record(m);
    r.text_width += x;
    if (font_height > line.height) line.height = clampu16(font_height);
    if (static_cast<int32_t>(font_height) > r.window_height) r.window_height = static_cast<int32_t>(font_height);
  }
  if (m->m_pSurface) {
    uint64_t sum = 0;
    for (int i = 0; i <= m->Line(); ++i) sum += m->m_lines[m->Rect()][i].height;
    if (sum > m->m_pSurface->Height()) {
      monitor_printf("CRender:OnFieldFound Error Message too tall at %d\n", static_cast<int>(run_offset(p)));
      *result = fail(m, run_offset(p), MULTI_TEXT_TOO_BIG);
    }
  }
}

// Phase of the flash record stepped last: 2 is on.
bool flash_off(const CMessage* m) {
  if (!m->m_byFlashMode) return false;
  int i = m->m_nFlash - 1;
  if (i < 0) i = 0;
  if (i >= MSG_FLASH) i = MSG_FLASH - 1;
  return m->m_flash[i].phase != 2;
}

void draw_run(CMessage* m, const uint8_t* text, uint32_t count, uint8_t j, uint32_t font_height) {
  if (m->m_wFieldCounter > vol_value(vol::statMultiFieldRows))
    set_vol(vol::statMultiFieldRows, m->m_wFieldCounter, DB_NOTIFY);
  const uint32_t row = m->m_font.GetFontIndex();
  if (row < NTCIP_FONT_ROWS && nv_value(nv::fontStatus(row)) == 4)
    set_nv(nv::fontStatus(row), 5, DB_NOTIFY | DB_NO_VALIDATE);
  CSurface* s = m->m_pSurface;
  if (!s) return;
  s->m_dwTextForeground = m->m_dwForeground;
  s->m_dwTextBackground = m->m_dwTextBackground;
  line_record_s& line = m->CurrentLine();
  const text_rect rect = rect_of(m);
  const int32_t spacing = line.SpacingOverride() < 128 ? line.SpacingOverride() : m->m_nCharSpacing;
  const bool off = flash_off(m);
  const int32_t lift = static_cast<int32_t>(line.height) - static_cast<int32_t>(font_height);

  if (!m->m_byInMoving) {
    int32_t x = m->m_nTextX;
    if (j == 3 && x < line.x_centre) {
      x = line.x_centre;
      m->m_byLineBreak = 1;
    }
    if (j == 4 && x < line.x_right) {
      x = line.x_right;
      m->m_byLineBreak = 1;
    }
    int32_t y = m->m_nTextY + lift;
    text_glyph_xs full{line.glyph_x.Data(), line.glyph_x.Count(), &line.glyph};
    DrawText(*s, m->m_font, text, count, &x, &y, rect, off, spacing, m->m_byLineBreak != 0, false,
             j == 5 ? &full : nullptr);
    m->m_byLineBreak = 0;
    m->m_nTextX = x;
  } else {
    const moving_text_s& r = moving_record(m);
    text_rect clip = rect;
    const int64_t wl = r.x, wt = r.y, wr = static_cast<int64_t>(r.x) + r.window_width,
                  wb = static_cast<int64_t>(r.y) + r.window_height;
    if (wl > clip.left) clip.left = static_cast<int32_t>(wl);
    if (wt > clip.top) clip.top = static_cast<int32_t>(wt);
    if (wr < clip.right) clip.right = static_cast<int32_t>(wr);
    if (wb < clip.bottom) clip.bottom = static_cast<int32_t>(wb);
    const bool first = m->m_byLineBreak != 0;
    int32_t reached = m->m_nMovingX;
    if ((r.mode == 1 || r.mode == 2) && r.text_width > 0) {
      const int64_t tw = r.text_width;
      const int64_t span = static_cast<int64_t>(r.window_width) - r.step;
      int64_t n = span / tw + 1;
      if (span % tw) ++n;
      if (n < 1) n = 1;
      if (r.mode == 1) {
        for (int64_t k = n - 1; k >= 0; --k) {
          int32_t x = static_cast<int32_t>(m->m_nMovingX + k * tw);
          int32_t y = m->m_nMovingY + lift;
          DrawText(*s, m->m_font, text, count, &x, &y, clip, off, spacing, first, true, nullptr);
          if (k == 0) reached = x;
        }
      } else {
        int32_t x = static_cast<int32_t>(m->m_nMovingX - tw);
        for (int64_t k = 0; k < n; ++k) {
          int32_t y = m->m_nMovingY + lift;
          DrawText(*s, m->m_font, text, count, &x, &y, clip, off, spacing, first, true, nullptr);
        }
        reached = x;
      }
    } else {
      int32_t x = m->m_nMovingX;
      int32_t y = m->m_nMovingY + lift;
      DrawText(*s, m->m_font, text, count, &x, &y, clip, off, spacing, first, true, nullptr);
      reached = x;
    }
    m->m_byLineBreak = 0;
    m->m_nMovingX = reached;
  }
}

uint32_t text_steps(CMessage* m, const uint8_t* text, uint32_t count, uint32_t p) {
  const uint32_t type = sign_type();
  const uint8_t j = m->m_byLineJustification[m->Rect()];
  line_record_s& line = m->CurrentLine();
  const uint8_t r = line.Justification();
  const uint32_t at = run_offset(p);
  if (r != 0 && ((r == 5) != (j == 5))) return fail(m, at, MULTI_TAG_CONFLICT);
  if (line.HasMoving() && (r == 5 || j == 5)) return fail(m, at, MULTI_TAG_CONFLICT);
  if (j == 5 && m->m_byInMoving) return fail(m, at, MULTI_TAG_CONFLICT);
  if (j == 5 && sign_is_character_matrix(type)) return fail(m, at, MULTI_UNSUPPORTED_TAG);
  line.SetJustification(j);

  select_font(m);
  const uint32_t height = m->m_font.GetHeight();
  if (sign_is_matrix(type) && height > nv_value(nv::vmsCharacterHeightPixels)) {
    monitor_printf_debug("CRender::OnFieldFound: Error font height > line height at %d\n", static_cast<int>(at));
    return fail(m, at, MULTI_TEXT_TOO_BIG);
  }
  if (j == 5) {
    if (!m->m_byMeasuring) {
      full_justify(m);
    } else if (!m->m_byInMoving) {
      for (uint32_t i = 0; i < count; ++i) {
        line.chars.Append(text[i]);
        line.widths.Append(static_cast<int32_t>(m->m_font.GetCharWidth(text[i])));
      }
    }
  }
  if (height == 0) return p ? fail(m, at, MULTI_FONT_NOT_DEFINED) : MULTI_FONT_NOT_DEFINED;
  // A character of the text the font lacks would vanish from the sign.
  // Field text is made at draw time and is not refused here.
  if (m->m_byMeasuring && p != 0)
    for (uint32_t i = 0; i < count; ++i)
      if (m->m_font.GetCharWidth(text[i]) == 0) return fail(m, at + i, MULTI_CHAR_NOT_DEFINED);
  if (!m->m_byMeasuring) {
    draw_run(m, text, count, j, height);
    return MULTI_OK;
  }
  uint32_t result = MULTI_OK;
  measure_run(m, text, count, p, j, height, &result);
  return result;
}

// --------------------------------------------------------------- graphics

// The bitmap of a graphic row, read block by block.
class graphic_bits {
 public:
  explicit graphic_bits(uint32_t row) : m_row(row) {}
  // Byte `offset` of block `block`; false when the block holds no such byte.
  bool Byte(uint32_t block, uint32_t offset, uint8_t* out) {
    if (block >= kGraphicBlocks) return false;
    if (block != m_block) {
      m_block = block;
      m_data = nv_bytes(nv::dmsGraphicBitmap(m_row, block), &m_length);
    }
    if (offset >= m_length) return false;
    *out = m_data[offset];
    return true;
  }

 private:
  uint32_t m_row;
  uint32_t m_block = UINT32_MAX;
  const uint8_t* m_data = nullptr;
  uint32_t m_length = 0;
};

void draw_graphic(CMessage* m, uint32_t row) {
  const render_event_s::graphic_s& e = m->m_event.arg.graphic;
  if (m->m_byMeasuring || nv_value(nv::dmsGraphicID(row)) != e.id) return;
  CSurface* s = m->m_pSurface;
  if (!s) return;
  const uint32_t height = nv_value(nv::dmsGraphicHeight(row));
  const uint32_t width = nv_value(nv::dmsGraphicWidth(row));
  const bool transparent = nv_value(nv::dmsGraphicTransparentEnabled(row)) != 0;
  uint8_t tc[3] = {0, 0, 0};
  uint32_t tc_length = 0;
  const uint8_t* stored = nv_bytes(nv::dmsGraphicTransparentColor(row), &tc_length);
  for (uint32_t i = 0; i < 3 && i < tc_length; ++i) tc[i] = stored[i];
  const uint32_t type = nv_value(nv::dmsGraphicType(row));
  const uint32_t block_size = vol_value(vol::dmsGraphicBlockSize);
  const uint32_t fg = m->m_dwForeground;
  const uint32_t bg = m->m_dwTextBackground;
  const bool has_bg = bg != COLOUR_NONE;

  uint64_t per_block;
  switch (type) {
    case 1: per_block = static_cast<uint64_t>(block_size) * 8; break;
    case 2:
    case 3: per_block = block_size; break;
    case 4: per_block = block_size / 3; break;
    default: return;
  }
  // A block size of 0 leaves nowhere to read the pixels from.
  if (per_block == 0) return;

  graphic_bits bits(row);
  const int64_t x0 = static_cast<int64_t>(e.x) - 1, y0 = static_cast<int64_t>(e.y) - 1;
  const uint64_t n = static_cast<uint64_t>(width) * height;
  for (uint64_t p = 0; p < n; ++p) {
    const uint32_t block = static_cast<uint32_t>(p / per_block);
    if (block >= kGraphicBlocks) break;
    const uint32_t within = static_cast<uint32_t>(p % per_block);
    uint32_t colour = 0;
    bool draw = false;
    switch (type) {
      case 1: {
        uint8_t byte;
        if (!bits.Byte(block, within / 8, &byte)) continue;
        uint32_t v = (byte >> (7 - within % 8)) & 1;
        if (transparent && tc_length >= 1 && v == tc[0]) continue;
        draw = v || has_bg;
        colour = v ? fg : bg;
        break;
      }
      case 2: {
        uint8_t v;
        if (!bits.Byte(block, within, &v)) continue;
        if (transparent && tc_length >= 1 && v == tc[0]) continue;
        draw = v || has_bg;
        colour = v ? fg : bg;
        break;
      }
      case 3: {
        uint8_t v;
        if (!bits.Byte(block, within, &v)) continue;
        if (transparent && tc_length >= 1 && v == tc[0]) continue;
        uint32_t c24 = colour_value_for_module_type(v);
        colour = rgb_colour_value(c24 & 0xFF, (c24 >> 8) & 0xFF, (c24 >> 16) & 0xFF);
        draw = true;
        break;
      }
      case 4: {
        uint8_t p0, p1, p2;
        if (!bits.Byte(block, within * 3, &p0) || !bits.Byte(block, within * 3 + 1, &p1) ||
            !bits.Byte(block, within * 3 + 2, &p2))
          continue;
        if (transparent && tc_length >= 3 && p2 == tc[0] && p1 == tc[1] && p0 == tc[2]) continue;
        colour = rgb_colour_value(p2, p1, p0);
        draw = true;
        break;
      }
    }
    if (!draw) continue;
    const int64_t px = x0 + static_cast<int64_t>(p % width);
    const int64_t py = y0 + static_cast<int64_t>(p / width);
    if (px < 0 || py < 0 || px > INT32_MAX || py > INT32_MAX) continue;
    s->SetPixel(static_cast<int32_t>(px), static_cast<int32_t>(py), colour);
  }
}

uint32_t graphic(CMessage* m) {
  const uint32_t number = m->m_event.arg.graphic.number;
  int row = -1;
  for (uint32_t g = 0; g < kGraphicRows && row < 0; ++g)
    if (nv_value(nv::dmsGraphicNumber(g)) == number) row = static_cast<int>(g);
  if (row < 0) return MULTI_GRAPHIC_NOT_DEFINED;
  const uint32_t status = nv_value(nv::dmsGraphicStatus(row));
  if (status != 4 && status != 5 && status != 6) return MULTI_GRAPHIC_NOT_DEFINED;
  // Marked in use once: a notice on every redraw would flood the bus.
  if (!m->m_byMeasuring && status == 4) set_nv(nv::dmsGraphicStatus(row), 5, DB_NOTIFY | DB_NO_VALIDATE);
  draw_graphic(m, static_cast<uint32_t>(row));
  return MULTI_OK;
}

void file_graphic(CMessage* m) {
  const render_event_s::file_graphic_s& e = m->m_event.arg.file;
  int32_t x = 0, y = 0;
  if (e.x != 0 || e.y != 0) {
    x = e.x;
    y = e.y;
  }
  if (m->m_byMeasuring || !m->m_pSurface) return;
  char name[RE_FILE_NAME_SIZE];
  std::memcpy(name, e.name, sizeof name);
  name[sizeof name - 1] = 0;
  if (!name[0] || !g_render_hooks.file_contents) return;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!g_render_hooks.file_contents(name, &data, &size) || !data) return;
  DrawBitmapFile(*m->m_pSurface, data, size, x, y);
}

void colour_rectangle(CMessage* m) {
  if (m->m_byMeasuring) return;
  const int i = m->m_nColourRects;
  if (i < 0 || i >= MSG_COLOUR_RECTS) return;
  const colour_rect_s& c = m->m_colourRects[i];
  if (m->m_pSurface)
    m->m_pSurface->FillRect(static_cast<int32_t>(c.x) - 1, static_cast<int32_t>(c.y) - 1, c.width, c.height,
                            c.colour);
  ++m->m_nColourRects;
}

bool starts_page(uint32_t kind) {
  return (kind >= 1 && kind <= 9) || (kind >= 11 && kind <= 16) || (kind >= 19 && kind <= 22);
}

}  // namespace

uint32_t CRender::OnFieldFound(CRender* renderer, CMessage* m) {
  if (!m) return MULTI_OK;
  render_event_s& e = m->m_event;
  const uint32_t kind = e.kind;
  if (starts_page(kind) && !m->m_byPageStarted) {
    m->m_byPageStarted = 1;
    page_start(m);
  }

  const uint8_t* text = nullptr;
  uint32_t count = 0;
  uint32_t p = 0;
  bool has_text = false;
  char field[RENDER_FIELD_SIZE];
  uint8_t excerpt[256];

  // A character the font lacks would vanish from the sign.
  if (kind == RE_HEX_CHAR && m->m_byMeasuring) {
    select_font(m);
    if (m->m_font.GetHeight() && m->m_font.GetCharWidth(e.arg.hex.code) == 0) return MULTI_CHAR_NOT_DEFINED;
  }

  switch (kind) {
    case RE_TEXT:
      text = e.arg.run.text;
      count = text ? e.arg.run.count : 0;
      p = e.arg.run.position;
      has_text = true;
      break;
    case RE_REALTIME: {
      uint32_t length = 0;
      const uint8_t* data = vol_bytes(vol::quorRealTimeData, &length);
      const uint32_t a = static_cast<uint32_t>(e.arg.realtime.offset < 0 ? 0 : e.arg.realtime.offset);
      const uint32_t b = e.arg.realtime.count;
      count = a + b < length ? b : length < a ? 0 : length - a;
      if (count > sizeof excerpt) count = sizeof excerpt;
      // Copied: the stored string may be replaced while the run is drawn.
      if (count) std::memcpy(excerpt, data + a, count);
      text = excerpt;
      has_text = true;
      break;
    }
    case RE_TIME:
    case RE_TEMP_C:
    case RE_TEMP_F:
    case RE_SPEED_MPH:
    case RE_SPEED_KMH:
    case RE_HEX_CHAR:
    case RE_SPEED_SENSOR:
      count = field_text(e, field);
      text = reinterpret_cast<const uint8_t*>(field);
      has_text = true;
      if (kind >= RE_TIME && kind <= RE_SPEED_KMH && !m->m_byMeasuring) field_status(m, field, count);
      break;
    case RE_FILE_GRAPHIC:
      file_graphic(m);
      break;
    case RE_GRAPHIC: {
      uint32_t r = graphic(m);
      if (r != MULTI_OK) return r;
      break;
    }
    case RE_PAGE_START:
      m->m_byPageStarted = 1;
      page_start(m);
      break;
    case RE_MOVING_END:
      if (m->m_nMoving < MSG_MOVING - 1) ++m->m_nMoving;
      break;
    case RE_MOVING_START:
      start_moving(m);
      break;
    case RE_SEGMENT_END:
      end_segment(m);
      break;
    case RE_RECT_END:
      vertical_layout(m);
      break;
    case RE_NEW_LINE:
      m->m_byLineBreak = 1;
      new_line(m, false);
      break;
    case RE_MEASURED:
      m->m_byLineBreak = 1;
      m->m_byPageStarted = 0;
      break;
    case RE_COLOUR_RECT:
      colour_rectangle(m);
      break;
    case RE_NEW_RECT:
      m->m_byLineBreak = 1;
      new_line(m, true);
      break;
    default:
      break;
  }

  if (has_text) {
    uint32_t r = text_steps(m, text, count, p);
    if (r != MULTI_OK) return r;
  }
  m->m_event.Clear();
  return MULTI_OK;
}
