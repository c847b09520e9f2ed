#include "display/message/message.h"

#include <cstring>

#include "display/message/db_read.h"
#include "display/multi/colour.h"
#include "display/surface/surface.h"

void render_event_s::Clear() { std::memset(this, 0, sizeof *this); }

void moving_text_s::Clear() {
  std::memset(this, 0, sizeof *this);
  offset = MOVING_NOT_STARTED;
}

void line_record_s::FreeLists() {
  chars.Free();
  widths.Free();
  glyph_x.Free();
}

void line_record_s::EmptyLists() {
  chars.Clear();
  widths.Clear();
  glyph_x.Clear();
}

message_defaults::message_defaults()
    : m_dwForeground(0),
      m_dwReserved(COLOUR_NONE),
      m_dwBackground(0),
      m_byForegroundRGB{0, 0, 0},
      m_byForegroundLength(0),
      m_byBackgroundRGB{0, 0, 0},
      m_byBackgroundLength(0),
      m_byFlashOn(0),
      m_byFlashOff(0),
      m_byPageOn(0),
      m_byPageOff(0),
      m_byFont(0),
      m_byLineJustification(0),
      m_byPageJustification(0) {}

namespace {

// The first three bytes of a stored colour (missing bytes 0) and the stored
// length, cut to what a byte holds.
void read_rgb(const db_object& o, uint8_t rgb[3], uint8_t* length) {
  uint32_t n = 0;
  const uint8_t* p = nv_bytes(o, &n);
  for (uint32_t i = 0; i < 3; ++i) rgb[i] = i < n ? p[i] : 0;
  *length = n > 0xFF ? 0xFF : static_cast<uint8_t>(n);
}

}  // namespace

void message_defaults::Load() {
  m_byFlashOn = static_cast<uint8_t>(nv_value(nv::defaultFlashOn));
  m_byFlashOff = static_cast<uint8_t>(nv_value(nv::defaultFlashOff));
  m_byFont = static_cast<uint8_t>(nv_value(nv::defaultFont));
  m_byLineJustification = static_cast<uint8_t>(nv_value(nv::defaultJustificationLine));
  m_byPageJustification = static_cast<uint8_t>(nv_value(nv::defaultJustificationPage));
  m_byPageOn = static_cast<uint8_t>(nv_value(nv::defaultPageOnTime));
  m_byPageOff = static_cast<uint8_t>(nv_value(nv::defaultPageOffTime));
  read_rgb(nv::defaultForegroundRGB, m_byForegroundRGB, &m_byForegroundLength);
  read_rgb(nv::defaultBackgroundRGB, m_byBackgroundRGB, &m_byBackgroundLength);
  if (nv_value(nv::dmsColorScheme) == 4) {
    m_dwForeground = rgb_colour_value(m_byForegroundRGB[0], m_byForegroundRGB[1], m_byForegroundRGB[2]);
    m_dwBackground = rgb_colour_value(m_byBackgroundRGB[0], m_byBackgroundRGB[1], m_byBackgroundRGB[2]);
  } else {
    m_dwForeground = colour_value(m_byForegroundRGB[0]);
    m_dwBackground = colour_value(m_byBackgroundRGB[0]);
  }
  m_dwReserved = COLOUR_NONE;
}

CMessage::CMessage() : CMessage(nullptr) {}

CMessage::CMessage(CSurface* surface)
    : m_dwPageBackground(0),
      m_byPageOn(0),
      m_byPageOff(0),
      m_byPageTimeGiven(0),
      m_byPageJustification{},
      m_byPageJustificationGiven{},
      m_byLineJustification{},
      m_dwSavedLineJustification(0),
      m_dwSavedPageJustification(0),
      m_nCharSpacing(-1),
      m_byFont(0),
      m_dwForeground(0),
      m_dwTextBackground(COLOUR_NONE),
      m_byFlashMode(0),
      m_byFlashOn(0),
      m_byFlashOff(0),
      m_dwTextLength(0),
      m_dwNextPageStart(0),
      m_dwPageStart(0),
      m_byLineBreak(0),
      m_byMeasuring(0),
      m_byInMoving(0),
      m_byPageStarted(0),
      m_nLine(0),
      m_nRect(0),
      m_nMoving(0),
      m_nFlash(0),
      m_nColourRects(0),
      m_wFieldCounter(0),
      m_nErrorPosition(0),
      m_byShownPage(0),
      m_pSurface(surface),
      m_nTextX(0),
      m_nTextY(0),
      m_nMovingX(0),
      m_nMovingY(0) {
  std::memset(m_text, 0, sizeof m_text);
  std::memset(m_rects, 0, sizeof m_rects);
  for (auto& rect : m_lines)
    for (auto& line : rect) {
      line.top = 0;
      line.attr = 0;
    }
  Reset(0);
}

