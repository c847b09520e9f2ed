// MIB-II beyond the system group: the interfaces, address-translation, IP
// and SNMP groups and the Ethernet, LAPB and RS-232 transmission tables. The
// controller presents one Ethernet interface and five serial ports. Most
// values are constants the defaults write at start; what carries real
// configuration is the network address, mask and gateway, the MAC address,
// the Ethernet speed code and the serial-port speeds.
//
// Each table handler finds a column's object by the column's sub-identifier,
// which is the row's column selector.
#include "ntcip/mib/dms_control.h"
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/mib_oid_value.h"

using namespace dms_mib;

namespace {

// How a set of a column is carried out.
enum write_kind : uint8_t {
    kReadOnly,  // the registry refuses the set
    kStore,     // the value is written
    kKeep,      // answered with the current value, nothing stored
    kNetwork,   // the network's address, mask or gateway: marks the settings changed first
    kMac,       // the interface's MAC address: six bytes
    kSpeed,     // a serial port's speed: only a value the port takes
};

struct column_def {
    db_object first;  // the object of row 1
    uint8_t stride;   // bytes from one row's object to the next
    bool nv;
    uint8_t write;
    bool present;
};

constexpr column_def V(db_object o, uint8_t write = kReadOnly, uint8_t stride = 0)
{
    return {o, stride, false, write, true};
}
constexpr column_def N(db_object o, uint8_t write = kReadOnly, uint8_t stride = 0)
{
    return {o, stride, true, write, true};
}
constexpr column_def kAbsent = {};

constexpr uint32_t kSerialPorts = 5;

// --- Columns by their sub-identifier.
constexpr column_def kIfColumns[] = {
    kAbsent,
    V(vol::ifIndex),
    V(vol::ifDescr),
    V(vol::ifType),
    V(vol::ifMtu),
    N(nv::ifSpeed, kStore),  // read-only unless the SNMP write override is on
    V(vol::ifPhysAddress, kMac),
    V(vol::ifAdminStatus, kStore),
    V(vol::ifOperStatus),
    V(vol::ifLastChange),
    V(vol::ifCounter(0)),
    V(vol::ifCounter(1)),
    V(vol::ifCounter(2)),
    V(vol::ifCounter(3)),
    V(vol::ifCounter(4)),
    V(vol::ifCounter(5)),
    V(vol::ifCounter(6)),
    V(vol::ifCounter(7)),
    V(vol::ifCounter(8)),
    V(vol::ifCounter(9)),
    V(vol::ifCounter(10)),
    V(vol::ifOutQLen),
    V(vol::ifSpecific),
};

constexpr column_def kIpAddrColumns[] = {
    kAbsent,
    V(vol::ipAdEntAddr, kNetwork),
    V(vol::ipAdEntIfIndex),
    V(vol::ipAdEntNetMask, kNetwork),
    V(vol::ipAdEntBcastAddr),
    V(vol::ipAdEntReasmMaxSize),
};

constexpr column_def kIpRouteColumns[] = {
    kAbsent,
    V(vol::ipRouteDest, kNetwork),
    V(vol::ipRouteIfIndex, kStore),
    V(vol::ipRouteMetric(0), kStore),
    V(vol::ipRouteMetric(1), kStore),
    V(vol::ipRouteMetric(2), kStore),
    V(vol::ipRouteMetric(3), kStore),
    V(vol::ipRouteNextHop, kStore),
    V(vol::ipRouteType, kStore),
    V(vol::ipRouteProto),
    V(vol::ipRouteAge, kStore),
    N(nv::ipRouteMask, kStore),
    V(vol::ipRouteMetric5, kStore),
    V(vol::ipRouteInfo),
};

constexpr column_def kDot3Columns[] = {
    kAbsent,
    V(vol::dot3StatsIndex),
    V(vol::dot3StatsCounter(0)),
    V(vol::dot3StatsCounter(1)),
    V(vol::dot3StatsCounter(2)),
    V(vol::dot3StatsCounter(3)),
    V(vol::dot3StatsCounter(4)),
    V(vol::dot3StatsCounter(5)),
    V(vol::dot3StatsCounter(6)),
    V(vol::dot3StatsCounter(7)),
    V(vol::dot3StatsCounter(8)),
    V(vol::dot3StatsCounter(9)),
    kAbsent,
    V(vol::dot3StatsCounter(10)),
    kAbsent,
    kAbsent,
    V(vol::dot3StatsCounter(11)),
    V(vol::dot3StatsEtherChipSet),
};

constexpr column_def kLapbAdmnColumns[] = {
    kAbsent,
    V(vol::lapbAdmnIndex(0), kReadOnly, 4),
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    V(vol::lapbAdmnTimer(0, 0), kKeep, 4),
    V(vol::lapbAdmnTimer(1, 0), kKeep, 4),
    V(vol::lapbAdmnTimer(2, 0), kKeep, 4),
    V(vol::lapbAdmnTimer(3, 0), kKeep, 4),
};

constexpr column_def kLapbOperColumns[] = {
    kAbsent,
    V(vol::lapbOperIndex(0), kReadOnly, 4),
    kAbsent,
    kAbsent,
    V(vol::lapbOperTransmitN1FrameSize(0), kKeep, 4),
    V(vol::lapbOperReceiveN1FrameSize(0), kKeep, 4),
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    V(vol::lapbOperPortId(0), kReadOnly, 4),
};

constexpr column_def kRs232PortColumns[] = {
    kAbsent,
    V(vol::rs232PortIndex(0), kReadOnly, 4),
    V(vol::rs232PortType(0), kReadOnly, 1),
    kAbsent,
    kAbsent,
    N(nv::rs232PortInSpeed(0), kSpeed, 4),
    N(nv::rs232PortInSpeed(0), kSpeed, 4),  // one speed both ways
};

constexpr column_def kRs232AsyncColumns[] = {
    kAbsent,
    V(vol::rs232AsyncPortIndex(0), kReadOnly, 4),
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    kAbsent,
    V(vol::rs232AsyncPortFramingErrs(0), kReadOnly, 4),
    V(vol::rs232AsyncPortOverrunErrs(0), kReadOnly, 4),
};

// The speeds each serial port takes, in the order CCP, AUX, MODEM, LAPTOP, Ethernet.
constexpr uint32_t kCcpSpeeds[] = {2400, 4800, 9600, 19200, 28800, 38400, 57600, 115200};
constexpr uint32_t kAuxSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 56000, 128000, 512000};
constexpr uint32_t kModemSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400};
constexpr uint32_t kEthernetSpeeds[] = {10};

