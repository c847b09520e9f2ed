// The configured peripherals' records in the parameter database: up to 255
// slots, each a type id (mib_nv.quorPeripheralID, 0 = free) and a parameter
// text (mib_nv.quorPeripheralParameters). pl_iterator reads and writes
// them; the front panel's wizards and auto-detection add and delete records
// with it, and the peripheral task walks them when it loads.
//
// The record text is comma-separated fields, each an integer in upper-case
// hexadecimal ("%X"): 0x42201, 0xF0, 1 is "42201,F0,1". A text written here
// is at most 39 characters; CPeripheral::ParseParameters splits it.
//
// Every write sets mib_v.peripheralTableLock to 1 and back to its previous
// value; with the lock at 2 (its value from start-up on) the peripheral task
// reloads on its next step.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "database/files/pl_record.h"

constexpr uint32_t PL_SLOTS = 255;
constexpr uint16_t PL_SLOT_BUILTIN = 65535;
constexpr uint32_t PL_TEXT_MAX = 39;  // characters of a written record text

// Formats fields as a record text ("%X,%X,..."). 1 written; 0 when the text
// would need more than PL_TEXT_MAX characters or size bytes (out holds "").
int pl_record_text(char* out, uint32_t size, const uint32_t* fields, uint32_t count);

class pl_iterator {
 public:
  pl_iterator() = default;
  virtual ~pl_iterator() = default;

  // Writes a record of the type into the lowest free slot, with the text
  // formatted from format (null: empty). 0 and nothing written when the
  // type is 0 or already recorded, no slot is free, or the text is longer
  // than PL_TEXT_MAX characters.
  int Add(uint16_t type_id, const char* format, ...) __attribute__((format(printf, 3, 4)));
  int AddV(uint16_t type_id, const char* format, va_list args);
  // Clears the first record of the type (id, load status, text, aux-io
  // rows). 0 when there is none (the lock is not touched then).
  int Remove(uint16_t type_id);
  // Clears every record.
  int RemoveAll();
  // 1 and the first slot holding the type.
  int Find(uint16_t type_id, uint16_t* slot);
  int Exists(uint16_t type_id);
  // mib_v.peripheralLoadStatus of the first slot holding the type.
  int SetStatus(uint16_t type_id, uint8_t status);

  // From the current position: the next occupied slot (slot, type id, its
  // class and the stored text, valid until the record is written again),
  // and the position moves past it. 0 at the end.
  int Next(pl_record* record);
  // The same walk for the next free slot (only the slot is filled).
  int NextFree(pl_record* record);

  void Rewind() { m_wPosition = 0; }
  uint16_t Position() const { return m_wPosition; }

 private:
  static uint16_t TypeAt(uint32_t slot);
  static void ClearSlot(uint32_t slot);
  // Sets the lock to 1 and returns the value it held.
  static uint32_t LockTable();
  static void UnlockTable(uint32_t previous);

  uint16_t m_wPosition = 0;
};
