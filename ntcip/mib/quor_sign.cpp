// The private sign and display objects (quor subtree, branches 1 and 2):
// test patterns, pixel-failure details, memory management, the
// configuration lock with its SNMP write override, module and CAN settings,
// activation by message number, serial numbers, storage health, the bay and
// line lengths, and the list of message ID codes kept for central.
//
// Every value lives in the parameter database; the notices of a write
// (display reconfiguration, test patterns, the shut-off temperature) come
// from the database's notification tables.
#include <cstdio>
#include <cstring>

#include "display/codes/msg_codes.h"
#include "frame/trace/trace.h"
#include "mon_api.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/quor_common.h"
#include "ntcip/snmp/db/snmp_db.h"
#include "ntcip/snmp/local/snmp_local.h"

using namespace quor_mib;

namespace {

// Column selectors.
enum : uint8_t {
    kDisplayMode = 1,
    kMemoryMgmtRequest,
    kShutOffTemp,
    kEmergencyMessage,
    kConfigObjectsLock,
    kModuleID,
    kEnableRealTimePixelDiagnostics,
    kLCDAdminPassword,
    kLegibilityRatio,
    kLegibilityRatioThreshold,
    kFrameRate,
    kBitsPerColour,
    kCANBaudRate,
    kCANMaxLineLength,
    kActivateMessage,
    kControllerSerialNum,
    kSignSerialNum,
    kSpecialFeatureSet,
    kFlashDeadSpace,
    kDatabaseFill,
    kModTimeout,
    kPhotocellScale,
    kHeartBeatThreshold,
    kBayHeight,
    kBayWidth,
    kNumLineLengths,
    kLineLengthIndex,
    kLineLength,
    kNumMessageIDs,
    kMessageIDIndex,
    kMessageIDCode,
    kPixelType,
    kPixelIndex,
    kPixelDetail,
};

constexpr uint32_t kLineLengths = 9;
constexpr uint32_t kMessageIDs = 50;
constexpr uint32_t kPixelTypes = 3;
constexpr uint32_t kPixelRows = 500;
constexpr uint32_t kUnlocked = 2;
constexpr uint32_t kLocked = 1;
// Rows of the NTCIP module table that carry the serial numbers.
constexpr uint32_t kControllerModuleRow = 1;
constexpr uint32_t kSignModuleRow = 6;

// The scalars that are a plain database object.
struct plain {
    uint8_t column;
    stored where;
};
const plain kPlain[] = {
    {kDisplayMode, {nv::quorDisplayMode, true, false}},
    {kMemoryMgmtRequest, {vol::quorResetOption, false, false}},
    {kShutOffTemp, {nv::quorShutOffTemp, true, false}},
    {kEmergencyMessage, {nv::quorEmergencyMessage, true, true}},
    {kModuleID, {nv::quorModuleID, true, false}},
    {kEnableRealTimePixelDiagnostics, {nv::quorEnableRealTimePixelDiagnostics, true, false}},
    {kLCDAdminPassword, {nv::quorLCDAdminPassword, true, false}},
    {kLegibilityRatio, {vol::quorLegibilityRatio, false, false}},
    {kLegibilityRatioThreshold, {nv::quorLegibilityRatioThreshold, true, false}},
    {kFrameRate, {nv::quorFrameRate, true, false}},
    {kBitsPerColour, {nv::quorBitsPerColour, true, false}},
    {kCANBaudRate, {nv::quorCANBaudRate, true, false}},
    {kCANMaxLineLength, {nv::quorCANMaxLineLength, true, false}},
    {kSpecialFeatureSet, {nv::quorSpecialFeatureSet, true, false}},
    {kModTimeout, {nv::quorModTimeout, true, false}},
    {kPhotocellScale, {nv::quorPhotocellScale, true, false}},
    {kHeartBeatThreshold, {nv::quorHeartBeatThreshold, true, false}},
    {kBayHeight, {nv::quorMPSCBayHeightInModules, true, false}},
    {kBayWidth, {nv::quorMPSCBayWidthInModules, true, false}},
    {kNumLineLengths, {vol::quorNumLineLengths, false, false}},
    {kNumMessageIDs, {nv::quorNumMessageIDs, true, false}},
};

const stored* plain_of(uint8_t column)
{
    for (const plain& p : kPlain)
        if (p.column == column)
            return &p.where;
    return nullptr;
}

// --- activation by message number

// memory type << 16 | message number of the running message.
uint32_t running_message()
{
    uint32_t length = 0;
    const uint8_t* id = g_pDataBase->GetString(nv::dmsMsgTableSource.offset, 4, g_pDataBase->mib_nv, &length);
    uint32_t value = id && length >= 3 ? uint32_t(id[0]) << 16 | uint32_t(id[1]) << 8 | id[2] : 0;
    monitor_printf_debug("\nReturn current message %X\n", value);
    return value;
}

// Asks the display for the message named by number: slot 6 gets a request
// of the stored CRC (0 when the message has none), which the display
// arbitrates and validates as any other.
void activate_by_number(uint32_t v)
{
    uint32_t type = v <= 4095 ? v >> 8 : (v >> 16) & 0xFF;
    uint32_t number = v <= 4095 ? v & 0xFF : v & 0xFFFF;
    char oid[64];
    int n = std::snprintf(oid, sizeof oid, "1.3.6.1.4.1.1206.4.2.3.5.8.1.5.%u.%u", type, number);
    uint32_t crc = 0;
    if (n <= 0 || !snmp_local_get_int(oid, static_cast<uint32_t>(n), &crc))
        crc = 0;

    CMsgActivationCode code;
    code.m_wDuration = 65535;
    code.m_byPriority = 255;
    code.m_byMemoryType = static_cast<uint8_t>(type);
    code.m_wMessageNumber = static_cast<uint16_t>(number);
    code.m_wCRC = static_cast<uint16_t>(crc);
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(code.m_bySource, loopback, sizeof loopback);
    code.Encode();
    monitor_printf_debug("Activate message %d:%d\n", static_cast<int>(type), static_cast<int>(number));

    // Source mode and requester first: the code's write posts the letter on
    // which the display takes the slot.
    constexpr uint32_t kSlot = 6;
    constexpr uint32_t kCentral = 2;
    write_value(vol::activationSlotSourceMode(kSlot), false, kCentral);
    write_value(vol::activationSlotReason(kSlot), false, kCentral);
    write_string(vol::activationSlotCode(kSlot), false, code.m_encoded, MSG_ACTIVATION_CODE_SIZE);
}

// --- storage health

uint32_t flash_dead_space()
{
    int32_t dead = mon_tfsctrl(TFS_CTRL_DEAD, 0, 0);
    int32_t available = mon_tfsctrl(TFS_CTRL_FREE, 0, 0);
    if (dead < 0)
        dead = 0;
    if (available < 0)
        available = 0;
    // A flash that reports no space at all has no dead space either.
    int64_t total = int64_t(dead) + available;
    int32_t percent = total > 0 ? static_cast<int32_t>(int64_t(dead) * 100 / total) : 0;
    monitor_printf_debug("Dead: %d, Av: %d, Per: %d\n", static_cast<int>(dead), static_cast<int>(available),
                         static_cast<int>(percent));
    write_value(vol::quorFlashDeadSpace, false, static_cast<uint32_t>(percent));
    return read_value(vol::quorFlashDeadSpace, false);
}

uint32_t database_fill()
{
    uint32_t percent = snmp_db_fill_percent(g_pDataBase);
    monitor_printf_debug("DB %%: %d\n", static_cast<int>(percent));
    return percent;
}

// "SN: 1234", or "SN: ----" while the number is not set, into the module
// table row of the controller or the sign.
void module_serial_text(uint32_t row, uint32_t serial)
{
    char text[24];
    int n = serial == 0 ? std::snprintf(text, sizeof text, "SN: ----")
                        : std::snprintf(text, sizeof text, "SN: %d", static_cast<int>(serial));
    if (n > 0)
        write_string(vol::moduleVersion(row), false, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(n));
}

// --- handlers

uintptr_t* var_quorDisplayMode(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                               uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0 || row->column != kDisplayMode)
        return nullptr;
    return serve(*plain_of(kDisplayMode), operation, value_length, record, index);
}

