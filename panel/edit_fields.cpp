#include "panel/edit_fields.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "display/frame/frame.h"

// ---------------------------------------------------------------- bitmap

frame_to_bitmap::~frame_to_bitmap() { delete[] m_pBits; }

bool frame_to_bitmap::Prepare(disp::frame* frame) {
  if (!frame) return false;
  const uint16_t height = frame->Height();
  const uint16_t width = frame->Width();
  if (m_pBits && height == m_wHeight && width == m_wWidth) return true;
  delete[] m_pBits;
  m_pBits = nullptr;
  m_wHeight = height;
  m_wWidth = width;
  m_wStride = static_cast<uint16_t>((width + 7u) / 8u);
  const size_t size = static_cast<size_t>(m_wStride) * height;
  m_pBits = new (std::nothrow) uint8_t[size ? size : 1];
  if (!m_pBits) return false;
  std::memset(m_pBits, 0, size ? size : 1);
  return true;
}

void frame_to_bitmap::Clear() {
  if (m_pBits) std::memset(m_pBits, 0, static_cast<size_t>(m_wStride) * m_wHeight);
}

bool frame_to_bitmap::Convert(disp::frame* frame, const uint8_t** out) {
  if (!frame || !Prepare(frame)) return false;
  for (uint16_t y = 0; y < m_wHeight; ++y) {
    for (uint16_t x = 0; x < m_wWidth; ++x) {
      disp::pixel p(x, y);
      if (frame->GetPixel(p) && p.value != 0)
        m_pBits[static_cast<size_t>(y) * m_wStride + x / 8u] |= static_cast<uint8_t>(0x80u >> (x % 8u));
    }
  }
  if (out) *out = m_pBits;
  return true;
}

// ---------------------------------------------------------------- editable

namespace {
bool is_digit(uint16_t key) { return key >= '0' && key <= '9'; }
bool leap_year(uint32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
}  // namespace

bool CEditable::HandleKey(uint16_t key) {
  if (key == 8) {
    if (m_byCurrent < m_byFieldCount && Backspace()) return true;
    if (m_byCurrent == 0) return false;
    --m_byCurrent;
    Backspace();
    return true;
  }
  if (key == 10 || key == 13) {
    if (IsComplete() || !CanLeaveField()) return false;
    ++m_byCurrent;
    m_byLeadingZero = 0;
    return true;
  }
  // A complete value takes no more digits.
  while (!IsComplete()) {
    switch (KeyDigit(key)) {
      case EDIT_REFUSED:
        return false;
      case EDIT_OPEN:
        return true;
      case EDIT_COMPLETE:
        m_byLeadingZero = 0;
        ++m_byCurrent;
        return true;
      default:  // the digit starts the next field
        m_byLeadingZero = 0;
        ++m_byCurrent;
        if (IsComplete()) return false;
        break;
    }
  }
  return false;
}

char* CEditable::FormatField(char* out, uint32_t value, uint32_t width, char pad, char placeholder,
                             int32_t position) {
  char digits[12] = {};
  uint32_t n = 0;
  if (position < 0) {
    n = static_cast<uint32_t>(std::snprintf(digits, sizeof digits, "%u", value));
    for (uint32_t i = n; i < width; ++i) *out++ = pad;
  } else if (position == 0 && (value != 0 || m_byLeadingZero)) {
    n = static_cast<uint32_t>(std::snprintf(digits, sizeof digits, "%u", value));
  }
  std::memcpy(out, digits, n);
  out += n;
  if (position >= 0)
    for (uint32_t i = n; i < width; ++i) *out++ = placeholder;
  *out = 0;
  return out;
}

// ---------------------------------------------------------------- date

void CDateField::Reset(uint8_t format) {
  m_byCurrent = 0;
  m_byFormat = format;
  m_byLeadingZero = 0;
  m_wYear = 0;
  m_byMonth = 0;
  m_byDay = 0;
}

CDateField::kind CDateField::KindOf(uint8_t field) const {
  static const kind kUs[3] = {MONTH, DAY, YEAR};
  static const kind kIso[3] = {YEAR, MONTH, DAY};
  return m_byFormat ? kUs[field % 3] : kIso[field % 3];
}

uint8_t CDateField::DaysInMonth() const {
  switch (m_byMonth) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12:
      return 31;
    case 2:
      // The year is typed after the day with the US order: any February
      // 29 may still turn out valid, and the year then decides.
      if (m_byFormat) return 29;
      return leap_year(m_wYear) ? 29 : 28;
    default:
      return 30;
  }
}

uint8_t CDateField::NumberDigit(uint16_t key, uint8_t* field, uint8_t maximum, uint8_t limit) {
  const uint8_t digit = static_cast<uint8_t>(key - '0');
  if (digit == 0 && *field == 0) {
    if (m_byLeadingZero) return EDIT_REFUSED;
    m_byLeadingZero = 1;
    return EDIT_OPEN;
  }
  const uint32_t v = *field * 10u + digit;
  if (v > maximum) return EDIT_OVERFLOW;
  *field = static_cast<uint8_t>(v);
  if (m_byLeadingZero) {
    m_byLeadingZero = 0;
    return EDIT_COMPLETE;
  }
  return v > limit ? EDIT_COMPLETE : EDIT_OPEN;
}

