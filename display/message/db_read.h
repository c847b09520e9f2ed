// Reads of the parameter database for the message display, tolerant of a
// controller that has no database yet (everything reads 0 / empty).
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/objects.h"

inline uint32_t nv_value(const db_object& o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_nv, 0) : 0;
}

inline uint32_t vol_value(const db_object& o) {
  return g_pDataBase ? g_pDataBase->GetValue(o.offset, o.width, g_pDataBase->mib_v, 0) : 0;
}

// The stored bytes and their count; never null.
inline const uint8_t* nv_bytes(const db_object& o, uint32_t* length) {
  static const uint8_t empty[1] = {0};
  *length = 0;
  return g_pDataBase ? g_pDataBase->GetString(o.offset, 4, g_pDataBase->mib_nv, length) : empty;
}

// Sign classes by dmsSignType.
inline bool sign_is_character_matrix(uint32_t type) { return type == 4 || type == 132; }
inline bool sign_is_line_matrix(uint32_t type) { return type == 5 || type == 133; }
inline bool sign_is_matrix(uint32_t type) { return sign_is_character_matrix(type) || sign_is_line_matrix(type); }

// v is a multiple of unit; a unit of 0 (a geometry not configured yet)
// divides nothing but 0.
inline bool is_multiple_of(int64_t v, uint32_t unit) { return unit ? v % unit == 0 : v == 0; }
