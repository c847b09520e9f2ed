// The nvdot subtree (1.3.6.1.4.1.1206.3.35): the fan and heater test
// requests with their states, the climate rows' summary and the power
// supplies' error bits. A get of a request object answers what the
// peripheral is doing; a set asks for a test, which the peripheral task
// runs for a while and then sets back to 2.
#include "ntcip/mib/dms_common.h"
#include "ntcip/mib/mib_groups.h"

using namespace dms_mib;

namespace {

// Column selectors, as the subtree has always numbered them.
enum : uint8_t { kFan = 0, kClimate = 4, kHeater = 8, kPower = 12 };

#define NVDOT 1, 3, 6, 1, 4, 1, 1206, 3, 35
constexpr uint32_t kNvdot1[] = {NVDOT, 1, 0};
constexpr uint32_t kNvdot2[] = {NVDOT, 2, 0};
constexpr uint32_t kNvdot3[] = {NVDOT, 3, 0};
constexpr uint32_t kNvdot4[] = {NVDOT, 4, 0};
#undef NVDOT

constexpr uint32_t kWrite = 0x100000;

// A test request: the state on a get, the request itself on a set and a get-next.
uintptr_t* request(const db_object& setting, const db_object& state, uint32_t operation, uint32_t* value_length,
                   snmp_request* record, int index)
{
    if (operation == MIB_GET)
        return answer_object(state, false, value_length, record, index);
    if (committing(operation)) {
        uint32_t result = write_value(setting, true, g_snmp_set_value.integer);
        if (result != DB_OK)
            fail(record, result);
    }
    return answer_object(setting, true, value_length, record, index);
}

uintptr_t* var_nvdot(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t operation,
                     uint32_t* value_length, snmp_request* record, int index)
{
    if (!g_pDataBase || header_exact(row, name, *name_length) != 0)
        return nullptr;
    switch (row->column) {
    case kFan:
        return request(nv::nvdotFanTest, vol::nvdotFanState, operation, value_length, record, index);
    case kClimate:
        return answer_string(vol::climateSummary, false, value_length, record, index);
    case kHeater:
        return request(nv::nvdotHeaterTest, vol::nvdotHeaterState, operation, value_length, record, index);
    case kPower:
        return answer_string(vol::powerSupplySummary, false, value_length, record, index);
    default:
        return nullptr;
    }
}

const mib_variable kRows[] = {
    mib_row(kNvdot1, MIB_INTEGER, kFan, MIB_READ_WRITE, var_nvdot, 0, kWrite, mib_unsigned_range(1, 2)),
    mib_row(kNvdot2, MIB_OCTET_STRING, kClimate, MIB_READ_ONLY, var_nvdot, 0, 0, mib_length_range(0, 1)),
    mib_row(kNvdot3, MIB_INTEGER, kHeater, MIB_READ_WRITE, var_nvdot, 0, kWrite, mib_unsigned_range(1, 2)),
    mib_row(kNvdot4, MIB_OCTET_STRING, kPower, MIB_READ_ONLY, var_nvdot, 0, 0, mib_length_range(0, 2)),
};

}  // namespace

const mib_group g_nvdot_group = {"nvdot", kRows, sizeof kRows / sizeof kRows[0]};
