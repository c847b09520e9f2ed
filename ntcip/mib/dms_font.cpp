// The NTCIP font definition (node 3): the font scalars, the table of 20
// fonts and the character table of 255 characters per font. A central
// system downloads a font through them; the database's write hooks decide
// what an open font accepts, and the display turns status requests into
// states.
#include <algorithm>
#include <initializer_list>

#include "frame/trace/trace.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kNumFonts,
    kMaxFontCharacters,
    kMaxCharacterSize,
    kFontIndex,
    kFontNumber,
    kFontName,
    kFontHeight,
    kFontCharSpacing,
    kFontLineSpacing,
    kFontVersionID,
    kFontStatus,
    kCharacterNumber,
    kCharacterWidth,
    kCharacterBitmap,
};

#define FONT 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 3
constexpr uint32_t kNumFontsOid[] = {FONT, 1, 0};
constexpr uint32_t kMaxFontCharactersOid[] = {FONT, 3, 0};
constexpr uint32_t kMaxCharacterSizeOid[] = {FONT, 5, 0};
constexpr uint32_t kFontIndexOid[] = {FONT, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kFontNumberOid[] = {FONT, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kFontNameOid[] = {FONT, 2, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kFontHeightOid[] = {FONT, 2, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kFontCharSpacingOid[] = {FONT, 2, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kFontLineSpacingOid[] = {FONT, 2, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kFontVersionIDOid[] = {FONT, 2, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kFontStatusOid[] = {FONT, 2, 1, 8, MIB_PLACEHOLDER};
constexpr uint32_t kCharacterNumberOid[] = {FONT, 4, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kCharacterWidthOid[] = {FONT, 4, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kCharacterBitmapOid[] = {FONT, 4, 1, 3, MIB_PLACEHOLDER};
#undef FONT

constexpr uint32_t kFonts = 20;
constexpr uint32_t kCharacters = 255;
constexpr uint32_t kFontWrite = 0x80000000;

uintptr_t* var_fontDefinition(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                              uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kNumFonts:
        return answer_object(vol::numFonts, false, value_length, record, index);
    case kMaxFontCharacters:
        return answer_object(vol::maxFontCharacters, false, value_length, record, index);
    case kMaxCharacterSize:
        return answer_object(vol::fontMaxCharacterSize, false, value_length, record, index);
    default:
        return nullptr;
    }
}

// Empties every character of font i, as a new height leaves no glyph valid.
void empty_characters(uint32_t i)
{
    for (uint32_t c = 0; c < kCharacters; ++c) {
        write_value(nv::characterWidth(i, c), true, 0);
        write_string(nv::characterBitmap(i, c), true, nullptr, 0);
    }
}

uintptr_t* var_fontEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                         uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kFonts) != 0)
        return nullptr;
    const uint32_t f = name[row->oid_length - 1u];
    const uint32_t i = f - 1;
    db_object o{};
    switch (row->column) {
    case kFontIndex:
        return answer_integer(f, value_length, record, index);
    case kFontNumber:
        o = nv::fontNumber(i);
        break;
    case kFontName:
        o = nv::fontName(i);
        break;
    case kFontHeight:
        o = nv::fontHeight(i);
        break;
    case kFontCharSpacing:
        o = nv::fontCharSpacing(i);
        break;
    case kFontLineSpacing:
        o = nv::fontLineSpacing(i);
        break;
    case kFontVersionID:
        // Served fresh: the font may have changed since it was last computed.
        g_pDataBase->UpdateFontVersionID(static_cast<int>(i));
        o = nv::fontVersionID(i);
        break;
    case kFontStatus:
        o = nv::fontStatus(i);
        break;
    default:
        return nullptr;
    }

    if (committing(operation) && row->column != kFontVersionID) {
        uint32_t result = DB_OK;
        if (row->column == kFontName) {
            result = write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
        } else if (row->column == kFontHeight) {
            const uint32_t old = read_value(o, true);
            result = write_value(o, true, g_snmp_set_value.integer);
            if (result == DB_OK && old != read_value(o, true)) {
                monitor_printf_debug("Font %d Height changed\n", static_cast<int>(i));
                empty_characters(i);
            }
        } else {
            // A status request reaches the display by the database's letter.
            result = write_value(o, true, g_snmp_set_value.integer);
        }
        if (result != DB_OK)
            fail(record, result);
    }
    if (row->column == kFontName)
        return answer_string(o, true, value_length, record, index);
    return answer_object(o, true, value_length, record, index);
}

// --- characters

// The value this request writes into one instance of an integer column, or
// `stored` when it writes none.
template <size_t N>
uint32_t pending(const snmp_request* record, const uint32_t (&column)[N], std::initializer_list<uint32_t> index,
                 uint32_t stored)
{
    if (!record)
        return stored;
    const int count = std::min<int>(record->count, SNMP_MAX_VARBINDS);
    for (int k = 0; k < count; ++k) {
        const snmp_varbind& v = record->varbinds[k];
        if (v.syntax == SNMP_INTEGER && v.name_length == N - 1 + index.size() &&
            std::equal(column, column + N - 1, v.name) && std::equal(index.begin(), index.end(), v.name + N - 1))
            stored = v.value_words[0];
    }
    return stored;
}

// A bitmap holds the character's rows without padding: width x height bits
// in whole bytes. Anything else would leave pixels undefined or bytes that
// belong to no pixel. A width or height in the same request counts, in
// whichever order it comes.
bool bitmap_fits(const snmp_request* record, int index, uint32_t f, uint32_t c)
{
    if (!string_fits(record, index, MIB_SET_BYTES))
        return false;
    const uint32_t width =
        pending(record, kCharacterWidthOid, {f, c}, read_value(nv::characterWidth(f - 1, c - 1), true));
    const uint32_t height = pending(record, kFontHeightOid, {f}, read_value(nv::fontHeight(f - 1), true));
    return g_snmp_set_value.length == (width * height + 7) / 8;
}

uintptr_t* var_characterEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                              uint32_t* value_length, snmp_request* record, int index)
{
    static const uint32_t kHighest[2] = {kFonts, kCharacters};
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kHighest, 2) != 0)
        return nullptr;
    const uint32_t p = row->oid_length - 1u;
    const uint32_t f = name[p], c = name[p + 1];
    if (f < 1 || f > kFonts || c < 1 || c > kCharacters)
        return nullptr;
    switch (row->column) {
    case kCharacterNumber:
        return answer_integer(c, value_length, record, index);
    case kCharacterWidth: {
        const db_object o = nv::characterWidth(f - 1, c - 1);
        if (committing(operation)) {
            uint32_t result = write_value(o, true, g_snmp_set_value.integer);
            if (result != DB_OK)
                fail(record, result);
        }
        return answer_object(o, true, value_length, record, index);
    }
    case kCharacterBitmap: {
        const db_object o = nv::characterBitmap(f - 1, c - 1);
        if (operation == MIB_SET) {
            // Checked in both passes, so that nothing of a request that
            // carries a bitmap of the wrong size is written.
            if (!bitmap_fits(record, index, f, c)) {
                monitor_printf_debug("var_characterEntry: bitmap size\n");
                fail(record, DB_BAD_VALUE);
            } else if (g_snmp_commit_indicator == 1) {
                uint32_t result = write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
                if (result != DB_OK)
                    fail(record, result);
            }
        }
        return answer_string(o, true, value_length, record, index);
    }
    default:
        return nullptr;
    }
}

const mib_variable kRows[] = {
    mib_row(kNumFontsOid, MIB_INTEGER, kNumFonts, MIB_READ_ONLY, var_fontDefinition, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kMaxFontCharactersOid, MIB_INTEGER, kMaxFontCharacters, MIB_READ_ONLY, var_fontDefinition, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kMaxCharacterSizeOid, MIB_INTEGER, kMaxCharacterSize, MIB_READ_ONLY, var_fontDefinition, 0, 0,
            mib_unsigned_range(0, 255)),
    mib_row(kFontIndexOid, MIB_INTEGER, kFontIndex, MIB_READ_ONLY, var_fontEntry, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kFontNumberOid, MIB_INTEGER, kFontNumber, MIB_READ_WRITE, var_fontEntry, 1, kFontWrite,
            mib_unsigned_range(1, 255)),
    mib_row(kFontNameOid, MIB_OCTET_STRING, kFontName, MIB_READ_WRITE, var_fontEntry, 1, kFontWrite,
            mib_length_range(0, 64)),
    mib_row(kFontHeightOid, MIB_INTEGER, kFontHeight, MIB_READ_WRITE, var_fontEntry, 1, kFontWrite,
            mib_unsigned_range(0, 255)),
    mib_row(kFontCharSpacingOid, MIB_INTEGER, kFontCharSpacing, MIB_READ_WRITE, var_fontEntry, 1, kFontWrite,
            mib_unsigned_range(0, 255)),
    mib_row(kFontLineSpacingOid, MIB_INTEGER, kFontLineSpacing, MIB_READ_WRITE, var_fontEntry, 1, kFontWrite,
            mib_unsigned_range(0, 255)),
    mib_row(kFontVersionIDOid, MIB_INTEGER, kFontVersionID, MIB_READ_ONLY, var_fontEntry, 1, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kFontStatusOid, MIB_INTEGER, kFontStatus, MIB_READ_WRITE, var_fontEntry, 1, 0, mib_unsigned_range(1, 11)),
    mib_row(kCharacterNumberOid, MIB_INTEGER, kCharacterNumber, MIB_READ_ONLY, var_characterEntry, 2, 0,
            mib_unsigned_range(1, 65535)),
    mib_row(kCharacterWidthOid, MIB_INTEGER, kCharacterWidth, MIB_READ_WRITE, var_characterEntry, 2, kFontWrite,
            mib_unsigned_range(0, 255)),
    mib_row(kCharacterBitmapOid, MIB_OCTET_STRING, kCharacterBitmap, MIB_READ_WRITE, var_characterEntry, 2,
            kFontWrite),
};

}  // namespace

const mib_group g_dms_font_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
