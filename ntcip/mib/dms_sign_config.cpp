// The sign's description (dmsSignCfg, node 1) and its pixel geometry
// (vmsCfg, node 2). Both are read-only to SNMP until the configuration
// objects are unlocked (the SNMP write override); then their access-3 rows
// take sets, which the registry no longer checks.
#include "frame/trace/trace.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kSignAccess,
    kSignType,
    kSignHeight,
    kSignWidth,
    kHorizontalBorder,
    kVerticalBorder,
    kLegend,
    kBeaconType,
    kSignTechnology,
    kCharacterHeight,
    kCharacterWidth,
    kSignHeightPixels,
    kSignWidthPixels,
    kHorizontalPitch,
    kVerticalPitch,
    kMonochromeColor,
};

#define DMS 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3
constexpr uint32_t kSignAccessOid[] = {DMS, 1, 1, 0};
constexpr uint32_t kSignTypeOid[] = {DMS, 1, 2, 0};
constexpr uint32_t kSignHeightOid[] = {DMS, 1, 3, 0};
constexpr uint32_t kSignWidthOid[] = {DMS, 1, 4, 0};
constexpr uint32_t kHorizontalBorderOid[] = {DMS, 1, 5, 0};
constexpr uint32_t kVerticalBorderOid[] = {DMS, 1, 6, 0};
constexpr uint32_t kLegendOid[] = {DMS, 1, 7, 0};
constexpr uint32_t kBeaconTypeOid[] = {DMS, 1, 8, 0};
constexpr uint32_t kSignTechnologyOid[] = {DMS, 1, 9, 0};
constexpr uint32_t kCharacterHeightOid[] = {DMS, 2, 1, 0};
constexpr uint32_t kCharacterWidthOid[] = {DMS, 2, 2, 0};
constexpr uint32_t kSignHeightPixelsOid[] = {DMS, 2, 3, 0};
constexpr uint32_t kSignWidthPixelsOid[] = {DMS, 2, 4, 0};
constexpr uint32_t kHorizontalPitchOid[] = {DMS, 2, 5, 0};
constexpr uint32_t kVerticalPitchOid[] = {DMS, 2, 6, 0};
constexpr uint32_t kMonochromeColorOid[] = {DMS, 2, 7, 0};
#undef DMS

struct config_object {
    db_object object;
    bool nv;
    bool text;
};

const config_object* object_of(uint8_t column)
{
    static const config_object kObjects[] = {
        {nv::dmsSignAccess, true, false},
        {nv::dmsSignType, true, false},
        {nv::dmsSignHeight, true, false},
        {nv::dmsSignWidth, true, false},
        {nv::dmsHorizontalBorder, true, false},
        {nv::dmsVerticalBorder, true, false},
        {vol::dmsLegend, false, false},
        {nv::dmsBeaconType, true, false},
        {vol::dmsSignTechnology, false, false},
        {nv::vmsCharacterHeightPixels, true, false},
        {nv::vmsCharacterWidthPixels, true, false},
        {nv::vmsSignHeightPixels, true, false},
        {nv::vmsSignWidthPixels, true, false},
        {nv::vmsHorizontalPitch, true, false},
        {nv::vmsVerticalPitch, true, false},
        {nv::monochromeColor, true, true},
    };
    return column < sizeof kObjects / sizeof kObjects[0] ? &kObjects[column] : nullptr;
}

// A set reaches these handlers only while the write override is on, past
// the registry's checks: the value must at least be an integer. The
// notified writes tell the display of a new geometry or sign type.
uint32_t commit(const config_object& o, snmp_request* record, int index)
{
    if (!syntax_is(record, index, SNMP_INTEGER))
        return DB_BAD_VALUE;
    return write_value(o.object, o.nv, g_snmp_set_value.integer);
}

uintptr_t* answer(const config_object& o, uint32_t* value_length, snmp_request* record, int index)
{
    if (o.text)
        return answer_string(o.object, o.nv, value_length, record, index);
    return answer_object(o.object, o.nv, value_length, record, index);
}

// The read-only rows never see a set: the registry serves it as a get.
uintptr_t* var_dmsSignCfg(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                          uint32_t* value_length, snmp_request* record, int index)
{
    const config_object* o = object_of(row->column);
    if (!g_pDataBase || !o || row->column > kSignTechnology || header_exact(row, name, *name_length) != 0)
        return nullptr;
    // The database has no rules for these: only a value of the wrong
    // syntax is refused, and the answer is what is stored.
    if (committing(operation) && commit(*o, record, index) == DB_BAD_VALUE)
        fail(record, DB_BAD_VALUE);
    return answer(*o, value_length, record, index);
}

uintptr_t* var_vmsCfg(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                      uint32_t* value_length, snmp_request* record, int index)
{
    const config_object* o = object_of(row->column);
    if (!g_pDataBase || !o || row->column < kCharacterHeight || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (committing(operation)) {
        uint32_t result = commit(*o, record, index);
        if (result != DB_OK)
            fail(record, result);
    }
    return answer(*o, value_length, record, index);
}

const mib_variable kRows[] = {
    mib_row(kSignAccessOid, MIB_INTEGER, kSignAccess, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kSignTypeOid, MIB_INTEGER, kSignType, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_constraint{MIB_UNSIGNED_RANGES, MIB_LIST_PAIRS, 2, {1, 6, 129, 134}}),
    mib_row(kSignHeightOid, MIB_INTEGER, kSignHeight, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kSignWidthOid, MIB_INTEGER, kSignWidth, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kHorizontalBorderOid, MIB_INTEGER, kHorizontalBorder, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kVerticalBorderOid, MIB_INTEGER, kVerticalBorder, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kLegendOid, MIB_INTEGER, kLegend, MIB_READ_ONLY, var_dmsSignCfg, 0, 0, mib_unsigned_range(1, 3)),
    mib_row(kBeaconTypeOid, MIB_INTEGER, kBeaconType, MIB_READ_ONLY_SNMP, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(1, 13)),
    mib_row(kSignTechnologyOid, MIB_INTEGER, kSignTechnology, MIB_READ_ONLY, var_dmsSignCfg, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kCharacterHeightOid, MIB_INTEGER, kCharacterHeight, MIB_READ_ONLY_SNMP, var_vmsCfg, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kCharacterWidthOid, MIB_INTEGER, kCharacterWidth, MIB_READ_ONLY_SNMP, var_vmsCfg, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kSignHeightPixelsOid, MIB_INTEGER, kSignHeightPixels, MIB_READ_ONLY_SNMP, var_vmsCfg, 0, 0,
            mib_unsigned_range(5, 144)),
    mib_row(kSignWidthPixelsOid, MIB_INTEGER, kSignWidthPixels, MIB_READ_ONLY_SNMP, var_vmsCfg, 0, 0,
            mib_unsigned_range(5, 1008)),
    mib_row(kHorizontalPitchOid, MIB_INTEGER, kHorizontalPitch, MIB_READ_ONLY_SNMP, var_vmsCfg, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kVerticalPitchOid, MIB_INTEGER, kVerticalPitch, MIB_READ_ONLY_SNMP, var_vmsCfg, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kMonochromeColorOid, MIB_OCTET_STRING, kMonochromeColor, MIB_READ_ONLY, var_vmsCfg),
};

}  // namespace

const mib_group g_dms_sign_config_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
