#include "display/render/render_time.h"

#include <cstdio>

namespace {

const char* const kWeekdays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};

bool is_leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Names of out-of-range fields print as "?" rather than reading past a table.
const char* weekday_name(int32_t d) { return d >= 0 && d < 7 ? kWeekdays[d] : "?"; }
const char* month_name(int32_t m) { return m >= 0 && m < 12 ? kMonths[m] : "?"; }

class writer {
 public:
  writer(char* buffer, uint32_t size) : m_buffer(buffer), m_size(size) {}

  // False once the text no longer fits (the NUL needs a place too).
  bool Put(const char* text, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      if (m_count + 1 >= m_size) {
        m_full = true;
        return false;
      }
      m_buffer[m_count++] = text[i];
    }
    return true;
  }
  bool Put(const char* text) {
    uint32_t n = 0;
    while (text[n]) ++n;
    return Put(text, n);
  }
  // `digits` wide, zero-padded; 0: as many digits as the value needs.
  bool Number(int32_t value, int digits) {
    char text[16];
    int n = digits ? std::snprintf(text, sizeof text, "%0*d", digits, static_cast<int>(value))
                   : std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return n > 0 && Put(text, static_cast<uint32_t>(n));
  }
  // Two digits, or one without the leading zero ("#" form).
  bool Two(int32_t value, bool plain) { return Number(value, plain ? 2 : 0); }
  bool Full() const { return m_full; }
  uint32_t Count() const { return m_count; }
  char* Here() { return m_buffer + m_count; }
  uint32_t Room() const { return m_size - m_count; }
  void Advance(uint32_t n) { m_count += n; }
  void Finish() {
    if (m_count < m_size) m_buffer[m_count] = 0;
  }

 private:
  char* m_buffer;
  uint32_t m_size;
  uint32_t m_count = 0;
  bool m_full = false;
};

}  // namespace

void calendar_from_seconds(uint32_t seconds, calendar_record* out) {
  if (!out) return;
  uint32_t days = seconds / 86400;
  uint32_t rest = seconds % 86400;
  out->hour = static_cast<int32_t>(rest / 3600);
  out->min = static_cast<int32_t>(rest % 3600 / 60);
  out->sec = static_cast<int32_t>(rest % 60);
  out->wday = static_cast<int32_t>((days + 4) % 7);
  int64_t year = 1970;
  for (;;) {
    uint32_t in_year = is_leap(year) ? 366 : 365;
    if (days < in_year) break;
    days -= in_year;
    ++year;
  }
  out->year = static_cast<int32_t>(year - 1900);
  out->yday = static_cast<int32_t>(days);
  static const uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int32_t month = 0;
  for (; month < 11; ++month) {
    uint32_t length = kDays[month] + (month == 1 && is_leap(year) ? 1 : 0);
    if (days < length) break;
    days -= length;
  }
  out->mon = month;
  out->mday = static_cast<int32_t>(days) + 1;
}

uint32_t render_strftime(char* buffer, uint32_t size, const char* format, const calendar_record* c) {
  if (!format || !buffer || !c || size == 0) return 0;
  writer w(buffer, size);
  for (const char* f = format; *f && !w.Full(); ++f) {
    if (*f != '%') {
      w.Put(f, 1);
      continue;
    }
    ++f;
    bool plain = true;
    if (*f == '#') {
      plain = false;
      ++f;
    }
    const char* composite = nullptr;
    bool stop = false;
    switch (*f) {
      case '%': w.Put("%"); break;
      case 'A': w.Put(weekday_name(c->wday)); break;
      case 'a': w.Put(weekday_name(c->wday), c->wday >= 0 && c->wday < 7 ? 3 : 1); break;
      case 'B': w.Put(month_name(c->mon)); break;
      case 'b': w.Put(month_name(c->mon), c->mon >= 0 && c->mon < 12 ? 3 : 1); break;
      case 'H': w.Two(c->hour, plain || c->hour >= 10); break;
      case 'I': {
        int32_t h = ((c->hour % 24 + 24) % 24 + 11) % 12 + 1;
        if (plain || h >= 10) {
          w.Number(h, 2);
        } else {
          w.Put(" ");
          w.Number(h, 0);
        }
        break;
      }
      case 'M': w.Two(c->min, plain || c->min >= 10); break;
      case 'S': w.Two(c->sec, plain || c->sec >= 10); break;
      case 'P': w.Put(c->hour < 12 ? "AM" : "PM"); break;
      case 'p': w.Put(c->hour < 12 ? "am" : "pm"); break;
      case 'd': w.Two(c->mday, plain || c->mday >= 10); break;
      case 'm': w.Two(c->mon + 1, plain || c->mon + 1 >= 10); break;
      case 'j': w.Number(c->yday + 1, plain ? 3 : 0); break;
      case 'U': {
        int32_t week = (c->yday + 7 - c->wday) / 7;
        w.Two(week, plain || week >= 10);
        break;
      }
      case 'W': {
        int32_t week = (c->yday + 7 - (c->wday + 6) % 7) / 7;
        w.Two(week, plain || week >= 10);
        break;
      }
      case 'w': w.Number(c->wday, 1); break;
      case 'y': {
        int32_t y = c->year % 100;
        w.Two(y, plain || y >= 10);
        break;
      }
      case 'Y': w.Number(c->year + 1900, 0); break;
      case 'c': composite = "%a %b %d %H:%M:%S %Y"; break;
      case 'x': composite = "%a %b %d %Y"; break;
      case 'X': composite = "%H:%M:%S"; break;
      case 'Z': break;
      default: stop = true; break;  // also the end of the format after "%"
    }
    if (stop) break;
    if (composite) {
      uint32_t n = render_strftime(w.Here(), w.Room(), composite, c);
      if (n == 0) return 0;
      w.Advance(n);
    }
  }
  if (w.Full()) return 0;
  w.Finish();
  return w.Count();
}
