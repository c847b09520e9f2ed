// Factory defaults of the NTCIP 1201 global objects (configuration, module
// table, database management, time and daylight saving, schedules and day
// plans, event log, security, auxiliary I/O) and of the protocol objects
// kept beside them.
#include <cstdio>
#include <cstring>

#include "database/defaults.h"
#include "database/defaults_util.h"
#include "database/objects.h"
#include "frame/trace/trace.h"
#include "mon_api.h"

using dflt::empty;
using dflt::fill;
using dflt::fill_empty;
using dflt::text;
using dflt::value;

namespace {

constexpr const char* kAdministrator = "quillfeathers";
constexpr const char* kUser = "fernly";
constexpr const char* kFullUser = "Fernly";

constexpr const char* kMake = "Quorvantis, Inc.";
constexpr const char* kFirmwarePart = "PX3907561";
constexpr const char* kFirmwareVersion[4] = {"1", "9", "4588", "42"};

constexpr const char* kBaseStandards =
    "NTCIP 1101:1996v01.12\r\nNTCIP 1201:v03.03\r\nNTCIP 1203:v02.35\r\nNTCIP 2101:2001v01.19\r\n"
    "NTCIP 2103:v02.04\r\nNTCIP 2201:2003 v01.15\r\nNTCIP 2202:2001 v01.05";

constexpr uint32_t kSignDeviceNode[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 3};
// A day-plan event's action: dmsActivateMessage.0.
constexpr uint32_t kDayPlanAction[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};

constexpr uint32_t kScheduleRows = 29;
constexpr uint32_t kDayPlanEvents = 20 * 24;
constexpr uint32_t kEventConfigs = 60;
constexpr uint32_t kEventClasses = 16;
constexpr uint32_t kEventLogEntries = kEventClasses * 255;
constexpr uint32_t kCommunities = 100;
constexpr uint32_t kAuxPorts = 136;
constexpr uint32_t kDigitalAuxPorts = 112;

void daylight_saving_table(CDataBase& db) {
  uint8_t* nv = db.mib_nv;
  monitor_printf("Global Init, set begin month to march\n");
  for (uint32_t j = 0; j < 10; ++j) {
    bool rule = j == 0;  // only the first entry holds a rule
    value(db, nv, 48196 + j, 1, rule ? 3 : 14);  // dstBeginMonth (14: none)
    value(db, nv, 48206 + j, 1, rule ? 2 : 1);   // dstBeginOccurrences
    value(db, nv, 48216 + j, 1, 1);              // dstBeginDayOfWeek
    value(db, nv, 48226 + j, 1, 1);              // dstBeginDayOfMonth
    value(db, nv, 48236 + 4 * j, 4, rule ? 7200 : 0);
    value(db, nv, 48276 + j, 1, rule ? 11 : 14);  // dstEndMonth
    value(db, nv, 48286 + j, 1, 1);
    value(db, nv, 48296 + j, 1, 1);
    value(db, nv, 48306 + j, 1, 1);
    value(db, nv, 48316 + 4 * j, 4, rule ? 7200 : 0);
    value(db, nv, 48356 + 2 * j, 2, rule ? 3600 : 0);  // dstSecondsToAdjust
  }
}

// One row of the module table (m = 0..7); a null node or make is not written.
void module_row(CDataBase& db, uint32_t m, bool identity, const char* model, const char* version, uint32_t type) {
  uint8_t* v = db.mib_v;
  if (identity) {
    dflt::oid(db, v, 12240 + 4 * m, kSignDeviceNode);  // moduleDeviceNode
    text(db, v, 12272 + 4 * m, kMake);                  // moduleMake
  }
  text(db, v, 12304 + 4 * m, model);
  text(db, v, 12336 + 4 * m, version);
  value(db, v, 12368 + m, 1, type);
}

}  // namespace

