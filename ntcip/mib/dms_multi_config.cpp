// The MULTI defaults and capabilities (multiCfg, node 4): what a MULTI text
// uses where it says nothing else, the sign's colour scheme and limits, and
// the defaults that were in force when the running message was activated.
#include <initializer_list>

#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kBackgroundColor,
    kForegroundColor,
    kFlashOn,
    kFlashOff,
    kFont,
    kJustificationLine,
    kJustificationPage,
    kPageOnTime,
    kPageOffTime,
    kCharacterSet,
    kColorScheme,
    kBackgroundRGB,
    kForegroundRGB,
    kSupportedTags,
    kMaxPages,
    kMaxMultiLength,
    kFlashOnActivate,
    kFlashOffActivate,
    kFontActivate,
    kJustificationLineActivate,
    kJustificationPageActivate,
    kPageOnTimeActivate,
    kPageOffTimeActivate,
    kBackgroundRGBActivate,
    kForegroundRGBActivate,
    kObjects,
};

#define MULTI 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 4
constexpr uint32_t kOid[kObjects][13] = {
    {MULTI, 1, 0},  {MULTI, 2, 0},  {MULTI, 3, 0},  {MULTI, 4, 0},  {MULTI, 5, 0},
    {MULTI, 6, 0},  {MULTI, 7, 0},  {MULTI, 8, 0},  {MULTI, 9, 0},  {MULTI, 10, 0},
    {MULTI, 11, 0}, {MULTI, 12, 0}, {MULTI, 13, 0}, {MULTI, 14, 0}, {MULTI, 15, 0},
    {MULTI, 16, 0}, {MULTI, 17, 0}, {MULTI, 18, 0}, {MULTI, 19, 0}, {MULTI, 20, 0},
    {MULTI, 21, 0}, {MULTI, 22, 0}, {MULTI, 23, 0}, {MULTI, 24, 0}, {MULTI, 25, 0},
};
#undef MULTI

constexpr uint8_t kColorClassic = 3;
constexpr uint32_t kDefaultsWrite = 0x40000000;

enum write_kind : uint8_t {
    kReadOnly,
    kChecked,  // the database keeps colours and RGB strings in step; a refusal is genErr
    kPlain,    // no rules; the result is not looked at
};

struct multi_object {
    db_object object;
    bool nv;
    bool text;
    write_kind write;
};

const multi_object kObjectsOf[kObjects] = {
    {nv::defaultBackgroundColor, true, false, kChecked},
    {nv::defaultForegroundColor, true, false, kChecked},
    {nv::defaultFlashOn, true, false, kPlain},
    {nv::defaultFlashOff, true, false, kPlain},
    {nv::defaultFont, true, false, kPlain},
    {nv::defaultJustificationLine, true, false, kPlain},
    {nv::defaultJustificationPage, true, false, kPlain},
    {nv::defaultPageOnTime, true, false, kPlain},
    {nv::defaultPageOffTime, true, false, kPlain},
    {nv::defaultCharacterSet, true, false, kPlain},
    {nv::dmsColorScheme, true, false, kReadOnly},
    {nv::defaultBackgroundRGB, true, true, kChecked},
    {nv::defaultForegroundRGB, true, true, kChecked},
    // Kept until the next start.
    {vol::dmsSupportedMultiTags, false, true, kPlain},
    {nv::dmsMaxNumberPages, true, false, kReadOnly},
    {vol::dmsMaxMultiStringLength, false, false, kReadOnly},
    {nv::defaultFlashOnActivate, true, false, kReadOnly},
    {nv::defaultFlashOffActivate, true, false, kReadOnly},
    {nv::defaultFontActivate, true, false, kReadOnly},
    {nv::defaultJustificationLineActivate, true, false, kReadOnly},
    {nv::defaultJustificationPageActivate, true, false, kReadOnly},
    {nv::defaultPageOnTimeActivate, true, false, kReadOnly},
    {nv::defaultPageOffTimeActivate, true, false, kReadOnly},
    {nv::defaultBackgroundRGBActivate, true, true, kReadOnly},
    {nv::defaultForegroundRGBActivate, true, true, kReadOnly},
};

