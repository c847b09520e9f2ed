#include "display/multi/parser.h"

#include <cstring>

#include "display/message/db_read.h"
#include "display/multi/multi_hooks.h"
#include "display/multi/tags.h"
#include "frame/trace/trace.h"
#include "frame/util/strings.h"

namespace {

enum tag_id {
  T_CB, T_PB, T_CF, T_FL, T_FL_END, T_FO, T_F, T_G, T_HC, T_JL, T_JP, T_MV,
  T_MS, T_MS_END, T_NL, T_NP, T_PT, T_PO, T_SC, T_SC_END, T_CR, T_TR,
};

struct tag_name {
  const char* name;
  bool with_case;
  tag_id id;
};

// Matched in this order: "f" and "g" take every tag that begins with their
// letter and is not named before them.
const tag_name kTagNames[] = {
    {"cb", false, T_CB},  {"pb", false, T_PB},     {"cf", false, T_CF}, {"fl", false, T_FL},
    {"/fl", false, T_FL_END}, {"fo", false, T_FO}, {"f", false, T_F},   {"g", false, T_G},
    {"hc", false, T_HC},  {"jl", false, T_JL},     {"jp", false, T_JP}, {"mv", false, T_MV},
    {"ms", false, T_MS},  {"/ms", true, T_MS_END}, {"nl", false, T_NL}, {"np", false, T_NP},
    {"pt", false, T_PT},  {"po", false, T_PO},     {"sc", false, T_SC}, {"/sc", false, T_SC_END},
    {"cr", false, T_CR},  {"tr", false, T_TR},
};

int find_tag(const uint8_t* tag, uint32_t length) {
  for (const auto& t : kTagNames) {
    uint32_t n = static_cast<uint32_t>(std::strlen(t.name));
    if (n > length) continue;
    int diff = t.with_case ? std::memcmp(tag, t.name, n) : mem_casecmp(tag, t.name, n);
    if (diff == 0) return t.id;
  }
  return -1;
}

constexpr uint8_t kNewPage[] = {'[', 'n', 'p', ']'};

bool is_new_page(const uint8_t* p) { return mem_casecmp(p, kNewPage, 4) == 0; }

void whole_sign(CMessage* m) {
  m->m_rects[0] = {0, 0, static_cast<int32_t>(nv_value(nv::vmsSignWidthPixels)),
                   static_cast<int32_t>(nv_value(nv::vmsSignHeightPixels))};
}

// Two segments of a line overlap when both are used and the later one does
// not start right of the end of the earlier.
bool overlaps(int32_t x1, uint32_t w1, int32_t x2, uint32_t w2) { return w1 && w2 && x2 <= x1 + int32_t(w1); }

bool any_overlap(const CMessage* m) {
  for (const auto& rect : m->m_lines)
    for (const auto& l : rect)
      if (overlaps(l.x_left, l.w_left, l.x_centre, l.w_centre) || overlaps(l.x_left, l.w_left, l.x_right, l.w_right) ||
          overlaps(l.x_centre, l.w_centre, l.x_right, l.w_right))
        return true;
  return false;
}

// Frames a phase of t tenths of a second lasts.
uint8_t phase_frames(uint8_t tenths) {
  uint32_t frames = (static_cast<uint32_t>(tenths) * multi_frame_rate() + 9) / 10;
  return static_cast<uint8_t>(frames > 255 ? 255 : frames);
}

}  // namespace

void FlashStep(CMessage* m) {
  // Regions after the last record share it; it moves on once a frame, with
  // the region that owns it.
  if (m->m_nFlash >= MSG_FLASH) return;
  int i = m->m_nFlash < 0 ? 0 : m->m_nFlash;
  flash_record_s& f = m->m_flash[i];
  if (f.frames == 0) {
    if (f.phase == 2) {
      f.phase = 1;
      f.frames = phase_frames(m->m_byFlashOff);
    } else if (f.phase == 1) {
      f.phase = 2;
      f.frames = phase_frames(m->m_byFlashOn);
    } else if (m->m_byFlashMode == 1) {
      f.phase = 2;
      f.frames = phase_frames(m->m_byFlashOn);
    } else {
      f.phase = 1;
      f.frames = phase_frames(m->m_byFlashOff);
    }
  }
  // A phase of no length still shows for this frame; it must not wrap to
  // 255 frames.
  if (f.frames) --f.frames;
  // One past the record just stepped, so that the renderer reads this
  // region's own record (the last one included).
  m->m_nFlash = i + 1;
}