void defaults_global_nv(CDataBase& db, int keep) {
  uint8_t* nv = db.mib_nv;
  if (!keep) {
    text(db, nv, 48124, "GRANVOLT");  // chapName
    text(db, nv, 48128, "BRIMOX");    // chapSecret
  }
  value(db, nv, 48132, 2, 0);
  value(db, nv, 48134, 1, 10);
  fill(db, nv, 48136, 10, 4, 4, 0);  // PMPP addresses
  value(db, nv, 48176, 4, 0);        // globalSetIDParameter
  if (!keep) {
    db.SetTimeValue(48180, 4, 0, nv, DB_NOTIFY | DB_GLOBAL_TIME);  // the real-time clock
    value(db, nv, 48192, 4, static_cast<uint32_t>(-21600));       // controllerStandardTimeZone
    value(db, nv, 48184, 1, 1);                                    // globalDaylightSaving: other
    daylight_saving_table(db);
  }

  // Timebase schedules and day plans.
  value(db, nv, 48376, 2, kScheduleRows);  // maxTimeBaseScheduleEntries
  value(db, nv, 48378, 1, 20);             // maxDayPlans
  value(db, nv, 48379, 1, 24);             // maxDayPlanEvents
  value(db, nv, 48380, 1, 0);
  value(db, nv, 48382, 2, 0);
  for (uint32_t r = 0; r < kScheduleRows; ++r) {
    value(db, nv, 48384 + 2 * r, 2, 0);
    value(db, nv, 48442 + r, 1, 0);
    value(db, nv, 48472 + 4 * r, 4, 0);
    value(db, nv, 48588 + r, 1, 0);
  }
  for (uint32_t e = 0; e < kDayPlanEvents; ++e) {
    value(db, nv, 48620 + e, 1, 0);  // hour
    value(db, nv, 49100 + e, 1, 0);  // minute
    dflt::oid(db, nv, 49580 + 4 * e, kDayPlanAction);
  }

  // Event-log configuration and log.
  for (uint32_t k = 0; k < kEventConfigs; ++k) {
    value(db, nv, 51500 + k, 1, 1);  // eventConfigClass
    value(db, nv, 51560 + k, 1, 1);  // eventConfigMode
    value(db, nv, 51620 + 4 * k, 4, 0);
    value(db, nv, 51860 + 4 * k, 4, 0);
    dflt::oid(db, nv, 52100 + 4 * k, dflt::kNullOid);  // eventConfigCompareOID
    dflt::oid(db, nv, 52340 + 4 * k, dflt::kNullOid);  // eventConfigLogOID
    value(db, nv, 52580 + k, 1, 2);                    // eventConfigAction
    value(db, nv, 52640 + k, 1, 2);                    // eventConfigStatus: disabled
  }
  for (uint32_t e = 0; e < kEventLogEntries; ++e) {
    value(db, nv, 52700 + 2 * e, 2, 1);  // eventLogID
    value(db, nv, 60860 + 4 * e, 4, 0);  // eventLogTime
    empty(db, nv, 77180 + 4 * e);        // eventLogValue
  }
  fill(db, nv, 93500, kEventClasses, 1, 1, 0);  // eventClassLimit
  fill(db, nv, 93516, kEventClasses, 4, 4, 0);  // eventClassClearTime
  fill_empty(db, nv, 93580, kEventClasses);     // eventClassDescription
  fill(db, nv, 93644, kEventClasses, 1, 1, 0);  // eventClassNumRowsInLog

  // Security: every user community reads nothing but the third, which
  // grants every object.
  text(db, nv, nv::communityNameAdmin.offset, kAdministrator);
  for (uint32_t k = 0; k < kCommunities; ++k) {
    text(db, nv, nv::communityNameUser(k).offset, kUser);
    value(db, nv, nv::communityNameAccessMask(k).offset, 4, 0);
  }
  text(db, nv, nv::communityNameUser(2).offset, kFullUser);
  value(db, nv, nv::communityNameAccessMask(2).offset, 4, 0xFFFFFFFF);

  for (uint32_t i = 0; i < kAuxPorts; ++i) text(db, nv, nv::auxIOPortDescription(i).offset, "UNUSED");
}

