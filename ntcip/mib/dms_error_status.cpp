// The error-status group (statError, node 9.7 of the sign subtree): the
// summary error word, the pixel-failure and pixel-status tables, the three
// test activations and the status maps and tables of power supplies,
// climate control and the light, humidity and temperature sensors.
//
// Everything here is written elsewhere (display task, peripherals, row
// services, communication task); the handlers serve it and store only the
// test requests and the climate-control type. Each table has a fixed
// number of rows, whatever its row count says.
#include <initializer_list>

#include "frame/trace/trace.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

// Scalars.
enum : uint8_t {
    kShortErrorStatus,
    kPixelFailureTableNumRows,
    kPixelTestActivation,
    kLampFailureStuckOn,
    kLampFailureStuckOff,
    kLampTestActivation,
    kFanFailures,
    kFanTestActivation,
    kControllerErrorStatus,
    kPowerFailureStatusMap,
    kPowerNumRows,
    kClimateCtrlStatusMap,
    kClimateCtrlNumRows,
    kPixelFailureTestRows,
    kPixelFailureMessageRows,
    kLightSensorStatusMap,
    kLightSensorNumRows,
    kHumiditySensorStatusMap,
    kHumiditySensorNumRows,
    kTempSensorStatusMap,
    kTempSensorNumRows,
    kTempSensorMaxHighCritical,
    kTempSensorMinLowCritical,
};

// Table columns are selected by their column number.

#define ERR 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9, 7
constexpr uint32_t kShortErrorStatusOid[] = {ERR, 1, 0};
constexpr uint32_t kPixelFailureTableNumRowsOid[] = {ERR, 2, 0};
constexpr uint32_t kPixelTestActivationOid[] = {ERR, 4, 0};
constexpr uint32_t kLampFailureStuckOnOid[] = {ERR, 5, 0};
constexpr uint32_t kLampFailureStuckOffOid[] = {ERR, 6, 0};
constexpr uint32_t kLampTestActivationOid[] = {ERR, 7, 0};
constexpr uint32_t kFanFailuresOid[] = {ERR, 8, 0};
constexpr uint32_t kFanTestActivationOid[] = {ERR, 9, 0};
constexpr uint32_t kControllerErrorStatusOid[] = {ERR, 10, 0};
constexpr uint32_t kPowerFailureStatusMapOid[] = {ERR, 11, 0};
constexpr uint32_t kPowerNumRowsOid[] = {ERR, 12, 0};
constexpr uint32_t kClimateCtrlStatusMapOid[] = {ERR, 14, 0};
constexpr uint32_t kClimateCtrlNumRowsOid[] = {ERR, 16, 0};
constexpr uint32_t kPixelFailureTestRowsOid[] = {ERR, 19, 0};
constexpr uint32_t kPixelFailureMessageRowsOid[] = {ERR, 20, 0};
constexpr uint32_t kLightSensorStatusMapOid[] = {ERR, 28, 0};
constexpr uint32_t kLightSensorNumRowsOid[] = {ERR, 29, 0};
constexpr uint32_t kHumiditySensorStatusMapOid[] = {ERR, 31, 0};
constexpr uint32_t kHumiditySensorNumRowsOid[] = {ERR, 32, 0};
constexpr uint32_t kTempSensorStatusMapOid[] = {ERR, 34, 0};
constexpr uint32_t kTempSensorNumRowsOid[] = {ERR, 35, 0};
constexpr uint32_t kTempSensorMaxHighCriticalOid[] = {ERR, 37, 0};
constexpr uint32_t kTempSensorMinLowCriticalOid[] = {ERR, 38, 0};

