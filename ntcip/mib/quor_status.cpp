// The private peripheral, power, status and diagnostic objects (quor
// subtree): the peripheral configuration table with its edit mode, the
// climate run request, the low-power settings, the status group and the
// display modules' diagnostic tables. The peripheral task and the display
// fill and use them; the handlers store and report.
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/quor_common.h"

using namespace quor_mib;

namespace {

enum : uint8_t {
    kTableMode = 1,
    kTableSize,
    kPeripheralsLoaded,
    kClimateRunRequest,
    kLowPowerNumLevels,
    kLowPowerDuration,
    kLowPowerState,
    kFailedPixelsDisplay,
    kFailedPixelsTest,
    kLCDPassword,
    kSignHumidity,
    kAmbientHumidity,
    kCabinetHumidity,
    kLastRequester,
    kDesiredBrightness,
    kBrightnessLimit,
    kDiagTableCount,
    kDiagLineSize,
    kDiagGroupCount,
    // Peripheral table.
    kPeripheralIndex,
    kPeripheralID,
    kPeripheralParameters,
    kPeripheralStatus,
    kPeripheralAuxIO,
    // Low-power table.
    kLowPowerIndex,
    kLowPowerPixelsOn,
    kLowPowerBrightness,
    // Status words.
    kStatusWordIndex,
    kStatusWord,
    // Diagnostic tables, their lines and their groups.
    kDiagIndex,
    kDiagTitle,
    kDiagWidth,
    kDiagHeight,
    kDiagColourKind,
    kDiagKind,
    kDiagFace,
    kDiagSizeText,
    kDiagLineTable,
    kDiagLineNumber,
    kDiagLine,
    kDiagGroupIndex,
    kDiagGroupFirst,
    kDiagGroupLast,
};

constexpr uint32_t kPeripheralSlots = 255;
constexpr uint32_t kLowPowerRows = 5;
constexpr uint32_t kStatusWords = 4;
constexpr uint32_t kDiagTables = 26;
constexpr uint32_t kDiagLines = 63;
constexpr uint32_t kDiagGroups = 2;
constexpr uint32_t kTableOpen = 1;  // quorPeripheralTableMode: the records may change

struct plain {
    uint8_t column;
    stored where;
};
const plain kPlain[] = {
    {kTableMode, {vol::peripheralTableLock, false, false}},
    {kTableSize, {vol::quorPeripheralTableSize, false, false}},
    {kPeripheralsLoaded, {vol::peripheralConfiguredCount, false, false}},
    {kClimateRunRequest, {vol::maintenanceHeaterRequest, false, false}},
    {kLowPowerNumLevels, {nv::quorPixelDimLevels, true, false}},
    {kLowPowerDuration, {nv::quorLowPowerDuration, true, false}},
    {kLowPowerState, {vol::quorPowerModeStatus, false, false}},
    {kFailedPixelsDisplay, {vol::quorFailedPixelsDisplay, false, false}},
    {kFailedPixelsTest, {vol::quorFailedPixelsTest, false, false}},
    {kLCDPassword, {nv::quorLCDPassword, true, false}},
    {kSignHumidity, {vol::humiditySignAverage, false, false}},
    {kAmbientHumidity, {vol::quorAmbientHumidity, false, false}},
    {kCabinetHumidity, {vol::quorCabinetHumidity, false, false}},
    {kLastRequester, {vol::quorActivationReason, false, false}},
    {kDesiredBrightness, {vol::quorRequestedBrightness, false, false}},
    {kBrightnessLimit, {vol::quorBrightnessLimitReason, false, false}},
    {kDiagTableCount, {vol::quorDiagTableCount, false, false}},
    {kDiagLineSize, {nv::quorDiagLineSize, true, false}},
    {kDiagGroupCount, {vol::quorDiagFaceCount, false, false}},
};

const stored* plain_of(uint8_t column)
{
    for (const plain& p : kPlain)
        if (p.column == column)
            return &p.where;
    return nullptr;
}

// The scalars of every branch of this group (peripheral configuration,
// climate, power mode, status, diagnostic configuration).
uintptr_t* var_quorStatusScalar(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    const stored* s = plain_of(row->column);
    return s ? serve(*s, operation, value_length, record, index) : nullptr;
}

// The configuration records change only while the table is open for
// changes: a committed write of a closed table answers no value (the SET
// fails with noSuchName) and writes nothing.
uintptr_t* var_quorPeripheralEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kPeripheralSlots) != 0)
        return nullptr;
    const uint32_t slot = index_of(row, name) - 1;
    stored s{};
    switch (row->column) {
    case kPeripheralIndex:
        return answer_integer(slot + 1, value_length, record, index);
    case kPeripheralID:
        s = {nv::quorPeripheralID(slot), true, false};
        break;
    case kPeripheralParameters:
        s = {nv::quorPeripheralParameters(slot), true, true};
        break;
    case kPeripheralStatus:
        s = {vol::peripheralLoadStatus(slot), false, false};
        break;
    case kPeripheralAuxIO:
        s = {nv::quorPeripheralAuxIOTableIndex(slot), true, true};
        break;
    default:
        return nullptr;
    }
    if (committing(operation)) {
        if (read_value(vol::peripheralTableLock, false) != kTableOpen)
            return nullptr;
        // A freed slot keeps no parameters.
        if (write(s, record, index) == DB_OK && row->column == kPeripheralID && g_snmp_set_value.integer == 0)
            write_string(nv::quorPeripheralParameters(slot), true, nullptr, 0);
    }
    return answer(s, value_length, record, index);
}

