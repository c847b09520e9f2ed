// Database access shared by the peripheral tables (not for drivers). Every
// write announces the change.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"

namespace peripheral_db {

inline uint8_t* v_area() { return g_pDataBase ? g_pDataBase->mib_v : nullptr; }
inline uint8_t* nv_area() { return g_pDataBase ? g_pDataBase->mib_nv : nullptr; }

inline uint32_t get(db_object o, uint8_t* area) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, area, 0) : 0;
}
inline bool set(db_object o, uint32_t value, uint8_t* area) {
  return g_pDataBase && g_pDataBase->SetValue(o.offset, o.width, value, area, DB_NOTIFY) == DB_OK;
}
inline const uint8_t* get_string(db_object o, uint8_t* area, uint32_t* length) {
  *length = 0;
  static const uint8_t empty[1] = {0};
  return g_pDataBase ? g_pDataBase->GetString(o.offset, o.width, area, length) : empty;
}
inline bool set_string(db_object o, const void* data, uint32_t length, uint8_t* area) {
  return g_pDataBase && g_pDataBase->SetString(o.offset, o.width, data, length, area, DB_NOTIFY) == DB_OK;
}

// Power-up state of the auxiliary I/O registration (status table).
void reset_status_registration();

}  // namespace peripheral_db