CParser::CParser() : m_pContext(nullptr), m_pCallback(nullptr), m_byLineHasContent(0), m_start{}, m_byPageHasContent(0) {}

uint32_t CParser::Flush(CMessage* m, uint32_t position) {
  if (m->m_event.kind == RE_NONE) return MULTI_OK;
  int32_t before = m->m_nErrorPosition;
  m->m_nErrorPosition = -1;
  uint32_t r = m_call.callback(m_call.context, m);
  if (r != MULTI_OK) {
    if (m->m_nErrorPosition == -1) m->m_nErrorPosition = static_cast<int32_t>(position);
    return r;
  }
  m->m_nErrorPosition = before;
  m->m_event.Clear();
  return MULTI_OK;
}

void CParser::Deliver(CMessage* m) {
  int32_t before = m->m_nErrorPosition;
  m_call.callback(m_call.context, m);
  m->m_nErrorPosition = before;
  // Whatever the callback made of it, the event is gone: a stale event must
  // not swallow the characters that follow.
  m->m_event.Clear();
}

void CParser::Raise(CMessage* m, uint32_t kind) {
  m->m_event.Clear();
  m->m_event.kind = kind;
  Deliver(m);
}

void CParser::ExtendRun(CMessage* m, const uint8_t* text, uint32_t at) {
  if (m->m_event.kind == RE_NONE) {
    m->m_event.kind = RE_TEXT;
    m->m_event.arg.run.text = text + at;
    m->m_event.arg.run.count = 0;
    m->m_event.arg.run.position = at + 1;
    m_byLineHasContent = 1;
    m_byPageHasContent = 1;
  }
  ++m->m_event.arg.run.count;
}

void CParser::SavePageStart(CMessage* m) {
  std::memcpy(m_start.page_justification, m->m_byPageJustification, sizeof m_start.page_justification);
  std::memcpy(m_start.line_justification, m->m_byLineJustification, sizeof m_start.line_justification);
  m_start.flash_mode = m->m_byFlashMode;
  m_start.foreground = m->m_dwForeground;
  m_start.text_background = m->m_dwTextBackground;
  m_start.char_spacing = m->m_nCharSpacing;
  m_start.page_background = m->m_dwPageBackground;
  m_start.font = m->m_byFont;
}

void CParser::RestorePageStart(CMessage* m) {
  std::memcpy(m->m_byPageJustification, m_start.page_justification, sizeof m_start.page_justification);
  std::memcpy(m->m_byLineJustification, m_start.line_justification, sizeof m_start.line_justification);
  m->m_byFlashMode = m_start.flash_mode;
  m->m_dwForeground = m_start.foreground;
  m->m_dwTextBackground = m_start.text_background;
  m->m_nCharSpacing = m_start.char_spacing;
  m->m_dwPageBackground = m_start.page_background;
  m->m_byFont = m_start.font;
}

void CParser::StartDrawing(CMessage* m) {
  Raise(m, RE_MEASURED);
  m->m_byMeasuring = 0;
  m->m_byPageJustificationGiven[0] = 0;
  m->m_nLine = 0;
  m->m_nRect = 0;
  m->m_nColourRects = 0;
  RestorePageStart(m);
}