uintptr_t* var_quorLowPowerEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                 uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kLowPowerRows) != 0)
        return nullptr;
    const uint32_t r = index_of(row, name) - 1;
    switch (row->column) {
    case kLowPowerIndex:
        // Writable, but a SET stores nothing and answers the index.
        return answer_integer(r + 1, value_length, record, index);
    case kLowPowerPixelsOn:
        return serve({nv::quorPixelDimPercent(r), true, false}, operation, value_length, record, index);
    case kLowPowerBrightness:
        return serve({nv::quorPixelDimBrightness(r), true, false}, operation, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_quorStatusWordEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kStatusWords) != 0)
        return nullptr;
    const uint32_t j = index_of(row, name);
    switch (row->column) {
    case kStatusWordIndex:
        return answer_integer(j, value_length, record, index);
    case kStatusWord:
        return answer_object(vol::quorStatusWord(j - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_quorDiagIndexEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kDiagTables) != 0)
        return nullptr;
    const uint32_t t = index_of(row, name) - 1;
    switch (row->column) {
    case kDiagIndex:
        return answer_integer(t + 1, value_length, record, index);
    case kDiagTitle:
        return answer_string(vol::quorDiagTableTitle(t), false, value_length, record, index);
    case kDiagWidth:
        // The one-byte dimension of the registration (the registrar's
        // quorDiagTableHeight object).
        return answer_object(vol::quorDiagTableHeight(t), false, value_length, record, index);
    case kDiagHeight:
        return answer_object(vol::quorDiagTableWidth(t), false, value_length, record, index);
    case kDiagColourKind:
        return answer_object(vol::quorDiagTableColour(t), false, value_length, record, index);
    case kDiagKind:
        return answer_object(vol::quorDiagTableKind(t), false, value_length, record, index);
    case kDiagFace:
        return answer_object(vol::quorDiagTableFace(t), false, value_length, record, index);
    case kDiagSizeText:
        return answer_string(vol::quorDiagTableTiming(t), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_quorDiagLineEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                 uint32_t* value_length, snmp_request* record, int index)
{
    static const uint32_t kHighest[2] = {kDiagTables, kDiagLines};
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kHighest, 2) != 0)
        return nullptr;
    const uint32_t* at = name + row->oid_length - 1;
    switch (row->column) {
    case kDiagLineTable:
        return answer_integer(at[0], value_length, record, index);
    case kDiagLineNumber:
        return answer_integer(at[1], value_length, record, index);
    case kDiagLine:
        return answer_string(vol::quorDiagTableLine(at[0] - 1, at[1] - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_quorDiagGroupEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kDiagGroups) != 0)
        return nullptr;
    const uint32_t g = index_of(row, name);
    switch (row->column) {
    case kDiagGroupIndex:
        return answer_integer(g, value_length, record, index);
    case kDiagGroupFirst:
        return answer_object(vol::quorDiagFaceFirstTable(g - 1), false, value_length, record, index);
    case kDiagGroupLast:
        return answer_object(vol::quorDiagFaceLastTable(g - 1), false, value_length, record, index);
    default:
        return nullptr;
    }
}

#define QUOR 1, 3, 6, 1, 4, 1, 1206, 3, 11
constexpr uint32_t kOidTableMode[] = {QUOR, 2, 15, 1, 0};
constexpr uint32_t kOidTableSize[] = {QUOR, 2, 15, 2, 0};
constexpr uint32_t kOidPeripheralIndex[] = {QUOR, 2, 15, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidPeripheralID[] = {QUOR, 2, 15, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidPeripheralParameters[] = {QUOR, 2, 15, 3, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidPeripheralStatus[] = {QUOR, 2, 15, 3, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kOidPeripheralAuxIO[] = {QUOR, 2, 15, 3, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kOidPeripheralsLoaded[] = {QUOR, 2, 15, 4, 0};
constexpr uint32_t kOidClimateRunRequest[] = {QUOR, 2, 20, 0};
constexpr uint32_t kOidLowPowerNumLevels[] = {QUOR, 2, 30, 1, 0};
constexpr uint32_t kOidLowPowerDuration[] = {QUOR, 2, 30, 2, 0};
constexpr uint32_t kOidLowPowerIndex[] = {QUOR, 2, 30, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidLowPowerPixelsOn[] = {QUOR, 2, 30, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidLowPowerBrightness[] = {QUOR, 2, 30, 3, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidLowPowerState[] = {QUOR, 2, 30, 4, 0};
constexpr uint32_t kOidFailedPixelsDisplay[] = {QUOR, 5, 3, 0};
constexpr uint32_t kOidFailedPixelsTest[] = {QUOR, 5, 4, 0};
constexpr uint32_t kOidLCDPassword[] = {QUOR, 5, 5, 0};
constexpr uint32_t kOidSignHumidity[] = {QUOR, 5, 7, 0};
constexpr uint32_t kOidAmbientHumidity[] = {QUOR, 5, 8, 0};
constexpr uint32_t kOidCabinetHumidity[] = {QUOR, 5, 9, 0};
constexpr uint32_t kOidStatusWordIndex[] = {QUOR, 5, 10, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidStatusWord[] = {QUOR, 5, 10, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidLastRequester[] = {QUOR, 5, 11, 0};
constexpr uint32_t kOidDesiredBrightness[] = {QUOR, 5, 12, 0};
constexpr uint32_t kOidBrightnessLimit[] = {QUOR, 5, 13, 0};
constexpr uint32_t kOidDiagTableCount[] = {QUOR, 11, 1, 0};
constexpr uint32_t kOidDiagIndex[] = {QUOR, 11, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagTitle[] = {QUOR, 11, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagWidth[] = {QUOR, 11, 2, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagHeight[] = {QUOR, 11, 2, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagColourKind[] = {QUOR, 11, 2, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagKind[] = {QUOR, 11, 2, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagFace[] = {QUOR, 11, 2, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagSizeText[] = {QUOR, 11, 2, 1, 8, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagLineTable[] = {QUOR, 11, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagLineNumber[] = {QUOR, 11, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagLine[] = {QUOR, 11, 3, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagLineSize[] = {QUOR, 11, 4, 0};
constexpr uint32_t kOidDiagGroupCount[] = {QUOR, 11, 5, 0};
constexpr uint32_t kOidDiagGroupIndex[] = {QUOR, 11, 6, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagGroupFirst[] = {QUOR, 11, 6, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidDiagGroupLast[] = {QUOR, 11, 6, 1, 3, MIB_PLACEHOLDER};
#undef QUOR

constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t I = MIB_INTEGER;
constexpr uint8_t S = MIB_OCTET_STRING;
constexpr var_handler H = var_quorStatusScalar;
constexpr var_handler PE = var_quorPeripheralEntry;
constexpr var_handler LP = var_quorLowPowerEntry;
constexpr var_handler SW = var_quorStatusWordEntry;
constexpr var_handler DI = var_quorDiagIndexEntry;
constexpr var_handler DL = var_quorDiagLineEntry;
constexpr var_handler DG = var_quorDiagGroupEntry;

constexpr uint32_t kMaskConfig = 0x2000000;
constexpr uint32_t kMaskTest = 0x100000;

constexpr mib_constraint kAny = mib_unsigned_range(0, 0xFFFFFFFFu);
constexpr mib_constraint kByte = mib_unsigned_range(0, 255);
constexpr mib_constraint kWord = mib_unsigned_range(0, 65535);
constexpr mib_constraint kPercent = mib_unsigned_range(0, 100);
constexpr mib_constraint kOneTo255 = mib_unsigned_range(1, 255);
constexpr mib_constraint kOneTwoThree = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {1, 2, 3}};

const mib_variable kRows[] = {
    mib_row(kOidTableMode, I, kTableMode, RW, H, 0, kMaskConfig, kByte),
    mib_row(kOidTableSize, I, kTableSize, RO, H, 0, 0, kWord),
    mib_row(kOidPeripheralIndex, I, kPeripheralIndex, RO, PE, 1, 0, mib_unsigned_range(1, 65535)),
    mib_row(kOidPeripheralID, I, kPeripheralID, RW, PE, 1, kMaskConfig, kWord),
    mib_row(kOidPeripheralParameters, S, kPeripheralParameters, RW, PE, 1, kMaskConfig, mib_length_range(0, 80)),
    mib_row(kOidPeripheralStatus, I, kPeripheralStatus, RW, PE, 1, kMaskConfig, kByte),
    mib_row(kOidPeripheralAuxIO, S, kPeripheralAuxIO, RW, PE, 1, kMaskConfig, mib_length_range(0, 255)),
    mib_row(kOidPeripheralsLoaded, I, kPeripheralsLoaded, RO, H, 0, 0, kWord),
    mib_row(kOidClimateRunRequest, I, kClimateRunRequest, RW, H, 0, kMaskTest, mib_unsigned_range(1, 2)),
    mib_row(kOidLowPowerNumLevels, I, kLowPowerNumLevels, RW, H, 0, 0, mib_unsigned_range(0, 5)),
    mib_row(kOidLowPowerDuration, I, kLowPowerDuration, RW, H, 0, 0, kWord),
    mib_row(kOidLowPowerIndex, I, kLowPowerIndex, RW, LP, 1, 0, mib_unsigned_range(1, 5)),
    mib_row(kOidLowPowerPixelsOn, I, kLowPowerPixelsOn, RW, LP, 1, 0, kPercent),
    mib_row(kOidLowPowerBrightness, I, kLowPowerBrightness, RW, LP, 1, 0, kPercent),
    mib_row(kOidLowPowerState, I, kLowPowerState, RO, H, 0, 0, kOneTwoThree),
    mib_row(kOidFailedPixelsDisplay, I, kFailedPixelsDisplay, RO, H, 0, 0, kWord),
    mib_row(kOidFailedPixelsTest, I, kFailedPixelsTest, RO, H, 0, 0, kWord),
    mib_row(kOidLCDPassword, I, kLCDPassword, RW, H, 0, 0, kAny),
    mib_row(kOidSignHumidity, I, kSignHumidity, RO, H, 0, 0, kPercent),
    mib_row(kOidAmbientHumidity, I, kAmbientHumidity, RO, H, 0, 0, kPercent),
    mib_row(kOidCabinetHumidity, I, kCabinetHumidity, RO, H, 0, 0, kPercent),
    mib_row(kOidStatusWordIndex, I, kStatusWordIndex, RO, SW, 1, 0, mib_unsigned_range(0, 10)),
    mib_row(kOidStatusWord, I, kStatusWord, RO, SW, 1, 0, kWord),
    mib_row(kOidLastRequester, I, kLastRequester, RO, H, 0, 0, mib_unsigned_range(0, 7)),
    mib_row(kOidDesiredBrightness, I, kDesiredBrightness, RO, H, 0, 0, kByte),
    mib_row(kOidBrightnessLimit, I, kBrightnessLimit, RO, H, 0, 0, kOneTwoThree),
    mib_row(kOidDiagTableCount, I, kDiagTableCount, RO, H, 0, 0, kByte),
    mib_row(kOidDiagIndex, I, kDiagIndex, RO, DI, 1, 0, kOneTo255),
    mib_row(kOidDiagTitle, S, kDiagTitle, RO, DI, 1, 0, mib_length_range(0, 64)),
    mib_row(kOidDiagWidth, I, kDiagWidth, RO, DI, 1, 0, kOneTo255),
    mib_row(kOidDiagHeight, I, kDiagHeight, RO, DI, 1, 0, mib_unsigned_range(1, 65535)),
    mib_row(kOidDiagColourKind, I, kDiagColourKind, RO, DI, 1, 0,
            {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 4, {1, 2, 3, 4}}),
    mib_row(kOidDiagKind, I, kDiagKind, RO, DI, 1, 0, kOneTo255),
    mib_row(kOidDiagFace, I, kDiagFace, RO, DI, 1, 0, kOneTo255),
    mib_row(kOidDiagSizeText, S, kDiagSizeText, RO, DI, 1),
    mib_row(kOidDiagLineTable, I, kDiagLineTable, RO, DL, 2, 0, kOneTo255),
    mib_row(kOidDiagLineNumber, I, kDiagLineNumber, RO, DL, 2, 0, kOneTo255),
    mib_row(kOidDiagLine, S, kDiagLine, RO, DL, 2),
    mib_row(kOidDiagLineSize, I, kDiagLineSize, RW, H, 0, 0, mib_unsigned_range(1, 1500)),
    mib_row(kOidDiagGroupCount, I, kDiagGroupCount, RO, H, 0, 0, kOneTo255),
    mib_row(kOidDiagGroupIndex, I, kDiagGroupIndex, RO, DG, 1, 0, kOneTo255),
    mib_row(kOidDiagGroupFirst, I, kDiagGroupFirst, RO, DG, 1, 0, kOneTo255),
    mib_row(kOidDiagGroupLast, I, kDiagGroupLast, RO, DG, 1, 0, kOneTo255),
};

}  // namespace

const mib_group g_quor_status_group = {"quor", kRows, sizeof kRows / sizeof kRows[0]};