template <size_t N>
bool listed(const uint32_t (&list)[N], uint32_t v)
{
    for (uint32_t s : list)
        if (s == v)
            return true;
    return false;
}

bool port_takes(uint32_t port, uint32_t speed)
{
    switch (port) {
    case 0:
        return listed(kCcpSpeeds, speed);
    case 1:
    case 3:
        return listed(kAuxSpeeds, speed);
    case 2:
        return listed(kModemSpeeds, speed);
    case 4:
        return listed(kEthernetSpeeds, speed);
    default:
        return false;
    }
}

// A set value the row's object cannot take is refused in both passes, so
// that nothing of the request is written. Rows under the SNMP write
// override reach here unchecked.
bool acceptable(const column_def& d, const mib_variable* row, const snmp_request* record, int index)
{
    if (!value_matches_row(record, index, row) || !address_is_whole(record, index))
        return false;
    if (d.write == kMac)
        return string_fits(record, index, MIB_SET_BYTES) && g_snmp_set_value.length == 6;
    return true;
}

void commit(const column_def& d, const db_object& o, uint32_t i, snmp_request* record)
{
    uint32_t result = DB_OK;
    switch (d.write) {
    case kStore:
        result = write_value(o, d.nv, g_snmp_set_value.integer);
        break;
    case kNetwork:
        // Applied by the restart that the next reset request brings.
        snmp_network_settings_changed();
        result = write_value(o, d.nv, g_snmp_set_value.integer);
        break;
    case kMac:
        // Its change notice has the start-up file rewritten and the controller restarted.
        result = write_string(o, d.nv, g_snmp_set_value.bytes, g_snmp_set_value.length);
        break;
    case kSpeed:
        // A speed the port does not take is ignored without an error.
        if (port_takes(i, g_snmp_set_value.integer))
            result = write_value(o, d.nv, g_snmp_set_value.integer);
        break;
    default:
        break;
    }
    if (result != DB_OK)
        fail(record, result);
}

