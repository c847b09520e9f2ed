// Values of the parameter database as the panel's pages read them: 0 while
// there is no database.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"

inline uint32_t lcd_nv(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0) : 0;
}
inline uint32_t lcd_v(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_v, 0) : 0;
}
// Stores with change notification; nothing without a database.
inline void lcd_set_nv(db_object o, uint32_t value) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_nv, DB_NOTIFY);
}
