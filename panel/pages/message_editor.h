// "CREATE MESSAGE": MULTI typed at the panel into the manager's message
// buffer, measured with the sign's fonts as it is typed, broken into lines
// and pages where it no longer fits, and shown a page at a time as plain
// text. CANCEL leads to the save pages.
//
// Line breaks the editor makes itself are "[NL]" and "[NP]" where they
// replaced a blank, "[Nl]" and "[Np]" where a word longer than the line was
// cut: when the text flows again they turn back into the blank or go. A
// line break the operator typed is "[nL]", and "[nP]" once a page had to
// start there.
#pragma once

#include <cstdint>

#include "panel/menu_item.h"

// One unit of MULTI text: a character, an escaped bracket pair or a tag.
struct multi_unit {
  uint32_t start;
  uint32_t length;
  bool tag;
  bool visible;  // characters, [hc], [f..], [nl], [np] and graphics
  uint8_t ch;    // the character shown, 0 for a tag
};
// The unit at byte `at` of the text (at < length).
multi_unit multi_unit_at(const char* text, uint32_t length, uint32_t at);
// Whether the tag's name (after '[') starts with `name`, in any case.
bool multi_tag_is(const char* text, const multi_unit& unit, const char* name);

class CLCD_MessageEditor : public CMenuItem {
 public:
  static constexpr uint32_t kLines = 32;
  static constexpr uint32_t kPositions = 512;
  static constexpr uint32_t kLinesPerPage = 3;
  static constexpr uint32_t kRows = 3;
  enum : uint8_t { SIGN_FULL = 0, SIGN_LINE = 1, SIGN_CHARACTER = 2 };

  struct editor_line {
    uint16_t first;  // first visible position
    uint8_t page;
    uint8_t font;
    uint16_t width;  // pixels
    uint8_t height;
    uint8_t spacing;  // to the line below
  };

  explicit CLCD_MessageEditor(CLCD_MenuId id);
  void Enter(CLCD_Manager* mgr) override;
  bool HandleKey(CLCD_Manager* mgr, LCDKeyEvent* key) override;
  void Draw(CLCD_Manager* mgr, CLCD* lcd, uint8_t mode) override;

  // Lays the text out again: automatic breaks, pages, the cursor's page.
  void Layout(CLCD_Manager* mgr);
  // Drops format tags that change nothing and the ones after the last
  // visible unit.
  void Tidy(CLCD_Manager* mgr);
  void DeleteBack(CLCD_Manager* mgr);
  // false (nothing changed) when the text would not fit the buffer or the
  // positions.
  bool InsertAtCursor(CLCD_Manager* mgr, const char* bytes, uint32_t n, uint32_t positions);

  uint16_t m_wCursor = 0;  // visible position where the next character goes
  editor_line m_aLines[kLines] = {};
  uint32_t m_dwLineCount = 0;
  uint32_t m_dwPageCount = 1;
  uint32_t m_dwCurrentPage = 1;
  uint8_t m_bySignKind = SIGN_FULL;
  uint16_t m_wSignHeight = 0;
  uint16_t m_wSignWidth = 0;

 private:
  // Replaces n bytes at `at` with the bytes given, keeping the cursor's
  // byte on the same unit. false when it would not fit.
  bool Replace(CLCD_Manager* mgr, uint32_t at, uint32_t n, const char* bytes, uint32_t count);
  uint32_t IndexOfPosition(CLCD_Manager* mgr, uint32_t position) const;
  uint32_t PositionOfIndex(CLCD_Manager* mgr, uint32_t index) const;
  uint32_t VisibleCount(CLCD_Manager* mgr) const;
  // One measuring pass; true when it changed the text (run it again).
  bool MeasurePass(CLCD_Manager* mgr);
  uint32_t m_dwCursorByte = 0;
};
