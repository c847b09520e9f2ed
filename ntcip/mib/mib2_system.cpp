// The MIB-II system group: the controller's description and identity texts,
// its uptime and its services, served from the parameter database.
#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/snmp_codec.h"

namespace {

enum : uint8_t { kDescr, kObjectID, kUpTime, kContact, kName, kLocation, kServices };

#define SYS 1, 3, 6, 1, 2, 1, 1
constexpr uint32_t kSysDescr[] = {SYS, 1, 0};
constexpr uint32_t kSysObjectID[] = {SYS, 2, 0};
constexpr uint32_t kSysUpTime[] = {SYS, 3, 0};
constexpr uint32_t kSysContact[] = {SYS, 4, 0};
constexpr uint32_t kSysName[] = {SYS, 5, 0};
constexpr uint32_t kSysLocation[] = {SYS, 6, 0};
constexpr uint32_t kSysServices[] = {SYS, 7, 0};
#undef SYS

uintptr_t* cell_of(snmp_request* record, int index)
{
    static thread_local uintptr_t spare;  // calls without a record
    if (record && index >= 0 && index < static_cast<int>(SNMP_MAX_VARBINDS))
        return &record->varbinds[index].value_cell;
    return &spare;
}

uintptr_t* answer_string(const db_object& o, bool nv, uint32_t* value_length, snmp_request* record, int index)
{
    CDataBase* db = g_pDataBase;
    uint32_t length = 0;
    const uint8_t* bytes = db->GetString(o.offset, o.width, nv ? db->mib_nv : db->mib_v, &length);
    uintptr_t* cell = cell_of(record, index);
    *cell = reinterpret_cast<uintptr_t>(bytes);
    *value_length = bytes ? length : 0;
    return cell;
}

uintptr_t* answer_integer(uint32_t value, uint32_t* value_length, snmp_request* record, int index)
{
    uintptr_t* cell = cell_of(record, index);
    *cell = value;
    *value_length = 4;
    return cell;
}

const db_object* writable_text(uint8_t column)
{
    switch (column) {
    case kContact:
        return &nv::sysContact;
    case kName:
        return &nv::sysName;
    case kLocation:
        return &nv::sysLocation;
    default:
        return nullptr;
    }
}

uintptr_t* var_system(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                      uint32_t* value_length, snmp_request* record, int index)
{
    CDataBase* db = g_pDataBase;
    if (!db || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (const db_object* text = writable_text(row->column)) {
        if (operation == MIB_SET && g_snmp_commit_indicator == 1) {
            uint32_t result = db->SetString(text->offset, text->width, g_snmp_set_value.bytes,
                                            g_snmp_set_value.length, db->mib_nv, DB_NOTIFY);
            if (result != DB_OK && record && record->error_status == 0)
                record->error_status = result;
        }
        return answer_string(*text, true, value_length, record, index);
    }
    switch (row->column) {
    case kDescr:
        return answer_string(vol::sysDescr, false, value_length, record, index);
    case kObjectID:
        return answer_string(vol::sysObjectID, false, value_length, record, index);
    case kUpTime:
        return answer_integer(snmp_time_ticks(), value_length, record, index);
    case kServices:
        return answer_integer(db->GetValue(vol::sysServices.offset, vol::sysServices.width, db->mib_v, 0),
                              value_length, record, index);
    default:
        return nullptr;
    }
}

const mib_variable kRows[] = {
    mib_row(kSysDescr, MIB_OCTET_STRING, kDescr, MIB_READ_ONLY, var_system, 0, 0, mib_length_range(0, 255)),
    mib_row(kSysObjectID, MIB_OBJECT_ID, kObjectID, MIB_READ_ONLY, var_system),
    mib_row(kSysUpTime, MIB_TIMETICKS, kUpTime, MIB_READ_ONLY, var_system),
    mib_row(kSysContact, MIB_OCTET_STRING, kContact, MIB_READ_WRITE, var_system, 0, 0, mib_length_range(0, 255)),
    mib_row(kSysName, MIB_OCTET_STRING, kName, MIB_READ_WRITE, var_system, 0, 0, mib_length_range(0, 255)),
    mib_row(kSysLocation, MIB_OCTET_STRING, kLocation, MIB_READ_WRITE, var_system, 0, 0, mib_length_range(0, 255)),
    mib_row(kSysServices, MIB_INTEGER, kServices, MIB_READ_ONLY, var_system, 0, 0, mib_unsigned_range(0, 127)),
};

}  // namespace

const mib_group g_mib2_system_group = {"cls b", kRows, sizeof kRows / sizeof kRows[0]};
