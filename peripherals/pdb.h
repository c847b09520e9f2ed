// Database access of the peripheral task: named objects, read unsigned,
// written with change notification unless flags say otherwise. Without a
// database reads give 0 and writes do nothing.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"

namespace pdb {

inline uint32_t get_nv(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0) : 0;
}
inline uint32_t get_v(db_object o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_v, 0) : 0;
}
inline int8_t v_signed8(db_object o) { return static_cast<int8_t>(get_v(o)); }
inline void set_nv(db_object o, uint32_t value, uint32_t flags = DB_NOTIFY) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_nv, flags);
}
inline void set_v(db_object o, uint32_t value, uint32_t flags = DB_NOTIFY) {
  if (g_pDataBase) g_pDataBase->SetValue(o.offset, o.width, value, g_pDataBase->mib_v, flags);
}
// mib_nv.globalTime from the clock registers.
inline uint32_t global_time() { return db_global_time(); }

}  // namespace pdb
