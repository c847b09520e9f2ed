// The message table group: the scalars that count messages and free memory
// per memory type, dmsValidateMessageError, and the table of stored
// messages (5.8.1.column.memoryType.number).
#include "ntcip/mib/dms_message_table.h"

#include "display/tables/message_table.h"
#include "frame/trace/trace.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kNumPermanent,
    kNumChangeable,
    kMaxChangeable,
    kFreeChangeable,
    kNumVolatile,
    kMaxVolatile,
    kFreeVolatile,
    kValidateError,
};

enum : uint8_t {
    kMemoryType = 1,
    kNumber = 2,
    kMulti = 3,
    kOwner = 4,
    kCrc = 5,
    kBeacon = 6,
    kPixelService = 7,
    kPriority = 8,
    kStatus = 9,
};

#define MSG 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 5
constexpr uint32_t kNumPermanentOid[] = {MSG, 1, 0};
constexpr uint32_t kNumChangeableOid[] = {MSG, 2, 0};
constexpr uint32_t kMaxChangeableOid[] = {MSG, 3, 0};
constexpr uint32_t kFreeChangeableOid[] = {MSG, 4, 0};
constexpr uint32_t kNumVolatileOid[] = {MSG, 5, 0};
constexpr uint32_t kMaxVolatileOid[] = {MSG, 6, 0};
constexpr uint32_t kFreeVolatileOid[] = {MSG, 7, 0};
constexpr uint32_t kValidateErrorOid[] = {MSG, 9, 0};
constexpr uint32_t kMemoryTypeOid[] = {MSG, 8, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kNumberOid[] = {MSG, 8, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kMultiOid[] = {MSG, 8, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOwnerOid[] = {MSG, 8, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kCrcOid[] = {MSG, 8, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kBeaconOid[] = {MSG, 8, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kPixelServiceOid[] = {MSG, 8, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kPriorityOid[] = {MSG, 8, 1, 8, MIB_PLACEHOLDER};
constexpr uint32_t kStatusOid[] = {MSG, 8, 1, 9, MIB_PLACEHOLDER};
#undef MSG

constexpr uint32_t kTolerantMaxChangeable = 25;
constexpr uint8_t kUnlocked = 2;  // mib_nv.quorConfigObjectsLock (the message-table mode)
constexpr uint8_t kLocalMode = 2;
constexpr uint8_t kCentralOverrideMode = 5;
constexpr uint32_t kPermanentMost = MSG_MAIN_ROWS - MSG_PERMANENT_ROW_OFFSET - 1;  // 52
constexpr uint32_t kMemoryTypes = MEMORY_BLANK;
constexpr uint32_t kChangeableWrite = 0x400000;

bool unlocked() { return read_value(nv::quorMessageTableMode, true) == kUnlocked; }

uint32_t valid_rows(uint32_t first, uint32_t last)
{
    uint32_t n = 0;
    for (uint32_t r = first; r < last; ++r)
        n += read_value(nv::dmsMessageStatus(r), true) == MSG_STATUS_VALID;
    return n;
}

uintptr_t* var_dmsMessage(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t, uint32_t* value_length,
                          snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    uint32_t value = 0;
    switch (row->column) {
    case kNumPermanent:
        value = read_value(vol::dmsNumPermanentMsg, false);
        break;
    case kNumChangeable:
        value = unlocked() ? valid_rows(0, MSG_MAIN_ROWS) : read_value(vol::dmsNumChangeableMsg, false);
        break;
    case kMaxChangeable:
        value = msg_tolerant_mode() ? kTolerantMaxChangeable : read_value(vol::dmsMaxChangeableMsg, false);
        break;
    case kFreeChangeable:
        value = read_value(vol::dmsFreeChangeableMemory, false);
        break;
    case kNumVolatile:
        value = read_value(vol::dmsNumVolatileMsg, false);
        break;
    case kMaxVolatile:
        value = read_value(vol::dmsMaxVolatileMsg, false);
        break;
    case kFreeVolatile:
        value = read_value(vol::dmsFreeVolatileMemory, false);
        break;
    case kValidateError:
        value = read_value(nv::dmsValidateMessageError, true);
        break;
    default:
        return nullptr;
    }
    return answer_integer(value, value_length, record, index);
}

// The highest message number a memory type serves.
uint32_t number_bound(uint32_t type)
{
    switch (type) {
    case MEMORY_PERMANENT: {
        // The count of valid permanent messages, never beyond the rows that
        // can hold one.
        uint32_t n = read_value(vol::dmsNumPermanentMsg, false);
        return n < kPermanentMost ? n : kPermanentMost;
    }
    case MEMORY_CHANGEABLE: {
        // The upper rows are changeable messages only while the configuration
        // is unlocked and the sign is under local or override control.
        uint32_t mode = read_value(vol::dmsControlMode, false);
        bool wide = unlocked() && (mode == kLocalMode || mode == kCentralOverrideMode);
        return wide ? MSG_MAIN_ROWS : MSG_CHANGEABLE_ROWS;
    }
    case MEMORY_VOLATILE:
        return MSG_VOLATILE_ROWS;
    case MEMORY_CURRENT_BUFFER:
    case MEMORY_SCHEDULE:
        return 1;
    case MEMORY_BLANK:
        return MSG_BLANK_MAX;
    default:
        return 0;
    }
}

// The stored row of a message the index check has let through; false for
// blank messages, which have none.
bool row_of(uint32_t type, uint32_t number, msg_row* row)
{
    switch (type) {
    case MEMORY_PERMANENT:
        if (number > MSG_BUILT_IN_PERMANENT) {
            *row = msg_main_row(number + MSG_PERMANENT_ROW_OFFSET);
            return true;
        }
        return msg_find_row(MEMORY_PERMANENT, static_cast<uint16_t>(number), row) == ACTIVATE_NONE;
    case MEMORY_CHANGEABLE:
        *row = msg_main_row(number - 1);
        return true;
    case MEMORY_VOLATILE:
    case MEMORY_CURRENT_BUFFER:
    case MEMORY_SCHEDULE:
        return msg_find_row(static_cast<uint8_t>(type), static_cast<uint16_t>(number), row) == ACTIVATE_NONE;
    default:
        return false;
    }
}

const db_object* column_object(const msg_row& row, uint8_t column)
{
    switch (column) {
    case kMulti:
        return &row.multi;
    case kOwner:
        return &row.owner;
    case kCrc:
        return &row.crc;
    case kBeacon:
        return &row.beacon;
    case kPixelService:
        return &row.pixel_service;
    case kPriority:
        return &row.priority;
    case kStatus:
        return &row.status;
    default:
        return nullptr;
    }
}

void trace_no_storage(uint8_t column, uint32_t type)
{
    switch (column) {
    case kCrc:
        monitor_printf("Invalid mem type for dms msg CRC  %d\n", static_cast<int>(type));
        break;
    case kBeacon:
        monitor_printf("Invalid mem type for dms msg Beacon\n");
        break;
    case kPixelService:
        monitor_printf("Invalid mem type for dms msg Pixel Service\n");
        break;
    case kPriority:
        monitor_printf("Invalid mem type for dms msg priority\n");
        break;
    case kStatus:
        monitor_printf("Invalid mem type for dms msg Status\n");
        break;
    default:
        break;
    }
}

// A blank message: nothing stored, run-time priority its number.
uintptr_t* answer_blank(uint8_t column, uint32_t number, uint32_t* value_length, snmp_request* record, int index)
{
    switch (column) {
    case kMulti:
    case kOwner:
        return answer_bytes(reinterpret_cast<const uint8_t*>(""), 0, value_length, record, index);
    case kPriority:
        return answer_integer(number, value_length, record, index);
    case kStatus:
        return answer_integer(MSG_STATUS_VALID, value_length, record, index);
    default:
        return answer_integer(0, value_length, record, index);
    }
}

// Writes the set value into one column of a stored row.
void commit(const msg_row& row, uint8_t column, snmp_request* record)
{
    const db_object* o = column_object(row, column);
    if (!o)
        return;
    uint32_t result = column == kMulti || column == kOwner
                          ? write_string(*o, row.nv, g_snmp_set_value.bytes, g_snmp_set_value.length)
                          : write_value(*o, row.nv, g_snmp_set_value.integer);
    if (result != DB_OK)
        fail(record, result);
}

// A MULTI text or owner that the controller cannot keep whole is refused
// before anything of the request is written.
bool text_too_long(uint8_t column, snmp_request* record, int index)
{
    if (column != kMulti && column != kOwner)
        return false;
    uint32_t most = MIB_SET_BYTES;
    if (column == kMulti) {
        uint32_t max = read_value(vol::dmsMaxMultiStringLength, false);
        if (max != 0 && max < most)
            most = max;
    }
    return !string_fits(record, index, most);
}

uintptr_t* var_dmsMessageEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                               uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase)
        return nullptr;
    const uint32_t p = row->oid_length - 1u;
    if (*name_length != p + 2)
        return nullptr;
    uint32_t& type = name[p];
    uint32_t& number = name[p + 1];
    bool walk_past_other = false;
    if (operation == MIB_GETNEXT) {
        // No element 0; and the walk goes from "other", which has no table,
        // straight on to permanent message 1.
        if (type == 0)
            type = number = 1;
        if (number == 0)
            number = 1;
        if (type == MEMORY_OTHER) {
            number = 1;
            walk_past_other = true;
        }
    }
    const uint32_t highest[2] = {kMemoryTypes, walk_past_other ? 1 : number_bound(type)};
    if (header_index_n(row, name, name_length, operation, value_length, highest, 2) != 0)
        return nullptr;
    if (walk_past_other)
        type = MEMORY_PERMANENT;

    const uint8_t column = row->column;
    if (column == kMemoryType)
        return answer_integer(type, value_length, record, index);
    if (column == kNumber)
        return answer_integer(number, value_length, record, index);
    if (!dms_check_mem_type(type))
        return nullptr;

    if (operation == MIB_SET) {
        if (text_too_long(column, record, index)) {
            monitor_printf_debug("var_dmsMessageEntry: value too long\n");
            fail(record, 1);  // tooBig: the text would be stored cut
        } else if (g_snmp_commit_indicator == 1) {
            msg_row stored{};
            if (type == MEMORY_PERMANENT || type == MEMORY_BLANK || !row_of(type, number, &stored))
                fail(record, DB_GEN_ERR);  // built in: never written
            else
                commit(stored, column, record);
        }
    }

    if (type == MEMORY_BLANK)
        return answer_blank(column, number, value_length, record, index);
    msg_row stored{};
    const db_object* o = row_of(type, number, &stored) ? column_object(stored, column) : nullptr;
    if (!o) {
        trace_no_storage(column, type);
        return nullptr;
    }
    if (column == kMulti || column == kOwner)
        return answer_string(*o, stored.nv, value_length, record, index);
    return answer_object(*o, stored.nv, value_length, record, index);
}

const mib_variable kRows[] = {
    mib_row(kNumPermanentOid, MIB_INTEGER, kNumPermanent, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kNumChangeableOid, MIB_INTEGER, kNumChangeable, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kMaxChangeableOid, MIB_INTEGER, kMaxChangeable, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kFreeChangeableOid, MIB_INTEGER, kFreeChangeable, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kNumVolatileOid, MIB_INTEGER, kNumVolatile, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kMaxVolatileOid, MIB_INTEGER, kMaxVolatile, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kFreeVolatileOid, MIB_INTEGER, kFreeVolatile, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kValidateErrorOid, MIB_INTEGER, kValidateError, MIB_READ_ONLY, var_dmsMessage, 0, 0,
            mib_unsigned_range(1, 5)),
    mib_row(kMemoryTypeOid, MIB_INTEGER, kMemoryType, MIB_READ_ONLY, var_dmsMessageEntry, 2, 0,
            mib_unsigned_range(1, 6)),
    mib_row(kNumberOid, MIB_INTEGER, kNumber, MIB_READ_ONLY, var_dmsMessageEntry, 2, 0, mib_unsigned_range(1, 65535)),
    mib_row(kMultiOid, MIB_OCTET_STRING, kMulti, MIB_READ_WRITE, var_dmsMessageEntry, 2, kChangeableWrite),
    mib_row(kOwnerOid, MIB_OCTET_STRING, kOwner, MIB_READ_WRITE, var_dmsMessageEntry, 2, kChangeableWrite),
    mib_row(kCrcOid, MIB_INTEGER, kCrc, MIB_READ_ONLY_SNMP, var_dmsMessageEntry, 2, 0, mib_unsigned_range(0, 65535)),
    mib_row(kBeaconOid, MIB_INTEGER, kBeacon, MIB_READ_WRITE, var_dmsMessageEntry, 2, kChangeableWrite,
            mib_unsigned_range(0, 1)),
    mib_row(kPixelServiceOid, MIB_INTEGER, kPixelService, MIB_READ_WRITE, var_dmsMessageEntry, 2, kChangeableWrite,
            mib_unsigned_range(0, 1)),
    mib_row(kPriorityOid, MIB_INTEGER, kPriority, MIB_READ_WRITE, var_dmsMessageEntry, 2, kChangeableWrite,
            mib_unsigned_range(1, 255)),
    mib_row(kStatusOid, MIB_INTEGER, kStatus, MIB_READ_WRITE, var_dmsMessageEntry, 2, kChangeableWrite,
            mib_unsigned_range(1, 8)),
};

}  // namespace

bool dms_check_mem_type(uint32_t memory_type)
{
    if (memory_type == MEMORY_OTHER || memory_type > MEMORY_BLANK) {
        monitor_printf("Invalid mem type, not support Other\n");
        return false;
    }
    return true;
}

const mib_group g_dms_message_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
