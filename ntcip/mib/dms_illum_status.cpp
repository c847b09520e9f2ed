// Illumination (node 7), the action table (node 8) and the dmsStatus
// scalars with the MULTI field table (node 9) of the sign subtree.
//
// The handlers only store: the display recomputes the brightness on the
// notice of an illumination write, and the database's write hook decides
// whether a brightness table is usable (and says why not in
// dmsIllumBrightnessValuesError).
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kIllumControl,
    kMaxPhotocellLevel,
    kPhotocellLevelStatus,
    kNumBrightLevels,
    kBrightLevelStatus,
    kManLevel,
    kBrightnessValues,
    kBrightnessValuesError,
    kLightOutputStatus,
    kNumActionEntries,
    kActionIndex,
    kActionMsgCode,
    kFieldRows,
    kFieldIndex,
    kFieldCode,
    kFieldValue,
    kCurrentSpeed,
    kCurrentSpeedLimit,
    kWatchdogFailures,
    kDoorOpen,
};

#define DMS 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3
constexpr uint32_t kIllumControlOid[] = {DMS, 7, 1, 0};
constexpr uint32_t kMaxPhotocellLevelOid[] = {DMS, 7, 2, 0};
constexpr uint32_t kPhotocellLevelStatusOid[] = {DMS, 7, 3, 0};
constexpr uint32_t kNumBrightLevelsOid[] = {DMS, 7, 4, 0};
constexpr uint32_t kBrightLevelStatusOid[] = {DMS, 7, 5, 0};
constexpr uint32_t kManLevelOid[] = {DMS, 7, 6, 0};
constexpr uint32_t kBrightnessValuesOid[] = {DMS, 7, 7, 0};
constexpr uint32_t kBrightnessValuesErrorOid[] = {DMS, 7, 8, 0};
constexpr uint32_t kLightOutputStatusOid[] = {DMS, 7, 9, 0};
constexpr uint32_t kNumActionEntriesOid[] = {DMS, 8, 1, 0};
constexpr uint32_t kActionIndexOid[] = {DMS, 8, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kActionMsgCodeOid[] = {DMS, 8, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kFieldRowsOid[] = {DMS, 9, 1, 0};
constexpr uint32_t kFieldIndexOid[] = {DMS, 9, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kFieldCodeOid[] = {DMS, 9, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kFieldValueOid[] = {DMS, 9, 2, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kCurrentSpeedOid[] = {DMS, 9, 3, 0};
constexpr uint32_t kCurrentSpeedLimitOid[] = {DMS, 9, 4, 0};
constexpr uint32_t kWatchdogFailuresOid[] = {DMS, 9, 5, 0};
constexpr uint32_t kDoorOpenOid[] = {DMS, 9, 6, 0};
#undef DMS

constexpr uint32_t kActions = 255;
constexpr uint32_t kFields = 11;

constexpr uint32_t kMaskIllum = 0x200000;
constexpr uint32_t kMaskBrightnessTable = 0x10000000;
constexpr uint32_t kMaskActions = 0x80000;
constexpr uint32_t kMaskSpeedLimit = 0x4000;

// quorSpecialFeatureSet: the illumination status in the units of an older
// photocell and level range.
constexpr uint32_t kFeatureScaledIllum = 0x20;

bool scaled_illum() { return (read_value(nv::quorSpecialFeatureSet, true) & kFeatureScaledIllum) != 0; }

// Stores the set value; a refusal is not reported, the answer (the value
// read back) shows it.
void store_ignoring_refusal(const db_object& o, bool nv) { write_value(o, nv, g_snmp_set_value.integer); }

uintptr_t* var_illum(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                     uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kIllumControl:
    case kManLevel: {
        const db_object o = row->column == kIllumControl ? nv::dmsIllumControl : nv::dmsIllumManLevel;
        if (committing(operation))
            store_ignoring_refusal(o, true);
        return answer_object(o, true, value_length, record, index);
    }
    case kMaxPhotocellLevel:
        return answer_object(vol::dmsIllumMaxPhotocellLevel, false, value_length, record, index);
    case kPhotocellLevelStatus: {
        uint32_t v = read_value(vol::dmsIllumPhotocellLevelStatus, false);
        return answer_integer(scaled_illum() ? v / 126 : v, value_length, record, index);
    }
    case kNumBrightLevels: {
        uint32_t v = read_value(vol::dmsIllumNumBrightLevels, false);
        return answer_integer(scaled_illum() ? v / 2 : v, value_length, record, index);
    }
    case kBrightLevelStatus: {
        uint32_t v = read_value(vol::dmsIllumBrightLevelStatus, false);
        return answer_integer(scaled_illum() ? v / 2 : v, value_length, record, index);
    }
    case kBrightnessValues:
        if (committing(operation)) {
            // The hook checks the table and records why it refused one.
            uint32_t result = write_string(nv::dmsIllumBrightnessValues, true, g_snmp_set_value.bytes,
                                           g_snmp_set_value.length);
            if (result != DB_OK)
                fail(record, result);
        }
        return answer_string(nv::dmsIllumBrightnessValues, true, value_length, record, index);
    case kBrightnessValuesError:
        return answer_object(nv::dmsIllumBrightnessValuesError, true, value_length, record, index);
    case kLightOutputStatus:
        return answer_object(nv::dmsIllumLightOutputStatus, true, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_numActionTableEntries(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                                     uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(vol::numActionTableEntries, false, value_length, record, index);
}

uintptr_t* var_dmsActionEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                              uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kActions) != 0)
        return nullptr;
    const uint32_t a = name[row->oid_length - 1u];
    if (row->column == kActionIndex)
        return answer_integer(a, value_length, record, index);
    if (row->column != kActionMsgCode)
        return nullptr;
    const db_object o = nv::dmsActionMsgCode(a - 1);
    if (committing(operation))
        write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
    return answer_string(o, true, value_length, record, index);
}

uintptr_t* var_dmsStatus(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                         uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kFieldRows:
        return answer_object(vol::statMultiFieldRows, false, value_length, record, index);
    case kCurrentSpeed:
        return answer_object(vol::dmsCurrentSpeed, false, value_length, record, index);
    case kCurrentSpeedLimit:
        if (committing(operation))
            store_ignoring_refusal(nv::dmsCurrentSpeedLimit, true);
        return answer_object(nv::dmsCurrentSpeedLimit, true, value_length, record, index);
    case kWatchdogFailures:
        return answer_object(nv::watchdogFailureCount, true, value_length, record, index);
    case kDoorOpen:
        return answer_object(vol::dmsStatDoorOpen, false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_statMultiFieldEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kFields) != 0)
        return nullptr;
    const uint32_t x = name[row->oid_length - 1u];
    switch (row->column) {
    case kFieldIndex:
        return answer_integer(x, value_length, record, index);
    case kFieldCode:
        return answer_object(vol::statMultiFieldCode(x - 1), false, value_length, record, index);
    case kFieldValue:
        return answer_string(vol::statMultiCurrentFieldValue(x - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;

const mib_variable kRows[] = {
    mib_row(kIllumControlOid, MIB_INTEGER, kIllumControl, RW, var_illum, 0, kMaskIllum, mib_unsigned_range(1, 6)),
    mib_row(kMaxPhotocellLevelOid, MIB_INTEGER, kMaxPhotocellLevel, RO, var_illum, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kPhotocellLevelStatusOid, MIB_INTEGER, kPhotocellLevelStatus, RO, var_illum, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kNumBrightLevelsOid, MIB_INTEGER, kNumBrightLevels, RO, var_illum, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kBrightLevelStatusOid, MIB_INTEGER, kBrightLevelStatus, RO, var_illum, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kManLevelOid, MIB_INTEGER, kManLevel, RW, var_illum, 0, kMaskIllum, mib_unsigned_range(0, 255)),
    mib_row(kBrightnessValuesOid, MIB_OCTET_STRING, kBrightnessValues, RW, var_illum, 0, kMaskBrightnessTable),
    mib_row(kBrightnessValuesErrorOid, MIB_INTEGER, kBrightnessValuesError, RO, var_illum, 0, 0,
            mib_unsigned_range(1, 6)),
    mib_row(kLightOutputStatusOid, MIB_INTEGER, kLightOutputStatus, RO, var_illum, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kNumActionEntriesOid, MIB_INTEGER, kNumActionEntries, RO, var_numActionTableEntries, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kActionIndexOid, MIB_INTEGER, kActionIndex, RO, var_dmsActionEntry, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kActionMsgCodeOid, MIB_OCTET_STRING, kActionMsgCode, RW, var_dmsActionEntry, 1, kMaskActions,
            mib_length_range(5, 5)),
    mib_row(kFieldRowsOid, MIB_INTEGER, kFieldRows, RO, var_dmsStatus, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kFieldIndexOid, MIB_INTEGER, kFieldIndex, RO, var_statMultiFieldEntry, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kFieldCodeOid, MIB_INTEGER, kFieldCode, RO, var_statMultiFieldEntry, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kFieldValueOid, MIB_OCTET_STRING, kFieldValue, RO, var_statMultiFieldEntry, 1, 0,
            mib_length_range(0, 50)),
    mib_row(kCurrentSpeedOid, MIB_INTEGER, kCurrentSpeed, RO, var_dmsStatus, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kCurrentSpeedLimitOid, MIB_INTEGER, kCurrentSpeedLimit, RW, var_dmsStatus, 0, kMaskSpeedLimit,
            mib_unsigned_range(0, 255)),
    mib_row(kWatchdogFailuresOid, MIB_COUNTER, kWatchdogFailures, RO, var_dmsStatus, 0, 0,
            mib_unsigned_range(0, 4294967295u)),
    mib_row(kDoorOpenOid, MIB_INTEGER, kDoorOpen, RO, var_dmsStatus, 0, 0, mib_unsigned_range(0, 255)),
};

}  // namespace

const mib_group g_dms_illum_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
