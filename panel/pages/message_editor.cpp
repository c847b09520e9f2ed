#include "panel/pages/message_editor.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "database/database.h"
#include "database/objects.h"
#include "panel/db_values.h"
#include "panel/lcd.h"
#include "panel/lcd_manager.h"
#include "panel/lcd_rights.h"
#include "panel/menu_bases.h"
#include "panel/pages/page_classes.h"

namespace {

constexpr CLCD_MenuId kMenuSave = 31;
constexpr uint8_t kPriority = 190;
constexpr uint32_t kFonts = 20;
// Enough passes for every break a full buffer can hold.
constexpr uint32_t kMaxPasses = CLCD_Manager::kEditSize;

uint8_t lower(uint8_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c - 'A' + 'a') : c; }

bool is_visible_tag(const char* name, uint32_t n) {
  auto starts = [&](const char* s) {
    const uint32_t k = static_cast<uint32_t>(std::strlen(s));
    if (n < k) return false;
    for (uint32_t i = 0; i < k; ++i)
      if (lower(static_cast<uint8_t>(name[i])) != static_cast<uint8_t>(s[i])) return false;
    return true;
  };
  if (starts("hc") || starts("nl") || starts("np") || starts("ms11,g,")) return true;
  return n >= 2 && lower(static_cast<uint8_t>(name[0])) == 'f' && name[1] >= '0' && name[1] <= '9';
}

// The decimal number at `p` (up to `end`); `fallback` when there is none.
uint32_t number_at(const char* p, const char* end, uint32_t fallback) {
  if (p >= end || *p < '0' || *p > '9') return fallback;
  uint32_t v = 0;
  while (p < end && *p >= '0' && *p <= '9' && v < 100000) v = v * 10 + static_cast<uint32_t>(*p++ - '0');
  return v;
}

bool same_bytes(const char* text, const multi_unit& u, const char* s) {
  return u.length == std::strlen(s) && std::memcmp(text + u.start, s, u.length) == 0;
}

struct font_metrics {
  uint8_t height;
  uint8_t char_spacing;
  uint8_t line_spacing;
};

font_metrics metrics(uint32_t font, uint8_t kind) {
  if (kind == CLCD_MessageEditor::SIGN_CHARACTER) font = 1;
  font_metrics m{0, 0, 0};
  if (font < 1 || font > kFonts) return m;
  m.height = static_cast<uint8_t>(lcd_nv(nv::fontHeight(font - 1)));
  m.char_spacing = static_cast<uint8_t>(lcd_nv(nv::fontCharSpacing(font - 1)));
  m.line_spacing = static_cast<uint8_t>(lcd_nv(nv::fontLineSpacing(font - 1)));
  if (kind == CLCD_MessageEditor::SIGN_CHARACTER) {
    m.char_spacing = 1;
    m.line_spacing = 2;
  } else if (kind == CLCD_MessageEditor::SIGN_LINE) {
    m.line_spacing = 0;
  }
  return m;
}

uint32_t char_width(uint32_t font, uint8_t c, uint8_t kind) {
  if (kind == CLCD_MessageEditor::SIGN_CHARACTER) font = 1;
  if (font < 1 || font > kFonts || c == 0) return 0;
  return lcd_nv(nv::characterWidth(font - 1, c - 1u));
}

uint32_t default_font() {
  const uint32_t f = lcd_nv(nv::defaultFont);
  return f ? f : 1;
}

}  // namespace

multi_unit multi_unit_at(const char* text, uint32_t length, uint32_t at) {
  multi_unit u{at, 1, false, true, static_cast<uint8_t>(text[at])};
  const char c = text[at];
  const bool doubled = at + 1 < length && text[at + 1] == c;
  if ((c == '[' || c == ']') && doubled) {
    u.length = 2;
    return u;
  }
  if (c != '[') return u;
  uint32_t end = at + 1;
  while (end < length && text[end] != ']') ++end;
  u.length = (end < length ? end + 1 : end) - at;
  u.tag = true;
  u.ch = 0;
  u.visible = is_visible_tag(text + at + 1, end - at - 1);
  return u;
}

