// The NTCIP 1201 time management objects: the global time (held in the
// board's real-time clock), the daylight-saving selection and table, the
// time zone and local time, and the time-base schedule with its day plans.
// The clock peripheral derives the local time from these objects and the
// schedule task evaluates the schedule; the daylight-saving selection and
// the table's begin months are kept consistent by the database's write hook.
#include "ntcip/mib/global_time.h"

#include <atomic>

#include "frame/trace/trace.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/mib_oid_value.h"

using namespace dms_mib;

namespace {

std::atomic<snmp_global_time_observer> g_time_observer{nullptr};

enum : uint8_t {
    kGlobalTime,
    kDaylightSaving,
    kLocalTimeDifferential,
    kStandardTimeZone,
    kLocalTime,
};

// Columns of the tables are their sub-identifiers.
enum : uint8_t { kMaxScheduleEntries, kMaxDayPlans, kMaxDayPlanEvents, kDayPlanStatus, kScheduleTableStatus };

constexpr uint32_t kDstRows = 10;
constexpr uint32_t kScheduleRows = 29;
constexpr uint32_t kDayPlans = 20;
constexpr uint32_t kDayPlanEvents = 24;
constexpr uint32_t kDayPlanIndexes[2] = {kDayPlans, kDayPlanEvents};

// A time-zone object and, at once, the local time it gives; the clock
// peripheral refines it on its next polls.
void write_zone(const db_object& o)
{
    const uint32_t v = g_snmp_set_value.integer;
    write_value(o, true, v);
    write_value(vol::controllerLocalTime, false, db_global_time() + v);
}

uintptr_t* var_globalTimeManagement(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                    uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kGlobalTime: {
        if (committing(operation)) {
            const db_object& o = nv::globalTime;
            g_pDataBase->SetTimeValue(o.offset, o.width, g_snmp_set_value.integer, g_pDataBase->mib_nv,
                                      DB_NOTIFY | DB_GLOBAL_TIME);
        }
        const uint32_t t = db_global_time();
        monitor_printf_debug("Get Global Time = %d\n", static_cast<int>(t));
        if (snmp_global_time_observer observer = g_time_observer.load())
            observer(t);
        return answer_integer(t, value_length, record, index);
    }
    case kDaylightSaving:
        if (committing(operation)) {
            uint32_t result = write_value(nv::globalDaylightSaving, true, g_snmp_set_value.integer);
            if (result != DB_OK)
                fail(record, result);
        }
        return answer_object(nv::globalDaylightSaving, true, value_length, record, index);
    case kLocalTimeDifferential:
        if (committing(operation))
            write_zone(nv::globalLocalTimeDifferential);
        // The difference in force, daylight time included, not the stored value.
        return answer_integer(read_value(vol::controllerLocalTime, false) - db_global_time(), value_length, record,
                              index);
    case kStandardTimeZone:
        if (committing(operation))
            write_zone(nv::controllerStandardTimeZone);
        return answer_object(nv::controllerStandardTimeZone, true, value_length, record, index);
    case kLocalTime:
        return answer_object(vol::controllerLocalTime, false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_maxDaylightSavingEvents(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                                       uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(vol::dstEntryCount, false, value_length, record, index);
}

db_object dst_object(uint8_t column, uint32_t d)
{
    switch (column) {
    case 2:
        return nv::dstBeginMonth(d);
    case 3:
        return nv::dstBeginOccurrences(d);
    case 4:
        return nv::dstBeginDayOfWeek(d);
    case 5:
        return nv::dstBeginDayOfMonth(d);
    case 6:
        return nv::dstBeginSecondsToTransition(d);
    case 7:
        return nv::dstEndMonth(d);
    case 8:
        return nv::dstEndOccurrences(d);
    case 9:
        return nv::dstEndDayOfWeek(d);
    case 10:
        return nv::dstEndDayOfMonth(d);
    case 11:
        return nv::dstEndSecondsToTransition(d);
    case 12:
        return nv::dstSecondsToAdjust(d);
    default:
        return {0, 0};
    }
}

uintptr_t* var_dstEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kDstRows) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    if (row->column == 1)
        return answer_integer(n, value_length, record, index);
    const db_object o = dst_object(row->column, n - 1);
    if (o.width == 0)
        return nullptr;
    if (committing(operation)) {
        uint32_t result = write_value(o, true, g_snmp_set_value.integer);
        // The begin month carries the database's daylight-saving rules.
        if (result != DB_OK && row->column == 2)
            fail(record, result);
    }
    return answer_object(o, true, value_length, record, index);
}

uintptr_t* var_timebase(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kMaxScheduleEntries:
        return answer_object(nv::maxTimeBaseScheduleEntries, true, value_length, record, index);
    case kMaxDayPlans:
        return answer_object(nv::maxDayPlans, true, value_length, record, index);
    case kMaxDayPlanEvents:
        return answer_object(nv::maxDayPlanEvents, true, value_length, record, index);
    case kDayPlanStatus:
        return answer_object(nv::dayPlanStatus, true, value_length, record, index);
    case kScheduleTableStatus:
        return answer_object(nv::timeBaseScheduleTableStatus, true, value_length, record, index);
    default:
        return nullptr;
    }
}

