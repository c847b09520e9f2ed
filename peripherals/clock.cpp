#include "peripherals/clock.h"

#include <cstring>
#include <new>

#include "board_io.h"
#include "database/database.h"
#include "database/objects.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "mon_api.h"

namespace {

constexpr char kName[] = "CLOCK01";
constexpr uint32_t kEpldClockControl = 0xF010000E;
constexpr uint32_t kDay = 86400;
constexpr uint32_t kCommonYear = 31536000;
constexpr uint32_t kLeapYear = 31622400;
constexpr uint32_t kRule3Change = 1167609600;  // 1 January 2007
constexpr uint64_t kTimeMax = 0xFFFFFFFFull;

const uint16_t kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
const uint8_t kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Writes of the rule into entry 0 skip the write hook: a begin month written
// through it would turn the rule in force into rule 1.
constexpr uint32_t kRuleWrite = DB_NOTIFY | DB_NO_VALIDATE;

struct dst_rule {
  uint8_t begin_month, begin_occurrence, begin_weekday, begin_day;
  uint32_t begin_seconds;
  uint8_t end_month, end_occurrence, end_weekday, end_day;
  uint32_t end_seconds;
};

enum : uint8_t { SUN = 1, THU = 5, FRI = 6, SAT = 7 };

// Built-in rules 3..19; rule 3 before 2007 is kRule3Old. Rule 11 has none.
const dst_rule kRule3Old = {4, 1, SUN, 1, 7200, 10, 5, SUN, 1, 7200};
const dst_rule kRules[17] = {
    {3, 2, SUN, 1, 7200, 11, 1, SUN, 1, 7200},    // 3
    {3, 5, SUN, 1, 7200, 10, 5, SUN, 1, 10800},   // 4
    {10, 5, SUN, 1, 7200, 3, 5, SUN, 1, 7200},    // 5
    {10, 1, SUN, 1, 7200, 3, 5, SUN, 1, 10800},   // 6
    {4, 5, FRI, 1, 0, 9, 5, THU, 1, 0},           // 7
    {9, 1, SUN, 1, 7200, 4, 1, SUN, 1, 7200},     // 8
    {4, 9, SUN, 1, 10800, 10, 9, SUN, 1, 14400},  // 9
    {3, 5, SUN, 1, 7200, 9, 5, SUN, 1, 7200},     // 10
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},               // 11: none
    {11, 1, SUN, 1, 0, 2, 5, SUN, 1, 0},          // 12
    {10, 1, SUN, 1, 9900, 3, 1, SUN, 5, 13500},   // 13
    {10, 1, SAT, 1, 0, 4, 1, SAT, 15, 7200},      // 14
    {4, 9, SUN, 1, 0, 10, 5, SUN, 1, 3600},       // 15
    {10, 1, SUN, 1, 0, 2, 5, SUN, 1, 0},          // 16
    {10, 1, SUN, 9, 0, 3, 1, SUN, 9, 3600},       // 17
    {9, 1, SUN, 8, 7200, 4, 5, SUN, 8, 7200},     // 18
    {10, 1, SUN, 1, 0, 2, 5, SUN, 1, 7200},       // 19
};
// Written into entry 0 for rules 1 and 20 while its begin month is 15.
const dst_rule kDefaultRule = {3, 2, SUN, 1, 7200, 11, 1, SUN, 1, 7200};

CDataBase* db() { return g_pDataBase; }
uint32_t nv_get(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_nv, 0) : 0; }
uint32_t v_get(db_object o) { return db() ? db()->GetValue(o.offset, o.width, db()->mib_v, 0) : 0; }
void nv_set(db_object o, uint32_t value, uint32_t flags) {
  if (db()) db()->SetValue(o.offset, o.width, value, db()->mib_nv, flags);
}
void v_set(db_object o, uint32_t value) {
  if (db()) db()->SetValue(o.offset, o.width, value, db()->mib_v, DB_NOTIFY);
}
int32_t zone() { return static_cast<int32_t>(nv_get(nv::controllerStandardTimeZone)); }
void set_zone(int32_t value) { nv_set(nv::controllerStandardTimeZone, static_cast<uint32_t>(value), 0); }
int32_t differential() { return static_cast<int32_t>(nv_get(nv::globalLocalTimeDifferential)); }

