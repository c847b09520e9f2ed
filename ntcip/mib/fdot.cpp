// The fdot customer subtree (1.3.6.1.4.1.1206.3.6, node 11): a compact view
// of the power supplies, the shut-off temperature, the central poll-time
// check, the failed-pixel limit, the short power-loss time and long
// power-recovery message, the event log's nearly-full flag, the front
// panel's log-out time and where the running message came from. Most are
// other objects of the controller under a second name.
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kPowerFailureMap = 1,
    kPowerNumRows = 2,
    kShutOffTemp = 4,
    kMaxPollTime = 5,
    kMaxPollTimeEnable = 6,
    kMaxNumPixelFailure = 7,
    kShortPowerLossTime = 8,
    kLongPowerRecoveryMessage = 9,
    kEventLogNearlyFull = 10,
    kPanelLogoutTime = 11,
    kMessageSource = 12,
};

// The table shows the first 100 rows of the power status table.
constexpr uint32_t kTableRows = 100;

// The requester codes of the running message's activation that the view
// names: the schedule's and the controller's own after a reset.
constexpr uint32_t kRequesterSchedule = 5;
constexpr uint32_t kRequesterReset = 7;

struct scalar_def {
    uint8_t column;
    db_object object;
    bool nv;
    bool writable;
    bool text;
};

constexpr scalar_def kScalars[] = {
    {kPowerFailureMap, vol::dmsPowerFailureStatusMap, false, false, true},
    {kPowerNumRows, vol::dmsPowerNumRows, false, false, false},
    {kShutOffTemp, nv::quorShutOffTemp, true, true, false},
    {kMaxPollTime, nv::fdotDmsMaxPollTime, true, true, false},
    {kMaxPollTimeEnable, nv::fdotDmsMaxPollTimeEnable, true, true, false},
    {kMaxNumPixelFailure, nv::fdotMaxNumPixelFailure, true, true, false},
    {kShortPowerLossTime, nv::dmsShortPowerLossTime, true, true, false},
    {kLongPowerRecoveryMessage, nv::dmsLongPowerRecoveryMessage, true, true, true},
    {kEventLogNearlyFull, vol::eventLogNearlyFullSent, false, false, false},
    {kPanelLogoutTime, nv::fdotDmsPanelLogoutTime, true, true, false},
};

uint32_t message_source()
{
    switch (read_value(vol::quorActivationReason, false)) {
    case kRequesterSchedule:
        return 3;
    case kRequesterReset:
        return 4;
    default:
        return 1;
    }
}

uintptr_t* var_fdotDms(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                       uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (row->column == kMessageSource)
        return answer_integer(message_source(), value_length, record, index);
    for (const scalar_def& d : kScalars) {
        if (d.column != row->column)
            continue;
        if (d.writable && committing(operation)) {
            uint32_t result = d.text ? write_string(d.object, d.nv, g_snmp_set_value.bytes, g_snmp_set_value.length)
                                     : write_value(d.object, d.nv, g_snmp_set_value.integer);
            // Only the shut-off temperature has a rule of its own to report.
            if (result != DB_OK && d.column == kShutOffTemp)
                fail(record, result);
        }
        if (d.text)
            return answer_string(d.object, d.nv, value_length, record, index);
        return answer_object(d.object, d.nv, value_length, record, index);
    }
    return nullptr;
}

// A compact row of the power status table.
uintptr_t* var_fdotDmsTableEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                 uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kTableRows) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    const uint32_t i = n - 1;
    switch (row->column) {
    case 1:
        return answer_integer(n, value_length, record, index);
    case 2: {
        uint32_t type = read_value(vol::dmsPowerType(i), false);
        return answer_integer(type == 6 ? 2 : type == 5 ? 4 : 1, value_length, record, index);
    }
    case 3:
        return answer_string(vol::dmsPowerDescription(i), false, value_length, record, index);
    case 4:
        return answer_object(vol::dmsPowerVoltage(i), false, value_length, record, index);
    case 5:
        return answer_integer(read_value(vol::dmsPowerStatus(i), false) == 2 ? 0 : 1, value_length, record, index);
    default:
        return nullptr;
    }
}