// Row i (from 0) of a column.
uintptr_t* serve(const column_def& d, uint32_t i, mib_variable* row, uint32_t operation, uint32_t* value_length,
                 snmp_request* record, int index)
{
    const db_object o{d.first.offset + d.stride * i, d.first.width};
    if (operation == MIB_SET && d.write != kReadOnly) {
        if (!acceptable(d, row, record, index))
            fail(record, 3);
        else if (committing(operation))
            commit(d, o, i, record);
    }
    switch (row->syntax) {
    case MIB_OCTET_STRING:
        return answer_string(o, d.nv, value_length, record, index);
    case MIB_OBJECT_ID:
        return answer_oid(o, d.nv, value_length, record, index);
    default:
        return answer_object(o, d.nv, value_length, record, index);
    }
}

// A single-index table of `rows` rows.
template <size_t N>
uintptr_t* serve_table(const column_def (&columns)[N], uint32_t rows, mib_variable* row, uint32_t* name,
                       uint32_t* name_length, uint32_t operation, uint32_t* value_length, snmp_request* record,
                       int index)
{
    if (!g_pDataBase || row->column >= N || !columns[row->column].present ||
        header_index(row, name, *name_length, operation, value_length, rows) != 0)
        return nullptr;
    const uint32_t i = name[row->oid_length - 1u] - 1;
    return serve(columns[row->column], i, row, operation, value_length, record, index);
}

uintptr_t* var_ifNumber(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t, uint32_t* value_length,
                        snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(vol::ifNumber, false, value_length, record, index);
}

uintptr_t* var_ifEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                       uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kIfColumns, 1, row, name, name_length, operation, value_length, record, index);
}

// The address-translation table: the interface address table's entries. A
// set is answered with the current value and stores nothing.
uintptr_t* var_atEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                       uint32_t* value_length, snmp_request* record, int index)
{
    int n = header_at(row, name, name_length, operation, value_length);
    const mib_interface_address* e = n > 0 ? snmp_interface_address(static_cast<uint32_t>(n - 1)) : nullptr;
    if (!e)
        return nullptr;
    switch (row->column) {
    case 1:
        return answer_integer(static_cast<uint32_t>(n - 1), value_length, record, index);
    case 2:
        return answer_bytes(e->mac, sizeof e->mac, value_length, record, index);
    case 3:
        return answer_integer(e->address, value_length, record, index);
    default:
        return nullptr;
    }
}

// The IP scalars: the two settings, then the counters 4.3 .. 4.19 and 4.23.
uintptr_t* var_ip(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                  uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    const uint8_t c = row->column;
    column_def d{};
    if (c == 1)
        d = N(nv::ipForwarding, kStore);
    else if (c == 2)
        d = N(nv::ipDefaultTTL, kStore);
    else if (c >= 3 && c <= 19)
        d = V(vol::ipCounter(c - 3u));
    else if (c == 23)
        d = V(vol::ipRoutingDiscards);
    else
        return nullptr;
    return serve(d, 0, row, operation, value_length, record, index);
}

uintptr_t* var_ipAddrEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                           uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kIpAddrColumns, 1, row, name, name_length, operation, value_length, record, index);
}

uintptr_t* var_ipRouteEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                            uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kIpRouteColumns, 1, row, name, name_length, operation, value_length, record, index);
}