uint64_t year_length(uint32_t year) { return CClock::IsLeapYear(year) ? kLeapYear : kCommonYear; }

uint32_t month_length(uint32_t year, uint32_t month0) {
  return month0 == 1 && CClock::IsLeapYear(year) ? 29 : kMonthDays[month0];
}

// Leap years from 1 up to and including y.
int64_t leaps_through(int64_t y) { return y / 4 - y / 100 + y / 400; }

uint32_t clamp_time(int64_t t) {
  if (t < 0) return 0;
  if (static_cast<uint64_t>(t) > kTimeMax) return static_cast<uint32_t>(kTimeMax);
  return static_cast<uint32_t>(t);
}

void write_entry0(const dst_rule& r, bool with_begin_month) {
  if (with_begin_month) nv_set(nv::dstBeginMonth(0), r.begin_month, kRuleWrite);
  nv_set(nv::dstBeginOccurrences(0), r.begin_occurrence, kRuleWrite);
  nv_set(nv::dstBeginDayOfWeek(0), r.begin_weekday, kRuleWrite);
  nv_set(nv::dstBeginDayOfMonth(0), r.begin_day, kRuleWrite);
  nv_set(nv::dstBeginSecondsToTransition(0), r.begin_seconds, kRuleWrite);
  nv_set(nv::dstEndMonth(0), r.end_month, kRuleWrite);
  nv_set(nv::dstEndOccurrences(0), r.end_occurrence, kRuleWrite);
  nv_set(nv::dstEndDayOfWeek(0), r.end_weekday, kRuleWrite);
  nv_set(nv::dstEndDayOfMonth(0), r.end_day, kRuleWrite);
  nv_set(nv::dstEndSecondsToTransition(0), r.end_seconds, kRuleWrite);
  nv_set(nv::dstSecondsToAdjust(0), CClock::kDstOffset, kRuleWrite);
}

// One transition of the year starting at s: an absolute time from the table
// (month 13) or a month rule from entry 0. 0 when none results.
uint64_t transition(uint64_t s, uint32_t year, uint32_t month, bool absolute, db_object occurrence, db_object weekday,
                    db_object day, db_object seconds, uint32_t (*absolute_at)(uint32_t)) {
  if (absolute) {
    uint32_t count = v_get(vol::dstEntryCount);
    if (count > CClock::kRuleEntries) count = CClock::kRuleEntries;
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t t = absolute_at(i);
      if (t > s && t < s + kCommonYear) return t;
    }
    return s;
  }
  uint64_t t = 0;
  if (!CClock::TransitionTime(s, year, month, nv_get(occurrence), nv_get(weekday), nv_get(day), &t)) return 0;
  return t + nv_get(seconds);
}

uint32_t begin_at(uint32_t i) { return nv_get(nv::dstBeginSecondsToTransition(i)); }
uint32_t end_at(uint32_t i) { return nv_get(nv::dstEndSecondsToTransition(i)); }

}  // namespace

CClock::CClock() : CPeripheral(CLASS_CODE, TYPE_ID) {}

const char* CClock::NameOfType(uint16_t) { return kName; }

uint16_t CClock::TypeOfName(const char* name) { return name && std::strcmp(name, kName) == 0 ? TYPE_ID : 0; }

CPeripheral* CClock::Create(const pl_record& record) {
  CClock* clock = new (std::nothrow) CClock();
  if (!clock) return nullptr;
  clock->m_wPollInterval = 1;
  clock->m_wPollCountdown = 0;
  clock->m_wConfigSlot = record.slot;
  clock->m_byFromDatabase = 0;
  if (!clock->Init()) {
    delete clock;
    return nullptr;
  }
  clock->SetEnabled(1);
  return clock;
}

int CClock::Init() {
  reg_write8(kEpldClockControl, reg_read8(kEpldClockControl) & 0xFE);
  m_dwLocalTime = v_get(vol::controllerLocalTime);
  const uint32_t rule = nv_get(nv::globalDaylightSaving);
  if (rule < RULE_OTHER || rule > RULE_LAST) nv_set(nv::globalDaylightSaving, RULE_DEFAULT, DB_NOTIFY);
  m_dwStartupTime = db() ? db()->GetTimeValue(nv::globalTime.offset, 4, db()->mib_nv, DB_GLOBAL_TIME) : 0;
  m_byState = PERIPHERAL_READING;
  return 1;
}