bool multi_tag_is(const char* text, const multi_unit& unit, const char* name) {
  if (!unit.tag) return false;
  const uint32_t n = static_cast<uint32_t>(std::strlen(name));
  if (unit.length < n + 1) return false;
  for (uint32_t i = 0; i < n; ++i)
    if (lower(static_cast<uint8_t>(text[unit.start + 1 + i])) != static_cast<uint8_t>(name[i])) return false;
  return true;
}

CLCD_MessageEditor::CLCD_MessageEditor(CLCD_MenuId id)
    : CMenuItem(id, "CREATE MESSAGE", "CREATION DE MESSAGE", LCD_RIGHT_EDIT_MESSAGES, 0) {}

// ---------------------------------------------------------------- text

bool CLCD_MessageEditor::Replace(CLCD_Manager* mgr, uint32_t at, uint32_t n, const char* bytes, uint32_t count) {
  uint32_t& length = mgr->m_dwEditLength;
  if (at > length || n > length - at) return false;
  // One byte stays free for the end of the text.
  if (length - n + count > CLCD_Manager::kEditSize - 1) return false;
  char* text = mgr->m_szEdit;
  std::memmove(text + at + count, text + at + n, length - at - n);
  if (count) std::memcpy(text + at, bytes, count);
  length = length - n + count;
  text[length] = 0;
  if (m_dwCursorByte > at || (m_dwCursorByte == at && n == 0)) {
    m_dwCursorByte = m_dwCursorByte >= at + n ? m_dwCursorByte - n + count : at + count;
  }
  if (m_dwCursorByte > length) m_dwCursorByte = length;
  return true;
}

uint32_t CLCD_MessageEditor::IndexOfPosition(CLCD_Manager* mgr, uint32_t position) const {
  const char* text = mgr->m_szEdit;
  const uint32_t length = mgr->m_dwEditLength;
  uint32_t seen = 0;
  for (uint32_t i = 0; i < length;) {
    const multi_unit u = multi_unit_at(text, length, i);
    if (u.visible) {
      if (seen == position) return i;
      ++seen;
    }
    i += u.length;
  }
  return length;
}

uint32_t CLCD_MessageEditor::PositionOfIndex(CLCD_Manager* mgr, uint32_t index) const {
  const char* text = mgr->m_szEdit;
  const uint32_t length = mgr->m_dwEditLength;
  uint32_t seen = 0;
  for (uint32_t i = 0; i < length && i < index;) {
    const multi_unit u = multi_unit_at(text, length, i);
    if (u.visible) ++seen;
    i += u.length;
  }
  return seen;
}

uint32_t CLCD_MessageEditor::VisibleCount(CLCD_Manager* mgr) const {
  return PositionOfIndex(mgr, mgr->m_dwEditLength);
}

bool CLCD_MessageEditor::InsertAtCursor(CLCD_Manager* mgr, const char* bytes, uint32_t n, uint32_t positions) {
  if (VisibleCount(mgr) + positions > kPositions) return false;
  const uint32_t at = IndexOfPosition(mgr, m_wCursor);
  m_dwCursorByte = at;
  if (!Replace(mgr, at, 0, bytes, n)) return false;
  m_dwCursorByte = at + n;
  m_wCursor = static_cast<uint16_t>(m_wCursor + positions);
  return true;
}

// ---------------------------------------------------------------- layout