uint8_t CDateField::KeyDigit(uint16_t key) {
  if (!is_digit(key) || IsComplete()) return EDIT_REFUSED;
  switch (KindOf(m_byCurrent)) {
    case YEAR: {
      const uint32_t digit = key - '0';
      if (m_wYear == 0 && digit != 2) return EDIT_REFUSED;
      if (m_wYear == 2 && digit != 0) return EDIT_REFUSED;
      const uint32_t year = m_wYear * 10u + digit;
      // The last year digit may not make a typed 29 February invalid.
      if (year >= 1000 && m_byMonth == 2 && m_byDay == 29 && !leap_year(year)) return EDIT_REFUSED;
      m_wYear = static_cast<uint16_t>(year);
      return year >= 1000 ? EDIT_COMPLETE : EDIT_OPEN;
    }
    case MONTH:
      return NumberDigit(key, &m_byMonth, 12, 1);
    default: {
      const uint8_t maximum = DaysInMonth();
      return NumberDigit(key, &m_byDay, maximum, static_cast<uint8_t>(maximum / 10));
    }
  }
}

bool CDateField::CanLeaveField() {
  if (IsComplete()) return false;
  switch (KindOf(m_byCurrent)) {
    case MONTH:
      return m_byMonth > 0;
    case DAY:
      return m_byDay > 0;
    default:
      return false;
  }
}

bool CDateField::Backspace() {
  if (IsComplete()) return false;
  switch (KindOf(m_byCurrent)) {
    case YEAR:
      if (m_wYear == 0) return false;
      m_wYear = static_cast<uint16_t>(m_wYear / 10);
      return true;
    case MONTH:
      if (m_byMonth) {
        m_byMonth = static_cast<uint8_t>(m_byMonth / 10);
        return true;
      }
      if (m_byLeadingZero) {
        m_byLeadingZero = 0;
        return true;
      }
      return false;
    default:
      if (m_byDay == 0) return false;
      m_byDay = static_cast<uint8_t>(m_byDay / 10);
      return true;
  }
}

void CDateField::Format(char* out) {
  const int32_t current = m_byCurrent;
  auto position = [&](uint8_t field) { return static_cast<int32_t>(field) - current; };
  if (m_byFormat) {
    out = FormatField(out, m_byMonth, 2, '0', 'M', position(0));
    *out++ = '/';
    out = FormatField(out, m_byDay, 2, '0', 'D', position(1));
    *out++ = '/';
    FormatField(out, m_wYear, 4, '0', 'Y', position(2));
  } else {
    out = FormatField(out, m_wYear, 4, '0', 'A', position(0));
    *out++ = '/';
    out = FormatField(out, m_byMonth, 2, '0', 'M', position(1));
    *out++ = '/';
    FormatField(out, m_byDay, 2, '0', 'J', position(2));
  }
}

// ---------------------------------------------------------------- time

void CTimeField::Reset(uint8_t format) {
  m_byCurrent = 0;
  m_byFormat = format;
  m_byLeadingZero = 0;
  m_byHour = 0;
  m_byPm = 0;
  m_byMinute = 0;
  m_byFieldCount = format ? 3 : 2;
}

uint8_t CTimeField::ZeroCheck(uint32_t value, uint16_t key, bool allow_second_zero) {
  if (!is_digit(key)) return 0;
  if (key != '0') return 2;
  if (m_byLeadingZero) return allow_second_zero ? 2 : 0;
  if (value == 0) {
    m_byLeadingZero = 1;
    return 1;
  }
  return 2;
}

uint8_t CTimeField::KeyDigit(uint16_t key) {
  if (IsComplete()) return EDIT_REFUSED;
  const bool twelve = m_byFormat != 0;
  if (m_byCurrent == 0) {
    const uint8_t zero = ZeroCheck(m_byHour, key, !twelve);
    if (zero != 2) return zero;
    const uint32_t h = m_byHour * 10u + (key - '0');
    if (h > (twelve ? 12u : 23u)) return EDIT_OVERFLOW;
    m_byHour = static_cast<uint8_t>(h);
    if (h > (twelve ? 1u : 2u)) return EDIT_COMPLETE;
    return m_byLeadingZero ? EDIT_COMPLETE : EDIT_OPEN;
  }
  if (m_byCurrent == 1) {
    const bool first = m_byMinute == 0 && !m_byLeadingZero;
    const uint8_t zero = ZeroCheck(m_byMinute, key, true);
    if (zero != 2) return zero;
    const uint32_t digit = key - '0';
    // A minute of the hour: a first digit above 5 is the whole minute.
    if (first) {
      m_byMinute = static_cast<uint8_t>(digit);
      return digit > 5 ? EDIT_COMPLETE : EDIT_OPEN;
    }
    const uint32_t m = m_byMinute * 10u + digit;
    if (m > 59) return EDIT_REFUSED;
    m_byMinute = static_cast<uint8_t>(m);
    m_byLeadingZero = 0;
    return EDIT_COMPLETE;
  }
  switch (key) {
    case 'P': case 'p': case '7':
      m_byPm = 1;
      return EDIT_COMPLETE;
    case 'A': case 'a': case '2':
      m_byPm = 0;
      return EDIT_COMPLETE;
    default:
      return EDIT_REFUSED;
  }
}

bool CTimeField::CanLeaveField() {
  if (IsComplete()) return false;
  if (m_byCurrent == 0) return m_byFormat ? m_byHour > 0 : true;
  return m_byFormat != 0;
}

bool CTimeField::Backspace() {
  if (m_byCurrent == 0 && m_byHour) {
    m_byHour = static_cast<uint8_t>(m_byHour / 10);
    return true;
  }
  if (m_byCurrent == 1 && m_byMinute) {
    m_byMinute = static_cast<uint8_t>(m_byMinute / 10);
    return true;
  }
  return false;
}

void CTimeField::Format(char* out) {
  const int32_t current = m_byCurrent;
  out = FormatField(out, m_byHour, 2, ' ', 'H', 0 - current);
  *out++ = ':';
  out = FormatField(out, m_byMinute, 2, '0', 'M', 1 - current);
  if (m_byFormat) *out++ = m_byPm ? 'P' : 'A';
  *out = 0;
}