// An integer column of the schedule or the day plans: written in the
// commit, a refusal not reported, answered as it holds.
uintptr_t* serve_value(const db_object& o, uint32_t operation, uint32_t* value_length, snmp_request* record,
                       int index)
{
    if (committing(operation))
        write_value(o, true, g_snmp_set_value.integer);
    return answer_object(o, true, value_length, record, index);
}

uintptr_t* var_timeBaseScheduleEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                     uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kScheduleRows) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    const uint32_t s = n - 1;
    switch (row->column) {
    case 1:
        return answer_integer(n, value_length, record, index);
    case 2:
        return serve_value(nv::timeBaseScheduleMonth(s), operation, value_length, record, index);
    case 3:
        return serve_value(nv::timeBaseScheduleDay(s), operation, value_length, record, index);
    case 4:
        return serve_value(nv::timeBaseScheduleDate(s), operation, value_length, record, index);
    case 5:
        return serve_value(nv::timeBaseScheduleDayPlan(s), operation, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_timeBaseDayPlanEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                    uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kDayPlanIndexes, 2) != 0)
        return nullptr;
    const uint32_t p = name[row->oid_length - 1u];
    const uint32_t e = name[row->oid_length];
    switch (row->column) {
    case 1:
        return answer_integer(p, value_length, record, index);
    case 2:
        return answer_integer(e, value_length, record, index);
    case 3:
        return serve_value(nv::dayPlanHour(p - 1, e - 1), operation, value_length, record, index);
    case 4:
        return serve_value(nv::dayPlanMinute(p - 1, e - 1), operation, value_length, record, index);
    case 5: {
        const db_object o = nv::dayPlanActionNumberOID(p - 1, e - 1);
        if (committing(operation))
            write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
        return answer_oid(o, true, value_length, record, index);
    }
    default:
        return nullptr;
    }
}

#define GTM 1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3
constexpr uint32_t P = MIB_PLACEHOLDER;
constexpr uint32_t kGlobalTimeOid[] = {GTM, 1, 0};
constexpr uint32_t kDaylightSavingOid[] = {GTM, 2, 0};
constexpr uint32_t kMaxScheduleEntriesOid[] = {GTM, 3, 1, 0};
constexpr uint32_t kScheduleNumberOid[] = {GTM, 3, 2, 1, 1, P};
constexpr uint32_t kScheduleMonthOid[] = {GTM, 3, 2, 1, 2, P};
constexpr uint32_t kScheduleDayOid[] = {GTM, 3, 2, 1, 3, P};
constexpr uint32_t kScheduleDateOid[] = {GTM, 3, 2, 1, 4, P};
constexpr uint32_t kScheduleDayPlanOid[] = {GTM, 3, 2, 1, 5, P};
constexpr uint32_t kMaxDayPlansOid[] = {GTM, 3, 3, 0};
constexpr uint32_t kMaxDayPlanEventsOid[] = {GTM, 3, 4, 0};
constexpr uint32_t kDayPlanNumberOid[] = {GTM, 3, 5, 1, 1, P};
constexpr uint32_t kDayPlanEventNumberOid[] = {GTM, 3, 5, 1, 2, P};
constexpr uint32_t kDayPlanHourOid[] = {GTM, 3, 5, 1, 3, P};
constexpr uint32_t kDayPlanMinuteOid[] = {GTM, 3, 5, 1, 4, P};
constexpr uint32_t kDayPlanActionOid[] = {GTM, 3, 5, 1, 5, P};
constexpr uint32_t kDayPlanStatusOid[] = {GTM, 3, 6, 0};
constexpr uint32_t kScheduleTableStatusOid[] = {GTM, 3, 7, 0};
constexpr uint32_t kLocalTimeDifferentialOid[] = {GTM, 4, 0};
constexpr uint32_t kStandardTimeZoneOid[] = {GTM, 5, 0};
constexpr uint32_t kLocalTimeOid[] = {GTM, 6, 0};
constexpr uint32_t kMaxDstEventsOid[] = {GTM, 7, 1, 0};
#define DST_COL(c) constexpr uint32_t kDst##c[] = {GTM, 7, 2, 1, c, P};
DST_COL(1) DST_COL(2) DST_COL(3) DST_COL(4) DST_COL(5) DST_COL(6) DST_COL(7) DST_COL(8) DST_COL(9) DST_COL(10)
DST_COL(11) DST_COL(12)
#undef DST_COL
#undef GTM

constexpr uint32_t kMaskTime = 0x10000;
constexpr uint32_t kMaskSchedule = 0x80000;
// A day-plan action names an object the lookup can take.
constexpr uint32_t kActionBytes = 4 * MIB_MAX_OID;

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t INT = MIB_INTEGER;
constexpr var_handler G = var_globalTimeManagement;
constexpr var_handler DST = var_dstEntry;
constexpr var_handler TB = var_timebase;
constexpr var_handler SCH = var_timeBaseScheduleEntry;
constexpr var_handler DP = var_timeBaseDayPlanEntry;