uintptr_t* var_quorSign(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    const bool commit = committing(operation);
    const uint32_t v = g_snmp_set_value.integer;
    switch (row->column) {
    case kConfigObjectsLock: {
        const stored s{nv::quorMessageTableMode, true, false};
        if (commit && write(s, record, index) == DB_OK) {
            // Only this write changes the overrides; a start leaves them off.
            if (v == kUnlocked)
                snmp_mib_set_write_override(1);
            else if (v == kLocked)
                snmp_mib_set_write_override(0);
        }
        return answer(s, value_length, record, index);
    }
    case kActivateMessage:
        if (commit)
            activate_by_number(v);
        return answer_integer(running_message(), value_length, record, index);
    case kControllerSerialNum:
    case kSignSerialNum: {
        const bool controller = row->column == kControllerSerialNum;
        const stored s{controller ? nv::quorControllerSerialNum : nv::quorSignSerialNum, true, false};
        if (commit && write(s, record, index) == DB_OK)
            module_serial_text(controller ? kControllerModuleRow : kSignModuleRow, v);
        return answer(s, value_length, record, index);
    }
    case kFlashDeadSpace:
        return answer_integer(flash_dead_space(), value_length, record, index);
    case kDatabaseFill:
        return answer_integer(database_fill(), value_length, record, index);
    default:
        break;
    }
    const stored* s = plain_of(row->column);
    if (!s || row->column == kDisplayMode || row->column == kBayHeight || row->column == kBayWidth ||
        row->column == kNumLineLengths || row->column == kNumMessageIDs)
        return nullptr;
    return serve(*s, operation, value_length, record, index);
}