bool CLCD_MessageEditor::MeasurePass(CLCD_Manager* mgr) {
  const char* text = mgr->m_szEdit;
  const uint32_t max_pages_nv = lcd_nv(nv::dmsMaxNumberPages);
  // Three lines a page and the line records bound the pages.
  const uint32_t page_limit = kLines / kLinesPerPage;
  const uint32_t max_pages = max_pages_nv == 0 ? 1 : max_pages_nv < page_limit ? max_pages_nv : page_limit;

  uint32_t font = default_font();
  font_metrics m = metrics(font, m_bySignKind);
  uint32_t width = 0, chars = 0, height = m.height, position = 0, line_first = 0;
  int64_t blank = -1;  // byte of the last blank after the line's first character
  uint32_t page = 1, lines_in_page = 0, page_height = 0, gap = 0;
  int64_t previous_break = -1;  // the tag that ended the line before
  uint32_t previous_break_length = 0;
  m_dwLineCount = 0;

  // The line that ends here; true when the text had to change.
  auto end_line = [&](int64_t tag, uint32_t tag_length, bool page_break, uint32_t next_spacing) -> bool {
    const bool full = lines_in_page >= kLinesPerPage || page_height + gap + height > m_wSignHeight;
    if (lines_in_page > 0 && full && previous_break >= 0) {
      // This line starts a page: the break above becomes a page break.
      const multi_unit above = multi_unit_at(text, mgr->m_dwEditLength, static_cast<uint32_t>(previous_break));
      const char* with = same_bytes(text, above, "[NL]") ? "[NP]" : same_bytes(text, above, "[Nl]") ? "[Np]" : "[nP]";
      return Replace(mgr, static_cast<uint32_t>(previous_break), previous_break_length, with, 4);
    }
    if (page > max_pages) {
      // Past the last page allowed: the rest of the text goes.
      const uint32_t cut = previous_break >= 0 ? static_cast<uint32_t>(previous_break) : 0;
      return Replace(mgr, cut, mgr->m_dwEditLength - cut, nullptr, 0);
    }
    page_height += (lines_in_page ? gap : 0) + height;
    ++lines_in_page;
    if (m_dwLineCount < kLines) {
      editor_line& l = m_aLines[m_dwLineCount++];
      l.first = static_cast<uint16_t>(line_first);
      l.page = static_cast<uint8_t>(page);
      l.font = static_cast<uint8_t>(font);
      l.width = static_cast<uint16_t>(width > 0xFFFF ? 0xFFFF : width);
      l.height = static_cast<uint8_t>(height);
      l.spacing = static_cast<uint8_t>(next_spacing);
    }
    gap = next_spacing;
    previous_break = tag;
    previous_break_length = tag_length;
    if (page_break) {
      ++page;
      lines_in_page = 0;
      page_height = 0;
    }
    width = chars = 0;
    blank = -1;
    height = m.height;
    line_first = position;
    return false;
  };

  for (uint32_t i = 0; i < mgr->m_dwEditLength;) {
    const multi_unit u = multi_unit_at(text, mgr->m_dwEditLength, i);
    if (u.tag) {
      const char* args = text + u.start + 3;
      const char* end = text + u.start + u.length - 1;
      if (multi_tag_is(text, u, "fo")) {
        font = number_at(args, end, default_font());
        m = metrics(font, m_bySignKind);
        if (m.height > height) height = m.height;
      } else if (multi_tag_is(text, u, "nl") || multi_tag_is(text, u, "np")) {
        const bool page_break = multi_tag_is(text, u, "np");
        uint32_t spacing = m.line_spacing;
        if (!page_break && m_bySignKind == SIGN_FULL) spacing = number_at(args, end, spacing);
        ++position;
        if (end_line(i, u.length, page_break, spacing)) return true;
      } else if (u.visible) {
        ++position;
      }
      i += u.length;
      continue;
    }
    const uint32_t add = char_width(font, u.ch, m_bySignKind) + (chars ? m.char_spacing : 0);
    if (chars > 0 && width + add > m_wSignWidth) {
      // Break at the last blank, else before this character; a full
      // buffer leaves the line long.
      if (u.ch == ' ' && Replace(mgr, i, 1, "[NL]", 4)) return true;
      if (u.ch != ' ' && blank >= 0 && Replace(mgr, static_cast<uint32_t>(blank), 1, "[NL]", 4)) return true;
      if (u.ch != ' ' && blank < 0 && Replace(mgr, i, 0, "[Nl]", 4)) return true;
    }
    width += add;
    if (u.ch == ' ' && chars > 0) blank = i;
    ++chars;
    ++position;
    i += u.length;
  }
  if (end_line(-1, 0, false, 0)) return true;
  m_dwPageCount = page;
  return false;
}