// Registered, but the controller keeps no such table: nothing is served.
uintptr_t* var_ipNetToMediaEntry(mib_variable*, uint32_t*, uint32_t*, uint32_t, uint32_t*, snmp_request*, int)
{
    return nullptr;
}

uintptr_t* var_dot3StatsEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                              uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kDot3Columns, 1, row, name, name_length, operation, value_length, record, index);
}

uintptr_t* var_dot3CollEntry(mib_variable*, uint32_t*, uint32_t*, uint32_t, uint32_t*, snmp_request*, int)
{
    return nullptr;
}

uintptr_t* var_lapbAdmnEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                             uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kLapbAdmnColumns, kSerialPorts, row, name, name_length, operation, value_length, record,
                       index);
}

uintptr_t* var_lapbOperEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                             uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kLapbOperColumns, kSerialPorts, row, name, name_length, operation, value_length, record,
                       index);
}

uintptr_t* var_rs232Number(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t,
                           uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    return answer_object(vol::rs232Number, false, value_length, record, index);
}

uintptr_t* var_rs232PortEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                              uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kRs232PortColumns, kSerialPorts, row, name, name_length, operation, value_length, record,
                       index);
}

uintptr_t* var_rs232AsyncPortEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    return serve_table(kRs232AsyncColumns, kSerialPorts, row, name, name_length, operation, value_length, record,
                       index);
}

// The agent's counters, k counting the registered objects in OID order, and
// snmpEnableAuthenTraps after them, whose set stores nothing.
constexpr uint32_t kSnmpCounters = 25;
constexpr uint8_t kEnableAuthenTraps = kSnmpCounters;

uintptr_t* var_snmp(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                    uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0 || row->column > kEnableAuthenTraps)
        return nullptr;
    const column_def d =
        V(db_object{vol::snmpInPkts.offset + 4u * row->column, 4}, row->column == kEnableAuthenTraps ? kKeep : kReadOnly);
    return serve(d, 0, row, operation, value_length, record, index);
}

// --- Rows.
#define M2 1, 3, 6, 1, 2, 1
constexpr uint32_t P = MIB_PLACEHOLDER;

constexpr uint32_t kIfNumber[] = {M2, 2, 1, 0};
#define IF_COL(c) constexpr uint32_t kIf##c[] = {M2, 2, 2, 1, c, P};
IF_COL(1) IF_COL(2) IF_COL(3) IF_COL(4) IF_COL(5) IF_COL(6) IF_COL(7) IF_COL(8) IF_COL(9) IF_COL(10) IF_COL(11)
IF_COL(12) IF_COL(13) IF_COL(14) IF_COL(15) IF_COL(16) IF_COL(17) IF_COL(18) IF_COL(19) IF_COL(20) IF_COL(21)
IF_COL(22)
#undef IF_COL

constexpr uint32_t kAt1[] = {M2, 3, 1, 1, 1, P};
constexpr uint32_t kAt2[] = {M2, 3, 1, 1, 2, P};
constexpr uint32_t kAt3[] = {M2, 3, 1, 1, 3, P};

#define IP_SCALAR(c) constexpr uint32_t kIp##c[] = {M2, 4, c, 0};
IP_SCALAR(1) IP_SCALAR(2) IP_SCALAR(3) IP_SCALAR(4) IP_SCALAR(5) IP_SCALAR(6) IP_SCALAR(7) IP_SCALAR(8) IP_SCALAR(9)
IP_SCALAR(10) IP_SCALAR(11) IP_SCALAR(12) IP_SCALAR(13) IP_SCALAR(14) IP_SCALAR(15) IP_SCALAR(16) IP_SCALAR(17)
IP_SCALAR(18) IP_SCALAR(19) IP_SCALAR(23)
#undef IP_SCALAR

#define IPADDR_COL(c) constexpr uint32_t kIpAddr##c[] = {M2, 4, 20, 1, c, P};
IPADDR_COL(1) IPADDR_COL(2) IPADDR_COL(3) IPADDR_COL(4) IPADDR_COL(5)
#undef IPADDR_COL

