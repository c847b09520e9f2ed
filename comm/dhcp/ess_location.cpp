#include "comm/dhcp/ess_location.h"

#include "ntcip/mib/dms_common.h"

using namespace dms_mib;

namespace {

// Column selectors of the three rows.
enum : uint8_t { kLatitude = 0, kLongitude = 4, kBearing = 12 };

#define ESS 1, 3, 6, 1, 4, 1, 1206, 4, 2, 5
constexpr uint32_t kLatitudeOid[] = {ESS, 2, 2, 1, 0};
constexpr uint32_t kLongitudeOid[] = {ESS, 2, 2, 2, 0};
constexpr uint32_t kBearingOid[] = {ESS, 2, 2, 4, 0};
#undef ESS

const mib_variable kRows[] = {
    mib_row(kLatitudeOid, MIB_INTEGER, kLatitude, MIB_READ_ONLY, var_essLocation, 0, 0,
            mib_signed_range(-90000000, 90000001)),
    mib_row(kLongitudeOid, MIB_INTEGER, kLongitude, MIB_READ_ONLY, var_essLocation, 0, 0,
            mib_signed_range(-180000000, 180000001)),
    mib_row(kBearingOid, MIB_INTEGER, kBearing, MIB_READ_ONLY, var_essLocation, 0, 0, mib_signed_range(0, 361)),
};

}  // namespace

uintptr_t* var_essLocation(mib_variable* row, uint32_t* name, uint32_t* name_length, uint32_t /*operation*/,
                           uint32_t* value_length, snmp_request* record, int index) {
  if (!g_pDataBase || header_exact(row, name, *name_length) != 0) return nullptr;
  switch (row->column) {
    case kLatitude:
      return answer_object(vol::essLatitude, false, value_length, record, index);
    case kLongitude:
      return answer_object(vol::essLongitude, false, value_length, record, index);
    case kBearing:
      return answer_object(vol::essVehicleBearing, false, value_length, record, index);
    default:
      return nullptr;
  }
}

void ess_location_set_defaults() {
  CDataBase* d = g_pDataBase;
  if (!d) return;
  d->SetValue(vol::essLatitude.offset, vol::essLatitude.width,
              d->GetValue(nv::quorDefaultLatitude.offset, nv::quorDefaultLatitude.width, d->mib_nv, 0), d->mib_v,
              DB_NOTIFY);
  d->SetValue(vol::essLongitude.offset, vol::essLongitude.width,
              d->GetValue(nv::quorDefaultLongitude.offset, nv::quorDefaultLongitude.width, d->mib_nv, 0), d->mib_v,
              DB_NOTIFY);
  d->SetValue(vol::essVehicleBearing.offset, vol::essVehicleBearing.width, 0, d->mib_v, DB_NOTIFY);
}

const mib_group g_ess_location_group = {"ess", kRows, sizeof kRows / sizeof kRows[0]};
