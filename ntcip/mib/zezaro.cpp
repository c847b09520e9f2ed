// The zezaro customer subtree (1.3.6.1.4.1.1206.3.32.1): seven scalars on
// legibility blanking — the failed-pixel limit and legibility threshold a
// central system sets, and what the legibility check last found.
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

enum : uint8_t {
    kMaxNumPixelFailure = 1,
    kLegibilityThreshold = 2,
    kBlankedMessage = 3,
    kMessageOrigin = 4,
    kBadCommunityCount = 5,
    kLegibilityRatio = 6,
    kStatusText = 7,
};

// The running message's origin as the subtree names it: the requester
// codes 4 and 5 are 2 and 3, anything else 1.
uint32_t message_origin()
{
    switch (read_value(vol::quorActivationReason, false)) {
    case 4:
        return 2;
    case 5:
        return 3;
    default:
        return 1;
    }
}

uintptr_t* var_zezaro(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                      uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kMaxNumPixelFailure:
        if (committing(operation))
            write_value(nv::fdotMaxNumPixelFailure, true, g_snmp_set_value.integer);
        return answer_object(nv::fdotMaxNumPixelFailure, true, value_length, record, index);
    case kLegibilityThreshold:
        if (committing(operation))
            write_value(nv::quorLegibilityRatioThreshold, true, g_snmp_set_value.integer);
        return answer_object(nv::quorLegibilityRatioThreshold, true, value_length, record, index);
    case kBlankedMessage:
        return answer_string(vol::quorBlankedMessage, false, value_length, record, index);
    case kMessageOrigin:
        return answer_integer(message_origin(), value_length, record, index);
    case kBadCommunityCount:
        return answer_object(vol::quorBadCommunityCount, false, value_length, record, index);
    case kLegibilityRatio:
        return answer_object(vol::quorLegibilityRatio, false, value_length, record, index);
    case kStatusText:
        return answer_string(vol::quorFailedModuleMap, false, value_length, record, index);
    default:
        return nullptr;
    }
}

#define ZEZARO 1, 3, 6, 1, 4, 1, 1206, 3, 32, 1
constexpr uint32_t kMaxNumPixelFailureOid[] = {ZEZARO, 1, 0};
constexpr uint32_t kLegibilityThresholdOid[] = {ZEZARO, 2, 0};
constexpr uint32_t kBlankedMessageOid[] = {ZEZARO, 3, 0};
constexpr uint32_t kMessageOriginOid[] = {ZEZARO, 4, 0};
constexpr uint32_t kBadCommunityCountOid[] = {ZEZARO, 5, 0};
constexpr uint32_t kLegibilityRatioOid[] = {ZEZARO, 6, 0};
constexpr uint32_t kStatusTextOid[] = {ZEZARO, 7, 0};
#undef ZEZARO

constexpr uint32_t kMaskSign = 0x08000000;
constexpr uint8_t RO = MIB_READ_ONLY;
constexpr uint8_t RW = MIB_READ_WRITE;
constexpr var_handler Z = var_zezaro;

const mib_variable kRows[] = {
    mib_row(kMaxNumPixelFailureOid, MIB_INTEGER, kMaxNumPixelFailure, RW, Z, 0, kMaskSign,
            mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kLegibilityThresholdOid, MIB_INTEGER, kLegibilityThreshold, RW, Z, 0, kMaskSign,
            mib_unsigned_range(0, 100)),
    mib_row(kBlankedMessageOid, MIB_OCTET_STRING, kBlankedMessage, RO, Z, 0, 0, mib_length_range(5, 5)),
    mib_row(kMessageOriginOid, MIB_INTEGER, kMessageOrigin, RO, Z, 0, 0, mib_unsigned_range(1, 3)),
    mib_row(kBadCommunityCountOid, MIB_COUNTER, kBadCommunityCount, RO, Z, 0, 0, mib_unsigned_range(0, 0xFFFFFFFF)),
    mib_row(kLegibilityRatioOid, MIB_INTEGER, kLegibilityRatio, RO, Z, 0, 0, mib_unsigned_range(0, 100)),
    mib_row(kStatusTextOid, MIB_OCTET_STRING, kStatusText, RO, Z, 0, 0, mib_length_range(0, 50)),
};

}  // namespace

const mib_group g_zezaro_group = {"zezaro", kRows, sizeof kRows / sizeof kRows[0]};
