// The MULTI parser: reads an NTCIP MULTI text one page at a time, checks
// every tag against the sign's configuration and the database tables, keeps
// the current attributes in the CMessage and reports what it finds to a
// render callback as render events (the message's m_event).
//
// Each page is parsed twice: a measuring pass in which the callback records
// the size of every line segment, then, after the segments are checked for
// overlap, a drawing pass over the same characters with the attributes
// restored. Validation runs only the measuring pass of every page.
#pragma once

#include <cstdint>

#include "display/message/message.h"

// NTCIP multiSyntaxError values, and the parser's own "nothing left".
enum multi_error : uint32_t {
  MULTI_OK = 2,
  MULTI_UNSUPPORTED_TAG = 3,
  MULTI_UNSUPPORTED_TAG_VALUE = 4,
  MULTI_TEXT_TOO_BIG = 5,
  MULTI_FONT_NOT_DEFINED = 6,
  MULTI_CHAR_NOT_DEFINED = 7,
  MULTI_FIELD_DEVICE_NOT_EXIST = 8,
  MULTI_TAG_CONFLICT = 11,
  MULTI_TOO_MANY_PAGES = 12,
  MULTI_FONT_VERSION_ID = 13,
  MULTI_GRAPHIC_ID = 14,
  MULTI_GRAPHIC_NOT_DEFINED = 15,
  MULTI_NOTHING_LEFT = 99,
};

// Most pages a message may have.
constexpr uint32_t MULTI_MAX_PAGES = 6;

// The render callback: handles the message's pending render event, clears
// it and returns a MULTI error code (2 when fine). On an error it may set
// the message's error position; otherwise the parser sets it. The renderer
// implements it; the context is the renderer.
typedef uint32_t (*render_callback)(void* context, CMessage* message);

class CParser {
 public:
  CParser();
  virtual ~CParser() = default;

  // Parses and draws page n (1-based; 0 and 1 are the first page) of the
  // message's text; the page cursor is left alone. True when the page was
  // parsed.
  virtual bool ParsePage(void* context, render_callback callback, CMessage* message, uint32_t page) = 0;
  // 1 + the number of "[np]" (any case); 0 for no text. Does not parse.
  virtual uint8_t CountPages(const uint8_t* text, uint32_t length) = 0;
  virtual bool NextPage(CMessage* message) = 0;
  virtual bool CurrentPage(CMessage* message) = 0;
  virtual bool Restart(CMessage* message) = 0;
  // Checks a whole MULTI text (parsed where it lies) without drawing; the
  // MULTI error code, with the message's error position set on an error.
  virtual uint32_t Validate(void* context, render_callback callback, CMessage* message, const uint8_t* text,
                            uint32_t length) = 0;
  virtual uint32_t Load(void* context, render_callback callback, CMessage* message, const uint8_t* text,
                        uint32_t length) = 0;

  // What a tag handler sees of the scan in progress.
  struct scan_s {
    CMessage* message;
    const uint8_t* text;  // the whole MULTI text
    uint32_t length;
    uint32_t open;        // offset of the tag's "["
    uint32_t close;       // offset of its "]"
    bool measure_only;
    uint32_t resume;      // [mv]: offset of the first character of the moving text
  };

 protected:
  // One page from `start`: 0 for a missing argument, 2 when a page was parsed
  // (*next set), 99 when nothing was left, else a MULTI error code with the
  // message's error position set.
  uint32_t Parse(void* context, render_callback callback, CMessage* message, const uint8_t* text, uint32_t length,
                 uint32_t start, uint32_t* next, bool measure_only);

  void* m_pContext;
  render_callback m_pCallback;
  // The current line holds text, a field or a hexadecimal character since
  // the last line or rectangle break.
  uint8_t m_byLineHasContent;

 private:
  // Runs the callback on the pending event (when there is one). On an error
  // the error position is `position` unless the callback set one.
  uint32_t Flush(CMessage* message, uint32_t position);
  // Raises an event of the given kind.
  void Raise(CMessage* message, uint32_t kind);
  // Hands the event a handler filled to the callback; its result is not
  // examined (the handlers have tested what can fail).
  void Deliver(CMessage* message);
  // A character at `at` joins the pending text run, or starts one.
  void ExtendRun(CMessage* message, const uint8_t* text, uint32_t at);
  // One tag at *position: its handler and what the scanner does around it.
  // *position moves on; *page_end is set by [np].
  uint32_t Tag(scan_s& scan, uint32_t* position, bool* page_end);
  // Measuring is over: the drawing pass starts with the page-start
  // attributes.
  void StartDrawing(CMessage* message);
  void SavePageStart(CMessage* message);
  void RestorePageStart(CMessage* message);

  // Context and callback of the Parse in progress.
  struct call_s {
    void* context;
    render_callback callback;
  } m_call{};
  // Page-start attributes, restored at the change of pass so that both
  // passes see the same attributes at every character (the font and the
  // justifications of every rectangle included).
  struct page_start_s {
    uint8_t page_justification[MSG_RECTANGLES];
    uint8_t line_justification[MSG_RECTANGLES];
    uint8_t flash_mode;
    uint32_t foreground;
    uint32_t text_background;
    int32_t char_spacing;
    uint32_t page_background;
    uint8_t font;
  } m_start;
  // Text, a graphic or a colour rectangle is on the page (this pass).
  uint8_t m_byPageHasContent;
};

class CMULTIParser : public CParser {
 public:
  bool ParsePage(void* context, render_callback callback, CMessage* message, uint32_t page) override;
  uint8_t CountPages(const uint8_t* text, uint32_t length) override;
  bool NextPage(CMessage* message) override;
  bool CurrentPage(CMessage* message) override;
  bool Restart(CMessage* message) override;
  uint32_t Validate(void* context, render_callback callback, CMessage* message, const uint8_t* text,
                    uint32_t length) override;
  uint32_t Load(void* context, render_callback callback, CMessage* message, const uint8_t* text,
                uint32_t length) override;
};

// Steps the current flash record of a flashing message once and moves on to
// the next record (the last one is shared by further flash regions).
void FlashStep(CMessage* message);
