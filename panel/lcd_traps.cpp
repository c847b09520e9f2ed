#include "panel/lcd_traps.h"

#include <cstring>

#include "database/database.h"
#include "database/objects.h"
#include "frame/peripheral/peripheral_trap.h"

void lcd_send_panel_trap(uint32_t specific) {
  CDataBase* db = g_pDataBase;
  if (!db) return;
  uint32_t length = 0;
  const uint8_t* location = db->GetString(nv::sysLocation.offset, 4, db->mib_nv, &length);
  const uint32_t now = db->GetTimeValue(nv::globalTime.offset, 4, db->mib_nv, DB_GLOBAL_TIME);
  const uint8_t time_bytes[4] = {static_cast<uint8_t>(now >> 24), static_cast<uint8_t>(now >> 16),
                                 static_cast<uint8_t>(now >> 8), static_cast<uint8_t>(now)};
  static const uint32_t kSysLocation[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
  static const uint32_t kGlobalTime[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
  peripheral_trap_binding bindings[2] = {};
  std::memcpy(bindings[0].oid, kSysLocation, sizeof kSysLocation);
  bindings[0].oid_length = sizeof kSysLocation / sizeof kSysLocation[0];
  bindings[0].type = TRAP_VALUE_OCTETS;
  bindings[0].length = length;
  bindings[0].value = location;
  std::memcpy(bindings[1].oid, kGlobalTime, sizeof kGlobalTime);
  bindings[1].oid_length = sizeof kGlobalTime / sizeof kGlobalTime[0];
  bindings[1].type = TRAP_VALUE_COUNTER;
  bindings[1].length = sizeof time_bytes;
  bindings[1].value = time_bytes;
  peripheral_send_trap(TRAP_ENTERPRISE_SPECIFIC, specific, 2, bindings);
}
