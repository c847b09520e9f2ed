// The working record of one MULTI message while it is parsed and drawn
// (CMessage), the NTCIP default message parameters every page starts from
// (message_defaults), and the request record of an activation
// (CMessageActivation).
#pragma once

#include <cstdint>

#include "display/codes/msg_codes.h"
#include "display/font/ntcip_font.h"
#include "display/message/grow_list.h"

class CSurface;

// Longest MULTI text a message holds: dmsMaxMultiStringLength.
constexpr uint32_t MULTI_TEXT_MAX = 3000;

constexpr int MSG_RECTANGLES = 12;
constexpr int MSG_LINES = 20;
constexpr int MSG_MOVING = 20;
constexpr int MSG_FLASH = 25;
constexpr int MSG_COLOUR_RECTS = 20;
constexpr int MSG_FIELD_ROWS = 11;

constexpr int32_t MOVING_NOT_STARTED = 0xFFFFFF;

// Render event kinds, the numbers the whole system uses.
enum render_event_kind : uint32_t {
  RE_NONE = 0,
  RE_TEXT = 1,            // text run
  RE_REALTIME = 2,        // [ms11,r,A,B]
  RE_TIME = 3,            // [f1], [f2], [f7]..[f13]
  RE_TEMP_C = 4,          // [f3], [f92], [f94], [f96], [f98]
  RE_TEMP_F = 5,          // [f4], [f93], [f95], [f97], [f99]
  RE_SPEED_MPH = 6,       // [f6]
  RE_SPEED_KMH = 7,       // [f5]
  RE_FILE_GRAPHIC = 8,    // [ms11,g,X,Y,name]
  RE_GRAPHIC = 9,         // [gN...]
  RE_PAGE_START = 10,     // raised by the renderer itself
  RE_MOVING_END = 11,     // the "]" closing a moving text
  RE_MOVING_START = 12,   // [mv...]
  RE_HEX_CHAR = 13,       // [hcX]
  RE_SEGMENT_END = 14,    // end of a line segment (measuring pass)
  RE_RECT_END = 15,       // end of a text rectangle (measuring pass)
  RE_NEW_LINE = 16,       // [nl]
  RE_MEASURED = 17,       // measuring finished, drawing follows
  RE_TEXT_POSITION = 18,  // [ms11,xy,X,Y]
  RE_UNUSED = 19,
  RE_COLOUR_RECT = 20,    // [cr...]
  RE_NEW_RECT = 21,       // [tr...]
  RE_SPEED_SENSOR = 22,   // [ms11,sp...]
};

constexpr uint32_t RE_FORMAT_SIZE = 32;
constexpr uint32_t RE_FILE_NAME_SIZE = 152;  // 151 characters and the NUL

// The event the parser hands to the render callback; the argument block's
// use depends on the kind.
struct render_event_s {
  struct text_run_s {
    const uint8_t* text;  // first character
    uint32_t count;
    uint32_t position;    // offset of the first character + 1
  };
  // Kinds 3 to 7 and 22.
  struct field_s {
    char format[RE_FORMAT_SIZE];  // format text (fields 92..99: the value already printed)
    uint16_t code;                // field code (kinds 4..7), unit for 22: 1 mph, 2 km/h
    uint16_t width;               // field width, or the sensor index for 22
    uint16_t time_code;           // field code of the time fields (kind 3)
  };
  struct graphic_s {
    uint8_t number;
    uint16_t id;
    int32_t x, y;  // 1-based
  };
  struct file_graphic_s {
    char name[RE_FILE_NAME_SIZE];
    int32_t x, y;
  };
  struct hex_char_s {
    uint16_t code;
  };
  struct realtime_s {
    int16_t offset;
    uint8_t count;
  };

  uint32_t kind;
  union {
    text_run_s run;
    field_s field;
    graphic_s graphic;
    file_graphic_s file;
    hex_char_s hex;
    realtime_s realtime;
    uint8_t raw[164];
  } arg;

  void Clear();
};