void defaults_global_v(CDataBase& db) {
  uint8_t* v = db.mib_v;
  value(db, v, 12224, 1, 1);     // CHAP protocol object
  value(db, v, 12228, 4, 2050);  // SNMP configuration object
  value(db, v, 12232, 1, 8);     // globalMaxModules
  text(db, v, 12236, kBaseStandards);

  // Module table.
  char firmware_model[48], firmware_version[32], boot_version[96];
  std::snprintf(firmware_model, sizeof firmware_model, "%s - KSR-7100 FW", kFirmwarePart);
  std::snprintf(firmware_version, sizeof firmware_version, "%s.%s.%s.%s", kFirmwareVersion[0],
                kFirmwareVersion[1], kFirmwareVersion[2], kFirmwareVersion[3]);
  const char* monitor_id = mon_version();
  const char* dash = monitor_id ? std::strchr(monitor_id, '-') : nullptr;
  std::snprintf(boot_version, sizeof boot_version, "%s", dash ? dash + 1 : firmware_version);
  module_row(db, 0, true, firmware_model, firmware_version, 3);
  module_row(db, 1, true, "CONTROLLER SERIAL NUMBER", "SN: ----", 2);
  module_row(db, 2, true, "DISPLAY DRIVER", "", 3);
  module_row(db, 3, true, "CONTROL PANEL", "", 3);
  module_row(db, 4, true, "DISPLAY MODULE", "", 3);
  module_row(db, 5, false, "CAN PROD BOARD FW", "", 3);
  module_row(db, 6, true, "KB90521 - BOOTLOADER", boot_version, 3);
  module_row(db, 7, true, "SIGN MODEL", "SN: ----", 2);

  // Database management.
  value(db, v, 12376, 1, 1);  // dbCreateTransaction: normal
  value(db, v, 12377, 1, 7);  // dbErrorType
  dflt::oid(db, v, 12380, dflt::kNullOid);
  fill(db, v, 12384, 3, 1, 1, 0);
  empty(db, v, 12388);  // dbVerifyError

  value(db, v, 12392, 4, 0);  // controllerLocalTime
  value(db, v, 12396, 1, 10);  // maxDaylightSavingEvents
  value(db, v, 12398, 2, kEventConfigs);
  value(db, v, 12400, 2, 255);
  value(db, v, 12402, 1, kEventClasses);
  value(db, v, 12404, 2, 0);  // numEvents
  fill(db, v, 12406, kEventClasses, 2, 2, 0);
  value(db, v, 12438, 1, kCommunities);  // communityNamesMax
  for (uint32_t k = 0; k < kCommunities; ++k) value(db, v, 12439 + k, 1, k + 1);

  // Auxiliary I/O: 112 digital ports, then 24 analog ones, each numbered from 1.
  value(db, v, 12539, 1, kDigitalAuxPorts);
  value(db, v, 12540, 1, kAuxPorts - kDigitalAuxPorts);
  for (uint32_t i = 0; i < kAuxPorts; ++i) value(db, v, 12544 + i, 1, i < kDigitalAuxPorts ? 3 : 2);
  for (uint32_t i = 0; i < kAuxPorts; ++i)
    value(db, v, 12680 + i, 1, i < kDigitalAuxPorts ? i + 1 : i - (kDigitalAuxPorts - 1));
  fill(db, v, 12816, kAuxPorts, 1, 1, 0);
  fill(db, v, 12952, kAuxPorts, 4, 4, 0);
  fill(db, v, 13496, kAuxPorts, 1, 1, 2);
  fill(db, v, 13632, kAuxPorts, 4, 4, 0);
}
