// The NTCIP 1201 event log objects (globalReport, 1.3.6.1.4.1.1206.4.2.6.4):
// the sizes, the 60 event configurations, the log of 16 classes of 255
// entries, the classes and the event counters. The handlers only read and
// write the database; the schedule task's logger does the logging, and the
// database's letters tell it of new class limits and clear times.
#include <algorithm>

#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kMaxEventLogConfigs,
    kMaxEventLogSize,
    kMaxEventClasses,
    kNumEvents,
    kConfigID,
    kConfigClass,
    kConfigMode,
    kConfigCompareValue,
    kConfigCompareValue2,
    kConfigCompareOID,
    kConfigLogOID,
    kConfigAction,
    kConfigStatus,
    kLogClass,
    kLogNumber,
    kLogID,
    kLogTime,
    kLogValue,
    kClassNumber,
    kClassLimit,
    kClassClearTime,
    kClassDescription,
    kClassNumRowsInLog,
    kClassNumEvents,
};

#define REPORT 1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 4
constexpr uint32_t kMaxEventLogConfigsOid[] = {REPORT, 1, 0};
constexpr uint32_t kConfigIDOid[] = {REPORT, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kConfigClassOid[] = {REPORT, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kConfigModeOid[] = {REPORT, 2, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kConfigCompareValueOid[] = {REPORT, 2, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kConfigCompareValue2Oid[] = {REPORT, 2, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kConfigCompareOIDOid[] = {REPORT, 2, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kConfigLogOIDOid[] = {REPORT, 2, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kConfigActionOid[] = {REPORT, 2, 1, 8, MIB_PLACEHOLDER};
constexpr uint32_t kConfigStatusOid[] = {REPORT, 2, 1, 9, MIB_PLACEHOLDER};
constexpr uint32_t kMaxEventLogSizeOid[] = {REPORT, 3, 0};
constexpr uint32_t kLogClassOid[] = {REPORT, 4, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kLogNumberOid[] = {REPORT, 4, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kLogIDOid[] = {REPORT, 4, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kLogTimeOid[] = {REPORT, 4, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kLogValueOid[] = {REPORT, 4, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kMaxEventClassesOid[] = {REPORT, 5, 0};
constexpr uint32_t kClassNumberOid[] = {REPORT, 6, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kClassLimitOid[] = {REPORT, 6, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kClassClearTimeOid[] = {REPORT, 6, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kClassDescriptionOid[] = {REPORT, 6, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kClassNumRowsInLogOid[] = {REPORT, 6, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kClassNumEventsOid[] = {REPORT, 6, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kNumEventsOid[] = {REPORT, 7, 0};
#undef REPORT

constexpr uint32_t kConfigs = 60;
constexpr uint32_t kClasses = 16;
constexpr uint32_t kEntries = 255;
constexpr uint32_t kWrite = 0x1000000;
constexpr uint32_t kLogIndexes[2] = {kClasses, kEntries};

// The commit of an integer or OID column; a database refusal becomes the
// request's error status.
void commit(const db_object& o, bool string, snmp_request* record, int index)
{
    uint32_t result = DB_OK;
    if (string)
        result = string_fits(record, index, MIB_SET_BYTES)
                     ? write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length)
                     : static_cast<uint32_t>(DB_BAD_VALUE);
    else
        result = write_value(o, true, g_snmp_set_value.integer);
    if (result != DB_OK)
        fail(record, result);
}

uintptr_t* var_globalReport(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                            uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kMaxEventLogConfigs:
        return answer_object(vol::maxEventLogConfigs, false, value_length, record, index);
    case kMaxEventLogSize:
        return answer_object(vol::maxEventLogSize, false, value_length, record, index);
    case kMaxEventClasses:
        if (committing(operation)) {
            uint32_t result = write_value(vol::maxEventClasses, false, g_snmp_set_value.integer);
            if (result != DB_OK)
                fail(record, result);
        }
        return answer_object(vol::maxEventClasses, false, value_length, record, index);
    case kNumEvents:
        return answer_object(vol::numEvents, false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_eventLogConfigEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kConfigs) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    const uint32_t i = n - 1;
    db_object o{};
    bool string = false;
    switch (row->column) {
    case kConfigID:
        return answer_integer(n, value_length, record, index);
    case kConfigClass:
        o = nv::eventConfigClass(i);
        break;
    case kConfigMode:
        o = nv::eventConfigMode(i);
        break;
    case kConfigCompareValue:
        o = nv::eventConfigCompareValue(i);
        break;
    case kConfigCompareValue2:
        o = nv::eventConfigCompareValue2(i);
        break;
    case kConfigCompareOID:
        o = nv::eventConfigCompareOID(i);
        string = true;
        break;
    case kConfigLogOID:
        o = nv::eventConfigLogOID(i);
        string = true;
        break;
    case kConfigAction:
        o = nv::eventConfigAction(i);
        break;
    case kConfigStatus:
        o = nv::eventConfigStatus(i);
        break;
    default:
        return nullptr;
    }
    if (committing(operation) && row->column != kConfigStatus) {
        const uint32_t status_before = record ? record->error_status : 0;
        commit(o, string, record, index);
        // The action is the row's status too (a log OID refused later marks it 4).
        if (row->column == kConfigAction && (!record || record->error_status == status_before))
            write_value(nv::eventConfigStatus(i), true, g_snmp_set_value.integer);
    }
    if (string)
        return answer_string(o, true, value_length, record, index);
    return answer_object(o, true, value_length, record, index);
}

uintptr_t* var_eventLogEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                             uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kLogIndexes, 2) != 0)
        return nullptr;
    const uint32_t c = name[row->oid_length - 1u];
    const uint32_t k = name[row->oid_length];
    const uint32_t n = kEntries * (c - 1) + (k - 1);
    switch (row->column) {
    case kLogClass:
        return answer_integer(c, value_length, record, index);
    case kLogNumber:
        return answer_integer(k, value_length, record, index);
    case kLogID:
        return answer_object(nv::eventLogID(n), true, value_length, record, index);
    case kLogTime:
        return answer_object(nv::eventLogTime(n), true, value_length, record, index);
    case kLogValue:
        return answer_string(nv::eventLogValue(n), true, value_length, record, index);
    default:
        return nullptr;
    }
}

// Whether the limits of all classes together stay within maxEventLogSize
// with class c's limit at `limit`.
bool limits_fit(uint32_t c, uint32_t limit)
{
    const uint32_t classes = std::min(read_value(vol::maxEventClasses, false), kClasses);
    uint64_t sum = limit;
    for (uint32_t other = 0; other < classes; ++other)
        if (other != c)
            sum += read_value(nv::eventClassLimit(other), true);
    return sum <= read_value(vol::maxEventLogSize, false);
}

uintptr_t* var_eventClassEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                               uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kClasses) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    const uint32_t c = n - 1;
    switch (row->column) {
    case kClassNumber:
        return answer_integer(n, value_length, record, index);
    case kClassLimit:
        if (committing(operation)) {
            // Refused with no value, which the registry answers as noSuchName.
            if (!limits_fit(c, g_snmp_set_value.integer))
                return nullptr;
            commit(nv::eventClassLimit(c), false, record, index);
        }
        return answer_object(nv::eventClassLimit(c), true, value_length, record, index);
    case kClassClearTime:
        if (committing(operation))
            commit(nv::eventClassClearTime(c), false, record, index);
        return answer_object(nv::eventClassClearTime(c), true, value_length, record, index);
    case kClassDescription:
        if (committing(operation))
            commit(nv::eventClassDescription(c), true, record, index);
        return answer_string(nv::eventClassDescription(c), true, value_length, record, index);
    case kClassNumRowsInLog:
        return answer_object(nv::eventClassNumRowsInLog(c), true, value_length, record, index);
    case kClassNumEvents:
        return answer_object(vol::eventClassNumEvents(c), false, value_length, record, index);
    default:
        return nullptr;
    }
}

constexpr mib_constraint kAnyWord = mib_unsigned_range(0, 0xFFFFFFFF);

const mib_variable kRows[] = {
    mib_row(kMaxEventLogConfigsOid, MIB_INTEGER, kMaxEventLogConfigs, MIB_READ_ONLY, var_globalReport, 0, 0,
            mib_unsigned_range(1, 65535)),
    mib_row(kConfigIDOid, MIB_INTEGER, kConfigID, MIB_READ_ONLY, var_eventLogConfigEntry, 1, 0,
            mib_unsigned_range(1, 65535)),
    mib_row(kConfigClassOid, MIB_INTEGER, kConfigClass, MIB_READ_WRITE, var_eventLogConfigEntry, 1, kWrite,
            mib_unsigned_range(1, 255)),
    mib_row(kConfigModeOid, MIB_INTEGER, kConfigMode, MIB_READ_WRITE, var_eventLogConfigEntry, 1, kWrite,
            mib_unsigned_range(1, 7)),
    mib_row(kConfigCompareValueOid, MIB_INTEGER, kConfigCompareValue, MIB_READ_WRITE, var_eventLogConfigEntry, 1,
            kWrite, kAnyWord),
    mib_row(kConfigCompareValue2Oid, MIB_INTEGER, kConfigCompareValue2, MIB_READ_WRITE, var_eventLogConfigEntry, 1,
            kWrite, kAnyWord),
    mib_row(kConfigCompareOIDOid, MIB_OBJECT_ID, kConfigCompareOID, MIB_READ_WRITE, var_eventLogConfigEntry, 1,
            kWrite),
    mib_row(kConfigLogOIDOid, MIB_OBJECT_ID, kConfigLogOID, MIB_READ_WRITE, var_eventLogConfigEntry, 1, kWrite),
    mib_row(kConfigActionOid, MIB_INTEGER, kConfigAction, MIB_READ_WRITE, var_eventLogConfigEntry, 1, kWrite,
            mib_unsigned_range(1, 3)),
    mib_row(kConfigStatusOid, MIB_INTEGER, kConfigStatus, MIB_READ_ONLY, var_eventLogConfigEntry, 1, 0,
            mib_unsigned_range(1, 4)),
    mib_row(kMaxEventLogSizeOid, MIB_INTEGER, kMaxEventLogSize, MIB_READ_ONLY, var_globalReport, 0, 0,
            mib_unsigned_range(1, 65535)),
    mib_row(kLogClassOid, MIB_INTEGER, kLogClass, MIB_READ_ONLY, var_eventLogEntry, 2, 0,
            mib_unsigned_range(1, 255)),
    mib_row(kLogNumberOid, MIB_INTEGER, kLogNumber, MIB_READ_ONLY, var_eventLogEntry, 2, 0,
            mib_unsigned_range(1, 255)),
    mib_row(kLogIDOid, MIB_INTEGER, kLogID, MIB_READ_ONLY, var_eventLogEntry, 2, 0, mib_unsigned_range(1, 65535)),
    mib_row(kLogTimeOid, MIB_COUNTER, kLogTime, MIB_READ_ONLY, var_eventLogEntry, 2, 0, kAnyWord),
    mib_row(kLogValueOid, MIB_OPAQUE, kLogValue, MIB_READ_ONLY, var_eventLogEntry, 2),
    mib_row(kMaxEventClassesOid, MIB_INTEGER, kMaxEventClasses, MIB_READ_WRITE, var_globalReport, 0, kWrite,
            mib_unsigned_range(0, 255)),
    mib_row(kClassNumberOid, MIB_INTEGER, kClassNumber, MIB_READ_ONLY, var_eventClassEntry, 1, 0,
            mib_unsigned_range(1, 255)),
    mib_row(kClassLimitOid, MIB_INTEGER, kClassLimit, MIB_READ_WRITE, var_eventClassEntry, 1, kWrite,
            mib_unsigned_range(0, 255)),
    mib_row(kClassClearTimeOid, MIB_COUNTER, kClassClearTime, MIB_READ_WRITE, var_eventClassEntry, 1, kWrite,
            kAnyWord),
    mib_row(kClassDescriptionOid, MIB_OCTET_STRING, kClassDescription, MIB_READ_WRITE, var_eventClassEntry, 1,
            kWrite),
    mib_row(kClassNumRowsInLogOid, MIB_INTEGER, kClassNumRowsInLog, MIB_READ_ONLY, var_eventClassEntry, 1, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kClassNumEventsOid, MIB_INTEGER, kClassNumEvents, MIB_READ_ONLY, var_eventClassEntry, 1, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kNumEventsOid, MIB_INTEGER, kNumEvents, MIB_READ_ONLY, var_globalReport, 0, 0,
            mib_unsigned_range(0, 65535)),
};

}  // namespace

const mib_group g_global_report_group = {"global", kRows, sizeof kRows / sizeof kRows[0]};
