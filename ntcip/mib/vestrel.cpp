// The vestrel subtree (1.3.6.1.4.1.1206.3.16): the objects of a private MIB
// that some central systems manage signs through. Most are plain values in
// the volatile area, given their start values at every start by the
// database's defaults; a few are mapped onto the controller's own objects
// (shut-off temperature, pixel-failure limit, power supplies, temperatures,
// climate devices, reset and memory-management requests). No row has a
// write mask.
#include <cstring>

#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "ntcip/mib/dms_control.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/quor_common.h"

using namespace quor_mib;

namespace {

enum : uint8_t {
    kShutOffTemp = 1,
    kConfig2,
    kMaxPixelFailures,
    kPowerSupplyRows,
    kConfig6,
    kConfig7,
    kConfig8,
    kResetCommand,
    kConfigText,
    kConfig11,  // .. kConfig18 follow
    kConfig19 = kConfig11 + 8,
    kConfig21,
    kConfig22,
    kGroup20Flag,
    kGroup20Value,
    kGroup20Text1,
    kGroup20Text2,
    kTimeCompatibility,
    kGroup20Word1,
    kStatusBits,
    kGroup20Word3,
    kGroup20Word4,
    kTemperature1,
    kTemperature2,
    kClimateOff1,
    kClimateOff2,
    kStatus5,
    kStatus6,
    kStatus7,
    kStatusText1,
    kStatus12,
    kStatus13,
    kStatus14,
    kStatusText2,
    kStatus17,
    kStatus18,
    kStatus19,
    kStatusText3,
    kStatus21,
    // Tables.
    kTable5Index,
    kTable5Col2,
    kTable5Col3,
    kTable8Index1,
    kTable8Index2,
    kTable8Index3,
    kTable8Col4,
    kTable8Col5,
    kTable8Col6,
    kTable9Index,
    kTable9Col2,
    kTable9Col3,
    kTable9Col4,
    kPowerSupplyOK,
    kTable9Col6,
    kTable11Index1,
    kTable11Index2,
    kTable11Col3,
    kTable16Index,
    kTable16Col2,
};

constexpr uint32_t kRows5 = 5;
constexpr uint32_t kRows9 = 5;
constexpr uint32_t kRows16 = 5;
constexpr uint32_t kTable8Highest[3] = {6, 5, 5};
constexpr uint32_t kTable11Highest[2] = {5, 5};
constexpr uint32_t kPowerSupplyOk = 2;          // dmsPowerStatus: no error
constexpr uint32_t kResetAndDeleteJournal = 3;  // quorMemoryMgmtRequest
constexpr uint32_t kResetRequest = 1;           // dmsSWReset

struct plain {
    uint8_t column;
    stored where;
};
const plain kPlain[] = {
    {kShutOffTemp, {nv::quorShutOffTemp, true, false}},
    {kConfig2, {vol::vestrelConfigByte(0), false, false}},
    {kMaxPixelFailures, {nv::fdotMaxNumPixelFailure, true, false}},
    {kPowerSupplyRows, {vol::dmsPowerNumRows, false, false}},
    {kConfig6, {vol::vestrelConfigByte(1), false, false}},
    {kConfig7, {vol::vestrelConfigByte(2), false, false}},
    {kConfig8, {vol::vestrelConfigByte(3), false, false}},
    {kConfigText, {vol::vestrelConfigText, false, true}},
    {kConfig11 + 0, {vol::vestrelConfigByte2(0), false, false}},
    {kConfig11 + 1, {vol::vestrelConfigByte2(1), false, false}},
    {kConfig11 + 2, {vol::vestrelConfigByte2(2), false, false}},
    {kConfig11 + 3, {vol::vestrelConfigByte2(3), false, false}},
    {kConfig11 + 4, {vol::vestrelConfigByte2(4), false, false}},
    {kConfig11 + 5, {vol::vestrelConfigByte2(5), false, false}},
    {kConfig11 + 6, {vol::vestrelConfigByte2(6), false, false}},
    {kConfig11 + 7, {vol::vestrelConfigByte2(7), false, false}},
    {kConfig19, {vol::vestrelConfigByte2(8), false, false}},
    {kConfig21, {vol::vestrelConfigByte2(9), false, false}},
    {kConfig22, {vol::vestrelConfigByte2(10), false, false}},
    {kGroup20Flag, {vol::vestrelGroup20Flag, false, false}},
    {kGroup20Value, {vol::vestrelGroup20Value, false, false}},
    {kGroup20Text1, {vol::vestrelGroup20Text(0), false, true}},
    {kGroup20Text2, {vol::vestrelGroup20Text(1), false, true}},
    {kTimeCompatibility, {vol::vestrelGroup20Text(2), false, true}},
    {kGroup20Word1, {vol::vestrelGroup20Word(0), false, false}},
    {kStatusBits, {vol::vestrelStatusBits, false, false}},
    {kGroup20Word3, {vol::vestrelGroup20Word(2), false, false}},
    {kGroup20Word4, {vol::vestrelGroup20Word(3), false, false}},
    {kStatus5, {vol::lightLevelAmbient, false, false}},
    {kStatus6, {vol::lightLevelFront, false, false}},
    {kStatus7, {vol::lightLevelRear, false, false}},
    {kStatusText1, {vol::vestrelStatusText1, false, true}},
    {kStatus12, {vol::vestrelStatus12, false, false}},
    {kStatus14, {vol::vestrelStatus14, false, false}},
    {kStatusText2, {vol::vestrelStatusText2, false, true}},
    {kStatus17, {vol::vestrelStatus17, false, false}},
    {kStatus18, {vol::vestrelStatus18, false, false}},
    {kStatus19, {vol::vestrelStatus19, false, false}},
    {kStatusText3, {vol::vestrelStatusText3, false, true}},
    {kStatus21, {vol::vestrelStatus21, false, false}},
};

const stored* plain_of(uint8_t column)
{
    for (const plain& p : kPlain)
        if (p.column == column)
            return &p.where;
    return nullptr;
}

uint32_t vol_byte(const db_object& o)
{
    return read_value(o, false);
}

// The reset request: 1 asks for a start without the journal, CONFIG.XML and
// the bitmaps, 2 to 4 for a plain reset. Every access answers dmsSWReset.
void reset_command(uint32_t v)
{
    if (v == 1) {
        write_value(vol::quorResetOption, false, kResetAndDeleteJournal);
        return;
    }
    if (v >= 2 && v <= 4) {
        // Network settings changed through the agent are written out before
        // the reset they wait for, as for a reset through dmsSWReset.
        if (snmp_network_settings_pending())
            g_post_office.Publish(MSG_NETWORK_CONFIG_CHANGED);
        write_value(nv::dmsSWReset, true, kResetRequest);
    }
}

// The scalars of both branches; each name is matched whole.
uintptr_t* var_vestrelScalar(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                             uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kResetCommand:
        if (committing(operation))
            reset_command(g_snmp_set_value.integer);
        return answer_object(nv::dmsSWReset, true, value_length, record, index);
    case kTemperature1:
    case kTemperature2: {
        // Signed degrees.
        uint32_t reading = vol_byte(vol::tempReading(row->column == kTemperature1 ? 1 : 2));
        return answer_integer(static_cast<uint32_t>(int32_t(int8_t(reading))), value_length, record, index);
    }
    case kClimateOff1:
    case kClimateOff2: {
        uint32_t on = vol_byte(vol::climateOn(row->column == kClimateOff1 ? 0 : 1));
        return answer_integer(on == 0 ? 1 : 0, value_length, record, index);
    }
    case kStatus13:
        // The stored byte less one: -1 while it is 0.
        return answer_integer(vol_byte(vol::dstActive) - 1, value_length, record, index);
    default:
        break;
    }
    const stored* s = plain_of(row->column);
    return s ? serve(*s, operation, value_length, record, index) : nullptr;
}

