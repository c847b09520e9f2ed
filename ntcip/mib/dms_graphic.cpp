// The graphic definitions (node 10 of the sign subtree): the limits of the
// graphic store, the table of 50 graphics and their bitmaps in up to 63
// blocks. A central asks for the modifying state, writes a graphic's
// attributes and blocks and asks for readyForUse; the database's write hooks
// decide what a row accepts in its state, and the display turns the status
// requests into states and computes the graphic's ID.
#include "display/tables/graphic_table.h"
#include "display/task/display.h"
#include "display/task/display_lock.h"
#include "frame/os/os.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kMaxEntries,
    kNumEntries,
    kMaxSize,
    kAvailableMemory,
    kBlockSize,
};

// Graphic table columns.
enum : uint8_t {
    kIndex = 1,
    kNumber,
    kName,
    kHeight,
    kWidth,
    kType,
    kID,
    kTransparentEnabled,
    kTransparentColor,
    kStatus,
};

// Bitmap table columns.
enum : uint8_t { kBitmapIndex = 1, kBlockNumber, kBlockBitmap };

#define GRAPHIC 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 10
constexpr uint32_t kMaxEntriesOid[] = {GRAPHIC, 1, 0};
constexpr uint32_t kNumEntriesOid[] = {GRAPHIC, 2, 0};
constexpr uint32_t kMaxSizeOid[] = {GRAPHIC, 3, 0};
constexpr uint32_t kAvailableMemoryOid[] = {GRAPHIC, 4, 0};
constexpr uint32_t kBlockSizeOid[] = {GRAPHIC, 5, 0};
constexpr uint32_t kIndexOid[] = {GRAPHIC, 6, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kNumberOid[] = {GRAPHIC, 6, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kNameOid[] = {GRAPHIC, 6, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kHeightOid[] = {GRAPHIC, 6, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kWidthOid[] = {GRAPHIC, 6, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kTypeOid[] = {GRAPHIC, 6, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kIDOid[] = {GRAPHIC, 6, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kTransparentEnabledOid[] = {GRAPHIC, 6, 1, 8, MIB_PLACEHOLDER};
constexpr uint32_t kTransparentColorOid[] = {GRAPHIC, 6, 1, 9, MIB_PLACEHOLDER};
constexpr uint32_t kStatusOid[] = {GRAPHIC, 6, 1, 10, MIB_PLACEHOLDER};
constexpr uint32_t kBitmapIndexOid[] = {GRAPHIC, 7, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kBlockNumberOid[] = {GRAPHIC, 7, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kBlockBitmapOid[] = {GRAPHIC, 7, 1, 3, MIB_PLACEHOLDER};
#undef GRAPHIC

// The block size a graphic is defined in when the database holds none.
constexpr uint32_t kDefaultBlockSize = 1023;

uintptr_t* var_graphicDefinition(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                                 uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kMaxEntries:
        return answer_object(vol::dmsGraphicMaxEntries, false, value_length, record, index);
    case kNumEntries:
        return answer_object(vol::dmsGraphicNumEntries, false, value_length, record, index);
    case kMaxSize:
        return answer_object(vol::dmsGraphicMaxSize, false, value_length, record, index);
    case kAvailableMemory: {
        // Every string object, bitmaps included, lives in the database's pool.
        uint32_t available = 0;
        TX_BYTE_POOL* pool = g_pDataBase->StringPool();
        if (!pool || os_byte_pool_info(pool, nullptr, nullptr, &available, nullptr) != OS_SUCCESS)
            available = 0;
        return answer_integer(available, value_length, record, index);
    }
    case kBlockSize:
        return answer_object(vol::dmsGraphicBlockSize, false, value_length, record, index);
    default:
        return nullptr;
    }
}

// Empties the 63 blocks of row g: announced, past the hooks (the row's
// state need not be modifying).
void empty_blocks(uint32_t g)
{
    for (uint32_t b = 0; b < GRAPHIC_BLOCKS; ++b)
        g_pDataBase->SetString(nv::dmsGraphicBitmap(g, b).offset, 4, "", 0, g_pDataBase->mib_nv,
                               DB_NOTIFY | DB_NO_VALIDATE);
}

// A status request. Leaving readyForUse takes the graphic out of the count
// at once; the display counts it again when it is ready once more. The
// display's lock keeps its table pass, which counts too, from
// interleaving with the update.
void request_status(uint32_t g, snmp_request* record)
{
    const uint32_t request = g_snmp_set_value.integer;
    display_lock lock(g_pDisplay);
    if (read_value(nv::dmsGraphicStatus(g), true) == GRAPHIC_READY_FOR_USE &&
        (request == GRAPHIC_MODIFY_REQ || request == GRAPHIC_READY_FOR_USE_REQ || request == GRAPHIC_NOT_USED_REQ)) {
        uint32_t entries = read_value(vol::dmsGraphicNumEntries, false);
        if (entries > 0)
            --entries;
        write_value(vol::dmsGraphicNumEntries, false, entries);
        monitor_printf_debug("Del - Num Graphics:%d\n", static_cast<int>(entries));
        if (request == GRAPHIC_NOT_USED_REQ)
            empty_blocks(g);
    }
    const uint32_t result = write_value(nv::dmsGraphicStatus(g), true, request);
    if (result != DB_OK)
        fail(record, result);
}

// A new height or width leaves no block valid.
void write_dimension(const db_object& o, uint32_t g, snmp_request* record)
{
    const uint32_t old = read_value(o, true);
    const uint32_t result = write_value(o, true, g_snmp_set_value.integer);
    if (result != DB_OK) {
        fail(record, result);
        return;
    }
    if (read_value(o, true) != old)
        empty_blocks(g);
}

uintptr_t* var_dmsGraphicEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                               uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, GRAPHIC_ROWS) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    const uint32_t g = n - 1;
    db_object o{};
    bool text = false;
    switch (row->column) {
    case kIndex:
        return answer_integer(n, value_length, record, index);
    case kNumber:
        o = nv::dmsGraphicNumber(g);
        break;
    case kName:
        o = nv::dmsGraphicName(g);
        text = true;
        break;
    case kHeight:
        o = nv::dmsGraphicHeight(g);
        break;
    case kWidth:
        o = nv::dmsGraphicWidth(g);
        break;
    case kType:
        o = nv::dmsGraphicType(g);
        break;
    case kID:
        o = nv::dmsGraphicID(g);
        break;
    case kTransparentEnabled:
        o = nv::dmsGraphicTransparentEnabled(g);
        break;
    case kTransparentColor:
        o = nv::dmsGraphicTransparentColor(g);
        text = true;
        break;
    case kStatus:
        o = nv::dmsGraphicStatus(g);
        break;
    default:
        return nullptr;
    }

    if (committing(operation) && row->column != kID) {
        if (row->column == kStatus) {
            request_status(g, record);
        } else if (row->column == kHeight || row->column == kWidth) {
            write_dimension(o, g, record);
        } else {
            const uint32_t result = text ? write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length)
                                         : write_value(o, true, g_snmp_set_value.integer);
            if (result != DB_OK)
                fail(record, result);
        }
    }
    return text ? answer_string(o, true, value_length, record, index)
                : answer_object(o, true, value_length, record, index);
}

// A block holds at most the block size: a longer one would shift every
// pixel after it and could not be served back whole.
bool block_fits(const snmp_request* record, int index)
{
    uint32_t most = read_value(vol::dmsGraphicBlockSize, false);
    if (most == 0)
        most = kDefaultBlockSize;
    return string_fits(record, index, most);
}

uintptr_t* var_dmsGraphicBitmapEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                     uint32_t* value_length, snmp_request* record, int index)
{
    static const uint32_t kHighest[2] = {GRAPHIC_ROWS, GRAPHIC_BLOCKS};
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kHighest, 2) != 0)
        return nullptr;
    const uint32_t p = row->oid_length - 1u;
    const uint32_t g = name[p], b = name[p + 1];
    if (g < 1 || g > GRAPHIC_ROWS || b < 1 || b > GRAPHIC_BLOCKS)
        return nullptr;
    switch (row->column) {
    case kBitmapIndex:
        return answer_integer(g, value_length, record, index);
    case kBlockNumber:
        return answer_integer(b, value_length, record, index);
    case kBlockBitmap: {
        const db_object o = nv::dmsGraphicBitmap(g - 1, b - 1);
        if (operation == MIB_SET) {
            // Checked in both passes: nothing of a request that carries a
            // block of the wrong size is written.
            if (!block_fits(record, index)) {
                monitor_printf_debug("var_dmsGraphicBitmapEntry: block size\n");
                fail(record, DB_BAD_VALUE);
            } else if (g_snmp_commit_indicator == 1) {
                const uint32_t result = write_string(o, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
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

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr var_handler E = var_dmsGraphicEntry;
constexpr var_handler B = var_dmsGraphicBitmapEntry;

constexpr mib_constraint kTypes = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 4, {1, 2, 3, 4}};

const mib_variable kRows[] = {
    mib_row(kMaxEntriesOid, MIB_INTEGER, kMaxEntries, RO, var_graphicDefinition, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kNumEntriesOid, MIB_INTEGER, kNumEntries, RO, var_graphicDefinition, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kMaxSizeOid, MIB_INTEGER, kMaxSize, RO, var_graphicDefinition, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kAvailableMemoryOid, MIB_COUNTER, kAvailableMemory, RO, var_graphicDefinition, 0, 0,
            mib_unsigned_range(0, 4294967295u)),
    mib_row(kBlockSizeOid, MIB_INTEGER, kBlockSize, RO, var_graphicDefinition, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kIndexOid, MIB_INTEGER, kIndex, RO, E, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kNumberOid, MIB_INTEGER, kNumber, RW, E, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kNameOid, MIB_OCTET_STRING, kName, RW, E, 1, 0, mib_length_range(0, 64)),
    mib_row(kHeightOid, MIB_INTEGER, kHeight, RW, E, 1, 0, mib_unsigned_range(0, 255)),
    mib_row(kWidthOid, MIB_INTEGER, kWidth, RW, E, 1, 0, mib_unsigned_range(0, 65535)),
    mib_row(kTypeOid, MIB_INTEGER, kType, RW, E, 1, 0, kTypes),
    mib_row(kIDOid, MIB_INTEGER, kID, RO, E, 1, 0, mib_unsigned_range(0, 65535)),
    mib_row(kTransparentEnabledOid, MIB_INTEGER, kTransparentEnabled, RW, E, 1, 0, mib_unsigned_range(0, 1)),
    mib_row(kTransparentColorOid, MIB_OCTET_STRING, kTransparentColor, RW, E, 1, 0, mib_length_range(1, 3)),
    mib_row(kStatusOid, MIB_INTEGER, kStatus, RW, E, 1, 0, mib_unsigned_range(1, 9)),
    mib_row(kBitmapIndexOid, MIB_INTEGER, kBitmapIndex, RO, B, 2, 0, mib_unsigned_range(1, 255)),
    mib_row(kBlockNumberOid, MIB_INTEGER, kBlockNumber, RO, B, 2, 0, mib_unsigned_range(1, 255)),
    mib_row(kBlockBitmapOid, MIB_OCTET_STRING, kBlockBitmap, RW, B, 2, 0),
};

}  // namespace

const mib_group g_dms_graphic_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