uint32_t CParser::Parse(void* context, render_callback callback, CMessage* m, const uint8_t* text, uint32_t length,
                        uint32_t start, uint32_t* next, bool measure_only) {
  if (!context || !callback || !m || !text || !length) return 0;
  m_call = {context, callback};

  for (auto& rect : m->m_lines)
    for (auto& line : rect) {
      line.EmptyLists();
      line.glyph = 0;
      line.SetJustification(0);
      line.SetLeadSpacing(0);
      line.SetMoving(false);
    }
  SavePageStart(m);
  m->m_byPageStarted = 0;
  m->m_byMeasuring = 1;
  m->m_event.Clear();
  m->m_nFlash = 0;
  m->m_nColourRects = 0;
  m->m_nRect = 0;
  m->m_byPageTimeGiven = 0;
  whole_sign(m);
  if (m->m_byFlashMode) FlashStep(m);
  m->m_byLineBreak = 1;

  for (;;) {
    m_byLineHasContent = 0;
    m_byPageHasContent = 0;
    m->m_byInMoving = 0;
    for (auto& rect : m->m_lines)
      for (auto& line : rect) line.w_left = line.w_centre = line.w_right = 0;

    bool seen = false;
    uint32_t pos = start;
    // A trailing "[np]" leaves one more, empty page.
    if (start == length && length > 4 && is_new_page(text + length - 4)) {
      pos = start + 1;
      seen = true;
    }
    scan_s scan{m, text, length, 0, 0, measure_only, 0};
    bool page_end = false;
    while (pos < length && !page_end) {
      uint8_t c = text[pos];
      int d = pos + 1 < length ? text[pos + 1] : -1;
      seen = true;
      if (m->m_byInMoving && c == ']' && d != ']') {
        uint32_t r = Flush(m, pos);
        if (r != MULTI_OK) return r;
        Raise(m, RE_MOVING_END);
        m->m_byInMoving = 0;
        ++pos;
      } else if (c == '[' && d != '[') {
        uint32_t r = Tag(scan, &pos, &page_end);
        if (r != MULTI_OK) return r;
      } else if ((c == '[' || c == ']') && d == c) {
        uint32_t r = Flush(m, pos);
        if (r != MULTI_OK) return r;
        ExtendRun(m, text, pos + 1);
        pos += 2;
      } else if (c == ']') {
        m->m_nErrorPosition = static_cast<int32_t>(pos);
        return MULTI_UNSUPPORTED_TAG;
      } else {
        ExtendRun(m, text, pos);
        ++pos;
      }
    }

    if (page_end) {
      if (!m->m_byMeasuring) {
        m->m_nLine = 0;
        *next = pos;
        return MULTI_OK;
      }
      Raise(m, RE_SEGMENT_END);
      Raise(m, RE_RECT_END);
      if (any_overlap(m)) {
        m->m_nErrorPosition = static_cast<int32_t>(pos);
        return MULTI_TEXT_TOO_BIG;
      }
      if (measure_only) {
        // Ends the page for the renderer so that the next one starts afresh.
        Raise(m, RE_MEASURED);
        *next = pos;
        return MULTI_OK;
      }
      StartDrawing(m);
      whole_sign(m);
      continue;
    }

    uint32_t r = Flush(m, pos);
    if (r != MULTI_OK) return r;
    if (!m->m_byMeasuring || !seen) {
      m->m_nLine = 0;
      *next = pos;
      return seen ? MULTI_OK : MULTI_NOTHING_LEFT;
    }
    Raise(m, RE_SEGMENT_END);
    Raise(m, RE_RECT_END);
    if (any_overlap(m)) {
      m->m_nErrorPosition = static_cast<int32_t>(pos);
      return MULTI_TEXT_TOO_BIG;
    }
    if (measure_only) {
      *next = pos;
      return MULTI_OK;
    }
    StartDrawing(m);
  }
}