void CClock::Poll() {
  if (m_byState < PERIPHERAL_READING) return;
  uint32_t actual = 0;
  if (os_event_get(&g_database_flags, kCentralTimeSet, OS_EVENT_OR_CLEAR, &actual, OS_NO_WAIT) == OS_SUCCESS) {
    monitor_printf_debug("Reload GlobalTime due to central set\n");
    const uint32_t t = db() ? db()->GetTimeValue(nv::globalTime.offset, 4, db()->mib_nv, DB_GLOBAL_TIME) : 0;
    clock_date date{};
    SecondsToDate(t, &date);
    uint32_t words[10] = {};
    std::memcpy(words, &date, sizeof date);
    m_byReevaluate = 1;
    mon_clock_set(words);
  }
  uint32_t words[10] = {};
  // A clock that cannot be read leaves the time where it was.
  if (mon_clock_get(words) == 0) {
    clock_date date{};
    std::memcpy(&date, words, sizeof date);
    DateToSeconds(&date, &m_dwGlobalTime);
  }
  if (!m_byFirstPollDone) {
    m_dwStartupTime = m_dwGlobalTime - m_dwStartupTime;
    m_byFirstPollDone = 1;
  }
  UpdateLocalTime();
  if (db()) db()->SetTimeValue(nv::globalTime.offset, 4, m_dwGlobalTime, db()->mib_nv, DB_GLOBAL_TIME);
  v_set(vol::controllerLocalTime, m_dwLocalTime);
  m_byState = PERIPHERAL_VALID;
}

int CClock::GetLocalDate(clock_date* out) const {
  if (!m_byFirstPollDone || !out) return 0;
  SecondsToDate(m_dwLocalTime, out);
  return 1;
}

int CClock::GetLocalTime(uint32_t* out) const {
  if (!m_byFirstPollDone || !out) return 0;
  *out = m_dwLocalTime;
  return 1;
}

int CClock::GetStartupTime(uint32_t* out) const {
  if (!m_byFirstPollDone || !out) return 0;
  *out = m_dwStartupTime;
  return 1;
}

void CClock::UpdateLocalTime() {
  const uint32_t rule = nv_get(nv::globalDaylightSaving);
  if (rule == 0 || rule > RULE_LAST) {
    monitor_printf("Clock DST Error\n");
    return;
  }
  if (rule == RULE_NONE) {
    if (m_byDifferentialPending) {
      set_zone(differential());
      m_byDifferentialPending = 0;
    }
    m_byZonePending = 0;
    m_dwLocalTime = m_dwGlobalTime + static_cast<uint32_t>(zone());
    return;
  }
  if (m_byDifferentialPending) ++m_byDifferentialPending;
  if (m_byZonePending) ++m_byZonePending;
  m_dwLocalTime = m_dwGlobalTime + static_cast<uint32_t>(zone());

  if (m_byReevaluate || m_dwGlobalTime >= m_dwNextEvaluation || m_byDifferentialPending >= 3 || m_byZonePending >= 3) {
    if (m_byDifferentialPending) set_zone(differential());
    ComputeDst();
    if (m_byPanelSet) {
      if (InDst()) {
        m_dwGlobalTime -= kDstOffset;
        if (db())
          db()->SetTimeValue(nv::globalTime.offset, 4, m_dwGlobalTime, db()->mib_nv, DB_NOTIFY | DB_GLOBAL_TIME);
        m_dwLocalTime -= kDstOffset;
      }
      m_byPanelSet = 0;
    }
    if (m_byDifferentialPending) {
      // The differential includes daylight saving; the zone is without it.
      set_zone(differential() - static_cast<int32_t>(kDstOffset));
      ComputeDst();
      if (!InDst()) set_zone(differential());
      if (NearTransition()) {
        monitor_printf_debug("assume time is in DST prior to switch\n");
        set_zone(differential() - static_cast<int32_t>(kDstOffset));
        ComputeDst();
      }
      monitor_printf_debug("Adjust local time\n");
      m_dwLocalTime = m_dwGlobalTime + static_cast<uint32_t>(zone());
      m_byDifferentialPending = 0;
    }
    if (m_byZonePending) {
      monitor_printf_debug("Time Zone Changed\n");
      m_dwLocalTime = m_dwGlobalTime + static_cast<uint32_t>(zone());
      m_byZonePending = 0;
    }
    m_dwNextEvaluation = clamp_time(static_cast<int64_t>(m_dwGlobalTime) + kReevaluatePeriod);
    m_byReevaluate = 0;
  }

  if (InDst()) {
    m_dwLocalTime += kDstOffset;
    v_set(vol::dstActive, 2);
  } else {
    v_set(vol::dstActive, 1);
  }
}

