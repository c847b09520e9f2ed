// The NTCIP protocol objects (1.3.6.1.4.1.1206.4.1): the CHAP name and
// secret with which the PPP links authenticate, the SNMP packet size, and
// the PMPP group addresses that the PMPP links take besides their own.
//
// Only the administrator community reaches the CHAP node: request
// processing answers any other community's request for a name in it with
// noSuchName, so the secret is never shown to another.
#include "frame/trace/trace.h"
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/snmp/db/snmp_chap.h"

using namespace dms_mib;

namespace {

enum : uint8_t { kChapName = 1, kChapSecret = 2 };
enum : uint8_t { kGroupAddressIndex = 1, kGroupAddress = 2, kGroupAddressNumber = 3 };

constexpr uint32_t kChapRows = 1;

uintptr_t* var_chap(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t, uint32_t* value_length,
                    snmp_request* record, int index)
{
    monitor_printf_debug("inside var_chap:\n");
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(vol::chapEntryCount, false, value_length, record, index);
}

uintptr_t* var_chapSecretEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                               uint32_t* value_length, snmp_request* record, int index)
{
    monitor_printf_debug("inside var_chapSecretEntry:\n");
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kChapRows) != 0)
        return nullptr;
    const db_object* o = nullptr;
    switch (row->column) {
    case kChapName:
        monitor_printf_debug("var_chapSecretEntry: chapName\n");
        o = &nv::chapName;
        break;
    case kChapSecret:
        monitor_printf_debug("var_chapSecretEntry: chapSecret\n");
        o = &nv::chapSecret;
        break;
    default:
        return nullptr;
    }
    if (committing(operation))
        write_string(*o, true, g_snmp_set_value.bytes, g_snmp_set_value.length);
    return answer_string(*o, true, value_length, record, index);
}

uintptr_t* var_snmpConfiguration(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                                 uint32_t* value_length, snmp_request* record, int index)
{
    monitor_printf_debug("inside var_snmpConfiguration:\n");
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(vol::snmpMaxPacketSize, false, value_length, record, index);
}

// Stored only: nothing else reads it.
uintptr_t* var_pmppNode(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (committing(operation))
        write_value(nv::protocolNode2Value, true, g_snmp_set_value.integer);
    return answer_object(nv::protocolNode2Value, true, value_length, record, index);
}

uintptr_t* var_pmppGroupAddresses(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(nv::pmppMaxGroupAddresses, true, value_length, record, index);
}

// A group address is stored as its number n (0..62). Its address form is
// the PMPP address byte (n << 2) | 3: the number, the group bit and the
// end-of-address bit.
uint32_t address_form(uint32_t n) { return n > 0 ? (n & 63) * 4 + 3 : 0; }

uintptr_t* var_pmppGroupAddressEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                     uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase ||
        header_index(row, name, *name_length, operation, value_length, PMPP_GROUP_ADDRESSES) != 0)
        return nullptr;
    const uint32_t g = name[row->oid_length - 1u];
    const db_object o = nv::pmppGroupAddress(g - 1);
    const uint32_t v = g_snmp_set_value.integer;
    switch (row->column) {
    case kGroupAddressIndex:
        return answer_integer(g, value_length, record, index);
    case kGroupAddress:
        if (operation == MIB_SET) {
            // An even address other than 0 lacks the end-of-address bit. Refused
            // in the check pass already, so that nothing of the request is written.
            if (v != 0 && (v & 1) == 0) {
                fail(record, 3);
            } else if (committing(operation)) {
                uint32_t result = write_value(o, true, (v >> 2) & 63);
                if (result != DB_OK)
                    fail(record, result);
            }
        }
        return answer_integer(address_form(read_value(o, true)), value_length, record, index);
    case kGroupAddressNumber:
        if (committing(operation))
            write_value(o, true, v);
        return answer_object(o, true, value_length, record, index);
    default:
        return nullptr;
    }
}

#define PROTO 1, 3, 6, 1, 4, 1, 1206, 4, 1
constexpr uint32_t kChapEntryCountOid[] = {PROTO, 1, 1, 1, 0};
constexpr uint32_t kChapNameOid[] = {PROTO, 1, 1, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kChapSecretOid[] = {PROTO, 1, 1, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kMaxPacketSizeOid[] = {PROTO, 1, 7, 1, 1, 0};
constexpr uint32_t kNode2ValueOid[] = {PROTO, 2, 2, 1, 0};
constexpr uint32_t kMaxGroupAddressesOid[] = {PROTO, 2, 3, 1, 0};
constexpr uint32_t kGroupAddressIndexOid[] = {PROTO, 2, 3, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kGroupAddressOid[] = {PROTO, 2, 3, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kGroupAddressNumberOid[] = {PROTO, 2, 3, 2, 1, 3, MIB_PLACEHOLDER};
#undef PROTO

constexpr uint32_t kMaskGroupAddress = 0x2000000;
constexpr uint32_t kMaskNode2 = 0x4000000;

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t INT = MIB_INTEGER;
constexpr var_handler G = var_pmppGroupAddressEntry;

// The links read the name and the secret into fixed areas; longer ones
// would be cut there and never authenticate.
constexpr mib_constraint kChapNameLength = mib_length_range(0, CHAP_NAME_SIZE - 1);
constexpr mib_constraint kChapSecretLength = mib_length_range(0, CHAP_SECRET_SIZE - 1);

const mib_variable kRows[] = {
    mib_row(kChapEntryCountOid, INT, 0, RO, var_chap, 0, 0, mib_unsigned_range(0, 255)),
    mib_row(kChapNameOid, MIB_OCTET_STRING, kChapName, RW, var_chapSecretEntry, 1, 0, kChapNameLength),
    mib_row(kChapSecretOid, MIB_OCTET_STRING, kChapSecret, RW, var_chapSecretEntry, 1, 0, kChapSecretLength),
    mib_row(kMaxPacketSizeOid, INT, 0, RO, var_snmpConfiguration, 0, 0, mib_unsigned_range(484, 65535)),
    mib_row(kNode2ValueOid, INT, 0, RW, var_pmppNode, 0, kMaskNode2, mib_unsigned_range(0, 65535)),
    mib_row(kMaxGroupAddressesOid, INT, 0, RO, var_pmppGroupAddresses, 0, 0, mib_unsigned_range(1, 255)),
    mib_row(kGroupAddressIndexOid, INT, kGroupAddressIndex, RO, G, 1, 0, mib_unsigned_range(1, 255)),
    mib_row(kGroupAddressOid, INT, kGroupAddress, RW, G, 1, kMaskGroupAddress, mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kGroupAddressNumberOid, INT, kGroupAddressNumber, RW, G, 1, 0, mib_unsigned_range(0, 62)),
};

}  // namespace

const mib_group g_protocol_group = {"protocol", kRows, sizeof kRows / sizeof kRows[0]};