CMessage::~CMessage() {
  for (auto& rect : m_lines)
    for (auto& line : rect) line.FreeLists();
}

int CMessage::Rect() const { return m_nRect < 0 ? 0 : m_nRect >= MSG_RECTANGLES ? MSG_RECTANGLES - 1 : m_nRect; }

int CMessage::Line() const { return m_nLine < 0 ? 0 : m_nLine >= MSG_LINES ? MSG_LINES - 1 : m_nLine; }

void CMessage::SetText(const uint8_t* text, uint32_t length) {
  if (!text) length = 0;
  if (length > MULTI_TEXT_MAX) length = MULTI_TEXT_MAX;
  if (length) std::memmove(m_text, text, length);
  m_dwTextLength = length;
}

void CMessage::Reset(uint32_t flag) {
  m_byInMoving = 0;
  m_dwForeground = 0x7FE0;
  m_dwTextBackground = COLOUR_NONE;
  m_nCharSpacing = -1;
  m_dwPageBackground = 0;

  m_nLine = 0;
  m_nRect = 0;
  m_nMoving = 0;
  m_nColourRects = 0;
  m_nErrorPosition = 0;
  m_byPageStarted = 0;
  m_event.Clear();

  for (auto& moving : m_moving) moving.Clear();

  for (auto& rect : m_lines)
    for (auto& line : rect) {
      line.x_left = line.x_centre = line.x_right = line.x = 0;
      line.w_left = line.w_centre = line.w_right = 0;
      line.height = 0;
      line.glyph = 0;
      line.SetSpacingOverride(255);
      line.SetSpacingAfter(0);
      line.SetMoving(false);
      line.SetJustification(0);
      if (flag == 1) line.SetFontLineSpacing(0);
      line.FreeLists();
    }

  uint8_t line_justification = static_cast<uint8_t>(nv_value(nv::defaultJustificationLine));
  uint8_t page_justification = static_cast<uint8_t>(nv_value(nv::defaultJustificationPage));
  for (int r = 0; r < MSG_RECTANGLES; ++r) {
    m_byLineJustification[r] = line_justification;
    m_byPageJustification[r] = page_justification;
    m_byPageJustificationGiven[r] = 0;
  }

  std::memset(m_colourRects, 0, sizeof m_colourRects);
  m_nTextX = m_nTextY = m_nMovingX = m_nMovingY = 0;

  if (!(flag & 1)) {
    std::memset(m_flash, 0, sizeof m_flash);
    m_nFlash = 0;
  }

  if (m_pSurface) m_pSurface->Clear();
}

void CMessage::ApplyDefaults() {
  m_dwForeground = m_defaults.m_dwForeground;
  m_dwTextBackground = m_defaults.m_dwReserved;
  m_byPageJustification[0] = m_defaults.m_byPageJustification;
  m_byLineJustification[0] = m_defaults.m_byLineJustification;
  m_byFont = m_defaults.m_byFont;
  m_byFlashOn = m_defaults.m_byFlashOn;
  m_byFlashOff = m_defaults.m_byFlashOff;
  m_byPageOn = m_defaults.m_byPageOn;
  m_byPageOff = m_defaults.m_byPageOff;
  m_dwPageBackground = m_defaults.m_dwBackground;
}

CMessageActivation::CMessageActivation()
    : m_pStoredText(nullptr),
      m_dwMultiLength(0),
      m_dwOwnerLength(0),
      m_wStoredCRC(0),
      m_dwBeacon(0),
      m_dwPixelService(0),
      m_dwRunTimePriority(1),
      m_dwStatus(1),
      m_dwMultiSyntaxError(2),
      m_dwMultiErrorPosition(0) {}
