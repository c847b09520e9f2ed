// The NTCIP 1201 security objects (1.3.6.1.4.1.1206.4.2.6.5): the
// administrator community and the 100 user communities with their access
// masks, against which the agent checks every request; and the auxiliary
// I/O table (1.3.6.1.4.1.1206.4.2.6.7, and the older node
// 1.3.6.1.4.1.1206.2.1.1 without its last column), which shows the
// peripherals' status rows to central.
//
// Only the administrator community reaches the security node: request
// processing answers any other community's request for a name in it with
// noSuchName and walks past it, so these handlers never see one.
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t { kAdmin, kNamesMax };

constexpr uint32_t kCommunities = 100;

uintptr_t* var_security(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kAdmin:
        if (committing(operation))
            write_string(nv::communityNameAdmin, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
        return answer_string(nv::communityNameAdmin, true, value_length, record, index);
    case kNamesMax:
        return answer_object(vol::communityNamesMax, false, value_length, record, index);
    default:
        return nullptr;
    }
}

uintptr_t* var_communityNameEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kCommunities) != 0)
        return nullptr;
    const uint32_t i = name[row->oid_length - 1u] - 1;
    switch (row->column) {
    case 1:
        return answer_object(vol::communityNameIndex(i), false, value_length, record, index);
    case 2:
        if (committing(operation))
            write_string(nv::communityNameUser(i), true, g_snmp_set_value.bytes, g_snmp_set_value.length);
        return answer_string(nv::communityNameUser(i), true, value_length, record, index);
    case 3:
        if (committing(operation))
            write_value(nv::communityNameAccessMask(i), true, g_snmp_set_value.integer);
        return answer_object(nv::communityNameAccessMask(i), true, value_length, record, index);
    default:
        return nullptr;
    }
}

// --- Auxiliary I/O.
enum : uint8_t { kNumDigital, kNumAnalog };

constexpr uint32_t kDigitalPorts = 112;
constexpr uint32_t kAnalogPorts = 24;
constexpr uint32_t kAnalogType = 2;
constexpr uint32_t kPortIndexes[2] = {3, kDigitalPorts};

uintptr_t* var_auxIO(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t, uint32_t* value_length,
                     snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kNumDigital:
        return answer_object(vol::maxAuxIOv2TableNumDigitalPorts, false, value_length, record, index);
    case kNumAnalog:
        return answer_object(vol::maxAuxIOv2TableNumAnalogPorts, false, value_length, record, index);
    default:
        return nullptr;
    }
}

// A port is named by its type and number: types 1 (other) and 3 (digital)
// reach the same 112 digital rows, type 2 the 24 analog rows after them.
uintptr_t* var_auxIOEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                          uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index_n(row, name, name_length, operation, value_length, kPortIndexes, 2) != 0)
        return nullptr;
    const uint32_t t = name[row->oid_length - 1u];
    const uint32_t n = name[row->oid_length];
    if (t == kAnalogType && n > kAnalogPorts) {
        if (operation == MIB_GETNEXT)
            mib_set_carry_depth(1);  // on to the next port type
        return nullptr;
    }
    const uint32_t k = t == kAnalogType ? kDigitalPorts + n - 1 : n - 1;
    const uint32_t v = g_snmp_set_value.integer;
    switch (row->column) {
    case 1:
        return answer_object(vol::auxIOPortType(k), false, value_length, record, index);
    case 2:
        return answer_object(vol::auxIOPortNumber(k), false, value_length, record, index);
    case 3:
        if (committing(operation) && string_fits(record, index, MIB_SET_BYTES))
            write_string(nv::auxIOPortDescription(k), true, g_snmp_set_value.bytes, g_snmp_set_value.length);
        return answer_string(nv::auxIOPortDescription(k), true, value_length, record, index);
    case 4:
        if (committing(operation))
            write_value(vol::auxIOPortResolution(k), false, v);
        return answer_object(vol::auxIOPortResolution(k), false, value_length, record, index);
    case 5:
        // Request processing has held the value against the row's resolution.
        if (committing(operation)) {
            write_value(vol::auxIOPortValue(k), false, v);
            write_value(vol::auxIOPortLastCommandedState(k), false, v);
        }
        return answer_object(vol::auxIOPortValue(k), false, value_length, record, index);
    case 6:
        if (committing(operation))
            write_value(vol::auxIOPortDirection(k), false, v);
        return answer_object(vol::auxIOPortDirection(k), false, value_length, record, index);
    case 7:
        if (committing(operation))
            write_value(vol::auxIOPortLastCommandedState(k), false, v);
        return answer_object(vol::auxIOPortLastCommandedState(k), false, value_length, record, index);
    default:
        return nullptr;
    }
}