constexpr uint32_t kPixelFailure1[] = {ERR, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kPixelFailure2[] = {ERR, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kPixelFailure3[] = {ERR, 3, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kPixelFailure4[] = {ERR, 3, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kPixelFailure5[] = {ERR, 3, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kPower1[] = {ERR, 13, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kPower2[] = {ERR, 13, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kPower3[] = {ERR, 13, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kPower4[] = {ERR, 13, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kPower5[] = {ERR, 13, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kPower6[] = {ERR, 13, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kClimate1[] = {ERR, 17, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kClimate2[] = {ERR, 17, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kClimate3[] = {ERR, 17, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kClimate4[] = {ERR, 17, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kClimate5[] = {ERR, 17, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kClimate6[] = {ERR, 17, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kClimate7[] = {ERR, 17, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kClimate8[] = {ERR, 17, 1, 8, MIB_PLACEHOLDER};
constexpr uint32_t kPixelStatus1[] = {ERR, 18, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kPixelStatus2[] = {ERR, 18, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kLight1[] = {ERR, 30, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kLight2[] = {ERR, 30, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kLight3[] = {ERR, 30, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kLight4[] = {ERR, 30, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kHumidity1[] = {ERR, 33, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kHumidity2[] = {ERR, 33, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kHumidity3[] = {ERR, 33, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kHumidity4[] = {ERR, 33, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kTemp1[] = {ERR, 36, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kTemp2[] = {ERR, 36, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kTemp3[] = {ERR, 36, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kTemp4[] = {ERR, 36, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kTemp5[] = {ERR, 36, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kTemp6[] = {ERR, 36, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kTemp7[] = {ERR, 36, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kTemp8[] = {ERR, 36, 1, 8, MIB_PLACEHOLDER};
#undef ERR

// Fixed row counts of the tables.
constexpr uint32_t kPowerRows = 300;
constexpr uint32_t kClimateRows = 32;
constexpr uint32_t kPixelStatusRows = 11;
constexpr uint32_t kLightRows = 12;
constexpr uint32_t kHumidityRows = 6;
constexpr uint32_t kTempRows = 12;
constexpr uint32_t kPixelFailureRows = 500;
// Detection types with rows: 2 pixel test, 3 message display.
constexpr uint32_t kPixelTestType = 2;
constexpr uint32_t kMessageDisplayType = 3;

constexpr uint32_t kMaskTests = 0x100000;

// A signed byte of the database, answered as a signed integer.
uintptr_t* answer_signed(const db_object& o, uint32_t* value_length, snmp_request* record, int index)
{
    const int32_t v = static_cast<int8_t>(read_value(o, false));
    return answer_integer(static_cast<uint32_t>(v), value_length, record, index);
}

// Commit of a test request or a climate type. A refusal leaves the object as
// it was; the answer (read back) shows it.
uint32_t store(const db_object& o) { return write_value(o, false, g_snmp_set_value.integer); }

uintptr_t* var_statError(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                         uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    db_object o{};
    bool text = false;
    bool writable = false;
    switch (row->column) {
    case kShortErrorStatus:
        o = vol::shortErrorStatus;
        break;
    case kPixelFailureTableNumRows: {
        const uint32_t rows =
            read_value(vol::dmsPixelFailureTestRows, false) + read_value(vol::dmsPixelFailureMessageRows, false);
        return answer_integer(rows, value_length, record, index);
    }
    case kPixelTestActivation:
        o = vol::pixelTestActivation;
        writable = true;
        break;
    case kLampFailureStuckOn:
        o = vol::lampFailureStuckOn;
        text = true;
        break;
    case kLampFailureStuckOff:
        o = vol::lampFailureStuckOff;
        text = true;
        break;
    case kLampTestActivation:
        o = vol::lampTestActivation;
        writable = true;
        break;
    case kFanFailures:
        o = vol::fanFailures;
        text = true;
        break;
    case kFanTestActivation:
        o = vol::climateCtrlTestActivation;
        writable = true;
        break;
    case kControllerErrorStatus:
        o = vol::controllerErrorStatus;
        break;
    case kPowerFailureStatusMap:
        o = vol::dmsPowerFailureStatusMap;
        text = true;
        break;
    case kPowerNumRows:
        o = vol::dmsPowerNumRows;
        break;
    case kClimateCtrlStatusMap:
        o = vol::climateFailureMap;
        text = true;
        break;
    case kClimateCtrlNumRows:
        o = vol::climateNumRows;
        break;
    case kPixelFailureTestRows:
        o = vol::dmsPixelFailureTestRows;
        break;
    case kPixelFailureMessageRows:
        o = vol::dmsPixelFailureMessageRows;
        break;
    case kLightSensorStatusMap:
        o = vol::lightFailureMap;
        text = true;
        break;
    case kLightSensorNumRows:
        o = vol::lightNumRows;
        break;
    case kHumiditySensorStatusMap:
        o = vol::humidityFailureMap;
        text = true;
        break;
    case kHumiditySensorNumRows:
        o = vol::humidityNumRows;
        break;
    case kTempSensorStatusMap:
        o = vol::tempFailureMap;
        text = true;
        break;
    case kTempSensorNumRows:
        o = vol::dmsTempSensorNumRows;
        break;
    case kTempSensorMaxHighCritical:
        return answer_signed(vol::dmsTempSensorMaxHighCritical, value_length, record, index);
    case kTempSensorMinLowCritical:
        return answer_signed(vol::dmsTempSensorMinLowCritical, value_length, record, index);
    default:
        return nullptr;
    }
    // The pixel test's request starts the display's test on its notice; the
    // lamp test's goes to the peripheral task, the fan test's is polled.
    if (writable && committing(operation))
        store(o);
    return text ? answer_string(o, false, value_length, record, index)
                : answer_object(o, false, value_length, record, index);
}

// --- pixel failures: two indexes, detection type and row

uint32_t failure_rows(uint32_t type)
{
    uint32_t n = 0;
    if (type == kPixelTestType)
        n = read_value(vol::dmsPixelFailureTestRows, false);
    else if (type == kMessageDisplayType)
        n = read_value(vol::dmsPixelFailureMessageRows, false);
    return n < kPixelFailureRows ? n : kPixelFailureRows;
}

uintptr_t* var_pixelFailureEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                 uint32_t* value_length, snmp_request* record, int index)
{
    const uint32_t p = row->oid_length - 1u;
    if (!g_pDataBase || *name_length != p + 2 || oid_compare_n(name, *name_length, row->oid, p, p) != 0)
        return nullptr;
    uint32_t& type = name[p];
    uint32_t& r = name[p + 1];
    if (operation == MIB_GETNEXT) {
        // The walk has made the name the first instance at or after the
        // request; detection type 1 has no rows, and the pixel-test rows are
        // followed by the message-display rows.
        if (type < kPixelTestType) {
            type = kPixelTestType;
            r = 1;
        }
        if (r == 0)
            r = 1;
        if (type == kPixelTestType && r > failure_rows(type)) {
            type = kMessageDisplayType;
            r = 1;
        }
        // Past the last row: the walk goes on with the next column.
        if (type > kMessageDisplayType || r > failure_rows(type))
            return nullptr;
    } else if (type < kPixelTestType || type > kMessageDisplayType || r == 0 || r > failure_rows(type)) {
        return nullptr;
    }
    const uint32_t t = type - 1, i = r - 1;
    switch (row->column) {
    case 1:
        return answer_integer(type, value_length, record, index);
    case 2:
        return answer_integer(r, value_length, record, index);
    case 3:
        return answer_object(vol::pixelFailureXLocation(t, i), false, value_length, record, index);
    case 4:
        return answer_object(vol::pixelFailureYLocation(t, i), false, value_length, record, index);
    case 5:
        return answer_object(vol::pixelFailureStatus(t, i), false, value_length, record, index);
    default:
        return nullptr;
    }
}

// --- single-index tables

// The row index of a column instance within 1..rows, or 0.
uint32_t table_index(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                     uint32_t* value_length, uint32_t rows)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, rows) != 0)
        return 0;
    return name[row->oid_length - 1u];
}

uintptr_t* var_dmsPowerEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                             uint32_t* value_length, snmp_request* record, int index)
{
    const uint32_t x = table_index(row, name, name_length, operation, value_length, kPowerRows);
    if (x == 0)
        return nullptr;
    const uint32_t i = x - 1;
    switch (row->column) {
    case 1:
        return answer_integer(x, value_length, record, index);
    case 2:
        return answer_string(vol::dmsPowerDescription(i), false, value_length, record, index);
    case 3:
        return answer_string(vol::dmsPowerMfrStatus(i), false, value_length, record, index);
    case 4:
        return answer_object(vol::dmsPowerStatus(i), false, value_length, record, index);
    case 5:
        return answer_object(vol::dmsPowerVoltage(i), false, value_length, record, index);
    case 6:
        return answer_object(vol::dmsPowerType(i), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_dmsClimateCtrlEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    const uint32_t x = table_index(row, name, name_length, operation, value_length, kClimateRows);
    if (x == 0)
        return nullptr;
    const uint32_t i = x - 1;
    switch (row->column) {
    case 1:
        return answer_integer(x, value_length, record, index);
    case 2:
        return answer_string(vol::climateDescription(i), false, value_length, record, index);
    case 3:
        return answer_string(vol::climateStatusText(i), false, value_length, record, index);
    case 4:
        return answer_object(vol::climateState(i), false, value_length, record, index);
    case 5:
        return answer_object(vol::climateOn(i), false, value_length, record, index);
    case 6:
        // The device carries the test out; the database refuses a stop
        // request (4), which is reported.
        if (committing(operation) && store(vol::climateTestActivation(i)) != DB_OK)
            fail(record, DB_BAD_VALUE);
        return answer_object(vol::climateTestActivation(i), false, value_length, record, index);
    case 7:
        return answer_string(vol::climateText(i), false, value_length, record, index);
    case 8:
        if (committing(operation))
            store(vol::climateType(i));
        return answer_object(vol::climateType(i), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_dmsPixelStatusEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    const uint32_t x = table_index(row, name, name_length, operation, value_length, kPixelStatusRows);
    if (x == 0)
        return nullptr;
    switch (row->column) {
    case 1:
        // A get visits the handler in both passes; the line is for the read.
        if (g_snmp_commit_indicator == 1)
            monitor_printf("inside var_pixelFailureEntry: DMSPIXELSTATUSINDEX\n");
        return answer_integer(x, value_length, record, index);
    case 2:
        return answer_string(vol::dmsPixelStatus(x - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_dmsLightSensorStatusEntry(mib_variable* row, uint32_t* name, uint32_t* name_length,
                                         uint32_t operation, uint32_t* value_length, snmp_request* record, int index)
{
    const uint32_t x = table_index(row, name, name_length, operation, value_length, kLightRows);
    if (x == 0)
        return nullptr;
    const uint32_t i = x - 1;
    switch (row->column) {
    case 1:
        return answer_integer(x, value_length, record, index);
    case 2:
        return answer_string(vol::lightDescription(i), false, value_length, record, index);
    case 3:
        return answer_object(vol::lightReading(i), false, value_length, record, index);
    case 4:
        return answer_object(vol::lightStatus(i), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_dmsHumiditySensorStatusEntry(mib_variable* row, uint32_t* name, uint32_t* name_length,
                                            uint32_t operation, uint32_t* value_length, snmp_request* record,
                                            int index)
{
    const uint32_t x = table_index(row, name, name_length, operation, value_length, kHumidityRows);
    if (x == 0)
        return nullptr;
    const uint32_t i = x - 1;
    switch (row->column) {
    case 1:
        return answer_integer(x, value_length, record, index);
    case 2:
        return answer_string(vol::humidityDescription(i), false, value_length, record, index);
    case 3:
        return answer_object(vol::humidityReading(i), false, value_length, record, index);
    case 4:
        return answer_object(vol::humidityStatus(i), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_dmsTempSensorStatusEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                        uint32_t* value_length, snmp_request* record, int index)
{
    const uint32_t x = table_index(row, name, name_length, operation, value_length, kTempRows);
    if (x == 0)
        return nullptr;
    const uint32_t i = x - 1;
    switch (row->column) {
    case 1:
        return answer_integer(x, value_length, record, index);
    case 2:
        return answer_string(vol::dmsTempSensorDescription(i), false, value_length, record, index);
    case 3:
        return answer_signed(vol::tempReading(i), value_length, record, index);
    case 4:
        return answer_signed(vol::dmsTempSensorHighWarningTemperature(i), value_length, record, index);
    case 5:
        return answer_signed(vol::dmsTempSensorLowWarningTemperature(i), value_length, record, index);
    case 6:
        return answer_signed(vol::dmsTempSensorHighCriticalTemperature(i), value_length, record, index);
    case 7:
        return answer_signed(vol::dmsTempSensorLowCriticalTemperature(i), value_length, record, index);
    case 8:
        return answer_object(vol::tempStatus(i), false, value_length, record, index);
    default:
        return nullptr;
    }
}

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t INT = MIB_INTEGER;
constexpr uint8_t STR = MIB_OCTET_STRING;

constexpr mib_constraint values(std::initializer_list<uint32_t> list)
{
    mib_constraint c{MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, static_cast<uint8_t>(list.size()), {}};
    uint32_t k = 0;
    for (uint32_t v : list)
        c.values[k++] = v;
    return c;
}
constexpr mib_constraint range(uint32_t a, uint32_t b) { return mib_unsigned_range(a, b); }
constexpr mib_constraint length(uint32_t a, uint32_t b) { return mib_length_range(a, b); }
constexpr mib_constraint kSignedByte = mib_signed_range(-128, 127);
constexpr mib_constraint kNone = mib_no_constraint();

constexpr var_handler S = var_statError;

const mib_variable kRows[] = {
    mib_row(kShortErrorStatusOid, INT, kShortErrorStatus, RO, S, 0, 0, range(0, 65535)),
    mib_row(kPixelFailureTableNumRowsOid, INT, kPixelFailureTableNumRows, RO, S, 0, 0, range(0, 65535)),
    mib_row(kPixelTestActivationOid, INT, kPixelTestActivation, RW, S, 0, kMaskTests, values({1, 2, 3, 4})),
    mib_row(kLampFailureStuckOnOid, STR, kLampFailureStuckOn, RO, S, 0, 0, length(0, 255)),
    mib_row(kLampFailureStuckOffOid, STR, kLampFailureStuckOff, RO, S, 0, 0, length(0, 255)),
    mib_row(kLampTestActivationOid, INT, kLampTestActivation, RW, S, 0, kMaskTests, values({1, 2, 3})),
    mib_row(kFanFailuresOid, STR, kFanFailures, RO, S, 0, 0, length(0, 4)),
    mib_row(kFanTestActivationOid, INT, kFanTestActivation, RW, S, 0, kMaskTests, values({1, 2, 3})),
    mib_row(kControllerErrorStatusOid, INT, kControllerErrorStatus, RO, S, 0, 0, range(0, 255)),
    mib_row(kPowerFailureStatusMapOid, STR, kPowerFailureStatusMap, RO, S, 0, 0, kNone),
    mib_row(kPowerNumRowsOid, INT, kPowerNumRows, RO, S, 0, 0, range(0, 512)),
    mib_row(kClimateCtrlStatusMapOid, STR, kClimateCtrlStatusMap, RO, S, 0, 0, length(0, 64)),
    mib_row(kClimateCtrlNumRowsOid, INT, kClimateCtrlNumRows, RO, S, 0, 0, range(0, 512)),
    mib_row(kPixelFailureTestRowsOid, INT, kPixelFailureTestRows, RO, S, 0, 0, range(0, 65535)),
    mib_row(kPixelFailureMessageRowsOid, INT, kPixelFailureMessageRows, RO, S, 0, 0, range(0, 65535)),
    mib_row(kLightSensorStatusMapOid, STR, kLightSensorStatusMap, RO, S, 0, 0, length(0, 2)),
    mib_row(kLightSensorNumRowsOid, INT, kLightSensorNumRows, RO, S, 0, 0, range(0, 16)),
    mib_row(kHumiditySensorStatusMapOid, STR, kHumiditySensorStatusMap, RO, S, 0, 0, length(0, 2)),
    mib_row(kHumiditySensorNumRowsOid, INT, kHumiditySensorNumRows, RO, S, 0, 0, range(0, 16)),
    mib_row(kTempSensorStatusMapOid, STR, kTempSensorStatusMap, RO, S, 0, 0, length(0, 2)),
    mib_row(kTempSensorNumRowsOid, INT, kTempSensorNumRows, RO, S, 0, 0, range(0, 16)),
    mib_row(kTempSensorMaxHighCriticalOid, INT, kTempSensorMaxHighCritical, RO, S, 0, 0, kNone),
    mib_row(kTempSensorMinLowCriticalOid, INT, kTempSensorMinLowCritical, RO, S, 0, 0, kNone),

    mib_row(kPixelFailure1, INT, 1, RO, var_pixelFailureEntry, 2, 0, values({1, 2, 3})),
    mib_row(kPixelFailure2, INT, 2, RO, var_pixelFailureEntry, 2, 0, range(1, 65535)),
    mib_row(kPixelFailure3, INT, 3, RO, var_pixelFailureEntry, 2, 0, range(1, 65535)),
    mib_row(kPixelFailure4, INT, 4, RO, var_pixelFailureEntry, 2, 0, range(1, 65535)),
    mib_row(kPixelFailure5, INT, 5, RO, var_pixelFailureEntry, 2, 0, range(0, 255)),

    mib_row(kPower1, INT, 1, RO, var_dmsPowerEntry, 1, 0, range(1, 512)),
    mib_row(kPower2, STR, 2, RO, var_dmsPowerEntry, 1, 0, kNone),
    mib_row(kPower3, STR, 3, RO, var_dmsPowerEntry, 1, 0, length(0, 64)),
    mib_row(kPower4, INT, 4, RO, var_dmsPowerEntry, 1, 0, values({2, 3, 4, 5})),
    mib_row(kPower5, INT, 5, RO, var_dmsPowerEntry, 1, 0, range(0, 65535)),
    mib_row(kPower6, INT, 6, RO, var_dmsPowerEntry, 1, 0, range(1, 10)),

    mib_row(kClimate1, INT, 1, RO, var_dmsClimateCtrlEntry, 1, 0, range(1, 512)),
    mib_row(kClimate2, STR, 2, RO, var_dmsClimateCtrlEntry, 1, 0, kNone),
    mib_row(kClimate3, STR, 3, RO, var_dmsClimateCtrlEntry, 1, 0, length(0, 64)),
    mib_row(kClimate4, INT, 4, RO, var_dmsClimateCtrlEntry, 1, 0, values({2, 3})),
    mib_row(kClimate5, INT, 5, RO, var_dmsClimateCtrlEntry, 1, 0, range(0, 1)),
    mib_row(kClimate6, INT, 6, RW, var_dmsClimateCtrlEntry, 1, kMaskTests, values({2, 3, 4})),
    mib_row(kClimate7, STR, 7, RO, var_dmsClimateCtrlEntry, 1, 0, length(0, 64)),
    mib_row(kClimate8, INT, 8, RW, var_dmsClimateCtrlEntry, 1, kMaskTests, range(1, 9)),

    mib_row(kPixelStatus1, INT, 1, RO, var_dmsPixelStatusEntry, 1, 0, range(1, 255)),
    mib_row(kPixelStatus2, STR, 2, RO, var_dmsPixelStatusEntry, 1, 0, length(1, 400)),

    mib_row(kLight1, INT, 1, RO, var_dmsLightSensorStatusEntry, 1, 0, range(1, 16)),
    mib_row(kLight2, STR, 2, RO, var_dmsLightSensorStatusEntry, 1, 0, kNone),
    mib_row(kLight3, INT, 3, RO, var_dmsLightSensorStatusEntry, 1, 0, range(1, 65535)),
    mib_row(kLight4, INT, 4, RO, var_dmsLightSensorStatusEntry, 1, 0, kNone),

    mib_row(kHumidity1, INT, 1, RO, var_dmsHumiditySensorStatusEntry, 1, 0, range(1, 16)),
    mib_row(kHumidity2, STR, 2, RO, var_dmsHumiditySensorStatusEntry, 1, 0, kNone),
    mib_row(kHumidity3, INT, 3, RO, var_dmsHumiditySensorStatusEntry, 1, 0, range(1, 100)),
    mib_row(kHumidity4, INT, 4, RO, var_dmsHumiditySensorStatusEntry, 1, 0, kNone),

    mib_row(kTemp1, INT, 1, RO, var_dmsTempSensorStatusEntry, 1, 0, range(1, 16)),
    mib_row(kTemp2, STR, 2, RO, var_dmsTempSensorStatusEntry, 1, 0, length(0, 64)),
    mib_row(kTemp3, INT, 3, RO, var_dmsTempSensorStatusEntry, 1, 0, kSignedByte),
    mib_row(kTemp4, INT, 4, RO, var_dmsTempSensorStatusEntry, 1, 0, kSignedByte),
    mib_row(kTemp5, INT, 5, RO, var_dmsTempSensorStatusEntry, 1, 0, kSignedByte),
    mib_row(kTemp6, INT, 6, RO, var_dmsTempSensorStatusEntry, 1, 0, kSignedByte),
    mib_row(kTemp7, INT, 7, RO, var_dmsTempSensorStatusEntry, 1, 0, kSignedByte),
    mib_row(kTemp8, INT, 8, RO, var_dmsTempSensorStatusEntry, 1, 0, kNone),
};

}  // namespace

const mib_group g_dms_error_status_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
