// The private communication objects (quor subtree): the PMPP station
// address, the trap settings, the port table, the radio link's parameters,
// the Ethernet and network settings, the callback of serial PPP links, the
// file-transfer objects, the real-time data text and the dial-up modem's
// last caller. The objects only store and report; the communication task,
// the endpoints, the file transfer and the modems act on them (the
// database's notices tell them of a change).
#include "ntcip/mib/mib_groups.h"
#include "ntcip/mib/quor_common.h"
#include "ntcip/mib/quor_private.h"

using namespace quor_mib;

namespace {

enum : uint8_t {
    kHdlcAddress = 1,
    kTrapsGeneric,
    kTrapsEnterpriseSpecific,
    kTrapsExpirationDuration,
    kNumPorts,
    kRdiLid,
    kRdiAck2Timeout,
    kRdiRetries,
    kCommConfigApply,
    kRemoteIPAddress,
    kRemoteIPPort,
    kHostIPPort,
    kEthernetMode,
    kHostHttpPort,
    kNTPIPAddress,
    kNetworkText,
    kNTPPollTime,
    kFeatureSet,
    kCallbackNumber,
    kCallbackMinTime,
    kCallbackMaxAttempts,
    kTransferState,
    kTransferBlockSize,
    kTransferFileSize,
    kTransferBlockNumber,
    kTransferData,
    kTransferCRC,
    kRealTimeDataSize,
    kRealTimeData,
    kCallerIDNumber,
    kCallerIDTime,
    kCallerIDName,
    // The port table's columns.
    kPortIndex,
    kPortFlowControl,
    kPortProtocol,
    kPortTraps,
    kPortInnerCharTimeout,
    kPortSpeed,
    kPortKind,
};

constexpr uint32_t kPorts = 5;
constexpr uint32_t kEthernetPort = 5;

struct plain {
    uint8_t column;
    stored where;
};
const plain kPlain[] = {
    {kHdlcAddress, {nv::quorhdlcAddress, true, false}},
    {kTrapsGeneric, {nv::quorTrapsGeneric, true, false}},
    {kTrapsEnterpriseSpecific, {nv::quorTrapsEnterpriseSpecific, true, true}},
    {kTrapsExpirationDuration, {nv::quorTrapsExpirationDuration, true, false}},
    {kNumPorts, {vol::quorCommConfigNumPorts, false, false}},
    {kRdiLid, {nv::quorRdiLid, true, false}},
    {kRdiAck2Timeout, {nv::quorRdiAck2Timeout, true, false}},
    {kRdiRetries, {nv::quorRdiRetries, true, false}},
    {kCommConfigApply, {nv::quorCommPortReinit, true, false}},
    {kRemoteIPAddress, {nv::quorRemoteIPAddress, true, false}},
    {kRemoteIPPort, {nv::quorRemoteIPPort, true, false}},
    {kHostIPPort, {nv::quorHostIPPort, true, false}},
    {kEthernetMode, {nv::quorEthernetMode, true, false}},
    {kHostHttpPort, {nv::quorHostHttpPort, true, false}},
    {kNTPIPAddress, {nv::quorNTPIPAddress, true, false}},
    {kNetworkText, {nv::quorNetworkText, true, true}},
    {kNTPPollTime, {nv::quorNTPPollTime, true, false}},
    {kFeatureSet, {nv::quorFeatureSet, true, false}},
    {kCallbackNumber, {nv::quorCallbackNumber, true, true}},
    {kCallbackMinTime, {nv::quorCallbackMinTimeBetweenAttempts, true, false}},
    {kCallbackMaxAttempts, {nv::quorCallbackMaxAttempts, true, false}},
    {kTransferState, {vol::quorFileTransferState, false, false}},
    {kTransferBlockSize, {vol::quorFileTransferBlockSize, false, false}},
    {kTransferFileSize, {vol::quorFileTransferFileSize, false, false}},
    {kTransferBlockNumber, {vol::quorFileTransferBlockNumber, false, false}},
    {kTransferData, {vol::fileTransferName, false, true}},
    {kTransferCRC, {vol::fileTransferNameCrc, false, false}},
    {kRealTimeDataSize, {vol::rtdBufferSize, false, false}},
    {kRealTimeData, {vol::quorRealTimeData, false, true}},
    {kCallerIDNumber, {nv::quorCallerIDNumber, true, true}},
    {kCallerIDTime, {nv::quorCallerIDTime, true, false}},
    {kCallerIDName, {nv::quorCallerIDName, true, true}},
};

const stored* plain_of(uint8_t column)
{
    for (const plain& p : kPlain)
        if (p.column == column)
            return &p.where;
    return nullptr;
}

quor_file_transfer_step g_file_transfer_step = nullptr;

// Scalars of branches 2 and 3, 6 and 9.
uintptr_t* var_quorComm(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                        uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    const stored* s = plain_of(row->column);
    if (!s || (row->column >= kTransferState && row->column <= kTransferCRC))
        return nullptr;
    switch (row->column) {
    case kRdiLid:
    case kRdiAck2Timeout:
    case kRdiRetries:
        // Writable only under the SNMP write override, past the registry's checks.
        if (committing(operation))
            write_unchecked(*s, record, index);
        return answer(*s, value_length, record, index);
    default:
        return serve(*s, operation, value_length, record, index);
    }
}

// The file-transfer objects. A committed state runs one step of the
// transfer in this thread, after the write and the read-back: the response
// carries the state as written.
uintptr_t* var_quorFileTransfer(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    if (row->column < kTransferState || row->column > kTransferCRC)
        return nullptr;
    const stored& s = *plain_of(row->column);
    uintptr_t* cell = serve(s, operation, value_length, record, index);
    if (row->column == kTransferState && committing(operation) && g_file_transfer_step)
        g_file_transfer_step();
    return cell;
}

stored port_object(uint8_t column, uint32_t port)
{
    const uint32_t p = port - 1;
    switch (column) {
    case kPortFlowControl:
        return {nv::quorCommConfigFlowControl(p), true, false};
    case kPortProtocol:
        return {nv::quorCommConfigProtocol(p), true, false};
    case kPortTraps:
        return {nv::quorCommConfigTraps(p), true, false};
    case kPortInnerCharTimeout:
        return {nv::quorCommConfigInnerCharTimeout(p), true, false};
    case kPortSpeed:
        // The Ethernet port's speed is the interface's.
        return port == kEthernetPort ? stored{nv::ifSpeed, true, false} : stored{nv::rs232PortInSpeed(p), true, false};
    default:
        return {vol::quorCommConfigPortKind(p), false, false};
    }
}

uintptr_t* var_quorCommConfigEntry(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                                   uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_index(row, name, *name_length, operation, value_length, kPorts) != 0)
        return nullptr;
    const uint32_t port = index_of(row, name);
    switch (row->column) {
    case kPortIndex:
        return answer_integer(port, value_length, record, index);
    case kPortFlowControl:
    case kPortProtocol:
    case kPortTraps:
    case kPortInnerCharTimeout:
    case kPortSpeed:
        return serve(port_object(row->column, port), operation, value_length, record, index);
    case kPortKind:
        return answer(port_object(row->column, port), value_length, record, index);
    default:
        return nullptr;
    }
}

