// statPower and statTemp: the supply voltages and power source a UPS
// reports, the low-fuel threshold a central may set, and the minimum and
// maximum temperatures of the controller cabinet, the ambient air and the
// sign housing with the two temperature alarm maps. The peripherals write
// the values; the handlers serve them.
#include "ntcip/mib/dms_power_temp.h"

#include <atomic>

#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

std::atomic<snmp_peripheral_presence> g_presence{nullptr};

enum : uint8_t {
    kSignVolts,
    kLowFuelThreshold,
    kFuelLevel,
    kEngineRPM,
    kLineVolts,
    kPowerSource,
    kTempMinCtrlCabinet,
    kTempMaxCtrlCabinet,
    kTempMinAmbient,
    kTempMaxAmbient,
    kTempMinSignHousing,
    kTempMaxSignHousing,
    kTempWarningMap,
    kTempCriticalMap,
};

#define STAT 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 9
constexpr uint32_t kSignVoltsOid[] = {STAT, 8, 1, 0};
constexpr uint32_t kLowFuelThresholdOid[] = {STAT, 8, 2, 0};
constexpr uint32_t kFuelLevelOid[] = {STAT, 8, 3, 0};
constexpr uint32_t kEngineRPMOid[] = {STAT, 8, 4, 0};
constexpr uint32_t kLineVoltsOid[] = {STAT, 8, 5, 0};
constexpr uint32_t kPowerSourceOid[] = {STAT, 8, 6, 0};
constexpr uint32_t kTempMinCtrlCabinetOid[] = {STAT, 9, 1, 0};
constexpr uint32_t kTempMaxCtrlCabinetOid[] = {STAT, 9, 2, 0};
constexpr uint32_t kTempMinAmbientOid[] = {STAT, 9, 3, 0};
constexpr uint32_t kTempMaxAmbientOid[] = {STAT, 9, 4, 0};
constexpr uint32_t kTempMinSignHousingOid[] = {STAT, 9, 5, 0};
constexpr uint32_t kTempMaxSignHousingOid[] = {STAT, 9, 6, 0};
constexpr uint32_t kTempWarningMapOid[] = {STAT, 9, 7, 0};
constexpr uint32_t kTempCriticalMapOid[] = {STAT, 9, 8, 0};
#undef STAT

// quorSpecialFeatureSet: temperatures of groups without a live sensor are
// no such name rather than 0.
constexpr uint32_t kFeatureNoSuchNameOnSensors = 0x1000;

// The sensor types that feed each group.
constexpr uint16_t kCabinetSensors[] = {10, 11};
constexpr uint16_t kAmbientSensors[] = {12};
constexpr uint16_t kHousingSensors[] = {13, 14, 15, 160, 161, 162, 163, 164, 165, 16};

template <size_t N>
bool any_live(const uint16_t (&types)[N])
{
    snmp_peripheral_presence presence = g_presence.load();
    if (!presence)
        return false;
    for (uint16_t t : types)
        if (presence(t))
            return true;
    return false;
}

// A temperature of a group, or nothing while the option hides groups whose
// sensors are not fitted.
template <size_t N>
uintptr_t* temperature(const db_object& o, const uint16_t (&types)[N], uint32_t* value_length, snmp_request* record,
                       int index)
{
    if ((read_value(nv::quorSpecialFeatureSet, true) & kFeatureNoSuchNameOnSensors) && !any_live(types))
        return nullptr;
    const int32_t degrees = static_cast<int8_t>(read_value(o, false));
    return answer_integer(static_cast<uint32_t>(degrees), value_length, record, index);
}