void CLCD_MessageEditor::Layout(CLCD_Manager* mgr) {
  m_dwCursorByte = IndexOfPosition(mgr, m_wCursor);
  // The editor's own breaks flow again.
  for (uint32_t i = 0; i < mgr->m_dwEditLength;) {
    const multi_unit u = multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, i);
    if (same_bytes(mgr->m_szEdit, u, "[NL]") || same_bytes(mgr->m_szEdit, u, "[NP]")) {
      Replace(mgr, i, u.length, " ", 1);
      i += 1;
    } else if (same_bytes(mgr->m_szEdit, u, "[Nl]") || same_bytes(mgr->m_szEdit, u, "[Np]")) {
      Replace(mgr, i, u.length, nullptr, 0);
    } else if (same_bytes(mgr->m_szEdit, u, "[nP]")) {
      Replace(mgr, i, u.length, "[nL]", 4);
      i += 4;
    } else {
      i += u.length;
    }
  }
  for (uint32_t pass = 0; pass < kMaxPasses && MeasurePass(mgr); ++pass) {
  }
  const uint32_t count = VisibleCount(mgr);
  uint32_t cursor = PositionOfIndex(mgr, m_dwCursorByte);
  if (cursor > count) cursor = count;
  m_wCursor = static_cast<uint16_t>(cursor);
  uint32_t page = 1;
  for (uint32_t l = 0; l < m_dwLineCount; ++l)
    if (m_aLines[l].first <= m_wCursor) page = m_aLines[l].page;
  if (page != m_dwCurrentPage) mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  m_dwCurrentPage = page;
}

void CLCD_MessageEditor::Tidy(CLCD_Manager* mgr) {
  m_dwCursorByte = IndexOfPosition(mgr, m_wCursor);
  bool changed = true;
  while (changed) {
    changed = false;
    uint32_t in_effect = 0;  // the font a character last followed
    int64_t pending = -1;
    uint32_t pending_font = 0;
    uint32_t last_visible_end = 0;
    bool any_visible = false;
    for (uint32_t i = 0; i < mgr->m_dwEditLength && !changed;) {
      const multi_unit u = multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, i);
      if (multi_tag_is(mgr->m_szEdit, u, "fo")) {
        const char* end = mgr->m_szEdit + u.start + u.length - 1;
        const uint32_t f = number_at(mgr->m_szEdit + u.start + 3, end, default_font());
        if (pending >= 0) {
          const multi_unit earlier = multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, static_cast<uint32_t>(pending));
          changed = Replace(mgr, earlier.start, earlier.length, nullptr, 0);
        } else if (in_effect && f == in_effect) {
          changed = Replace(mgr, i, u.length, nullptr, 0);
        } else {
          pending = i;
          pending_font = f;
        }
      } else if (u.visible && !multi_tag_is(mgr->m_szEdit, u, "nl") && !multi_tag_is(mgr->m_szEdit, u, "np")) {
        if (pending >= 0) in_effect = pending_font;
        pending = -1;
      }
      if (u.visible) {
        any_visible = true;
        last_visible_end = u.start + u.length;
      }
      i += u.length;
    }
    // Tags after the last visible unit do nothing.
    if (!changed && any_visible && last_visible_end < mgr->m_dwEditLength)
      changed = Replace(mgr, last_visible_end, mgr->m_dwEditLength - last_visible_end, nullptr, 0);
  }
  m_wCursor = static_cast<uint16_t>(PositionOfIndex(mgr, m_dwCursorByte));
}

