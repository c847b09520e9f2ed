// Database writes of the display task; nothing without a database.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"

inline void set_nv(const db_object& o, uint32_t value, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_nv, flags);
}

inline void set_vol(const db_object& o, uint32_t value, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_v, flags);
}

inline void set_nv_bytes(const db_object& o, const void* data, uint32_t length, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetString(o.offset, 4, data, length, g_pDataBase->mib_nv, flags);
}

inline void set_vol_bytes(const db_object& o, const void* data, uint32_t length, uint32_t flags) {
  if (g_pDataBase) g_pDataBase->SetString(o.offset, 4, data, length, g_pDataBase->mib_v, flags);
}

// The global time in seconds.
inline uint32_t global_time() { return db_global_time(); }