uintptr_t* var_statPower(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                         uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kSignVolts:
        return answer_object(vol::signVolts, false, value_length, record, index);
    case kLowFuelThreshold:
        if (committing(operation))
            write_value(vol::lowFuelThreshold, false, g_snmp_set_value.integer);
        return answer_object(vol::lowFuelThreshold, false, value_length, record, index);
    case kFuelLevel:
        return answer_object(vol::fuelLevel, false, value_length, record, index);
    case kEngineRPM:
        return answer_object(vol::engineRPM, false, value_length, record, index);
    case kLineVolts:
        return answer_object(vol::lineVolts, false, value_length, record, index);
    case kPowerSource:
        return answer_object(vol::powerSource, false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_statTemp(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kTempMinCtrlCabinet:
        return temperature(vol::tempMinCtrlCabinet, kCabinetSensors, value_length, record, index);
    case kTempMaxCtrlCabinet:
        return temperature(vol::tempMaxCtrlCabinet, kCabinetSensors, value_length, record, index);
    case kTempMinAmbient:
        return temperature(vol::tempMinAmbient, kAmbientSensors, value_length, record, index);
    case kTempMaxAmbient:
        return temperature(vol::tempMaxAmbient, kAmbientSensors, value_length, record, index);
    case kTempMinSignHousing:
        return temperature(vol::tempMinSignHousing, kHousingSensors, value_length, record, index);
    case kTempMaxSignHousing:
        return temperature(vol::tempMaxSignHousing, kHousingSensors, value_length, record, index);
    case kTempWarningMap:
        return answer_string(vol::tempWarningMap, false, value_length, record, index);
    case kTempCriticalMap:
        return answer_string(vol::tempCriticalMap, false, value_length, record, index);
    default:
        return nullptr;
    }
}

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr mib_constraint kDegrees = mib_signed_range(-128, 127);

const mib_variable kRows[] = {
    mib_row(kSignVoltsOid, MIB_INTEGER, kSignVolts, RO, var_statPower, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kLowFuelThresholdOid, MIB_INTEGER, kLowFuelThreshold, MIB_READ_WRITE, var_statPower, 0, 0,
            mib_unsigned_range(0, 100)),
    mib_row(kFuelLevelOid, MIB_INTEGER, kFuelLevel, RO, var_statPower, 0, 0, mib_unsigned_range(0, 100)),
    mib_row(kEngineRPMOid, MIB_INTEGER, kEngineRPM, RO, var_statPower, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kLineVoltsOid, MIB_INTEGER, kLineVolts, RO, var_statPower, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kPowerSourceOid, MIB_INTEGER, kPowerSource, RO, var_statPower, 0, 0, mib_unsigned_range(1, 7)),
    mib_row(kTempMinCtrlCabinetOid, MIB_INTEGER, kTempMinCtrlCabinet, RO, var_statTemp, 0, 0, kDegrees),
    mib_row(kTempMaxCtrlCabinetOid, MIB_INTEGER, kTempMaxCtrlCabinet, RO, var_statTemp, 0, 0, kDegrees),
    mib_row(kTempMinAmbientOid, MIB_INTEGER, kTempMinAmbient, RO, var_statTemp, 0, 0, kDegrees),
    mib_row(kTempMaxAmbientOid, MIB_INTEGER, kTempMaxAmbient, RO, var_statTemp, 0, 0, kDegrees),
    mib_row(kTempMinSignHousingOid, MIB_INTEGER, kTempMinSignHousing, RO, var_statTemp, 0, 0, kDegrees),
    mib_row(kTempMaxSignHousingOid, MIB_INTEGER, kTempMaxSignHousing, RO, var_statTemp, 0, 0, kDegrees),
    mib_row(kTempWarningMapOid, MIB_OCTET_STRING, kTempWarningMap, RO, var_statTemp, 0, 0, mib_length_range(0, 2)),
    mib_row(kTempCriticalMapOid, MIB_OCTET_STRING, kTempCriticalMap, RO, var_statTemp, 0, 0,
            mib_length_range(0, 2)),
};

}  // namespace

void snmp_set_peripheral_presence(snmp_peripheral_presence presence) { g_presence.store(presence); }

const mib_group g_dms_power_temp_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