struct moving_text_s {
  int32_t x, y;            // where the moving window starts
  int32_t window_height;
  int32_t window_width;
  uint8_t mode;            // 0 none, 1 circular left, 2 circular right, 3 linear left, 4 linear right
  uint8_t pause_count;     // linear modes: the number after the mode letter
  uint8_t step;            // pixels per step
  uint8_t frames_per_step;
  int32_t text_width;      // as measured
  int32_t offset;          // MOVING_NOT_STARTED until started
  uint8_t pause_counter;
  uint8_t frame_counter;
  uint8_t started;

  void Clear();
};

// One line of a text rectangle as the measuring pass lays it out.
struct line_record_s {
  int16_t x_left, x_centre, x_right;  // x of the three segments
  int16_t x;                          // where drawing of the line continues
  uint16_t w_left, w_centre, w_right; // segment widths in pixels
  int16_t top;
  uint16_t height;
  int16_t glyph;                      // next glyph of a fully justified line
  uint32_t attr;                      // see the accessors
  grow_list<uint8_t> chars;           // the line's characters (full justification)
  grow_list<int32_t> widths;          // their widths
  grow_list<int32_t> glyph_x;         // x of each glyph

  // Attribute word: spacing override (bits 24-31, 255 none), moving text
  // (bit 16), line spacing after the line (bits 17-23), line spacing of the
  // line's font (bits 8-15), justification used (bits 5-7), leading spacing
  // of the centre segment (bits 0-4).
  uint8_t SpacingOverride() const { return attr >> 24; }
  void SetSpacingOverride(uint8_t v) { attr = (attr & 0x00FFFFFF) | uint32_t(v) << 24; }
  bool HasMoving() const { return attr & 0x10000; }
  void SetMoving(bool on) { attr = on ? attr | 0x10000 : attr & ~0x10000u; }
  uint8_t SpacingAfter() const { return (attr >> 17) & 0x7F; }
  void SetSpacingAfter(uint32_t v) { attr = (attr & ~(0x7Fu << 17)) | (v > 0x7F ? 0x7Fu : v) << 17; }
  uint8_t FontLineSpacing() const { return (attr >> 8) & 0xFF; }
  void SetFontLineSpacing(uint8_t v) { attr = (attr & ~0xFF00u) | uint32_t(v) << 8; }
  uint8_t Justification() const { return (attr >> 5) & 7; }
  void SetJustification(uint8_t v) { attr = (attr & ~0xE0u) | uint32_t(v & 7) << 5; }
  uint8_t LeadSpacing() const { return attr & 0x1F; }
  void SetLeadSpacing(uint8_t v) { attr = (attr & ~0x1Fu) | (v & 0x1F); }

  void FreeLists();
  void EmptyLists();
};

struct colour_rect_s {
  uint32_t x, y, height, width, colour;  // x and y 1-based as written
};

struct flash_record_s {
  uint32_t phase;  // 0 not started, 1 off, 2 on
  uint8_t frames;  // frames left in the phase
};

struct text_rect_s {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

class message_defaults {
 public:
  message_defaults();
  virtual ~message_defaults() = default;

  // Reads the MULTI defaults from the database and packs the colours.
  void Load();

  uint32_t m_dwForeground;
  uint32_t m_dwReserved;  // COLOUR_NONE after Load: pages start without a text background
  uint32_t m_dwBackground;
  uint8_t m_byForegroundRGB[3];
  uint8_t m_byForegroundLength;
  uint8_t m_byBackgroundRGB[3];
  uint8_t m_byBackgroundLength;
  uint8_t m_byFlashOn, m_byFlashOff;  // tenths of a second
  uint8_t m_byPageOn, m_byPageOff;    // tenths of a second
  uint8_t m_byFont;                   // NTCIP font number
  uint8_t m_byLineJustification;      // 1 other, 2 left, 3 centre, 4 right, 5 full
  uint8_t m_byPageJustification;      // 1 other, 2 top, 3 middle, 4 bottom
};

class CMessage {
 public:
  CMessage();
  explicit CMessage(CSurface* surface);
  virtual ~CMessage();
  CMessage(const CMessage&) = delete;
  CMessage& operator=(const CMessage&) = delete;