void CLCD_MessageEditor::DeleteBack(CLCD_Manager* mgr) {
  if (mgr->m_dwEditLength == 0 || m_wCursor == 0) return;
  m_dwCursorByte = IndexOfPosition(mgr, m_wCursor);
  std::vector<multi_unit> units;
  for (uint32_t i = 0; i < m_dwCursorByte;) {
    units.push_back(multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, i));
    i += units.back().length;
  }
  for (size_t k = units.size(); k-- > 0;) {
    const multi_unit& u = units[k];
    if (u.tag && !u.visible) {
      // A line justification met on the way goes with the unit.
      if (multi_tag_is(mgr->m_szEdit, u, "jl")) Replace(mgr, u.start, u.length, nullptr, 0);
      continue;
    }
    uint32_t end = u.start + u.length;
    if (multi_tag_is(mgr->m_szEdit, u, "np")) {
      // A page break takes the page's own settings with it.
      while (end < mgr->m_dwEditLength) {
        const multi_unit next = multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, end);
        if (!multi_tag_is(mgr->m_szEdit, next, "pt") && !multi_tag_is(mgr->m_szEdit, next, "jp") &&
            !multi_tag_is(mgr->m_szEdit, next, "jl"))
          break;
        end += next.length;
      }
    }
    Replace(mgr, u.start, end - u.start, nullptr, 0);
    m_wCursor = static_cast<uint16_t>(m_wCursor - 1);
    break;
  }
  Tidy(mgr);
}

// ---------------------------------------------------------------- page

void CLCD_MessageEditor::Enter(CLCD_Manager* mgr) {
  const uint32_t type = lcd_nv(nv::dmsSignType);
  m_bySignKind = type == 4 ? SIGN_CHARACTER : type == 5 ? SIGN_LINE : SIGN_FULL;
  uint32_t height = lcd_nv(nv::vmsSignHeightPixels);
  uint32_t width = lcd_nv(nv::vmsSignWidthPixels);
  if (m_bySignKind == SIGN_CHARACTER) {
    // The gaps between character cells count.
    height += height / 7 * 2;
    width += width / 5;
  }
  m_wSignHeight = static_cast<uint16_t>(height > 0xFFFF ? 0xFFFF : height);
  m_wSignWidth = static_cast<uint16_t>(width > 0xFFFF ? 0xFFFF : width);
  m_wCursor = 0;
  m_dwCurrentPage = 1;
  const int n = std::snprintf(mgr->m_szEdit, CLCD_Manager::kEditSize, "[pt%uo%u][jp%u][jl%u][fo%u]",
                              lcd_nv(nv::defaultPageOnTime), lcd_nv(nv::defaultPageOffTime),
                              lcd_nv(nv::defaultJustificationPage), lcd_nv(nv::defaultJustificationLine),
                              lcd_nv(nv::defaultFont));
  mgr->m_dwEditLength = n > 0 ? static_cast<uint32_t>(n) : 0;
  std::snprintf(mgr->m_szEditOwner, sizeof mgr->m_szEditOwner, "%s",
                lcd_text(mgr, "LOCAL EDITOR", "EDITEUR LOCAL"));
  mgr->m_byEditPriority = kPriority;
  Layout(mgr);
}