#define FDOT 1, 3, 6, 1, 4, 1, 1206, 3, 6, 11
constexpr uint32_t kPowerFailureMapOid[] = {FDOT, 1, 0};
constexpr uint32_t kPowerNumRowsOid[] = {FDOT, 2, 0};
constexpr uint32_t kTableIndexOid[] = {FDOT, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kTableTypeOid[] = {FDOT, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kTableDescriptionOid[] = {FDOT, 3, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kTableVoltageOid[] = {FDOT, 3, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kTableFaultOid[] = {FDOT, 3, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kShutOffTempOid[] = {FDOT, 4, 0};
constexpr uint32_t kMaxPollTimeOid[] = {FDOT, 5, 0};
constexpr uint32_t kMaxPollTimeEnableOid[] = {FDOT, 6, 0};
constexpr uint32_t kMaxNumPixelFailureOid[] = {FDOT, 7, 0};
constexpr uint32_t kShortPowerLossTimeOid[] = {FDOT, 8, 0};
constexpr uint32_t kLongPowerRecoveryMessageOid[] = {FDOT, 9, 0};
constexpr uint32_t kEventLogNearlyFullOid[] = {FDOT, 10, 0};
constexpr uint32_t kPanelLogoutTimeOid[] = {FDOT, 11, 0};
constexpr uint32_t kMessageSourceOid[] = {FDOT, 12, 0};
#undef FDOT

constexpr uint32_t kMaskPolls = 0x02000000;
constexpr uint32_t kMaskSign = 0x08000000;
constexpr uint32_t kMaskMessages = 0x20000000;

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr var_handler S = var_fdotDms;
constexpr var_handler T = var_fdotDmsTableEntry;

const mib_variable kRows[] = {
    mib_row(kPowerFailureMapOid, MIB_OCTET_STRING, kPowerFailureMap, RO, S, 0, 0, mib_length_range(0, 4)),
    mib_row(kPowerNumRowsOid, MIB_INTEGER, kPowerNumRows, RO, S, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kTableIndexOid, MIB_INTEGER, 1, RO, T, 1, 0, mib_unsigned_range(1, 32)),
    mib_row(kTableTypeOid, MIB_INTEGER, 2, RO, T, 1, 0, mib_unsigned_range(1, 5)),
    mib_row(kTableDescriptionOid, MIB_OCTET_STRING, 3, RO, T, 1, 0, mib_length_range(0, 40)),
    mib_row(kTableVoltageOid, MIB_INTEGER, 4, RO, T, 1, 0, mib_unsigned_range(0, 65535)),
    mib_row(kTableFaultOid, MIB_INTEGER, 5, RO, T, 1, 0, mib_unsigned_range(0, 1)),
    mib_row(kShutOffTempOid, MIB_INTEGER, kShutOffTemp, RW, S, 0, kMaskSign, mib_signed_range(-128, 127)),
    mib_row(kMaxPollTimeOid, MIB_INTEGER, kMaxPollTime, RW, S, 0, kMaskPolls, mib_unsigned_range(0, 65535)),
    mib_row(kMaxPollTimeEnableOid, MIB_INTEGER, kMaxPollTimeEnable, RW, S, 0, kMaskPolls, mib_unsigned_range(0, 1)),
    mib_row(kMaxNumPixelFailureOid, MIB_INTEGER, kMaxNumPixelFailure, RW, S, 0, kMaskSign,
            mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kShortPowerLossTimeOid, MIB_INTEGER, kShortPowerLossTime, RW, S, 0, kMaskMessages,
            mib_unsigned_range(0, 65535)),
    mib_row(kLongPowerRecoveryMessageOid, MIB_OCTET_STRING, kLongPowerRecoveryMessage, RW, S, 0, kMaskMessages,
            mib_length_range(5, 5)),
    mib_row(kEventLogNearlyFullOid, MIB_INTEGER, kEventLogNearlyFull, RO, S, 0, 0, mib_unsigned_range(0, 1)),
    mib_row(kPanelLogoutTimeOid, MIB_INTEGER, kPanelLogoutTime, RW, S, 0, kMaskPolls, mib_unsigned_range(0, 65535)),
    mib_row(kMessageSourceOid, MIB_INTEGER, kMessageSource, RO, S, 0, 0, mib_unsigned_range(0, 4)),
};

}  // namespace

const mib_group g_fdot_group = {"fdot", kRows, sizeof kRows / sizeof kRows[0]};