#define SEC 1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 5
constexpr uint32_t kAdminOid[] = {SEC, 1, 0};
constexpr uint32_t kNamesMaxOid[] = {SEC, 2, 0};
constexpr uint32_t kNameIndexOid[] = {SEC, 3, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kNameUserOid[] = {SEC, 3, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kNameMaskOid[] = {SEC, 3, 1, 3, MIB_PLACEHOLDER};
#undef SEC

// The same objects under both nodes.
#define AUX_OIDS(prefix, node)                                                    \
    constexpr uint32_t k##prefix##NumDigital[] = {node, 1, 0};                    \
    constexpr uint32_t k##prefix##NumAnalog[] = {node, 2, 0};                     \
    constexpr uint32_t k##prefix##Type[] = {node, 3, 1, 1, MIB_PLACEHOLDER};      \
    constexpr uint32_t k##prefix##Number[] = {node, 3, 1, 2, MIB_PLACEHOLDER};    \
    constexpr uint32_t k##prefix##Description[] = {node, 3, 1, 3, MIB_PLACEHOLDER}; \
    constexpr uint32_t k##prefix##Resolution[] = {node, 3, 1, 4, MIB_PLACEHOLDER}; \
    constexpr uint32_t k##prefix##Value[] = {node, 3, 1, 5, MIB_PLACEHOLDER};     \
    constexpr uint32_t k##prefix##Direction[] = {node, 3, 1, 6, MIB_PLACEHOLDER};
#define AUX_V2 1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 7
#define AUX_OLD 1, 3, 6, 1, 4, 1, 1206, 2, 1, 1
AUX_OIDS(V2, AUX_V2)
AUX_OIDS(Old, AUX_OLD)
constexpr uint32_t kV2LastCommandedState[] = {AUX_V2, 3, 1, 7, MIB_PLACEHOLDER};
#undef AUX_OLD
#undef AUX_V2
#undef AUX_OIDS

constexpr uint32_t kMaskAux = 0x2000;

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t INT = MIB_INTEGER;
constexpr var_handler E = var_auxIOEntry;

constexpr mib_constraint kThree = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 3, {1, 2, 3}};

const mib_variable kSecurityRows[] = {
    mib_row(kAdminOid, MIB_OCTET_STRING, kAdmin, RW, var_security, 0, 0, mib_length_range(8, 16)),
    mib_row(kNamesMaxOid, INT, kNamesMax, RO, var_security, 0, 0, mib_unsigned_range(1, 255)),
    mib_row(kNameIndexOid, INT, 1, RO, var_communityNameEntry, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kNameUserOid, MIB_OCTET_STRING, 2, RW, var_communityNameEntry, 1, 0, mib_length_range(6, 16)),
    mib_row(kNameMaskOid, MIB_GAUGE, 3, RW, var_communityNameEntry, 1, 0, mib_unsigned_range(0, 0xFFFFFFFF)),

    mib_row(kV2NumDigital, INT, kNumDigital, RO, var_auxIO, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kV2NumAnalog, INT, kNumAnalog, RO, var_auxIO, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kV2Type, INT, 1, RO, E, 2, 0, kThree),
    mib_row(kV2Number, INT, 2, RO, E, 2, 0, mib_unsigned_range(1, 255)),
    mib_row(kV2Description, MIB_OCTET_STRING, 3, RW, E, 2, kMaskAux, mib_length_range(0, 255)),
    mib_row(kV2Resolution, INT, 4, RW, E, 2, kMaskAux, mib_unsigned_range(1, 255)),
    mib_row(kV2Value, INT, 5, RW, E, 2, kMaskAux, mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kV2Direction, INT, 6, RW, E, 2, kMaskAux, kThree),
    mib_row(kV2LastCommandedState, INT, 7, RW, E, 2, kMaskAux, kThree),
};

const mib_variable kAuxRows[] = {
    mib_row(kOldNumDigital, INT, kNumDigital, RO, var_auxIO, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kOldNumAnalog, INT, kNumAnalog, RO, var_auxIO, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kOldType, INT, 1, RO, E, 2, 0, kThree),
    mib_row(kOldNumber, INT, 2, RO, E, 2, 0, mib_unsigned_range(1, 255)),
    mib_row(kOldDescription, MIB_OCTET_STRING, 3, RW, E, 2, kMaskAux, mib_length_range(0, 255)),
    mib_row(kOldResolution, INT, 4, RW, E, 2, kMaskAux, mib_unsigned_range(1, 32)),
    mib_row(kOldValue, INT, 5, RW, E, 2, kMaskAux, mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kOldDirection, INT, 6, RW, E, 2, kMaskAux, kThree),
};

}  // namespace

const mib_group g_security_group = {"global", kSecurityRows, sizeof kSecurityRows / sizeof kSecurityRows[0]};
const mib_group g_auxio_group = {"auxio", kAuxRows, sizeof kAuxRows / sizeof kAuxRows[0]};