uint32_t CParser::Tag(scan_s& scan, uint32_t* position, bool* page_end) {
  using namespace multi_tags;
  CMessage* m = scan.message;
  const uint8_t* text = scan.text;
  uint32_t length = scan.length;
  uint32_t open = *position;

  uint32_t r = Flush(m, open);
  if (r != MULTI_OK) return r;

  // The closing "]": "[[" and "]]" pairs inside are stepped over; only a
  // moving text may hold a lone "[" (the tags of its text).
  bool moving = open + 2 < length && text[open + 1] == 'm' && text[open + 2] == 'v';
  uint32_t close = open + 1;
  for (; close < length; ++close) {
    uint8_t c = text[close];
    bool pair = close + 1 < length && text[close + 1] == c;
    if (c == ']') {
      if (!pair) break;
      ++close;
    } else if (c == '[') {
      if (pair) {
        ++close;
      } else if (!moving) {
        m->m_nErrorPosition = static_cast<int32_t>(open);
        return MULTI_UNSUPPORTED_TAG;
      }
    }
  }
  if (close >= length) {
    m->m_nErrorPosition = static_cast<int32_t>(open);
    return MULTI_UNSUPPORTED_TAG;
  }

  const uint8_t* tag = text + open + 1;
  uint32_t tag_length = close - open - 1;
  int id = find_tag(tag, tag_length);
  if (id < 0) {
    m->m_nErrorPosition = static_cast<int32_t>(open);
    return MULTI_UNSUPPORTED_TAG;
  }
  scan.open = open;
  scan.close = close;
  scan.resume = 0;
  tag_reader t(tag, tag_length);
  uint32_t resume = close + 1;
  effects_s effects;

  switch (id) {
    case T_CB:
      r = text_background(scan, t);
      break;
    case T_PB:
      r = page_background(scan, t);
      // The page background goes before anything is drawn on the page.
      if (r == MULTI_OK && m->m_byMeasuring && m_byPageHasContent) r = MULTI_TAG_CONFLICT;
      break;
    case T_CF:
      r = foreground(scan, t);
      break;
    case T_FL:
      r = flash(scan, t);
      break;
    case T_FL_END:
      r = flash_end(scan, t);
      break;
    case T_FO:
      r = font(scan, t);
      break;
    case T_F:
      r = field(scan, t);
      if (r == MULTI_OK) {
        Deliver(m);
        m_byLineHasContent = 1;
        m_byPageHasContent = 1;
      }
      break;
    case T_HC:
      r = hex_character(scan, t);
      if (r == MULTI_OK) {
        // The renderer knows whether the font has the character.
        r = Flush(m, open);
        m->m_event.Clear();
        m_byLineHasContent = 1;
        m_byPageHasContent = 1;
      }
      break;
    case T_G:
      r = graphic(scan, t);
      if (r == MULTI_OK) {
        Deliver(m);
        m_byPageHasContent = 1;
      }
      break;
    case T_JL:
      if (m->m_byMeasuring && m_byLineHasContent) Raise(m, RE_SEGMENT_END);
      r = justification_line(scan, t);
      break;
    case T_JP:
      r = justification_page(scan, t);
      if (r == MULTI_OK) m->m_byPageJustificationGiven[m->Rect()] = 1;
      break;
    case T_MV:
      r = moving_text(scan, t);
      if (r == MULTI_OK) {
        uint8_t justification = m->m_byLineJustification[m->Rect()];
        line_record_s& line = m->CurrentLine();
        uint32_t sum = line.w_left + line.w_centre + line.w_right;
        Raise(m, RE_MOVING_START);
        line_record_s& after = m->CurrentLine();
        uint16_t width = static_cast<uint16_t>(sum > 0xFFFF ? 0xFFFF : sum);
        if (justification == 2) after.w_left = width;
        if (justification == 3) after.w_centre = width;
        if (justification == 4) after.w_right = width;
        m->m_byInMoving = 1;
        resume = scan.resume;
      }
      break;
    case T_MS:
      r = manufacturer(scan, t, &effects);
      if (r == MULTI_OK) {
        Deliver(m);
        if (effects.line_content) m_byLineHasContent = 1;
        if (effects.page_content) m_byPageHasContent = 1;
      }
      break;
    case T_MS_END:
      r = manufacturer_end(scan, t);
      break;
    case T_NL:
      r = new_line(scan, t);
      if (r == MULTI_OK) {
        if (m->m_byMeasuring) Raise(m, RE_SEGMENT_END);
        Raise(m, RE_NEW_LINE);
        m_byLineHasContent = 0;
      }
      break;
    case T_NP:
      r = new_page(scan, t);
      if (r == MULTI_OK) *page_end = true;
      break;
    case T_PT:
    case T_PO:
      r = page_time(scan, t);
      break;
    case T_SC:
      r = spacing_character(scan, t);
      break;
    case T_SC_END:
      r = spacing_character_end(scan, t);
      break;
    case T_CR:
      r = colour_rectangle(scan, t);
      if (r == MULTI_OK) {
        Deliver(m);
        m_byPageHasContent = 1;
      }
      break;
    case T_TR:
      m->m_byPageJustificationGiven[m->Rect()] = 0;
      if (m->m_byMeasuring) {
        if (m_byLineHasContent) Raise(m, RE_SEGMENT_END);
        Raise(m, RE_RECT_END);
      }
      Raise(m, RE_NEW_RECT);
      r = text_rectangle(scan, t);
      m_byLineHasContent = 0;
      break;
  }
  if (r != MULTI_OK && r != MULTI_NOTHING_LEFT) {
    m->m_nErrorPosition = static_cast<int32_t>(open);
    return r;
  }
  *position = resume;
  return MULTI_OK;
}