bool CClock::InDst() const {
  if (nv_get(nv::dstBeginMonth(0)) == MONTH_NEVER) return false;
  if (m_qwBegin == 0 && m_qwEnd == 0) return false;
  const uint64_t t = m_dwGlobalTime;
  if (m_qwBegin < m_qwEnd) return m_qwBegin < t && t < m_qwEnd;
  // Daylight saving over the new year: the start of this year up to its
  // end transition, and from its begin transition up to next year's end.
  return t < m_qwEnd || (m_qwBegin < t && t < m_qwNextEnd);
}

bool CClock::NearTransition() const {
  const uint64_t t = m_dwGlobalTime;
  return (t > m_qwBegin && t - m_qwBegin < kDstOffset) || (t > m_qwEnd && t - m_qwEnd < kDstOffset);
}

void CClock::ComputeDst() {
  uint64_t start = 0;
  uint32_t year = 1970;
  while (m_dwGlobalTime >= start + year_length(year)) {
    start += year_length(year);
    ++year;
  }
  monitor_printf_debug("Prior dst seconds %d, year %d\n", static_cast<int>(start), static_cast<int>(year));
  ComputeRule(start, year, &m_qwBegin, &m_qwEnd);
  monitor_printf_debug("dst starts at %d and ends at %d, seconds %d, year %d\n", static_cast<int>(m_qwBegin),
                       static_cast<int>(m_qwEnd), static_cast<int>(start), static_cast<int>(year));
  ComputeRule(start + year_length(year), year + 1, &m_qwNextBegin, &m_qwNextEnd);
}

bool CClock::ComputeRule(uint64_t s, uint32_t year, uint64_t* begin_out, uint64_t* end_out) {
  const uint32_t rule = nv_get(nv::globalDaylightSaving);
  monitor_printf_debug("GlobalDS = %d\n", static_cast<int>(rule));
  if (rule == 0 || rule == RULE_NONE || rule > RULE_LAST) return false;

  uint32_t begin_month = 0;
  if (rule == RULE_OTHER || rule == RULE_LAST) {
    if (nv_get(nv::dstBeginMonth(0)) == MONTH_NOT_SET) write_entry0(kDefaultRule, true);
    begin_month = nv_get(nv::dstBeginMonth(0));
  } else if (rule != 11) {
    const dst_rule& r = rule == RULE_DEFAULT && s < kRule3Change ? kRule3Old : kRules[rule - 3];
    write_entry0(r, false);
    begin_month = r.begin_month;
  }

  const uint64_t begin =
      transition(s, year, begin_month, nv_get(nv::dstBeginMonth(0)) == MONTH_ABSOLUTE, nv::dstBeginOccurrences(0),
                 nv::dstBeginDayOfWeek(0), nv::dstBeginDayOfMonth(0), nv::dstBeginSecondsToTransition(0), begin_at);
  const uint64_t end = transition(s, year, nv_get(nv::dstEndMonth(0)), nv_get(nv::dstEndMonth(0)) == MONTH_ABSOLUTE,
                                  nv::dstEndOccurrences(0), nv::dstEndDayOfWeek(0), nv::dstEndDayOfMonth(0),
                                  nv::dstEndSecondsToTransition(0), end_at);
  if (begin == 0 || end == 0) {
    *begin_out = 0;
    *end_out = 0;
    return true;
  }
  // Begin is given in local standard time, end in local daylight time; the
  // second before begin makes the transition second itself daylight time
  // under the strict comparison of InDst.
  const int64_t z = zone();
  const int64_t b = static_cast<int64_t>(begin) - z - 1;
  const int64_t e = static_cast<int64_t>(end) - z - static_cast<int64_t>(kDstOffset);
  *begin_out = b > 0 ? static_cast<uint64_t>(b) : 0;
  *end_out = e > 0 ? static_cast<uint64_t>(e) : 0;
  return true;
}