uint32_t commit(const multi_object& o, snmp_request* record, int index)
{
    if (!o.text)
        return write_value(o.object, o.nv, g_snmp_set_value.integer);
    if (!string_fits(record, index, MIB_SET_BYTES))
        return DB_GEN_ERR;
    return write_string(o.object, o.nv, g_snmp_set_value.bytes, g_snmp_set_value.length);
}

uintptr_t* var_multiCfg(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || row->column >= kObjects || header_exact(row, name, *name_length) != 0)
        return nullptr;
    const multi_object& o = kObjectsOf[row->column];
    // The classic colours exist only on a sign of classic colours.
    if ((row->column == kBackgroundColor || row->column == kForegroundColor) &&
        read_value(nv::dmsColorScheme, true) != kColorClassic)
        return nullptr;
    if (committing(operation) && o.write != kReadOnly) {
        uint32_t result = commit(o, record, index);
        if (o.write == kChecked && result != DB_OK)
            fail(record, DB_GEN_ERR);
    }
    if (o.text)
        return answer_string(o.object, o.nv, value_length, record, index);
    return answer_object(o.object, o.nv, value_length, record, index);
}

constexpr mib_variable row_of(uint8_t k, uint8_t syntax, uint8_t access, mib_constraint c)
{
    const uint32_t mask = access == MIB_READ_WRITE && syntax == MIB_INTEGER ? kDefaultsWrite : 0;
    return mib_row(kOid[k], syntax, k, access, var_multiCfg, 0, mask, c);
}

constexpr mib_constraint values(std::initializer_list<uint32_t> list)
{
    mib_constraint c{MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 0, {}};
    for (uint32_t v : list)
        c.values[c.count++] = v;
    return c;
}

const mib_variable kRows[] = {
    row_of(kBackgroundColor, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(0, 9)),
    row_of(kForegroundColor, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(0, 9)),
    row_of(kFlashOn, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(0, 255)),
    row_of(kFlashOff, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(0, 255)),
    row_of(kFont, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(1, 255)),
    row_of(kJustificationLine, MIB_INTEGER, MIB_READ_WRITE, values({2, 3, 4, 5})),
    row_of(kJustificationPage, MIB_INTEGER, MIB_READ_WRITE, values({2, 3, 4})),
    row_of(kPageOnTime, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(1, 255)),
    row_of(kPageOffTime, MIB_INTEGER, MIB_READ_WRITE, mib_unsigned_range(0, 255)),
    row_of(kCharacterSet, MIB_INTEGER, MIB_READ_WRITE, values({1, 2})),
    row_of(kColorScheme, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(0, 4)),
    row_of(kBackgroundRGB, MIB_OCTET_STRING, MIB_READ_WRITE, mib_no_constraint()),
    row_of(kForegroundRGB, MIB_OCTET_STRING, MIB_READ_WRITE, mib_no_constraint()),
    row_of(kSupportedTags, MIB_OCTET_STRING, MIB_READ_WRITE, mib_no_constraint()),
    row_of(kMaxPages, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(0, 255)),
    row_of(kMaxMultiLength, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(0, 65535)),
    row_of(kFlashOnActivate, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(0, 255)),
    row_of(kFlashOffActivate, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(0, 255)),
    row_of(kFontActivate, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(1, 255)),
    row_of(kJustificationLineActivate, MIB_INTEGER, MIB_READ_ONLY, values({2, 3, 4, 5})),
    row_of(kJustificationPageActivate, MIB_INTEGER, MIB_READ_ONLY, values({2, 3, 4})),
    row_of(kPageOnTimeActivate, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(1, 255)),
    row_of(kPageOffTimeActivate, MIB_INTEGER, MIB_READ_ONLY, mib_unsigned_range(0, 255)),
    row_of(kBackgroundRGBActivate, MIB_OCTET_STRING, MIB_READ_ONLY, mib_no_constraint()),
    row_of(kForegroundRGBActivate, MIB_OCTET_STRING, MIB_READ_ONLY, mib_no_constraint()),
};

}  // namespace

const mib_group g_dms_multi_config_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