#define ROUTE_COL(c) constexpr uint32_t kRoute##c[] = {M2, 4, 21, 1, c, P};
ROUTE_COL(1) ROUTE_COL(2) ROUTE_COL(3) ROUTE_COL(4) ROUTE_COL(5) ROUTE_COL(6) ROUTE_COL(7) ROUTE_COL(8) ROUTE_COL(9)
ROUTE_COL(10) ROUTE_COL(11) ROUTE_COL(12) ROUTE_COL(13)
#undef ROUTE_COL

#define NTM_COL(c) constexpr uint32_t kNetToMedia##c[] = {M2, 4, 22, 1, c, P};
NTM_COL(1) NTM_COL(2) NTM_COL(3) NTM_COL(4)
#undef NTM_COL

#define DOT3_COL(c) constexpr uint32_t kDot3##c[] = {M2, 10, 7, 2, 1, c, P};
DOT3_COL(1) DOT3_COL(2) DOT3_COL(3) DOT3_COL(4) DOT3_COL(5) DOT3_COL(6) DOT3_COL(7) DOT3_COL(8) DOT3_COL(9)
DOT3_COL(10) DOT3_COL(11) DOT3_COL(13) DOT3_COL(16) DOT3_COL(17)
#undef DOT3_COL
constexpr uint32_t kDot3CollCount[] = {M2, 10, 7, 5, 1, 3, P};

#define LAPB_ADMN_COL(c) constexpr uint32_t kLapbAdmn##c[] = {M2, 10, 16, 1, 1, c, P};
LAPB_ADMN_COL(1) LAPB_ADMN_COL(9) LAPB_ADMN_COL(10) LAPB_ADMN_COL(11) LAPB_ADMN_COL(12)
#undef LAPB_ADMN_COL
#define LAPB_OPER_COL(c) constexpr uint32_t kLapbOper##c[] = {M2, 10, 16, 2, 1, c, P};
LAPB_OPER_COL(1) LAPB_OPER_COL(4) LAPB_OPER_COL(5) LAPB_OPER_COL(13)
#undef LAPB_OPER_COL

constexpr uint32_t kRs232Number[] = {M2, 10, 33, 1, 0};
#define RS232_COL(c) constexpr uint32_t kRs232Port##c[] = {M2, 10, 33, 2, 1, c, P};
RS232_COL(1) RS232_COL(2) RS232_COL(5) RS232_COL(6)
#undef RS232_COL
#define ASYNC_COL(c) constexpr uint32_t kRs232Async##c[] = {M2, 10, 33, 3, 1, c, P};
ASYNC_COL(1) ASYNC_COL(7) ASYNC_COL(8)
#undef ASYNC_COL

#define SNMP_SCALAR(c) constexpr uint32_t kSnmp##c[] = {M2, 11, c, 0};
SNMP_SCALAR(1) SNMP_SCALAR(2) SNMP_SCALAR(3) SNMP_SCALAR(4) SNMP_SCALAR(5) SNMP_SCALAR(6) SNMP_SCALAR(8)
SNMP_SCALAR(9) SNMP_SCALAR(10) SNMP_SCALAR(11) SNMP_SCALAR(12) SNMP_SCALAR(15) SNMP_SCALAR(16) SNMP_SCALAR(17)
SNMP_SCALAR(18) SNMP_SCALAR(19) SNMP_SCALAR(20) SNMP_SCALAR(21) SNMP_SCALAR(22) SNMP_SCALAR(24) SNMP_SCALAR(25)
SNMP_SCALAR(26) SNMP_SCALAR(27) SNMP_SCALAR(28) SNMP_SCALAR(29) SNMP_SCALAR(30)
#undef SNMP_SCALAR
#undef M2

constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t RS = MIB_READ_ONLY_SNMP;
constexpr uint8_t INT = MIB_INTEGER;
constexpr uint8_t STR = MIB_OCTET_STRING;
constexpr uint8_t OID = MIB_OBJECT_ID;
constexpr uint8_t IPA = MIB_IPADDRESS;
constexpr uint8_t CNT = MIB_COUNTER;
constexpr uint8_t GAU = MIB_GAUGE;
constexpr uint8_t TIC = MIB_TIMETICKS;

constexpr mib_constraint values(uint32_t a, uint32_t b) { return {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 2, {a, b}}; }
constexpr mib_constraint kAdminStatus = mib_unsigned_range(1, 3);
constexpr mib_constraint kTwoValues = values(1, 2);

// The address-translation rows name their own instances (header_at): three
// indexes tell the walk to leave the name to the handler.
constexpr uint8_t kOwnIndexes = 3;

const mib_variable kRows[] = {
    mib_row(kIfNumber, INT, 0, RO, var_ifNumber),
    mib_row(kIf1, INT, 1, RO, var_ifEntry, 1),
    mib_row(kIf2, STR, 2, RO, var_ifEntry, 1, 0, mib_length_range(0, 255)),
    mib_row(kIf3, INT, 3, RO, var_ifEntry, 1),
    mib_row(kIf4, INT, 4, RO, var_ifEntry, 1),
    mib_row(kIf5, GAU, 5, RS, var_ifEntry, 1),
    mib_row(kIf6, STR, 6, RS, var_ifEntry, 1),
    mib_row(kIf7, INT, 7, RW, var_ifEntry, 1, 0, kAdminStatus),
    mib_row(kIf8, INT, 8, RO, var_ifEntry, 1),
    mib_row(kIf9, TIC, 9, RO, var_ifEntry, 1),
    mib_row(kIf10, CNT, 10, RO, var_ifEntry, 1),
    mib_row(kIf11, CNT, 11, RO, var_ifEntry, 1),
    mib_row(kIf12, CNT, 12, RO, var_ifEntry, 1),
    mib_row(kIf13, CNT, 13, RO, var_ifEntry, 1),
    mib_row(kIf14, CNT, 14, RO, var_ifEntry, 1),
    mib_row(kIf15, CNT, 15, RO, var_ifEntry, 1),
    mib_row(kIf16, CNT, 16, RO, var_ifEntry, 1),
    mib_row(kIf17, CNT, 17, RO, var_ifEntry, 1),
    mib_row(kIf18, CNT, 18, RO, var_ifEntry, 1),
    mib_row(kIf19, CNT, 19, RO, var_ifEntry, 1),
    mib_row(kIf20, CNT, 20, RO, var_ifEntry, 1),
    mib_row(kIf21, GAU, 21, RO, var_ifEntry, 1),
    mib_row(kIf22, OID, 22, RO, var_ifEntry, 1),

    mib_row(kAt1, INT, 1, RW, var_atEntry, kOwnIndexes),
    mib_row(kAt2, STR, 2, RW, var_atEntry, kOwnIndexes),
    mib_row(kAt3, IPA, 3, RW, var_atEntry, kOwnIndexes),

    mib_row(kIp1, INT, 1, RW, var_ip, 0, 0, kTwoValues),
    mib_row(kIp2, INT, 2, RW, var_ip),
    mib_row(kIp3, CNT, 3, RO, var_ip),
    mib_row(kIp4, CNT, 4, RO, var_ip),
    mib_row(kIp5, CNT, 5, RO, var_ip),
    mib_row(kIp6, CNT, 6, RO, var_ip),
    mib_row(kIp7, CNT, 7, RO, var_ip),
    mib_row(kIp8, CNT, 8, RO, var_ip),
    mib_row(kIp9, CNT, 9, RO, var_ip),
    mib_row(kIp10, CNT, 10, RO, var_ip),
    mib_row(kIp11, CNT, 11, RO, var_ip),
    mib_row(kIp12, CNT, 12, RO, var_ip),
    mib_row(kIp13, INT, 13, RO, var_ip),
    mib_row(kIp14, CNT, 14, RO, var_ip),
    mib_row(kIp15, CNT, 15, RO, var_ip),
    mib_row(kIp16, CNT, 16, RO, var_ip),
    mib_row(kIp17, CNT, 17, RO, var_ip),
    mib_row(kIp18, CNT, 18, RO, var_ip),
    mib_row(kIp19, CNT, 19, RO, var_ip),
    mib_row(kIp23, CNT, 23, RO, var_ip),

    mib_row(kIpAddr1, IPA, 1, RS, var_ipAddrEntry, 1),
    mib_row(kIpAddr2, INT, 2, RO, var_ipAddrEntry, 1),
    mib_row(kIpAddr3, IPA, 3, RS, var_ipAddrEntry, 1),
    mib_row(kIpAddr4, INT, 4, RO, var_ipAddrEntry, 1),
    mib_row(kIpAddr5, INT, 5, RO, var_ipAddrEntry, 1, 0, mib_unsigned_range(0, 65535)),

    mib_row(kRoute1, IPA, 1, RW, var_ipRouteEntry, 1),
    mib_row(kRoute2, INT, 2, RW, var_ipRouteEntry, 1),
    mib_row(kRoute3, INT, 3, RW, var_ipRouteEntry, 1),
    mib_row(kRoute4, INT, 4, RW, var_ipRouteEntry, 1),
    mib_row(kRoute5, INT, 5, RW, var_ipRouteEntry, 1),
    mib_row(kRoute6, INT, 6, RW, var_ipRouteEntry, 1),
    mib_row(kRoute7, IPA, 7, RW, var_ipRouteEntry, 1),
    mib_row(kRoute8, INT, 8, RW, var_ipRouteEntry, 1, 0, mib_unsigned_range(1, 4)),
    mib_row(kRoute9, INT, 9, RO, var_ipRouteEntry, 1, 0, mib_unsigned_range(1, 14)),
    mib_row(kRoute10, INT, 10, RW, var_ipRouteEntry, 1),
    mib_row(kRoute11, IPA, 11, RW, var_ipRouteEntry, 1),
    mib_row(kRoute12, INT, 12, RW, var_ipRouteEntry, 1),
    mib_row(kRoute13, OID, 13, RO, var_ipRouteEntry, 1),

    mib_row(kNetToMedia1, INT, 1, RW, var_ipNetToMediaEntry, 1),
    mib_row(kNetToMedia2, STR, 2, RW, var_ipNetToMediaEntry, 1),
    mib_row(kNetToMedia3, IPA, 3, RW, var_ipNetToMediaEntry, 1),
    mib_row(kNetToMedia4, INT, 4, RW, var_ipNetToMediaEntry, 1),

    mib_row(kDot31, INT, 1, RO, var_dot3StatsEntry, 1),
    mib_row(kDot32, CNT, 2, RO, var_dot3StatsEntry, 1),
    mib_row(kDot33, CNT, 3, RO, var_dot3StatsEntry, 1),
    mib_row(kDot34, CNT, 4, RO, var_dot3StatsEntry, 1),
    mib_row(kDot35, CNT, 5, RO, var_dot3StatsEntry, 1),
    mib_row(kDot36, CNT, 6, RO, var_dot3StatsEntry, 1),
    mib_row(kDot37, CNT, 7, RO, var_dot3StatsEntry, 1),
    mib_row(kDot38, CNT, 8, RO, var_dot3StatsEntry, 1),
    mib_row(kDot39, CNT, 9, RO, var_dot3StatsEntry, 1),
    mib_row(kDot310, CNT, 10, RO, var_dot3StatsEntry, 1),
    mib_row(kDot311, CNT, 11, RO, var_dot3StatsEntry, 1),
    mib_row(kDot313, CNT, 13, RO, var_dot3StatsEntry, 1),
    mib_row(kDot316, CNT, 16, RO, var_dot3StatsEntry, 1),
    mib_row(kDot317, OID, 17, RO, var_dot3StatsEntry, 1),
    mib_row(kDot3CollCount, CNT, 3, RO, var_dot3CollEntry, 2),

    mib_row(kLapbAdmn1, INT, 1, RO, var_lapbAdmnEntry, 1),
    mib_row(kLapbAdmn9, INT, 9, RW, var_lapbAdmnEntry, 1),
    mib_row(kLapbAdmn10, INT, 10, RW, var_lapbAdmnEntry, 1),
    mib_row(kLapbAdmn11, INT, 11, RW, var_lapbAdmnEntry, 1),
    mib_row(kLapbAdmn12, INT, 12, RW, var_lapbAdmnEntry, 1),
    mib_row(kLapbOper1, INT, 1, RO, var_lapbOperEntry, 1),
    mib_row(kLapbOper4, INT, 4, RW, var_lapbOperEntry, 1),
    mib_row(kLapbOper5, INT, 5, RW, var_lapbOperEntry, 1),
    mib_row(kLapbOper13, OID, 13, RO, var_lapbOperEntry, 1),

    mib_row(kRs232Number, INT, 0, RO, var_rs232Number),
    mib_row(kRs232Port1, INT, 1, RO, var_rs232PortEntry, 1),
    mib_row(kRs232Port2, INT, 2, RO, var_rs232PortEntry, 1, 0, mib_unsigned_range(1, 5)),
    mib_row(kRs232Port5, INT, 5, RW, var_rs232PortEntry, 1),
    mib_row(kRs232Port6, INT, 6, RW, var_rs232PortEntry, 1),
    mib_row(kRs232Async1, INT, 1, RO, var_rs232AsyncPortEntry, 1),
    mib_row(kRs232Async7, CNT, 7, RO, var_rs232AsyncPortEntry, 1),
    mib_row(kRs232Async8, CNT, 8, RO, var_rs232AsyncPortEntry, 1),

    mib_row(kSnmp1, CNT, 0, RO, var_snmp),
    mib_row(kSnmp2, CNT, 1, RO, var_snmp),
    mib_row(kSnmp3, CNT, 2, RO, var_snmp),
    mib_row(kSnmp4, CNT, 3, RO, var_snmp),
    mib_row(kSnmp5, CNT, 4, RO, var_snmp),
    mib_row(kSnmp6, CNT, 5, RO, var_snmp),
    mib_row(kSnmp8, CNT, 6, RO, var_snmp),
    mib_row(kSnmp9, CNT, 7, RO, var_snmp),
    mib_row(kSnmp10, CNT, 8, RO, var_snmp),
    mib_row(kSnmp11, CNT, 9, RO, var_snmp),
    mib_row(kSnmp12, CNT, 10, RO, var_snmp),
    mib_row(kSnmp15, CNT, 11, RO, var_snmp),
    mib_row(kSnmp16, CNT, 12, RO, var_snmp),
    mib_row(kSnmp17, CNT, 13, RO, var_snmp),
    mib_row(kSnmp18, CNT, 14, RO, var_snmp),
    mib_row(kSnmp19, CNT, 15, RO, var_snmp),
    mib_row(kSnmp20, CNT, 16, RO, var_snmp),
    mib_row(kSnmp21, CNT, 17, RO, var_snmp),
    mib_row(kSnmp22, CNT, 18, RO, var_snmp),
    mib_row(kSnmp24, CNT, 19, RO, var_snmp),
    mib_row(kSnmp25, CNT, 20, RO, var_snmp),
    mib_row(kSnmp26, CNT, 21, RO, var_snmp),
    mib_row(kSnmp27, CNT, 22, RO, var_snmp),
    mib_row(kSnmp28, CNT, 23, RO, var_snmp),
    mib_row(kSnmp29, CNT, 24, RO, var_snmp),
    mib_row(kSnmp30, INT, kEnableAuthenTraps, RW, var_snmp, 0, 0, kTwoValues),
};

}  // namespace

const mib_group g_mib2_group = {"cls b", kRows, sizeof kRows / sizeof kRows[0]};
