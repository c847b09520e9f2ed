// The MULTI tag handlers and the bounded reader they parse tag text with.
// Every handler gets the text between "[" and "]" (never beyond it) and
// returns a MULTI error code; the scanner sets the error position.
#pragma once

#include <cstdint>

#include "display/multi/parser.h"

// Speed sensors a [ms11,sp...] tag may name (0-based).
constexpr int32_t MULTI_SPEED_SENSORS = 4;
// Widest [ms11,sp...] field: the renderer prints it into a 50-byte buffer.
constexpr int32_t MULTI_SPEED_WIDTH_MAX = 49;

class tag_reader {
 public:
  tag_reader(const uint8_t* text, uint32_t length) : m_p(text), m_end(text + length) {}

  bool AtEnd() const { return m_p >= m_end; }
  uint32_t Left() const { return AtEnd() ? 0 : static_cast<uint32_t>(m_end - m_p); }
  const uint8_t* Pos() const { return m_p; }
  // The character `ahead` places on, or -1 past the end.
  int Peek(uint32_t ahead = 0) const { return ahead < Left() ? m_p[ahead] : -1; }
  void Skip(uint32_t n = 1) { m_p += n < Left() ? n : Left(); }
  // Steps over `word` when the text continues with it (letters A-Z folded).
  bool Match(const char* word);
  bool MatchCase(const char* word);
  // A decimal number read as atoi reads it (white space, a sign, digits)
  // and stepped over; 0 and nothing stepped over when there are no digits.
  // Values beyond the 32-bit range saturate.
  int32_t Number(bool* found = nullptr);
  // Up to four hexadecimal digits (either case); false when there are none.
  bool Hex4(uint32_t* value);

 private:
  const uint8_t* m_p;
  const uint8_t* m_end;
};

namespace multi_tags {

using scan_s = CParser::scan_s;

// Set by a handler for the scanner: the tag put text on the line.
struct effects_s {
  bool line_content = false;  // text, a field or a character joined the line
  bool page_content = false;  // text, a graphic or a colour rectangle on the page
};

uint32_t text_background(scan_s& s, tag_reader t);      // cb
uint32_t page_background(scan_s& s, tag_reader t);      // pb
uint32_t foreground(scan_s& s, tag_reader t);           // cf
uint32_t flash(scan_s& s, tag_reader t);                // fl
uint32_t flash_end(scan_s& s, tag_reader t);            // /fl
uint32_t font(scan_s& s, tag_reader t);                 // fo
uint32_t field(scan_s& s, tag_reader t);                // f
uint32_t graphic(scan_s& s, tag_reader t);              // g
uint32_t hex_character(scan_s& s, tag_reader t);        // hc
uint32_t justification_line(scan_s& s, tag_reader t);   // jl
uint32_t justification_page(scan_s& s, tag_reader t);   // jp
uint32_t moving_text(scan_s& s, tag_reader t);          // mv
uint32_t manufacturer(scan_s& s, tag_reader t, effects_s* effects);  // ms
uint32_t manufacturer_end(scan_s& s, tag_reader t);     // /ms
uint32_t new_line(scan_s& s, tag_reader t);             // nl
uint32_t new_page(scan_s& s, tag_reader t);             // np
uint32_t page_time(scan_s& s, tag_reader t);            // pt, po
uint32_t spacing_character(scan_s& s, tag_reader t);    // sc
uint32_t spacing_character_end(scan_s& s, tag_reader t);  // /sc
uint32_t colour_rectangle(scan_s& s, tag_reader t);     // cr
uint32_t text_rectangle(scan_s& s, tag_reader t);       // tr

// Row of the font table (0..19) a font reference of the message resolves
// to, or -1.
int font_row_of_member(uint8_t member);
// Line spacing of a font table row (0 on character- and line-matrix signs).
uint32_t font_line_spacing(int row);

}  // namespace multi_tags
