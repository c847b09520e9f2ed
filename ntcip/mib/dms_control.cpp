// The sign control objects (signControl, node 6 of the sign subtree): the
// control mode, the reset request, message activation, the messages shown
// after power recovery, reset, communication loss, power loss and the end
// of a duration, memory management, and why the last activation failed.
// Every value lives in the parameter database; the handler keeps no state.
//
// The handler only stores: the activation of a code written into
// dmsActivateMessage follows in request processing, right after the commit.
#include "ntcip/mib/dms_control.h"

#include <atomic>

#include "database/database.h"
#include "database/objects.h"
#include "frame/bus/letter.h"
#include "frame/bus/post_office.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/agent/request.h"

namespace {

std::atomic<bool> g_network_settings_changed{false};

// Column selectors, in the order of the group's objects.
enum : uint8_t {
    kControlMode = 0,
    kSWReset = 4,
    kActivateMessage = 8,
    kMessageTimeRemaining = 12,
    kMsgTableSource = 16,
    kMsgRequesterID = 20,
    kMsgSourceMode = 24,
    kShortPowerRecoveryMessage = 28,
    kLongPowerRecoveryMessage = 32,
    kShortPowerLossTime = 36,
    kResetMessage = 40,
    kCommunicationsLossMessage = 44,
    kTimeCommLoss = 48,
    kPowerLossMessage = 52,
    kEndDurationMessage = 56,
    kMemoryMgmt = 60,
    kActivateMsgError = 64,
    kMultiSyntaxError = 68,
    kMultiSyntaxErrorPosition = 72,
    kMultiOtherErrorDescription = 76,
    kPixelServiceDuration = 80,
    kPixelServiceFrequency = 84,
    kPixelServiceTime = 88,
    kMessageCodeOfActivationError = 92,
    kActivateMessageState = 96,
};

// Where each object lives, by column selector / 4.
struct object_def {
    db_object object;
    bool nv;
    bool text;
};
constexpr object_def kObjects[] = {
    {vol::dmsControlMode, false, false},
    {nv::dmsSWReset, true, false},
    {vol::dmsActivateMessage, false, true},  // what a set writes; a get reads the last activated code
    {nv::dmsMessageTimeRemaining, true, false},
    {nv::dmsMsgTableSource, true, true},
    {nv::dmsMsgRequesterID, true, false},
    {nv::dmsMsgSourceMode, true, false},
    {nv::dmsShortPowerRecoveryMessage, true, true},
    {nv::dmsLongPowerRecoveryMessage, true, true},
    {nv::dmsShortPowerLossTime, true, false},
    {nv::dmsResetMessage, true, true},
    {nv::dmsCommunicationsLossMessage, true, true},
    {nv::dmsTimeCommLoss, true, false},
    {nv::dmsPowerLossMessage, true, true},
    {nv::dmsEndDurationMessage, true, true},
    {vol::dmsMemoryMgmt, false, false},
    {nv::dmsActivateMsgError, true, false},
    {nv::dmsMultiSyntaxError, true, false},
    {nv::dmsMultiSyntaxErrorPosition, true, false},
    {nv::dmsMultiOtherErrorDescription, true, true},
    {vol::vmsPixelServiceDuration, false, false},
    {vol::vmsPixelServiceFrequency, false, false},
    {vol::vmsPixelServiceTime, false, false},
    {vol::dmsMessageCodeOfActivationError, false, true},
    {vol::dmsActivateMessageState, false, false},
};
constexpr uint32_t kObjectCount = sizeof kObjects / sizeof kObjects[0];
static_assert(kObjectCount * 4 == kActivateMessageState + 4u);

uintptr_t* cell_of(snmp_request* record, int index)
{
    static thread_local uintptr_t spare;  // calls without a record
    if (record && index >= 0 && index < static_cast<int>(SNMP_MAX_VARBINDS))
        return &record->varbinds[index].value_cell;
    return &spare;
}

uintptr_t* answer(CDataBase* db, const db_object& o, bool nv, bool text, uint32_t* value_length,
                  snmp_request* record, int index)
{
    uint8_t* area = nv ? db->mib_nv : db->mib_v;
    uintptr_t* cell = cell_of(record, index);
    if (text) {
        uint32_t length = 0;
        const uint8_t* bytes = db->GetString(o.offset, o.width, area, &length);
        *cell = reinterpret_cast<uintptr_t>(bytes);
        *value_length = bytes ? length : 0;
    } else {
        *cell = db->GetValue(o.offset, o.width, area, 0);
        *value_length = 4;
    }
    return cell;
}

// The commit of one object: the set value into the database.
void commit(CDataBase* db, uint8_t column, const object_def& d, snmp_request* record)
{
    uint8_t* area = d.nv ? db->mib_nv : db->mib_v;
    const mib_set_value& s = g_snmp_set_value;
    switch (column) {
    case kActivateMessage:
        // Not announced: the activation follows at once in this thread, and a
        // notice would make the display task arbitrate it a second time.
        db->SetString(d.object.offset, d.object.width, s.bytes, s.length, area, 0);
        return;
    case kControlMode: {
        // The database decides: only local may hand over to central override.
        uint32_t result = db->SetValue(d.object.offset, d.object.width, s.integer, area, DB_NOTIFY);
        if (result != DB_OK && record && record->error_status == 0)
            record->error_status = result;
        return;
    }
    case kSWReset:
        // Changed network settings are written out before the reset they wait for.
        if (snmp_network_settings_pending())
            g_post_office.Publish(MSG_NETWORK_CONFIG_CHANGED);
        break;
    default:
        break;
    }
    if (d.text)
        db->SetString(d.object.offset, d.object.width, s.bytes, s.length, area, DB_NOTIFY);
    else
        db->SetValue(d.object.offset, d.object.width, s.integer, area, DB_NOTIFY);
}

uintptr_t* var_signControl(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index)
{
    CDataBase* db = g_pDataBase;
    if (!db || header_exact(row, name, *name_length) != 0 || row->column % 4 != 0 ||
        row->column / 4u >= kObjectCount)
        return nullptr;
    const uint8_t column = row->column;
    const object_def& d = kObjects[column / 4u];
    const bool committing = operation == MIB_SET && g_snmp_commit_indicator == 1;

    if (committing)
        commit(db, column, d, record);

    if (column == kActivateMessage && !committing)
        return answer(db, nv::quorLastActivatedCode, true, true, value_length, record, index);
    uintptr_t* cell = answer(db, d.object, d.nv, d.text, value_length, record, index);
    // Memory management acts on a committed request only: a get or a walk
    // that passes the object must never clear message memory or carry out
    // a pending private request.
    if (column == kMemoryMgmt && committing)
        snmp_display_memory_management();
    return cell;
}

#define DMS 1, 3, 6, 1, 4, 1, 1206, 4, 2, 3, 6
constexpr uint32_t kOidControlMode[] = {DMS, 1, 0};
constexpr uint32_t kOidSWReset[] = {DMS, 2, 0};
constexpr uint32_t kOidActivateMessage[] = {DMS, 3, 0};
constexpr uint32_t kOidMessageTimeRemaining[] = {DMS, 4, 0};
constexpr uint32_t kOidMsgTableSource[] = {DMS, 5, 0};
constexpr uint32_t kOidMsgRequesterID[] = {DMS, 6, 0};
constexpr uint32_t kOidMsgSourceMode[] = {DMS, 7, 0};
constexpr uint32_t kOidShortPowerRecoveryMessage[] = {DMS, 8, 0};
constexpr uint32_t kOidLongPowerRecoveryMessage[] = {DMS, 9, 0};
constexpr uint32_t kOidShortPowerLossTime[] = {DMS, 10, 0};
constexpr uint32_t kOidResetMessage[] = {DMS, 11, 0};
constexpr uint32_t kOidCommunicationsLossMessage[] = {DMS, 12, 0};
constexpr uint32_t kOidTimeCommLoss[] = {DMS, 13, 0};
constexpr uint32_t kOidPowerLossMessage[] = {DMS, 14, 0};
constexpr uint32_t kOidEndDurationMessage[] = {DMS, 15, 0};
constexpr uint32_t kOidMemoryMgmt[] = {DMS, 16, 0};
constexpr uint32_t kOidActivateMsgError[] = {DMS, 17, 0};
constexpr uint32_t kOidMultiSyntaxError[] = {DMS, 18, 0};
constexpr uint32_t kOidMultiSyntaxErrorPosition[] = {DMS, 19, 0};
constexpr uint32_t kOidMultiOtherErrorDescription[] = {DMS, 20, 0};
constexpr uint32_t kOidPixelServiceDuration[] = {DMS, 21, 0};
constexpr uint32_t kOidPixelServiceFrequency[] = {DMS, 22, 0};
constexpr uint32_t kOidPixelServiceTime[] = {DMS, 23, 0};
constexpr uint32_t kOidMessageCodeOfActivationError[] = {DMS, 24, 0};
constexpr uint32_t kOidActivateMessageState[] = {DMS, 25, 0};
#undef DMS

// A list of the allowed values 1..n.
constexpr mib_constraint values_up_to(uint32_t n)
{
    mib_constraint c{MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, static_cast<uint8_t>(n), {}};
    for (uint32_t i = 0; i < n; ++i)
        c.values[i] = i + 1;
    return c;
}

constexpr mib_constraint kStateRanges = {MIB_UNSIGNED_RANGES, MIB_LIST_PAIRS, 4, {1, 2, 3, 4, 0, 0, 0, 0}};

constexpr uint32_t kMaskMode = 0x40000;
constexpr uint32_t kMaskReset = 0x20000;
constexpr uint32_t kMaskActivate = 0x800000;
constexpr uint32_t kMaskMessages = 0x20000000;
constexpr uint32_t kMaskMemory = 0x400000;
constexpr uint32_t kMaskPixelService = 0x8000000;

constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t RO = MIB_READ_ONLY;
constexpr var_handler H = var_signControl;

const mib_variable kRows[] = {
    mib_row(kOidControlMode, MIB_INTEGER, kControlMode, RW, H, 0, kMaskMode, values_up_to(6)),
    mib_row(kOidSWReset, MIB_INTEGER, kSWReset, RW, H, 0, kMaskReset, mib_unsigned_range(0, 1)),
    mib_row(kOidActivateMessage, MIB_OCTET_STRING, kActivateMessage, RW, H, 0, kMaskActivate,
            mib_length_range(12, 12)),
    mib_row(kOidMessageTimeRemaining, MIB_INTEGER, kMessageTimeRemaining, RW, H, 0, kMaskActivate,
            mib_unsigned_range(0, 65535)),
    mib_row(kOidMsgTableSource, MIB_OCTET_STRING, kMsgTableSource, RO, H, 0, 0, mib_length_range(5, 5)),
    mib_row(kOidMsgRequesterID, MIB_IPADDRESS, kMsgRequesterID, RO, H, 0, 0, mib_unsigned_range(0, 4294967295u)),
    mib_row(kOidMsgSourceMode, MIB_INTEGER, kMsgSourceMode, RO, H, 0, 0, mib_unsigned_range(1, 14)),
    mib_row(kOidShortPowerRecoveryMessage, MIB_OCTET_STRING, kShortPowerRecoveryMessage, RW, H, 0, kMaskMessages,
            mib_length_range(5, 5)),
    mib_row(kOidLongPowerRecoveryMessage, MIB_OCTET_STRING, kLongPowerRecoveryMessage, RW, H, 0, kMaskMessages,
            mib_length_range(5, 5)),
    mib_row(kOidShortPowerLossTime, MIB_INTEGER, kShortPowerLossTime, RW, H, 0, kMaskMessages,
            mib_unsigned_range(0, 65535)),
    mib_row(kOidResetMessage, MIB_OCTET_STRING, kResetMessage, RW, H, 0, kMaskMessages, mib_length_range(5, 5)),
    mib_row(kOidCommunicationsLossMessage, MIB_OCTET_STRING, kCommunicationsLossMessage, RW, H, 0, kMaskMessages,
            mib_length_range(5, 5)),
    mib_row(kOidTimeCommLoss, MIB_INTEGER, kTimeCommLoss, RW, H, 0, kMaskMessages, mib_unsigned_range(0, 65535)),
    mib_row(kOidPowerLossMessage, MIB_OCTET_STRING, kPowerLossMessage, RW, H, 0, kMaskMessages,
            mib_length_range(5, 5)),
    mib_row(kOidEndDurationMessage, MIB_OCTET_STRING, kEndDurationMessage, RW, H, 0, kMaskMessages,
            mib_length_range(5, 5)),
    mib_row(kOidMemoryMgmt, MIB_INTEGER, kMemoryMgmt, RW, H, 0, kMaskMemory, values_up_to(4)),
    mib_row(kOidActivateMsgError, MIB_INTEGER, kActivateMsgError, RO, H, 0, 0, values_up_to(9)),
    mib_row(kOidMultiSyntaxError, MIB_INTEGER, kMultiSyntaxError, RO, H, 0, 0, mib_unsigned_range(1, 12)),
    mib_row(kOidMultiSyntaxErrorPosition, MIB_INTEGER, kMultiSyntaxErrorPosition, RO, H, 0, 0,
            mib_unsigned_range(0, 65535)),
    mib_row(kOidMultiOtherErrorDescription, MIB_OCTET_STRING, kMultiOtherErrorDescription, RO, H, 0, 0,
            mib_length_range(0, 50)),
    mib_row(kOidPixelServiceDuration, MIB_INTEGER, kPixelServiceDuration, RW, H, 0, kMaskPixelService,
            mib_unsigned_range(0, 65535)),
    mib_row(kOidPixelServiceFrequency, MIB_INTEGER, kPixelServiceFrequency, RW, H, 0, kMaskPixelService,
            mib_unsigned_range(0, 1440)),
    mib_row(kOidPixelServiceTime, MIB_INTEGER, kPixelServiceTime, RW, H, 0, kMaskPixelService,
            mib_unsigned_range(0, 1440)),
    mib_row(kOidMessageCodeOfActivationError, MIB_OCTET_STRING, kMessageCodeOfActivationError, RO, H),
    mib_row(kOidActivateMessageState, MIB_INTEGER, kActivateMessageState, RO, H, 0, 0, kStateRanges),
};

}  // namespace

void snmp_network_settings_changed() { g_network_settings_changed = true; }
bool snmp_network_settings_pending() { return g_network_settings_changed; }
void snmp_network_settings_clear() { g_network_settings_changed = false; }

const mib_group g_dms_control_group = {"dms", kRows, sizeof kRows / sizeof kRows[0]};
