#include "display/multi/tags.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "display/font/ntcip_font.h"
#include "display/message/db_read.h"
#include "display/multi/colour.h"
#include "display/multi/multi_hooks.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"

// ---------------------------------------------------------------- reader

bool tag_reader::Match(const char* word) {
  uint32_t n = static_cast<uint32_t>(std::strlen(word));
  if (n > Left() || mem_casecmp(m_p, word, n) != 0) return false;
  m_p += n;
  return true;
}

bool tag_reader::MatchCase(const char* word) {
  uint32_t n = static_cast<uint32_t>(std::strlen(word));
  if (n > Left() || std::memcmp(m_p, word, n) != 0) return false;
  m_p += n;
  return true;
}

int32_t tag_reader::Number(bool* found) {
  const uint8_t* p = m_p;
  while (p < m_end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  bool negative = false;
  if (p < m_end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  int64_t value = 0;
  const uint8_t* digits = p;
  while (p < m_end && *p >= '0' && *p <= '9') {
    if (value <= INT32_MAX) value = value * 10 + (*p - '0');
    ++p;
  }
  if (found) *found = p != digits;
  if (p == digits) return 0;
  m_p = p;
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

namespace {

// The value of a hexadecimal digit of either case, or -1.
int hex_digit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool tag_reader::Hex4(uint32_t* value) {
  uint32_t v = 0, n = 0;
  while (n < 4) {
    int d = hex_digit(Peek());
    if (d < 0) break;
    v = v << 4 | static_cast<uint32_t>(d);
    ++n;
    Skip();
  }
  *value = v;
  return n > 0;
}

namespace multi_tags {

namespace {

struct geometry_s {
  uint32_t type;
  int64_t width, height;             // pixels
  uint32_t char_width, char_height;  // character or line matrix cell
};

geometry_s geometry() {
  return {nv_value(nv::dmsSignType), nv_value(nv::vmsSignWidthPixels), nv_value(nv::vmsSignHeightPixels),
          nv_value(nv::vmsCharacterWidthPixels), nv_value(nv::vmsCharacterHeightPixels)};
}

bool is_byte(int32_t v) { return v >= 0 && v <= 255; }

void set_field(CMessage* m, uint32_t kind, uint16_t code, uint16_t width, uint16_t time_code, const char* format,
               ...) __attribute__((format(printf, 6, 7)));

void set_field(CMessage* m, uint32_t kind, uint16_t code, uint16_t width, uint16_t time_code, const char* format,
               ...) {
  m->m_event.Clear();
  m->m_event.kind = kind;
  render_event_s::field_s& f = m->m_event.arg.field;
  va_list args;
  va_start(args, format);
  std::vsnprintf(f.format, sizeof f.format, format, args);
  va_end(args);
  f.code = code;
  f.width = width;
  f.time_code = time_code;
}

// [xx], [xxN], [xxR,G,B] of the page background and foreground tags.
// Sets *colour, or *use_default for the bare tag.
uint32_t read_colour(tag_reader& t, uint32_t* colour, bool* use_default) {
  *use_default = t.AtEnd();
  if (*use_default) return MULTI_OK;
  int32_t n = t.Number();
  if (n > 255 || n < 0) return MULTI_UNSUPPORTED_TAG_VALUE;
  if (t.Peek() == ',') {
    t.Skip();
    int32_t g = t.Number();
    t.Skip();
    int32_t b = t.Number();
    if (!is_byte(g) || !is_byte(b)) return MULTI_UNSUPPORTED_TAG_VALUE;
    *colour = rgb_colour_value(n, g, b);
    return MULTI_OK;
  }
  switch (module_colour_code()) {
    case 2:
      if (n != 0 && n != 1 && n != 3 && n != 9) return MULTI_UNSUPPORTED_TAG_VALUE;
      break;
    case 3:
      break;
    default:
      if (n != 0 && n != 1 && n != 9) return MULTI_UNSUPPORTED_TAG_VALUE;
      break;
  }
  *colour = colour_value(n);
  return MULTI_OK;
}

// Three numbers R, G, B each after one separator ([ms11,cf,R,G,B]).
uint32_t read_rgb(tag_reader& t, uint32_t* colour) {
  int32_t c[3];
  for (auto& v : c) {
    t.Skip();
    v = t.Number();
  }
  if (!is_byte(c[0]) || !is_byte(c[1]) || !is_byte(c[2])) return MULTI_UNSUPPORTED_TAG_VALUE;
  *colour = rgb_colour_value(c[0], c[1], c[2]);
  return MULTI_OK;
}

// X, Y, W, H of [cr] and [tr], W and H of 0 reaching to the sign's edge.
// Refused unless the rectangle lies on the sign.
uint32_t read_rectangle(tag_reader& t, const geometry_s& g, int64_t* x, int64_t* y, int64_t* w, int64_t* h) {
  *x = t.Number();
  t.Skip();
  *y = t.Number();
  t.Skip();
  *w = t.Number();
  t.Skip();
  *h = t.Number();
  if (*w < 0 || *h < 0) return MULTI_UNSUPPORTED_TAG_VALUE;
  if (*w == 0) *w = g.width - *x + 1;
  if (*h == 0) *h = g.height - *y + 1;
  if (*w < 1 || *h < 1) return MULTI_UNSUPPORTED_TAG_VALUE;
  if (*x < 1 || *x + *w - 1 > g.width || *y < 1 || *y + *h - 1 > g.height) return MULTI_UNSUPPORTED_TAG_VALUE;
  return MULTI_OK;
}

// Font table row numbered n (the first one), or -1.
int font_row_of_number(int32_t n) {
  if (n < 1 || n > 255) return -1;
  for (int f = 0; f < 20; ++f)
    if (nv_value(nv::fontNumber(f)) == static_cast<uint32_t>(n)) return f;
  return -1;
}

// A font number as the font tag takes it: 0 counts as 1 with the feature.
int32_t font_tag_number(int32_t n) {
  if (n == 0 && (nv_value(nv::quorSpecialFeatureSet) & 0x20)) return 1;
  return n;
}

// Largest line spacing among the current font and the fonts named by font
// tags up to the next new-line (or new-page) tag.
uint32_t lookahead_line_spacing(const scan_s& s) {
  uint32_t largest = font_line_spacing(font_row_of_member(s.message->m_byFont));
  for (uint32_t q = s.close + 1; q < s.length; ++q) {
    if (s.text[q] != '[') continue;
    if (q + 1 < s.length && s.text[q + 1] == '[') {
      ++q;
      continue;
    }
    tag_reader t(s.text + q + 1, s.length - q - 1);
    if (t.Match("nl") || t.Match("np")) break;
    if (!t.Match("fo")) continue;
    int32_t n = t.Peek() == ']' || t.Peek() == ',' || t.AtEnd() ? s.message->m_defaults.m_byFont : t.Number();
    uint32_t spacing = font_line_spacing(font_row_of_number(font_tag_number(n)));
    if (spacing > largest) largest = spacing;
  }
  return largest;
}

struct field_def {
  uint8_t number;
  uint8_t kind;
};

const field_def kFields[] = {
    {1, RE_TIME},       {2, RE_TIME},       {3, RE_TEMP_C},     {4, RE_TEMP_F},     {5, RE_SPEED_KMH},
    {6, RE_SPEED_MPH},  {7, RE_TIME},       {8, RE_TIME},       {9, RE_TIME},       {10, RE_TIME},
    {11, RE_TIME},      {12, RE_TIME},      {13, RE_TIME},      {92, RE_TEMP_C},    {93, RE_TEMP_F},
    {94, RE_TEMP_C},    {95, RE_TEMP_F},    {96, RE_TEMP_C},    {97, RE_TEMP_F},    {98, RE_TEMP_C},
    {99, RE_TEMP_F},
};

const char* time_format(int32_t n, int32_t w) {
  switch (n) {
    case 1: return "%#I:%M";
    case 2: return "%H:%M";
    case 7: return w < 4 ? "%a" : "%A";
    case 8: return "%d";
    case 9: return "%m";
    case 10: return "%y";
    case 11: return "%Y";
    case 12: return "%#I:%M %P";
    case 13: return "%#I:%M %p";
  }
  return "";
}

// Controller and sign temperatures of fields 92..99, in pairs (C, F).
db_object temperature_object(int32_t n) {
  switch ((n - 92) / 2) {
    case 0: return vol::tempMinCtrlCabinet;
    case 1: return vol::tempMaxCtrlCabinet;
    case 2: return vol::tempMinSignHousing;
    default: return vol::tempMaxSignHousing;
  }
}

}  // namespace

int font_row_of_member(uint8_t member) {
  if (member < 1) return -1;
  int found = font_row_of_number(member);
  if (found >= 0) return found;
  // A default font number no row carries: the row of that place.
  int row = member - 1;
  return row < 20 ? row : -1;
}

uint32_t font_line_spacing(int row) {
  if (row < 0 || row >= static_cast<int>(NTCIP_FONT_ROWS)) return 0;
  return CNTCIPFont(static_cast<uint32_t>(row)).GetLineSpacing();
}

// -------------------------------------------------------------- handlers

uint32_t text_background(scan_s& s, tag_reader t) {
  t.Skip(2);
  if (t.AtEnd()) {
    s.message->m_dwTextBackground = COLOUR_NONE;
    return MULTI_OK;
  }
  int32_t n = t.Number();
  if (module_colour_code() == 1 && n != 0 && n != 9) return MULTI_UNSUPPORTED_TAG_VALUE;
  s.message->m_dwTextBackground = colour_value(static_cast<uint32_t>(n) & 0xFF);
  return MULTI_OK;
}

uint32_t page_background(scan_s& s, tag_reader t) {
  t.Skip(2);
  uint32_t colour = 0;
  bool use_default = false;
  uint32_t r = read_colour(t, &colour, &use_default);
  if (r != MULTI_OK) return r;
  s.message->m_dwPageBackground = use_default ? s.message->m_defaults.m_dwBackground : colour;
  return MULTI_OK;
}

uint32_t foreground(scan_s& s, tag_reader t) {
  t.Skip(2);
  uint32_t colour = 0;
  bool use_default = false;
  uint32_t r = read_colour(t, &colour, &use_default);
  if (r != MULTI_OK) return r;
  s.message->m_dwForeground = use_default ? s.message->m_defaults.m_dwForeground : colour;
  return MULTI_OK;
}

uint32_t flash(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  const message_defaults& d = m->m_defaults;
  t.Skip(2);
  // A time after its letter: the number, or the default when none is given.
  auto time = [&t](uint8_t fallback, uint8_t* out) {
    bool given = false;
    int32_t v = t.Number(&given);
    if (!given) v = fallback;
    if (v < 0 || v > 99) return false;
    *out = static_cast<uint8_t>(v);
    return true;
  };
  int c = t.Peek();
  if (c == 't' || c == 'T') {
    t.Skip();
    m->m_byFlashMode = 1;
    if (!time(d.m_byFlashOn, &m->m_byFlashOn)) return MULTI_UNSUPPORTED_TAG_VALUE;
    if (t.Peek() == 'o' || t.Peek() == 'O') {
      t.Skip();
      if (!time(d.m_byFlashOff, &m->m_byFlashOff)) return MULTI_UNSUPPORTED_TAG_VALUE;
    }
  } else if (c == 'o' || c == 'O') {
    t.Skip();
    m->m_byFlashMode = 2;
    if (!time(d.m_byFlashOff, &m->m_byFlashOff)) return MULTI_UNSUPPORTED_TAG_VALUE;
    if (t.Peek() == 't' || t.Peek() == 'T') {
      t.Skip();
      if (!time(d.m_byFlashOn, &m->m_byFlashOn)) return MULTI_UNSUPPORTED_TAG_VALUE;
    }
  } else {
    m->m_byFlashOn = d.m_byFlashOn;
    m->m_byFlashOff = d.m_byFlashOff;
    m->m_byFlashMode = d.m_byFlashOn && d.m_byFlashOff ? 1 : 0;
  }
  if (!m->m_byMeasuring) FlashStep(m);
  return MULTI_OK;
}

uint32_t flash_end(scan_s& s, tag_reader t) {
  t.Skip(3);
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  s.message->m_byFlashMode = 0;
  return MULTI_OK;
}

uint32_t font(scan_s& s, tag_reader t) {
  t.Skip(2);
  int32_t n = t.AtEnd() ? s.message->m_defaults.m_byFont : t.Number();
  n = font_tag_number(n);
  if (n < 1 || n > 255) return MULTI_UNSUPPORTED_TAG_VALUE;
  int row = font_row_of_number(n);
  if (row < 0) return MULTI_FONT_NOT_DEFINED;
  if (t.Peek() == ',') {
    t.Skip();
    uint32_t id = 0;
    if (!t.Hex4(&id)) return MULTI_UNSUPPORTED_TAG_VALUE;
    if (id != nv_value(nv::fontVersionID(row))) {
      monitor_printf("Font Version ID does not match font.\n");
      return MULTI_FONT_VERSION_ID;
    }
  }
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  uint32_t status = nv_value(nv::fontStatus(row));
  if (status != 4 && status != 5 && status != 11) {
    monitor_printf("Font not ready for use  status = %d\n", status);
    return MULTI_FONT_NOT_DEFINED;
  }
  s.message->m_byFont = static_cast<uint8_t>(n);
  return MULTI_OK;
}

uint32_t field(scan_s& s, tag_reader t) {
  t.Skip(1);
  uint32_t length = t.Left();
  if (length == 0 || length > 5) return MULTI_UNSUPPORTED_TAG_VALUE;
  int32_t n = t.Number();
  int32_t w = 0;
  if (length >= 3) {
    t.Skip();
    w = t.Number();
    if (w > 99) return MULTI_UNSUPPORTED_TAG_VALUE;
  }
  const field_def* def = nullptr;
  for (const auto& f : kFields)
    if (f.number == n) def = &f;
  if (!def) return MULTI_UNSUPPORTED_TAG_VALUE;
  if (!multi_field_device(static_cast<uint32_t>(n))) return MULTI_FIELD_DEVICE_NOT_EXIST;
  uint16_t code = static_cast<uint16_t>(n);
  uint16_t width = static_cast<uint16_t>(w < 0 ? 0 : w);
  if (def->kind == RE_TIME) {
    set_field(s.message, RE_TIME, code, width, code, "%s", time_format(n, w));
  } else if (n >= 92) {
    int32_t celsius = static_cast<int8_t>(vol_value(temperature_object(n)));
    int32_t value = def->kind == RE_TEMP_F ? celsius * 9 / 5 + 32 : celsius;
    set_field(s.message, def->kind, code, width, 0, "%d", static_cast<int>(value));
  } else {
    set_field(s.message, def->kind, code, width, 0, "%%%dd", w == 2 ? 2 : 3);
  }
  return MULTI_OK;
}

uint32_t graphic(scan_s& s, tag_reader t) {
  t.Skip(1);
  int32_t n = t.Number();
  int row = -1;
  if (is_byte(n))
    for (int g = 0; g < 50 && row < 0; ++g)
      if (nv_value(nv::dmsGraphicNumber(g)) == static_cast<uint32_t>(n)) row = g;
  if (row < 0) return MULTI_GRAPHIC_NOT_DEFINED;
  uint32_t status = nv_value(nv::dmsGraphicStatus(row));
  if (status != 4 && status != 5 && status != 6) return MULTI_GRAPHIC_NOT_DEFINED;
  uint32_t id = nv_value(nv::dmsGraphicID(row));
  int64_t x = 1, y = 1;
  if (!t.AtEnd()) {
    if (t.Peek() != ',') return MULTI_UNSUPPORTED_TAG_VALUE;
    t.Skip();
    x = t.Number();
    t.Skip();
    y = t.Number();
    if (t.Peek() == ',') {
      t.Skip();
      uint32_t given = 0;
      if (!t.Hex4(&given)) return MULTI_UNSUPPORTED_TAG_VALUE;
      if (given != id) return MULTI_GRAPHIC_ID;
    }
  }
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  geometry_s g = geometry();
  int64_t width = nv_value(nv::dmsGraphicWidth(row));
  int64_t height = nv_value(nv::dmsGraphicHeight(row));
  if (x < 1 || x + width - 1 > g.width || y < 1 || y + height - 1 > g.height) return MULTI_UNSUPPORTED_TAG_VALUE;
  CMessage* m = s.message;
  m->m_event.Clear();
  m->m_event.kind = RE_GRAPHIC;
  m->m_event.arg.graphic.number = static_cast<uint8_t>(n);
  m->m_event.arg.graphic.id = static_cast<uint16_t>(id);
  m->m_event.arg.graphic.x = static_cast<int32_t>(x);
  m->m_event.arg.graphic.y = static_cast<int32_t>(y);
  return MULTI_OK;
}

uint32_t hex_character(scan_s& s, tag_reader t) {
  t.Skip(2);
  if (t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  uint32_t code = 0;
  for (; !t.AtEnd(); t.Skip()) {
    const int d = hex_digit(t.Peek());
    if (d < 0) return MULTI_UNSUPPORTED_TAG_VALUE;
    code = code << 4 | static_cast<uint32_t>(d);
    if (code > 0xFFFF) return MULTI_UNSUPPORTED_TAG_VALUE;
  }
  CMessage* m = s.message;
  m->m_event.Clear();
  m->m_event.kind = RE_HEX_CHAR;
  m->m_event.arg.hex.code = static_cast<uint16_t>(code);
  return MULTI_OK;
}

uint32_t justification_line(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  uint8_t value = m->m_defaults.m_byLineJustification;
  if (!t.AtEnd()) {
    int c = t.Peek();
    if (c < '1' || c > '5') return MULTI_UNSUPPORTED_TAG_VALUE;
    t.Skip();
    if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
    value = static_cast<uint8_t>(c - '0');
  }
  m->m_byLineJustification[m->Rect()] = value;
  return MULTI_OK;
}

uint32_t justification_page(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  uint8_t value = m->m_defaults.m_byPageJustification;
  if (!t.AtEnd()) {
    int c = t.Peek();
    if (c < '1' || c > '4') return MULTI_UNSUPPORTED_TAG_VALUE;
    t.Skip();
    if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
    value = static_cast<uint8_t>(c - '0');
  }
  int r = m->Rect();
  if (m->m_byPageJustificationGiven[r] && m->m_byPageJustification[r] != value) return MULTI_TAG_CONFLICT;
  m->m_byPageJustification[r] = value;
  return MULTI_OK;
}

uint32_t moving_text(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  const uint8_t* tag = t.Pos();
  t.Skip(2);
  uint8_t justification = m->m_byLineJustification[m->Rect()];
  line_record_s& line = m->CurrentLine();
  if (justification == 5) return MULTI_TAG_CONFLICT;
  if (line.Justification() != 0 && line.Justification() != justification) return MULTI_TAG_CONFLICT;

  bool circular;
  int32_t pause = 0;
  int c = t.Peek();
  if (c == 'c' || c == 'C') {
    circular = true;
    t.Skip();
  } else if (c == 'l' || c == 'L') {
    circular = false;
    t.Skip();
    while (t.Peek() >= '0' && t.Peek() <= '9') {
      if (pause < 255) pause = pause * 10 + (t.Peek() - '0');
      t.Skip();
    }
    if (pause > 255) pause = 255;
  } else {
    return MULTI_UNSUPPORTED_TAG;
  }
  c = t.Peek();
  if (c != 'l' && c != 'L' && c != 'r' && c != 'R') return MULTI_UNSUPPORTED_TAG;
  bool right = c == 'r' || c == 'R';
  t.Skip();
  int32_t width = t.Number();
  if (t.Peek() != ',') return MULTI_UNSUPPORTED_TAG;
  t.Skip();
  int32_t step = t.Number();
  if (t.Peek() != ',') return MULTI_UNSUPPORTED_TAG;
  t.Skip();
  int32_t rate = t.Number();
  if (t.Peek() != ',') return MULTI_UNSUPPORTED_TAG;
  t.Skip();
  // The record keeps these in 16 and 8 bits.
  if (width < 0 || width > 0xFFFF || !is_byte(step) || !is_byte(rate)) return MULTI_UNSUPPORTED_TAG_VALUE;

  if (sign_is_character_matrix(nv_value(nv::dmsSignType))) {
    // Whole characters only: the nearest multiple of the module width.
    int32_t module = multi_module(nv_value(nv::quorModuleID)).width;
    if (module > 0) {
      step = (2 * step + module) / (2 * module) * module;
      if (step == 0) step = module;
      if (step > 255) step = 255 / module * module;
    }
  }
  int32_t frames = rate * multi_frame_rate() / 10;

  moving_text_s& r = m->m_moving[m->m_nMoving < 0 ? 0 : m->m_nMoving >= MSG_MOVING ? MSG_MOVING - 1 : m->m_nMoving];
  r.mode = static_cast<uint8_t>(circular ? (right ? 2 : 1) : (right ? 4 : 3));
  r.pause_count = static_cast<uint8_t>(pause);
  r.window_width = width;
  r.step = static_cast<uint8_t>(step);
  r.frames_per_step = static_cast<uint8_t>(frames > 255 ? 255 : frames);

  uint16_t* segment = justification == 2 ? &line.w_left : justification == 3 ? &line.w_centre
                      : justification == 4 ? &line.w_right : nullptr;
  if (segment) {
    uint32_t sum = *segment + static_cast<uint32_t>(width);
    *segment = static_cast<uint16_t>(sum > 0xFFFF ? 0xFFFF : sum);
  }
  line.SetMoving(true);
  s.resume = s.open + 1 + static_cast<uint32_t>(t.Pos() - tag);
  return MULTI_OK;
}

uint32_t manufacturer(scan_s& s, tag_reader t, effects_s* effects) {
  CMessage* m = s.message;
  t.Skip(2);
  if (t.Number() != 11) return MULTI_OK;
  if (t.Peek() == ',') t.Skip();

  if (t.Match("gpo")) {
    if (t.Peek() != ',') return MULTI_OK;
    t.Skip();
    uint32_t output;
    if (t.Peek() == '1' && t.Peek(1) == '0' && t.Peek(2) == ',') {
      output = 10;
      t.Skip(2);
    } else if (t.Peek() >= '0' && t.Peek() <= '9' && t.Peek(1) == ',') {
      output = t.Peek() - '0';
      t.Skip();
    } else {
      return MULTI_OK;
    }
    t.Skip();
    int32_t value = t.Number();
    if (!s.measure_only && g_multi_hooks.gp_output_request && (value == 0 || value == 1))
      g_multi_hooks.gp_output_request(output, value == 1);
    return MULTI_OK;
  }

  if (t.Match("g")) {
    if (sign_is_character_matrix(nv_value(nv::dmsSignType))) return MULTI_UNSUPPORTED_TAG_VALUE;
    if (t.Peek() != ',') return MULTI_OK;
    t.Skip();
    int32_t x = t.Number();
    if (t.Peek() != ',') return MULTI_OK;
    t.Skip();
    int32_t y = t.Number();
    if (t.Peek() != ',') return MULTI_OK;
    t.Skip();
    uint32_t length = t.Left();
    if (length + 8 > RE_FILE_NAME_SIZE - 1) return MULTI_UNSUPPORTED_TAG_VALUE;
    char name[RE_FILE_NAME_SIZE];
    std::memcpy(name, t.Pos(), length);
    name[length] = 0;
    char in_folder[RE_FILE_NAME_SIZE];
    std::memcpy(in_folder, "Bitmaps/", 8);
    std::memcpy(in_folder + 8, name, length + 1);
    const char* found = nullptr;
    if (g_multi_hooks.file_exists) {
      if (g_multi_hooks.file_exists(name)) found = name;
      else if (g_multi_hooks.file_exists(in_folder)) found = in_folder;
    }
    if (!found) return MULTI_UNSUPPORTED_TAG_VALUE;
    m->m_event.Clear();
    m->m_event.kind = RE_FILE_GRAPHIC;
    std::snprintf(m->m_event.arg.file.name, sizeof m->m_event.arg.file.name, "%s", found);
    m->m_event.arg.file.x = x;
    m->m_event.arg.file.y = y;
    effects->page_content = true;
    return MULTI_OK;
  }

  if (t.Match("xy")) {
    t.Skip();
    int64_t x = t.Number();
    t.Skip();
    int64_t y = t.Number();
    geometry_s g = geometry();
    if (sign_is_matrix(g.type) && !is_multiple_of(y - 1, g.char_height)) return MULTI_UNSUPPORTED_TAG_VALUE;
    if (x - 1 < 0 || x - 1 > g.width - 1 || y - 1 < 0 || y - 1 > g.height - 1) return MULTI_UNSUPPORTED_TAG_VALUE;
    line_record_s& line = m->CurrentLine();
    line.x = static_cast<int16_t>(x - 1);
    line.top = static_cast<int16_t>(y - 1);
    int r = m->Rect();
    if (m->m_byLineJustification[r] != 1) {
      m->m_dwSavedLineJustification = m->m_byLineJustification[r];
      m->m_byLineJustification[r] = 1;
    }
    if (m->m_byPageJustification[r] != 1) {
      m->m_dwSavedPageJustification = m->m_byPageJustification[r];
      m->m_byPageJustification[r] = 1;
    }
    m->m_nTextX = static_cast<int32_t>(x - 1);
    m->m_nTextY = static_cast<int32_t>(y - 1);
    m->m_event.Clear();
    m->m_event.kind = RE_TEXT_POSITION;
    return MULTI_OK;
  }

  if (t.Match("sc")) return MULTI_OK;

  if (t.Match("cf")) return read_rgb(t, &m->m_dwForeground);

  if (t.Match("cb")) return read_rgb(t, &m->m_dwTextBackground);

  if (t.Match("r")) {
    t.Skip();
    int32_t offset = t.Number();
    t.Skip();
    int32_t count = t.Number();
    // The event keeps the offset in 15 bits and the count in 8.
    if (offset < 0 || offset > 0x7FFF || !is_byte(count)) return MULTI_UNSUPPORTED_TAG_VALUE;
    m->m_event.Clear();
    m->m_event.kind = RE_REALTIME;
    m->m_event.arg.realtime.offset = static_cast<int16_t>(offset);
    m->m_event.arg.realtime.count = static_cast<uint8_t>(count);
    effects->line_content = true;
    effects->page_content = true;
    return MULTI_OK;
  }

  if (t.Match("sp")) {
    uint16_t unit;
    if (t.MatchCase("m")) unit = 1;
    else if (t.MatchCase("k")) unit = 2;
    else return MULTI_UNSUPPORTED_TAG;
    t.Skip();
    int32_t sensor = t.Number();
    t.Skip();
    int32_t width = t.Number();
    if (sensor < 0 || sensor >= MULTI_SPEED_SENSORS) return MULTI_UNSUPPORTED_TAG_VALUE;
    if (width < 0 || width > MULTI_SPEED_WIDTH_MAX) return MULTI_UNSUPPORTED_TAG_VALUE;
    set_field(m, RE_SPEED_SENSOR, unit, static_cast<uint16_t>(sensor), 0, "%%%dd", static_cast<int>(width));
    effects->line_content = true;
    effects->page_content = true;
    return MULTI_OK;
  }

  if (t.Match("name")) return MULTI_OK;
  return MULTI_UNSUPPORTED_TAG;
}

uint32_t manufacturer_end(scan_s& s, tag_reader t) {
  t.Skip(3);
  return t.AtEnd() ? MULTI_OK : MULTI_UNSUPPORTED_TAG_VALUE;
}

uint32_t new_line(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  bool given = false;
  int32_t n = t.Number(&given);
  if (given && (n < 0 || n > 99)) return MULTI_UNSUPPORTED_TAG_VALUE;
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  int r = m->Rect();
  if (m->m_byLineJustification[r] == 1) m->m_byLineJustification[r] = static_cast<uint8_t>(m->m_dwSavedLineJustification);
  line_record_s& line = m->CurrentLine();
  uint32_t spacing;
  if (sign_is_matrix(nv_value(nv::dmsSignType)))
    spacing = 0;
  else if (given)
    spacing = static_cast<uint32_t>(n);
  else
    spacing = (line.FontLineSpacing() + lookahead_line_spacing(s) + 1) / 2;
  line.SetSpacingAfter(spacing);
  return MULTI_OK;
}

uint32_t new_page(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  int r = m->Rect();
  if (m->m_byLineJustification[r] == 1) m->m_byLineJustification[r] = static_cast<uint8_t>(m->m_dwSavedLineJustification);
  if (m->m_byPageJustification[r] == 1) m->m_byPageJustification[r] = static_cast<uint8_t>(m->m_dwSavedPageJustification);
  return MULTI_OK;
}

uint32_t page_time(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  bool on_given = false, off_given = false;
  int32_t on = t.Number(&on_given);
  int32_t off = 0;
  if (on_given && !is_byte(on)) return MULTI_UNSUPPORTED_TAG_VALUE;
  if (t.Peek() == 'o' || t.Peek() == 'O') {
    t.Skip();
    off = t.Number(&off_given);
    if (off_given && !is_byte(off)) return MULTI_UNSUPPORTED_TAG_VALUE;
  }
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  // What is left out takes its default.
  m->m_byPageOn = on_given ? static_cast<uint8_t>(on) : m->m_defaults.m_byPageOn;
  m->m_byPageOff = off_given ? static_cast<uint8_t>(off) : m->m_defaults.m_byPageOff;
  if (off_given) m->m_byPageTimeGiven = 1;
  return MULTI_OK;
}

uint32_t spacing_character(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  int32_t n = t.Number();
  if (n < 0 || n > 99 || !t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  m->m_nCharSpacing = n;
  m->CurrentLine().SetSpacingOverride(static_cast<uint8_t>(n));
  return MULTI_OK;
}

uint32_t spacing_character_end(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(3);
  if (!t.AtEnd()) return MULTI_UNSUPPORTED_TAG_VALUE;
  m->m_nCharSpacing = -1;
  m->CurrentLine().SetSpacingOverride(255);
  return MULTI_OK;
}

uint32_t colour_rectangle(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  geometry_s g = geometry();
  int64_t x, y, w, h;
  uint32_t r = read_rectangle(t, g, &x, &y, &w, &h);
  t.Skip();
  int32_t n = t.Number();
  bool rgb = t.Peek() == ',';
  int32_t green = 0, blue = 0;
  if (rgb) {
    t.Skip();
    green = t.Number();
    t.Skip();
    blue = t.Number();
  }
  if (r != MULTI_OK) return r;
  if (!is_byte(n) || !is_byte(green) || !is_byte(blue)) return MULTI_UNSUPPORTED_TAG_VALUE;
  uint32_t colour = rgb ? colour_rect_rgb_value(n, green, blue) : colour_value(n);
  if (m->m_byMeasuring) {
    // The page keeps 20 colour rectangles; a 21st is refused.
    if (m->m_nColourRects < 0 || m->m_nColourRects >= MSG_COLOUR_RECTS) return MULTI_UNSUPPORTED_TAG_VALUE;
    m->m_colourRects[m->m_nColourRects++] = {static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                             static_cast<uint32_t>(h), static_cast<uint32_t>(w), colour};
  }
  m->m_event.Clear();
  m->m_event.kind = RE_COLOUR_RECT;
  return MULTI_OK;
}

uint32_t text_rectangle(scan_s& s, tag_reader t) {
  CMessage* m = s.message;
  t.Skip(2);
  geometry_s g = geometry();
  int64_t x, y, w, h;
  uint32_t r = read_rectangle(t, g, &x, &y, &w, &h);
  if (r != MULTI_OK) return r;
  if (sign_is_character_matrix(g.type) &&
      (!is_multiple_of(x - 1, g.char_width) || !is_multiple_of(x - 1 + w, g.char_width)))
    return MULTI_UNSUPPORTED_TAG_VALUE;
  if (sign_is_matrix(g.type) && (!is_multiple_of(y - 1, g.char_height) || !is_multiple_of(y - 1 + h, g.char_height)))
    return MULTI_UNSUPPORTED_TAG_VALUE;
  m->m_rects[m->Rect()] = {static_cast<int32_t>(x - 1), static_cast<int32_t>(y - 1), static_cast<int32_t>(x - 1 + w),
                           static_cast<int32_t>(y - 1 + h)};
  return MULTI_OK;
}

}  // namespace multi_tags
