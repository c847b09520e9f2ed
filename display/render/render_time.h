// Calendar dates and the controller's strftime-style formatter, used by the
// time fields of MULTI messages and by the front panel's clock display.
#pragma once

#include <cstdint>

// A date and time as the clock hands it out.
struct calendar_record {
  int32_t sec;
  int32_t min;
  int32_t hour;   // 0..23
  int32_t mday;   // 1..31
  int32_t mon;    // 0..11
  int32_t year;   // years since 1900
  int32_t wday;   // 0 = Sunday
  int32_t yday;   // 0-based
};

// Seconds since 1 January 1970 (a Thursday) as a calendar date.
void calendar_from_seconds(uint32_t seconds, calendar_record* out);

// Formats `calendar` by `format` into buffer: %% %A %a %B %b %c %d %H %I %j
// %M %m %P %p %S %U %W %w %X %x %Y %y %Z, "%#..." without leading zeros.
// Any other conversion ends the formatting there. Returns the characters
// written without the NUL; 0 without a format or when the buffer filled up
// before the end (no NUL is written then). Keeps no state.
uint32_t render_strftime(char* buffer, uint32_t size, const char* format, const calendar_record* calendar);
