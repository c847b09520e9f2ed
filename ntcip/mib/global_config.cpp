// The NTCIP 1201 global configuration (1.3.6.1.4.1.1206.4.2.6.1) and
// database management (.2) objects: the standards the controller
// implements, the table of its hardware and software modules, and the
// transaction objects. Nothing stands behind the transaction objects: they
// are stored and answered, and every SET is committed at once as always.
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/mib_oid_value.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kSetIDParameter,
    kMaxModules,
    kBaseStandards,
    kModuleNumber,
    kModuleDeviceNode,
    kModuleMake,
    kModuleModel,
    kModuleVersion,
    kModuleType,
    kCreateTransaction,
    kErrorType,
    kErrorID,
    kTransactionID,
    kMakeID,
    kVerifyStatus,
    kVerifyError,
};

constexpr uint32_t kModules = 8;

uintptr_t* var_globalConfiguration(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kSetIDParameter:
        return answer_object(nv::globalSetIDParameter, true, value_length, record, index);
    case kMaxModules:
        return answer_object(vol::globalMaxModules, false, value_length, record, index);
    case kBaseStandards:
        return answer_string(vol::controllerBaseStandards, false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_moduleTableEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kModules) != 0)
        return nullptr;
    const uint32_t n = name[row->oid_length - 1u];
    const uint32_t m = n - 1;
    switch (row->column) {
    case kModuleNumber:
        return answer_integer(n, value_length, record, index);
    case kModuleDeviceNode:
        return answer_oid(vol::moduleDeviceNode(m), false, value_length, record, index);
    case kModuleMake:
        return answer_string(vol::moduleMake(m), false, value_length, record, index);
    case kModuleModel:
        return answer_string(vol::moduleModel(m), false, value_length, record, index);
    case kModuleVersion:
        return answer_string(vol::moduleVersion(m), false, value_length, record, index);
    case kModuleType:
        return answer_object(vol::moduleType(m), false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_globalDBManagement(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kCreateTransaction:
    case kTransactionID: {
        const db_object& o = row->column == kCreateTransaction ? vol::dbCreateTransaction : vol::dbTransactionID;
        if (committing(operation))
            write_value(o, false, g_snmp_set_value.integer);
        return answer_object(o, false, value_length, record, index);
    }
    case kErrorType:
        return answer_object(vol::dbErrorType, false, value_length, record, index);
    case kErrorID:
        return answer_oid(vol::dbErrorID, false, value_length, record, index);
    case kMakeID:
        return answer_object(vol::dbMakeID, false, value_length, record, index);
    case kVerifyStatus:
        return answer_object(vol::dbVerifyStatus, false, value_length, record, index);
    case kVerifyError:
        return answer_string(vol::dbVerifyError, false, value_length, record, index);
    default:
        return nullptr;
    }
}

#define CFG 1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 1
constexpr uint32_t kSetIDParameterOid[] = {CFG, 1, 0};
constexpr uint32_t kMaxModulesOid[] = {CFG, 2, 0};
constexpr uint32_t kModuleNumberOid[] = {CFG, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kModuleDeviceNodeOid[] = {CFG, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kModuleMakeOid[] = {CFG, 3, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kModuleModelOid[] = {CFG, 3, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kModuleVersionOid[] = {CFG, 3, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kModuleTypeOid[] = {CFG, 3, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kBaseStandardsOid[] = {CFG, 4, 0};
#undef CFG
#define DBM 1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 2
constexpr uint32_t kCreateTransactionOid[] = {DBM, 1, 0};
constexpr uint32_t kErrorTypeOid[] = {DBM, 2, 0};
constexpr uint32_t kErrorIDOid[] = {DBM, 3, 0};
constexpr uint32_t kTransactionIDOid[] = {DBM, 4, 0};
constexpr uint32_t kMakeIDOid[] = {DBM, 5, 0};
constexpr uint32_t kVerifyStatusOid[] = {DBM, 6, 0};
constexpr uint32_t kVerifyErrorOid[] = {DBM, 7, 0};
#undef DBM

constexpr uint32_t kMaskDatabase = 0x8000;

constexpr mib_constraint kModuleTypes = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {1, 2, 3}};
constexpr mib_constraint kTransactionModes = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 4, {1, 2, 3, 6}};
constexpr mib_constraint kVerifyStatuses = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {0, 1, 2}};

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr var_handler C = var_globalConfiguration;
constexpr var_handler M = var_moduleTableEntry;
constexpr var_handler D = var_globalDBManagement;

const mib_variable kRows[] = {
    mib_row(kSetIDParameterOid, MIB_INTEGER, kSetIDParameter, RO, C, 0, 0, mib_unsigned_range(0, 65535)),
    mib_row(kMaxModulesOid, MIB_INTEGER, kMaxModules, RO, C, 0, 0, mib_unsigned_range(1, 255)),
    mib_row(kModuleNumberOid, MIB_INTEGER, kModuleNumber, RO, M, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kModuleDeviceNodeOid, MIB_OBJECT_ID, kModuleDeviceNode, RO, M, 1),
    mib_row(kModuleMakeOid, MIB_OCTET_STRING, kModuleMake, RO, M, 1),
    mib_row(kModuleModelOid, MIB_OCTET_STRING, kModuleModel, RO, M, 1),
    mib_row(kModuleVersionOid, MIB_OCTET_STRING, kModuleVersion, RO, M, 1),
    mib_row(kModuleTypeOid, MIB_INTEGER, kModuleType, RO, M, 1, 0, kModuleTypes),
    mib_row(kBaseStandardsOid, MIB_OCTET_STRING, kBaseStandards, RO, C, 0, 0, mib_length_range(0, 256)),
    mib_row(kCreateTransactionOid, MIB_INTEGER, kCreateTransaction, RW, D, 0, kMaskDatabase, kTransactionModes),
    mib_row(kErrorTypeOid, MIB_INTEGER, kErrorType, RO, D, 0, 0, mib_unsigned_range(1, 7)),
    mib_row(kErrorIDOid, MIB_OBJECT_ID, kErrorID, RO, D),
    mib_row(kTransactionIDOid, MIB_INTEGER, kTransactionID, RW, D, 0, kMaskDatabase, mib_unsigned_range(0, 255)),
    mib_row(kMakeIDOid, MIB_INTEGER, kMakeID, RO, D, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kVerifyStatusOid, MIB_INTEGER, kVerifyStatus, RO, D, 0, 0, kVerifyStatuses),
    mib_row(kVerifyErrorOid, MIB_OCTET_STRING, kVerifyError, RO, D, 0, 0, mib_length_range(0, 255)),
};

}  // namespace

const mib_group g_global_config_group = {"global", kRows, sizeof kRows / sizeof kRows[0]};
