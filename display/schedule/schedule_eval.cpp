// The NTCIP time-base schedule: today's entry (or yesterday's), the event
// of its day plan in force now, and the message its action names, which is
// requested in activation slot 6 once, when it differs from the one the
// scheduler set up last (kept in the schedule message row).
#include <bit>

#include "database/database.h"
#include "database/objects.h"
#include "display/message/db_read.h"
#include "display/schedule/schedule_task.h"
#include "display/tables/message_table.h"
#include "display/task/display_db.h"

namespace {

constexpr uint32_t kSecondsPerDay = 86400;
constexpr uint32_t kOidLength = 15;
// dmsActionIndex: the 15th sub-identifier is the action number.
constexpr uint32_t kActionPrefix[kOidLength - 1] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 8, 2, 1, 1};
constexpr uint16_t kForever = 0xFFFF;
const uint8_t kEmpty[1] = {0};

bool date_is_valid(const calendar_record& d) {
  return d.mon >= 0 && d.mon <= 11 && d.mday >= 1 && d.mday <= 31 && d.wday >= 0 && d.wday <= 6;
}

// Days since 1 January 1970 of a calendar date (proleptic Gregorian).
int64_t days_since_epoch(int64_t year, int64_t month /*1..12*/, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The day before, through seconds since 1970 as the clock counts them;
// false when there is none to count (an invalid date, or 1 January 1970).
bool yesterday_of(const calendar_record& today, calendar_record* out) {
  if (!date_is_valid(today)) return false;
  const int64_t days = days_since_epoch(1900 + static_cast<int64_t>(today.year), today.mon + 1, today.mday);
  const int64_t seconds = (days - 1) * kSecondsPerDay;
  if (seconds < 0 || seconds > 0xFFFFFFFFll) return false;
  calendar_from_seconds(static_cast<uint32_t>(seconds), out);
  return true;
}

// The event's action OID when it names an action of the action table: true
// and the action number (not yet checked against the table). Shorter OIDs
// have no action number and are refused.
bool action_of(uint32_t plan, uint32_t event, uint32_t* number) {
  uint32_t length = 0;
  const uint8_t* bytes = nv_bytes(nv::dayPlanActionNumberOID(plan, event), &length);
  if (length / 4 < kOidLength) return false;
  for (uint32_t i = 0; i < kOidLength; ++i) {
    const uint8_t* p = bytes + 4 * i;
    const uint32_t subid = static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                           static_cast<uint32_t>(p[2]) << 8 | p[3];
    if (i < kOidLength - 1) {
      if (subid != kActionPrefix[i]) return false;
    } else if (number) {
      *number = subid;
    }
  }
  return true;
}

enum row_kind { ROW_NONE, ROW_STORED, ROW_BLANK };

// Where a scheduled message is kept: the rows an activation of it would
// use, so that the table mode decides alike (in the 500-message mode the
// upper rows hold permanent messages, never changeable ones). Blank
// message 0 and numbers beyond a table name no row.
row_kind message_row(uint8_t type, uint16_t number, msg_row* row) {
  if (type != MEMORY_PERMANENT && type != MEMORY_CHANGEABLE && type != MEMORY_BLANK) return ROW_NONE;
  if (msg_find_row(type, number, row) != ACTIVATE_NONE) return ROW_NONE;
  return type == MEMORY_BLANK ? ROW_BLANK : ROW_STORED;
}

}  // namespace

int CScheduleTask::FindEntry(const calendar_record& date) const {
  if (!date_is_valid(date)) return -1;
  int best = -1;
  uint32_t best_months = 0, best_dates = 0, best_days = 0;
  for (uint32_t i = 0; i < SCHEDULE_ENTRIES; ++i) {
    const uint32_t months = nv_value(nv::timeBaseScheduleMonth(i));
    const uint32_t days = nv_value(nv::timeBaseScheduleDay(i));
    const uint32_t dates = nv_value(nv::timeBaseScheduleDate(i));
    if (!(months >> (date.mon + 1) & 1) || !(dates >> date.mday & 1) || !(days >> (date.wday + 1) & 1)) continue;
    const uint32_t month_count = static_cast<uint32_t>(std::popcount(months));
    const uint32_t date_count = static_cast<uint32_t>(std::popcount(dates));
    const uint32_t day_count = static_cast<uint32_t>(std::popcount(days));
    // Each count is compared on its own: the narrower in any of them wins,
    // tested month first.
    if (best < 0 || month_count < best_months || date_count < best_dates || day_count < best_days) {
      best = static_cast<int>(i);
      best_months = month_count;
      best_dates = date_count;
      best_days = day_count;
    }
  }
  return best;
}