uintptr_t* var_quorSignConfig(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                              uint32_t* value_length, snmp_request* record, int index)
{
    monitor_printf("inside quorSignConfig:\n");
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (row->column != kBayHeight && row->column != kBayWidth && row->column != kNumLineLengths)
        return nullptr;
    return serve(*plain_of(row->column), operation, value_length, record, index);
}

uintptr_t* var_quorLineLengthTable(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    monitor_printf("inside var_quorLineLengthTable:\n");
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kLineLengths) != 0)
        return nullptr;
    const uint32_t i = index_of(row, name);
    switch (row->column) {
    case kLineLengthIndex:
        monitor_printf("inside var_quorLineLengthTable: QUORLINELENGTHINDEX\n");
        return answer_integer(i, value_length, record, index);
    case kLineLength:
        monitor_printf("inside var_quorLineLengthTable: QUORLINELENGTH\n");
        return serve({nv::quorLineLength(i - 1), true, false}, operation, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_quorMessageIDs(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                              uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0 || row->column != kNumMessageIDs)
        return nullptr;
    return answer(*plain_of(kNumMessageIDs), value_length, record, index);
}

uintptr_t* var_quorMessageIDEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kMessageIDs) != 0)
        return nullptr;
    const uint32_t i = index_of(row, name);
    switch (row->column) {
    case kMessageIDIndex:
        return answer_integer(i, value_length, record, index);
    case kMessageIDCode:
        return serve({nv::quorMessageIDCode(i - 1), true, true}, operation, value_length, record, index);
    default:
        return nullptr;
    }
}

// Rows of detection type t, index i. A walk passes over type 1 (the types a
// manager reads are the pixel test's and the message display's); a get
// serves it.
uintptr_t* var_quorPixelFailureDetailEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                           uint32_t* value_length, snmp_request* record, int index)
{
    static const uint32_t kHighest[2] = {kPixelTypes, kPixelRows};
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kHighest, 2) != 0)
        return nullptr;
    uint32_t* at = name + row->oid_length - 1;
    if (operation == MIB_GETNEXT && at[0] == 1) {
        at[0] = 2;
        at[1] = 1;
    }
    const uint32_t t = at[0], i = at[1];
    switch (row->column) {
    case kPixelType:
        return answer_integer(t, value_length, record, index);
    case kPixelIndex:
        return answer_integer(i, value_length, record, index);
    case kPixelDetail:
        return answer_object(vol::quorPixelFailureDetail((t - 1) * kPixelRows + (i - 1)), false, value_length, record,
                             index);
    default:
        return nullptr;
    }
}

