// The peripheral factory: class code to the creator of that class. The
// peripheral task registers the rows of peripheral_factory_table into its
// factory at start-up; a record or built-in request is created by the first
// row of its class.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"

class CPeripheral;

struct pl_creator {
  uint8_t class_code;
  pl_create_function create;  // null while the class is not built: its records fail to load
};

class pl_factory {
 public:
  static constexpr uint32_t kCapacity = 64;

  pl_factory() = default;
  pl_factory(const pl_factory&) = delete;
  pl_factory& operator=(const pl_factory&) = delete;

  // Appends a row (kept by pointer). 0 for a null row or a full factory.
  int Register(const pl_creator* row);
  // The first row of the record's class that has a creator decides: its
  // result goes to *out, 1 when not null. 0 (and *out untouched) when no
  // row of the class has a creator.
  int Create(const pl_record& record, CPeripheral** out) const;
  // Forgets every row.
  void Clear() { m_uCount = 0; }
  uint32_t Count() const { return m_uCount; }

 private:
  const pl_creator* m_apRows[kCapacity] = {};
  uint32_t m_uCount = 0;
};

// The creators of every class, one row per class code.
extern const pl_creator peripheral_factory_table[];
extern const uint32_t peripheral_factory_table_size;

// Registers the table's rows in table order.
void peripheral_register_factories(pl_factory* factory);