int CScheduleTask::FindEvent(uint32_t entry, int32_t hour, int32_t minute) const {
  const uint32_t plan_number = nv_value(nv::timeBaseScheduleDayPlan(entry));
  // A day plan outside the table has no events.
  if (plan_number < 1 || plan_number > DAY_PLANS) return -1;
  const uint32_t plan = plan_number - 1;
  const int64_t now = static_cast<int64_t>(hour) * 256 + minute;
  int best = -1;
  int64_t best_time = 0;
  for (uint32_t e = 0; e < DAY_PLAN_EVENTS; ++e) {
    if (!action_of(plan, e, nullptr)) continue;
    const int64_t at = static_cast<int64_t>(nv_value(nv::dayPlanHour(plan, e))) * 256 +
                       nv_value(nv::dayPlanMinute(plan, e));
    if (at > now) continue;
    // The latest in force; the later event of equal time.
    if (best < 0 || at >= best_time) {
      best = static_cast<int>(e);
      best_time = at;
    }
  }
  return best;
}

void CScheduleTask::EvaluateSchedule() {
  if (nv_value(nv::dmsMsgSourceMode) != SCHEDULE_SOURCE_MODE) {
    set_nv(nv::timeBaseScheduleTableStatus, 0, DB_NOTIFY);
    return;
  }
  const int today = FindEntry(m_LocalDate);
  calendar_record yesterday{};
  const int before = yesterday_of(m_LocalDate, &yesterday) ? FindEntry(yesterday) : -1;
  if (today < 0 && before < 0) {
    if (m_byEntryActive) {
      StartSchedule();
      m_byEntryActive = 0;
    }
    return;
  }
  m_byEntryActive = 1;

  int entry = today;
  int event = today >= 0 ? FindEvent(static_cast<uint32_t>(today), m_LocalDate.hour, m_LocalDate.min) : -1;
  if (event < 0 && before >= 0) {
    // Yesterday's last event stays in force until today's first.
    entry = before;
    event = FindEvent(static_cast<uint32_t>(before), 23, 59);
  }
  if (event < 0) {
    if (m_byEventActive) {
      StartSchedule();
      m_byEventActive = 0;
    }
    return;
  }
  m_byEventActive = 1;
  const uint32_t plan = nv_value(nv::timeBaseScheduleDayPlan(static_cast<uint32_t>(entry))) - 1;
  RequestAction(static_cast<uint32_t>(entry), plan, static_cast<uint32_t>(event));
}

void CScheduleTask::RequestAction(uint32_t entry, uint32_t plan, uint32_t event) {
  uint32_t action = 0;
  if (!action_of(plan, event, &action)) return;
  // An action number outside the action table names no action.
  if (action < 1 || action > ACTIONS) return;
  uint32_t length = 0;
  const uint8_t* bytes = nv_bytes(nv::dmsActionMsgCode(action - 1), &length);
  CMsgIDCode id;
  if (length == 0 || !id.Decode(bytes, length)) return;
  const uint8_t type = id.m_byMemoryType;
  const uint16_t number = id.m_wMessageNumber;
  uint16_t crc = id.m_wCRC;

  msg_row row{};
  const row_kind kind = message_row(type, number, &row);
  if (crc == 0 && kind == ROW_STORED) crc = static_cast<uint16_t>(msg_row_value(row, row.crc));
  if (crc == nv_value(nv::scheduleMessageCRC)) return;  // already the scheduled message

  const uint8_t* text = nullptr;
  const uint8_t* owner = nullptr;
  uint32_t text_length = 0, owner_length = 0;
  uint32_t beacon = 0, pixel_service = 0;
  if (kind == ROW_NONE) return;
  if (kind == ROW_STORED) {
    if (msg_row_value(row, row.status) != MSG_STATUS_VALID) return;
    text = msg_row_bytes(row, row.multi, &text_length);
    owner = msg_row_bytes(row, row.owner, &owner_length);
    beacon = msg_row_value(row, row.beacon);
    pixel_service = msg_row_value(row, row.pixel_service);
  }

  // The row records what was requested, by the CRC compared above.
  set_nv(nv::scheduleMessageCRC, crc, DB_NOTIFY);
  set_nv_bytes(nv::scheduleMessageMultiString, text ? text : kEmpty, text_length, DB_NOTIFY);
  set_nv_bytes(nv::scheduleMessageOwner, owner ? owner : kEmpty, owner_length, DB_NOTIFY);
  set_nv(nv::scheduleMessageBeacon, beacon, DB_NOTIFY);
  set_nv(nv::scheduleMessagePixelService, pixel_service, DB_NOTIFY);
  set_nv(nv::scheduleMessageStatus, MSG_STATUS_VALID, DB_NOTIFY);

  RequestInSlot(SCHEDULE_SOURCE_MODE, LocalCode(kForever, type, number, crc));

  set_nv(nv::timeBaseScheduleTableStatus, entry + 1, DB_NOTIFY);
  set_nv(nv::dayPlanStatus, event + 1, DB_NOTIFY);
}
