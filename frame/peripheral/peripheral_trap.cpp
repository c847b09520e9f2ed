#include "frame/peripheral/peripheral_trap.h"

#include <cstring>

#include "database/database.h"
#include "database/objects.h"

namespace {
peripheral_trap_sender s_sender = nullptr;
}

void peripheral_set_trap_sender(peripheral_trap_sender sender) { s_sender = sender; }

void peripheral_send_trap(uint32_t generic, uint32_t specific, uint32_t count,
                          const peripheral_trap_binding* bindings) {
  if (s_sender) s_sender(generic, specific, count, bindings);
}

void peripheral_trap_bind(peripheral_trap_binding* binding, const uint32_t* oid, uint32_t oid_length, uint8_t type,
                          const void* value, uint32_t length) {
  const uint32_t n = oid_length < 40 ? oid_length : 40;
  std::memcpy(binding->oid, oid, n * sizeof oid[0]);
  binding->oid_length = n;
  binding->type = type;
  binding->length = length;
  binding->value = static_cast<const uint8_t*>(value);
}

uint32_t peripheral_trap_origin_bindings(peripheral_trap_binding* bindings, peripheral_trap_origin* origin) {
  static const uint32_t kSysLocation[] = {1, 3, 6, 1, 2, 1, 1, 6, 0};
  static const uint32_t kGlobalTime[] = {1, 3, 6, 1, 4, 1, 1206, 4, 2, 6, 3, 1, 0};
  origin->location_length = 0;
  origin->time = 0;
  if (CDataBase* db = g_pDataBase) {
    uint32_t length = 0;
    const uint8_t* stored = db->GetString(nv::sysLocation.offset, 4, db->mib_nv, &length);
    if (!stored) length = 0;
    if (length > peripheral_trap_origin::LOCATION_MAX) length = peripheral_trap_origin::LOCATION_MAX;
    if (length) std::memcpy(origin->location, stored, length);
    origin->location_length = length;
    origin->time = db_global_time();
  }
  peripheral_trap_bind(&bindings[0], kSysLocation, 9, TRAP_VALUE_OCTETS, origin->location, origin->location_length);
  peripheral_trap_bind(&bindings[1], kGlobalTime, 13, TRAP_VALUE_COUNTER, &origin->time, sizeof origin->time);
  return 2;
}
