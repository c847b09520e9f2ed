// The controller's clock ("CLOCK01", type 90, class 4): once per task cycle
// it reads the board's real-time clock, keeps mib_nv.globalTime (UTC
// seconds since 1970) in step with it, derives the local time from the
// standard time zone and the daylight-saving rule, and publishes the local
// time and whether daylight-saving time is in effect. It also offers the
// calendar conversions the whole system uses.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "frame/peripheral/peripheral.h"

// The calendar form of a time, as the boot monitor's clock gives its first
// nine words.
struct clock_date {
  uint32_t seconds;  // 0..59
  uint32_t minutes;  // 0..59
  uint32_t hours;    // 0..23
  uint32_t day;      // day of month 1..31
  uint32_t month;    // 0..11
  uint32_t year;     // years since 1900
  uint32_t weekday;  // 0..6, 0 = Sunday
  uint32_t yday;     // day of year 0..365
  uint32_t extra;    // not set by the conversions
};

class CClock : public CPeripheral {
 public:
  enum : uint8_t { CLASS_CODE = 4 };
  enum : uint16_t { TYPE_ID = 90 };
  // Database flag raised by a write of mib_nv.globalTime.
  static constexpr uint32_t kCentralTimeSet = 0x1;
  static constexpr uint32_t kDstOffset = 3600;
  static constexpr uint32_t kReevaluatePeriod = 604800;
  // Daylight-saving rules and table codes.
  enum : uint32_t { RULE_OTHER = 1, RULE_NONE = 2, RULE_DEFAULT = 3, RULE_LAST = 20 };
  enum : uint32_t { MONTH_ABSOLUTE = 13, MONTH_NEVER = 14, MONTH_NOT_SET = 15 };
  static constexpr uint32_t kRuleEntries = 10;

  CClock();

  static const char* NameOfType(uint16_t type_id);
  static uint16_t TypeOfName(const char* name);
  // Poll interval 1, slot from the record, Init, enabled; null when Init
  // fails.
  static CPeripheral* Create(const pl_record& record);

  int Init();
  void Poll() override;

  // 0 before the first poll; else 1 and the value.
  int GetLocalDate(clock_date* out) const;
  int GetLocalTime(uint32_t* out) const;
  int GetStartupTime(uint32_t* out) const;

  // The front panel wrote mib_nv.globalTime as local time.
  void RequestTimeReload() { m_byPanelSet = 1; }
  // mib_nv.globalLocalTimeDifferential / controllerStandardTimeZone changed:
  // applied on the second poll from now, or at an earlier re-evaluation.
  void RequestTimeDifferentialReload() { m_byDifferentialPending = 1; }
  void RequestTimeZoneReload() { m_byZonePending = 1; }

  // Calendar conversions, without time zone. Times are unsigned, so they run
  // to 2106-02-07 06:28:15.
  static void SecondsToDate(uint32_t seconds, clock_date* date);
  // Months beyond 11 carry into the year; a year below 70 adds no years. A
  // date past the end of the range gives 0xFFFFFFFF, one before 1970 gives 0.
  static void DateToSeconds(const clock_date* date, uint32_t* seconds);
  static bool IsLeapYear(uint32_t year);
  // 0 = Sunday.
  static uint32_t WeekdayOf(uint64_t t);
  // The start (UTC midnight) of the day that a month rule names in the year
  // that starts at year_start: month 1..12, occurrence 1..4 first to fourth,
  // 5..8 last to fourth last, 9 the day of month; weekday 1 Sunday .. 7.
  // false for a month outside 1..12.
  static bool TransitionTime(uint64_t year_start, uint32_t year, uint32_t month, uint32_t occurrence,
                             uint32_t weekday, uint32_t day_of_month, uint64_t* out);

  // The daylight-saving computation, exposed for the console and tests.
  void ComputeDst();
  bool InDst() const;
  bool NearTransition() const;
  void UpdateLocalTime();

  uint32_t GlobalTime() const { return m_dwGlobalTime; }
  uint32_t LocalTime() const { return m_dwLocalTime; }
  // Transitions in UTC; one beyond the range reads 0xFFFFFFFF.
  uint32_t Begin() const { return Clamped(m_qwBegin); }
  uint32_t End() const { return Clamped(m_qwEnd); }
  uint32_t NextBegin() const { return Clamped(m_qwNextBegin); }
  uint32_t NextEnd() const { return Clamped(m_qwNextEnd); }
  uint32_t NextEvaluation() const { return m_dwNextEvaluation; }
  void SetGlobalTime(uint32_t t) { m_dwGlobalTime = t; }

 private:
  // begin and end of the year starting at year_start; false when the rule
  // computes nothing (the values are left as they were).
  bool ComputeRule(uint64_t year_start, uint32_t year, uint64_t* begin, uint64_t* end);
  static uint32_t Clamped(uint64_t t) { return t > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(t); }

  uint32_t m_dwGlobalTime = 0;
  uint32_t m_dwLocalTime = 0;
  uint32_t m_dwStartupTime = 0;
  uint32_t m_dwNextEvaluation = 0;
  // Kept wider than a time: the transitions of 2106 lie beyond the range,
  // and their order still tells the hemisphere.
  uint64_t m_qwBegin = 0;
  uint64_t m_qwEnd = 0;
  uint64_t m_qwNextBegin = 0;
  uint64_t m_qwNextEnd = 0;
  uint8_t m_byReevaluate = 1;
  uint8_t m_byDifferentialPending = 0;
  uint8_t m_byZonePending = 0;
  uint8_t m_byPanelSet = 0;
  uint8_t m_byFirstPollDone = 0;
};
