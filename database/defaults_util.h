// Writers shared by the factory-default entries. Defaults go through the
// ordinary accessors with DB_NOTIFY (the loaders switch notices and hooks
// off around them), so they are journalled like any other write.
#pragma once

#include <cstdint>
#include <cstring>

#include "database/database.h"

namespace dflt {

inline void value(CDataBase& db, uint8_t* area, uint32_t offset, uint32_t width, uint32_t v) {
  db.SetValue(offset, width, v, area, DB_NOTIFY);
}

inline void bytes(CDataBase& db, uint8_t* area, uint32_t offset, const void* data, uint32_t length) {
  db.SetString(offset, 4, data, length, area, DB_NOTIFY);
}

inline void text(CDataBase& db, uint8_t* area, uint32_t offset, const char* s) {
  bytes(db, area, offset, s, static_cast<uint32_t>(std::strlen(s)));
}

inline void empty(CDataBase& db, uint8_t* area, uint32_t offset) { bytes(db, area, offset, "", 0); }

// The same value into `count` objects of `width`, `stride` bytes apart.
inline void fill(CDataBase& db, uint8_t* area, uint32_t first, uint32_t count, uint32_t stride, uint32_t width,
                 uint32_t v) {
  for (uint32_t i = 0; i < count; ++i) value(db, area, first + i * stride, width, v);
}

// `count` empty strings from `first`, one every 4 bytes.
inline void fill_empty(CDataBase& db, uint8_t* area, uint32_t first, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) empty(db, area, first + 4 * i);
}

// An OID value: its sub-identifiers as 4 bytes each, most significant first.
void oid(CDataBase& db, uint8_t* area, uint32_t offset, const uint32_t* subids, uint32_t count);

template <uint32_t N>
void oid(CDataBase& db, uint8_t* area, uint32_t offset, const uint32_t (&subids)[N]) {
  oid(db, area, offset, subids, N);
}

// OID 0.0.
constexpr uint32_t kNullOid[] = {0, 0};

// The module type a full factory reset stores (mib_nv.quorModuleID).
constexpr uint32_t kFactoryModuleID = 21;

// Message ID codes: memory type, number (u16), CRC (u16).
constexpr uint8_t kBlankMessage1[5] = {7, 0, 1, 0, 0};
constexpr uint8_t kCurrentBuffer1[5] = {5, 0, 1, 0, 0};

}  // namespace dflt