uintptr_t* var_vestrelTable5Entry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kRows5) != 0)
        return nullptr;
    const uint32_t i = index_of(row, name);
    switch (row->column) {
    case kTable5Index:
        return answer_integer(i, value_length, record, index);
    case kTable5Col2:
        return answer_object(vol::vestrelTable5Col2(i - 1), false, value_length, record, index);
    case kTable5Col3:
        return answer_object(vol::vestrelTable5Col3(i - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

// The instance of a three-index column to serve. A get or set needs a whole
// instance within the bounds; a get-next makes the name the first instance
// of the column that follows it (the registry leaves three-index walks to
// the handler). 0 when there is one.
int header_three(const mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                 const uint32_t* highest)
{
    const uint32_t p = row->oid_length - 1u;  // the column, without its index
    if (operation != MIB_GETNEXT) {
        if (*name_length != p + 3 || oid_compare_n(name, *name_length, row->oid, p, p) != 0)
            return -1;
        for (uint32_t k = 0; k < 3; ++k)
            if (name[p + k] == 0 || name[p + k] > highest[k])
                return -1;
        return 0;
    }
    int c = oid_compare_n(name, *name_length, row->oid, p, p);
    if (c > 0)
        return -1;
    uint64_t idx[3] = {1, 1, 1};
    if (c == 0) {
        // Within the column: the indexes the name gives (missing ones sort
        // before any instance), and the instance after a whole one.
        const uint32_t given = *name_length - p;
        for (uint32_t k = 0; k < 3; ++k)
            idx[k] = k < given ? name[p + k] : 0;
        if (given >= 3)
            ++idx[2];
        for (uint32_t k = 0; k < 3; ++k) {
            if (idx[k] == 0) {
                for (uint32_t j = k; j < 3; ++j)
                    idx[j] = 1;
                break;
            }
        }
        // Carry past the bounds, leftmost first.
        for (uint32_t k = 0; k < 3;) {
            if (idx[k] <= highest[k]) {
                ++k;
                continue;
            }
            if (k == 0)
                return -1;
            for (uint32_t j = k; j < 3; ++j)
                idx[j] = 1;
            ++idx[k - 1];
            k = 0;
        }
    }
    std::memmove(name, row->oid, p * sizeof(uint32_t));
    for (uint32_t k = 0; k < 3; ++k)
        name[p + k] = static_cast<uint32_t>(idx[k]);
    *name_length = p + 3;
    return 0;
}

uintptr_t* var_vestrelTable8Entry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_three(row, name, name_length, operation, kTable8Highest) != 0)
        return nullptr;
    const uint32_t* at = name + row->oid_length - 1;
    const uint32_t k = ((at[0] - 1) * kTable8Highest[1] + (at[1] - 1)) * kTable8Highest[2] + (at[2] - 1);
    switch (row->column) {
    case kTable8Index1:
    case kTable8Index2:
    case kTable8Index3:
        return answer_integer(at[row->column - kTable8Index1], value_length, record, index);
    case kTable8Col4:
        return answer_object(vol::vestrelTable8Col4(k), false, value_length, record, index);
    case kTable8Col5:
        return answer_object(vol::vestrelTable8Col5(k), false, value_length, record, index);
    case kTable8Col6:
        return answer_string(vol::vestrelTable8Col6(k), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_vestrelTable9Entry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kRows9) != 0)
        return nullptr;
    const uint32_t i = index_of(row, name);
    switch (row->column) {
    case kTable9Index:
        return answer_integer(i, value_length, record, index);
    case kTable9Col2:
        return answer_object(vol::vestrelTable9Col2(i - 1), false, value_length, record, index);
    case kTable9Col3:
        return answer_object(vol::vestrelTable9Col3(i - 1), false, value_length, record, index);
    case kTable9Col4:
        return answer_object(vol::vestrelTable9Col4(i - 1), false, value_length, record, index);
    case kPowerSupplyOK:
        return answer_integer(vol_byte(vol::dmsPowerStatus(i - 1)) == kPowerSupplyOk ? 1 : 0, value_length, record,
                              index);
    case kTable9Col6:
        return answer_object(vol::vestrelTable9Col6(i - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_vestrelTable11Entry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kTable11Highest, 2) != 0)
        return nullptr;
    const uint32_t* at = name + row->oid_length - 1;
    switch (row->column) {
    case kTable11Index1:
        return answer_integer(at[0], value_length, record, index);
    case kTable11Index2:
        return answer_integer(at[1], value_length, record, index);
    case kTable11Col3:
        return answer_string(vol::vestrelTable11Col3((at[0] - 1) * kTable11Highest[1] + (at[1] - 1)), false,
                             value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_vestrelTable16Entry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kRows16) != 0)
        return nullptr;
    const uint32_t i = index_of(row, name);
    switch (row->column) {
    case kTable16Index:
        return answer_integer(i, value_length, record, index);
    case kTable16Col2:
        return answer_string(vol::vestrelTable16Col2(i - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

#define CFG 1, 3, 6, 1, 4, 1, 1206, 3, 16, 1, 1
#define STS 1, 3, 6, 1, 4, 1, 1206, 3, 16, 1, 2
constexpr uint32_t kOidShutOffTemp[] = {CFG, 1, 0};
constexpr uint32_t kOidConfig2[] = {CFG, 2, 0};
constexpr uint32_t kOidMaxPixelFailures[] = {CFG, 3, 0};
constexpr uint32_t kOidPowerSupplyRows[] = {CFG, 4, 0};
constexpr uint32_t kOidTable5Index[] = {CFG, 5, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable5Col2[] = {CFG, 5, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable5Col3[] = {CFG, 5, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidConfig6[] = {CFG, 6, 0};
constexpr uint32_t kOidConfig7[] = {CFG, 7, 0};
constexpr uint32_t kOidConfig8[] = {CFG, 8, 0};
constexpr uint32_t kOidResetCommand[] = {CFG, 9, 0};
constexpr uint32_t kOidConfigText[] = {CFG, 10, 0};
constexpr uint32_t kOidConfig11[] = {CFG, 11, 0};
constexpr uint32_t kOidConfig12[] = {CFG, 12, 0};
constexpr uint32_t kOidConfig13[] = {CFG, 13, 0};
constexpr uint32_t kOidConfig14[] = {CFG, 14, 0};
constexpr uint32_t kOidConfig15[] = {CFG, 15, 0};
constexpr uint32_t kOidConfig16[] = {CFG, 16, 0};
constexpr uint32_t kOidConfig17[] = {CFG, 17, 0};
constexpr uint32_t kOidConfig18[] = {CFG, 18, 0};
constexpr uint32_t kOidConfig19[] = {CFG, 19, 0};
constexpr uint32_t kOidGroup20Flag[] = {CFG, 20, 1, 0};
constexpr uint32_t kOidGroup20Value[] = {CFG, 20, 2, 0};
constexpr uint32_t kOidGroup20Text1[] = {CFG, 20, 3, 0};
constexpr uint32_t kOidGroup20Text2[] = {CFG, 20, 4, 0};
constexpr uint32_t kOidTimeCompatibility[] = {CFG, 20, 5, 0};
constexpr uint32_t kOidGroup20Word1[] = {CFG, 20, 6, 0};
constexpr uint32_t kOidStatusBits[] = {CFG, 20, 7, 0};
constexpr uint32_t kOidGroup20Word3[] = {CFG, 20, 8, 0};
constexpr uint32_t kOidGroup20Word4[] = {CFG, 20, 9, 0};
constexpr uint32_t kOidConfig21[] = {CFG, 21, 0};
constexpr uint32_t kOidConfig22[] = {CFG, 22, 0};
constexpr uint32_t kOidTemperature1[] = {STS, 1, 0};
constexpr uint32_t kOidTemperature2[] = {STS, 2, 0};
constexpr uint32_t kOidClimateOff1[] = {STS, 3, 0};
constexpr uint32_t kOidClimateOff2[] = {STS, 4, 0};
constexpr uint32_t kOidStatus5[] = {STS, 5, 0};
constexpr uint32_t kOidStatus6[] = {STS, 6, 0};
constexpr uint32_t kOidStatus7[] = {STS, 7, 0};
constexpr uint32_t kOidTable8Index1[] = {STS, 8, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable8Index2[] = {STS, 8, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable8Index3[] = {STS, 8, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable8Col4[] = {STS, 8, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable8Col5[] = {STS, 8, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable8Col6[] = {STS, 8, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable9Index[] = {STS, 9, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable9Col2[] = {STS, 9, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable9Col3[] = {STS, 9, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable9Col4[] = {STS, 9, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kOidPowerSupplyOK[] = {STS, 9, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable9Col6[] = {STS, 9, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kOidStatusText1[] = {STS, 10, 0};
constexpr uint32_t kOidTable11Index1[] = {STS, 11, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable11Index2[] = {STS, 11, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable11Col3[] = {STS, 11, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidStatus12[] = {STS, 12, 0};
constexpr uint32_t kOidStatus13[] = {STS, 13, 0};
constexpr uint32_t kOidStatus14[] = {STS, 14, 0};
constexpr uint32_t kOidStatusText2[] = {STS, 15, 0};
constexpr uint32_t kOidTable16Index[] = {STS, 16, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidTable16Col2[] = {STS, 16, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidStatus17[] = {STS, 17, 0};
constexpr uint32_t kOidStatus18[] = {STS, 18, 0};
constexpr uint32_t kOidStatus19[] = {STS, 19, 0};
constexpr uint32_t kOidStatusText3[] = {STS, 20, 0};
constexpr uint32_t kOidStatus21[] = {STS, 21, 0};
#undef CFG
#undef STS

constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t I = MIB_INTEGER;
constexpr uint8_t S = MIB_OCTET_STRING;
constexpr var_handler H = var_vestrelScalar;
constexpr var_handler T5 = var_vestrelTable5Entry;
constexpr var_handler T8 = var_vestrelTable8Entry;
constexpr var_handler T9 = var_vestrelTable9Entry;
constexpr var_handler T11 = var_vestrelTable11Entry;
constexpr var_handler T16 = var_vestrelTable16Entry;

constexpr mib_constraint kByte = mib_unsigned_range(0, 255);
constexpr mib_constraint kFlag = mib_unsigned_range(0, 1);
constexpr mib_constraint kText = mib_length_range(0, 255);
constexpr mib_constraint kOneTo255 = mib_unsigned_range(1, 255);

const mib_variable kRows[] = {
    mib_row(kOidShutOffTemp, I, kShutOffTemp, RW, H, 0, 0, kByte),
    mib_row(kOidConfig2, I, kConfig2, RW, H, 0, 0, kFlag),
    mib_row(kOidMaxPixelFailures, I, kMaxPixelFailures, RW, H, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kOidPowerSupplyRows, I, kPowerSupplyRows, RO, H, 0, 0, kOneTo255),
    mib_row(kOidTable5Index, I, kTable5Index, RO, T5, 1, 0, kOneTo255),
    mib_row(kOidTable5Col2, I, kTable5Col2, RO, T5, 1, 0, kOneTo255),
    mib_row(kOidTable5Col3, I, kTable5Col3, RO, T5, 1, 0, kOneTo255),
    mib_row(kOidConfig6, I, kConfig6, RW, H, 0, 0, mib_unsigned_range(0, 99)),
    mib_row(kOidConfig7, I, kConfig7, RW, H, 0, 0, kByte),
    mib_row(kOidConfig8, I, kConfig8, RW, H, 0, 0, kByte),
    mib_row(kOidResetCommand, I, kResetCommand, RW, H, 0, 0, mib_unsigned_range(1, 4)),
    mib_row(kOidConfigText, S, kConfigText, RW, H, 0, 0, mib_length_range(0, 4)),
    mib_row(kOidConfig11, I, kConfig11 + 0, RW, H, 0, 0, kByte),
    mib_row(kOidConfig12, I, kConfig11 + 1, RW, H, 0, 0, kByte),
    mib_row(kOidConfig13, I, kConfig11 + 2, RW, H, 0, 0, kByte),
    mib_row(kOidConfig14, I, kConfig11 + 3, RW, H, 0, 0, kByte),
    mib_row(kOidConfig15, I, kConfig11 + 4, RW, H, 0, 0, kByte),
    mib_row(kOidConfig16, I, kConfig11 + 5, RW, H, 0, 0, kByte),
    mib_row(kOidConfig17, I, kConfig11 + 6, RW, H, 0, 0, kByte),
    mib_row(kOidConfig18, I, kConfig11 + 7, RW, H, 0, 0, kByte),
    mib_row(kOidConfig19, I, kConfig19, RW, H, 0, 0, kFlag),
    mib_row(kOidGroup20Flag, I, kGroup20Flag, RW, H, 0, 0, kFlag),
    mib_row(kOidGroup20Value, I, kGroup20Value, RW, H, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kOidGroup20Text1, S, kGroup20Text1, RW, H, 0, 0, mib_length_range(0, 16)),
    mib_row(kOidGroup20Text2, S, kGroup20Text2, RW, H, 0, 0, mib_length_range(0, 16)),
    mib_row(kOidTimeCompatibility, S, kTimeCompatibility, RW, H, 0, 0, mib_length_range(0, 15)),
    mib_row(kOidGroup20Word1, I, kGroup20Word1, RW, H, 0, 0, kByte),
    mib_row(kOidStatusBits, I, kStatusBits, RO, H, 0, 0, kByte),
    mib_row(kOidGroup20Word3, I, kGroup20Word3, RW, H, 0, 0, kByte),
    mib_row(kOidGroup20Word4, I, kGroup20Word4, RW, H, 0, 0, kByte),
    mib_row(kOidConfig21, I, kConfig21, RW, H, 0, 0, kFlag),
    mib_row(kOidConfig22, I, kConfig22, RW, H, 0, 0, kByte),
    mib_row(kOidTemperature1, I, kTemperature1, RO, H, 0, 0, mib_signed_range(-128, 127)),
    mib_row(kOidTemperature2, I, kTemperature2, RO, H, 0, 0, mib_signed_range(-128, 127)),
    mib_row(kOidClimateOff1, I, kClimateOff1, RO, H, 0, 0, kFlag),
    mib_row(kOidClimateOff2, I, kClimateOff2, RO, H, 0, 0, kFlag),
    mib_row(kOidStatus5, I, kStatus5, RO, H, 0, 0, kByte),
    mib_row(kOidStatus6, I, kStatus6, RO, H, 0, 0, kByte),
    mib_row(kOidStatus7, I, kStatus7, RO, H, 0, 0, kByte),
    mib_row(kOidTable8Index1, I, kTable8Index1, RO, T8, 3, 0, mib_unsigned_range(1, 6)),
    mib_row(kOidTable8Index2, I, kTable8Index2, RO, T8, 3, 0, kByte),
    mib_row(kOidTable8Index3, I, kTable8Index3, RO, T8, 3, 0, kByte),
    mib_row(kOidTable8Col4, I, kTable8Col4, RO, T8, 3, 0, mib_unsigned_range(0, 4)),
    mib_row(kOidTable8Col5, I, kTable8Col5, RO, T8, 3, 0, kByte),
    mib_row(kOidTable8Col6, S, kTable8Col6, RO, T8, 3, 0, kText),
    mib_row(kOidTable9Index, I, kTable9Index, RO, T9, 1, 0, kOneTo255),
    mib_row(kOidTable9Col2, I, kTable9Col2, RO, T9, 1, 0, kByte),
    mib_row(kOidTable9Col3, I, kTable9Col3, RO, T9, 1, 0, kByte),
    mib_row(kOidTable9Col4, I, kTable9Col4, RO, T9, 1, 0, kByte),
    mib_row(kOidPowerSupplyOK, I, kPowerSupplyOK, RO, T9, 1, 0, mib_unsigned_range(0, 2)),
    mib_row(kOidTable9Col6, I, kTable9Col6, RO, T9, 1, 0, kByte),
    mib_row(kOidStatusText1, S, kStatusText1, RW, H, 0, 0, kText),
    mib_row(kOidTable11Index1, I, kTable11Index1, RO, T11, 2, 0, kOneTo255),
    mib_row(kOidTable11Index2, I, kTable11Index2, RO, T11, 2, 0, kOneTo255),
    mib_row(kOidTable11Col3, S, kTable11Col3, RO, T11, 2, 0, kText),
    mib_row(kOidStatus12, I, kStatus12, RO, H, 0, 0, kByte),
    mib_row(kOidStatus13, I, kStatus13, RO, H, 0, 0, kFlag),
    mib_row(kOidStatus14, I, kStatus14, RO, H, 0, 0, mib_unsigned_range(0, 6)),
    mib_row(kOidStatusText2, S, kStatusText2, RO, H, 0, 0, kText),
    mib_row(kOidTable16Index, I, kTable16Index, RO, T16, 1, 0, kByte),
    mib_row(kOidTable16Col2, S, kTable16Col2, RO, T16, 1, 0, kText),
    mib_row(kOidStatus17, I, kStatus17, RO, H, 0, 0, kByte),
    mib_row(kOidStatus18, I, kStatus18, RO, H, 0, 0, kByte),
    mib_row(kOidStatus19, I, kStatus19, RO, H, 0, 0, kByte),
    mib_row(kOidStatusText3, S, kStatusText3, RO, H, 0, 0, kText),
    mib_row(kOidStatus21, I, kStatus21, RO, H, 0, 0, kByte),
};

}  // namespace

const mib_group g_vestrel_group = {"vestrel", kRows, sizeof kRows / sizeof kRows[0]};