#define QUOR 1, 3, 6, 1, 4, 1, 1206, 3, 11
constexpr uint32_t kOidDisplayMode[] = {QUOR, 1, 1, 0};
constexpr uint32_t kOidPixelType[] = {QUOR, 1, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidPixelIndex[] = {QUOR, 1, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidPixelDetail[] = {QUOR, 1, 2, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidMemoryMgmtRequest[] = {QUOR, 2, 3, 0};
constexpr uint32_t kOidShutOffTemp[] = {QUOR, 2, 4, 0};
constexpr uint32_t kOidEmergencyMessage[] = {QUOR, 2, 5, 0};
constexpr uint32_t kOidConfigObjectsLock[] = {QUOR, 2, 8, 0};
constexpr uint32_t kOidModuleID[] = {QUOR, 2, 9, 0};
constexpr uint32_t kOidEnableRealTimePixelDiagnostics[] = {QUOR, 2, 10, 0};
constexpr uint32_t kOidLCDAdminPassword[] = {QUOR, 2, 12, 0};
constexpr uint32_t kOidLegibilityRatio[] = {QUOR, 2, 13, 0};
constexpr uint32_t kOidLegibilityRatioThreshold[] = {QUOR, 2, 14, 0};
constexpr uint32_t kOidNumMessageIDs[] = {QUOR, 2, 18, 1, 0};
constexpr uint32_t kOidMessageIDIndex[] = {QUOR, 2, 18, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidMessageIDCode[] = {QUOR, 2, 18, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidFrameRate[] = {QUOR, 2, 22, 0};
constexpr uint32_t kOidBitsPerColour[] = {QUOR, 2, 23, 0};
constexpr uint32_t kOidCANBaudRate[] = {QUOR, 2, 24, 0};
constexpr uint32_t kOidCANMaxLineLength[] = {QUOR, 2, 25, 0};
constexpr uint32_t kOidActivateMessage[] = {QUOR, 2, 27, 0};
constexpr uint32_t kOidControllerSerialNum[] = {QUOR, 2, 28, 0};
constexpr uint32_t kOidSignSerialNum[] = {QUOR, 2, 29, 0};
constexpr uint32_t kOidBayHeight[] = {QUOR, 2, 32, 1, 0};
constexpr uint32_t kOidBayWidth[] = {QUOR, 2, 32, 2, 0};
constexpr uint32_t kOidNumLineLengths[] = {QUOR, 2, 32, 3, 0};
constexpr uint32_t kOidLineLengthIndex[] = {QUOR, 2, 32, 4, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidLineLength[] = {QUOR, 2, 32, 4, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidSpecialFeatureSet[] = {QUOR, 2, 33, 0};
constexpr uint32_t kOidFlashDeadSpace[] = {QUOR, 2, 34, 0};
constexpr uint32_t kOidDatabaseFill[] = {QUOR, 2, 35, 0};
constexpr uint32_t kOidModTimeout[] = {QUOR, 2, 36, 0};
constexpr uint32_t kOidPhotocellScale[] = {QUOR, 2, 37, 0};
constexpr uint32_t kOidHeartBeatThreshold[] = {QUOR, 2, 38, 0};
#undef QUOR

constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t I = MIB_INTEGER;
constexpr uint8_t S = MIB_OCTET_STRING;

constexpr uint32_t kMaskTest = 0x100000;
constexpr uint32_t kMaskMemory = 0x400000;
constexpr uint32_t kMaskTuning = 0x8000000;
constexpr uint32_t kMaskMessages = 0x20000000;
constexpr uint32_t kMaskConfig = 0x2000000;
constexpr uint32_t kMaskBay = 0x1000;

constexpr mib_constraint kAny = mib_unsigned_range(0, 0xFFFFFFFFu);
constexpr mib_constraint kByte = mib_unsigned_range(0, 255);
constexpr mib_constraint kWord = mib_unsigned_range(0, 65535);
constexpr mib_constraint kPercent = mib_unsigned_range(0, 100);
constexpr mib_constraint kMessageID = mib_length_range(5, 5);

const mib_variable kRows[] = {
    mib_row(kOidDisplayMode, I, kDisplayMode, RW, var_quorDisplayMode, 0, kMaskTest, mib_unsigned_range(1, 255)),
    mib_row(kOidPixelType, I, kPixelType, RO, var_quorPixelFailureDetailEntry, 2, 0, mib_unsigned_range(1, 65535)),
    mib_row(kOidPixelIndex, I, kPixelIndex, RO, var_quorPixelFailureDetailEntry, 2, 0, mib_unsigned_range(1, 65535)),
    mib_row(kOidPixelDetail, I, kPixelDetail, RO, var_quorPixelFailureDetailEntry, 2, 0, mib_unsigned_range(1, 65535)),
    mib_row(kOidMemoryMgmtRequest, I, kMemoryMgmtRequest, RW, var_quorSign, 0, kMaskMemory, mib_unsigned_range(1, 8)),
    mib_row(kOidShutOffTemp, I, kShutOffTemp, RW, var_quorSign, 0, kMaskTuning, kByte),
    mib_row(kOidEmergencyMessage, S, kEmergencyMessage, RW, var_quorSign, 0, kMaskMessages, kMessageID),
    mib_row(kOidConfigObjectsLock, I, kConfigObjectsLock, RW, var_quorSign, 0, kMaskConfig, mib_unsigned_range(1, 2)),
    mib_row(kOidModuleID, I, kModuleID, RW, var_quorSign, 0, kMaskConfig, kWord),
    mib_row(kOidEnableRealTimePixelDiagnostics, I, kEnableRealTimePixelDiagnostics, RW, var_quorSign, 0, kMaskTuning,
            kByte),
    mib_row(kOidLCDAdminPassword, I, kLCDAdminPassword, RW, var_quorSign, 0, 0, kAny),
    mib_row(kOidLegibilityRatio, I, kLegibilityRatio, RO, var_quorSign, 0, 0, kPercent),
    mib_row(kOidLegibilityRatioThreshold, I, kLegibilityRatioThreshold, RW, var_quorSign, 0, kMaskTuning, kPercent),
    mib_row(kOidNumMessageIDs, I, kNumMessageIDs, RO, var_quorMessageIDs, 0, 0, kByte),
    mib_row(kOidMessageIDIndex, I, kMessageIDIndex, RO, var_quorMessageIDEntry, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kOidMessageIDCode, S, kMessageIDCode, RW, var_quorMessageIDEntry, 1, kMaskMessages, kMessageID),
    mib_row(kOidFrameRate, I, kFrameRate, RW, var_quorSign, 0, 0, mib_unsigned_range(0, 10)),
    mib_row(kOidBitsPerColour, I, kBitsPerColour, RW, var_quorSign, 0, 0, kByte),
    mib_row(kOidCANBaudRate, I, kCANBaudRate, RW, var_quorSign, 0, 0, mib_unsigned_range(1, 7)),
    mib_row(kOidCANMaxLineLength, I, kCANMaxLineLength, RW, var_quorSign, 0, 0, mib_unsigned_range(0, 63)),
    mib_row(kOidActivateMessage, I, kActivateMessage, RW, var_quorSign, 0, 0, mib_unsigned_range(1, 524287)),
    mib_row(kOidControllerSerialNum, I, kControllerSerialNum, RW, var_quorSign, 0, 0,
            mib_unsigned_range(0, 2147483647)),
    mib_row(kOidSignSerialNum, I, kSignSerialNum, RW, var_quorSign, 0, 0, mib_unsigned_range(0, 2147483647)),
    mib_row(kOidBayHeight, I, kBayHeight, RW, var_quorSignConfig, 0, kMaskBay, kByte),
    mib_row(kOidBayWidth, I, kBayWidth, RW, var_quorSignConfig, 0, kMaskBay, kByte),
    mib_row(kOidNumLineLengths, I, kNumLineLengths, RO, var_quorSignConfig, 0, kMaskBay, kByte),
    mib_row(kOidLineLengthIndex, I, kLineLengthIndex, RO, var_quorLineLengthTable, 1, kMaskBay, kByte),
    mib_row(kOidLineLength, I, kLineLength, RW, var_quorLineLengthTable, 1, kMaskBay, kByte),
    mib_row(kOidSpecialFeatureSet, I, kSpecialFeatureSet, RW, var_quorSign, 0, 0, kAny),
    mib_row(kOidFlashDeadSpace, I, kFlashDeadSpace, RO, var_quorSign, 0, 0, kPercent),
    mib_row(kOidDatabaseFill, I, kDatabaseFill, RO, var_quorSign, 0, 0, kPercent),
    mib_row(kOidModTimeout, I, kModTimeout, RO, var_quorSign, 0, kMaskBay, kWord),
    mib_row(kOidPhotocellScale, I, kPhotocellScale, RW, var_quorSign, 0, kMaskBay, mib_unsigned_range(1, 255)),
    mib_row(kOidHeartBeatThreshold, I, kHeartBeatThreshold, RW, var_quorSign, 0, kMaskBay, kWord),
};

}  // namespace

const mib_group g_quor_sign_group = {"quor", kRows, sizeof kRows / sizeof kRows[0]};