#define QUOR 1, 3, 6, 1, 4, 1, 1206, 3, 11
constexpr uint32_t kOidHdlcAddress[] = {QUOR, 2, 11, 0};
constexpr uint32_t kOidTrapsGeneric[] = {QUOR, 2, 16, 1, 0};
constexpr uint32_t kOidTrapsEnterpriseSpecific[] = {QUOR, 2, 16, 2, 0};
constexpr uint32_t kOidTrapsExpirationDuration[] = {QUOR, 2, 16, 3, 0};
constexpr uint32_t kOidNumPorts[] = {QUOR, 2, 17, 1, 0};
constexpr uint32_t kOidPortIndex[] = {QUOR, 2, 17, 2, 1, 1, MIB_PLACEHOLDER};
constexpr uint32_t kOidPortFlowControl[] = {QUOR, 2, 17, 2, 1, 2, MIB_PLACEHOLDER};
constexpr uint32_t kOidPortProtocol[] = {QUOR, 2, 17, 2, 1, 3, MIB_PLACEHOLDER};
constexpr uint32_t kOidPortTraps[] = {QUOR, 2, 17, 2, 1, 4, MIB_PLACEHOLDER};
constexpr uint32_t kOidPortInnerCharTimeout[] = {QUOR, 2, 17, 2, 1, 5, MIB_PLACEHOLDER};
constexpr uint32_t kOidPortSpeed[] = {QUOR, 2, 17, 2, 1, 6, MIB_PLACEHOLDER};
constexpr uint32_t kOidPortKind[] = {QUOR, 2, 17, 2, 1, 7, MIB_PLACEHOLDER};
constexpr uint32_t kOidRdiLid[] = {QUOR, 2, 17, 3, 0};
constexpr uint32_t kOidRdiAck2Timeout[] = {QUOR, 2, 17, 4, 0};
constexpr uint32_t kOidRdiRetries[] = {QUOR, 2, 17, 5, 0};
constexpr uint32_t kOidCommConfigApply[] = {QUOR, 2, 17, 6, 0};
constexpr uint32_t kOidRemoteIPAddress[] = {QUOR, 2, 21, 1, 0};
constexpr uint32_t kOidRemoteIPPort[] = {QUOR, 2, 21, 2, 0};
constexpr uint32_t kOidHostIPPort[] = {QUOR, 2, 21, 3, 0};
constexpr uint32_t kOidEthernetMode[] = {QUOR, 2, 21, 4, 0};
constexpr uint32_t kOidHostHttpPort[] = {QUOR, 2, 21, 5, 0};
constexpr uint32_t kOidNTPIPAddress[] = {QUOR, 2, 21, 6, 0};
constexpr uint32_t kOidNetworkText[] = {QUOR, 2, 21, 7, 0};
constexpr uint32_t kOidNTPPollTime[] = {QUOR, 2, 21, 8, 0};
constexpr uint32_t kOidFeatureSet[] = {QUOR, 2, 26, 0};
constexpr uint32_t kOidCallbackNumber[] = {QUOR, 3, 1, 0};
constexpr uint32_t kOidCallbackMinTime[] = {QUOR, 3, 2, 0};
constexpr uint32_t kOidCallbackMaxAttempts[] = {QUOR, 3, 3, 0};
constexpr uint32_t kOidTransferState[] = {QUOR, 4, 1, 0};
constexpr uint32_t kOidTransferBlockSize[] = {QUOR, 4, 2, 0};
constexpr uint32_t kOidTransferFileSize[] = {QUOR, 4, 3, 0};
constexpr uint32_t kOidTransferBlockNumber[] = {QUOR, 4, 4, 0};
constexpr uint32_t kOidTransferData[] = {QUOR, 4, 5, 0};
constexpr uint32_t kOidTransferCRC[] = {QUOR, 4, 6, 0};
constexpr uint32_t kOidRealTimeDataSize[] = {QUOR, 6, 1, 0};
constexpr uint32_t kOidRealTimeData[] = {QUOR, 6, 2, 0};
constexpr uint32_t kOidCallerIDNumber[] = {QUOR, 9, 1, 0};
constexpr uint32_t kOidCallerIDTime[] = {QUOR, 9, 2, 0};
constexpr uint32_t kOidCallerIDName[] = {QUOR, 9, 3, 0};
#undef QUOR