bool CClock::TransitionTime(uint64_t t, uint32_t year, uint32_t month, uint32_t occurrence, uint32_t weekday,
                            uint32_t day_of_month, uint64_t* out) {
  if (month < 1 || month > 12) {
    monitor_printf("Month didn't match %d\n", static_cast<int>(month));
    return false;
  }
  const uint32_t m0 = month - 1;
  t += static_cast<uint64_t>(kDaysBefore[m0] + (IsLeapYear(year) && month >= 3 ? 1 : 0)) * kDay;
  const uint32_t length = month_length(year, m0);
  if (occurrence == 9) {
    if (day_of_month < 1) day_of_month = 1;
    *out = t + static_cast<uint64_t>(day_of_month - 1) * kDay;
    return true;
  }
  uint32_t first = 1;
  switch (occurrence) {
    case 2:
      first = 8;
      break;
    case 3:
      first = 15;
      break;
    case 4:
      first = 22;
      break;
    case 5:
      first = length - 6;
      break;
    case 6:
      first = length - 13;
      break;
    case 7:
      first = length - 20;
      break;
    case 8:
      first = length - 27;
      break;
    default:
      break;
  }
  t += static_cast<uint64_t>(first - 1) * kDay;
  const uint32_t wd = WeekdayOf(t) + 1;  // 1 = Sunday
  for (uint32_t k = 0; k < 7; ++k) {
    if ((wd - 1 + k) % 7 + 1 == weekday) {
      t += static_cast<uint64_t>(k) * kDay;
      break;
    }
  }
  *out = t;
  return true;
}

bool CClock::IsLeapYear(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

uint32_t CClock::WeekdayOf(uint64_t t) { return static_cast<uint32_t>((4 + (t % 604800) / kDay) % 7); }

void CClock::SecondsToDate(uint32_t seconds, clock_date* date) {
  if (!date) return;
  date->weekday = WeekdayOf(seconds);
  uint64_t rest = seconds;
  uint32_t year = 1970;
  while (rest >= year_length(year)) {
    rest -= year_length(year);
    ++year;
  }
  date->year = year - 1900;
  date->yday = static_cast<uint32_t>(rest / kDay);
  uint32_t month = 0;
  while (month < 11 && rest >= static_cast<uint64_t>(month_length(year, month)) * kDay) {
    rest -= static_cast<uint64_t>(month_length(year, month)) * kDay;
    ++month;
  }
  date->month = month;
  date->day = static_cast<uint32_t>(rest / kDay) + 1;
  rest %= kDay;
  date->hours = static_cast<uint32_t>(rest / 3600);
  date->minutes = static_cast<uint32_t>(rest % 3600 / 60);
  date->seconds = static_cast<uint32_t>(rest % 60);
}

void CClock::DateToSeconds(const clock_date* date, uint32_t* seconds) {
  if (!date || !seconds) return;
  // In 64 bits and without loops over the fields, so that any record gives
  // an answer at once.
  int64_t year = 1900 + static_cast<int64_t>(date->year) + date->month / 12;
  const uint32_t month = date->month % 12;
  int64_t days = kDaysBefore[month] + (month >= 2 && IsLeapYear(static_cast<uint32_t>(year)) ? 1 : 0);
  if (year > 1970) days += 365 * (year - 1970) + leaps_through(year - 1) - leaps_through(1969);
  const int64_t t = days * kDay + (static_cast<int64_t>(date->day) - 1) * kDay +
                    static_cast<int64_t>(date->hours) * 3600 + static_cast<int64_t>(date->minutes) * 60 +
                    static_cast<int64_t>(date->seconds);
  *seconds = clamp_time(t);
}