// ------------------------------------------------------------ CMULTIParser

bool CMULTIParser::ParsePage(void* context, render_callback callback, CMessage* m, uint32_t page) {
  if (!m || m->m_dwTextLength == 0) return false;
  m_pContext = context;
  m_pCallback = callback;
  uint32_t length = m->m_dwTextLength;
  uint32_t start = 0;
  if (page > 1) {
    uint32_t found = 0;
    for (uint32_t i = 0; i + 4 <= length && found < page - 1; ++i)
      if (is_new_page(m->m_text + i)) {
        ++found;
        start = i + 4;
        i += 3;
      }
    if (found < page - 1) return false;
  }
  uint32_t next = 0;
  return Parse(context, callback, m, m->m_text, length, start, &next, false) == MULTI_OK;
}

uint8_t CMULTIParser::CountPages(const uint8_t* text, uint32_t length) {
  if (!text || length == 0) return 0;
  uint32_t pages = 1;
  for (uint32_t i = 0; i + 4 <= length; ++i)
    if (is_new_page(text + i)) {
      ++pages;
      i += 3;
    }
  // Kept in 8 bits: a count that does not fit stays at the largest.
  return static_cast<uint8_t>(pages > 255 ? 255 : pages);
}

bool CMULTIParser::NextPage(CMessage* m) {
  if (!m) return false;
  m->m_dwPageStart = m->m_dwNextPageStart;
  uint32_t next = 0;
  uint32_t r = Parse(m_pContext, m_pCallback, m, m->m_text, m->m_dwTextLength, m->m_dwPageStart, &next, false);
  if (r != MULTI_OK) {
    m->m_byShownPage = 0;
    return false;
  }
  m->m_dwNextPageStart = next;
  ++m->m_byShownPage;
  return true;
}

bool CMULTIParser::CurrentPage(CMessage* m) {
  if (!m) return false;
  if (m->m_dwTextLength == 0) return true;
  uint32_t next = 0;
  uint32_t r = Parse(m_pContext, m_pCallback, m, m->m_text, m->m_dwTextLength, m->m_dwPageStart, &next, false);
  return r == MULTI_OK;
}

bool CMULTIParser::Restart(CMessage* m) {
  if (!m) return false;
  m->ApplyDefaults();
  m->m_dwPageStart = 0;
  m->m_dwNextPageStart = 0;
  return true;
}

uint32_t CMULTIParser::Validate(void* context, render_callback callback, CMessage* m, const uint8_t* text,
                                uint32_t length) {
  if (!m) return 0;
  m->Reset(1);
  m->m_defaults.Load();
  m->ApplyDefaults();
  if (!text || length == 0) return MULTI_OK;

  uint32_t start = 0;
  uint32_t pages = 0;
  for (;;) {
    uint32_t next = 0;
    uint32_t r = Parse(context, callback, m, text, length, start, &next, true);
    if (r == MULTI_NOTHING_LEFT) return MULTI_OK;
    if (r != MULTI_OK) return r;
    if (++pages > MULTI_MAX_PAGES) {
      m->m_nErrorPosition = static_cast<int32_t>(start);
      return MULTI_TOO_MANY_PAGES;
    }
    for (int rect = 0; rect <= m->Rect(); ++rect)
      for (int line = 0; line <= m->Line(); ++line) {
        const line_record_s& l = m->m_lines[rect][line];
        if (l.top + l.height > m->m_rects[rect].bottom) {
          monitor_printf_debug("CMultiParser::Validate: Error Message too tall\n");
          m->m_nErrorPosition = static_cast<int32_t>(start);
          return MULTI_TEXT_TOO_BIG;
        }
      }
    m->Reset(0);
    start = next;
  }
}

uint32_t CMULTIParser::Load(void* context, render_callback callback, CMessage* m, const uint8_t* text,
                            uint32_t length) {
  m_pContext = context;
  m_pCallback = callback;
  if (!m) return 0;
  m->SetText(text, length);
  m->Reset(0);
  m->m_byShownPage = 0;
  m->ApplyDefaults();
  m->m_dwPageStart = 0;
  m->m_dwNextPageStart = 0;
  return 0;
}