  // The common reset before a parse. Bit 0 of flag set keeps the flash
  // records (a re-layout of the shown page keeps its flash phase); flag 1
  // also clears the font line spacing of every line record.
  void Reset(uint32_t flag);
  void ApplyDefaults();

  // Copies a MULTI text in; a longer text is cut to MULTI_TEXT_MAX.
  void SetText(const uint8_t* text, uint32_t length);

  // Clamped indexes of the current rectangle and line.
  int Rect() const;
  int Line() const;
  line_record_s& CurrentLine() { return m_lines[Rect()][Line()]; }

  // 1. Current page attributes.
  uint32_t m_dwPageBackground;
  uint8_t m_byPageOn, m_byPageOff;
  uint8_t m_byPageTimeGiven;
  uint8_t m_byPageJustification[MSG_RECTANGLES];
  uint8_t m_byPageJustificationGiven[MSG_RECTANGLES];
  uint8_t m_byLineJustification[MSG_RECTANGLES];
  uint32_t m_dwSavedLineJustification;  // by [ms11,xy], restored by [nl] and [np]
  uint32_t m_dwSavedPageJustification;
  int32_t m_nCharSpacing;               // -1: the font's own
  uint8_t m_byFont;                     // NTCIP font number
  uint32_t m_dwForeground;
  uint32_t m_dwTextBackground;          // COLOUR_NONE: none
  uint8_t m_byFlashMode;                // 0 none, 1 on phase first, 2 off phase first
  uint8_t m_byFlashOn, m_byFlashOff;

  // 2. Defaults.
  message_defaults m_defaults;

  // 3. MULTI text.
  uint8_t m_text[MULTI_TEXT_MAX];
  uint32_t m_dwTextLength;

  // 4. Page cursor.
  uint32_t m_dwNextPageStart;
  uint32_t m_dwPageStart;

  // 5. Pass state.
  uint8_t m_byLineBreak;
  uint8_t m_byMeasuring;
  uint8_t m_byInMoving;
  uint8_t m_byPageStarted;

  // 6. Current font; its font index is the row of the font table.
  CNTCIPFont m_font;

  // 7. Indexes.
  int32_t m_nLine;         // 0..19 within the rectangle
  int32_t m_nRect;         // 0..11
  int32_t m_nMoving;       // 0..19
  int32_t m_nFlash;        // 0..25: the next record to step
  int32_t m_nColourRects;  // 0..20
  uint16_t m_wFieldCounter;

  // 8.-11. Records.
  moving_text_s m_moving[MSG_MOVING];
  line_record_s m_lines[MSG_RECTANGLES][MSG_LINES];
  colour_rect_s m_colourRects[MSG_COLOUR_RECTS];
  flash_record_s m_flash[MSG_FLASH];

  // 12. Where the first MULTI error was found (offset into the text).
  int32_t m_nErrorPosition;
  // 13. Pages shown since the message was loaded (0-based).
  uint8_t m_byShownPage;
  // 14. Where the renderer draws; none for measuring and validation.
  CSurface* m_pSurface;
  // 15. Text origins.
  int32_t m_nTextX, m_nTextY;
  int32_t m_nMovingX, m_nMovingY;
  // 16. Text rectangles; rectangle 0 is the whole sign at each page start.
  text_rect_s m_rects[MSG_RECTANGLES];
  // 17. The pending render event.
  render_event_s m_event;
};

class CMessageActivation {
 public:
  CMessageActivation();
  virtual ~CMessageActivation() = default;

  CMsgActivationCode m_code;
  const uint8_t* m_pStoredText;  // the MULTI text as stored in the database
  grow_list<uint8_t> m_multi;
  grow_list<uint8_t> m_owner;
  uint32_t m_dwMultiLength;
  uint32_t m_dwOwnerLength;
  uint16_t m_wStoredCRC;
  uint32_t m_dwBeacon;
  uint32_t m_dwPixelService;
  uint32_t m_dwRunTimePriority;
  uint32_t m_dwStatus;
  uint32_t m_dwMultiSyntaxError;  // 2 = none
  uint32_t m_dwMultiErrorPosition;
};