bool CLCD_MessageEditor::HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) {
  if (!key) return false;
  const uint16_t code = lcd_key_code(*key);
  const uint8_t flags = lcd_key_flags(*key);
  if (code == LCD_KEY_ESC) {
    Tidy(mgr);
    mgr->ActivateMenu(kMenuSave, this, false);
    return true;
  }
  if (lcd_key_is_backspace(*key)) {
    DeleteBack(mgr);
  } else if (code == LCD_KEY_ENTER) {
    if (flags & LCD_KEY_FLAG_CTRL) {
      // A line break at the cursor becomes the page break.
      const uint32_t at = IndexOfPosition(mgr, m_wCursor);
      if (at < mgr->m_dwEditLength) {
        const multi_unit u = multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, at);
        if (multi_tag_is(mgr->m_szEdit, u, "nl") || same_bytes(mgr->m_szEdit, u, "[NP]")) {
          m_dwCursorByte = at;
          Replace(mgr, at, u.length, nullptr, 0);
        }
      }
      InsertAtCursor(mgr, "[np]", 4, 1);
    } else {
      InsertAtCursor(mgr, "[nL]", 4, 1);
    }
  } else if (code == LCD_KEY_LEFT) {
    if (m_wCursor > 0) --m_wCursor;
  } else if (code == LCD_KEY_RIGHT) {
    ++m_wCursor;
  } else if (code >= 0x20 && code <= 0xFF) {
    const char c = static_cast<char>(code);
    const char doubled[2] = {c, c};
    const uint32_t n = (c == '[' || c == ']') ? 2 : 1;
    bool replaced = false;
    if ((flags & LCD_KEY_FLAG_REPLACE) && m_wCursor > 0) {
      // The same keypad key again: the character just typed changes.
      const uint32_t at = IndexOfPosition(mgr, m_wCursor - 1u);
      if (at < mgr->m_dwEditLength) {
        const multi_unit u = multi_unit_at(mgr->m_szEdit, mgr->m_dwEditLength, at);
        if (!u.tag) {
          m_dwCursorByte = at + u.length;
          replaced = Replace(mgr, at, u.length, doubled, n);
        }
      }
    }
    if (!replaced) InsertAtCursor(mgr, doubled, n, 1);
    ++mgr->m_byTapIndex;
  }
  // Every other key is taken too: function keys open no page meanwhile.
  Layout(mgr);
  mgr->RequestRedraw(LCD_DRAW_PARTIAL);
  return true;
}

void CLCD_MessageEditor::Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) {
  if (mode == LCD_DRAW_REFRESH) return;
  if (mode == LCD_DRAW_FULL) lcd->Printf(1, LCD_ALIGN_CENTRE, "%s", Title(mgr));
  lcd->PrintfLine(2, LCD_ALIGN_CENTRE, "PAGE: %u/%u", m_dwCurrentPage, m_dwPageCount);
  char rows[kRows][LCD_COLUMNS + 1] = {};
  uint32_t page = 1, line = 0, column = 0, position = 0;
  uint32_t cursor_line = 0, cursor_column = 0;
  bool cursor_found = false;
  const char* text = mgr->m_szEdit;
  for (uint32_t i = 0; i < mgr->m_dwEditLength;) {
    const multi_unit u = multi_unit_at(text, mgr->m_dwEditLength, i);
    if (position == m_wCursor && u.visible && !cursor_found && page == m_dwCurrentPage) {
      cursor_found = true;
      cursor_line = line;
      cursor_column = column;
    }
    if (multi_tag_is(text, u, "nl")) {
      ++line;
      column = 0;
    } else if (multi_tag_is(text, u, "np")) {
      ++page;
      line = column = 0;
    } else if (!u.tag && page == m_dwCurrentPage) {
      if (line < kRows && column < LCD_COLUMNS) rows[line][column] = static_cast<char>(u.ch);
      ++column;
    }
    if (u.visible) ++position;
    i += u.length;
  }
  if (!cursor_found) {
    cursor_line = page == m_dwCurrentPage ? line : 0;
    cursor_column = page == m_dwCurrentPage ? column : 0;
  }
  for (uint32_t r = 0; r < kRows; ++r) lcd->PrintfLine(3 + r, LCD_ALIGN_LEFT, "%s", rows[r]);
  if (mode == LCD_DRAW_FULL)
    lcd->Printf(8, LCD_ALIGN_CENTRE, "%s",
                lcd_text(mgr, "PRESS CANCEL FOR MESSAGE SAVE OPTIONS", "ANNULER POUR ENREGISTRER"));
  if (cursor_line >= kRows) cursor_line = kRows - 1;
  if (cursor_column >= LCD_COLUMNS) cursor_column = LCD_COLUMNS - 1;
  mgr->ShowCursor(true, static_cast<int32_t>(3 + cursor_line), static_cast<int32_t>(1 + cursor_column));
}

namespace {
CMenuItem* create_editor(CLCD_MenuId id, uint32_t) { return new (std::nothrow) CLCD_MessageEditor(id); }
}  // namespace

const class_descriptor g_message_editor_class = {12, create_editor};