constexpr mib_constraint kAnyWord = mib_unsigned_range(0, 0xFFFFFFFF);
constexpr mib_constraint kZone = mib_signed_range(-43200, 43200);
constexpr mib_constraint kOccurrences = mib_unsigned_range(1, 9);
constexpr mib_constraint kWeekday = mib_unsigned_range(1, 7);
constexpr mib_constraint kMonthDay = mib_unsigned_range(1, 31);

const mib_variable kRows[] = {
    mib_row(kGlobalTimeOid, MIB_COUNTER, kGlobalTime, RW, G, 0, kMaskTime, kAnyWord),
    mib_row(kDaylightSavingOid, INT, kDaylightSaving, RW, G, 0, kMaskTime, mib_unsigned_range(1, 20)),
    mib_row(kMaxScheduleEntriesOid, INT, kMaxScheduleEntries, RO, TB, 0, 0, mib_unsigned_range(1, 65535)),
    mib_row(kScheduleNumberOid, INT, 1, RO, SCH, 1, 0, mib_unsigned_range(1, 65535)),
    mib_row(kScheduleMonthOid, INT, 2, RW, SCH, 1, kMaskSchedule, mib_unsigned_range(0, 65535)),
    mib_row(kScheduleDayOid, INT, 3, RW, SCH, 1, kMaskSchedule, mib_unsigned_range(0, 255)),
    mib_row(kScheduleDateOid, INT, 4, RW, SCH, 1, kMaskSchedule, kAnyWord),
    mib_row(kScheduleDayPlanOid, INT, 5, RW, SCH, 1, kMaskSchedule, mib_unsigned_range(0, 255)),
    mib_row(kMaxDayPlansOid, INT, kMaxDayPlans, RO, TB, 0, 0, mib_unsigned_range(1, 255)),
    mib_row(kMaxDayPlanEventsOid, INT, kMaxDayPlanEvents, RO, TB, 0, 0, mib_unsigned_range(1, 255)),
    mib_row(kDayPlanNumberOid, INT, 1, RO, DP, 2, 0, mib_unsigned_range(1, 255)),
    mib_row(kDayPlanEventNumberOid, INT, 2, RO, DP, 2, 0, mib_unsigned_range(1, 255)),
    mib_row(kDayPlanHourOid, INT, 3, RW, DP, 2, kMaskSchedule, mib_unsigned_range(0, 23)),
    mib_row(kDayPlanMinuteOid, INT, 4, RW, DP, 2, kMaskSchedule, mib_unsigned_range(0, 59)),
    mib_row(kDayPlanActionOid, MIB_OBJECT_ID, 5, RW, DP, 2, kMaskSchedule, mib_length_range(0, kActionBytes)),
    mib_row(kDayPlanStatusOid, INT, kDayPlanStatus, RO, TB, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kScheduleTableStatusOid, INT, kScheduleTableStatus, RO, TB, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kLocalTimeDifferentialOid, INT, kLocalTimeDifferential, RW, G, 0, kMaskTime, kZone),
    mib_row(kStandardTimeZoneOid, INT, kStandardTimeZone, RW, G, 0, kMaskTime, kZone),
    mib_row(kLocalTimeOid, MIB_COUNTER, kLocalTime, RO, G, 0, 0, kAnyWord),
    mib_row(kMaxDstEventsOid, INT, 0, RO, var_maxDaylightSavingEvents, 0, 0, mib_unsigned_range(1, 100)),
    mib_row(kDst1, INT, 1, RO, DST, 1, 0, mib_unsigned_range(1, 100)),
    mib_row(kDst2, INT, 2, RW, DST, 1, 0, mib_unsigned_range(1, 14)),
    mib_row(kDst3, INT, 3, RW, DST, 1, 0, kOccurrences),
    mib_row(kDst4, INT, 4, RW, DST, 1, 0, kWeekday),
    mib_row(kDst5, INT, 5, RW, DST, 1, 0, kMonthDay),
    mib_row(kDst6, INT, 6, RW, DST, 1, 0, kAnyWord),
    mib_row(kDst7, INT, 7, RW, DST, 1, 0, mib_unsigned_range(1, 12)),
    mib_row(kDst8, INT, 8, RW, DST, 1, 0, kOccurrences),
    mib_row(kDst9, INT, 9, RW, DST, 1, 0, kWeekday),
    mib_row(kDst10, INT, 10, RW, DST, 1, 0, kMonthDay),
    mib_row(kDst11, INT, 11, RW, DST, 1, 0, kAnyWord),
    mib_row(kDst12, INT, 12, RW, DST, 1, 0, mib_unsigned_range(0, 21600)),
};

}  // namespace

void snmp_set_global_time_observer(snmp_global_time_observer observer) { g_time_observer = observer; }

const mib_group g_global_time_group = {"global", kRows, sizeof kRows / sizeof kRows[0]};