constexpr uint8_t RW = MIB_READ_WRITE;
constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RO3 = MIB_READ_ONLY_SNMP;
constexpr uint8_t I = MIB_INTEGER;
constexpr uint8_t S = MIB_OCTET_STRING;
constexpr var_handler H = var_quorComm;
constexpr var_handler P = var_quorCommConfigEntry;
constexpr var_handler F = var_quorFileTransfer;

constexpr uint32_t kMaskConfig = 0x2000000;
constexpr uint32_t kMaskTransfer = 0x500000;

constexpr mib_constraint kAny = mib_unsigned_range(0, 0xFFFFFFFFu);
constexpr mib_constraint kByte = mib_unsigned_range(0, 255);
constexpr mib_constraint kWord = mib_unsigned_range(0, 65535);
constexpr mib_constraint kPort = mib_unsigned_range(1, 65535);
// 63 is the PMPP all-stations address.
constexpr mib_constraint kHdlcAddressRanges = {MIB_UNSIGNED_RANGES, MIB_LIST_PAIRS, 2, {1, 62, 64, 8192}};
constexpr mib_constraint kApplyValues = {MIB_UNSIGNED_RANGES, MIB_LIST_VALUES, 4, {1, 2, 3, 4}};

const mib_variable kRows[] = {
    mib_row(kOidHdlcAddress, I, kHdlcAddress, RW, H, 0, kMaskConfig, kHdlcAddressRanges),
    mib_row(kOidTrapsGeneric, I, kTrapsGeneric, RW, H, 0, kMaskConfig, kByte),
    mib_row(kOidTrapsEnterpriseSpecific, S, kTrapsEnterpriseSpecific, RW, H, 0, kMaskConfig, mib_length_range(0, 8)),
    mib_row(kOidTrapsExpirationDuration, I, kTrapsExpirationDuration, RW, H, 0, kMaskConfig, kAny),
    mib_row(kOidNumPorts, I, kNumPorts, RO, H, 0, 0, kByte),
    mib_row(kOidPortIndex, I, kPortIndex, RO, P, 1, 0, kByte),
    mib_row(kOidPortFlowControl, I, kPortFlowControl, RW, P, 1, kMaskConfig, kAny),
    mib_row(kOidPortProtocol, I, kPortProtocol, RW, P, 1, kMaskConfig, kByte),
    mib_row(kOidPortTraps, I, kPortTraps, RW, P, 1, kMaskConfig, kByte),
    mib_row(kOidPortInnerCharTimeout, I, kPortInnerCharTimeout, RW, P, 1, kMaskConfig, kWord),
    mib_row(kOidPortSpeed, I, kPortSpeed, RW, P, 1, kMaskConfig, kAny),
    mib_row(kOidPortKind, I, kPortKind, RO, P, 1, 0, kByte),
    mib_row(kOidRdiLid, I, kRdiLid, RO3, H, 0, 0, kWord),
    mib_row(kOidRdiAck2Timeout, I, kRdiAck2Timeout, RO3, H, 0, 0, kWord),
    mib_row(kOidRdiRetries, I, kRdiRetries, RO3, H, 0, 0, kByte),
    mib_row(kOidCommConfigApply, I, kCommConfigApply, RW, H, 0, 0, kApplyValues),
    mib_row(kOidRemoteIPAddress, MIB_IPADDRESS, kRemoteIPAddress, RW, H, 0, kMaskConfig),
    mib_row(kOidRemoteIPPort, I, kRemoteIPPort, RW, H, 0, kMaskConfig, kPort),
    mib_row(kOidHostIPPort, I, kHostIPPort, RW, H, 0, kMaskConfig, kPort),
    mib_row(kOidEthernetMode, I, kEthernetMode, RW, H, 0, kMaskConfig, mib_unsigned_range(1, 2)),
    mib_row(kOidHostHttpPort, I, kHostHttpPort, RW, H, 0, kMaskConfig, kPort),
    mib_row(kOidNTPIPAddress, I, kNTPIPAddress, RW, H, 0, kMaskConfig, kAny),
    mib_row(kOidNetworkText, S, kNetworkText, RW, H, 0, kMaskConfig, mib_length_range(0, 50)),
    mib_row(kOidNTPPollTime, I, kNTPPollTime, RW, H, 0, kMaskConfig, kPort),
    mib_row(kOidFeatureSet, I, kFeatureSet, RO, H),
    mib_row(kOidCallbackNumber, S, kCallbackNumber, RW, H, 0, kMaskConfig, mib_length_range(0, 25)),
    mib_row(kOidCallbackMinTime, I, kCallbackMinTime, RW, H, 0, kMaskConfig, mib_unsigned_range(5, 65535)),
    mib_row(kOidCallbackMaxAttempts, I, kCallbackMaxAttempts, RW, H, 0, kMaskConfig, kByte),
    mib_row(kOidTransferState, I, kTransferState, RW, F, 0, kMaskTransfer, mib_unsigned_range(0, 14)),
    mib_row(kOidTransferBlockSize, I, kTransferBlockSize, RW, F, 0, kMaskTransfer, mib_unsigned_range(0, 1024)),
    mib_row(kOidTransferFileSize, I, kTransferFileSize, RW, F, 0, kMaskTransfer, kAny),
    mib_row(kOidTransferBlockNumber, I, kTransferBlockNumber, RW, F, 0, kMaskTransfer, kWord),
    mib_row(kOidTransferData, S, kTransferData, RW, F, 0, kMaskTransfer, mib_length_range(0, 1024)),
    mib_row(kOidTransferCRC, I, kTransferCRC, RW, F, 0, kMaskTransfer, kWord),
    mib_row(kOidRealTimeDataSize, I, kRealTimeDataSize, RO, H, 0, 0, kAny),
    mib_row(kOidRealTimeData, S, kRealTimeData, RW, H),
    mib_row(kOidCallerIDNumber, S, kCallerIDNumber, RO, H, 0, 0, mib_length_range(0, 25)),
    mib_row(kOidCallerIDTime, MIB_COUNTER, kCallerIDTime, RO, H),
    mib_row(kOidCallerIDName, S, kCallerIDName, RO, H, 0, 0, mib_length_range(0, 80)),
};

}  // namespace

void snmp_set_file_transfer_step(quor_file_transfer_step step)
{
    g_file_transfer_step = step;
}

const mib_group g_quor_comm_group = {"quor", kRows, sizeof kRows / sizeof kRows[0]};
